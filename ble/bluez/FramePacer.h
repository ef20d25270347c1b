// Paces the frames written to one characteristic. BlueZ takes writes without
// response as fast as they come and queues them without bound, so a link that
// is fed faster than it carries shows up only as growing latency. The pacer
// keeps a small burst of frames per characteristic, refilled one per interval
// (a token bucket): a frame leaves at once while the bucket holds one and the
// transport is free, so a sender at the pacing rate, jitter and all, is never
// held back, and a fresh link's handshake and first drive frame go together.
// Only a frame that has to wait can be merged: a newer frame that the rule lets
// supersede a waiting one takes that one's place (so at most one frame of each
// such kind waits); every other frame keeps its order.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "ble/EventLoop.h"
#include "ble/FrameRule.h"
#include "ble/WriteBucket.h"

namespace ble::bluez {

class FramePacer {
public:
    // Hands one frame to the transport, which reports transportIdle() once
    // it can take the next one (at once, or when a call is answered).
    using Send = std::function<void(std::vector<uint8_t> frame)>;

    // Reports a waiting frame that a newer one took the place of.
    using Replaced = std::function<void(const std::vector<uint8_t>& dropped)>;

    FramePacer(EventLoop& loop, std::chrono::milliseconds interval, std::size_t burst,
               SupersedeRule supersedes, Send send, Replaced replaced = {});
    ~FramePacer();
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    void submit(std::vector<uint8_t> frame);
    // The frame handed over last has gone; the next may follow.
    void transportIdle();
    // The transport could not take the frame now: it goes first again.
    void sendAgainLater(std::vector<uint8_t> frame);
    // Forgets every waiting frame and the one in the transport (the link
    // ended); the next link starts with a full burst.
    void clear();
    // While held, frames wait (and newer ones replace them as usual); the
    // transport is gone for a while (the device's services are changing).
    void hold(bool held);

    std::size_t waiting() const { return waiting_.size(); }
    bool busy() const { return inTransport_; }
    uint64_t sent() const { return sent_; }
    uint64_t superseded() const { return superseded_; }

private:
    void pump();
    void wakeAt(std::chrono::milliseconds when);

    EventLoop& loop_;
    std::chrono::milliseconds interval_;
    WriteBucket bucket_;
    SupersedeRule supersedes_;
    Send send_;
    Replaced replaced_;
    std::deque<std::vector<uint8_t>> waiting_;
    bool inTransport_ = false;
    bool wakeScheduled_ = false;
    bool pumping_ = false;
    bool held_ = false;
    uint64_t sent_ = 0;
    uint64_t superseded_ = 0;
    // Tasks on the loop hold this weakly: they find nothing once the pacer is gone.
    std::shared_ptr<FramePacer*> self_;
};

}  // namespace ble::bluez
