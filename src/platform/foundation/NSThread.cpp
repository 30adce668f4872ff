#include "platform/foundation/NSThread.h"

#include <utility>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"

namespace {

thread_local Ref<NSThread> t_current;

std::mutex g_mainMutex;
// Deliberately leaked: detached threads may ask for the main thread while the process exits.
Ref<NSThread>* g_main = nullptr;

// The process's initial thread is the main thread until another designates itself.
const bool g_initialDesignated = [] {
    NSThread::designateCurrentThreadAsMain();
    return true;
}();

}  // namespace

NSThread::NSThread(std::function<void()> body) : body_(std::move(body)) {}

Ref<NSThread> NSThread::create(std::function<void()> body)
{
    return std::make_shared<NSThread>(std::move(body));
}

Ref<NSThread> NSThread::detachNewThreadWithBlock(std::function<void()> body)
{
    auto thread = create(std::move(body));
    thread->start();
    return thread;
}

void NSThread::start()
{
    {
        std::lock_guard lock(mutex_);
        if (started_) {
            return;
        }
        started_ = true;
    }
    executing_ = true;
    std::thread(&NSThread::main, std::static_pointer_cast<NSThread>(shared_from_this())).detach();
}

void NSThread::main(Ref<NSThread> self)
{
    t_current = self;
    std::function<void()> body;
    {
        std::lock_guard lock(self->mutex_);
        body.swap(self->body_);
    }
    if (body) {
        body();
    }
    body = nullptr;
    self->executing_ = false;
    self->finished_ = true;
}

Ref<NSThread> NSThread::currentThread()
{
    if (!t_current) {
        t_current = create(nullptr);
        t_current->executing_ = true;
        t_current->started_ = true;
    }
    return t_current;
}

Ref<NSThread> NSThread::mainThread()
{
    {
        std::lock_guard lock(g_mainMutex);
        if (g_main && *g_main) {
            return *g_main;
        }
    }
    // Only reachable from static initialisers that run before this file's: the initial thread.
    designateCurrentThreadAsMain();
    return mainThread();
}

bool NSThread::isMainThread()
{
    return NSThread::currentThread()->isMain();
}

bool NSThread::isMain() const
{
    std::lock_guard lock(g_mainMutex);
    return g_main && g_main->get() == this;
}

void NSThread::designateCurrentThreadAsMain()
{
    Ref<NSThread> current = currentThread();
    Ref<NSThread> previous;
    {
        std::lock_guard lock(g_mainMutex);
        if (!g_main) {
            g_main = new Ref<NSThread>;
        }
        previous = *g_main;
        *g_main = current;
    }
    if (previous && previous != current) {
        previous->runLoop()->setAlwaysHasSources(false);
    }
    // The main loop always has the main queue, so its runs never answer "finished".
    current->runLoop()->setAlwaysHasSources(true);
}

void NSThread::sleepForTimeInterval(double seconds)
{
    Clock::sleepUntil(Clock::now() + seconds);
}

void NSThread::sleepUntilDate(double date)
{
    Clock::sleepUntil(date);
}

std::string NSThread::name() const
{
    std::lock_guard lock(mutex_);
    return name_;
}

void NSThread::setName(std::string name)
{
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

Ref<NSRunLoop> NSThread::runLoop()
{
    std::lock_guard lock(mutex_);
    if (!loop_) {
        loop_ = std::make_shared<NSRunLoop>();
    }
    return loop_;
}
