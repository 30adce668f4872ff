// The find-friends screen as a person uses it: the microblog rows and the advertisement strip of the
// edition, the people one may know page by page up to the total, following from a row, opening a
// person or a microblog's friends (or its sign-in when it is not bound), and searching.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/LoginState.h"
#include "api/LumoWeiboClient.h"
#include "api/QQWeiboClient.h"
#include "FriendTestSupport.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIKeyboard.h"
#include "service/FriendRoutes.h"
#include "shell/FeedVC.h"
#include "social/FindFriendResult.h"
#include "social/FindFriendVC.h"
#include "social/PossibleKnownCell.h"

namespace {
namespace FindFriendTest_cpp {

class FindFriendTest : public friendtest::FriendTest {
protected:
    void open()
    {
        screen = show(FindFriendVC::create());
        ASSERT_TRUE(pumpMainUntil([&] { return screen->possibleKnownPeoples().count() > 0; }));
    }
    Ref<PossibleKnownCell> person(NSInteger row)
    {
        return std::dynamic_pointer_cast<PossibleKnownCell>(cellAt(screen->table(), row, 1));
    }
    Ref<PossibleKnownCell> weibo(NSInteger row)
    {
        return std::dynamic_pointer_cast<PossibleKnownCell>(cellAt(screen->table(), row, 0));
    }
    Ref<UIViewController> top() { return navigation->topViewController(); }

