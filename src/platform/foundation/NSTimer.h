#pragma once
// Timers on run loops, read on the process clock (Clock). A repeating timer that fell behind fires once
// and is rescheduled to the next multiple of its interval after now; a one-shot timer is invalidated
// after it fires. The loop holds the timer while it is valid; invalidate() removes it.
#include <functional>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSRunLoop.h"

class NSTimer : public NSObject {
public:
    using Callback = std::function<void(NSTimer&)>;

    // A timer not yet on a loop: add it with NSRunLoop::addTimer. `f` is callable with (NSTimer&) or ().
    template <class F>
    static Ref<NSTimer> timerWithTimeInterval(double seconds, bool repeats, F&& f);
    // A timer added to the calling thread's loop in the default mode.
    template <class F>
    static Ref<NSTimer> scheduledTimerWithTimeInterval(double seconds, bool repeats, F&& f);
    static Ref<NSTimer> timerWithFireDate(double date, double interval, bool repeats, Callback callback);

    // Runs the callback now. A one-shot timer is then invalidated; a repeating one keeps its schedule.
    void fire();
    void invalidate();
    bool isValid() const;
    double fireDate() const;
    void setFireDate(double date);
    double timeInterval() const;
    bool repeats() const { return repeats_; }

    // Use the factories; public only for make_shared.
    NSTimer(double date, double interval, bool repeats, Callback callback);

private:
    friend class NSRunLoop;
    static Callback wrap(Callback callback) { return callback; }
    template <class F>
    static Callback wrap(F&& f)
    {
        if constexpr (std::is_invocable_v<F&, NSTimer&>) {
            return Callback(std::forward<F>(f));
        } else {
            return [g = std::forward<F>(f)](NSTimer&) mutable { g(); };
        }
    }
    void wakeLoop();

    mutable std::mutex mutex_;
    double fireDate_;
    const double interval_;
    const bool repeats_;
    bool valid_ = true;
    Callback callback_;
    std::weak_ptr<NSRunLoop> loop_;
};

template <class F>
Ref<NSTimer> NSTimer::timerWithTimeInterval(double seconds, bool repeats, F&& f)
{
    // As on the phone, a non-positive interval means 0.1 ms.
    const double interval = seconds > 0 ? seconds : 0.0001;
    return timerWithFireDate(Clock::now() + interval, interval, repeats, wrap(std::forward<F>(f)));
}

template <class F>
Ref<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double seconds, bool repeats, F&& f)
{
    auto timer = timerWithTimeInterval(seconds, repeats, std::forward<F>(f));
    NSRunLoop::currentRunLoop()->addTimer(timer, kCFRunLoopDefaultMode);
    return timer;
}
