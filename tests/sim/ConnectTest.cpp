// Connecting: latency, success, the ways it fails.
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

TEST_F(ConnectTest, FailsWhileThePowerIsOff) {
    auto& vehicle = addVehicle();
    auto peripheral = discoverFirst();
    world->setPowered(false);
    central->connectPeripheral(peripheral);
    loop.advance(100ms);
    ASSERT_EQ(recorder->count("fail"), 1u);
    EXPECT_TRUE(recorder->of("fail")[0].error);
    EXPECT_FALSE(vehicle.connected());
}

TEST_F(ConnectTest, PowerGoingOffDuringTheAttemptFailsIt) {
    addVehicle();
    auto peripheral = discoverFirst();
    central->connectPeripheral(peripheral);
    loop.advance(10ms);
    world->setPowered(false);
    loop.advance(100ms);
    EXPECT_EQ(recorder->count("connect"), 0u);
    EXPECT_EQ(recorder->count("fail"), 1u);
}

TEST_F(ConnectTest, AVehicleThatLeftFailsToConnect) {
    addVehicle();
    auto peripheral = discoverFirst();
    central->stopScan();
    world->removeVehicle(kId);
    central->connectPeripheral(peripheral);
    loop.advance(100ms);
    ASSERT_EQ(recorder->count("fail"), 1u);
    EXPECT_EQ(recorder->of("fail")[0].peripheral, peripheral.get());
}

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
