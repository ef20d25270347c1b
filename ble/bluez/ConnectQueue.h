// Connection attempts to many devices at once: controllers refuse or fail a
// second LE connection request while one is under way, and each attempt to a
// device that does not answer holds its place until it times out. At most a
// few attempts run at a time; the others wait in the order they were asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <set>

namespace ble::bluez {

class ConnectQueue {
public:
    using Start = std::function<void()>;

    explicit ConnectQueue(std::size_t maxInFlight = 4) : maxInFlight_(maxInFlight) {}

    // Starts the attempt now if a place is free, else when one frees up. The
    // ticket names the attempt to finish() or cancel().
    uint64_t enqueue(Start start);
    // The attempt is over (connected, failed or called off): its place goes
    // to the next one waiting. An unknown ticket is ignored.
    void finish(uint64_t ticket);
    void clear();

    std::size_t inFlight() const { return running_.size(); }
    std::size_t waiting() const { return waiting_.size(); }

private:
    void pump();

    struct Waiting {
        uint64_t ticket;
        Start start;
    };
    std::size_t maxInFlight_;
    uint64_t lastTicket_ = 0;
    std::deque<Waiting> waiting_;
    std::set<uint64_t> running_;
    bool pumping_ = false;
};

}  // namespace ble::bluez
