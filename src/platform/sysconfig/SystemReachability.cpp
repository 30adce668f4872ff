#include "platform/sysconfig/SystemReachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if_arp.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "platform/foundation/Dispatch.h"

namespace {

using Flags = SCNetworkReachabilityFlags;
using Route = SCNetworkReachabilityRoute;
using Addresses = std::vector<sockaddr_storage>;

// How long a synchronous flags read waits for a host-name lookup before giving up (flags unreadable).
constexpr auto kLookupWait = std::chrono::seconds(5);
// How long a netlink query waits for the kernel's answer.
constexpr int kNetlinkAnswerSeconds = 2;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

socklen_t addressLength(const sockaddr* address)
{
    return address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

bool isAnyAddress(const sockaddr* address)
{
    if (address->sa_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr == htonl(INADDR_ANY);
    }
    const auto& a6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    return IN6_IS_ADDR_UNSPECIFIED(&a6);
}

// ---- rtnetlink ------------------------------------------------------------------------------------

int openNetlink(unsigned groups, bool nonBlocking)
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), NETLINK_ROUTE);
    if (fd < 0) {
        return -1;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    if (!nonBlocking) {
        timeval timeout{kNetlinkAnswerSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    return fd;
}

// Sends a request and hands every answering message to onMessage. Answers false when no complete answer
// came (the kernel's error code, if it sent one, is in *error; 0 otherwise).
bool netlinkExchange(nlmsghdr* request, const std::function<void(const nlmsghdr*)>& onMessage, int* error)
{
    static std::atomic<uint32_t> sequence{0};
    *error = 0;
    Descriptor fd(openNetlink(0, false));
    if (fd.get() < 0) {
        return false;
    }
    request->nlmsg_seq = ++sequence;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.get(), request, request->nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        return false;
    }
    const bool dump = (request->nlmsg_flags & NLM_F_DUMP) != 0;
    std::vector<char> buffer(32768);
    for (;;) {
        long n = ::recv(fd.get(), buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(h, n); h = NLMSG_NEXT(h, n)) {
            if (h->nlmsg_seq != request->nlmsg_seq) {
                continue;
            }
            if (h->nlmsg_type == NLMSG_DONE) {
                return true;
            }
            if (h->nlmsg_type == NLMSG_ERROR) {
                const auto* e = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
                *error = -e->error;
                return *error == 0;
            }
            onMessage(h);
            if (!dump) {
                return true;
            }
        }
    }
}

bool interfaceIsWWAN(int index)
{
    char name[IF_NAMESIZE] = {};
    if (index <= 0 || !::if_indextoname(static_cast<unsigned>(index), name)) {
        return false;
    }
    const std::string folder = std::string("/sys/class/net/") + name + "/";
    int type = 0;
    if (std::ifstream(folder + "type") >> type && (type == ARPHRD_PPP || type == ARPHRD_RAWIP)) {
        return true;
    }
    std::ifstream uevent(folder + "uevent");
    for (std::string line; std::getline(uevent, line);) {
        if (line == "DEVTYPE=wwan") {
            return true;
        }
    }
    return false;
}

struct ParsedRoute {
    Route route;
    int outputInterface = 0;
    unsigned table = 0;
    unsigned priority = 0;
    unsigned destinationLength = 0;
};

ParsedRoute parseRoute(const nlmsghdr* h)
{
    ParsedRoute parsed;
    const auto* rt = static_cast<const rtmsg*>(NLMSG_DATA(h));
    parsed.table = rt->rtm_table;
    parsed.destinationLength = rt->rtm_dst_len;
    switch (rt->rtm_type) {
    case RTN_LOCAL:
        parsed.route.kind = Route::Kind::Local;
        break;
    case RTN_UNICAST:
    case RTN_BROADCAST:
    case RTN_MULTICAST:
    case RTN_ANYCAST:
        parsed.route.kind = Route::Kind::Unicast;
        break;
    default:
        parsed.route.kind = Route::Kind::None;
        break;
    }
    parsed.route.linkDown = (rt->rtm_flags & RTNH_F_LINKDOWN) != 0;
    int length = static_cast<int>(RTM_PAYLOAD(h));
    for (auto* a = RTM_RTA(rt); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
        const size_t payload = RTA_PAYLOAD(a);
        switch (a->rta_type) {
        case RTA_GATEWAY:
        case RTA_VIA:
            parsed.route.viaGateway = true;
            break;
        case RTA_OIF:
            if (payload >= sizeof(int)) {
                std::memcpy(&parsed.outputInterface, RTA_DATA(a), sizeof(int));
            }
            break;
        case RTA_TABLE:
            if (payload >= sizeof(unsigned)) {
                std::memcpy(&parsed.table, RTA_DATA(a), sizeof(unsigned));
            }
            break;
        case RTA_PRIORITY:
            if (payload >= sizeof(unsigned)) {
                std::memcpy(&parsed.priority, RTA_DATA(a), sizeof(unsigned));
            }
            break;
        case RTA_MULTIPATH:
            // The first next hop stands for the route.
            if (payload >= sizeof(rtnexthop)) {
                const auto* hop = static_cast<const rtnexthop*>(RTA_DATA(a));
                parsed.outputInterface = hop->rtnh_ifindex;
                parsed.route.linkDown = parsed.route.linkDown || (hop->rtnh_flags & RTNH_F_LINKDOWN) != 0;
                int hopLength = std::min<int>(hop->rtnh_len, static_cast<int>(payload)) - static_cast<int>(RTNH_LENGTH(0));
                for (auto* h = static_cast<const rtattr*>(RTNH_DATA(hop)); RTA_OK(h, hopLength);
                     h = RTA_NEXT(h, hopLength)) {
                    if (h->rta_type == RTA_GATEWAY || h->rta_type == RTA_VIA) {
                        parsed.route.viaGateway = true;
                    }
                }
            }
            break;
        default:
            break;
        }
    }
    return parsed;
}

// The kernel's route to one address; nullopt when netlink could not answer.
std::optional<Route> lookupRoute(const sockaddr* address)
{
    struct {
        nlmsghdr header;
        rtmsg message;
        char attributes[64];
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.message.rtm_family = static_cast<unsigned char>(address->sa_family);
    const void* bytes;
    size_t size;
    if (address->sa_family == AF_INET) {
        bytes = &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
        size = sizeof(in_addr);
    } else {
        bytes = &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        size = sizeof(in6_addr);
    }
    request.message.rtm_dst_len = static_cast<unsigned char>(size * 8);
    auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) + NLMSG_ALIGN(request.header.nlmsg_len));
    attribute->rta_type = RTA_DST;
    attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
    std::memcpy(RTA_DATA(attribute), bytes, size);
    request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_ALIGN(attribute->rta_len);

    std::optional<ParsedRoute> found;
    int error = 0;
    const bool answered = netlinkExchange(&request.header, [&](const nlmsghdr* h) {
        if (h->nlmsg_type == RTM_NEWROUTE) {
            found = parseRoute(h);
        }
    }, &error);
    if (!answered) {
        // No route at all is an answer; anything else means netlink could not be asked.
        if (error == ENETUNREACH || error == EHOSTUNREACH || error == EACCES || error == EPERM) {
            return Route{};
        }
        return std::nullopt;
    }
    if (!found) {
        return Route{};
    }
    found->route.wwanInterface = found->route.kind == Route::Kind::Unicast && interfaceIsWWAN(found->outputInterface);
    return found->route;
}

