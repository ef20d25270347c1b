// The vehicle protocol's rules in the form the radios take them: which frames
// a radio may drop for a newer one, which GATT objects a vehicle's link
// needs, and which vehicle an advertisement comes from.
#pragma once

#include "ble/DeviceRules.h"
#include "ble/FrameRule.h"

namespace link_rules {

// A waiting set-speed, change-lane or set-offset frame gives way to a newer
// one of the same kind; a waiting stop (speed 0) gives way only to a stop.
ble::SupersedeRule vehicleFrames();

// The vehicle service with its read and write characteristics.
ble::GattLayout vehicleLayout();

// The vehicle identifier in the advertisement's manufacturer data, as text;
// empty for anything that is not a vehicle's advertisement.
ble::IdentityRule vehicleIdentity();

}  // namespace link_rules
