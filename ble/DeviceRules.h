// What a radio needs to know of the devices it serves without knowing their
// protocol: the GATT objects a link needs before it counts as connected, and
// what names one device across the addresses it advertises from. Whoever
// assembles the radio hands these in, as it hands in the frame rule.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"

namespace ble {

// A service and the characteristics it must carry. An empty layout (no
// characteristics, nil service) asks for nothing beyond resolved services.
struct GattLayout {
    Uuid service;
    std::vector<Uuid> characteristics;
    // Of those, the one the link writes to: it must accept writes.
    Uuid writable;
};

// A stable name for the device an advertisement comes from, or empty when the
// advertisement names none. An empty rule names no device.
using IdentityRule = std::function<std::string(const AdvertisementData& advertisement)>;

}  // namespace ble
