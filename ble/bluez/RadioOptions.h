// How the BlueZ radio is set up; the defaults are the program's.
#pragma once

#include <chrono>
#include <functional>
#include <cstddef>
#include <string>
#include <vector>

#include "ble/DeviceRules.h"
#include "ble/FrameRule.h"

namespace ble::bluez {

// Among RadioOptions::adapters: every adapter there is.
inline constexpr const char* kAllAdapters = "all";

struct RadioOptions {
    // The adapter's address ("00:1A:7D:DA:71:13"); empty for the first
    // powered adapter (else the first one) in BlueZ's order.
    std::string adapterAddress;
    // Several adapters at once, each by the system's name ("hci1") or its
    // address; kAllAdapters among them means every adapter BlueZ has,
    // followed as adapters come, go and are powered on or off. Empty: the
    // one adapter of adapterAddress.
    std::vector<std::string> adapters;
    // Links the radio puts through one adapter; fewer once its controller
    // refuses one for lack of resources.
    std::size_t linksPerAdapter = 5;
    // A room learnt from a refusal is whole again after this long (or at the
    // adapter's next link), so one refusal never shrinks an adapter for good.
    std::chrono::milliseconds roomRefusalLasts{30000};
    // Connect calls at a time on one adapter: the kernel runs one LE
    // connection attempt per controller anyway, and a second one waiting
    // there would use up its own timeout.
    std::size_t connectsPerAdapter = 1;
    // BlueZ never gives up on a connection by itself (the kernel does, after
    // about 20 s): past this the radio does, and reports a failed connection.
    std::chrono::milliseconds connectTimeout{10000};
    // Once connected, BlueZ may say the services are resolved before their
    // objects exist, or never: a link whose layout is not there this long
    // after it came up is given up.
    std::chrono::milliseconds readyTimeout{10000};
    // At most this many connection attempts at a time over every adapter;
    // the rest wait in order.
    std::size_t connectAttempts = 4;
    // Writes without response leave at once while a characteristic's burst
    // lasts; the burst refills one frame per interval. Three frames carry a
    // link's handshake and its first drive frame together.
    std::chrono::milliseconds writeInterval{20};
    std::size_t writeBurst = 3;
    // How long a D-Bus call (a write, a subscription) may stay unanswered.
    std::chrono::milliseconds callTimeout{10000};
    // Which waiting frame a newer one may replace; handed in by whoever
    // assembles the radio. Empty: none, every frame waits its turn.
    SupersedeRule supersedes;
    // The GATT objects a link needs before it is reported connected.
    GattLayout layout;
    // Names a device across its addresses, so that failures to connect quiet
    // it whatever address it advertises from next.
    IdentityRule identify;
    // Where the radio tells what it decided on its own (a car moved to
    // another adapter, and why); nowhere when empty.
    std::function<void(const std::string& line)> note;
};

}  // namespace ble::bluez
