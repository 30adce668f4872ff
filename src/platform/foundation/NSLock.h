#pragma once
// Locks. Both are usable with std::lock_guard / std::unique_lock (lock, unlock, try_lock).
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"

class NSLock : public NSObject {
public:
    static Ref<NSLock> create() { return std::make_shared<NSLock>(); }
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }
    bool try_lock() { return tryLock(); }
    std::string name() const;
    void setName(std::string name);

private:
    std::mutex mutex_;
    mutable std::mutex nameMutex_;
    std::string name_;
};

// May be taken again by the thread that holds it; released when unlocked as often as locked.
class NSRecursiveLock : public NSObject {
public:
    static Ref<NSRecursiveLock> create() { return std::make_shared<NSRecursiveLock>(); }
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }
    bool try_lock() { return tryLock(); }
    std::string name() const;
    void setName(std::string name);

private:
    std::recursive_mutex mutex_;
    mutable std::mutex nameMutex_;
    std::string name_;
};
