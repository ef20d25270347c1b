#include "ble/ManualEventLoop.h"

#include <limits>

namespace ble {
namespace {

using std::chrono::milliseconds;

// now + delay without overflow; a negative delay means "now".
milliseconds dueTime(milliseconds now, milliseconds delay) {
    if (delay < milliseconds::zero()) return now;
    const auto latest = milliseconds::max();
    if (delay > latest - now) return latest;
    return now + delay;
}

}  // namespace

void ManualEventLoop::post(Task task) { postAfter(milliseconds::zero(), std::move(task)); }

void ManualEventLoop::postAfter(milliseconds delay, Task task) {
    if (!task) return;
    tasks_.emplace(std::make_pair(dueTime(now_, delay), sequence_++), std::move(task));
}

std::size_t ManualEventLoop::runUntilIdle() {
    std::size_t ran = 0;
    // A task may post more work for now; those join the queue behind it and
    // run in this same call. Work for later stays queued.
    while (!tasks_.empty() && tasks_.begin()->first.first <= now_) {
        auto node = tasks_.extract(tasks_.begin());
        node.mapped()();
        ++ran;
    }
    return ran;
}

std::size_t ManualEventLoop::advance(milliseconds delay) {
    const milliseconds target = dueTime(now_, delay);
    std::size_t ran = 0;
    while (!tasks_.empty() && tasks_.begin()->first.first <= target) {
        auto node = tasks_.extract(tasks_.begin());
        if (node.key().first > now_) now_ = node.key().first;
        node.mapped()();
        ++ran;
    }
    now_ = target;
    return ran;
}

}  // namespace ble
