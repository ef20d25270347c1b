#include "ble/bluez/ConnectQueue.h"

#include <algorithm>
#include <utility>

namespace ble::bluez {

uint64_t ConnectQueue::enqueue(Start start) {
    const uint64_t ticket = ++lastTicket_;
    waiting_.push_back({ticket, std::nullopt, [start = std::move(start)](const std::string&) {
                            if (start) start();
                        }});
    pump();
    return ticket;
}

uint64_t ConnectQueue::enqueue(Candidates candidates, StartOn start, bool first) {
    const uint64_t ticket = ++lastTicket_;
    Waiting waiting{ticket, std::move(candidates), std::move(start)};
    if (first) {
        waiting_.push_front(std::move(waiting));
    } else {
        waiting_.push_back(std::move(waiting));
    }
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

std::size_t ConnectQueue::inFlightOn(const std::string& adapter) const {
    return static_cast<std::size_t>(std::count_if(running_.begin(), running_.end(),
                                                  [&](const auto& entry) { return entry.second == adapter; }));
}

std::optional<std::string> ConnectQueue::placeFor(
    const Waiting& waiting, const std::optional<std::map<std::string, std::size_t>>& free) const {
    if (!waiting.candidates) return std::string();
    const std::vector<std::string> adapters = (*waiting.candidates) ? (*waiting.candidates)() : std::vector<std::string>{};
    // The best adapter with room, once its Connect slot is free: a busy one
    // is waited for, not passed over for a weaker one.
    for (const std::string& adapter : adapters) {
        if (free) {
            const auto room = free->find(adapter);
            if (room == free->end() || room->second == 0) continue;
        }
        if (inFlightOn(adapter) >= perAdapter_) return std::nullopt;
        return adapter;
    }
    // No room anywhere: a guessed room is no reason to leave a car unconnected.
    if (!free || !stretchable_) return std::nullopt;
    std::optional<std::string> least;
    std::size_t leastLinks = SIZE_MAX;
    for (const std::string& adapter : adapters) {
        if (!free->contains(adapter)) continue;
        const std::optional<std::size_t> links = stretchable_(adapter);
        if (links && *links < leastLinks) least = adapter, leastLinks = *links;
    }
    if (!least || inFlightOn(*least) >= perAdapter_) return std::nullopt;
    return least;
}

void ConnectQueue::pump() {
    // A start may finish or enqueue at once: the loop, not recursion, goes on.
    if (pumping_) {
        pumpAgain_ = true;
        return;
    }
    pumping_ = true;
    do {
        pumpAgain_ = false;
        if (waiting_.empty() || running_.size() >= maxInFlight_) break;
        std::optional<std::map<std::string, std::size_t>> free;
        if (freeLinks_) free = freeLinks_();
        bool started = true;
        while (started && running_.size() < maxInFlight_) {
            started = false;
            for (std::size_t i = 0; i < waiting_.size(); ++i) {
                const std::optional<std::string> place = placeFor(waiting_[i], free);
                if (!place) continue;
                Waiting next = std::move(waiting_[i]);
                waiting_.erase(waiting_.begin() + static_cast<std::ptrdiff_t>(i));
                running_[next.ticket] = *place;
                if (free && !place->empty() && (*free)[*place] > 0) --(*free)[*place];
                // The queue may change under the start: look again from the front.
                if (next.start) next.start(*place);
                started = true;
                break;
            }
        }
    } while (pumpAgain_);
    pumping_ = false;
}

}  // namespace ble::bluez
