// The advertising payload of a vehicle (flags, service UUID, manufacturer data).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint8_t kVehiclePayload[31] = {
    0x02, 0x01, 0x06, 0x11, 0x07, 0xF4, 0x8D, 0x4D, 0x9C, 0xD8, 0x0B, 0x81, 0x83, 0x7E, 0x40, 0x86,
    0x61, 0xEF, 0xBE, 0x15, 0xBE, 0x09, 0xFF, 0xBE, 0xEF, 0x00, 0x09, 0x12, 0x34, 0x56, 0x78};

// The baseline for readers of a payload: one pass over its bytes.
inline uint8_t byteLoop(const uint8_t* data, size_t length) {
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
    return sum;
}