// The main table's preferred default route of one family; nullopt when netlink could not answer.
std::optional<Route> lookupDefaultRoute(int family)
{
    struct {
        nlmsghdr header;
        rtmsg message;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.message.rtm_family = static_cast<unsigned char>(family);
    std::optional<ParsedRoute> best;
    int error = 0;
    const bool answered = netlinkExchange(&request.header, [&](const nlmsghdr* h) {
        if (h->nlmsg_type != RTM_NEWROUTE) {
            return;
        }
        ParsedRoute r = parseRoute(h);
        if (r.destinationLength != 0 || r.table != RT_TABLE_MAIN || r.route.kind != Route::Kind::Unicast) {
            return;
        }
        // A usable route beats one whose link is down; then the lower metric wins.
        if (!best || (best->route.linkDown && !r.route.linkDown) ||
            (best->route.linkDown == r.route.linkDown && r.priority < best->priority)) {
            best = r;
        }
    }, &error);
    if (!answered) {
        return std::nullopt;
    }
    if (!best) {
        return Route{};
    }
    best->route.wwanInterface = interfaceIsWWAN(best->outputInterface);
    return best->route;
}

// ---- Without netlink ------------------------------------------------------------------------------

bool isOwnAddress(const sockaddr* address)
{
    if (address->sa_family == AF_INET) {
        const uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
        if ((a >> 24) == 127) {
            return true;
        }
    } else if (IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr)) {
        return true;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    bool own = false;
    for (const ifaddrs* i = list; i && !own; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != address->sa_family) {
            continue;
        }
        if (address->sa_family == AF_INET) {
            own = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr ==
                  reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
        } else {
            own = std::memcmp(&reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr,
                              &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, sizeof(in6_addr)) == 0;
        }
    }
    ::freeifaddrs(list);
    return own;
}

