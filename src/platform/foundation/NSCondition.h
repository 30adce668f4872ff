#pragma once
// A lock with a condition: lock(), then wait() (or waitUntilDate) until another thread signals; as with
// every condition, waits may end spuriously, so callers re-check their predicate in a loop.
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/foundation/NSObject.h"

class NSCondition : public NSObject {
public:
    static Ref<NSCondition> create() { return std::make_shared<NSCondition>(); }
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }
    bool try_lock() { return tryLock(); }

    // The caller holds the lock; it is released while waiting and held again on return.
    void wait();
    // Waits until signalled or until the process clock reaches `date` (a Clock::now() reading);
    // answers false when the date passed first. Follows a manual clock as it is advanced.
    bool waitUntilDate(double date);
    void signal() { cv_.notify_one(); }
    void broadcast() { cv_.notify_all(); }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
};
