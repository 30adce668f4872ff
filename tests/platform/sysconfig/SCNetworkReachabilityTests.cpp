// Reachability references: callbacks on the scheduled loop and modes only, and never after the reference,
// its schedule, its callback or its context object has gone; the Linux backend's route rule and a real
// look at the loopback address.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/sysconfig/SCNetworkReachability.h"
#include "platform/sysconfig/SCNetworkReachabilityBackend.h"
#include "platform/sysconfig/SystemReachability.h"

namespace {

constexpr SCNetworkReachabilityFlags R = kSCNetworkReachabilityFlagsReachable;
constexpr SCNetworkReachabilityFlags l = kSCNetworkReachabilityFlagsIsLocalAddress;
constexpr SCNetworkReachabilityFlags d = kSCNetworkReachabilityFlagsIsDirect;
constexpr SCNetworkReachabilityFlags W = kSCNetworkReachabilityFlagsIsWWAN;
constexpr char kPrivateMode[] = "HTTPRequestRunLoopMode";

// What the callback saw, as a context object.
class Recorder : public NSObject {
public:
    static Ref<Recorder> make() { return std::make_shared<Recorder>(); }
    static void callback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags flags,
                         const Ref<NSObject>& info)
    {
        auto self = std::dynamic_pointer_cast<Recorder>(info);
        ASSERT_TRUE(self);
        self->flags.push_back(flags);
        self->threads.push_back(std::this_thread::get_id());
        self->targets.push_back(target.get());
    }
    std::vector<SCNetworkReachabilityFlags> flags;
    std::vector<std::thread::id> threads;
    std::vector<const SCNetworkReachability*> targets;
};

sockaddr_in ipv4(const char* text)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, text, &a.sin_addr);
    return a;
}

class SCNetworkReachabilityTest : public ::testing::Test {
protected:
    SCNetworkReachabilityRef scheduledFor(const char* name, const Ref<Recorder>& recorder,
                                          const std::string& mode = kCFRunLoopDefaultMode)
    {
        auto ref = SCNetworkReachabilityCreateWithName(name);
        SCNetworkReachabilityContext context{recorder};
        EXPECT_TRUE(SCNetworkReachabilitySetCallback(ref, Recorder::callback, &context));
        EXPECT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(ref, NSRunLoop::currentRunLoop(), mode));
        return ref;
    }

    MainThreadScope main_;
    std::shared_ptr<FakeReachabilityBackend> fake_ = FakeReachabilityBackend::create();
    SCNetworkReachabilityBackendScope backend_{fake_};
};

TEST_F(SCNetworkReachabilityTest, ReferencesTakeTheirFlagsFromTheBackend)
{
    fake_->setFlags("example.org", R | d);
    fake_->setFlags("10.0.0.1", R | W);
    fake_->setFlags("broken.example", std::nullopt);
    fake_->refuse("refused.example");
    const sockaddr_in address = ipv4("10.0.0.1");
    sockaddr local{};
    local.sa_family = AF_UNIX;

    struct Case {
        SCNetworkReachabilityRef ref;
        bool readable;
        SCNetworkReachabilityFlags flags;
    } cases[] = {
        {SCNetworkReachabilityCreateWithName("example.org"), true, R | d},
        {SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(&address)), true, R | W},
        {SCNetworkReachabilityCreateWithName("elsewhere.example"), true, 0},
        {SCNetworkReachabilityCreateWithName("broken.example"), false, 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.ref);
        SCOPED_TRACE(c.ref->targetText());
        SCNetworkReachabilityFlags flags = 0xffffffff;
        EXPECT_EQ(SCNetworkReachabilityGetFlags(c.ref, &flags), c.readable);
        EXPECT_EQ(flags, c.flags);
    }
    EXPECT_FALSE(SCNetworkReachabilityCreateWithName("refused.example"));
    EXPECT_FALSE(SCNetworkReachabilityCreateWithName(nullptr));
    EXPECT_FALSE(SCNetworkReachabilityCreateWithAddress(&local));
}

TEST_F(SCNetworkReachabilityTest, ChangesArriveOnTheScheduledLoopInItsModesOnly)
{
    auto recorder = Recorder::make();
    auto ref = scheduledFor("example.org", recorder);
    EXPECT_TRUE(ref->isScheduled());
    EXPECT_EQ(fake_->watchCount("example.org"), 1u);

    // Reported from another thread; held while the loop runs another mode.
    std::thread([&] {
        fake_->change("example.org", R);
        fake_->change("example.org", R | W);
    }).join();
    EXPECT_EQ(drainMain(kPrivateMode), 0);
    EXPECT_TRUE(recorder->flags.empty());
    ASSERT_TRUE(pumpMainUntil([&] { return recorder->flags.size() == 2; }));
    EXPECT_EQ(recorder->flags, (std::vector<SCNetworkReachabilityFlags>{R, R | W}));
    EXPECT_EQ(recorder->threads[0], std::this_thread::get_id());
    EXPECT_EQ(recorder->targets[0], ref.get());

    // Scheduled in the private mode too: served there as well.
    EXPECT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(ref, NSRunLoop::currentRunLoop(), kPrivateMode));
    fake_->change("example.org", 0);
    ASSERT_TRUE(pumpMainUntil([&] { return recorder->flags.size() == 3; }, std::chrono::seconds(10), kPrivateMode));

    // Another loop is refused while this one holds the reference.
    Ref<NSRunLoop> other;
    std::thread([&] { other = NSRunLoop::currentRunLoop(); }).join();
    EXPECT_FALSE(SCNetworkReachabilityScheduleWithRunLoop(ref, other, kCFRunLoopDefaultMode));
}

