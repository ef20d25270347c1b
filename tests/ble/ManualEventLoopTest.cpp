#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ble/ManualEventLoop.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

TEST(ManualEventLoop, NothingRunsInsidePost) {
    ble::ManualEventLoop loop;
    bool ran = false;
    loop.post([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(loop.pending(), 1u);
    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_TRUE(ran);
    EXPECT_EQ(loop.pending(), 0u);
}

TEST(ManualEventLoop, RunsTasksDueTogetherInPostingOrder) {
    ble::ManualEventLoop loop;
    std::string order;
    loop.post([&] { order += 'a'; });
    loop.postAfter(0ms, [&] { order += 'b'; });
    loop.post([&] { order += 'c'; });
    loop.runUntilIdle();
    EXPECT_EQ(order, "abc");
}

TEST(ManualEventLoop, RunUntilIdleRunsWorkPostedForNowButNotLater) {
    ble::ManualEventLoop loop;
    std::string order;
    loop.post([&] {
        order += 'a';
        loop.post([&] { order += 'c'; });
        loop.postAfter(1ms, [&] { order += 'x'; });
    });
    loop.post([&] { order += 'b'; });
    EXPECT_EQ(loop.runUntilIdle(), 3u);
    EXPECT_EQ(order, "abc");
    EXPECT_EQ(loop.pending(), 1u);
    EXPECT_EQ(loop.now(), 0ms);
}

TEST(ManualEventLoop, RunUntilIdleEndsWithAPeriodicTaskPending) {
    ble::ManualEventLoop loop;
    int ticks = 0;
    std::function<void()> tick = [&] {
        ++ticks;
        loop.postAfter(100ms, tick);
    };
    loop.post(tick);
    EXPECT_EQ(loop.runUntilIdle(), 1u);
    EXPECT_EQ(loop.runUntilIdle(), 0u);
    EXPECT_EQ(loop.advance(1000ms), 10u);
    EXPECT_EQ(ticks, 11);
    EXPECT_EQ(loop.pending(), 1u);
}

TEST(ManualEventLoop, AdvanceRunsEachTaskAtItsOwnTimeInDueOrder) {
    ble::ManualEventLoop loop;
    std::vector<std::pair<char, milliseconds>> seen;
    auto record = [&](char c) { return [&, c] { seen.emplace_back(c, loop.now()); }; };
    loop.postAfter(30ms, record('c'));
    loop.postAfter(10ms, record('a'));
    loop.postAfter(20ms, record('b'));
    loop.postAfter(51ms, record('z'));
    EXPECT_EQ(loop.advance(50ms), 3u);
    const std::vector<std::pair<char, milliseconds>> expected{
        {'a', 10ms}, {'b', 20ms}, {'c', 30ms}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(loop.now(), 50ms);
    EXPECT_EQ(loop.advance(1ms), 1u);
    EXPECT_EQ(seen.back(), std::make_pair('z', 51ms));
}

TEST(ManualEventLoop, DelaysCountFromTheTimeOfPosting) {
    ble::ManualEventLoop loop;
    std::vector<milliseconds> times;
    loop.postAfter(10ms, [&] {
        times.push_back(loop.now());
        loop.postAfter(15ms, [&] { times.push_back(loop.now()); });   // at 25, inside this advance
        loop.postAfter(100ms, [&] { times.push_back(loop.now()); });  // at 110, later
    });
    loop.advance(40ms);
    EXPECT_EQ(times, (std::vector<milliseconds>{10ms, 25ms}));
    loop.advance(70ms);
    EXPECT_EQ(times, (std::vector<milliseconds>{10ms, 25ms, 110ms}));
}

TEST(ManualEventLoop, AdvanceByZeroRunsWhatIsDueNow) {
    ble::ManualEventLoop loop;
    int ran = 0;
    loop.post([&] { ++ran; });
    loop.postAfter(1ms, [&] { ++ran; });
    EXPECT_EQ(loop.advance(0ms), 1u);
    EXPECT_EQ(ran, 1);
}

TEST(ManualEventLoop, NegativeDelayMeansNowAndNegativeAdvanceKeepsTime) {
    ble::ManualEventLoop loop;
    loop.advance(5ms);
    milliseconds when{-1};
    loop.postAfter(-10ms, [&] { when = loop.now(); });
    loop.advance(-3ms);
    EXPECT_EQ(when, 5ms);
    EXPECT_EQ(loop.now(), 5ms);
}

TEST(ManualEventLoop, HugeDelaysDoNotOverflow) {
    ble::ManualEventLoop loop;
    loop.advance(1000ms);
    bool ran = false;
    loop.postAfter(milliseconds::max(), [&] { ran = true; });
    EXPECT_EQ(loop.advance(1000h), 0u);
    EXPECT_FALSE(ran);
    EXPECT_EQ(loop.pending(), 1u);
}

TEST(ManualEventLoop, EmptyTaskIsIgnored) {
    ble::ManualEventLoop loop;
    loop.post(nullptr);
    EXPECT_EQ(loop.pending(), 0u);
    EXPECT_EQ(loop.runUntilIdle(), 0u);
}

}  // namespace
