// Pairs the frames a drive hands its cars with what the radio did with them,
// so that a frame line is printed only once the frame has left for the link,
// and a frame a newer one replaced before it left is never printed as written.
//
// The radio reports a frame that leaves at once from inside the write, before
// the link tells who sent it; a frame that waits is reported later, as it
// leaves or as a newer one takes its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace drive {

class WrittenFrames {
public:
    struct Frame {
        double atMs = 0;
        std::uint32_t vehicle = 0;
        std::string name;
        std::vector<std::uint8_t> bytes;
        bool shown = true;  // false: followed only to keep the pairing right (the handshake)
    };
    // Called once per frame handed over: written, or replaced before it left.
    using Outcome = std::function<void(const Frame& frame, bool replaced)>;

    explicit WrittenFrames(Outcome outcome) : outcome_(std::move(outcome)) {}

    // The radio's report about one of the vehicle's frames.
    void reported(std::uint32_t vehicle, const std::vector<std::uint8_t>& bytes, bool replaced);
    // A frame was handed to the vehicle's radio (after its reports from inside the write).
    void handedOver(Frame frame);

private:
    struct Vehicle {
        std::deque<Frame> waiting;
        // Reports no waiting frame matched; only the last one can be the
        // frame being handed over.
        std::vector<std::uint8_t> lastUnmatched;
        bool lastUnmatchedWritten = false;
    };
    // Far more than a radio keeps waiting: beyond it the oldest is let go.
    static constexpr std::size_t kMaxWaiting = 4096;

    Outcome outcome_;
    std::map<std::uint32_t, Vehicle> vehicles_;
};

}  // namespace drive
