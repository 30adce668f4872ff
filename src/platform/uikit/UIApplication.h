#pragma once
// The application: the shared instance, its delegate, its windows, the status bar and the system's
// requests (badge, network activity indicator, idle timer, opening URLs, remote notifications).
//
// Headless: the system's side is driven by tests through the simulate... calls, which run the
// delegate's life-cycle callbacks and post the platform's notifications in the platform's order:
//   simulateLaunch            didFinishLaunchingWithOptions, then becomes active
//   simulateResignActive      willResignActive
//   simulateEnterBackground   (resigns active first if needed) didEnterBackground
//   simulateEnterForeground   willEnterForeground
//   simulateBecomeActive      didBecomeActive
//   simulateTerminate         willTerminate (and stops UIApplicationMain's run loop)
//   simulateMemoryWarning     didReceiveMemoryWarning (the named-image cache is emptied)
// What the application asks of the system is recorded: openedURLs(), the remote-notification types,
// the badge, the indicators.
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIKitDefines.h"
#include "platform/uikit/UIResponder.h"

class UIApplication;
class UIWindow;
class UIEvent;

inline constexpr char UIApplicationDidFinishLaunchingNotification[] = "UIApplicationDidFinishLaunchingNotification";
inline constexpr char UIApplicationWillResignActiveNotification[] = "UIApplicationWillResignActiveNotification";
inline constexpr char UIApplicationDidEnterBackgroundNotification[] = "UIApplicationDidEnterBackgroundNotification";
inline constexpr char UIApplicationWillEnterForegroundNotification[] = "UIApplicationWillEnterForegroundNotification";
inline constexpr char UIApplicationDidBecomeActiveNotification[] = "UIApplicationDidBecomeActiveNotification";
inline constexpr char UIApplicationWillTerminateNotification[] = "UIApplicationWillTerminateNotification";
inline constexpr char UIApplicationDidReceiveMemoryWarningNotification[] =
    "UIApplicationDidReceiveMemoryWarningNotification";
inline constexpr char UIApplicationWillChangeStatusBarFrameNotification[] =
    "UIApplicationWillChangeStatusBarFrameNotification";
inline constexpr char UIApplicationDidChangeStatusBarFrameNotification[] =
    "UIApplicationDidChangeStatusBarFrameNotification";
inline constexpr char UIApplicationWillChangeStatusBarOrientationNotification[] =
    "UIApplicationWillChangeStatusBarOrientationNotification";
inline constexpr char UIApplicationDidChangeStatusBarOrientationNotification[] =
    "UIApplicationDidChangeStatusBarOrientationNotification";
// User-info keys: the new status-bar frame (a UIGeometryValue) and orientation (a number).
inline constexpr char UIApplicationStatusBarFrameUserInfoKey[] = "UIApplicationStatusBarFrameUserInfoKey";
inline constexpr char UIApplicationStatusBarOrientationUserInfoKey[] = "UIApplicationStatusBarOrientationUserInfoKey";
// Launch-option keys.
inline constexpr char UIApplicationLaunchOptionsURLKey[] = "UIApplicationLaunchOptionsURLKey";
inline constexpr char UIApplicationLaunchOptionsRemoteNotificationKey[] =
    "UIApplicationLaunchOptionsRemoteNotificationKey";

// The application's delegate (a protocol: every method is optional).
class UIApplicationDelegate {
public:
    virtual ~UIApplicationDelegate() = default;
    // By default calls applicationDidFinishLaunching, as the platform does for a delegate that only
    // has the older method.
    virtual bool application_didFinishLaunchingWithOptions(const Ref<UIApplication>& application,
                                                           const Value& launchOptions);
    virtual void applicationDidFinishLaunching(const Ref<UIApplication>& application) {}
    virtual void applicationWillResignActive(const Ref<UIApplication>& application) {}
    virtual void applicationDidEnterBackground(const Ref<UIApplication>& application) {}
    virtual void applicationWillEnterForeground(const Ref<UIApplication>& application) {}
    virtual void applicationDidBecomeActive(const Ref<UIApplication>& application) {}
    virtual void applicationWillTerminate(const Ref<UIApplication>& application) {}
    virtual void applicationDidReceiveMemoryWarning(const Ref<UIApplication>& application) {}
    virtual void application_didRegisterForRemoteNotificationsWithDeviceToken(const Ref<UIApplication>& application,
                                                                               const NSData& deviceToken)
    {
    }
    virtual void application_didFailToRegisterForRemoteNotificationsWithError(const Ref<UIApplication>& application,
                                                                              const Ref<NSError>& error)
    {
    }
    virtual void application_didReceiveRemoteNotification(const Ref<UIApplication>& application,
                                                           const Value& userInfo)
    {
    }
    virtual bool application_handleOpenURL(const Ref<UIApplication>& application, const Ref<NSURL>& url)
    {
        return false;
    }
    // The delegate's main window, when it has one.
    virtual Ref<UIWindow> window() const { return nullptr; }
};

