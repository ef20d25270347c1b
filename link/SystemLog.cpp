// The link's log: syslog(3), standard error in the platform logger's layout,
// and the registered observers.
#include "link/SystemLog.h"

#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string_view>

#include "link/ObserverList.h"

namespace {

std::atomic<const char*> programName{"zelto-panel"};

std::atomic<bool> echoToStandardError{true};
std::atomic<bool> sendToSystemLog{true};
thread_local std::optional<std::uint32_t> currentVehicle;

// An observer may log, add or remove observers from inside logLine().
ObserverList<LogObserver>& observers() {
    static ObserverList<LogObserver> list;
    return list;
}

// The connection to the system log is opened once, not per line.
void openSystemLogOnce() {
    static std::once_flag once;
    std::call_once(once, [] { openlog(programName.load(), LOG_PID, LOG_USER); });
}

// "2026-12-08 10:45:07.123 zelto-panel[1234] " like the platform logger.
std::string standardErrorPrefix() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis =
        duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%s.%03d %s[%ld] ", stamp, static_cast<int>(millis),
                  programName.load(), static_cast<long>(getpid()));
    return prefix;
}

void notifyObservers(const std::string& line) {
    observers().notify([&line](LogObserver& observer) { observer.logLine(line); });
}

}  // namespace

namespace SystemLog {

void write(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string line;
    if (needed < 0) {
        line = format;  // a broken format still leaves a trace
    } else if (static_cast<size_t>(needed) < sizeof small) {
        line.assign(small, static_cast<size_t>(needed));
    } else {
        line.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(line.data(), line.size(), format, copy);
        line.resize(static_cast<size_t>(needed));
    }
    va_end(copy);
    writeLine(line);
}

void writeLine(const std::string& line) {
    // The record keeps no trailing newline of its own: a format that ends in
    // "\n" must not leave a blank line behind it. Observers get the exact text.
    std::string_view record(line);
    while (!record.empty() && record.back() == '\n') {
        record.remove_suffix(1);
    }

    if (sendToSystemLog.load()) {
        openSystemLogOnce();
        syslog(LOG_INFO, "%.*s", static_cast<int>(record.size()), record.data());
    }

    if (echoToStandardError.load()) {
        std::string text = standardErrorPrefix();
        text.append(record);
        text.push_back('\n');
        std::fwrite(text.data(), 1, text.size(), stderr);
    }

    notifyObservers(line);
}

void addObserver(LogObserver* observer) { observers().add(observer); }

void removeObserver(LogObserver* observer) { observers().remove(observer); }

VehicleScope::VehicleScope(std::uint32_t identifier) : outer_(currentVehicle) {
    currentVehicle = identifier;
}

VehicleScope::~VehicleScope() { currentVehicle = outer_; }

std::optional<std::uint32_t> vehicleOfLine() { return currentVehicle; }

void setProgramName(const char* name) {
    if (name != nullptr) programName.store(name);
}

void setEchoToStandardError(bool on) { echoToStandardError.store(on); }

void setSendToSystemLog(bool on) { sendToSystemLog.store(on); }

}  // namespace SystemLog
