// One simulated hour of 200 vehicles with random commands, advertisements,
// disconnections, vehicles leaving and returning, faults, vehicles that
// advertise another identifier, and Connect pressed again. After every step
// the registry must hold at most one vehicle per identifier and per
// peripheral, and only live ones.
//
// A listed vehicle is live when, as far as the controller has been told, its
// peripheral is connected or being connected:
//  - connected: the connection was reported and its end was not; the world
//    must then agree that the vehicle is in range and connected (a link that
//    ends is reported at once, so after a step nothing is in flight);
//  - being connected: the controller asked for the connection less than a
//    step ago and no outcome has arrived yet (the radio answers within 30 ms).
// And the peripheral's event receiver must be that very vehicle.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"
#include "LinkTracker.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

using namespace std::chrono_literals;
using ble::sim::PeripheralEvent;
using ble::sim::ServiceLayout;
using ble::sim::Stage;
using Bytes = std::vector<uint8_t>;

constexpr int kVehicles = 200;
constexpr auto kStep = 1s;
constexpr int kSteps = 3600;  // one hour
constexpr uint32_t kFirstId = 0x50000000;

class LineCounter : public LogObserver {
public:
    LineCounter() { SystemLog::addObserver(this); }
    ~LineCounter() override { SystemLog::removeObserver(this); }
    void logLine(const std::string& line) override {
        ++lines;
        if (line.rfind("Discovered new vehicle", 0) == 0) ++discoveries;
        if (line.rfind("Version response", 0) == 0) ++versions;
    }
    long lines = 0, discoveries = 0, versions = 0;
};

ble::sim::VehicleProfile profileFor(int index) {
    static const uint8_t models[] = {9, 18, 19};
    ble::sim::VehicleProfile profile;
    profile.model = models[index % 3];
    profile.identifier = kFirstId + static_cast<uint32_t>(index);
    profile.version = static_cast<uint16_t>(0x2600 + index);
    return profile;
}

class Soak {
public:
    explicit Soak(uint32_t seed) : rng_(seed) {
        world_.setAdvertisingInterval(1s);
        for (int i = 0; i < kVehicles; ++i) world_.addVehicle(profileFor(i));
        controller_ = std::make_shared<VehiclesController>(
            LinkTracker::factory(loop_, world_.centralFactory(), tracker_));
    }

    void run() {
        controller_->beginScan();
        for (int step = 0; step < kSteps; ++step) {
            const int actions = static_cast<int>(pick(4));
            for (int a = 0; a < actions; ++a) act();
            loop_.advance(kStep);
            checkRegistry(step);
            if (::testing::Test::HasFatalFailure()) return;
        }
        settleAndCheckEveryVehicleIsBack();
    }

    const LineCounter& counter() const { return counter_; }

private:
    uint32_t pick(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
    int pickIndex() { return static_cast<int>(pick(kVehicles)); }
    uint32_t idOf(int index) const { return kFirstId + static_cast<uint32_t>(index); }

    float randomFloat() {
        switch (pick(8)) {
            case 0: return std::nanf("");
            case 1: return -1.0f;
            case 2: return 3e9f;
            case 3: return -std::numeric_limits<float>::infinity();
            default: return static_cast<float>(pick(2000)) - 200.0f;
        }
    }

    void act() {
        const uint32_t roll = pick(100);
        const int index = pickIndex();
        ble::sim::VirtualVehicle* car = world_.vehicle(idOf(index));
        if (roll < 40) {
            command(index);
        } else if (roll < 50) {
            if (car) car->notify(randomValue());
        } else if (roll < 55) {
            if (car) car->triggerDelocalized();
        } else if (roll < 65) {
            if (car) car->disconnect();
        } else if (roll < 72) {
            leaveOrReturn(index);
        } else if (roll < 92) {
            if (car) fault(*car);
        } else if (roll < 97) {
            if (car) {
                car->faults() = {};
                car->setManufacturerData(std::nullopt);
                restoreManufacturerData(*car, index);
            }
        } else if (roll < 98) {
            world_.setPowered(!world_.powered());
        } else if (pick(4) == 0) {
            controller_->beginScan();
        }
    }

    void command(int index) {
        const auto vehicle = controller_->findVehicleById(idOf(index));
        if (!vehicle) return;
        switch (pick(5)) {
            case 0: vehicle->setSpeed(randomFloat()); break;
            // Most commands stop the vehicle again, so that not every vehicle
            // reports its position all hour.
            case 1: vehicle->setSpeed(0.0f); break;
            case 2: vehicle->changeLaneAndSpeed(randomFloat(), static_cast<uint16_t>(pick(65536))); break;
            case 3: vehicle->setLaneOffset(randomFloat()); break;
            case 4: vehicle->spin180(); break;
        }
    }

    Bytes randomValue() {
        Bytes value(pick(24));
        for (auto& b : value) b = static_cast<uint8_t>(rng_());
        return value;
    }

    void leaveOrReturn(int index) {
        if (world_.vehicle(idOf(index))) {
            world_.removeVehicle(idOf(index));
        } else {
            world_.addVehicle(profileFor(index));
        }
    }

    void fault(ble::sim::VirtualVehicle& car) {
        auto& faults = car.faults();
        switch (pick(8)) {
            case 0: faults.failConnect = pick(2) == 0; break;
            case 1: faults.dropAfter = std::chrono::milliseconds(pick(5000)); break;
            case 2: faults.dropAtStage = static_cast<Stage>(pick(4)); break;
            case 3: faults.errorOn.insert(static_cast<PeripheralEvent>(pick(5))); break;
            case 4: faults.layout = static_cast<ServiceLayout>(pick(5)); break;
            case 5: {
                // Wrong lengths (264 is 8 in its low bits) or another product.
                static const size_t lengths[] = {0, 7, 9, 255, 256, 264};
                Bytes data(lengths[pick(6)], 0x00);
                if (data.size() >= 2) { data[0] = 0xBE; data[1] = 0xEF; }
                car.setManufacturerData(pick(4) == 0 ? std::nullopt : std::optional<Bytes>(data));
                break;
            }
            case 6: car.setManufacturerData(Bytes{0x12, 0x34, 0, car.model(), 0x50, 0, 0, 0}); break;
            case 7: advertiseIdentifier(car, renamedId(car.identifier())); break;
        }
    }

    // The identifier a car advertises after it was made to change it, and
    // back: each car has one other identifier of its own.
    static uint32_t renamedId(uint32_t id) { return id + kVehicles; }
    ble::sim::VirtualVehicle* carAdvertising(uint32_t id) const {
        if (auto* car = world_.vehicle(id)) return car;
        return id >= kFirstId + kVehicles ? world_.vehicle(id - kVehicles) : nullptr;
    }

    static void advertiseIdentifier(ble::sim::VirtualVehicle& car, uint32_t id) {
        car.setManufacturerData(Bytes{0xBE, 0xEF, 0x00, car.model(), static_cast<uint8_t>(id >> 24),
                                      static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 8),
                                      static_cast<uint8_t>(id)});
    }

