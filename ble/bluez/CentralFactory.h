// The real radio on Linux: each call makes a new central over BlueZ's D-Bus
// API on the chosen adapter. All centrals share one radio (one view of
// BlueZ, one peripheral object per device). The event loop must outlive every
// central and peripheral made.
#pragma once

#include <QDBusConnection>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"
#include "ble/bluez/RadioOptions.h"

namespace ble::bluez {

// On the system bus.
CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options);
CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options, QDBusConnection bus);

}  // namespace ble::bluez
