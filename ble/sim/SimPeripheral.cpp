#include "ble/sim/SimPeripheral.h"

#include <algorithm>

#include "ble/sim/Gatt.h"
#include "ble/sim/SimCentral.h"
#include "ble/sim/SimErrors.h"
#include "ble/sim/SimVehicle.h"
#include "ble/sim/Timing.h"
#include "ble/sim/WorldCore.h"

namespace ble::sim {
namespace {

bool errorOn(SimVehicle& vehicle, PeripheralEvent event) {
    return vehicle.faults().errorOn.contains(event);
}

// Keeps the objects an earlier discovery on this link made, so the same
// service or characteristic stays the same object.
template <typename T>
std::shared_ptr<T> reuseOrMake(const std::vector<std::shared_ptr<T>>& existing, const Uuid& uuid) {
    for (const auto& item : existing) {
        if (item->uuid() == uuid) return item;
    }
    return std::make_shared<T>(uuid);
}

}  // namespace

SimPeripheral::SimPeripheral(std::weak_ptr<WorldCore> world, std::weak_ptr<SimCentral> central,
                             const SimCentral* owner, std::weak_ptr<SimVehicle> vehicle,
                             std::string name, std::string identifier)
    : world_(std::move(world)),
      central_(std::move(central)),
      owner_(owner),
      vehicle_(std::move(vehicle)),
      name_(std::move(name)),
      identifier_(std::move(identifier)) {}

std::shared_ptr<SimVehicle> SimPeripheral::vehicle() const { return vehicle_.lock(); }

void SimPeripheral::linkUp() {
    connected_ = true;
    connecting_ = false;
    notifying_ = false;
    subscribed_.reset();
    services_.clear();  // a new link discovers afresh
    ++link_;
}

void SimPeripheral::dropLink(const Error& error) {
    if (!connected_ || !lockWorld(world_)) return;
    endLinkSilently();
    if (const auto central = central_.lock()) central->reportDisconnect(shared_from_this(), error);
}

void SimPeripheral::dropLinkSoon(Error error) {
    const auto world = lockWorld(world_);
    if (!world || !connected_) return;
    world->loop.postAfter(timing::kGattLatency,
                          [weak = weak_from_this(), link = link_, error = std::move(error)] {
                              const auto self = weak.lock();
                              if (self && self->connected_ && self->link_ == link) {
                                  self->dropLink(error);
                              }
                          });
}

void SimPeripheral::endLinkSilently() {
    connecting_ = false;
    if (!connected_) return;
    connected_ = false;
    notifying_ = false;
    ++link_;
    if (const auto vehicle = vehicle_.lock()) vehicle->detach(this);
}

void SimPeripheral::handOver(std::weak_ptr<SimCentral> central, const SimCentral* owner) {
    central_ = std::move(central);
    owner_ = owner;
}

void SimPeripheral::postOperation(Operation operation) {
    const auto world = lockWorld(world_);
    if (!world || !connected_) return;
    world->loop.postAfter(timing::kGattLatency, [weak = weak_from_this(), link = link_,
                                                 operation = std::move(operation)] {
        const auto self = weak.lock();
        if (!self || !lockWorld(self->world_)) return;
        if (!self->connected_ || self->link_ != link) return;
        const auto vehicle = self->vehicle_.lock();
        if (!vehicle) return;
        operation(*self, *vehicle);
    });
}

bool SimPeripheral::owns(const Service* service) const {
    return std::any_of(services_.begin(), services_.end(),
                       [service](const auto& own) { return own.get() == service; });
}

bool SimPeripheral::owns(const Characteristic* characteristic) const {
    for (const auto& service : services_) {
        for (const auto& own : service->characteristics()) {
            if (own.get() == characteristic) return true;
        }
    }
    return false;
}

void SimPeripheral::afterStage(Stage stage, SimVehicle& vehicle) {
    if (vehicle.faults().dropAtStage == stage && connected_ && lockWorld(world_)) {
        dropLink(errors::linkLost());
    }
}

void SimPeripheral::discoverServices(const std::vector<Uuid>& filter) {
    postOperation([filter](SimPeripheral& self, SimVehicle& vehicle) {
        self.finishDiscoverServices(vehicle, filter);
    });
}

void SimPeripheral::finishDiscoverServices(SimVehicle& vehicle, const std::vector<Uuid>& filter) {
    const auto delegate = this->delegate();
    if (errorOn(vehicle, PeripheralEvent::DiscoverServices)) {
        const Error error = errors::injected("discovering services");
        if (delegate) delegate->didDiscoverServices(*this, &error);
    } else {
        std::vector<std::shared_ptr<Service>> found;
        for (const Uuid& uuid : gatt::serviceUuids(vehicle.faults().layout)) {
            if (gatt::passes(filter, uuid)) found.push_back(reuseOrMake(services_, uuid));
        }
        services_ = std::move(found);
        if (delegate) delegate->didDiscoverServices(*this, nullptr);
    }
    afterStage(Stage::ServicesDiscovered, vehicle);
}

void SimPeripheral::discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                                      const std::shared_ptr<Service>& service) {
    if (!service || !owns(service.get())) return;
    postOperation([filter, service](SimPeripheral& self, SimVehicle& vehicle) {
        self.finishDiscoverCharacteristics(vehicle, filter, service);
    });
}

