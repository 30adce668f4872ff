// The follow-and-fans panel as a person uses it from the root controller: the own panel and another
// user's, the list buttons, paging by fifty, following from a row, and replies that come too late.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "ShellTestSupport.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "service/ProfileRoutes.h"
#include "shell/FeedVC.h"
#include "shell/SliderController.h"
#include "social/FindFriendVC.h"
#include "social/FriendVC.h"

namespace {
namespace FriendPanelTest_cpp {

class FriendPanelTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        // The stand-in's feeds are those of user 1001: the account is that user.
        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                         {"token", Value("tok7")},
                                         {"suid", Value("1001")},
                                         {"nick", Value("小明")},
                                         {"username", Value("xiaoming")}}));
    }
    // The root on show with the panel opened on the own lists; waits for the first page.
    Ref<FriendVC> openPanel()
    {
        root = showRoot();
        // The home feed tells the panel whose lists to show when it appears and again with its page.
        EXPECT_TRUE(pumpMainUntil([&] { return root->myFeed() && !root->myFeed()->allInfo().isNil(); }));
        EXPECT_EQ(root->friendList()->suid().stringValue(), "1001");
        SliderToRight();
        clock.advance(SliderController::kSlideDuration);
        auto panel = root->friendList();
        EXPECT_TRUE(pumpMainUntil([&] { return !panel->getCurrentSelectedArray().isNil(); }));
        panel->table()->layoutIfNeeded();
        return panel;
    }
    static Ref<NSIndexPath> at(NSInteger row, NSInteger section) { return NSIndexPath::indexPathForRow_inSection(row, section); }
    static Ref<FriendListCell> personRow(const Ref<FriendVC>& panel, NSInteger row)
    {
        panel->table()->layoutIfNeeded();
        return std::dynamic_pointer_cast<FriendListCell>(
            panel->table()->cellForRowAtIndexPath(at(row, panel->listSection())));
    }
    static std::vector<std::string> names(const Ref<FriendVC>& panel)
    {
        std::vector<std::string> out;
        for (const Value& person : panel->getCurrentSelectedArray().arrayItems()) {
            out.push_back(person["nick"].stringValue());
        }
        return out;
    }
    // Scrolls the list to its end, as a person's drag would.
    static void scrollToEnd(const Ref<FriendVC>& panel)
    {
        auto table = panel->table();
        table->layoutIfNeeded();
        const CGFloat end = std::max<CGFloat>(0, table->contentSize().height - panel->view()->frame().size.height);
        table->setContentOffset(CGPointMake(0, std::max<CGFloat>(0, end - 100)));
        table->setContentOffset(CGPointMake(0, end));
    }
    // Taps the follow button of a row through the window.
    void tapFollowButton(const Ref<FriendVC>& panel, NSInteger row)
    {
        auto cell = personRow(panel, row);
        ASSERT_TRUE(cell);
        panel->table()->scrollToRowAtIndexPath_atScrollPosition_animated(at(row, panel->listSection()),
                                                                        UITableViewScrollPositionMiddle, false);
        panel->table()->layoutIfNeeded();
        cell = personRow(panel, row);
        auto button = cell->addOrRemove();
        const CGPoint point = button->convertPoint_toView(CGPointMake(30, 14), nullptr);
        EXPECT_EQ(window->simulateTap(point), button);
    }
    std::vector<std::string> pagesAsked(const std::string& path) const
    {
        std::vector<std::string> pages;
        for (const auto& request : service.server().requests(path)) {
            pages.push_back(request.param("page").value_or(""));
        }
        return pages;
    }

    Ref<RootViewController> root;
};

TEST_F(FriendPanelTest, OwnPanelHasTheFindFriendsRowAndAnotherUsersOnlyTheList)
{
    auto panel = openPanel();
    ASSERT_TRUE(panel->isSelf()) << panel->suid().description() << " " << getSelfSuid().description();
    auto table = panel->table();
    EXPECT_EQ(table->frame(), CGRectMake(0, 0, 320, 460));
    ASSERT_EQ(table->numberOfSections(), 2);
    EXPECT_EQ(table->numberOfRowsInSection(0), 1);
    EXPECT_EQ(table->numberOfRowsInSection(1), 9);
    EXPECT_EQ(panel->tableView_heightForHeaderInSection(table, 0), 0);
    EXPECT_FALSE(panel->tableView_viewForHeaderInSection(table, 0));
    EXPECT_EQ(panel->tableView_heightForHeaderInSection(table, 1), 31);
    ASSERT_TRUE(panel->followBtn() && panel->fansBtn());
    EXPECT_EQ(panel->followBtn()->titleForState(UIControlStateNormal), "关注");
    EXPECT_EQ(panel->fansBtn()->titleForState(UIControlStateNormal), "粉丝");
    EXPECT_EQ(panel->followBtn()->frame(), CGRectMake(75, 0, 100, 31));
    EXPECT_EQ(panel->fansBtn()->frame(), CGRectMake(180, 0, 100, 31));
    EXPECT_TRUE(panel->followBtn()->isSelected());
    EXPECT_FALSE(panel->fansBtn()->isSelected());
    const auto asked = service.server().requests("/m/relation/follow.json");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].param("suid"), "1001");
    EXPECT_EQ(asked[0].param("page"), "1");
    EXPECT_EQ(asked[0].param("per"), "50");
    auto first = personRow(panel, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name()->text(), "阿芳");
    EXPECT_EQ(first->addOrRemove()->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed("unfollowHe"));

    // The find-friends row opens the screen on the stack the container gave, with the panel closed.
    ASSERT_TRUE(table->simulateTapOnRowAtIndexPath(at(0, 0)));
    EXPECT_EQ(root->topView()->center().x, 160);
    EXPECT_TRUE(std::dynamic_pointer_cast<FindFriendVC>(root->feedNavi()->topViewController()));

}

