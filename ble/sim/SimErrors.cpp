#include "ble/sim/SimErrors.h"

#include <string>

namespace ble::sim::errors {

// Codes follow the usual platform numbering where one exists.
Error connectFailed() { return Error("Failed to connect to the peripheral.", 10); }
Error poweredOff() { return Error("Bluetooth is powered off.", 4); }
Error outOfRange() { return Error("The peripheral is out of range.", 6); }
Error linkLost() { return Error("The connection has timed out unexpectedly.", 6); }
Error peerDisconnected() { return Error("The specified device has disconnected from us.", 7); }
Error unknownPeripheral() { return Error("The peripheral is not known to this central.", 8); }
Error notificationsUnsupported() {
    return Error("The characteristic does not support notifications.", 6);
}
Error injected(const char* operation) {
    return Error(std::string("Simulated failure: ") + operation + ".", 14);
}

}  // namespace ble::sim::errors
