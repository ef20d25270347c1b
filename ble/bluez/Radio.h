// The adapters BlueZ shows over D-Bus, shared by every central the vehicles
// controller makes and by every peripheral: the mirror of BlueZ's objects,
// the adapters in use (one, a list, or every one), their scans, the
// connection queue over them, one peripheral object per device (however many
// adapters hear it), and which central is the current one. Every call to
// BlueZ is asynchronous with a bounded time; nothing here waits for BlueZ, at
// start included.
//
// Links outlive the central they were made through: their later events go to
// the current central. A link ends, and is reported once, when BlueZ says the
// device is no longer connected, when the device or the adapter it goes
// through is removed, when that adapter is powered off, when an acquired
// socket hangs up, or when BlueZ leaves the bus. When BlueZ comes back, the
// state is reported again.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"
#include "ble/bluez/AdapterSet.h"
#include "ble/bluez/ConnectQueue.h"
#include "ble/bluez/FailureBackoff.h"
#include "ble/bluez/ObjectMirror.h"
#include "ble/bluez/RadioOptions.h"

class QDBusPendingCall;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class QTimer;

namespace ble::bluez {

class Central;
class Peripheral;

class Radio : public QObject, public std::enable_shared_from_this<Radio> {
    Q_OBJECT

public:
    Radio(EventLoop& loop, RadioOptions options, QDBusConnection bus);
    ~Radio() override;

    // Subscribes to BlueZ's signals and asks for its objects.
    void start();

    EventLoop& loop() const { return loop_; }
    const RadioOptions& options() const { return options_; }
    QDBusConnection& bus() { return bus_; }
    const ObjectMirror& mirror() const { return mirror_; }
    ConnectQueue& connects() { return connects_; }
    FailureBackoff& backoff() { return backoff_; }
    CentralState state() const;
    // Whether BlueZ is on the bus and its objects are known.
    bool ready() const { return bluezPresent_ && objectsKnown_; }

    std::shared_ptr<Central> central() const { return central_.lock(); }
    void setCentral(const std::shared_ptr<Central>& central);
    void centralGone(const Central* central);
    // The current central's scan request changed.
    void scanRequestChanged();

    // Runs the event later for the current central and its delegate; dropped
    // when either is gone by then.
    using CentralEvent = std::function<void(Central&, CentralDelegate&)>;
    void postToCentral(CentralEvent event);
    // Runs it now, if there is a current central with a delegate.
    void runForCentral(const CentralEvent& event);

    // The radio is done with a device: its link (or the attempt under way)
    // is called off at BlueZ, and a device BlueZ keeps only because it was
    // asked to connect (not paired, bonded or trusted) is removed, so that
    // strangers do not pile up in BlueZ's tree and on its disk.
    void letGo(const QString& devicePath, bool disconnect, bool forget);

    // Links belong to BlueZ, not to the program that asked for them: unless
    // the program ends them, they outlive it, and a connected car (which does
    // not advertise) is lost to the next run. The radio remembers each device
    // it asked to connect or took as it found it.
    void linkTaken(const QString& devicePath);
    // Every such link still up (or on its way), of every radio of the
    // process, is let go at BlueZ with Disconnect, which also calls off a
    // Connect under way; returns once BlueZ has answered each or `within`
    // has passed. Nothing is written to the devices.
    static void releaseLinksOfEveryRadio(std::chrono::milliseconds within);
    // Another program holds the device's sockets: it drives it. Its link is
    // not this radio's to end, and the device is not taken while it lasts.
    void drivenElsewhere(const QString& devicePath);
    bool isDrivenElsewhere(const QString& devicePath) const;

    // The adapters of the set that may carry a connection to the device now
    // (powered, with an object for it), the best heard first; `excluded`
    // ones left out.
    std::vector<QString> adaptersHearing(const QString& devicePath,
                                         const std::vector<QString>& excluded = {}) const;
    // The device's object on an adapter of the set that is connected at
    // BlueZ already; empty if none.
    QString connectedObject(const QString& devicePath) const;
    // Connect failed with `reply` through the adapter of `devicePath`: was
    // the adapter out of room? If so its room shrinks.
    // `answeredAfter`: how long after Connect the refusal came.
    bool refusedForRoom(const QDBusMessage& reply, const QString& devicePath,
                        const std::vector<QString>& excluded, std::chrono::milliseconds answeredAfter);
    // Connect failed at once on an adapter that holds links, for a car no
    // other adapter hears: if a car there can move to another adapter, it
    // does, the refusal counts as one for room, and this car waits for it.
    bool makeRoomFor(const QDBusMessage& reply, const QString& devicePath, std::chrono::milliseconds answeredAfter);
    // A link came up through the adapter: a room it was refused is whole again.
    void linkUpThrough(const QString& adapterPath);