// Whether a route exists, told by connecting a UDP socket (nothing is sent).
std::optional<Route> probeByConnect(const sockaddr* address)
{
    Descriptor fd(::socket(address->sa_family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        return std::nullopt;
    }
    sockaddr_storage target{};
    std::memcpy(&target, address, addressLength(address));
    auto* port = target.ss_family == AF_INET ? &reinterpret_cast<sockaddr_in*>(&target)->sin_port
                                             : &reinterpret_cast<sockaddr_in6*>(&target)->sin6_port;
    if (*port == 0) {
        *port = htons(9);
    }
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&target), addressLength(address)) != 0) {
        if (errno == ENETUNREACH || errno == EHOSTUNREACH || errno == EACCES || errno == EPERM) {
            return Route{};
        }
        return std::nullopt;
    }
    Route route;
    route.kind = isOwnAddress(address) ? Route::Kind::Local : Route::Kind::Unicast;
    route.viaGateway = route.kind != Route::Kind::Local;  // unknown without the table: not claimed direct
    return route;
}

// The IPv4 default route from /proc/net/route.
std::optional<Route> procDefaultRoute()
{
    std::ifstream table("/proc/net/route");
    if (!table) {
        return std::nullopt;
    }
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, mask;
        unsigned flags = 0;
        int skip;
        if (!(fields >> name >> destination >> gateway >> std::hex >> flags >> std::dec >> skip >> skip >> skip >> mask)) {
            continue;
        }
        if (destination == "00000000" && mask == "00000000" && (flags & 0x1 /* up */)) {
            Route route;
            route.kind = Route::Kind::Unicast;
            route.viaGateway = gateway != "00000000";
            route.wwanInterface = interfaceIsWWAN(static_cast<int>(::if_nametoindex(name.c_str())));
            return route;
        }
    }
    return Route{};
}

// ---- Evaluation -----------------------------------------------------------------------------------

std::optional<Flags> flagsForAddress(const sockaddr* address)
{
    std::optional<Route> route;
    if (isAnyAddress(address)) {
        route = lookupDefaultRoute(AF_INET);
        if (route && route->kind == Route::Kind::None) {
            if (auto v6 = lookupDefaultRoute(AF_INET6)) {
                route = v6;
            }
        }
        if (!route) {
            route = procDefaultRoute();
        }
    } else {
        route = lookupRoute(address);
        if (!route) {
            route = probeByConnect(address);
        }
    }
    if (!route) {
        return std::nullopt;
    }
    return SCNetworkReachabilityFlagsForRoute(*route);
}

// The flags of the first reachable address; none when there is none; unreadable when none could be read.
std::optional<Flags> flagsForAddresses(const Addresses& addresses)
{
    bool readable = addresses.empty();
    for (const auto& a : addresses) {
        if (auto flags = flagsForAddress(reinterpret_cast<const sockaddr*>(&a))) {
            readable = true;
            if (*flags & kSCNetworkReachabilityFlagsReachable) {
                return flags;
            }
        }
    }
    return readable ? std::optional<Flags>(0) : std::nullopt;
}

// The addresses of a name (none when it does not resolve). Blocks for as long as the lookup takes.
Addresses resolveName(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    Addresses addresses;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) {
        return addresses;
    }
    for (const addrinfo* i = list; i; i = i->ai_next) {
        if ((i->ai_family == AF_INET || i->ai_family == AF_INET6) && i->ai_addrlen <= sizeof(sockaddr_storage)) {
            sockaddr_storage a{};
            std::memcpy(&a, i->ai_addr, i->ai_addrlen);
            addresses.push_back(a);
        }
    }
    ::freeaddrinfo(list);
    return addresses;
}

