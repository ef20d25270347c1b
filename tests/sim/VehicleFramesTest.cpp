// Decoding of the commands a virtual vehicle acts on.
#include <gtest/gtest.h>

#include "ble/sim/VehicleFrames.h"

namespace {

using ble::sim::frames::Command;
using Kind = Command::Kind;
using Bytes = std::vector<uint8_t>;

TEST(Decode, ReadsLittleEndianFieldsAtTheirOffsets) {
    const Command speed = ble::sim::frames::decode(Bytes{0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00});
    EXPECT_EQ(speed.kind, Kind::SetSpeed);
    EXPECT_EQ(speed.speed, 500);
    const Command lane = ble::sim::frames::decode(
        Bytes{0x0B, 0x25, 0x2C, 0x01, 0xC4, 0x09, 0x00, 0x00, 0xB8, 0xC1, 0x00, 0x00});
    EXPECT_EQ(lane.kind, Kind::ChangeLane);
    EXPECT_EQ(lane.speed, 300);
    EXPECT_EQ(lane.offset, -23.0f);
    const Command offset = ble::sim::frames::decode(Bytes{0x05, 0x2C, 0x00, 0x00, 0x48, 0x41});
    EXPECT_EQ(offset.offset, 12.5f);
}

TEST(Decode, AFrameTooShortForItsFieldsIsMalformed) {
    EXPECT_EQ(ble::sim::frames::decode(Bytes{0x06, 0x24, 0xF4}).kind, Kind::Malformed);
    EXPECT_EQ(ble::sim::frames::decode(Bytes{0x0b, 0x25, 0x2C, 0x01, 0xC4, 0x09, 0, 0, 0xB8}).kind,
              Kind::Malformed);
    EXPECT_EQ(ble::sim::frames::decode(Bytes{0x05, 0x2c, 0, 0, 0x48}).kind, Kind::Malformed);
    EXPECT_EQ(ble::sim::frames::decode(Bytes{0x03, 0x90}).kind, Kind::Malformed);
    EXPECT_EQ(ble::sim::frames::decode(Bytes{0x01}).kind, Kind::None);
}

TEST(Encode, AnswersHaveTheirSizesAndIds) {
    EXPECT_EQ(ble::sim::frames::versionResponse(0x1234), (Bytes{0x03, 0x19, 0x34, 0x12}));
    EXPECT_EQ(ble::sim::frames::pingAnswer(), (Bytes{0x01, 0x17}));
    EXPECT_EQ(ble::sim::frames::delocalized(), (Bytes{0x01, 0x2b}));
    const Bytes position = ble::sim::frames::positionReport(1, 2, -1.5f, 300);
    ASSERT_EQ(position.size(), 11u);
    EXPECT_EQ(position[0], position.size() - 1);
    const Bytes transition = ble::sim::frames::transitionReport(1, 0, 0.0f);
    ASSERT_EQ(transition.size(), 8u);
    EXPECT_EQ(transition[0], transition.size() - 1);
}

}  // namespace
