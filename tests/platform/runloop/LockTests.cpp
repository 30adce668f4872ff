// Locks and conditions across threads.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSCondition.h"
#include "platform/foundation/NSLock.h"
#include "platform/foundation/NSThread.h"

namespace {

TEST(LockTest, RecursiveLockIsReentrantForItsOwnerOnly)
{
    MainThreadScope main;
    auto lock = NSRecursiveLock::create();
    lock->lock();
    lock->lock();
    std::atomic<int> otherGot{-1};
    NSThread::detachNewThreadWithBlock([&otherGot, lock] {
        const bool got = lock->tryLock();
        if (got) {
            lock->unlock();
        }
        otherGot = got ? 1 : 0;  // last touch of the test's stack
    });
    ASSERT_TRUE(pumpMainUntil([&] { return otherGot != -1; }));
    EXPECT_EQ(otherGot, 0);
    lock->unlock();
    lock->unlock();
    EXPECT_TRUE(lock->tryLock());
    lock->unlock();
}

TEST(LockTest, ConditionHandsItemsFromProducerToConsumer)
{
    MainThreadScope main;
    auto condition = NSCondition::create();
    std::deque<int> items;
    std::atomic<int> sum{0};
    std::atomic<bool> consumerDone{false};
    NSThread::detachNewThreadWithBlock([&] {
        for (int received = 0; received < 100; ++received) {
            condition->lock();
            while (items.empty()) {
                condition->wait();
            }
            sum += items.front();
            items.pop_front();
            condition->unlock();
        }
        consumerDone = true;
    });
    for (int i = 1; i <= 100; ++i) {
        std::lock_guard guard(*condition);
        items.push_back(i);
        condition->signal();
    }
    ASSERT_TRUE(pumpMainUntil([&] { return consumerDone.load(); }));
    EXPECT_EQ(sum, 5050);
}

}  // namespace
