// How this platform's adapter watch reads as AdapterEntry: one reading for
// the Radio menu's list and for the adapter a person names. Inside radio/.
#pragma once

#include <QString>
#include <vector>

#include "radio/AdapterEntry.h"

#if ZELTO_WITH_BLUEZ
#include "ble/bluez/AdapterProbe.h"
#else
#include "ble/qt/LocalAdapterWatch.h"
#endif

namespace radio_watch {

#if ZELTO_WITH_BLUEZ
// BlueZ names an adapter by its object's path: "/org/bluez/hci0" is hci0.
inline AdapterEntry entryOf(const ble::bluez::AdapterProbeResult& adapter) {
    return AdapterEntry{QString::fromStdString(adapter.name), QString::fromStdString(adapter.address), adapter.powered,
                        QString::fromStdString(adapter.path).section(QLatin1Char('/'), -1)};
}
#else
// Qt Bluetooth knows one name: the system's.
inline AdapterEntry entryOf(const ble::qt::LocalAdapter& adapter) {
    const QString name = QString::fromStdString(adapter.name);
    return AdapterEntry{name, QString::fromStdString(adapter.address), adapter.powered, name};
}
#endif

template <typename Adapters>
std::vector<AdapterEntry> entriesOf(const Adapters& adapters) {
    std::vector<AdapterEntry> entries;
    for (const auto& adapter : adapters) entries.push_back(entryOf(adapter));
    return entries;
}

}  // namespace radio_watch
