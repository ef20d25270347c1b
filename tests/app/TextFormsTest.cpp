// Number texts of the output area and the trace, and the lane-change speed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "link/LaneSpeed.h"
#include "app/panels/TextForms.h"

namespace {

using textforms::floatText;

struct FloatCase {
    float value;
    const char* text;
};

class FloatTextTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FloatTextTest, ShortestRoundTripWithAFractionalDigit) {
    EXPECT_EQ(floatText(GetParam().value), GetParam().text);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    PlainRange, FloatTextTest,
    ::testing::Values(FloatCase{500.0f, "500.0"}, FloatCase{0.0f, "0.0"},
                      FloatCase{-40.0f, "-40.0"}, FloatCase{0.5f, "0.5"},
                      FloatCase{12.25f, "12.25"}, FloatCase{300.5f, "300.5"},
                      FloatCase{-0.5f, "-0.5"}, FloatCase{0.1f, "0.1"},
                      FloatCase{1.0f / 3.0f, "0.33333334"},
                      // The ends of the plain range stay plain.
                      FloatCase{0.0001f, "0.0001"}, FloatCase{-0.0001f, "-0.0001"},
                      FloatCase{16777216.0f, "16777216.0"},
                      FloatCase{-16777216.0f, "-16777216.0"}));

INSTANTIATE_TEST_SUITE_P(
    Specials, FloatTextTest,
    ::testing::Values(FloatCase{kNaN, "nan"}, FloatCase{-kNaN, "nan"}, FloatCase{kInf, "inf"},
                      FloatCase{-kInf, "-inf"}, FloatCase{-0.0f, "-0.0"}));

// Outside the plain range the digits stay shortest; the notation is the
// shorter one, and a plain text still gets its ".0".
INSTANTIATE_TEST_SUITE_P(
    OutsidePlainRange, FloatTextTest,
    ::testing::Values(FloatCase{16777218.0f, "16777218.0"}, FloatCase{1e20f, "1e+20"},
                      FloatCase{0.00009f, "9e-05"}, FloatCase{-1e-10f, "-1e-10"},
                      FloatCase{std::numeric_limits<float>::max(), "3.4028235e+38"},
                      FloatCase{std::numeric_limits<float>::denorm_min(), "1e-45"}));

TEST(FloatTextTest, EveryTextReadsBackAsTheSameFloat) {
    for (float value : {0.1f, 300.5f, 1e-7f, 123456.78f, 16777215.0f, 3e30f, 7.0e-30f}) {
        EXPECT_EQ(std::strtof(floatText(value).c_str(), nullptr), value) << floatText(value);
    }
}

struct SpeedCase {
    float value;
    std::uint16_t speed;
};

class LaneSpeedTest : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(LaneSpeedTest, TruncatesTowardZeroAndStaysDefinedOutsideTheRange) {
    EXPECT_EQ(laneChangeSpeed(GetParam().value), GetParam().speed);
}

INSTANTIATE_TEST_SUITE_P(
    InRange, LaneSpeedTest,
    ::testing::Values(SpeedCase{300.5f, 300}, SpeedCase{250.0f, 250}, SpeedCase{0.0f, 0},
                      SpeedCase{-0.5f, 0}, SpeedCase{-0.999f, 0}, SpeedCase{65535.996f, 65535},
                      SpeedCase{1000.0f, 1000}));

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, LaneSpeedTest,
    ::testing::Values(SpeedCase{-1.0f, 0}, SpeedCase{-1e30f, 0}, SpeedCase{65536.0f, 65535},
                      SpeedCase{1e30f, 65535}, SpeedCase{kNaN, 0}, SpeedCase{kInf, 65535},
                      SpeedCase{-kInf, 0}));

}  // namespace
