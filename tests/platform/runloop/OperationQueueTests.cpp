// Operation queues: width (changed at run time), priorities, dependencies, suspension, cancellation.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSThread.h"

namespace {

// Counts what the queue starts; checks at every start that the queue's width is respected.
struct Recorder {
    std::mutex mutex;
    std::vector<std::string> started;
    int running = 0;
    int violations = 0;

    size_t startedCount()
    {
        std::lock_guard lock(mutex);
        return started.size();
    }
};

// Concurrent, like a network request: it holds its slot from start until the test finishes it.
class HeldOperation : public NSOperation {
public:
    HeldOperation(Recorder& recorder, Weak<NSOperationQueue> queue, std::string name)
        : recorder_(recorder), queue_(std::move(queue)), name_(std::move(name))
    {
    }
    bool isConcurrent() const override { return true; }
    void start() override
    {
        if (isCancelled()) {
            setFinished(true);
            return;
        }
        setExecuting(true);
        std::lock_guard lock(recorder_.mutex);
        ++recorder_.running;
        if (auto queue = queue_.lock(); queue && recorder_.running > queue->maxConcurrentOperationCount()) {
            ++recorder_.violations;
        }
        recorder_.started.push_back(name_);
    }
    void finish()
    {
        {
            std::lock_guard lock(recorder_.mutex);
            --recorder_.running;
        }
        setExecuting(false);
        setFinished(true);
    }

private:
    Recorder& recorder_;
    Weak<NSOperationQueue> queue_;
    std::string name_;
};

class OperationQueueTest : public ::testing::Test {
protected:
    MainThreadScope main_;
};

TEST_F(OperationQueueTest, WidthBoundsRunningOperationsAndCanChangeWhileRunning)
{
    Recorder recorder;
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(4);
    std::vector<Ref<HeldOperation>> ops;
    for (int i = 0; i < 10; ++i) {
        ops.push_back(std::make_shared<HeldOperation>(recorder, queue, std::to_string(i)));
        queue->addOperation(ops.back());
    }
    auto startedReaches = [&](size_t n) { return pumpMainUntil([&] { return recorder.startedCount() == n; }); };
    ASSERT_TRUE(startedReaches(4));

    queue->setMaxConcurrentOperationCount(6);
    ASSERT_TRUE(startedReaches(6));

    // Narrowed to 2 with 6 running: nothing starts until fewer than 2 run.
    queue->setMaxConcurrentOperationCount(2);
    for (int i = 0; i < 5; ++i) {
        ops[i]->finish();
    }
    ASSERT_TRUE(startedReaches(7));
    ops[5]->finish();
    ASSERT_TRUE(startedReaches(8));
    for (int i = 6; i < 10; ++i) {
        ops[i]->finish();
        // ops 8 and 9 start as earlier ones leave; waiting keeps the width checks free of races
        if (i < 8) {
            ASSERT_TRUE(startedReaches(static_cast<size_t>(i + 3)));
        }
    }
    EXPECT_TRUE(pumpMainUntil([&] { return queue->operationCount() == 0; }));
    EXPECT_EQ(recorder.violations, 0);
    // Equal priorities start in the order added (those started together may record in any order).
    ASSERT_EQ(recorder.started.size(), 10u);
    EXPECT_EQ(std::set<std::string>(recorder.started.begin(), recorder.started.begin() + 4),
              (std::set<std::string>{"0", "1", "2", "3"}));
    EXPECT_EQ(std::set<std::string>(recorder.started.begin(), recorder.started.end()).size(), 10u);
}

TEST_F(OperationQueueTest, StartsByPriorityOnceDependenciesHaveFinished)
{
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    queue->setSuspended(true);
    std::mutex mutex;
    std::vector<std::string> order;
    auto op = [&](std::string name, long priority) {
        auto o = NSBlockOperation::blockOperationWithBlock([&, name] {
            std::lock_guard lock(mutex);
            order.push_back(name);
        });
        o->setQueuePriority(priority);
        return o;
    };
    auto normal = op("normal", NSOperationQueuePriorityNormal);
    auto low = op("low", NSOperationQueuePriorityLow);
    auto high = op("high", 4);
    auto head = op("head", 10);
    auto get = op("get", NSOperationQueuePriorityVeryHigh);
    get->addDependency(high);
    for (const auto& o : {normal, low, get, high, head}) {
        queue->addOperation(o);
    }
    EXPECT_FALSE(get->isReady());
    queue->setSuspended(false);
    EXPECT_TRUE(pumpMainUntil([&] { return queue->operationCount() == 0; }));
    EXPECT_EQ(order, (std::vector<std::string>{"head", "high", "get", "normal", "low"}));
}

TEST_F(OperationQueueTest, CancelAllStillStartsEveryOperationSoTheQueueDrains)
{
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(4);
    queue->setSuspended(true);
    std::atomic<int> mains{0};
    std::vector<Ref<NSOperation>> ops;
    auto never = NSBlockOperation::blockOperationWithBlock([] {});  // in no queue: never finishes
    for (int i = 0; i < 6; ++i) {
        auto o = NSBlockOperation::blockOperationWithBlock([&] { ++mains; });
        if (i % 2) {
            o->addDependency(never);
        }
        ops.push_back(o);
        queue->addOperation(o);
    }
    Recorder recorder;
    auto held = std::make_shared<HeldOperation>(recorder, queue, "held");
    queue->addOperation(held);
    EXPECT_EQ(queue->operationCount(), 7u);

    queue->cancelAllOperations();
    queue->setSuspended(false);
    EXPECT_TRUE(pumpMainUntil([&] { return queue->operationCount() == 0; }));
    EXPECT_EQ(mains, 0);
    EXPECT_EQ(recorder.startedCount(), 0u);
    for (const auto& o : ops) {
        EXPECT_TRUE(o->isCancelled());
        EXPECT_TRUE(o->isFinished());
    }

    // The queue goes on serving what is added later.
    queue->addOperationWithBlock([&] { ++mains; });
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(mains, 1);
}

TEST_F(OperationQueueTest, MainQueueStartsItsOperationsOnTheMainLoop)
{
    bool onMain = false;
    auto o = NSBlockOperation::blockOperationWithBlock([&] { onMain = NSThread::isMainThread(); });
    NSOperationQueue::mainQueue()->addOperation(o);
    EXPECT_FALSE(o->isFinished());
    EXPECT_TRUE(pumpMainUntil([&] { return o->isFinished(); }));
    EXPECT_TRUE(onMain);
}

}  // namespace
