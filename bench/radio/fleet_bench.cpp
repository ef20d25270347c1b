// 24 cars on three mock adapters through the BlueZ radio on every adapter
// and the program's link: Connect to all driving, then a drag on all of them
// at once (a set-speed per car every 20 ms for 10 s) with the latency from
// each command to the mock's record of its frame, the CPU per frame and the
// worst gap of the event loop. Runs with the program's own limit of links per
// adapter, with room for the fleet, and with one controller that fills up
// early so that its cars spill over to the others.
//
// Needs the private system bus:
//   tests/integration/with_mock_bus.py --timeout 300 -- build/default/bench/radio/bench_fleet [defaults|tight|spill|fleet]...
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "FleetRig.h"
#include "LoadMeters.h"
#include "ble/bluez/RadioOptions.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"

namespace {

using namespace fleet;
using namespace load;

constexpr int kConnectGoalMs = 10000;
constexpr double kLatencyGoalMs = 30;
constexpr double kGapGoalMs = 50;
constexpr int kDragIntervalMs = 20;
constexpr int kDragMs = 10000;

const QString kLimitedResources = QStringLiteral("Connection rejected due to limited resources (0x0d)");

uint16_t speedOf(const std::vector<uint8_t>& frame) {
    return frame.size() == 7 && frame[1] == 0x24 ? static_cast<uint16_t>(frame[2] | frame[3] << 8) : 0;
}

double median(std::vector<double> values) { return percentile(std::move(values), 0.5); }

void reportConnect(Rig& rig, const Setup& setup, double seconds, int limitMs) {
    std::map<QString, int> through;
    int best = 0;
    std::vector<double> listed, linked, answered, drove;
    for (const Car& car : rig.cars()) {
        if (car.drivingAt < 0) continue;
        ++through[car.adapter];
        best += car.adapter == car.bestAdapter;
        listed.push_back(car.listedAt);
        linked.push_back(car.activeAt - car.listedAt);
        answered.push_back(car.drivingAt - car.activeAt);
        drove.push_back(car.drivingAt);
    }
    std::string waiting;
    for (const Car& car : rig.cars()) {
        if (car.drivingAt >= 0) continue;
        char line[48];
        std::snprintf(line, sizeof line, " %08X(%s)", car.id,
                      car.activeAt >= 0 ? "no version" : car.listedAt >= 0 ? "no link" : "not listed");
        waiting += line;
    }
    std::string spread;
    for (const QString& adapter : kAdapters) spread += " " + adapter.toStdString() + ":" + std::to_string(through[adapter]);
    if (seconds >= 0) {
        std::printf("| %s | all %d driving in %.2f s (goal: within %d s) %s |", setup.name, kCars, seconds,
                    kConnectGoalMs / 1000, seconds * 1000 <= kConnectGoalMs ? "met" : "MISSED");
    } else {
        std::printf("| %s | %d of %d driving after %d s (goal: all within %d s) MISSED; waiting:%s |", setup.name,
                    rig.driving(), kCars, limitMs / 1000, kConnectGoalMs / 1000, waiting.c_str());
    }
    std::printf(" links%s, %d through the adapter that hears them best | first / median / last driving %.2f / %.2f / %.2f s;"
                " listed by %.2f s, listed to SDK mode median %.0f ms, version answered median %.0f ms |\n",
                spread.c_str(), best, percentile(drove, 0), median(drove), percentile(drove, 1), percentile(listed, 1),
                median(linked) * 1e3, median(answered) * 1e3);
}

struct CarFigures {
    const Car* car;
    double p50 = 0, p99 = 0;
    int recorded = 0;
    uint64_t superseded = 0;
};

void drag(Rig& rig) {
    std::vector<std::shared_ptr<Vehicle>> vehicles;
    for (Car& car : rig.cars()) {
        vehicles.push_back(rig.vehicleOf(car));
        rig.mock().clearWrites(car.objects.at(car.adapter).writeCharacteristic);
    }
    const std::size_t ticks = kDragMs / kDragIntervalMs;
    std::vector<std::vector<double>> calledAt(vehicles.size(), std::vector<double>(ticks + 1));
    std::size_t tick = 0;

    QEventLoop loop;
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (tick == ticks) return feeder.stop(), QTimer::singleShot(300, &loop, &QEventLoop::quit), void();
        ++tick;
        for (std::size_t i = 0; i < vehicles.size(); ++i) {
            calledAt[i][tick] = now();
            vehicles[i]->setSpeed(static_cast<float>(tick));
        }
    });
    const double cpu = processCpuSeconds();
    const double mockCpu = childrenCpuSeconds();
    const MachineTime machine = machineTime();
    const double wall = now();
    LoopWatch watch(5);
    feeder.start(kDragIntervalMs);
    loop.exec();
    const double dragCpu = processCpuSeconds() - cpu;
    const double dragMockCpu = childrenCpuSeconds() - mockCpu;
    const MachineTime after = machineTime();
    const double dragWall = now() - wall;
    const double gap = watch.worstGapMs();

    std::vector<double> all;
    std::vector<CarFigures> figures;
    int recorded = 0;
    for (std::size_t i = 0; i < vehicles.size(); ++i) {
        const Car& car = rig.cars()[i];
        std::vector<double> latencies;
        for (const auto& write : rig.mock().writes(car.objects.at(car.adapter).writeCharacteristic)) {
            const uint16_t speed = speedOf(write.bytes);
            if (speed >= 1 && speed <= tick) latencies.push_back((write.monotonicTime - calledAt[i][speed]) * 1e3);
        }
        all.insert(all.end(), latencies.begin(), latencies.end());
        recorded += static_cast<int>(latencies.size());
        figures.push_back({&car, percentile(latencies, 0.5), percentile(latencies, 0.99),
                           static_cast<int>(latencies.size()), vehicles[i]->health().commandsSuperseded});
    }
    std::printf("\nDrag: a set-speed per car every %d ms for %d s, %zu commands per car\n\n", kDragIntervalMs,
                kDragMs / 1000, tick);
    std::printf("| car | adapter | p50 ms | p99 ms | recorded / sent | replaced by a newer one |\n|---|---|---|---|---|---|\n");
    const CarFigures* worst = &figures.front();
    for (const CarFigures& f : figures) {
        std::printf("| %08X | %s | %.1f | %.1f | %d / %zu | %llu |\n", f.car->id, qPrintable(f.car->adapter), f.p50, f.p99,
                    f.recorded, tick, static_cast<unsigned long long>(f.superseded));
        if (f.p99 > worst->p99) worst = &f;
    }
    const double p99 = percentile(all, 0.99);
    const std::size_t sent = tick * vehicles.size();
    std::printf("\n| drag figure | measured | goal |\n|---|---|---|\n");
    std::printf("| latency, all cars | p50 %.1f ms, p99 %.1f ms, worst %.1f ms | p99 under %.0f ms: %s |\n",
                percentile(all, 0.5), p99, percentile(all, 1), kLatencyGoalMs, p99 < kLatencyGoalMs ? "met" : "MISSED");
    std::printf("| worst car | %08X on %s: p50 %.1f ms, p99 %.1f ms | |\n", worst->car->id,
                qPrintable(worst->car->adapter), worst->p50, worst->p99);
    std::printf("| frames recorded / sent | %d / %zu | |\n", recorded, sent);
    std::printf("| CPU per frame handed to the radio | %.0f us (%.2f s of CPU in %.1f s) | |\n",
                dragCpu / static_cast<double>(sent) * 1e6, dragCpu, dragWall);
    std::printf("| worst gap of a 5 ms timer | %.1f ms | under %.0f ms: %s |\n", gap, kGapGoalMs,
                gap < kGapGoalMs ? "met" : "MISSED");
    std::printf("| mock BlueZ's CPU meanwhile | %.2f s | |\n", dragMockCpu);
    std::printf("| machine busy meanwhile (every process) | %.0f%% of %d cores | |\n",
                (after.busy - machine.busy) / (after.total - machine.total) * 100,
                static_cast<int>((after.total - machine.total) / dragWall + 0.5));
}

