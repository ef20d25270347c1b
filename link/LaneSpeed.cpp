#include "link/LaneSpeed.h"

#include <cmath>

std::uint16_t laneChangeSpeed(float sliderValue) {
    if (std::isnan(sliderValue)) return 0;
    if (sliderValue <= -1.0f) return 0;
    if (sliderValue >= 65536.0f) return 65535;
    // In range, the truncated value lies in 0..65535: the conversion is defined.
    return static_cast<std::uint16_t>(sliderValue);
}
