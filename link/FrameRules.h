// The vehicle protocol's rule of which frames a radio may drop for a newer
// one, in the form the radios take it.
#pragma once

#include "ble/FrameRule.h"

namespace link_rules {

// A waiting set-speed, change-lane or set-offset frame gives way to a newer
// one of the same kind.
ble::SupersedeRule vehicleFrames();

}  // namespace link_rules
