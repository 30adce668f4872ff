#include "net/http/Reachability.h"

#include <arpa/inet.h>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/Value.h"

namespace {

// The diagnostic line of the flag queries, written after the flags were read.
void logFlags(const char* method, int line, SCNetworkReachabilityFlags flags)
{
    NSLog("%s (%d) \n\t%@", method, line, Reachability::flagsText(flags));
}

sockaddr_in ipv4Address(uint32_t hostOrder)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(hostOrder);
    return address;
}

}  // namespace

// ---- Creation -------------------------------------------------------------------------------------

Ref<Reachability> Reachability::initWithReachabilityRef(SCNetworkReachabilityRef ref)
{
    auto self = std::make_shared<Reachability>();
    self->initWithReachabilityRefBody(std::move(ref));
    return self;
}

void Reachability::initWithReachabilityRefBody(SCNetworkReachabilityRef ref)
{
    initBody();
    reachabilityRef_ = std::move(ref);
}

Ref<Reachability> Reachability::reachabilityWithHostName(const std::string& hostName)
{
    auto ref = SCNetworkReachabilityCreateWithName(hostName.c_str());
    if (!ref) {
        return nullptr;
    }
    auto watcher = initWithReachabilityRef(std::move(ref));
    watcher->setKey(hostName);
    return watcher;
}

Ref<Reachability> Reachability::reachabilityWithAddress(const sockaddr_in* hostAddress)
{
    if (!hostAddress) {
        return nullptr;
    }
    auto ref = SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(hostAddress));
    if (!ref) {
        return nullptr;
    }
    auto watcher = initWithReachabilityRef(std::move(ref));
    watcher->setKey(makeAddressKey(hostAddress->sin_addr.s_addr));
    return watcher;
}

Ref<Reachability> Reachability::reachabilityForInternetConnection()
{
    const sockaddr_in zeroAddress = ipv4Address(INADDR_ANY);
    auto watcher = reachabilityWithAddress(&zeroAddress);
    if (watcher) {
        watcher->setKey(kInternetConnection);
    }
    return watcher;
}

Ref<Reachability> Reachability::reachabilityForLocalWiFi()
{
    const sockaddr_in linkLocal = ipv4Address(0xA9FE0000);  // 169.254.0.0
    auto watcher = reachabilityWithAddress(&linkLocal);
    if (watcher) {
        watcher->setKey(kLocalWiFiConnection);
    }
    return watcher;
}

std::string Reachability::makeAddressKey(in_addr_t addr)
{
    const auto* octets = reinterpret_cast<const unsigned char*>(&addr);
    return stringWithFormat("%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
}

Reachability::~Reachability()
{
    // Stop on this thread's loop as the watcher always did; then make sure that the reference, wherever
    // it is scheduled, never calls back into a watcher that is gone.
    if (reachabilityRef_ && reachabilityRef_->isScheduled()) {
        stopNotifier();
    }
    SCNetworkReachabilitySetCallback(reachabilityRef_, nullptr, nullptr);
    reachabilityRef_.reset();
}

// ---- Key ------------------------------------------------------------------------------------------

std::string Reachability::key() const
{
    std::lock_guard lock(keyMutex_);
    return key_.value_or(std::string());
}

bool Reachability::hasKey() const
{
    std::lock_guard lock(keyMutex_);
    return key_.has_value();
}

void Reachability::setKey(std::string_view key)
{
    std::lock_guard lock(keyMutex_);
    key_ = std::string(key);
    // By identity: only the constant itself, never a text that happens to read the same.
    localWiFi_ = key.data() == kLocalWiFiConnection;
}

// ---- Notifier -------------------------------------------------------------------------------------

bool Reachability::startNotifier()
{
    const SCNetworkReachabilityContext context{weakSelf<NSObject>()};
    return SCNetworkReachabilitySetCallback(reachabilityRef_, ReachabilityCallback, &context) &&
           SCNetworkReachabilityScheduleWithRunLoop(reachabilityRef_, NSRunLoop::currentRunLoop(),
                                                    kCFRunLoopDefaultMode);
}

void Reachability::stopNotifier()
{
    if (reachabilityRef_) {
        SCNetworkReachabilityUnscheduleFromRunLoop(reachabilityRef_, NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode);
    }
}

void ReachabilityCallback(const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags, const Ref<NSObject>& info)
{
    NSAssert(info != nullptr, "info was NULL in ReachabilityCallback");
    auto watcher = std::dynamic_pointer_cast<Reachability>(info);
    NSAssert(watcher != nullptr, "info was the wrong class in ReachabilityCallback");
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kReachabilityChangedNotification,
                                                                       Value(watcher));
}

// ---- Queries --------------------------------------------------------------------------------------

bool Reachability::readFlags(SCNetworkReachabilityFlags* flags) const
{
    return SCNetworkReachabilityGetFlags(reachabilityRef_, flags);
}

NetworkStatus Reachability::networkStatusForFlags(SCNetworkReachabilityFlags flags) const
{
    if (!(flags & kSCNetworkReachabilityFlagsReachable)) {
        return NetworkStatusNotReachable;
    }
    bool localWiFi;
    {
        std::lock_guard lock(keyMutex_);
        localWiFi = localWiFi_;
    }
    if (localWiFi) {
        return (flags & kSCNetworkReachabilityFlagsIsDirect) ? NetworkStatusViaWiFi : NetworkStatusNotReachable;
    }
    if (flags & kSCNetworkReachabilityFlagsIsWWAN) {
        return NetworkStatusViaWWAN;
    }
    const SCNetworkReachabilityFlags rest =
        flags & ~(kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect |
                  kSCNetworkReachabilityFlagsIsLocalAddress);
    if (rest == (kSCNetworkReachabilityFlagsTransientConnection | kSCNetworkReachabilityFlagsConnectionRequired)) {
        return NetworkStatusNotReachable;
    }
    if (rest & kSCNetworkReachabilityFlagsTransientConnection) {
        return NetworkStatusViaWiFi;
    }
    if (rest == 0) {
        return NetworkStatusViaWiFi;
    }
    if (rest & kSCNetworkReachabilityFlagsConnectionRequired) {
        // Reachable once a connection is made; callers that need to know more ask isConnectionRequired,
        // isInterventionRequired or isConnectionOnDemand.
        return NetworkStatusViaWiFi;
    }
    return NetworkStatusNotReachable;
}

