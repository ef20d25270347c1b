// A soak of the BlueZ radio on the mock BlueZ: 12 cars on three adapters that
// take 5 links each, driven through the program's link, and a fault every
// few seconds, chosen at random from a seed it prints (a car drops its link,
// the car's services change, BlueZ hangs or is stopped, an adapter is powered
// off and on, a junk notification, slow writes, strangers advertising, a car
// that refuses to connect for a while). After each fault every car must drive again within
// 15 s; at every check no adapter holds more links than it takes and no link
// is up at BlueZ that no car of the program is driving through. Memory and
// open files are compared from after the first Connect to the end.
//
// Needs the private system bus:
//   tests/integration/with_mock_bus.py --timeout 2000 -- build/default/bench/radio/bench_soak [MINUTES [SEED]]
// Exit status 0 when every invariant held, 1 otherwise (the seed replays it).
#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <random>
#include <string>

#include "FleetRig.h"
#include "LoadMeters.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"

namespace {

using namespace fleet;

constexpr int kCarsInSoak = 12;
constexpr int kRecoverMs = 15000;
constexpr int kLinksPerAdapter = 5;

const QString kDevice = QStringLiteral("org.bluez.Device1");

long openFiles() { return static_cast<long>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }

class Soak {
public:
    Soak(MockBluez& mock, uint64_t seed)
        : rig_(mock, Setup{"soak", kLinksPerAdapter, {kLinksPerAdapter, kLinksPerAdapter, kLinksPerAdapter}, {}, kCarsInSoak}),
          random_(seed) {}

    Rig& rig() { return rig_; }

    // Cars that do not hold a link advertise: each adapter that hears one
    // reports it again.
    void advertise() {
        for (const Car& car : rig_.cars()) {
            if (rig_.vehicleOf(car) && rig_.vehicleOf(car)->active()) continue;
            for (const auto& [adapter, object] : car.objects) {
                if (powered_.contains(adapter) && !powered_.at(adapter)) continue;
                if (!connected(object.device)) rig_.mock().setRssi(object.device, static_cast<int16_t>(-50 - rssiStep_ % 3));
            }
        }
        ++rssiStep_;
    }

    bool allDrive() {
        advertise();
        bool all = true;
        for (const Car& car : rig_.cars()) all = rig_.drivesNow(car) && all;
        return all;
    }

    bool connected(const QString& device) { return rig_.mock().property(device, kDevice, QStringLiteral("Connected")).toBool(); }

    // No adapter over its room, and every link at BlueZ is one a car drives through.
    std::string brokenInvariant() {
        std::map<QString, int> links;
        for (const Car& car : rig_.cars()) {
            const auto vehicle = rig_.vehicleOf(car);
            const auto peripheral = vehicle ? vehicle->peripheral() : nullptr;
            const QString through = peripheral ? QString::fromStdString(peripheral->adapterName()) : QString();
            for (const auto& [adapter, object] : car.objects) {
                if (!connected(object.device)) continue;
                ++links[adapter];
                if (adapter != through) {
                    return "car " + std::to_string(car.id) + " is connected through " + adapter.toStdString() +
                           " that no vehicle drives it through";
                }
            }
        }
        for (const auto& [adapter, count] : links) {
            if (count > kLinksPerAdapter) return adapter.toStdString() + " holds " + std::to_string(count) + " links";
        }
        return {};
    }

