// Connection attempts at most four at a time, in order, spread over adapters
// by their order, room and one Connect at a time on each; devices that keep
// failing kept quiet for a growing while, within a bounded memory.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ble/bluez/ConnectQueue.h"
#include "ble/bluez/FailureBackoff.h"

namespace {

using namespace std::chrono_literals;
using ble::bluez::ConnectQueue;
using ble::bluez::FailureBackoff;

TEST(ConnectQueue, RunsFourAtATimeInOrderAndFreesPlacesOnFinishOrCancel) {
    ConnectQueue queue(4);
    std::vector<int> started;
    std::vector<uint64_t> tickets;
    for (int i = 0; i < 7; ++i) tickets.push_back(queue.enqueue([&started, i] { started.push_back(i); }));
    EXPECT_EQ(started, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(queue.waiting(), 3u);

    queue.finish(tickets[5]);  // called off while waiting: never starts
    queue.finish(tickets[1]);
    EXPECT_EQ(started, (std::vector<int>{0, 1, 2, 3, 4}));
    queue.finish(tickets[1]);  // twice, or unknown: nothing
    queue.finish(9999);
    EXPECT_EQ(queue.inFlight(), 4u);
    queue.finish(tickets[0]);
    EXPECT_EQ(started, (std::vector<int>{0, 1, 2, 3, 4, 6}));
}

TEST(ConnectQueue, AnAttemptThatFinishesAtOnceLetsTheNextStart) {
    ConnectQueue queue(1);
    std::vector<int> started;
    uint64_t first = 0;
    first = queue.enqueue([&] { started.push_back(1); });
    queue.enqueue([&] { started.push_back(2); });
    uint64_t third = 0;
    third = queue.enqueue([&] {
        started.push_back(3);
        queue.finish(third);
    });
    queue.enqueue([&] { started.push_back(4); });
    queue.finish(first);
    EXPECT_EQ(started, (std::vector<int>{1, 2}));
    queue.finish(2);
    EXPECT_EQ(started, (std::vector<int>{1, 2, 3, 4}));
}

// Cars heard by some of three adapters: each attempt takes the best adapter
// that has room and no Connect under way; one that no adapter takes now
// waits without holding up the cars behind it.
TEST(ConnectQueue, SpreadsOverAdaptersByOrderRoomAndOneConnectAtATimeOnEach) {
    ConnectQueue queue(4, 1);
    std::map<std::string, std::size_t> free{{"hci0", 1}, {"hci1", 2}};
    queue.setFreeLinks([&free] { return free; });
    std::vector<std::string> started;  // "car@adapter"
    std::map<std::string, uint64_t> tickets;
    const auto ask = [&](const std::string& car, std::vector<std::string> adapters, bool first = false) {
        tickets[car] = queue.enqueue([adapters] { return adapters; },
                                     [&started, car](const std::string& adapter) { started.push_back(car + "@" + adapter); },
                                     first);
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> started;  // since the step before
    };
    const std::vector<Step> steps{
        {"the best adapter first", [&] { ask("a", {"hci0", "hci1"}); }, {"a@hci0"}},
        {"a busy best adapter is waited for, not passed over", [&] { ask("b", {"hci0", "hci1"}); }, {}},
        {"the best adapter with room", [&] { ask("g", {"hci2", "hci1"}); }, {"g@hci1"}},
        {"busy adapters: waits", [&] { ask("c", {"hci0"}); }, {}},
        {"an adapter never heard is never used", [&] { ask("d", {"hci2"}); }, {}},
        {"a connected link leaves hci0 full: b takes hci1 once free", [&] {
             free["hci0"] = 0;
             queue.finish(tickets["a"]);
             queue.finish(tickets["g"]);
         }, {"b@hci1"}},
        {"hci1 busy with b: e waits too", [&] { ask("e", {"hci1"}); }, {}},
        {"hci1 free again: e goes, c still waits", [&] { queue.finish(tickets["b"]); }, {"e@hci1"}},
        {"an adapter that appears takes d", [&] {
             free["hci2"] = 5;
             queue.pump();
         }, {"d@hci2"}},
        {"a refused attempt goes ahead of c", [&] {
             free["hci0"] = 1;
             ask("f", {"hci0"}, true);
         }, {"f@hci0"}},
    };
    std::size_t seen = 0;
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(std::vector<std::string>(started.begin() + static_cast<std::ptrdiff_t>(seen), started.end()),
                  step.started)
            << step.what;
        seen = started.size();
    }
    EXPECT_EQ(queue.inFlightOn("hci1"), 1u);
    EXPECT_EQ(queue.waiting(), 1u);  // c
}

// Rooms are first guesses: with no room left anywhere an attempt still goes
// through the adapter whose room no controller has refused with the fewest
// links, the better-hearing one of equals.
TEST(ConnectQueue, GoesPastAGuessedRoomOnlyWhenNoAdapterHasRoom) {
    ConnectQueue queue(4, 1);
    std::map<std::string, std::size_t> free{{"hci0", 0}, {"hci1", 1}, {"hci2", 0}, {"hci3", 0}};
    std::set<std::string> refused{"hci2"};
    std::map<std::string, std::size_t> links{{"hci0", 5}, {"hci3", 6}};
    queue.setFreeLinks([&free] { return free; });
    queue.setStretchable([&](const std::string& adapter) -> std::optional<std::size_t> {
        if (refused.contains(adapter)) return std::nullopt;
        return links[adapter];
    });
    std::vector<std::string> started;
    std::map<std::string, uint64_t> tickets;
    const auto ask = [&](const std::string& car, std::vector<std::string> adapters) {
        tickets[car] = queue.enqueue([adapters] { return adapters; },
                                     [&started, car](const std::string& adapter) { started.push_back(car + "@" + adapter); });
    };
    ask("a", {"hci0", "hci1"});  // room on hci1 beats a better but full hci0
    ask("b", {"hci3", "hci2", "hci0"});  // no room anywhere: hci2 refused before, hci0 holds fewer than hci3
    ask("c", {"hci2"});          // only a refused adapter: waits
    ask("d", {"hci0"});          // hci0 busy with b: waits for it
    EXPECT_EQ(started, (std::vector<std::string>{"a@hci1", "b@hci0"}));
    free["hci0"] = 0;
    queue.finish(tickets["b"]);
    EXPECT_EQ(started.back(), "d@hci0");
    refused.insert("hci0");
    queue.finish(tickets["d"]);
    free["hci2"] = 1;
    queue.pump();
    EXPECT_EQ(started, (std::vector<std::string>{"a@hci1", "b@hci0", "d@hci0", "c@hci2"}));
}

TEST(FailureBackoff, QuietAfterThreeFailuresInARowGrowingAndCappedUntilASuccess) {
    FailureBackoff backoff;
    const std::string a = "AA:AA:AA:AA:AA:AA";
    struct Step {
        std::chrono::milliseconds failAt;
        std::chrono::milliseconds quietUntil;  // 0: not quiet
    };
    const std::vector<Step> steps{{0ms, 0ms}, {1000ms, 0ms}, {2000ms, 7000ms}, {8000ms, 18000ms},
                                  {20000ms, 40000ms}};
    for (const Step& step : steps) {
        backoff.failed(a, {}, step.failAt);
        EXPECT_EQ(backoff.quiet(a, {}, step.failAt), step.quietUntil > step.failAt) << step.failAt.count();
        if (step.quietUntil > 0ms) {
            EXPECT_TRUE(backoff.quiet(a, {}, step.quietUntil - 1ms)) << step.failAt.count();
            EXPECT_FALSE(backoff.quiet(a, {}, step.quietUntil)) << step.failAt.count();
        }
    }
    for (int i = 0; i < 50; ++i) backoff.failed(a, {}, 100s);
    EXPECT_TRUE(backoff.quiet(a, {}, 399s));
    EXPECT_FALSE(backoff.quiet(a, {}, 400s));  // never longer than five minutes
    backoff.succeeded(a, {});
    EXPECT_FALSE(backoff.quiet(a, {}, 100s));
    backoff.failed(a, {}, 100s);
    EXPECT_FALSE(backoff.quiet(a, {}, 100s));
}

TEST(FailureBackoff, RemembersABoundedNumberOfDevicesForgettingTheOldest) {
    FailureBackoff backoff({3, 5000ms, 300000ms, 100});
    for (int i = 0; i < 1000; ++i) {
        for (int k = 0; k < 3; ++k) backoff.failed("dev" + std::to_string(i), {}, std::chrono::milliseconds(i));
    }
    EXPECT_EQ(backoff.size(), 100u);
    EXPECT_TRUE(backoff.quiet("dev999", {}, 1000ms));
    EXPECT_FALSE(backoff.quiet("dev0", {}, 1000ms));
}

}  // namespace
