// How well a vehicle's link is doing, as a person or a script wants to see
// it: how the car is heard and how its commands fare. The vehicle and the
// controller count on the main thread; readers take a snapshot.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ble {
class Peripheral;
}

// Milliseconds on some steady clock; virtual time in tests.
using HealthClock = std::function<std::chrono::milliseconds()>;
// The process's steady clock.
HealthClock steadyHealthClock();

struct LinkHealth {
    // A car not heard for longer than this is shown as silent.
    static constexpr std::chrono::milliseconds kSilentAfter{3000};

    std::string name;          // as advertised; may be empty
    std::optional<int> rssi;   // dBm of the last advertisement heard, if it told
    std::optional<std::chrono::milliseconds> sinceHeard;  // advertisement or notification
    double notificationsPerSecond = 0;  // over the last whole second
    std::uint64_t notifications = 0;
    std::uint64_t commandsSent = 0;        // handed to the radio
    std::uint64_t commandsSuperseded = 0;  // of those, replaced by a newer one before they left
    std::uint64_t writesFailed = 0;
    std::string adapter;  // the local adapter it is reached through, if the radio tells

    bool silent() const { return sinceHeard && *sinceHeard > kSilentAfter; }
};

class LinkMeter {
public:
    LinkMeter();
    void setClock(HealthClock clock);

    // `rssi` outside -127 to -1 dBm (127 is "unknown" on the air, 0 a
    // platform's "no reading") leaves the last known strength; an empty name leaves the last name.
    void advertisementHeard(const std::string& name, int rssi);
    void notificationHeard();
    void commandSent() { ++commandsSent_; }
    void writeFailed() { ++writesFailed_; }

    // The figures now; what the radio counts comes from `peripheral`, if any.
    LinkHealth health(const ble::Peripheral* peripheral) const;

private:
    void heard();

    HealthClock clock_;
    std::string name_;
    std::optional<int> rssi_;
    std::optional<std::chrono::milliseconds> lastHeard_;
    std::uint64_t notifications_ = 0;
    std::uint64_t commandsSent_ = 0;
    std::uint64_t writesFailed_ = 0;
    // Notifications per whole second of the clock: the current second's count
    // and the one before it, enough for a rate over the last whole second.
    std::int64_t second_ = 0;
    std::uint64_t inSecond_ = 0;
    std::uint64_t inSecondBefore_ = 0;
};
