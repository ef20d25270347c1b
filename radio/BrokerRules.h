// The vehicle protocol's part in the broker radio: the slot of each frame (a
// waiting set-speed, change-lane or offset frame gives way to a newer one of
// its kind at the relay) and the frame that stops a car, written by the relay
// when its driver disappears.
#pragma once

#include "ble/mqtt/Rules.h"

namespace broker_rules {

ble::mqtt::DriverRules vehicleDriverRules();

}  // namespace broker_rules
