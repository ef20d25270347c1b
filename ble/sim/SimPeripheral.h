// A virtual vehicle as one central sees it. Each central has exactly one such
// object per vehicle, reported in every event. It carries the link: while
// connected, its GATT requests reach the vehicle and their outcomes come back
// to its delegate after a short latency; after the link ends they do nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/sim/World.h"

namespace ble::sim {

class SimCentral;
class SimVehicle;
struct WorldCore;

class SimPeripheral final : public Peripheral, public std::enable_shared_from_this<SimPeripheral> {
  public:
    SimPeripheral(std::weak_ptr<WorldCore> world, std::weak_ptr<SimCentral> central,
                  const SimCentral* owner, std::weak_ptr<SimVehicle> vehicle, std::string name,
                  std::string identifier);

    std::string name() const override { return name_; }
    std::string identifier() const override { return identifier_; }
    std::vector<std::shared_ptr<Service>> services() const override { return services_; }

    void discoverServices(const std::vector<Uuid>& filter) override;
    void discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                           const std::shared_ptr<Service>& service) override;
    void setNotifyValueForCharacteristic(
        bool enabled, const std::shared_ptr<Characteristic>& characteristic) override;
    void writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                     const std::shared_ptr<Characteristic>& characteristic,
                                     WriteType type) override;

    // The link, as the central and the vehicle drive it.
    const SimCentral* owner() const { return owner_; }
    std::shared_ptr<SimVehicle> vehicle() const;
    bool connected() const { return connected_; }
    bool connecting() const { return connecting_; }
    void setConnecting(bool connecting) { connecting_ = connecting; }
    bool notifying() const { return connected_ && notifying_; }
    uint64_t link() const { return link_; }
    // Starts a new link: nothing discovered yet, nothing subscribed.
    void linkUp();
    // Ends the link and reports it to the central's delegate.
    void dropLink(const Error& error);
    // Ends the link after the usual latency, if it still stands then.
    void dropLinkSoon(Error error);
    // Ends the link without a report: its central is gone.
    void endLinkSilently();
    // The link carries on under another central, which reports its events
    // from now on.
    void handOver(std::weak_ptr<SimCentral> central, const SimCentral* owner);
    // Sends a value on the read characteristic, if notifications are on.
    void postNotification(std::vector<uint8_t> value);

  private:
    using Operation = std::function<void(SimPeripheral&, SimVehicle&)>;
    // Runs `operation` after a GATT latency if this same link still stands.
    void postOperation(Operation operation);
    bool owns(const Service* service) const;
    bool owns(const Characteristic* characteristic) const;
    // Drops the link if the vehicle is set to drop at `stage`.
    void afterStage(Stage stage, SimVehicle& vehicle);

    void finishDiscoverServices(SimVehicle& vehicle, const std::vector<Uuid>& filter);
    void finishDiscoverCharacteristics(SimVehicle& vehicle, const std::vector<Uuid>& filter,
                                       const std::shared_ptr<Service>& service);
    void finishSetNotify(SimVehicle& vehicle, bool enabled,
                         const std::shared_ptr<Characteristic>& characteristic);
    void finishWrite(SimVehicle& vehicle, const std::vector<uint8_t>& data,
                     const std::shared_ptr<Characteristic>& characteristic, WriteType type);
    void finishNotification(SimVehicle& vehicle, std::vector<uint8_t> value);

    std::weak_ptr<WorldCore> world_;
    std::weak_ptr<SimCentral> central_;
    const SimCentral* owner_;  // identity only, never dereferenced
    std::weak_ptr<SimVehicle> vehicle_;
    std::string name_;
    std::string identifier_;
    std::vector<std::shared_ptr<Service>> services_;
    std::shared_ptr<Characteristic> subscribed_;
    bool connected_ = false;
    bool connecting_ = false;
    bool notifying_ = false;
    uint64_t link_ = 0;
};

}  // namespace ble::sim
