#include "ble/bluez/ConnectQueue.h"

#include <algorithm>
#include <utility>

namespace ble::bluez {

uint64_t ConnectQueue::enqueue(Start start) {
    const uint64_t ticket = ++lastTicket_;
    waiting_.push_back({ticket, std::move(start)});
    pump();
    return ticket;
}

void ConnectQueue::finish(uint64_t ticket) {
    if (running_.erase(ticket) == 0) {
        const auto it = std::find_if(waiting_.begin(), waiting_.end(),
                                     [ticket](const Waiting& w) { return w.ticket == ticket; });
        if (it != waiting_.end()) waiting_.erase(it);
        return;
    }
    pump();
}

void ConnectQueue::clear() {
    waiting_.clear();
    running_.clear();
}

void ConnectQueue::pump() {
    // A start may finish at once: the loop, not recursion, starts the next.
    if (pumping_) return;
    pumping_ = true;
    while (running_.size() < maxInFlight_ && !waiting_.empty()) {
        Waiting next = std::move(waiting_.front());
        waiting_.pop_front();
        running_.insert(next.ticket);
        if (next.start) next.start();
    }
    pumping_ = false;
}

}  // namespace ble::bluez
