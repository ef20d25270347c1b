#include "zelto_sdk/advertisement.h"

#include <algorithm>
#include <cstring>

#include "zelto_sdk/byte_order.h"
#include "zelto_sdk/precondition.h"

using zelto_sdk_detail::load_u16_be;
using zelto_sdk_detail::load_u16_le;
using zelto_sdk_detail::load_u32_be;

namespace {

constexpr char kSourceFile[] = "zelto_sdk/advertisement";

// Layout of the local name's data part.
constexpr uint8_t kNameVersionEnd = 3;  // version in bytes 1-2
constexpr uint8_t kNameTextOffset = 8;

struct Field {
    uint8_t type;
    uint8_t length;  // data bytes: the length byte minus one
    const uint8_t* data;
};

// Reads the field starting at `pos` (< length). Returns false where the walk
// ends: a zero length byte, a zero type byte, or a field that does not fit in
// the payload (a lone trailing length byte included). Reads nothing at or
// beyond `length`.
bool read_field(const uint8_t* payload, size_t length, size_t pos, Field* field) {
    const uint8_t length_byte = payload[pos];
    if (length_byte == 0 || length_byte > length - pos - 1) {
        return false;
    }
    field->type = payload[pos + 1];
    if (field->type == 0) {
        return false;
    }
    field->length = static_cast<uint8_t>(length_byte - 1);
    field->data = payload + pos + 2;
    return true;
}

// Bytes a field occupies in the payload, length byte included.
size_t field_span(const Field& field) { return size_t{field.length} + 2; }

// Copies at most `slot_size` bytes: longer data is cut to the slot.
uint8_t copy_cut(uint8_t* slot, size_t slot_size, const uint8_t* data, uint8_t length) {
    const size_t n = std::min<size_t>(length, slot_size);
    std::memcpy(slot, data, n);
    return static_cast<uint8_t>(n);
}

}  // namespace

#define REQUIRE(expression) ZELTO_REQUIRE(kSourceFile, expression, #expression)

uint8_t zelto_adv_parse(const uint8_t* payload, size_t length, zelto_adv_info* info) {
    if (payload == nullptr) {
        return ZELTO_ADV_PARSE_NO_PAYLOAD;
    }
    Field field;
    for (size_t pos = 0; pos < length && read_field(payload, length, pos, &field);
         pos += field_span(field)) {
        switch (field.type) {
            case ZELTO_ADV_TYPE_FLAGS:
                if (info) copy_cut(&info->flags, 1, field.data, field.length);
                break;
            case ZELTO_ADV_TYPE_UUID128_COMPLETE:
                if (field.length == sizeof info->service_id &&
                    !zelto_adv_is_vehicle_service(field.data)) {
                    return ZELTO_ADV_PARSE_NOT_VEHICLE;
                }
                if (!info) {
                    return ZELTO_ADV_PARSE_VEHICLE;
                }
                copy_cut(info->service_id, sizeof info->service_id, field.data, field.length);
                break;
            case ZELTO_ADV_TYPE_COMPLETE_LOCAL_NAME:
                if (info) zelto_adv_parse_local_name(field.data, field.length, &info->local_name);
                break;
            case ZELTO_ADV_TYPE_TX_POWER:
                if (info) copy_cut(&info->tx_power, 1, field.data, field.length);
                break;
            case ZELTO_ADV_TYPE_MANUFACTURER_DATA:
                if (info) zelto_adv_parse_mfg_data(field.data, field.length, &info->mfg_data);
                break;
            default:
                return ZELTO_ADV_PARSE_UNHANDLED_FIELD;
        }
    }
    if (info && zelto_adv_is_vehicle_service(info->service_id)) {
        return ZELTO_ADV_PARSE_VEHICLE;
    }
    return ZELTO_ADV_PARSE_NOT_VEHICLE;
}

uint8_t zelto_adv_parse_mfg_data(const uint8_t* data, uint8_t length, zelto_adv_mfg_info* out) {
    REQUIRE(out != NULL);
    if (data == nullptr || length != ZELTO_ADV_MFG_DATA_LEN) {
        return 1;
    }
    out->product_id = load_u16_be(&data[0]);
    out->reserved = data[2];
    out->model_id = data[3];
    out->identifier = load_u32_be(&data[4]);
    return 0;
}

uint8_t zelto_adv_parse_local_name(const uint8_t* data, uint8_t length, zelto_adv_name_info* out) {
    REQUIRE(out != NULL);
    if (data == nullptr || length == 0) {
        return 1;
    }
    out->state = static_cast<uint8_t>((out->state & ~ZELTO_ADV_NAME_STATE_MASK) |
                                      (data[0] & ZELTO_ADV_NAME_STATE_MASK));
    if (length == 2) {
        out->version = data[1];
    } else if (length >= kNameVersionEnd) {
        out->version = load_u16_le(&data[1]);
    }
    if (length > kNameTextOffset) {
        std::memset(out->name, 0, sizeof out->name);
        copy_cut(out->name, sizeof out->name, &data[kNameTextOffset],
                 static_cast<uint8_t>(length - kNameTextOffset));
    }
    return 0;
}

int32_t zelto_uuid128_compare(const uint8_t* a, const uint8_t* b) {
    REQUIRE(a != NULL);
    REQUIRE(b != NULL);
    const int order = std::memcmp(a, b, 16);
    return (order > 0) - (order < 0);
}

bool zelto_adv_is_vehicle_service(const uint8_t* uuid) {
    REQUIRE(uuid != NULL);
    return zelto_uuid128_compare(uuid, ZELTO_VEHICLE_SERVICE_UUID) == 0;
}

bool zelto_adv_is_vehicle(const uint8_t* payload, size_t length) {
    return zelto_adv_parse(payload, length, nullptr) == ZELTO_ADV_PARSE_VEHICLE;
}

uint8_t zelto_adv_split_fields(const uint8_t* payload, size_t length, size_t* count,
                               zelto_adv_field* items) {
    if (payload == nullptr) {
        return 1;
    }
    size_t found = 0;
    Field field;
    for (size_t pos = 0; pos < length && read_field(payload, length, pos, &field);
         pos += field_span(field)) {
        if (items) {
            zelto_adv_field& item = items[found];
            item.type = field.type;
            item.length = copy_cut(item.data, sizeof item.data, field.data, field.length);
        }
        ++found;
    }
    if (count) {
        *count = found;
    }
    return 0;
}
