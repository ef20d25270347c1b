// One hour of loop time in worlds of a few to a few hundred vehicles: a central
// that only scans, and one that connects every vehicle, subscribes and drives
// it while scanning goes on. Reports the events delivered per wall-clock second.
#include <benchmark/benchmark.h>

#include <set>

#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"

namespace {

using namespace std::chrono_literals;

const ble::Uuid kService = ble::Uuid::fromString("BE15BEEF-6186-407E-8381-0BD89C4D8DF4");
const ble::Uuid kRead = ble::Uuid::fromString("BE15BEE0-6186-407E-8381-0BD89C4D8DF4");
const ble::Uuid kWrite = ble::Uuid::fromString("BE15BEE1-6186-407E-8381-0BD89C4D8DF4");

// Connects each new peripheral once and carries it to driving, as the
// vehicle link does, counting what arrives.
class Driver : public ble::CentralDelegate,
               public ble::PeripheralDelegate,
               public std::enable_shared_from_this<Driver> {
  public:
    bool connect = false;
    std::size_t events = 0;
    std::shared_ptr<ble::Central> central;

    void centralManagerDidUpdateState(ble::Central&) override {
        ++events;
        central->scanForPeripheralsWithServices({kService});
    }
    void didDiscoverPeripheral(ble::Central& c, const std::shared_ptr<ble::Peripheral>& p,
                               const ble::AdvertisementData&, int) override {
        ++events;
        if (connect && known_.insert(p.get()).second) {
            p->setDelegate(weak_from_this());
            c.connectPeripheral(p);
        }
    }
    void didConnectPeripheral(ble::Central&, ble::Peripheral& p) override {
        ++events;
        p.discoverServices({});
    }
    void didDiscoverServices(ble::Peripheral& p, const ble::Error*) override {
        ++events;
        p.discoverCharacteristicsForService({}, p.services().at(0));
    }
    void didDiscoverCharacteristicsForService(ble::Peripheral& p, ble::Service& s,
                                              const ble::Error*) override {
        ++events;
        std::shared_ptr<ble::Characteristic> read, write;
        for (const auto& c : s.characteristics()) {
            if (c->uuid() == kRead) read = c;
            if (c->uuid() == kWrite) write = c;
        }
        p.setNotifyValueForCharacteristic(true, read);
        p.writeValueForCharacteristic({0x03, 0x90, 0x01, 0x01}, write,
                                      ble::WriteType::WithoutResponse);
        p.writeValueForCharacteristic({0x01, 0x18}, write, ble::WriteType::WithoutResponse);
        p.writeValueForCharacteristic({0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00}, write,
                                      ble::WriteType::WithoutResponse);
    }
    void didUpdateValueForCharacteristic(ble::Peripheral&, ble::Characteristic& c,
                                         const ble::Error*) override {
        events += c.value().empty() ? 0 : 1;
    }

  private:
    std::set<ble::Peripheral*> known_;
};

void runHour(benchmark::State& state, bool connect) {
    const auto vehicles = static_cast<uint32_t>(state.range(0));
    std::size_t events = 0;
    for (auto _ : state) {
        ble::ManualEventLoop loop;
        ble::sim::World world(loop);
        for (uint32_t i = 0; i < vehicles; ++i) {
            world.addVehicle({.model = static_cast<uint8_t>(9 + i % 3), .identifier = 0x10000 + i});
        }
        auto driver = std::make_shared<Driver>();
        driver->connect = connect;
        driver->central = world.centralFactory()(driver);
        loop.advance(std::chrono::hours(1));
        events += driver->events;
        benchmark::DoNotOptimize(driver->events);
    }
    state.counters["events"] = benchmark::Counter(static_cast<double>(events) / state.iterations());
    state.counters["events/s"] =
        benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
}

void BM_ScanOneHour(benchmark::State& state) { runHour(state, false); }
void BM_DriveOneHour(benchmark::State& state) { runHour(state, true); }

BENCHMARK(BM_ScanOneHour)->Arg(3)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DriveOneHour)->Arg(3)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
