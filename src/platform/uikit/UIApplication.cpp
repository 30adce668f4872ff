#include "platform/uikit/UIApplication.h"

#include "platform/uikit/ABAddressBook.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/CLLocationManager.h"
#include "platform/uikit/MKMapView.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITouch.h"
#include "platform/uikit/UIWindow.h"

bool UIApplicationDelegate::application_didFinishLaunchingWithOptions(const Ref<UIApplication>& application,
                                                                      const Value&)
{
    applicationDidFinishLaunching(application);
    return true;
}

Ref<UIApplication> UIApplication::sharedApplication()
{
    // Lives for the whole process (never destroyed, so nothing runs at exit).
    static auto* application = new Ref<UIApplication>(std::make_shared<UIApplication>());
    return *application;
}

void UIApplication::resetForTesting()
{
    if (auto responder = UIResponder::currentFirstResponder()) {
        responder->resignFirstResponder();
    }
    UIAlertView::resetRecords();
    UIActionSheet::resetRecords();
    UIKeyboard::reset();
    UIView::clearAnimationLog();
    UIImage::clearNamedImageCache();
    UIImagePickerController::resetAvailability();
    CLLocationManager::resetForTesting();
    MKReverseGeocoder::resetForTesting();

    Ref<UIApplication> app = sharedApplication();
    for (const Ref<UIWindow>& window : app->windows()) {
        window->setHidden(true);
    }
    UIApplication fresh;
    app->delegate_.reset();
    app->ownedDelegate_.reset();
    app->state_ = fresh.state_;
    app->keyWindow_.reset();
    app->badge_ = fresh.badge_;
    app->networkActivity_ = fresh.networkActivity_;
    app->idleTimerDisabled_ = fresh.idleTimerDisabled_;
    app->statusBarStyle_ = fresh.statusBarStyle_;
    app->statusBarHidden_ = fresh.statusBarHidden_;
    app->lastStatusBarAnimation_ = fresh.lastStatusBarAnimation_;
    app->statusBarOrientation_ = fresh.statusBarOrientation_;
    app->openableSchemes_ = fresh.openableSchemes_;
    app->openedURLs_.clear();
    app->remoteTypes_ = fresh.remoteTypes_;
    app->remoteRegistrations_ = fresh.remoteRegistrations_;
    app->ignoringEvents_ = 0;
    {
        std::lock_guard lock(app->backgroundTasksLock_);
        app->backgroundTasks_.clear();
    }
    ABAddressBook::reset();
}

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithExpirationHandler(std::function<void()> handler)
{
    std::lock_guard lock(backgroundTasksLock_);
    const UIBackgroundTaskIdentifier identifier = ++lastBackgroundTask_;
    backgroundTasks_.emplace(identifier, std::move(handler));
    return identifier;
}

void UIApplication::endBackgroundTask(UIBackgroundTaskIdentifier identifier)
{
    std::lock_guard lock(backgroundTasksLock_);
    backgroundTasksEnded_ += backgroundTasks_.erase(identifier);
}

std::vector<UIBackgroundTaskIdentifier> UIApplication::runningBackgroundTasks() const
{
    std::lock_guard lock(backgroundTasksLock_);
    std::vector<UIBackgroundTaskIdentifier> running;
    for (const auto& task : backgroundTasks_) {
        running.push_back(task.first);
    }
    return running;
}

size_t UIApplication::backgroundTasksBegun() const
{
    std::lock_guard lock(backgroundTasksLock_);
    return lastBackgroundTask_;
}

size_t UIApplication::backgroundTasksEnded() const
{
    std::lock_guard lock(backgroundTasksLock_);
    return backgroundTasksEnded_;
}

void UIApplication::simulateBackgroundTimeExpired()
{
    std::vector<std::function<void()>> handlers;
    {
        std::lock_guard lock(backgroundTasksLock_);
        for (const auto& task : backgroundTasks_) {
            handlers.push_back(task.second);
        }
    }
    // Outside the lock: a handler ends its task.
    for (const auto& handler : handlers) {
        if (handler) {
            handler();
        }
    }
}

void UIApplication::post(const std::string& name, Value userInfo)
{
    NSNotificationCenter::defaultCenter()->postNotificationName_object_userInfo(name, Value(self<NSObject>()),
                                                                               std::move(userInfo));
}

std::vector<Ref<UIWindow>> UIApplication::windows() const
{
    std::vector<Ref<UIWindow>> live;
    for (const Weak<UIWindow>& weak : windows_) {
        if (Ref<UIWindow> window = weak.lock()) {
            live.push_back(std::move(window));
        }
    }
    std::stable_sort(live.begin(), live.end(),
                     [](const Ref<UIWindow>& a, const Ref<UIWindow>& b) { return a->windowLevel() < b->windowLevel(); });
    return live;
}

void UIApplication::registerWindow(const Ref<UIWindow>& window)
{
    std::erase_if(windows_, [](const Weak<UIWindow>& w) { return w.expired(); });
    windows_.push_back(window);
}

