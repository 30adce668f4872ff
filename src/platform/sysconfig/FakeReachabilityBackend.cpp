#include <algorithm>

#include "platform/sysconfig/SCNetworkReachabilityBackend.h"

struct FakeReachabilityBackend::State {
    struct Watcher {
        std::string target;
        SCNetworkReachabilityReport report;
    };

    mutable std::mutex mutex;  // guards everything below
    std::map<std::string, std::optional<SCNetworkReachabilityFlags>> flags;
    std::optional<SCNetworkReachabilityFlags> defaultFlags;
    std::set<std::string> refused;
    bool watchingFails = false;
    std::vector<std::shared_ptr<Watcher>> watchers;

    std::optional<SCNetworkReachabilityFlags> flagsOf(const std::string& target) const
    {
        auto it = flags.find(target);
        return it != flags.end() ? it->second : defaultFlags;
    }
};

namespace {

using State = FakeReachabilityBackend::State;

class FakeWatch : public SCNetworkReachabilityWatch {
public:
    FakeWatch(std::shared_ptr<State> state, std::shared_ptr<State::Watcher> watcher)
        : state_(std::move(state)), watcher_(std::move(watcher))
    {
    }
    ~FakeWatch() override
    {
        std::lock_guard lock(state_->mutex);
        std::erase(state_->watchers, watcher_);
    }

private:
    std::shared_ptr<State> state_;
    std::shared_ptr<State::Watcher> watcher_;
};

class FakeTarget : public SCNetworkReachabilityTarget {
public:
    FakeTarget(std::shared_ptr<State> state, std::string text) : state_(std::move(state)), text_(std::move(text)) {}
    const std::string& text() const override { return text_; }
    std::optional<SCNetworkReachabilityFlags> flags() override
    {
        std::lock_guard lock(state_->mutex);
        return state_->flagsOf(text_);
    }
    std::unique_ptr<SCNetworkReachabilityWatch> watch(const Ref<NSRunLoop>&, SCNetworkReachabilityReport report) override
    {
        std::lock_guard lock(state_->mutex);
        if (state_->watchingFails) {
            return nullptr;
        }
        auto watcher = std::make_shared<State::Watcher>(State::Watcher{text_, std::move(report)});
        state_->watchers.push_back(watcher);
        return std::make_unique<FakeWatch>(state_, std::move(watcher));
    }

private:
    std::shared_ptr<State> state_;
    const std::string text_;
};

}  // namespace

FakeReachabilityBackend::FakeReachabilityBackend(SCNetworkReachabilityFlags defaultFlags)
    : state_(std::make_shared<State>())
{
    state_->defaultFlags = defaultFlags;
}

std::shared_ptr<FakeReachabilityBackend> FakeReachabilityBackend::create(SCNetworkReachabilityFlags defaultFlags)
{
    return std::make_shared<FakeReachabilityBackend>(defaultFlags);
}

void FakeReachabilityBackend::setFlags(const std::string& target, std::optional<SCNetworkReachabilityFlags> flags)
{
    std::lock_guard lock(state_->mutex);
    state_->flags[target] = flags;
}

void FakeReachabilityBackend::setDefaultFlags(std::optional<SCNetworkReachabilityFlags> flags)
{
    std::lock_guard lock(state_->mutex);
    state_->defaultFlags = flags;
}

void FakeReachabilityBackend::refuse(const std::string& target)
{
    std::lock_guard lock(state_->mutex);
    state_->refused.insert(target);
}

void FakeReachabilityBackend::setWatchingFails(bool fails)
{
    std::lock_guard lock(state_->mutex);
    state_->watchingFails = fails;
}

void FakeReachabilityBackend::fireChange(const std::string& target)
{
    std::vector<std::pair<SCNetworkReachabilityReport, SCNetworkReachabilityFlags>> reports;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& w : state_->watchers) {
            if (target.empty() || w->target == target) {
                reports.emplace_back(w->report, state_->flagsOf(w->target).value_or(0));
            }
        }
    }
    for (const auto& [report, flags] : reports) {
        report(flags);
    }
}

void FakeReachabilityBackend::change(const std::string& target, SCNetworkReachabilityFlags flags)
{
    setFlags(target, flags);
    fireChange(target);
}

size_t FakeReachabilityBackend::watchCount(const std::string& target) const
{
    std::lock_guard lock(state_->mutex);
    return static_cast<size_t>(std::count_if(state_->watchers.begin(), state_->watchers.end(), [&](const auto& w) {
        return target.empty() || w->target == target;
    }));
}

std::shared_ptr<SCNetworkReachabilityTarget> FakeReachabilityBackend::makeTarget(const std::string& text)
{
    std::lock_guard lock(state_->mutex);
    if (text.empty() || state_->refused.count(text)) {
        return nullptr;
    }
    return std::make_shared<FakeTarget>(state_, text);
}

std::shared_ptr<SCNetworkReachabilityTarget> FakeReachabilityBackend::targetForName(const std::string& name)
{
    return makeTarget(name);
}

std::shared_ptr<SCNetworkReachabilityTarget> FakeReachabilityBackend::targetForAddress(const sockaddr* address)
{
    return makeTarget(SCNetworkReachabilityAddressText(address));
}
