#pragma once
// Network reachability: whether one destination (a host name or a socket address) can be reached now,
// and over which kind of link, as a 32-bit flag word; and a callback on a run loop whenever that changes.
//
//   SCNetworkReachabilityCreateWithName(name)            a reference for a host name (nullptr if refused)
//   SCNetworkReachabilityCreateWithAddress(address)      a reference for an IPv4 or IPv6 socket address
//   SCNetworkReachabilityGetFlags(ref, &flags)           the current flags, read synchronously
//   SCNetworkReachabilitySetCallback(ref, cb, &context)  the change callback (nullptr removes it)
//   SCNetworkReachabilityScheduleWithRunLoop(ref, loop, mode)
//   SCNetworkReachabilityUnscheduleFromRunLoop(ref, loop, mode)
//
// The answers come from the installed backend (SCNetworkReachabilityBackend.h): the Linux one reads the
// routing table and the interfaces and watches netlink for changes; tests install a fake that sets flags
// and fires changes. A reference keeps the backend it was made with.
//
// Callbacks. A scheduled reference calls its callback on the loop it is scheduled on, only while that
// loop runs one of the scheduled modes (changes reported meanwhile wait, in order). The context's info
// object is held weakly, never retained: once it has gone, the callback is no longer called. A reference
// that is released, unscheduled or given a null callback never calls back again, whichever thread does
// it, so an owner may be destroyed on any thread.
//
// A reference is scheduled on one run loop at a time (in as many of its modes as asked); scheduling it on
// a second loop fails until it has been unscheduled from every mode of the first.
#include <sys/socket.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/foundation/CFRunLoopSource.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSRunLoop.h"

using SCNetworkReachabilityFlags = uint32_t;

inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsTransientConnection = 1u << 0;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsReachable = 1u << 1;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionRequired = 1u << 2;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsInterventionRequired = 1u << 4;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnDemand = 1u << 5;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsLocalAddress = 1u << 16;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsDirect = 1u << 17;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsWWAN = 1u << 18;

class SCNetworkReachability;
class SCNetworkReachabilityTarget;
class SCNetworkReachabilityWatch;
using SCNetworkReachabilityRef = Ref<SCNetworkReachability>;

// The change callback: the reference, its new flags and the context's info object (nullptr when the
// callback was set without a context).
using SCNetworkReachabilityCallBack = void (*)(const SCNetworkReachabilityRef& target,
                                               SCNetworkReachabilityFlags flags, const Ref<NSObject>& info);

struct SCNetworkReachabilityContext {
    // Held weakly by the reference (not retained).
    Weak<NSObject> info;
};

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const char* nodename);
// An AF_INET (sockaddr_in) or AF_INET6 (sockaddr_in6) address; other families give nullptr.
SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address);
// True with the flags when they could be read; false with flags 0 otherwise.
bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags* flags);
bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityCallBack callout,
                                      const SCNetworkReachabilityContext* context);
bool SCNetworkReachabilityScheduleWithRunLoop(const SCNetworkReachabilityRef& target, const Ref<NSRunLoop>& runLoop,
                                              const std::string& runLoopMode);
bool SCNetworkReachabilityUnscheduleFromRunLoop(const SCNetworkReachabilityRef& target,
                                                const Ref<NSRunLoop>& runLoop, const std::string& runLoopMode);

class SCNetworkReachability : public NSObject {
public:
    ~SCNetworkReachability() override;

    // What the reference watches, as text: the host name, or the numeric address.
    const std::string& targetText() const;
    // Whether the reference is scheduled on a run loop (in any mode).
    bool isScheduled() const;

    // Use the Create functions; public only for make_shared.
    explicit SCNetworkReachability(std::shared_ptr<SCNetworkReachabilityTarget> target);

private:
    friend bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags*);
    friend bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef&, SCNetworkReachabilityCallBack,
                                                 const SCNetworkReachabilityContext*);
    friend bool SCNetworkReachabilityScheduleWithRunLoop(const SCNetworkReachabilityRef&, const Ref<NSRunLoop>&,
                                                         const std::string&);
    friend bool SCNetworkReachabilityUnscheduleFromRunLoop(const SCNetworkReachabilityRef&, const Ref<NSRunLoop>&,
                                                           const std::string&);
    struct Delivery;
    void deliverPending();

    const std::shared_ptr<SCNetworkReachabilityTarget> target_;
    mutable std::mutex mutex_;  // guards everything below
    SCNetworkReachabilityCallBack callback_ = nullptr;
    std::optional<Weak<NSObject>> info_;  // empty: no context given
    Weak<NSRunLoop> loop_;
    std::set<std::string> modes_;
    std::shared_ptr<Delivery> delivery_;  // while scheduled
    std::unique_ptr<SCNetworkReachabilityWatch> watch_;
};
