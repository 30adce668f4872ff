#include "platform/foundation/NSRunLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSTimer.h"

namespace {

// Ready work is ordered by (time, sequence): the time it became ready on the clock, then the order in
// which the loop learnt of it.
struct Key {
    double time = 0;
    uint64_t seq = 0;
    bool operator<(const Key& other) const { return time < other.time || (time == other.time && seq < other.seq); }
};

struct Task {
    std::function<void()> fn;
    RunLoopModes modes;
    Key key;
};

struct TimerEntry {
    Ref<NSTimer> timer;
    std::set<std::string> modes;
    bool firing = false;
    uint64_t seq = 0;  // renewed at every (re)scheduling, to order timers with the same fire date
};

struct SourceEntry {
    Ref<CFRunLoopSource> source;
    std::set<std::string> modes;
    bool inCallback = false;
    bool ready = false;
    unsigned revents = 0;
    Key readySince;
};

std::mutex g_registryMutex;
std::set<NSRunLoop*>& registry()
{
    static auto* loops = new std::set<NSRunLoop*>;
    return *loops;
}

uint32_t toEpoll(unsigned events)
{
    uint32_t e = 0;
    if (events & CFRunLoopSource::kReadable) {
        e |= EPOLLIN | EPOLLRDHUP;
    }
    if (events & CFRunLoopSource::kWritable) {
        e |= EPOLLOUT;
    }
    return e;
}

unsigned fromEpoll(uint32_t e, unsigned wanted)
{
    unsigned out = 0;
    if ((e & (EPOLLIN | EPOLLRDHUP | EPOLLPRI)) && (wanted & CFRunLoopSource::kReadable)) {
        out |= CFRunLoopSource::kReadable;
    }
    if ((e & EPOLLOUT) && (wanted & CFRunLoopSource::kWritable)) {
        out |= CFRunLoopSource::kWritable;
    }
    if (e & (EPOLLERR | EPOLLHUP)) {
        out |= CFRunLoopSource::kError;
    }
    return out;
}

}  // namespace

struct NSRunLoop::Impl {
    mutable std::mutex mutex;
    int epfd = -1;
    int evfd = -1;
    std::deque<Task> tasks;
    std::vector<TimerEntry> timers;
    std::vector<SourceEntry> sources;
    std::set<std::string> common{kCFRunLoopDefaultMode};
    std::vector<std::string> modeStack;
    bool stopRequested = false;
    bool alwaysHasSources = false;
    uint64_t seq = 0;
    struct Armed {
        uint32_t events = 0;
        std::vector<uint64_t> owners;  // ids of the sources served by the registration
    };
    std::map<int, Armed> armed;         // descriptors in the epoll set
    std::set<uint64_t> alwaysReady;     // sources whose descriptor epoll refuses (regular files)
    std::unordered_map<int, uint32_t> polled;  // result of the last poll
    // Wake-ups: the eventfd is written only while the loop waits in epoll (`waiting`, set and cleared
    // under the mutex around the wait), and at most once per wait (`wakeWritten`). Whoever changes the
    // loop's work under the mutex while it is not waiting needs no wake-up: the loop looks at its work
    // again, under the mutex, before it next waits.
    bool waiting = false;
    bool wakeWritten = false;
    uint64_t posts = 0;  // tasks posted so far (the tickets)
    // The waiting poll's findings are fresh for the look that follows it: no second epoll call.
    bool polledFresh = false;

    template <class Modes>
    bool matches(const Modes& modes, const std::string& mode) const
    {
        for (const auto& m : modes) {
            if (m == mode || (m == kCFRunLoopCommonModes && common.count(mode))) {
                return true;
            }
        }
        return false;
    }

