// Quiet stand-ins for the fuzz targets of the link: a peripheral and a
// central that count the requests they get, and an observer keeping the
// last log lines.
#pragma once

#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "link/SystemLog.h"

namespace link_fuzz {

class CountingPeripheral : public ble::Peripheral {
public:
    std::string name() const override { return "Fuzz"; }
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
    void writeValueForCharacteristic(const std::vector<uint8_t>&,
                                     const std::shared_ptr<ble::Characteristic>&,
                                     ble::WriteType) override {
        ++requests;
    }
    int requests = 0;
};

class CountingCentral : public ble::Central {
public:
    ble::CentralState state() const override { return ble::CentralState::PoweredOn; }
    void scanForPeripheralsWithServices(const std::vector<ble::Uuid>&) override {}
    void stopScan() override {}
    void connectPeripheral(const std::shared_ptr<ble::Peripheral>&) override { ++connects; }
    int connects = 0;
};

class Lines : public LogObserver {
public:
    Lines() { SystemLog::addObserver(this); }
    ~Lines() override { SystemLog::removeObserver(this); }
    void logLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

inline void quietLog() {
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
}

}  // namespace link_fuzz
