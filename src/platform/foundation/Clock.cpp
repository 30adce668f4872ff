#include "platform/foundation/Clock.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"

namespace {

double realNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double realWallNow()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Installed sources are kept for the life of the process: readers use the raw pointer without a lock.
std::atomic<ClockSource*> g_source{nullptr};

struct Installed {
    std::mutex mutex;
    std::shared_ptr<ClockSource> current;
    std::vector<std::shared_ptr<ClockSource>> kept;
};
Installed& installedState()
{
    static auto* state = new Installed;  // leaked: detached threads may read the clock at exit
    return *state;
}

struct Sleepers {
    std::mutex mutex;
    std::condition_variable changed;
};
Sleepers& sleepers()
{
    static auto* state = new Sleepers;
    return *state;
}

}  // namespace

double Clock::now()
{
    ClockSource* source = g_source.load(std::memory_order_acquire);
    return source ? source->now() : realNow();
}

double Clock::wallNow()
{
    ClockSource* source = g_source.load(std::memory_order_acquire);
    return source ? source->wallNow() : realWallNow();
}

bool Clock::isManual()
{
    ClockSource* source = g_source.load(std::memory_order_acquire);
    return source && source->isManual();
}

void Clock::install(std::shared_ptr<ClockSource> source)
{
    {
        auto& state = installedState();
        std::lock_guard lock(state.mutex);
        if (source) {
            state.kept.push_back(source);
        }
        state.current = source;
        g_source.store(source.get(), std::memory_order_release);
    }
    notifyChanged();
}

std::shared_ptr<ClockSource> Clock::installed()
{
    auto& state = installedState();
    std::lock_guard lock(state.mutex);
    return state.current;
}

Ref<NSTimer> Clock::scheduleAt(double time, std::function<void()> fn, const RunLoopModes& modes)
{
    auto timer = NSTimer::timerWithFireDate(time, 0, false, [fn = std::move(fn)](NSTimer&) {
        if (fn) {
            fn();
        }
    });
    auto loop = NSRunLoop::currentRunLoop();
    for (const auto& mode : modes) {
        loop->addTimer(timer, mode);
    }
    return timer;
}

Ref<NSTimer> Clock::scheduleAfter(double delay, std::function<void()> fn, const RunLoopModes& modes)
{
    return scheduleAt(now() + std::max(delay, 0.0), std::move(fn), modes);
}

void Clock::sleepUntil(double time)
{
    auto& state = sleepers();
    std::unique_lock lock(state.mutex);
    for (;;) {
        const double current = now();
        if (current >= time) {
            return;
        }
        if (isManual() || !std::isfinite(time)) {
            state.changed.wait(lock);
        } else {
            // Bounded, so that a clock installed meanwhile is noticed even without a notification.
            const double left = std::min(time - current, 3600.0);
            state.changed.wait_for(lock, std::chrono::duration<double>(left));
        }
    }
}

void Clock::notifyChanged()
{
    auto& state = sleepers();
    {
        std::lock_guard lock(state.mutex);
    }
    state.changed.notify_all();
    NSRunLoop::wakeAll();
}

struct ManualClock::State {
    std::atomic<double> time;
    double start;
    double wallStart;
};

// Whole seconds keep the differences tests compute free of rounding noise.
ManualClock::ManualClock() : ManualClock(std::floor(Clock::now()), std::floor(Clock::wallNow())) {}

ManualClock::ManualClock(double start, double wallStart) : state_(std::make_shared<State>())
{
    state_->time = start;
    state_->start = start;
    state_->wallStart = wallStart;
}

double ManualClock::now() const
{
    return state_->time.load();
}

double ManualClock::wallNow() const
{
    return state_->wallStart + (state_->time.load() - state_->start);
}

void ManualClock::set(double time)
{
    if (time > state_->time.load()) {
        state_->time = time;
        if (g_source.load() == this) {
            Clock::notifyChanged();
        }
    }
}

void ManualClock::advance(double seconds, const std::string& mode)
{
    advanceTo(now() + seconds, mode);
}

void ManualClock::advanceTo(double target, const std::string& mode)
{
    if (g_source.load() != this) {
        set(target);  // not the process clock: nothing reads it on a run loop
        return;
    }
    auto loop = NSRunLoop::currentRunLoop();
    loop->drain(mode);
    for (;;) {
        const double next = NSRunLoop::nextTimerFireDateAfter(now());
        if (next > target + kRunLoopTimerSlack) {
            break;
        }
        set(next);
        loop->drain(mode);
    }
    set(target);
    loop->drain(mode);
}

ScopedManualClock::ScopedManualClock() : clock_(std::make_shared<ManualClock>()), previous_(Clock::installed())
{
    Clock::install(clock_);
}

ScopedManualClock::~ScopedManualClock()
{
    Clock::install(previous_);
}
