#include <gtest/gtest.h>

#include "ble/Bluetooth.h"

namespace {

constexpr const char* kService = "BE15BEEF-6186-407E-8381-0BD89C4D8DF4";

TEST(Uuid, ReadsCanonicalTextInTextOrder) {
    const ble::Uuid uuid = ble::Uuid::fromString(kService);
    const std::array<uint8_t, 16> expected{0xBE, 0x15, 0xBE, 0xEF, 0x61, 0x86, 0x40, 0x7E,
                                           0x83, 0x81, 0x0B, 0xD8, 0x9C, 0x4D, 0x8D, 0xF4};
    EXPECT_EQ(uuid.bytes(), expected);
    EXPECT_FALSE(uuid.isNull());
    EXPECT_EQ(uuid.toString(), kService);
}

TEST(Uuid, LowerAndMixedCaseReadAsTheSameValueAndPrintUpperCase) {
    const ble::Uuid upper = ble::Uuid::fromString(kService);
    const ble::Uuid lower = ble::Uuid::fromString("be15beef-6186-407e-8381-0bd89c4d8df4");
    const ble::Uuid mixed = ble::Uuid::fromString("Be15bEEf-6186-407e-8381-0Bd89C4d8dF4");
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(mixed, upper);
    EXPECT_EQ(lower.toString(), kService);
}

TEST(Uuid, DistinctValuesDiffer) {
    EXPECT_NE(ble::Uuid::fromString("BE15BEE0-6186-407E-8381-0BD89C4D8DF4"),
              ble::Uuid::fromString("BE15BEE1-6186-407E-8381-0BD89C4D8DF4"));
}

TEST(Uuid, DefaultIsNilAndPrintsZeros) {
    ble::Uuid nil;
    EXPECT_TRUE(nil.isNull());
    EXPECT_EQ(nil.toString(), "00000000-0000-0000-0000-000000000000");
    EXPECT_TRUE(ble::Uuid::fromString("00000000-0000-0000-0000-000000000000").isNull());
}

TEST(Uuid, RoundTripsEveryByteValue) {
    std::array<uint8_t, 16> bytes{};
    for (int start = 0; start < 256; start += 16) {
        for (int i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(start + i);
        const ble::Uuid uuid(bytes);
        EXPECT_EQ(ble::Uuid::fromString(uuid.toString()), uuid) << uuid.toString();
    }
}

class UuidBadText : public testing::TestWithParam<std::string> {};

TEST_P(UuidBadText, GivesNil) {
    EXPECT_TRUE(ble::Uuid::fromString(GetParam()).isNull()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    NotAUuid, UuidBadText,
    testing::Values("", "BE15BEEF", "180A",
                    "BE15BEEF-6186-407E-8381-0BD89C4D8DF",    // one digit short
                    "BE15BEEF-6186-407E-8381-0BD89C4D8DF40",  // one digit long
                    "BE15BEEF-6186-407E-8381-0BD89C4D8DG4",   // not hex
                    "BE15BEEF 6186-407E-8381-0BD89C4D8DF4",   // no dash
                    "BE15BEE-F6186-407E-8381-0BD89C4D8DF4",   // dash moved
                    "BE15BEEF61864-07E-8381-0BD89C4D8DF4-",   // dashes elsewhere
                    "{BE15BEEF-6186-407E-8381-0BD89C4D8DF}",  // braces
                    " BE15BEEF-6186-407E-8381-0BD89C4D8DF",   // leading space
                    std::string("BE15BEEF-6186-407E-8381-0BD89C4D8D\0F", 36)));

}  // namespace
