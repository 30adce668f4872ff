#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace {

// Writes down every call the application makes, in order.
class RecordingDelegate : public UIResponder, public UIApplicationDelegate {
public:
    bool application_didFinishLaunchingWithOptions(const Ref<UIApplication>&, const Value& options) override
    {
        calls.push_back("launch" + std::string(options.isNil() ? "" : " with options"));
        return true;
    }
    void applicationWillResignActive(const Ref<UIApplication>&) override { calls.push_back("resign"); }
    void applicationDidEnterBackground(const Ref<UIApplication>&) override { calls.push_back("background"); }
    void applicationWillEnterForeground(const Ref<UIApplication>&) override { calls.push_back("foreground"); }
    void applicationDidBecomeActive(const Ref<UIApplication>&) override { calls.push_back("active"); }
    void applicationWillTerminate(const Ref<UIApplication>&) override { calls.push_back("terminate"); }
    void applicationDidReceiveMemoryWarning(const Ref<UIApplication>&) override { calls.push_back("memory"); }
    void application_didRegisterForRemoteNotificationsWithDeviceToken(const Ref<UIApplication>&,
                                                                      const NSData& token) override
    {
        calls.push_back("token " + std::to_string(token.length()));
    }
    void application_didFailToRegisterForRemoteNotificationsWithError(const Ref<UIApplication>&,
                                                                      const Ref<NSError>& error) override
    {
        calls.push_back("token failed " + std::to_string(error->code()));
    }
    std::vector<std::string> calls;
};

class Appearing : public UIViewController {
public:
    void viewDidLoad() override { calls.push_back("load"); }
    void viewWillAppear(bool) override { calls.push_back("will appear"); }
    void viewDidAppear(bool) override { calls.push_back("did appear"); }
    void viewWillDisappear(bool) override { calls.push_back("will disappear"); }
    void viewDidDisappear(bool) override { calls.push_back("did disappear"); }
    std::vector<std::string> calls;
};

}  // namespace

TEST(UIApplicationTest, LifeCycleCallbacksAndNotificationsComeInThePlatformsOrder)
{
    auto application = UIApplication::sharedApplication();
    auto delegate = std::make_shared<RecordingDelegate>();
    application->setDelegate(delegate);
    std::vector<std::string> notes;
    auto observer = NSObject::create();
    for (const char* name : {UIApplicationDidFinishLaunchingNotification, UIApplicationWillResignActiveNotification,
                             UIApplicationDidEnterBackgroundNotification, UIApplicationWillEnterForegroundNotification,
                             UIApplicationDidBecomeActiveNotification, UIApplicationWillTerminateNotification,
                             UIApplicationDidReceiveMemoryWarningNotification}) {
        NSNotificationCenter::defaultCenter()->addObserver(
            observer, name, Value(), [&notes](const Ref<NSNotification>& note) { notes.push_back(note->name()); });
    }

    application->simulateLaunch();
    EXPECT_EQ(application->applicationState(), UIApplicationStateActive);
    application->simulateEnterBackground();  // resigns active first
    EXPECT_EQ(application->applicationState(), UIApplicationStateBackground);
    application->simulateEnterForeground();
    application->simulateBecomeActive();
    application->simulateMemoryWarning();
    application->simulateTerminate();
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"launch", "active", "resign", "background", "foreground",
                                                         "active", "memory", "terminate"}));
    EXPECT_EQ(notes, (std::vector<std::string>{
                         UIApplicationDidFinishLaunchingNotification, UIApplicationDidBecomeActiveNotification,
                         UIApplicationWillResignActiveNotification, UIApplicationDidEnterBackgroundNotification,
                         UIApplicationWillEnterForegroundNotification, UIApplicationDidBecomeActiveNotification,
                         UIApplicationDidReceiveMemoryWarningNotification, UIApplicationWillTerminateNotification}));
    // Steps that make no sense in the current state do nothing.
    application->simulateEnterForeground();
    EXPECT_EQ(delegate->calls.back(), "terminate");
    NSNotificationCenter::defaultCenter()->removeObserver(observer);
}

