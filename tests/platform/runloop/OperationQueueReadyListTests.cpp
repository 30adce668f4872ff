// The queue's ready list: an operation is refiled whenever its readiness or priority changes after it
// was added (priority changed, dependency added, removed or finished, cancelled), and operations that
// only hand their work elsewhere are started by the thread that freed their slot.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSThread.h"

namespace {
namespace OperationQueueReadyListTests_cpp {

class OperationQueueReadyListTest : public ::testing::Test {
protected:
    MainThreadScope main_;
};

struct Order {
    std::mutex mutex;
    std::vector<std::string> names;
    void add(const std::string& name)
    {
        std::lock_guard lock(mutex);
        names.push_back(name);
    }
};

// Width 1, suspended while the case sets things up, so the order of starts is the ready list's order.
TEST_F(OperationQueueReadyListTest, ChangesAfterAddingAreHonoured)
{
    using Ops = std::vector<Ref<NSBlockOperation>>;  // a, b, c, d, all normal priority, added in that order
    struct Case {
        const char* name;
        std::function<void(const Ops&)> change;  // made after adding, while suspended
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"order added", [](const Ops&) {}, {"a", "b", "c", "d"}},
        {"priority raised", [](const Ops& o) { o[3]->setQueuePriority(NSOperationQueuePriorityHigh); },
         {"d", "a", "b", "c"}},
        {"priority lowered", [](const Ops& o) { o[0]->setQueuePriority(NSOperationQueuePriorityVeryLow); },
         {"b", "c", "d", "a"}},
        {"dependency added", [](const Ops& o) { o[0]->addDependency(o[2]); }, {"b", "c", "a", "d"}},
        {"dependency added then removed",
         [](const Ops& o) {
             o[0]->addDependency(o[3]);
             o[0]->removeDependency(o[3]);
         },
         {"a", "b", "c", "d"}},
        {"waiting on a raised one",
         [](const Ops& o) {
             o[0]->addDependency(o[1]);
             o[1]->setQueuePriority(NSOperationQueuePriorityVeryHigh);
             o[0]->setQueuePriority(NSOperationQueuePriorityHigh);
         },
         {"b", "a", "c", "d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto queue = NSOperationQueue::create();
        queue->setMaxConcurrentOperationCount(1);
        queue->setSuspended(true);
        Order order;
        Ops ops;
        for (const char* name : {"a", "b", "c", "d"}) {
            ops.push_back(NSBlockOperation::blockOperationWithBlock([&order, name] { order.add(name); }));
            queue->addOperation(ops.back());
        }
        c.change(ops);
        queue->setSuspended(false);
        ASSERT_TRUE(pumpMainUntil([&] { return queue->operationCount() == 0; }));
        EXPECT_EQ(order.names, c.expected);
    }
}

TEST_F(OperationQueueReadyListTest, ACancelledWaitingOperationLeavesAndItsDependantsFollow)
{
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    Order order;
    auto gate = NSBlockOperation::blockOperationWithBlock([] {});  // never added: keeps `blocked` waiting
    auto blocked = NSBlockOperation::blockOperationWithBlock([&] { order.add("blocked"); });
    blocked->addDependency(gate);
    auto after = NSBlockOperation::blockOperationWithBlock([&] { order.add("after"); });
    after->addDependency(blocked);
    queue->addOperation(blocked);
    queue->addOperation(after);
    EXPECT_EQ(queue->operationCount(), 2u);
    blocked->cancel();  // ready now: started (its main() is skipped), it leaves, and `after` may run
    ASSERT_TRUE(pumpMainUntil([&] { return queue->operationCount() == 0; }));
    EXPECT_EQ(order.names, (std::vector<std::string>{"after"}));
    EXPECT_TRUE(blocked->isFinished());
}

// Starts by handing work to a thread of its own, like a network request; records which thread called
// start().
class HandingOver : public NSOperation {
public:
    explicit HandingOver(std::thread::id* startedOn) : startedOn_(startedOn) {}
    bool isConcurrent() const override { return true; }
    bool startsOnAnyThread() const override { return true; }
    void start() override
    {
        *startedOn_ = std::this_thread::get_id();
        setExecuting(true);
    }
    void finish()
    {
        setExecuting(false);
        setFinished(true);
    }

private:
    std::thread::id* startedOn_;
};

TEST_F(OperationQueueReadyListTest, AnOperationThatOnlyHandsOverIsStartedByTheThreadFreeingItsSlot)
{
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    std::thread::id firstOn, secondOn;
    auto first = std::make_shared<HandingOver>(&firstOn);
    auto second = std::make_shared<HandingOver>(&secondOn);
    queue->addOperation(first);
    EXPECT_EQ(firstOn, std::this_thread::get_id());  // started by the thread adding it, at once
    queue->addOperation(second);
    EXPECT_EQ(secondOn, std::thread::id());  // no slot yet
    std::thread::id finisher;
    std::thread other([&] {
        finisher = std::this_thread::get_id();
        first->finish();
    });
    other.join();
    EXPECT_EQ(secondOn, finisher);
    second->finish();
    EXPECT_EQ(queue->operationCount(), 0u);
}

}  // namespace OperationQueueReadyListTests_cpp
}  // namespace