void UIApplication::retainDelegate(const Ref<UIApplicationDelegate>& delegate)
{
    ownedDelegate_ = delegate;
    delegate_ = delegate;
}

// --- Status bar -----------------------------------------------------------------------------------

CGRect UIApplication::statusBarFrame() const
{
    if (statusBarHidden_) {
        return CGRectZero;
    }
    return CGRectMake(0, 0, UIScreen::mainScreen()->bounds().size.width, 20);
}

void UIApplication::changeStatusBarFrame(bool hidden)
{
    if (hidden == statusBarHidden_) {
        return;
    }
    const CGRect next = hidden ? CGRectZero : CGRectMake(0, 0, UIScreen::mainScreen()->bounds().size.width, 20);
    post(UIApplicationWillChangeStatusBarFrameNotification,
         Value::dictionary({{UIApplicationStatusBarFrameUserInfoKey, Value(UIGeometryValue::valueWithCGRect(next))}}));
    const CGRect previous = statusBarFrame();
    statusBarHidden_ = hidden;
    post(UIApplicationDidChangeStatusBarFrameNotification,
         Value::dictionary(
             {{UIApplicationStatusBarFrameUserInfoKey, Value(UIGeometryValue::valueWithCGRect(previous))}}));
}

void UIApplication::setStatusBarHidden(bool hidden)
{
    lastStatusBarAnimation_ = UIStatusBarAnimationNone;
    changeStatusBarFrame(hidden);
}

void UIApplication::setStatusBarHidden_withAnimation(bool hidden, UIStatusBarAnimation animation)
{
    lastStatusBarAnimation_ = animation;
    changeStatusBarFrame(hidden);
}

void UIApplication::setStatusBarOrientation(UIInterfaceOrientation orientation)
{
    if (orientation == statusBarOrientation_) {
        return;
    }
    post(UIApplicationWillChangeStatusBarOrientationNotification,
         Value::dictionary({{UIApplicationStatusBarOrientationUserInfoKey, Value(long(orientation))}}));
    const UIInterfaceOrientation previous = statusBarOrientation_;
    statusBarOrientation_ = orientation;
    post(UIApplicationDidChangeStatusBarOrientationNotification,
         Value::dictionary({{UIApplicationStatusBarOrientationUserInfoKey, Value(long(previous))}}));
}

// --- Requests to the system -----------------------------------------------------------------------

bool UIApplication::canOpenURL(const Ref<NSURL>& url) const
{
    if (!url) {
        return false;
    }
    const std::string scheme = NSString::lowercaseString(url->scheme());
    return std::find(openableSchemes_.begin(), openableSchemes_.end(), scheme) != openableSchemes_.end();
}

bool UIApplication::openURL(const Ref<NSURL>& url)
{
    if (!url) {
        return false;
    }
    openedURLs_.push_back(url->absoluteString());
    return canOpenURL(url);
}

void UIApplication::registerForRemoteNotificationTypes(UIRemoteNotificationType types)
{
    remoteTypes_ = types;
    ++remoteRegistrations_;
}

// --- Events ---------------------------------------------------------------------------------------

void UIApplication::sendEvent(const Ref<UIEvent>& event)
{
    if (!event) {
        return;
    }
    std::vector<Ref<UIWindow>> windows;
    for (const Ref<UITouch>& touch : event->allTouches()) {
        Ref<UIWindow> window = touch->window();
        if (window && std::find(windows.begin(), windows.end(), window) == windows.end()) {
            windows.push_back(window);
        }
    }
    for (const Ref<UIWindow>& window : windows) {
        window->sendEvent(event);
    }
}

bool UIApplication::sendAction_to_from_forEvent(const std::function<bool(NSObject*)>& action,
                                                const Ref<NSObject>& target, const Ref<NSObject>& sender,
                                                const Ref<UIEvent>& event)
{
    if (!action) {
        return false;
    }
    if (target) {
        return action(target.get());
    }
    // A nil target: the first responder, else the sender, and on up the responder chain.
    Ref<UIResponder> responder = UIResponder::currentFirstResponder();
    if (!responder) {
        responder = std::dynamic_pointer_cast<UIResponder>(sender);
    }
    for (; responder; responder = responder->nextResponder()) {
        if (action(responder.get())) {
            return true;
        }
    }
    return false;
}

// --- The system's side ----------------------------------------------------------------------------

void UIApplication::simulateLaunch(const Value& launchOptions)
{
    Ref<UIApplication> me = self<UIApplication>();
    state_ = UIApplicationStateInactive;
    if (auto delegate = delegate_.lock()) {
        delegate->application_didFinishLaunchingWithOptions(me, launchOptions);
    }
    post(UIApplicationDidFinishLaunchingNotification, launchOptions);
    simulateBecomeActive();
}

void UIApplication::simulateResignActive()
{
    if (state_ != UIApplicationStateActive) {
        return;
    }
    state_ = UIApplicationStateInactive;
    if (auto delegate = delegate_.lock()) {
        delegate->applicationWillResignActive(self<UIApplication>());
    }
    post(UIApplicationWillResignActiveNotification);
}

