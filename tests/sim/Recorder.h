// Delegates that write down every event they get, with the loop time, so a
// test can compare what the radio reported against what it expects.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"

struct Event {
    std::string kind{};  // "state", "connect", "disconnect", "fail", "discover", "services",
                         // "characteristics", "value", "write", "notifyState"
    std::chrono::milliseconds at{0};
    ble::Peripheral* peripheral = nullptr;
    ble::Characteristic* characteristic = nullptr;
    ble::Service* service = nullptr;
    std::optional<std::string> error{};
    std::vector<uint8_t> value{};  // the characteristic value at a "value" event
    std::optional<std::vector<uint8_t>> manufacturerData{};
    std::string localName{};
    std::vector<ble::Uuid> serviceUuids{};
    int rssi = 0;
    ble::CentralState state = ble::CentralState::Unknown;
};

class Recorder : public ble::CentralDelegate, public ble::PeripheralDelegate {
  public:
    explicit Recorder(const ble::EventLoop& loop) : loop_(loop) {}

    std::vector<Event> events;
    // Peripherals as reported by discovery, in order of first report.
    std::vector<std::shared_ptr<ble::Peripheral>> discovered;
    // Run inside an event, after it is recorded.
    std::function<void(const Event&)> onEvent;

    std::vector<Event> of(const std::string& kind) const;
    std::size_t count(const std::string& kind) const { return of(kind).size(); }
    void clear() { events.clear(); }

    void centralManagerDidUpdateState(ble::Central& central) override;
    void didConnectPeripheral(ble::Central&, ble::Peripheral& peripheral) override;
    void didDisconnectPeripheral(ble::Central&, ble::Peripheral& peripheral,
                                 const ble::Error* error) override;
    void didFailToConnectPeripheral(ble::Central&, ble::Peripheral& peripheral,
                                    const ble::Error* error) override;
    void didDiscoverPeripheral(ble::Central&, const std::shared_ptr<ble::Peripheral>& peripheral,
                               const ble::AdvertisementData& advertisement, int rssi) override;

    void didDiscoverServices(ble::Peripheral& peripheral, const ble::Error* error) override;
    void didDiscoverCharacteristicsForService(ble::Peripheral& peripheral, ble::Service& service,
                                              const ble::Error* error) override;
    void didUpdateValueForCharacteristic(ble::Peripheral& peripheral,
                                         ble::Characteristic& characteristic,
                                         const ble::Error* error) override;
    void didWriteValueForCharacteristic(ble::Peripheral& peripheral,
                                        ble::Characteristic& characteristic,
                                        const ble::Error* error) override;
    void didUpdateNotificationStateForCharacteristic(ble::Peripheral& peripheral,
                                                     ble::Characteristic& characteristic,
                                                     const ble::Error* error) override;

  private:
    void record(Event event);
    const ble::EventLoop& loop_;
};