TEST_F(FriendPanelTest, AnotherUsersPanelHasOnlyTheListAndAPersonOpensTheirFeed)
{
    auto panel = openPanel();
    auto table = panel->table();
    // Another user's panel: the list alone; a person opens that person's feed.
    SliderSetFriendInfo(Value("2001"), root->feedNavi());
    EXPECT_FALSE(panel->isSelf());
    EXPECT_TRUE(panel->followings().isNil());
    EXPECT_EQ(table->numberOfSections(), 1);
    panel->getDataFromWeb();
    ASSERT_TRUE(pumpMainUntil([&] { return panel->followings().count() == 9; }));
    EXPECT_EQ(service.server().requests("/m/relation/follow.json").back().param("suid"), "2001");
    EXPECT_EQ(table->numberOfRowsInSection(0), 9);
    table->layoutIfNeeded();
    table->simulateTapOnRowAtIndexPath(at(1, 0));
    auto feed = std::dynamic_pointer_cast<FeedVC>(root->lastDisplayedNavi()->topViewController());
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->suid().stringValue(), "2001");
}

TEST_F(FriendPanelTest, ListButtonsSwitchWithoutAskingAgainForAListHeld)
{
    auto panel = openPanel();
    EXPECT_EQ(names(panel).front(), "阿芳");
    panel->fansBtn()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(panel->currentSelect(), FriendVC::kFansList);
    ASSERT_TRUE(pumpMainUntil([&] { return panel->fans().count() == 7; }));
    EXPECT_EQ(names(panel).front(), "爱旅行的猫");
    EXPECT_EQ(panel->table()->numberOfRowsInSection(1), 7);
    EXPECT_TRUE(panel->fansBtn()->isSelected());
    EXPECT_FALSE(panel->followBtn()->isSelected());

    // Back and forth: the lists held, nothing asked.
    for (int pass = 0; pass < 2; ++pass) {
        panel->followBtn()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        EXPECT_EQ(panel->table()->numberOfRowsInSection(1), 9);
        EXPECT_TRUE(panel->followBtn()->isSelected());
        panel->fansBtn()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        EXPECT_EQ(panel->table()->numberOfRowsInSection(1), 7);
    }
    drainMain();
    EXPECT_EQ(received("/m/relation/follow.json"), 1u);
    EXPECT_EQ(received(standin::kFansPath), 1u);

    // Each time the panel appears the list on show is asked afresh.
    panel->getDataFromWeb();
    EXPECT_TRUE(waitForReceived(standin::kFansPath, 2));
}