    // A D-Bus call to BlueZ that answers `done` later (never from inside).
    using Reply = std::function<void(const QDBusMessage& reply)>;
    void call(const QString& path, const QString& interface, const QString& method,
              const QList<QVariant>& arguments, Reply done);

private slots:
    void onInterfacesAdded(const QDBusMessage& signal);
    void onInterfacesRemoved(const QDBusMessage& signal);
    void onPropertiesChanged(const QDBusMessage& signal);
    void onOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    void fetchObjects();
    void objectsFetched(const QDBusMessage& reply, uint64_t generation);
    void bluezLeft();
    void reportStateIfChanged();
    void endAllLinks(const std::string& reason);
    // Adapters came or went: the set is chosen again, and the links through
    // those that left it end.
    void adaptersChanged();
    void adapterPowerChanged(const QString& adapterPath);
    void adapterRemoved(const QString& adapterPath);
    // Links (and attempts) through the adapter end; cars waiting for a
    // connection that no adapter can carry any more fail.
    void endLinksThrough(const QString& adapterPath, const std::string& reason);
    // Links each adapter of the set holds: the radio's own, attempts
    // included, and any other program's connected devices.
    std::map<QString, std::size_t> linksHeld(const QString& exceptDevice = {}) const;
    std::size_t linksThrough(const QString& adapterPath, const QString& exceptDevice = {}) const;
    // The adapter's controller refused for room: it holds what it has, for
    // roomRefusalLasts, after which whoever waits gets the whole room's chance.
    void roomRefused(AdapterSet::Adapter& adapter, std::size_t links);
    std::map<std::string, std::size_t> freeLinks();
    // A car waits that only full adapters hear, while a car on one of them
    // is heard at least as well by an adapter with room: that car moves
    // there (one at a time), and the waiting one gets its room.
    void relieveStarvedCar();
    // Moves one car off the full adapter to another with room that hears it
    // at least as well; false if none can go.
    bool moveACarOff(const QString& fullAdapter, const std::string& forWhom,
                     const std::map<std::string, std::size_t>& free);

    void updateDiscovery();
    void startDiscovery(const QString& adapterPath, AdapterSet::Adapter& adapter);
    void stopDiscovery(const QString& adapterPath, AdapterSet::Adapter& adapter);
    void discoveryAnswered(const QString& adapterPath, uint64_t serial, const QDBusMessage& reply, bool starting);
    void retryDiscoveryLater();
    // Devices other clients' discoveries on the adapter see right now are live.
    void reportLiveDevices(const QString& adapterPath);
    void deviceSeen(const QString& path);
    // The best signal any adapter of the set has of the device now.
    int bestRssi(const QString& devicePath) const;
    void deviceRemoved(const QString& path);
    // `justDisconnected`: BlueZ answered this radio's Disconnect, so the
    // device is down whatever Connected still says.
    void forgetIfTemporary(const QString& devicePath, bool justDisconnected = false);
    std::shared_ptr<Peripheral> peripheralFor(const QString& path);
    // The peripheral that reaches its device through this object.
    std::shared_ptr<Peripheral> peripheralAt(const QString& path) const;
    std::shared_ptr<Peripheral> peripheralOwning(const QString& gattPath) const;
    std::vector<std::shared_ptr<Peripheral>> livePeripherals() const;
    // Disconnect for each link let go of at the end, answered within `timeoutMs`.
    std::vector<QDBusPendingCall> disconnectOwnLinks(int timeoutMs);

    EventLoop& loop_;
    RadioOptions options_;
    QDBusConnection bus_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer* retryTimer_ = nullptr;
    QTimer* placementTimer_ = nullptr;
    ObjectMirror mirror_;
    bool bluezPresent_ = false;
    bool objectsKnown_ = false;
    bool everKnown_ = false;
    uint64_t generation_ = 0;  // of the BlueZ instance: answers to an older one are dropped
    AdapterSet adapters_;
    std::weak_ptr<Central> central_;
    CentralState reportedState_ = CentralState::Unknown;
    bool stateReported_ = false;

    bool discoveryWanted_ = false;
    std::vector<Uuid> filter_;

    ConnectQueue connects_;
    FailureBackoff backoff_;
    // By device key (paths::deviceKey), one for every adapter's object of
    // the device. Held weakly: a peripheral lives as long as someone (a
    // vehicle, a delivery on its way) holds it, so devices nobody wants cost
    // nothing.
    std::map<QString, std::weak_ptr<Peripheral>> peripherals_;
    std::size_t pruneAt_ = 64;
    // Device objects this radio connected or took, and connected ones
    // another program drives; each leaves when BlueZ says it is down.
    std::set<QString> links_;
    std::set<QString> drivenElsewhere_;
};

}  // namespace ble::bluez
