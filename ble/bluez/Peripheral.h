// One device, as every central of the radio reports it, however many adapters
// hear it (BlueZ has an object for it below each). It carries the link: a
// connection attempt through the radio's queue on the adapter that hears it
// best and has room, the GATT objects BlueZ resolved, notifications (over an
// acquired socket where the characteristic offers one, else StartNotify and
// the Value property) and paced writes (an acquired socket, else WriteValue
// of type "command").
#pragma once

#include <QDBusMessage>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ble/Bluetooth.h"

class QTimer;
class QObject;

namespace ble::bluez {

class AcquiredSocket;
class FramePacer;
class Radio;

class GattService : public ble::Service {
public:
    GattService(Uuid uuid, QString path) : ble::Service(uuid), path_(std::move(path)) {}
    const QString& path() const { return path_; }
    void setPath(QString path) { path_ = std::move(path); }

private:
    QString path_;
};

class GattCharacteristic;

class Peripheral : public ble::Peripheral, public std::enable_shared_from_this<Peripheral> {
public:
    Peripheral(std::shared_ptr<Radio> radio, QString path);
    ~Peripheral() override;
    Peripheral(const Peripheral&) = delete;
    Peripheral& operator=(const Peripheral&) = delete;

    std::string name() const override;
    std::string identifier() const override;
    std::vector<std::shared_ptr<Service>> services() const override;
    std::uint64_t writesSuperseded() const override;
    bool watchWrites(WriteOutcome outcome) override;
    // The adapter of the link, else the one that hears the device best.
    std::string adapterName() const override;

    void discoverServices(const std::vector<Uuid>& filter) override;
    void discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                           const std::shared_ptr<Service>& service) override;
    void setNotifyValueForCharacteristic(
        bool enabled, const std::shared_ptr<ble::Characteristic>& characteristic) override;
    void writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                     const std::shared_ptr<ble::Characteristic>& characteristic,
                                     WriteType type) override;

    // From the central and the radio.
    // The device object in use: the link's, else the one last chosen.
    const QString& path() const { return path_; }
    // Another adapter's object of the device, while there is no link.
    void moveTo(const QString& path);
    void connect();
    // BlueZ changed Connected or ServicesResolved, or the device's GATT objects.
    void linkChanged();
    // What the identity rule names this device by, from its last advertisement.
    void setIdentity(std::string identity) { identity_ = std::move(identity); }
    // A characteristic's Value changed (a notification through StartNotify).
    void valueChanged(const QString& characteristicPath, std::vector<uint8_t> value);
    // The link ends for a reason outside the device's properties.
    void endLink(const std::string& reason);
    // Moves the link to the device's object on another adapter: down here,
    // up there, the services followed by UUID as after a Service Changed;
    // its vehicle sees a short pause, not a lost link. Writes wait meanwhile.
    void relocate(const QString& devicePath);
    bool moving() const { return !movingTo_.isEmpty() || movingConnect_; }
    bool connected() const { return link_ == Link::Connected; }
    bool idle() const { return link_ == Link::Idle; }
    bool queued() const { return link_ == Link::Queued; }
    // Connecting or connected: the link takes room on its adapter.
    bool holdsLink() const { return link_ == Link::Connecting || link_ == Link::Connected; }
    // The adapters that refused this attempt for lack of room.
    const std::vector<QString>& refusedBy() const { return refusedBy_; }
    // An advertisement heard and not reported yet: the first of a report
    // (true), or one more adapter's hearing of it (the best signal kept).
    struct Heard {
        AdvertisementData advertisement;
        int rssi = 0;
    };
    bool heard(AdvertisementData advertisement, int rssi);
    std::optional<Heard> takeHeard() { return std::exchange(heard_, std::nullopt); }
    // Frames waiting in the characteristics' pacers, and frames superseded.
    std::size_t framesWaiting() const;

