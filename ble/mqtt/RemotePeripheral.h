// A car that a relay offers, as the driver's side sees it: the same object in
// every event, its requests sent to the relay and their answers delivered to
// its delegate. After its link ends the requests do nothing but report an
// error where the platform would.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/mqtt/Wire.h"

namespace ble::mqtt {

class DriverHub;
class RemoteCentral;

class RemotePeripheral final : public Peripheral, public std::enable_shared_from_this<RemotePeripheral> {
public:
    RemotePeripheral(std::weak_ptr<DriverHub> hub, std::string relay, std::string car);

    std::string name() const override { return name_; }
    std::string identifier() const override { return relay_ + "/" + car_; }
    std::vector<std::shared_ptr<Service>> services() const override { return services_; }
    std::string adapterName() const override { return relay_; }

    void discoverServices(const std::vector<Uuid>& filter) override;
    void discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                           const std::shared_ptr<Service>& service) override;
    void setNotifyValueForCharacteristic(bool enabled, const std::shared_ptr<Characteristic>& characteristic) override;
    void writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                     const std::shared_ptr<Characteristic>& characteristic, WriteType type) override;

    // From the hub.
    const std::string& relay() const { return relay_; }
    const std::string& car() const { return car_; }
    void setName(std::string name) { name_ = std::move(name); }
    enum class Link { None, Connecting, Up };
    Link link() const { return link_; }
    void setLink(Link link);
    std::weak_ptr<RemoteCentral> holder;
    void answered(const wire::Answer& answer);

private:
    std::shared_ptr<Characteristic> characteristic(const Uuid& uuid) const;
    std::shared_ptr<Service> service(const Uuid& uuid) const;
    void send(wire::Request request, int expirySeconds = 0);
    // Reports an error for a request made without a link, from a later turn.
    void refuseLater(std::shared_ptr<Characteristic> characteristic, bool write);

    std::weak_ptr<DriverHub> hub_;
    std::string relay_, car_, name_;
    Link link_ = Link::None;
    std::vector<std::shared_ptr<Service>> services_;
    std::vector<Uuid> serviceFilter_;
    std::vector<std::pair<Uuid, std::vector<Uuid>>> characteristicFilters_;
    std::set<std::string> stopsHanded_;  // characteristics whose stop frames the relay has, this link
};

}  // namespace ble::mqtt
