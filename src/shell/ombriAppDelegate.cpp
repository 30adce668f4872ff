#include "shell/ombriAppDelegate.h"
#include "platform/foundation/Configuration.h"

#include "api/ServiceReply.h"
#include "shell/FeedbackPopupView.h"

#include <cstdlib>

#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "bridge/PZFFmpeg.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScreen.h"
#include "shell/GuideViewController.h"
#include "shell/RootViewController.h"
#include "social/Login.h"
#include "widgets/StatusBarOverlay.h"

std::string ombriServiceWebHost()
{
    return Configuration::serviceWebHost();
}

Ref<ombriAppDelegate> ombriAppDelegate::create()
{
    return std::make_shared<ombriAppDelegate>();
}

void ombriAppDelegate::registerClass()
{
    UIApplicationRegisterDelegateClass("ombriAppDelegate", [] { return ombriAppDelegate::create(); });
}

Ref<ombriAppDelegate> ombriAppDelegate::shared()
{
    return std::dynamic_pointer_cast<ombriAppDelegate>(UIApplication::sharedApplication()->delegate());
}

ombriAppDelegate::~ombriAppDelegate()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (getRemindTimer_) {
        getRemindTimer_->invalidate();
    }
    // Nothing of a running request may reach a delegate that has gone.
    for (const Ref<HTTPRequest>& request : {getVersion_, getRemind_}) {
        if (request) {
            request->clearDelegatesAndCancel();
        }
    }
    if (g_root == root_) {
        g_root = nullptr;
    }
    root_ = nullptr;
    if (engineStarted_) {
        PZFFmpeg::globleUninit();
    }
    window_ = nullptr;
}

bool ombriAppDelegate::application_didFinishLaunchingWithOptions(const Ref<UIApplication>& application, const Value&)
{
    if (!window_) {
        // The main interface file's window: the whole screen.
        window_ = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    }

    // Inline players' feedback buttons open the video panel.
    installFeedbackPanel();

    // 1. The root controller; its view loads here and shows the home feed or the square.
    root_ = RootViewController::create();
    g_root = root_;
    window_->setRootViewController(root_);

    // 2. A newcomer sees the guide once, then the login screen.
    if (!isLogin()) {
        const Value seen = NSUserDefaults::standardUserDefaults()->objectForKey(kShouldShowGuideKey);
        if (seen.isString() && seen.isEqualToString(kShouldShowGuideValue)) {
            Login::presentLoginUI(root_);
        } else {
            root_->presentModalViewController_animated(
                GuideViewController::initWithNibName_bundle("GuideViewController", nullptr), false);
        }
    }

    // 3. Documents/media, where recordings go.
    const std::vector<std::string> documents =
        NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    if (!documents.empty()) {
        const std::string media = NSString::stringByAppendingPathComponent(documents.front(), "media");
        auto files = NSFileManager::defaultManager();
        if (!files->fileExistsAtPath(media)) {
            files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(media, true, Value(), nullptr);
        }
    }

    // 4. The engine.
    PZFFmpeg::globleInit();
    engineStarted_ = true;

    // 5. Version check and reminders.
    OmbriStastic_appLaunched();

    // 6. Pushes: badge, sound and alert.
    application->registerForRemoteNotificationTypes(UIRemoteNotificationTypeBadge | UIRemoteNotificationTypeSound |
                                                    UIRemoteNotificationTypeAlert);

    // 7. The network, for the engine's upload policy.
    NSNotificationCenter::defaultCenter()->addObserver_selector_name_object(
        self<ombriAppDelegate>(), &ombriAppDelegate::reachabilityChanged, kReachabilityChangedNotification, Value());
    reachability_ = Reachability::reachabilityWithHostName(ombriServiceWebHost());
    if (reachability_) {
        reachability_->startNotifier();
    }

    // 8.
    window_->makeKeyAndVisible();
    return true;
}

void ombriAppDelegate::OmbriStastic_appLaunched()
{
    // Each launch is counted: an earlier version request still running goes on (its reply is ignored).
    getVersion_ = PZRequest::getVersionAndSendStasticTimes();
    if (getVersion_) {
        getVersion_->setDelegate(weakSelf<ombriAppDelegate>());
        getVersion_->startAsynchronous();
    }
    if (isLogin()) {
        getRemind();
        if (getRemindTimer_) {
            getRemindTimer_->invalidate();
            getRemindTimer_ = nullptr;
        }
        Weak<ombriAppDelegate> weak = weakSelf<ombriAppDelegate>();
        getRemindTimer_ = NSTimer::scheduledTimerWithTimeInterval(kRemindInterval, true, [weak] {
            if (auto strong = weak.lock()) {
                strong->getRemind();
            }
        });
    }
    UIApplication::sharedApplication()->setApplicationIconBadgeNumber(0);
}

void ombriAppDelegate::OmbriStastic_appTerminated() {}

void ombriAppDelegate::applicationWillResignActive(const Ref<UIApplication>&)
{
    OmbriStastic_appTerminated();
}

void ombriAppDelegate::applicationWillEnterForeground(const Ref<UIApplication>&)
{
    OmbriStastic_appLaunched();
}

