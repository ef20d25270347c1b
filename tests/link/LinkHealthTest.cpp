// The link's health figures on a clock the test turns: the rate over the
// last whole second, the silence threshold, and what an advertisement may
// and may not change.
#include <gtest/gtest.h>

#include "link/LinkHealth.h"

namespace {

using std::chrono::milliseconds;

class LinkHealthTest : public ::testing::Test {
protected:
    LinkHealthTest() { meter_.setClock([this] { return now_; }); }
    LinkHealth at(milliseconds time) {
        now_ = time;
        return meter_.health(nullptr);
    }
    void notifyAt(milliseconds time) {
        now_ = time;
        meter_.notificationHeard();
    }

    milliseconds now_{0};
    LinkMeter meter_;
};

TEST_F(LinkHealthTest, NotificationsPerSecondCountTheLastWholeSecond) {
    for (int i = 0; i < 12; ++i) notifyAt(milliseconds(1000 + i * 80));  // 12 in second 1
    for (int i = 0; i < 5; ++i) notifyAt(milliseconds(2000 + i * 100));  // 5 in second 2
    const struct {
        int ms;
        double rate;
    } readings[] = {
        {2500, 12},  // during second 2: second 1's count
        {2999, 12},
        {3000, 5},   // second 2 is over
        {3999, 5},
        {4000, 0},   // a whole second without any
        {60000, 0},
    };
    for (const auto& reading : readings) {
        EXPECT_EQ(at(milliseconds(reading.ms)).notificationsPerSecond, reading.rate) << reading.ms;
    }
    EXPECT_EQ(at(milliseconds(60000)).notifications, 17u);
    notifyAt(milliseconds(60500));
    EXPECT_EQ(at(milliseconds(61200)).notificationsPerSecond, 1);  // no stale count from long ago
}

TEST_F(LinkHealthTest, ACarIsSilentOnlyAfterMoreThanThreeSecondsUnheard) {
    EXPECT_FALSE(at(milliseconds(50000)).sinceHeard.has_value());  // never heard: no time, not silent
    EXPECT_FALSE(at(milliseconds(50000)).silent());
    now_ = milliseconds(1000);
    meter_.advertisementHeard("Car", -60);
    const struct {
        int ms;
        bool silent;
    } readings[] = {{1000, false}, {4000, false}, {4001, true}};
    for (const auto& reading : readings) {
        const LinkHealth health = at(milliseconds(reading.ms));
        EXPECT_EQ(health.silent(), reading.silent) << reading.ms;
        EXPECT_EQ(health.sinceHeard, milliseconds(reading.ms - 1000));
    }
    notifyAt(milliseconds(5000));  // a notification is hearing it too
    EXPECT_FALSE(at(milliseconds(7000)).silent());
}

TEST_F(LinkHealthTest, AnAdvertisementKeepsTheLastKnownNameAndStrength) {
    const struct {
        const char* name;
        int rssi;
        const char* shownName;
        std::optional<int> shownRssi;
    } adverts[] = {
        {"", 127, "", std::nullopt},        // "unknown" on the air
        {"Car 7", -70, "Car 7", -70},
        {"", -50, "Car 7", -50},            // a scan response without a name
        {"Car 8", 127, "Car 8", -50},
        {"Car 8", 0, "Car 8", -50},         // a platform's "no reading"
        {"Car 8", -128, "Car 8", -50},      // beyond what a radio measures
        {"Car 8", 21, "Car 8", -50},
        {"Car 8", -127, "Car 8", -127},
    };
    for (const auto& advert : adverts) {
        meter_.advertisementHeard(advert.name, advert.rssi);
        const LinkHealth health = at(now_);
        EXPECT_EQ(health.name, advert.shownName) << advert.rssi;
        EXPECT_EQ(health.rssi, advert.shownRssi) << advert.rssi;
    }
}

}  // namespace
