// A service found on a real peripheral: the platform's record plus Qt's
// service object, which belongs to the link's controller.
#pragma once

#include <QLowEnergyService>
#include <QPointer>
#include <vector>

#include "ble/Bluetooth.h"

namespace ble::qt {

class Service : public ble::Service {
public:
    Service(Uuid uuid, QPointer<QLowEnergyService> handle)
        : ble::Service(uuid), handle_(std::move(handle)) {}

    // Empty once the link that found it is gone.
    QLowEnergyService* handle() const { return handle_.data(); }

    // A characteristic discovery has been asked for and not yet reported, and
    // the characteristics it asked for (empty: all).
    bool detailsPending = false;
    std::vector<Uuid> detailsFilter;

private:
    QPointer<QLowEnergyService> handle_;
};

}  // namespace ble::qt
