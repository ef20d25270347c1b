// The real radio for the vehicles controller: each call makes a new central
// over Qt Bluetooth on the chosen adapter. The event loop must outlive every
// central and peripheral made.
#pragma once

#include <string>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"
#include "ble/qt/RadioOptions.h"

namespace ble::qt {

// An empty address means the system's default adapter.
CentralFactory makeCentralFactory(EventLoop& loop, const std::string& adapterAddress);
CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options);

}  // namespace ble::qt
