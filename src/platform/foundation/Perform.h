#pragma once
// Perform requests: a call run on a thread's run loop, now or after a delay, as the platform's
// performSelector family does. Calls are closures; a closure that must keep its target alive holds a
// Ref to it, one that must not holds a Weak and checks it when it runs.
//
// Rules kept from the platform:
// - Requests to a thread are posted in the common modes unless other modes are given: a thread spinning
//   a private mode does not serve them until it returns to a common mode.
// - Waiting for a request to the calling thread itself runs it at once, inline.
// - Delayed requests are timers on the calling thread's loop (default mode unless told otherwise), and
//   cancelPreviousPerformRequestsWithTarget drops the matching ones of the calling thread's loop only.
#include <functional>
#include <string>

#include "platform/foundation/CFRunLoopMode.h"
#include "platform/foundation/NSObject.h"

class NSThread;

void performSelectorOnMainThread(std::function<void()> fn, bool waitUntilDone,
                                 const RunLoopModes& modes = {kCFRunLoopCommonModes});
void performSelectorOnThread(const Ref<NSThread>& thread, std::function<void()> fn, bool waitUntilDone,
                             const RunLoopModes& modes = {kCFRunLoopCommonModes});
// Runs fn on a new detached thread.
void performSelectorInBackground(std::function<void()> fn);

// What identifies a delayed request for cancellation: the target's address, the selector's name and the
// argument's address (nullptr for none). Arguments are compared by identity.
struct PerformRequest {
    const void* target = nullptr;
    std::string selector;
    const void* argument = nullptr;
};

void performSelectorAfterDelay(PerformRequest request, std::function<void()> fn, double delay,
                               const RunLoopModes& modes = {kCFRunLoopDefaultMode});
// Drops every pending delayed request of `target` on the calling thread's loop.
void cancelPreviousPerformRequestsWithTarget(const void* target);
// Drops the pending delayed requests matching target, selector and argument on the calling thread's loop.
void cancelPreviousPerformRequestsWithTarget(const void* target, const std::string& selector, const void* argument);
