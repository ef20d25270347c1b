// zelto_adv_parse into a record, checked against the payload's fields: the
// result and the flags, tx power and service slots.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "sdk_adv_fields.h"

namespace {

struct Expected {
    uint8_t result = ZELTO_ADV_PARSE_NOT_VEHICLE;
    uint8_t flags = 0;
    uint8_t txPower = 0;
    uint8_t serviceId[16] = {};
};

Expected walk(const std::vector<zelto_adv_field>& fields) {
    Expected e;
    for (const zelto_adv_field& field : fields) {
        switch (field.type) {
            case ZELTO_ADV_TYPE_FLAGS:
                if (field.length > 0) e.flags = field.data[0];
                break;
            case ZELTO_ADV_TYPE_TX_POWER:
                if (field.length > 0) e.txPower = field.data[0];
                break;
            case ZELTO_ADV_TYPE_UUID128_COMPLETE:
                if (field.length == 16 && !isVehicleService(field.data)) {
                    e.result = ZELTO_ADV_PARSE_NOT_VEHICLE;
                    return e;
                }
                std::memcpy(e.serviceId, field.data, field.length < 16 ? field.length : 16);
                break;
            case ZELTO_ADV_TYPE_COMPLETE_LOCAL_NAME:
            case ZELTO_ADV_TYPE_MANUFACTURER_DATA:
                break;
            default:
                e.result = ZELTO_ADV_PARSE_UNHANDLED_FIELD;
                return e;
        }
    }
    e.result =
        isVehicleService(e.serviceId) ? ZELTO_ADV_PARSE_VEHICLE : ZELTO_ADV_PARSE_NOT_VEHICLE;
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A heap record of exact size: a write past it is caught by the sanitizer.
    auto info = std::make_unique<zelto_adv_info>();
    const uint8_t result = zelto_adv_parse(data, size, info.get());
    if (data == nullptr) {
        SDK_FUZZ_CHECK(result == ZELTO_ADV_PARSE_NO_PAYLOAD);
        return 0;
    }
    const Expected e = walk(splitPayload(data, size));
    SDK_FUZZ_CHECK(result == e.result);
    SDK_FUZZ_CHECK(info->flags == e.flags);
    SDK_FUZZ_CHECK(info->tx_power == e.txPower);
    SDK_FUZZ_CHECK(std::memcmp(info->service_id, e.serviceId, 16) == 0);
    const uint8_t untouched[5] = {};
    SDK_FUZZ_CHECK(std::memcmp(info->local_name.reserved, untouched, 5) == 0);
    return 0;
}
