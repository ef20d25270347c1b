// Connecting: latency, success, the ways it fails.
#include <functional>

#include "SimFixture.h"

namespace simtest {
namespace {

class ConnectTest : public SimTest {};

TEST_F(ConnectTest, ConnectsAfterTheLatencyNeverInsideTheRequest) {
    auto& vehicle = addVehicle();
    auto peripheral = discoverFirst();
    ASSERT_TRUE(peripheral);
    central->stopScan();
    recorder->clear();
    const auto requested = loop.now();
    central->connectPeripheral(peripheral);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_FALSE(vehicle.connected());
    loop.advance(29ms);
    EXPECT_TRUE(recorder->events.empty());
    loop.advance(1ms);
    ASSERT_EQ(recorder->count("connect"), 1u);
    EXPECT_EQ(recorder->events[0].peripheral, peripheral.get());
    EXPECT_EQ(recorder->events[0].at, requested + 30ms);
    EXPECT_TRUE(vehicle.connected());
    EXPECT_FALSE(vehicle.notifying());
}

TEST_F(ConnectTest, ARepeatedRequestConnectsOnce) {
    addVehicle();
    auto peripheral = discoverFirst();
    central->stopScan();
    central->connectPeripheral(peripheral);
    central->connectPeripheral(peripheral);
    loop.advance(100ms);
    central->connectPeripheral(peripheral);  // already connected
    loop.advance(100ms);
    EXPECT_EQ(recorder->count("connect"), 1u);
}

TEST_F(ConnectTest, FailConnectReportsAnErrorAfterTheLatency) {
    auto& vehicle = addVehicle();
    vehicle.faults().failConnect = true;
    auto peripheral = discoverFirst();
    central->stopScan();
    central->connectPeripheral(peripheral);
    loop.runUntilIdle();
    EXPECT_EQ(recorder->count("fail"), 0u);
    loop.advance(30ms);
    const auto fails = recorder->of("fail");
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].peripheral, peripheral.get());
    ASSERT_TRUE(fails[0].error);
    EXPECT_FALSE(fails[0].error->empty());
    EXPECT_FALSE(vehicle.connected());
    EXPECT_EQ(recorder->count("connect"), 0u);

    // The switch is read at each attempt.
    vehicle.faults().failConnect = false;
    central->connectPeripheral(peripheral);
    loop.advance(30ms);
    EXPECT_EQ(recorder->count("connect"), 1u);
}

// A connection that cannot be made: one failure with an error, no connection.
struct FailedConnect {
    const char* name;
    std::function<void(World&)> before;  // after discovery, before the request
    std::function<void(World&)> during;  // 10 ms into the attempt
};

void PrintTo(const FailedConnect& c, std::ostream* os) { *os << c.name; }

class FailedConnectTest : public SimTest, public testing::WithParamInterface<FailedConnect> {};

TEST_P(FailedConnectTest, ReportsOneFailure) {
    addVehicle();
    auto peripheral = discoverFirst();
    central->stopScan();
    GetParam().before(*world);
    central->connectPeripheral(peripheral);
    loop.advance(10ms);
    GetParam().during(*world);
    loop.advance(100ms);
    EXPECT_EQ(recorder->count("connect"), 0u);
    const auto fails = recorder->of("fail");
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].peripheral, peripheral.get());
    EXPECT_TRUE(fails[0].error);
    if (const auto* vehicle = world->vehicle(kId)) {
        EXPECT_FALSE(vehicle->connected());
    }
}

const auto kNothing = [](World&) {};

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedConnectTest,
    testing::Values(
        FailedConnect{"PowerOff", [](World& w) { w.setPowered(false); }, kNothing},
        FailedConnect{"PowerGoesOffDuringTheAttempt", kNothing, [](World& w) { w.setPowered(false); }},
        FailedConnect{"VehicleLeft", [](World& w) { w.removeVehicle(kId); }, kNothing}),
    [](const testing::TestParamInfo<FailedConnect>& info) { return info.param.name; });

TEST_F(ConnectTest, APeripheralOfAnotherCentralIsRefused) {
    addVehicle();
    auto other = std::make_shared<Recorder>(loop);
    auto otherCentral = world->centralFactory()(other);
    loop.runUntilIdle();
    otherCentral->scanForPeripheralsWithServices({});
    loop.advance(50ms);
    ASSERT_EQ(other->discovered.size(), 1u);

    makeCentral();
    loop.runUntilIdle();
    central->connectPeripheral(other->discovered[0]);
    central->connectPeripheral(nullptr);  // nothing at all
    loop.advance(100ms);
    ASSERT_EQ(recorder->count("fail"), 1u);
    EXPECT_EQ(recorder->of("fail")[0].peripheral, other->discovered[0].get());
    EXPECT_FALSE(world->vehicle(kId)->connected());
}

TEST_F(ConnectTest, AVehicleCanBeConnectedFromTwoCentrals) {
    auto& vehicle = addVehicle();
    auto peripheral = connectFirst();
    auto other = std::make_shared<Recorder>(loop);
    auto otherCentral = world->centralFactory()(other);
    loop.runUntilIdle();
    otherCentral->scanForPeripheralsWithServices({});
    loop.advance(50ms);
    otherCentral->connectPeripheral(other->discovered.at(0));
    loop.advance(50ms);
    EXPECT_EQ(other->count("connect"), 1u);
    vehicle.disconnect();
    loop.runUntilIdle();
    EXPECT_EQ(recorder->count("disconnect"), 1u);
    EXPECT_EQ(other->count("disconnect"), 1u);
}

TEST_F(ConnectTest, AReconnectedLinkStartsWithoutServices) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    ASSERT_FALSE(link.peripheral->services().empty());
    vehicle.disconnect();
    loop.runUntilIdle();
    central->connectPeripheral(link.peripheral);
    loop.advance(50ms);
    EXPECT_EQ(recorder->count("connect"), 2u);
    EXPECT_TRUE(link.peripheral->services().empty());
    EXPECT_TRUE(vehicle.connected());
    EXPECT_FALSE(vehicle.notifying());
}

}  // namespace
}  // namespace simtest
