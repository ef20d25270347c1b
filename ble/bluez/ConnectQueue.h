// Connection attempts to many devices at once: controllers refuse or fail a
// second LE connection request while one is under way, and each attempt to a
// device that does not answer holds its place until it times out. At most a
// few attempts run at a time; the others wait in the order they were asked.
//
// With several adapters an attempt goes through the best of the adapters it
// may use (those that heard the device) that has room for another link, once
// that adapter runs fewer than a few attempts (it waits for a busy one rather
// than take a weaker one). An attempt that cannot go now waits without
// holding up those behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ble::bluez {

class ConnectQueue {
public:
    using Start = std::function<void()>;
    // Starts the attempt through the adapter given.
    using StartOn = std::function<void(const std::string& adapter)>;
    // The adapters the attempt may go through, best first; asked again
    // whenever a place may have freed up.
    using Candidates = std::function<std::vector<std::string>()>;
    // How many more links each adapter takes now; an adapter not listed
    // takes none.
    using FreeLinks = std::function<std::map<std::string, std::size_t>()>;
    // Whether an adapter without room left may still try one more link (its
    // room is a first guess that no controller has refused yet), and if so
    // how many links it holds.
    using Stretchable = std::function<std::optional<std::size_t>(const std::string& adapter)>;

    explicit ConnectQueue(std::size_t maxInFlight = 4, std::size_t perAdapter = SIZE_MAX)
        : maxInFlight_(maxInFlight), perAdapter_(perAdapter) {}

    // Without it every adapter has room.
    void setFreeLinks(FreeLinks freeLinks) { freeLinks_ = std::move(freeLinks); }
    // Without it no adapter goes past its room. With it, an attempt that no
    // adapter has room for goes through the one that may stretch and holds
    // the fewest links (the better-hearing one of equals): past the guess,
    // spreading leaves the most room for cars that fewer adapters hear.
    void setStretchable(Stretchable stretchable) { stretchable_ = std::move(stretchable); }

    // Starts the attempt now if a place is free, else when one frees up. The
    // ticket names the attempt to finish() or cancel().
    uint64_t enqueue(Start start);
    // The same through one of the adapters. `first`: ahead of every waiting
    // attempt (one moved on from an adapter that refused it).
    uint64_t enqueue(Candidates candidates, StartOn start, bool first = false);
    // The attempt is over (connected, failed or called off): its place goes
    // to the next one waiting. An unknown ticket is ignored.
    void finish(uint64_t ticket);
    // Room or the adapters that heard a device changed: waiting attempts
    // that can go now start.
    void pump();
    void clear();

    std::size_t inFlight() const { return running_.size(); }
    std::size_t inFlightOn(const std::string& adapter) const;
    std::size_t waiting() const { return waiting_.size(); }

private:
    struct Waiting {
        uint64_t ticket;
        std::optional<Candidates> candidates;  // none: any place will do
        StartOn start;
    };
    // The adapter the waiting attempt can go through now, "" when it needs
    // none; nullopt while it must wait.
    std::optional<std::string> placeFor(const Waiting& waiting,
                                        const std::optional<std::map<std::string, std::size_t>>& free) const;

    std::size_t maxInFlight_;
    std::size_t perAdapter_;
    FreeLinks freeLinks_;
    Stretchable stretchable_;
    uint64_t lastTicket_ = 0;
    std::deque<Waiting> waiting_;
    std::map<uint64_t, std::string> running_;  // ticket -> adapter ("" for none)
    bool pumping_ = false;
    bool pumpAgain_ = false;
};

}  // namespace ble::bluez
