// The room a link has for writes without response: a small burst of frames,
// refilled about one frame per interval (a token bucket). A frame may leave
// at once while the bucket holds one; a stream at the pacing rate, jitter and
// all, never waits, and a faster one is held to what the link carries.
// The bucket refills a tenth faster than the interval: a stream at exactly
// the pacing rate would otherwise never refill a bucket that a stall emptied
// (the frames held up during it leave together), and every later frame would
// wait for its slot until the stream paused.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace ble {

class WriteBucket {
public:
    WriteBucket(std::chrono::milliseconds interval, std::size_t burst)
        : interval_(interval - interval / 10), burst_(std::max<std::size_t>(burst, 1)) {}

    // The earliest time the next frame may leave; at or before now it may.
    std::chrono::milliseconds roomAt() const {
        return full_ - interval_ * static_cast<int64_t>(burst_ - 1);
    }
    // A frame left at `now`.
    void take(std::chrono::milliseconds now) { full_ = std::max(full_, now) + interval_; }
    // A new link starts with the whole burst.
    void refill() { full_ = std::chrono::milliseconds{0}; }

private:
    std::chrono::milliseconds interval_;  // the refill's, a tenth short of the pacing interval
    std::size_t burst_;
    // The time by which the bucket is full again if nothing more leaves.
    std::chrono::milliseconds full_{0};
};

}  // namespace ble
