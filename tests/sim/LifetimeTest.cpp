// Destruction in any order relative to the tasks still queued on the loop.
#include "SimFixture.h"

namespace simtest {
namespace {

class LifetimeTest : public SimTest {};

TEST_F(LifetimeTest, AWorldDestroyedWithTasksQueuedLeavesThemHarmless) {
    auto& vehicle = addVehicle();
    vehicle.faults().dropAfter = 1000ms;
    Link link = handshake();
    central->scanForPeripheralsWithServices({});
    link.peripheral->writeValueForCharacteristic({0x06, 0x24, 0x10, 0x00, 0, 0, 0}, link.write,
                                                 ble::WriteType::WithResponse);
    link.peripheral->discoverServices({});
    loop.advance(100ms);  // now driving: reports are queued
    recorder->clear();
    ASSERT_GT(loop.pending(), 0u);

    world.reset();
    loop.advance(5000ms);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_EQ(loop.pending(), 0u);  // nothing re-posts itself into a gone world

    // The central and the peripheral outlive the world and stay quiet.
    central->scanForPeripheralsWithServices({});
    central->connectPeripheral(link.peripheral);
    central->stopScan();
    link.peripheral->discoverServices({});
    link.peripheral->setNotifyValueForCharacteristic(true, link.read);
    link.peripheral->writeValueForCharacteristic({1}, link.write, ble::WriteType::WithResponse);
    (void)central->state();
    loop.advance(1000ms);
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(LifetimeTest, AFactoryOutlivingItsWorldMakesQuietCentrals) {
    auto factory = world->centralFactory();
    world.reset();
    auto orphan = factory(recorder);
    ASSERT_TRUE(orphan);
    orphan->scanForPeripheralsWithServices({});
    loop.advance(1000ms);
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(LifetimeTest, ACentralDestroyedWithTasksQueuedEndsItsLinksQuietly) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    central->scanForPeripheralsWithServices({});
    link.peripheral->discoverServices({});
    vehicle.notify({0x01, 0x17});
    recorder->clear();

    central.reset();
    EXPECT_FALSE(vehicle.connected());
    loop.advance(1000ms);
    EXPECT_TRUE(recorder->events.empty());
    // The peripheral is still held by its user; using it does nothing.
    link.peripheral->writeValueForCharacteristic({0x01, 0x18}, link.write,
                                                 ble::WriteType::WithResponse);
    loop.advance(100ms);
    EXPECT_TRUE(recorder->events.empty());
    world->setPowered(false);  // no central to tell
    loop.runUntilIdle();
}

TEST_F(LifetimeTest, GoneDelegatesGetNothing) {
    addVehicle();
    Link link = handshake();
    recorder->clear();
    link.peripheral->discoverServices({});
    world->vehicle(kId)->disconnect();
    central->scanForPeripheralsWithServices({});
    std::weak_ptr<Recorder> watch = recorder;
    recorder.reset();
    EXPECT_TRUE(watch.expired());
    loop.advance(1000ms);  // events for a gone receiver drop silently
    EXPECT_FALSE(world->vehicle(kId)->connected());
}

TEST_F(LifetimeTest, ReleasingTheCentralInsideOneOfItsEventsIsSafe) {
    World::populateDefault(*world);
    makeCentral();
    loop.runUntilIdle();
    recorder->onEvent = [&](const Event& event) {
        if (event.kind == "discover") central.reset();
    };
    central->scanForPeripheralsWithServices({});
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("discover"), 1u);
}

TEST_F(LifetimeTest, DestroyingTheWorldInsideAnEventIsSafe) {
    World::populateDefault(*world);
    auto peripheral = discoverFirst();
    central->stopScan();
    peripheral->setDelegate(recorder);
    recorder->onEvent = [&](const Event& event) {
        if (event.kind == "connect") {
            peripheral->discoverServices({});
            world.reset();
        }
    };
    world->vehicles()[0]->faults().dropAtStage = ble::sim::Stage::Connected;
    central->connectPeripheral(peripheral);
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("connect"), 1u);
    EXPECT_EQ(recorder->count("disconnect"), 0u);
    EXPECT_EQ(recorder->count("services"), 0u);
}

TEST_F(LifetimeTest, RemovingTheVehicleInsideItsOwnEventIsSafe) {
    addVehicle();
    Link link = handshake();
    recorder->onEvent = [&](const Event& event) {
        if (event.kind == "value") world->removeVehicle(kId);
    };
    write(link, {0x01, 0x16});
    write(link, {0x06, 0x24, 0x10, 0x00, 0, 0, 0});
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("value"), 1u);
    EXPECT_EQ(recorder->count("disconnect"), 1u);
}

TEST(LoopLifetime, TheLoopMayGoFirst) {
    auto loop = std::make_unique<ble::ManualEventLoop>();
    auto world = std::make_unique<World>(*loop);
    World::populateDefault(*world);
    auto recorder = std::make_shared<Recorder>(*loop);
    auto central = world->centralFactory()(recorder);
    loop->runUntilIdle();
    central->scanForPeripheralsWithServices({});
    loop->advance(50ms);
    ASSERT_FALSE(recorder->discovered.empty());
    central->connectPeripheral(recorder->discovered[0]);
    loop.reset();  // queued tasks die with it; nothing touches the loop afterwards
    world.reset();
    central.reset();
}

}  // namespace
}  // namespace simtest
