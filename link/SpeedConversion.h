// The speed of a set-speed command from the float the panel hands over.
#pragma once

#include <cmath>
#include <cstdint>

namespace speed_conversion {

// Truncates toward zero to a signed 32-bit integer and keeps its low 16 bits
// (300.9 -> 300, -1.0 -> 65535, 65536.0 -> 0). A float outside the 32-bit
// range would make the conversion undefined, so it saturates first; NaN is 0.
inline uint16_t speedFromFloat(float speed) {
    int32_t whole;
    if (std::isnan(speed)) {
        whole = 0;
    } else if (speed >= 2147483648.0f) {
        whole = INT32_MAX;
    } else if (speed < -2147483648.0f) {
        whole = INT32_MIN;
    } else {
        whole = static_cast<int32_t>(speed);
    }
    return static_cast<uint16_t>(static_cast<uint32_t>(whole) & 0xFFFFu);
}

}  // namespace speed_conversion
