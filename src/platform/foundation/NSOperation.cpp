#include "platform/foundation/NSOperation.h"

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <utility>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSRunLoop.h"

void NSOperation::start()
{
    {
        std::lock_guard lock(mutex_);
        if (started_) {
            return;
        }
        started_ = true;
    }
    if (!isCancelled()) {
        setExecuting(true);
        struct Finish {
            NSOperation& op;
            ~Finish()
            {
                op.setExecuting(false);
                op.setFinished(true);
            }
        } finish{*this};
        main();
        return;
    }
    setFinished(true);
}

void NSOperation::cancel()
{
    if (!cancelled_.exchange(true)) {
        readinessChanged();  // a cancelled operation is ready: its queue may start it now
    }
}

bool NSOperation::isReady() const
{
    if (isCancelled()) {
        return true;
    }
    std::lock_guard lock(mutex_);
    return std::all_of(dependencies_.begin(), dependencies_.end(),
                       [](const Ref<NSOperation>& d) { return d->isFinished(); });
}

void NSOperation::addDependency(const Ref<NSOperation>& operation)
{
    if (!operation || operation.get() == this) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (std::find(dependencies_.begin(), dependencies_.end(), operation) != dependencies_.end()) {
            return;
        }
        dependencies_.push_back(operation);
    }
    {
        std::lock_guard lock(operation->mutex_);
        operation->dependents_.push_back(std::static_pointer_cast<NSOperation>(shared_from_this()));
    }
    readinessChanged();  // an operation waiting in a queue may no longer be ready
}

void NSOperation::removeDependency(const Ref<NSOperation>& operation)
{
    {
        std::lock_guard lock(mutex_);
        std::erase(dependencies_, operation);
    }
    readinessChanged();
}

std::vector<Ref<NSOperation>> NSOperation::dependencies() const
{
    std::lock_guard lock(mutex_);
    return dependencies_;
}

void NSOperation::setQueuePriority(long priority)
{
    if (priority_.exchange(priority) != priority) {
        readinessChanged();  // refiled under its new priority
    }
}

void NSOperation::setCompletionBlock(std::function<void()> block)
{
    std::lock_guard lock(mutex_);
    completion_ = std::move(block);
}

void NSOperation::waitUntilFinished()
{
    std::unique_lock lock(mutex_);
    finishedCondition_.wait(lock, [this] { return finished_.load(); });
}

void NSOperation::readinessChanged()
{
    Ref<NSOperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        queue = queue_.lock();
    }
    if (queue) {
        queue->refile(this);
        queue->schedule();
    }
}

void NSOperation::setFinished(bool finished)
{
    // The queue drops its reference below; the operation stays alive until this call returns.
    auto self = std::static_pointer_cast<NSOperation>(shared_from_this());
    std::function<void()> completion;
    Ref<NSOperationQueue> queue;
    std::vector<Weak<NSOperation>> dependents;
    {
        std::lock_guard lock(mutex_);
        if (!finished) {
            finished_ = false;
            return;
        }
        if (finished_) {
            return;
        }
        finished_ = true;
        completion = std::move(completion_);
        queue = queue_.lock();
        dependents = dependents_;
    }
    finishedCondition_.notify_all();
    // Dependants are refiled first, so the slot this frees goes to the best of everything ready now.
    for (const auto& weak : dependents) {
        if (auto dependent = weak.lock()) {
            dependent->readinessChanged();
        }
    }
    if (queue) {
        queue->operationFinished(this);
    }
    if (completion) {
        completion();
    }
}

Ref<NSBlockOperation> NSBlockOperation::blockOperationWithBlock(std::function<void()> block)
{
    auto operation = std::make_shared<NSBlockOperation>();
    operation->addExecutionBlock(std::move(block));
    return operation;
}

void NSBlockOperation::addExecutionBlock(std::function<void()> block)
{
    std::lock_guard lock(blocksMutex_);
    blocks_.push_back(std::move(block));
}

void NSBlockOperation::main()
{
    std::vector<std::function<void()>> blocks;
    {
        std::lock_guard lock(blocksMutex_);
        blocks.swap(blocks_);
    }
    for (auto& block : blocks) {
        if (block) {
            block();
        }
    }
}

Ref<NSInvocationOperation> NSInvocationOperation::create(std::function<void()> invocation)
{
    auto operation = std::make_shared<NSInvocationOperation>();
    operation->addExecutionBlock(std::move(invocation));
    return operation;
}

Ref<NSOperationQueue> NSOperationQueue::create()
{
    return std::make_shared<NSOperationQueue>();
}

Ref<NSOperationQueue> NSOperationQueue::mainQueue()
{
    static auto* queue = [] {
        auto* q = new Ref<NSOperationQueue>(create());
        (*q)->main_ = true;
        (*q)->width_ = 1;
        (*q)->name_ = "NSOperationQueue Main Queue";
        return q;
    }();
    return *queue;
}