    // Puts in the epoll set exactly the descriptors of the sources that `mode` may serve now. A
    // registration is remembered with the sources it serves: a descriptor number closed and reused by
    // another source is registered afresh.
    void arm(const std::string& mode)
    {
        std::map<int, Armed> wanted;
        for (const auto& s : sources) {
            const int fd = s.source->fd();
            if (fd < 0 || s.inCallback || !s.source->isValid() || !matches(s.modes, mode) ||
                alwaysReady.count(s.source->id_)) {
                continue;
            }
            auto& w = wanted[fd];
            w.events |= toEpoll(s.source->events());
            w.owners.push_back(s.source->id_);
        }
        for (auto it = armed.begin(); it != armed.end();) {
            auto w = wanted.find(it->first);
            if (w == wanted.end() || w->second.owners != it->second.owners) {
                ::epoll_ctl(epfd, EPOLL_CTL_DEL, it->first, nullptr);  // fails harmlessly if already closed
                it = armed.erase(it);
            } else {
                ++it;
            }
        }
        for (auto& [fd, w] : wanted) {
            auto it = armed.find(fd);
            if (it != armed.end() && it->second.events == w.events) {
                continue;
            }
            epoll_event ev{};
            ev.events = w.events;
            ev.data.fd = fd;
            int op = it == armed.end() ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
            int rc = ::epoll_ctl(epfd, op, fd, &ev);
            if (rc != 0 && op == EPOLL_CTL_MOD && errno == ENOENT) {
                op = EPOLL_CTL_ADD;  // closed and reopened under the same number by the same source
                rc = ::epoll_ctl(epfd, op, fd, &ev);
            }
            if (rc == 0) {
                armed[fd] = w;
            } else if (errno == EPERM) {
                // Regular files cannot be watched; they are always ready.
                alwaysReady.insert(w.owners.begin(), w.owners.end());
                armed.erase(fd);
            }
        }
    }

    // Takes a leaving source's descriptor out of the epoll set at once, while its owner still holds it
    // open: left for the next arm, the number might by then be closed and handed to someone else.
    // Another source on the same number is registered afresh by the next arm.
    void disarm(uint64_t id, int fd)
    {
        auto it = armed.find(fd);
        if (it == armed.end() || std::find(it->second.owners.begin(), it->second.owners.end(), id) == it->second.owners.end()) {
            return;
        }
        ::epoll_ctl(epfd, EPOLL_CTL_DEL, fd, nullptr);
        armed.erase(it);
    }

    // Waits up to `timeoutMs` (0: just looks) and records what is ready into `into`; resets the
    // wake-up counter. Called unlocked for a wait (with a local map), locked for a look.
    void poll(int timeoutMs, std::unordered_map<int, uint32_t>& into)
    {
        epoll_event events[64];
        const int n = ::epoll_wait(epfd, events, 64, timeoutMs);
        into.clear();
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == evfd) {
                uint64_t value;
                [[maybe_unused]] ssize_t r = ::read(evfd, &value, sizeof value);
            } else {
                into[events[i].data.fd] = events[i].events;
            }
        }
    }

    void updateReadiness(const std::string& mode, double now)
    {
        for (auto& s : sources) {
            if (s.inCallback || !s.source->isValid() || !matches(s.modes, mode)) {
                continue;
            }
            unsigned revents = 0;
            const int fd = s.source->fd();
            if (fd >= 0) {
                const unsigned wanted = s.source->events();
                if (alwaysReady.count(s.source->id_)) {
                    revents = wanted & (CFRunLoopSource::kReadable | CFRunLoopSource::kWritable);
                } else if (auto it = polled.find(fd); it != polled.end()) {
                    revents = fromEpoll(it->second, wanted);
                }
            }
            if (s.source->signalled_.load()) {
                revents |= CFRunLoopSource::kSignalled;
            }
            s.revents = revents;
            if (revents == 0) {
                s.ready = false;
            } else if (!s.ready) {
                s.ready = true;
                s.readySince = Key{now, ++seq};
            }
        }
    }

    bool hasWork(const std::string& mode) const
    {
        for (const auto& t : tasks) {
            if (matches(t.modes, mode)) {
                return true;
            }
        }
        for (const auto& t : timers) {
            if (t.timer->isValid() && matches(t.modes, mode)) {
                return true;
            }
        }
        for (const auto& s : sources) {
            if (s.source->isValid() && matches(s.modes, mode)) {
                return true;
            }
        }
        return false;
    }

    // Drops invalidated timers and sources. What they hold goes to `graveyard`, released by the caller
    // after unlocking: a closure's last reference may run a destructor that calls back into this loop.
    void prune(std::vector<Ref<NSObject>>& graveyard)
    {
        std::erase_if(timers, [&](const TimerEntry& t) {
            if (t.firing || t.timer->isValid()) {
                return false;
            }
            graveyard.push_back(t.timer);
            return true;
        });
        std::erase_if(sources, [&](const SourceEntry& s) {
            if (s.inCallback || s.source->isValid()) {
                return false;
            }
            alwaysReady.erase(s.source->id_);
            graveyard.push_back(s.source);
            return true;
        });
    }

    void wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(evfd, &one, sizeof one);
    }

    // Under the mutex: whether the caller must write the eventfd (after unlocking).
    bool needsWake()
    {
        if (!waiting || wakeWritten) {
            return false;
        }
        wakeWritten = true;
        return true;
    }
};

