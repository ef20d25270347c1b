// Peripheral operations: discovery per layout, subscription, writes, injected
// errors, and what happens without a link or a delegate.
#include "SimFixture.h"

namespace simtest {
namespace {

using ble::sim::PeripheralEvent;
using ble::sim::ServiceLayout;

class PeripheralTest : public SimTest {};

std::vector<ble::Uuid> uuidsOf(const std::vector<std::shared_ptr<ble::Service>>& services) {
    std::vector<ble::Uuid> uuids;
    for (const auto& service : services) uuids.push_back(service->uuid());
    return uuids;
}

std::vector<ble::Uuid> uuidsOf(const std::vector<std::shared_ptr<ble::Characteristic>>& list) {
    std::vector<ble::Uuid> uuids;
    for (const auto& characteristic : list) uuids.push_back(characteristic->uuid());
    return uuids;
}

struct LayoutCase {
    const char* name;
    ServiceLayout layout;
    std::vector<ble::Uuid> services;
    std::vector<ble::Uuid> vehicleCharacteristics;  // of the last service, if any
};

class LayoutTest : public SimTest, public testing::WithParamInterface<LayoutCase> {};

TEST_P(LayoutTest, DiscoveryFindsTheLayoutsServicesAndCharacteristics) {
    const LayoutCase& c = GetParam();
    addVehicle().faults().layout = c.layout;
    auto peripheral = connectFirst();
    peripheral->setDelegate(recorder);
    peripheral->discoverServices({});
    loop.advance(50ms);
    ASSERT_EQ(recorder->count("services"), 1u);
    EXPECT_FALSE(recorder->of("services")[0].error);
    const auto services = peripheral->services();
    EXPECT_EQ(uuidsOf(services), c.services);
    if (services.empty()) return;

    for (const auto& service : services) {
        EXPECT_TRUE(service->characteristics().empty());  // until discovered
        peripheral->discoverCharacteristicsForService({}, service);
    }
    loop.advance(50ms);
    const auto events = recorder->of("characteristics");
    ASSERT_EQ(events.size(), services.size());
    for (std::size_t i = 0; i < services.size(); ++i) {
        EXPECT_EQ(events[i].service, services[i].get());
        EXPECT_FALSE(events[i].error);
    }
    EXPECT_EQ(uuidsOf(services.back()->characteristics()), c.vehicleCharacteristics);
    // Any other service has a characteristic of its own, not the vehicle's.
    for (std::size_t i = 0; i + 1 < services.size(); ++i) {
        const auto list = uuidsOf(services[i]->characteristics());
        ASSERT_EQ(list.size(), 1u);
        EXPECT_NE(list[0], kReadUuid);
        EXPECT_NE(list[0], kWriteUuid);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutTest,
    testing::Values(
        LayoutCase{"Normal", ServiceLayout::Normal, {kVehicleService}, {kReadUuid, kWriteUuid}},
        LayoutCase{"NoService", ServiceLayout::NoService, {}, {}},
        LayoutCase{"TwoServices",
                   ServiceLayout::TwoServices,
                   {kGenericService, kVehicleService},
                   {kReadUuid, kWriteUuid}},
        LayoutCase{"MissingWrite", ServiceLayout::MissingWrite, {kVehicleService}, {kReadUuid}},
        LayoutCase{"MissingRead", ServiceLayout::MissingRead, {kVehicleService}, {kWriteUuid}}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST_F(PeripheralTest, FiltersLimitWhatIsDiscovered) {
    addVehicle().faults().layout = ServiceLayout::TwoServices;
    auto peripheral = connectFirst();
    peripheral->discoverServices({kVehicleService});
    loop.advance(50ms);
    ASSERT_EQ(uuidsOf(peripheral->services()), std::vector<ble::Uuid>{kVehicleService});
    const auto service = peripheral->services()[0];
    peripheral->discoverCharacteristicsForService({kWriteUuid}, service);
    loop.advance(50ms);
    EXPECT_EQ(uuidsOf(service->characteristics()), std::vector<ble::Uuid>{kWriteUuid});
}

TEST_F(PeripheralTest, RediscoveryOnTheSameLinkKeepsTheSameObjects) {
    addVehicle();
    Link link = handshake();
    link.peripheral->discoverServices({});
    loop.advance(50ms);
    ASSERT_EQ(link.peripheral->services().size(), 1u);
    EXPECT_EQ(link.peripheral->services()[0], link.service);
    link.peripheral->discoverCharacteristicsForService({}, link.service);
    loop.advance(50ms);
    EXPECT_EQ(link.service->characteristics()[0], link.read);
    EXPECT_EQ(link.service->characteristics()[1], link.write);
}

TEST_F(PeripheralTest, OnlyTheReadCharacteristicCanBeSubscribedTo) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    const auto states = recorder->of("notifyState");
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].characteristic, link.read.get());
    EXPECT_FALSE(states[0].error);
    EXPECT_TRUE(vehicle.notifying());

    link.peripheral->setNotifyValueForCharacteristic(false, link.read);
    loop.advance(50ms);
    EXPECT_EQ(recorder->count("notifyState"), 2u);
    EXPECT_FALSE(vehicle.notifying());

    recorder->clear();
    link.peripheral->setNotifyValueForCharacteristic(true, link.write);
    loop.advance(50ms);
    const auto refused = recorder->of("notifyState");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].error);
    EXPECT_FALSE(vehicle.notifying());
}