private:
    enum class Link { Idle, Queued, Connecting, Connected };
    // Why an attempt failed: the device did not connect, or did but never
    // showed its services (both count against it, and BlueZ is asked to let
    // go of it), or something outside the device ended it.
    enum class Failure { ConnectRefused, GivenUp, Ended };
    using Event = std::function<void(Peripheral&, PeripheralDelegate&)>;

    void deliver(Event event);
    // Waits in the radio's queue for an adapter; `first`: ahead of the others.
    void enqueue(bool first);
    void startAttempt();
    // The adapter had no room: the next one that heard the device, at once.
    void moveOn(const std::string& reason);
    void attemptAnswered(const QDBusMessage& reply);
    void attemptTimedOut();
    void readyTimedOut();
    void established();
    void failAttempt(const std::string& reason, Failure failure);
    void lose(const std::string& reason);
    void giveUp(const std::string& reason);
    // Another program holds the car's sockets (BlueZ lets one program
    // acquire them): the car is that program's.
    void yieldToAnotherProgram();
    void connectThere();
    void closeLink();
    bool connectedAtBluez() const;
    bool resolved() const;
    // Resolved, with the layout the radio was asked for in the mirror.
    bool ready() const;
    bool layoutPresent() const;
    void servicesChanging();
    void servicesBack();
    QString findService(const Uuid& uuid, const QString& preferred) const;
    QString findCharacteristic(const QString& service, const Uuid& uuid, const QString& preferred) const;
    void readCharacteristic(GattCharacteristic& characteristic) const;
    void subscribe(const std::shared_ptr<GattCharacteristic>& characteristic, bool report);
    void subscribed(const std::shared_ptr<GattCharacteristic>& characteristic, bool report,
                    std::optional<Error> error);
    // An acquired socket of the characteristic hung up (posted, never from inside the socket).
    void socketHungUp(const std::shared_ptr<GattCharacteristic>& characteristic, uint64_t epoch, bool notify);
    std::function<void()> onHangUp(const std::shared_ptr<GattCharacteristic>& characteristic, bool notify);
    std::size_t frameLimit(const GattCharacteristic& characteristic) const;
    std::optional<Error> refusal(const GattCharacteristic& characteristic, std::size_t size) const;
    std::shared_ptr<GattCharacteristic> ours(const std::shared_ptr<ble::Characteristic>& c) const;
    void send(const std::shared_ptr<GattCharacteristic>& characteristic, std::vector<uint8_t> frame);
    void writeValue(GattCharacteristic& characteristic, std::vector<uint8_t> frame,
                    const QString& type, std::function<void(const QDBusMessage& reply)> done);
    void acquireNotify(const std::shared_ptr<GattCharacteristic>& characteristic, bool report);
    void startNotify(const std::shared_ptr<GattCharacteristic>& characteristic, bool report);
    void acquireWrite(const std::shared_ptr<GattCharacteristic>& characteristic, std::vector<uint8_t> frame);

    std::shared_ptr<Radio> radio_;
    QString path_;
    Link link_ = Link::Idle;
    uint64_t attempt_ = 0;  // numbers the attempts: late answers to old ones are dropped
    uint64_t ticket_ = 0;   // the attempt's place in the connection queue
    bool connectAnswered_ = false;
    // A move under way: the object the link goes to, until the old link is
    // down; then the Connect there, until it is answered.
    QString movingTo_;
    bool movingConnect_ = false;
    std::chrono::milliseconds attemptStarted_{0};  // on the radio's loop
    // Connected, and the services BlueZ shows match the layout (false while
    // they change).
    bool servicesReady_ = false;
    std::string identity_;
    std::vector<QString> refusedBy_;
    std::optional<Heard> heard_;
    // Frames superseded in pacers of characteristics since dropped.
    std::uint64_t supersededGone_ = 0;
    std::unique_ptr<QObject> receiver_;
    QTimer* attemptTimer_ = nullptr;
    QTimer* readyTimer_ = nullptr;
    std::vector<std::shared_ptr<GattService>> services_;
    std::map<QString, std::shared_ptr<GattService>> serviceObjects_;
    std::map<QString, std::shared_ptr<GattCharacteristic>> characteristics_;
    WriteOutcome writeWatch_;
};

}  // namespace ble::bluez
