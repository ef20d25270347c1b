// The registry as a state machine: the fuzzer's bytes choose a sequence of
// radio events and user calls (advertisements with any manufacturer data from
// a few peripherals, connections, failures, disconnections, discoveries,
// notifications, Connect pressed again, commands), delivered as a radio
// delivers them: to the peripheral's event receiver of that moment, through
// the current central or a replaced one. After every step the registry holds
// one vehicle per identifier and per peripheral, each its peripheral's event
// receiver; and nothing is ever written to a peripheral no listed vehicle holds.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

constexpr std::size_t kPeripherals = 4;

const ble::Uuid kService = ble::Uuid::fromString("BE15BEEF-6186-407E-8381-0BD89C4D8DF4");
const ble::Uuid kRead = ble::Uuid::fromString("BE15BEE0-6186-407E-8381-0BD89C4D8DF4");
const ble::Uuid kWrite = ble::Uuid::fromString("BE15BEE1-6186-407E-8381-0BD89C4D8DF4");

class Bytes {
public:
    Bytes(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Aborts on any write to a peripheral that no listed vehicle holds.
class WatchedPeripheral : public ble::Peripheral {
public:
    explicit WatchedPeripheral(const VehiclesController* controller) : controller_(controller) {
        auto service = std::make_shared<ble::Service>(kService);
        service->setCharacteristics({std::make_shared<ble::Characteristic>(kRead),
                                     std::make_shared<ble::Characteristic>(kWrite)});
        services_ = {service};
    }
    std::string name() const override { return "Watched\n\x1b[2J"; }
    std::string identifier() const override { return "00:00:00:00:00:00"; }
    std::vector<std::shared_ptr<ble::Service>> services() const override { return services_; }
    void discoverServices(const std::vector<ble::Uuid>&) override {}
    void discoverCharacteristicsForService(const std::vector<ble::Uuid>&,
                                           const std::shared_ptr<ble::Service>&) override {}
    void setNotifyValueForCharacteristic(bool, const std::shared_ptr<ble::Characteristic>&) override {}
    void writeValueForCharacteristic(const std::vector<uint8_t>&,
                                     const std::shared_ptr<ble::Characteristic>&,
                                     ble::WriteType) override {
        if (controller_->findVehicleAttachedToPeripheral(*this) == nullptr) std::abort();
    }
    const std::shared_ptr<ble::Service>& service() const { return services_.front(); }

private:
    const VehiclesController* controller_;
    std::vector<std::shared_ptr<ble::Service>> services_;
};

class ScriptedCentral : public ble::Central {
public:
    ble::CentralState state() const override { return ble::CentralState::PoweredOn; }
    void scanForPeripheralsWithServices(const std::vector<ble::Uuid>&) override {}
    void stopScan() override {}
    void connectPeripheral(const std::shared_ptr<ble::Peripheral>&) override {}
};

void checkRegistry(const VehiclesController& controller) {
    std::set<uint32_t> ids;
    std::set<const ble::Peripheral*> peripherals;
    for (const auto& vehicle : *controller.vehicles()) {
        const auto peripheral = vehicle->peripheral();
        if (!ids.insert(vehicle->identifier()).second) std::abort();
        if (peripheral == nullptr || !peripherals.insert(peripheral.get()).second) std::abort();
        if (peripheral->delegate() != vehicle) std::abort();
    }
}

std::vector<uint8_t> manufacturerData(Bytes& in) {
    const uint8_t shape = in.next();
    if (shape < 192) {  // a vehicle, from a small set of identifiers so that they collide
        const uint8_t id = in.next() % 6;
        return {0xBE, 0xEF, 0x00, static_cast<uint8_t>(9 + shape % 11), 0, 0, 0, id};
    }
    std::vector<uint8_t> raw(in.next() % 12);
    for (auto& b : raw) b = in.next();
    return raw;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    std::vector<std::shared_ptr<ScriptedCentral>> centrals;
    auto controller = std::make_shared<VehiclesController>([&centrals](std::weak_ptr<ble::CentralDelegate>) {
        centrals.push_back(std::make_shared<ScriptedCentral>());
        return centrals.back();
    });
    std::array<std::shared_ptr<WatchedPeripheral>, kPeripherals> peripherals;
    for (auto& p : peripherals) p = std::make_shared<WatchedPeripheral>(controller.get());
    controller->beginScan();

    const ble::Error error("link lost\r\n");
    while (!in.empty()) {
        const uint8_t op = in.next();
        const auto& p = peripherals[in.next() % kPeripherals];
        // Events come through the current central or, late, a replaced one.
        ble::Central& central = *centrals[centrals.size() - 1 - in.next() % centrals.size()];
        // Peripheral events go to the receiver of the moment, as a radio sends them.
        const auto receiver = p->delegate();
        const ble::Error* maybeError = in.next() % 4 == 0 ? &error : nullptr;
        switch (op % 12) {
            case 0:
            case 1: {
                ble::AdvertisementData advertisement;
                advertisement.manufacturerData = manufacturerData(in);
                controller->didDiscoverPeripheral(central, p, advertisement, 0);
                break;
            }
            case 2: controller->didConnectPeripheral(central, *p); break;
            case 3: controller->didFailToConnectPeripheral(central, *p, maybeError); break;
            case 4: controller->didDisconnectPeripheral(central, *p, maybeError); break;
            case 5: controller->beginScan(); break;
            case 6:
                if (receiver) receiver->didDiscoverServices(*p, maybeError);
                break;
            case 7:
                if (receiver) receiver->didDiscoverCharacteristicsForService(*p, *p->service(), maybeError);
                break;
            case 8:
                if (receiver) {
                    auto& characteristic = *p->service()->characteristics()[in.next() % 2];
                    std::vector<uint8_t> value(in.next() % 24);
                    for (auto& b : value) b = in.next();
                    characteristic.setValue(std::move(value));
                    receiver->didUpdateValueForCharacteristic(*p, characteristic, maybeError);
                }
                break;
            case 9:
                if (receiver) {
                    auto& characteristic = *p->service()->characteristics()[in.next() % 2];
                    receiver->didWriteValueForCharacteristic(*p, characteristic, maybeError);
                    receiver->didUpdateNotificationStateForCharacteristic(*p, characteristic, maybeError);
                }
                break;
            case 10:
                if (const auto vehicle = controller->findVehicleById(in.next() % 6)) {
                    const float value = static_cast<float>(static_cast<int8_t>(in.next())) * 9.5f;
                    switch (in.next() % 4) {
                        case 0: vehicle->setSpeed(value); break;
                        case 1: vehicle->changeLaneAndSpeed(value, static_cast<uint16_t>(in.next() << 8 | in.next())); break;
                        case 2: vehicle->setLaneOffset(value); break;
                        case 3: vehicle->spin180(); break;
                    }
                }
                break;
            case 11: controller->stopScan(); break;
        }
        checkRegistry(*controller);
    }
    return 0;
}
