#include "platform/sysconfig/SCNetworkReachability.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <deque>

#include "platform/sysconfig/SCNetworkReachabilityBackend.h"
#include "platform/sysconfig/SystemReachability.h"

// Reports travel from the backend (any thread) to the scheduled loop through a signalled source: the
// flags wait in `pending` until the loop serves the source in a scheduled mode.
struct SCNetworkReachability::Delivery {
    std::mutex mutex;
    std::deque<SCNetworkReachabilityFlags> pending;
    bool ended = false;
    Ref<CFRunLoopSource> source;

    void end()
    {
        {
            std::lock_guard lock(mutex);
            ended = true;
            pending.clear();
        }
        source->invalidate();
    }
};

// ---- Backend registry -----------------------------------------------------------------------------

namespace {

std::mutex g_backendMutex;
std::shared_ptr<SCNetworkReachabilityBackend>& installedBackend()
{
    static auto* backend = new std::shared_ptr<SCNetworkReachabilityBackend>;
    return *backend;
}

}  // namespace

void SCNetworkReachabilitySetBackend(std::shared_ptr<SCNetworkReachabilityBackend> backend)
{
    std::lock_guard lock(g_backendMutex);
    installedBackend() = std::move(backend);
}

std::shared_ptr<SCNetworkReachabilityBackend> SCNetworkReachabilityGetBackend()
{
    {
        std::lock_guard lock(g_backendMutex);
        if (installedBackend()) {
            return installedBackend();
        }
    }
    return SCNetworkReachabilitySystemBackend();
}

SCNetworkReachabilityBackendScope::SCNetworkReachabilityBackendScope(std::shared_ptr<SCNetworkReachabilityBackend> backend)
{
    std::lock_guard lock(g_backendMutex);
    previous_ = installedBackend();
    installedBackend() = std::move(backend);
}

SCNetworkReachabilityBackendScope::~SCNetworkReachabilityBackendScope()
{
    std::lock_guard lock(g_backendMutex);
    installedBackend() = std::move(previous_);
}

std::string SCNetworkReachabilityAddressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address && address->sa_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    } else if (address && address->sa_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    }
    return text;
}

// ---- References -----------------------------------------------------------------------------------

SCNetworkReachability::SCNetworkReachability(std::shared_ptr<SCNetworkReachabilityTarget> target)
    : target_(std::move(target))
{
}

SCNetworkReachability::~SCNetworkReachability()
{
    // The loop still lists the delivery source until it next runs; ending the delivery makes sure
    // nothing more is called, whichever thread lets the reference go.
    std::unique_ptr<SCNetworkReachabilityWatch> watch;
    {
        std::lock_guard lock(mutex_);
        if (delivery_) {
            delivery_->end();
        }
        watch = std::move(watch_);
    }
}

const std::string& SCNetworkReachability::targetText() const
{
    return target_->text();
}

bool SCNetworkReachability::isScheduled() const
{
    std::lock_guard lock(mutex_);
    return delivery_ != nullptr;
}

void SCNetworkReachability::deliverPending()
{
    std::shared_ptr<Delivery> delivery;
    {
        std::lock_guard lock(mutex_);
        delivery = delivery_;
    }
    if (!delivery) {
        return;
    }
    auto self = this->self<SCNetworkReachability>();
    for (;;) {
        SCNetworkReachabilityFlags flags;
        {
            std::lock_guard lock(delivery->mutex);
            if (delivery->ended || delivery->pending.empty()) {
                return;
            }
            flags = delivery->pending.front();
            delivery->pending.pop_front();
        }
        // Read afresh for every report: a callback may replace or remove itself.
        SCNetworkReachabilityCallBack callback;
        std::optional<Weak<NSObject>> info;
        {
            std::lock_guard lock(mutex_);
            if (delivery_ != delivery) {
                return;  // unscheduled meanwhile
            }
            callback = callback_;
            info = info_;
        }
        if (!callback) {
            continue;
        }
        Ref<NSObject> strongInfo;
        if (info) {
            strongInfo = info->lock();
            if (!strongInfo) {
                continue;  // the context's object has gone
            }
        }
        callback(self, flags, strongInfo);
    }
}

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const char* nodename)
{
    if (!nodename) {
        return nullptr;
    }
    auto target = SCNetworkReachabilityGetBackend()->targetForName(nodename);
    return target ? std::make_shared<SCNetworkReachability>(std::move(target)) : nullptr;
}

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address)
{
    if (!address || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) {
        return nullptr;
    }
    auto target = SCNetworkReachabilityGetBackend()->targetForAddress(address);
    return target ? std::make_shared<SCNetworkReachability>(std::move(target)) : nullptr;
}

bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags* flags)
{
    std::optional<SCNetworkReachabilityFlags> read;
    if (target) {
        read = target->target_->flags();
    }
    if (flags) {
        *flags = read.value_or(0);
    }
    return read.has_value();
}

bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityCallBack callout,
                                      const SCNetworkReachabilityContext* context)
{
    if (!target) {
        return false;
    }
    std::lock_guard lock(target->mutex_);
    target->callback_ = callout;
    if (callout && context) {
        target->info_ = context->info;
    } else {
        target->info_.reset();
    }
    return true;
}

bool SCNetworkReachabilityScheduleWithRunLoop(const SCNetworkReachabilityRef& target, const Ref<NSRunLoop>& runLoop,
                                              const std::string& runLoopMode)
{
    if (!target || !runLoop || runLoopMode.empty()) {
        return false;
    }
    std::unique_ptr<SCNetworkReachabilityWatch> stale;
    std::lock_guard lock(target->mutex_);
    if (target->delivery_) {
        auto current = target->loop_.lock();
        if (current && current != runLoop) {
            return false;
        }
        if (current) {
            if (target->modes_.insert(runLoopMode).second) {
                runLoop->addSource(target->delivery_->source, runLoopMode);
                target->watch_->addMode(runLoopMode);
            }
            return true;
        }
        // The loop it was scheduled on has gone with its thread: start afresh.
        target->delivery_->end();
        target->delivery_.reset();
        target->modes_.clear();
        stale = std::move(target->watch_);
    }

    auto delivery = std::make_shared<SCNetworkReachability::Delivery>();
    Weak<SCNetworkReachability> weakTarget = target;
    delivery->source = CFRunLoopSource::create([weakTarget](unsigned) {
        if (auto strong = weakTarget.lock()) {
            strong->deliverPending();
        }
    });
    std::weak_ptr<SCNetworkReachability::Delivery> weakDelivery = delivery;
    auto watch = target->target_->watch(runLoop, [weakDelivery](SCNetworkReachabilityFlags flags) {
        auto d = weakDelivery.lock();
        if (!d) {
            return;
        }
        {
            std::lock_guard deliveryLock(d->mutex);
            if (d->ended) {
                return;
            }
            d->pending.push_back(flags);
        }
        d->source->signal();
    });
    if (!watch) {
        return false;
    }
    runLoop->addSource(delivery->source, runLoopMode);
    watch->addMode(runLoopMode);
    target->delivery_ = std::move(delivery);
    target->watch_ = std::move(watch);
    target->loop_ = runLoop;
    target->modes_ = {runLoopMode};
    return true;
}

bool SCNetworkReachabilityUnscheduleFromRunLoop(const SCNetworkReachabilityRef& target,
                                                const Ref<NSRunLoop>& runLoop, const std::string& runLoopMode)
{
    if (!target || !runLoop) {
        return false;
    }
    std::unique_ptr<SCNetworkReachabilityWatch> ended;
    {
        std::lock_guard lock(target->mutex_);
        if (!target->delivery_ || target->loop_.lock() != runLoop || !target->modes_.count(runLoopMode)) {
            return false;
        }
        runLoop->removeSource(target->delivery_->source, runLoopMode);
        target->watch_->removeMode(runLoopMode);
        target->modes_.erase(runLoopMode);
        if (target->modes_.empty()) {
            target->delivery_->end();
            target->delivery_.reset();
            target->loop_.reset();
            ended = std::move(target->watch_);
        }
    }
    return true;
}
