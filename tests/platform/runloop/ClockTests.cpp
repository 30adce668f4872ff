// The manual clock: timers, delayed performs, dispatch_after and sleeps all follow it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSCondition.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/Perform.h"

namespace {

class ClockTest : public ::testing::Test {
protected:
    MainThreadScope main_;
    ScopedManualClock clock_;
    const double start_ = clock_.now();
};

TEST_F(ClockTest, RepeatingTimerFiresEveryIntervalAndNeverAfterInvalidation)
{
    std::vector<double> fired;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(120.0, true, [&] { fired.push_back(Clock::now() - start_); });

    clock_.advance(119.999);
    EXPECT_TRUE(fired.empty());
    clock_.advance(0.001);
    ASSERT_EQ(fired.size(), 1u);
    clock_.advance(120);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_NEAR(fired[0], 120, 1e-6);
    EXPECT_NEAR(fired[1], 240, 1e-6);

    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
    clock_.advance(1000);
    EXPECT_EQ(fired.size(), 2u);
}

TEST_F(ClockTest, EverythingThatFallsDueRunsInOrderAtItsOwnTime)
{
    std::vector<std::pair<std::string, double>> ran;
    auto record = [&](std::string what) { ran.emplace_back(std::move(what), Clock::now() - start_); };
    auto oneShot = NSTimer::scheduledTimerWithTimeInterval(0.4, false, [&] { record("timer"); });
    performSelectorAfterDelay({this, "hide", nullptr}, [&] { record("perform"); }, 0.1);
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 200 * NSEC_PER_MSEC), dispatch_get_main_queue(),
                   [&] { record("dispatch_after"); });
    Clock::scheduleAfter(0.3, [&] { record("completion"); });
    // Work a callback posts at its time runs before later timers, as on a loop that runs all along.
    performSelectorAfterDelay({this, "chain", nullptr}, [&] { dispatch_async(dispatch_get_main_queue(), [&] { record("posted"); }); }, 0.35);
    Clock::scheduleAfter(5.0, [&] { record("later"); });

    clock_.advance(1.0);

    const std::vector<std::pair<std::string, double>> expected = {
        {"perform", 0.1}, {"dispatch_after", 0.2}, {"completion", 0.3}, {"posted", 0.35}, {"timer", 0.4}};
    ASSERT_EQ(ran.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(ran[i].first, expected[i].first);
        EXPECT_NEAR(ran[i].second, expected[i].second, 1e-6) << ran[i].first;
    }
    EXPECT_FALSE(oneShot->isValid());
    EXPECT_NEAR(Clock::now() - start_, 1.0, 1e-9);
}

TEST_F(ClockTest, RepeatingTimerThatFellBehindFiresOnceAndKeepsItsPhase)
{
    int fired = 0;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(10.0, true, [&] { ++fired; });
    // The loop runs another mode for 35 s: the default-mode timer waits.
    clock_.advance(35, "HTTPRequestRunLoopMode");
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(drainMain(), 1);
    EXPECT_EQ(fired, 1);
    EXPECT_NEAR(timer->fireDate() - start_, 40, 1e-6);
    timer->invalidate();
}

TEST_F(ClockTest, ThreadsWaitingForAClockTimeAreReleasedByAdvancing)
{
    // Each waits until 1000 s from now on the clock: only the manual clock can let them finish within
    // the deadline. (Absolute dates: a waiter may start only after the advance.)
    const double until = Clock::now() + 1000;
    std::atomic<int> done{0};
    std::atomic<bool> conditionTimedOut{false};
    auto condition = NSCondition::create();
    std::vector<std::thread> waiters;
    waiters.emplace_back([&] {
        NSThread::sleepUntilDate(until);
        ++done;
    });
    waiters.emplace_back([&] {
        auto loop = NSRunLoop::currentRunLoop();
        loop->addSource(CFRunLoopSource::create([](unsigned) {}), kCFRunLoopDefaultMode);
        loop->runUntilDate(until);
        ++done;
    });
    waiters.emplace_back([&] {
        condition->lock();
        conditionTimedOut = !condition->waitUntilDate(until);
        condition->unlock();
        ++done;
    });
    std::atomic<bool> afterFired{false};
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 1000 * NSEC_PER_SEC), dispatch_get_global_queue(0, 0), [&] {
        EXPECT_GE(Clock::now(), until - kRunLoopTimerSlack);
        afterFired = true;
    });

    clock_.advance(1000);
    EXPECT_TRUE(pumpMainUntil([&] { return done == 3 && afterFired; }));
    EXPECT_TRUE(conditionTimedOut);
    for (auto& t : waiters) {
        t.join();
    }
}

}  // namespace
