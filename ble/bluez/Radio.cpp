#include "ble/bluez/Radio.h"

#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>
#include <algorithm>

#include "ble/UuidFilter.h"
#include "ble/bluez/BluezNames.h"
#include "ble/bluez/Central.h"
#include "ble/bluez/DBusValues.h"
#include "ble/bluez/DevicePaths.h"
#include "ble/bluez/Peripheral.h"

namespace ble::bluez {
namespace {

constexpr int kFetchTimeoutMs = 5000;
constexpr int kRetryMs = 1000;

// A D-Bus call's timeout: at least 1 ms, at most 2 minutes.
int boundedMs(std::chrono::milliseconds timeout) {
    return static_cast<int>(std::clamp<long long>(timeout.count(), 1, 120000));
}

// The radios alive in this process, for letting go of every link at its end.
std::set<Radio*>& liveRadios() {
    static std::set<Radio*> radios;
    return radios;
}

}  // namespace

Radio::Radio(EventLoop& loop, RadioOptions options, QDBusConnection bus)
    : loop_(loop),
      options_(std::move(options)),
      bus_(std::move(bus)),
      adapters_(options_),
      connects_(std::max<std::size_t>(options_.connectAttempts, 1),
                std::max<std::size_t>(options_.connectsPerAdapter, 1)) {
    connects_.setFreeLinks([this] { return freeLinks(); });
    connects_.setStretchable([this](const std::string& adapter) -> std::optional<std::size_t> {
        const QString path = QString::fromStdString(adapter);
        const AdapterSet::Adapter* found = adapters_.find(path);
        if (found == nullptr || found->roomRefused) return std::nullopt;
        return linksThrough(path);
    });
    liveRadios().insert(this);
    placementTimer_ = new QTimer(this);
    QObject::connect(placementTimer_, &QTimer::timeout, this, [this] { relieveStarvedCar(); });
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

Radio::~Radio() { liveRadios().erase(this); }

void Radio::start() {
    if (!bus_.isConnected()) {
        reportStateIfChanged();
        return;
    }
    placementTimer_->start(1000);
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
    if (adapters_.empty()) return CentralState::Unsupported;
    // On while any adapter of the set can scan.
    const auto& all = adapters_.all();
    const bool powered = std::any_of(all.begin(), all.end(),
                                     [this](const auto& entry) { return adapterPowered(mirror_, entry.first); });
    return powered ? CentralState::PoweredOn : CentralState::PoweredOff;
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
    if (!discoveryWanted_) return;
    for (const auto& [path, adapter] : adapters_.all()) {
        if (adapter.discovery == AdapterSet::Discovery::On) reportLiveDevices(path);
    }
}

void Radio::postToCentral(CentralEvent event) {
    loop_.post([weak = weak_from_this(), event = std::move(event)] {
        if (const std::shared_ptr<Radio> self = weak.lock()) self->runForCentral(event);
    });
}

void Radio::runForCentral(const CentralEvent& event) {
    const std::shared_ptr<Central> current = central();
    if (!current) return;
    const std::shared_ptr<CentralDelegate> delegate = current->delegate();
    if (!delegate) return;
    event(*current, *delegate);
}

void Radio::call(const QString& path, const QString& interface, const QString& method,
                 const QList<QVariant>& arguments, Reply done) {
    QDBusMessage message = QDBusMessage::createMethodCall(names::kService, path, interface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, boundedMs(options_.callTimeout)), this);
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
    // A new instance of BlueZ: every adapter starts afresh. Peripherals
    // whose device is gone from BlueZ go; the others follow what BlueZ says
    // of their link now.
    adapters_.clear();
    adapters_.choose(mirror_);
    for (const auto& peripheral : livePeripherals()) {
        if (!mirror_.has(peripheral->path(), names::kDevice)) deviceRemoved(peripheral->path());
    }
    reportStateIfChanged();
    for (const auto& peripheral : livePeripherals()) peripheral->linkChanged();
    updateDiscovery();
}

void Radio::onInterfacesAdded(const QDBusMessage& signal) {
    if (!objectsKnown_) return;  // the coming answer to GetManagedObjects has it
    const auto added = readInterfacesAdded(signal);
    if (!added) return;
    const auto& [path, interfaces] = *added;
    mirror_.add(path, interfaces);
    if (interfaces.contains(names::kAdapter)) adaptersChanged();
    if (interfaces.contains(names::kDevice)) {
        // BlueZ makes a device object when a discovery sees it: it is live.
        if (interfaces.value(names::kDevice).contains(QStringLiteral("RSSI"))) deviceSeen(path);
        if (const auto peripheral = peripheralAt(path)) peripheral->linkChanged();
        // Another adapter that hears a waiting car may take it.
        if (adapters_.holds(path)) connects_.pump();
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
    if (interfaces.contains(names::kAdapter)) adapterRemoved(path);
}

void Radio::onPropertiesChanged(const QDBusMessage& signal) {
    if (!objectsKnown_) return;
    const auto change = readPropertiesChanged(signal);
    if (!change) return;
    const QString path = signal.path();
    mirror_.change(path, change->interface, change->changed, change->invalidated);
    if (change->interface == names::kAdapter) {
        if (change->changed.contains(QStringLiteral("Powered")) && adapters_.contains(path)) {
            adapterPowerChanged(path);
        }
    } else if (change->interface == names::kDevice) {
        if (change->changed.contains(QStringLiteral("Connected")) ||
            change->changed.contains(QStringLiteral("ServicesResolved"))) {
            if (const auto peripheral = peripheralAt(path)) peripheral->linkChanged();
        }
        if (change->changed.contains(QStringLiteral("Connected"))) {
            if (!connectedAt(mirror_, path)) {
                // Down at BlueZ: nothing of it to let go, and nobody else drives it.
                drivenElsewhere_.erase(path);
                const auto peripheral = peripheralAt(path);
                if (!peripheral || peripheral->idle()) links_.erase(path);
            }
            // A link that ended frees room on its adapter.
            if (adapters_.holds(path)) connects_.pump();
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
    adapters_.clear();
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

void Radio::retryDiscoveryLater() {
    if (discoveryWanted_ && !retryTimer_->isActive()) retryTimer_->start(kRetryMs);
}

void Radio::letGo(const QString& devicePath, bool disconnect, bool forget) {
    if (!ready()) return;
    const uint64_t generation = generation_;
    if (!disconnect) {
        if (forget) forgetIfTemporary(devicePath);
        return;
    }
    call(devicePath, names::kDevice, QStringLiteral("Disconnect"), {},
         [this, generation, devicePath, forget](const QDBusMessage& reply) {
             // BlueZ answers once the link is down, before it says so in
             // Connected (from an idle callback): the answer is the news.
             if (forget && generation == generation_) {
                 forgetIfTemporary(devicePath, reply.type() == QDBusMessage::ReplyMessage);
             }
         });
}

void Radio::linkTaken(const QString& devicePath) {
    links_.insert(devicePath);
    drivenElsewhere_.erase(devicePath);
}

void Radio::drivenElsewhere(const QString& devicePath) {
    links_.erase(devicePath);
    drivenElsewhere_.insert(devicePath);
}

bool Radio::isDrivenElsewhere(const QString& devicePath) const { return drivenElsewhere_.contains(devicePath); }

std::vector<QDBusPendingCall> Radio::disconnectOwnLinks(int timeoutMs) {
    std::vector<QDBusPendingCall> calls;
    if (ready()) {
        for (const QString& path : links_) {
            const auto peripheral = peripheralAt(path);
            if (!connectedAt(mirror_, path) && !(peripheral && !peripheral->idle())) continue;
            QDBusMessage message =
                QDBusMessage::createMethodCall(names::kService, path, names::kDevice, QStringLiteral("Disconnect"));
            calls.push_back(bus_.asyncCall(message, timeoutMs));
        }
    }
    links_.clear();
    return calls;
}

void Radio::releaseLinksOfEveryRadio(std::chrono::milliseconds within) {
    std::vector<QDBusPendingCall> calls;
    for (Radio* radio : liveRadios()) {
        for (QDBusPendingCall& call : radio->disconnectOwnLinks(boundedMs(within))) calls.push_back(std::move(call));
    }
    // Qt's D-Bus answers on a thread of its own: waiting needs no event loop,
    // and each wait ends at its call's timeout, counted from the same start.
    for (QDBusPendingCall& call : calls) call.waitForFinished();
}

void Radio::forgetIfTemporary(const QString& devicePath, bool justDisconnected) {
    const QVariantMap* device = mirror_.properties(devicePath, names::kDevice);
    if (!device) return;
    // Never what the person paired or trusted, nor a device someone else
    // connected meanwhile.
    for (const char* kept : {"Paired", "Bonded", "Trusted", "Connected"}) {
        if (justDisconnected && QLatin1String(kept) == QLatin1String("Connected")) continue;
        if (boolean(device->value(QLatin1String(kept))).value_or(false)) return;
    }
    QString adapter = devicePath.left(devicePath.lastIndexOf(QLatin1Char('/')));
    if (!mirror_.has(adapter, names::kAdapter)) return;
    call(adapter, names::kAdapter, QStringLiteral("RemoveDevice"), {QVariant::fromValue(QDBusObjectPath(devicePath))},
         {});
}

void Radio::deviceRemoved(const QString& path) {
    const auto found = peripherals_.find(paths::deviceKey(path));
    if (found == peripherals_.end()) return;
    const std::shared_ptr<Peripheral> peripheral = found->second.lock();
    // Another adapter's object of the car going changes nothing here.
    if (peripheral && peripheral->path() != path) return;
    // The car stays one peripheral while another adapter still hears it.
    const std::vector<QString> others = peripheral ? adaptersHearing(path) : std::vector<QString>{};
    if (others.empty()) {
        peripherals_.erase(found);
        if (peripheral) peripheral->endLink("The device is gone from BlueZ.");
        return;
    }
    if (!peripheral->queued()) peripheral->endLink("The device is gone from BlueZ.");
    peripheral->moveTo(paths::deviceOn(others.front(), paths::deviceKey(path)));
}

std::shared_ptr<Peripheral> Radio::peripheralFor(const QString& path) {
    const QString key = paths::deviceKey(path);
    const auto found = peripherals_.find(key);
    std::shared_ptr<Peripheral> peripheral = found == peripherals_.end() ? nullptr : found->second.lock();
    if (peripheral) return peripheral;
    peripheral = std::make_shared<Peripheral>(shared_from_this(), path);
    peripherals_[key] = peripheral;
    if (peripherals_.size() >= pruneAt_) {
        std::erase_if(peripherals_, [](const auto& entry) { return entry.second.expired(); });
        pruneAt_ = std::max<std::size_t>(64, peripherals_.size() * 2);
    }
    return peripheral;
}

std::shared_ptr<Peripheral> Radio::peripheralAt(const QString& path) const {
    const auto found = peripherals_.find(paths::deviceKey(path));
    std::shared_ptr<Peripheral> peripheral = found == peripherals_.end() ? nullptr : found->second.lock();
    return peripheral && peripheral->path() == path ? peripheral : nullptr;
}

std::shared_ptr<Peripheral> Radio::peripheralOwning(const QString& gattPath) const {
    // BlueZ nests GATT objects below their device: .../dev_XX/serviceNNNN/charNNNN.
    const qsizetype device = gattPath.indexOf(QStringLiteral("/dev_"));
    if (device < 0) return nullptr;
    const qsizetype end = gattPath.indexOf(QLatin1Char('/'), device + 1);
    return peripheralAt(end < 0 ? gattPath : gattPath.left(end));
}

std::vector<std::shared_ptr<Peripheral>> Radio::livePeripherals() const {
    std::vector<std::shared_ptr<Peripheral>> live;
    for (const auto& [path, weak] : peripherals_) {
        if (auto peripheral = weak.lock()) live.push_back(std::move(peripheral));
    }
    return live;
}

}  // namespace ble::bluez
