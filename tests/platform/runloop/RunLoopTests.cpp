// Run loops: modes, one item per runMode, stop, running out of sources, descriptor and signalled sources.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/CFRunLoop.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"

namespace {

constexpr char kPrivate[] = "HTTPRequestRunLoopMode";
constexpr char kTracking[] = "UITrackingRunLoopMode";

class RunLoopTest : public ::testing::Test {
protected:
    MainThreadScope main_;
};

// Which registrations a running mode serves, for every kind of work.
TEST_F(RunLoopTest, ModeDecidesWhatIsServedAndTheRestStaysPending)
{
    struct Case {
        RunLoopModes registered;
        bool trackingIsCommon;
        std::string running;
        bool served;
    };
    const Case cases[] = {
        {{kCFRunLoopDefaultMode}, false, kCFRunLoopDefaultMode, true},
        {{kCFRunLoopDefaultMode}, false, kPrivate, false},
        {{kCFRunLoopCommonModes}, false, kCFRunLoopDefaultMode, true},
        {{kCFRunLoopCommonModes}, false, kPrivate, false},
        {{kCFRunLoopCommonModes}, false, kTracking, false},
        {{kCFRunLoopCommonModes}, true, kTracking, true},
        {{kPrivate}, false, kPrivate, true},
        {{kPrivate}, false, kCFRunLoopDefaultMode, false},
        {{kCFRunLoopDefaultMode, kPrivate}, false, kPrivate, true},
    };
    enum class Kind { Task, Timer, Source };
    for (Kind kind : {Kind::Task, Kind::Timer, Kind::Source}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << "kind " << static_cast<int>(kind) << ", running " << c.running
                                              << ", registered " << c.registered.front() << " (+"
                                              << c.registered.size() - 1 << ")");
            auto loop = std::make_shared<NSRunLoop>();
            if (c.trackingIsCommon) {
                loop->addCommonMode(kTracking);
            }
            int runs = 0;
            Ref<CFRunLoopSource> source;
            switch (kind) {
            case Kind::Task:
                loop->performBlock([&] { ++runs; }, c.registered);
                break;
            case Kind::Timer: {
                auto timer = NSTimer::timerWithFireDate(Clock::now(), 0, false, [&](NSTimer&) { ++runs; });
                for (const auto& m : c.registered) {
                    loop->addTimer(timer, m);
                }
                break;
            }
            case Kind::Source:
                source = CFRunLoopSource::create([&](unsigned events) {
                    EXPECT_EQ(events, CFRunLoopSource::kSignalled);
                    ++runs;
                });
                for (const auto& m : c.registered) {
                    loop->addSource(source, m);
                }
                source->signal();
                break;
            }
            EXPECT_EQ(loop->drain(c.running), c.served ? 1 : 0);
            EXPECT_EQ(runs, c.served ? 1 : 0);
            // What was not served is still pending for its own mode.
            loop->drain(c.registered.back() == kCFRunLoopCommonModes ? kCFRunLoopDefaultMode : c.registered.back());
            EXPECT_EQ(runs, 1);
        }
    }
}

TEST_F(RunLoopTest, DefaultModeTaskWaitsWhileThePrivateModeRunsThenRunsAfterwards)
{
    auto loop = NSRunLoop::currentRunLoop();
    std::vector<std::string> ran;
    std::thread poster([&] {
        loop->performBlock([&] { ran.push_back("default"); }, {kCFRunLoopDefaultMode});
        loop->performBlock([&] { ran.push_back("common"); });
        loop->performBlock([&] { ran.push_back("private"); }, {kPrivate});
    });
    poster.join();

    EXPECT_TRUE(loop->runMode(kPrivate, Clock::now() + 5));
    EXPECT_EQ(ran, std::vector<std::string>{"private"});
    EXPECT_EQ(loop->drain(kPrivate), 0);

    // One item per runMode, in the order posted.
    EXPECT_TRUE(loop->runMode(kCFRunLoopDefaultMode, Clock::now() + 5));
    EXPECT_EQ(ran, (std::vector<std::string>{"private", "default"}));
    EXPECT_TRUE(loop->runMode(kCFRunLoopDefaultMode, Clock::now() + 5));
    EXPECT_EQ(ran, (std::vector<std::string>{"private", "default", "common"}));
}

