#include "platform/foundation/CFRunLoopSource.h"

#include "platform/foundation/NSRunLoop.h"

namespace {
std::atomic<uint64_t> g_nextSourceId{1};
}

CFRunLoopSource::CFRunLoopSource(int fd, unsigned events, Callback callback)
    : id_(g_nextSourceId++), fd_(fd), events_(events), callback_(std::move(callback))
{
}

Ref<CFRunLoopSource> CFRunLoopSource::create(Callback callback)
{
    return Ref<CFRunLoopSource>(new CFRunLoopSource(-1, 0, std::move(callback)));
}

Ref<CFRunLoopSource> CFRunLoopSource::createForFd(int fd, unsigned events, Callback callback)
{
    return Ref<CFRunLoopSource>(new CFRunLoopSource(fd, events, std::move(callback)));
}

void CFRunLoopSource::wakeLoop()
{
    Ref<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = loop_.lock();
    }
    if (loop) {
        loop->wakeIfWaiting();
    }
}

void CFRunLoopSource::setEvents(unsigned events)
{
    events_ = events;
    wakeLoop();
}

void CFRunLoopSource::signal()
{
    signalled_ = true;
    wakeLoop();
}

void CFRunLoopSource::invalidate()
{
    valid_ = false;
    Ref<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = loop_.lock();
    }
    if (loop) {
        loop->sourceInvalidated(*this);
        loop->wakeIfWaiting();
    }
}
