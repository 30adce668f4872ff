// The application's launch as the phone does it: the delegate's start-up against the real engine and
// the stand-in service, then returns to the foreground and the reminder timer on the manual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/global.h"
#include "platform/foundation/NSLog.h"
#include "platform/sysconfig/SCNetworkReachabilityBackend.h"
#include "ShellTestSupport.h"
#include "shell/GuideViewController.h"
#include "shell/ombriAppDelegate.h"
#include "social/Login.h"

namespace {
namespace LaunchTest_cpp {

class LaunchTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
        ShellTest::SetUp();
        g_ffmpeg.set(nullptr);  // the engine's start makes it
        delegate = ombriAppDelegate::create();
        UIApplication::sharedApplication()->setDelegate(delegate);
    }
    void TearDown() override
    {
        UIApplication::sharedApplication()->setDelegate(nullptr);
        delegate = nullptr;  // stops the engine
        ShellTest::TearDown();
    }
    Ref<ombriAppDelegate> delegate;
};

TEST_F(LaunchTest, FirstLaunchShowsTheGuideOverTheSquareAfterStartingEverythingInOrder)
{
    NSLogCapture log(true);
    auto application = UIApplication::sharedApplication();
    application->setApplicationIconBadgeNumber(3);
    application->simulateLaunch();

    auto root = delegate->root();
    ASSERT_TRUE(root);
    EXPECT_EQ(g_root, root);
    EXPECT_EQ(delegate->window()->rootViewController(), root);
    EXPECT_TRUE(delegate->window()->isKeyWindow());
    EXPECT_EQ(root->topView(), root->squareNavi()->view());
    EXPECT_TRUE(std::dynamic_pointer_cast<GuideViewController>(root->modalViewController()));
    EXPECT_FALSE(root->lastPresentationAnimated());
    EXPECT_TRUE(std::filesystem::is_directory(FoundationRoots::documentsDirectory() + "/media"));
    EXPECT_TRUE(g_ffmpeg.get());
    EXPECT_EQ(application->enabledRemoteNotificationTypes(), 7u);
    EXPECT_EQ(application->applicationIconBadgeNumber(), 0);
    ASSERT_TRUE(waitForReceived("/m/ver.json", 1));
    EXPECT_TRUE(service.server().requests("/m/ver.json").front().param("iosStartTimeis").has_value());
    EXPECT_EQ(received("/m/v2_remind.json"), 0u);
    EXPECT_FALSE(delegate->getRemindTimer());

    // The engine was up (its log on) before the version request was built.
    const auto lines = log.lines();
    const auto engine = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("utility : ", 0) == 0;
    });
    const auto version = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("send stastic ", 0) == 0;
    });
    ASSERT_NE(engine, lines.end());
    ASSERT_NE(version, lines.end());
    EXPECT_LT(engine - lines.begin(), version - lines.begin());
}

TEST_F(LaunchTest, LaunchAfterTheGuidePresentsTheLoginWithoutReminders)
{
    NSUserDefaults::standardUserDefaults()->setObject_forKey(Value(kShouldShowGuideValue), kShouldShowGuideKey);
    UIApplication::sharedApplication()->simulateLaunch();
    auto stack = std::dynamic_pointer_cast<UINavigationController>(delegate->root()->modalViewController());
    ASSERT_TRUE(stack);
    EXPECT_TRUE(std::dynamic_pointer_cast<Login>(stack->topViewController()));
    ASSERT_TRUE(waitForReceived("/m/ver.json", 1));
    clock.advance(300);
    drainMain();
    EXPECT_EQ(received("/m/v2_remind.json"), 0u);
    EXPECT_FALSE(delegate->getRemindTimer());
}

TEST_F(LaunchTest, LoggedInLaunchPollsRemindersWithOneTimerWhateverTheReturns)
{
    logIn();
    auto application = UIApplication::sharedApplication();
    application->simulateLaunch();
    auto root = delegate->root();
    EXPECT_EQ(root->topView(), root->feedNavi()->view());
    EXPECT_FALSE(root->modalViewController());
    // The login asked once (through the delegate), the launch once.
    ASSERT_TRUE(waitForReceived("/m/v2_remind.json", 2));

    for (int i = 0; i < 2; ++i) {
        application->simulateEnterBackground();
        application->simulateEnterForeground();
        application->simulateBecomeActive();
    }
    ASSERT_TRUE(waitForReceived("/m/v2_remind.json", 4));
    ASSERT_TRUE(waitForReceived("/m/ver.json", 3));
    for (size_t expected : {5u, 6u}) {
        // A second past each tick, so no step lands on a tick's very instant.
        clock.advance(kRemindInterval + 1);
        ASSERT_TRUE(waitForReceived("/m/v2_remind.json", expected));
        EXPECT_EQ(received("/m/v2_remind.json"), expected);
    }
    // The reply was taken: the stand-in's reminder has both parts.
    ASSERT_TRUE(pumpMainUntil([] { return g_ffmpeg.get() && !g_ffmpeg->remind().isNil(); }));
}

TEST_F(LaunchTest, TheNetworkTheServicesHostIsReachedThroughReachesTheEngine)
{
    // The launch watches the service's host; each change it reports sets the engine's upload policy.
    auto network = FakeReachabilityBackend::create(kSCNetworkReachabilityFlagsReachable);
    SCNetworkReachabilityBackendScope scope(network);
    NSLogCapture log(true);
    UIApplication::sharedApplication()->simulateLaunch();
    ASSERT_TRUE(pumpMainUntil([&] { return network->watchCount() > 0; }));

    const struct {
        SCNetworkReachabilityFlags flags;
        int engine;
        const char* line;
    } changes[] = {
        {kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN, 2, "网络状态3g"},
        {0, 0, "网络状态不可用"},
        {kSCNetworkReachabilityFlagsReachable, 3, "网络状态wifi"},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.line);
        log.clear();
        network->setDefaultFlags(change.flags);
        network->fireChange();
        EXPECT_TRUE(pumpMainUntil([&] { return log.count(change.line) > 0; }));
        EXPECT_EQ(global_getsettings().netstatus, change.engine);
    }
}

}  // namespace LaunchTest_cpp
}  // namespace
