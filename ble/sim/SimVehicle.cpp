#include "ble/sim/SimVehicle.h"

#include <algorithm>
#include <cstdio>

#include "ble/sim/Gatt.h"
#include "ble/sim/SimErrors.h"
#include "ble/sim/SimPeripheral.h"
#include "ble/sim/Timing.h"
#include "ble/sim/WorldCore.h"

namespace ble::sim {
namespace {

// A long run must not grow without bound: past this many, the older half of
// the record goes.
constexpr std::size_t kMaxRecordedWrites = 8192;

std::vector<uint8_t> defaultManufacturerData(uint8_t model, uint32_t identifier) {
    return {0xBE,
            0xEF,
            0x00,
            model,
            static_cast<uint8_t>(identifier >> 24),
            static_cast<uint8_t>(identifier >> 16),
            static_cast<uint8_t>(identifier >> 8),
            static_cast<uint8_t>(identifier)};
}

std::string madeUpName(uint32_t identifier) {
    char text[24];
    std::snprintf(text, sizeof text, "Vehicle %08X", identifier);
    return text;
}

std::string addressFor(uint64_t serial, uint32_t identifier) {
    char text[24];
    std::snprintf(
        text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X",
        static_cast<unsigned>((serial >> 8) & 0xff), static_cast<unsigned>(serial & 0xff),
        static_cast<unsigned>(identifier >> 24), static_cast<unsigned>((identifier >> 16) & 0xff),
        static_cast<unsigned>((identifier >> 8) & 0xff), static_cast<unsigned>(identifier & 0xff));
    return text;
}

}  // namespace

SimVehicle::SimVehicle(std::weak_ptr<WorldCore> world, uint64_t serial, const VehicleProfile& profile)
    : world_(std::move(world)),
      serial_(serial),
      identifier_(profile.identifier),
      model_(profile.model),
      version_(profile.version),
      name_(profile.name.empty() ? madeUpName(profile.identifier) : profile.name),
      address_(addressFor(serial, profile.identifier)) {
    setManufacturerData(defaultManufacturerData(model_, identifier_));
}

void SimVehicle::setManufacturerData(std::optional<std::vector<uint8_t>> data) {
    advertisement_ = std::make_shared<const AdvertisementData>(
        AdvertisementData{std::move(data), name_, {gatt::vehicleService()}});
}

int SimVehicle::rssi(uint64_t scanRound) const {
    // Each vehicle has its own distance, and the level wobbles a little.
    const int distance = static_cast<int>((uint64_t{identifier_} * 7 + serial_ * 13) % 40);
    const int wobble = static_cast<int>((scanRound + serial_) % 5) - 2;
    return -45 - distance + wobble;
}

bool SimVehicle::connected() const {
    return std::any_of(links_.begin(), links_.end(), [](const auto& weak) {
        const auto link = weak.lock();
        return link && link->connected();
    });
}

bool SimVehicle::notifying() const {
    return std::any_of(links_.begin(), links_.end(), [](const auto& weak) {
        const auto link = weak.lock();
        return link && link->connected() && link->notifying();
    });
}

void SimVehicle::attach(const std::shared_ptr<SimPeripheral>& link) {
    detach(link.get());
    links_.push_back(link);
}

void SimVehicle::detach(const SimPeripheral* link) {
    std::erase_if(links_, [link](const std::weak_ptr<SimPeripheral>& weak) {
        const auto held = weak.lock();
        return !held || held.get() == link;
    });
}

void SimVehicle::dropAllLinks(const Error& error) {
    const auto snapshot = links_;  // each drop detaches itself
    for (const auto& weak : snapshot) {
        if (const auto link = weak.lock()) link->dropLink(error);
    }
}

void SimVehicle::notify(std::vector<uint8_t> value) {
    for (const auto& weak : links_) {
        const auto link = weak.lock();
        if (link && link->notifying()) link->postNotification(value);
    }
}

void SimVehicle::triggerDelocalized() { notify(frames::delocalized()); }

void SimVehicle::disconnect() { dropAllLinks(errors::peerDisconnected()); }

void SimVehicle::notificationsEnabled() { startReports(); }

void SimVehicle::receiveWrite(SimPeripheral& from, const Uuid& characteristic,
                              const std::vector<uint8_t>& bytes, WriteType type) {
    if (writes_.size() >= kMaxRecordedWrites) {
        writes_.erase(writes_.begin(), writes_.begin() + kMaxRecordedWrites / 2);
    }
    writes_.push_back(RecordedWrite{characteristic, bytes, type});
    if (characteristic == gatt::writeCharacteristic()) act(frames::decode(bytes), from);
}

void SimVehicle::act(const frames::Command& command, SimPeripheral& from) {
    using Kind = frames::Command::Kind;
    switch (command.kind) {
        case Kind::SetSpeed:
            speed_ = command.speed;
            startReports();
            break;
        case Kind::ChangeLane:
            // The lane-change speed is how fast it moves sideways; the
            // forward speed stays.
            offset_ = command.offset;
            break;
        case Kind::SetOffset:
            offset_ = command.offset;
            break;
        case Kind::Turn:
            // Facing the other way, the same place is on the other side.
            if (offset_ != 0.0f) offset_ = -offset_;
            break;
        case Kind::Ping:
            from.postNotification(frames::pingAnswer());
            break;
        case Kind::VersionRequest:
            from.postNotification(frames::versionResponse(version_));
            break;
        case Kind::Disconnect:
            from.dropLinkSoon(errors::peerDisconnected());
            break;
        case Kind::SdkMode:
        case Kind::None:
        case Kind::Unknown:
        case Kind::Malformed:
            break;
    }
}

void SimVehicle::startReports() {
    if (reportsRunning_ || speed_ == 0 || removed_ || !notifying()) return;
    const auto world = lockWorld(world_);
    if (!world) return;
    reportsRunning_ = true;
    world->loop.postAfter(timing::kReportInterval, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->reportTick();
    });
}

void SimVehicle::reportTick() {
    reportsRunning_ = false;
    if (speed_ == 0 || removed_ || !lockWorld(world_) || !notifying()) return;
    const uint8_t previous = piece_;
    piece_ = static_cast<uint8_t>((piece_ + 1) % 16);
    notify(frames::positionReport(piece_, static_cast<uint8_t>(piece_ * 3), offset_, speed_));
    notify(frames::transitionReport(piece_, previous, offset_));
    startReports();
}

}  // namespace ble::sim
