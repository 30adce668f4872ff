#pragma once
// A run-loop source: a callback the loop runs when the source is ready, in the modes it was added for.
// A source is ready when it has been signalled (from any thread), or, when it watches a file
// descriptor, when that descriptor is readable or writable as asked. Descriptors are watched
// level-triggered: one whose mode is not running stays pending and is served when the mode runs.
// A source that is never signalled and watches nothing keeps a loop from running out of sources.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/foundation/NSObject.h"

class NSRunLoop;

class CFRunLoopSource : public NSObject {
public:
    // Event bits, for the watched set and for what the callback receives.
    enum : unsigned {
        kReadable = 1u << 0,
        kWritable = 1u << 1,
        kError = 1u << 2,  // error or hang-up on the descriptor (always reported)
        kSignalled = 1u << 3,
    };
    using Callback = std::function<void(unsigned events)>;

    // A source served only when signalled.
    static Ref<CFRunLoopSource> create(Callback callback);
    // A source watching `fd` for `events` (kReadable, kWritable). Remove or invalidate it before
    // closing the descriptor.
    static Ref<CFRunLoopSource> createForFd(int fd, unsigned events, Callback callback);

    int fd() const { return fd_; }
    unsigned events() const { return events_.load(); }
    // Changes the watched events (for example: writable only while there is something to send).
    void setEvents(unsigned events);
    // Marks the source ready; its loop runs the callback once, with kSignalled. Thread-safe.
    void signal();
    // Removes the source from every mode of its loop. Thread-safe.
    void invalidate();
    bool isValid() const { return valid_.load(); }

private:
    CFRunLoopSource(int fd, unsigned events, Callback callback);
    void wakeLoop();

    friend class NSRunLoop;
    const uint64_t id_;  // unique for the process: registrations are told apart by it, not by address
    const int fd_;
    std::atomic<unsigned> events_;
    std::atomic<bool> signalled_{false};
    std::atomic<bool> valid_{true};
    Callback callback_;
    mutable std::mutex mutex_;  // guards loop_
    std::weak_ptr<NSRunLoop> loop_;
};
