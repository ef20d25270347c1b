// The write pacer on virtual time: a burst leaves at once, then about one
// frame per interval (the refill is a tenth quicker, 18 ms for 20 ms) and
// only when the transport is free; only frames that wait merge
// (newest per latest-value kind, a stop kept), everything else in order.
#include <gtest/gtest.h>

#include <vector>

#include "ble/ManualEventLoop.h"
#include "ble/bluez/FramePacer.h"
#include "link/FrameRules.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes speed(uint16_t value) { return {0x06, 0x24, uint8_t(value), uint8_t(value >> 8), 0xA8, 0x61, 0x00}; }
Bytes lane(uint8_t offset) { return {0x0B, 0x25, 0, 0, 0, 0, 0, 0, offset, 0, 0, 0}; }
const Bytes kSdkMode{0x03, 0x90, 0x01, 0x01};
const Bytes kVersion{0x01, 0x18};
const Bytes kTurn{0x01, 0x32};

struct Rig {
    explicit Rig(bool answersAtOnce = true, bool withRule = true)
        : pacer(loop, 20ms,
                3, withRule ? link_rules::vehicleFrames() : ble::SupersedeRule(),
                [this, answersAtOnce](Bytes frame) {
                    sent.push_back({loop.now(), std::move(frame)});
                    if (answersAtOnce) pacer.transportIdle();
                },
                [this](const Bytes& dropped) { replaced.push_back(dropped); }) {}

    std::vector<Bytes> frames() const {
        std::vector<Bytes> list;
        for (const auto& [when, frame] : sent) list.push_back(frame);
        return list;
    }

    ble::ManualEventLoop loop;
    std::vector<std::pair<std::chrono::milliseconds, Bytes>> sent;
    std::vector<Bytes> replaced;
    ble::bluez::FramePacer pacer;
};

