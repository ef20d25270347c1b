// A characteristic found on a real peripheral: the platform's record plus the
// Qt handles the requests on it go through.
#pragma once

#include <QLowEnergyCharacteristic>
#include <QLowEnergyService>
#include <QPointer>

#include "ble/Bluetooth.h"

namespace ble::qt {

class Characteristic : public ble::Characteristic {
public:
    Characteristic(Uuid uuid, QPointer<QLowEnergyService> service,
                   QLowEnergyCharacteristic handle)
        : ble::Characteristic(uuid), service_(std::move(service)), handle_(std::move(handle)) {}

    // Empty once the link that found it is gone.
    QLowEnergyService* service() const { return service_.data(); }
    const QLowEnergyCharacteristic& handle() const { return handle_; }

private:
    QPointer<QLowEnergyService> service_;
    QLowEnergyCharacteristic handle_;
};

}  // namespace ble::qt
