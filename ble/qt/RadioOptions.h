// How the real radio is set up; the defaults are the program's.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "ble/FrameRule.h"

namespace ble::qt {

struct RadioOptions {
    // The adapter's address ("00:1A:7D:DA:71:13"); empty for the system's default.
    std::string adapterAddress;
    // Qt never gives up on a connection by itself: past this the central does,
    // and reports a failed connection.
    std::chrono::milliseconds connectTimeout{10000};
    // Writes without response leave at once while the link's burst lasts;
    // the burst refills one frame per interval.
    std::chrono::milliseconds writeInterval{20};
    std::size_t writeBurst = 3;
    // How long a GATT request may stay unanswered before the next one goes.
    std::chrono::milliseconds requestTimeout{5000};
    // The latest-value rule for writes without response (RequestQueue.h),
    // handed in by whoever assembles the radio. Empty, every write goes
    // straight into Qt's own queue: only the bench does that, to show the
    // backlog the rule prevents.
    SupersedeRule supersedes;
};

}  // namespace ble::qt
