// The observers of one of the link's broadcasts (the log, the drive tap):
// registered at most once each, called under a recursive lock so that an
// observer may write, add or remove observers from inside its call, and an
// observer removed by an earlier one in the same round is not called.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <mutex>
#include <vector>

template <typename Observer>
class ObserverList {
public:
    void add(Observer* observer) {
        if (observer == nullptr) return;
        std::lock_guard lock(mutex_);
        if (std::find(list_.begin(), list_.end(), observer) == list_.end()) list_.push_back(observer);
        count_.store(list_.size());
    }

    void remove(Observer* observer) {
        std::lock_guard lock(mutex_);
        std::erase(list_, observer);
        count_.store(list_.size());
    }

    // Without the lock: cheap enough for every frame sent.
    bool empty() const { return count_.load() == 0; }

    template <typename Call>
    void notify(Call call) {
        std::lock_guard lock(mutex_);
        const std::vector<Observer*> snapshot = list_;
        for (Observer* observer : snapshot) {
            if (std::find(list_.begin(), list_.end(), observer) != list_.end()) call(*observer);
        }
    }

private:
    std::recursive_mutex mutex_;
    std::vector<Observer*> list_;
    std::atomic<std::size_t> count_{0};
};