TEST(FramePacer, ScenariosOnVirtualTime) {
    using Timed = std::pair<std::chrono::milliseconds, Bytes>;
    struct Case {
        const char* what;
        std::vector<Timed> submitted;
        bool withRule;
        std::vector<Timed> expected;  // what the transport got, and when
    };
    const Bytes stop = speed(0);
    const std::vector<Case> cases{
        {"the handshake and the first speed leave together",
         {{0ms, kSdkMode}, {0ms, kVersion}, {0ms, speed(1)}}, true,
         {{0ms, kSdkMode}, {0ms, kVersion}, {0ms, speed(1)}}},
        {"a sender at the pacing rate, jitter and all, is never held back",
         {{0ms, speed(1)}, {27ms, speed(2)}, {38ms, speed(3)}, {59ms, speed(4)}, {61ms, speed(5)}, {80ms, speed(6)}},
         true,
         {{0ms, speed(1)}, {27ms, speed(2)}, {38ms, speed(3)}, {59ms, speed(4)}, {61ms, speed(5)}, {80ms, speed(6)}}},
        {"after a stall empties the burst, a jittery sender at the pacing rate is soon not held back again",
         {{0ms, speed(1)}, {0ms, speed(2)}, {0ms, speed(3)}, {19ms, speed(4)}, {41ms, speed(5)}, {59ms, speed(6)},
          {78ms, speed(7)}, {101ms, speed(8)}, {119ms, speed(9)}},
         true,
         {{0ms, speed(1)}, {0ms, speed(2)}, {0ms, speed(3)}, {19ms, speed(4)}, {41ms, speed(5)}, {59ms, speed(6)},
          {78ms, speed(7)}, {101ms, speed(8)}, {119ms, speed(9)}}},
        {"past the burst only the newest speed waits",
         {{0ms, speed(1)}, {0ms, speed(2)}, {0ms, speed(3)}, {0ms, speed(4)}, {0ms, speed(5)}}, true,
         {{0ms, speed(1)}, {0ms, speed(2)}, {0ms, speed(3)}, {18ms, speed(5)}}},
        {"waiting kinds never merge and keep their order",
         {{0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}, {0ms, speed(1)}, {0ms, lane(1)}, {0ms, speed(2)}, {0ms, lane(2)},
          {0ms, kTurn}},
         true,
         {{0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}, {18ms, speed(2)}, {36ms, lane(2)}, {54ms, kTurn}}},
        {"a waiting stop is never merged into a newer speed",
         {{0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}, {0ms, stop}, {0ms, speed(5)}, {0ms, speed(6)}}, true,
         {{0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}, {18ms, stop}, {36ms, speed(6)}}},
        {"a stop takes a waiting speed's place",
         {{0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}, {0ms, speed(5)}, {0ms, stop}}, true,
         {{0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}, {18ms, stop}}},
        {"turns are never dropped", {{0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}}, true,
         {{0ms, kTurn}, {0ms, kTurn}, {0ms, kTurn}, {18ms, kTurn}}},
        {"without a rule every frame waits its turn",
         {{0ms, speed(1)}, {0ms, speed(2)}, {0ms, speed(3)}, {0ms, speed(4)}}, false,
         {{0ms, speed(1)}, {0ms, speed(2)}, {0ms, speed(3)}, {18ms, speed(4)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(true, c.withRule);
        for (const auto& [when, frame] : c.submitted) {
            rig.loop.advance(when - rig.loop.now());
            rig.pacer.submit(frame);
        }
        rig.loop.advance(1s);
        EXPECT_EQ(rig.sent, c.expected);
        EXPECT_EQ(rig.sent.size() + rig.replaced.size(), c.submitted.size());
    }
}

TEST(FramePacer, ADragAt1kHzWritesWhatTheLinkCarriesAndTheLastValueArrives) {
    Rig rig;
    for (uint16_t v = 1; v <= 1000; ++v) {
        rig.pacer.submit(speed(v));
        rig.loop.advance(1ms);
    }
    rig.loop.advance(1s);
    EXPECT_LE(rig.sent.size(), 3u + 1000u / 18u + 1u);
    EXPECT_EQ(rig.frames().back(), speed(1000));
    EXPECT_EQ(rig.sent.size() + rig.replaced.size(), 1000u);
}

TEST(FramePacer, AFrameAfterAQuietSpellGoesAtOnce) {
    Rig rig;
    rig.pacer.submit(speed(1));
    rig.loop.advance(100ms);
    rig.pacer.submit(speed(2));
    ASSERT_EQ(rig.sent.size(), 2u);
    EXPECT_EQ(rig.sent[1].first, 100ms);
}

TEST(FramePacer, ABusyTransportHoldsTheQueueAndTheNewestWaitsForIt) {
    Rig rig(false);
    rig.pacer.submit(speed(1));
    for (uint16_t v = 2; v <= 500; ++v) rig.pacer.submit(speed(v));
    rig.loop.advance(10s);  // the transport never answers: nothing more goes
    EXPECT_EQ(rig.frames(), std::vector<Bytes>{speed(1)});
    EXPECT_EQ(rig.pacer.waiting(), 1u);
    EXPECT_EQ(rig.pacer.superseded(), 498u);
    rig.pacer.transportIdle();
    EXPECT_EQ(rig.frames(), (std::vector<Bytes>{speed(1), speed(500)}));
}

TEST(FramePacer, AFrameTheTransportCannotTakeGoesFirstAgainAndClearForgetsAll) {
    Rig rig(false);
    rig.pacer.submit(speed(1));
    rig.pacer.submit(kTurn);
    rig.pacer.sendAgainLater(speed(1));
    rig.loop.advance(20ms);
    EXPECT_EQ(rig.frames(), (std::vector<Bytes>{speed(1), speed(1)}));
    rig.pacer.clear();
    rig.loop.advance(1s);
    EXPECT_EQ(rig.sent.size(), 2u);
    EXPECT_EQ(rig.pacer.waiting(), 0u);
}

TEST(FramePacer, WhileHeldFramesWaitAndNewerOnesReplaceThemThenTheyGoInOrder) {
    Rig rig;
    rig.pacer.hold(true);
    rig.pacer.submit(speed(1));
    rig.pacer.submit(kTurn);
    rig.pacer.submit(speed(2));
    rig.loop.advance(5s);
    EXPECT_TRUE(rig.sent.empty());
    rig.pacer.hold(false);
    rig.loop.advance(1s);
    EXPECT_EQ(rig.frames(), (std::vector<Bytes>{speed(2), kTurn}));
    // A link that ends while held leaves a pacer that sends again.
    rig.pacer.hold(true);
    rig.pacer.clear();
    rig.pacer.submit(kVersion);
    rig.loop.advance(1s);
    EXPECT_EQ(rig.frames().back(), kVersion);
}

}  // namespace
