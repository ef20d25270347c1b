// Both real radios (Qt Bluetooth and the BlueZ radio) against the mock BlueZ
// in one run: the latency from a command to BlueZ's record of the write, the
// CPU each write costs (20 000 writes against an idle window, the median of
// several runs), what a 1000-frame drag leaves behind, and the fault
// scenarios: BlueZ frozen for 8 s while a person drives, BlueZ killed and
// started again, and 500 advertisers whose connections never complete. The
// event loop's health is the worst gap a 10 ms timer sees.
//
// Needs the private system bus:
//   tests/integration/with_mock_bus.py --timeout 600 -- build/default/bench/radio/bench_radio
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LoadMeters.h"
#include "MockBluez.h"
#include "ble/EventLoop.h"
#include "ble/bluez/CentralFactory.h"
#include "ble/qt/CentralFactory.h"
#include "ble/qt/QtEventLoop.h"
#include "link/FrameRules.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double secondsNow() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

uint16_t speedOf(const Bytes& frame) {
    return frame.size() == 7 && frame[1] == 0x24 ? static_cast<uint16_t>(frame[2] | frame[3] << 8) : 0;
}

// The worst gap between the ticks of a 10 ms timer, beyond its 10 ms.
class LoopWatch {
public:
    LoopWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            worst_ = std::max(worst_, now - last_ - 10);
            last_ = now;
        });
        clock_.start();
        timer_.start(10);
    }
    qint64 worstGapMs() const { return std::max<qint64>(worst_, 0); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

enum class Kind { Qt, Bluez };
const char* nameOf(Kind kind) { return kind == Kind::Qt ? "Qt Bluetooth" : "BlueZ radio"; }

ble::CentralFactory factoryFor(Kind kind, ble::EventLoop& loop, std::chrono::milliseconds connectTimeout,
                               std::chrono::milliseconds writeInterval) {
    if (kind == Kind::Qt) {
        ble::qt::RadioOptions options;
        options.supersedes = link_rules::vehicleFrames();
        options.connectTimeout = connectTimeout;
        options.writeInterval = writeInterval;
        return ble::qt::makeCentralFactory(loop, options);
    }
    ble::bluez::RadioOptions options;
    options.supersedes = link_rules::vehicleFrames();
    options.layout = link_rules::vehicleLayout();
    options.identify = link_rules::vehicleIdentity();
    options.connectTimeout = connectTimeout;
    options.writeInterval = writeInterval;
    return ble::bluez::makeCentralFactory(loop, options);
}

struct Rig {
    ble::qt::QtEventLoop loop;
    std::shared_ptr<VehiclesController> controller;

    Rig(Kind kind, std::chrono::milliseconds connectTimeout = std::chrono::milliseconds(10000),
        std::chrono::milliseconds writeInterval = std::chrono::milliseconds(20)) {
        controller = std::make_shared<VehiclesController>(factoryFor(kind, loop, connectTimeout, writeInterval));
        controller->beginScan();
        QTest::qWait(300);
    }
    ~Rig() {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::shared_ptr<Vehicle> driving(uint32_t id) const {
        const auto vehicle = controller->findVehicleById(id);
        return vehicle && vehicle->active() ? vehicle : nullptr;
    }
};

bool waitFor(const std::function<bool()>& condition, int ms) { return QTest::qWaitFor(condition, ms); }

struct Scenario {
    MockBluez& mock;
    Kind kind;
    int serial;  // distinct addresses and identifiers per scenario

    QString address(int n) const {
        return QStringLiteral("C0:00:00:00:%1:%2").arg(serial, 2, 10, QLatin1Char('0')).arg(n, 2, 10, QLatin1Char('0'));
    }
    uint32_t id(int n) const { return 0xB0000000u + static_cast<uint32_t>(serial * 100 + n); }

    // A connected vehicle through its handshake, or null.
    std::shared_ptr<Vehicle> connect(Rig& rig, MockBluez::Vehicle& car, int n) {
        car = mock.addVehicle(address(n), id(n), 9, -50);
        if (!waitFor([&] { return rig.driving(id(n)) && mock.writes(car.writeCharacteristic).size() >= 2; }, 20000)) {
            return nullptr;
        }
        QTest::qWait(100);
        mock.clearWrites(car.writeCharacteristic);
        return rig.driving(id(n));
    }
};

void oneAtATimeAndDrag(MockBluez& mock, Kind kind, int serial) {
    Scenario s{mock, kind, serial};
    Rig rig(kind);
    MockBluez::Vehicle car;
    const auto vehicle = s.connect(rig, car, 1);
    if (!vehicle) return std::printf("| %s | vehicle never connected |\n", nameOf(kind)), void();

    // One command every 50 ms, 200 of them; the mock's clock and ours agree.
    constexpr int kCommands = 200;
    std::vector<double> calledAt(kCommands + 1);
    for (int i = 1; i <= kCommands; ++i) {
        calledAt[i] = secondsNow();
        vehicle->setSpeed(static_cast<float>(i));
        QTest::qWait(50);
    }
    const auto writes = mock.writes(car.writeCharacteristic);
    std::vector<double> latencies;
    for (const auto& write : writes) {
        const uint16_t speed = speedOf(write.bytes);
        if (speed >= 1 && speed <= kCommands) latencies.push_back((write.monotonicTime - calledAt[speed]) * 1e3);
    }
    std::printf("| %s | one at a time | %zu writes for %d commands | latency p50 %.2f ms, p99 %.2f ms, worst %.2f ms |\n",
                nameOf(kind), writes.size(), kCommands, load::percentile(latencies, 0.5), load::percentile(latencies, 0.99),
                load::percentile(latencies, 1.0));

    // A drag: 1000 set-speed commands in one go.
    QTest::qWait(100);
    mock.clearWrites(car.writeCharacteristic);
    const double dragStart = load::processCpuSeconds();
    double lastCall = 0;
    for (int i = 1; i <= 1000; ++i) {
        lastCall = secondsNow();
        vehicle->setSpeed(static_cast<float>(i));
    }
    const bool arrived = waitFor([&] { return speedOf(mock.lastWrite(car.writeCharacteristic).bytes) == 1000; }, 60000);
    const double dragCpu = load::processCpuSeconds() - dragStart;
    const auto dragWrites = mock.writes(car.writeCharacteristic);
    std::printf("| %s | 1000-frame drag | %zu writes reach BlueZ | last value %s %.1f ms after the last command | CPU %.1f ms in all |\n",
                nameOf(kind), dragWrites.size(), arrived ? "arrives" : "NEVER arrives",
                arrived ? (dragWrites.back().monotonicTime - lastCall) * 1e3 : 0.0, dragCpu * 1e3);
}

// The CPU one write costs this process: a window of commands as fast as the
// pacer takes them (paced at 1 ms here, so that 20 000 writes fit in about
// 20 s) less an idle window of the same length, divided by the writes that
// reached BlueZ. Whole-process CPU is noisy at the scale of a few writes: the
// figure is the median of several runs.
double cpuPerWrite(MockBluez& mock, Kind kind, int serial) {
    constexpr int kCommands = 20000;
    constexpr auto kInterval = std::chrono::milliseconds(1);
    Scenario s{mock, kind, serial};
    Rig rig(kind, std::chrono::milliseconds(10000), kInterval);
    MockBluez::Vehicle car;
    const auto vehicle = s.connect(rig, car, 1);
    if (!vehicle) return -1;
    // Plain event loops on both windows: QTest's waits sleep between rounds.
    QEventLoop busy;
    QElapsedTimer window;
    const double busyStart = load::processCpuSeconds();
    window.start();
    int sent = 0;
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (sent == kCommands) return;
        // A new speed each time, so that none replaces another.
        vehicle->setSpeed(static_cast<float>(1 + sent++ % 1000));
        if (sent == kCommands) QTimer::singleShot(100, &busy, &QEventLoop::quit);  // the last ones leave
    });
    feeder.start(kInterval);
    busy.exec();
    feeder.stop();
    const double busyCpu = load::processCpuSeconds() - busyStart;
    const qint64 busyMs = window.elapsed();
    QEventLoop idle;
    const double idleStart = load::processCpuSeconds();
    QTimer::singleShot(static_cast<int>(busyMs), &idle, &QEventLoop::quit);
    idle.exec();
    const double idleCpu = load::processCpuSeconds() - idleStart;
    const std::size_t writes = mock.writes(car.writeCharacteristic).size();
    if (writes == 0) return -1;
    return (busyCpu - idleCpu) / static_cast<double>(writes) * 1e6;
}

