// The find-friends results as a person uses them: a microblog's friends (with invitations for those
// not on the service) and search results, following from a row, the empty list that goes back, and
// which lists ask further pages.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FriendTestSupport.h"
#include "net/http/HTTPRequest.h"
#include "shell/ombriAppDelegate.h"
#include "social/FindFriendVC.h"
#include "social/IdolTVC.h"
#include "widgets/ProgressHUD.h"
#include "platform/uikit/UIImage.h"
#include "service/FriendRoutes.h"
#include "shell/FeedVC.h"
#include "social/FindFriendResult.h"
#include "social/PossibleKnownCell.h"

namespace {
namespace FindFriendResultTest_cpp {

class FindFriendResultTest : public friendtest::FriendTest {
protected:
    void open(const std::string& kind, bool waitForRows = true)
    {
        // A root screen below, so that going back has somewhere to go.
        show(UIViewController::create());
        result = FindFriendResult::myinit(kind);
        navigation->pushViewController_animated(result, false);
        if (waitForRows) {
            ASSERT_TRUE(pumpMainUntil([&] { return result->userResult().count() > 0; }));
        }
    }
    Ref<PossibleKnownCell> row(NSInteger index)
    {
        return std::dynamic_pointer_cast<PossibleKnownCell>(cellAt(result->tableView(), index));
    }
    Ref<UIViewController> top() { return navigation->topViewController(); }

    Ref<FindFriendResult> result;
};

TEST_F(FindFriendResultTest, EachKindAsksItsListAndFillsItsRows)
{
    logIn();
    useEdition("");
    struct Case {
        const char* kind;
        const char* path;
        std::vector<std::pair<const char*, const char*>> query;
        const char* nick;
        const char* detail;
    } const cases[] = {
        {"qq", "/m/v2_weibofriends.json", {{"othertype", "2"}, {"page", "1"}, {"per", "20"}}, "西湖边的猫", "还没注册乐拍账号"},
        {"lumo", "/m/v2_weibofriends.json", {{"othertype", "3"}, {"page", "1"}, {"per", "20"}}, "西湖边的猫", "还没注册乐拍账号"},
        {"小", "/m/search-user.json", {{"keyword", "小"}, {"page", "1"}, {"per", "50"}}, "小明", "3个粉丝"},
    };
    for (const Case& c : cases) {
        const size_t before = received(c.path);
        open(c.kind);
        EXPECT_EQ(result->title(), "查找结果");
        ASSERT_EQ(received(c.path), before + 1);
        const standin::Request asked = service.server().requests(c.path).back();
        EXPECT_EQ(asked.param("token"), "tok7");
        for (const auto& [key, value] : c.query) {
            EXPECT_EQ(asked.param(key), value) << c.kind << " " << key;
        }
        auto first = row(0);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->title()->text(), c.nick) << c.kind;
        EXPECT_EQ(first->detail()->text(), c.detail) << c.kind;
        EXPECT_EQ(result->tableView_heightForRowAtIndexPath(result->tableView(), NSIndexPath::indexPathForRow_inSection(0, 0)), 54);
    }
}

// The three lines a microblog friend's row may show, and the buttons beside them.
TEST_F(FindFriendResultTest, MicroblogFriendRowsTellWhoIsOnTheService)
{
    logIn();
    useEdition("");
    service.server().route("/m/v2_weibofriends.json", [](const standin::Request&) {
        return friendtest::utf8Json(
            R"({"status":200,"result":[)"
            R"({"weibo":{"nick":"晴天娃娃","icon":"","name":"sunny"},"relation":-1},)"
            R"({"weibo":{"nick":"摄影师老陈","icon":"","name":"chen"},"relation":1,"user":{"suid":"3005","nick":"老陈"}},)"
            R"({"weibo":{"nick":"吃货小分队","icon":"","name":"foodie"},"relation":0}]})");
    });
    open("lumo");
    struct Case {
        NSInteger row;
        const char* nick;
        const char* detail;
        const char* button;
    } const cases[] = {
        {0, "晴天娃娃", "还没注册乐拍账号", "invite"},
        {1, "摄影师老陈", "老陈", "unfollowHe"},
        {2, "吃货小分队", "已经在使用乐拍", "followHe"},
    };
    for (const Case& c : cases) {
        auto cell = row(c.row);
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->title()->text(), c.nick);
        EXPECT_EQ(cell->detail()->text(), c.detail);
        EXPECT_FALSE(cell->add()->isHidden());
        EXPECT_EQ(cell->add()->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed(c.button)) << c.row;
    }
    // Someone not on the service has no page to open; someone who is has.
    result->tableView()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(0, 0));
    EXPECT_EQ(top(), result);
    EXPECT_FALSE(result->tableView()->indexPathForSelectedRow());
    result->tableView()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(1, 0));
    auto feed = std::dynamic_pointer_cast<FeedVC>(top());
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->type(), 10);
    EXPECT_EQ(feed->suid().stringValue(), "3005");
}

