#pragma once
// Locks, conditions and locked queues shared by the engine's threads, over POSIX threads.
//
// Engine globals of these types are made once and never destroyed (`crtmutex& g_x = *new crtmutex;`),
// because detached engine threads may still use them while the process exits.
#include <atomic>
#include <cstdint>
#include <deque>
#include <pthread.h>

namespace crtfun {

// A recursive, process-private mutex: a thread that holds it may lock it again; each lock() needs
// its unlock().
class crtmutex {
public:
    crtmutex();
    ~crtmutex();
    crtmutex(const crtmutex&) = delete;
    crtmutex& operator=(const crtmutex&) = delete;

    void lock();
    void unlock();
    // For std::lock_guard / std::unique_lock.
    bool try_lock();

    pthread_mutex_t* native() { return &mutex_; }

private:
    pthread_mutex_t mutex_;
};

// A condition with an "aborted" flag. Waiters hold the given crtmutex exactly once (a condition wait
// releases one level of a recursive mutex only) and wait in a loop on their predicate. abort() sets
// the flag and wakes every waiter, so no waiter stays blocked on an aborted condition; call signal()
// and abort() while holding the waiters' mutex so that no wake-up is lost.
class crtcond {
public:
    crtcond();
    ~crtcond();
    crtcond(const crtcond&) = delete;
    crtcond& operator=(const crtcond&) = delete;

    void signal();
    void abort();
    bool isaborted() const;

    // Waits until signalled or aborted (spurious wake-ups possible: wait in a loop on a predicate).
    void wait(crtmutex& mutex);
    // As wait(), at most `ms` milliseconds of engine time; false on time-out.
    bool waitms(crtmutex& mutex, unsigned int ms);

private:
    pthread_cond_t cond_;
    std::atomic<bool> aborted_{false};
};

// A blocking first-in first-out queue of opaque pointers. Entries still queued when the queue is
// destroyed are handed to the deleter given at construction (none: they are not owned).
class crtlockqueue {
public:
    explicit crtlockqueue(void (*freeentry)(void*) = nullptr);
    ~crtlockqueue();
    crtlockqueue(const crtlockqueue&) = delete;
    crtlockqueue& operator=(const crtlockqueue&) = delete;

    // Appends p and wakes one waiter; -1 when the entry could not be stored, else 0.
    int put(void* p);
    // With wait: blocks until an entry exists or the queue is aborted. Returns the first entry
    // (removed), or null when aborted or (without wait) empty.
    void* get(bool wait);
    // Aborts the queue: every blocked and later get() returns null.
    void abort();
    bool isaborted();
    int count();

private:
    struct node {
        void* entry;
        node* next;
    };
    void (*freeentry_)(void*);
    node* head_ = nullptr;
    node* tail_ = nullptr;
    int count_ = 0;
    bool aborted_ = false;
    crtmutex mutex_;
    crtcond cond_;
};

// One data block: `len` bytes of `buf` (capacity `size`), taken from offset `off` of their file.
struct _memitem {
    unsigned char* buf;
    uint32_t len;
    uint32_t off;
    uint32_t size;
};

// A new block with a buffer of `size` bytes (len and off 0), or null when it cannot be allocated.
_memitem* _memitem_new(uint32_t size);
// Frees the block and its buffer; null is ignored.
void _memitem_free(_memitem* item);

// A locked double-ended queue of blocks in arrival order, used both as a pool of reusable buffers
// (with a block size) and as a queue of filled blocks (without). Blocks still queued when it is
// destroyed are freed with their buffers.
class crtlockdataqueue {
public:
    crtlockdataqueue() = default;
    ~crtlockdataqueue();
    crtlockdataqueue(const crtlockdataqueue&) = delete;
    crtlockdataqueue& operator=(const crtlockdataqueue&) = delete;

    // Size of the blocks that getornewblock() makes (0: it makes none).
    void setbufsize(uint32_t n);
    // Appends the block; null is ignored.
    void putblock(_memitem* item);
    // Removes and returns the first block, or null.
    _memitem* getblock();
    // The first block when there is one, else a new block of the block size (null when it is 0).
    _memitem* getornewblock();
    // Frees every queued block with its buffer.
    void clear();
    // Blocks waiting.
    int count();

private:
    crtmutex mutex_;
    std::deque<_memitem*> items_;
    uint32_t bufsize_ = 0;
};

}  // namespace crtfun
