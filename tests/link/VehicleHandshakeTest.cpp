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

// Which service the vehicle follows: the vehicle service when present,
// otherwise the first one, whatever its UUID.
struct ServiceChoice {
    const char* name;
    std::vector<ble::Uuid> services;
    size_t followed;
};

void PrintTo(const ServiceChoice& c, std::ostream* os) { *os << c.name; }

class ServiceChoiceTest : public testing::TestWithParam<ServiceChoice> {};

TEST_P(ServiceChoiceTest, LogsItAndAsksForAllItsCharacteristics) {
    VehicleFixture f;
    std::vector<std::shared_ptr<ble::Service>> services;
    for (const auto& uuid : GetParam().services) services.push_back(service(uuid, {}));
    f.peripheral->setServices(services);
    f.vehicle->didDiscoverServices(*f.peripheral, nullptr);
    const auto& followed = services[GetParam().followed];
    EXPECT_EQ(f.log.lines, Lines{"Discovered service, Id=" + followed->uuid().toString()});
    ASSERT_EQ(f.peripheral->characteristicDiscoveries.size(), 1u);
    EXPECT_TRUE(f.peripheral->characteristicDiscoveries[0].filter.empty());
    EXPECT_EQ(f.peripheral->characteristicDiscoveries[0].service, followed);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ServiceChoiceTest,
    testing::Values(ServiceChoice{"VehicleService", {kService}, 0},
                    ServiceChoice{"OnlyAnotherService", {kOther}, 0},
                    ServiceChoice{"VehicleServiceSecond", {kOther, kService}, 1},
                    ServiceChoice{"NoVehicleServiceFirstIsFollowed", {kOther, kRead}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

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

// Characteristic discovery: the channels found, one line per match in list
// order, then always the subscription and both handshake writes, on
// whatever the channels hold.
struct CharacteristicList {
    const char* list;  // r, w: the vehicle's read and write; W: another write; o: other; 0: null
    Lines lines;
    int read;   // index in `list` of the read channel, -1 for none
    int write;  // likewise for the write channel
};

void PrintTo(const CharacteristicList& c, std::ostream* os) { *os << c.list; }

class CharacteristicListTest : public testing::TestWithParam<CharacteristicList> {};

TEST_P(CharacteristicListTest, SubscribeThenSdkModeThenGetVersion) {
    VehicleFixture f;
    std::vector<std::shared_ptr<ble::Characteristic>> list;
    for (const char* c = GetParam().list; *c != 0; ++c) {
        list.push_back(*c == 'r' ? f.read : *c == 'w' ? f.write : *c == 'W' ? characteristic(kWrite)
                       : *c == 'o' ? characteristic(kOther) : nullptr);
    }
    f.discover(service(kService, list));
    const auto read = GetParam().read < 0 ? nullptr : list[GetParam().read];
    const auto write = GetParam().write < 0 ? nullptr : list[GetParam().write];
    EXPECT_EQ(f.log.lines, GetParam().lines);
    EXPECT_EQ(f.vehicle->readChannel(), read);
    EXPECT_EQ(f.vehicle->writeChannel(), write);
    ASSERT_EQ(f.peripheral->notifyRequests.size(), 1u);
    EXPECT_TRUE(f.peripheral->notifyRequests[0].enabled);
    EXPECT_EQ(f.peripheral->notifyRequests[0].characteristic, read);
    ASSERT_EQ(f.peripheral->writes.size(), 2u);
    EXPECT_EQ(f.peripheral->writes[0].bytes, kSdkMode);
    EXPECT_EQ(f.peripheral->writes[1].bytes, kGetVersion);
    for (const auto& w : f.peripheral->writes) {
        EXPECT_EQ(w.characteristic, write);
        EXPECT_EQ(w.type, ble::WriteType::WithoutResponse);
    }
    EXPECT_TRUE(f.vehicle->active());
}

const std::string kR = "Discovered read channel";
const std::string kW = "Discovered write channel";

INSTANTIATE_TEST_SUITE_P(
    Lists, CharacteristicListTest,
    testing::Values(CharacteristicList{"rw", {kR, kW}, 0, 1}, CharacteristicList{"wro", {kW, kR}, 1, 0},
                    CharacteristicList{"wrW", {kW, kR, kW}, 1, 2},  // the later write wins
                    CharacteristicList{"o0", {}, -1, -1}, CharacteristicList{"r", {kR}, 0, -1}));

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
