// What one connection may cost the window, whoever is at the other end. A
// phone's page sends at most about 45 messages a second, each a few hundred
// bytes, and reads everything it is sent; these bounds leave it room and
// hold a stranger to little. Tests and benches may set others.
#pragma once

#include <QtGlobal>
#include <cstddef>

#include "app/phones/PhoneMessages.h"

namespace phone {

struct PhoneLimits {
    // Bytes taken from one socket in one turn of the loop; the rest waits for
    // the next turn, and the kernel holds back a sender that outruns it.
    qint64 readPerTurn = 4096;
    // Replies a peer has not taken yet; past this it is cut off, not buffered.
    qint64 mostUnsent = 256 * 1024;
    // Frames of any kind (control frames and fragments too) in any second
    // from a phone that showed the token; past this it is cut off.
    std::size_t mostFramesPerSecond = 100;
    // Before the token: a single frame, the hello, at most this long.
    qsizetype longestHello = kLongestMessage;
    // After it: a message, its fragments together, at most this long.
    qsizetype longestMessage = kLongestMessage * 4;
    // Connections that have not shown the token (raw, or upgraded and not yet
    // authenticated), from one peer address and from all; past either, the
    // oldest goes.
    std::size_t strangersPerAddress = 8;
    std::size_t strangers = 64;
};

}  // namespace phone
