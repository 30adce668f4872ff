#include <gtest/gtest.h>

#include "AccountScreensSupport.h"
#include "api/Categories.h"
#include "api/LumoWeiboClient.h"
#include "api/QQWeiboClient.h"
#include "api/oauth/MicroblogHosts.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITouch.h"
#include "servers/OAuthProviders.h"
#include "social/Login.h"
#include "social/Registration.h"
#include "widgets/ProgressHUD.h"

namespace {
namespace LoginTest_cpp {

using accounttest::AccountScreenTest;

class LoginTest : public AccountScreenTest {
protected:
    // The login flow as the application opens it: presented over the root controller.
    Ref<Login> present(const std::string& edition)
    {
        ScreenEdition::setWordForTesting(edition);
        Login::presentLoginUI(root);
        // Presented once the screen under it has left the window.
        EXPECT_TRUE(pumpMainUntil([&] { return loginFlow() && !root->view()->window(); }));
        auto login = std::dynamic_pointer_cast<Login>(loginFlow()->topViewController());
        EXPECT_TRUE(login);
        return login;
    }
    Ref<UINavigationController> loginFlow()
    {
        return std::dynamic_pointer_cast<UINavigationController>(root->modalViewController());
    }
    static Ref<UITableViewCell> cellAt(const Ref<Login>& login, NSInteger section, NSInteger row)
    {
        login->table()->layoutIfNeeded();
        return login->table()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(row, section));
    }
    void fillForm(const Ref<Login>& login, const std::string& account, const std::string& password)
    {
        type(login->acountPhontNumber(), account);
        type(login->password(), password);
    }
    bool flowClosed() { return pumpMainUntil([&] { return !root->modalViewController() && root->isVisible(); }); }
};

TEST_F(LoginTest, EachEditionOffersItsOwnWaysIn)
{
    {
        auto login = present("lumo");
        EXPECT_EQ(loginFlow()->modalTransitionStyle(), UIModalTransitionStyleCrossDissolve);
        EXPECT_EQ(login->title(), "登录");
        EXPECT_EQ(login->navigationItem()->rightBarButtonItem()->title(), "跳过");
        EXPECT_FALSE(login->table());
        ASSERT_TRUE(login->partnerButton());
        EXPECT_EQ(login->partnerButton()->superview()->center(), CGPointMake(160, 150));
        EXPECT_EQ(login->partnerButton()->superview()->superview(), login->view());
        EXPECT_EQ(login->partnerButton()->backgroundImageForState(UIControlStateNormal)->capInsets().left, 13);
        EXPECT_FALSE(login->logo()->isHidden());
        // The partner's button opens the partner's microblog login.
        login->partnerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        ASSERT_TRUE(pumpMainUntil([&] { return std::dynamic_pointer_cast<LumoWeiboClient>(loginFlow()->topViewController()) != nullptr; }));
        EXPECT_TRUE(std::dynamic_pointer_cast<LumoWeiboClient>(loginFlow()->topViewController())->isLogin());
        EXPECT_TRUE(login->logo()->isHidden());
        root->dismissModalViewControllerAnimated(false);
    }
    auto login = present("ombri");
    EXPECT_FALSE(login->partnerButton());
    ASSERT_TRUE(login->table());
    EXPECT_EQ(login->table()->frame(), CGRectMake(0, 10, 320, 420));
    EXPECT_FALSE(login->table()->isScrollEnabled());
    EXPECT_EQ(login->acountPhontNumber()->placeholder(), "请输入账号");
    EXPECT_EQ(login->acountPhontNumber()->superview()->superview(), cellAt(login, 0, 0)->contentView());
    EXPECT_EQ(login->password()->placeholder(), "请输入密码");
    EXPECT_TRUE(login->password()->isSecureTextEntry());
    EXPECT_EQ(cellAt(login, 1, 0)->textLabel()->text(), "用Lumo微博登录");
    EXPECT_EQ(cellAt(login, 1, 1)->textLabel()->text(), "用腾讯微博登录");
    EXPECT_EQ(login->forgotButton()->titleForState(UIControlStateNormal), "忘记密码?");
    EXPECT_EQ(login->loginButton()->frame(), CGRectMake(204, 5, 96.5, 28));
    EXPECT_EQ(login->registerButton()->titleForState(UIControlStateNormal), "注册");

    // The rows and the registration button each open their screen on the login stack.
    struct Way {
        std::function<void()> take;
        std::function<bool(const Ref<UIViewController>&)> opened;
    };
    const std::vector<Way> ways = {
        {[&] { login->table()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(0, 1)); },
         [](const Ref<UIViewController>& c) {
             auto client = std::dynamic_pointer_cast<LumoWeiboClient>(c);
             return client && client->isLogin();
         }},
        {[&] { login->table()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(1, 1)); },
         [](const Ref<UIViewController>& c) {
             auto client = std::dynamic_pointer_cast<QQWeiboClient>(c);
             return client && client->isLogin();
         }},
        {[&] { login->registerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside); },
         [](const Ref<UIViewController>& c) {
             auto reg = std::dynamic_pointer_cast<Reg1_InputPhoneNumber>(c);
             return reg && reg->tableStyle() == UITableViewStyleGrouped;
         }},
    };
    for (const Way& way : ways) {
        way.take();
        ASSERT_TRUE(pumpMainUntil([&] { return way.opened(loginFlow()->topViewController()); }));
        loginFlow()->popToRootViewControllerAnimated(false);
        drainMain();
    }
}