namespace {
namespace NSRunLoop_cpp {

// Work to run when the item being served on this thread returns (see performWhenCurrentItemEnds).
thread_local int t_servingItems = 0;
thread_local std::vector<std::function<void()>> t_whenItemEnds;
thread_local std::function<void()> t_itemEndObserver;
// Loops posted to by the item being served whose wake-up waits for its end
// (performBlockWithTicketWakingWhenItemEnds), held until then.
thread_local std::vector<Ref<NSRunLoop>> t_wakeWhenItemEnds;
// Set by batchWakeUpsUntilIdle: the wake-ups above wait for this thread's loop to be about to wait, or
// for kItemsPerWakeBatch items to have ended since the first of them (t_itemsInWakeBatch).
thread_local bool t_batchWakeUps = false;
thread_local int t_itemsInWakeBatch = 0;
constexpr int kItemsPerWakeBatch = 8;

void runWhenItemEndsWork()
{
    while (!t_whenItemEnds.empty()) {
        std::vector<std::function<void()>> work;
        work.swap(t_whenItemEnds);
        for (auto& fn : work) {
            fn();
        }
    }
}

// Counts an item as being served for its lifetime, and runs what it left for its end.
struct ServingItem {
    ServingItem() { ++t_servingItems; }
    ~ServingItem()
    {
        --t_servingItems;
        runWhenItemEndsWork();
        if (t_servingItems == 0 && t_itemEndObserver) {
            t_itemEndObserver();
        }
        if (t_batchWakeUps && !t_wakeWhenItemEnds.empty() && ++t_itemsInWakeBatch >= kItemsPerWakeBatch) {
            NSRunLoop::wakeDeferredLoops();
        }
    }
    ServingItem(const ServingItem&) = delete;
    ServingItem& operator=(const ServingItem&) = delete;
};

}  // namespace NSRunLoop_cpp
}  // namespace

NSRunLoop::NSRunLoop() : impl_(std::make_unique<Impl>())
{
    impl_->epfd = ::epoll_create1(EPOLL_CLOEXEC);
    impl_->evfd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl_->epfd < 0 || impl_->evfd < 0) {
        throw std::system_error(errno, std::generic_category(), "run loop");
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = impl_->evfd;
    ::epoll_ctl(impl_->epfd, EPOLL_CTL_ADD, impl_->evfd, &ev);
    std::lock_guard lock(g_registryMutex);
    registry().insert(this);
}

NSRunLoop::~NSRunLoop()
{
    {
        std::lock_guard lock(g_registryMutex);
        registry().erase(this);
    }
    ::close(impl_->epfd);
    ::close(impl_->evfd);
}

Ref<NSRunLoop> NSRunLoop::currentRunLoop()
{
    return NSThread::currentThread()->runLoop();
}

Ref<NSRunLoop> NSRunLoop::mainRunLoop()
{
    return NSThread::mainThread()->runLoop();
}

void NSRunLoop::wakeAll()
{
    std::lock_guard lock(g_registryMutex);
    for (NSRunLoop* loop : registry()) {
        loop->impl_->wake();
    }
}

double NSRunLoop::nextTimerFireDateAfter(double time)
{
    double next = distantFuture;
    std::lock_guard lock(g_registryMutex);
    for (NSRunLoop* loop : registry()) {
        std::lock_guard loopLock(loop->impl_->mutex);
        for (const auto& t : loop->impl_->timers) {
            if (t.firing || !t.timer->isValid()) {
                continue;
            }
            const double date = t.timer->fireDate();
            if (date > time) {
                next = std::min(next, date);
            }
        }
    }
    return next;
}

void NSRunLoop::performBlock(std::function<void()> block, const RunLoopModes& modes)
{
    performBlockWithTicket(std::move(block), modes);
}

