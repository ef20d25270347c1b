// The Bluetooth Low Energy platform the vehicle link is written against.
// Two radios implement it: the simulated one (ble/sim) and the real one over
// Qt Bluetooth (ble/qt). Every request returns at once; its outcome arrives
// later as a delegate call posted on an EventLoop, never from inside the
// request. Delegate references are weak: an event whose receiver is gone is
// dropped.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ble {

// A 128-bit UUID. Bytes are held in text order: bytes()[0] is the first
// two hex digits of the canonical text.
class Uuid {
public:
    Uuid() = default;  // the nil UUID
    explicit Uuid(const std::array<uint8_t, 16>& bytes) : bytes_(bytes) {}

    // Reads "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" in either case. Text that is
    // not a UUID gives the nil UUID.
    static Uuid fromString(std::string_view text);
    // The canonical text in upper case.
    std::string toString() const;
    const std::array<uint8_t, 16>& bytes() const { return bytes_; }
    bool isNull() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;

private:
    std::array<uint8_t, 16> bytes_{};
};

class Error {
public:
    explicit Error(std::string description, int code = 0)
        : description_(std::move(description)), code_(code) {}
    const std::string& localizedDescription() const { return description_; }
    int code() const { return code_; }

private:
    std::string description_;
    int code_;
};

enum class WriteType : int { WithResponse = 0, WithoutResponse = 1 };

// Numbered as the platform numbers them; the log prints the number.
enum class CentralState : long {
    Unknown = 0,
    Resetting = 1,
    Unsupported = 2,
    Unauthorized = 3,
    PoweredOff = 4,
    PoweredOn = 5,
};

// A characteristic as discovered on a peripheral. Backends derive from it to
// keep their own handle; the value is what the peripheral last sent.
class Characteristic {
public:
    explicit Characteristic(Uuid uuid) : uuid_(uuid) {}
    virtual ~Characteristic() = default;
    const Uuid& uuid() const { return uuid_; }
    const std::vector<uint8_t>& value() const { return value_; }
    void setValue(std::vector<uint8_t> value) { value_ = std::move(value); }

private:
    Uuid uuid_;
    std::vector<uint8_t> value_;
};

class Service {
public:
    explicit Service(Uuid uuid) : uuid_(uuid) {}
    virtual ~Service() = default;
    const Uuid& uuid() const { return uuid_; }
    // The discovered characteristics, in a fixed order; empty until discovered.
    const std::vector<std::shared_ptr<Characteristic>>& characteristics() const {
        return characteristics_;
    }
    void setCharacteristics(std::vector<std::shared_ptr<Characteristic>> list) {
        characteristics_ = std::move(list);
    }

private:
    Uuid uuid_;
    std::vector<std::shared_ptr<Characteristic>> characteristics_;
};

class Peripheral;

class PeripheralDelegate {
public:
    virtual ~PeripheralDelegate() = default;
    virtual void didDiscoverServices(Peripheral&, const Error*) {}
    virtual void didDiscoverCharacteristicsForService(Peripheral&, Service&, const Error*) {}
    virtual void didUpdateValueForCharacteristic(Peripheral&, Characteristic&, const Error*) {}
    virtual void didWriteValueForCharacteristic(Peripheral&, Characteristic&, const Error*) {}
    virtual void didUpdateNotificationStateForCharacteristic(Peripheral&, Characteristic&,
                                                             const Error*) {}
};

// One remote device. A radio reports the same device as the same object in
// every event, so look-up by identity works.
class Peripheral {
public:
    virtual ~Peripheral() = default;

    // The device's name, possibly empty.
    virtual std::string name() const = 0;
    // A stable text naming the device (its address on a real radio), for logs.
    virtual std::string identifier() const = 0;
    // The services found by the last service discovery.
    virtual std::vector<std::shared_ptr<Service>> services() const = 0;

    void setDelegate(std::weak_ptr<PeripheralDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<PeripheralDelegate> delegate() const { return delegate_.lock(); }

    // An empty filter means all.
    virtual void discoverServices(const std::vector<Uuid>& filter) = 0;
    virtual void discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                                   const std::shared_ptr<Service>& service) = 0;
    // An empty characteristic is accepted: nothing is requested or written.
    virtual void setNotifyValueForCharacteristic(
        bool enabled, const std::shared_ptr<Characteristic>& characteristic) = 0;
    virtual void writeValueForCharacteristic(
        const std::vector<uint8_t>& data, const std::shared_ptr<Characteristic>& characteristic,
        WriteType type) = 0;

    // The text a log line prints for this peripheral.
    virtual std::string description() const;

    // How many frames handed to writeValueForCharacteristic were replaced by
    // a newer one before they left (the latest-value rule); a radio that
    // sends every frame keeps 0.
    virtual std::uint64_t writesSuperseded() const { return 0; }
    // What became of each frame written without response, on a radio that
    // may merge waiting frames: `replaced` false as it leaves for the link,
    // true when a newer frame took its place first. An empty watch ends it.
    // False: this radio says nothing, and every frame it takes is written.
    using WriteOutcome = std::function<void(const std::vector<uint8_t>& frame, bool replaced)>;
    virtual bool watchWrites(WriteOutcome) { return false; }
    // The local adapter the device is reached through, as the system names
    // it ("hci1"); empty for a radio without adapters (the simulated one).
    virtual std::string adapterName() const { return {}; }

private:
    std::weak_ptr<PeripheralDelegate> delegate_;
};

// What one advertisement carried. The manufacturer data is the whole data part
// of the manufacturer-specific field, company id bytes included, as on the air.
struct AdvertisementData {
    std::optional<std::vector<uint8_t>> manufacturerData;
    std::string localName;
    std::vector<Uuid> serviceUuids;
};

class Central;

class CentralDelegate {
public:
    virtual ~CentralDelegate() = default;
    virtual void centralManagerDidUpdateState(Central&) = 0;
    virtual void didConnectPeripheral(Central&, Peripheral&) {}
    virtual void didDisconnectPeripheral(Central&, Peripheral&, const Error*) {}
    virtual void didFailToConnectPeripheral(Central&, Peripheral&, const Error*) {}
    virtual void didDiscoverPeripheral(Central&, const std::shared_ptr<Peripheral>&,
                                       const AdvertisementData&, int /*rssi*/) {}
    virtual void didRetrievePeripherals(Central&,
                                        const std::vector<std::shared_ptr<Peripheral>>&) {}
};

// The local radio. It reports its state to its delegate after it is created
// and on every change.
class Central {
public:
    virtual ~Central() = default;
    virtual CentralState state() const = 0;
    virtual void scanForPeripheralsWithServices(const std::vector<Uuid>& services) = 0;
    virtual void stopScan() = 0;
    virtual void connectPeripheral(const std::shared_ptr<Peripheral>& peripheral) = 0;
};

// Makes a central that reports to the given delegate. Whoever chooses the
// radio hands one to the vehicles controller.
using CentralFactory =
    std::function<std::shared_ptr<Central>(std::weak_ptr<CentralDelegate>)>;

}  // namespace ble
