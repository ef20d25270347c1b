// Decoding of the commands a virtual vehicle acts on.
#include "ble/sim/VehicleFrames.h"

#include <gtest/gtest.h>

namespace {

using ble::sim::frames::Command;
using Kind = Command::Kind;
using Bytes = std::vector<uint8_t>;

struct DecodeCase {
    Bytes frame;
    Kind kind;
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, Kind) {
    EXPECT_EQ(ble::sim::frames::decode(GetParam().frame).kind, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DecodeTest,
    testing::Values(DecodeCase{{}, Kind::None}, DecodeCase{{0x01}, Kind::None},
                    DecodeCase{{0x01, 0x16}, Kind::Ping},
                    DecodeCase{{0x01, 0x18}, Kind::VersionRequest},
                    DecodeCase{{0x01, 0x32}, Kind::Turn}, DecodeCase{{0x01, 0x0d}, Kind::Disconnect},
                    DecodeCase{{0x03, 0x90, 0x01, 0x01}, Kind::SdkMode},
                    DecodeCase{{0x03, 0x90}, Kind::Malformed},
                    DecodeCase{{0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00}, Kind::SetSpeed},
                    DecodeCase{{0x06, 0x24, 0xF4}, Kind::Malformed},
                    DecodeCase{{0x05, 0x2c, 0, 0, 0x48, 0x41}, Kind::SetOffset},
                    DecodeCase{{0x05, 0x2c, 0, 0, 0x48}, Kind::Malformed},
                    DecodeCase{{0x0b, 0x25, 0x2C, 0x01, 0xC4, 0x09, 0, 0, 0xB8, 0xC1}, Kind::ChangeLane},
                    DecodeCase{{0x0b, 0x25, 0x2C, 0x01, 0xC4, 0x09, 0, 0, 0xB8}, Kind::Malformed},
                    DecodeCase{{0x01, 0x1a}, Kind::Unknown}, DecodeCase{{0x01, 0x17}, Kind::Unknown}));

TEST(Decode, ReadsLittleEndianFieldsAtTheirOffsets) {
    const Command speed = ble::sim::frames::decode(Bytes{0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00});
    EXPECT_EQ(speed.speed, 500);
    const Command lane = ble::sim::frames::decode(
        Bytes{0x0B, 0x25, 0x2C, 0x01, 0xC4, 0x09, 0x00, 0x00, 0xB8, 0xC1, 0x00, 0x00});
    EXPECT_EQ(lane.speed, 300);
    EXPECT_EQ(lane.offset, -23.0f);
    const Command offset = ble::sim::frames::decode(Bytes{0x05, 0x2C, 0x00, 0x00, 0x48, 0x41});
    EXPECT_EQ(offset.offset, 12.5f);
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