void ombriAppDelegate::applicationWillTerminate(const Ref<UIApplication>&)
{
    OmbriStastic_appTerminated();
}

void ombriAppDelegate::application_didRegisterForRemoteNotificationsWithDeviceToken(
    const Ref<UIApplication>& application, const NSData& deviceToken)
{
    application->setApplicationIconBadgeNumber(0);
    std::string token = NSString::stringByTrimmingCharactersInSet(
        deviceToken.description(), NSCharacterSet::characterSetWithCharactersInString("<>"));
    token = NSString::stringByReplacingOccurrencesOfString_withString(token, " ", "");
    NSUserDefaults::standardUserDefaults()->setObject_forKey(Value(token), kDeviceTokenKey);
}

void ombriAppDelegate::application_didFailToRegisterForRemoteNotificationsWithError(const Ref<UIApplication>&,
                                                                                     const Ref<NSError>& error)
{
    NSLog("Failed to get token, error: %@", Value(std::static_pointer_cast<NSObject>(error)));
}

void ombriAppDelegate::application_didReceiveRemoteNotification(const Ref<UIApplication>&, const Value& userInfo)
{
    NSLog("userinfo %@", userInfo);
}

void ombriAppDelegate::getRemind()
{
    Ref<HTTPRequest> request = PZRequest::getRemind();
    if (request) {
        getRemind_ = request;
        request->setDelegate(weakSelf<ombriAppDelegate>());
        request->startAsynchronous();
    }
    // Logged for every ask, so the log shows the reminder rhythm even while nothing can be sent.
    NSLog("get remind");
}

void ombriAppDelegate::requestFinished(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    if (request == getVersion_) {
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() == 200) {
            NSLog("send succ");
        }
        getVersion_ = nullptr;
        return;
    }
    if (request == getRemind_) {
        const std::string text = request->responseString();
        if (auto ffmpeg = g_ffmpeg.get()) {
            ffmpeg->setRemind(NSString_JsonParsing::JSONValue(text));
            const Value stored = ffmpeg->remind();
            if (stored["status"].intValue() == 200) {
                auto center = NSNotificationCenter::defaultCenter();
                if (!stored["fans"].isNilOrNull()) {
                    center->postNotificationName_object(kFansRemindNotification);
                }
                if (!stored["sys"].isNilOrNull()) {
                    center->postNotificationName_object(kSystemRemindNotification);
                }
            }
        }
        NSLog("remind %@", text);
        return;
    }
    const Value reply = ServiceReply::of(request);
    if (request->tag() == TagEmotionRequestTag) {
        if (reply["status"].intValue() == 200) {
            StatusBarOverlay::sharedOverlay()->postImmediateFinishMessage_duration_animated("标记表情成功", 2.0, true);
        } else {
            StatusBarOverlay::sharedOverlay()->postErrorMessage_duration_animated(reply["msg"].stringValue(), 2.0,
                                                                                 true);
        }
        return;
    }
    if (!reply["delete"].isNil()) {
        NSNotificationCenter::defaultCenter()->postNotificationName_object(kDeleteMediaNotification);
    }
}

void ombriAppDelegate::requestFailed(const Ref<HTTPRequest>& request)
{
    // Dropped silently; only the version request is forgotten, so nothing is held for a reply that
    // will never come. The reminders come again with the next tick.
    if (request && request == getVersion_) {
        getVersion_ = nullptr;
    }
}

void ombriAppDelegate::reachabilityChanged(const Ref<NSNotification>& notification)
{
    if (!notification) {
        return;
    }
    if (auto reachability = std::dynamic_pointer_cast<Reachability>(notification->object().object())) {
        PZFFmpeg::changeNetworkStatus(reachability);
    }
}

void ombriAppDelegate::presentLogin()
{
    auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        "", kPresentLoginMessage, self<ombriAppDelegate>(), "取消", {"确定"});
    alert->show();
}

void ombriAppDelegate::displayMainWindowBy(int index)
{
    if (g_root) {
        g_root->displayMainWindowBy(index);
    }
}

void ombriAppDelegate::alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex)
{
    if (alertView && alertView->message() == kPresentLoginMessage && buttonIndex == 1 && g_root) {
        Login::presentLoginUI(g_root);
    }
}

void ombriAppDelegate::showNetError(const Value& text)
{
    if (!window_) {
        return;
    }
    auto hud = ProgressHUD::initWithWindow(window_);
    hud->setLabelText(text.isNilOrNull() ? std::string("网络连接有问题") : text.stringValue());
    hud->setCustomView(UIImageView::initWithImage(UIImage::imageNamed("alert_error_icon.png")));
    hud->setMode(ProgressHUDModeCustom);
    window_->addSubview(hud);
    hud->setDelegate(self<ombriAppDelegate>());
    hud->show(true);
    hud->hide_afterDelay(true, kNetErrorSeconds);
}

void ombriAppDelegate::hudWasHidden(const Ref<ProgressHUD>& hud)
{
    if (hud) {
        hud->removeFromSuperview();
    }
}