TEST_F(LoginTest, TheFormIsCheckedAccountFirstBeforeAnythingIsSent)
{
    auto login = present("ombri");
    const std::string accountError = "用户名错误：4-16位英文、数字和下划线";
    const std::string passwordError = "密码错误：6-16位大小写英文、数字和符号";
    const struct {
        std::string account, password, message;
    } cases[] = {
        {"abc", "secret1", accountError},
        {"abcdefghijklmnopq", "secret1", accountError},
        {"ab", "12", accountError},  // both wrong: only the account is named
        {"abcd", "12345", passwordError},
        {"abcd", "12345678901234567", passwordError},
        {"小明小明", "12345", passwordError},  // characters, not bytes
    };
    for (const auto& c : cases) {
        UIAlertView::resetRecords();
        fillForm(login, c.account, c.password);
        login->loginButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        ASSERT_TRUE(alert()) << c.account;
        EXPECT_EQ(alert()->title(), "提示");
        EXPECT_EQ(alert()->message(), c.message) << c.account << " / " << c.password;
        EXPECT_EQ(alert()->buttonTitleAtIndex(0), "确定");
        alert()->simulateClickButtonAtIndex(0);
    }
    EXPECT_EQ(requestCount("/m/login.json"), 0u);

    // Both at their upper bound pass: the box covers the screen while the request runs.
    UIAlertView::resetRecords();
    fillForm(login, "abcdefghijklmnop", "1234567890123456");
    login->loginButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_FALSE(alert());
    EXPECT_FALSE(login->password()->isFirstResponder());
    ASSERT_TRUE(service.server().waitForRequests(1, std::chrono::seconds(10)));
    EXPECT_EQ(service.server().requests("/m/login.json")[0].param("user").value_or(""), "abcdefghijklmnop");
}

TEST_F(LoginTest, ASuccessfulLoginStoresTheReplyWithTheTypedNameAndPasswordAndShowsTheHomeFeed)
{
    auto login = present("ombri");
    fillForm(login, "xiaoming", "西湖secret");
    login->loginButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ProgressHUD* hud = nullptr;
    for (const auto& view : loginFlow()->view()->subviews()) {
        if (auto box = std::dynamic_pointer_cast<ProgressHUD>(view)) {
            hud = box.get();
        }
    }
    ASSERT_TRUE(hud) << "the box covers the navigation controller's view";
    ASSERT_TRUE(flowClosed());

    const auto sent = service.server().requests("/m/login.json");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].param("pwd").value_or(""), PhoneNumberTest::MD5String("西湖secret"));
    EXPECT_EQ(sent[0].param("type").value_or(""), "md5");
    // Every key of the reply (its pictures on the service), plus the name and the password as typed.
    const Value reply = NSString_JsonParsing::JSONValue(standin::accountReplyWithImages(service.hostPort(), 0));
    for (const auto& [key, value] : reply.dictionaryItems()) {
        EXPECT_TRUE(account()[key].isEqual(value)) << key;
    }
    EXPECT_EQ(account()["username"].stringValue(), "xiaoming");
    EXPECT_EQ(account()["pwd"].stringValue(), "西湖secret");
    EXPECT_TRUE(isLogin());
    EXPECT_EQ(loginFlow(), nullptr);
    EXPECT_EQ(shell->calls, std::vector<std::string>{"displayMainWindowBy 0"});
}

