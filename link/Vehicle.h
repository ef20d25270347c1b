// One vehicle: owns its peripheral and the two characteristics of the vehicle
// service, carries the link from service discovery to SDK mode, sends driving
// commands and decodes what the vehicle notifies.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "ble/Bluetooth.h"
#include "link/AtomicRef.h"
#include "link/DriveTap.h"
#include "link/LinkHealth.h"

struct VehicleMessage;

class Vehicle : public ble::PeripheralDelegate, public std::enable_shared_from_this<Vehicle> {
public:
    Vehicle();
    // Stores the controller and leaves everything else as plain construction.
    explicit Vehicle(std::shared_ptr<void> controller);
    ~Vehicle() override;

    std::shared_ptr<ble::Peripheral> peripheral() const { return peripheral_.load(); }
    void setPeripheral(std::shared_ptr<ble::Peripheral> p) { peripheral_.store(std::move(p)); }
    std::shared_ptr<ble::Characteristic> readChannel() const { return readChannel_.load(); }
    void setReadChannel(std::shared_ptr<ble::Characteristic> c) { readChannel_.store(std::move(c)); }
    std::shared_ptr<ble::Characteristic> writeChannel() const { return writeChannel_.load(); }
    void setWriteChannel(std::shared_ptr<ble::Characteristic> c) {
        writeChannel_.store(std::move(c));
    }
    std::shared_ptr<void> controller() const { return controller_.load(); }
    void setController(std::shared_ptr<void> c) { controller_.store(std::move(c)); }
    bool active() const { return active_.load(); }
    bool isActive() const { return active(); }
    void setActive(bool a) { active_.store(a); }
    uint32_t identifier() const { return identifier_.load(); }
    void setIdentifier(uint32_t id) { identifier_.store(id); }
    uint8_t modelIdentifier() const { return modelIdentifier_.load(); }
    void setModelIdentifier(uint8_t m) { modelIdentifier_.store(m); }

    // The firmware version the vehicle reported, once it has.
    std::optional<uint16_t> firmwareVersion() const;
    // The speed of the last set-speed command sent (0 before any).
    uint16_t commandedSpeed() const { return commandedSpeed_.load(); }

    // How the link is doing. The meter counts on the main thread, where
    // every radio event and command runs.
    LinkMeter& linkMeter() { return meter_; }
    LinkHealth health() const { return meter_.health(peripheral_.load().get()); }

    // Driving commands: one frame, one write without response.
    void setSpeed(float speed);
    void setLaneOffset(float offset);
    void changeLaneAndSpeed(float offset, uint16_t speed);
    void spin180();
    void sendMessageWithLength(const uint8_t* bytes, uint8_t length);

    // ble::PeripheralDelegate
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
    // Sends the first `length` bytes of a frame built in place, and tells
    // whoever taps the drive what was sent.
    void sendFrame(const VehicleMessage& message, uint8_t length, SentCommand command);
    // False when the bytes went nowhere (no peripheral yet).
    bool handToRadio(const uint8_t* bytes, uint8_t length);

    AtomicRef<ble::Peripheral> peripheral_;
    AtomicRef<ble::Characteristic> readChannel_;
    AtomicRef<ble::Characteristic> writeChannel_;
    AtomicRef<void> controller_;
    std::atomic<bool> active_{false};
    std::atomic<uint32_t> identifier_{0};
    std::atomic<uint8_t> modelIdentifier_{0};
    // -1 until the vehicle reports its version.
    std::atomic<int32_t> firmwareVersion_{-1};
    std::atomic<uint16_t> commandedSpeed_{0};
    LinkMeter meter_;
};
