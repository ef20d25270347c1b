#include "ble/bluez/Radio.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>
#include <algorithm>

#include "ble/UuidFilter.h"
#include "ble/bluez/BluezNames.h"
#include "ble/bluez/Central.h"
#include "ble/bluez/DBusValues.h"
#include "ble/bluez/Peripheral.h"

namespace ble::bluez {
namespace {

constexpr int kFetchTimeoutMs = 5000;
constexpr int kRetryMs = 1000;

QString upper(const std::string& text) { return QString::fromStdString(text).toUpper(); }

bool isDBusError(const QDBusMessage& reply, const char* name) {
    return reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == QLatin1String(name);
}

}  // namespace

Radio::Radio(EventLoop& loop, RadioOptions options, QDBusConnection bus)
    : loop_(loop),
      options_(std::move(options)),
      bus_(std::move(bus)),
      connects_(std::max<std::size_t>(options_.connectAttempts, 1)) {
    retryTimer_ = new QTimer(this);
    retryTimer_->setSingleShot(true);
    QObject::connect(retryTimer_, &QTimer::timeout, this, [this] {
        if (!bluezPresent_) return;
        if (!objectsKnown_) {
            fetchObjects();
        } else {
            updateDiscovery();
        }
    });
}

Radio::~Radio() = default;

void Radio::start() {
    if (!bus_.isConnected()) {
        reportStateIfChanged();
        return;
    }
    // Subscribe first, then ask: nothing that happens in between is lost.
    watcher_ = new QDBusServiceWatcher(names::kService, bus_, QDBusServiceWatcher::WatchForOwnerChange,
                                       this);
    QObject::connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &Radio::onOwnerChanged);
    bus_.connect(names::kService, QString(), names::kObjectManager, QStringLiteral("InterfacesAdded"),
                 this, SLOT(onInterfacesAdded(QDBusMessage)));
    bus_.connect(names::kService, QString(), names::kObjectManager, QStringLiteral("InterfacesRemoved"),
                 this, SLOT(onInterfacesRemoved(QDBusMessage)));
    bus_.connect(names::kService, QString(), names::kProperties, QStringLiteral("PropertiesChanged"),
                 this, SLOT(onPropertiesChanged(QDBusMessage)));
    // Whether BlueZ is there at all, without waiting for the answer.
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask.setArguments({names::kService});
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask, kFetchTimeoutMs), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        const bool present = reply.type() == QDBusMessage::ReplyMessage &&
                             reply.arguments().value(0).toBool();
        if (present && !bluezPresent_) {
            bluezPresent_ = true;
            fetchObjects();
        } else if (!present) {
            reportStateIfChanged();
        }
    });
}

CentralState Radio::state() const {
    if (!bluezPresent_) return everKnown_ ? CentralState::Resetting : CentralState::Unknown;
    if (!objectsKnown_) return CentralState::Unknown;
    if (adapterPath_.isEmpty()) return CentralState::Unsupported;
    const auto powered = boolean(mirror_.property(adapterPath_, names::kAdapter, QStringLiteral("Powered")));
    return powered.value_or(false) ? CentralState::PoweredOn : CentralState::PoweredOff;
}

void Radio::setCentral(const std::shared_ptr<Central>& central) {
    central_ = central;
    stateReported_ = false;
}

void Radio::centralGone(const Central* central) {
    // The current central let go without a successor: nobody wants the scan.
    if (central_.expired() && central != nullptr) {
        discoveryWanted_ = false;
        updateDiscovery();
    }
}

void Radio::scanRequestChanged() {
    const auto current = central();
    discoveryWanted_ = current && current->scanWanted();
    if (current) filter_ = current->scanFilter();
    updateDiscovery();
    if (discoveryWanted_ && discovery_ == Discovery::On) {
        // Devices other clients' discoveries see right now are live.
        for (const QString& path : mirror_.all(names::kDevice)) {
            if (mirror_.property(path, names::kDevice, QStringLiteral("RSSI")).isValid()) deviceSeen(path);
        }
    }
}

void Radio::postToCentral(CentralEvent event) {
    loop_.post([weak = weak_from_this(), event = std::move(event)] {
        const std::shared_ptr<Radio> self = weak.lock();
        if (!self) return;
        const std::shared_ptr<Central> central = self->central();
        if (!central) return;
        const std::shared_ptr<CentralDelegate> delegate = central->delegate();
        if (!delegate) return;
        event(*central, *delegate);
    });
}

void Radio::call(const QString& path, const QString& interface, const QString& method,
                 const QList<QVariant>& arguments, Reply done) {
    QDBusMessage message = QDBusMessage::createMethodCall(names::kService, path, interface, method);
    message.setArguments(arguments);
    const int timeout = static_cast<int>(std::clamp<long long>(options_.callTimeout.count(), 1, 120000));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, timeout), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [done = std::move(done)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         if (done) done(w->reply());
                     });
}

