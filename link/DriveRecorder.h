// Records a drive as JSON lines: every command sent (time, vehicle, its
// arguments as a script step, the command's name and its frame) and every
// value notified. A recording is itself a script: a step's "command" and
// "frame" are what was sent, and lines without a driving action (the
// handshake, notifications, the stop at the end, marked with its "occasion")
// are skipped when it is played. Occasions are the program's own fixed texts.
//
//   {"at":214,"vehicle":"0x12345678","speed":500,"command":"set-speed","frame":"06 24 F4 01 A8 61 00"}
//   {"at":230,"vehicle":"0x12345678","notified":"03 17 01 00"}
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "link/DriveTap.h"

class DriveRecorder : public DriveObserver {
public:
    // `millisecondsNow` gives the time of each line from the drive's start.
    // Lines go to `out`, flushed each; the recorder registers itself with the
    // tap for as long as it lives and closes nothing.
    DriveRecorder(std::FILE* out, std::function<double()> millisecondsNow);
    ~DriveRecorder() override;
    DriveRecorder(const DriveRecorder&) = delete;
    DriveRecorder& operator=(const DriveRecorder&) = delete;

    void commandSent(const SentCommand& command) override;
    void valueNotified(std::uint32_t vehicle, const std::vector<std::uint8_t>& value) override;

    // The line for a command, without its newline (also what tests compare).
    static std::string lineFor(const SentCommand& command, double atMs);

private:
    void write(const std::string& line);

    std::FILE* out_;
    std::function<double()> now_;
};

// "06 24 F4 01": the hex dump's row text.
std::string hexText(const std::uint8_t* bytes, std::size_t length);
