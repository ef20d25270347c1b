#include "ble/qt/RequestQueue.h"

#include <utility>

namespace ble::qt {
namespace {

// The vehicles' frames: byte 0 the size, byte 1 the message id.
constexpr uint8_t kSetSpeed = 0x24;
constexpr uint8_t kChangeLane = 0x25;
constexpr uint8_t kSetOffsetFromRoadCenter = 0x2c;

}  // namespace

bool isLatestValueMessage(uint8_t messageId) {
    return messageId == kSetSpeed || messageId == kChangeLane ||
           messageId == kSetOffsetFromRoadCenter;
}

bool mayReplace(const std::vector<uint8_t>& queued, const std::vector<uint8_t>& newer) {
    return queued.size() >= 2 && queued.size() == newer.size() && queued[0] == newer[0] &&
           queued[1] == newer[1] && isLatestValueMessage(queued[1]);
}

void RequestQueue::submit(Request request) {
    if (!waiting_.empty()) {
        Request& newest = waiting_.back();
        if (request.withoutResponse && newest.withoutResponse &&
            request.target == newest.target && mayReplace(newest.frame, request.frame)) {
            newest = std::move(request);
            ++replaced_;
            return;
        }
    }
    waiting_.push_back(std::move(request));
    pump();
}

void RequestQueue::finish(uint64_t ticket) {
    if (ticket == 0 || ticket != inFlight_) return;
    inFlight_ = 0;
    pump();
}

void RequestQueue::clear() {
    waiting_.clear();
    inFlight_ = 0;
}

void RequestQueue::pump() {
    // An issue may answer at once (finish from inside issue): the loop, not a
    // recursive call, then sends the next one.
    if (pumping_) return;
    pumping_ = true;
    while (inFlight_ == 0 && !waiting_.empty()) {
        Request next = std::move(waiting_.front());
        waiting_.pop_front();
        inFlight_ = ++lastTicket_;
        if (next.issue) next.issue(inFlight_);
    }
    pumping_ = false;
}

}  // namespace ble::qt
