// A shared reference whose load and store are each one atomic step: a load
// hands out a whole reference that stays valid while another store replaces it.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

template <typename T>
class AtomicRef {
public:
    AtomicRef() = default;
    AtomicRef(const AtomicRef&) = delete;
    AtomicRef& operator=(const AtomicRef&) = delete;

    std::shared_ptr<T> load() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void store(std::shared_ptr<T> value) {
        std::shared_ptr<T> old;
        {
            std::lock_guard lock(mutex_);
            old = std::exchange(value_, std::move(value));
        }
        // `old` is released outside the lock: its destructor may do anything.
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> value_;
};
