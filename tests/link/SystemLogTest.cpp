// The system log: exact text to observers, one stamped line per record on
// standard error.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>

#include "tests/support/LogRecorder.h"

namespace {

using Lines = std::vector<std::string>;

// Captures what the log echoes on standard error while it lives.
class StandardErrorCapture {
public:
    StandardErrorCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        dup2(fileno(file_), STDERR_FILENO);
        SystemLog::setEchoToStandardError(true);
    }
    ~StandardErrorCapture() {
        restore();
        std::fclose(file_);
    }
    std::string text() {
        restore();
        std::string result;
        std::rewind(file_);
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) result.append(buffer, n);
        return result;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        SystemLog::setEchoToStandardError(false);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_ = -1;
};

TEST(SystemLog, ObserversGetTheExactFormattedText) {
    LogRecorder log;
    SystemLog::write("Version response 0x%04x\n", 0x1234u);
    SystemLog::write("id=0x%08x, error=%s", 0x2au, "(null)");
    SystemLog::writeLine("plain");
    const std::string longName(1000, 'n');  // no line is cut
    SystemLog::write("Discovered services for %s with error: %s", longName.c_str(), "x");
    EXPECT_EQ(log.lines, (Lines{"Version response 0x1234\n", "id=0x0000002a, error=(null)", "plain",
                                "Discovered services for " + longName + " with error: x"}));
}

TEST(SystemLog, StandardErrorGetsOneStampedLinePerRecordWhileTheEchoIsOn) {
    StandardErrorCapture capture;
    SystemLog::write("Version response 0x%04x\n", 0x1234u);
    SystemLog::writeLine("Ping recieved from vehicle");
    SystemLog::setEchoToStandardError(false);
    SystemLog::writeLine("quiet");
    const std::string text = capture.text();
    const std::string stamp = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} zelto-panel\[)" +
                              std::to_string(getpid()) + R"(\] )";
    EXPECT_TRUE(std::regex_match(text, std::regex(stamp + "Version response 0x1234\n" + stamp +
                                                  "Ping recieved from vehicle\n")))
        << text;
}

TEST(SystemLog, AnObserverIsRegisteredOnceAndRemovedForGood) {
    LogRecorder log;
    SystemLog::addObserver(&log);
    SystemLog::addObserver(nullptr);
    SystemLog::writeLine("once");
    SystemLog::removeObserver(&log);
    SystemLog::writeLine("not seen");
    EXPECT_EQ(log.lines, Lines{"once"});
}

// Removes another observer, and itself, from inside its callback.
class Remover : public LogObserver {
public:
    LogObserver* victim = nullptr;
    int calls = 0;
    void logLine(const std::string&) override {
        ++calls;
        SystemLog::removeObserver(victim);
        SystemLog::removeObserver(this);
    }
};

TEST(SystemLog, AnObserverRemovedDuringARoundIsNotCalled) {
    Remover remover;
    LogRecorder later;  // registered after the remover
    SystemLog::addObserver(&remover);
    SystemLog::removeObserver(&later);
    SystemLog::addObserver(&later);
    remover.victim = &later;
    SystemLog::writeLine("first");
    SystemLog::writeLine("second");
    EXPECT_EQ(remover.calls, 1);
    EXPECT_TRUE(later.lines.empty());
}

// Logs from inside its callback once: the log must not deadlock.
class Echoer : public LogObserver {
public:
    Lines seen;
    void logLine(const std::string& line) override {
        seen.push_back(line);
        if (seen.size() == 1) SystemLog::writeLine("nested");
    }
};

TEST(SystemLog, AnObserverMayLogFromItsCallback) {
    Echoer echoer;
    SystemLog::addObserver(&echoer);
    SystemLog::writeLine("outer");
    SystemLog::removeObserver(&echoer);
    EXPECT_EQ(echoer.seen, (Lines{"outer", "nested"}));
}

TEST(SystemLog, TheSystemLogPathLeavesTheOtherTwoAlone) {
    // The machine may or may not run a journal; either way the line still
    // reaches the observers and standard error exactly once.
    LogRecorder log;
    StandardErrorCapture capture;
    SystemLog::setSendToSystemLog(true);
    SystemLog::writeLine("to every place");
    SystemLog::setSendToSystemLog(false);
    const std::string text = capture.text();
    EXPECT_EQ(log.lines, Lines{"to every place"});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_NE(text.find("zelto-panel["), std::string::npos);
}

}  // namespace
