#include "link/LinkHealth.h"

#include <algorithm>

#include "ble/Bluetooth.h"

namespace {

// What a radio reports of a received signal; 127 is "unknown" on the air and
// 0 the platforms' "no reading".
constexpr int kWeakestRssi = -127;
constexpr int kStrongestRssi = -1;

}  // namespace

HealthClock steadyHealthClock() {
    return [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
}

LinkMeter::LinkMeter() : clock_(steadyHealthClock()) {}

void LinkMeter::setClock(HealthClock clock) {
    clock_ = clock ? std::move(clock) : steadyHealthClock();
    // Times taken on the old clock mean nothing on the new one.
    lastHeard_.reset();
    second_ = 0;
    inSecond_ = inSecondBefore_ = 0;
}

void LinkMeter::advertisementHeard(const std::string& name, int rssi) {
    if (!name.empty()) name_ = name;
    if (rssi >= kWeakestRssi && rssi <= kStrongestRssi) rssi_ = rssi;
    heard();
}

void LinkMeter::notificationHeard() {
    ++notifications_;
    const std::int64_t second = clock_().count() / 1000;
    if (second != second_) {
        inSecondBefore_ = second == second_ + 1 ? inSecond_ : 0;
        inSecond_ = 0;
        second_ = second;
    }
    ++inSecond_;
    heard();
}

void LinkMeter::heard() { lastHeard_ = clock_(); }

LinkHealth LinkMeter::health(const ble::Peripheral* peripheral) const {
    LinkHealth figures;
    const std::chrono::milliseconds now = clock_();
    figures.name = name_;
    figures.rssi = rssi_;
    if (lastHeard_) figures.sinceHeard = std::max(now - *lastHeard_, std::chrono::milliseconds{0});
    const std::int64_t second = now.count() / 1000;
    if (notifications_ > 0 && second == second_) {
        figures.notificationsPerSecond = static_cast<double>(inSecondBefore_);
    } else if (notifications_ > 0 && second == second_ + 1) {
        figures.notificationsPerSecond = static_cast<double>(inSecond_);
    }
    figures.notifications = notifications_;
    figures.commandsSent = commandsSent_;
    figures.writesFailed = writesFailed_;
    if (peripheral != nullptr) {
        figures.commandsSuperseded = peripheral->writesSuperseded();
        figures.adapter = peripheral->adapterName();
        if (figures.name.empty()) figures.name = peripheral->name();
    }
    return figures;
}
