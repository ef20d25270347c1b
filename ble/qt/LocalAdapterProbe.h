// Is there a Bluetooth adapter to drive? Asked of Qt Bluetooth's local
// device, for the platforms where Qt Bluetooth is the radio (macOS, Windows,
// and Linux builds without the BlueZ radio).
#pragma once

#include <functional>
#include <string>

class QBluetoothLocalDevice;
class QObject;

namespace ble::qt {

struct LocalAdapter {
    bool found = false;
    bool powered = false;
    std::string name;
    std::string address;  // empty where the platform does not tell it
};

// What Qt tells of one local device, read one way for the probe and the watch.
LocalAdapter localAdapterOf(const QBluetoothLocalDevice& device);

// Calls `done` exactly once, from a later turn of the Qt event loop, unless
// `context` is gone by then.
void probeLocalAdapter(QObject* context, std::function<void(const LocalAdapter&)> done);

}  // namespace ble::qt
