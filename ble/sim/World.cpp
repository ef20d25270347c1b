#include "ble/sim/World.h"

#include <algorithm>

#include "ble/sim/SimCentral.h"
#include "ble/sim/SimVehicle.h"
#include "ble/sim/WorldCore.h"

namespace ble::sim {

struct World::Impl {
    std::shared_ptr<WorldCore> core;
};

World::World(EventLoop& loop) : impl_(std::make_unique<Impl>()) {
    impl_->core = std::make_shared<WorldCore>(loop);
}

World::~World() {
    // Centrals, peripherals and queued tasks may outlive the world; they hold
    // it weakly and find it gone from here on.
    impl_->core->alive = false;
    impl_->core->vehicles.clear();
}

VirtualVehicle& World::addVehicle(const VehicleProfile& profile) {
    WorldCore& core = *impl_->core;
    auto vehicle = std::make_shared<SimVehicle>(impl_->core, core.nextVehicleSerial++, profile);
    core.vehicles.push_back(vehicle);
    return *vehicle;
}

void World::removeVehicle(uint32_t identifier) { impl_->core->removeVehicle(identifier); }

std::vector<VirtualVehicle*> World::vehicles() const {
    std::vector<VirtualVehicle*> list;
    list.reserve(impl_->core->vehicles.size());
    for (const auto& vehicle : impl_->core->vehicles) list.push_back(vehicle.get());
    return list;
}

VirtualVehicle* World::vehicle(uint32_t identifier) const { return impl_->core->find(identifier); }

void World::setPowered(bool powered) { impl_->core->setPowered(powered); }

bool World::powered() const { return impl_->core->powered; }

void World::setAdvertisingInterval(std::chrono::milliseconds interval) {
    // A zero interval would report forever within one moment of loop time.
    impl_->core->advertisingInterval = std::max(interval, std::chrono::milliseconds{1});
}

std::chrono::milliseconds World::advertisingInterval() const {
    return impl_->core->advertisingInterval;
}

CentralFactory World::centralFactory() {
    return [weak = std::weak_ptr<WorldCore>(impl_->core)](
               std::weak_ptr<CentralDelegate> delegate) -> std::shared_ptr<Central> {
        auto central = std::make_shared<SimCentral>(weak, std::move(delegate));
        if (const auto core = lockWorld(weak)) {
            core->liveCentrals();  // forget the centrals no one holds any more
            core->centrals.push_back(central);
            central->reportState();
        }
        return central;
    };
}

EventLoop& World::loop() const { return impl_->core->loop; }

}  // namespace ble::sim
