// Keeps every line the vehicle link logs while it is registered.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "link/SystemLog.h"

class LogRecorder : public LogObserver {
public:
    LogRecorder() { SystemLog::addObserver(this); }
    ~LogRecorder() override { SystemLog::removeObserver(this); }
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    void logLine(const std::string& line) override { lines.push_back(line); }

    void clear() { lines.clear(); }

    bool contains(const std::string& text) const {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
    int count(const std::string& text) const {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        }));
    }

    std::vector<std::string> lines;
};
