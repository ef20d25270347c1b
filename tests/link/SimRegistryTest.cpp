// The registry on the simulated radio: one vehicle per peripheral when a
// listed vehicle starts advertising another identifier, and a second Connect
// that leaves every link as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "SimFixture.h"
#include "link/SystemLog.h"

namespace {

using namespace sim_fixture;

Bytes manufacturerData(uint8_t model, uint32_t id) {
    return {0xBE, 0xEF, 0x00, model, static_cast<uint8_t>(id >> 24), static_cast<uint8_t>(id >> 16),
            static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
}

bool wrote(const ble::sim::VirtualVehicle& car, const Bytes& frame) {
    for (const auto& write : car.writes()) {
        if (write.bytes == frame) return true;
    }
    return false;
}

struct IdentifierChange {
    const char* stage;
    std::chrono::milliseconds after;  // from beginScan to the change
};

class SimIdentifierChange : public ::testing::TestWithParam<IdentifierChange> {};

TEST_P(SimIdentifierChange, KeepsOneVehicleUntilTheLinkEndsThenFindsTheNewIdentifier) {
    SimFixture f;
    auto& car = f.world.addVehicle(vehicleProfile(9, 0x11111111));
    f.controller->beginScan();
    f.loop.advance(GetParam().after);
    ASSERT_EQ(f.listed(), 1u);

    car.setManufacturerData(manufacturerData(9, 0x22222222));
    f.loop.advance(1s);
    EXPECT_EQ(f.listed(), 1u);
    const auto vehicle = f.listedVehicle(0x11111111);
    ASSERT_NE(vehicle, nullptr);
    EXPECT_EQ(f.listedVehicle(0x22222222), nullptr);
    EXPECT_EQ(f.log.count("Discovered new vehicle"), 1);
    // The link went on to driving with the first vehicle.
    EXPECT_TRUE(vehicle->active());
    EXPECT_TRUE(car.connected());
    EXPECT_EQ(car.writes().size(), 2u);

    car.disconnect();
    f.loop.advance(1s);
    EXPECT_EQ(f.log.count("Disconnected vehicle id=0x11111111"), 1);
    EXPECT_EQ(f.listedVehicle(0x11111111), nullptr);
    ASSERT_EQ(f.listed(), 1u);
    const auto renamed = f.listedVehicle(0x22222222);
    ASSERT_NE(renamed, nullptr);
    EXPECT_TRUE(renamed->active());
    EXPECT_NE(renamed, vehicle);
    EXPECT_EQ(vehicle->peripheral()->delegate(), renamed);
}

INSTANTIATE_TEST_SUITE_P(Stages, SimIdentifierChange,
                         ::testing::Values(IdentifierChange{"listed", 25ms},
                                           IdentifierChange{"connecting", 55ms},
                                           IdentifierChange{"driving", 150ms}),
                         [](const auto& info) { return std::string(info.param.stage); });

TEST(SimSecondConnect, DisturbsNoCarAndFindsOneSwitchedOnMeanwhile) {
    SimFixture f;
    auto& driving = f.world.addVehicle(vehicleProfile(9, 0xA0000001));
    f.controller->beginScan();
    f.loop.advance(150ms);
    const auto first = f.listedVehicle(0xA0000001);
    ASSERT_NE(first, nullptr);
    first->setSpeed(300.0f);

    // The next scan round (at 220 ms) finds this one; its connection stands
    // at 250 ms.
    auto& connecting = f.world.addVehicle(vehicleProfile(18, 0xB0000002));
    f.loop.advance(80ms);
    ASSERT_EQ(f.listed(), 2u);
    ASSERT_FALSE(connecting.connected());

    f.controller->beginScan();
    first->setSpeed(400.0f);
    auto& later = f.world.addVehicle(vehicleProfile(19, 0xC0000003));
    f.loop.advance(1s);

    EXPECT_EQ(f.log.count("Disconnected"), 0);
    EXPECT_EQ(f.log.count("Failed"), 0);
    EXPECT_EQ(f.listedVehicle(0xA0000001), first);
    EXPECT_TRUE(driving.connected());
    EXPECT_EQ(driving.speed(), 400u);
    EXPECT_TRUE(wrote(driving, {0x06, 0x24, 0x90, 0x01, 0xA8, 0x61, 0x00}));
    EXPECT_EQ(driving.writes().size(), 4u);  // handshake, 300, 400: nothing reconnected

    for (const auto* car : {&connecting, &later}) {
        const auto vehicle = f.listedVehicle(car->identifier());
        ASSERT_NE(vehicle, nullptr) << car->identifier();
        EXPECT_TRUE(vehicle->active());
        EXPECT_TRUE(car->connected());
        EXPECT_TRUE(handshakeWritesOnly(*car));
        EXPECT_EQ(car->writes().size(), 2u);
    }
    EXPECT_EQ(f.listed(), 3u);

    // Events of the links made through the first central still arrive.
    driving.disconnect();
    f.loop.advance(100ms);
    EXPECT_EQ(f.log.count("Disconnected vehicle id=0xa0000001"), 1);
    EXPECT_NE(f.listedVehicle(0xA0000001), first);  // gone, or found afresh
}

}  // namespace

// Which vehicle each line was about, as an observer sees it while it is written.
class AboutRecorder : public LogObserver {
public:
    AboutRecorder() { SystemLog::addObserver(this); }
    ~AboutRecorder() override { SystemLog::removeObserver(this); }
    void logLine(const std::string& line) override { lines.emplace_back(line, SystemLog::vehicleOfLine()); }
    std::vector<std::pair<std::string, std::optional<uint32_t>>> lines;
};

TEST(SimRadioSwitch, TheRadioLeftBehindKeepsItsCarsUntilTheirLinksEndAndFindsNoMore) {
    SimFixture f;
    ble::sim::World other{f.loop};
    AboutRecorder about;
    auto& near = f.world.addVehicle(vehicleProfile(9, 0xA1, 0x0107));
    f.controller->beginScan();
    f.loop.advance(2s);
    ASSERT_NE(f.listedVehicle(0xA1), nullptr);

    f.controller->setCentralFactory(other.centralFactory());
    other.addVehicle(vehicleProfile(18, 0xB1));
    f.world.addVehicle(vehicleProfile(19, 0xA2));  // on the radio left behind
    f.loop.advance(2s);
    EXPECT_EQ(f.listed(), 1u) << "nothing new before the next Connect";
    f.controller->beginScan();
    f.loop.advance(2s);
    EXPECT_EQ(f.listed(), 2u);
    ASSERT_NE(f.listedVehicle(0xB1), nullptr);
    EXPECT_TRUE(f.listedVehicle(0xB1)->active());
    EXPECT_EQ(f.listedVehicle(0xA2), nullptr);

    const auto first = f.listedVehicle(0xA1);
    EXPECT_EQ(first->firmwareVersion(), std::optional<uint16_t>(0x0107));
    EXPECT_EQ(first->commandedSpeed(), 0);
    first->setSpeed(300.5f);
    EXPECT_EQ(first->commandedSpeed(), 300);
    f.loop.advance(100ms);
    EXPECT_EQ(near.writes().back().bytes, (Bytes{0x06, 0x24, 0x2C, 0x01, 0xA8, 0x61, 0x00}));

    near.disconnect();
    f.loop.advance(1s);
    EXPECT_EQ(f.log.count("Disconnected vehicle id=0x000000a1"), 1);
    EXPECT_EQ(f.listedVehicle(0xA1), nullptr);

    // The lines about a vehicle say so; the radio's own do not. Each line is
    // found by its beginning.
    const std::pair<std::string, std::optional<uint32_t>> expected[] = {
        {"state=5", std::nullopt},
        {"Discovered new vehicle, model=0x0009, id=0x000000a1", 0xA1},
        {"Connected to vehicle id=0x000000a1", 0xA1},
        {"Discovered write channel", 0xA1},
        {"Version response 0x0107\n", 0xA1},
        {"Connected to vehicle id=0x000000b1", 0xB1},
        {"Disconnected vehicle id=0x000000a1, error=", 0xA1},
    };
    for (const auto& line : expected) {
        const auto found = std::find_if(about.lines.begin(), about.lines.end(),
                                        [&](const auto& seen) { return seen.first.starts_with(line.first); });
        ASSERT_NE(found, about.lines.end()) << line.first;
        EXPECT_EQ(found->second, line.second) << line.first;
    }
    f.controller.reset();  // before the world its newest central is on
}
