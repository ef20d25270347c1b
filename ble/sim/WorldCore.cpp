#include "ble/sim/WorldCore.h"

#include <algorithm>

#include "ble/sim/SimCentral.h"
#include "ble/sim/SimErrors.h"
#include "ble/sim/SimVehicle.h"

namespace ble::sim {

std::shared_ptr<WorldCore> lockWorld(const std::weak_ptr<WorldCore>& world) {
    auto core = world.lock();
    if (core && !core->alive) return nullptr;
    return core;
}

void WorldCore::setPowered(bool on) {
    if (powered == on) return;
    powered = on;
    // The state reports go out first, then the links that the radio lost.
    for (const auto& central : liveCentrals()) {
        if (!on) central->radioPoweredOff();
        central->reportState();
    }
    if (!on) {
        const auto snapshot = vehicles;
        for (const auto& vehicle : snapshot) vehicle->dropAllLinks(errors::poweredOff());
    }
}

void WorldCore::removeVehicle(uint32_t identifier) {
    const auto it = std::find_if(vehicles.begin(), vehicles.end(), [&](const auto& vehicle) {
        return vehicle->identifier() == identifier;
    });
    if (it == vehicles.end()) return;
    const std::shared_ptr<SimVehicle> vehicle = *it;
    vehicles.erase(it);
    vehicle->markRemoved();
    vehicle->dropAllLinks(errors::outOfRange());
    for (const auto& central : liveCentrals()) central->forgetVehicle(vehicle->serial());
}

SimVehicle* WorldCore::find(uint32_t identifier) const {
    for (const auto& vehicle : vehicles) {
        if (vehicle->identifier() == identifier) return vehicle.get();
    }
    return nullptr;
}

std::vector<std::shared_ptr<SimCentral>> WorldCore::liveCentrals() {
    std::vector<std::shared_ptr<SimCentral>> live;
    live.reserve(centrals.size());
    std::erase_if(centrals, [&](const std::weak_ptr<SimCentral>& weak) {
        auto central = weak.lock();
        if (!central) return true;
        live.push_back(std::move(central));
        return false;
    });
    return live;
}

}  // namespace ble::sim
