// Reachability: the status rule, keys and equality, the texts, the notification on the starting thread's
// default mode, and one look at the loopback address through the real backend.
#include "net/http/Reachability.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/sysconfig/SCNetworkReachabilityBackend.h"

namespace {

constexpr SCNetworkReachabilityFlags t = kSCNetworkReachabilityFlagsTransientConnection;
constexpr SCNetworkReachabilityFlags R = kSCNetworkReachabilityFlagsReachable;
constexpr SCNetworkReachabilityFlags c = kSCNetworkReachabilityFlagsConnectionRequired;
constexpr SCNetworkReachabilityFlags C = kSCNetworkReachabilityFlagsConnectionOnTraffic;
constexpr SCNetworkReachabilityFlags i = kSCNetworkReachabilityFlagsInterventionRequired;
constexpr SCNetworkReachabilityFlags D = kSCNetworkReachabilityFlagsConnectionOnDemand;
constexpr SCNetworkReachabilityFlags l = kSCNetworkReachabilityFlagsIsLocalAddress;
constexpr SCNetworkReachabilityFlags d = kSCNetworkReachabilityFlagsIsDirect;
constexpr SCNetworkReachabilityFlags W = kSCNetworkReachabilityFlagsIsWWAN;

constexpr char kHost[] = "www.example.org";

sockaddr_in ipv4(const char* text)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, text, &a.sin_addr);
    return a;
}

// Records the reachability notifications it receives.
class Observer : public NSObject {
public:
    static Ref<Observer> observing()
    {
        auto self = std::make_shared<Observer>();
        NSNotificationCenter::defaultCenter()->addObserver_selector_name_object(self, &Observer::reachabilityChanged,
                                                                                kReachabilityChangedNotification);
        return self;
    }
    ~Observer() override { NSNotificationCenter::defaultCenter()->removeObserver(this); }
    void reachabilityChanged(const Ref<NSNotification>& note) { notes.push_back(note); threads.push_back(std::this_thread::get_id()); }
    std::vector<Ref<NSNotification>> notes;
    std::vector<std::thread::id> threads;
};

class ReachabilityTest : public ::testing::Test {
protected:
    MainThreadScope main_;
    std::shared_ptr<FakeReachabilityBackend> fake_ = FakeReachabilityBackend::create();
    SCNetworkReachabilityBackendScope backend_{fake_};
};