// Every way of ending the callbacks, each with a change already waiting on the loop.
TEST_F(SCNetworkReachabilityTest, NothingIsCalledOnceTheReferenceScheduleCallbackOrContextHasGone)
{
    enum class End { UnscheduleEveryMode, NullCallback, ContextGone, ReleasedOnAnotherThread };
    for (End end : {End::UnscheduleEveryMode, End::NullCallback, End::ContextGone, End::ReleasedOnAnotherThread}) {
        SCOPED_TRACE(static_cast<int>(end));
        auto recorder = Recorder::make();
        auto ref = scheduledFor("example.org", recorder);
        ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(ref, NSRunLoop::currentRunLoop(), kPrivateMode));
        fake_->change("example.org", R);
        auto seen = recorder;  // the test's own reference, dropped only for ContextGone
        switch (end) {
        case End::UnscheduleEveryMode:
            EXPECT_TRUE(SCNetworkReachabilityUnscheduleFromRunLoop(ref, NSRunLoop::currentRunLoop(), kPrivateMode));
            EXPECT_TRUE(ref->isScheduled());
            EXPECT_TRUE(SCNetworkReachabilityUnscheduleFromRunLoop(ref, NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode));
            EXPECT_FALSE(ref->isScheduled());
            EXPECT_FALSE(SCNetworkReachabilityUnscheduleFromRunLoop(ref, NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode));
            break;
        case End::NullCallback:
            EXPECT_TRUE(SCNetworkReachabilitySetCallback(ref, nullptr, nullptr));
            break;
        case End::ContextGone:
            seen.reset();
            recorder.reset();
            break;
        case End::ReleasedOnAnotherThread:
            std::thread([moved = std::move(ref)]() mutable { moved.reset(); }).join();
            EXPECT_EQ(fake_->watchCount(), 0u);
            break;
        }
        fake_->change("example.org", R | d);
        drainMain();
        drainMain(kPrivateMode);
        if (seen) {
            EXPECT_TRUE(seen->flags.empty());
        }
    }
}

TEST_F(SCNetworkReachabilityTest, SchedulingFailsWhenTheBackendCannotWatch)
{
    fake_->setWatchingFails(true);
    auto ref = SCNetworkReachabilityCreateWithName("example.org");
    EXPECT_FALSE(SCNetworkReachabilityScheduleWithRunLoop(ref, NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode));
    EXPECT_FALSE(ref->isScheduled());
}

TEST(SystemReachabilityTest, RouteDecidesTheFlags)
{
    using Kind = SCNetworkReachabilityRoute::Kind;
    struct Case {
        SCNetworkReachabilityRoute route;
        SCNetworkReachabilityFlags flags;
    } cases[] = {
        {{Kind::None, false, false, false}, 0},
        {{Kind::Local, false, false, false}, R | l | d},
        {{Kind::Unicast, false, false, false}, R | d},
        {{Kind::Unicast, true, false, false}, R},
        {{Kind::Unicast, true, false, true}, R | W},
        {{Kind::Unicast, false, false, true}, R | d | W},
        {{Kind::Unicast, true, true, false}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(c.route.kind) << " gateway " << c.route.viaGateway
                                          << " down " << c.route.linkDown << " wwan " << c.route.wwanInterface);
        EXPECT_EQ(SCNetworkReachabilityFlagsForRoute(c.route), c.flags);
    }
}

// The real backend, on the loopback addresses only (the machine may have no other network).
TEST(SystemReachabilityTest, LoopbackIsReachableLocalAndDirect)
{
    MainThreadScope main;
    SCNetworkReachabilityBackendScope system(nullptr);
    const sockaddr_in v4 = ipv4("127.0.0.1");
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    for (const sockaddr* address : {reinterpret_cast<const sockaddr*>(&v4), reinterpret_cast<const sockaddr*>(&v6)}) {
        auto ref = SCNetworkReachabilityCreateWithAddress(address);
        ASSERT_TRUE(ref);
        SCOPED_TRACE(ref->targetText());
        SCNetworkReachabilityFlags flags = 0;
        EXPECT_TRUE(SCNetworkReachabilityGetFlags(ref, &flags));
        if (address->sa_family == AF_INET6 && flags == 0) {
            continue;  // IPv6 may be switched off on this machine
        }
        EXPECT_EQ(flags, R | l | d);
    }

    // A host name is looked up off the loop once scheduled; the first result is reported.
    auto recorder = Recorder::make();
    auto ref = SCNetworkReachabilityCreateWithName("127.0.0.1");
    SCNetworkReachabilityContext context{recorder};
    ASSERT_TRUE(SCNetworkReachabilitySetCallback(ref, Recorder::callback, &context));
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(ref, NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode));
    ASSERT_TRUE(pumpMainUntil([&] { return !recorder->flags.empty(); }));
    EXPECT_EQ(recorder->flags[0], R | l | d);
    EXPECT_TRUE(SCNetworkReachabilityUnscheduleFromRunLoop(ref, NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode));
}

}  // namespace
