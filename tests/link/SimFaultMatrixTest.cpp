// Every fault switch of the simulated radio against the link: the log lines,
// the registry, and that nothing reaches a wrong characteristic.
#include <gtest/gtest.h>

#include <functional>

#include "SimFixture.h"

namespace {

using namespace sim_fixture;
using ble::sim::PeripheralEvent;
using ble::sim::ServiceLayout;
using ble::sim::Stage;
using ble::sim::VirtualVehicle;
using ble::sim::World;
using Lines = std::vector<std::string>;

constexpr uint32_t kId = 0x00C0FFEE;

// The lines of one road, in order.
const std::string kStateOn = "state=5";
const std::string kStateOff = "state=4";
const std::string kPower = "Power ON = 5";
const std::string kFound = "Discovered new vehicle, model=0x0012, id=0x00c0ffee";
const std::string kConnected = "Connected to vehicle id=0x00c0ffee";
const std::string kService = "Discovered service, Id=BE15BEEF-6186-407E-8381-0BD89C4D8DF4";
const std::string kRead = "Discovered read channel";
const std::string kWriteLine = "Discovered write channel";
const std::string kVersion = "Version response 0x1234\n";
const std::string kLinkLost =
    "Disconnected vehicle id=0x00c0ffee, error=The connection has timed out unexpectedly.";

class SimFaultFixture : public SimFixture {
public:
    SimFaultFixture() {
        // One advertisement per road: a vehicle dropped by a fault is not
        // found again within the observed second.
        world.setAdvertisingInterval(60s);
    }
    VirtualVehicle& car = world.addVehicle(vehicleProfile(18, kId));
};

// ---- Faults switched on before the scan ----------------------------------

struct StaticFault {
    const char* name;
    std::function<void(World&, VirtualVehicle&)> setup;
    Lines lines;
    bool listed;
    bool active;
    std::vector<Bytes> writes;
};

const std::vector<Bytes> kHandshake{kSdkMode, kGetVersion};

std::function<void(World&, VirtualVehicle&)> faults(std::function<void(ble::sim::Faults&)> change) {
    return [change](World&, VirtualVehicle& car) { change(car.faults()); };
}
std::function<void(World&, VirtualVehicle&)> errorOn(PeripheralEvent event) {
    return faults([event](ble::sim::Faults& f) { f.errorOn.insert(event); });
}
std::function<void(World&, VirtualVehicle&)> layout(ServiceLayout layout) {
    return faults([layout](ble::sim::Faults& f) { f.layout = layout; });
}
std::function<void(World&, VirtualVehicle&)> dropAt(Stage stage) {
    return faults([stage](ble::sim::Faults& f) { f.dropAtStage = stage; });
}
std::function<void(World&, VirtualVehicle&)> dropAfter(std::chrono::milliseconds delay) {
    return faults([delay](ble::sim::Faults& f) { f.dropAfter = delay; });
}
std::function<void(World&, VirtualVehicle&)> manufacturerData(std::optional<Bytes> data) {
    return [data](World&, VirtualVehicle& car) { car.setManufacturerData(data); };
}
// A vehicle's own 8 bytes padded to `length`, so only the length is wrong.
std::optional<Bytes> paddedData(size_t length) {
    Bytes data{0xBE, 0xEF, 0x00, 0x12, 0x00, 0xC0, 0xFF, 0xEE};
    data.resize(length, 0x00);
    return data;
}

// The first `steps` lines of the road, then `tail`.
Lines road(size_t steps, Lines tail) {
    const Lines all{kStateOn, kPower, kFound, kConnected, kService, kRead, kWriteLine};
    Lines lines(all.begin(), all.begin() + steps);
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
}
Lines road(Lines tail) { return road(7, std::move(tail)); }

void PrintTo(const StaticFault& fault, std::ostream* os) { *os << fault.name; }

class StaticFaultTest : public testing::TestWithParam<StaticFault> {};

TEST_P(StaticFaultTest, LogRegistryAndWrites) {
    SimFaultFixture f;
    GetParam().setup(f.world, f.car);
    f.controller->beginScan();
    f.loop.advance(1s);

    EXPECT_EQ(f.log.lines, GetParam().lines);
    const auto vehicle = f.listedVehicle(kId);
    EXPECT_EQ(vehicle != nullptr, GetParam().listed);
    EXPECT_EQ(f.listed(), GetParam().listed ? 1u : 0u);
    if (vehicle) {
        EXPECT_EQ(vehicle->active(), GetParam().active);
    }
    std::vector<Bytes> written;
    for (const auto& w : f.car.writes()) written.push_back(w.bytes);
    EXPECT_EQ(written, GetParam().writes);
    EXPECT_TRUE(handshakeWritesOnly(f.car));
}

INSTANTIATE_TEST_SUITE_P(
    Switches, StaticFaultTest,
    testing::Values(
        StaticFault{"None", [](World&, VirtualVehicle&) {}, road({kVersion}), true, true, kHandshake},
        StaticFault{"FailConnect", faults([](auto& f) { f.failConnect = true; }),
                    road(3, {"Failed to connect to vehicle id=0x00c0ffee, error=Failed to connect to "
                             "the peripheral."}),
                    false, false, {}},
        StaticFault{"DropAtConnected", dropAt(Stage::Connected), road(4, {kLinkLost}), false, false, {}},
        StaticFault{"DropAtServicesDiscovered", dropAt(Stage::ServicesDiscovered), road(5, {kLinkLost}),
                    false, false, {}},
        StaticFault{"DropAtCharacteristicsDiscovered", dropAt(Stage::CharacteristicsDiscovered),
                    road({kLinkLost}), false, false, {}},
        StaticFault{"DropAtNotifyEnabled", dropAt(Stage::NotifyEnabled), road({kLinkLost}), false,
                    false, {}},
        StaticFault{"DropRightAfterConnecting", dropAfter(0ms), road(4, {kLinkLost}), false, false, {}},
        StaticFault{"DropDuringTheHandshake", dropAfter(25ms), road({kLinkLost}), false, false, {}},
        StaticFault{"DropWhileDriving", dropAfter(500ms), road({kVersion, kLinkLost}), false,
                    false, kHandshake},
        StaticFault{"ErrorOnDiscoverServices", errorOn(PeripheralEvent::DiscoverServices),
                    road(4, {"Discovered services for Vehicle 00C0FFEE with error: Simulated "
                             "failure: discovering services."}),
                    true, false, {}},
        StaticFault{"ErrorOnDiscoverCharacteristics",
                    errorOn(PeripheralEvent::DiscoverCharacteristics),
                    road(5, {"Discovered characteristics for BE15BEEF-6186-407E-8381-0BD89C4D8DF4 "
                             "with error: Simulated failure: discovering characteristics."}),
                    true, false, {}},
        StaticFault{"ErrorOnUpdateNotificationState",
                    errorOn(PeripheralEvent::UpdateNotificationState),
                    road({"Error updating notification state for characteristic "
                          "BE15BEE0-6186-407E-8381-0BD89C4D8DF4 error: Simulated failure: "
                          "updating the notification state."}),
                    true, true, kHandshake},
        StaticFault{"ErrorOnWriteValue", errorOn(PeripheralEvent::WriteValue),
                    road({"Error writing value for characteristic "
                          "BE15BEE1-6186-407E-8381-0BD89C4D8DF4 error: Simulated failure: writing "
                          "the value.",
                          "Error writing value for characteristic "
                          "BE15BEE1-6186-407E-8381-0BD89C4D8DF4 error: Simulated failure: writing "
                          "the value."}),
                    true, true, {}},
        StaticFault{"ErrorOnUpdateValue", errorOn(PeripheralEvent::UpdateValue),
                    road({"Error updating value for characteristic "
                          "BE15BEE0-6186-407E-8381-0BD89C4D8DF4 error: Simulated failure: "
                          "receiving a value."}),
                    true, true, kHandshake},
        StaticFault{"NoService", layout(ServiceLayout::NoService),
                    road(4, {"Discovered no service for Vehicle 00C0FFEE"}),
                    true, false, {}},
        StaticFault{"TwoServices", layout(ServiceLayout::TwoServices), road({kVersion}), true,
                    true, kHandshake},
        // Without a write characteristic nothing is written anywhere.
        StaticFault{"MissingWrite", layout(ServiceLayout::MissingWrite),
                    road(6, {}), true, true, {}},
        // Without a read characteristic the version response cannot come back.
        StaticFault{"MissingRead", layout(ServiceLayout::MissingRead),
                    road(5, {kWriteLine}), true, true, kHandshake},
        StaticFault{"PoweredOff", [](World& w, VirtualVehicle&) { w.setPowered(false); },
                    {kStateOff, kPower}, false, false, {}},
        StaticFault{"NoManufacturerData", manufacturerData(std::nullopt), road(2, {}), false, false, {}},
        StaticFault{"EmptyManufacturerData", manufacturerData(Bytes{}), road(2, {}), false, false, {}},
        StaticFault{"SevenBytes", manufacturerData(paddedData(7)), road(2, {}), false, false, {}},
        StaticFault{"NineBytes", manufacturerData(paddedData(9)), road(2, {}), false, false, {}},
        StaticFault{"256Bytes", manufacturerData(paddedData(256)), road(2, {}), false, false, {}},
        StaticFault{"264BytesLowBitsEight", manufacturerData(paddedData(264)), road(2, {}), false, false, {}},
        StaticFault{"AnotherProduct", manufacturerData(Bytes{0xBE, 0xEE, 0x00, 0x12, 0x00, 0xC0, 0xFF, 0xEE}),
                    road(2, {}), false, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Faults that strike at a stage of the link ---------------------------

enum class Strike { PowerOff, PeerDisconnects, LeavesRange };

struct StageFault {
    const char* stage;   // test name part
    std::string line;    // the stage is reached when this line is logged
    Strike strike;
};

void PrintTo(const StageFault& fault, std::ostream* os) {
    *os << fault.stage << " strike " << static_cast<int>(fault.strike);
}

// Runs the strike right after the event that logged the stage's line.
class StageTrigger : public LogObserver {
public:
    StageTrigger(ble::EventLoop& loop, std::string prefix, std::function<void()> action)
        : loop_(loop), prefix_(std::move(prefix)), action_(std::move(action)) {
        SystemLog::addObserver(this);
    }
    ~StageTrigger() override { SystemLog::removeObserver(this); }
    void logLine(const std::string& line) override {
        if (fired || line.rfind(prefix_, 0) != 0) return;
        fired = true;
        loop_.post(action_);
    }
    bool fired = false;

private:
    ble::EventLoop& loop_;
    std::string prefix_;
    std::function<void()> action_;
};

class StageFaultTest : public testing::TestWithParam<StageFault> {};

TEST_P(StageFaultTest, TheVehicleIsDroppedWithItsLineAndComesBack) {
    SimFaultFixture f;
    const StageFault& fault = GetParam();
    StageTrigger trigger(f.loop, fault.line, [&] {
        switch (fault.strike) {
            case Strike::PowerOff: f.world.setPowered(false); break;
            case Strike::PeerDisconnects: f.car.disconnect(); break;
            case Strike::LeavesRange: f.world.removeVehicle(kId); break;
        }
    });
    f.controller->beginScan();
    f.loop.advance(1s);
    ASSERT_TRUE(trigger.fired);

    const bool connectPending = fault.line == kFound;
    Lines expectedTail;
    if (fault.strike == Strike::PowerOff) {
        expectedTail = {kStateOff, kPower};
    }
    const std::string what = connectPending ? "Failed to connect to vehicle id=0x00c0ffee, error="
                                            : "Disconnected vehicle id=0x00c0ffee, error=";
    switch (fault.strike) {
        case Strike::PowerOff: expectedTail.push_back(what + "Bluetooth is powered off."); break;
        case Strike::LeavesRange: expectedTail.push_back(what + "The peripheral is out of range."); break;
        case Strike::PeerDisconnects:
            // Before the link exists there is nothing to end: the road goes on.
            if (connectPending) {
                expectedTail = {kConnected, kService, kRead, kWriteLine, kVersion};
            } else {
                expectedTail.push_back(what + "The specified device has disconnected from us.");
            }
            break;
    }
    const auto at = std::find_if(f.log.lines.begin(), f.log.lines.end(),
                                 [&](const std::string& l) { return l.rfind(fault.line, 0) == 0; });
    ASSERT_NE(at, f.log.lines.end());
    EXPECT_EQ(Lines(at + 1, f.log.lines.end()), expectedTail);

    const bool stillListed = fault.strike == Strike::PeerDisconnects && connectPending;
    EXPECT_EQ(f.listed(), stillListed ? 1u : 0u);
    if (fault.strike != Strike::LeavesRange) {
        EXPECT_TRUE(handshakeWritesOnly(f.car));
    }

    // Undo the fault: the vehicle is found, connected and driven again.
    switch (fault.strike) {
        case Strike::PowerOff: f.world.setPowered(true); break;
        case Strike::PeerDisconnects: break;
        case Strike::LeavesRange: f.world.addVehicle(vehicleProfile(18, kId)); break;
    }
    f.loop.advance(61s);
    ASSERT_EQ(f.listed(), 1u);
    const auto vehicle = f.listedVehicle(kId);
    ASSERT_NE(vehicle, nullptr);
    EXPECT_TRUE(vehicle->active());
    auto* car = f.world.vehicle(kId);
    ASSERT_NE(car, nullptr);
    EXPECT_TRUE(car->connected());
    EXPECT_TRUE(car->notifying());
    EXPECT_TRUE(handshakeWritesOnly(*car));
    EXPECT_EQ(f.log.lines.back(), kVersion);
}

std::vector<StageFault> stageFaults() {
    const std::vector<std::pair<const char*, std::string>> stages{
        {"Discovered", kFound},       {"Connected", kConnected},  {"ServiceFound", kService},
        {"HandshakeSent", kWriteLine}, {"Driving", "Version response"}};
    std::vector<StageFault> all;
    for (const auto& [name, line] : stages) {
        for (Strike strike : {Strike::PowerOff, Strike::PeerDisconnects, Strike::LeavesRange}) {
            all.push_back({name, line, strike});
        }
    }
    return all;
}

std::string stageFaultName(const testing::TestParamInfo<StageFault>& info) {
    static const char* const strikes[] = {"PowerOff", "PeerDisconnects", "LeavesRange"};
    return std::string(info.param.stage) + "_" + strikes[static_cast<int>(info.param.strike)];
}

INSTANTIATE_TEST_SUITE_P(Stages, StageFaultTest, testing::ValuesIn(stageFaults()), stageFaultName);

}  // namespace
