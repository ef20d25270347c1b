#include "link/Vehicle.h"

#include <algorithm>
#include <cstring>

#include "link/DriveTap.h"
#include "link/LinkText.h"
#include "link/SpeedConversion.h"
#include "link/SystemLog.h"
#include "link/VehicleUuids.h"
#include "zelto_sdk/protocol.h"

namespace {

constexpr uint16_t kSetSpeedAcceleration = 25000;
constexpr uint16_t kChangeLaneAcceleration = 2500;

// Copies at most `limit` leading bytes of the value into a zero-filled
// message: bytes that a short value does not supply read as zero, and nothing
// beyond the value is read.
VehicleMessage copyLeading(const std::vector<uint8_t>& value, size_t limit) {
    VehicleMessage message{};
    const size_t count = std::min({value.size(), limit, sizeof message});
    if (count > 0) {
        std::memcpy(&message, value.data(), count);
    }
    return message;
}

SentCommand named(const char* name, std::optional<uint16_t> speed = std::nullopt,
                  std::optional<float> offset = std::nullopt) {
    SentCommand command;
    command.name = name;
    command.speed = speed;
    command.offset = offset;
    return command;
}

}  // namespace

Vehicle::Vehicle() = default;

Vehicle::Vehicle(std::shared_ptr<void> controller) { controller_.store(std::move(controller)); }

Vehicle::~Vehicle() {
    // Released in this order: controller, write channel, read channel, peripheral.
    controller_.store(nullptr);
    writeChannel_.store(nullptr);
    readChannel_.store(nullptr);
    peripheral_.store(nullptr);
}

std::optional<uint16_t> Vehicle::firmwareVersion() const {
    const int32_t version = firmwareVersion_.load();
    if (version < 0) return std::nullopt;
    return static_cast<uint16_t>(version);
}

void Vehicle::setSpeed(float speed) {
    VehicleMessage message{};
    const uint16_t wire = speed_conversion::speedFromFloat(speed);
    const uint8_t length = zelto_vehicle_msg_set_speed(&message, wire, kSetSpeedAcceleration);
    commandedSpeed_.store(wire);
    sendFrame(message, length, named("set-speed", wire));
}

void Vehicle::setLaneOffset(float offset) {
    VehicleMessage message{};
    const uint8_t length = zelto_vehicle_msg_set_offset_from_road_center(&message, offset);
    sendFrame(message, length, named("set-offset", std::nullopt, offset));
}

void Vehicle::changeLaneAndSpeed(float offset, uint16_t speed) {
    VehicleMessage message{};
    const uint8_t length =
        zelto_vehicle_msg_change_lane(&message, speed, kChangeLaneAcceleration, offset);
    sendFrame(message, length, named("change-lane", speed, offset));
}

void Vehicle::spin180() {
    VehicleMessage message{};
    const uint8_t length = zelto_vehicle_msg_turn_180(&message);
    sendFrame(message, length, named("turn-180"));
}

void Vehicle::sendFrame(const VehicleMessage& message, uint8_t length, SentCommand command) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&message);
    if (!handToRadio(bytes, length)) {
        return;
    }
    command.vehicle = identifier_.load();
    command.bytes = bytes;
    command.length = length;
    DriveTap::commandSent(command);
}

void Vehicle::sendMessageWithLength(const uint8_t* bytes, uint8_t length) {
    if (handToRadio(bytes, length)) {
        SentCommand command = named("frame");
        command.vehicle = identifier_.load();
        command.bytes = bytes;
        command.length = length;
        DriveTap::commandSent(command);
    }
}

bool Vehicle::handToRadio(const uint8_t* bytes, uint8_t length) {
    if (bytes == nullptr && length > 0) {
        return false;
    }
    // Before a peripheral is attached a command goes nowhere, like a message
    // to nobody; with no write channel yet the peripheral writes nothing.
    const auto peripheral = peripheral_.load();
    if (peripheral == nullptr) {
        return false;
    }
    const std::vector<uint8_t> data(bytes, bytes + length);
    const auto channel = writeChannel_.load();
    if (channel != nullptr) meter_.commandSent();
    peripheral->writeValueForCharacteristic(data, channel, ble::WriteType::WithoutResponse);
    return true;
}

void Vehicle::didDiscoverServices(ble::Peripheral& peripheral, const ble::Error* error) {
    const SystemLog::VehicleScope about(identifier_.load());
    if (error != nullptr) {
        SystemLog::write("Discovered services for %s with error: %s",
                         link_text::nameOf(peripheral).c_str(), link_text::describe(error).c_str());
        return;
    }
    const auto services = peripheral.services();
    if (services.empty()) {
        SystemLog::write("Discovered no service for %s",
                         link_text::descriptionOf(peripheral).c_str());
        return;
    }
    // The vehicle has one service. Should a peripheral show more, the vehicle
    // service is the one to follow; failing that, the first.
    std::shared_ptr<ble::Service> service = services.front();
    for (const auto& candidate : services) {
        if (candidate != nullptr && candidate->uuid() == vehicle_uuids::service()) {
            service = candidate;
            break;
        }
    }
    if (service == nullptr) {
        SystemLog::write("Discovered no service for %s",
                         link_text::descriptionOf(peripheral).c_str());
        return;
    }
    SystemLog::write("Discovered service, Id=%s", service->uuid().toString().c_str());
    peripheral.discoverCharacteristicsForService({}, service);
}

