// Service and characteristic discovery, the SDK-mode handshake, and the error
// events of the peripheral.
#include <gtest/gtest.h>

#include "VehicleFixture.h"

namespace {

using namespace vehicle_fixture;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

const Bytes kSdkMode{0x03, 0x90, 0x01, 0x01};
const Bytes kGetVersion{0x01, 0x18};

class VehicleHandshakeTest : public testing::Test, public VehicleFixture {};

TEST_F(VehicleHandshakeTest, ServicesDiscoveredAsksForAllCharacteristicsOfTheService) {
    const auto vehicleService = service(kService, {});
    peripheral->setServices({vehicleService});
    vehicle->didDiscoverServices(*peripheral, nullptr);
    EXPECT_EQ(log.lines, Lines{"Discovered service, Id=BE15BEEF-6186-407E-8381-0BD89C4D8DF4"});
    ASSERT_EQ(peripheral->characteristicDiscoveries.size(), 1u);
    EXPECT_TRUE(peripheral->characteristicDiscoveries[0].filter.empty());
    EXPECT_EQ(peripheral->characteristicDiscoveries[0].service, vehicleService);
}

TEST_F(VehicleHandshakeTest, TheOnlyServiceIsTakenWhateverItsUuid) {
    peripheral->setServices({service(kOther, {})});
    vehicle->didDiscoverServices(*peripheral, nullptr);
    EXPECT_EQ(log.lines, Lines{"Discovered service, Id=0000180A-0000-1000-8000-00805F9B34FB"});
    EXPECT_EQ(peripheral->characteristicDiscoveries.size(), 1u);
}

TEST_F(VehicleHandshakeTest, OfSeveralServicesTheVehicleServiceIsFollowed) {
    const auto vehicleService = service(kService, {});
    peripheral->setServices({service(kOther, {}), vehicleService});
    vehicle->didDiscoverServices(*peripheral, nullptr);
    ASSERT_EQ(peripheral->characteristicDiscoveries.size(), 1u);
    EXPECT_EQ(peripheral->characteristicDiscoveries[0].service, vehicleService);
}

TEST_F(VehicleHandshakeTest, OfSeveralServicesWithoutTheVehicleServiceTheFirstIsFollowed) {
    const auto first = service(kOther, {});
    peripheral->setServices({first, service(kRead, {})});
    vehicle->didDiscoverServices(*peripheral, nullptr);
    ASSERT_EQ(peripheral->characteristicDiscoveries.size(), 1u);
    EXPECT_EQ(peripheral->characteristicDiscoveries[0].service, first);
}

TEST_F(VehicleHandshakeTest, NoServiceLogsAndStops) {
    vehicle->didDiscoverServices(*peripheral, nullptr);
    EXPECT_EQ(log.lines, Lines{"Discovered no service for Vehicle"});
    EXPECT_TRUE(peripheral->characteristicDiscoveries.empty());
    EXPECT_TRUE(peripheral->writes.empty());
    EXPECT_FALSE(vehicle->active());
}

TEST_F(VehicleHandshakeTest, ServiceDiscoveryErrorLogsTheNameAndWritesNothing) {
    peripheral->setServices({service(kService, {read, write})});
    const ble::Error error("Connection timed out");
    vehicle->didDiscoverServices(*peripheral, &error);
    EXPECT_EQ(log.lines, Lines{"Discovered services for Vehicle with error: Connection timed out"});
    EXPECT_TRUE(peripheral->characteristicDiscoveries.empty());
    EXPECT_TRUE(peripheral->writes.empty());
    EXPECT_FALSE(vehicle->active());
}

TEST_F(VehicleHandshakeTest, CharacteristicsFoundSubscribeThenSdkModeThenGetVersion) {
    discover(service(kService, {read, write}));
    EXPECT_EQ(log.lines, (Lines{"Discovered read channel", "Discovered write channel"}));
    EXPECT_EQ(vehicle->readChannel(), read);
    EXPECT_EQ(vehicle->writeChannel(), write);
    ASSERT_EQ(peripheral->notifyRequests.size(), 1u);
    EXPECT_TRUE(peripheral->notifyRequests[0].enabled);
    EXPECT_EQ(peripheral->notifyRequests[0].characteristic, read);
    ASSERT_EQ(peripheral->writes.size(), 2u);
    EXPECT_EQ(peripheral->writes[0].bytes, kSdkMode);
    EXPECT_EQ(peripheral->writes[1].bytes, kGetVersion);
    for (const auto& w : peripheral->writes) {
        EXPECT_EQ(w.characteristic, write);
        EXPECT_EQ(w.type, ble::WriteType::WithoutResponse);
    }
    EXPECT_TRUE(vehicle->active());
}

TEST_F(VehicleHandshakeTest, LinesFollowTheListOrderAndOtherCharacteristicsArePassedOver) {
    discover(service(kService, {write, read, characteristic(kOther)}));
    EXPECT_EQ(log.lines, (Lines{"Discovered write channel", "Discovered read channel"}));
}

TEST_F(VehicleHandshakeTest, TheLastMatchingCharacteristicWins) {
    const auto laterWrite = characteristic(kWrite);
    discover(service(kService, {write, read, laterWrite}));
    EXPECT_EQ(vehicle->writeChannel(), laterWrite);
    EXPECT_EQ(log.lines, (Lines{"Discovered write channel", "Discovered read channel",
                                "Discovered write channel"}));
    ASSERT_EQ(peripheral->writes.size(), 2u);
    EXPECT_EQ(peripheral->writes[0].characteristic, laterWrite);
}

TEST_F(VehicleHandshakeTest, NeitherCharacteristicStillSubscribesAndHandShakesOnNothing) {
    discover(service(kService, {characteristic(kOther), nullptr}));
    EXPECT_TRUE(log.lines.empty());
    ASSERT_EQ(peripheral->notifyRequests.size(), 1u);
    EXPECT_EQ(peripheral->notifyRequests[0].characteristic, nullptr);
    ASSERT_EQ(peripheral->writes.size(), 2u);
    EXPECT_EQ(peripheral->writes[0].bytes, kSdkMode);
    EXPECT_EQ(peripheral->writes[1].bytes, kGetVersion);
    EXPECT_EQ(peripheral->writes[0].characteristic, nullptr);
    EXPECT_EQ(peripheral->writes[1].characteristic, nullptr);
    EXPECT_TRUE(vehicle->active());
}

TEST_F(VehicleHandshakeTest, OnlyTheReadCharacteristicSubscribesAndWritesOnNothing) {
    discover(service(kService, {read}));
    EXPECT_EQ(log.lines, Lines{"Discovered read channel"});
    ASSERT_EQ(peripheral->notifyRequests.size(), 1u);
    EXPECT_EQ(peripheral->notifyRequests[0].characteristic, read);
    ASSERT_EQ(peripheral->writes.size(), 2u);
    EXPECT_EQ(peripheral->writes[0].characteristic, nullptr);
}

TEST_F(VehicleHandshakeTest, SubscriptionGoesThroughTheVehiclesOwnPeripheral) {
    fakes::FakePeripheral reporter("Other", "00:00:00:00:00:02");
    vehicle->didDiscoverCharacteristicsForService(reporter, *service(kService, {read, write}),
                                                  nullptr);
    EXPECT_TRUE(reporter.notifyRequests.empty());
    EXPECT_TRUE(reporter.writes.empty());
    EXPECT_EQ(peripheral->notifyRequests.size(), 1u);
    EXPECT_EQ(peripheral->writes.size(), 2u);
}

TEST_F(VehicleHandshakeTest, CharacteristicDiscoveryErrorLogsTheServiceAndWritesNothing) {
    const ble::Error error("Attribute not found");
    vehicle->didDiscoverCharacteristicsForService(*peripheral, *service(kService, {read, write}),
                                                  &error);
    EXPECT_EQ(log.lines, Lines{"Discovered characteristics for "
                               "BE15BEEF-6186-407E-8381-0BD89C4D8DF4 with error: "
                               "Attribute not found"});
    EXPECT_TRUE(peripheral->notifyRequests.empty());
    EXPECT_TRUE(peripheral->writes.empty());
    EXPECT_EQ(vehicle->writeChannel(), nullptr);
    EXPECT_FALSE(vehicle->active());
}

struct ResultEvent {
    const char* name;
    void (Vehicle::*deliver)(ble::Peripheral&, ble::Characteristic&, const ble::Error*);
    const char* errorLine;
};

void PrintTo(const ResultEvent& e, std::ostream* os) { *os << e.name; }

class VehicleResultEventTest : public testing::TestWithParam<ResultEvent> {};

TEST_P(VehicleResultEventTest, ErrorLogsOneLineSuccessLogsNothing) {
    VehicleFixture f;
    f.discoverVehicleService();
    const ble::Error error("Not permitted");
    ((*f.vehicle).*GetParam().deliver)(*f.peripheral, *f.write, nullptr);
    EXPECT_TRUE(f.log.lines.empty());
    ((*f.vehicle).*GetParam().deliver)(*f.peripheral, *f.write, &error);
    EXPECT_EQ(f.log.lines, Lines{GetParam().errorLine});
    EXPECT_TRUE(f.peripheral->writes.empty());
    EXPECT_TRUE(f.vehicle->active());
}

INSTANTIATE_TEST_SUITE_P(
    Events, VehicleResultEventTest,
    testing::Values(
        ResultEvent{"Write", &Vehicle::didWriteValueForCharacteristic,
                    "Error writing value for characteristic BE15BEE1-6186-407E-8381-0BD89C4D8DF4 "
                    "error: Not permitted"},
        ResultEvent{"Notify", &Vehicle::didUpdateNotificationStateForCharacteristic,
                    "Error updating notification state for characteristic "
                    "BE15BEE1-6186-407E-8381-0BD89C4D8DF4 error: Not permitted"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
