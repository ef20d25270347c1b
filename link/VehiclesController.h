// Finds the vehicles and keeps the list of those the program knows: owns the
// central, scans for the vehicle service, makes a Vehicle for every new
// identifier, connects it, and drops it when its connection fails or ends.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "link/AtomicRef.h"
#include "link/LinkHealth.h"

class Vehicle;

using VehicleList = std::vector<std::shared_ptr<Vehicle>>;

class VehiclesController : public ble::CentralDelegate,
                           public std::enable_shared_from_this<VehiclesController> {
  public:
    // The caller chooses the radio; nothing touches it until beginScan().
    explicit VehiclesController(ble::CentralFactory centralFactory);
    ~VehiclesController() override;

    void beginScan();
    // The radio of the next beginScan(). The current central stops scanning
    // and is kept, so the vehicles on the radio left behind stay listed until
    // their links end.
    void setCentralFactory(ble::CentralFactory centralFactory);
    void stopScan();
    std::shared_ptr<Vehicle> findVehicleAttachedToPeripheral(
        const ble::Peripheral& peripheral) const;
    std::shared_ptr<Vehicle> findVehicleById(uint32_t identifier) const;
    void vehicleWasDisconnected(const Vehicle& vehicle);

    // Which vehicles heard are listed and connected: those the filter takes
    // (by identifier, model and advertised name); every one without a filter.
    // A program that drives some cars leaves the others to other programs.
    using ConnectFilter = std::function<bool(uint32_t identifier, uint16_t model, const std::string& name)>;
    void setConnectFilter(ConnectFilter filter) { connectFilter_ = std::move(filter); }
    // Why the radio ended the link of the vehicle with that identifier last
    // (the radio's words); empty when none ended.
    std::string linkEndOf(uint32_t identifier) const;

    // The clock of the vehicles' link health, for those found from now on.
    void setHealthClock(HealthClock clock) { healthClock_ = std::move(clock); }

    // The live list itself, never null.
    std::shared_ptr<VehicleList> vehicles() const { return vehicles_.load(); }
    // A null list is taken as an empty one.
    void setVehicles(std::shared_ptr<VehicleList> list);

    // ble::CentralDelegate
    void centralManagerDidUpdateState(ble::Central& central) override;
    void didConnectPeripheral(ble::Central& central, ble::Peripheral& peripheral) override;
    void didDisconnectPeripheral(ble::Central& central, ble::Peripheral& peripheral,
                                 const ble::Error* error) override;
    void didFailToConnectPeripheral(ble::Central& central, ble::Peripheral& peripheral,
                                    const ble::Error* error) override;
    void didDiscoverPeripheral(ble::Central& central,
                               const std::shared_ptr<ble::Peripheral>& peripheral,
                               const ble::AdvertisementData& advertisementData, int rssi) override;
    void didRetrievePeripherals(ble::Central& central,
                                const std::vector<std::shared_ptr<ble::Peripheral>>& list) override;

  private:
    void removeVehicle(const Vehicle& vehicle);
    void heardFrom(Vehicle& vehicle, const ble::Peripheral& peripheral,
                   const ble::AdvertisementData& advertisement, int rssi);
    // A central of a radio left behind by setCentralFactory().
    bool isRetired(const ble::Central& central) const;
    void endLink(ble::Peripheral& peripheral, const char* what, const ble::Error* error);

    ble::CentralFactory centralFactory_;
    std::shared_ptr<ble::Central> manager_;
    std::vector<std::shared_ptr<ble::Central>> retired_;
    AtomicRef<VehicleList> vehicles_;
    HealthClock healthClock_ = steadyHealthClock();
    ConnectFilter connectFilter_;
    std::map<uint32_t, std::string> linkEnds_;  // at most 1024
};
