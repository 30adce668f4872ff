#pragma once
// Threads. Every thread has an NSThread object (threads not started through NSThread get one on first
// use) and, on first use, a run loop. One thread is the main thread: the process's initial thread until
// another designates itself (UIApplicationMain, or a test fixture through MainThread.h).
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/foundation/NSObject.h"

class NSRunLoop;

class NSThread : public NSObject {
public:
    // A thread that runs `body` once started. Threads are detached: nobody joins them.
    static Ref<NSThread> create(std::function<void()> body);
    static Ref<NSThread> detachNewThreadWithBlock(std::function<void()> body);
    void start();

    static Ref<NSThread> currentThread();
    static Ref<NSThread> mainThread();
    static bool isMainThread();
    bool isMain() const;
    // Makes the calling thread the main thread; mainRunLoop() and the main queue then belong to it.
    static void designateCurrentThreadAsMain();

    // Sleeps on the process clock: with a manual clock installed, until the clock is advanced past it.
    static void sleepForTimeInterval(double seconds);
    static void sleepUntilDate(double date);

    std::string name() const;
    void setName(std::string name);
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }
    bool isExecuting() const { return executing_; }
    bool isFinished() const { return finished_; }

    // This thread's run loop, made on first use (by this thread or by one posting to it).
    Ref<NSRunLoop> runLoop();

    // Use the factories; public only for make_shared.
    explicit NSThread(std::function<void()> body);

private:
    static void main(Ref<NSThread> self);

    mutable std::mutex mutex_;  // guards name_, loop_, body_, started_
    std::function<void()> body_;
    std::string name_;
    Ref<NSRunLoop> loop_;
    bool started_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
};
