#include "platform/foundation/Dispatch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <thread>
#include <utility>

#include "platform/foundation/CFRunLoopSource.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/Perform.h"

namespace {

// The queue whose block the calling thread is running (for sync to one's own queue).
thread_local const DispatchQueue* t_currentQueue = nullptr;

struct CurrentQueue {
    const DispatchQueue* saved;
    explicit CurrentQueue(const DispatchQueue* queue) : saved(t_currentQueue) { t_currentQueue = queue; }
    ~CurrentQueue() { t_currentQueue = saved; }
};

// Worker threads shared by every queue. A job never waits for a free worker: when all are busy (some
// may be blocked in dispatch_sync), a new one starts. Idle workers leave after a while.
class WorkerPool {
public:
    void submit(dispatch_block_t job)
    {
        bool spawn = false;
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
            spawn = jobs_.size() > idle_;
        }
        if (spawn) {
            std::thread([this] { work(); }).detach();
        } else {
            cv_.notify_one();
        }
    }

private:
    void work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            const bool got = cv_.wait_for(lock, std::chrono::seconds(10), [this] { return !jobs_.empty(); });
            --idle_;
            if (!got) {
                return;
            }
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            job = nullptr;  // released before the lock is taken again
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<dispatch_block_t> jobs_;
    size_t idle_ = 0;
};

WorkerPool& pool()
{
    static auto* instance = new WorkerPool;  // leaked: its detached workers outlive static destruction
    return *instance;
}

const DispatchQueueAttr g_concurrentAttr{};

// The loop on which dispatch_after keeps its timers for queues other than the main queue.
Ref<NSRunLoop> timerLoop()
{
    static Ref<NSRunLoop>* loop = [] {
        auto runner = NSThread::create([] {
            auto own = NSRunLoop::currentRunLoop();
            for (;;) {
                own->runMode(kCFRunLoopDefaultMode, NSRunLoop::distantFuture);
            }
        });
        runner->setName("dispatch timers");
        auto* result = new Ref<NSRunLoop>(runner->runLoop());
        // A source that never fires: the loop always has something and waits instead of returning.
        (*result)->addSource(CFRunLoopSource::create([](unsigned) {}), kCFRunLoopDefaultMode);
        runner->start();
        return result;
    }();
    return *loop;
}

}  // namespace

const dispatch_queue_attr_t DISPATCH_QUEUE_CONCURRENT = &g_concurrentAttr;

DispatchQueue::DispatchQueue(std::string label, Kind kind) : label_(std::move(label)), kind_(kind) {}

void DispatchQueue::async(dispatch_block_t block)
{
    if (!block) {
        return;
    }
    switch (kind_) {
    case Kind::Main:
        NSRunLoop::mainRunLoop()->performBlock(std::move(block), {kCFRunLoopCommonModes});
        return;
    case Kind::Concurrent:
        pool().submit([self = shared_from_this(), this, block = std::move(block)] {
            CurrentQueue current(this);
            block();
        });
        return;
    case Kind::Serial: {
        bool start = false;
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(block));
            start = !draining_;
            draining_ = true;
        }
        if (start) {
            pool().submit([self = std::static_pointer_cast<DispatchQueue>(shared_from_this())] { self->drain(); });
        }
        return;
    }
    }
}

void DispatchQueue::drain()
{
    CurrentQueue current(this);
    for (;;) {
        dispatch_block_t block;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty()) {
                draining_ = false;
                return;
            }
            block = std::move(items_.front());
            items_.pop_front();
        }
        block();
    }
}

void DispatchQueue::sync(dispatch_block_t block)
{
    if (!block) {
        return;
    }
    switch (kind_) {
    case Kind::Main:
        performSelectorOnMainThread(std::move(block), true, {kCFRunLoopCommonModes});
        return;
    case Kind::Concurrent: {
        CurrentQueue current(this);
        block();
        return;
    }
    case Kind::Serial: {
        if (t_currentQueue == this) {
            block();
            return;
        }
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        async([&] {
            struct Signal {
                std::mutex& mutex;
                std::condition_variable& cv;
                bool& done;
                ~Signal()
                {
                    std::lock_guard lock(mutex);
                    done = true;
                    cv.notify_all();
                }
            } signal{mutex, cv, done};
            block();
        });
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return done; });
        return;
    }
    }
}