TEST(UIApplicationTest, RecordsWhatTheApplicationAsksOfTheSystem)
{
    auto application = UIApplication::sharedApplication();
    auto delegate = std::make_shared<RecordingDelegate>();
    application->setDelegate(delegate);
    application->setApplicationIconBadgeNumber(3);
    application->setNetworkActivityIndicatorVisible(true);
    application->setIdleTimerDisabled(true);
    EXPECT_EQ(application->applicationIconBadgeNumber(), 3);
    EXPECT_TRUE(application->isNetworkActivityIndicatorVisible());
    EXPECT_TRUE(application->isIdleTimerDisabled());

    EXPECT_TRUE(application->openURL(NSURL::URLWithString("itms-apps://itunes.apple.com/app/id1")));
    EXPECT_FALSE(application->openURL(NSURL::URLWithString("weird://x")));
    EXPECT_EQ(application->openedURLs(),
              (std::vector<std::string>{"itms-apps://itunes.apple.com/app/id1", "weird://x"}));

    application->registerForRemoteNotificationTypes(UIRemoteNotificationTypeAlert | UIRemoteNotificationTypeBadge);
    EXPECT_EQ(application->enabledRemoteNotificationTypes(), UIRemoteNotificationTypeAlert | UIRemoteNotificationTypeBadge);
    const uint8_t token[] = {0xde, 0xad, 0xbe, 0xef, 1, 2, 3, 4};
    application->simulateRemoteNotificationRegistration(NSData(token, sizeof token));
    application->simulateRemoteNotificationRegistrationFailure(NSError::errorWithDomain_code_userInfo("NSCocoaErrorDomain", 3010));
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"token 8", "token failed 3010"}));
}

TEST(UIApplicationTest, TheStatusBarAnnouncesItsNewFrame)
{
    auto application = UIApplication::sharedApplication();
    EXPECT_EQ(application->statusBarFrame(), CGRectMake(0, 0, 320, 20));
    EXPECT_EQ(UIScreen::mainScreen()->applicationFrame(), CGRectMake(0, 20, 320, 460));
    std::vector<CGRect> frames;
    auto observer = NSObject::create();
    NSNotificationCenter::defaultCenter()->addObserver(
        observer, UIApplicationWillChangeStatusBarFrameNotification, Value(), [&](const Ref<NSNotification>& note) {
            frames.push_back(
                note->userInfo()[UIApplicationStatusBarFrameUserInfoKey].object<UIGeometryValue>()->CGRectValue());
        });
    application->setStatusBarHidden_withAnimation(true, UIStatusBarAnimationFade);
    EXPECT_EQ(application->lastStatusBarAnimation(), UIStatusBarAnimationFade);
    EXPECT_EQ(UIScreen::mainScreen()->applicationFrame(), CGRectMake(0, 0, 320, 480));
    application->setStatusBarHidden(true);  // no change, no notification
    application->setStatusBarHidden(false);
    EXPECT_EQ(frames, (std::vector<CGRect>{CGRectZero, CGRectMake(0, 0, 320, 20)}));
    NSNotificationCenter::defaultCenter()->removeObserver(observer);
}

