#include "radio/BrokerRules.h"

#include "ble/mqtt/Wire.h"
#include "link/SystemLog.h"
#include "link/VehicleUuids.h"
#include "zelto_sdk/protocol.h"

namespace broker_rules {
namespace {

// The acceleration of the link's own set-speed frames.
constexpr uint16_t kStopAcceleration = 25000;

}  // namespace

ble::mqtt::DriverRules vehicleDriverRules() {
    ble::mqtt::DriverRules rules;
    rules.slotOf = [](const std::vector<uint8_t>& frame) -> std::string {
        // A latest-value frame supersedes one of its own kind: its kind is its slot.
        if (frame.size() < 2 || !zelto_vehicle_msg_supersedes(frame.data(), frame.size(), frame.data(), frame.size())) {
            return {};
        }
        std::string slot = "m";
        slot += ble::mqtt::wire::hexOf({frame[1]});
        return slot;
    };
    rules.stopFramesFor = [](const ble::Uuid& characteristic) -> std::vector<std::vector<uint8_t>> {
        if (characteristic != vehicle_uuids::writeCharacteristic()) return {};
        VehicleMessage message{};
        const uint8_t length = zelto_vehicle_msg_set_speed(&message, 0, kStopAcceleration);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&message);
        return {std::vector<uint8_t>(bytes, bytes + length)};
    };
    rules.log = [](const std::string& line) { SystemLog::writeLine(line); };
    return rules;
}

}  // namespace broker_rules
