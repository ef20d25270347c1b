// The central: state reports and advertisement reports while scanning.
#include <set>

#include "SimFixture.h"

namespace simtest {
namespace {

class CentralTest : public SimTest {};

TEST_F(CentralTest, ReportsItsStateAfterCreationNeverInsideTheFactory) {
    makeCentral();
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_EQ(central->state(), ble::CentralState::Unknown);
    loop.runUntilIdle();
    ASSERT_EQ(recorder->count("state"), 1u);
    EXPECT_EQ(recorder->events[0].state, ble::CentralState::PoweredOn);
    EXPECT_EQ(central->state(), ble::CentralState::PoweredOn);

    // One made while the radio is off reports that.
    world->setPowered(false);
    auto other = std::make_shared<Recorder>(loop);
    auto otherCentral = world->centralFactory()(other);
    loop.runUntilIdle();
    ASSERT_EQ(other->count("state"), 1u);
    EXPECT_EQ(other->events[0].state, ble::CentralState::PoweredOff);
}

TEST_F(CentralTest, EveryPowerChangeIsReportedToEveryCentral) {
    auto other = std::make_shared<Recorder>(loop);
    makeCentral();
    auto otherCentral = world->centralFactory()(other);
    loop.runUntilIdle();
    recorder->clear();
    other->clear();

    world->setPowered(false);
    EXPECT_EQ(central->state(), ble::CentralState::PoweredOff);  // at once, before the report
    world->setPowered(false);  // no change, no report
    loop.runUntilIdle();
    world->setPowered(true);
    loop.runUntilIdle();

    for (const auto* r : {recorder.get(), other.get()}) {
        ASSERT_EQ(r->count("state"), 2u);
        EXPECT_EQ(r->events[0].state, ble::CentralState::PoweredOff);
        EXPECT_EQ(r->events[1].state, ble::CentralState::PoweredOn);
    }
    EXPECT_TRUE(world->powered());
}

TEST_F(CentralTest, DefaultWorldHoldsThreeVehiclesOfThePanelModels) {
    World::populateDefault(*world);
    const auto vehicles = world->vehicles();
    ASSERT_EQ(vehicles.size(), 3u);
    EXPECT_EQ(vehicles[0]->model(), 9);
    EXPECT_EQ(vehicles[1]->model(), 18);
    EXPECT_EQ(vehicles[2]->model(), 19);
    std::set<uint32_t> identifiers;
    for (auto* vehicle : vehicles) {
        identifiers.insert(vehicle->identifier());
        EXPECT_EQ(world->vehicle(vehicle->identifier()), vehicle);
    }
    EXPECT_EQ(identifiers.size(), 3u);
    EXPECT_EQ(world->vehicle(0xdeadbeef), nullptr);
}

TEST_F(CentralTest, ScanningReportsEveryVehicleAgainAndAgainAsTheSameObject) {
    World::populateDefault(*world);
    makeCentral();
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({kVehicleService});
    EXPECT_EQ(recorder->count("discover"), 0u);  // nothing inside the request

    loop.advance(1000ms);  // reports at 20, 220, 420, 620 and 820 ms
    const auto reports = recorder->of("discover");
    ASSERT_EQ(reports.size(), 15u);
    ASSERT_EQ(recorder->discovered.size(), 3u);
    EXPECT_EQ(reports.front().at, 20ms);
    EXPECT_EQ(reports.back().at, 820ms);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].peripheral, recorder->discovered[i % 3].get());
        EXPECT_LT(reports[i].rssi, -30);
        EXPECT_GT(reports[i].rssi, -100);
    }
}

TEST_F(CentralTest, AdvertisementCarriesManufacturerDataNameAndService) {
    world->addVehicle({.model = 18, .identifier = 0x0A0B0C0D, .name = "Drummet"});
    world->addVehicle({.model = 19, .identifier = 7, .name = ""});
    makeCentral();
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({});
    loop.advance(30ms);
    const auto reports = recorder->of("discover");
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].manufacturerData,
              (std::vector<uint8_t>{0xBE, 0xEF, 0x00, 18, 0x0A, 0x0B, 0x0C, 0x0D}));
    EXPECT_EQ(reports[0].localName, "Drummet");
    EXPECT_EQ(reports[0].serviceUuids, std::vector<ble::Uuid>{kVehicleService});
    EXPECT_EQ(reports[0].peripheral->name(), "Drummet");
    EXPECT_FALSE(reports[0].peripheral->identifier().empty());
    // A vehicle without a name gets a made-up one; identifiers differ.
    EXPECT_FALSE(reports[1].localName.empty());
    EXPECT_EQ(reports[1].peripheral->name(), reports[1].localName);
    EXPECT_NE(reports[0].peripheral->identifier(), reports[1].peripheral->identifier());
}

