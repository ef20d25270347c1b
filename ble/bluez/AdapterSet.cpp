#include "ble/bluez/AdapterSet.h"

#include <algorithm>

#include "ble/bluez/BluezNames.h"
#include "ble/bluez/DBusValues.h"
#include "ble/bluez/DevicePaths.h"
#include "ble/bluez/ObjectMirror.h"

namespace ble::bluez {

bool adapterPowered(const ObjectMirror& mirror, const QString& adapterPath) {
    return boolean(mirror.property(adapterPath, names::kAdapter, QStringLiteral("Powered"))).value_or(false);
}

bool connectedAt(const ObjectMirror& mirror, const QString& devicePath) {
    return boolean(mirror.property(devicePath, names::kDevice, QStringLiteral("Connected"))).value_or(false);
}

AdapterSet::AdapterSet(const RadioOptions& options)
    : names_(options.adapters),
      every_(std::find(options.adapters.begin(), options.adapters.end(), kAllAdapters) != options.adapters.end()),
      address_(QString::fromStdString(options.adapterAddress)),
      fullRoom_(std::max<std::size_t>(options.linksPerAdapter, 1)) {}

std::vector<QString> AdapterSet::wanted(const ObjectMirror& mirror) const {
    const std::vector<QString> present = mirror.all(names::kAdapter);
    const auto addressOf = [&](const QString& path) {
        return text(mirror.property(path, names::kAdapter, QStringLiteral("Address")));
    };
    if (every_) return present;
    std::vector<QString> chosen;
    if (!names_.empty()) {
        for (const QString& path : present) {
            const bool named = std::any_of(names_.begin(), names_.end(), [&](const std::string& name) {
                const QString wanted = QString::fromStdString(name);
                return paths::adapterName(path) == wanted || addressOf(path).compare(wanted, Qt::CaseInsensitive) == 0;
            });
            if (named) chosen.push_back(path);
        }
        return chosen;
    }
    // One adapter: kept while it is there, so that another one powered on
    // meanwhile does not take its place.
    if (adapters_.size() == 1 && mirror.has(adapters_.begin()->first, names::kAdapter)) {
        return {adapters_.begin()->first};
    }
    if (!address_.isEmpty()) {
        for (const QString& path : present) {
            if (addressOf(path).compare(address_, Qt::CaseInsensitive) == 0) return {path};
        }
        return {};
    }
    for (const QString& path : present) {
        if (adapterPowered(mirror, path)) return {path};
    }
    if (!present.empty()) return {present.front()};
    return {};
}

std::vector<QString> AdapterSet::choose(const ObjectMirror& mirror) {
    const std::vector<QString> now = wanted(mirror);
    std::vector<QString> gone;
    for (auto it = adapters_.begin(); it != adapters_.end();) {
        if (std::find(now.begin(), now.end(), it->first) == now.end()) {
            gone.push_back(it->first);
            it = adapters_.erase(it);
        } else {
            ++it;
        }
    }
    for (const QString& path : now) {
        if (!adapters_.contains(path)) adapters_[path] = Adapter{Discovery::Off, fullRoom_, false, {}, ++lastSerial_};
    }
    return gone;
}

bool AdapterSet::holds(const QString& devicePath) const {
    const QString adapter = paths::adapterOf(devicePath);
    return !adapter.isEmpty() && adapter != devicePath && adapters_.contains(adapter);
}

AdapterSet::Adapter* AdapterSet::find(const QString& adapterPath) {
    const auto found = adapters_.find(adapterPath);
    return found == adapters_.end() ? nullptr : &found->second;
}

AdapterSet::Adapter* AdapterSet::find(const QString& adapterPath, uint64_t serial) {
    Adapter* adapter = find(adapterPath);
    return adapter && adapter->serial == serial ? adapter : nullptr;
}

}  // namespace ble::bluez
