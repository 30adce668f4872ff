#include "platform/foundation/NSTimer.h"

NSTimer::NSTimer(double date, double interval, bool repeats, Callback callback)
    : fireDate_(date), interval_(repeats && interval <= 0 ? 0.0001 : interval), repeats_(repeats),
      callback_(std::move(callback))
{
}

Ref<NSTimer> NSTimer::timerWithFireDate(double date, double interval, bool repeats, Callback callback)
{
    return std::make_shared<NSTimer>(date, interval, repeats, std::move(callback));
}

void NSTimer::wakeLoop()
{
    Ref<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = loop_.lock();
    }
    if (loop) {
        loop->timerChanged();
    }
}

void NSTimer::fire()
{
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        if (!valid_) {
            return;
        }
        callback = callback_;
    }
    if (callback) {
        callback(*this);
    }
    if (!repeats_) {
        invalidate();
    }
}

void NSTimer::invalidate()
{
    Callback dropped;
    {
        std::lock_guard lock(mutex_);
        if (!valid_) {
            return;
        }
        valid_ = false;
        // What the callback holds (targets, requests) is released now, not when the loop drops the timer.
        dropped.swap(callback_);
    }
    wakeLoop();
}

bool NSTimer::isValid() const
{
    std::lock_guard lock(mutex_);
    return valid_;
}

double NSTimer::fireDate() const
{
    std::lock_guard lock(mutex_);
    return fireDate_;
}

void NSTimer::setFireDate(double date)
{
    {
        std::lock_guard lock(mutex_);
        fireDate_ = date;
    }
    wakeLoop();
}

double NSTimer::timeInterval() const
{
    return repeats_ ? interval_ : 0;
}