void Vehicle::didDiscoverCharacteristicsForService(ble::Peripheral&, ble::Service& service,
                                                   const ble::Error* error) {
    const SystemLog::VehicleScope about(identifier_.load());
    if (error != nullptr) {
        SystemLog::write("Discovered characteristics for %s with error: %s",
                         service.uuid().toString().c_str(), link_text::describe(error).c_str());
        return;
    }
    // Two independent tests per characteristic; a later match replaces an
    // earlier one. The walk runs over a copy, since nothing stops a radio from
    // changing the service's list while a delegate call is under way.
    const auto characteristics = service.characteristics();
    for (const auto& characteristic : characteristics) {
        if (characteristic == nullptr) {
            continue;
        }
        if (characteristic->uuid() == vehicle_uuids::writeCharacteristic()) {
            writeChannel_.store(characteristic);
            SystemLog::write("Discovered write channel");
        }
        if (characteristic->uuid() == vehicle_uuids::readCharacteristic()) {
            readChannel_.store(characteristic);
            SystemLog::write("Discovered read channel");
        }
    }

    // Subscribe and hand-shake whether or not both were found; the requests go
    // out back to back and none waits for the one before.
    if (const auto own = peripheral_.load()) {
        own->setNotifyValueForCharacteristic(true, readChannel_.load());
    }
    VehicleMessage message{};
    uint8_t length = zelto_vehicle_msg_set_sdk_mode(&message, 1, 1);
    sendFrame(message, length, named("sdk-mode"));
    message = VehicleMessage{};
    length = zelto_vehicle_msg_get_version(&message);
    sendFrame(message, length, named("get-version"));
    active_.store(true);
}

void Vehicle::didUpdateValueForCharacteristic(ble::Peripheral&, ble::Characteristic& characteristic,
                                              const ble::Error* error) {
    const SystemLog::VehicleScope about(identifier_.load());
    if (error != nullptr) {
        SystemLog::write("Error updating value for characteristic %s error: %s",
                         characteristic.uuid().toString().c_str(),
                         link_text::describe(error).c_str());
        return;
    }
    const std::vector<uint8_t>& value = characteristic.value();
    meter_.notificationHeard();
    DriveTap::valueNotified(identifier_.load(), value);
    const VehicleMessage message = copyLeading(value, sizeof(VehicleMessage));

    switch (message.msg_id) {
        case ZELTO_MSG_FROM_VEHICLE_PING:
            SystemLog::write("Ping recieved from vehicle");
            break;
        case ZELTO_MSG_FROM_VEHICLE_VERSION_RESPONSE: {
            const VehicleMessage response = copyLeading(value, ZELTO_MSG_LEN_VERSION_RESPONSE);
            const unsigned version = static_cast<unsigned>(response.payload[0]) |
                                     static_cast<unsigned>(response.payload[1]) << 8;
            firmwareVersion_.store(static_cast<int32_t>(version));
            SystemLog::write("Version response 0x%04x\n", version);
            break;
        }
        case ZELTO_MSG_FROM_VEHICLE_REPORT_1B:
            break;
        case ZELTO_MSG_FROM_VEHICLE_REPORT_27: {
            // Taken as the vehicle sends it; nothing in it is interpreted yet.
            [[maybe_unused]] const VehicleMessage report =
                copyLeading(value, ZELTO_MSG_LEN_REPORT_27);
            break;
        }
        case ZELTO_MSG_FROM_VEHICLE_REPORT_29: {
            [[maybe_unused]] const VehicleMessage report =
                copyLeading(value, ZELTO_MSG_LEN_REPORT_29);
            break;
        }
        case ZELTO_MSG_FROM_VEHICLE_DELOCALIZED:
            SystemLog::write("Warning: vehicle delocalized id=0x%04x", identifier_.load());
            break;
        default:
            SystemLog::write("unknown message recieved - 0x%04X, size %d",
                             static_cast<unsigned>(message.msg_id), static_cast<int>(message.size));
            break;
    }
}

void Vehicle::didWriteValueForCharacteristic(ble::Peripheral&, ble::Characteristic& characteristic,
                                             const ble::Error* error) {
    const SystemLog::VehicleScope about(identifier_.load());
    if (error != nullptr) {
        meter_.writeFailed();
        SystemLog::write("Error writing value for characteristic %s error: %s",
                         characteristic.uuid().toString().c_str(),
                         link_text::describe(error).c_str());
    }
}

void Vehicle::didUpdateNotificationStateForCharacteristic(ble::Peripheral&,
                                                          ble::Characteristic& characteristic,
                                                          const ble::Error* error) {
    const SystemLog::VehicleScope about(identifier_.load());
    if (error != nullptr) {
        SystemLog::write("Error updating notification state for characteristic %s error: %s",
                         characteristic.uuid().toString().c_str(),
                         link_text::describe(error).c_str());
    }
}