    void restoreManufacturerData(ble::sim::VirtualVehicle& car, int index) {
        advertiseIdentifier(car, idOf(index));
    }

    void checkRegistry(int step) {
        std::set<uint32_t> ids;
        std::set<const ble::Peripheral*> peripherals;
        for (const auto& vehicle : *controller_->vehicles()) {
            const uint32_t id = vehicle->identifier();
            ASSERT_TRUE(ids.insert(id).second) << "step " << step << ": id " << id << " listed twice";
            const auto peripheral = vehicle->peripheral();
            ASSERT_NE(peripheral, nullptr);
            ASSERT_TRUE(peripherals.insert(peripheral.get()).second)
                << "step " << step << ": id " << id << " shares its peripheral";
            ASSERT_EQ(peripheral->delegate(), vehicle) << "step " << step;
            const auto& connecting = tracker_->connecting();
            const auto pending = connecting.find(peripheral.get());
            if (pending != connecting.end()) {
                ASSERT_LT(loop_.now() - pending->second, std::chrono::milliseconds(kStep))
                    << "step " << step << ": id " << id << " waits for a connection outcome";
                continue;
            }
            ASSERT_TRUE(tracker_->connected().contains(peripheral.get()))
                << "step " << step << ": id " << id << " is listed but neither connected nor connecting";
            const auto* car = carAdvertising(id);
            ASSERT_NE(car, nullptr) << "step " << step << ": id " << id << " left but is listed";
            ASSERT_TRUE(car->connected()) << "step " << step << ": id " << id << " is not connected";
        }
    }

    void settleAndCheckEveryVehicleIsBack() {
        world_.setPowered(true);
        for (int i = 0; i < kVehicles; ++i) {
            if (!world_.vehicle(idOf(i))) world_.addVehicle(profileFor(i));
            auto* car = world_.vehicle(idOf(i));
            car->faults() = {};
            restoreManufacturerData(*car, i);
            car->disconnect();  // a link made under a fault starts over cleanly
        }
        loop_.advance(5s);
        ASSERT_EQ(controller_->vehicles()->size(), static_cast<size_t>(kVehicles));
        for (int i = 0; i < kVehicles; ++i) {
            const auto vehicle = controller_->findVehicleById(idOf(i));
            ASSERT_NE(vehicle, nullptr) << i;
            EXPECT_TRUE(vehicle->active()) << i;
            EXPECT_TRUE(world_.vehicle(idOf(i))->notifying()) << i;
        }
    }

    std::mt19937 rng_;
    LineCounter counter_;
    ble::ManualEventLoop loop_;
    ble::sim::World world_{loop_};
    std::shared_ptr<LinkTracker> tracker_;
    std::shared_ptr<VehiclesController> controller_;
};

TEST(SimSoak, AnHourOf200VehiclesKeepsTheRegistrySound) {
    Soak soak(20261208);
    soak.run();
    // The hour really churned: vehicles were dropped and found again many times.
    EXPECT_GT(soak.counter().discoveries, 2 * kVehicles);
    EXPECT_GT(soak.counter().versions, kVehicles);
    RecordProperty("lines", std::to_string(soak.counter().lines));
    RecordProperty("discoveries", std::to_string(soak.counter().discoveries));
}

}  // namespace
