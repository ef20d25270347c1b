// The vehicle link's log. Every line goes to the system log through syslog(3)
// (journald collects it on Linux), to standard error with the time and the
// program's name, and to every registered observer (the window, tests).
#pragma once

#include <string>

class LogObserver {
public:
    virtual ~LogObserver() = default;
    virtual void logLine(const std::string& line) = 0;
};

namespace SystemLog {

// Writes one line. printf-style: the link formats its objects' texts with %s.
void write(const char* format, ...) __attribute__((format(printf, 1, 2)));
void writeLine(const std::string& line);

void addObserver(LogObserver* observer);
void removeObserver(LogObserver* observer);
// Standard error echo is on by default; quiet tests may switch it off.
void setEchoToStandardError(bool on);
// The system log is on by default; tests and benchmarks switch it off so that
// their many thousands of lines do not flood the machine's journal.
void setSendToSystemLog(bool on);

}  // namespace SystemLog
