// The root controller and its menu as a person uses them: the start on the square or the home feed,
// rows chosen by tapping the opened menu, each row's stack built once, logging out and in, the unread
// badge and the about page.
#include <gtest/gtest.h>

#include "api/PZRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableViewCell.h"
#include "ShellTestSupport.h"
#include "shell/FeedVC.h"
#include "shell/MenuVC.h"
#include "social/AboutViewController.h"
#include "social/FriendVC.h"
#include "social/Login.h"
#include "social/SquareVC.h"
#include "widgets/CountBadge.h"

namespace {
namespace RootAndMenuTest_cpp {

class RootTest : public shelltest::ShellTest {
protected:
    // Opens the menu as the menu button does and taps the row where a person sees it.
    void choose(NSInteger row)
    {
        root->showMenu();
        clock.advance(SliderController::kSlideDuration);
        auto table = root->menu()->table();
        const CGRect rect = table->rectForRowAtIndexPath(this->row(row));
        window->simulateTap(table->convertPoint_toView(CGPointMake(100, CGRectGetMidY(rect)), nullptr));
        clock.advance(2 * SliderController::kSlideDuration + 0.5);
    }
    Ref<UITableViewCell> menuCell(NSInteger index)
    {
        root->menu()->table()->layoutIfNeeded();
        return root->menu()->table()->cellForRowAtIndexPath(row(index));
    }
    Ref<UINavigationController> presentedStack()
    {
        return std::dynamic_pointer_cast<UINavigationController>(root->modalViewController());
    }
    bool loginShown()
    {
        auto stack = presentedStack();
        return stack && std::dynamic_pointer_cast<Login>(stack->topViewController()) != nullptr;
    }
    CountBadge* badge() { return dynamic_cast<CountBadge*>(menuCell(5)->contentView()->viewWithTag(kMenuBadgeTag).get()); }

