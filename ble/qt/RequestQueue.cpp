#include "ble/qt/RequestQueue.h"

#include <utility>

namespace ble::qt {
void RequestQueue::submit(Request request) {
    if (!waiting_.empty()) {
        Request& newest = waiting_.back();
        if (request.withoutResponse && newest.withoutResponse &&
            request.target == newest.target && supersedes_ &&
            supersedes_(newest.frame, request.frame)) {
            const std::function<void()> told = std::move(newest.replaced);
            newest = std::move(request);
            ++replaced_;
            if (told) told();
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
