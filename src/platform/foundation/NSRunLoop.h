#pragma once
// Run loops: one per thread, made on first use (NSRunLoop::currentRunLoop()), built on epoll and an
// eventfd. A loop serves three kinds of work, each registered for modes: posted tasks (thread-safe from
// any thread), timers (NSTimer, read on the process clock) and sources (CFRunLoopSource: signalled or
// file-descriptor). A loop running in a mode serves only work registered for that mode; the rest stays
// pending and is served when its mode runs. Among ready work the earliest comes first (a task by the
// time it was posted, a timer by its fire date, a source by when it was first seen ready).
//
// Every time is a Clock::now() reading. Loops may be nested: a callback may run its loop again in
// another mode (a synchronous request spinning a private mode inside a button action); work being
// served is not served again by the nested run.
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "platform/foundation/CFRunLoopMode.h"
#include "platform/foundation/CFRunLoopSource.h"
#include "platform/foundation/NSObject.h"

class NSTimer;

// A timer is due when the clock is within this of its fire date: the same instant reached through
// different sums of seconds (or through dispatch_time's nanoseconds) may differ in the last bits.
inline constexpr double kRunLoopTimerSlack = 1e-6;

enum CFRunLoopRunResult {
    kCFRunLoopRunFinished = 1,       // the mode has no sources, timers or tasks
    kCFRunLoopRunStopped = 2,        // stop() was called
    kCFRunLoopRunTimedOut = 3,       // the deadline passed
    kCFRunLoopRunHandledSource = 4,  // one task, timer or source was served
};

class NSRunLoop : public NSObject {
public:
    static constexpr double distantFuture = std::numeric_limits<double>::infinity();

    // The calling thread's loop, made on first use.
    static Ref<NSRunLoop> currentRunLoop();
    // The main thread's loop (see NSThread::designateCurrentThreadAsMain).
    static Ref<NSRunLoop> mainRunLoop();

    ~NSRunLoop() override;

    // Posts a task, run once by this loop in one of `modes`. Thread-safe.
    void performBlock(std::function<void()> block, const RunLoopModes& modes = {kCFRunLoopCommonModes});
    // The same, answering the post's ticket: isLatestPost(ticket) holds while nothing else has been
    // posted to this loop since, so work added to that task runs where it would have run if posted now.
    uint64_t performBlockWithTicket(std::function<void()> block, const RunLoopModes& modes);
    bool isLatestPost(uint64_t ticket) const;
    // The same post, but when the calling thread is serving a run-loop item this loop is woken when
    // that item ends instead of at once: a waiting loop is not woken to find work whose poster is still
    // busy with it, and all the posts of one item to one loop cost one wake-up. A loop that is not
    // waiting finds the task as usual. For work that only makes sense once the poster's item is over.
    uint64_t performBlockWithTicketWakingWhenItemEnds(std::function<void()> block, const RunLoopModes& modes);
    // For a thread that does nothing but run its loop (a network thread): from now on, the wake-ups
    // of its performBlockWithTicketWakingWhenItemEnds posts wait until its loop has nothing left to do
    // and is about to wait, or until it has served a few items since the first of them, so a busy
    // thread wakes the loops it posts to once for several items.
    static void batchWakeUpsUntilIdle();
    // Wakes now the loops that this thread's posts above are waiting to wake.
    static void wakeDeferredLoops();

    // Timers belong to one loop; adding one to more modes of the same loop is allowed. Thread-safe.
    void addTimer(const Ref<NSTimer>& timer, const std::string& mode);
    void addSource(const Ref<CFRunLoopSource>& source, const std::string& mode);
    void removeSource(const Ref<CFRunLoopSource>& source, const std::string& mode);
    bool containsSource(const Ref<CFRunLoopSource>& source, const std::string& mode) const;
    // Adds a mode to the common set: work registered for kCFRunLoopCommonModes is then served in it too.
    void addCommonMode(const std::string& mode);

    // Runs the loop once in `mode`: serves at most one ready task, timer or source and returns, or returns
    // when `beforeDate` passes. Answers false, at once, when the mode has nothing registered.
    bool runMode(const std::string& mode, double beforeDate);
    // Runs the default mode until it has nothing registered (stop() does not end it, as on the phone).
    void run();
    // Runs the default mode until the clock reaches `date` or the mode has nothing registered.
    void runUntilDate(double date);
    // Runs `mode` for `seconds` on the clock; with returnAfterSourceHandled, returns after one item.
    CFRunLoopRunResult runInMode(const std::string& mode, double seconds, bool returnAfterSourceHandled);
    // Ends the innermost running run call; when the loop is not running, the next run call returns at once.
    // Thread-safe.
    void stop();
    // Makes a waiting loop re-examine its work. Thread-safe.
    void wakeUp();

    // Runs `fn` on the calling thread as soon as the item its loop is serving returns (before the loop
    // looks for the next one); at once when the thread is not serving an item. Work done by one item
    // (a stream event, a timer, a posted task) can so be published when the item is over, once, with
    // every lock the item took released.
    static void performWhenCurrentItemEnds(std::function<void()> fn);
    // Runs `fn` on the calling thread every time an item its loop serves returns, after the work left
    // for the item's end; items served by a nested run inside an item count as part of that item. One
    // per thread (an empty function removes it). A screen that draws only after something ran uses it
    // to learn that the application may have changed what shows.
    static void setItemEndObserver(std::function<void()> fn);
    // How many items the calling thread is serving now, one inside another (0 outside any).
    static int itemsBeingServed();

    // Runs `mode` until done() holds or `timeout` of real time has passed, waiting for work in between
    // (even with nothing registered); answers done(). done() is re-checked after every item and every few
    // milliseconds. This is how tests wait for other threads.
    bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout,
                  const std::string& mode = kCFRunLoopDefaultMode);
    // Serves everything of `mode` that is ready now, without waiting; answers how many items ran.
    int drain(const std::string& mode = kCFRunLoopDefaultMode);

    // The mode of the innermost running run call, or "" when the loop is not running.
    std::string currentMode() const;
    // The earliest fire date among this loop's valid timers that are not firing, in any mode.
    double nextTimerFireDate() const;
    // When set, a run never answers "finished" (the main loop, which always has the main queue).
    void setAlwaysHasSources(bool value);
    // Drops every pending task, timer and source (tests that share the main loop within one process).
    void discardAll();

    // Wakes every loop of the process (the clock calls this when it changes).
    static void wakeAll();
    // The earliest fire date after `time` among the valid timers of every loop, or distantFuture.
    static double nextTimerFireDateAfter(double time);

    // Use currentRunLoop() or NSThread::runLoop(); public only for make_shared.
    NSRunLoop();

private:
    friend class NSTimer;
    friend class CFRunLoopSource;
    struct Impl;
    CFRunLoopRunResult runOnce(const std::string& mode, double clockDeadline,
                               const std::chrono::steady_clock::time_point* realDeadline, bool mayWait,
                               bool ignoreFinished, bool* stopped);
    void timerChanged();
    // Wakes the loop only when it may be waiting for work (posts, timers and sources changed by anyone
    // are seen by a loop that is not waiting before it next waits).
    void wakeIfWaiting();
    // An invalidated source's descriptor leaves the epoll set before its owner closes it.
    void sourceInvalidated(const CFRunLoopSource& source);
    std::unique_ptr<Impl> impl_;
};
