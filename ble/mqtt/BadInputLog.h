// One log line for what a broker brought that is not ours to read, however
// many such messages come: the first at once, then at most one every ten
// seconds, with how many were dropped meanwhile.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace ble::mqtt {

class BadInputLog {
public:
    using Sink = std::function<void(const std::string& line)>;
    explicit BadInputLog(Sink sink) : sink_(std::move(sink)) {}
    void dropped(std::chrono::milliseconds now, const std::string& what);
    uint64_t total() const { return total_; }

private:
    Sink sink_;
    uint64_t total_ = 0;
    uint64_t unreported_ = 0;
    bool reported_ = false;
    std::chrono::milliseconds lastLine_{0};
};

}  // namespace ble::mqtt