// Background tasks: work the application asks to finish after it leaves the foreground.
using UIBackgroundTaskIdentifier = NSUInteger;
inline constexpr UIBackgroundTaskIdentifier UIBackgroundTaskInvalid = 0;

class UIApplication : public UIResponder {
public:
    static Ref<UIApplication> sharedApplication();

    Ref<UIApplicationDelegate> delegate() const { return delegate_.lock(); }
    // Held weakly, as on the phone; UIApplicationMain keeps the delegate it makes for the process.
    void setDelegate(const Ref<UIApplicationDelegate>& delegate) { delegate_ = delegate; }
    UIApplicationState applicationState() const { return state_; }

    Ref<UIWindow> keyWindow() const { return keyWindow_.lock(); }
    // The live windows, lowest level first (creation order within a level).
    std::vector<Ref<UIWindow>> windows() const;

    NSInteger applicationIconBadgeNumber() const { return badge_; }
    void setApplicationIconBadgeNumber(NSInteger badge) { badge_ = badge; }
    bool isNetworkActivityIndicatorVisible() const { return networkActivity_; }
    bool networkActivityIndicatorVisible() const { return networkActivity_; }
    void setNetworkActivityIndicatorVisible(bool visible) { networkActivity_ = visible; }
    bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
    bool idleTimerDisabled() const { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }

    // --- Status bar: 20 points high across the top while shown ---
    UIStatusBarStyle statusBarStyle() const { return statusBarStyle_; }
    void setStatusBarStyle(UIStatusBarStyle style) { statusBarStyle_ = style; }
    void setStatusBarStyle_animated(UIStatusBarStyle style, bool animated) { statusBarStyle_ = style; }
    bool isStatusBarHidden() const { return statusBarHidden_; }
    bool statusBarHidden() const { return statusBarHidden_; }
    // Posts the will- and did-change-frame notifications with the new frame.
    void setStatusBarHidden(bool hidden);
    void setStatusBarHidden_withAnimation(bool hidden, UIStatusBarAnimation animation);
    void setStatusBarHidden_animated(bool hidden, bool animated) { setStatusBarHidden(hidden); }
    UIStatusBarAnimation lastStatusBarAnimation() const { return lastStatusBarAnimation_; }
    CGRect statusBarFrame() const;
    UIInterfaceOrientation statusBarOrientation() const { return statusBarOrientation_; }
    void setStatusBarOrientation(UIInterfaceOrientation orientation);
    void setStatusBarOrientation_animated(UIInterfaceOrientation orientation, bool animated)
    {
        setStatusBarOrientation(orientation);
    }
    double statusBarOrientationAnimationDuration() const { return 0.3; }

    // --- Requests to the system, recorded ---
    // Records the URL; answers canOpenURL.
    bool openURL(const Ref<NSURL>& url);
    // http, https, mailto, tel, sms and the store's itms schemes open (settable for tests).
    bool canOpenURL(const Ref<NSURL>& url) const;
    void setOpenableSchemes(std::vector<std::string> schemes) { openableSchemes_ = std::move(schemes); }
    const std::vector<std::string>& openedURLs() const { return openedURLs_; }
    void registerForRemoteNotificationTypes(UIRemoteNotificationType types);
    void unregisterForRemoteNotifications() { remoteTypes_ = UIRemoteNotificationTypeNone; }
    UIRemoteNotificationType enabledRemoteNotificationTypes() const { return remoteTypes_; }
    NSInteger remoteNotificationRegistrationCount() const { return remoteRegistrations_; }

    void beginIgnoringInteractionEvents() { ++ignoringEvents_; }
    void endIgnoringInteractionEvents()
    {
        if (ignoringEvents_ > 0) --ignoringEvents_;
    }
    bool isIgnoringInteractionEvents() const { return ignoringEvents_ > 0; }