uint64_t NSRunLoop::performBlockWithTicket(std::function<void()> block, const RunLoopModes& modes)
{
    bool wake = false;
    uint64_t ticket = 0;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->tasks.push_back(Task{std::move(block), modes, Key{Clock::now(), ++impl_->seq}});
        ticket = ++impl_->posts;
        wake = impl_->needsWake();
    }
    if (wake) {
        impl_->wake();
    }
    return ticket;
}

uint64_t NSRunLoop::performBlockWithTicketWakingWhenItemEnds(std::function<void()> block, const RunLoopModes& modes)
{
    if (NSRunLoop_cpp::t_servingItems == 0) {
        return performBlockWithTicket(std::move(block), modes);
    }
    uint64_t ticket = 0;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->tasks.push_back(Task{std::move(block), modes, Key{Clock::now(), ++impl_->seq}});
        ticket = ++impl_->posts;
    }
    // One wake-up per loop for the whole item, written (if the loop waits by then) when it ends.
    auto& loops = NSRunLoop_cpp::t_wakeWhenItemEnds;
    if (std::find_if(loops.begin(), loops.end(), [this](const Ref<NSRunLoop>& loop) { return loop.get() == this; }) ==
        loops.end()) {
        loops.push_back(self<NSRunLoop>());
        if (loops.size() == 1 && !NSRunLoop_cpp::t_batchWakeUps) {
            performWhenCurrentItemEnds(&NSRunLoop::wakeDeferredLoops);
        }
    }
    return ticket;
}

void NSRunLoop::batchWakeUpsUntilIdle()
{
    NSRunLoop_cpp::t_batchWakeUps = true;
}

void NSRunLoop::wakeDeferredLoops()
{
    std::vector<Ref<NSRunLoop>> woken;
    woken.swap(NSRunLoop_cpp::t_wakeWhenItemEnds);
    NSRunLoop_cpp::t_itemsInWakeBatch = 0;
    for (const Ref<NSRunLoop>& loop : woken) {
        loop->wakeIfWaiting();
    }
}

bool NSRunLoop::isLatestPost(uint64_t ticket) const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->posts == ticket;
}

void NSRunLoop::performWhenCurrentItemEnds(std::function<void()> fn)
{
    if (!fn) {
        return;
    }
    if (NSRunLoop_cpp::t_servingItems == 0) {
        fn();
        return;
    }
    NSRunLoop_cpp::t_whenItemEnds.push_back(std::move(fn));
}

void NSRunLoop::setItemEndObserver(std::function<void()> fn)
{
    NSRunLoop_cpp::t_itemEndObserver = std::move(fn);
}

int NSRunLoop::itemsBeingServed()
{
    return NSRunLoop_cpp::t_servingItems;
}

void NSRunLoop::wakeIfWaiting()
{
    bool wake = false;
    {
        std::lock_guard lock(impl_->mutex);
        wake = impl_->needsWake();
    }
    if (wake) {
        impl_->wake();
    }
}

void NSRunLoop::addTimer(const Ref<NSTimer>& timer, const std::string& mode)
{
    if (!timer) {
        return;
    }
    {
        std::lock_guard lock(impl_->mutex);
        {
            std::lock_guard timerLock(timer->mutex_);
            if (!timer->valid_) {
                return;
            }
            auto owner = timer->loop_.lock();
            if (owner && owner.get() != this) {
                throw std::logic_error("NSTimer: a timer belongs to one run loop");
            }
            timer->loop_ = std::static_pointer_cast<NSRunLoop>(shared_from_this());
        }
        auto it = std::find_if(impl_->timers.begin(), impl_->timers.end(),
                               [&](const TimerEntry& e) { return e.timer == timer; });
        if (it == impl_->timers.end()) {
            impl_->timers.push_back(TimerEntry{timer, {mode}, false, ++impl_->seq});
        } else {
            it->modes.insert(mode);
        }
    }
    wakeIfWaiting();
}

void NSRunLoop::addSource(const Ref<CFRunLoopSource>& source, const std::string& mode)
{
    if (!source || !source->isValid()) {
        return;
    }
    {
        std::lock_guard lock(impl_->mutex);
        {
            std::lock_guard sourceLock(source->mutex_);
            auto owner = source->loop_.lock();
            if (owner && owner.get() != this) {
                throw std::logic_error("CFRunLoopSource: a source belongs to one run loop");
            }
            source->loop_ = std::static_pointer_cast<NSRunLoop>(shared_from_this());
        }
        auto it = std::find_if(impl_->sources.begin(), impl_->sources.end(),
                               [&](const SourceEntry& e) { return e.source == source; });
        if (it == impl_->sources.end()) {
            SourceEntry entry;
            entry.source = source;
            entry.modes.insert(mode);
            impl_->sources.push_back(std::move(entry));
        } else {
            it->modes.insert(mode);
        }
    }
    wakeIfWaiting();
}

