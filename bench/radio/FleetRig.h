// A fleet on the mock BlueZ: three adapters, 24 cars each heard by one to
// three of them with its own signal, driven through the BlueZ radio on every
// adapter and the program's own link. The rig answers each car's version
// request as the car would, once the request has reached the mock.
#pragma once

#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "MockBluez.h"
#include "ble/qt/QtEventLoop.h"

class Vehicle;
class VehiclesController;

namespace fleet {

inline const std::array<QString, 3> kAdapters{"hci0", "hci1", "hci2"};
constexpr int kCars = 24;

struct Setup {
    const char* name;
    // The radio's own limit of links per adapter.
    std::size_t linksPerAdapter;
    // What each adapter's controller takes (negative: no limit), and the
    // words a full one answers Connect with.
    std::array<int, 3> capacity;
    QString refusal;
    int cars = kCars;
};

struct Car {
    uint32_t id = 0;
    std::map<QString, MockBluez::Vehicle> objects;  // by adapter
    QString bestAdapter;
    QString adapter;  // the one the radio connected it through
    // Seconds after Connect; negative until then.
    double listedAt = -1, activeAt = -1, drivingAt = -1;
    double answeredAt = -1;
};

// Seconds on the clock the mock stamps its writes with.
double now();

// Runs Qt's loop for `ms`, calling `poll` every `everyMs` until it says done.
// Unlike QTest's waits it never sleeps between rounds.
bool runUntil(const std::function<bool()>& poll, int ms, int everyMs = 5);

class Rig {
public:
    // Starts the mock with the adapters and the cars (not yet scanned for).
    Rig(MockBluez& mock, const Setup& setup);
    ~Rig();

    // Presses Connect and waits until every car drives (SDK mode, version
    // answered) or `limitMs` passes; the seconds it took, else negative.
    double connectAll(int limitMs);

    std::vector<Car>& cars() { return cars_; }
    std::shared_ptr<Vehicle> vehicleOf(const Car& car) const;
    // Whether the car drives now (listed, through its handshake, its version
    // known); answers its version request as the car would, again after
    // every new link.
    bool drivesNow(const Car& car);
    VehiclesController& controller() { return *controller_; }
    MockBluez& mock() { return mock_; }
    int driving() const;

private:
    void poll(double since);

    MockBluez& mock_;
    Setup setup_;
    ble::qt::QtEventLoop loop_;
    std::shared_ptr<VehiclesController> controller_;
    std::vector<Car> cars_;
};

}  // namespace fleet
