// A vehicle attached to a recording peripheral, with the vehicle service and
// helpers that deliver the peripheral's events.
#pragma once

#include <memory>
#include <vector>

#include "ble/Bluetooth.h"
#include "fakes/FakePeripheral.h"
#include "link/Vehicle.h"
#include "tests/support/LogRecorder.h"

namespace vehicle_fixture {

inline const ble::Uuid kService = ble::Uuid::fromString("BE15BEEF-6186-407E-8381-0BD89C4D8DF4");
inline const ble::Uuid kRead = ble::Uuid::fromString("BE15BEE0-6186-407E-8381-0BD89C4D8DF4");
inline const ble::Uuid kWrite = ble::Uuid::fromString("BE15BEE1-6186-407E-8381-0BD89C4D8DF4");
inline const ble::Uuid kOther = ble::Uuid::fromString("0000180A-0000-1000-8000-00805F9B34FB");

inline std::shared_ptr<ble::Characteristic> characteristic(const ble::Uuid& uuid) {
    return std::make_shared<ble::Characteristic>(uuid);
}

inline std::shared_ptr<ble::Service> service(
    const ble::Uuid& uuid, std::vector<std::shared_ptr<ble::Characteristic>> characteristics) {
    auto result = std::make_shared<ble::Service>(uuid);
    result->setCharacteristics(std::move(characteristics));
    return result;
}

}  // namespace vehicle_fixture

class VehicleFixture {
public:
    VehicleFixture() {
        vehicle->setPeripheral(peripheral);
        peripheral->setDelegate(vehicle);
    }

    // Reports a characteristic discovery of `service` and forgets the lines and
    // requests it caused, leaving a vehicle in the driving stage.
    void discover(const std::shared_ptr<ble::Service>& discovered) {
        vehicle->didDiscoverCharacteristicsForService(*peripheral, *discovered, nullptr);
    }
    void discoverVehicleService() {
        discover(vehicle_fixture::service(vehicle_fixture::kService, {read, write}));
        peripheral->writes.clear();
        peripheral->notifyRequests.clear();
        log.clear();
    }
    // Delivers a notified value on the read characteristic.
    void notify(std::vector<uint8_t> value) {
        read->setValue(std::move(value));
        vehicle->didUpdateValueForCharacteristic(*peripheral, *read, nullptr);
    }

    LogRecorder log;
    std::shared_ptr<fakes::FakePeripheral> peripheral = std::make_shared<fakes::FakePeripheral>();
    std::shared_ptr<Vehicle> vehicle = std::make_shared<Vehicle>();
    std::shared_ptr<ble::Characteristic> read = vehicle_fixture::characteristic(vehicle_fixture::kRead);
    std::shared_ptr<ble::Characteristic> write =
        vehicle_fixture::characteristic(vehicle_fixture::kWrite);
};
