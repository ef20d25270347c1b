// A characteristic of a BlueZ device: its object path and flags, the pacer of
// its writes, and its acquired sockets or notification session. The object
// outlives a change of the device's services: its path follows BlueZ's.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "ble/Bluetooth.h"
#include "ble/bluez/AcquiredSocket.h"
#include "ble/bluez/FramePacer.h"

namespace ble::bluez {

class GattCharacteristic : public ble::Characteristic {
public:
    GattCharacteristic(Uuid uuid, QString path) : ble::Characteristic(uuid), path_(std::move(path)) {}

    const QString& path() const { return path_; }
    void setPath(QString path) { path_ = std::move(path); }

    // The sockets, sessions and requests of the last link or object go; what
    // the delegate wants, and the frames waiting, stay.
    void dropTransport() {
        ++epoch;
        writeSocket.reset();
        notifySocket.reset();
        notifySession = false;
        notifyPending = false;
        acquiringWrite = false;
        acquireWriteFailed = false;
        mtu = 0;
    }

    QStringList flags;
    // BlueZ offers AcquireWrite / AcquireNotify here (their property is present).
    bool canAcquireWrite = false;
    bool canAcquireNotify = false;
    bool acquireWriteFailed = false;
    bool acquiringWrite = false;
    std::unique_ptr<AcquiredSocket> writeSocket;
    std::unique_ptr<AcquiredSocket> notifySocket;
    bool notifySession = false;  // StartNotify went through: values come as Value changes
    bool notifyWanted = false;   // what the delegate asked for last
    bool notifyPending = false;  // an AcquireNotify or StartNotify is on its way
    // Numbers the sockets and requests of this characteristic: answers and
    // hang-ups of an older one (before the services changed) find nothing to do.
    uint64_t epoch = 0;
    // The ATT MTU as AcquireWrite told it; 0 until then.
    uint16_t mtu = 0;
    std::unique_ptr<FramePacer> pacer;

private:
    QString path_;
};

}  // namespace ble::bluez