TEST_F(FindFriendResultTest, AnInvitationPostsToTheFriendsMicroblogAndTellsHowItWent)
{
    logIn();
    useEdition("");
    struct Case {
        const char* kind;
        const char* path;
        int status;
        const char* alertTitle;
        const char* alertMessage;
    } const cases[] = {
        {"lumo", "/m/share-weibo.json", 200, "已成功分享到微博", ""},
        {"qq", "/m/share-qweibo.json", 200, "已成功分享到微博", ""},
        {"lumo", "/m/share-weibo.json", 500, "网络失败", "微博授权已过期"},
    };
    for (const Case& c : cases) {
        if (c.status != 200) {
            service.server().route(c.path, [status = c.status](const standin::Request&) {
                return friendtest::utf8Json(R"({"status":)" + std::to_string(status) + R"(,"msg":"微博授权已过期"})");
            });
        }
        UIAlertView::resetRecords();
        open(c.kind);
        const size_t before = posts(c.path).size();
        tap(row(0)->add());
        ASSERT_TRUE(pumpMainUntil([&] { return !UIAlertView::visibleAlerts().empty(); })) << c.kind;
        const auto sent = posts(c.path);
        ASSERT_EQ(sent.size(), before + 1);
        const auto form = sent.back().formParams();
        const std::string name = std::string(c.kind) + "_friend_1";
        EXPECT_EQ(standin::findParam(form, "msg"),
                  "@" + name + " hi，我是小明，我在#乐拍#玩的很开心，邀请你也和我一起玩吧");
        EXPECT_EQ(standin::findParam(form, "token"), "tok7");
        EXPECT_EQ(standin::findParam(form, "scid").value_or(""), "");
        if (std::string(c.kind) == "lumo") {
            EXPECT_EQ(standin::findParam(form, "othertype"), "3");
        }
        auto alert = UIAlertView::currentAlert();
        EXPECT_EQ(alert->title(), c.alertTitle);
        EXPECT_EQ(alert->message(), c.alertMessage);
        EXPECT_EQ(alert->buttonTitleAtIndex(0), "确定");
        alert->simulateClickButtonAtIndex(0);
        EXPECT_EQ(top(), result);
        EXPECT_TRUE(posts("/m/follow.json").empty());
    }
}

TEST_F(FindFriendResultTest, FollowingFromARowShowsTheNewRelation)
{
    logIn();
    open("小");
    struct Case {
        NSInteger row;
        bool unfollow;
        const char* imageAfter;
    } const cases[] = {{0, false, "unfollowHe"}, {0, true, "followHe"}};
    for (const Case& c : cases) {
        const size_t before = posts("/m/follow.json").size();
        tap(row(c.row)->add());
        ASSERT_TRUE(pumpMainUntil([&] { return posts("/m/follow.json").size() == before + 1; }));
        ASSERT_TRUE(pumpMainUntil([&] {
            return row(c.row)->add()->backgroundImageForState(UIControlStateNormal) == UIImage::imageNamed(c.imageAfter);
        }));
        const auto form = posts("/m/follow.json").back().formParams();
        EXPECT_EQ(standin::findParam(form, "suid"), "3001");
        EXPECT_EQ(standin::findParam(form, "_method").has_value(), c.unfollow);
    }
}