void NSRunLoop::removeSource(const Ref<CFRunLoopSource>& source, const std::string& mode)
{
    Ref<CFRunLoopSource> removed;  // released after unlocking
    std::lock_guard lock(impl_->mutex);
    for (auto it = impl_->sources.begin(); it != impl_->sources.end(); ++it) {
        if (it->source != source) {
            continue;
        }
        it->modes.erase(mode);
        if (it->modes.empty()) {
            impl_->disarm(source->id_, source->fd());
        }
        if (it->modes.empty() && !it->inCallback) {
            removed = it->source;
            impl_->alwaysReady.erase(it->source->id_);
            impl_->sources.erase(it);
        }
        break;
    }
}

void NSRunLoop::sourceInvalidated(const CFRunLoopSource& source)
{
    if (source.fd() < 0) {
        return;
    }
    std::lock_guard lock(impl_->mutex);
    impl_->disarm(source.id_, source.fd());
}

bool NSRunLoop::containsSource(const Ref<CFRunLoopSource>& source, const std::string& mode) const
{
    std::lock_guard lock(impl_->mutex);
    for (const auto& s : impl_->sources) {
        if (s.source == source && s.source->isValid()) {
            return s.modes.count(mode) > 0;
        }
    }
    return false;
}

void NSRunLoop::addCommonMode(const std::string& mode)
{
    {
        std::lock_guard lock(impl_->mutex);
        impl_->common.insert(mode);
    }
    wakeIfWaiting();
}

void NSRunLoop::stop()
{
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopRequested = true;
    }
    wakeIfWaiting();
}

void NSRunLoop::wakeUp()
{
    impl_->wake();
}

void NSRunLoop::timerChanged()
{
    wakeIfWaiting();
}

std::string NSRunLoop::currentMode() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->modeStack.empty() ? std::string() : impl_->modeStack.back();
}

double NSRunLoop::nextTimerFireDate() const
{
    std::lock_guard lock(impl_->mutex);
    double next = distantFuture;
    for (const auto& t : impl_->timers) {
        if (!t.firing && t.timer->isValid()) {
            next = std::min(next, t.timer->fireDate());
        }
    }
    return next;
}

void NSRunLoop::setAlwaysHasSources(bool value)
{
    std::lock_guard lock(impl_->mutex);
    impl_->alwaysHasSources = value;
}

void NSRunLoop::discardAll()
{
    std::deque<Task> tasks;
    std::vector<TimerEntry> timers;
    std::vector<SourceEntry> sources;
    {
        std::lock_guard lock(impl_->mutex);
        tasks.swap(impl_->tasks);
        // Entries whose callback is running stay until it returns.
        for (auto& t : impl_->timers) {
            if (!t.firing) {
                timers.push_back(t);
            }
        }
        for (auto& s : impl_->sources) {
            if (!s.inCallback) {
                sources.push_back(s);
            }
        }
        std::erase_if(impl_->timers, [](const TimerEntry& t) { return !t.firing; });
        std::erase_if(impl_->sources, [](const SourceEntry& s) { return !s.inCallback; });
        impl_->stopRequested = false;
    }
    for (auto& t : timers) {
        t.timer->invalidate();
    }
    // The tasks, timers and sources (and whatever their closures hold) are released here, unlocked.
}

