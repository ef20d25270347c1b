// The radio's adapters: which of BlueZ's it drives, their coming, going and
// power, the links each holds and has room for, and which of them hear a
// device best.
#include <QTimer>
#include <algorithm>
#include <set>

#include "ble/bluez/BluezNames.h"
#include "ble/bluez/DBusValues.h"
#include "ble/bluez/DevicePaths.h"
#include "ble/bluez/Peripheral.h"
#include "ble/bluez/Radio.h"

namespace ble::bluez {
namespace {

// Below every reading: an adapter that knows the device but hears it not now.
constexpr int kNotHeard = -1000;
// A controller without room refuses the connection at once (its command
// status); a link that fails to come up takes longer.
constexpr std::chrono::milliseconds kRoomRefusalTakes{1000};

bool hasRoom(const std::map<std::string, std::size_t>& free, const QString& adapter) {
    const auto found = free.find(adapter.toStdString());
    return found != free.end() && found->second > 0;
}

}  // namespace

void Radio::adaptersChanged() {
    for (const QString& path : adapters_.choose(mirror_)) endLinksThrough(path, "The Bluetooth adapter was removed.");
    reportStateIfChanged();
    updateDiscovery();
    connects_.pump();
}

void Radio::adapterPowerChanged(const QString& adapterPath) {
    if (!adapterPowered(mirror_, adapterPath)) {
        // BlueZ drops the adapter's discovery sessions and links with the
        // power, and the controller starts afresh.
        if (AdapterSet::Adapter* adapter = adapters_.find(adapterPath)) {
            adapter->discovery = AdapterSet::Discovery::Off;
            adapter->restoreRoom(adapters_.fullRoom());
        }
        endLinksThrough(adapterPath, "The Bluetooth adapter was powered off.");
    }
    reportStateIfChanged();
    updateDiscovery();
    connects_.pump();
}

void Radio::adapterRemoved(const QString& adapterPath) {
    if (adapters_.contains(adapterPath)) endLinksThrough(adapterPath, "The Bluetooth adapter was removed.");
    // Its devices go with it, whether BlueZ says so for each or not.
    const std::vector<QString> devices = mirror_.below(adapterPath, names::kDevice);
    mirror_.removeBelow(adapterPath);
    for (const QString& device : devices) deviceRemoved(device);
    adaptersChanged();
}

void Radio::endLinksThrough(const QString& adapterPath, const std::string& reason) {
    for (const auto& peripheral : livePeripherals()) {
        if (peripheral->holdsLink() && paths::adapterOf(peripheral->path()) == adapterPath) {
            peripheral->endLink(reason);
        } else if (peripheral->queued() && adaptersHearing(peripheral->path(), peripheral->refusedBy()).empty()) {
            peripheral->endLink(reason);
        }
    }
}

std::map<QString, std::size_t> Radio::linksHeld(const QString& exceptDevice) const {
    std::map<QString, std::size_t> held;
    std::set<QString> counted{exceptDevice};
    for (const auto& peripheral : livePeripherals()) {
        if (!peripheral->holdsLink() || !counted.insert(peripheral->path()).second) continue;
        ++held[paths::adapterOf(peripheral->path())];
    }
    // Other programs' links take the controller's room as well.
    for (const QString& device : mirror_.all(names::kDevice)) {
        if (!counted.contains(device) && connectedAt(mirror_, device)) ++held[paths::adapterOf(device)];
    }
    return held;
}

std::size_t Radio::linksThrough(const QString& adapterPath, const QString& exceptDevice) const {
    const std::map<QString, std::size_t> held = linksHeld(exceptDevice);
    const auto found = held.find(adapterPath);
    return found == held.end() ? 0 : found->second;
}

std::map<std::string, std::size_t> Radio::freeLinks() {
    const std::map<QString, std::size_t> held = linksHeld();
    std::map<std::string, std::size_t> free;
    for (auto& [path, adapter] : adapters_.all()) {
        if (!adapterPowered(mirror_, path)) continue;
        const auto found = held.find(path);
        const std::size_t used = found == held.end() ? 0 : found->second;
        // An adapter that holds no link takes the full room again, and so
        // does one refused long enough ago: a room misjudged from one
        // refusal does not stay small for good.
        if (used == 0 || (adapter.roomRefused && loop_.now() - adapter.roomRefusedAt >= options_.roomRefusalLasts)) {
            adapter.restoreRoom(adapters_.fullRoom());
        }
        free[path.toStdString()] = adapter.room > used ? adapter.room - used : 0;
    }
    return free;
}

std::vector<QString> Radio::adaptersHearing(const QString& devicePath, const std::vector<QString>& excluded) const {
    const QString key = paths::deviceKey(devicePath);
    std::vector<std::pair<int, QString>> heard;
    for (const auto& [adapter, state] : adapters_.all()) {
        if (std::find(excluded.begin(), excluded.end(), adapter) != excluded.end()) continue;
        if (!adapterPowered(mirror_, adapter)) continue;
        const QVariantMap* device = mirror_.properties(paths::deviceOn(adapter, key), names::kDevice);
        if (!device) continue;
        heard.emplace_back(int16(device->value(QStringLiteral("RSSI"))).value_or(kNotHeard), adapter);
    }
    std::stable_sort(heard.begin(), heard.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<QString> adapters;
    for (const auto& entry : heard) adapters.push_back(entry.second);
    return adapters;
}

QString Radio::connectedObject(const QString& devicePath) const {
    const QString key = paths::deviceKey(devicePath);
    for (const auto& [adapter, state] : adapters_.all()) {
        const QString object = paths::deviceOn(adapter, key);
        if (adapterPowered(mirror_, adapter) && connectedAt(mirror_, object)) return object;
    }
    return {};
}

// What a controller without room for another link makes Connect answer:
// BlueZ 5.66 passes every failed LE connection on as org.bluez.Error.Failed
// "le-connection-abort-by-local", the controller's own reason (HCI status
// 0x0d, Connection Rejected due to Limited Resources, or 0x07, Memory
// Capacity Exceeded) staying in the kernel; other versions may name it. So a
// refusal is taken for a full adapter when its message names resources or
// capacity, or when it is that abort on an adapter that holds other links
// while another adapter that heard the device has room. A room misjudged so
// costs the car a weaker adapter, never its connection, and is whole again
// once the adapter holds no links.
bool Radio::refusedForRoom(const QDBusMessage& reply, const QString& devicePath,
                           const std::vector<QString>& excluded, std::chrono::milliseconds answeredAfter) {
    if (reply.type() != QDBusMessage::ErrorMessage || reply.errorName() != QLatin1String("org.bluez.Error.Failed")) {
        return false;
    }
    const QString adapterPath = paths::adapterOf(devicePath);
    AdapterSet::Adapter* adapter = adapters_.find(adapterPath);
    if (!adapter) return false;
    const std::size_t links = linksThrough(adapterPath, devicePath);
    const QString message = reply.errorMessage();
    const bool named = message.contains(QLatin1String("resources"), Qt::CaseInsensitive) ||
                       message.contains(QLatin1String("capacity"), Qt::CaseInsensitive);
    if (!named) {
        // A controller out of room refuses at once; an abort that took its
        // time is the radio link failing, whatever the adapter holds.
        if (message != QLatin1String("le-connection-abort-by-local") || links == 0 ||
            answeredAfter > kRoomRefusalTakes) {
            return false;
        }
        std::vector<QString> elsewhere = excluded;
        elsewhere.push_back(adapterPath);
        const std::map<std::string, std::size_t> free = freeLinks();
        const std::vector<QString> others = adaptersHearing(devicePath, elsewhere);
        if (std::none_of(others.begin(), others.end(), [&free](const QString& a) { return hasRoom(free, a); })) {
            return false;
        }
    }
    roomRefused(*adapter, links);
    return true;
}

void Radio::roomRefused(AdapterSet::Adapter& adapter, std::size_t links) {
    adapter.refuseRoom(links, loop_.now());
    QTimer::singleShot(options_.roomRefusalLasts, this, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->connects_.pump();
    });
}

bool Radio::moveACarOff(const QString& full, const std::string& forWhom,
                        const std::map<std::string, std::size_t>& free) {
    const std::vector<std::shared_ptr<Peripheral>> live = livePeripherals();
    if (std::any_of(live.begin(), live.end(), [](const auto& p) { return p->moving(); })) return false;
    const auto rssiAt = [this](const QString& device) {
        return int16(mirror_.property(device, names::kDevice, QStringLiteral("RSSI"))).value_or(kNotHeard);
    };
    for (const auto& car : live) {
        if (!car->connected() || paths::adapterOf(car->path()) != full) continue;
        const int here = rssiAt(car->path());
        for (const QString& other : adaptersHearing(car->path(), {full})) {
            const QString there = paths::deviceOn(other, paths::deviceKey(car->path()));
            // A connected car does not advertise: a reading that is not
            // there says nothing against the other adapter.
            const int heard = rssiAt(there);
            if (!hasRoom(free, other) || (heard != kNotHeard && here != kNotHeard && heard < here)) continue;
            if (options_.note) {
                options_.note("Moving " + car->identifier() + " from " + paths::adapterName(full).toStdString() +
                              " to " + paths::adapterName(other).toStdString() + ": " + forWhom + ", which only " +
                              paths::adapterName(full).toStdString() + " hears, needs its room.");
            }
            car->relocate(there);
            return true;
        }
    }
    return false;
}

void Radio::relieveStarvedCar() {
    if (!ready() || adapters_.all().size() < 2) return;
    const std::map<std::string, std::size_t> free = freeLinks();
    for (const auto& waiting : livePeripherals()) {
        if (!waiting->queued()) continue;
        const std::vector<QString> hearing = adaptersHearing(waiting->path());
        if (std::any_of(hearing.begin(), hearing.end(), [&free](const QString& a) { return hasRoom(free, a); })) {
            continue;
        }
        for (const QString& full : hearing) {
            if (moveACarOff(full, waiting->identifier(), free)) return;
        }
    }
}

bool Radio::makeRoomFor(const QDBusMessage& reply, const QString& devicePath, std::chrono::milliseconds answeredAfter) {
    if (!isDBusError(reply, "org.bluez.Error.Failed") || answeredAfter > kRoomRefusalTakes ||
        adapters_.all().size() < 2) {
        return false;
    }
    const QString adapterPath = paths::adapterOf(devicePath);
    AdapterSet::Adapter* adapter = adapters_.find(adapterPath);
    const std::size_t links = linksThrough(adapterPath, devicePath);
    // Once per refused room: BlueZ 5.66 words a link that fails to come up
    // the same way, and such a car must not move the others again and again.
    if (!adapter || adapter->roomRefused || links == 0) return false;
    const std::string address = text(mirror_.property(devicePath, names::kDevice, QStringLiteral("Address"))).toStdString();
    if (!moveACarOff(adapterPath, address, freeLinks())) return false;
    // The refusal was for room after all: the car waits for the one moving away.
    roomRefused(*adapter, links);
    return true;
}

void Radio::linkUpThrough(const QString& adapterPath) {
    AdapterSet::Adapter* adapter = adapters_.find(adapterPath);
    if (!adapter || !adapter->roomRefused) return;
    // A link came up there after all: the refusal was no measure of its room.
    adapter->restoreRoom(adapters_.fullRoom());
}

}  // namespace ble::bluez
