// The driver's side of the broker radio: one broker session shared by the
// centrals it makes, the cars of every relay, and the heartbeat that tells a
// relay this driver is still there while it holds cars. A relay that goes
// offline, or the broker going away, ends every link it carried as a lost
// link.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"
#include "ble/mqtt/BadInputLog.h"
#include "ble/mqtt/BrokerClient.h"
#include "ble/mqtt/Rules.h"
#include "ble/mqtt/Wire.h"

namespace ble::mqtt {

class RemoteCentral;
class RemotePeripheral;

class DriverHub : public std::enable_shared_from_this<DriverHub> {
public:
    DriverHub(EventLoop& loop, BrokerAddress address, DriverRules rules);
    ~DriverHub();

    // Calls `done` once, from the loop: empty when the session stands, else why not.
    void start(std::function<void(const std::string& problem)> done);
    CentralFactory centralFactory();
    const std::string& driverId() const { return driverId_; }

    // From the centrals and peripherals.
    EventLoop& loop() { return loop_; }
    const DriverRules& rules() const { return rules_; }
    bool up() const { return client_ && client_->connected(); }
    void forget(RemoteCentral* central);
    void connect(const std::shared_ptr<RemotePeripheral>& car, const std::shared_ptr<RemoteCentral>& central);
    void send(const std::string& relay, const wire::Request& request, int expirySeconds = 0);
    // Ends the car's link and reports it to its holder as lost (or failed).
    void endLink(RemotePeripheral& car, const char* why);

private:
    void received(std::string_view topic, std::string_view payload);
    void advertised(const std::string& relay, const wire::Advert& advert);
    void answered(const std::string& relay, const wire::Answer& answer);
    void relayGone(const std::string& relay);
    void powerChanged();
    void beat();
    std::vector<std::shared_ptr<RemoteCentral>> centrals();

    EventLoop& loop_;
    BrokerAddress address_;
    DriverRules rules_;
    std::string driverId_;
    std::unique_ptr<BrokerClient> client_;
    std::vector<std::weak_ptr<RemoteCentral>> centrals_;
    std::map<std::pair<std::string, std::string>, std::shared_ptr<RemotePeripheral>> cars_;
    BadInputLog badInput_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ble::mqtt
