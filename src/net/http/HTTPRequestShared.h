#pragma once
// Process-wide state of the HTTP client, shared by every request. Internal to src/net/http.
//
// Made once and never destroyed: the network thread and the queue's workers may still use it while the
// process exits. Lock order: a request's cancelledLock first, then at most one of these locks (the
// throttling lock before the connections lock when both are needed).
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/http/HTTPRequest.h"
#include "platform/foundation/NSLock.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"

struct HTTPRequest::Shared {
    // Stands for synchronising on the class: the network thread, the default user agent, the default
    // cache.
    std::mutex classLock;

    Ref<NSOperationQueue> sharedQueue;  // width 4
    Ref<NSThread> networkThread;
    Ref<NSRunLoop> networkRunLoop;
    std::atomic<bool> networkThreadMade{false};

    // The pool of persistent connections, its counters, the running-request count and the indicator
    // switch, and changes of the queue's width: all under connectionsLock.
    Ref<NSRecursiveLock> connectionsLock = NSRecursiveLock::create();
    std::vector<std::shared_ptr<HTTPConnectionInfo>> persistentConnectionsPool;
    int64_t nextConnectionNumberToCreate = 0;
    int64_t nextRequestID = 0;
    long runningRequestCount = 0;
    bool shouldUpdateNetworkActivityIndicator = true;
    // A show, or the scheduling of a hide, posted to the main thread and not yet run: at most one of
    // each is pending, however many requests start and end meanwhile.
    bool indicatorShowPosted = false;
    bool indicatorHidePosted = false;

    // Progress updates and the end of a download.
    Ref<NSRecursiveLock> progressLock = NSRecursiveLock::create();
    // Throttling state (plain: never taken twice by one thread).
    Ref<NSLock> bandwidthThrottlingLock = NSLock::create();
    Ref<NSRecursiveLock> sessionCookiesLock = NSRecursiveLock::create();
    Ref<NSRecursiveLock> sessionCredentialsLock = NSRecursiveLock::create();
    Ref<NSRecursiveLock> delegateAuthenticationLock = NSRecursiveLock::create();

    std::atomic<double> defaultTimeOutSeconds{10.0};
    std::optional<std::string> defaultUserAgent;  // under classLock
    Ref<HTTPCacheDelegate> defaultCache;          // under classLock

    // Authentication: the session credential stores (arrays of dictionaries, made on first use), under
    // sessionCredentialsLock.
    Value sessionCredentialsStore;
    Value sessionProxyCredentialsStore;

    // Responses: the session cookie list, under sessionCookiesLock.
    std::vector<Ref<NSHTTPCookie>> sessionCookies;

    // Status: the bandwidth meter and throttle, all under bandwidthThrottlingLock (times are
    // Clock::now() readings).
    unsigned long maxBandwidthPerSecond = 0;        // bytes per second; 0: no limit
    unsigned long bandwidthUsedInLastSecond = 0;    // since the current measurement second began
    std::optional<double> bandwidthMeasurementDate;  // end of the current measurement second
    std::vector<unsigned long> bandwidthUsageTracker;  // counts of the last seconds, at most 6
    unsigned long averageBandwidthUsedPerSecond = 0;
    std::optional<double> throttleWakeUpTime;        // reading is paused until then
    bool isBandwidthThrottled = false;               // the cellular-only limit is in force
    bool shouldThrottleBandwidthForWWANOnly = false;
    Ref<NSObject> bandwidthReachability;             // the watcher of the cellular-only limit
    Ref<NSObject> bandwidthReachabilityObserver;     // its change notification's registration

    // A new empty file of the request's own in the temporary folder (never one another caller could
    // share): request bodies, downloads and their inflated copies.
    static std::string newTemporaryFile();
};