TEST_F(RunLoopTest, NestedRunServesOtherWorkButNeverTheItemInProgress)
{
    auto loop = NSRunLoop::currentRunLoop();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    int sourceCalls = 0;
    int nestedTasks = 0;
    auto source = CFRunLoopSource::createForFd(fds[0], CFRunLoopSource::kReadable, [&](unsigned events) {
        ++sourceCalls;
        EXPECT_TRUE(events & CFRunLoopSource::kReadable);
        EXPECT_EQ(loop->currentMode(), kCFRunLoopDefaultMode);
        // The descriptor is still readable: a nested run must not call this source again.
        loop->performBlock([&] { ++nestedTasks; }, {kPrivate});
        EXPECT_EQ(loop->drain(kPrivate), 1);
        EXPECT_EQ(loop->drain(kCFRunLoopDefaultMode), 0);
        char c;
        EXPECT_EQ(::read(fds[0], &c, 1), 1);
    });
    loop->addSource(source, kCFRunLoopDefaultMode);

    EXPECT_EQ(loop->drain(kPrivate), 0);  // readable, but registered for another mode
    EXPECT_EQ(loop->drain(kCFRunLoopDefaultMode), 1);
    EXPECT_EQ(sourceCalls, 1);
    EXPECT_EQ(nestedTasks, 1);
    EXPECT_EQ(loop->drain(kCFRunLoopDefaultMode), 0);  // drained: no longer readable
    EXPECT_EQ(loop->currentMode(), "");

    loop->removeSource(source, kCFRunLoopDefaultMode);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST_F(RunLoopTest, ADescriptorNumberReusedByANewSourceIsWatchedAfresh)
{
    auto loop = NSRunLoop::currentRunLoop();
    int first[2];
    ASSERT_EQ(::pipe(first), 0);
    auto old = CFRunLoopSource::createForFd(first[0], CFRunLoopSource::kReadable, [](unsigned) {});
    loop->addSource(old, kCFRunLoopDefaultMode);
    EXPECT_EQ(loop->drain(), 0);  // registered with epoll, nothing to read
    loop->removeSource(old, kCFRunLoopDefaultMode);
    ::close(first[0]);
    ::close(first[1]);

    int second[2];
    ASSERT_EQ(::pipe(second), 0);
    ASSERT_EQ(second[0], first[0]);  // the lowest free numbers come back
    int calls = 0;
    auto fresh = CFRunLoopSource::createForFd(second[0], CFRunLoopSource::kReadable, [&](unsigned) {
        char c;
        EXPECT_EQ(::read(second[0], &c, 1), 1);
        ++calls;
    });
    loop->addSource(fresh, kCFRunLoopDefaultMode);
    ASSERT_EQ(::write(second[1], "x", 1), 1);
    EXPECT_EQ(loop->drain(), 1);
    EXPECT_EQ(calls, 1);
    loop->removeSource(fresh, kCFRunLoopDefaultMode);
    ::close(second[0]);
    ::close(second[1]);
}

// A descriptor that no source watches any more stays quiet, whatever it reports, and is watched again
// as soon as a new source wants it: at once when it was left quiet, and when it reported something in
// between (its registration then dropped) too.
TEST_F(RunLoopTest, ADescriptorPassedFromOneSourceToTheNextIsWatchedByTheNext)
{
    auto loop = NSRunLoop::currentRunLoop();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::vector<std::string> calls;
    const auto reader = [&](std::string name) {
        return CFRunLoopSource::createForFd(fds[0], CFRunLoopSource::kReadable, [&calls, name, fd = fds[0]](unsigned) {
            char c;
            EXPECT_EQ(::read(fd, &c, 1), 1);
            calls.push_back(name + ":" + c);
        });
    };
    for (const bool readableBetween : {false, true}) {
        SCOPED_TRACE(readableBetween ? "readable while nobody watched" : "quiet while nobody watched");
        calls.clear();
        auto first = reader("first");
        loop->addSource(first, kCFRunLoopDefaultMode);
        ASSERT_EQ(::write(fds[1], "a", 1), 1);
        EXPECT_EQ(loop->drain(), 1);
        loop->removeSource(first, kCFRunLoopDefaultMode);
        auto keep = CFRunLoopSource::create([](unsigned) {});  // keeps the mode from being empty
        loop->addSource(keep, kCFRunLoopDefaultMode);
        EXPECT_EQ(loop->drain(), 0);
        if (readableBetween) {
            ASSERT_EQ(::write(fds[1], "b", 1), 1);
            EXPECT_EQ(loop->drain(), 0);  // nobody to serve
            EXPECT_EQ(loop->drain(), 0);
        }
        auto next = reader("next");
        loop->addSource(next, kCFRunLoopDefaultMode);
        ASSERT_EQ(::write(fds[1], "c", 1), 1);
        EXPECT_EQ(loop->drain(), readableBetween ? 2 : 1);
        EXPECT_EQ(calls, readableBetween ? (std::vector<std::string>{"first:a", "next:b", "next:c"})
                                         : (std::vector<std::string>{"first:a", "next:c"}));
        loop->removeSource(next, kCFRunLoopDefaultMode);
        keep->invalidate();
        loop->drain();
    }
    ::close(fds[0]);
    ::close(fds[1]);
}

// A closure may hold the last reference to an object whose destructor uses the loop (a request
// unscheduling its stream): the loop releases closures with its lock free.
TEST_F(RunLoopTest, ClosuresAreReleasedWhileTheLoopIsUnlocked)
{
    auto loop = NSRunLoop::currentRunLoop();
    int cleanups = 0;
    struct UsesLoopWhenDestroyed {
        Ref<NSRunLoop> loop;
        int& cleanups;
        ~UsesLoopWhenDestroyed()
        {
            loop->performBlock([&c = cleanups] { ++c; }, {kCFRunLoopDefaultMode});
        }
    };
    auto holder = [&] { return std::make_shared<UsesLoopWhenDestroyed>(loop, cleanups); };

    loop->performBlock([h = holder()] {}, {kCFRunLoopDefaultMode});
    loop->addTimer(NSTimer::timerWithFireDate(Clock::now(), 0, false, [h = holder()](NSTimer&) {}),
                   kCFRunLoopDefaultMode);
    auto source = CFRunLoopSource::create([h = holder()](unsigned) {});
    loop->addSource(source, kCFRunLoopDefaultMode);
    source->signal();
    source->invalidate();
    source.reset();

    EXPECT_EQ(loop->drain(), 2 + 3);  // the task and the timer, then the three cleanups they posted
    EXPECT_EQ(cleanups, 3);
}

TEST_F(RunLoopTest, SignalFromAnotherThreadWakesAWaitingLoop)
{
    auto loop = NSRunLoop::currentRunLoop();
    std::atomic<int> calls{0};
    auto source = CFRunLoopSource::create([&](unsigned) { ++calls; });
    loop->addSource(source, kCFRunLoopDefaultMode);
    std::thread signaller([&] { source->signal(); });
    // Without the wake-up this would wait the whole 30 seconds and find nothing.
    EXPECT_TRUE(loop->runMode(kCFRunLoopDefaultMode, Clock::now() + 30));
    signaller.join();
    EXPECT_EQ(calls, 1);
    source->invalidate();
    EXPECT_FALSE(loop->containsSource(source, kCFRunLoopDefaultMode));
}

TEST_F(RunLoopTest, StopEndsTheRunningCallOrTheNextOne)
{
    auto loop = NSRunLoop::currentRunLoop();
    std::thread stopper([&] { loop->stop(); });
    EXPECT_EQ(loop->runInMode(kCFRunLoopDefaultMode, 60, false), kCFRunLoopRunStopped);
    stopper.join();

    // A stop asked for from a callback ends the run that called it, not a later one.
    loop->performBlock([&] { loop->stop(); });
    loop->performBlock([] {});
    EXPECT_EQ(loop->runInMode(kCFRunLoopDefaultMode, 60, false), kCFRunLoopRunStopped);
    EXPECT_EQ(loop->runInMode(kCFRunLoopDefaultMode, 60, true), kCFRunLoopRunHandledSource);

    // The same through runMode, which returns after one item anyway: the stop is spent by that run.
    loop->performBlock([&] { loop->stop(); });
    loop->performBlock([] {});
    EXPECT_TRUE(loop->runMode(kCFRunLoopDefaultMode, NSRunLoop::distantFuture));
    EXPECT_EQ(loop->runInMode(kCFRunLoopDefaultMode, 60, true), kCFRunLoopRunHandledSource);

    // CFRunLoopRun serves item after item until stopped.
    int served = 0;
    loop->performBlock([&] { ++served; });
    loop->performBlock([&] { CFRunLoopStop(CFRunLoopGetCurrent()); });
    loop->performBlock([&] { ++served; });
    CFRunLoopRun();
    EXPECT_EQ(served, 1);
}

TEST_F(RunLoopTest, ALoopWithNothingInTheModeFinishesAtOnce)
{
    std::thread worker([] {
        auto loop = NSRunLoop::currentRunLoop();
        EXPECT_FALSE(loop->runMode(kCFRunLoopDefaultMode, NSRunLoop::distantFuture));
        loop->run();  // returns: nothing registered
        EXPECT_EQ(loop->runInMode(kCFRunLoopDefaultMode, 60, false), kCFRunLoopRunFinished);

        // A source that never fires keeps the loop waiting (the network thread's keep-alive).
        loop->addSource(CFRunLoopSource::create([](unsigned) {}), kCFRunLoopDefaultMode);
        EXPECT_EQ(loop->runInMode(kCFRunLoopDefaultMode, 0, true), kCFRunLoopRunTimedOut);
        EXPECT_EQ(loop->runInMode(kPrivate, 0, true), kCFRunLoopRunFinished);
    });
    worker.join();
}

}  // namespace