// A numeric address given as a name needs no lookup.
std::optional<Addresses> numericAddress(const std::string& name)
{
    sockaddr_storage a{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&a);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&a);
    if (::inet_pton(AF_INET, name.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        return Addresses{a};
    }
    if (::inet_pton(AF_INET6, name.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        return Addresses{a};
    }
    return std::nullopt;
}

// ---- Watching -------------------------------------------------------------------------------------

class SystemWatch : public SCNetworkReachabilityWatch {
public:
    struct State {
        std::mutex mutex;
        bool stopped = false;
        uint64_t generation = 0;
        std::optional<Flags> last;
        bool reportFirst = false;
        SCNetworkReachabilityReport report;
        std::function<std::optional<Flags>()> evaluate;  // blocking; runs off the loop
    };

    // nullptr when netlink cannot be watched.
    static std::unique_ptr<SystemWatch> create(const Ref<NSRunLoop>& loop, std::shared_ptr<State> state)
    {
        auto socket = std::make_shared<Descriptor>(openNetlink(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE |
                                                                   RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE,
                                                               true));
        if (socket->get() < 0) {
            return nullptr;
        }
        std::weak_ptr<State> weakState = state;
        // The source owns the descriptor, so it is closed only once the loop has let go of the source.
        auto self = std::make_shared<Weak<CFRunLoopSource>>();
        Ref<CFRunLoopSource> source = CFRunLoopSource::createForFd(
            socket->get(), CFRunLoopSource::kReadable, [socket, weakState, self](unsigned) {
                if (!drain(socket->get())) {
                    if (auto source = self->lock()) {
                        source->invalidate();  // a failed socket would otherwise be ready for ever
                    }
                }
                if (auto s = weakState.lock()) {
                    evaluate(s);
                }
            });
        *self = source;
        auto watch = std::unique_ptr<SystemWatch>(new SystemWatch(loop, std::move(state), std::move(source)));
        evaluate(watch->state_);  // the baseline, and a host name's first lookup
        return watch;
    }

    ~SystemWatch() override
    {
        {
            std::lock_guard lock(state_->mutex);
            state_->stopped = true;
        }
        source_->invalidate();
    }

    void addMode(const std::string& mode) override
    {
        if (auto loop = loop_.lock()) {
            loop->addSource(source_, mode);
        }
    }
    void removeMode(const std::string& mode) override
    {
        if (auto loop = loop_.lock()) {
            loop->removeSource(source_, mode);
        }
    }

private:
    SystemWatch(const Ref<NSRunLoop>& loop, std::shared_ptr<State> state, Ref<CFRunLoopSource> source)
        : loop_(loop), state_(std::move(state)), source_(std::move(source))
    {
    }

    // Reads every waiting message; false when the socket has failed for good.
    static bool drain(int fd)
    {
        std::vector<char> buffer(16384);
        for (;;) {
            const long n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n > 0 || (n < 0 && (errno == EINTR || errno == ENOBUFS))) {
                continue;  // ENOBUFS: messages were lost; the evaluation that follows covers them
            }
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }

    // Starts an evaluation off the loop; only the latest one started may report.
    static void evaluate(const std::shared_ptr<State>& state)
    {
        uint64_t generation;
        {
            std::lock_guard lock(state->mutex);
            if (state->stopped) {
                return;
            }
            generation = ++state->generation;
        }
        DispatchRunOnWorker([state, generation] {
            const Flags flags = state->evaluate().value_or(0);
            std::lock_guard lock(state->mutex);
            if (state->stopped || generation != state->generation) {
                return;
            }
            const bool report = state->last ? *state->last != flags : state->reportFirst;
            state->last = flags;
            if (report) {
                state->report(flags);
            }
        });
    }

    Weak<NSRunLoop> loop_;
    std::shared_ptr<State> state_;
    Ref<CFRunLoopSource> source_;
};

class AddressTarget : public SCNetworkReachabilityTarget {
public:
    explicit AddressTarget(const sockaddr* address) : text_(SCNetworkReachabilityAddressText(address))
    {
        std::memcpy(&address_, address, addressLength(address));
    }
    const std::string& text() const override { return text_; }
    std::optional<Flags> flags() override { return flagsForAddress(reinterpret_cast<const sockaddr*>(&address_)); }
    std::unique_ptr<SCNetworkReachabilityWatch> watch(const Ref<NSRunLoop>& loop, SCNetworkReachabilityReport report) override
    {
        auto state = std::make_shared<SystemWatch::State>();
        state->report = std::move(report);
        const sockaddr_storage address = address_;
        state->evaluate = [address] { return flagsForAddress(reinterpret_cast<const sockaddr*>(&address)); };
        return SystemWatch::create(loop, std::move(state));
    }

private:
    const std::string text_;
    sockaddr_storage address_{};
};

class NameTarget : public SCNetworkReachabilityTarget, public std::enable_shared_from_this<NameTarget> {
public:
    explicit NameTarget(std::string name) : name_(std::move(name)), numeric_(numericAddress(name_)) {}
    const std::string& text() const override { return name_; }

    std::optional<Flags> flags() override
    {
        if (numeric_) {
            return flagsForAddresses(*numeric_);
        }
        {
            std::unique_lock lock(mutex_);
            if (watches_ > 0 && latest_) {
                const Addresses addresses = *latest_;
                lock.unlock();
                return flagsForAddresses(addresses);
            }
        }
        // Looked up on a worker, so that a lookup that hangs holds this thread for a bounded time only.
        struct Lookup {
            std::mutex mutex;
            std::condition_variable done;
            std::optional<Addresses> addresses;
        };
        auto lookup = std::make_shared<Lookup>();
        DispatchRunOnWorker([lookup, name = name_] {
            Addresses addresses = resolveName(name);
            std::lock_guard lock(lookup->mutex);
            lookup->addresses = std::move(addresses);
            lookup->done.notify_all();
        });
        std::unique_lock lock(lookup->mutex);
        if (!lookup->done.wait_for(lock, kLookupWait, [&] { return lookup->addresses.has_value(); })) {
            return std::nullopt;
        }
        const Addresses addresses = *lookup->addresses;
        lock.unlock();
        return flagsForAddresses(addresses);
    }

    std::unique_ptr<SCNetworkReachabilityWatch> watch(const Ref<NSRunLoop>& loop, SCNetworkReachabilityReport report) override
    {
        auto state = std::make_shared<SystemWatch::State>();
        state->report = std::move(report);
        state->reportFirst = true;  // the first lookup's result is news: until then nothing was known
        std::weak_ptr<NameTarget> weak = shared_from_this();
        state->evaluate = [weak]() -> std::optional<Flags> {
            auto self = weak.lock();
            if (!self) {
                return std::nullopt;
            }
            if (self->numeric_) {
                return flagsForAddresses(*self->numeric_);
            }
            Addresses addresses = resolveName(self->name_);
            {
                std::lock_guard lock(self->mutex_);
                self->latest_ = addresses;
            }
            return flagsForAddresses(addresses);
        };
        auto watch = SystemWatch::create(loop, std::move(state));
        if (!watch) {
            return nullptr;
        }
        {
            std::lock_guard lock(mutex_);
            ++watches_;
        }
        // Counts this target's live watches, so synchronous reads use the lookups they keep fresh.
        class Counted : public SCNetworkReachabilityWatch {
        public:
            Counted(std::shared_ptr<NameTarget> target, std::unique_ptr<SystemWatch> inner)
                : target_(std::move(target)), inner_(std::move(inner))
            {
            }
            ~Counted() override
            {
                inner_.reset();
                std::lock_guard lock(target_->mutex_);
                if (--target_->watches_ == 0) {
                    target_->latest_.reset();
                }
            }
            void addMode(const std::string& mode) override { inner_->addMode(mode); }
            void removeMode(const std::string& mode) override { inner_->removeMode(mode); }

        private:
            std::shared_ptr<NameTarget> target_;
            std::unique_ptr<SystemWatch> inner_;
        };
        return std::make_unique<Counted>(shared_from_this(), std::move(watch));
    }

private:
    const std::string name_;
    const std::optional<Addresses> numeric_;
    std::mutex mutex_;  // guards watches_ and latest_
    int watches_ = 0;
    std::optional<Addresses> latest_;  // the newest lookup of a watch
};

class SystemBackend : public SCNetworkReachabilityBackend {
public:
    std::shared_ptr<SCNetworkReachabilityTarget> targetForName(const std::string& name) override
    {
        if (name.empty() || name.find('\0') != std::string::npos) {
            return nullptr;
        }
        return std::make_shared<NameTarget>(name);
    }
    std::shared_ptr<SCNetworkReachabilityTarget> targetForAddress(const sockaddr* address) override
    {
        if (!address || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) {
            return nullptr;
        }
        return std::make_shared<AddressTarget>(address);
    }
};

}  // namespace

std::shared_ptr<SCNetworkReachabilityBackend> SCNetworkReachabilitySystemBackend()
{
    static auto* backend = new std::shared_ptr<SCNetworkReachabilityBackend>(std::make_shared<SystemBackend>());
    return *backend;
}

SCNetworkReachabilityFlags SCNetworkReachabilityFlagsForRoute(const SCNetworkReachabilityRoute& route)
{
    switch (route.kind) {
    case Route::Kind::None:
        return 0;
    case Route::Kind::Local:
        return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsLocalAddress |
               kSCNetworkReachabilityFlagsIsDirect;
    case Route::Kind::Unicast:
        break;
    }
    if (route.linkDown) {
        return 0;
    }
    Flags flags = kSCNetworkReachabilityFlagsReachable;
    if (!route.viaGateway) {
        flags |= kSCNetworkReachabilityFlagsIsDirect;
    }
    if (route.wwanInterface) {
        flags |= kSCNetworkReachabilityFlagsIsWWAN;
    }
    return flags;
}