TEST_F(FindFriendResultTest, AnEmptyListSaysSoAndGoesBack)
{
    logIn();
    struct Case {
        const char* kind;
        const char* path;
    } const cases[] = {{"没有这个人", "/m/search-user.json"}, {"qq", "/m/v2_weibofriends.json"}};
    for (const Case& c : cases) {
        service.server().route(c.path, [](const standin::Request&) {
            return friendtest::utf8Json(R"({"status":200,"msg":"","result":[],"total":0})");
        });
        UIAlertView::resetRecords();
        open(c.kind, false);
        ASSERT_TRUE(pumpMainUntil([&] { return !UIAlertView::visibleAlerts().empty(); })) << c.kind;
        auto alert = UIAlertView::currentAlert();
        EXPECT_EQ(alert->title(), "结果为空");
        EXPECT_EQ(alert->message(), "");
        EXPECT_EQ(alert->numberOfButtons(), 1);
        EXPECT_EQ(alert->buttonTitleAtIndex(0), "确定");
        EXPECT_EQ(top(), result);
        alert->simulateClickButtonAtIndex(0);
        EXPECT_NE(top(), result) << c.kind;
        EXPECT_EQ(navigation->viewControllers().size(), 1u);
    }
}

TEST_F(FindFriendResultTest, FriendListsAskAgainAtEveryBottomWhileASearchNeverPages)
{
    logIn();
    open("qq");
    ASSERT_EQ(result->userResult().count(), 20u);
    // Page 2 holds the last five friends, page 3 nobody; the list still asks page 4 at the bottom.
    for (size_t page = 2; page <= 4; ++page) {
        scrollToEnd(result->tableView());
        ASSERT_TRUE(pumpMainUntil([&] { return result->currentPage() == int(page); })) << page;
        EXPECT_EQ(service.server().requests("/m/v2_weibofriends.json").back().param("page"), std::to_string(page));
        EXPECT_FALSE(result->isLoadingMore());
    }
    EXPECT_EQ(result->userResult().count(), standin::kWeiboFriendCount);

    window = nullptr;
    navigation = nullptr;
    result = nullptr;
    // Ten people found: the list is longer than the screen, and its end asks nothing.
    service.server().route("/m/search-user.json", [](const standin::Request&) {
        std::string items;
        for (int index = 0; index < 10; ++index) {
            items += std::string(index ? "," : "") + R"({"user":{"suid":")" + std::to_string(4000 + index) +
                     R"(","nick":"阿杰)" + std::to_string(index) + R"(","fansCnt":1},"relation":0,"msg":""})";
        }
        return friendtest::utf8Json(R"({"status":200,"result":[)" + items + "]}");
    });
    open("阿杰");
    ASSERT_EQ(result->userResult().count(), 10u);
    scrollToEnd(result->tableView());
    ASSERT_TRUE(settled());
    EXPECT_FALSE(result->isLoadingMore());
    EXPECT_EQ(received("/m/search-user.json"), 1u);
}

