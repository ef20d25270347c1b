// A vehicles controller on a recording radio and a manual event loop.
#pragma once

#include <memory>
#include <vector>

#include "ble/ManualEventLoop.h"
#include "fakes/FakeCentral.h"
#include "fakes/FakePeripheral.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "tests/support/LogRecorder.h"

class ControllerFixture {
public:
    // Manufacturer data of a vehicle: product id BE EF, reserved, model, id.
    static std::vector<uint8_t> mfgData(uint8_t model, uint32_t id, uint16_t product = 0xBEEF) {
        return {static_cast<uint8_t>(product >> 8), static_cast<uint8_t>(product), 0x00, model,
                static_cast<uint8_t>(id >> 24),     static_cast<uint8_t>(id >> 16),
                static_cast<uint8_t>(id >> 8),      static_cast<uint8_t>(id)};
    }
    static ble::AdvertisementData advertisement(std::optional<std::vector<uint8_t>> data) {
        ble::AdvertisementData adv;
        adv.manufacturerData = std::move(data);
        return adv;
    }

    // Starts scanning and delivers the new central's state report.
    fakes::FakeCentral& scan() {
        controller->beginScan();
        loop.runUntilIdle();
        return *radio.centrals.back();
    }

    std::shared_ptr<fakes::FakePeripheral> peripheral(const std::string& name = "Vehicle") {
        return std::make_shared<fakes::FakePeripheral>(name, "00:00:00:00:00:" + name);
    }

    // Reports an advertisement on the newest central.
    void advertise(const std::shared_ptr<ble::Peripheral>& p, std::optional<std::vector<uint8_t>> data) {
        controller->didDiscoverPeripheral(*radio.centrals.back(), p, advertisement(std::move(data)),
                                          -50);
    }

    size_t listed() const { return controller->vehicles()->size(); }

    LogRecorder log;
    ble::ManualEventLoop loop;
    fakes::FakeRadio radio{loop};
    std::shared_ptr<VehiclesController> controller =
        std::make_shared<VehiclesController>(radio.factory());
};