// --- BlueZ's objects ---------------------------------------------------------

void Radio::fetchObjects() {
    const uint64_t generation = generation_;
    QDBusMessage message = QDBusMessage::createMethodCall(names::kService, QStringLiteral("/"),
                                                          names::kObjectManager,
                                                          QStringLiteral("GetManagedObjects"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kFetchTimeoutMs), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this, generation](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         objectsFetched(w->reply(), generation);
                     });
}

void Radio::objectsFetched(const QDBusMessage& reply, uint64_t generation) {
    if (generation != generation_ || !bluezPresent_) return;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        // A BlueZ that hangs or fails: ask again later, without waiting here.
        retryTimer_->start(kRetryMs);
        return;
    }
    // Signals that came before the answer are in it as well: start afresh.
    mirror_.clear();
    for (const auto& [path, interfaces] : readManagedObjects(reply)) mirror_.add(path, interfaces);
    objectsKnown_ = true;
    everKnown_ = true;
    // Peripherals whose device is gone from BlueZ go; the others follow
    // what BlueZ says of their link now.
    std::vector<QString> gone;
    for (const auto& [path, peripheral] : peripherals_) {
        if (!mirror_.has(path, names::kDevice)) gone.push_back(path);
    }
    for (const QString& path : gone) deviceRemoved(path);
    chooseAdapter();
    reportStateIfChanged();
    for (const auto& peripheral : livePeripherals()) peripheral->linkChanged();
    updateDiscovery();
}

void Radio::chooseAdapter() {
    const QString previous = adapterPath_;
    adapterPath_.clear();
    const std::vector<QString> adapters = mirror_.all(names::kAdapter);
    const QString wanted = upper(options_.adapterAddress);
    for (const QString& path : adapters) {
        const QString address = text(mirror_.property(path, names::kAdapter, QStringLiteral("Address")));
        if (!wanted.isEmpty() && address.toUpper() == wanted) {
            adapterPath_ = path;
            break;
        }
    }
    if (adapterPath_.isEmpty() && wanted.isEmpty()) {
        for (const QString& path : adapters) {
            if (boolean(mirror_.property(path, names::kAdapter, QStringLiteral("Powered"))).value_or(false)) {
                adapterPath_ = path;
                break;
            }
        }
        if (adapterPath_.isEmpty() && !adapters.empty()) adapterPath_ = adapters.front();
    }
    if (adapterPath_ != previous) discovery_ = Discovery::Off;
}

void Radio::onInterfacesAdded(const QDBusMessage& signal) {
    if (!objectsKnown_) return;  // the coming answer to GetManagedObjects has it
    const auto added = readInterfacesAdded(signal);
    if (!added) return;
    const auto& [path, interfaces] = *added;
    mirror_.add(path, interfaces);
    if (interfaces.contains(names::kAdapter) && adapterPath_.isEmpty()) {
        chooseAdapter();
        reportStateIfChanged();
        updateDiscovery();
    }
    if (interfaces.contains(names::kDevice)) {
        // BlueZ makes a device object when a discovery sees it: it is live.
        if (interfaces.value(names::kDevice).contains(QStringLiteral("RSSI"))) deviceSeen(path);
        if (const auto peripheral = knownPeripheral(path)) peripheral->linkChanged();
    }
    // A link waiting for its services sees each GATT object as it comes.
    if (interfaces.contains(names::kGattService) || interfaces.contains(names::kGattCharacteristic)) {
        if (const auto owner = peripheralOwning(path)) owner->linkChanged();
    }
}

void Radio::onInterfacesRemoved(const QDBusMessage& signal) {
    if (!objectsKnown_) return;
    const auto removed = readInterfacesRemoved(signal);
    if (!removed) return;
    const auto& [path, interfaces] = *removed;
    mirror_.remove(path, interfaces);
    if (interfaces.contains(names::kDevice)) deviceRemoved(path);
    if (interfaces.contains(names::kGattService) || interfaces.contains(names::kGattCharacteristic)) {
        if (const auto owner = peripheralOwning(path)) owner->linkChanged();
    }
    if (interfaces.contains(names::kAdapter) && path == adapterPath_) {
        endAllLinks("The Bluetooth adapter was removed.");
        chooseAdapter();
        reportStateIfChanged();
        updateDiscovery();
    }
}

