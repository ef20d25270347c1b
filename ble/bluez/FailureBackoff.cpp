#include "ble/bluez/FailureBackoff.h"

#include <algorithm>

namespace ble::bluez {

void FailureBackoff::failed(const std::string& address, const std::string& identity,
                            std::chrono::milliseconds now) {
    failedKey(address, now);
    if (!identity.empty()) failedKey(identityKey(identity), now);
}

void FailureBackoff::succeeded(const std::string& address, const std::string& identity) {
    entries_.erase(address);
    if (!identity.empty()) entries_.erase(identityKey(identity));
}

bool FailureBackoff::quiet(const std::string& address, const std::string& identity,
                           std::chrono::milliseconds now) const {
    return quietKey(address, now) || (!identity.empty() && quietKey(identityKey(identity), now));
}

void FailureBackoff::failedKey(const std::string& key, std::chrono::milliseconds now) {
    if (!entries_.contains(key) && entries_.size() >= policy_.remembered) {
        const auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
            return a.second.lastFailure < b.second.lastFailure;
        });
        entries_.erase(oldest);
    }
    Entry& entry = entries_[key];
    entry.failures = std::min(entry.failures + 1, 1000);
    entry.lastFailure = now;
    const int beyond = entry.failures - policy_.failuresBeforeQuiet;
    if (beyond < 0) return;
    auto quiet = policy_.firstQuiet;
    for (int i = 0; i < beyond && quiet < policy_.longestQuiet; ++i) quiet *= 2;
    entry.quietUntil = now + std::min(quiet, policy_.longestQuiet);
}

bool FailureBackoff::quietKey(const std::string& key, std::chrono::milliseconds now) const {
    const auto it = entries_.find(key);
    return it != entries_.end() && now < it->second.quietUntil;
}

}  // namespace ble::bluez
