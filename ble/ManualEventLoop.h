// An EventLoop on virtual time, for tests and simulations: nothing runs until
// the test says so, and time moves only when the test advances it.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "ble/EventLoop.h"

namespace ble {

class ManualEventLoop : public EventLoop {
public:
    void post(Task task) override;
    void postAfter(std::chrono::milliseconds delay, Task task) override;
    std::chrono::milliseconds now() const override { return now_; }

    // Runs every task that is due now, including those they post for now.
    // Returns the number of tasks run.
    std::size_t runUntilIdle();
    // Moves time forward by `delay`, running every task in due order, each at
    // its own time. Returns the number of tasks run.
    std::size_t advance(std::chrono::milliseconds delay);
    // Number of tasks waiting, due or not.
    std::size_t pending() const { return tasks_.size(); }

private:
    // Ordered by due time, then by posting order.
    std::map<std::pair<std::chrono::milliseconds, std::uint64_t>, Task> tasks_;
    std::chrono::milliseconds now_{0};
    std::uint64_t sequence_ = 0;
};

}  // namespace ble
