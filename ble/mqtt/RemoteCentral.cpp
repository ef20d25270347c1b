#include "ble/mqtt/RemoteCentral.h"

#include <algorithm>

#include "ble/mqtt/DriverHub.h"
#include "ble/mqtt/RemotePeripheral.h"

namespace ble::mqtt {

RemoteCentral::RemoteCentral(std::weak_ptr<DriverHub> hub, std::weak_ptr<CentralDelegate> delegate)
    : hub_(std::move(hub)), delegate_(std::move(delegate)) {}

RemoteCentral::~RemoteCentral() {
    if (auto hub = hub_.lock()) hub->forget(this);
}

CentralState RemoteCentral::state() const {
    auto hub = hub_.lock();
    return hub && hub->up() ? CentralState::PoweredOn : CentralState::PoweredOff;
}

void RemoteCentral::scanForPeripheralsWithServices(const std::vector<Uuid>& services) {
    scanning_ = true;
    filter_ = services;
}

bool RemoteCentral::wants(const AdvertisementData& advertisement) const {
    if (!scanning_) return false;
    if (filter_.empty()) return true;
    return std::any_of(filter_.begin(), filter_.end(), [&advertisement](const Uuid& uuid) {
        const auto& offered = advertisement.serviceUuids;
        return std::find(offered.begin(), offered.end(), uuid) != offered.end();
    });
}

void RemoteCentral::connectPeripheral(const std::shared_ptr<Peripheral>& peripheral) {
    auto hub = hub_.lock();
    auto car = std::dynamic_pointer_cast<RemotePeripheral>(peripheral);
    if (!hub || !car) return;
    hub->connect(car, shared_from_this());
}

}  // namespace ble::mqtt
