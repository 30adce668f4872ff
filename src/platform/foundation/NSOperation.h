#pragma once
// Operations and operation queues.
//
// An operation is started once. The default start() runs main() on the calling thread (unless the
// operation was cancelled first) and finishes. A concurrent operation overrides start(): it calls
// setExecuting(true), hands its work elsewhere, returns, and calls setFinished(true) when the work is
// done; it holds its queue slot from start until then.
//
// A queue starts ready operations, highest queuePriority first and in the order added among equals,
// while fewer than maxConcurrentOperationCount of its operations are executing and it is not
// suspended. An operation is ready when every dependency has finished, or when it has been cancelled:
// a cancelled operation is still started (its start() finishes it at once), so it leaves the queue.
// Operations of ordinary queues are started on worker threads (or, for those whose start() only hands
// work elsewhere, on the thread that freed the slot or added them); those of mainQueue() on the main
// run loop, in the common modes.
//
// A queue keeps its operations that may start now in a ready list ordered by priority, then order
// added; an operation moves into or out of it only when its own readiness or priority changes (a
// dependency finishing, a cancel, a dependency added or removed), so starting the next one costs the
// same however many operations wait.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

enum NSOperationQueuePriority : long {
    NSOperationQueuePriorityVeryLow = -8,
    NSOperationQueuePriorityLow = -4,
    NSOperationQueuePriorityNormal = 0,
    NSOperationQueuePriorityHigh = 4,
    NSOperationQueuePriorityVeryHigh = 8,
};

class NSOperationQueue;

class NSOperation : public NSObject {
public:
    NSOperation() = default;
    ~NSOperation() override = default;

    virtual void start();
    virtual void main() {}
    virtual bool isConcurrent() const { return false; }
    // Whether a queue may call start() on whichever thread makes the operation startable (the one
    // adding it, or the one finishing another operation) instead of handing it to a worker: true only
    // for operations whose start() just hands their work to a thread of their own and never blocks.
    virtual bool startsOnAnyThread() const { return false; }
    // Marks the operation cancelled. It does not stop running work; main() checks isCancelled().
    virtual void cancel();

    bool isCancelled() const { return cancelled_; }
    bool isExecuting() const { return executing_; }
    bool isFinished() const { return finished_; }
    bool isReady() const;

    void addDependency(const Ref<NSOperation>& operation);
    void removeDependency(const Ref<NSOperation>& operation);
    std::vector<Ref<NSOperation>> dependencies() const;

    long queuePriority() const { return priority_; }
    void setQueuePriority(long priority);

    // Runs once the operation has finished, on the thread that finished it.
    void setCompletionBlock(std::function<void()> block);
    // Blocks the calling thread until the operation has finished.
    void waitUntilFinished();

protected:
    void setExecuting(bool executing) { executing_ = executing; }
    // Finishing frees the queue slot, readies the dependants and runs the completion block.
    void setFinished(bool finished);

private:
    friend class NSOperationQueue;
    void readinessChanged();

    mutable std::mutex mutex_;  // guards the fields below
    std::vector<Ref<NSOperation>> dependencies_;
    std::vector<Weak<NSOperation>> dependents_;
    Weak<NSOperationQueue> queue_;
    bool enqueued_ = false;
    bool started_ = false;
    std::function<void()> completion_;
    std::condition_variable finishedCondition_;

    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<long> priority_{NSOperationQueuePriorityNormal};

    // The queue's bookkeeping, under the queue's mutex.
    enum class QueueState { Waiting, Ready, Started, Gone };
    QueueState queueState_ = QueueState::Gone;
    uint64_t queueOrder_ = 0;    // order added
    long readyPriority_ = 0;     // the priority it is filed under in the ready list
    std::list<Ref<NSOperation>>::iterator queueEntry_;
};

// Runs its blocks, in order, as its main().
class NSBlockOperation : public NSOperation {
public:
    static Ref<NSBlockOperation> blockOperationWithBlock(std::function<void()> block);
    void addExecutionBlock(std::function<void()> block);
    void main() override;

private:
    std::mutex blocksMutex_;
    std::vector<std::function<void()>> blocks_;
};

// An operation that makes one call: the closure stands for the target, selector and argument.
class NSInvocationOperation : public NSBlockOperation {
public:
    static Ref<NSInvocationOperation> create(std::function<void()> invocation);
};

class NSOperationQueue : public NSObject {
public:
    static constexpr long NSOperationQueueDefaultMaxConcurrentOperationCount = -1;

    static Ref<NSOperationQueue> create();
    static Ref<NSOperationQueue> mainQueue();

    // Adds an operation; one that is already in a queue or finished is refused (std::invalid_argument).
    void addOperation(const Ref<NSOperation>& operation);
    void addOperations(const std::vector<Ref<NSOperation>>& operations, bool waitUntilFinished);
    void addOperationWithBlock(std::function<void()> block);

    // The operations not finished yet, in the order added.
    std::vector<Ref<NSOperation>> operations() const;
    size_t operationCount() const;

    long maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(long count);
    bool isSuspended() const;
    void setSuspended(bool suspended);
    void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();
    std::string name() const;
    void setName(std::string name);

    // Use create(); public for make_shared and for subclasses.
    NSOperationQueue() = default;

private:
    friend class NSOperation;
    struct ReadyKey {
        long priority;
        uint64_t order;
        NSOperation* operation;
        bool operator<(const ReadyKey& other) const
        {
            return priority != other.priority ? priority > other.priority : order < other.order;
        }
    };
    void schedule();
    void operationFinished(NSOperation* operation);
    // Files the operation in or out of the ready list by its readiness and priority now.
    void refile(NSOperation* operation);
    void refileLocked(NSOperation* operation);

    mutable std::mutex mutex_;  // guards the fields below (and the operations' queue bookkeeping)
    std::list<Ref<NSOperation>> operations_;  // not finished, in the order added
    std::set<ReadyKey> ready_;                // not started and ready
    size_t running_ = 0;                      // started and not finished
    uint64_t nextOrder_ = 0;
    long width_ = NSOperationQueueDefaultMaxConcurrentOperationCount;
    bool suspended_ = false;
    bool main_ = false;
    std::string name_;
    std::condition_variable drained_;
};
