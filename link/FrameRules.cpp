#include "link/FrameRules.h"

#include "link/LinkText.h"
#include "link/VehicleUuids.h"
#include "zelto_sdk/advertisement.h"
#include "zelto_sdk/protocol.h"

namespace link_rules {

namespace {

bool isStop(const std::vector<uint8_t>& frame) {
    return frame.size() >= 4 && frame[1] == ZELTO_MSG_TO_VEHICLE_SET_SPEED && frame[2] == 0 && frame[3] == 0;
}

}  // namespace

ble::SupersedeRule vehicleFrames() {
    return [](const std::vector<uint8_t>& waiting, const std::vector<uint8_t>& newer) {
        // A stop that waits still reaches the car, whatever speed follows it.
        if (isStop(waiting) && !isStop(newer)) return false;
        return zelto_vehicle_msg_supersedes(waiting.data(), waiting.size(), newer.data(),
                                            newer.size());
    };
}

ble::GattLayout vehicleLayout() {
    return {vehicle_uuids::service(),
            {vehicle_uuids::readCharacteristic(), vehicle_uuids::writeCharacteristic()},
            vehicle_uuids::writeCharacteristic()};
}

ble::IdentityRule vehicleIdentity() {
    return [](const ble::AdvertisementData& advertisement) -> std::string {
        const auto& data = advertisement.manufacturerData;
        // The decoder takes a one-byte length: longer data is no vehicle's.
        if (!data || data->size() > 255) return {};
        zelto_adv_mfg_info info{};
        if (zelto_adv_parse_mfg_data(data->data(), static_cast<uint8_t>(data->size()), &info) != 0 ||
            info.product_id != ZELTO_ADV_VEHICLE_PRODUCT_ID) {
            return {};
        }
        return link_text::identifierText(info.identifier);
    };
}

}  // namespace link_rules