TEST_F(PeripheralTest, AnEmptyCharacteristicIsAcceptedAndNothingHappens) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    recorder->clear();
    link.peripheral->setNotifyValueForCharacteristic(true, nullptr);
    link.peripheral->writeValueForCharacteristic({0x01, 0x18}, nullptr,
                                                 ble::WriteType::WithResponse);
    link.peripheral->writeValueForCharacteristic({0x01, 0x18}, nullptr,
                                                 ble::WriteType::WithoutResponse);
    link.peripheral->discoverCharacteristicsForService({}, nullptr);
    loop.advance(100ms);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_TRUE(vehicle.writes().empty());
}

TEST_F(PeripheralTest, WritesAreRecordedWithTheirTypeAndOnlyWithResponseIsAnswered) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    recorder->clear();
    write(link, {0x03, 0x90, 0x01, 0x01}, ble::WriteType::WithoutResponse);
    EXPECT_EQ(recorder->count("write"), 0u);
    write(link, {0x06, 0x24, 0x00, 0x00, 0xA8, 0x61, 0x00}, ble::WriteType::WithResponse);
    const auto acks = recorder->of("write");
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].characteristic, link.write.get());
    EXPECT_FALSE(acks[0].error);

    const auto& writes = vehicle.writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].characteristic, kWriteUuid);
    EXPECT_EQ(writes[0].bytes, (std::vector<uint8_t>{0x03, 0x90, 0x01, 0x01}));
    EXPECT_EQ(writes[0].type, ble::WriteType::WithoutResponse);
    EXPECT_EQ(writes[1].type, ble::WriteType::WithResponse);
    vehicle.clearWrites();
    EXPECT_TRUE(vehicle.writes().empty());
}

TEST_F(PeripheralTest, WritesArriveInTheOrderTheyWereMade) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    for (uint8_t i = 0; i < 10; ++i) {
        link.peripheral->writeValueForCharacteristic({0x01, i}, link.write,
                                                     ble::WriteType::WithoutResponse);
    }
    loop.advance(50ms);
    ASSERT_EQ(vehicle.writes().size(), 10u);
    for (uint8_t i = 0; i < 10; ++i) EXPECT_EQ(vehicle.writes()[i].bytes[1], i);
}

TEST_F(PeripheralTest, ACharacteristicOfAnotherLinkReachesNobody) {
    auto& vehicle = addVehicle();
    Link old = handshake();
    vehicle.disconnect();
    loop.runUntilIdle();
    central->connectPeripheral(old.peripheral);
    loop.advance(50ms);
    ASSERT_TRUE(vehicle.connected());
    recorder->clear();
    old.peripheral->writeValueForCharacteristic({0x01, 0x18}, old.write,
                                                ble::WriteType::WithResponse);
    old.peripheral->setNotifyValueForCharacteristic(true, old.read);
    old.peripheral->writeValueForCharacteristic({0x01, 0x18},
                                                std::make_shared<ble::Characteristic>(kWriteUuid),
                                                ble::WriteType::WithResponse);
    loop.advance(50ms);
    EXPECT_TRUE(vehicle.writes().empty());
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(PeripheralTest, OperationsWithoutALinkDoNothing) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    vehicle.disconnect();
    loop.runUntilIdle();
    recorder->clear();
    link.peripheral->discoverServices({});
    link.peripheral->discoverCharacteristicsForService({}, link.service);
    link.peripheral->setNotifyValueForCharacteristic(true, link.read);
    link.peripheral->writeValueForCharacteristic({0x01, 0x18}, link.write,
                                                 ble::WriteType::WithResponse);
    loop.advance(100ms);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_TRUE(vehicle.writes().empty());
}

