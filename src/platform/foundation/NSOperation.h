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
// Operations of ordinary queues are started on worker threads; those of mainQueue() on the main run
// loop, in the common modes.
#include <atomic>
#include <condition_variable>
#include <functional>
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
    void setQueuePriority(long priority) { priority_ = priority; }

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
    void schedule();
    void operationFinished(NSOperation* operation);

    mutable std::mutex mutex_;  // guards the fields below
    std::vector<Ref<NSOperation>> operations_;
    std::set<NSOperation*> started_;
    long width_ = NSOperationQueueDefaultMaxConcurrentOperationCount;
    bool suspended_ = false;
    bool main_ = false;
    std::string name_;
    std::condition_variable drained_;
};
