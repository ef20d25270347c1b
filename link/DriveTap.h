// What the link sends to the vehicles and hears from them, for whoever prints
// or records a drive: every command a Vehicle writes, with its arguments, and
// every value a vehicle notifies. Observers are called on the thread of the
// link, under a lock, and must not block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct SentCommand {
    std::uint32_t vehicle = 0;
    // "set-speed", "change-lane", "set-offset", "turn-180", "sdk-mode",
    // "get-version", or "frame" for bytes sent as they are.
    const char* name = "frame";
    std::optional<std::uint16_t> speed;  // set-speed's, and change-lane's own speed
    std::optional<float> offset;         // change-lane's and set-offset's
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
    // Why it was sent, when the sender said (DriveTap::Occasion); else null.
    const char* occasion = nullptr;
};

class DriveObserver {
public:
    virtual ~DriveObserver() = default;
    virtual void commandSent(const SentCommand& command) = 0;
    virtual void valueNotified(std::uint32_t vehicle, const std::vector<std::uint8_t>& value) = 0;
};

namespace DriveTap {

void addObserver(DriveObserver* observer);
void removeObserver(DriveObserver* observer);
// Cheap when nobody listens.
bool listened();

// Commands sent on this thread while an occasion lives carry its text (the
// stop at the end of a drive, say), so a recording can tell them apart.
class Occasion {
public:
    explicit Occasion(const char* text);
    ~Occasion();
    Occasion(const Occasion&) = delete;
    Occasion& operator=(const Occasion&) = delete;

private:
    const char* outer_;
};
void commandSent(const SentCommand& command);
void valueNotified(std::uint32_t vehicle, const std::vector<std::uint8_t>& value);

}  // namespace DriveTap
