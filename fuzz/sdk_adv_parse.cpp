// zelto_adv_parse without a record, checked against the payload's fields.
#include <cstddef>
#include <cstdint>

#include "sdk_adv_fields.h"

namespace {

uint8_t classify(const std::vector<zelto_adv_field>& fields) {
    for (const zelto_adv_field& field : fields) {
        if (field.type == ZELTO_ADV_TYPE_UUID128_COMPLETE) {
            if (field.length == 16 && !isVehicleService(field.data)) {
                return ZELTO_ADV_PARSE_NOT_VEHICLE;
            }
            return ZELTO_ADV_PARSE_VEHICLE;
        }
        if (!isHandledType(field.type)) return ZELTO_ADV_PARSE_UNHANDLED_FIELD;
    }
    return ZELTO_ADV_PARSE_NOT_VEHICLE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t result = zelto_adv_parse(data, size, nullptr);
    SDK_FUZZ_CHECK(zelto_adv_is_vehicle(data, size) == (result == ZELTO_ADV_PARSE_VEHICLE));
    if (data == nullptr) {
        SDK_FUZZ_CHECK(result == ZELTO_ADV_PARSE_NO_PAYLOAD);
        return 0;
    }
    SDK_FUZZ_CHECK(result == classify(splitPayload(data, size)));
    return 0;
}
