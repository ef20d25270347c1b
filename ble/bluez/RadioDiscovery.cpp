// The radio's scan: a discovery session with the radio's own filter on every
// powered adapter of the set, and the advertisements they report.
#include "ble/UuidFilter.h"
#include "ble/bluez/BluezNames.h"
#include "ble/bluez/Central.h"
#include "ble/bluez/DBusValues.h"
#include "ble/bluez/DevicePaths.h"
#include "ble/bluez/Peripheral.h"
#include "ble/bluez/Radio.h"

namespace ble::bluez {

void Radio::updateDiscovery() {
    if (!ready()) return;
    for (auto& [path, adapter] : adapters_.all()) {
        if (!adapterPowered(mirror_, path)) continue;
        if (discoveryWanted_ && adapter.discovery == AdapterSet::Discovery::Off) {
            startDiscovery(path, adapter);
        } else if (!discoveryWanted_ && adapter.discovery == AdapterSet::Discovery::On) {
            stopDiscovery(path, adapter);
        }
    }
}

void Radio::startDiscovery(const QString& path, AdapterSet::Adapter& adapter) {
    adapter.discovery = AdapterSet::Discovery::Starting;
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
    const uint64_t serial = adapter.serial;
    call(path, names::kAdapter, QStringLiteral("SetDiscoveryFilter"), {filter},
         [this, generation, serial, path](const QDBusMessage&) {
             // Without the filter BlueZ still scans, only less precisely.
             if (generation != generation_ || !adapters_.find(path, serial)) return;
             call(path, names::kAdapter, QStringLiteral("StartDiscovery"), {},
                  [this, generation, serial, path](const QDBusMessage& reply) {
                      if (generation == generation_) discoveryAnswered(path, serial, reply, true);
                  });
         });
}

void Radio::stopDiscovery(const QString& path, AdapterSet::Adapter& adapter) {
    adapter.discovery = AdapterSet::Discovery::Stopping;
    const uint64_t generation = generation_;
    const uint64_t serial = adapter.serial;
    call(path, names::kAdapter, QStringLiteral("StopDiscovery"), {},
         [this, generation, serial, path](const QDBusMessage& reply) {
             if (generation == generation_) discoveryAnswered(path, serial, reply, false);
         });
}

void Radio::discoveryAnswered(const QString& path, uint64_t serial, const QDBusMessage& reply, bool starting) {
    AdapterSet::Adapter* adapter = adapters_.find(path, serial);
    if (!adapter) return;  // gone meanwhile, or a new coming of it
    const bool ok = reply.type() == QDBusMessage::ReplyMessage;
    if (starting) {
        // "In progress": this client's session runs already.
        if (ok || isDBusError(reply, "org.bluez.Error.InProgress")) {
            adapter->discovery = AdapterSet::Discovery::On;
            if (discoveryWanted_) reportLiveDevices(path);
        } else {
            adapter->discovery = AdapterSet::Discovery::Off;
            retryDiscoveryLater();
        }
    } else {
        adapter->discovery = AdapterSet::Discovery::Off;
    }
    updateDiscovery();
}

void Radio::reportLiveDevices(const QString& adapterPath) {
    // A connected device does not advertise, but BlueZ keeps what its last
    // advertisement said: one an earlier run (or a crash) left connected is
    // found again, and its link taken where it is.
    for (const QString& path : mirror_.below(adapterPath, names::kDevice)) {
        const bool advertising = mirror_.property(path, names::kDevice, QStringLiteral("RSSI")).isValid();
        const auto peripheral = advertising ? nullptr : peripheralAt(path);
        if (advertising || (connectedAt(mirror_, path) && (!peripheral || peripheral->idle()))) deviceSeen(path);
    }
}

int Radio::bestRssi(const QString& devicePath) const {
    // The car is as near as the adapter that hears it best.
    const QString key = paths::deviceKey(devicePath);
    std::optional<int> best;
    for (const auto& [adapter, state] : adapters_.all()) {
        const auto rssi = int16(mirror_.property(paths::deviceOn(adapter, key), names::kDevice, QStringLiteral("RSSI")));
        if (rssi && (!best || *rssi > *best)) best = *rssi;
    }
    return best.value_or(127);  // the platform's "no reading"
}

void Radio::deviceSeen(const QString& path) {
    if (!discoveryWanted_ || !adapters_.holds(path) || drivenElsewhere_.contains(path)) return;
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
    const int rssi = bestRssi(path);
    const std::shared_ptr<Peripheral> peripheral = peripheralFor(path);
    peripheral->setIdentity(std::move(identity));
    // Every adapter that hears an advertisement signals it: those that come
    // before the report goes out make one report, with the best signal.
    if (!peripheral->heard(std::move(advertisement), rssi)) return;
    loop_.post([weak = weak_from_this(), peripheral] {
        const auto heard = peripheral->takeHeard();
        const std::shared_ptr<Radio> self = weak.lock();
        if (!self || !heard) return;
        self->runForCentral([&](Central& central, CentralDelegate& delegate) {
            delegate.didDiscoverPeripheral(central, peripheral, heard->advertisement, heard->rssi);
        });
    });
}

}  // namespace ble::bluez
