#include "ble/sim/SimCentral.h"

#include <algorithm>
#include <optional>

#include "ble/UuidFilter.h"
#include "ble/sim/Gatt.h"
#include "ble/sim/SimErrors.h"
#include "ble/sim/SimPeripheral.h"
#include "ble/sim/SimVehicle.h"
#include "ble/sim/Timing.h"
#include "ble/sim/WorldCore.h"

namespace ble::sim {
namespace {

bool advertises(const AdvertisementData& advertisement, const std::vector<Uuid>& filter) {
    return filterPassesAny(filter, advertisement.serviceUuids);
}

}  // namespace

SimCentral::SimCentral(std::weak_ptr<WorldCore> world, std::weak_ptr<CentralDelegate> delegate)
    : world_(std::move(world)), delegate_(std::move(delegate)) {}

SimCentral::~SimCentral() {
    // The links live on with the radio: the newest central left in the world
    // takes them over. Without one they end, and there is nobody to tell.
    const auto world = lockWorld(world_);
    std::shared_ptr<SimCentral> successor;
    if (world) {
        const auto live = world->liveCentrals();  // this one is no longer among them
        if (!live.empty()) successor = live.back();
    }
    for (const auto& [serial, peripheral] : peripherals_) {
        if (successor && (peripheral->connected() || peripheral->connecting())) {
            successor->adopt(serial, peripheral);
        } else {
            peripheral->endLinkSilently();
        }
    }
}

void SimCentral::adopt(uint64_t serial, const std::shared_ptr<SimPeripheral>& peripheral) {
    peripherals_[serial] = peripheral;
    peripheral->handOver(weak_from_this(), this);
    // The old central's pending completion went with it; this one finishes
    // the attempt.
    if (peripheral->connecting()) {
        post(timing::kConnectLatency, [peripheral](SimCentral& self, CentralDelegate* delegate) {
            self.completeConnect(peripheral, delegate);
        });
    }
}

CentralState SimCentral::state() const {
    if (!reported_) return CentralState::Unknown;
    const auto world = lockWorld(world_);
    if (!world) return lastState_;
    return world->powered ? CentralState::PoweredOn : CentralState::PoweredOff;
}

void SimCentral::post(std::chrono::milliseconds delay, Event event) {
    const auto world = lockWorld(world_);
    if (!world) return;
    world->loop.postAfter(delay, [weak = weak_from_this(), event = std::move(event)] {
        const auto self = weak.lock();
        if (!self || !lockWorld(self->world_)) return;
        const auto delegate = self->delegate_.lock();
        event(*self, delegate.get());
    });
}

void SimCentral::reportState() {
    post(std::chrono::milliseconds::zero(), [](SimCentral& self, CentralDelegate* delegate) {
        self.reported_ = true;
        self.lastState_ = self.state();
        if (delegate) delegate->centralManagerDidUpdateState(self);
    });
}

void SimCentral::radioPoweredOff() {
    scanning_ = false;
    ++scanGeneration_;
}

void SimCentral::forgetVehicle(uint64_t serial) { peripherals_.erase(serial); }

void SimCentral::reportDisconnect(std::shared_ptr<SimPeripheral> peripheral, Error error) {
    post(std::chrono::milliseconds::zero(),
         [peripheral = std::move(peripheral), error = std::move(error)](SimCentral& self,
                                                                        CentralDelegate* delegate) {
             if (delegate) delegate->didDisconnectPeripheral(self, *peripheral, &error);
         });
}

void SimCentral::scanForPeripheralsWithServices(const std::vector<Uuid>& services) {
    const auto world = lockWorld(world_);
    if (!world || !world->powered) return;  // a radio that is off does not scan
    filter_ = services;
    if (scanning_) return;  // a new request while scanning only changes the filter
    scanning_ = true;
    scheduleScan(timing::kFirstAdvertisement, ++scanGeneration_);
}

void SimCentral::stopScan() {
    scanning_ = false;
    ++scanGeneration_;
}

void SimCentral::scheduleScan(std::chrono::milliseconds delay, uint64_t generation) {
    post(delay, [generation](SimCentral& self, CentralDelegate*) { self.scanRound(generation); });
}

bool SimCentral::scanStillWanted(uint64_t generation) const {
    // The running round holds the only reference left once the central's
    // owner has let it go: then it is gone and reports nothing more.
    const bool released = weak_from_this().use_count() <= 1;
    const auto world = lockWorld(world_);
    return !released && world && world->powered && scanning_ && generation == scanGeneration_;
}

void SimCentral::scanRound(uint64_t generation) {
    if (!scanStillWanted(generation)) return;
    const auto world = lockWorld(world_);
    scheduleScan(world->advertisingInterval, generation);
    const uint64_t round = scanRounds_++;
    // The first burst now, the others evenly over the interval, so that a
    // world of hundreds never floods one turn of the loop.
    const std::size_t bursts = (world->vehicles.size() + timing::kReportsPerBurst - 1) / timing::kReportsPerBurst;
    for (std::size_t burst = 1; burst < bursts; ++burst) {
        const auto delay = world->advertisingInterval * static_cast<long>(burst) / static_cast<long>(bursts);
        post(delay, [generation, round, burst](SimCentral& self, CentralDelegate*) {
            self.reportBurst(generation, round, burst);
        });
    }
    reportBurst(generation, round, 0);
}

void SimCentral::reportBurst(uint64_t generation, uint64_t round, std::size_t burst) {
    if (!scanStillWanted(generation)) return;
    const auto world = lockWorld(world_);
    // One report per vehicle of the burst; the delegate may change anything
    // meanwhile (stop the scan, add or remove vehicles, drop this central),
    // so every step looks again.
    const std::size_t end = (burst + 1) * timing::kReportsPerBurst;
    for (std::size_t i = burst * timing::kReportsPerBurst; i < end && i < world->vehicles.size(); ++i) {
        const std::shared_ptr<SimVehicle> vehicle = world->vehicles[i];
        const std::shared_ptr<const AdvertisementData> advertisement = vehicle->advertisement();
        if (!advertises(*advertisement, filter_)) continue;
        const auto delegate = delegate_.lock();
        if (!delegate) return;
        const std::shared_ptr<Peripheral> peripheral = peripheralFor(*vehicle);
        delegate->didDiscoverPeripheral(*this, peripheral, *advertisement, vehicle->rssi(round));
        if (!scanStillWanted(generation)) return;
    }
}

const std::shared_ptr<SimPeripheral>& SimCentral::peripheralFor(SimVehicle& vehicle) {
    auto& slot = peripherals_[vehicle.serial()];
    if (!slot) {
        slot = std::make_shared<SimPeripheral>(world_, weak_from_this(), this,
                                               vehicle.weak_from_this(), vehicle.name(),
                                               vehicle.address());
    }
    return slot;
}

void SimCentral::connectPeripheral(const std::shared_ptr<Peripheral>& peripheral) {
    if (!peripheral) return;
    auto simulated = std::dynamic_pointer_cast<SimPeripheral>(peripheral);
    if (!simulated || simulated->owner() != this) {
        post(timing::kConnectLatency, [peripheral](SimCentral& self, CentralDelegate* delegate) {
            const Error error = errors::unknownPeripheral();
            if (delegate) delegate->didFailToConnectPeripheral(self, *peripheral, &error);
        });
        return;
    }
    if (simulated->connected() || simulated->connecting()) return;
    if (!lockWorld(world_)) return;
    simulated->setConnecting(true);
    post(timing::kConnectLatency,
         [simulated = std::move(simulated)](SimCentral& self, CentralDelegate* delegate) {
             self.completeConnect(simulated, delegate);
         });
}

void SimCentral::completeConnect(const std::shared_ptr<SimPeripheral>& peripheral,
                                 CentralDelegate* delegate) {
    if (!peripheral->connecting()) return;  // the attempt was called off
    peripheral->setConnecting(false);
    const auto world = lockWorld(world_);
    const auto vehicle = peripheral->vehicle();
    std::optional<Error> failure;
    if (!world->powered) {
        failure = errors::poweredOff();
    } else if (!vehicle || vehicle->removed()) {
        failure = errors::outOfRange();
    } else if (vehicle->faults().failConnect) {
        failure = errors::connectFailed();
    }
    if (failure) {
        if (delegate) delegate->didFailToConnectPeripheral(*this, *peripheral, &*failure);
        return;
    }

    peripheral->linkUp();
    vehicle->attach(peripheral);
    if (const auto after = vehicle->faults().dropAfter) {
        world->loop.postAfter(
            std::max(*after, std::chrono::milliseconds::zero()),
            [weak = std::weak_ptr<SimPeripheral>(peripheral), link = peripheral->link()] {
                const auto held = weak.lock();
                if (held && held->connected() && held->link() == link) {
                    held->dropLink(errors::linkLost());
                }
            });
    }
    if (delegate) delegate->didConnectPeripheral(*this, *peripheral);
    if (vehicle->faults().dropAtStage == Stage::Connected && peripheral->connected() &&
        lockWorld(world_)) {
        peripheral->dropLink(errors::linkLost());
    }
}

}  // namespace ble::sim
