// Hands one peripheral's GATT requests to Qt one at a time, and keeps a fast
// stream of latest-value frames from building a backlog.
//
// Qt Bluetooth sends a GATT request to BlueZ only once the previous one has
// been answered; requests made faster than that wait in Qt's own queue, where
// nothing can take them back, so a slider dragged fast would leave the vehicle
// further and further behind the hand. This queue sits in front of Qt's and
// lets one request at a time through. The latest-value rule, applied only
// while a request is in flight:
//   - a new frame replaces the newest waiting request when both are writes
//     without response to the same characteristic and the rule it is given
//     (the protocol's: same kind of set-speed, change-lane or offset frame)
//     lets the newer one supersede the waiting one: the vehicle gets the
//     newest value as soon as the link is free, stale ones never;
//   - everything else waits in order: frames of different kinds never merge,
//     and frames of one kind merge only when consecutive.
// A request made while nothing is in flight goes out at once, so commands sent
// one at a time each give exactly one write, and the handshake (03 90 01 01,
// then 01 18) goes out whole and in order. A write without response is in
// flight only while the link has no room for the next (Peripheral's
// WriteBucket): within the burst, nothing waits and nothing merges.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "ble/FrameRule.h"

namespace ble::qt {

class RequestQueue {
public:
    // Without a rule no frame replaces another: every request waits its turn.
    explicit RequestQueue(SupersedeRule supersedes = {}) : supersedes_(std::move(supersedes)) {}

    // Hands the request to Qt; the ticket names it when it is answered.
    using Issue = std::function<void(uint64_t ticket)>;

    struct Request {
        const void* target = nullptr;  // the characteristic, by identity
        std::vector<uint8_t> frame;    // the bytes of a write, else empty
        bool withoutResponse = false;  // only these may be replaced
        Issue issue;
        std::function<void()> replaced = {};  // a newer frame took its place before it went
    };

    // Issues the request now when nothing is in flight; otherwise it waits,
    // or replaces the newest waiting request under the latest-value rule.
    void submit(Request request);
    // The request with this ticket has been answered: the next one goes out.
    // A ticket that is not in flight (answered already, or cleared) is ignored.
    void finish(uint64_t ticket);
    // Forgets the request in flight and every waiting one (the link is gone).
    void clear();

    bool busy() const { return inFlight_ != 0; }
    uint64_t inFlight() const { return inFlight_; }
    std::size_t waiting() const { return waiting_.size(); }
    // Frames dropped in favour of a newer one, since construction.
    uint64_t replaced() const { return replaced_; }

private:
    void pump();

    SupersedeRule supersedes_;
    std::deque<Request> waiting_;
    uint64_t inFlight_ = 0;
    uint64_t lastTicket_ = 0;
    uint64_t replaced_ = 0;
    bool pumping_ = false;
};

}  // namespace ble::qt