TEST_F(PeripheralTest, RequestsInFlightWhenTheLinkEndsAreDropped) {
    auto& vehicle = addVehicle();
    Link link = handshake();
    vehicle.clearWrites();
    recorder->clear();
    link.peripheral->discoverServices({});
    link.peripheral->writeValueForCharacteristic({0x01, 0x16}, link.write,
                                                 ble::WriteType::WithResponse);
    vehicle.disconnect();
    loop.advance(100ms);
    EXPECT_EQ(recorder->count("services"), 0u);
    EXPECT_EQ(recorder->count("write"), 0u);
    EXPECT_EQ(recorder->count("disconnect"), 1u);
    EXPECT_TRUE(vehicle.writes().empty());
}

struct ErrorCase {
    const char* name;
    PeripheralEvent event;
    const char* eventKind;
};

class ErrorOnTest : public SimTest, public testing::WithParamInterface<ErrorCase> {};

TEST_P(ErrorOnTest, TheChosenEventCarriesAnErrorAndTheOthersDoNot) {
    const ErrorCase& c = GetParam();
    auto& vehicle = addVehicle();
    vehicle.faults().errorOn = {c.event};
    auto peripheral = connectFirst();
    peripheral->setDelegate(recorder);
    // Walk the handshake by hand: an error leaves nothing to continue with.
    peripheral->discoverServices({});
    loop.advance(50ms);
    if (c.event != PeripheralEvent::DiscoverServices) {
        const auto service = peripheral->services().at(0);
        peripheral->discoverCharacteristicsForService({}, service);
        loop.advance(50ms);
        if (c.event != PeripheralEvent::DiscoverCharacteristics) {
            const auto read = service->characteristics().at(0);
            const auto write = service->characteristics().at(1);
            peripheral->setNotifyValueForCharacteristic(true, read);
            loop.advance(50ms);
            peripheral->writeValueForCharacteristic({0x01, 0x18}, write,
                                                    ble::WriteType::WithResponse);
            peripheral->writeValueForCharacteristic({0x01, 0x16}, write,
                                                    ble::WriteType::WithoutResponse);
            vehicle.notify({0x01, 0x17});
            loop.advance(50ms);
        }
    }
    std::size_t errors = 0;
    for (const Event& event : recorder->events) {
        if (!event.error) continue;
        ++errors;
        EXPECT_EQ(event.kind, c.eventKind);
        EXPECT_FALSE(event.error->empty());
    }
    EXPECT_GE(errors, 1u);
    if (c.event == PeripheralEvent::DiscoverServices) {
        EXPECT_TRUE(peripheral->services().empty());
    }
    if (c.event == PeripheralEvent::UpdateNotificationState) {
        EXPECT_FALSE(vehicle.notifying());
    }
    if (c.event == PeripheralEvent::WriteValue) {
        // Both writes failed, the one without response included; neither arrived.
        EXPECT_EQ(errors, 2u);
        EXPECT_TRUE(vehicle.writes().empty());
    }
    if (c.event == PeripheralEvent::UpdateValue) {
        for (const Event& event : recorder->of("value")) {
            EXPECT_TRUE(event.error);
            EXPECT_TRUE(event.value.empty());  // the value is not taken
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Events, ErrorOnTest,
    testing::Values(ErrorCase{"DiscoverServices", PeripheralEvent::DiscoverServices, "services"},
                    ErrorCase{"DiscoverCharacteristics", PeripheralEvent::DiscoverCharacteristics,
                              "characteristics"},
                    ErrorCase{"UpdateNotificationState", PeripheralEvent::UpdateNotificationState,
                              "notifyState"},
                    ErrorCase{"WriteValue", PeripheralEvent::WriteValue, "write"},
                    ErrorCase{"UpdateValue", PeripheralEvent::UpdateValue, "value"}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

TEST_F(PeripheralTest, TheDelegateIsLookedUpWhenTheEventIsDelivered) {
    addVehicle();
    auto peripheral = connectFirst();
    auto first = std::make_shared<Recorder>(loop);
    auto second = std::make_shared<Recorder>(loop);
    peripheral->setDelegate(first);
    peripheral->discoverServices({});
    peripheral->setDelegate(second);
    loop.advance(50ms);
    EXPECT_EQ(first->count("services"), 0u);
    EXPECT_EQ(second->count("services"), 1u);
}

TEST_F(PeripheralTest, AGoneDelegateGetsNothingAndTheLinkGoesOn) {
    auto& vehicle = addVehicle();
    auto peripheral = connectFirst();
    {
        auto shortLived = std::make_shared<Recorder>(loop);
        peripheral->setDelegate(shortLived);
        peripheral->discoverServices({});
    }
    loop.advance(50ms);
    EXPECT_EQ(peripheral->services().size(), 1u);  // discovery still happened
    EXPECT_TRUE(vehicle.connected());
    EXPECT_EQ(peripheral->delegate(), nullptr);
}

}  // namespace
}  // namespace simtest