CFRunLoopRunResult NSRunLoop::runOnce(const std::string& mode, double clockDeadline,
                                      const std::chrono::steady_clock::time_point* realDeadline, bool mayWait,
                                      bool ignoreFinished, bool* stopped)
{
    Impl& d = *impl_;
    std::vector<Ref<NSObject>> graveyard;  // declared before the lock: released unlocked
    std::unique_lock lock(d.mutex);
    d.modeStack.push_back(mode);
    // Destroyed before `lock`, so the mode is popped under the lock on every way out.
    struct PopMode {
        Impl& d;
        ~PopMode() { d.modeStack.pop_back(); }
    } popMode{d};

    for (;;) {
        if (d.stopRequested) {
            d.stopRequested = false;
            if (stopped) {
                *stopped = true;
            }
            return kCFRunLoopRunStopped;
        }
        d.prune(graveyard);
        if (!ignoreFinished && !d.alwaysHasSources && !d.hasWork(mode)) {
            return kCFRunLoopRunFinished;
        }
        d.arm(mode);

        // The earliest ready item of this mode.
        enum class Kind { None, Task, Timer, Source } kind = Kind::None;
        Key best;
        size_t index = 0;
        for (size_t i = 0; i < d.tasks.size(); ++i) {
            if (d.matches(d.tasks[i].modes, mode)) {
                kind = Kind::Task;
                best = d.tasks[i].key;
                index = i;
                break;  // tasks are in posting order
            }
        }
        // A source first seen ready by a new look is ordered after every task posted before it, so a
        // look is needed only when no task is waiting or a source already seen ready may come first;
        // right after a wait, the wait's findings are the look.
        bool look = kind == Kind::None;
        for (const auto& s : d.sources) {
            if (look) {
                break;
            }
            look = s.ready && s.readySince < best;
        }
        const bool fresh = d.polledFresh;
        d.polledFresh = false;
        if (look && !fresh) {
            d.poll(0, d.polled);
        }
        const double now = Clock::now();
        if (look || fresh) {
            d.updateReadiness(mode, now);
        }
        double nextTimer = distantFuture;
        for (size_t i = 0; i < d.timers.size(); ++i) {
            auto& t = d.timers[i];
            if (t.firing || !t.timer->isValid() || !d.matches(t.modes, mode)) {
                continue;
            }
            const double fireDate = t.timer->fireDate();
            if (fireDate > now + kRunLoopTimerSlack) {
                nextTimer = std::min(nextTimer, fireDate);
                continue;
            }
            const Key key{fireDate, t.seq};
            if (kind == Kind::None || key < best) {
                kind = Kind::Timer;
                best = key;
                index = i;
            }
        }
        for (size_t i = 0; i < d.sources.size(); ++i) {
            auto& s = d.sources[i];
            if (!s.ready || s.inCallback || !s.source->isValid() || !d.matches(s.modes, mode)) {
                continue;
            }
            if (kind == Kind::None || s.readySince < best) {
                kind = Kind::Source;
                best = s.readySince;
                index = i;
            }
        }

        bool handled = false;
        switch (kind) {
        case Kind::Task: {
            auto fn = std::move(d.tasks[index].fn);
            d.tasks.erase(d.tasks.begin() + static_cast<std::ptrdiff_t>(index));
            lock.unlock();
            // The closure is released before relocking: its captures' destructors may use this loop.
            auto finish = [&] {
                fn = nullptr;
                lock.lock();
            };
            try {
                NSRunLoop_cpp::ServingItem serving;
                fn();
            } catch (...) {
                finish();
                throw;
            }
            finish();
            handled = true;
            break;
        }
        case Kind::Timer: {
            Ref<NSTimer> timer = d.timers[index].timer;
            d.timers[index].firing = true;
            {
                std::lock_guard timerLock(timer->mutex_);
                if (timer->repeats_) {
                    // Missed intervals are skipped: the next fire date is the first multiple after now.
                    const double interval = timer->interval_;
                    double next = timer->fireDate_ + interval;
                    if (next <= now) {
                        next += std::ceil((now - next) / interval + 1e-9) * interval;
                        if (next <= now) {
                            next += interval;
                        }
                    }
                    timer->fireDate_ = next;
                }
            }
            d.timers[index].seq = ++d.seq;
            lock.unlock();
            NSTimer::Callback callback;
            {
                std::lock_guard timerLock(timer->mutex_);
                callback = timer->callback_;
            }
            auto finish = [&] {
                callback = nullptr;
                if (!timer->repeats_) {
                    timer->invalidate();
                }
                lock.lock();
                for (auto& t : d.timers) {
                    if (t.timer == timer) {
                        t.firing = false;
                    }
                }
                graveyard.push_back(std::move(timer));
            };
            try {
                NSRunLoop_cpp::ServingItem serving;
                if (callback) {
                    callback(*timer);
                }
            } catch (...) {
                finish();
                throw;
            }
            finish();
            handled = true;
            break;
        }
        case Kind::Source: {
            auto& entry = d.sources[index];
            Ref<CFRunLoopSource> source = entry.source;
            unsigned events = entry.revents;
            if (events & CFRunLoopSource::kSignalled) {
                source->signalled_ = false;
            }
            entry.inCallback = true;
            entry.ready = false;
            lock.unlock();
            auto finish = [&] {
                lock.lock();
                for (auto it = d.sources.begin(); it != d.sources.end(); ++it) {
                    if (it->source == source) {
                        it->inCallback = false;
                        if (it->modes.empty()) {
                            d.sources.erase(it);  // removed from its last mode during the callback
                        }
                        break;
                    }
                }
                graveyard.push_back(std::move(source));
            };
            try {
                NSRunLoop_cpp::ServingItem serving;
                if (source->callback_) {
                    source->callback_(events);
                }
            } catch (...) {
                finish();
                throw;
            }
            finish();
            handled = true;
            break;
        }
        case Kind::None:
            break;
        }
        if (handled) {
            // The lock is held again here. A stop asked for by the item ends this run, not the next.
            if (d.stopRequested) {
                d.stopRequested = false;
                if (stopped) {
                    *stopped = true;
                }
            }
            return kCFRunLoopRunHandledSource;
        }

        // Nothing ready: wait for the deadline, the next timer, or a wake-up.
        if (clockDeadline <= now || !mayWait) {
            return kCFRunLoopRunTimedOut;
        }
        int timeoutMs = -1;
        if (!Clock::isManual()) {
            const double wakeAt = std::min(clockDeadline, nextTimer);
            if (wakeAt < distantFuture) {
                const double ms = std::ceil((wakeAt - now) * 1000.0);
                timeoutMs = static_cast<int>(std::clamp(ms, 0.0, 3.6e6));
            }
        }
        if (realDeadline) {
            const auto left = *realDeadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                return kCFRunLoopRunTimedOut;
            }
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            const int realMs = static_cast<int>(std::min<long long>(ms, 3600000));
            timeoutMs = timeoutMs < 0 ? realMs : std::min(timeoutMs, realMs);
        }
        d.waiting = true;
        lock.unlock();
        if (!NSRunLoop_cpp::t_wakeWhenItemEnds.empty()) {
            wakeDeferredLoops();  // batched: this thread has nothing left to do
        }
        graveyard.clear();
        std::unordered_map<int, uint32_t> found;
        d.poll(timeoutMs == 0 ? 1 : timeoutMs, found);
        lock.lock();
        d.waiting = false;
        d.wakeWritten = false;
        d.polled.swap(found);
        d.polledFresh = true;
    }
}

