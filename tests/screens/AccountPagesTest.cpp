#include <gtest/gtest.h>

#include "AccountScreensSupport.h"
#include "api/LumoWeiboClient.h"
#include "api/QQWeiboClient.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/AboutViewController.h"
#include "social/BindAccountController.h"
#include "social/CheckEmailController.h"
#include "social/WelcomeViewController.h"

namespace {
namespace AccountPagesTest_cpp {

using accounttest::AccountScreenTest;
using AccountPagesTest = AccountScreenTest;

TEST_F(AccountPagesTest, TheEmailCheckShowsTheStoredStateAndSavesOnlyAnAddress)
{
    const struct {
        Value verified;
        const char* header;
        const char* field;
    } states[] = {
        {Value(true), "已验证邮箱地址", "xiaoming@example.com"},
        {Value(), "未验证邮箱地址", ""},  // the stored address is not shown unverified
    };
    for (const auto& state : states) {
        logIn({{"emailv", state.verified}});
        auto screen = CheckEmailController::create();
        presentOnStack(screen);
        EXPECT_EQ(screen->title(), "邮箱验证");
        EXPECT_EQ(screen->stateLabel()->text(), state.header);
        EXPECT_EQ(screen->textField()->text(), state.field);
        root->dismissModalViewControllerAnimated(false);
    }

    const struct {
        const char* address;
        const char* message;  // nullptr: no alert
        bool pops;
        size_t sent;
    } saves[] = {
        {"", "请填写邮箱", false, 0},
        {"xiaoming.example.com", "请检查邮箱格式", false, 0},
        {"used@example.com", "该邮箱已被其他账号使用", false, 1},
        {"new@example.com", "激活邮件已发送至你的邮箱", true, 2},
    };
    for (const auto& save : saves) {
        UIAlertView::resetRecords();
        auto screen = CheckEmailController::create();
        presentOnStack(screen);
        type(screen->textField(), save.address);
        screen->navigationItem()->rightBarButtonItem()->simulateTap();
        if (save.sent > 0) {
            ASSERT_TRUE(pumpMainUntil([&] { return alert() != nullptr; })) << save.address;
        }
        ASSERT_TRUE(alert()) << save.address;
        EXPECT_EQ(alert()->title(), "提示");
        EXPECT_EQ(alert()->message(), save.message);
        EXPECT_EQ(requestCount("/m/modify-info.json"), save.sent);
        if (save.pops) {
            EXPECT_TRUE(pumpMainUntil([&] { return flow->topViewController() != screen; }));
        } else {
            EXPECT_EQ(flow->topViewController(), screen);
        }
        root->dismissModalViewControllerAnimated(false);
    }
    EXPECT_EQ(service.server().requests("/m/modify-info.json").back().formParams()[0].second, "new@example.com");

    // An accepted address that needs no check closes the screen without a word.
    service.server().route("/m/modify-info.json",
                           [](const standin::Request&) { return accounttest::jsonReply(R"({"status":200,"msg":""})"); });
    UIAlertView::resetRecords();
    auto screen = CheckEmailController::create();
    presentOnStack(screen);
    type(screen->textField(), "other@example.com");
    screen->changeEmail();
    EXPECT_TRUE(pumpMainUntil([&] { return flow->topViewController() != screen; }));
    EXPECT_FALSE(alert());
}

TEST_F(AccountPagesTest, TheAboutPageLoadsTheEditionsPageAndClosesOverAnUnchangedScreen)
{
    auto under = root->view();
    auto about = AboutViewController::create();
    about->setUrl(NSURL::URLWithString(AboutViewController::editionPageAddress()));
    EXPECT_EQ(about->url()->absoluteString(), "http://" + service.hostPort() + "/oem.html?vend=lumo");
    root->presentModalViewController_animated(UINavigationController::initWithRootViewController(about), true);
    ASSERT_TRUE(pumpMainUntil([&] { return about->webView() && !about->webView()->isLoading() && about->webView()->request(); }));
    EXPECT_EQ(about->title(), "关于");
    EXPECT_EQ(about->webView()->frame(), CGRectMake(0, 0, 320, 416));
    EXPECT_TRUE(about->webView()->scalesPageToFit());
    EXPECT_EQ(about->webView()->stringByEvaluatingJavaScriptFromString("document.title"), "关于Ombri");
    EXPECT_EQ(service.server().requests("/oem.html").at(0).param("vend"), "lumo");
    about->navigationItem()->leftBarButtonItem()->simulateTap();
    ASSERT_TRUE(pumpMainUntil([&] { return !root->modalViewController() && root->view()->window(); }));
    EXPECT_EQ(root->view(), under);

    auto welcome = WelcomeViewController::create();
    welcome->view();
    ASSERT_TRUE(welcome->topView());
    ASSERT_TRUE(welcome->topView()->backgroundColor());
    EXPECT_TRUE(welcome->topView()->backgroundColor()->patternImage());
}

TEST_F(AccountPagesTest, BindingRowsBindUnboundServicesAndUnbindAfterAYes)
{
    // Who may not unbind is told so.
    const struct {
        NSInteger row;
        Value unbind;
        const char* message;
    } refusals[] = {
        {0, Value(false), "Lumo微博登陆的用户无法解除绑定"},
        {1, Value(), "腾讯微博登陆的用户无法解除绑定"},
    };
    for (const auto& r : refusals) {
        UIAlertView::resetRecords();
        logIn({{r.row == 0 ? "unbindLumoWeibo" : "unbindQWeibo", r.unbind}});
        auto screen = BindAccountController::create();
        presentOnStack(screen);
        screen->tableView()->layoutIfNeeded();
        screen->tableView()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(r.row, 0));
        ASSERT_TRUE(alert());
        EXPECT_EQ(alert()->message(), r.message);
        EXPECT_EQ(flow->topViewController(), screen);
        root->dismissModalViewControllerAnimated(false);
    }