TEST_F(FriendPanelTest, PagesAreAskedUntilTheTotalCountedInTwentiesIsReached)
{
    // A page holds fifty people but the number of pages is total / 20 + 1, so the pages past the
    // real end are asked and come back empty; only then does paging stop.
    const struct {
        size_t count;
        long total;
        std::vector<std::string> pages;
        size_t rows;
    } cases[] = {
        {120, -1, {"1", "2", "3", "4", "5", "6", "7"}, 120},
        {40, 40, {"1", "2", "3"}, 40},
        {49, 49, {"1", "2", "3"}, 49},
        {19, 19, {"1"}, 19},
        {20, 20, {"1", "2"}, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        service.server().clearRequests();
        standin::installRelationPages(service.server(), c.count, 3, c.total);
        auto panel = openPanel();
        ASSERT_EQ(panel->followings().count(), std::min<size_t>(c.count, 50));
        for (int scroll = 0; scroll < 9; ++scroll) {
            scrollToEnd(panel);
            pumpMainUntil([&] { return !panel->isLoadingMore(); });
        }
        EXPECT_EQ(pagesAsked("/m/relation/follow.json"), c.pages);
        EXPECT_EQ(panel->followings().count(), c.rows);
        EXPECT_EQ(panel->followcurrentPage(), int(c.pages.size()));
        EXPECT_EQ(panel->table()->numberOfRowsInSection(1), NSInteger(c.rows));
        g_root = nullptr;
        window->setHidden(true);
        drainMain();
    }
}

TEST_F(FriendPanelTest, RowsShowWholeBesideTheMainViewThatStaysOnTheLeft)
{
    auto panel = openPanel();
    const Ref<UIView> main = root->topView();
    const CGFloat mainRight = CGRectGetMaxX(main->convertRect_toView(main->bounds(), nullptr));
    ASSERT_GT(mainRight, 0) << "the main view keeps a strip on the screen";
    auto person = personRow(panel, 0);
    ASSERT_TRUE(person);
    for (const Ref<UIView>& part : {Ref<UIView>(person->head()), Ref<UIView>(person->name()), Ref<UIView>(person->addOrRemove())}) {
        const CGRect onScreen = part->convertRect_toView(part->bounds(), nullptr);
        EXPECT_GE(CGRectGetMinX(onScreen), mainRight);
        EXPECT_LE(CGRectGetMaxX(onScreen), window->bounds().size.width);
    }
}

TEST_F(FriendPanelTest, AFailedPageMayBeAskedAgainByScrolling)
{
    standin::installRelationPages(service.server(), 80, 3);
    auto panel = openPanel();
    service.server().addFault("/m/relation/follow.json", standin::Fault::closeWithoutAnswer().persistent());
    scrollToEnd(panel);
    ASSERT_TRUE(pumpMainUntil([&] { return !panel->isLoadingMore(); }));
    EXPECT_EQ(panel->followings().count(), 50u);
    service.server().clearFaults("/m/relation/follow.json");
    scrollToEnd(panel);
    ASSERT_TRUE(pumpMainUntil([&] { return panel->followings().count() == 80; }));
    const auto pages = pagesAsked("/m/relation/follow.json");
    EXPECT_EQ(pages.front(), "1");
    EXPECT_EQ(pages.back(), "2");
    EXPECT_GE(pages.size(), 3u) << "page 2 is asked again after it failed";
}

TEST_F(FriendPanelTest, FollowButtonSendsByTheRelationAndShowsTheRelationAnswered)
{
    standin::installRelationPages(service.server(), 9, 7);
    auto panel = openPanel();
    const struct {
        int list;
        NSInteger row;
        std::string suid;
        bool stops;
        int answered;
        const char* image;
    } cases[] = {
        {FriendVC::kFollowList, 0, "2000", true, 0, "followHe"},     // followed (1): stops following
        {FriendVC::kFollowList, 2, "2002", true, 2, "followHe"},     // mutual (3)
        {FriendVC::kFollowList, 0, "2000", false, 1, "unfollowHe"},  // follows again
        {FriendVC::kFansList, 0, "3000", false, 3, "unfollowHe"},    // a fan not followed (2)
        {FriendVC::kFansList, 1, "3001", true, 2, "followHe"},
    };
    size_t posts = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suid);
        if (panel->currentSelect() != c.list) {
            panel->switchTo(c.list);
            ASSERT_TRUE(pumpMainUntil([&] { return !panel->getCurrentSelectedArray().isNil(); }));
        }
        tapFollowButton(panel, c.row);
        ASSERT_TRUE(waitForReceived(standin::kFollowPostPath, ++posts));
        const auto form = service.server().requests(standin::kFollowPostPath).back().formParams();
        EXPECT_EQ(standin::findParam(form, "suid"), c.suid);
        EXPECT_EQ(standin::findParam(form, "token"), "tok7");
        EXPECT_EQ(standin::findParam(form, "_method").has_value(), c.stops);
        ASSERT_TRUE(pumpMainUntil(
            [&] { return panel->getCurrentSelectedArray()[size_t(c.row)]["type"].intValue() == c.answered; }));
        EXPECT_EQ(personRow(panel, c.row)->addOrRemove()->backgroundImageForState(UIControlStateNormal),
                  UIImage::imageNamed(c.image));
    }
}

TEST_F(FriendPanelTest, AFollowReplyForAListNoLongerHeldIsDropped)
{
    standin::installRelationPages(service.server(), 9, 7);
    auto panel = openPanel();
    // The service holds the follow answer until the test lets it go.
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    service.server().route(standin::kFollowPostPath, [released](const standin::Request&) {
        released.wait_for(std::chrono::seconds(10));
        standin::Response response;
        response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
        response.body = R"({"status":200,"msg":"操作成功","type":0})";
        return response;
    });
    tapFollowButton(panel, 6);
    ASSERT_EQ(panel->runningFollows(), 1u);

    // Meanwhile the panel turns to another user; the reply changes nothing of the new lists.
    SliderSetFriendInfo(Value("2001"), root->feedNavi());
    release->set_value();
    ASSERT_TRUE(pumpMainUntil([&] { return panel->runningFollows() == 0; }));
    EXPECT_TRUE(panel->followings().isNil());
    panel->getDataFromWeb();
    ASSERT_TRUE(pumpMainUntil([&] { return panel->followings().count() == 9; }));
    EXPECT_EQ(panel->followings()[6]["type"].intValue(), 1);
}

}  // namespace FriendPanelTest_cpp
}  // namespace