TEST_F(ReachabilityTest, StatusFollowsTheFlagsInOrder)
{
    auto ordinary = Reachability::reachabilityWithHostName(kHost);
    auto localWiFi = Reachability::reachabilityForLocalWiFi();
    // Only the constant itself makes the local-Wi-Fi watcher, not a host of the same name.
    auto namedLikeLocalWiFi = Reachability::reachabilityWithHostName("LocalWiFiConnection");
    ASSERT_TRUE(ordinary && localWiFi && namedLikeLocalWiFi);
    struct Case {
        SCNetworkReachabilityFlags flags;
        NetworkStatus ordinary;
        NetworkStatus localWiFi;
    } cases[] = {
        {0, NetworkStatusNotReachable, NetworkStatusNotReachable},
        {d | l | W | c, NetworkStatusNotReachable, NetworkStatusNotReachable},
        {R, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        {R | d, NetworkStatusViaWiFi, NetworkStatusViaWiFi},
        {R | W, NetworkStatusViaWWAN, NetworkStatusNotReachable},
        {R | W | d, NetworkStatusViaWWAN, NetworkStatusViaWiFi},
        {R | W | c, NetworkStatusViaWWAN, NetworkStatusNotReachable},
        {R | W | t | c, NetworkStatusViaWWAN, NetworkStatusNotReachable},
        {R | t | c, NetworkStatusNotReachable, NetworkStatusNotReachable},
        {R | t | c | d | l, NetworkStatusNotReachable, NetworkStatusViaWiFi},
        {R | c, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        {R | t, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        {R | d | l, NetworkStatusViaWiFi, NetworkStatusViaWiFi},
        {R | c | C, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        {R | t | C, NetworkStatusViaWiFi, NetworkStatusNotReachable},
        {R | C, NetworkStatusNotReachable, NetworkStatusNotReachable},
        {R | i, NetworkStatusNotReachable, NetworkStatusNotReachable},
        {R | D, NetworkStatusNotReachable, NetworkStatusNotReachable},
        {R | t | c | C, NetworkStatusViaWiFi, NetworkStatusNotReachable},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(Reachability::flagsText(k.flags));
        EXPECT_EQ(ordinary->networkStatusForFlags(k.flags), k.ordinary);
        EXPECT_EQ(namedLikeLocalWiFi->networkStatusForFlags(k.flags), k.ordinary);
        EXPECT_EQ(localWiFi->networkStatusForFlags(k.flags), k.localWiFi);

        // The queries read the same rule off the current flags.
        fake_->setFlags(kHost, k.flags);
        EXPECT_EQ(ordinary->currentReachabilityStatus(), k.ordinary);
        EXPECT_EQ(ordinary->isReachable(), k.ordinary != NetworkStatusNotReachable);
        EXPECT_EQ(ordinary->isReachableViaWWAN(), k.ordinary == NetworkStatusViaWWAN);
        EXPECT_EQ(ordinary->isReachableViaWiFi(), k.ordinary == NetworkStatusViaWiFi);
        EXPECT_EQ(ordinary->reachabilityFlags(), k.flags);
    }
}

TEST_F(ReachabilityTest, ConnectionQueriesAndUnreadableFlags)
{
    auto watcher = Reachability::reachabilityWithHostName(kHost);
    struct Case {
        std::optional<SCNetworkReachabilityFlags> flags;
        bool required, onDemand, intervention;
    } cases[] = {
        {R | c, true, false, false},
        {R | c | C, true, true, false},
        {R | c | D, true, true, false},
        {R | C | D | i, false, false, false},
        {R | c | i, true, false, true},
        {std::nullopt, false, false, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.flags ? Reachability::flagsText(*k.flags) : "unreadable");
        fake_->setFlags(kHost, k.flags);
        EXPECT_EQ(watcher->isConnectionRequired(), k.required);
        EXPECT_EQ(watcher->connectionRequired(), k.required);
        EXPECT_EQ(watcher->isConnectionOnDemand(), k.onDemand);
        EXPECT_EQ(watcher->isInterventionRequired(), k.intervention);
    }
    // Unreadable flags: not reachable by every query.
    EXPECT_EQ(watcher->currentReachabilityStatus(), NetworkStatusNotReachable);
    EXPECT_FALSE(watcher->isReachable());
    EXPECT_FALSE(watcher->isReachableViaWiFi());
    EXPECT_EQ(watcher->reachabilityFlags(), 0u);
}

TEST_F(ReachabilityTest, KeysAndEquality)
{
    const sockaddr_in address = ipv4("10.0.0.1");
    auto byAddress = Reachability::reachabilityWithAddress(&address);
    auto internet = Reachability::reachabilityForInternetConnection();
    auto localWiFi = Reachability::reachabilityForLocalWiFi();
    ASSERT_TRUE(byAddress && internet && localWiFi);
    EXPECT_EQ(byAddress->key(), "10.0.0.1");
    EXPECT_EQ(internet->key(), "InternetConnection");
    EXPECT_EQ(internet->reachabilityRef()->targetText(), "0.0.0.0");
    EXPECT_EQ(localWiFi->key(), "LocalWiFiConnection");
    EXPECT_EQ(localWiFi->reachabilityRef()->targetText(), "169.254.0.0");
    EXPECT_EQ(Reachability::makeAddressKey(ipv4("192.168.1.200").sin_addr.s_addr), "192.168.1.200");

    auto one = Reachability::reachabilityWithHostName(kHost);
    auto two = Reachability::reachabilityWithHostName(kHost);
    auto other = Reachability::reachabilityWithHostName("other.example.org");
    auto keyless = Reachability::initWithReachabilityRef(SCNetworkReachabilityCreateWithName(kHost));
    EXPECT_TRUE(one->isEqual(two.get()));
    EXPECT_FALSE(one->isEqual(other.get()));
    EXPECT_FALSE(keyless->hasKey());
    EXPECT_FALSE(keyless->isEqual(keyless.get()));
    EXPECT_FALSE(one->isEqual(NSObject::create().get()));
    EXPECT_FALSE(Reachability::accessInstanceVariablesDirectly());

    fake_->refuse("refused.example.org");
    EXPECT_FALSE(Reachability::reachabilityWithHostName("refused.example.org"));
}

TEST_F(ReachabilityTest, Texts)
{
    struct Case {
        SCNetworkReachabilityFlags flags;
        const char* text;
    } cases[] = {
        {0, "Reachability Flags: -- -------"},
        {R | d, "Reachability Flags: -R ------d"},
        {W | R | c | t | i | C | D | l | d, "Reachability Flags: WR ctiCDld"},
        {R | t | c | l, "Reachability Flags: -R ct---l-"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(Reachability::flagsText(k.flags), k.text);
    }

    fake_->setFlags(kHost, R | c);
    auto watcher = Reachability::reachabilityWithHostName(kHost);
    EXPECT_EQ(watcher->description(), "www.example.org\n\tReachability Flags: -R c------");
    auto keyless = Reachability::initWithReachabilityRef(SCNetworkReachabilityCreateWithName(kHost));
    EXPECT_EQ(keyless->description(), "(null)\n\tReachability Flags: -R c------");

    // Six queries log the flags they read; the status queries log nothing.
    NSLogCapture log(true);
    watcher->currentReachabilityStatus();
    watcher->isReachable();
    EXPECT_TRUE(log.lines().empty());
    watcher->isConnectionRequired();
    watcher->isConnectionOnDemand();
    watcher->isInterventionRequired();
    watcher->isReachableViaWWAN();
    watcher->isReachableViaWiFi();
    watcher->reachabilityFlags();
    const char* methods[] = {"isConnectionRequired", "isConnectionOnDemand", "isInterventionRequired",
                             "isReachableViaWWAN", "isReachableViaWiFi", "reachabilityFlags"};
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), std::size(methods));
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string prefix = std::string("-[Reachability ") + methods[n] + "] (";
        const std::string suffix = ") \n\tReachability Flags: -R c------";
        EXPECT_EQ(lines[n].rfind(prefix, 0), 0u) << lines[n];
        ASSERT_GT(lines[n].size(), prefix.size() + suffix.size()) << lines[n];
        EXPECT_EQ(lines[n].substr(lines[n].size() - suffix.size()), suffix) << lines[n];
        const std::string number = lines[n].substr(prefix.size(), lines[n].size() - prefix.size() - suffix.size());
        EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << lines[n];
    }
}

TEST_F(ReachabilityTest, ProgrammingErrorsRaiseWithTheirMessages)
{
    auto empty = Reachability::initWithReachabilityRef(nullptr);
    auto raises = [](const std::function<void()>& call, const std::string& reason) {
        try {
            call();
            ADD_FAILURE() << "no exception for " << reason;
        } catch (const NSException& e) {
            EXPECT_EQ(e.name(), NSInternalInconsistencyException);
            EXPECT_EQ(e.reason(), reason);
        }
    };
    raises([&] { (void)empty->description(); }, "-description called with NULL reachabilityRef");
    raises([&] { empty->currentReachabilityStatus(); }, "currentReachabilityStatus called with NULL reachabilityRef");
    raises([&] { empty->isReachable(); }, "isReachable called with NULL reachabilityRef");
    raises([&] { empty->isConnectionRequired(); }, "isConnectionRequired called with NULL reachabilityRef");
    raises([&] { empty->connectionRequired(); }, "isConnectionRequired called with NULL reachabilityRef");
    raises([&] { empty->isConnectionOnDemand(); }, "isConnectionIsOnDemand called with NULL reachabilityRef");
    raises([&] { empty->isInterventionRequired(); }, "isInterventionRequired called with NULL reachabilityRef");
    raises([&] { empty->isReachableViaWWAN(); }, "isReachableViaWWAN called with NULL reachabilityRef");
    raises([&] { empty->isReachableViaWiFi(); }, "isReachableViaWiFi called with NULL reachabilityRef");
    raises([&] { empty->reachabilityFlags(); }, "reachabilityFlags called with NULL reachabilityRef");
    raises([] { ReachabilityCallback(nullptr, 0, nullptr); }, "info was NULL in ReachabilityCallback");
    raises([] { ReachabilityCallback(nullptr, 0, NSObject::create()); }, "info was the wrong class in ReachabilityCallback");
    EXPECT_FALSE(empty->startNotifier());
}

TEST_F(ReachabilityTest, ChangesArePostedOnTheStartingThreadInTheDefaultModeOnly)
{
    auto observer = Observer::observing();
    auto watcher = Reachability::reachabilityWithHostName(kHost);
    ASSERT_TRUE(watcher->startNotifier());
    EXPECT_EQ(fake_->watchCount(kHost), 1u);

    std::thread([&] { fake_->change(kHost, R | W); }).join();
    // A loop busy in another mode (a synchronous request spinning its own) holds the change back.
    EXPECT_EQ(drainMain("HTTPRequestRunLoopMode"), 0);
    EXPECT_TRUE(observer->notes.empty());
    ASSERT_TRUE(pumpMainUntil([&] { return !observer->notes.empty(); }));
    ASSERT_EQ(observer->notes.size(), 1u);
    const auto& note = observer->notes[0];
    EXPECT_EQ(note->name(), "NetworkReachabilityChangedNotification");
    EXPECT_EQ(note->object().object(), watcher);
    EXPECT_TRUE(note->userInfo().isNil());
    EXPECT_EQ(observer->threads[0], std::this_thread::get_id());
    // Observers ask the watcher again.
    EXPECT_EQ(note->object().object<Reachability>()->currentReachabilityStatus(), NetworkStatusViaWWAN);

    watcher->stopNotifier();
    EXPECT_EQ(fake_->watchCount(kHost), 0u);
    fake_->change(kHost, R);
    drainMain();
    EXPECT_EQ(observer->notes.size(), 1u);

    fake_->setWatchingFails(true);
    EXPECT_FALSE(watcher->startNotifier());
}

// A watcher released on another thread while its notifier runs here is never posted for again.
TEST_F(ReachabilityTest, AWatcherReleasedElsewhereIsNotPostedFor)
{
    auto observer = Observer::observing();
    auto watcher = Reachability::reachabilityWithHostName(kHost);
    ASSERT_TRUE(watcher->startNotifier());
    fake_->change(kHost, R);  // waiting on this loop when the watcher goes
    std::thread([moved = std::move(watcher)]() mutable { moved.reset(); }).join();
    EXPECT_EQ(fake_->watchCount(), 0u);
    fake_->change(kHost, R | d);
    drainMain();
    EXPECT_TRUE(observer->notes.empty());
}

// The real backend, on the loopback address only (the machine may have no other network).
TEST(ReachabilitySystemTest, LoopbackIsReachableWithoutCellularData)
{
    MainThreadScope main;
    SCNetworkReachabilityBackendScope system(nullptr);
    const sockaddr_in loopback = ipv4("127.0.0.1");
    auto watcher = Reachability::reachabilityWithAddress(&loopback);
    ASSERT_TRUE(watcher);
    EXPECT_EQ(watcher->key(), "127.0.0.1");
    EXPECT_EQ(watcher->currentReachabilityStatus(), NetworkStatusViaWiFi);
    EXPECT_TRUE(watcher->isReachable());
    EXPECT_EQ(watcher->reachabilityFlags(), R | l | d);
    EXPECT_TRUE(watcher->startNotifier());
    watcher->stopNotifier();

    // A host watcher learns its flags from a lookup off the loop, and posts them once known.
    auto observer = Observer::observing();
    auto host = Reachability::reachabilityWithHostName("127.0.0.1");
    ASSERT_TRUE(host && host->startNotifier());
    ASSERT_TRUE(pumpMainUntil([&] { return !observer->notes.empty(); }));
    EXPECT_EQ(observer->notes[0]->object().object(), host);
    EXPECT_EQ(host->currentReachabilityStatus(), NetworkStatusViaWiFi);
}

}  // namespace
