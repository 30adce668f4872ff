#pragma once
// The application delegate: builds the root controller, shows the first-run guide or the login screen
// to a newcomer, brings the media engine up, asks the service for the version check and (while logged
// in) for reminders, every 120 s and at once on every launch or return to the foreground, registers
// for remote notifications, follows the network for the engine, and takes the replies of requests that
// screens send without waiting for them (the emotion mark, tag 888, and video deletions).
//
// It is the application's ApplicationServices (api/SessionHooks.h): PresentLogin and ShowNetError,
// which every screen calls, and getRemind after a login, reach it through the shared application.
//
// The reminder reply is stored whole in the engine bridge (PZFFmpeg::remind) for the menu and the home
// feed: "fans" {"cnt", "fan", "text"} and "sys" {"cnt", "user", "text", "mark", "action", "data"}; a
// reply with status 200 then posts "fans_remind" (when it has "fans") and "system_remind" (when it has
// "sys"), in that order. Main thread only.
#include "api/SessionHooks.h"
#include "net/http/HTTPRequest.h"
#include "net/http/Reachability.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/ProgressHUD.h"

class RootViewController;

inline constexpr char kFansRemindNotification[] = "fans_remind";
inline constexpr char kSystemRemindNotification[] = "system_remind";
inline constexpr char kSystemDismissNotification[] = "system_dismiss";
// User default: the push token as bare hexadecimal digits. (The guide's key is in GuideViewController.h.)
inline constexpr char kDeviceTokenKey[] = "devicekToken";
// The emotion-mark request's tag; its replies come to the application delegate.
inline constexpr int TagEmotionRequestTag = 888;
// The message of the login prompt.
inline constexpr char kPresentLoginMessage[] = "登录继续此操作";
inline constexpr double kRemindInterval = 120.0;
inline constexpr double kNetErrorSeconds = 2.0;

class ombriAppDelegate : public NSObject,
                         public UIApplicationDelegate,
                         public ApplicationServices,
                         public HTTPRequestDelegate,
                         public UIAlertViewDelegate,
                         public ProgressHUDDelegate {
public:
    static Ref<ombriAppDelegate> create();
    // Registers the class under its name for UIApplicationMain.
    static void registerClass();
    // The shared application's delegate when it is one.
    static Ref<ombriAppDelegate> shared();
    ~ombriAppDelegate() override;

    Ref<UIWindow> window() const override { return window_; }
    void setWindow(const Ref<UIWindow>& window) { window_ = window; }
    Ref<RootViewController> root() const { return root_; }
    Ref<HTTPRequest> getVersion() const { return getVersion_; }
    Ref<HTTPRequest> getRemindRequest() const { return getRemind_; }
    Ref<NSTimer> getRemindTimer() const { return getRemindTimer_; }

    bool application_didFinishLaunchingWithOptions(const Ref<UIApplication>& application,
                                                   const Value& launchOptions) override;
    void applicationWillResignActive(const Ref<UIApplication>& application) override;
    void applicationWillEnterForeground(const Ref<UIApplication>& application) override;
    void applicationWillTerminate(const Ref<UIApplication>& application) override;
    void application_didRegisterForRemoteNotificationsWithDeviceToken(const Ref<UIApplication>& application,
                                                                      const NSData& deviceToken) override;
    void application_didFailToRegisterForRemoteNotificationsWithError(const Ref<UIApplication>& application,
                                                                      const Ref<NSError>& error) override;
    void application_didReceiveRemoteNotification(const Ref<UIApplication>& application,
                                                  const Value& userInfo) override;

    // The version request (with the launch time), then, while logged in, the reminders at once and a
    // fresh 120-second reminder timer; the icon badge back to 0.
    void OmbriStastic_appLaunched();
    void OmbriStastic_appTerminated();

    // ApplicationServices
    void getRemind() override;
    void presentLogin() override;
    void showNetError(const Value& text) override;
    // The root controller's main screen (0 the home feed, 1 the square), for the account screens.
    void displayMainWindowBy(int index) override;

    // HTTPRequestDelegate
    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    void reachabilityChanged(const Ref<NSNotification>& notification);
    void alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) override;
    void hudWasHidden(const Ref<ProgressHUD>& hud) override;

    ombriAppDelegate() = default;

private:
    Ref<UIWindow> window_;
    Ref<RootViewController> root_;
    Ref<HTTPRequest> getVersion_;
    Ref<HTTPRequest> getRemind_;
    Ref<NSTimer> getRemindTimer_;
    Ref<Reachability> reachability_;
    bool engineStarted_ = false;
};

// The host the delegate watches for reachability: the service's host without its port.
std::string ombriServiceWebHost();
