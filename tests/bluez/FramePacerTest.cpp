// The write pacer on virtual time: one frame per interval and only when the
// transport is free, newer latest-value frames in place of waiting ones,
// everything else in order.
#include <gtest/gtest.h>

#include <vector>

#include "ble/ManualEventLoop.h"
#include "ble/bluez/FramePacer.h"
#include "zelto_sdk/protocol.h"

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
                withRule ? ble::SupersedeRule([](const Bytes& waiting, const Bytes& newer) {
                    return zelto_vehicle_msg_supersedes(waiting.data(), waiting.size(), newer.data(),
                                                        newer.size());
                })
                         : ble::SupersedeRule(),
                [this, answersAtOnce](Bytes frame) {
                    sent.push_back({loop.now(), std::move(frame)});
                    if (answersAtOnce) pacer.transportIdle();
                }) {}

    std::vector<Bytes> frames() const {
        std::vector<Bytes> list;
        for (const auto& [when, frame] : sent) list.push_back(frame);
        return list;
    }

    ble::ManualEventLoop loop;
    std::vector<std::pair<std::chrono::milliseconds, Bytes>> sent;
    ble::bluez::FramePacer pacer;
};

TEST(FramePacer, ScenariosOnVirtualTime) {
    struct Case {
        const char* what;
        std::vector<Bytes> submitted;  // all at time 0
        bool withRule;
        std::vector<Bytes> expected;
    };
    const std::vector<Case> cases{
        {"the handshake goes whole and in order", {kSdkMode, kVersion}, true, {kSdkMode, kVersion}},
        {"a burst of speeds: the first at once, then only the newest",
         {speed(1), speed(2), speed(3), speed(4)}, true, {speed(1), speed(4)}},
        {"kinds never merge and keep their order",
         {speed(1), speed(2), lane(1), speed(3), lane(2), kTurn}, true, {speed(1), speed(3), lane(2), kTurn}},
        {"turns are never dropped", {kTurn, kTurn, kTurn}, true, {kTurn, kTurn, kTurn}},
        {"without a rule every frame waits its turn", {speed(1), speed(2), speed(3)}, false,
         {speed(1), speed(2), speed(3)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(true, c.withRule);
        for (const Bytes& frame : c.submitted) rig.pacer.submit(frame);
        rig.loop.advance(1s);
        EXPECT_EQ(rig.frames(), c.expected);
        for (std::size_t i = 1; i < rig.sent.size(); ++i) {
            EXPECT_GE(rig.sent[i].first - rig.sent[i - 1].first, 20ms) << "frame " << i;
        }
    }
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
