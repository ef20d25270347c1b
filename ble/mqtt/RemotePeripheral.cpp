#include "ble/mqtt/RemotePeripheral.h"

#include <algorithm>

#include "ble/mqtt/DriverHub.h"

namespace ble::mqtt {
namespace {

// Writes travel as latest values: a write older than this is worth nothing.
constexpr int kWriteExpirySeconds = 1;

bool passes(const std::vector<Uuid>& filter, const Uuid& uuid) {
    return filter.empty() || std::find(filter.begin(), filter.end(), uuid) != filter.end();
}

}  // namespace

RemotePeripheral::RemotePeripheral(std::weak_ptr<DriverHub> hub, std::string relay, std::string car)
    : hub_(std::move(hub)), relay_(std::move(relay)), car_(std::move(car)) {}

void RemotePeripheral::setLink(Link link) {
    link_ = link;
    if (link != Link::Up) stopsHanded_.clear();
}

void RemotePeripheral::send(wire::Request request, int expirySeconds) {
    request.car = car_;
    if (auto hub = hub_.lock()) hub->send(relay_, request, expirySeconds);
}

void RemotePeripheral::discoverServices(const std::vector<Uuid>& filter) {
    if (link_ != Link::Up) return;
    serviceFilter_ = filter;
    send(wire::Request{wire::Request::Kind::Services, {}, {}, false, {}, {}});
}

void RemotePeripheral::discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                                         const std::shared_ptr<Service>& service) {
    if (link_ != Link::Up || !service) return;
    std::erase_if(characteristicFilters_, [&service](const auto& entry) { return entry.first == service->uuid(); });
    characteristicFilters_.emplace_back(service->uuid(), filter);
    send(wire::Request{wire::Request::Kind::Characteristics, {}, service->uuid(), false, {}, {}});
}

void RemotePeripheral::setNotifyValueForCharacteristic(bool enabled,
                                                       const std::shared_ptr<Characteristic>& characteristic) {
    if (!characteristic) return;
    if (link_ != Link::Up) return refuseLater(characteristic, false);
    send(wire::Request{wire::Request::Kind::Notify, {}, characteristic->uuid(), enabled, {}, {}});
}

void RemotePeripheral::writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                                   const std::shared_ptr<Characteristic>& characteristic,
                                                   WriteType type) {
    if (!characteristic) return;
    auto hub = hub_.lock();
    if (link_ != Link::Up || !hub || data.size() > wire::kMaxFrame) {
        if (type == WriteType::WithResponse) refuseLater(characteristic, true);
        return;
    }
    const Uuid& uuid = characteristic->uuid();
    // Before the first frame through a characteristic, the relay learns how
    // to stop the car through it.
    if (stopsHanded_.insert(uuid.toString()).second && hub->rules().stopFramesFor) {
        auto stops = hub->rules().stopFramesFor(uuid);
        if (stops.size() > wire::kMaxStopFrames) stops.resize(wire::kMaxStopFrames);
        if (!stops.empty()) send(wire::Request{wire::Request::Kind::Stops, {}, uuid, false, {}, std::move(stops)});
    }
    std::string slot = hub->rules().slotOf ? hub->rules().slotOf(data) : std::string();
    if (!slot.empty() && !wire::isToken(slot)) slot = wire::tokenFrom(slot);
    send(wire::Request{wire::Request::Kind::Write, {}, uuid, type == WriteType::WithResponse, std::move(slot), {data}},
         kWriteExpirySeconds);
}

void RemotePeripheral::refuseLater(std::shared_ptr<Characteristic> characteristic, bool write) {
    auto hub = hub_.lock();
    if (!hub) return;
    hub->loop().post([weak = weak_from_this(), characteristic, write] {
        auto self = weak.lock();
        auto delegate = self ? self->delegate() : nullptr;
        if (!delegate) return;
        const Error error("the car is not connected");
        if (write) delegate->didWriteValueForCharacteristic(*self, *characteristic, &error);
        else delegate->didUpdateNotificationStateForCharacteristic(*self, *characteristic, &error);
    });
}

std::shared_ptr<Service> RemotePeripheral::service(const Uuid& uuid) const {
    for (const auto& service : services_) {
        if (service->uuid() == uuid) return service;
    }
    return nullptr;
}

std::shared_ptr<Characteristic> RemotePeripheral::characteristic(const Uuid& uuid) const {
    for (const auto& service : services_) {
        for (const auto& characteristic : service->characteristics()) {
            if (characteristic->uuid() == uuid) return characteristic;
        }
    }
    return nullptr;
}

void RemotePeripheral::answered(const wire::Answer& answer) {
    using Kind = wire::Answer::Kind;
    auto self = shared_from_this();  // a delegate may let the car go
    auto delegate = this->delegate();
    const Error error(answer.reason.empty() ? std::string() : "the relay reports: " + answer.reason);
    const Error* outcome = answer.reason.empty() ? nullptr : &error;
    if (answer.kind == Kind::Services) {
        std::vector<std::shared_ptr<Service>> found;
        for (const Uuid& uuid : answer.uuids) {
            if (!passes(serviceFilter_, uuid)) continue;
            auto known = service(uuid);
            found.push_back(known ? known : std::make_shared<Service>(uuid));
        }
        services_ = std::move(found);
        if (delegate) delegate->didDiscoverServices(*this, nullptr);
        return;
    }
    if (answer.kind == Kind::Characteristics) {
        auto owner = service(answer.uuid);
        if (!owner) return;
        std::vector<Uuid> filter;
        for (const auto& [uuid, wanted] : characteristicFilters_) {
            if (uuid == answer.uuid) filter = wanted;
        }
        std::vector<std::shared_ptr<Characteristic>> found;
        for (const Uuid& uuid : answer.uuids) {
            if (!passes(filter, uuid)) continue;
            auto known = characteristic(uuid);
            found.push_back(known ? known : std::make_shared<Characteristic>(uuid));
        }
        owner->setCharacteristics(std::move(found));
        if (delegate) delegate->didDiscoverCharacteristicsForService(*this, *owner, nullptr);
        return;
    }
    auto target = characteristic(answer.uuid);
    if (!target || !delegate) return;
    if (answer.kind == Kind::Notifying) delegate->didUpdateNotificationStateForCharacteristic(*this, *target, outcome);
    else if (answer.kind == Kind::Written) delegate->didWriteValueForCharacteristic(*this, *target, outcome);
    else if (answer.kind == Kind::Value) {
        target->setValue(answer.value);
        delegate->didUpdateValueForCharacteristic(*this, *target, nullptr);
    }
}

}  // namespace ble::mqtt
