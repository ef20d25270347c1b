// The errors the simulated radio reports, one place for their texts.
#pragma once

#include "ble/Bluetooth.h"

namespace ble::sim::errors {

Error connectFailed();
Error poweredOff();
Error outOfRange();
Error linkLost();
Error peerDisconnected();
Error unknownPeripheral();
Error notificationsUnsupported();
// An error switched on by a fault, naming the operation it broke.
Error injected(const char* operation);

}  // namespace ble::sim::errors
