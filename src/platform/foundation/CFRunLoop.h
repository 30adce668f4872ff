#pragma once
// The C-style names of the run-loop calls, for code written against them (streams, reachability).
// They are thin forwards to NSRunLoop, CFRunLoopSource and NSTimer.
#include <string>

#include "platform/foundation/CFRunLoopMode.h"
#include "platform/foundation/CFRunLoopSource.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"

using CFRunLoopRef = Ref<NSRunLoop>;
using CFRunLoopSourceRef = Ref<CFRunLoopSource>;
using CFRunLoopTimerRef = Ref<NSTimer>;

inline CFRunLoopRef CFRunLoopGetCurrent()
{
    return NSRunLoop::currentRunLoop();
}

inline CFRunLoopRef CFRunLoopGetMain()
{
    return NSRunLoop::mainRunLoop();
}

inline CFRunLoopRunResult CFRunLoopRunInMode(const std::string& mode, double seconds, bool returnAfterSourceHandled)
{
    return CFRunLoopGetCurrent()->runInMode(mode, seconds, returnAfterSourceHandled);
}

// Runs the current loop in the default mode until CFRunLoopStop or until the mode has nothing left.
inline void CFRunLoopRun()
{
    CFRunLoopRunResult result;
    do {
        result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, NSRunLoop::distantFuture, false);
    } while (result != kCFRunLoopRunStopped && result != kCFRunLoopRunFinished);
}

inline void CFRunLoopStop(const CFRunLoopRef& loop)
{
    loop->stop();
}

inline void CFRunLoopWakeUp(const CFRunLoopRef& loop)
{
    loop->wakeUp();
}

inline std::string CFRunLoopCopyCurrentMode(const CFRunLoopRef& loop)
{
    return loop->currentMode();
}

inline void CFRunLoopAddCommonMode(const CFRunLoopRef& loop, const std::string& mode)
{
    loop->addCommonMode(mode);
}

inline void CFRunLoopAddSource(const CFRunLoopRef& loop, const CFRunLoopSourceRef& source, const std::string& mode)
{
    loop->addSource(source, mode);
}

inline void CFRunLoopRemoveSource(const CFRunLoopRef& loop, const CFRunLoopSourceRef& source,
                                  const std::string& mode)
{
    loop->removeSource(source, mode);
}

inline bool CFRunLoopContainsSource(const CFRunLoopRef& loop, const CFRunLoopSourceRef& source,
                                    const std::string& mode)
{
    return loop->containsSource(source, mode);
}

inline void CFRunLoopSourceSignal(const CFRunLoopSourceRef& source)
{
    source->signal();
}

inline void CFRunLoopSourceInvalidate(const CFRunLoopSourceRef& source)
{
    source->invalidate();
}

inline void CFRunLoopAddTimer(const CFRunLoopRef& loop, const CFRunLoopTimerRef& timer, const std::string& mode)
{
    loop->addTimer(timer, mode);
}

inline void CFRunLoopTimerInvalidate(const CFRunLoopTimerRef& timer)
{
    timer->invalidate();
}
