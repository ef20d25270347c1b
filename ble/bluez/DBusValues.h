// BlueZ's values as they arrive over D-Bus, read without trusting them: a
// value of another type than documented reads as absent.
#pragma once

#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/bluez/ObjectMirror.h"

namespace ble::bluez {

// GetManagedObjects' answer: a{oa{sa{sv}}}.
std::vector<std::pair<QString, InterfaceMap>> readManagedObjects(const QDBusMessage& reply);
// InterfacesAdded(o, a{sa{sv}}).
std::optional<std::pair<QString, InterfaceMap>> readInterfacesAdded(const QDBusMessage& signal);
// InterfacesRemoved(o, as).
std::optional<std::pair<QString, QStringList>> readInterfacesRemoved(const QDBusMessage& signal);
// PropertiesChanged(s, a{sv}, as).
struct PropertiesChange {
    QString interface;
    QVariantMap changed;
    QStringList invalidated;
};
std::optional<PropertiesChange> readPropertiesChanged(const QDBusMessage& signal);

// ManufacturerData (a{qv}, company id -> bytes) as the data part of the
// advertisement's field: the company id little-endian, then its bytes. With
// several company ids, the vehicles' 0xEFBE if present, else the lowest.
std::optional<std::vector<uint8_t>> manufacturerData(const QVariant& value);
std::vector<uint8_t> bytes(const QVariant& value);
QStringList strings(const QVariant& value);
std::vector<Uuid> uuids(const QVariant& value);
std::optional<bool> boolean(const QVariant& value);
std::optional<int> int16(const QVariant& value);
QString text(const QVariant& value);
std::optional<uint16_t> uint16(const QVariant& value);

// Whether the answer is the D-Bus error of that name.
bool isDBusError(const QDBusMessage& reply, const char* name);
// BlueZ's error answer as a readable text for the log: "name: message".
std::string describeReply(const QDBusMessage& reply);

}  // namespace ble::bluez