    Ref<FindFriendVC> screen;
};

const char kTwoMicroblogs[] = "<key>weiboList</key><array><string>Lumo微博</string><string>腾讯微博</string></array>";

TEST_F(FindFriendTest, TheEditionDecidesTheMicroblogRowsAndTheAdvertisement)
{
    logIn();
    struct Case {
        const char* config;
        NSInteger microblogRows;
        bool ad;
    } const cases[] = {
        {"", 0, false},
        {"<key>weiboList</key><array><string>Lumo微博</string></array><key>ad</key><false/>", 1, false},
        {"<key>weiboList</key><array><string>Lumo微博</string><string>腾讯微博</string></array><key>ad</key><true/>", 2, true},
    };
    for (const Case& c : cases) {
        useEdition(c.config);
        open();
        EXPECT_EQ(screen->title(), "找朋友");
        EXPECT_EQ(screen->search()->placeholder(), "输入昵称或用户名");
        EXPECT_EQ(screen->table()->tableHeaderView(), screen->search());
        EXPECT_EQ(screen->table()->numberOfRowsInSection(0), c.microblogRows) << c.config;
        EXPECT_EQ(screen->tableView_titleForHeaderInSection(screen->table(), 0), "查找好友");
        EXPECT_EQ(screen->tableView_titleForHeaderInSection(screen->table(), 1), "可能认识");
        const char* titles[] = {"Lumo微博", "腾讯微博"};
        const char* images[] = {"lumo", "qq"};
        for (NSInteger row = 0; row < c.microblogRows; ++row) {
            auto cell = weibo(row);
            ASSERT_TRUE(cell);
            EXPECT_EQ(cell->title()->text(), titles[row]);
            EXPECT_EQ(cell->head()->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed(images[row]));
            EXPECT_TRUE(cell->add()->isHidden());
            EXPECT_EQ(cell->detail()->text(), "");
            EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDisclosureIndicator);
        }
        ASSERT_EQ(bool(screen->adView()), c.ad) << c.config;
        if (c.ad) {
            EXPECT_EQ(screen->adView()->superview(), screen->view());
            EXPECT_TRUE(CGRectEqualToRect(screen->adView()->frame(), CGRectMake(0, 366, 320, 50)));
            ASSERT_EQ(screen->adView()->subviews().size(), 2u);
            tap(screen->adView()->subviews()[0]);
            ASSERT_EQ(UIApplication::sharedApplication()->openedURLs().size(), 1u);
            EXPECT_EQ(UIApplication::sharedApplication()->openedURLs()[0], kFindFriendStorePage);
            auto close = screen->adView()->subviews()[1];
            EXPECT_TRUE(CGRectEqualToRect(close->frame(), CGRectMake(298, 5, 18, 18)));
            const Ref<UIView> strip = screen->adView();
            tap(close);
            EXPECT_FALSE(strip->superview());
            EXPECT_FALSE(screen->adView());
        }
        screen = nullptr;
    }
}

TEST_F(FindFriendTest, PeopleRowsAreFilledAndPagedUpToTheTotal)
{
    logIn();
    useEdition(kTwoMicroblogs);
    // A list with every relation a row can have: not followed, followed, the account itself.
    service.server().route("/m/find-friend.json", standin::possibleKnownWithEveryRelation);
    open();
    EXPECT_EQ(screen->total(), int(standin::kPossibleKnownCount));
    EXPECT_EQ(screen->possibleKnownPeoples().count(), 50u);
    const standin::Request first = service.server().requests("/m/find-friend.json").at(0);
    EXPECT_EQ(first.param("page"), "1");
    EXPECT_EQ(first.param("per"), "50");
    EXPECT_EQ(first.param("token"), "tok7");

    struct Row {
        NSInteger row;
        const char* nick;
        const char* detail;
        const char* button;  // nullptr: hidden
    } const rows[] = {
        {0, "小明", "你的微博好友", "followHe"},
        {1, "阿芳", "40个粉丝", "unfollowHe"},
        {2, "阿刚", "共同关注 阿芳", "followHe"},
        {3, "小红", "114个粉丝", nullptr},
    };
    for (const Row& r : rows) {
        auto cell = person(r.row);
        ASSERT_TRUE(cell) << r.row;
        EXPECT_EQ(cell->title()->text(), r.nick);
        EXPECT_EQ(cell->detail()->text(), r.detail);
        EXPECT_EQ(cell->add()->isHidden(), r.button == nullptr) << r.row;
        if (r.button) {
            EXPECT_EQ(cell->add()->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed(r.button));
        }
        EXPECT_FALSE(cell->head()->isUserInteractionEnabled());
        EXPECT_EQ(cell->head()->userInfo()["suid"].stringValue(), std::to_string(3001 + r.row));
        EXPECT_EQ(screen->tableView_heightForRowAtIndexPath(screen->table(), NSIndexPath::indexPathForRow_inSection(r.row, 1)), 54);
    }

    scrollToEnd(screen->table());
    EXPECT_TRUE(screen->isLoadingMore());
    ASSERT_TRUE(pumpMainUntil([&] { return screen->possibleKnownPeoples().count() == standin::kPossibleKnownCount; }));
    EXPECT_EQ(screen->currentPage(), 2);
    EXPECT_FALSE(screen->isLoadingMore());
    EXPECT_EQ(service.server().requests("/m/find-friend.json").at(1).param("page"), "2");

    // The list holds the total: the end of the list asks nothing more.
    scrollToEnd(screen->table());
    ASSERT_TRUE(settled());
    EXPECT_FALSE(screen->isLoadingMore());
    EXPECT_EQ(received("/m/find-friend.json"), 2u);
}

TEST_F(FindFriendTest, FollowButtonsFollowAndUnfollowByTheRowsRelation)
{
    logIn();
    // Row 0 is not followed, row 1 is.
    service.server().route("/m/find-friend.json", standin::possibleKnownWithEveryRelation);
    open();
    struct Case {
        NSInteger row;
        bool unfollow;
        int relationAfter;
        const char* imageAfter;
    } const cases[] = {{0, false, 1, "unfollowHe"}, {1, true, 0, "followHe"}};
    for (const Case& c : cases) {
        const size_t before = posts("/m/follow.json").size();
        tap(person(c.row)->add());
        ASSERT_TRUE(pumpMainUntil(
            [&] { return screen->possibleKnownPeoples()[size_t(c.row)]["relation"].intValue() == c.relationAfter; }));
        const auto sent = posts("/m/follow.json");
        ASSERT_EQ(sent.size(), before + 1);
        const auto form = sent.back().formParams();
        EXPECT_EQ(standin::findParam(form, "suid"), std::to_string(3001 + c.row));
        EXPECT_EQ(standin::findParam(form, "token"), "tok7");
        EXPECT_EQ(standin::findParam(form, "_method").has_value(), c.unfollow) << c.row;
        EXPECT_EQ(person(c.row)->add()->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed(c.imageAfter));
    }
}

TEST_F(FindFriendTest, AnInvitedPersonOpensNothingAndTheButtonGoesByTheRelationsParity)
{
    logIn();
    service.server().route("/m/find-friend.json", [](const standin::Request&) {
        return friendtest::utf8Json(
            R"({"status":200,"result":[{"user":{"suid":"3009","nick":"微博上的阿亮"},"relation":-1,"msg":"你的微博好友"},)"
            R"({"user":{"suid":"3002","nick":"阿芳","fansCnt":7},"relation":0,"msg":""}],"total":2})");
    });
    open();
    auto stranger = person(0);
    EXPECT_EQ(stranger->add()->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed("invite"));
    screen->table()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(0, 1));
    EXPECT_EQ(top(), screen);
    EXPECT_FALSE(screen->table()->indexPathForSelectedRow());
    // -1 is odd: the button stops following, as it does for any odd relation.
    tap(stranger->add());
    ASSERT_TRUE(pumpMainUntil([&] { return posts("/m/follow.json").size() == 1; }));
    ASSERT_TRUE(settled());
    const auto form = posts("/m/follow.json").front().formParams();
    EXPECT_EQ(standin::findParam(form, "suid"), "3009");
    EXPECT_EQ(standin::findParam(form, "_method"), "delete");

