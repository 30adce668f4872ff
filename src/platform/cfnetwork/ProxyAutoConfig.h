#pragma once
// The engine under the proxy auto-configuration calls of CFProxySupport.h: runs a script's
// FindProxyForURL(url, host) in duktape and turns its answer ("PROXY h:p; SOCKS h:p; DIRECT") into the
// platform's proxy list.
//
// The script runs with the usual helper functions of such scripts, written here: isPlainHostName,
// dnsDomainIs, localHostOrDomainIs, isResolvable, isInNet, dnsResolve, myIpAddress, dnsDomainLevels,
// shExpMatch, weekdayRange, dateRange, timeRange (and alert, which does nothing). Host names compare
// without regard to case; dnsResolve and myIpAddress answer IPv4 addresses; the date and time
// functions read the wall clock in local time, or in GMT when their last argument is "GMT", and ranges
// whose start lies after their end wrap around (timeRange(22, 6) holds from 22:00 to 06:59).
//
// A script comes from the network and may be hostile or broken, so it never runs on the caller's
// thread: a worker thread evaluates it, in a heap of bounded size (kHeapLimitBytes), while the caller
// waits at most Environment::timeLimitSeconds. A script that does not finish in time (an endless loop,
// a host lookup that hangs) fails, is not run again, and its worker is left behind at the lowest
// priority and replaced (the engine has no way to interrupt a running script); after
// kMaxAbandonedWorkers such workers no script is run any more. Every failure means: go direct.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace ProxyAutoConfig {

inline constexpr size_t kHeapLimitBytes = 32u << 20;
inline constexpr size_t kMaxScriptBytes = 4u << 20;
inline constexpr int kMaxAbandonedWorkers = 2;

// What a script sees of the machine. Tests replace parts of it; empty members mean the defaults.
struct Environment {
    // A host name or address to its IPv4 address text; nullopt when it does not resolve.
    // Default: the system's resolver (IPv4 only).
    std::function<std::optional<std::string>(const std::string& host)> resolve;
    // The machine's IPv4 address. Default: the address of the interface that leads outwards, else the
    // first one that is up, else "127.0.0.1".
    std::function<std::string()> myIpAddress;
    // Seconds since 1970 for the date and time functions. Default: Clock::wallNow().
    std::function<double()> wallNow;
    double timeLimitSeconds = 5;
};

// Runs FindProxyForURL(url, host) of `script`; its answer, or nullopt with *error set when the script
// cannot be compiled, throws, has no FindProxyForURL, answers something other than a string, runs out
// of memory or time.
std::optional<std::string> findProxyForURL(std::string_view script, const std::string& url, const std::string& host,
                                           const Environment& environment = {}, std::string* error = nullptr);

// An answer as a list of proxy dictionaries (see CFProxySupport.h), in the order given: "DIRECT" gives
// {kCFProxyTypeKey: kCFProxyTypeNone}; "PROXY h:p" and "HTTP h:p" an HTTP proxy (port 80 when none is
// given); "SOCKS", "SOCKS4" and "SOCKS5 h:p" a SOCKS proxy (port 1080 when none; the transport speaks
// SOCKS version 5). Keywords compare without regard to case. Entries that cannot be used (an unknown
// keyword, "HTTPS" proxies reached over TLS, a bad host or port) are skipped. An empty answer means
// DIRECT. nullopt when the answer is not empty but names nothing usable.
std::optional<Value> parseProxyList(std::string_view answer);

// A script file's bytes as text: UTF-8 when they are valid UTF-8, else ISO Latin-1.
std::string decodeScript(std::string_view bytes);

}  // namespace ProxyAutoConfig
