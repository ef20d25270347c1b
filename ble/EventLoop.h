// Where a radio delivers its events. Everything runs on one thread: a posted
// task runs later on the same thread, never inside post().
#pragma once

#include <chrono>
#include <functional>

namespace ble {

class EventLoop {
public:
    using Task = std::function<void()>;
    virtual ~EventLoop() = default;
    // Runs the task as soon as the loop gets to it.
    virtual void post(Task task) = 0;
    // Runs the task once the delay has passed. Tasks due at the same moment
    // run in the order they were posted.
    virtual void postAfter(std::chrono::milliseconds delay, Task task) = 0;
    // Milliseconds since the loop began; virtual time on a manual loop.
    virtual std::chrono::milliseconds now() const = 0;
};

}  // namespace ble
