// Commands through the real Qt Bluetooth radio to a mock BlueZ: how long a
// write takes from the command to BlueZ (the air, as far as the program can
// see), one at a time, and what a burst of 1000 set-speed commands leaves
// behind, with the latest-value rule and without it.
//
// Needs the private system bus:
//   tests/integration/with_mock_bus.py -- build/default/bench/qt/bench_qt_radio
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "MockBluez.h"
#include "link/FrameRules.h"
#include "ble/qt/CentralFactory.h"
#include "ble/qt/Peripheral.h"
#include "ble/qt/QtEventLoop.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPatienceMs = 30000;
constexpr int kBurst = 1000;

// steady_clock and the mock's time.monotonic() read the same clock.
double secondsNow() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

uint16_t speedOf(const std::vector<uint8_t>& frame) {
    return frame.size() == 7 && frame[1] == 0x24 ? static_cast<uint16_t>(frame[2] | frame[3] << 8) : 0;
}

// The bench cannot go on without what it waits for.
template <typename Condition>
void waitOrDie(Condition condition, const char* what) {
    if (!QTest::qWaitFor(condition, kPatienceMs)) {
        std::fprintf(stderr, "gave up waiting for %s\n", what);
        std::exit(1);
    }
}

// One connected vehicle on its own radio.
struct Rig {
    ble::qt::QtEventLoop loop;
    std::shared_ptr<VehiclesController> controller;
    std::shared_ptr<Vehicle> vehicle;
    MockBluez::Vehicle mocked;

    Rig(MockBluez& mock, bool coalesce, const QString& address, uint32_t identifier) {
        ble::qt::RadioOptions options;
        if (coalesce) options.supersedes = link_rules::vehicleFrames();
        controller = std::make_shared<VehiclesController>(ble::qt::makeCentralFactory(loop, options));
        controller->beginScan();
        QTest::qWait(200);
        mocked = mock.addVehicle(address, identifier, 9, -50);
        waitOrDie([&] { return mock.writes(mocked.writeCharacteristic).size() >= 2; }, "the handshake");
        vehicle = controller->findVehicleById(identifier);
        if (!vehicle) std::abort();
        waitUntilIdle();
    }

    bool idle() const {
        const auto peripheral = std::dynamic_pointer_cast<ble::qt::Peripheral>(vehicle->peripheral());
        return peripheral && !peripheral->requests().busy();
    }
    void waitUntilIdle() const {
        waitOrDie([&] { return idle(); }, "the writes to go through");
    }
};

MockBluez* theMock = nullptr;
std::map<bool, std::unique_ptr<Rig>> rigs;

Rig& rig(bool coalesce) {
    auto& held = rigs[coalesce];
    if (!held) {
        held = std::make_unique<Rig>(*theMock, coalesce,
                                     coalesce ? QStringLiteral("C0:00:00:00:00:01")
                                              : QStringLiteral("C0:00:00:00:00:02"),
                                     coalesce ? 0xB0000001 : 0xB0000002);
    }
    return *held;
}

// One command, then wait until it is through: the time from the call to
// BlueZ's record of the write.
void BM_OneCommandAtATime(benchmark::State& state) {
    Rig& r = rig(true);
    uint16_t speed = 1;
    double worst = 0;
    for (auto _ : state) {
        theMock->clearWrites(r.mocked.writeCharacteristic);
        const double sent = secondsNow();
        r.vehicle->setSpeed(speed++);
        r.waitUntilIdle();
        const auto writes = theMock->writes(r.mocked.writeCharacteristic);
        if (writes.size() != 1) {
            state.SkipWithError("not one write per command");
            break;
        }
        const double latency = writes[0].monotonicTime - sent;
        worst = std::max(worst, latency);
        state.SetIterationTime(latency);
    }
    state.counters["worst_ms"] = worst * 1e3;
}
BENCHMARK(BM_OneCommandAtATime)->UseManualTime()->Iterations(300)->Unit(benchmark::kMicrosecond);

// 1000 set-speed commands in one go (a slider flung across); the time is from
// the last command to its value reaching BlueZ.
void BM_BurstOfSetSpeeds(benchmark::State& state) {
    const bool coalesce = state.range(0) != 0;
    Rig& r = rig(coalesce);
    double worstLag = 0;
    double lastLag = 0;
    std::size_t written = 0;
    for (auto _ : state) {
        theMock->clearWrites(r.mocked.writeCharacteristic);
        std::vector<double> calledAt(kBurst + 1);
        for (int i = 1; i <= kBurst; ++i) {
            calledAt[i] = secondsNow();
            r.vehicle->setSpeed(static_cast<float>(i));
        }
        waitOrDie([&] { return speedOf(theMock->lastWrite(r.mocked.writeCharacteristic).bytes) == kBurst; },
                  "the last speed");
        const std::vector<MockBluez::Write> writes = theMock->writes(r.mocked.writeCharacteristic);
        r.waitUntilIdle();
        written = writes.size();
        // How stale each value was when it reached BlueZ.
        for (const auto& write : writes) {
            const uint16_t speed = speedOf(write.bytes);
            if (speed >= 1 && speed <= kBurst) {
                worstLag = std::max(worstLag, write.monotonicTime - calledAt[speed]);
            }
        }
        lastLag = writes.back().monotonicTime - calledAt[kBurst];
        state.SetIterationTime(lastLag);
    }
    state.counters["writes"] = static_cast<double>(written);
    state.counters["last_lag_ms"] = lastLag * 1e3;
    state.counters["worst_lag_ms"] = worstLag * 1e3;
}
BENCHMARK(BM_BurstOfSetSpeeds)
    ->ArgName("latest_value_rule")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!MockBluez::busAvailable()) {
        std::fprintf(stderr, "needs the private system bus: run under tests/integration/with_mock_bus.py\n");
        return 1;
    }
    SystemLog::setEchoToStandardError(false);
    MockBluez mock;
    mock.start();
    mock.addAdapter();
    theMock = &mock;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rigs.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
