// Links that drop: after a delay, at a handshake stage, when the vehicle goes
// away or ends the link, and when the radio is powered off.
#include "SimFixture.h"

namespace simtest {
namespace {

using ble::sim::Stage;

class FaultsTest : public SimTest {};

TEST_F(FaultsTest, DropAfterEndsTheLinkThatLongAfterConnecting) {
    auto& vehicle = addVehicle();
    vehicle.faults().dropAfter = 500ms;
    auto peripheral = connectFirst();
    const auto connectedAt = recorder->of("connect").at(0).at;
    loop.advance(1000ms);
    const auto drops = recorder->of("disconnect");
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].at, connectedAt + 500ms);
    EXPECT_EQ(drops[0].peripheral, peripheral.get());
    ASSERT_TRUE(drops[0].error);
    EXPECT_FALSE(vehicle.connected());
}

TEST_F(FaultsTest, DropAfterCountsFromEachConnection) {
    auto& vehicle = addVehicle();
    vehicle.faults().dropAfter = 500ms;
    auto peripheral = connectFirst();
    loop.advance(400ms);
    vehicle.disconnect();  // the first link ends early by itself
    loop.runUntilIdle();
    central->connectPeripheral(peripheral);
    loop.advance(300ms);  // past the first link's timer, not the second's
    EXPECT_TRUE(vehicle.connected());
    loop.advance(300ms);
    EXPECT_FALSE(vehicle.connected());
    EXPECT_EQ(recorder->count("disconnect"), 2u);
}

struct StageCase {
    const char* name;
    Stage stage;
    const char* lastEvent;  // the stage's own event, delivered before the drop
};

class DropAtStageTest : public SimTest, public testing::WithParamInterface<StageCase> {};

TEST_P(DropAtStageTest, DropsRightAfterTheStagesEvent) {
    const StageCase& c = GetParam();
    auto& vehicle = addVehicle();
    vehicle.faults().dropAtStage = c.stage;
    // Act as the vehicle layer does: each event requests the next step.
    auto peripheral = discoverFirst();
    central->stopScan();
    peripheral->setDelegate(recorder);
    recorder->clear();
    recorder->onEvent = [&](const Event& event) {
        if (event.kind == "connect") peripheral->discoverServices({});
        if (event.kind == "services" && !peripheral->services().empty()) {
            peripheral->discoverCharacteristicsForService({}, peripheral->services()[0]);
        }
        if (event.kind == "characteristics") {
            peripheral->setNotifyValueForCharacteristic(true, event.service->characteristics()[0]);
            peripheral->writeValueForCharacteristic(
                {0x01, 0x18}, event.service->characteristics()[1], ble::WriteType::WithoutResponse);
        }
    };
    central->connectPeripheral(peripheral);
    loop.advance(500ms);

    ASSERT_GE(recorder->events.size(), 2u);
    const auto& events = recorder->events;
    EXPECT_EQ(events.back().kind, "disconnect");
    ASSERT_TRUE(events.back().error);
    EXPECT_EQ(events[events.size() - 2].kind, c.lastEvent);
    EXPECT_EQ(recorder->count("disconnect"), 1u);
    EXPECT_FALSE(vehicle.connected());
    if (c.stage != Stage::NotifyEnabled) {
        EXPECT_TRUE(vehicle.writes().empty());  // requests made at the stage never land
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stages, DropAtStageTest,
    testing::Values(StageCase{"Connected", Stage::Connected, "connect"},
                    StageCase{"ServicesDiscovered", Stage::ServicesDiscovered, "services"},
                    StageCase{"CharacteristicsDiscovered", Stage::CharacteristicsDiscovered,
                              "characteristics"},
                    StageCase{"NotifyEnabled", Stage::NotifyEnabled, "notifyState"}),
    [](const testing::TestParamInfo<StageCase>& info) { return info.param.name; });

TEST_F(FaultsTest, RemovingAConnectedVehicleDropsItsLink) {
    addVehicle();
    Link link = handshake();
    world->removeVehicle(kId);
    EXPECT_EQ(world->vehicle(kId), nullptr);
    loop.runUntilIdle();
    const auto drops = recorder->of("disconnect");
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].peripheral, link.peripheral.get());
    EXPECT_TRUE(drops[0].error);
    recorder->clear();
    link.peripheral->writeValueForCharacteristic({0x01, 0x18}, link.write,
                                                 ble::WriteType::WithResponse);
    central->connectPeripheral(link.peripheral);
    loop.advance(100ms);
    EXPECT_EQ(recorder->count("write"), 0u);
    EXPECT_EQ(recorder->count("connect"), 0u);
    EXPECT_EQ(recorder->count("fail"), 1u);
}

TEST_F(FaultsTest, TheVehicleCanEndTheLink) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    EXPECT_TRUE(vehicle.connected());
    vehicle.disconnect();
    EXPECT_FALSE(vehicle.connected());
    EXPECT_EQ(recorder->count("disconnect"), 0u);  // reported later, on the loop
    loop.runUntilIdle();
    ASSERT_EQ(recorder->count("disconnect"), 1u);
    EXPECT_TRUE(recorder->of("disconnect")[0].error);
    vehicle.disconnect();  // nothing left to end
    loop.runUntilIdle();
    EXPECT_EQ(recorder->count("disconnect"), 1u);
}

TEST_F(FaultsTest, PoweringOffReportsTheStateThenTheLostLinks) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    recorder->clear();
    world->setPowered(false);
    loop.runUntilIdle();
    ASSERT_EQ(recorder->events.size(), 2u);
    EXPECT_EQ(recorder->events[0].kind, "state");
    EXPECT_EQ(recorder->events[0].state, ble::CentralState::PoweredOff);
    EXPECT_EQ(recorder->events[1].kind, "disconnect");
    EXPECT_TRUE(recorder->events[1].error);
    EXPECT_FALSE(vehicle.connected());

    world->setPowered(true);
    loop.advance(1000ms);
    ASSERT_EQ(recorder->events.size(), 3u);
    EXPECT_EQ(recorder->events[2].state, ble::CentralState::PoweredOn);
    EXPECT_FALSE(vehicle.connected());
}

TEST_F(FaultsTest, AFailedVehicleLeavesTheOthersAlone) {
    World::populateDefault(*world);
    makeCentral();
    loop.runUntilIdle();
    world->vehicles()[1]->faults().failConnect = true;
    central->scanForPeripheralsWithServices({kVehicleService});
    loop.advance(50ms);
    central->stopScan();
    for (const auto& peripheral : recorder->discovered) central->connectPeripheral(peripheral);
    loop.advance(100ms);
    EXPECT_EQ(recorder->count("connect"), 2u);
    EXPECT_EQ(recorder->count("fail"), 1u);
    EXPECT_TRUE(world->vehicles()[0]->connected());
    EXPECT_FALSE(world->vehicles()[1]->connected());
    EXPECT_TRUE(world->vehicles()[2]->connected());
}

}  // namespace
}  // namespace simtest
