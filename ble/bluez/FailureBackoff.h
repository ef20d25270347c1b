// Devices that fail to connect again and again (out of range, refusing, or
// not vehicles at all) are kept quiet for a while, growing with each further
// failure, so that they do not keep the connection queue busy. A device is
// known by its address and, where its advertisement names one, by its
// identity, so that a new address for each attempt does not escape. Bounded:
// the oldest entries go first when too many are remembered.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

namespace ble::bluez {

class FailureBackoff {
public:
    struct Policy {
        int failuresBeforeQuiet = 3;
        std::chrono::milliseconds firstQuiet{5000};
        std::chrono::milliseconds longestQuiet{300000};
        std::size_t remembered = 1024;
    };

    FailureBackoff() = default;
    explicit FailureBackoff(Policy policy) : policy_(policy) {}

    // An empty identity names nothing.
    void failed(const std::string& address, const std::string& identity, std::chrono::milliseconds now);
    void succeeded(const std::string& address, const std::string& identity);
    // Whether the device's advertisements are to be passed over now.
    bool quiet(const std::string& address, const std::string& identity, std::chrono::milliseconds now) const;
    std::size_t size() const { return entries_.size(); }

private:
    // Addresses and identities in one map, under keys that never meet.
    static std::string identityKey(const std::string& identity) { return "identity " + identity; }
    void failedKey(const std::string& key, std::chrono::milliseconds now);
    bool quietKey(const std::string& key, std::chrono::milliseconds now) const;

    struct Entry {
        int failures = 0;
        std::chrono::milliseconds lastFailure{0};
        std::chrono::milliseconds quietUntil{0};
    };
    Policy policy_;
    std::map<std::string, Entry> entries_;
};

}  // namespace ble::bluez
