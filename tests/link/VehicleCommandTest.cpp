// Driving commands: the exact frame, one write without response, to whatever
// the write channel holds.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "VehicleFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class VehicleCommandTest : public testing::Test, public VehicleFixture {
protected:
    void SetUp() override { discoverVehicleService(); }

    // The one write a command made: its bytes, after checking where it went.
    Bytes onlyWrite() {
        EXPECT_EQ(peripheral->writes.size(), 1u);
        if (peripheral->writes.empty()) return {};
        const auto& w = peripheral->writes.front();
        EXPECT_EQ(w.characteristic, write);
        EXPECT_EQ(w.type, ble::WriteType::WithoutResponse);
        return w.bytes;
    }
};

TEST_F(VehicleCommandTest, EachCommandWritesExactlyItsFrameAndLogsNothing) {
    const uint8_t longerFrame[20] = {0x01, 0x16, 0xAA, 0xBB};
    const std::vector<std::pair<std::function<void()>, Bytes>> commands{
        // Speed truncated toward zero; acceleration always 25000.
        {[&] { vehicle->setSpeed(300.9f); }, {0x06, 0x24, 0x2C, 0x01, 0xA8, 0x61, 0x00}},
        {[&] { vehicle->changeLaneAndSpeed(-23.5f, 400); },
         {0x0B, 0x25, 0x90, 0x01, 0xC4, 0x09, 0x00, 0x00, 0xBC, 0xC1, 0x00, 0x00}},
        {[&] { vehicle->setLaneOffset(12.5f); }, {0x05, 0x2C, 0x00, 0x00, 0x48, 0x41}},
        {[&] { vehicle->spin180(); }, {0x01, 0x32}},
        {[&] { vehicle->sendMessageWithLength(longerFrame, 2); }, {0x01, 0x16}},
    };
    for (size_t i = 0; i < commands.size(); ++i) {
        peripheral->writes.clear();
        commands[i].first();
        EXPECT_EQ(onlyWrite(), commands[i].second) << "command " << i;
    }
    EXPECT_TRUE(log.lines.empty());
}

struct SpeedCase {
    float speed;
    uint16_t sent;
};

void PrintTo(const SpeedCase& c, std::ostream* os) { *os << c.speed << " -> " << c.sent; }

class SetSpeedConversionTest : public VehicleCommandTest,
                               public testing::WithParamInterface<SpeedCase> {};

TEST_P(SetSpeedConversionTest, LowSixteenBitsOfTheTruncatedInteger) {
    vehicle->setSpeed(GetParam().speed);
    const Bytes bytes = onlyWrite();
    ASSERT_EQ(bytes.size(), 7u);
    EXPECT_EQ(bytes[2] | bytes[3] << 8, GetParam().sent) << GetParam().speed;
    EXPECT_EQ(bytes[4] | bytes[5] << 8, 25000);
}

constexpr float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Speeds, SetSpeedConversionTest,
    testing::Values(SpeedCase{-1.0f, 65535}, SpeedCase{65536.0f, 0}, SpeedCase{65535.0f, 65535},
                    SpeedCase{-0.9f, 0}, SpeedCase{70000.5f, 0x1170},
                    // Outside the 32-bit range the integer saturates before its
                    // low bits are taken; NaN is 0.
                    SpeedCase{std::nanf(""), 0}, SpeedCase{-std::nanf(""), 0},
                    SpeedCase{kInf, 0xFFFF}, SpeedCase{-kInf, 0}, SpeedCase{3e9f, 0xFFFF},
                    SpeedCase{-3e9f, 0}, SpeedCase{2147483520.0f, 0xFF80},
                    SpeedCase{-2147483648.0f, 0}, SpeedCase{2147483648.0f, 0xFFFF}));

TEST_F(VehicleCommandTest, EveryCommandIsOneWriteNothingQueuedOrMerged) {
    vehicle->setSpeed(100.0f);
    vehicle->setSpeed(100.0f);
    vehicle->spin180();
    ASSERT_EQ(peripheral->writes.size(), 3u);
    EXPECT_EQ(peripheral->writes[0].bytes, peripheral->writes[1].bytes);
}

TEST(VehicleCommandBeforeDiscovery, HandsTheEmptyWriteChannelThrough) {
    VehicleFixture f;
    f.vehicle->setSpeed(10.0f);
    f.vehicle->changeLaneAndSpeed(1.0f, 10);
    ASSERT_EQ(f.peripheral->writes.size(), 2u);
    for (const auto& w : f.peripheral->writes) {
        EXPECT_EQ(w.characteristic, nullptr);
    }
}

TEST(VehicleCommandWithoutPeripheral, DoesNothing) {
    LogRecorder log;
    Vehicle vehicle;
    vehicle.setSpeed(10.0f);
    vehicle.spin180();
    vehicle.sendMessageWithLength(nullptr, 5);
    EXPECT_TRUE(log.lines.empty());
}

TEST(VehicleConstruction, PlainAndWithController) {
    const Vehicle plain;
    EXPECT_EQ(plain.peripheral(), nullptr);
    EXPECT_EQ(plain.readChannel(), nullptr);
    EXPECT_EQ(plain.writeChannel(), nullptr);
    EXPECT_EQ(plain.controller(), nullptr);
    EXPECT_FALSE(plain.active());
    EXPECT_EQ(plain.identifier(), 0u);
    EXPECT_EQ(plain.modelIdentifier(), 0u);

    auto owner = std::make_shared<int>(7);
    const Vehicle made(owner);
    EXPECT_EQ(made.controller(), owner);
    EXPECT_FALSE(made.isActive());
}

TEST(VehicleLifetime, ReleasesWhatItOwnsAndItsPeripheralForgetsIt) {
    auto peripheral = std::make_shared<fakes::FakePeripheral>();
    std::weak_ptr<Vehicle> weak;
    {
        auto vehicle = std::make_shared<Vehicle>();
        vehicle->setPeripheral(peripheral);
        peripheral->setDelegate(vehicle);
        weak = vehicle;
    }
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(peripheral->delegate(), nullptr);
    EXPECT_EQ(peripheral.use_count(), 1);
}

}  // namespace