    // One fault at random; what it was.
    std::string fault() {
        auto& cars = rig_.cars();
        Car& car = cars[std::uniform_int_distribution<std::size_t>(0, cars.size() - 1)(random_)];
        const auto vehicle = rig_.vehicleOf(car);
        const auto peripheral = vehicle ? vehicle->peripheral() : nullptr;
        const QString through = peripheral ? QString::fromStdString(peripheral->adapterName()) : QString();
        const MockBluez::Vehicle* object = car.objects.contains(through) ? &car.objects.at(through) : nullptr;
        MockBluez& mock = rig_.mock();
        switch (std::uniform_int_distribution<int>(0, 8)(random_)) {
            case 0:
                if (!object) break;
                mock.disconnectRemote(object->device);
                return "car " + std::to_string(car.id) + " dropped its link";
            case 1:
                if (!object) break;
                mock.serviceChanged(object->device);
                return "car " + std::to_string(car.id) + " changed its services";
            case 2:
                mock.freezeFor(1.0);
                return "BlueZ hung for 1 s";
            case 3: {
                const QString adapter = kAdapters[std::uniform_int_distribution<std::size_t>(0, 2)(random_)];
                mock.setPowered(QStringLiteral("/org/bluez/") + adapter, false);
                powered_[adapter] = false;
                runUntil([] { return false; }, 1000);
                mock.setPowered(QStringLiteral("/org/bluez/") + adapter, true);
                powered_[adapter] = true;
                return adapter.toStdString() + " powered off for 1 s";
            }
            case 4:
                if (!object) break;
                mock.emitNotification(object->readCharacteristic, QByteArray::fromHex("ff00ff00ff"));
                return "car " + std::to_string(car.id) + " sent a junk notification";
            case 5:
                mock.suspend();  // SIGSTOP: BlueZ reads nothing, answers nothing
                runUntil([] { return false; }, 1000);
                mock.resume();
                return "BlueZ stopped (SIGSTOP) for 1 s";
            case 6:
                mock.setWriteDelay(0.3);
                runUntil([] { return false; }, 2000);
                mock.setWriteDelay(0);
                return "writes answered 0.3 s late for 2 s";
            case 7: {
                // Strangers that advertise other services, each heard once.
                for (int i = 0; i < 20; ++i) {
                    mock.addDevice(QStringLiteral("D0:00:00:00:%1:%2").arg(strangers_ / 256, 2, 16, QLatin1Char('0')).arg(strangers_ % 256, 2, 16, QLatin1Char('0')).toUpper(),
                                   QStringLiteral("stranger"), {QStringLiteral("0000180d-0000-1000-8000-00805f9b34fb")},
                                   {}, -70);
                    ++strangers_;
                }
                return "20 strangers advertised";
            }
            case 8:
                if (!object) break;
                // The car's next attempts fail for 2 s after its link drops.
                for (const auto& [adapter, each] : car.objects) mock.setConnectMode(each.device, QStringLiteral("fail"));
                mock.disconnectRemote(object->device);
                runUntil([] { return false; }, 2000);
                for (const auto& [adapter, each] : car.objects) mock.setConnectMode(each.device, QStringLiteral("ok"));
                return "car " + std::to_string(car.id) + " dropped its link and refused to connect for 2 s";
        }
        return "nothing (the car chosen had no link)";
    }

private:
    Rig rig_;
    std::mt19937_64 random_;
    std::map<QString, bool> powered_;
    int rssiStep_ = 0;
    int strangers_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    SystemLog::setEchoToStandardError(false);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 3.0;
    const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : std::random_device{}();
    std::printf("soak: %d cars on 3 adapters of %d links, %.1f min, seed %llu\n", kCarsInSoak, kLinksPerAdapter,
                minutes, static_cast<unsigned long long>(seed));
    std::fflush(stdout);

    MockBluez mock;
    Soak soak(mock, seed);
    const double start = now();
    if (soak.rig().connectAll(30000) < 0 && !runUntil([&] { return soak.allDrive(); }, 30000, 200)) {
        std::printf("FAILED: not every car drove after Connect (seed %llu)\n", static_cast<unsigned long long>(seed));
        return 1;
    }
    const long rssStart = load::residentKilobytes();
    const long filesStart = openFiles();
    int faults = 0;
    double worstRecovery = 0;
    while (now() - start < minutes * 60) {
        const std::string what = soak.fault();
        ++faults;
        const double faulted = now();
        if (!runUntil([&] { return soak.allDrive(); }, kRecoverMs, 200)) {
            std::printf("FAILED after fault %d (%s): not every car drove within %d s (seed %llu)\n", faults,
                        what.c_str(), kRecoverMs / 1000, static_cast<unsigned long long>(seed));
            return 1;
        }
        worstRecovery = std::max(worstRecovery, now() - faulted);
        if (const std::string broken = soak.brokenInvariant(); !broken.empty()) {
            std::printf("FAILED after fault %d (%s): %s (seed %llu)\n", faults, what.c_str(), broken.c_str(),
                        static_cast<unsigned long long>(seed));
            return 1;
        }
        runUntil([] { return false; }, 1000);  // a second of driving between faults
    }
    const long rssEnd = load::residentKilobytes();
    const long filesEnd = openFiles();
    std::printf("soak: %d faults, every car driving again within %.2f s at worst; VmRSS %ld -> %ld kB, "
                "open files %ld -> %ld\n",
                faults, worstRecovery, rssStart, rssEnd, filesStart, filesEnd);
    if (filesEnd > filesStart + 8 || rssEnd > rssStart + rssStart / 4) {
        std::printf("FAILED: memory or open files grew (seed %llu)\n", static_cast<unsigned long long>(seed));
        return 1;
    }
    return 0;
}
