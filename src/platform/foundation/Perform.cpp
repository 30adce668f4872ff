#include "platform/foundation/Perform.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSTimer.h"

namespace {

struct Pending {
    PerformRequest request;
    Weak<NSTimer> timer;
};

// Delayed requests are registered and cancelled on the same thread (the loop they run on).
thread_local std::vector<Pending> t_pending;

void prune()
{
    std::erase_if(t_pending, [](const Pending& p) {
        auto timer = p.timer.lock();
        return !timer || !timer->isValid();
    });
}

void cancelMatching(const std::function<bool(const PerformRequest&)>& matches)
{
    std::vector<Ref<NSTimer>> cancelled;
    prune();
    std::erase_if(t_pending, [&](const Pending& p) {
        if (!matches(p.request)) {
            return false;
        }
        if (auto timer = p.timer.lock()) {
            cancelled.push_back(timer);
        }
        return true;
    });
    for (auto& timer : cancelled) {
        timer->invalidate();
    }
}

}  // namespace

void performSelectorOnThread(const Ref<NSThread>& thread, std::function<void()> fn, bool waitUntilDone,
                             const RunLoopModes& modes)
{
    if (!thread || !fn) {
        return;
    }
    if (waitUntilDone && thread == NSThread::currentThread()) {
        fn();
        return;
    }
    if (!waitUntilDone) {
        thread->runLoop()->performBlock(std::move(fn), modes);
        return;
    }
    struct Waiter {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto waiter = std::make_shared<Waiter>();
    thread->runLoop()->performBlock(
        [fn = std::move(fn), waiter] {
            // Released even when fn throws on the target thread.
            struct Signal {
                Waiter& w;
                ~Signal()
                {
                    {
                        std::lock_guard lock(w.mutex);
                        w.done = true;
                    }
                    w.cv.notify_all();
                }
            } signal{*waiter};
            fn();
        },
        modes);
    std::unique_lock lock(waiter->mutex);
    waiter->cv.wait(lock, [&] { return waiter->done; });
}

void performSelectorOnMainThread(std::function<void()> fn, bool waitUntilDone, const RunLoopModes& modes)
{
    performSelectorOnThread(NSThread::mainThread(), std::move(fn), waitUntilDone, modes);
}

void performSelectorInBackground(std::function<void()> fn)
{
    NSThread::detachNewThreadWithBlock(std::move(fn));
}

void performSelectorAfterDelay(PerformRequest request, std::function<void()> fn, double delay,
                               const RunLoopModes& modes)
{
    auto timer = NSTimer::timerWithFireDate(Clock::now() + std::max(delay, 0.0), 0, false,
                                            [fn = std::move(fn)](NSTimer&) {
                                                if (fn) {
                                                    fn();
                                                }
                                            });
    prune();
    t_pending.push_back(Pending{std::move(request), timer});
    auto loop = NSRunLoop::currentRunLoop();
    for (const auto& mode : modes) {
        loop->addTimer(timer, mode);
    }
}

void cancelPreviousPerformRequestsWithTarget(const void* target)
{
    cancelMatching([&](const PerformRequest& r) { return r.target == target; });
}

void cancelPreviousPerformRequestsWithTarget(const void* target, const std::string& selector, const void* argument)
{
    cancelMatching([&](const PerformRequest& r) {
        return r.target == target && r.selector == selector && r.argument == argument;
    });
}
