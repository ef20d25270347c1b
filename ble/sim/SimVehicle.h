// One virtual vehicle: what it advertises, its faults, the writes it received,
// its driving state, and the links that centrals hold to it. It answers the
// protocol on the link that asked and reports its position while it drives.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/sim/VehicleFrames.h"
#include "ble/sim/World.h"

namespace ble::sim {

class SimPeripheral;
struct WorldCore;

class SimVehicle final : public VirtualVehicle, public std::enable_shared_from_this<SimVehicle> {
  public:
    SimVehicle(std::weak_ptr<WorldCore> world, uint64_t serial, const VehicleProfile& profile);

    uint32_t identifier() const override { return identifier_; }
    uint8_t model() const override { return model_; }
    Faults& faults() override { return faults_; }
    void setManufacturerData(std::optional<std::vector<uint8_t>> data) override;
    const std::vector<RecordedWrite>& writes() const override { return writes_; }
    void clearWrites() override { writes_.clear(); }
    bool connected() const override;
    bool notifying() const override;
    uint16_t speed() const override { return speed_; }
    float offset() const override { return offset_; }
    void notify(std::vector<uint8_t> value) override;
    void triggerDelocalized() override;
    void disconnect() override;

    // Unique within its world, never reused: keys a central's peripheral.
    uint64_t serial() const { return serial_; }
    const std::string& name() const { return name_; }
    // A stable address-like text for the peripheral's identifier.
    const std::string& address() const { return address_; }
    // Shared so a report in flight keeps the data it started with.
    const std::shared_ptr<const AdvertisementData>& advertisement() const { return advertisement_; }
    int rssi(uint64_t scanRound) const;

    // Links, as the peripherals of the centrals make and end them.
    void attach(const std::shared_ptr<SimPeripheral>& link);
    void detach(const SimPeripheral* link);
    void dropAllLinks(const Error& error);
    void notificationsEnabled();
    void receiveWrite(SimPeripheral& from, const Uuid& characteristic,
                      const std::vector<uint8_t>& bytes, WriteType type);

    void markRemoved() { removed_ = true; }
    bool removed() const { return removed_; }

  private:
    void act(const frames::Command& command, SimPeripheral& from);
    void startReports();
    void reportTick();

    std::weak_ptr<WorldCore> world_;
    uint64_t serial_;
    uint32_t identifier_;
    uint8_t model_;
    uint16_t version_;
    std::string name_;
    std::string address_;
    std::shared_ptr<const AdvertisementData> advertisement_;
    Faults faults_;
    std::vector<RecordedWrite> writes_;
    std::vector<std::weak_ptr<SimPeripheral>> links_;
    uint16_t speed_ = 0;
    float offset_ = 0;
    bool reportsRunning_ = false;
    uint8_t piece_ = 0;
    bool removed_ = false;
};

}  // namespace ble::sim
