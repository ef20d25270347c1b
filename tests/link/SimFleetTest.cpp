// A whole fleet on one vehicles controller: every car of a world of 1, 3 or
// 24 is listed once, connected, put in SDK mode, answers its version and
// drives, with the panels' models and the others alike.
#include <gtest/gtest.h>

#include "SimFixture.h"

namespace {

using namespace sim_fixture;

class SimFleet : public ::testing::TestWithParam<int> {};

TEST_P(SimFleet, EveryCarIsListedConnectedAndDriven) {
    const int count = GetParam();
    SimFixture f;
    ble::sim::World::populate(f.world, count);
    f.controller->beginScan();
    f.loop.advance(1s);

    ASSERT_EQ(f.listed(), static_cast<size_t>(count));
    EXPECT_EQ(f.log.count("Discovered new vehicle"), count);
    EXPECT_EQ(f.log.count("Version response 0x26"), count);
    EXPECT_EQ(f.log.count("Disconnected"), 0);
    for (auto* car : f.world.vehicles()) {
        const auto vehicle = f.listedVehicle(car->identifier());
        ASSERT_NE(vehicle, nullptr) << std::hex << car->identifier();
        EXPECT_TRUE(vehicle->active());
        EXPECT_EQ(vehicle->modelIdentifier(), car->model());
        EXPECT_TRUE(car->notifying());
        EXPECT_EQ(car->writes().size(), 2u);
        EXPECT_TRUE(handshakeWritesOnly(*car));
        vehicle->setSpeed(300.0f);
    }
    f.loop.advance(1s);
    for (const auto* car : f.world.vehicles()) EXPECT_EQ(car->speed(), 300) << std::hex << car->identifier();
}

INSTANTIATE_TEST_SUITE_P(Counts, SimFleet, ::testing::Values(1, 3, 24));

}  // namespace