TEST_F(CentralTest, ManufacturerDataCanBeAnythingOrNothing) {
    auto& vehicle = addVehicle();
    makeCentral();
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({});
    const std::vector<std::optional<std::vector<uint8_t>>> cases{
        std::nullopt, std::vector<uint8_t>{}, std::vector<uint8_t>{0xBE, 0xEF, 0, 9, 1, 2, 3},
        std::vector<uint8_t>(40, 0xAB)};
    for (const auto& data : cases) {
        recorder->clear();
        vehicle.setManufacturerData(data);
        loop.advance(200ms);
        ASSERT_EQ(recorder->count("discover"), 1u);
        EXPECT_EQ(recorder->events.back().manufacturerData, data);
    }
}

TEST_F(CentralTest, ServiceFilterSelectsWhatIsReported) {
    addVehicle();
    makeCentral();
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({kGenericService});
    loop.advance(500ms);
    EXPECT_EQ(recorder->count("discover"), 0u);
    // New requests while scanning change the filter without multiplying reports.
    for (int i = 0; i < 3; ++i) central->scanForPeripheralsWithServices({kGenericService, kVehicleService});
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("discover"), 5u);
}

TEST_F(CentralTest, StopScanEndsReportsAndAScanCanStartAgain) {
    addVehicle();
    makeCentral();
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({});
    loop.advance(300ms);
    EXPECT_EQ(recorder->count("discover"), 2u);
    central->stopScan();
    central->scanForPeripheralsWithServices({});  // restarted before the old round was due
    central->stopScan();
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("discover"), 2u);
    central->scanForPeripheralsWithServices({});
    loop.advance(100ms);
    EXPECT_EQ(recorder->count("discover"), 3u);
}

TEST_F(CentralTest, APoweredOffRadioReportsNothing) {
    addVehicle();
    makeCentral();
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({});
    loop.advance(100ms);
    ASSERT_EQ(recorder->count("discover"), 1u);
    world->setPowered(false);
    central->scanForPeripheralsWithServices({});  // ignored while off
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("discover"), 1u);
    // Powering on does not resume the old scan; a new request does.
    world->setPowered(true);
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("discover"), 1u);
    central->scanForPeripheralsWithServices({});
    loop.advance(100ms);
    EXPECT_EQ(recorder->count("discover"), 2u);
}

TEST_F(CentralTest, AdvertisingIntervalCanBeChanged) {
    addVehicle();
    world->setAdvertisingInterval(1000ms);
    EXPECT_EQ(world->advertisingInterval(), 1000ms);
    makeCentral();
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({});
    loop.advance(3000ms);
    EXPECT_EQ(recorder->count("discover"), 3u);  // at 20, 1020 and 2020 ms
    world->setAdvertisingInterval(0ms);
    EXPECT_GT(world->advertisingInterval(), 0ms);
}

TEST_F(CentralTest, EachCentralHasItsOwnPeripheralObjects) {
    addVehicle();
    auto other = std::make_shared<Recorder>(loop);
    makeCentral();
    auto otherCentral = world->centralFactory()(other);
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({});
    otherCentral->scanForPeripheralsWithServices({});
    loop.advance(500ms);
    ASSERT_EQ(recorder->discovered.size(), 1u);
    ASSERT_EQ(other->discovered.size(), 1u);
    EXPECT_NE(recorder->discovered[0], other->discovered[0]);
}

TEST_F(CentralTest, RemovedAndAddedVehiclesLeaveAndJoinTheReports) {
    addVehicle(1);
    makeCentral();
    loop.runUntilIdle();
    central->scanForPeripheralsWithServices({});
    loop.advance(100ms);
    world->removeVehicle(1);
    world->removeVehicle(1);  // already gone: nothing
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("discover"), 1u);
    addVehicle(2);
    loop.advance(200ms);
    ASSERT_EQ(recorder->count("discover"), 2u);
    EXPECT_EQ(recorder->discovered.size(), 2u);
}

TEST_F(CentralTest, StoppingTheScanInsideAReportEndsTheRound) {
    World::populateDefault(*world);
    makeCentral();
    loop.runUntilIdle();
    recorder->onEvent = [&](const Event& event) {
        if (event.kind == "discover") central->stopScan();
    };
    central->scanForPeripheralsWithServices({});
    loop.advance(1000ms);
    EXPECT_EQ(recorder->count("discover"), 1u);
}

TEST_F(CentralTest, VehiclesAddedOrRemovedInsideAReportAreSafe) {
    World::populateDefault(*world);
    makeCentral();
    loop.runUntilIdle();
    uint32_t next = 100;
    recorder->onEvent = [&](const Event& event) {
        if (event.kind != "discover") return;
        world->removeVehicle(world->vehicles().front()->identifier());
        addVehicle(next++);
    };
    central->scanForPeripheralsWithServices({});
    loop.advance(1000ms);
    EXPECT_EQ(world->vehicles().size(), 3u);
    EXPECT_GE(recorder->count("discover"), 5u);
}

}  // namespace
}  // namespace simtest
