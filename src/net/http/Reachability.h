#pragma once
// Reachability: watches whether one network destination can be reached, and over which kind of link.
//
//   auto watcher = Reachability::reachabilityWithHostName("example.org");    // nullptr if refused
//   NSNotificationCenter::defaultCenter()->addObserver(me, kReachabilityChangedNotification, Value(), ...);
//   watcher->startNotifier();                 // changes are posted on this thread, in the default mode
//   watcher->currentReachabilityStatus();     // NetworkStatusViaWiFi, NetworkStatusViaWWAN or not reachable
//
// Every query reads the current flags synchronously; unreadable flags count as 0. Calling a query or
// description() on a watcher without a reference (initWithReachabilityRef(nullptr)) raises
// NSInternalInconsistencyException. A watcher may be released on any thread: from then on it is never
// called back, and nothing more is posted for it.
#include <netinet/in.h>

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"
#include "platform/sysconfig/SCNetworkReachability.h"

enum NetworkStatus : NSUInteger {
    NetworkStatusNotReachable = 0,
    NetworkStatusViaWWAN = 1,  // over the cellular network
    NetworkStatusViaWiFi = 2,  // over Wi-Fi or another link that needs no cellular data
};

// Posted on the default centre on every change, with the watcher as the object and no user info.
inline constexpr char kReachabilityChangedNotification[] = "NetworkReachabilityChangedNotification";
// The keys of the two fixed watchers.
inline constexpr char kInternetConnection[] = "InternetConnection";
inline constexpr char kLocalWiFiConnection[] = "LocalWiFiConnection";

class Reachability : public NSObject {
public:
    // Each returns nullptr when no platform reference can be made for the destination.
    static Ref<Reachability> reachabilityWithHostName(const std::string& hostName);
    static Ref<Reachability> reachabilityWithAddress(const sockaddr_in* hostAddress);
    // The Internet connection (address 0.0.0.0), key kInternetConnection.
    static Ref<Reachability> reachabilityForInternetConnection();
    // The link-local network 169.254.0.0, key kLocalWiFiConnection.
    static Ref<Reachability> reachabilityForLocalWiFi();
    // A watcher owning the reference; its key stays nil.
    static Ref<Reachability> initWithReachabilityRef(SCNetworkReachabilityRef ref);
    // "%d.%d.%d.%d" of an IPv4 address in network byte order, the first octet first.
    static std::string makeAddressKey(in_addr_t addr);
    // The flags as text: "Reachability Flags: WR ctiCDld", each letter "-" when its bit is clear.
    static std::string flagsText(SCNetworkReachabilityFlags flags);
    // Key-value coding goes through the accessors only.
    static bool accessInstanceVariablesDirectly() { return false; }

    ~Reachability() override;

    // The watcher's identity (atomic, copied on set); nil reads as "".
    std::string key() const;
    bool hasKey() const;
    // Setting the constant kLocalWiFiConnection itself (not an equal text) makes this the local-Wi-Fi
    // watcher, whose status follows the direct-link rule.
    void setKey(std::string_view key);
    SCNetworkReachabilityRef reachabilityRef() const { return reachabilityRef_; }

    // Asks for change notifications on the calling thread's run loop, default mode: YES when accepted.
    bool startNotifier();
    // Stops them (on the calling thread's run loop, default mode).
    void stopNotifier();

    NetworkStatus currentReachabilityStatus() const;
    bool isReachable() const;
    bool isReachableViaWWAN() const;
    bool isReachableViaWiFi() const;
    bool isConnectionRequired() const;
    bool connectionRequired() const { return isConnectionRequired(); }
    bool isConnectionOnDemand() const;
    bool isInterventionRequired() const;
    SCNetworkReachabilityFlags reachabilityFlags() const;
    NetworkStatus networkStatusForFlags(SCNetworkReachabilityFlags flags) const;

    // Equal when both keys are set and equal as text.
    bool isEqual(const NSObject* other) const override;
    // "%@\n\t%@": the key and the flags text.
    std::string description() const override;

    // Use the factories; public only for make_shared.
    Reachability() = default;

protected:
    void initWithReachabilityRefBody(SCNetworkReachabilityRef ref);

private:
    // Reads the flags; false (flags 0) when they cannot be read.
    bool readFlags(SCNetworkReachabilityFlags* flags) const;

    SCNetworkReachabilityRef reachabilityRef_;
    mutable std::mutex keyMutex_;  // guards key_ and localWiFi_
    std::optional<std::string> key_;
    bool localWiFi_ = false;
};

// The platform's change callback: posts kReachabilityChangedNotification for the watcher given as
// `info`. A missing info object, or one that is not a watcher, raises NSInternalInconsistencyException.
void ReachabilityCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags flags,
                          const Ref<NSObject>& info);
