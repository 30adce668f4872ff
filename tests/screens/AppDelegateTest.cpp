// The application delegate's services to the screens: the reminder reply and its notifications, the
// replies of the emotion mark and of deletions, the push token, the error box and the login prompt.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "api/PZRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIImageView.h"
#include "ShellTestSupport.h"
#include "shell/ombriAppDelegate.h"
#include "social/Login.h"
#include "widgets/StatusBarOverlay.h"

namespace {
namespace AppDelegateTest_cpp {

// The names posted, in order.
class Posted {
public:
    explicit Posted(std::vector<std::string> names)
    {
        for (const std::string& name : names) {
            tokens_.push_back(NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
                name, Value(), [this, name](const Ref<NSNotification>&) { names_.push_back(name); }));
        }
    }
    ~Posted()
    {
        for (const Ref<NSObject>& token : tokens_) {
            NSNotificationCenter::defaultCenter()->removeObserver(token);
        }
    }
    std::vector<std::string> names_;

private:
    std::vector<Ref<NSObject>> tokens_;
};

class DelegateTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
        delegate = ombriAppDelegate::create();
        delegate->setWindow(window);
        UIApplication::sharedApplication()->setDelegate(delegate);
    }
    void TearDown() override
    {
        UIApplication::sharedApplication()->setDelegate(nullptr);
        delegate = nullptr;
        ShellTest::TearDown();
    }
    // Answers the path with the body from now on.
    void answer(const std::string& path, const std::string& body)
    {
        service.server().route(path, [body](const standin::Request&) {
            standin::Response response;
            response.body = body;
            response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
            return response;
        });
    }
    // Starts the request with the delegate as its delegate and waits until its reply was handled.
    void sendThroughDelegate(const Ref<HTTPRequest>& request, int tag)
    {
        request->setTag(tag);
        request->setDelegate(delegate);
        request->startAsynchronous();
        ASSERT_TRUE(pumpMainUntil([&] { return request->complete(); }));
        drainMain();
    }
    Ref<ProgressHUD> errorBox() const
    {
        for (const Ref<UIView>& view : window->subviews()) {
            if (auto hud = std::dynamic_pointer_cast<ProgressHUD>(view)) {
                return hud;
            }
        }
        return nullptr;
    }

    Ref<ombriAppDelegate> delegate;
};

TEST_F(DelegateTest, ReminderReplyIsStoredWholeAndAnnouncedFansFirst)
{
    struct Case {
        const char* reply;
        std::vector<std::string> posted;
    };
    const Case cases[] = {
        {R"({"n":1,"status":200,"sys":{"cnt":2},"fans":{"cnt":1,"fan":{"suid":"9"}}})", {"fans_remind", "system_remind"}},
        {R"({"n":2,"status":200})", {}},
        {R"({"n":3,"status":200,"sys":{"cnt":4}})", {"system_remind"}},
        {R"({"n":4,"status":500,"msg":"忙","sys":{"cnt":4},"fans":{"cnt":1}})", {}},
    };
    answer("/m/v2_remind.json", R"({"n":0,"status":200})");
    NSLogCapture log(true);
    delegate->getRemind();  // logged out: nothing is sent
    EXPECT_EQ(log.count("get remind"), 1u);
    logIn();                // a login asks at once
    ASSERT_TRUE(pumpMainUntil([&] { return g_ffmpeg->remind()["n"].isEqual(Value(0)); }));
    EXPECT_GE(log.count("get remind"), 2u);
    for (int i = 0; i < 4; ++i) {
        const Case& c = cases[i];
        answer("/m/v2_remind.json", c.reply);
        Posted posted({"fans_remind", "system_remind"});
        delegate->getRemind();
        ASSERT_TRUE(pumpMainUntil([&] { return g_ffmpeg->remind()["n"].intValue() == i + 1; })) << c.reply;
        EXPECT_EQ(posted.names_, c.posted) << c.reply;
        EXPECT_TRUE(g_ffmpeg->remind().isEqual(NSString_JsonParsing::JSONValue(c.reply))) << c.reply;
    }
    EXPECT_EQ(received("/m/v2_remind.json"), 5u);
    EXPECT_EQ(service.server().requests("/m/v2_remind.json").back().param("token"), "tok7");
}

TEST_F(DelegateTest, RepliesOfRequestsOthersSentReachTheOverlayOrTheFeeds)
{
    struct Case {
        const char* path;
        int tag;
        const char* reply;
        const char* message;  // the overlay's newest message, nullptr: none
        int kind;
        bool deleted;
    };
    const Case cases[] = {
        {"/m/mark.json", 888, R"({"status":200})", "标记表情成功", StatusMessageKindFinish, false},
        {"/m/mark.json", 888, R"({"status":403,"msg":"请先登录"})", "请先登录", StatusMessageKindError, false},
        {"/m/media.json", 0, R"({"status":200,"delete":"sc1"})", nullptr, 0, true},
        {"/m/media.json", 0, R"({"status":200})", nullptr, 0, false},
    };
    logIn();
    auto overlay = StatusBarOverlay::sharedOverlay();
    for (const Case& c : cases) {
        answer(c.path, c.reply);
        const size_t waiting = overlay->messageQueue().size();
        Posted posted({"delete_media"});
        Ref<HTTPRequest> request = c.tag == TagEmotionRequestTag ? Ref<HTTPRequest>(PZRequest::tagVideo_withEmotion(Value("sc1"), 3))
                                                                 : Ref<HTTPRequest>(PZRequest::deleteMedia(Value("sc1")));
        sendThroughDelegate(request, c.tag);
        const auto queue = overlay->messageQueue();
        if (c.message != nullptr) {
            ASSERT_FALSE(queue.empty()) << c.reply;
            EXPECT_EQ(queue.front()[kStatusBarOverlayMessageKey].stringValue(), c.message);
            EXPECT_EQ(queue.front()[kStatusBarOverlayMessageTypeKey].intValue(), c.kind);
            EXPECT_EQ(queue.front()[kStatusBarOverlayDurationKey].doubleValue(), 2.0);
        } else {
            EXPECT_EQ(queue.size(), waiting) << c.reply;
        }
        EXPECT_EQ(posted.names_, c.deleted ? std::vector<std::string>{"delete_media"} : std::vector<std::string>{})
            << c.reply;
    }
}

