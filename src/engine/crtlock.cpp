#include "engine/crtlock.h"

#include "engine/crtfun.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>

namespace crtfun {

// ---- crtmutex ---------------------------------------------------------------------------------------

crtmutex::crtmutex()
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_PRIVATE);
    pthread_mutex_init(&mutex_, &attr);
    pthread_mutexattr_destroy(&attr);
}

crtmutex::~crtmutex()
{
    pthread_mutex_destroy(&mutex_);
}

void crtmutex::lock()
{
    pthread_mutex_lock(&mutex_);
}

void crtmutex::unlock()
{
    pthread_mutex_unlock(&mutex_);
}

bool crtmutex::try_lock()
{
    return pthread_mutex_trylock(&mutex_) == 0;
}

// ---- crtcond ----------------------------------------------------------------------------------------

crtcond::crtcond()
{
    // Timed waits measure on the monotonic clock, which the engine's time scale is built on.
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&cond_, &attr);
    pthread_condattr_destroy(&attr);
}

crtcond::~crtcond()
{
    pthread_cond_destroy(&cond_);
}

void crtcond::signal()
{
    pthread_cond_signal(&cond_);
}

void crtcond::abort()
{
    aborted_.store(true);
    pthread_cond_broadcast(&cond_);
}

bool crtcond::isaborted() const
{
    return aborted_.load();
}

void crtcond::wait(crtmutex& mutex)
{
    if (aborted_.load()) {
        return;
    }
    pthread_cond_wait(&cond_, mutex.native());
}

bool crtcond::waitms(crtmutex& mutex, unsigned int ms)
{
    if (aborted_.load()) {
        return true;
    }
    struct timespec deadline = monotonic_deadline(ms);
    int rc;
    do {
        rc = pthread_cond_timedwait(&cond_, mutex.native(), &deadline);
    } while (rc == EINTR);
    return rc != ETIMEDOUT;
}

// ---- crtlockqueue -----------------------------------------------------------------------------------

crtlockqueue::crtlockqueue(void (*freeentry)(void*)) : freeentry_(freeentry) {}

crtlockqueue::~crtlockqueue()
{
    node* n = head_;
    while (n != nullptr) {
        node* next = n->next;
        if (freeentry_ != nullptr) {
            freeentry_(n->entry);
        }
        delete n;
        n = next;
    }
}

int crtlockqueue::put(void* p)
{
    node* n = new (std::nothrow) node{p, nullptr};
    if (n == nullptr) {
        return -1;
    }
    std::lock_guard<crtmutex> hold(mutex_);
    if (tail_ == nullptr) {
        head_ = tail_ = n;
    } else {
        tail_->next = n;
        tail_ = n;
    }
    ++count_;
    cond_.signal();
    return 0;
}

void* crtlockqueue::get(bool wait)
{
    std::lock_guard<crtmutex> hold(mutex_);
    while (wait && head_ == nullptr && !aborted_) {
        cond_.wait(mutex_);
    }
    if (aborted_ || head_ == nullptr) {
        return nullptr;
    }
    node* n = head_;
    head_ = n->next;
    if (head_ == nullptr) {
        tail_ = nullptr;
    }
    --count_;
    void* entry = n->entry;
    delete n;
    return entry;
}

void crtlockqueue::abort()
{
    std::lock_guard<crtmutex> hold(mutex_);
    aborted_ = true;
    cond_.abort();
}

bool crtlockqueue::isaborted()
{
    std::lock_guard<crtmutex> hold(mutex_);
    return aborted_;
}

int crtlockqueue::count()
{
    std::lock_guard<crtmutex> hold(mutex_);
    return count_;
}

// ---- blocks -----------------------------------------------------------------------------------------

_memitem* _memitem_new(uint32_t size)
{
    auto* item = static_cast<_memitem*>(std::malloc(sizeof(_memitem)));
    if (item == nullptr) {
        return nullptr;
    }
    item->buf = static_cast<unsigned char*>(std::malloc(size == 0 ? 1 : size));
    if (item->buf == nullptr) {
        std::free(item);
        return nullptr;
    }
    item->len = 0;
    item->off = 0;
    item->size = size;
    return item;
}

void _memitem_free(_memitem* item)
{
    if (item != nullptr) {
        std::free(item->buf);
        std::free(item);
    }
}

crtlockdataqueue::~crtlockdataqueue()
{
    clear();
}

void crtlockdataqueue::setbufsize(uint32_t n)
{
    std::lock_guard<crtmutex> hold(mutex_);
    bufsize_ = n;
}

void crtlockdataqueue::putblock(_memitem* item)
{
    if (item == nullptr) {
        return;
    }
    std::lock_guard<crtmutex> hold(mutex_);
    items_.push_back(item);
}

_memitem* crtlockdataqueue::getblock()
{
    std::lock_guard<crtmutex> hold(mutex_);
    if (items_.empty()) {
        return nullptr;
    }
    _memitem* item = items_.front();
    items_.pop_front();
    return item;
}

_memitem* crtlockdataqueue::getornewblock()
{
    uint32_t size;
    {
        std::lock_guard<crtmutex> hold(mutex_);
        if (!items_.empty()) {
            _memitem* item = items_.front();
            items_.pop_front();
            return item;
        }
        size = bufsize_;
    }
    // The new buffer is allocated outside the lock.
    return size == 0 ? nullptr : _memitem_new(size);
}

void crtlockdataqueue::clear()
{
    std::deque<_memitem*> items;
    {
        std::lock_guard<crtmutex> hold(mutex_);
        items.swap(items_);
    }
    for (_memitem* item : items) {
        _memitem_free(item);
    }
}

int crtlockdataqueue::count()
{
    std::lock_guard<crtmutex> hold(mutex_);
    return static_cast<int>(items_.size());
}

}  // namespace crtfun
