#include <benchmark/benchmark.h>

#include "tests/support/QuietFakes.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

const ble::Uuid kRead = ble::Uuid::fromString("BE15BEE0-6186-407E-8381-0BD89C4D8DF4");
const ble::Uuid kWrite = ble::Uuid::fromString("BE15BEE1-6186-407E-8381-0BD89C4D8DF4");

// Lines still go to observers; these benches measure the link, so the echo
// and the system log stay off unless a bench turns them on.
class QuietLog {
public:
    explicit QuietLog(bool systemLog = false) { SystemLog::setSendToSystemLog(systemLog); }
    ~QuietLog() { SystemLog::setSendToSystemLog(false); }
};

struct AttachedVehicle {
    AttachedVehicle() {
        vehicle->setPeripheral(peripheral);
        vehicle->setWriteChannel(std::make_shared<ble::Characteristic>(kWrite));
        vehicle->setReadChannel(read);
        peripheral->setDelegate(vehicle);
    }
    std::shared_ptr<QuietPeripheral> peripheral = std::make_shared<QuietPeripheral>();
    std::shared_ptr<Vehicle> vehicle = std::make_shared<Vehicle>();
    std::shared_ptr<ble::Characteristic> read = std::make_shared<ble::Characteristic>(kRead);
};

void notify(benchmark::State& state, std::vector<uint8_t> value, bool systemLog) {
    QuietLog quiet(systemLog);
    AttachedVehicle a;
    a.read->setValue(std::move(value));
    for (auto _ : state) {
        a.vehicle->didUpdateValueForCharacteristic(*a.peripheral, *a.read, nullptr);
    }
}

// Decoded and logged ("Version response 0x1234\n").
void BM_NotifyVersionResponse(benchmark::State& state) {
    notify(state, {0x03, 0x19, 0x34, 0x12}, false);
}
BENCHMARK(BM_NotifyVersionResponse);

// The same with the line sent to syslog(3) as well.
void BM_NotifyVersionResponseToSystemLog(benchmark::State& state) {
    notify(state, {0x03, 0x19, 0x34, 0x12}, true);
}
BENCHMARK(BM_NotifyVersionResponseToSystemLog);

// Decoded, copied, not logged: the common report of a driving vehicle.
void BM_NotifyReport27(benchmark::State& state) {
    notify(state, {0x0a, 0x27, 1, 2, 0, 0, 0xB8, 0xC1, 0xF4, 0x01, 0}, false);
}
BENCHMARK(BM_NotifyReport27);

void BM_CommandSetSpeed(benchmark::State& state) {
    AttachedVehicle a;
    float speed = 300.0f;
    for (auto _ : state) {
        a.vehicle->setSpeed(speed);
        benchmark::DoNotOptimize(a.peripheral->last);
    }
    state.counters["writes"] = static_cast<double>(a.peripheral->requests);
}
BENCHMARK(BM_CommandSetSpeed);

void BM_CommandChangeLane(benchmark::State& state) {
    AttachedVehicle a;
    for (auto _ : state) {
        a.vehicle->changeLaneAndSpeed(-23.5f, 400);
        benchmark::DoNotOptimize(a.peripheral->last);
    }
}
BENCHMARK(BM_CommandChangeLane);

constexpr uint32_t kFirstId = 0x70000000;

// A controller with `count` listed vehicles, each on its own peripheral.
struct Registry {
    explicit Registry(int64_t count)
        : controller(std::make_shared<VehiclesController>(
              [this](std::weak_ptr<ble::CentralDelegate>) { return central; })) {
        auto list = std::make_shared<VehicleList>();
        for (int64_t i = 0; i < count; ++i) {
            auto vehicle = std::make_shared<Vehicle>();
            vehicle->setIdentifier(kFirstId + static_cast<uint32_t>(i));
            vehicle->setModelIdentifier(9);
            vehicle->setPeripheral(std::make_shared<QuietPeripheral>());
            list->push_back(vehicle);
        }
        controller->setVehicles(list);
        controller->beginScan();
    }
    static ble::AdvertisementData advertisement(uint32_t id) {
        ble::AdvertisementData data;
        data.manufacturerData = std::vector<uint8_t>{
            0xBE, 0xEF, 0x00, 0x09, static_cast<uint8_t>(id >> 24), static_cast<uint8_t>(id >> 16),
            static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
        return data;
    }
    std::shared_ptr<QuietCentral> central = std::make_shared<QuietCentral>();
    std::shared_ptr<VehiclesController> controller;
};

// The last listed vehicle: the whole list is walked.
void BM_FindVehicleById(benchmark::State& state) {
    Registry registry(state.range(0));
    const uint32_t last = kFirstId + static_cast<uint32_t>(state.range(0) - 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(registry.controller->findVehicleById(last));
    }
}
BENCHMARK(BM_FindVehicleById)->Arg(3)->Arg(100)->Arg(1000);

// An advertisement of the last listed vehicle: decoded, looked up, ignored.
void BM_DiscoverListedVehicle(benchmark::State& state) {
    QuietLog quiet;
    Registry registry(state.range(0));
    const auto peripheral = std::make_shared<QuietPeripheral>();
    const auto advertisement =
        Registry::advertisement(kFirstId + static_cast<uint32_t>(state.range(0) - 1));
    for (auto _ : state) {
        registry.controller->didDiscoverPeripheral(*registry.central, peripheral, advertisement, -50);
    }
}
BENCHMARK(BM_DiscoverListedVehicle)->Arg(3)->Arg(100)->Arg(1000);

// An advertisement of a new vehicle: decoded, looked up, logged, a Vehicle
// made, listed, attached and connected. Each iteration also removes it again
// (vehicleWasDisconnected) so the registry keeps its size.
void BM_DiscoverNewVehicleAndRemoveIt(benchmark::State& state) {
    QuietLog quiet;
    Registry registry(state.range(0));
    const auto peripheral = std::make_shared<QuietPeripheral>();
    const auto advertisement = Registry::advertisement(0x12345678);
    for (auto _ : state) {
        registry.controller->didDiscoverPeripheral(*registry.central, peripheral, advertisement, -50);
        registry.controller->vehicleWasDisconnected(*registry.controller->vehicles()->back());
    }
    state.counters["connects"] = static_cast<double>(registry.central->connects);
}
BENCHMARK(BM_DiscoverNewVehicleAndRemoveIt)->Arg(3)->Arg(100)->Arg(1000);

}  // namespace

int main(int argc, char** argv) {
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
