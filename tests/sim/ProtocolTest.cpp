// The virtual vehicle's side of the protocol: answers, driving state,
// periodic reports, and frames of any shape.
#include <bit>
#include <cmath>

#include "SimFixture.h"

namespace simtest {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes floatBytes(float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

Bytes setSpeed(uint16_t speed) {
    return {0x06, 0x24, static_cast<uint8_t>(speed), static_cast<uint8_t>(speed >> 8), 0xA8,
            0x61, 0x00};
}

Bytes changeLane(uint16_t speed, float offset) {
    Bytes frame{0x0b, 0x25, static_cast<uint8_t>(speed), static_cast<uint8_t>(speed >> 8),
                0xC4, 0x09};
    const Bytes f = floatBytes(offset);
    frame.insert(frame.end(), f.begin(), f.end());
    frame.push_back(0);
    frame.push_back(0);
    return frame;
}

Bytes setOffset(float offset) {
    Bytes frame{0x05, 0x2c};
    const Bytes f = floatBytes(offset);
    frame.insert(frame.end(), f.begin(), f.end());
    return frame;
}

class ProtocolTest : public SimTest {};

TEST_F(ProtocolTest, AnswersVersionRequestAndPingOnTheReadCharacteristic) {
    world->addVehicle({.model = 9, .identifier = kId, .name = "V", .version = 0x0102});
    Link link = handshake();
    write(link, {0x01, 0x18});
    write(link, {0x01, 0x16});
    EXPECT_EQ(notifiedValues(), (std::vector<Bytes>{{0x03, 0x19, 0x02, 0x01}, {0x01, 0x17}}));
    for (const auto& event : recorder->of("value")) EXPECT_EQ(event.characteristic, link.read.get());
    EXPECT_EQ(link.read->value(), (Bytes{0x01, 0x17}));
}

TEST_F(ProtocolTest, SaysNothingWithoutNotificationsAndReportsResumeWithThem) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    link.peripheral->setNotifyValueForCharacteristic(false, link.read);
    loop.advance(50ms);
    write(link, {0x01, 0x18});
    write(link, {0x01, 0x16});
    write(link, setSpeed(100));
    vehicle.triggerDelocalized();
    loop.advance(2000ms);
    EXPECT_TRUE(notifiedValues().empty());
    EXPECT_EQ(vehicle.writes().size(), 3u);
    EXPECT_EQ(vehicle.speed(), 100);

    link.peripheral->setNotifyValueForCharacteristic(true, link.read);
    loop.advance(1000ms);  // position and transition reports, three rounds
    EXPECT_EQ(notifiedValues().size(), 6u);
}

TEST_F(ProtocolTest, DrivingCommandsChangeTheDrivingState) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    EXPECT_EQ(vehicle.speed(), 0);
    EXPECT_EQ(vehicle.offset(), 0.0f);

    write(link, setSpeed(500));
    EXPECT_EQ(vehicle.speed(), 500);
    write(link, changeLane(300, -23.5f));
    EXPECT_EQ(vehicle.offset(), -23.5f);
    EXPECT_EQ(vehicle.speed(), 500);  // the lane-change speed is sideways
    write(link, setOffset(12.5f));
    EXPECT_EQ(vehicle.offset(), 12.5f);
    write(link, {0x01, 0x32});  // turn around: the same place is now on the other side
    EXPECT_EQ(vehicle.offset(), -12.5f);
    write(link, setSpeed(65535));
    EXPECT_EQ(vehicle.speed(), 65535);
    write(link, setSpeed(0));
    EXPECT_EQ(vehicle.speed(), 0);
}

TEST_F(ProtocolTest, SpecialFloatsAreTakenAsSent) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    write(link, setOffset(std::nanf("")));
    EXPECT_TRUE(std::isnan(vehicle.offset()));
    write(link, {0x01, 0x32});  // turning with a NaN offset is harmless
    write(link, changeLane(1, -INFINITY));
    EXPECT_EQ(vehicle.offset(), -INFINITY);
}