TEST(UIApplicationTest, WindowsTrackTheKeyWindowAndShowTheirRootController)
{
    auto application = UIApplication::sharedApplication();
    auto window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    auto alert = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    alert->setWindowLevel(UIWindowLevelStatusBar + 1);
    EXPECT_TRUE(window->isHidden());
    auto root = UIViewController::make<Appearing>();
    window->setRootViewController(root);
    EXPECT_EQ(root->calls, std::vector<std::string>{"load"});  // not visible yet: no appearance
    EXPECT_EQ(root->view()->frame(), CGRectMake(0, 20, 320, 460));
    window->makeKeyAndVisible();
    EXPECT_EQ(root->calls, (std::vector<std::string>{"load", "will appear", "did appear"}));
    EXPECT_TRUE(window->isKeyWindow());
    alert->makeKeyAndVisible();
    EXPECT_FALSE(window->isKeyWindow());
    EXPECT_EQ(application->keyWindow(), alert);
    const auto windows = application->windows();
    ASSERT_GE(windows.size(), 2u);
    EXPECT_EQ(windows.back(), alert);  // the highest level last
    auto next = UIViewController::make<Appearing>();
    window->setRootViewController(next);
    EXPECT_EQ(root->calls.back(), "did disappear");
    EXPECT_EQ(next->calls, (std::vector<std::string>{"load", "will appear", "did appear"}));
    EXPECT_FALSE(root->view()->superview());
    EXPECT_EQ(next->view()->nextResponder(), next);
    EXPECT_EQ(next->nextResponder(), window);
    EXPECT_EQ(window->nextResponder(), application);
}

TEST(UIApplicationTest, DeviceAndScreenSettingsAndOrientationNotifications)
{
    auto device = UIDevice::currentDevice();
    EXPECT_EQ(device->model(), "iPhone");
    EXPECT_EQ(device->userInterfaceIdiom(), UIUserInterfaceIdiomPhone);
    device->setSystemVersion("4.3");
    EXPECT_EQ(device->systemVersion(), "4.3");
    int notes = 0;
    auto observer = NSObject::create();
    NSNotificationCenter::defaultCenter()->addObserver(observer, UIDeviceOrientationDidChangeNotification, Value(),
                                                       [&](const Ref<NSNotification>&) { ++notes; });
    device->simulateOrientation(UIDeviceOrientationLandscapeLeft);  // not generating yet
    device->beginGeneratingDeviceOrientationNotifications();
    device->simulateOrientation(UIDeviceOrientationFaceUp);
    device->simulateOrientation(UIDeviceOrientationFaceUp);
    EXPECT_EQ(device->orientation(), UIDeviceOrientationFaceUp);
    EXPECT_EQ(notes, 1);
    device->endGeneratingDeviceOrientationNotifications();
    NSNotificationCenter::defaultCenter()->removeObserver(observer);

    EXPECT_EQ(UIScreen::mainScreen()->bounds(), CGRectMake(0, 0, 320, 480));
    UIScreen::mainScreen()->setScale(2);
    EXPECT_EQ(UIScreen::mainScreen()->scale(), 2);
    EXPECT_EQ(UIView::create()->contentScaleFactor(), 2);
    UIScreen::mainScreen()->setScale(1);
}

namespace {
class QuittingDelegate : public UIResponder, public UIApplicationDelegate {
public:
    bool application_didFinishLaunchingWithOptions(const Ref<UIApplication>& application, const Value&) override
    {
        launched = true;
        Clock::scheduleAfter(0, [application] { application->simulateTerminate(); });
        return true;
    }
    void applicationWillTerminate(const Ref<UIApplication>&) override { terminated = true; }
    static inline bool launched = false;
    static inline bool terminated = false;
};
}  // namespace

TEST(UIApplicationTest, UIApplicationMainMakesTheDelegateByNameAndRunsUntilTermination)
{
    MainThreadScope main;
    UIApplicationRegisterDelegateClass("QuittingDelegate", [] { return std::make_shared<QuittingDelegate>(); });
    EXPECT_EQ(UIApplicationMain(0, nullptr, "", "NoSuchDelegate"), 1);
    EXPECT_EQ(UIApplicationMain(0, nullptr, "", "QuittingDelegate"), 0);
    EXPECT_TRUE(QuittingDelegate::launched);
    EXPECT_TRUE(QuittingDelegate::terminated);
    EXPECT_TRUE(std::dynamic_pointer_cast<QuittingDelegate>(UIApplication::sharedApplication()->delegate()));
}
