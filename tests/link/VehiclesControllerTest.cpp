// Discovery, registry and connection events of the vehicles controller.
#include <gtest/gtest.h>

#include <algorithm>

#include "ControllerFixture.h"

namespace {

using Lines = std::vector<std::string>;
const ble::Uuid kService = ble::Uuid::fromString("BE15BEEF-6186-407E-8381-0BD89C4D8DF4");

class VehiclesControllerTest : public testing::Test, public ControllerFixture {
protected:
    void SetUp() override {
        scan();
        log.clear();
    }
    // Lists a vehicle through a discovery and forgets the line it logged.
    std::shared_ptr<Vehicle> list(const std::shared_ptr<fakes::FakePeripheral>& p, uint32_t id,
                                  uint8_t model = 9) {
        advertise(p, mfgData(model, id));
        log.clear();
        return controller->findVehicleById(id);
    }
};

TEST_F(VehiclesControllerTest, NewVehicleIsListedAttachedAndConnected) {
    const auto p = peripheral();
    advertise(p, std::vector<uint8_t>{0xBE, 0xEF, 0x00, 0x09, 0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(log.lines, Lines{"Discovered new vehicle, model=0x0009, id=0x12345678"});
    ASSERT_EQ(listed(), 1u);
    const auto vehicle = controller->vehicles()->front();
    EXPECT_EQ(vehicle->identifier(), 0x12345678u);
    EXPECT_EQ(vehicle->modelIdentifier(), 9u);
    EXPECT_EQ(vehicle->peripheral(), p);
    EXPECT_EQ(vehicle->controller(), nullptr);
    EXPECT_FALSE(vehicle->active());
    EXPECT_EQ(p->delegate(), vehicle);
    const auto& central = *radio.centrals.back();
    ASSERT_EQ(central.connectRequests.size(), 1u);
    EXPECT_EQ(central.connectRequests[0], p);
}

struct IgnoredAdvertisement {
    const char* name;
    std::optional<std::vector<uint8_t>> data;
};

void PrintTo(const IgnoredAdvertisement& a, std::ostream* os) { *os << a.name; }

class IgnoredAdvertisementTest : public VehiclesControllerTest,
                                 public testing::WithParamInterface<IgnoredAdvertisement> {};

TEST_P(IgnoredAdvertisementTest, ChangesNothingAndLogsNothing) {
    advertise(peripheral(), GetParam().data);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(listed(), 0u);
    EXPECT_TRUE(radio.centrals.back()->connectRequests.empty());
}

// Data whose first 8 bytes are a valid vehicle's, padded to `length`.
std::vector<uint8_t> paddedVehicleData(size_t length) {
    // Made at its full size and filled in: growing the 8-byte vector makes
    // GCC 12 at -O3 warn of a copy out of bounds that never happens.
    const std::vector<uint8_t> vehicle = ControllerFixture::mfgData(9, 0x12345678);
    std::vector<uint8_t> data(length, 0x00);
    std::copy_n(vehicle.begin(), std::min(vehicle.size(), length), data.begin());
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Advertisements, IgnoredAdvertisementTest,
    testing::Values(
        IgnoredAdvertisement{"NoManufacturerData", std::nullopt},
        IgnoredAdvertisement{"Empty", std::vector<uint8_t>{}},
        IgnoredAdvertisement{"SevenBytes", std::vector<uint8_t>{0xBE, 0xEF, 0, 9, 0x12, 0x34, 0x56}},
        IgnoredAdvertisement{"NineBytes", paddedVehicleData(9)},
        IgnoredAdvertisement{"AnotherProduct", ControllerFixture::mfgData(9, 0x12345678, 0xBEEE)},
        IgnoredAdvertisement{"ProductBytesSwapped", ControllerFixture::mfgData(9, 0x12345678, 0xEFBE)},
        // Lengths past 255 must not wrap: 264 is 8 in its low bits.
        IgnoredAdvertisement{"Length256", paddedVehicleData(256)},
        IgnoredAdvertisement{"Length264", paddedVehicleData(264)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VehiclesControllerTest, AListedIdentifierIsIgnoredFromAnyPeripheral) {
    const auto first = peripheral("A");
    const auto vehicle = list(first, 0x12345678);
    advertise(first, mfgData(9, 0x12345678));
    advertise(peripheral("B"), mfgData(18, 0x12345678));
    EXPECT_TRUE(log.lines.empty());
    ASSERT_EQ(listed(), 1u);
    EXPECT_EQ(controller->vehicles()->front(), vehicle);
    EXPECT_EQ(radio.centrals.back()->connectRequests.size(), 1u);
}

TEST_F(VehiclesControllerTest, ConnectionStartsServiceDiscovery) {
    const auto p = peripheral();
    list(p, 0x12345678);
    controller->didConnectPeripheral(*radio.centrals.back(), *p);
    EXPECT_EQ(log.lines, Lines{"Connected to vehicle id=0x12345678"});
    ASSERT_EQ(p->serviceDiscoveries.size(), 1u);
    EXPECT_TRUE(p->serviceDiscoveries[0].empty());
}

TEST_F(VehiclesControllerTest, EventsForAnUnlistedPeripheralAreIgnoredSilently) {
    const auto listedPeripheral = peripheral("A");
    list(listedPeripheral, 1);
    // Same name and address, another object: look-up is by identity.
    const auto stranger = peripheral("A");
    auto& central = *radio.centrals.back();
    const ble::Error error("Connection failed");
    controller->didConnectPeripheral(central, *stranger);
    controller->didFailToConnectPeripheral(central, *stranger, &error);
    controller->didDisconnectPeripheral(central, *stranger, &error);
    EXPECT_TRUE(stranger->serviceDiscoveries.empty());
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(listed(), 1u);
    EXPECT_EQ(controller->findVehicleAttachedToPeripheral(*stranger), nullptr);
    EXPECT_NE(controller->findVehicleAttachedToPeripheral(*listedPeripheral), nullptr);
}

struct LinkEnd {
    const char* name;
    void (VehiclesController::*deliver)(ble::Central&, ble::Peripheral&, const ble::Error*);
    bool withError;
    const char* line;
};

void PrintTo(const LinkEnd& e, std::ostream* os) { *os << e.name; }

class LinkEndTest : public VehiclesControllerTest, public testing::WithParamInterface<LinkEnd> {};

TEST_P(LinkEndTest, LogsClearsTheReceiverAndDropsTheVehicleThenItCanComeBack) {
    const auto p = peripheral();
    list(p, 0x12345678);
    std::weak_ptr<Vehicle> dropped = controller->findVehicleById(0x12345678);
    list(peripheral("other"), 0x00000001);

    const ble::Error error("Peer removed pairing information");
    ((*controller).*GetParam().deliver)(*radio.centrals.back(), *p,
                                        GetParam().withError ? &error : nullptr);
    EXPECT_EQ(log.lines, Lines{GetParam().line});
    EXPECT_EQ(p->delegate(), nullptr);
    EXPECT_EQ(controller->findVehicleById(0x12345678), nullptr);
    EXPECT_EQ(listed(), 1u);
    EXPECT_TRUE(dropped.expired());

    log.clear();
    advertise(p, mfgData(9, 0x12345678));
    EXPECT_EQ(log.lines, Lines{"Discovered new vehicle, model=0x0009, id=0x12345678"});
    const auto again = controller->findVehicleById(0x12345678);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(p->delegate(), again);
    EXPECT_EQ(radio.centrals.back()->connectRequests.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, LinkEndTest,
    testing::Values(
        LinkEnd{"FailedWithError", &VehiclesController::didFailToConnectPeripheral, true,
                "Failed to connect to vehicle id=0x12345678, error=Peer removed pairing information"},
        LinkEnd{"FailedWithoutError", &VehiclesController::didFailToConnectPeripheral, false,
                "Failed to connect to vehicle id=0x12345678, error=(null)"},
        LinkEnd{"DisconnectedWithError", &VehiclesController::didDisconnectPeripheral, true,
                "Disconnected vehicle id=0x12345678, error=Peer removed pairing information"},
        LinkEnd{"DisconnectedWithoutError", &VehiclesController::didDisconnectPeripheral, false,
                "Disconnected vehicle id=0x12345678, error=(null)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VehiclesControllerTest, VehicleWasDisconnectedRemovesSilentlyAndKeepsTheReceiver) {
    const auto p = peripheral();
    const auto vehicle = list(p, 5);
    controller->vehicleWasDisconnected(*vehicle);
    EXPECT_EQ(listed(), 0u);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(p->delegate(), vehicle);
    // Removing a vehicle that is not listed changes nothing.
    list(peripheral("B"), 6);
    controller->vehicleWasDisconnected(*vehicle);
    EXPECT_EQ(listed(), 1u);
}

TEST_F(VehiclesControllerTest, RemovalTakesOutEveryEntryOfThatVeryVehicle) {
    auto vehicle = std::make_shared<Vehicle>();
    auto lookalike = std::make_shared<Vehicle>();
    controller->setVehicles(
        std::make_shared<VehicleList>(VehicleList{vehicle, lookalike, vehicle}));
    controller->vehicleWasDisconnected(*vehicle);
    ASSERT_EQ(listed(), 1u);
    EXPECT_EQ(controller->vehicles()->front(), lookalike);
}

TEST_F(VehiclesControllerTest, RemovingTheLastReferenceInsideTheCallIsSafe) {
    controller->setVehicles(std::make_shared<VehicleList>(VehicleList{std::make_shared<Vehicle>()}));
    const Vehicle& onlyInList = *controller->vehicles()->front();
    controller->vehicleWasDisconnected(onlyInList);
    EXPECT_EQ(listed(), 0u);
}

TEST_F(VehiclesControllerTest, VehiclesAreListedInDiscoveryOrderAndFoundById) {
    list(peripheral("A"), 0xFFFFFFFF);
    list(peripheral("B"), 0);
    list(peripheral("C"), 3);
    ASSERT_EQ(listed(), 3u);
    EXPECT_EQ((*controller->vehicles())[0]->identifier(), 0xFFFFFFFFu);
    EXPECT_EQ((*controller->vehicles())[1]->identifier(), 0u);
    EXPECT_EQ((*controller->vehicles())[2]->identifier(), 3u);
    EXPECT_EQ(controller->findVehicleById(0xFFFFFFFF)->identifier(), 0xFFFFFFFFu);
    EXPECT_EQ(controller->findVehicleById(0)->identifier(), 0u);
    EXPECT_EQ(controller->findVehicleById(0x12345678), nullptr);
}

TEST_F(VehiclesControllerTest, SetVehiclesReplacesTheListAndNullMeansEmpty) {
    list(peripheral("A"), 1);
    auto replacement = std::make_shared<VehicleList>();
    controller->setVehicles(replacement);
    EXPECT_EQ(controller->vehicles(), replacement);
    controller->setVehicles(nullptr);
    ASSERT_NE(controller->vehicles(), nullptr);
    EXPECT_EQ(listed(), 0u);
}

TEST_F(VehiclesControllerTest, RetrievedPeripheralsAreLoggedAsAList) {
    auto& central = *radio.centrals.back();
    controller->didRetrievePeripherals(central, {peripheral("A"), peripheral("B")});
    controller->didRetrievePeripherals(central, {});
    controller->didRetrievePeripherals(central, {std::make_shared<fakes::FakePeripheral>("", "AA:BB")});
    EXPECT_EQ(log.lines, (Lines{"Retrieved peripheral: 2 - [A, B]", "Retrieved peripheral: 0 - []",
                                "Retrieved peripheral: 1 - [AA:BB]"}));
    EXPECT_EQ(listed(), 0u);
}

TEST(VehiclesControllerScan, StopScanBeforeBeginScanIsANoOpAfterItGoesToTheCentral) {
    ControllerFixture f;
    f.controller->stopScan();
    f.loop.runUntilIdle();
    EXPECT_TRUE(f.radio.centrals.empty());
    EXPECT_TRUE(f.log.lines.empty());
    auto& central = f.scan();
    f.controller->stopScan();
    EXPECT_EQ(central.stopScanRequests, 1);
}

class StateReportTest : public testing::TestWithParam<ble::CentralState> {};

TEST_P(StateReportTest, LogsBothLinesAndRequestsTheScanWhateverTheState) {
    ControllerFixture f;
    f.radio.initialState = GetParam();
    f.controller->beginScan();
    auto& central = *f.radio.centrals.back();
    EXPECT_TRUE(central.scanRequests.empty()) << "no scan before the first state report";
    f.loop.runUntilIdle();
    EXPECT_EQ(f.log.lines, (Lines{"state=" + std::to_string(static_cast<long>(GetParam())),
                                  "Power ON = 5"}));
    ASSERT_EQ(central.scanRequests.size(), 1u);
    EXPECT_EQ(central.scanRequests[0], std::vector<ble::Uuid>{kService});
}

INSTANTIATE_TEST_SUITE_P(States, StateReportTest,
                         testing::Values(ble::CentralState::Unknown, ble::CentralState::Resetting,
                                         ble::CentralState::Unsupported,
                                         ble::CentralState::Unauthorized,
                                         ble::CentralState::PoweredOff,
                                         ble::CentralState::PoweredOn));

TEST(VehiclesControllerScan, EveryStateReportRequestsTheScanAgain) {
    ControllerFixture f;
    auto& central = f.scan();
    central.setState(ble::CentralState::PoweredOff);
    f.radio.reportState(f.radio.centrals.back());
    f.loop.runUntilIdle();
    central.setState(ble::CentralState::PoweredOn);
    f.radio.reportState(f.radio.centrals.back());
    f.loop.runUntilIdle();
    EXPECT_EQ(central.scanRequests.size(), 3u);
    EXPECT_EQ(f.log.lines, (Lines{"state=5", "Power ON = 5", "state=4", "Power ON = 5", "state=5",
                                  "Power ON = 5"}));
}

TEST(VehiclesControllerScan, ASecondBeginScanReplacesTheCentral) {
    ControllerFixture f;
    f.scan();
    const std::weak_ptr<fakes::FakeCentral> first = f.radio.centrals.back();
    const auto p = f.peripheral();
    f.advertise(p, ControllerFixture::mfgData(9, 0x12345678));
    const auto list = f.controller->vehicles();
    f.log.clear();

    f.controller->beginScan();
    // The registry stays as it was: the radio keeps the old central's links.
    EXPECT_EQ(f.controller->vehicles(), list);
    EXPECT_EQ(f.listed(), 1u);
    const auto vehicle = f.controller->findVehicleById(0x12345678);
    ASSERT_NE(vehicle, nullptr);
    EXPECT_EQ(p->delegate(), vehicle);
    EXPECT_TRUE(f.log.lines.empty());

    ASSERT_EQ(f.radio.centrals.size(), 2u);
    EXPECT_EQ(f.radio.centrals[0]->stopScanRequests, 0);
    f.loop.runUntilIdle();
    EXPECT_EQ(f.radio.centrals[1]->scanRequests.size(), 1u);

    // A late report of the old central asks the current one to scan.
    f.radio.reportState(f.radio.centrals[0]);
    f.loop.runUntilIdle();
    EXPECT_EQ(f.radio.centrals[0]->scanRequests.size(), 1u);
    EXPECT_EQ(f.radio.centrals[1]->scanRequests.size(), 2u);

    // The controller let the old one go; only the test's record keeps it.
    EXPECT_EQ(first.use_count(), 1);

    // The new central's report of the listed vehicle changes nothing; its
    // later link events, reported through the new central, still reach it.
    f.advertise(p, ControllerFixture::mfgData(9, 0x12345678));
    EXPECT_TRUE(f.radio.centrals[1]->connectRequests.empty());
    f.controller->didConnectPeripheral(*f.radio.centrals[1], *p);
    EXPECT_EQ(p->serviceDiscoveries.size(), 1u);
    f.controller->didDisconnectPeripheral(*f.radio.centrals[1], *p, nullptr);
    EXPECT_EQ(f.listed(), 0u);
}

TEST(VehiclesControllerScan, ConnectGoesToTheReportingCentral) {
    ControllerFixture f;
    f.scan();
    f.scan();
    const auto p = f.peripheral();
    f.controller->didDiscoverPeripheral(*f.radio.centrals[0], p,
                                        ControllerFixture::advertisement(ControllerFixture::mfgData(9, 1)), 0);
    EXPECT_EQ(f.radio.centrals[0]->connectRequests.size(), 1u);
    EXPECT_TRUE(f.radio.centrals[1]->connectRequests.empty());
}

TEST(VehiclesControllerLifetime, EventsAfterTheControllerIsGoneFindNobody) {
    ControllerFixture f;
    f.controller->beginScan();
    f.controller.reset();
    f.loop.runUntilIdle();  // the state report finds no receiver
    EXPECT_TRUE(f.log.lines.empty());
    EXPECT_TRUE(f.radio.centrals.back()->scanRequests.empty());
}

}  // namespace
