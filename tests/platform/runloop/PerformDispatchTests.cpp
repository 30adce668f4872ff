// Perform requests and dispatch queues: main-thread rules, cancellation, serial order, sync.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/Perform.h"

namespace {

class PerformTest : public ::testing::Test {
protected:
    MainThreadScope main_;
};

TEST_F(PerformTest, CancelPreviousDropsExactlyTheMatchingRequests)
{
    ScopedManualClock clock;
    int a = 0;
    int b = 0;
    int argument = 0;
    std::set<std::string> ran;
    auto perform = [&](const void* target, const char* selector, const void* arg, std::string name) {
        performSelectorAfterDelay({target, selector, arg}, [&ran, name] { ran.insert(name); }, 1.0);
    };
    perform(&a, "refresh", nullptr, "a.refresh");
    perform(&a, "refresh", nullptr, "a.refresh twice");
    perform(&a, "hide", nullptr, "a.hide");
    perform(&a, "refresh", &argument, "a.refresh(arg)");
    perform(&b, "refresh", nullptr, "b.refresh");
    cancelPreviousPerformRequestsWithTarget(&a, "refresh", nullptr);
    clock.advance(2);
    EXPECT_EQ(ran, (std::set<std::string>{"a.hide", "a.refresh(arg)", "b.refresh"}));

    ran.clear();
    perform(&a, "refresh", nullptr, "a.refresh");
    perform(&a, "hide", &argument, "a.hide(arg)");
    perform(&b, "hide", nullptr, "b.hide");
    cancelPreviousPerformRequestsWithTarget(&a);
    clock.advance(2);
    EXPECT_EQ(ran, std::set<std::string>{"b.hide"});
}

TEST_F(PerformTest, WaitingPerformOnMainFromMainRunsInlineOtherwiseItIsPosted)
{
    bool ran = false;
    // Even while main spins a private mode (a synchronous request's callbacks).
    NSRunLoop::mainRunLoop()->performBlock(
        [&] {
            performSelectorOnMainThread([&] { ran = true; }, true);
            EXPECT_TRUE(ran);
        },
        {"HTTPRequestRunLoopMode"});
    EXPECT_EQ(NSRunLoop::mainRunLoop()->drain("HTTPRequestRunLoopMode"), 1);

    bool posted = false;
    performSelectorOnMainThread([&] { posted = true; }, false);
    EXPECT_FALSE(posted);
    EXPECT_EQ(drainMain("HTTPRequestRunLoopMode"), 0);  // posted in the common modes only
    EXPECT_EQ(drainMain(), 1);
    EXPECT_TRUE(posted);
}

TEST_F(PerformTest, WaitingForMainFromAWorkerCompletesOnlyWhenMainIsPumped)
{
    const std::pair<const char*, std::function<void(std::function<void()>)>> ways[] = {
        {"dispatch_sync", [](std::function<void()> fn) { dispatch_sync(dispatch_get_main_queue(), std::move(fn)); }},
        {"performSelectorOnMainThread", [](std::function<void()> fn) { performSelectorOnMainThread(std::move(fn), true); }},
    };
    for (const auto& [name, wait] : ways) {
        SCOPED_TRACE(name);
        std::atomic<bool> returned{false};
        bool ranOnMain = false;
        bool workerWasWaiting = false;
        std::thread worker([&, wait = wait] {
            wait([&] {
                ranOnMain = NSThread::isMainThread();
                workerWasWaiting = !returned;
            });
            returned = true;
        });
        EXPECT_TRUE(pumpMainUntil([&] { return returned.load(); }));
        worker.join();
        EXPECT_TRUE(ranOnMain);
        EXPECT_TRUE(workerWasWaiting);
    }
}

TEST_F(PerformTest, PerformOnAThreadRunsOnItsLoop)
{
    std::atomic<bool> quit{false};
    auto thread = NSThread::detachNewThreadWithBlock([&] {
        NSRunLoop::currentRunLoop()->runUntil([&] { return quit.load(); }, std::chrono::seconds(30));
    });
    Ref<NSThread> ranOn;
    performSelectorOnThread(thread, [&] { ranOn = NSThread::currentThread(); }, true);
    EXPECT_EQ(ranOn, thread);
    EXPECT_FALSE(thread->isMain());
    quit = true;
    EXPECT_TRUE(pumpMainUntil([&] { return thread->isFinished(); }));
}

TEST_F(PerformTest, SerialQueueRunsOneBlockAtATimeInOrder)
{
    auto queue = dispatch_queue_create("AudioQueue", DISPATCH_QUEUE_SERIAL);
    EXPECT_STREQ(dispatch_queue_get_label(queue), "AudioQueue");
    std::atomic<int> running{0};
    std::atomic<int> overlaps{0};
    std::vector<int> order;  // written by the queue's blocks only
    for (int i = 0; i < 50; ++i) {
        dispatch_async(queue, [&, i] {
            if (running.fetch_add(1) != 0) {
                ++overlaps;
            }
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    // A sync from the queue's own block runs inline instead of deadlocking.
    bool inner = false;
    dispatch_sync(queue, [&] { dispatch_sync(queue, [&] { inner = true; }); });
    EXPECT_TRUE(inner);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[i], i);
    }
    EXPECT_EQ(overlaps, 0);
}

TEST_F(PerformTest, GlobalQueueNeverStarvesABlockThatAnotherIsWaitingFor)
{
    auto global = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
    constexpr int kWaiters = 16;  // more than the machine has cores
    struct Gate {
        std::mutex mutex;
        std::condition_variable cv;
        bool released = false;
        std::atomic<int> finished{0};
    };
    auto gate = std::make_shared<Gate>();  // shared: blocks may still be returning when the test ends
    for (int i = 0; i < kWaiters; ++i) {
        dispatch_async(global, [gate] {
            std::unique_lock lock(gate->mutex);
            gate->cv.wait(lock, [&] { return gate->released; });
            ++gate->finished;
        });
    }
    dispatch_async(global, [gate] {
        {
            std::lock_guard lock(gate->mutex);
            gate->released = true;
        }
        gate->cv.notify_all();
    });
    EXPECT_TRUE(pumpMainUntil([&] { return gate->finished == kWaiters; }));
}

TEST_F(PerformTest, DispatchOnceRunsOnceAcrossThreads)
{
    dispatch_once_t once;  // usually a static; local so that repeated runs start afresh
    std::atomic<int> calls{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] { dispatch_once(&once, [&] { ++calls; }); });
    }
    for (auto& t : threads) {
        t.join();
    }
    dispatch_once(&once, [&] { ++calls; });
    EXPECT_EQ(calls, 1);
}

}  // namespace
