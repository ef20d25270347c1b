// What the driver's side of the broker radio is told of the protocol it
// carries, by whoever assembles it; the radio itself knows none.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"

namespace ble::mqtt {

struct DriverRules {
    // The slot a frame fills: while frames wait at the relay, a newer one of
    // the same slot takes the older one's place. Empty: the frame keeps its
    // turn. An empty rule gives no frame a slot.
    std::function<std::string(const std::vector<uint8_t>& frame)> slotOf;
    // The frames that stop a car through this characteristic, handed to the
    // relay before the first write so that it can stop the car when the
    // driver disappears. Empty for a characteristic that drives nothing.
    std::function<std::vector<std::vector<uint8_t>>(const Uuid& characteristic)> stopFramesFor;
    // Where the radio's own lines go (dropped input, the broker lost).
    std::function<void(const std::string& line)> log;
};

}  // namespace ble::mqtt
