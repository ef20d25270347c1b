// A peripheral and a central that do as little as possible, for benches and
// fuzz targets: they count the requests they get, and the peripheral copies
// each write into a buffer of its own, allocated once.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "ble/Bluetooth.h"

class QuietPeripheral : public ble::Peripheral {
public:
    std::string name() const override { return "Quiet"; }
    std::string identifier() const override { return "00:00:00:00:00:00"; }
    std::vector<std::shared_ptr<ble::Service>> services() const override { return {}; }
    void discoverServices(const std::vector<ble::Uuid>&) override { ++requests; }
    void discoverCharacteristicsForService(const std::vector<ble::Uuid>&,
                                           const std::shared_ptr<ble::Service>&) override {
        ++requests;
    }
    void setNotifyValueForCharacteristic(bool, const std::shared_ptr<ble::Characteristic>&) override {
        ++requests;
    }
    void writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                     const std::shared_ptr<ble::Characteristic>&,
                                     ble::WriteType) override {
        ++requests;
        lastLength = std::min(data.size(), last.size());
        std::memcpy(last.data(), data.data(), lastLength);
    }

    uint64_t requests = 0;
    std::array<uint8_t, 20> last{};
    size_t lastLength = 0;
};

class QuietCentral : public ble::Central {
public:
    ble::CentralState state() const override { return ble::CentralState::PoweredOn; }
    void scanForPeripheralsWithServices(const std::vector<ble::Uuid>&) override {}
    void stopScan() override {}
    void connectPeripheral(const std::shared_ptr<ble::Peripheral>&) override { ++connects; }
    uint64_t connects = 0;
};
