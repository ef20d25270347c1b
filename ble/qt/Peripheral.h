// One remote device over Qt Bluetooth: its link (a QLowEnergyController made at
// each connection), its services and characteristics, notifications and writes.
// Every outcome reaches the delegate later, posted on the event loop; link
// events (connected, failed, ended) go to the radio's current central.
#pragma once

#include <QBluetoothDeviceInfo>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/WriteBucket.h"
#include "ble/qt/RequestQueue.h"

class QObject;
class QTimer;

namespace ble::qt {

class Characteristic;
class RadioContext;
class Service;

// What names a device: its address, or where the platform hides addresses
// (macOS) its device UUID.
std::string deviceKey(const QBluetoothDeviceInfo& info);

class Peripheral : public ble::Peripheral, public std::enable_shared_from_this<Peripheral> {
public:
    Peripheral(std::shared_ptr<RadioContext> radio, const QBluetoothDeviceInfo& info);
    ~Peripheral() override;

    std::string name() const override;
    std::string identifier() const override;
    std::vector<std::shared_ptr<ble::Service>> services() const override;
    // Frames the request queue replaced with a newer one before they left.
    std::uint64_t writesSuperseded() const override { return requests_.replaced(); }
    bool watchWrites(WriteOutcome outcome) override {
        writeWatch_ = std::move(outcome);
        return true;
    }

    void discoverServices(const std::vector<Uuid>& filter) override;
    void discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                           const std::shared_ptr<ble::Service>& service) override;
    void setNotifyValueForCharacteristic(
        bool enabled, const std::shared_ptr<ble::Characteristic>& characteristic) override;
    void writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                     const std::shared_ptr<ble::Characteristic>& characteristic,
                                     WriteType type) override;

    // For the central.
    // The latest advertisement's record; the next connection uses it.
    void setDeviceInfo(const QBluetoothDeviceInfo& info) { info_ = info; }
    // Connects, or reports the link that is already up; the outcome goes to
    // the current central.
    void connect();
    bool isConnected() const { return link_ == Link::Connected; }
    // The GATT requests in front of Qt's queue.
    const RequestQueue& requests() const { return requests_; }

private:
    enum class Link { Idle, Connecting, Connected };
    enum class RequestKind { None, Notify, Write, WriteCommand };
    struct InFlight {
        uint64_t ticket = 0;
        RequestKind kind = RequestKind::None;
        std::weak_ptr<Characteristic> characteristic;
        QLowEnergyService* service = nullptr;
    };
    using Event = std::function<void(Peripheral&, PeripheralDelegate&)>;

    void deliver(Event event);
    void deliverWriteResult(const std::shared_ptr<ble::Characteristic>& characteristic,
                            std::optional<Error> error);
    void deliverNotifyResult(const std::shared_ptr<ble::Characteristic>& characteristic,
                             std::optional<Error> error);

    void onConnected();
    void onControllerError(QLowEnergyController::Error error);
    void onUnconnected();
    void onConnectTimeout();
    void failConnection(const std::string& reason);
    void loseConnection();
    void closeLink();
    // Lets a controller go: disconnected first, deleted later.
    void retire(QLowEnergyController* controller);

    void onServicesDiscovered();
    void watchService(const std::shared_ptr<Service>& service);
    void onServiceState(const std::weak_ptr<Service>& service, QLowEnergyService::ServiceState state);
    void reportCharacteristics(const std::shared_ptr<Service>& service);
    void onServiceError(QLowEnergyService* service, QLowEnergyService::ServiceError error);
    void onCharacteristicChanged(QLowEnergyService* service, const QLowEnergyCharacteristic& handle,
                                 const QByteArray& value);
    void onCharacteristicWritten(QLowEnergyService* service);
    void onDescriptorWritten(QLowEnergyService* service, const QLowEnergyDescriptor& descriptor);

    void issue(uint64_t ticket, RequestKind kind, const std::weak_ptr<Characteristic>& target,
               const QByteArray& bytes);
    // The answer to the request in flight has come; the next one goes once Qt
    // has finished with this one.
    void answered(uint64_t ticket);
    void onRequestTimeout();

    std::shared_ptr<RadioContext> radio_;
    QBluetoothDeviceInfo info_;
    // The receiver of every Qt connection: they all end with the peripheral.
    std::unique_ptr<QObject> receiver_;
    QTimer* connectTimer_ = nullptr;
    QTimer* requestTimer_ = nullptr;
    QPointer<QLowEnergyController> controller_;
    Link link_ = Link::Idle;
    std::optional<std::string> lastError_;
    bool servicesPending_ = false;
    std::vector<Uuid> serviceFilter_;
    std::vector<std::shared_ptr<Service>> services_;
    RequestQueue requests_;
    WriteOutcome writeWatch_;  // told what became of each frame without response
    // The link's room for writes without response.
    WriteBucket writeRoom_;
    InFlight inFlight_;
};

}  // namespace ble::qt