void cpu(MockBluez& mock, Kind kind, int& serial, int runs) {
    std::vector<double> figures;
    for (int run = 0; run < runs; ++run) figures.push_back(cpuPerWrite(mock, kind, serial++));
    std::string each;
    for (const double figure : figures) each += (each.empty() ? "" : ", ") + std::to_string(static_cast<int>(figure + 0.5));
    std::printf("| %s | CPU per write | median %.0f us of %d runs (%s us), 20000 commands paced at 1 ms |\n",
                nameOf(kind), load::percentile(figures, 0.5), runs, each.c_str());
}

void frozen(MockBluez& mock, Kind kind, int serial) {
    Scenario s{mock, kind, serial};
    Rig rig(kind);
    MockBluez::Vehicle car;
    const auto vehicle = s.connect(rig, car, 1);
    if (!vehicle) return std::printf("| %s | frozen | vehicle never connected |\n", nameOf(kind)), void();
    QTest::qWait(100);
    LoopWatch watch;
    mock.suspend();
    QElapsedTimer clock;
    clock.start();
    int speed = 0;
    qint64 slowestCall = 0;
    while (clock.elapsed() < 8000) {
        QElapsedTimer call;
        call.start();
        vehicle->setSpeed(static_cast<float>(++speed));
        slowestCall = std::max(slowestCall, call.elapsed());
        QTest::qWait(20);
    }
    mock.resume();
    const double thawed = secondsNow();
    const bool arrived = waitFor([&] { return speedOf(mock.lastWrite(car.writeCharacteristic).bytes) == speed; }, 60000);
    const double after = arrived ? mock.lastWrite(car.writeCharacteristic).monotonicTime - thawed : 0;
    std::printf("| %s | BlueZ frozen 8 s, a command every 20 ms | worst loop gap %lld ms, slowest command %lld ms | last speed %s %.0f ms after the thaw |\n",
                nameOf(kind), static_cast<long long>(watch.worstGapMs()), static_cast<long long>(slowestCall),
                arrived ? "arrives" : "NEVER arrives", after * 1e3);
}