NetworkStatus Reachability::currentReachabilityStatus() const
{
    NSAssert(reachabilityRef_ != nullptr, "currentReachabilityStatus called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    return readFlags(&flags) ? networkStatusForFlags(flags) : NetworkStatusNotReachable;
}

bool Reachability::isReachable() const
{
    NSAssert(reachabilityRef_ != nullptr, "isReachable called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    return readFlags(&flags) && networkStatusForFlags(flags) != NetworkStatusNotReachable;
}

bool Reachability::isReachableViaWWAN() const
{
    NSAssert(reachabilityRef_ != nullptr, "isReachableViaWWAN called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    if (!readFlags(&flags)) {
        return false;
    }
    logFlags("-[Reachability isReachableViaWWAN]", __LINE__, flags);
    return networkStatusForFlags(flags) == NetworkStatusViaWWAN;
}

bool Reachability::isReachableViaWiFi() const
{
    NSAssert(reachabilityRef_ != nullptr, "isReachableViaWiFi called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    if (!readFlags(&flags)) {
        return false;
    }
    logFlags("-[Reachability isReachableViaWiFi]", __LINE__, flags);
    return networkStatusForFlags(flags) == NetworkStatusViaWiFi;
}

bool Reachability::isConnectionRequired() const
{
    NSAssert(reachabilityRef_ != nullptr, "isConnectionRequired called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    if (!readFlags(&flags)) {
        return false;
    }
    logFlags("-[Reachability isConnectionRequired]", __LINE__, flags);
    return (flags & kSCNetworkReachabilityFlagsConnectionRequired) != 0;
}

bool Reachability::isConnectionOnDemand() const
{
    NSAssert(reachabilityRef_ != nullptr, "isConnectionIsOnDemand called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    if (!readFlags(&flags)) {
        return false;
    }
    logFlags("-[Reachability isConnectionOnDemand]", __LINE__, flags);
    return (flags & kSCNetworkReachabilityFlagsConnectionRequired) &&
           (flags & (kSCNetworkReachabilityFlagsConnectionOnTraffic | kSCNetworkReachabilityFlagsConnectionOnDemand));
}

bool Reachability::isInterventionRequired() const
{
    NSAssert(reachabilityRef_ != nullptr, "isInterventionRequired called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    if (!readFlags(&flags)) {
        return false;
    }
    logFlags("-[Reachability isInterventionRequired]", __LINE__, flags);
    return (flags & kSCNetworkReachabilityFlagsConnectionRequired) &&
           (flags & kSCNetworkReachabilityFlagsInterventionRequired);
}

SCNetworkReachabilityFlags Reachability::reachabilityFlags() const
{
    NSAssert(reachabilityRef_ != nullptr, "reachabilityFlags called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    if (!readFlags(&flags)) {
        return 0;
    }
    logFlags("-[Reachability reachabilityFlags]", __LINE__, flags);
    return flags;
}

// ---- Others ---------------------------------------------------------------------------------------

std::string Reachability::flagsText(SCNetworkReachabilityFlags flags)
{
    auto bit = [flags](SCNetworkReachabilityFlags mask, char letter) { return (flags & mask) ? letter : '-'; };
    return stringWithFormat("Reachability Flags: %c%c %c%c%c%c%c%c%c",
                            bit(kSCNetworkReachabilityFlagsIsWWAN, 'W'),
                            bit(kSCNetworkReachabilityFlagsReachable, 'R'),
                            bit(kSCNetworkReachabilityFlagsConnectionRequired, 'c'),
                            bit(kSCNetworkReachabilityFlagsTransientConnection, 't'),
                            bit(kSCNetworkReachabilityFlagsInterventionRequired, 'i'),
                            bit(kSCNetworkReachabilityFlagsConnectionOnTraffic, 'C'),
                            bit(kSCNetworkReachabilityFlagsConnectionOnDemand, 'D'),
                            bit(kSCNetworkReachabilityFlagsIsLocalAddress, 'l'),
                            bit(kSCNetworkReachabilityFlagsIsDirect, 'd'));
}

bool Reachability::isEqual(const NSObject* other) const
{
    const auto* watcher = dynamic_cast<const Reachability*>(other);
    if (!watcher) {
        return false;
    }
    std::optional<std::string> mine;
    {
        std::lock_guard lock(keyMutex_);
        mine = key_;
    }
    std::optional<std::string> theirs;
    {
        std::lock_guard lock(watcher->keyMutex_);
        theirs = watcher->key_;
    }
    return mine && theirs && *mine == *theirs;
}

std::string Reachability::description() const
{
    NSAssert(reachabilityRef_ != nullptr, "-description called with NULL reachabilityRef");
    SCNetworkReachabilityFlags flags = 0;
    readFlags(&flags);
    std::optional<std::string> key;
    {
        std::lock_guard lock(keyMutex_);
        key = key_;
    }
    return stringWithFormat("%@\n\t%@", key ? Value(*key) : Value(), flagsText(flags));
}
