// The real radio on Linux: each call makes a new central over BlueZ's D-Bus
// API on the chosen adapter. All centrals share one radio (one view of
// BlueZ, one peripheral object per device). The event loop must outlive every
// central and peripheral made.
#pragma once

#include <QDBusConnection>
#include <chrono>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"
#include "ble/bluez/RadioOptions.h"

namespace ble::bluez {

// On the system bus.
CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options);
CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options, QDBusConnection bus);

// The program ends: every radio made here lets go, at BlueZ, of the links it
// made or took (links belong to BlueZ and would outlive the program), and
// this returns once BlueZ has answered or `within` has passed. Nothing is
// written to the devices.
void releaseEveryLink(std::chrono::milliseconds within);

}  // namespace ble::bluez
