#pragma once
// Where reachability answers come from. The process has one installed backend; references take the one
// installed when they are made. By default it is the system backend (SystemReachability.h); tests
// install FakeReachabilityBackend to set flags and fire changes without touching the network:
//
//   auto fake = FakeReachabilityBackend::create();
//   SCNetworkReachabilityBackendScope scope(fake);            // restores the previous backend at the end
//   fake->setFlags("example.org", kSCNetworkReachabilityFlagsReachable);
//   ... schedule a reference for "example.org" ...
//   fake->change("example.org", 0);                          // the reference calls back on its loop
#include <sys/socket.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/sysconfig/SCNetworkReachability.h"

// Reports a target's new flags to the reference that scheduled it. Thread-safe: a backend may call it
// from any thread, also after the watch has ended (the report is then dropped).
using SCNetworkReachabilityReport = std::function<void(SCNetworkReachabilityFlags flags)>;

// A backend's watch of one target for one scheduled reference. Destroying it stops the reports.
class SCNetworkReachabilityWatch {
public:
    virtual ~SCNetworkReachabilityWatch() = default;
    // The reference is now scheduled in one more mode of the watch's loop, or in one fewer. A watch that
    // needs the loop itself (a descriptor to read) registers its sources in the same modes.
    virtual void addMode(const std::string& mode) {}
    virtual void removeMode(const std::string& mode) {}
};

// One destination as a backend sees it.
class SCNetworkReachabilityTarget {
public:
    virtual ~SCNetworkReachabilityTarget() = default;
    // The host name, or the numeric address ("10.0.0.1", "::1").
    virtual const std::string& text() const = 0;
    // The current flags; nullopt when they cannot be read. May block briefly (a host-name lookup).
    virtual std::optional<SCNetworkReachabilityFlags> flags() = 0;
    // Starts watching for a reference being scheduled on `loop` (the calling thread's work is not
    // blocked by it); nullptr when changes cannot be watched.
    virtual std::unique_ptr<SCNetworkReachabilityWatch> watch(const Ref<NSRunLoop>& loop,
                                                              SCNetworkReachabilityReport report) = 0;
};

class SCNetworkReachabilityBackend {
public:
    virtual ~SCNetworkReachabilityBackend() = default;
    // nullptr when no reference can be made for the name or address.
    virtual std::shared_ptr<SCNetworkReachabilityTarget> targetForName(const std::string& name) = 0;
    virtual std::shared_ptr<SCNetworkReachabilityTarget> targetForAddress(const sockaddr* address) = 0;
};

// Installs the process's backend (nullptr: the system backend again). Thread-safe.
void SCNetworkReachabilitySetBackend(std::shared_ptr<SCNetworkReachabilityBackend> backend);
std::shared_ptr<SCNetworkReachabilityBackend> SCNetworkReachabilityGetBackend();

// Installs a backend for a scope and puts the previous one back afterwards.
class SCNetworkReachabilityBackendScope {
public:
    explicit SCNetworkReachabilityBackendScope(std::shared_ptr<SCNetworkReachabilityBackend> backend);
    ~SCNetworkReachabilityBackendScope();
    SCNetworkReachabilityBackendScope(const SCNetworkReachabilityBackendScope&) = delete;
    SCNetworkReachabilityBackendScope& operator=(const SCNetworkReachabilityBackendScope&) = delete;

private:
    std::shared_ptr<SCNetworkReachabilityBackend> previous_;
};

// The numeric text of an AF_INET or AF_INET6 address ("10.0.0.1", "::1"); "" for anything else.
std::string SCNetworkReachabilityAddressText(const sockaddr* address);

// A backend whose answers tests set. Targets are named by their text (the host name as given, or the
// numeric address: "0.0.0.0" for the Internet connection, "169.254.0.0" for the local link). Every method
// is thread-safe.
class FakeReachabilityBackend : public SCNetworkReachabilityBackend {
public:
    // Every target starts with `defaultFlags`.
    static std::shared_ptr<FakeReachabilityBackend> create(SCNetworkReachabilityFlags defaultFlags = 0);

    // The flags of one target; nullopt makes them unreadable.
    void setFlags(const std::string& target, std::optional<SCNetworkReachabilityFlags> flags);
    // The flags of every target that has none of its own.
    void setDefaultFlags(std::optional<SCNetworkReachabilityFlags> flags);
    // No reference can be made for the target from now on.
    void refuse(const std::string& target);
    // Scheduling fails (no watch can be made) while set.
    void setWatchingFails(bool fails);
    // Reports the current flags of the target (of every target when empty) to every reference scheduled
    // for it, as the system reports a change. Callable from any thread.
    void fireChange(const std::string& target = {});
    // setFlags, then fireChange.
    void change(const std::string& target, SCNetworkReachabilityFlags flags);
    // How many scheduled references watch the target (every target when empty).
    size_t watchCount(const std::string& target = {}) const;

    // Use create(); public only for make_shared.
    explicit FakeReachabilityBackend(SCNetworkReachabilityFlags defaultFlags);

    std::shared_ptr<SCNetworkReachabilityTarget> targetForName(const std::string& name) override;
    std::shared_ptr<SCNetworkReachabilityTarget> targetForAddress(const sockaddr* address) override;

    struct State;

private:
    std::shared_ptr<SCNetworkReachabilityTarget> makeTarget(const std::string& text);
    const std::shared_ptr<State> state_;
};
