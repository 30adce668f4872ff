#pragma once
// The main thread for tests (and the application's start): designate the calling thread as main, and
// pump its run loop until a condition holds, with a deadline instead of sleeps.
//
//   MainThreadScope main;                                   // a fixture member
//   startSomethingThatPostsToMain();
//   ASSERT_TRUE(pumpMainUntil([&] { return done; }));      // serves main's work while waiting
#include <chrono>
#include <functional>
#include <string>

#include "platform/foundation/CFRunLoopMode.h"

// Makes the calling thread the main thread (the main queue, performSelectorOnMainThread and
// NSRunLoop::mainRunLoop() then reach it).
void designateMainThread();

// Runs the main run loop in `mode` (the calling thread must be main) until done() holds or the deadline
// passes; answers done(). done() is checked after every item served and at least every few milliseconds,
// so it may also be made true by another thread without posting anything.
bool pumpMainUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline,
                   const std::string& mode = kCFRunLoopDefaultMode);
bool pumpMainUntil(const std::function<bool()>& done,
                   std::chrono::nanoseconds timeout = std::chrono::seconds(10),
                   const std::string& mode = kCFRunLoopDefaultMode);
// Serves everything of `mode` that is ready on the main loop now, without waiting; answers how many.
int drainMain(const std::string& mode = kCFRunLoopDefaultMode);

// For a test fixture: designates the calling thread as main; on destruction serves nothing more and
// drops what is left on the main loop (tasks, timers, sources), so one test's leftovers never run in
// the next test of the same process.
class MainThreadScope {
public:
    MainThreadScope();
    ~MainThreadScope();
    MainThreadScope(const MainThreadScope&) = delete;
    MainThreadScope& operator=(const MainThreadScope&) = delete;
};
