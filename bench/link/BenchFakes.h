// A peripheral and a central that do as little as possible: the peripheral
// copies each write into a buffer allocated once, the central ignores requests.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>

#include "ble/Bluetooth.h"

class BenchPeripheral : public ble::Peripheral {
public:
    std::string name() const override { return "Bench"; }
    std::string identifier() const override { return "00:00:00:00:00:00"; }
    std::vector<std::shared_ptr<ble::Service>> services() const override { return {}; }
    void discoverServices(const std::vector<ble::Uuid>&) override {}
    void discoverCharacteristicsForService(const std::vector<ble::Uuid>&,
                                           const std::shared_ptr<ble::Service>&) override {}
    void setNotifyValueForCharacteristic(bool, const std::shared_ptr<ble::Characteristic>&) override {}
    void writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                     const std::shared_ptr<ble::Characteristic>&,
                                     ble::WriteType) override {
        lastLength = std::min(data.size(), last.size());
        std::memcpy(last.data(), data.data(), lastLength);
        ++writes;
    }

    std::array<uint8_t, 20> last{};
    size_t lastLength = 0;
    uint64_t writes = 0;
};

class BenchCentral : public ble::Central {
public:
    ble::CentralState state() const override { return ble::CentralState::PoweredOn; }
    void scanForPeripheralsWithServices(const std::vector<ble::Uuid>&) override {}
    void stopScan() override {}
    void connectPeripheral(const std::shared_ptr<ble::Peripheral>&) override { ++connects; }
    uint64_t connects = 0;
};
