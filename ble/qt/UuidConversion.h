// Between the platform interface's UUIDs and Qt's.
#pragma once

#include <QBluetoothUuid>

#include "ble/Bluetooth.h"

namespace ble::qt {

QBluetoothUuid toQt(const Uuid& uuid);
Uuid fromQt(const QBluetoothUuid& uuid);

}  // namespace ble::qt