void UIApplication::simulateEnterBackground()
{
    if (state_ == UIApplicationStateBackground) {
        return;
    }
    simulateResignActive();
    state_ = UIApplicationStateBackground;
    if (auto delegate = delegate_.lock()) {
        delegate->applicationDidEnterBackground(self<UIApplication>());
    }
    post(UIApplicationDidEnterBackgroundNotification);
}

void UIApplication::simulateEnterForeground()
{
    if (state_ != UIApplicationStateBackground) {
        return;
    }
    state_ = UIApplicationStateInactive;
    if (auto delegate = delegate_.lock()) {
        delegate->applicationWillEnterForeground(self<UIApplication>());
    }
    post(UIApplicationWillEnterForegroundNotification);
}

void UIApplication::simulateBecomeActive()
{
    if (state_ == UIApplicationStateActive) {
        return;
    }
    state_ = UIApplicationStateActive;
    if (auto delegate = delegate_.lock()) {
        delegate->applicationDidBecomeActive(self<UIApplication>());
    }
    post(UIApplicationDidBecomeActiveNotification);
}

namespace {
struct MainLoop {
    bool running = false;
    bool terminated = false;
};
MainLoop& mainLoop()
{
    static MainLoop state;
    return state;
}
}  // namespace

void UIApplication::simulateTerminate() { terminate(); }

void UIApplication::terminate()
{
    if (auto delegate = delegate_.lock()) {
        delegate->applicationWillTerminate(self<UIApplication>());
    }
    post(UIApplicationWillTerminateNotification);
    if (mainLoop().running) {
        mainLoop().terminated = true;
        NSRunLoop::mainRunLoop()->stop();
    }
}

void UIApplication::simulateMemoryWarning()
{
    UIImage::clearNamedImageCache();
    if (auto delegate = delegate_.lock()) {
        delegate->applicationDidReceiveMemoryWarning(self<UIApplication>());
    }
    post(UIApplicationDidReceiveMemoryWarningNotification);
}

void UIApplication::simulateRemoteNotificationRegistration(const NSData& deviceToken)
{
    if (auto delegate = delegate_.lock()) {
        delegate->application_didRegisterForRemoteNotificationsWithDeviceToken(self<UIApplication>(), deviceToken);
    }
}

void UIApplication::simulateRemoteNotificationRegistrationFailure(const Ref<NSError>& error)
{
    if (auto delegate = delegate_.lock()) {
        delegate->application_didFailToRegisterForRemoteNotificationsWithError(self<UIApplication>(), error);
    }
}

void UIApplication::simulateRemoteNotification(const Value& userInfo)
{
    if (auto delegate = delegate_.lock()) {
        delegate->application_didReceiveRemoteNotification(self<UIApplication>(), userInfo);
    }
}

bool UIApplication::simulateOpenURL(const Ref<NSURL>& url)
{
    if (auto delegate = delegate_.lock()) {
        return delegate->application_handleOpenURL(self<UIApplication>(), url);
    }
    return false;
}

// --- UIApplicationMain ----------------------------------------------------------------------------

namespace {
std::mutex& registryMutex()
{
    static auto* mutex = new std::mutex();
    return *mutex;
}
std::map<std::string, std::function<Ref<UIApplicationDelegate>()>>& delegateClasses()
{
    static auto* classes = new std::map<std::string, std::function<Ref<UIApplicationDelegate>()>>();
    return *classes;
}
}  // namespace

void UIApplicationRegisterDelegateClass(const std::string& name, std::function<Ref<UIApplicationDelegate>()> factory)
{
    std::lock_guard lock(registryMutex());
    delegateClasses()[name] = std::move(factory);
}

int UIApplicationMain(int, char**, const std::string&, const std::string& delegateClassName)
{
    designateMainThread();
    std::function<Ref<UIApplicationDelegate>()> factory;
    {
        std::lock_guard lock(registryMutex());
        auto it = delegateClasses().find(delegateClassName);
        if (it != delegateClasses().end()) {
            factory = it->second;
        }
    }
    if (!delegateClassName.empty() && !factory) {
        return 1;
    }
    Ref<UIApplication> application = UIApplication::sharedApplication();
    if (factory) {
        application->retainDelegate(factory());
    }
    // The main loop waits for work even when nothing is registered, until the application terminates
    // (which it may do while launching).
    Ref<NSRunLoop> loop = NSRunLoop::mainRunLoop();
    loop->setAlwaysHasSources(true);
    mainLoop().running = true;
    mainLoop().terminated = false;
    application->simulateLaunch();
    // A termination that comes while a nested run turns the loop (a synchronous exchange waiting for its
    // answer) stops that run, not this one: this run looks again at least once a second.
    while (!mainLoop().terminated) {
        loop->runInMode(kCFRunLoopDefaultMode, 1.0, false);
    }
    mainLoop().running = false;
    return 0;
}
