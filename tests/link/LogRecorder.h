// Collects the link's log lines for the duration of a test.
#pragma once

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

    std::vector<std::string> lines;
};