TEST_F(LoginTest, AFailedLoginSaysWhyAndKeepsTheForm)
{
    const struct {
        const char* name;
        std::function<void(standin::StandInService&)> serve;
        std::string message;
    } cases[] = {
        {"refused",
         [](standin::StandInService& s) {
             s.server().route("/m/login.json", [](const standin::Request&) {
                 return accounttest::jsonReply(R"({"status":400,"msg":"用户名或密码错误"})");
             });
         },
         "用户名或密码错误"},
        {"no answer",
         [](standin::StandInService& s) { s.server().addFault("/m/login.json", standin::Fault::closeWithoutAnswer().persistent()); },
         "当前无可用网络，请检查网络"},
        {"not JSON",
         [](standin::StandInService& s) { s.server().addFault("/m/login.json", standin::Fault::notJson().persistent()); },
         "当前无可用网络，请检查网络"},
    };
    auto login = present("ombri");
    for (const auto& c : cases) {
        UIAlertView::resetRecords();
        c.serve(service);
        fillForm(login, "xiaoming", "secret1");
        login->loginButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        ASSERT_TRUE(alertShown()) << c.name;
        EXPECT_EQ(alert()->title(), "提示");
        EXPECT_EQ(alert()->message(), c.message) << c.name;
        EXPECT_EQ(login->acountPhontNumber()->text(), "xiaoming");
        EXPECT_EQ(login->password()->text(), "secret1");
        EXPECT_EQ(loginFlow()->topViewController(), login);
        EXPECT_FALSE(isLogin());
        alert()->simulateClickButtonAtIndex(0);
        service.server().clearFaults("/m/login.json");
    }
    EXPECT_TRUE(shell->calls.empty());
}

TEST_F(LoginTest, ForgottenPasswordAsksTheServiceOnlyForAnAddress)
{
    auto login = present("ombri");
    const struct {
        const char* address;
        NSInteger button;
        std::function<void(standin::StandInService&)> serve;
        const char* title;
        const char* message;  // nullptr: no alert follows
        size_t sent;
    } cases[] = {
        {"xiaoming@example.com", 1, nullptr, "提示", "请到邮箱查收", 1},
        {"nobody@example.com", 1, nullptr, "提示", "该邮箱尚未注册", 2},
        // Success is read under the key "stauts" only: "status" 200 shows the message.
        {"xiaoming@example.com", 1,
         [](standin::StandInService& s) {
             s.server().route("/m/forget-pwd.json", [](const standin::Request&) {
                 return accounttest::jsonReply(R"({"status":200,"msg":"邮件稍后送达"})");
             });
         },
         "提示", "邮件稍后送达", 3},
        {"xiaoming.example.com", 1, nullptr, "错误", "邮箱格式有错！", 3},
        {"xiaoming@example.com", 0, nullptr, nullptr, nullptr, 3},
    };
    for (const auto& c : cases) {
        UIAlertView::resetRecords();
        if (c.serve) {
            c.serve(service);
        }
        login->forgotButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        auto dialog = alert();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->title(), "请输入Email");
        EXPECT_EQ(dialog->buttonTitles(), (std::vector<std::string>{"取消", "确定"}));
        ASSERT_TRUE(login->myTextField());
        EXPECT_EQ(login->myTextField()->superview(), dialog);
        EXPECT_TRUE(login->myTextField()->isFirstResponder());
        EXPECT_EQ(login->myTextField()->keyboardType(), UIKeyboardTypeEmailAddress);
        UIKeyboard::typeText(c.address);
        dialog->simulateClickButtonAtIndex(c.button);
        if (c.message) {
            ASSERT_TRUE(alert()) << c.address;
            EXPECT_EQ(alert()->title(), c.title);
            EXPECT_EQ(alert()->message(), c.message);
        } else {
            EXPECT_FALSE(alert());
        }
        EXPECT_EQ(requestCount("/m/forget-pwd.json"), c.sent) << c.address;
    }
    EXPECT_EQ(service.server().requests("/m/forget-pwd.json")[0].formParams()[0].second, "xiaoming@example.com");
}