dispatch_queue_t dispatch_get_main_queue()
{
    static auto* queue = new dispatch_queue_t(std::make_shared<DispatchQueue>("main", DispatchQueue::Kind::Main));
    return *queue;
}

dispatch_queue_t dispatch_get_global_queue(long priority, unsigned long flags)
{
    static auto* queues = [] {
        auto* q = new dispatch_queue_t[4];
        const char* labels[] = {"global.background", "global.low", "global.default", "global.high"};
        for (int i = 0; i < 4; ++i) {
            q[i] = std::make_shared<DispatchQueue>(labels[i], DispatchQueue::Kind::Concurrent);
        }
        return q;
    }();
    if (priority >= DISPATCH_QUEUE_PRIORITY_HIGH) {
        return queues[3];
    }
    if (priority >= DISPATCH_QUEUE_PRIORITY_DEFAULT) {
        return queues[2];
    }
    if (priority >= DISPATCH_QUEUE_PRIORITY_LOW) {
        return queues[1];
    }
    return queues[0];
}

dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr)
{
    return std::make_shared<DispatchQueue>(label ? label : "",
                                           attr == DISPATCH_QUEUE_CONCURRENT ? DispatchQueue::Kind::Concurrent
                                                                             : DispatchQueue::Kind::Serial);
}

const char* dispatch_queue_get_label(const dispatch_queue_t& queue)
{
    return queue ? queue->label().c_str() : "";
}

void dispatch_async(const dispatch_queue_t& queue, dispatch_block_t block)
{
    if (queue) {
        queue->async(std::move(block));
    }
}

void dispatch_sync(const dispatch_queue_t& queue, dispatch_block_t block)
{
    if (queue) {
        queue->sync(std::move(block));
    }
}

namespace {

uint64_t clockNanoseconds()
{
    return static_cast<uint64_t>(std::llround(Clock::now() * 1e9));
}

double toClockSeconds(dispatch_time_t when)
{
    return when == DISPATCH_TIME_NOW ? Clock::now() : static_cast<double>(when) / 1e9;
}

}  // namespace

dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta)
{
    if (when == DISPATCH_TIME_FOREVER) {
        return DISPATCH_TIME_FOREVER;
    }
    const uint64_t base = when == DISPATCH_TIME_NOW ? clockNanoseconds() : when;
    if (delta < 0 && static_cast<uint64_t>(-delta) >= base) {
        return 1;  // as early as can be (0 would read as "now")
    }
    if (delta > 0 && static_cast<uint64_t>(delta) >= DISPATCH_TIME_FOREVER - base) {
        return DISPATCH_TIME_FOREVER;
    }
    return base + static_cast<uint64_t>(delta);
}

void dispatch_after(dispatch_time_t when, const dispatch_queue_t& queue, dispatch_block_t block)
{
    if (!queue || !block || when == DISPATCH_TIME_FOREVER) {
        return;
    }
    const double date = toClockSeconds(when);
    if (queue->kind() == DispatchQueue::Kind::Main) {
        auto timer = NSTimer::timerWithFireDate(date, 0, false, [block = std::move(block)](NSTimer&) { block(); });
        NSRunLoop::mainRunLoop()->addTimer(timer, kCFRunLoopCommonModes);
        return;
    }
    auto timer = NSTimer::timerWithFireDate(date, 0, false,
                                            [queue, block = std::move(block)](NSTimer&) { queue->async(block); });
    timerLoop()->addTimer(timer, kCFRunLoopDefaultMode);
}

void dispatch_once(dispatch_once_t* predicate, const dispatch_block_t& block)
{
    std::call_once(*predicate, [&] {
        if (block) {
            block();
        }
    });
}

void DispatchRunOnWorker(dispatch_block_t block)
{
    pool().submit(std::move(block));
}