    // Unbound services open their client in binding mode.
    logIn({{"unbindLumoWeibo", Value(true)}, {"unbindQWeibo", Value(true)}});
    for (NSInteger row : {0, 1}) {
        auto screen = BindAccountController::create();
        presentOnStack(screen);
        EXPECT_EQ(screen->title(), "绑定微博账号");
        screen->tableView()->layoutIfNeeded();
        screen->tableView()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(row, 0));
        ASSERT_TRUE(pumpMainUntil([&] { return flow->topViewController() != screen; }));
        if (row == 0) {
            auto client = std::dynamic_pointer_cast<LumoWeiboClient>(flow->topViewController());
            ASSERT_TRUE(client);
            EXPECT_FALSE(client->isLogin());
        } else {
            auto client = std::dynamic_pointer_cast<QQWeiboClient>(flow->topViewController());
            ASSERT_TRUE(client);
            EXPECT_FALSE(client->isLogin());
        }
        root->dismissModalViewControllerAnimated(false);
    }

    // Bound services ask first; "是" sends the row's code, "否" nothing.
    const struct {
        NSInteger row;
        NSInteger button;
        const char* confirmation;
        const char* sent;  // nullptr: nothing
    } unbinds[] = {
        {0, 1, "是否解除Lumo微博绑定", nullptr},
        {0, 0, "是否解除Lumo微博绑定", "1"},
        {1, 0, "是否解除腾讯微博绑定", "2"},
    };
    for (const auto& u : unbinds) {
        UIAlertView::resetRecords();
        logIn({{"unbindLumoWeibo", Value(true)},
               {"unbindQWeibo", Value(true)},
               {"bindLumoWeibo", Value(1)},
               {"bindQWeibo", Value(1)},
               {"lumoWeibo", Value::dictionary({{"weiboNick", Value("西湖边的小明")}})},
               {"qWeibo", Value::dictionary({{"weiboNick", Value("QQ小明")}})}});
        const char* accountKey = u.row == 0 ? "lumoWeibo" : "qWeibo";
        auto screen = BindAccountController::create();
        presentOnStack(screen);
        screen->tableView()->layoutIfNeeded();
        auto indexPath = NSIndexPath::indexPathForRow_inSection(u.row, 0);
        EXPECT_EQ(screen->tableView()->cellForRowAtIndexPath(indexPath)->detailTextLabel()->text(),
                  u.row == 0 ? "西湖边的小明" : "QQ小明");
        const size_t before = requestCount("/m/unbind-weibo.json");
        screen->tableView()->simulateTapOnRowAtIndexPath(indexPath);
        ASSERT_TRUE(alert());
        EXPECT_EQ(alert()->message(), u.confirmation);
        EXPECT_EQ(alert()->tag(), 100 + u.row);
        EXPECT_EQ(alert()->buttonTitles(), (std::vector<std::string>{"是", "否"}));
        alert()->simulateClickButtonAtIndex(u.button);
        if (!u.sent) {
            drainMain();
            EXPECT_EQ(requestCount("/m/unbind-weibo.json"), before);
            EXPECT_FALSE(account()[accountKey].isNil());
        } else {
            ASSERT_TRUE(pumpMainUntil([&] { return account()[accountKey].isNil(); })) << u.row;
            EXPECT_EQ(service.server().requests("/m/unbind-weibo.json").back().formParams()[0].second, u.sent);
            EXPECT_EQ(account()[u.row == 0 ? "bindLumoWeibo" : "bindQWeibo"].intValue(), 0);
            screen->tableView()->layoutIfNeeded();
            EXPECT_EQ(screen->tableView()->cellForRowAtIndexPath(indexPath)->detailTextLabel()->text(), "");
        }
        root->dismissModalViewControllerAnimated(false);
    }
}

}  // namespace AccountPagesTest_cpp
}  // namespace
