// How the BlueZ radio is set up; the defaults are the program's.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "ble/FrameRule.h"

namespace ble::bluez {

struct RadioOptions {
    // The adapter's address ("00:1A:7D:DA:71:13"); empty for the first
    // powered adapter (else the first one) in BlueZ's order.
    std::string adapterAddress;
    // BlueZ never gives up on a connection by itself (the kernel does, after
    // about 20 s): past this the radio does, and reports a failed connection.
    std::chrono::milliseconds connectTimeout{10000};
    // At most this many connection attempts at a time; the rest wait in order.
    std::size_t connectAttempts = 4;
    // Writes without response go out at most one per interval and characteristic.
    std::chrono::milliseconds writeInterval{20};
    // How long a D-Bus call (a write, a subscription) may stay unanswered.
    std::chrono::milliseconds callTimeout{10000};
    // Which waiting frame a newer one may replace; handed in by whoever
    // assembles the radio. Empty: none, every frame waits its turn.
    SupersedeRule supersedes;
};

}  // namespace ble::bluez
