// Byte-by-byte loads and stores of multi-byte wire fields. Fields sit at any
// offset, so they are never accessed through a cast to a wider type.
#pragma once

#include <bit>
#include <cstdint>

namespace zelto_sdk_detail {

inline void store_u16_le(uint8_t* dest, uint16_t value) {
    dest[0] = static_cast<uint8_t>(value);
    dest[1] = static_cast<uint8_t>(value >> 8);
}

inline void store_u32_le(uint8_t* dest, uint32_t value) {
    dest[0] = static_cast<uint8_t>(value);
    dest[1] = static_cast<uint8_t>(value >> 8);
    dest[2] = static_cast<uint8_t>(value >> 16);
    dest[3] = static_cast<uint8_t>(value >> 24);
}

// The float's bit pattern, unchanged (-0.0 and NaN payloads included).
inline void store_f32_le(uint8_t* dest, float value) {
    store_u32_le(dest, std::bit_cast<uint32_t>(value));
}

inline uint16_t load_u16_le(const uint8_t* src) {
    return static_cast<uint16_t>(src[0] | (src[1] << 8));
}

inline uint16_t load_u16_be(const uint8_t* src) {
    return static_cast<uint16_t>((src[0] << 8) | src[1]);
}

inline uint32_t load_u32_be(const uint8_t* src) {
    return (uint32_t{src[0]} << 24) | (uint32_t{src[1]} << 16) | (uint32_t{src[2]} << 8) |
           uint32_t{src[3]};
}

}  // namespace zelto_sdk_detail
