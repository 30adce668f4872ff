// Wake-ups written only while a loop waits: work added from another thread while the loop waits, while
// it serves an item, or before it runs at all is served without waiting for the deadline; many posters
// at once lose nothing. Work left for the end of the current item runs before the next item.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"

namespace {
namespace WakeUpTests_cpp {

class WakeUpTest : public ::testing::Test {
protected:
    MainThreadScope main_;
};

// Each case adds work from another thread at some moment of the loop's life; one runMode call with a
// 30-second deadline must serve it (without the wake-up it would wait the whole deadline and return
// empty-handed).
TEST_F(WakeUpTest, WorkFromAnotherThreadIsServedWhateverTheLoopWasDoing)
{
    enum class When { WhileWaiting, WhileServingAnItem, BeforeRunning };
    enum class What { Task, Timer, SourceSignal };
    struct Case {
        const char* name;
        When when;
        What what;
    };
    const std::vector<Case> cases = {
        {"task while waiting", When::WhileWaiting, What::Task},
        {"task while serving", When::WhileServingAnItem, What::Task},
        {"task before running", When::BeforeRunning, What::Task},
        {"timer while waiting", When::WhileWaiting, What::Timer},
        {"timer while serving", When::WhileServingAnItem, What::Timer},
        {"signal while waiting", When::WhileWaiting, What::SourceSignal},
        {"signal while serving", When::WhileServingAnItem, What::SourceSignal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto loop = NSRunLoop::currentRunLoop();
        std::atomic<bool> served{false};
        auto source = CFRunLoopSource::create([&](unsigned) { served = true; });
        loop->addSource(source, kCFRunLoopDefaultMode);  // also keeps the mode from being empty
        auto add = [&] {
            switch (c.what) {
            case What::Task:
                loop->performBlock([&] { served = true; }, {kCFRunLoopDefaultMode});
                break;
            case What::Timer:
                loop->addTimer(NSTimer::timerWithTimeInterval(0, false, [&] { served = true; }),
                               kCFRunLoopDefaultMode);
                break;
            case What::SourceSignal:
                source->signal();
                break;
            }
        };
        switch (c.when) {
        case When::WhileWaiting: {
            std::thread other(add);
            EXPECT_TRUE(loop->runMode(kCFRunLoopDefaultMode, Clock::now() + 30));
            other.join();
            break;
        }
        case When::WhileServingAnItem:
            loop->performBlock([&] { std::thread(add).join(); }, {kCFRunLoopDefaultMode});
            ASSERT_TRUE(loop->runMode(kCFRunLoopDefaultMode, Clock::now() + 30));  // the item
            EXPECT_FALSE(served.load());
            EXPECT_TRUE(loop->runMode(kCFRunLoopDefaultMode, Clock::now() + 30));
            break;
        case When::BeforeRunning:
            std::thread(add).join();
            EXPECT_TRUE(loop->runMode(kCFRunLoopDefaultMode, Clock::now() + 30));
            break;
        }
        EXPECT_TRUE(served.load());
        source->invalidate();
        loop->drain();
    }
}

TEST_F(WakeUpTest, ManyPostersAtOnceLoseNothing)
{
    auto loop = NSRunLoop::currentRunLoop();
    constexpr int kThreads = 4;
    constexpr int kPosts = 500;
    int served = 0;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < kPosts; ++i) {
                loop->performBlock([&] { ++served; }, {kCFRunLoopDefaultMode});
            }
        });
    }
    EXPECT_TRUE(loop->runUntil([&] { return served == kThreads * kPosts; }, std::chrono::seconds(30)));
    for (auto& poster : posters) {
        poster.join();
    }
}

TEST_F(WakeUpTest, WorkLeftForTheEndOfAnItemRunsBeforeTheNextItem)
{
    auto loop = NSRunLoop::currentRunLoop();
    std::vector<std::string> order;
    // Outside any item it runs at once.
    NSRunLoop::performWhenCurrentItemEnds([&] { order.push_back("at once"); });
    EXPECT_EQ(order, (std::vector<std::string>{"at once"}));

    order.clear();
    auto source = CFRunLoopSource::create([&](unsigned) {
        NSRunLoop::performWhenCurrentItemEnds([&] { order.push_back("source ended"); });
        order.push_back("source");
    });
    loop->addSource(source, kCFRunLoopDefaultMode);
    loop->performBlock(
        [&] {
            NSRunLoop::performWhenCurrentItemEnds([&] {
                order.push_back("first ended");
                // Left while finishing: still before the next item.
                NSRunLoop::performWhenCurrentItemEnds([&] { order.push_back("first ended, later"); });
            });
            order.push_back("first");
            source->signal();
        },
        {kCFRunLoopDefaultMode});
    loop->performBlock([&] { order.push_back("second"); }, {kCFRunLoopDefaultMode});
    EXPECT_EQ(loop->drain(), 3);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "first ended", "first ended, later", "second", "source",
                                               "source ended"}));
    source->invalidate();
    loop->drain();
}

// Posts whose wake-up waits for the end of the poster's item: from a thread serving no item (woken at
// once), from items of another loop (woken as each ends), and from a thread that batches its wake-ups
// (woken when it goes idle, or every few items): a loop that waits with a 30-second deadline serves
// every one, in the order posted (a lost wake-up would leave it waiting the whole deadline).
TEST_F(WakeUpTest, PostsWakingWhenThePostersItemEndsReachAWaitingLoop)
{
    enum class Poster { NoItem, ItemsOfItsLoop, BatchingThread };
    const std::vector<std::pair<const char*, Poster>> cases = {
        {"from no item", Poster::NoItem},
        {"from items", Poster::ItemsOfItsLoop},
        {"from a batching thread", Poster::BatchingThread},
    };
    constexpr int kPosts = 21;  // more than one batch of items
    for (const auto& [name, poster] : cases) {
        SCOPED_TRACE(name);
        auto loop = NSRunLoop::currentRunLoop();
        auto keep = CFRunLoopSource::create([](unsigned) {});
        loop->addSource(keep, kCFRunLoopDefaultMode);
        std::vector<int> served;
        const auto post = [&](int i) {
            loop->performBlockWithTicketWakingWhenItemEnds([&served, i] { served.push_back(i); }, {kCFRunLoopDefaultMode});
        };
        std::thread other([&, poster = poster] {
            if (poster == Poster::NoItem) {
                for (int i = 0; i < kPosts; ++i) {
                    post(i);
                }
                return;
            }
            if (poster == Poster::BatchingThread) {
                NSRunLoop::batchWakeUpsUntilIdle();
            }
            auto own = NSRunLoop::currentRunLoop();
            int ran = 0;
            for (int i = 0; i < kPosts; ++i) {
                own->performBlock([&, i] { post(i), ++ran; }, {kCFRunLoopDefaultMode});
            }
            EXPECT_TRUE(own->runUntil([&] { return ran == kPosts; }, std::chrono::seconds(30)));
        });
        const double deadline = Clock::now() + 30;
        while (served.size() < static_cast<size_t>(kPosts) && Clock::now() < deadline) {
            loop->runMode(kCFRunLoopDefaultMode, deadline);
        }
        other.join();
        loop->drain();
        std::vector<int> expected(kPosts);
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_EQ(served, expected);
        keep->invalidate();
        loop->drain();
    }
}

}  // namespace WakeUpTests_cpp
}  // namespace