void NSOperationQueue::addOperation(const Ref<NSOperation>& operation)
{
    if (!operation) {
        return;
    }
    {
        std::lock_guard lock(operation->mutex_);
        if (operation->enqueued_ || operation->finished_) {
            throw std::invalid_argument("NSOperationQueue: operation is already in a queue or finished");
        }
        operation->enqueued_ = true;
        operation->queue_ = std::static_pointer_cast<NSOperationQueue>(shared_from_this());
    }
    {
        std::lock_guard lock(mutex_);
        operations_.push_back(operation);
        operation->queueEntry_ = std::prev(operations_.end());
        operation->queueOrder_ = nextOrder_++;
        operation->queueState_ = NSOperation::QueueState::Waiting;
        refileLocked(operation.get());
    }
    schedule();
}

void NSOperationQueue::addOperations(const std::vector<Ref<NSOperation>>& operations, bool waitUntilFinished)
{
    for (const auto& operation : operations) {
        addOperation(operation);
    }
    if (waitUntilFinished) {
        for (const auto& operation : operations) {
            operation->waitUntilFinished();
        }
    }
}

void NSOperationQueue::addOperationWithBlock(std::function<void()> block)
{
    addOperation(NSBlockOperation::blockOperationWithBlock(std::move(block)));
}

std::vector<Ref<NSOperation>> NSOperationQueue::operations() const
{
    std::lock_guard lock(mutex_);
    return {operations_.begin(), operations_.end()};
}

size_t NSOperationQueue::operationCount() const
{
    std::lock_guard lock(mutex_);
    return operations_.size();
}

long NSOperationQueue::maxConcurrentOperationCount() const
{
    std::lock_guard lock(mutex_);
    return width_;
}

void NSOperationQueue::setMaxConcurrentOperationCount(long count)
{
    {
        std::lock_guard lock(mutex_);
        width_ = count;
    }
    schedule();
}

bool NSOperationQueue::isSuspended() const
{
    std::lock_guard lock(mutex_);
    return suspended_;
}

void NSOperationQueue::setSuspended(bool suspended)
{
    {
        std::lock_guard lock(mutex_);
        suspended_ = suspended;
    }
    schedule();
}

void NSOperationQueue::cancelAllOperations()
{
    for (const auto& operation : operations()) {
        operation->cancel();
    }
}

void NSOperationQueue::waitUntilAllOperationsAreFinished()
{
    std::unique_lock lock(mutex_);
    drained_.wait(lock, [this] { return operations_.empty(); });
}

std::string NSOperationQueue::name() const
{
    std::lock_guard lock(mutex_);
    return name_;
}

void NSOperationQueue::setName(std::string name)
{
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

void NSOperationQueue::refile(NSOperation* operation)
{
    std::lock_guard lock(mutex_);
    refileLocked(operation);
}

void NSOperationQueue::refileLocked(NSOperation* operation)
{
    using State = NSOperation::QueueState;
    if (operation->queueState_ != State::Waiting && operation->queueState_ != State::Ready) {
        return;  // started or gone: nothing to file
    }
    const bool ready = operation->isReady();
    const long priority = operation->queuePriority();
    if (operation->queueState_ == State::Ready) {
        if (ready && priority == operation->readyPriority_) {
            return;
        }
        ready_.erase(ReadyKey{operation->readyPriority_, operation->queueOrder_, operation});
        operation->queueState_ = State::Waiting;
    }
    if (ready) {
        operation->readyPriority_ = priority;
        ready_.insert(ReadyKey{priority, operation->queueOrder_, operation});
        operation->queueState_ = State::Ready;
    }
}

void NSOperationQueue::schedule()
{
    std::vector<Ref<NSOperation>> toStart;
    bool onMain = false;
    {
        std::lock_guard lock(mutex_);
        onMain = main_;
        if (suspended_) {
            return;
        }
        const size_t limit = width_ >= 0 ? static_cast<size_t>(width_)
                                         : std::max<size_t>(2, std::thread::hardware_concurrency());
        while (running_ < limit && !ready_.empty()) {
            NSOperation* next = ready_.begin()->operation;
            ready_.erase(ready_.begin());
            next->queueState_ = NSOperation::QueueState::Started;
            ++running_;
            toStart.push_back(*next->queueEntry_);
        }
    }
    for (auto& operation : toStart) {
        if (onMain) {
            NSRunLoop::mainRunLoop()->performBlock([operation] { operation->start(); }, {kCFRunLoopCommonModes});
        } else if (operation->startsOnAnyThread()) {
            operation->start();
        } else {
            DispatchRunOnWorker([operation] { operation->start(); });
        }
    }
}

void NSOperationQueue::operationFinished(NSOperation* operation)
{
    Ref<NSOperation> leaving;  // released unlocked
    {
        using State = NSOperation::QueueState;
        std::lock_guard lock(mutex_);
        switch (operation->queueState_) {
        case State::Gone:
            return;
        case State::Started:
            --running_;
            break;
        case State::Ready:
            ready_.erase(ReadyKey{operation->readyPriority_, operation->queueOrder_, operation});
            break;
        case State::Waiting:
            break;
        }
        operation->queueState_ = State::Gone;
        leaving = std::move(*operation->queueEntry_);
        operations_.erase(operation->queueEntry_);
    }
    drained_.notify_all();
    schedule();
}