TEST_F(DelegateTest, PushTokenIsStoredAsBareHexDigits)
{
    const unsigned char bytes[] = {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x60, 0x71, 0xff};
    auto application = UIApplication::sharedApplication();
    application->setApplicationIconBadgeNumber(5);
    application->simulateRemoteNotificationRegistration(NSData::dataWithBytes_length(bytes, sizeof bytes));
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->stringForKey(kDeviceTokenKey), "0a1b2c3d4e5f6071ff");
    EXPECT_EQ(application->applicationIconBadgeNumber(), 0);
}

TEST_F(DelegateTest, NetErrorBoxShowsTheTextAndLeavesAfterTwoSeconds)
{
    struct Case {
        Value text;
        std::string shown;
    };
    const Case cases[] = {{Value(), "网络连接有问题"}, {Value("服务器开小差了"), "服务器开小差了"}};
    for (const Case& c : cases) {
        ShowNetError(c.text);
        drainMain();
        auto box = errorBox();
        ASSERT_TRUE(box) << c.shown;
        EXPECT_EQ(box->labelText(), c.shown);
        EXPECT_EQ(box->mode(), ProgressHUDModeCustom);
        EXPECT_TRUE(std::dynamic_pointer_cast<UIImageView>(box->customView()));
        clock.advance(1.9);
        EXPECT_EQ(errorBox(), box) << c.shown;
        clock.advance(1.0);  // the two seconds and the fade
        EXPECT_FALSE(errorBox()) << c.shown;
    }
}

TEST_F(DelegateTest, LoginPromptOpensTheLoginOnlyOnConfirm)
{
    auto root = RootViewController::create();
    g_root = root;
    window->setRootViewController(root);
    for (NSInteger button : {0, 1}) {
        PresentLogin();
        auto alert = UIAlertView::currentAlert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->title(), "");
        EXPECT_EQ(alert->message(), "登录继续此操作");
        EXPECT_EQ(alert->buttonTitleAtIndex(0), "取消");
        EXPECT_EQ(alert->buttonTitleAtIndex(1), "确定");
        alert->simulateClickButtonAtIndex(button);
        auto stack = std::dynamic_pointer_cast<UINavigationController>(root->modalViewController());
        EXPECT_EQ(stack && std::dynamic_pointer_cast<Login>(stack->topViewController()), button == 1);
    }
}

TEST_F(DelegateTest, VersionRequestIsForgottenWhenItEndsEitherWay)
{
    for (bool fails : {false, true}) {
        if (fails) {
            // Persistent: a dropped connection is tried once more.
            service.server().addFault("/m/ver.json", standin::Fault::closeWithoutAnswer().persistent());
        }
        const size_t sent = received("/m/ver.json");
        delegate->OmbriStastic_appLaunched();
        auto request = delegate->getVersion();
        ASSERT_TRUE(request);
        ASSERT_TRUE(pumpMainUntil([&] { return !delegate->getVersion(); })) << fails;
        EXPECT_EQ(request->error() != nullptr, fails);
        EXPECT_GE(received("/m/ver.json"), sent + (fails ? 0 : 1));
    }
    // Logged out: no reminders and no timer.
    EXPECT_EQ(received("/m/v2_remind.json"), 0u);
    EXPECT_FALSE(delegate->getRemindTimer());
}

TEST_F(DelegateTest, MenuAsksForRemindersEachTimeItHasSlidOpen)
{
    logIn();
    ASSERT_TRUE(waitForReceived("/m/v2_remind.json", 1));
    auto root = RootViewController::create();
    g_root = root;
    window->setRootViewController(root);
    for (size_t opened = 2; opened <= 3; ++opened) {
        root->showMenu();
        EXPECT_TRUE(waitForReceived("/m/v2_remind.json", opened));
        clock.advance(SliderController::kSlideDuration);
        root->resetTopView();
        clock.advance(SliderController::kSlideDuration);
    }
}

TEST_F(DelegateTest, RequestsOfADelegateThatGoesAreCancelled)
{
    logIn();
    ASSERT_TRUE(pumpMainUntil([&] { return !g_ffmpeg->remind().isNil(); }));
    service.server().addFault("/m/v2_remind.json", standin::Fault::hangUntilStopped());
    delegate->getRemind();
    auto request = delegate->getRemindRequest();
    ASSERT_TRUE(request);
    ASSERT_TRUE(waitForReceived("/m/v2_remind.json", 2));
    UIApplication::sharedApplication()->setDelegate(nullptr);
    delegate = nullptr;
    // Cancelled (code 4), not answered: the service never answers it.
    ASSERT_TRUE(pumpMainUntil([&] { return request->error() != nullptr; }));
    EXPECT_EQ(request->error()->code(), 4);
    drainMain();
}

}  // namespace AppDelegateTest_cpp
}  // namespace