void SimPeripheral::finishDiscoverCharacteristics(SimVehicle& vehicle,
                                                  const std::vector<Uuid>& filter,
                                                  const std::shared_ptr<Service>& service) {
    if (!owns(service.get())) return;  // a later discovery replaced it
    const auto delegate = this->delegate();
    if (errorOn(vehicle, PeripheralEvent::DiscoverCharacteristics)) {
        const Error error = errors::injected("discovering characteristics");
        if (delegate) delegate->didDiscoverCharacteristicsForService(*this, *service, &error);
    } else {
        std::vector<std::shared_ptr<Characteristic>> found;
        for (const Uuid& uuid :
             gatt::characteristicUuids(vehicle.faults().layout, service->uuid())) {
            if (gatt::passes(filter, uuid)) {
                found.push_back(reuseOrMake(service->characteristics(), uuid));
            }
        }
        service->setCharacteristics(std::move(found));
        if (delegate) delegate->didDiscoverCharacteristicsForService(*this, *service, nullptr);
    }
    afterStage(Stage::CharacteristicsDiscovered, vehicle);
}

void SimPeripheral::setNotifyValueForCharacteristic(
    bool enabled, const std::shared_ptr<Characteristic>& characteristic) {
    if (!characteristic || !owns(characteristic.get())) return;
    postOperation([enabled, characteristic](SimPeripheral& self, SimVehicle& vehicle) {
        self.finishSetNotify(vehicle, enabled, characteristic);
    });
}

void SimPeripheral::finishSetNotify(SimVehicle& vehicle, bool enabled,
                                    const std::shared_ptr<Characteristic>& characteristic) {
    const auto delegate = this->delegate();
    if (errorOn(vehicle, PeripheralEvent::UpdateNotificationState)) {
        const Error error = errors::injected("updating the notification state");
        if (delegate)
            delegate->didUpdateNotificationStateForCharacteristic(*this, *characteristic, &error);
    } else if (characteristic->uuid() != gatt::readCharacteristic()) {
        const Error error = errors::notificationsUnsupported();
        if (delegate)
            delegate->didUpdateNotificationStateForCharacteristic(*this, *characteristic, &error);
    } else {
        notifying_ = enabled;
        subscribed_ = enabled ? characteristic : nullptr;
        if (enabled) vehicle.notificationsEnabled();
        if (delegate)
            delegate->didUpdateNotificationStateForCharacteristic(*this, *characteristic, nullptr);
    }
    afterStage(Stage::NotifyEnabled, vehicle);
}

void SimPeripheral::writeValueForCharacteristic(
    const std::vector<uint8_t>& data, const std::shared_ptr<Characteristic>& characteristic,
    WriteType type) {
    // Only this link's own characteristics are written: anything else, an
    // empty one included, reaches nobody.
    if (!characteristic || !owns(characteristic.get())) return;
    postOperation([data, characteristic, type](SimPeripheral& self, SimVehicle& vehicle) {
        self.finishWrite(vehicle, data, characteristic, type);
    });
}

void SimPeripheral::finishWrite(SimVehicle& vehicle, const std::vector<uint8_t>& data,
                                const std::shared_ptr<Characteristic>& characteristic,
                                WriteType type) {
    if (errorOn(vehicle, PeripheralEvent::WriteValue)) {
        // The write never reached the vehicle; even a write without response
        // reports the failure.
        const Error error = errors::injected("writing the value");
        if (const auto delegate = this->delegate()) {
            delegate->didWriteValueForCharacteristic(*this, *characteristic, &error);
        }
        return;
    }
    vehicle.receiveWrite(*this, characteristic->uuid(), data, type);
    if (type == WriteType::WithResponse && connected_) {
        if (const auto delegate = this->delegate()) {
            delegate->didWriteValueForCharacteristic(*this, *characteristic, nullptr);
        }
    }
}

void SimPeripheral::postNotification(std::vector<uint8_t> value) {
    if (!notifying()) return;
    postOperation([value = std::move(value)](SimPeripheral& self, SimVehicle& vehicle) mutable {
        self.finishNotification(vehicle, std::move(value));
    });
}

void SimPeripheral::finishNotification(SimVehicle& vehicle, std::vector<uint8_t> value) {
    if (!notifying_ || !subscribed_) return;  // unsubscribed meanwhile
    const auto characteristic = subscribed_;
    const auto delegate = this->delegate();
    if (errorOn(vehicle, PeripheralEvent::UpdateValue)) {
        const Error error = errors::injected("receiving a value");
        if (delegate) delegate->didUpdateValueForCharacteristic(*this, *characteristic, &error);
        return;
    }
    characteristic->setValue(std::move(value));
    if (delegate) delegate->didUpdateValueForCharacteristic(*this, *characteristic, nullptr);
}

}  // namespace ble::sim
