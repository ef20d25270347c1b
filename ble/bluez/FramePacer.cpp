#include "ble/bluez/FramePacer.h"

#include <algorithm>
#include <utility>

namespace ble::bluez {

FramePacer::FramePacer(EventLoop& loop, std::chrono::milliseconds interval, std::size_t burst,
                       SupersedeRule supersedes, Send send, Replaced replaced)
    : loop_(loop),
      interval_(interval),
      bucket_(interval, burst),
      supersedes_(std::move(supersedes)),
      send_(std::move(send)),
      replaced_(std::move(replaced)),
      self_(std::make_shared<FramePacer*>(this)) {}

FramePacer::~FramePacer() = default;

void FramePacer::submit(std::vector<uint8_t> frame) {
    if (supersedes_) {
        for (auto& waiting : waiting_) {
            if (supersedes_(waiting, frame)) {
                std::swap(waiting, frame);
                ++superseded_;
                if (replaced_) replaced_(frame);
                return;
            }
        }
    }
    waiting_.push_back(std::move(frame));
    pump();
}

void FramePacer::transportIdle() {
    inTransport_ = false;
    pump();
}

void FramePacer::sendAgainLater(std::vector<uint8_t> frame) {
    waiting_.push_front(std::move(frame));
    inTransport_ = false;
    wakeAt(loop_.now() + interval_);
}

void FramePacer::clear() {
    waiting_.clear();
    inTransport_ = false;
    held_ = false;
    bucket_.refill();
}

void FramePacer::hold(bool held) {
    held_ = held;
    if (!held_) pump();
}

void FramePacer::pump() {
    // send_ may report transportIdle() from inside: the loop, not recursion,
    // then takes the next frame (once its interval has passed).
    if (pumping_ || held_) return;
    pumping_ = true;
    while (!inTransport_ && !waiting_.empty()) {
        const auto now = loop_.now();
        if (now < bucket_.roomAt()) {
            wakeAt(bucket_.roomAt());
            break;
        }
        std::vector<uint8_t> frame = std::move(waiting_.front());
        waiting_.pop_front();
        inTransport_ = true;
        bucket_.take(now);
        ++sent_;
        send_(std::move(frame));
    }
    pumping_ = false;
}

void FramePacer::wakeAt(std::chrono::milliseconds when) {
    if (wakeScheduled_) return;
    wakeScheduled_ = true;
    const auto delay = std::max(when - loop_.now(), std::chrono::milliseconds{0});
    loop_.postAfter(delay, [weak = std::weak_ptr<FramePacer*>(self_)] {
        const auto self = weak.lock();
        if (!self) return;
        (*self)->wakeScheduled_ = false;
        (*self)->pump();
    });
}

}  // namespace ble::bluez
