// A peripheral that records every request the link makes of it and answers
// nothing by itself: tests deliver the events.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"

namespace fakes {

struct RecordedWrite {
    std::vector<uint8_t> bytes;
    std::shared_ptr<ble::Characteristic> characteristic;  // null when none was given
    ble::WriteType type;
};

struct RecordedNotify {
    bool enabled;
    std::shared_ptr<ble::Characteristic> characteristic;
};

struct RecordedCharacteristicDiscovery {
    std::vector<ble::Uuid> filter;
    std::shared_ptr<ble::Service> service;
};

class FakePeripheral : public ble::Peripheral {
public:
    explicit FakePeripheral(std::string name = "Vehicle", std::string identifier = "00:00:00:00:00:01")
        : name_(std::move(name)), identifier_(std::move(identifier)) {}

    std::string name() const override { return name_; }
    std::string identifier() const override { return identifier_; }
    std::vector<std::shared_ptr<ble::Service>> services() const override { return services_; }
    void setServices(std::vector<std::shared_ptr<ble::Service>> services) {
        services_ = std::move(services);
    }

    void discoverServices(const std::vector<ble::Uuid>& filter) override {
        serviceDiscoveries.push_back(filter);
    }
    void discoverCharacteristicsForService(const std::vector<ble::Uuid>& filter,
                                           const std::shared_ptr<ble::Service>& service) override {
        characteristicDiscoveries.push_back({filter, service});
    }
    void setNotifyValueForCharacteristic(
        bool enabled, const std::shared_ptr<ble::Characteristic>& characteristic) override {
        notifyRequests.push_back({enabled, characteristic});
    }
    void writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                     const std::shared_ptr<ble::Characteristic>& characteristic,
                                     ble::WriteType type) override {
        writes.push_back({data, characteristic, type});
    }

    std::vector<std::vector<ble::Uuid>> serviceDiscoveries;
    std::vector<RecordedCharacteristicDiscovery> characteristicDiscoveries;
    std::vector<RecordedNotify> notifyRequests;
    std::vector<RecordedWrite> writes;

private:
    std::string name_;
    std::string identifier_;
    std::vector<std::shared_ptr<ble::Service>> services_;
};

}  // namespace fakes
