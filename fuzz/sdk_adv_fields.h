// Shared by the advertisement fuzz targets: the fields of a payload as the
// splitter sees them, to check the walker against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "zelto_sdk/advertisement.h"

#define SDK_FUZZ_CHECK(condition)       \
    do {                                \
        if (!(condition)) std::abort(); \
    } while (0)

// Splits into an exact-size heap array: a payload of n bytes holds at most
// n / 2 fields, so a write beyond that is caught by the address sanitizer.
inline std::vector<zelto_adv_field> splitPayload(const uint8_t* data, size_t size) {
    std::vector<zelto_adv_field> items(size / 2);
    size_t count = 0;
    SDK_FUZZ_CHECK(zelto_adv_split_fields(data, size, &count, items.data()) == 0);
    SDK_FUZZ_CHECK(count <= size / 2);
    items.resize(count);
    return items;
}

inline bool isVehicleService(const uint8_t* uuid) {
    for (int i = 0; i < 16; ++i) {
        if (uuid[i] != ZELTO_VEHICLE_SERVICE_UUID[i]) return false;
    }
    return true;
}

inline bool isHandledType(uint8_t type) {
    return type == ZELTO_ADV_TYPE_FLAGS || type == ZELTO_ADV_TYPE_UUID128_COMPLETE ||
           type == ZELTO_ADV_TYPE_COMPLETE_LOCAL_NAME || type == ZELTO_ADV_TYPE_TX_POWER ||
           type == ZELTO_ADV_TYPE_MANUFACTURER_DATA;
}