void Radio::onPropertiesChanged(const QDBusMessage& signal) {
    if (!objectsKnown_) return;
    const auto change = readPropertiesChanged(signal);
    if (!change) return;
    const QString path = signal.path();
    mirror_.change(path, change->interface, change->changed, change->invalidated);
    if (change->interface == names::kAdapter && path == adapterPath_) {
        if (change->changed.contains(QStringLiteral("Powered"))) {
            if (state() != CentralState::PoweredOn) {
                // BlueZ drops every discovery session and link with the power.
                discovery_ = Discovery::Off;
                endAllLinks("The Bluetooth adapter was powered off.");
            }
            reportStateIfChanged();
            updateDiscovery();
        }
    } else if (change->interface == names::kDevice) {
        if (change->changed.contains(QStringLiteral("Connected")) ||
            change->changed.contains(QStringLiteral("ServicesResolved"))) {
            if (const auto peripheral = knownPeripheral(path)) peripheral->linkChanged();
        }
        if (change->changed.contains(QStringLiteral("RSSI")) ||
            change->changed.contains(QStringLiteral("ManufacturerData"))) {
            deviceSeen(path);
        }
    } else if (change->interface == names::kGattCharacteristic &&
               change->changed.contains(QStringLiteral("Value"))) {
        if (const auto owner = peripheralOwning(path)) {
            owner->valueChanged(path, bytes(change->changed.value(QStringLiteral("Value"))));
        }
    }
}

void Radio::onOwnerChanged(const QString&, const QString&, const QString& newOwner) {
    // Every instance of BlueZ starts from nothing: drop what the last one said.
    ++generation_;
    const bool wasThere = bluezPresent_;
    if (wasThere) bluezLeft();
    if (!newOwner.isEmpty()) {
        bluezPresent_ = true;
        fetchObjects();
    }
}

void Radio::bluezLeft() {
    endAllLinks("BlueZ left the system bus.");
    bluezPresent_ = false;
    objectsKnown_ = false;
    mirror_.clear();
    adapterPath_.clear();
    discovery_ = Discovery::Off;
    retryTimer_->stop();
    peripherals_.clear();
    reportStateIfChanged();
}

void Radio::reportStateIfChanged() {
    const CentralState now = state();
    if (stateReported_ && now == reportedState_) return;
    stateReported_ = true;
    reportedState_ = now;
    postToCentral([](Central& central, CentralDelegate& delegate) {
        delegate.centralManagerDidUpdateState(central);
    });
}

void Radio::endAllLinks(const std::string& reason) {
    for (const auto& peripheral : livePeripherals()) peripheral->endLink(reason);
}

// --- discovery ---------------------------------------------------------------

void Radio::updateDiscovery() {
    if (!ready() || adapterPath_.isEmpty() || state() != CentralState::PoweredOn) return;
    if (discoveryWanted_ && discovery_ == Discovery::Off) {
        discovery_ = Discovery::Starting;
        // A filter of our own: only LE advertisers of the vehicle service, and
        // every advertisement re-signalled so that a device seen again is
        // reported again.
        QStringList uuidTexts;
        for (const Uuid& uuid : filter_) uuidTexts << QString::fromStdString(uuid.toString()).toLower();
        QVariantMap filter;
        filter.insert(QStringLiteral("Transport"), QStringLiteral("le"));
        filter.insert(QStringLiteral("DuplicateData"), true);
        if (!uuidTexts.isEmpty()) filter.insert(QStringLiteral("UUIDs"), uuidTexts);
        const uint64_t generation = generation_;
        const QString adapter = adapterPath_;
        call(adapter, names::kAdapter, QStringLiteral("SetDiscoveryFilter"), {filter},
             [this, generation, adapter](const QDBusMessage&) {
                 // Without the filter BlueZ still scans, only less precisely.
                 if (generation != generation_ || adapter != adapterPath_) return;
                 call(adapter, names::kAdapter, QStringLiteral("StartDiscovery"), {},
                      [this, generation, adapter](const QDBusMessage& reply) {
                          if (generation != generation_ || adapter != adapterPath_) return;
                          discoveryAnswered(reply, true);
                      });
             });
    } else if (!discoveryWanted_ && discovery_ == Discovery::On) {
        discovery_ = Discovery::Stopping;
        const uint64_t generation = generation_;
        call(adapterPath_, names::kAdapter, QStringLiteral("StopDiscovery"), {},
             [this, generation](const QDBusMessage& reply) {
                 if (generation != generation_) return;
                 discoveryAnswered(reply, false);
             });
    }
}

void Radio::discoveryAnswered(const QDBusMessage& reply, bool starting) {
    const bool ok = reply.type() == QDBusMessage::ReplyMessage;
    if (starting) {
        // "In progress": this client's session runs already.
        if (ok || isDBusError(reply, "org.bluez.Error.InProgress")) {
            discovery_ = Discovery::On;
            scanRequestChanged();
        } else {
            discovery_ = Discovery::Off;
            retryDiscoveryLater();
        }
    } else {
        discovery_ = Discovery::Off;
    }
    updateDiscovery();
}

void Radio::retryDiscoveryLater() {
    if (discoveryWanted_ && !retryTimer_->isActive()) retryTimer_->start(kRetryMs);
}