bool NSRunLoop::runMode(const std::string& mode, double beforeDate)
{
    return runOnce(mode, beforeDate, nullptr, true, false, nullptr) != kCFRunLoopRunFinished;
}

void NSRunLoop::run()
{
    while (runMode(kCFRunLoopDefaultMode, distantFuture)) {
    }
}

void NSRunLoop::runUntilDate(double date)
{
    while (Clock::now() < date && runMode(kCFRunLoopDefaultMode, date)) {
    }
}

CFRunLoopRunResult NSRunLoop::runInMode(const std::string& mode, double seconds, bool returnAfterSourceHandled)
{
    const double deadline = Clock::now() + std::max(seconds, 0.0);
    for (;;) {
        bool stopped = false;
        const auto result = runOnce(mode, deadline, nullptr, seconds > 0, false, &stopped);
        if (stopped) {
            return kCFRunLoopRunStopped;
        }
        if (result != kCFRunLoopRunHandledSource || returnAfterSourceHandled) {
            return result;
        }
        if (Clock::now() >= deadline) {
            return kCFRunLoopRunTimedOut;
        }
    }
}

bool NSRunLoop::runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout, const std::string& mode)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return done();
        }
        // Waits in short slices: done() may be made true by another thread without posting anything.
        const auto slice = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
        runOnce(mode, distantFuture, &slice, true, true, nullptr);
    }
    return true;
}

int NSRunLoop::drain(const std::string& mode)
{
    int count = 0;
    while (runOnce(mode, -distantFuture, nullptr, false, true, nullptr) == kCFRunLoopRunHandledSource) {
        ++count;
    }
    return count;
}
