#include "platform/foundation/MainThread.h"

#include <stdexcept>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"

void designateMainThread()
{
    NSThread::designateCurrentThreadAsMain();
}

bool pumpMainUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline,
                   const std::string& mode)
{
    return pumpMainUntil(done, deadline - std::chrono::steady_clock::now(), mode);
}

bool pumpMainUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout, const std::string& mode)
{
    if (!NSThread::isMainThread()) {
        throw std::logic_error("pumpMainUntil: the calling thread is not the main thread");
    }
    return NSRunLoop::mainRunLoop()->runUntil(done, timeout, mode);
}

int drainMain(const std::string& mode)
{
    if (!NSThread::isMainThread()) {
        throw std::logic_error("drainMain: the calling thread is not the main thread");
    }
    return NSRunLoop::mainRunLoop()->drain(mode);
}

MainThreadScope::MainThreadScope()
{
    designateMainThread();
}

MainThreadScope::~MainThreadScope()
{
    NSRunLoop::mainRunLoop()->discardAll();
}
