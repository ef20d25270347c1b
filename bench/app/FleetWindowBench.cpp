// zelto-panel's window with 24 simulated cars, offscreen: the time from
// pressing List until every panel is shown (3 model panels bound, 21 fleet
// rows painted after the fleet got its room), and the process's memory
// before the window, with it open, after Connect and after List. Memory is
// only meaningful in a fresh process: one measurement per run.
//   build/default/bench/app/fleet_window_bench
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "app/panels/FleetArea.h"
#include "app/panels/FleetPanel.h"
#include "app/MainWindow.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/ViewController.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "radio/RadioChoice.h"

namespace {

constexpr int kCars = 24;
constexpr int kModelPanels = 3;

struct Memory {
    long rss = -1, peak = -1;  // kB
};

Memory memoryNow() {
    QFile status(QStringLiteral("/proc/self/status"));
    Memory memory;
    if (!status.open(QIODevice::ReadOnly)) return memory;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const long kb = line.mid(6).trimmed().split(' ').value(0).toLong();
        if (line.startsWith("VmRSS:")) memory.rss = kb;
        if (line.startsWith("VmHWM:")) memory.peak = kb;
    }
    return memory;
}

// When a fleet row was first painted after a moment.
class PaintWatch : public QObject {
public:
    QElapsedTimer clock;
    qint64 armedAt = -1;
    qint64 paintedAt = -1;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && armedAt >= 0 && paintedAt < 0 && qobject_cast<FleetPanel*>(watched)) {
            paintedAt = clock.elapsed();
        }
        return false;
    }
};

bool allDriving(const VehiclesController& registry) {
    const auto vehicles = *registry.vehicles();
    return vehicles.size() == kCars && std::all_of(vehicles.begin(), vehicles.end(), [](const auto& v) {
               return v->active() && v->firmwareVersion().has_value();
           });
}

bool allPanelsShown(const MainWindow& window) {
    for (const char* name : {"vexaSpeedSlider", "drummetSpeedSlider", "pellanSpeedSlider"}) {
        if (window.findChild<TaggedSlider*>(name)->tag() < 0) return false;
    }
    const auto rows = window.findChild<FleetArea*>("fleetScroll")->panels();
    return rows.size() == kCars - kModelPanels &&
           std::all_of(rows.begin(), rows.end(), [](const FleetPanel* row) { return row->isVisible(); });
}

template <typename Done>
bool waitFor(Done done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 1);
    return done();
}

void printMemory(const char* when, const Memory& memory) {
    std::printf("| memory %s | VmRSS %ld kB, VmHWM %ld kB |\n", when, memory.rss, memory.peak);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SystemLog::setEchoToStandardError(false);
    // The window's trace lines go where a terminal would take them.
    std::ofstream sink("/dev/null");
    std::streambuf* const terminal = std::cout.rdbuf(sink.rdbuf());

    std::printf("| window with %d simulated cars | measured |\n|---|---|\n", kCars);
    const Memory before = memoryNow();
    auto window = std::make_unique<MainWindow>(makeSimulatedFleet(kCars));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) return std::fprintf(stderr, "the window did not appear\n"), 1;
    const Memory open = memoryNow();

    QElapsedTimer clock;
    clock.start();
    window->findChild<TaggedButton*>("connectButton")->click();
    const VehiclesController& registry = window->viewController().vehiclesController();
    if (!waitFor([&] { return allDriving(registry); }, 30000)) return std::fprintf(stderr, "the cars never drove\n"), 1;
    const qint64 driving = clock.elapsed();
    QTest::qWait(500);
    const Memory connected = memoryNow();

    PaintWatch paints;
    application.installEventFilter(&paints);
    paints.clock.start();
    window->findChild<TaggedButton*>("listButton")->click();
    const qint64 listed = paints.clock.elapsed();
    // The window gives the fleet its room on a later turn; watch for paints from there.
    QTimer::singleShot(0, &paints, [&paints] { paints.armedAt = paints.clock.elapsed(); });
    const bool shown = waitFor([&] { return allPanelsShown(*window) && paints.paintedAt >= 0; }, 10000);
    const qint64 painted = paints.paintedAt;
    application.removeEventFilter(&paints);
    QTest::qWait(500);
    const Memory afterList = memoryNow();

    std::printf("| Connect to all %d driving (simulated radio) | %lld ms |\n", kCars, static_cast<long long>(driving));
    std::printf("| List pressed to listing done (the click returns) | %lld ms |\n", static_cast<long long>(listed));
    if (shown) {
        std::printf("| List pressed to all %d panels shown and painted | %lld ms |\n", kCars,
                    static_cast<long long>(painted));
    } else {
        std::printf("| List pressed to all %d panels shown | NOT within 10 s |\n", kCars);
    }
    printMemory("before the window", before);
    printMemory("with the window open", open);
    printMemory("after Connect, 24 driving", connected);
    printMemory("after List, 24 panels", afterList);
    window.reset();
    std::cout.rdbuf(terminal);
    return shown ? 0 : 1;
}