// A page lost on the way shows the network error box; a lost first page leaves the list empty, and
// after a lost further page the list asks nothing more while the screen lives.
TEST_F(FindFriendResultTest, ALostPageShowsTheNetworkErrorAndNoFurtherPageIsAsked)
{
    logIn();
    auto delegate = ombriAppDelegate::create();
    UIApplication::sharedApplication()->setDelegate(delegate);
    windowMade = [&delegate](const Ref<UIWindow>& made) { delegate->setWindow(made); };
    struct Case {
        const char* what;
        const char* path;
        bool firstPage;
        std::function<Ref<UITableView>()> open;
        std::function<size_t()> held;
        std::function<bool()> loadingMore;
    };
    Ref<FindFriendVC> friends;
    Ref<IdolTVC> idols;
    const Case cases[] = {
        {"recommended people, page 1", "/m/people.json", true,
         [&] { idols = show(IdolTVC::create()); return idols->table(); },
         [&] { return size_t(idols->result().count()); }, [&] { return idols->isLoadingMore(); }},
        {"people one may know, page 2", "/m/find-friend.json", false,
         [&] {
             friends = show(FindFriendVC::create());
             EXPECT_TRUE(pumpMainUntil([&] { return friends->possibleKnownPeoples().count() > 0; }));
             return friends->table();
         },
         [&] { return size_t(friends->possibleKnownPeoples().count()); }, [&] { return friends->isLoadingMore(); }},
        {"microblog friends, page 2", "/m/v2_weibofriends.json", false,
         [&] {
             open("qq");
             return result->tableView();
         },
         [&] { return size_t(result->userResult().count()); }, [&] { return result->isLoadingMore(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.firstPage) {
            service.server().addFault(c.path, standin::Fault::closeWithoutAnswer());
        }
        const Ref<UITableView> table = c.open();
        const size_t before = c.held();
        if (!c.firstPage) {
            // Every attempt: a connection reused from the first page is tried again once on a new one.
            service.server().addFault(c.path, standin::Fault::closeWithoutAnswer().persistent());
            scrollToEnd(table);
        }
        auto box = [&]() -> Ref<ProgressHUD> {
            for (const Ref<UIView>& view : window->subviews()) {
                if (auto hud = std::dynamic_pointer_cast<ProgressHUD>(view)) {
                    return hud;
                }
            }
            return nullptr;
        };
        ASSERT_TRUE(pumpMainUntil([&] { return box() != nullptr; }));
        EXPECT_EQ(box()->labelText(), "网络连接有问题");
        EXPECT_EQ(c.held(), before);
        EXPECT_EQ(c.loadingMore(), !c.firstPage);
        const size_t asked = received(c.path);
        scrollToEnd(table);
        ASSERT_TRUE(settled());
        EXPECT_EQ(received(c.path), asked);
        window = nullptr;
        navigation = nullptr;
        friends = nullptr;
        idols = nullptr;
        result = nullptr;
        service.server().clearFaults(c.path);
    }
    UIApplication::sharedApplication()->setDelegate(nullptr);
}

// A screen that goes takes its page requests with it: nothing is left running for the service to
// answer.
TEST_F(FindFriendResultTest, AScreenThatGoesCancelsItsPageRequests)
{
    logIn();
    struct Case {
        const char* path;
        std::function<Weak<UIViewController>()> open;
    } const cases[] = {
        {"/m/find-friend.json", [&] { return Weak<UIViewController>(show(FindFriendVC::create())); }},
        {"/m/search-user.json", [&] {
             open("小", false);
             Weak<UIViewController> weak = result;
             result = nullptr;
             return weak;
         }},
    };
    for (const Case& c : cases) {
        service.server().addFault(c.path, standin::Fault::hangUntilStopped());
        const size_t before = received(c.path);
        Weak<UIViewController> screen = c.open();
        ASSERT_TRUE(pumpMainUntil([&] { return HTTPRequest::sharedQueue()->operations().size() == 1u; })) << c.path;
        window = nullptr;
        navigation = nullptr;
        ASSERT_TRUE(pumpMainUntil([&] { return screen.expired(); })) << c.path;
        ASSERT_TRUE(pumpMainUntil([&] { return HTTPRequest::sharedQueue()->operations().empty(); })) << c.path;
        EXPECT_LE(received(c.path), before + 1);
        service.server().clearFaults(c.path);
    }
}

}  // namespace FindFriendResultTest_cpp
}  // namespace