bool Radio::onAdapter(const QString& devicePath) const {
    return !adapterPath_.isEmpty() && devicePath.startsWith(adapterPath_ + QLatin1Char('/'));
}

void Radio::deviceSeen(const QString& path) {
    if (!discoveryWanted_ || !onAdapter(path)) return;
    const QVariantMap* device = mirror_.properties(path, names::kDevice);
    if (!device) return;
    AdvertisementData advertisement;
    advertisement.serviceUuids = uuids(device->value(QStringLiteral("UUIDs")));
    if (!filterPassesAny(filter_, advertisement.serviceUuids)) return;
    advertisement.manufacturerData = manufacturerData(device->value(QStringLiteral("ManufacturerData")));
    advertisement.localName = text(device->value(QStringLiteral("Name"))).toStdString();
    // Quiet while it keeps failing, by its address and by what it says it is,
    // so that an address of its own for each attempt does not escape.
    const std::string address = text(device->value(QStringLiteral("Address"))).toStdString();
    std::string identity = options_.identify ? options_.identify(advertisement) : std::string();
    if (backoff_.quiet(address, identity, loop_.now())) return;
    const int rssi = int16(device->value(QStringLiteral("RSSI"))).value_or(127);
    const std::shared_ptr<Peripheral> peripheral = peripheralFor(path);
    peripheral->setIdentity(std::move(identity));
    postToCentral([peripheral, advertisement = std::move(advertisement), rssi](Central& central,
                                                                               CentralDelegate& delegate) {
        delegate.didDiscoverPeripheral(central, peripheral, advertisement, rssi);
    });
}

void Radio::letGo(const QString& devicePath, bool disconnect, bool forget) {
    if (!ready()) return;
    const uint64_t generation = generation_;
    if (!disconnect) {
        if (forget) forgetIfTemporary(devicePath);
        return;
    }
    call(devicePath, names::kDevice, QStringLiteral("Disconnect"), {},
         [this, generation, devicePath, forget](const QDBusMessage&) {
             if (forget && generation == generation_) forgetIfTemporary(devicePath);
         });
}

void Radio::forgetIfTemporary(const QString& devicePath) {
    const QVariantMap* device = mirror_.properties(devicePath, names::kDevice);
    if (!device) return;
    // Never what the person paired or trusted, nor a device someone else
    // connected meanwhile.
    for (const char* kept : {"Paired", "Bonded", "Trusted", "Connected"}) {
        if (boolean(device->value(QLatin1String(kept))).value_or(false)) return;
    }
    QString adapter = devicePath.left(devicePath.lastIndexOf(QLatin1Char('/')));
    if (!mirror_.has(adapter, names::kAdapter)) return;
    call(adapter, names::kAdapter, QStringLiteral("RemoveDevice"), {QVariant::fromValue(QDBusObjectPath(devicePath))},
         {});
}

void Radio::deviceRemoved(const QString& path) {
    const auto found = peripherals_.find(path);
    if (found == peripherals_.end()) return;
    const std::shared_ptr<Peripheral> peripheral = found->second.lock();
    peripherals_.erase(found);
    if (peripheral) peripheral->endLink("The device is gone from BlueZ.");
}

std::shared_ptr<Peripheral> Radio::peripheralFor(const QString& path) {
    std::shared_ptr<Peripheral> peripheral = knownPeripheral(path);
    if (peripheral) return peripheral;
    peripheral = std::make_shared<Peripheral>(shared_from_this(), path);
    peripherals_[path] = peripheral;
    if (peripherals_.size() >= pruneAt_) {
        std::erase_if(peripherals_, [](const auto& entry) { return entry.second.expired(); });
        pruneAt_ = std::max<std::size_t>(64, peripherals_.size() * 2);
    }
    return peripheral;
}

std::shared_ptr<Peripheral> Radio::knownPeripheral(const QString& path) const {
    const auto found = peripherals_.find(path);
    return found == peripherals_.end() ? nullptr : found->second.lock();
}

std::shared_ptr<Peripheral> Radio::peripheralOwning(const QString& gattPath) const {
    // BlueZ nests GATT objects below their device: .../dev_XX/serviceNNNN/charNNNN.
    const qsizetype device = gattPath.indexOf(QStringLiteral("/dev_"));
    if (device < 0) return nullptr;
    const qsizetype end = gattPath.indexOf(QLatin1Char('/'), device + 1);
    return knownPeripheral(end < 0 ? gattPath : gattPath.left(end));
}

std::vector<std::shared_ptr<Peripheral>> Radio::livePeripherals() const {
    std::vector<std::shared_ptr<Peripheral>> live;
    for (const auto& [path, weak] : peripherals_) {
        if (auto peripheral = weak.lock()) live.push_back(std::move(peripheral));
    }
    return live;
}

}  // namespace ble::bluez
