// A characteristic of a BlueZ device: its object path and flags, the pacer of
// its writes, and its acquired sockets or notification session.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "ble/Bluetooth.h"
#include "ble/bluez/AcquiredSocket.h"
#include "ble/bluez/FramePacer.h"

namespace ble::bluez {

class GattCharacteristic : public ble::Characteristic {
public:
    GattCharacteristic(Uuid uuid, QString path) : ble::Characteristic(uuid), path_(std::move(path)) {}

    const QString& path() const { return path_; }

    QStringList flags;
    // BlueZ offers AcquireWrite / AcquireNotify here (their property is present).
    bool canAcquireWrite = false;
    bool canAcquireNotify = false;
    bool acquireWriteFailed = false;
    bool acquiringWrite = false;
    std::unique_ptr<AcquiredSocket> writeSocket;
    std::unique_ptr<AcquiredSocket> notifySocket;
    bool notifySession = false;  // StartNotify went through: values come as Value changes
    std::unique_ptr<FramePacer> pacer;

private:
    QString path_;
};

}  // namespace ble::bluez
