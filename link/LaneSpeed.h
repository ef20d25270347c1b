// The speed that goes with a lane change: the speed slider's value, truncated
// toward zero to an unsigned 16-bit number.
#pragma once

#include <cstdint>

// Values in the open range (-1.0, 65536.0) are truncated toward zero, so
// (-1.0, 0.0] gives 0. The slider's range keeps everything else out; should it
// happen anyway the result stays defined: NaN gives 0, -1.0 and below give 0,
// 65536.0 and above give 65535.
std::uint16_t laneChangeSpeed(float sliderValue);
