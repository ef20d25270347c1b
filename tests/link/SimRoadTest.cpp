// The whole road on the simulated radio: scan, discovery, connection,
// characteristics, subscription, SDK mode, version, then driving.
#include <gtest/gtest.h>

#include <algorithm>

#include "SimFixture.h"

namespace {

using namespace sim_fixture;
using Lines = std::vector<std::string>;

TEST(SimRoad, FromBeginScanToTheVersionResponse) {
    SimFixture f;
    auto& car = f.world.addVehicle(vehicleProfile(9, 0x12345678, 0x2609));
    f.controller->beginScan();
    f.loop.advance(150ms);

    EXPECT_EQ(f.log.lines, (Lines{"state=5", "Power ON = 5",
                                  "Discovered new vehicle, model=0x0009, id=0x12345678",
                                  "Connected to vehicle id=0x12345678",
                                  "Discovered service, Id=BE15BEEF-6186-407E-8381-0BD89C4D8DF4",
                                  "Discovered read channel", "Discovered write channel",
                                  "Version response 0x2609\n"}));
    ASSERT_EQ(car.writes().size(), 2u);
    EXPECT_EQ(car.writes()[0].bytes, kSdkMode);
    EXPECT_EQ(car.writes()[1].bytes, kGetVersion);
    EXPECT_TRUE(handshakeWritesOnly(car));
    EXPECT_TRUE(car.connected());
    EXPECT_TRUE(car.notifying());

    ASSERT_EQ(f.listed(), 1u);
    const auto vehicle = f.listedVehicle(0x12345678);
    ASSERT_NE(vehicle, nullptr);
    EXPECT_TRUE(vehicle->active());
    EXPECT_EQ(vehicle->modelIdentifier(), 9u);
    EXPECT_NE(vehicle->readChannel(), nullptr);
    EXPECT_NE(vehicle->writeChannel(), nullptr);

    // Later advertisements of the listed vehicle change nothing.
    f.log.clear();
    f.loop.advance(2s);
    EXPECT_TRUE(f.log.lines.empty());
    EXPECT_EQ(f.listed(), 1u);
}

TEST(SimRoad, DrivingCommandsReachTheVehicleAndItsReportsAreQuiet) {
    SimFixture f;
    auto& car = f.world.addVehicle(vehicleProfile(18, 0xCAFE0018));
    f.controller->beginScan();
    f.loop.advance(150ms);
    car.clearWrites();
    f.log.clear();

    const auto vehicle = f.listedVehicle(0xCAFE0018);
    ASSERT_NE(vehicle, nullptr);
    vehicle->setSpeed(500.0f);
    vehicle->changeLaneAndSpeed(-23.0f, 300);
    vehicle->setLaneOffset(12.5f);
    vehicle->spin180();
    f.loop.advance(2s);  // reports of the driving vehicle arrive meanwhile

    ASSERT_EQ(car.writes().size(), 4u);
    EXPECT_EQ(car.writes()[0].bytes, (Bytes{0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00}));
    EXPECT_EQ(car.writes()[1].bytes,
              (Bytes{0x0B, 0x25, 0x2C, 0x01, 0xC4, 0x09, 0x00, 0x00, 0xB8, 0xC1, 0x00, 0x00}));
    EXPECT_EQ(car.writes()[2].bytes, (Bytes{0x05, 0x2C, 0x00, 0x00, 0x48, 0x41}));
    EXPECT_EQ(car.writes()[3].bytes, (Bytes{0x01, 0x32}));
    for (const auto& w : car.writes()) {
        EXPECT_EQ(w.characteristic, kWrite);
        EXPECT_EQ(w.type, ble::WriteType::WithoutResponse);
    }
    EXPECT_EQ(car.speed(), 500);
    EXPECT_FLOAT_EQ(car.offset(), -12.5f);
    EXPECT_TRUE(f.log.lines.empty()) << f.log.lines.front();

    car.notify({0x01, 0x17});
    car.triggerDelocalized();
    car.notify({0x05, 0x99, 0, 0, 0, 0});
    f.loop.advance(100ms);
    EXPECT_EQ(f.log.lines, (Lines{"Ping recieved from vehicle",
                                  "Warning: vehicle delocalized id=0xcafe0018",
                                  "unknown message recieved - 0x0099, size 5"}));
}

TEST(SimRoad, TheDefaultWorldComesUpAndASecondBeginScanKeepsEveryVehicle) {
    SimFixture f;
    ble::sim::World::populateDefault(f.world);
    for (int scan = 0; scan < 2; ++scan) {
        f.controller->beginScan();
        f.loop.advance(1s);
        ASSERT_EQ(f.listed(), 3u) << "scan " << scan;
        std::vector<int> models;
        for (const auto* car : f.world.vehicles()) {
            EXPECT_TRUE(car->connected());
            EXPECT_TRUE(handshakeWritesOnly(*car));
            EXPECT_EQ(car->writes().size(), 2u) << "one handshake only, scan " << scan;
            const auto vehicle = f.listedVehicle(car->identifier());
            ASSERT_NE(vehicle, nullptr);
            EXPECT_TRUE(vehicle->active());
            models.push_back(vehicle->modelIdentifier());
        }
        std::sort(models.begin(), models.end());
        EXPECT_EQ(models, (std::vector<int>{9, 18, 19}));
    }
    EXPECT_EQ(f.log.count("Discovered new vehicle"), 3);
    EXPECT_EQ(f.log.count("Disconnected"), 0);
}

}  // namespace
