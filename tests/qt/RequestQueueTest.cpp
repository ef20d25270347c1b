// The latest-value rule in front of Qt's GATT queue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ble/qt/RequestQueue.h"
#include "zelto_sdk/protocol.h"

namespace {

using ble::qt::RequestQueue;
using Bytes = std::vector<uint8_t>;

const int kWrite = 1;  // two characteristics, by identity
const int kOther = 2;

const Bytes kSpeed100{0x06, 0x24, 0x64, 0x00, 0xA8, 0x61, 0x00};
const Bytes kSpeed200{0x06, 0x24, 0xC8, 0x00, 0xA8, 0x61, 0x00};
const Bytes kSpeed300{0x06, 0x24, 0x2C, 0x01, 0xA8, 0x61, 0x00};
const Bytes kLane{0x0B, 0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kLane2{0x0B, 0x25, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kOffset{0x05, 0x2C, 0, 0, 0x20, 0x41};
const Bytes kOffset2{0x05, 0x2C, 0, 0, 0x20, 0x42};
const Bytes kSdkMode{0x03, 0x90, 0x01, 0x01};
const Bytes kVersion{0x01, 0x18};
const Bytes kTurn{0x01, 0x32};

// Records what reaches Qt, and answers on request.
bool supersedes(const Bytes& waiting, const Bytes& newer) {
    return zelto_vehicle_msg_supersedes(waiting.data(), waiting.size(), newer.data(), newer.size());
}

struct Recorder {
    RequestQueue queue{supersedes};
    std::vector<Bytes> issued;
    std::vector<uint64_t> tickets;

    void write(const Bytes& frame, bool withoutResponse = true, int target = kWrite) {
        queue.submit({&targets[target], frame, withoutResponse, [this, frame](uint64_t ticket) {
                          issued.push_back(frame);
                          tickets.push_back(ticket);
                      }});
    }
    void answer() { queue.finish(tickets.back()); }
    void answerAll() {
        for (std::size_t guard = 0; queue.busy() && guard < 1000; ++guard) answer();
    }

    int targets[3] = {};
};

TEST(SupersedeRule, AppliesToSameKindOfSpeedLaneAndOffsetFramesOnly) {
    struct Case {
        const char* what;
        Bytes queued;
        Bytes newer;
        bool replaces;
    };
    const std::vector<Case> cases = {
        {"speed by speed", kSpeed100, kSpeed200, true},
        {"lane by lane", kLane, kLane2, true},
        {"offset by offset", kOffset, kOffset2, true},
        {"identical speeds", kSpeed100, kSpeed100, true},
        {"speed by lane", kSpeed100, kLane, false},
        {"lane by offset", kLane, kOffset, false},
        {"SDK mode by SDK mode", kSdkMode, kSdkMode, false},
        {"version by version", kVersion, kVersion, false},
        {"turn by turn", kTurn, kTurn, false},
        {"speed by a shorter speed", kSpeed100, Bytes(kSpeed100.begin(), kSpeed100.end() - 1), false},
        {"speed with another size byte", kSpeed100, Bytes{0x07, 0x24, 0x64, 0x00, 0xA8, 0x61, 0x00}, false},
        {"empty frames", Bytes{}, Bytes{}, false},
        {"one-byte frames", Bytes{0x24}, Bytes{0x24}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(supersedes(c.queued, c.newer), c.replaces) << c.what;
    }
}

TEST(RequestQueue, IssuesAtOnceWhenIdleAndOneAtATime) {
    Recorder r;
    r.write(kSdkMode);
    EXPECT_EQ(r.issued, (std::vector<Bytes>{kSdkMode}));
    r.write(kVersion);
    EXPECT_EQ(r.issued.size(), 1u);
    EXPECT_EQ(r.queue.waiting(), 1u);
    r.answer();
    EXPECT_EQ(r.issued, (std::vector<Bytes>{kSdkMode, kVersion}));
    r.answer();
    EXPECT_FALSE(r.queue.busy());
}

TEST(RequestQueue, CommandsSentOneAtATimeAreNeverMerged) {
    Recorder r;
    for (const Bytes& frame : {kSpeed100, kSpeed100, kSpeed200}) {
        r.write(frame);
        r.answer();
    }
    EXPECT_EQ(r.issued, (std::vector<Bytes>{kSpeed100, kSpeed100, kSpeed200}));
    EXPECT_EQ(r.queue.replaced(), 0u);
}

TEST(RequestQueue, WhileBusyTheNewestSpeedReplacesTheWaitingOne) {
    Recorder r;
    r.write(kSpeed100);  // in flight
    r.write(kSpeed200);
    r.write(kSpeed300);
    EXPECT_EQ(r.queue.waiting(), 1u);
    EXPECT_EQ(r.queue.replaced(), 1u);
    r.answerAll();
    EXPECT_EQ(r.issued, (std::vector<Bytes>{kSpeed100, kSpeed300}));
}

TEST(RequestQueue, OnlyConsecutiveFramesOfOneKindMerge) {
    Recorder r;
    r.write(kSdkMode);  // in flight
    r.write(kSpeed100);
    r.write(kLane);
    r.write(kSpeed200);
    r.write(kSpeed300);
    r.write(kLane2);
    r.write(kTurn);
    r.write(kTurn);
    r.answerAll();
    EXPECT_EQ(r.issued,
              (std::vector<Bytes>{kSdkMode, kSpeed100, kLane, kSpeed300, kLane2, kTurn, kTurn}));
}

TEST(RequestQueue, TheHandshakeStaysWholeAndInOrderBehindAnyRequest) {
    Recorder r;
    r.write({}, false);  // the subscription, in flight
    r.write(kSdkMode);
    r.write(kVersion);
    r.write(kSpeed100);
    r.answerAll();
    EXPECT_EQ(r.issued, (std::vector<Bytes>{Bytes{}, kSdkMode, kVersion, kSpeed100}));
}

TEST(RequestQueue, NeverMergesAcrossCharacteristicsOrWritesWithResponse) {
    Recorder r;
    r.write(kSdkMode);  // in flight
    r.write(kSpeed100, true, kWrite);
    r.write(kSpeed200, true, kOther);
    r.write(kSpeed300, false, kOther);
    r.write(kSpeed300, false, kOther);
    r.answerAll();
    EXPECT_EQ(r.issued, (std::vector<Bytes>{kSdkMode, kSpeed100, kSpeed200, kSpeed300, kSpeed300}));
}

TEST(RequestQueue, IgnoresStaleAndUnknownTickets) {
    Recorder r;
    r.write(kSpeed100);
    r.write(kLane);
    const uint64_t first = r.tickets.back();
    r.queue.finish(first + 7);  // nobody
    r.queue.finish(0);
    EXPECT_EQ(r.issued.size(), 1u);
    r.queue.finish(first);
    r.queue.finish(first);  // answered twice: the second is stale
    EXPECT_EQ(r.issued.size(), 2u);
    EXPECT_TRUE(r.queue.busy());
}

TEST(RequestQueue, ClearDropsEverythingAndLateAnswersFindNothing) {
    Recorder r;
    r.write(kSpeed100);
    r.write(kLane);
    const uint64_t lost = r.tickets.back();
    r.queue.clear();
    EXPECT_FALSE(r.queue.busy());
    EXPECT_EQ(r.queue.waiting(), 0u);
    r.write(kSpeed200);  // a new link
    r.queue.finish(lost);
    EXPECT_TRUE(r.queue.busy());
    EXPECT_EQ(r.issued, (std::vector<Bytes>{kSpeed100, kSpeed200}));
}

TEST(RequestQueue, AnAnswerFromInsideTheIssueSendsTheNextWithoutRecursion) {
    RequestQueue queue;
    std::vector<int> order;
    int depth = 0;
    int deepest = 0;
    for (int i = 0; i < 50; ++i) {
        queue.submit({nullptr, {}, false, [&, i](uint64_t ticket) {
                          ++depth;
                          deepest = std::max(deepest, depth);
                          order.push_back(i);
                          if (i > 0) queue.finish(ticket);  // fails at once
                          --depth;
                      }});
    }
    queue.finish(queue.inFlight());
    EXPECT_EQ(order.size(), 50u);
    EXPECT_EQ(deepest, 1);
    EXPECT_FALSE(queue.busy());
}

}  // namespace
