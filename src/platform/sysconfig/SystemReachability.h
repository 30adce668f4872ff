#pragma once
// The Linux reachability backend (the default one).
//
// Flags of an address come from the kernel's route for it (an rtnetlink route lookup):
//   - the address is one of this machine's own (a local route): Reachable, IsLocalAddress, IsDirect;
//   - a route through an interface: Reachable; IsDirect when the route has no gateway; IsWWAN when the
//     interface is a cellular one (PPP or raw-IP link type, or "DEVTYPE=wwan" in sysfs);
//   - no route, an unreachable, blackhole or prohibit route, or a route whose link is down: no flags.
// The any-address (0.0.0.0, ::) stands for "the Internet": it is judged by the default route (IPv4 first,
// then IPv6). The flags of a host name are those of the first of its addresses that is reachable (no
// flags when it does not resolve). Connection-required, transient, on-demand and intervention flags are
// never set: Linux has no connect-on-demand links. Where netlink is not available, a UDP connect (which
// sends nothing) tells whether a route exists.
//
// Changes: a scheduled reference watches rtnetlink's link, address and route groups through a
// descriptor source on its run loop, in its modes. Every burst of messages starts a fresh evaluation off
// the loop (host names are looked up there too); the reference is called back when the flags differ
// from the previous evaluation, and, for a host name, once when its first lookup completes.
#include <memory>

#include "platform/sysconfig/SCNetworkReachabilityBackend.h"

// The process's system backend (made once, never destroyed).
std::shared_ptr<SCNetworkReachabilityBackend> SCNetworkReachabilitySystemBackend();

// What a route lookup found.
struct SCNetworkReachabilityRoute {
    enum class Kind {
        None,     // no route, or a route that does not deliver (unreachable, blackhole, prohibit, throw)
        Local,    // the destination is an address of this machine
        Unicast,  // delivered through an interface (also broadcast, multicast and anycast routes)
    };
    Kind kind = Kind::None;
    bool viaGateway = false;
    bool linkDown = false;
    bool wwanInterface = false;
};

// The flags a route means (see above).
SCNetworkReachabilityFlags SCNetworkReachabilityFlagsForRoute(const SCNetworkReachabilityRoute& route);