void restarted(MockBluez& mock, Kind kind, int serial) {
    Scenario s{mock, kind, serial};
    Rig rig(kind);
    MockBluez::Vehicle car;
    if (!s.connect(rig, car, 1)) return std::printf("| %s | restart | vehicle never connected |\n", nameOf(kind)), void();
    LoopWatch watch;
    mock.stop();
    const bool dropped = waitFor([&] { return rig.controller->findVehicleById(s.id(1)) == nullptr; }, 15000);
    mock.start();
    mock.addAdapter();
    QElapsedTimer clock;
    clock.start();
    car = mock.addVehicle(s.address(1), s.id(1), 9, -50);
    const bool back = waitFor([&] { return rig.driving(s.id(1)) != nullptr &&
                                           mock.writes(car.writeCharacteristic).size() >= 2; }, 30000);
    std::printf("| %s | BlueZ killed and started again | link end %s | vehicle %s %lld ms after BlueZ is back | worst loop gap %lld ms |\n",
                nameOf(kind), dropped ? "reported" : "NEVER reported", back ? "driving again" : "NOT back in 30 s",
                static_cast<long long>(back ? clock.elapsed() : 0), static_cast<long long>(watch.worstGapMs()));
}

void crowd(MockBluez& mock, Kind kind, int serial) {
    Scenario s{mock, kind, serial};
    const auto timeout = std::chrono::milliseconds(200);
    Rig rig(kind, timeout);
    QElapsedTimer adding;
    adding.start();
    uint32_t seed = 777u + static_cast<uint32_t>(serial);
    const auto addFakes = [&](int from, int count) {
        for (int i = from; i < from + count; ++i) {
            seed = seed * 1103515245u + 12345u;
            const QString address = QStringLiteral("D%1:00:00:00:%2:%3")
                                        .arg(serial % 10)
                                        .arg(i / 256, 2, 16, QLatin1Char('0'))
                                        .arg(i % 256, 2, 16, QLatin1Char('0'))
                                        .toUpper();
            const auto fake = mock.addVehicle(address, seed | 0x80000000u, 9, -80);
            mock.setConnectMode(fake.device, QStringLiteral("never"));
        }
    };
    addFakes(0, 250);
    const auto car = mock.addVehicle(s.address(1), s.id(1), 18, -40);
    addFakes(250, 250);
    // The bench's own calls that add the crowd block its loop; the radio is
    // measured from the moment the last advertiser is there.
    const qint64 addingMs = adding.elapsed();
    LoopWatch watch;
    QElapsedTimer clock;
    clock.start();
    const bool driving = waitFor([&] { return rig.driving(s.id(1)) != nullptr; }, 120000);
    const qint64 drivingAfter = clock.elapsed();
    const bool settled = waitFor([&] { return rig.controller->vehicles()->size() <= 1; }, 120000);
    std::printf("| %s | 500 advertisers that never connect (connect timeout %lld ms, added in %lld ms) | vehicle %s %lld ms after the last one | crowd gone %safter %lld ms | worst loop gap %lld ms | peak RSS %ld kB |\n",
                nameOf(kind), static_cast<long long>(timeout.count()), static_cast<long long>(addingMs),
                driving ? "driving" : "NEVER driving",
                static_cast<long long>(drivingAfter), settled ? "" : "NOT ", static_cast<long long>(clock.elapsed()),
                static_cast<long long>(watch.worstGapMs()), peakKilobytes());
    (void)car;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (!MockBluez::busAvailable()) {
        std::fprintf(stderr, "needs the private system bus: run under tests/integration/with_mock_bus.py\n");
        return 1;
    }
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    const bool faultsOnly = argc > 1 && std::string(argv[1]) == "--faults";
    MockBluez mock;
    mock.start();
    mock.addAdapter();
    int serial = 1;
    std::printf("| radio | case | figures |\n|---|---|---|\n");
    for (const Kind kind : {Kind::Qt, Kind::Bluez}) {
        if (!faultsOnly) {
            oneAtATimeAndDrag(mock, kind, serial++);
            cpu(mock, kind, serial, 5);
        }
        frozen(mock, kind, serial++);
        restarted(mock, kind, serial++);
        std::fflush(stdout);
    }
    crowd(mock, Kind::Bluez, serial++);
    mock.stop();
    return 0;
}