void run(MockBluez& mock, const Setup& setup, bool withDrag, int limitMs) {
    Rig rig(mock, setup);
    const double seconds = rig.connectAll(limitMs);
    reportConnect(rig, setup, seconds, limitMs);
    std::fflush(stdout);
    if (withDrag && seconds >= 0) drag(rig);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (!MockBluez::busAvailable()) {
        std::fprintf(stderr, "needs the private system bus: run under tests/integration/with_mock_bus.py\n");
        return 1;
    }
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    std::vector<std::string> wanted(argv + 1, argv + argc);
    if (wanted.empty()) wanted = {"defaults", "tight", "spill", "fleet"};
    const std::size_t programLinks = ble::bluez::RadioOptions{}.linksPerAdapter;
    const std::string defaultsName = "program's " + std::to_string(programLinks) + " links per adapter";

    MockBluez mock;
    std::printf("| radio setup | Connect to driving | where and when |\n|---|---|---|\n");
    for (const std::string& name : wanted) {
        if (name == "defaults") {
            const std::string named = defaultsName + ", controllers of 10";
            run(mock, {named.c_str(), programLinks, {10, 10, 10}, kLimitedResources}, false, 15000);
        } else if (name == "tight") {
            // Exactly room for all: cars are placed as they come, so one that
            // only a full adapter hears waits for a link there to end.
            const std::string named = defaultsName + ", controllers of 8 (24 links in all)";
            run(mock, {named.c_str(), programLinks, {8, 8, 8}, kLimitedResources}, false, 15000);
        } else if (name == "fleet") {
            run(mock, {"8 links per adapter, controllers of 8", 8, {8, 8, 8}, kLimitedResources}, true, 30000);
        } else if (name == "spill") {
            // hci2's three cars beyond 5 go to hci0, which hears them next best.
            run(mock, {"12 links per adapter, hci2's controller full at 5", 12, {-1, -1, 5}, kLimitedResources}, false,
                30000);
        } else {
            std::fprintf(stderr, "unknown run %s: defaults, tight, fleet or spill\n", name.c_str());
            return 2;
        }
    }
    return 0;
}
