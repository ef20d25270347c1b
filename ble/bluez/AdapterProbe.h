// Is there a Bluetooth adapter to drive? Asked of BlueZ on the system bus
// without blocking, within about a second.
//
// Qt's own ways to ask (QBluetoothLocalDevice::allDevices() among them) wait
// synchronously on BlueZ and stall for up to 50 s when its service hangs; the
// program asks this way before it touches Qt Bluetooth at all.
#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <functional>
#include <string>

class QDBusObjectPath;

namespace ble::bluez {

struct AdapterProbeResult {
    enum class Status {
        Found,        // an adapter is there (powered or not: see `powered`)
        NoSystemBus,  // no system bus to ask
        NoBluez,      // nobody answers to org.bluez
        NoAdapter,    // BlueZ answers, without an adapter
        NoAnswer,     // BlueZ did not answer in time, or answered with an error
    };
    Status status = Status::NoAnswer;
    std::string path;     // "/org/bluez/hci0"
    std::string name;     // the adapter's alias (or name)
    std::string address;  // "00:1A:7D:DA:71:13"
    bool powered = false;
    // How many of BlueZ's adapters are powered, the chosen one included.
    int poweredAdapters = 0;
    std::string detail;  // what went wrong, for the log

    bool found() const { return status == Status::Found; }
    // Found and powered: the radio to drive.
    bool usable() const { return found() && powered; }
};

const char* toString(AdapterProbeResult::Status status);

// BlueZ's answer to GetManagedObjects: object path, interface, properties.
using ManagedObjects = QMap<QDBusObjectPath, QMap<QString, QVariantMap>>;

// Picks the adapter among BlueZ's objects: the first powered one in path
// order, else the first one; NoAdapter when there is none.
AdapterProbeResult chooseAdapter(const ManagedObjects& objects);

// Asks and calls `done` exactly once, from a later turn of the Qt event loop,
// at most about `timeout` later, unless `context` is gone by then.
void probeAdapter(QObject* context, std::function<void(const AdapterProbeResult&)> done,
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
// The same on a given bus (tests).
void probeAdapter(const QDBusConnection& bus, QObject* context,
                  std::function<void(const AdapterProbeResult&)> done,
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

}  // namespace ble::bluez
