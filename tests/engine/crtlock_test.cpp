// Locks, conditions and the two locked queues.
#include "engine/crtlock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using namespace crtfun;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 10s;

int g_freed = 0;
void countfree(void* p)
{
    ++g_freed;
    delete static_cast<int*>(p);
}

}  // namespace

TEST(Crtmutex, RecursiveForItsHolderExclusiveForOthers)
{
    crtmutex mutex;
    mutex.lock();
    mutex.lock();  // the holder locks again without blocking
    EXPECT_FALSE(std::async(std::launch::async, [&] { return mutex.try_lock(); }).get());
    mutex.unlock();
    EXPECT_FALSE(std::async(std::launch::async, [&] { return mutex.try_lock(); }).get());
    mutex.unlock();
    auto other = std::async(std::launch::async, [&] {
        bool got = mutex.try_lock();
        if (got) {
            mutex.unlock();
        }
        return got;
    });
    EXPECT_TRUE(other.get());
}

TEST(Crtlockqueue, FirstInFirstOutWithoutWaiting)
{
    crtlockqueue queue;
    int a = 1, b = 2;
    EXPECT_EQ(queue.get(false), nullptr);  // empty: at once
    EXPECT_EQ(queue.put(&a), 0);
    EXPECT_EQ(queue.put(&b), 0);
    EXPECT_EQ(queue.count(), 2);
    EXPECT_EQ(queue.get(false), &a);
    EXPECT_EQ(queue.get(true), &b);
    EXPECT_EQ(queue.count(), 0);
    EXPECT_FALSE(queue.isaborted());
}

TEST(Crtlockqueue, BlockingGetReturnsWhenAnotherThreadPuts)
{
    crtlockqueue queue;
    int entry = 7;
    auto getter = std::async(std::launch::async, [&] { return queue.get(true); });
    queue.put(&entry);
    ASSERT_EQ(getter.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(getter.get(), &entry);
}

TEST(Crtlockqueue, AbortReleasesEveryBlockedGet)
{
    crtlockqueue queue;
    std::vector<std::future<void*>> getters;
    for (int i = 0; i < 3; ++i) {
        getters.push_back(std::async(std::launch::async, [&] { return queue.get(true); }));
    }
    queue.abort();
    for (auto& getter : getters) {
        ASSERT_EQ(getter.wait_for(kDeadline), std::future_status::ready);
        EXPECT_EQ(getter.get(), nullptr);
    }
    EXPECT_TRUE(queue.isaborted());
    int entry = 1;
    queue.put(&entry);
    EXPECT_EQ(queue.get(true), nullptr);  // an aborted queue hands out nothing
}

TEST(Crtlockqueue, EntriesLeftAtDestructionGoToTheDeleter)
{
    g_freed = 0;
    {
        crtlockqueue queue(&countfree);
        queue.put(new int(1));
        queue.put(new int(2));
        delete static_cast<int*>(queue.get(false));
    }
    EXPECT_EQ(g_freed, 1);
}

TEST(Crtcond, TimedWaitEndsOnTimeOutOrAbort)
{
    crtmutex mutex;
    crtcond cond;
    mutex.lock();
    EXPECT_FALSE(cond.waitms(mutex, 1));
    cond.abort();
    EXPECT_TRUE(cond.isaborted());
    EXPECT_TRUE(cond.waitms(mutex, 60000));  // aborted: returns at once
    cond.wait(mutex);
    mutex.unlock();
}

TEST(Crtlockdataqueue, PoolHandsOutNewBlocksThenReusesReturnedOnes)
{
    crtlockdataqueue pool;
    EXPECT_EQ(pool.getornewblock(), nullptr);  // no block size: makes none
    pool.setbufsize(65536);
    _memitem* block = pool.getornewblock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->size, 65536u);
    EXPECT_EQ(block->len, 0u);
    block->buf[65535] = 1;  // the whole buffer is usable
    block->len = 10;
    pool.putblock(block);
    EXPECT_EQ(pool.count(), 1);
    EXPECT_EQ(pool.getornewblock(), block);
    EXPECT_EQ(pool.count(), 0);
    _memitem_free(block);
}

TEST(Crtlockdataqueue, QueueKeepsArrivalOrderAndClearFreesBlocks)
{
    crtlockdataqueue queue;
    _memitem* first = _memitem_new(16);
    _memitem* second = _memitem_new(16);
    first->off = 0;
    second->off = 65536;
    queue.putblock(first);
    queue.putblock(second);
    queue.putblock(nullptr);
    EXPECT_EQ(queue.count(), 2);
    EXPECT_EQ(queue.getblock(), first);
    _memitem_free(first);
    queue.putblock(_memitem_new(8));
    queue.clear();  // frees the rest with their buffers (the leak checker watches)
    EXPECT_EQ(queue.count(), 0);
    EXPECT_EQ(queue.getblock(), nullptr);
}

TEST(Crtlockdataqueue, SharedBetweenAProducerAndAConsumer)
{
    crtlockdataqueue queue;
    constexpr uint32_t kBlocks = 2000;
    std::thread producer([&] {
        for (uint32_t i = 0; i < kBlocks; ++i) {
            _memitem* item = _memitem_new(4);
            item->off = i;
            queue.putblock(item);
        }
    });
    uint32_t expected = 0;
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (expected < kBlocks && std::chrono::steady_clock::now() < deadline) {
        if (_memitem* item = queue.getblock()) {
            EXPECT_EQ(item->off, expected);
            ++expected;
            _memitem_free(item);
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_EQ(expected, kBlocks);
}
