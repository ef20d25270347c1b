// Names of BlueZ's D-Bus API.
#pragma once

#include <QString>

namespace ble::bluez::names {

inline const QString kService = QStringLiteral("org.bluez");
inline const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
inline const QString kAdapter = QStringLiteral("org.bluez.Adapter1");
inline const QString kDevice = QStringLiteral("org.bluez.Device1");
inline const QString kGattService = QStringLiteral("org.bluez.GattService1");
inline const QString kGattCharacteristic = QStringLiteral("org.bluez.GattCharacteristic1");

}  // namespace ble::bluez::names
