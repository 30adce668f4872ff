#pragma once
// Dispatch queues. The main queue is served by the main run loop in the common modes (one block per
// turn, in order with the other tasks posted there). Serial queues run their blocks one at a time, in
// order, on a worker thread; global and concurrent queues run each block on a worker thread. Workers
// come from one process-wide pool that grows when every worker is busy (a blocked block never starves
// another) and shrinks when idle. dispatch_after reads the process clock (Clock).
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"

using dispatch_block_t = std::function<void()>;

class DispatchQueue : public NSObject {
public:
    enum class Kind { Main, Serial, Concurrent };

    const std::string& label() const { return label_; }
    Kind kind() const { return kind_; }
    void async(dispatch_block_t block);
    // Runs the block on the queue and waits for it. To the queue the caller is already running on
    // (the main queue from the main thread, a serial queue from its own block), it runs inline instead
    // of deadlocking; on a concurrent queue it runs on the calling thread.
    void sync(dispatch_block_t block);

    // Use dispatch_queue_create; public only for make_shared.
    DispatchQueue(std::string label, Kind kind);

private:
    void drain();

    const std::string label_;
    const Kind kind_;
    std::mutex mutex_;  // guards items_ and draining_ (serial queues)
    std::deque<dispatch_block_t> items_;
    bool draining_ = false;
};

using dispatch_queue_t = Ref<DispatchQueue>;

struct DispatchQueueAttr {};
using dispatch_queue_attr_t = const DispatchQueueAttr*;
inline constexpr dispatch_queue_attr_t DISPATCH_QUEUE_SERIAL = nullptr;
extern const dispatch_queue_attr_t DISPATCH_QUEUE_CONCURRENT;

inline constexpr long DISPATCH_QUEUE_PRIORITY_HIGH = 2;
inline constexpr long DISPATCH_QUEUE_PRIORITY_DEFAULT = 0;
inline constexpr long DISPATCH_QUEUE_PRIORITY_LOW = -2;
inline constexpr long DISPATCH_QUEUE_PRIORITY_BACKGROUND = INT16_MIN;

// Nanoseconds on the process clock; DISPATCH_TIME_NOW is "now" wherever a time is read.
using dispatch_time_t = uint64_t;
inline constexpr dispatch_time_t DISPATCH_TIME_NOW = 0;
inline constexpr dispatch_time_t DISPATCH_TIME_FOREVER = ~0ull;
inline constexpr int64_t NSEC_PER_SEC = 1000000000;
inline constexpr int64_t NSEC_PER_MSEC = 1000000;
inline constexpr int64_t NSEC_PER_USEC = 1000;
inline constexpr int64_t USEC_PER_SEC = 1000000;

using dispatch_once_t = std::once_flag;

dispatch_queue_t dispatch_get_main_queue();
dispatch_queue_t dispatch_get_global_queue(long priority, unsigned long flags);
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);
const char* dispatch_queue_get_label(const dispatch_queue_t& queue);
void dispatch_async(const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_sync(const dispatch_queue_t& queue, dispatch_block_t block);
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);
void dispatch_after(dispatch_time_t when, const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_once(dispatch_once_t* predicate, const dispatch_block_t& block);

// The pool's worker threads, for other thread-hopping parts of the platform (operation queues).
void DispatchRunOnWorker(dispatch_block_t block);
