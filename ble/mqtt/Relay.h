// Offers this host's radio on a broker: advertisements out, rate-limited and
// de-duplicated; requests of drivers in, carried out on the local radio, and
// their answers and the cars' notifications back. One driver holds a car at a
// time. The relay knows no vehicle protocol: the frames that stop a car come
// from its driver, and nothing is written to a car before they are. The
// relay writes them, and tells the driver its car is lost, when that
// driver's session ends, when it is silent for a second while it holds cars,
// and when the relay loses the broker or stops. One relay of a name runs at
// a time: its retained status says which.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"
#include "ble/mqtt/BadInputLog.h"
#include "ble/mqtt/BrokerClient.h"
#include "ble/mqtt/Wire.h"

namespace ble::mqtt {

struct RelayOptions {
    std::string name;  // a wire::isToken name, unique on the broker
    BrokerAddress address;
    // Each frame written to a car; `why` is empty for a driver's frame and
    // names the reason for the relay's own stop frames.
    std::function<void(const std::string& car, const std::vector<uint8_t>& frame, const std::string& why)> wrote;
    std::function<void(const std::string& line)> log;
    // Start even while another relay of this name is online, which then leaves.
    bool takeOver = false;
    // The relay left the broker for good while running: another relay of its
    // name took over.
    std::function<void(const std::string& why)> ended;
};

class Relay final : public CentralDelegate, public PeripheralDelegate, public std::enable_shared_from_this<Relay> {
public:
    Relay(EventLoop& loop, CentralFactory radio, RelayOptions options);
    ~Relay() override;

    // Calls `done` once, from the loop: empty when the relay is on the
    // broker, else why not.
    void start(std::function<void(const std::string& problem)> done);
    // Stops the cars it carries and leaves the broker, saying so.
    void stop();

    void centralManagerDidUpdateState(Central&) override;
    void didConnectPeripheral(Central&, Peripheral&) override;
    void didDisconnectPeripheral(Central&, Peripheral&, const Error*) override;
    void didFailToConnectPeripheral(Central&, Peripheral&, const Error*) override;
    void didDiscoverPeripheral(Central&, const std::shared_ptr<Peripheral>&, const AdvertisementData&, int) override;

    void didDiscoverServices(Peripheral&, const Error*) override;
    void didDiscoverCharacteristicsForService(Peripheral&, Service&, const Error*) override;
    void didUpdateValueForCharacteristic(Peripheral&, Characteristic&, const Error*) override;
    void didWriteValueForCharacteristic(Peripheral&, Characteristic&, const Error*) override;
    void didUpdateNotificationStateForCharacteristic(Peripheral&, Characteristic&, const Error*) override;

private:
    struct PendingWrite {
        Uuid characteristic;
        std::string slot;
        bool withResponse = false;
        std::vector<uint8_t> frame;
    };
    struct Car {
        std::shared_ptr<Peripheral> peripheral;
        std::string holder;  // the driver holding the car; empty: free
        bool connecting = false;
        bool up = false;
        Uuid stopsThrough;
        std::vector<std::vector<uint8_t>> stops;
        std::deque<PendingWrite> pending;
        std::string lastAdvert;
        std::chrono::milliseconds lastAdvertAt{-100000};
    };

    void connected();
    // Once the broker has handed over the retained status: claim the name,
    // or refuse it while another relay holds it.
    void settle();
    void takenOver();
    void received(std::string_view topic, std::string_view payload);
    void requested(const std::string& driver, const wire::Request& request);
    void write(const std::string& key, Car& car, PendingWrite pending);
    void drain(const std::string& key);
    void answer(const std::string& driver, const wire::Answer& answer);
    // Stops every car the driver holds and lets them go.
    // `reason` is the wire's word for it, sent to the driver with "lost".
    void driverGone(const std::string& driver, const std::string& why, const std::string& reason);
    void stopCar(const std::string& key, Car& car, const std::string& why);
    // With `lost`, tells the holder the car is no longer its, and why (the
    // wire's word; empty: the car's link ended).
    void letGo(const std::string& key, Car& car, const std::optional<std::string>& lost);
    void watch();
    std::vector<std::string> heardDrivers() const;
    Car* carOf(const Peripheral& peripheral, std::string* key = nullptr);
    std::shared_ptr<Characteristic> characteristic(Car& car, const Uuid& uuid);

    EventLoop& loop_;
    CentralFactory radio_;
    RelayOptions options_;
    std::shared_ptr<Central> central_;
    std::unique_ptr<BrokerClient> client_;
    std::map<std::string, Car> cars_;
    std::map<std::string, std::chrono::milliseconds> heard_;  // drivers holding cars, last heard
    BadInputLog badInput_;
    std::function<void(const std::string&)> started_;
    std::string instance_;
    bool settled_ = false;      // this session has claimed the name
    bool everSettled_ = false;
    bool otherOnline_ = false;  // the retained status names another instance
    // "lost" owed to drivers whose cars were stopped while the broker was away.
    std::vector<std::pair<std::string, std::string>> owedLost_;
    bool stopped_ = false;
};

}  // namespace ble::mqtt