    // Begins a background task (from any thread); the handler runs when the system says the time ran
    // out (simulateBackgroundTimeExpired), on the thread that says so. Ending a task that is not running
    // does nothing.
    UIBackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
    void endBackgroundTask(UIBackgroundTaskIdentifier identifier);
    // The tasks begun and not ended, in order; how many were begun and ended in all.
    std::vector<UIBackgroundTaskIdentifier> runningBackgroundTasks() const;
    size_t backgroundTasksBegun() const;
    size_t backgroundTasksEnded() const;

    // Delivers an event to the windows of its touches.
    virtual void sendEvent(const Ref<UIEvent>& event);
    // Calls the action on the target, or when the target is nil on the first responder that takes it
    // (walking the responder chain from the first responder, else from the sender). False when no
    // one took it.
    bool sendAction_to_from_forEvent(const std::function<bool(NSObject* target)>& action, const Ref<NSObject>& target,
                                     const Ref<NSObject>& sender, const Ref<UIEvent>& event);

    // --- The system's side, for tests and UIApplicationMain ---
    void simulateLaunch(const Value& launchOptions = Value());
    void simulateResignActive();
    void simulateEnterBackground();
    void simulateEnterForeground();
    void simulateBecomeActive();
    void simulateTerminate();
    // The system ends the application (its window closed, its run's time up): the same as above, for
    // the program's own ending rather than a test's.
    void terminate();
    void simulateMemoryWarning();
    // The background time ran out: the expiration handler of every running task is called (a handler
    // is expected to end its task).
    void simulateBackgroundTimeExpired();
    void simulateRemoteNotificationRegistration(const NSData& deviceToken);
    void simulateRemoteNotificationRegistrationFailure(const Ref<NSError>& error);
    void simulateRemoteNotification(const Value& userInfo);
    bool simulateOpenURL(const Ref<NSURL>& url);  // the application is asked to handle a URL

    // Windows register themselves; the key window is set by makeKeyWindow.
    void registerWindow(const Ref<UIWindow>& window);
    void setKeyWindow(const Ref<UIWindow>& window) { keyWindow_ = window; }
    // Keeps the delegate alive for the process (UIApplicationMain's delegate).
    void retainDelegate(const Ref<UIApplicationDelegate>& delegate);

    // Between two tests of one process: every window hidden and the application as at launch (no
    // delegate or key window, inactive, status bar shown upright, nothing recorded), together with the
    // interface's other process-wide records (first responder, alerts, sheets, keyboard, animation log,
    // named images, picker availability).
    static void resetForTesting();

    UIApplication() = default;

private:
    void post(const std::string& name, Value userInfo = Value());
    void changeStatusBarFrame(bool hidden);

    Weak<UIApplicationDelegate> delegate_;
    Ref<UIApplicationDelegate> ownedDelegate_;
    UIApplicationState state_ = UIApplicationStateInactive;
    std::vector<Weak<UIWindow>> windows_;
    Weak<UIWindow> keyWindow_;
    NSInteger badge_ = 0;
    bool networkActivity_ = false;
    bool idleTimerDisabled_ = false;
    UIStatusBarStyle statusBarStyle_ = UIStatusBarStyleDefault;
    bool statusBarHidden_ = false;
    UIStatusBarAnimation lastStatusBarAnimation_ = UIStatusBarAnimationNone;
    UIInterfaceOrientation statusBarOrientation_ = UIInterfaceOrientationPortrait;
    std::vector<std::string> openableSchemes_{"http", "https", "mailto", "tel", "sms", "itms", "itms-apps"};
    std::vector<std::string> openedURLs_;
    UIRemoteNotificationType remoteTypes_ = UIRemoteNotificationTypeNone;
    NSInteger remoteRegistrations_ = 0;
    int ignoringEvents_ = 0;
    // Background tasks may be begun and ended on any thread.
    mutable std::mutex backgroundTasksLock_;
    std::map<UIBackgroundTaskIdentifier, std::function<void()>> backgroundTasks_;
    UIBackgroundTaskIdentifier lastBackgroundTask_ = UIBackgroundTaskInvalid;
    size_t backgroundTasksEnded_ = 0;
};

// The application's delegate classes by name, for UIApplicationMain (the platform finds classes by
// name; here the application registers its delegate class before calling it).
void UIApplicationRegisterDelegateClass(const std::string& name,
                                        std::function<Ref<UIApplicationDelegate>()> factory);

// Makes the calling thread the main thread, the application and its delegate (by class name), runs
// the launch, then the main run loop until the application terminates. Returns 0, or 1 when the
// delegate class is not registered.
int UIApplicationMain(int argc, char** argv, const std::string& principalClassName,
                      const std::string& delegateClassName);