    Ref<RootViewController> root;
};

TEST_F(RootTest, LoggedOutStartIsTheSquareWithGreyRowsThatDoNothing)
{
    root = showRoot();
    ASSERT_TRUE(root->squareNavi());
    EXPECT_EQ(root->topView(), root->squareNavi()->view());
    EXPECT_TRUE(std::dynamic_pointer_cast<SquareVC>(root->squareNavi()->topViewController()));
    EXPECT_TRUE(root->leftEnable());
    EXPECT_FALSE(root->rightEnable());

    const std::string titles[] = {"首页", "广场", "最新", "关注的话题", "我的", "消息", "设置", "关于", "登录"};
    for (NSInteger index = 0; index < 9; ++index) {
        const bool inert = index == 0 || (index >= 3 && index <= 6);
        auto cell = menuCell(index);
        ASSERT_TRUE(cell) << index;
        EXPECT_EQ(cell->textLabel()->text(), titles[index]);
        EXPECT_TRUE(cell->textLabel()->textColor()->isEqual((inert ? UIColor::grayColor() : UIColor::whiteColor()).get()))
            << index;
        EXPECT_EQ(cell->selectionStyle() == UITableViewCellSelectionStyleNone, inert) << index;
    }

    for (NSInteger inert : {0, 3, 4, 5, 6}) {
        choose(inert);
        EXPECT_EQ(root->topView(), root->squareNavi()->view()) << inert;
    }
    EXPECT_FALSE(root->feedNavi());
    EXPECT_FALSE(root->msgboxNavi());

    choose(MenuRowNewest);
    ASSERT_TRUE(root->newestNavi());
    EXPECT_EQ(root->topView(), root->newestNavi()->view());
    EXPECT_EQ(root->topView()->center().x, 160);

    choose(MenuRowLogInOut);
    EXPECT_TRUE(loginShown());
    EXPECT_EQ(root->topView(), root->newestNavi()->view());
}

TEST_F(RootTest, EachRowIsBuiltOnceAndOnlyHomeAndOwnPageOpenThePeoplePanel)
{
    logIn();
    root = showRoot();
    for (int pass = 0; pass < 2; ++pass) {
        for (int index = 0; index <= 6; ++index) {
            auto first = root->getDisplayTopView(index);
            ASSERT_TRUE(first) << index;
            EXPECT_EQ(root->getDisplayTopView(index), first) << index;
            EXPECT_EQ(root->lastDisplayedNavi(), first) << index;
            EXPECT_TRUE(root->leftEnable()) << index;
            EXPECT_EQ(root->rightEnable(), index == 0 || index == 4) << index;
        }
    }
    // Row 8 is no stack of its own.
    auto before = root->lastDisplayedNavi();
    EXPECT_EQ(root->getDisplayTopView(MenuRowLogInOut), before);
}

TEST_F(RootTest, ChoosingARowAgainKeepsItsStackAndRefreshesIt)
{
    logIn();
    root = showRoot();
    ASSERT_EQ(root->topView(), root->feedNavi()->view());
    ASSERT_TRUE(waitForReceived("/m/v2_feed.json", 1));
    EXPECT_EQ(root->friendList()->suid().stringValue(), "7");
    EXPECT_EQ(root->friendList()->navigation(), root->feedNavi());

    choose(MenuRowMessages);
    auto messages = root->msgboxNavi();
    ASSERT_TRUE(messages);
    EXPECT_EQ(root->topView(), messages->view());
    messages->pushViewController_animated(UIViewController::create(), false);
    const size_t loaded = received("/m/sysmsg.json");

    choose(MenuRowMine);
    EXPECT_EQ(root->friendList()->navigation(), root->mylibNavi());
    EXPECT_TRUE(root->rightEnable());

    choose(MenuRowHome);
    EXPECT_TRUE(waitForReceived("/m/v2_feed.json", 2));
    EXPECT_EQ(root->friendList()->navigation(), root->feedNavi());

    choose(MenuRowMessages);
    EXPECT_EQ(root->msgboxNavi(), messages);
    EXPECT_EQ(messages->viewControllers().size(), 2u);
    EXPECT_EQ(root->topView(), messages->view());
    EXPECT_FALSE(root->rightEnable());
    EXPECT_TRUE(waitForReceived("/m/sysmsg.json", loaded + 1));
}

TEST_F(RootTest, APersonsPageOnTopPointsThePeoplePanelAtThemUntilItLeaves)
{
    logIn();
    root = showRoot();
    auto stack = root->feedNavi();
    auto home = std::dynamic_pointer_cast<FeedVC>(stack->topViewController());
    ASSERT_TRUE(home);
    ASSERT_TRUE(pumpMainUntil([&] { return !home->channels().isNil() && !home->getNewRequest(); }));
    const std::string own = root->friendList()->suid().stringValue();
    ASSERT_NE(own, "1002");
    ASSERT_TRUE(home->navigationItem()->rightBarButtonItem());
    EXPECT_EQ(home->navigationItem()->rightBarButtonItem()->image(), UIImage::imageNamed("friend_icon.png"));

    // Someone's page pushed on the home feed: the panel lists their people, the menu cannot slide out.
    auto page = FeedVC::myinitWithType_andSuid(FeedTypeUser, Value("1002"));
    stack->pushViewController_animated(page, false);
    ASSERT_TRUE(pumpMainUntil([&] { return !page->channels().isNil() && !page->getNewRequest(); }));
    ASSERT_TRUE(page->navigationItem()->rightBarButtonItem());
    EXPECT_EQ(page->navigationItem()->rightBarButtonItem()->image(), UIImage::imageNamed("friend_icon.png"));
    EXPECT_TRUE(root->rightEnable());
    EXPECT_FALSE(root->leftEnable());
    EXPECT_EQ(root->friendList()->suid().stringValue(), "1002");
    EXPECT_EQ(root->friendList()->navigation(), stack);

    // A screen with no people of its own on top: no panel; back on the home feed: the own people again.
    stack->pushViewController_animated(FeedVC::myinitWithType_andSuid(FeedTypeNewest, Value()), false);
    EXPECT_FALSE(root->rightEnable());
    stack->popToRootViewControllerAnimated(false);
    EXPECT_TRUE(root->rightEnable());
    EXPECT_TRUE(root->leftEnable());
    EXPECT_EQ(root->friendList()->suid().stringValue(), own);
}

TEST_F(RootTest, PeoplePanelOpensOnTheFansOfTheOwnUser)
{
    logIn();
    root = showRoot();
    SliderToRightShowFans();
    clock.advance(SliderController::kSlideDuration);
    EXPECT_EQ(root->topView()->center().x, -100);
    EXPECT_TRUE(root->menu()->view()->isHidden());
    EXPECT_FALSE(root->friendList()->view()->isHidden());
    ASSERT_TRUE(waitForReceived("/m/relation/fans.json", 1));
    EXPECT_EQ(service.server().requests("/m/relation/fans.json").back().param("suid"), "7");
    SliderResetTopViewNoAnimate();
    EXPECT_EQ(root->topView()->center().x, 160);
    EXPECT_FALSE(root->topView()->viewWithTag(kSliderTapCatcherTag));
}

TEST_F(RootTest, LoggingOutFromTheMenuKeepsTheScreenBehindTheLogin)
{
    logIn("阿明");
    root = showRoot();
    auto header = [&] {
        auto view = root->menu()->tableView_viewForHeaderInSection(root->menu()->table(), 0);
        for (const Ref<UIView>& subview : view->subviews()) {
            if (auto label = std::dynamic_pointer_cast<UILabel>(subview)) {
                return label->text();
            }
        }
        return std::string();
    };
    EXPECT_EQ(header(), "阿明");
    EXPECT_EQ(menuCell(8)->textLabel()->text(), "退出");

    choose(MenuRowLogInOut);
    EXPECT_FALSE(isLogin());
    EXPECT_TRUE(loginShown());
    EXPECT_EQ(root->topView(), root->feedNavi()->view());
    EXPECT_EQ(root->topView()->center().x, 160);
    EXPECT_EQ(header(), "未登录用户");
    EXPECT_EQ(menuCell(8)->textLabel()->text(), "登录");
}

TEST_F(RootTest, MessagesRowShowsTheUnreadCountOfTheLastReminder)
{
    struct Case {
        bool loggedIn;
        const char* reply;
        const char* badge;  // nullptr: none
    };
    const Case cases[] = {
        {true, R"({"status":200,"sys":{"cnt":3,"text":"新消息"}})", "3"},
        {true, R"({"status":200,"sys":{"cnt":12}})", "12"},
        {true, R"({"status":200,"fans":{"cnt":2}})", nullptr},
        {true, R"({"status":200,"sys":{"cnt":0}})", nullptr},
        {false, R"({"status":200,"sys":{"cnt":3}})", nullptr},
    };
    root = showRoot();
    auto center = NSNotificationCenter::defaultCenter();
    for (const Case& c : cases) {
        if (c.loggedIn) {
            logIn();
        } else {
            Logout();
        }
        g_ffmpeg->setRemind(NSString_JsonParsing::JSONValue(c.reply));
        center->postNotificationName_object("system_remind");
        if (c.badge == nullptr) {
            EXPECT_FALSE(badge()) << c.reply;
            continue;
        }
        ASSERT_TRUE(badge()) << c.reply;
        EXPECT_EQ(badge()->badgeText(), c.badge);
        EXPECT_EQ(badge()->frame().origin.x, 50);
        EXPECT_EQ(badge()->center().y, menuCell(5)->contentView()->bounds().size.height / 2);
        for (NSInteger other : {0, 1, 2, 3, 4, 6, 7, 8}) {
            EXPECT_FALSE(menuCell(other)->contentView()->viewWithTag(kMenuBadgeTag)) << other;
        }
        // Reading the messages dismisses the count and forgets the reply.
        center->postNotificationName_object("system_dismiss");
        EXPECT_FALSE(badge());
        EXPECT_TRUE(g_ffmpeg->remind().isNil());
    }
}

TEST_F(RootTest, AboutRowPresentsTheEditionsPage)
{
    root = showRoot();
    choose(MenuRowAbout);
    auto stack = presentedStack();
    ASSERT_TRUE(stack);
    auto about = std::dynamic_pointer_cast<AboutViewController>(stack->topViewController());
    ASSERT_TRUE(about);
    EXPECT_EQ(about->url()->absoluteString(), "http://" + service.hostPort() + "/oem.html?vend=lumo");
    EXPECT_EQ(root->topView(), root->squareNavi()->view());
}

}  // namespace RootAndMenuTest_cpp
}  // namespace
