// What a relay on a broker adds: a real mosquitto on loopback, a relay on the
// simulated cars and the broker radio's driver in one process, so that one
// clock times each command from the link's write to the relay's write to
// the car. Two runs: one car, a command every 10 ms (goal: p99 under 5 ms),
// and 24 cars with a command for each every 20 ms (goal: p99 under 30 ms).
//
//   build/default/bench/mqtt/bench_relay
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "bench/radio/LoadMeters.h"
#include "ble/mqtt/DriverHub.h"
#include "ble/mqtt/Relay.h"
#include "ble/qt/QtEventLoop.h"
#include "ble/sim/World.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "radio/BrokerRules.h"
#include "tests/mqtt/Broker.h"
#include "zelto_sdk/protocol.h"

namespace {

struct Run {
    const char* name;
    int cars;
    int everyMs;
    int commandsPerCar;
    double goalMs;
};

void measure(const Run& run) {
    mqtt_test::Broker broker;
    ble::qt::QtEventLoop loop;
    ble::sim::World world(loop);
    ble::sim::World::populate(world, run.cars);
    QElapsedTimer clock;
    clock.start();
    // The moment each (car, speed) left the link, and how long it took to the car.
    std::map<std::pair<std::string, uint16_t>, qint64> sentAt;
    std::vector<double> latencies;
    ble::mqtt::RelayOptions options;
    options.name = "bench";
    options.address = *ble::mqtt::readBrokerUrl(broker.url().toStdString()).address;
    options.wrote = [&](const std::string& car, const std::vector<uint8_t>& frame, const std::string&) {
        if (frame.size() != 7 || frame[1] != 0x24) return;
        const auto found = sentAt.find({car, static_cast<uint16_t>(frame[2] | frame[3] << 8)});
        if (found == sentAt.end()) return;
        latencies.push_back(static_cast<double>(clock.nsecsElapsed() - found->second) / 1e6);
        sentAt.erase(found);
    };
    auto relay = std::make_shared<ble::mqtt::Relay>(loop, world.centralFactory(), options);
    bool relayUp = false;
    relay->start([&](const std::string& problem) { relayUp = problem.empty(); });
    auto address = *ble::mqtt::readBrokerUrl((broker.url() + QStringLiteral("/bench")).toStdString()).address;
    auto hub = std::make_shared<ble::mqtt::DriverHub>(loop, address, broker_rules::vehicleDriverRules());
    bool driverUp = false;
    hub->start([&](const std::string& problem) { driverUp = problem.empty(); });
    if (!load::waitFor([&] { return relayUp && driverUp; }, 10000, 1)) return (void)std::printf("| %s | no broker |\n", run.name);

    auto controller = std::make_shared<VehiclesController>(hub->centralFactory());
    controller->beginScan();
    const auto activeCars = [&] {
        std::vector<std::shared_ptr<Vehicle>> active;
        for (const auto& vehicle : *controller->vehicles()) {
            if (vehicle && vehicle->active()) active.push_back(vehicle);
        }
        return active;
    };
    if (!load::waitFor([&] { return static_cast<int>(activeCars().size()) == run.cars; }, 30000, 1)) {
        return (void)std::printf("| %s | only %zu of %d cars connected |\n", run.name, activeCars().size(), run.cars);
    }
    const auto cars = activeCars();
    uint16_t speed = 1;
    int rounds = 0;
    QTimer drive;
    QObject::connect(&drive, &QTimer::timeout, [&] {
        for (const auto& car : cars) {
            VehicleMessage message{};
            const uint8_t length = zelto_vehicle_msg_set_speed(&message, speed, 25000);
            const std::string identifier = car->peripheral()->identifier();
            sentAt[{identifier.substr(identifier.find('/') + 1), speed}] = clock.nsecsElapsed();
            car->sendMessageWithLength(reinterpret_cast<const uint8_t*>(&message), length);
        }
        ++speed;
        if (++rounds == run.commandsPerCar) drive.stop();
    });
    drive.start(run.everyMs);
    const std::size_t total = static_cast<std::size_t>(run.cars) * static_cast<std::size_t>(run.commandsPerCar);
    // The last command of each car is never replaced: once all are written, the drive is over.
    (void)load::waitFor([&] {
        return !drive.isActive() && std::none_of(sentAt.begin(), sentAt.end(), [&](const auto& entry) {
                   return entry.first.second == speed - 1;
               });
    }, 60000, 1);
    load::waitFor([] { return false; }, 200, 1);  // stragglers, if any, are counted as replaced
    const double p99 = load::percentile(latencies, 0.99);
    std::printf("| %s | %zu commands, %zu written, %zu replaced by a newer one | p50 %.2f ms, p99 %.2f ms, worst %.2f ms"
                " (goal: p99 under %.0f ms) %s |\n",
                run.name, total, latencies.size(), total - latencies.size(), load::percentile(latencies, 0.5), p99,
                load::percentile(latencies, 1.0), run.goalMs, p99 < run.goalMs ? "met" : "MISSED");
    controller.reset();
    relay->stop();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    SystemLog::setEchoToStandardError(false);
    std::printf("| run | commands | command to relay write |\n|---|---|---|\n");
    measure(Run{"one car, a command every 10 ms", 1, 10, 1000, 5});
    measure(Run{"24 cars, a command each every 20 ms", 24, 20, 250, 30});
    return 0;
}
