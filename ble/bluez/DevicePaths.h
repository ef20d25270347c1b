// BlueZ's object paths: "/org/bluez/hci0" is an adapter, and a device heard by
// it is "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF". Another adapter that hears
// the same device has an object of its own for it, under its own path with the
// same last part: that part names the device across adapters.
#pragma once

#include <QString>

namespace ble::bluez::paths {

// "/org/bluez/hci0" for a device (or anything below one); empty for others.
inline QString adapterOf(const QString& devicePath) {
    const QString adapter = devicePath.section(QLatin1Char('/'), 0, 3);
    return adapter.count(QLatin1Char('/')) == 3 && adapter.startsWith(QLatin1String("/org/bluez/")) ? adapter
                                                                                                    : QString();
}

// "dev_AA_BB_CC_DD_EE_FF": the device, whichever adapter heard it.
inline QString deviceKey(const QString& devicePath) { return devicePath.section(QLatin1Char('/'), 4, 4); }

// The device's object below another adapter.
inline QString deviceOn(const QString& adapter, const QString& key) { return adapter + QLatin1Char('/') + key; }

// "hci0", as the system names the adapter.
inline QString adapterName(const QString& adapterPath) { return adapterPath.section(QLatin1Char('/'), -1); }

}  // namespace ble::bluez::paths
