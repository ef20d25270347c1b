// The vehicle link's log. Every line goes to the system log through syslog(3)
// (journald collects it on Linux), to standard error with the time and the
// program's name, and to every registered observer (the window, tests).
#pragma once

#include <cstdint>
#include <optional>
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
// Lines written on this thread while a scope lives are about its vehicle;
// an observer asks vehiclePerLine() from inside logLine(). Scopes nest.
class VehicleScope {
public:
    explicit VehicleScope(std::uint32_t identifier);
    ~VehicleScope();
    VehicleScope(const VehicleScope&) = delete;
    VehicleScope& operator=(const VehicleScope&) = delete;

private:
    std::optional<std::uint32_t> outer_;
};
// The vehicle the line being written is about, if the link said.
std::optional<std::uint32_t> vehicleOfLine();

// The name the lines go out under ("zelto-panel" unless told), before the
// first line; the text must live as long as the program.
void setProgramName(const char* name);

// Standard error echo is on by default; quiet tests may switch it off.
void setEchoToStandardError(bool on);
// The system log is on by default; tests and benchmarks switch it off so that
// their many thousands of lines do not flood the machine's journal.
void setSendToSystemLog(bool on);

}  // namespace SystemLog