TEST_F(ProtocolTest, ReportsWhileDrivingAndStopsWhenStopped) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    write(link, setSpeed(400));
    recorder->clear();
    loop.advance(1000ms);  // four report rounds
    const auto values = notifiedValues();
    ASSERT_EQ(values.size(), 8u);
    for (std::size_t i = 0; i < values.size(); i += 2) {
        ASSERT_EQ(values[i].size(), 11u);
        EXPECT_EQ(values[i][0], 0x0a);
        EXPECT_EQ(values[i][1], 0x27);
        ASSERT_EQ(values[i + 1].size(), 8u);
        EXPECT_EQ(values[i + 1][0], 0x07);
        EXPECT_EQ(values[i + 1][1], 0x29);
    }
    write(link, setSpeed(0));
    recorder->clear();
    loop.advance(2000ms);
    EXPECT_TRUE(notifiedValues().empty());
    EXPECT_EQ(vehicle.speed(), 0);
}

TEST_F(ProtocolTest, DelocalizedAndArbitraryValuesAreNotified) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    vehicle.triggerDelocalized();
    vehicle.notify({});
    vehicle.notify({0x05});
    vehicle.notify(Bytes(64, 0xEE));
    loop.advance(50ms);
    const std::vector<Bytes> expected{{0x01, 0x2b}, {}, {0x05}, Bytes(64, 0xEE)};
    EXPECT_EQ(notifiedValues(), expected);
}

TEST_F(ProtocolTest, NotifyWithoutALinkGoesNowhere) {
    auto& vehicle = addVehicle();
    vehicle.notify({0x01, 0x17});
    vehicle.triggerDelocalized();
    loop.advance(100ms);
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(ProtocolTest, ADisconnectCommandEndsTheLink) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    write(link, {0x01, 0x0d}, ble::WriteType::WithResponse);
    EXPECT_EQ(recorder->count("write"), 1u);
    ASSERT_EQ(recorder->count("disconnect"), 1u);
    EXPECT_TRUE(recorder->of("disconnect")[0].error);
    EXPECT_FALSE(vehicle.connected());
}

TEST_F(ProtocolTest, WritesToTheReadCharacteristicAreRecordedButNotActedOn) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    link.peripheral->writeValueForCharacteristic({0x01, 0x18}, link.read,
                                                 ble::WriteType::WithoutResponse);
    loop.advance(50ms);
    ASSERT_EQ(vehicle.writes().size(), 1u);
    EXPECT_EQ(vehicle.writes()[0].characteristic, kReadUuid);
    EXPECT_TRUE(notifiedValues().empty());
}

// Frames of any length and content: recorded, never acted on beyond the
// bytes that are there.
class OddFrameTest : public SimTest, public testing::WithParamInterface<Bytes> {};

TEST_P(OddFrameTest, IsRecordedAndChangesNothing) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    write(link, GetParam());
    ASSERT_EQ(vehicle.writes().size(), 1u);
    EXPECT_EQ(vehicle.writes()[0].bytes, GetParam());
    EXPECT_EQ(vehicle.speed(), 0);
    EXPECT_EQ(vehicle.offset(), 0.0f);
    EXPECT_TRUE(vehicle.connected());
}

INSTANTIATE_TEST_SUITE_P(
    ShortOrUnknown, OddFrameTest,
    testing::Values(Bytes{}, Bytes{0x01}, Bytes{0x06, 0x24}, Bytes{0x06, 0x24, 0x05},
                    Bytes{0x0b, 0x25, 0x05, 0x00, 0xC4, 0x09, 0x00, 0x00, 0xB8},
                    Bytes{0x05, 0x2c, 0x00, 0x00, 0x48}, Bytes{0x03, 0x90}, Bytes{0x01, 0x19},
                    Bytes{0xff, 0xff, 0xff}, Bytes(200, 0x00)));

TEST_F(ProtocolTest, EveryLengthOfEveryIdIsSafe) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    for (int id = 0; id < 256; ++id) {
        if (id == 0x0d) continue;  // would end the link
        for (std::size_t length = 0; length <= 21; ++length) {
            Bytes frame(length, 0x41);
            if (length > 1) frame[1] = static_cast<uint8_t>(id);
            link.peripheral->writeValueForCharacteristic(frame, link.write,
                                                         ble::WriteType::WithoutResponse);
        }
        loop.advance(20ms);
    }
    EXPECT_TRUE(vehicle.connected());
    EXPECT_EQ(vehicle.writes().size(), 255u * 22u);
}

}  // namespace
}  // namespace simtest
