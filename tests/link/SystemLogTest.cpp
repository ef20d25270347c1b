// The system log: exact text to observers, one stamped line per record on
// standard error.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>

#include "fakes/FakePeripheral.h"
#include "link/Vehicle.h"
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

struct HostileText {
    const char* what;
    std::string raw;
    std::string logged;
};

// Names and error texts come from the radio: whatever they hold, a log line
// stays one printable line, and the line's own format is untouched.
TEST(SystemLog, TextFromTheRadioCannotForgeLinesOrDriveATerminal) {
    const std::string ellipsis = "\xE2\x80\xA6";
    const std::vector<HostileText> cases{
        {"newline", "Car\nstate=5", "Car\\x0astate=5"},
        {"carriage return and DEL", "a\rb\x7f", "a\\x0db\\x7f"},
        {"escape sequences", "\x1b[2J\x1b[31mCar", "\\x1b[2J\\x1b[31mCar"},
        {"NUL", std::string("Ca\0r", 4), "Ca\\x00r"},
        {"C1 control", "\xC2\x9B" "2J", "\\xc2\\x9b2J"},
        {"not UTF-8", "\xFF\xC0\xAF" "x", "\\xff\\xc0\\xafx"},
        {"cut UTF-8 at the end", "ab\xE2\x80", "ab\\xe2\\x80"},
        {"UTF-8 kept", "Caf\xC3\xA9 \xE2\x86\x92 \xF0\x9F\x9A\x97", "Caf\xC3\xA9 \xE2\x86\x92 \xF0\x9F\x9A\x97"},
        {"64 characters kept", std::string(64, 'n'), std::string(64, 'n')},
        {"65 characters cut", std::string(65, 'n'), std::string(64, 'n') + ellipsis},
        {"cut counts characters", std::string(70, '\n'), [] {
             std::string s;
             for (int i = 0; i < 64; ++i) s += "\\x0a";
             return s + "\xE2\x80\xA6";
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogRecorder log;
        StandardErrorCapture capture;
        fakes::FakePeripheral peripheral(c.raw);
        Vehicle vehicle;
        const ble::Error error(c.raw);
        vehicle.didDiscoverServices(peripheral, &error);
        const std::string expected = "Discovered services for " + c.logged + " with error: " + c.logged;
        EXPECT_EQ(log.lines, Lines{expected});
        const std::string echoed = capture.text();
        ASSERT_FALSE(echoed.empty());
        EXPECT_EQ(echoed.substr(echoed.size() - expected.size() - 1), expected + "\n");
        EXPECT_EQ(std::count_if(echoed.begin(), echoed.end(),
                                [](char ch) { return static_cast<unsigned char>(ch) < 0x20; }),
                  1);
    }
}

}  // namespace
