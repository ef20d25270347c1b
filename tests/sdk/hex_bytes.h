// Byte strings written as hex text ("03 90 01 01"), so tables of expected
// bytes read like the wire format and failures print readably.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sdk_test {

using Bytes = std::vector<uint8_t>;

inline Bytes fromHex(std::string_view text) {
    Bytes bytes;
    int high = -1;
    for (char c : text) {
        int nibble;
        if (c >= '0' && c <= '9') {
            nibble = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            nibble = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            nibble = c - 'a' + 10;
        } else {
            continue;  // blanks and separators
        }
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    return bytes;
}

inline std::string toHex(const uint8_t* data, size_t n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) text += ' ';
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0f];
    }
    return text;
}

inline std::string toHex(const Bytes& bytes) { return toHex(bytes.data(), bytes.size()); }

// The advertising payload of a vehicle: flags, the vehicle service UUID and
// manufacturer data (product 0xBEEF, model 9, identifier 0x12345678).
inline const Bytes kVehiclePayload = fromHex(
    "02 01 06"
    " 11 07 F4 8D 4D 9C D8 0B 81 83 7E 40 86 61 EF BE 15 BE"
    " 09 FF BE EF 00 09 12 34 56 78");

// Where the three fields of kVehiclePayload end.
inline constexpr size_t kFlagsEnd = 3;
inline constexpr size_t kServiceEnd = 21;
inline constexpr size_t kMfgEnd = 31;

}  // namespace sdk_test
