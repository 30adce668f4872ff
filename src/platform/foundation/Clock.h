#pragma once
// The one process-wide clock. Run-loop timers, delayed performs, dispatch_after, thread sleeps and
// animation completions all read it, so a test can replace real time by a ManualClock and step through
// minutes of timers in microseconds.
//
// Clock::now() is monotonic seconds (the time base of timers and run-loop deadlines); Clock::wallNow()
// is seconds since 1970 (the time base of dates). A manual clock moves both together.
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/CFRunLoopMode.h"
#include "platform/foundation/NSObject.h"

class NSTimer;

// What a clock must answer. Installed sources are kept for the life of the process, so a reader never
// sees one destroyed under it.
class ClockSource {
public:
    virtual ~ClockSource() = default;
    virtual double now() const = 0;
    virtual double wallNow() const = 0;
    // A manual clock only moves when told to: run loops then wait for its changes, not for real time.
    virtual bool isManual() const { return false; }
};

class Clock {
public:
    static double now();
    static double wallNow();
    static bool isManual();

    // Installs a clock for the whole process (nullptr: real time again). Every run loop and sleeper is
    // woken so that it re-reads the time.
    static void install(std::shared_ptr<ClockSource> source);
    static std::shared_ptr<ClockSource> installed();

    // Runs fn on the calling thread's run loop once the clock reaches `time` (a Clock::now() reading),
    // in the given modes. The returned timer can be invalidated to drop the call; it is a one-shot
    // NSTimer, owned by the run loop until it fires.
    static Ref<NSTimer> scheduleAt(double time, std::function<void()> fn,
                                   const RunLoopModes& modes = {kCFRunLoopCommonModes});
    static Ref<NSTimer> scheduleAfter(double delay, std::function<void()> fn,
                                      const RunLoopModes& modes = {kCFRunLoopCommonModes});

    // Blocks the calling thread until the clock reads `time` (NSThread sleeps use this).
    static void sleepUntil(double time);

    // Wakes every run loop and sleeper to re-read the time (a manual clock calls it when it moves).
    static void notifyChanged();
};

// A clock that stands still until advanced. advance() moves it in steps: to the fire date of each timer
// that falls due within the span, in order, and at every step runs the calling thread's run loop in
// `mode` until nothing more is ready, as if that loop had been running all along. Loops of other
// threads are woken at every step and serve what fell due when they run.
class ManualClock : public ClockSource {
public:
    // Starts at the real clock's reading (whole seconds), so timers scheduled before it was installed
    // stay sensible.
    ManualClock();
    ManualClock(double start, double wallStart);

    double now() const override;
    double wallNow() const override;
    bool isManual() const override { return true; }

    void advance(double seconds, const std::string& mode = kCFRunLoopDefaultMode);
    void advanceTo(double time, const std::string& mode = kCFRunLoopDefaultMode);

private:
    void set(double time);

    struct State;
    std::shared_ptr<State> state_;
};

// Installs a ManualClock for a scope (a test) and puts the previous clock back afterwards.
class ScopedManualClock {
public:
    ScopedManualClock();
    ~ScopedManualClock();
    ScopedManualClock(const ScopedManualClock&) = delete;
    ScopedManualClock& operator=(const ScopedManualClock&) = delete;

    ManualClock& clock() { return *clock_; }
    ManualClock* operator->() { return clock_.get(); }
    double now() const { return clock_->now(); }
    void advance(double seconds, const std::string& mode = kCFRunLoopDefaultMode) { clock_->advance(seconds, mode); }

private:
    std::shared_ptr<ManualClock> clock_;
    std::shared_ptr<ClockSource> previous_;
};
