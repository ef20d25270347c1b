// Run offscreen: build/<dir>/bench/app/app_bench (QT_QPA_PLATFORM defaults to
// offscreen here). Latencies are reported as p50/p99 counters in microseconds
// from per-iteration samples.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "bench/radio/LoadMeters.h"
#include "app/MainWindow.h"
#include "radio/RadioChoice.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/ViewController.h"
#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

using Clock = std::chrono::steady_clock;

void reportPercentiles(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    auto at = [&micros](double q) {
        return micros[std::min(micros.size() - 1, static_cast<std::size_t>(q * micros.size()))];
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = micros.back();
}

// The window on the default simulated world, on virtual time, connected and
// listed: every panel bound to a driving vehicle.
struct Road {
    ble::ManualEventLoop loop;
    ble::sim::World world{loop};
    std::unique_ptr<MainWindow> window;

    explicit Road(std::size_t outputBytes) {
        ble::sim::World::populateDefault(world);
        window = std::make_unique<MainWindow>(
            Radio{world.centralFactory(), QStringLiteral("Simulated vehicles"), {}, {}});
        window->show();
        window->findChild<TaggedButton*>("connectButton")->click();
        loop.advance(std::chrono::milliseconds(2000));
        window->findChild<TaggedButton*>("listButton")->click();
        fillOutput(outputBytes);
    }
    ~Road() {
        window.reset();
        loop.runUntilIdle();
    }

    void fillOutput(std::size_t bytes) {
        auto* area = window->findChild<QPlainTextEdit*>("outputArea");
        const QString line = QStringLiteral("\nCar:[305419896] lane:-23.5 speed:300.5");
        QString text;
        text.reserve(static_cast<qsizetype>(bytes + line.size()));
        while (static_cast<std::size_t>(text.size()) < bytes) text += line;
        QTextCursor end(area->document());
        end.movePosition(QTextCursor::End);
        end.insertText(text);
    }

    void drain() {
        loop.runUntilIdle();
        for (auto* vehicle : world.vehicles()) vehicle->clearWrites();
    }
};

// Trace lines go where a terminal would take them, without flooding this one.
struct QuietStdout {
    std::ofstream sink{"/dev/null"};
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    ~QuietStdout() { std::cout.rdbuf(saved); }
};

// The program as a person runs it without a radio: the simulated radio on
// Qt's loop, real time, Connect, the three vehicles driving, List.
void BM_ResidentMemoryAfterConnectAndList(benchmark::State& state) {
    QuietStdout quiet;
    for (auto _ : state) {
        auto window = std::make_unique<MainWindow>(makeSimulatedRadio());
        window->show();
        (void)QTest::qWaitForWindowExposed(window.get());
        window->findChild<TaggedButton*>("connectButton")->click();
        const VehiclesController& registry = window->viewController().vehiclesController();
        QElapsedTimer clock;
        clock.start();
        auto allDriving = [&registry] {
            const auto vehicles = *registry.vehicles();
            return vehicles.size() == 3 &&
                   std::all_of(vehicles.begin(), vehicles.end(),
                               [](const auto& v) { return v->active(); });
        };
        while (!allDriving() && clock.elapsed() < 10000) QTest::qWait(10);
        if (!allDriving()) state.SkipWithError("the vehicles did not come alive");
        window->findChild<TaggedButton*>("listButton")->click();
        QTest::qWait(100);
        state.counters["VmRSS_kB"] = static_cast<double>(load::residentKilobytes());
    }
}
BENCHMARK(BM_ResidentMemoryAfterConnectAndList)->Iterations(1);

// Times one step per iteration, from the person's move to the frame handed to
// the radio, and reports the percentiles. The radio's queue is drained now and
// then, outside the timing.
template <typename Prepare, typename Step>
void timeSteps(benchmark::State& state, Road& road, Prepare prepare, Step step) {
    std::vector<double> micros;
    int index = 0;
    for (auto _ : state) {
        prepare(index);
        const auto start = Clock::now();
        step(index++);
        const auto end = Clock::now();
        const double us = std::chrono::duration<double, std::micro>(end - start).count();
        micros.push_back(us);
        state.SetIterationTime(us / 1e6);
        if (index % 1024 == 0) road.drain();
    }
    reportPercentiles(state, micros);
}

void BM_SpeedActionToRadio(benchmark::State& state) {
    QuietStdout quiet;
    Road road(static_cast<std::size_t>(state.range(0)));
    auto* slider = road.window->findChild<TaggedSlider*>("vexaSpeedSlider");
    timeSteps(
        state, road, [slider](int index) { slider->setIntValue(100 + (index % 400)); },
        [slider](int) { emit slider->userMoved(slider); });  // what a key press or drag step sends
}
BENCHMARK(BM_SpeedActionToRadio)->Arg(0)->Arg(1 << 20)->UseManualTime()->Iterations(20000);

void BM_LaneKeyToRadio(benchmark::State& state) {
    QuietStdout quiet;
    Road road(static_cast<std::size_t>(state.range(0)));
    auto* slider = road.window->findChild<TaggedSlider*>("drummetLaneSlider");
    timeSteps(state, road, [](int) {}, [slider](int index) {
        const Qt::Key key = (index / 20) % 2 == 0 ? Qt::Key_Up : Qt::Key_Down;
        QTest::keyClick(slider, key);  // key event, slider, action, frame, output line
    });
}
BENCHMARK(BM_LaneKeyToRadio)->Arg(0)->Arg(1 << 20)->UseManualTime()->Iterations(20000);

void BM_LaunchToShownWindow(benchmark::State& state) {
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::unique_ptr<MainWindow> window;
        chooseRadio(qApp, [&window](Radio radio) {
            window = std::make_unique<MainWindow>(std::move(radio));
            window->show();
        });
        while (!window) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!QTest::qWaitForWindowExposed(window.get())) state.SkipWithError("not exposed");
        const auto end = Clock::now();
        const double us = std::chrono::duration<double, std::micro>(end - start).count();
        micros.push_back(us);
        state.SetIterationTime(us / 1e6);
        window.reset();
        QApplication::processEvents();
    }
    reportPercentiles(state, micros);
}
BENCHMARK(BM_LaunchToShownWindow)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SystemLog::setEchoToStandardError(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