    screen->table()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(1, 1));
    auto feed = std::dynamic_pointer_cast<FeedVC>(top());
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->type(), 10);
    EXPECT_EQ(feed->suid().stringValue(), "3002");
}

TEST_F(FindFriendTest, AMicroblogRowListsItsFriendsOnceBoundAndSignsInOtherwise)
{
    useEdition(kTwoMicroblogs);
    // The sign-in pages ask a port nobody listens on, so their first request fails at once.
    ::setenv("OMBRI_LUMO_WEIBO_HOST", "127.0.0.1:1", 1);
    ::setenv("OMBRI_QQ_WEIBO_HOST", "127.0.0.1:1", 1);
    NSLogCapture log(true);
    struct Case {
        NSInteger row;
        const char* boundKey;
        bool bound;
        const char* opens;
    } const cases[] = {
        {0, "bindLumoWeibo", false, "LumoWeiboClient"},
        {0, "bindLumoWeibo", true, "lumo"},
        {1, "bindQWeibo", false, "QQWeiboClient"},
        {1, "bindQWeibo", true, "qq"},
    };
    for (const Case& c : cases) {
        logIn();
        appendUserInfo(Value(c.bound), c.boundKey);
        open();
        screen->table()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(c.row, 0));
        if (c.bound) {
            auto result = std::dynamic_pointer_cast<FindFriendResult>(top());
            ASSERT_TRUE(result) << c.boundKey;
            EXPECT_EQ(result->type(), c.opens);
        } else {
            EXPECT_EQ(top()->className(), c.opens);
            // The client's sign-in request ends before the screens go.
            EXPECT_TRUE(pumpMainUntil([&] { return log.contains("Error Domain="); })) << c.opens;
            log.clear();
        }
        window = nullptr;
        navigation = nullptr;
        screen = nullptr;
    }
    ::unsetenv("OMBRI_LUMO_WEIBO_HOST");
    ::unsetenv("OMBRI_QQ_WEIBO_HOST");
}

TEST_F(FindFriendTest, SearchingOpensTheResultsOfATextAndNothingForAnEmptyOne)
{
    logIn();
    open();
    struct Case {
        const char* typed;
        bool cancel;
        const char* opens;  // nullptr: nothing
    } const cases[] = {{"小", false, "小"}, {"", false, nullptr}, {"阿芳", true, nullptr}};
    for (const Case& c : cases) {
        ASSERT_TRUE(screen->search()->becomeFirstResponder());
        EXPECT_TRUE(screen->search()->showsCancelButton());
        screen->search()->setText("");
        if (*c.typed) {
            ASSERT_TRUE(UIKeyboard::typeText(c.typed));
        }
        if (c.cancel) {
            ASSERT_TRUE(screen->search()->simulateCancelButtonTap());
        } else {
            ASSERT_TRUE(screen->search()->simulateSearchButtonTap());
        }
        EXPECT_FALSE(screen->search()->showsCancelButton()) << c.typed;
        EXPECT_FALSE(screen->search()->isEditing()) << c.typed;
        if (c.opens) {
            auto result = std::dynamic_pointer_cast<FindFriendResult>(top());
            ASSERT_TRUE(result) << c.typed;
            EXPECT_EQ(result->type(), c.opens);
            navigation->popToRootViewControllerAnimated(false);
        } else {
            EXPECT_EQ(top(), screen) << c.typed;
        }
    }
}

}  // namespace FindFriendTest_cpp
}  // namespace
