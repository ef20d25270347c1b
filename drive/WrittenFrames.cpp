#include "drive/WrittenFrames.h"

#include <algorithm>
#include <utility>

namespace drive {

void WrittenFrames::reported(std::uint32_t vehicle, const std::vector<std::uint8_t>& bytes, bool replaced) {
    Vehicle& state = vehicles_[vehicle];
    const auto match = std::find_if(state.waiting.begin(), state.waiting.end(),
                                    [&bytes](const Frame& frame) { return frame.bytes == bytes; });
    if (match == state.waiting.end()) {
        state.lastUnmatched = bytes;
        state.lastUnmatchedWritten = !replaced;
        return;
    }
    Frame frame = std::move(*match);
    state.waiting.erase(match);
    outcome_(frame, replaced);
}

void WrittenFrames::handedOver(Frame frame) {
    Vehicle& state = vehicles_[frame.vehicle];
    const bool wentAtOnce = state.lastUnmatchedWritten && state.lastUnmatched == frame.bytes;
    state.lastUnmatched.clear();
    state.lastUnmatchedWritten = false;
    if (wentAtOnce) {
        outcome_(frame, false);
        return;
    }
    if (state.waiting.size() >= kMaxWaiting) state.waiting.pop_front();
    state.waiting.push_back(std::move(frame));
}

}  // namespace drive