TEST_F(LoginTest, TapsOnTheFormReachItsControlsAndTapsElsewhereCloseTheKeyboard)
{
    auto login = present("ombri");
    auto recognizer = login->tapRecognizer();
    ASSERT_TRUE(recognizer);
    EXPECT_EQ(login->swipeRecognizer()->direction(), 15u);
    EXPECT_EQ(login->swipeRecognizer()->view(), login->table());
    auto touchOn = [](const Ref<UIView>& view) {
        auto touch = std::make_shared<UITouch>();
        touch->setView(view);
        return touch;
    };
    EXPECT_FALSE(login->gestureRecognizer_shouldReceiveTouch(recognizer, touchOn(login->loginButton())));
    EXPECT_FALSE(login->gestureRecognizer_shouldReceiveTouch(recognizer, touchOn(cellAt(login, 1, 0)->contentView())));
    EXPECT_TRUE(login->gestureRecognizer_shouldReceiveTouch(recognizer, touchOn(login->view())));
    EXPECT_TRUE(login->gestureRecognizer_shouldReceiveTouch(recognizer, touchOn(login->table())));

    // Return moves from the name to the password, and closes the keyboard there; a tap on the empty
    // part of the screen closes it too.
    login->acountPhontNumber()->becomeFirstResponder();
    UIKeyboard::typeText("xiaoming");
    UIKeyboard::pressReturn();
    EXPECT_TRUE(login->password()->isFirstResponder());
    EXPECT_EQ(login->acountPhontNumber()->text(), "xiaoming");
    UIKeyboard::pressReturn();
    EXPECT_FALSE(login->password()->isFirstResponder());
    login->acountPhontNumber()->becomeFirstResponder();
    window->simulateTap(CGPointMake(300, 460));
    EXPECT_FALSE(login->acountPhontNumber()->isFirstResponder());
}

TEST_F(LoginTest, SkipShowsTheSquareAndClosesTheLoginScreen)
{
    auto login = present("lumo");
    auto skip = login->navigationItem()->rightBarButtonItem();
    ASSERT_TRUE(skip);
    skip->simulateTap();
    EXPECT_EQ(shell->calls, std::vector<std::string>{"displayMainWindowBy 1"});
    ASSERT_TRUE(flowClosed());
    EXPECT_FALSE(isLogin());
}

TEST_F(LoginTest, ThePartnerLoginEndsLoggedInWithTheLoginFlowClosed)
{
    TestServers::OAuthProvider lumo{{TestServers::OAuthProvider::Kind::Lumo, "2538114601",
                                     "c3ccc6d4f8e2dce2058abf5ca4fb2c95", nullptr}};
    setenv("OMBRI_LUMO_WEIBO_HOST", lumo.hostPort().c_str(), 1);
    auto login = present("lumo");
    login->partnerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    Ref<LumoWeiboClient> client;
    ASSERT_TRUE(pumpMainUntil([&] {
        client = std::dynamic_pointer_cast<LumoWeiboClient>(loginFlow()->topViewController());
        return client && client->oauthWebView() && !client->oauthWebView()->isLoading() && client->oauthWebView()->hasForm();
    }));
    ASSERT_TRUE(client->oauthWebView()->submitFirstForm({{"userId", "xiaoming"}, {"passwd", "secret"}}));
    ASSERT_TRUE(flowClosed());
    unsetenv("OMBRI_LUMO_WEIBO_HOST");
    EXPECT_TRUE(lumo.refusals().empty());
    EXPECT_TRUE(isLogin());
    EXPECT_EQ(account()["username"].stringValue(), "小明");
}

}  // namespace LoginTest_cpp
}  // namespace
