// The feed screen read as a person uses it: each kind's first page, paging, pulls, the refresh
// button, failures, the nearby feed's location, the notifications and the web actions.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "FeedTestSupport.h"
#include "HugeTotals.h"
#include "api/Tool.h"
#include "capture/PPlayer.h"
#include "fixtures/GrowingMovie.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/CALayer.h"
#include "platform/foundation/Clock.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationItem.h"
#include "service/Fault.h"
#include "shell/FeedBars.h"
#include "shell/FeedCellFull.h"
#include "shell/HeaderView.h"
#include "shell/UploadControl.h"
#include "shell/VideoMainPage.h"
#include "social/MessageBoxVC.h"
#include "social/SquareVC.h"
#include "widgets/WebViewController.h"

namespace {
namespace FeedVCTest_cpp {

using feedtest::FeedTest;

std::string query(const standin::Request& request)
{
    return request.query;
}

class FeedVCTest : public FeedTest {
protected:
    // A feed of the kind on show, its first page arrived.
    Ref<FeedVC> open(int type, const Value& suid = Value())
    {
        auto feed = FeedVC::myinitWithType_andSuid(type, suid);
        show(feed);
        EXPECT_TRUE(firstPage(feed));
        return feed;
    }
    // Drags the table to its bottom and lets go.
    void dragToBottom(const Ref<FeedVC>& feed)
    {
        const Ref<UITableView> table = feed->table();
        const CGFloat bottom = std::max<CGFloat>(0, table->contentSize().height - table->bounds().size.height);
        table->setContentOffset(CGPointZero);
        table->simulateDrag(CGPointMake(0, bottom));
    }
    // Pulls the list down past the threshold and lets go.
    void pull(const Ref<FeedVC>& feed)
    {
        const Ref<UITableView> table = feed->table();
        table->setContentOffset(CGPointZero);
        table->simulateBeginDragging();
        table->simulateDragToContentOffset(CGPointMake(0, -70));
        table->simulateEndDragging(false);
    }
};

TEST_F(FeedVCTest, EveryKindAsksForItsFirstPageAndTakesItsTitle)
{
    logIn();
    CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(30.25, 120.125));
    const struct {
        int type;
        const char* suid;
        const char* path;
        const char* query;
        const char* title;
        size_t requestsOnShow;  // the home feed asks again each time it appears
        CGFloat tableHeight;
        bool pullHeader;
        bool userHeader;
        bool recordMenu;
        bool whiteBackground;
    } cases[] = {
        {FeedTypeHome, "1001", "/m/v2_feed.json", "suid=&token=5f2b7c0e9a1d4e3f&page=1&per=20", "首页", 2, 416, false,
         true, true, false},
        {FeedTypeNewest, "1001", "/m/v2_recent.json", "token=5f2b7c0e9a1d4e3f&page=1&per=20", "最新", 1, 416, true,
         false, true, true},
        {FeedTypeMine, "1001", "/m/v2_user.json", "suid=1001&token=5f2b7c0e9a1d4e3f&page=1&per=20", "我的", 1, 416,
         false, true, true, false},
        {FeedTypeUser, "1004", "/m/v2_user.json", "suid=1004&token=5f2b7c0e9a1d4e3f&page=1&per=20", "林小雨", 1, 416,
         false, true, false, false},
        {FeedTypePlaza, "", "/m/v2_plaza.json", "page=1&per=20", "推荐", 1, 416, true, false, true, true},
        {FeedTypeNearby, "", "/m/v2_near.json", "location=30.250000,120.125000&page=1&per=20", "附近", 1, 416, true,
         false, true, true},
        {FeedTypeTopic, "t4001", "/m/v2_topic.json", "token=5f2b7c0e9a1d4e3f&stpid=t4001&page=1&per=20", "#西湖#",
         1, 372, true, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + std::string(" kind ") + std::to_string(c.type));
        const size_t before = requests(c.path).size();
        auto feed = open(c.type, c.suid);
        const auto made = requests(c.path);
        ASSERT_EQ(made.size(), before + c.requestsOnShow);
        EXPECT_EQ(query(made.back()), c.query);
        EXPECT_EQ(feed->title(), c.title);
        EXPECT_EQ(feed->table()->frame().size.height, c.tableHeight);
        EXPECT_EQ(feed->refreshHeaderView() != nullptr, c.pullHeader);
        EXPECT_EQ(feed->table()->tableHeaderView() != nullptr, c.userHeader);
        EXPECT_EQ(feed->coolMenu() != nullptr, c.recordMenu);
        EXPECT_EQ(feed->view()->backgroundColor()->isEqual(UIColor::whiteColor().get()), c.whiteBackground);
        EXPECT_EQ(feed->total(), standin::kFeedTotal);
        // The home feed puts the advertisement first.
        const size_t items = c.type == FeedTypeHome ? 21 : 20;
        EXPECT_EQ(feed->channels().count(), items);
        EXPECT_EQ(feed->table()->numberOfRowsInSection(0), NSInteger(items));
        EXPECT_EQ(feed->table()->tableFooterView(), nullptr);
    }
    // The kinds that take their title from the page have none before it.
    auto topic = FeedVC::myinitWithType_andSuid(FeedTypeTopic, "t4001");
    topic->view();
    EXPECT_EQ(topic->title(), "");
    EXPECT_EQ(FeedVC::myinitWithType_andSuid(99, "x")->getRequestAtPage(1), nullptr);
}

TEST_F(FeedVCTest, FirstPageReplacesTheListTheHeaderAndTheFooter)
{
    logIn();
    // A user's page takes the header's user, its relation and its nick.
    auto user = open(FeedTypeUser, "1004");
    EXPECT_EQ(user->userInfo()["nick"].stringValue(), "林小雨");
    EXPECT_EQ(user->relation(), 2);
    EXPECT_EQ(user->currentPage(), 1);

    // The header's suid replaces the one the page was opened with.
    service.server().route("/m/v2_user.json", [](const standin::Request&) {
        return feedtest::jsonReply(
            standin::feedPageReply(1, 20, 0, R"("header":{"suid":"1005","nick":"大熊"},"relation":3)"));
    });
    auto renamed = open(FeedTypeUser, "old-id");
    EXPECT_EQ(renamed->suid().stringValue(), "1005");
    EXPECT_EQ(renamed->title(), "大熊");
    EXPECT_EQ(renamed->relation(), 3);
    // An empty list shows the empty footer: 320 x 500 on the yellow pattern, its label grey and bold.
    const Ref<UIView> footer = renamed->table()->tableFooterView();
    ASSERT_NE(footer, nullptr);
    EXPECT_TRUE(CGSizeEqualToSize(footer->frame().size, CGSizeMake(320, 500)));
    ASSERT_EQ(footer->subviews().size(), 1u);
    auto label = std::dynamic_pointer_cast<UILabel>(footer->subviews()[0]);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(CGRectEqualToRect(label->frame(), CGRectMake(0, 20, 320, 20)));
    EXPECT_EQ(label->text(), "");

    // A later first page with items removes it.
    service.server().route("/m/v2_user.json", [](const standin::Request&) {
        return feedtest::jsonReply(standin::feedPageReply(1, 20, 3, R"("header":{"suid":"1005","nick":"大熊"})"));
    });
    renamed->forceGetContentFromWeb();
    ASSERT_TRUE(settle(renamed));
    EXPECT_EQ(renamed->channels().count(), 3u);
    EXPECT_EQ(renamed->table()->tableFooterView(), nullptr);
}

TEST_F(FeedVCTest, TheHomeFeedsAdvertisementComesFirstUntilItIsClosed)
{
    logIn();
    auto home = open(FeedTypeHome);
    ASSERT_EQ(home->channels().count(), 21u);
    EXPECT_EQ(home->channels()[0]["type"].stringValue(), "ad");
    EXPECT_EQ(home->channels()[0]["pos"]["data"].stringValue(), "t4001");
    EXPECT_EQ(titles(home)[1], "西湖边的傍晚");

    // Closing removes exactly the advertisement; a second close removes nothing.
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kAdCloseClickedNotification);
    EXPECT_EQ(home->channels().count(), 20u);
    EXPECT_EQ(titles(home)[0], "西湖边的傍晚");
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kAdCloseClickedNotification);
    EXPECT_EQ(home->channels().count(), 20u);

    // Closed for today: the next page 1 leaves it out.
    SetAdClosed();
    home->forceGetContentFromWeb();
    ASSERT_TRUE(settle(home));
    EXPECT_EQ(home->channels().count(), 20u);
    EXPECT_EQ(titles(home)[0], "西湖边的傍晚");
}

TEST_F(FeedVCTest, ScrollingToTheBottomLoadsPagesUntilTheListEnds)
{
    logIn();
    auto newest = open(FeedTypeNewest);
    // 45 items: pages 2 and 3, never a page 4.
    for (int page = 2; page <= 4; ++page) {
        SCOPED_TRACE(page);
        dragToBottom(newest);
        ASSERT_TRUE(settle(newest));
        EXPECT_FALSE(newest->isLoadingMore());
    }
    const auto made = requests("/m/v2_recent.json");
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(query(made[1]), "token=5f2b7c0e9a1d4e3f&page=2&per=20");
    EXPECT_EQ(query(made[2]), "token=5f2b7c0e9a1d4e3f&page=3&per=20");
    EXPECT_EQ(newest->currentPage(), 3);
    EXPECT_EQ(newest->channels().count(), 45u);
    EXPECT_EQ(newest->table()->numberOfRowsInSection(0), 45);

    // A next page that arrives empty changes nothing.
    service.server().route("/m/v2_recent.json", [](const standin::Request& request) {
        const int page = std::atoi(request.param("page").value_or("1").c_str());
        return feedtest::jsonReply(page == 1 ? standin::feedPageReply(1, 20, 60) : standin::feedPageReply(9, 20, 60));
    });
    newest->forceGetContentFromWeb();
    ASSERT_TRUE(settle(newest));
    dragToBottom(newest);
    ASSERT_TRUE(settle(newest));
    EXPECT_EQ(newest->currentPage(), 1);
    EXPECT_EQ(newest->channels().count(), 20u);
}

TEST_F(FeedVCTest, AHugeTotalStillPagesOnWithoutOverflow)
{
    logIn();
    for (const char* total : hugetotals::kHugeTotals) {
        SCOPED_TRACE(total);
        service.server().route("/m/v2_recent.json", [total](const standin::Request& request) {
            const int page = std::atoi(request.param("page").value_or("1").c_str());
            return feedtest::jsonReply(hugetotals::withTotal(standin::feedPageReply(page, 20, 60), total));
        });
        auto newest = open(FeedTypeNewest);
        dragToBottom(newest);
        ASSERT_TRUE(settle(newest));
        EXPECT_EQ(newest->currentPage(), 2);
        EXPECT_EQ(newest->channels().count(), 40u);
    }
}

TEST_F(FeedVCTest, APullReplacesTheRunningFirstPageWhoseReplyIsIgnored)
{
    logIn();
    auto plaza = open(FeedTypePlaza);
    // The next page-1 request waits at a gate; the one after it answers a list of its own.
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    bool arrived = false;
    int calls = 0;
    service.server().route("/m/v2_plaza.json", [&](const standin::Request&) {
        std::unique_lock hold(mutex);
        if (++calls == 1) {
            arrived = true;
            opened.notify_all();
            opened.wait_for(hold, std::chrono::seconds(10), [&] { return open; });
            return feedtest::jsonReply(standin::feedPageReply(1, 20, 1));
        }
        return feedtest::jsonReply(standin::feedPageReply(2, 20, 25));
    });
    pull(plaza);
    EXPECT_TRUE(plaza->reloading());
    EXPECT_EQ(plaza->refreshHeaderView()->state(), RefreshLoading);
    {
        std::unique_lock hold(mutex);
        ASSERT_TRUE(opened.wait_for(hold, std::chrono::seconds(10), [&] { return arrived; }));
    }
    const Ref<HTTPRequest> first = plaza->getNewRequest();

    pull(plaza);  // still loading: the header does not trigger again
    plaza->forceGetContentFromWeb();
    EXPECT_NE(plaza->getNewRequest(), first);
    ASSERT_TRUE(settle(plaza));
    EXPECT_EQ(plaza->channels().count(), 5u);
    EXPECT_EQ(plaza->total(), 25);
    EXPECT_FALSE(plaza->reloading());
    EXPECT_EQ(plaza->refreshHeaderView()->state(), RefreshNormal);

    // The first reply, let go now, changes nothing.
    {
        std::lock_guard hold(mutex);
        open = true;
    }
    opened.notify_all();
    ASSERT_TRUE(service.server().waitUntil(
        [&] {
            const auto made = service.server().requests("/m/v2_plaza.json");
            return made.size() == 3 && made[1].outcome != standin::Outcome::Hanging;
        },
        std::chrono::seconds(10)));
    drainMain();
    EXPECT_EQ(plaza->channels().count(), 5u);
    EXPECT_EQ(plaza->total(), 25);
}

TEST_F(FeedVCTest, TheHeadersRefreshButtonSpinsAndAsksForPageOne)
{
    logIn();
    auto home = open(FeedTypeHome);
    const Ref<UIButton> refresh = home->headerView()->refresh;
    refresh->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto spin = std::dynamic_pointer_cast<CABasicAnimation>(refresh->layer()->animationForKey("revItUpAnimation"));
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->keyPath(), "transform.rotation.z");
    EXPECT_DOUBLE_EQ(CAValueNumber(spin->toValue()), 12.566371);
    EXPECT_DOUBLE_EQ(spin->duration(), 2.0);
    // Page 1 is asked again; so does each appearance of the home feed.
    for (int appearance = 0; appearance < 2; ++appearance) {
        SCOPED_TRACE(appearance);
        const Ref<HTTPRequest> asked = home->getNewRequest();
        ASSERT_NE(asked, nullptr);
        EXPECT_TRUE(asked->url()->absoluteString().ends_with("m/v2_feed.json?suid=&token=5f2b7c0e9a1d4e3f&page=1&per=20"));
        ASSERT_TRUE(settle(home));
        EXPECT_EQ(asked->responseStatusCode(), 200);
        home->viewWillAppear(false);
    }
    ASSERT_TRUE(settle(home));
}

TEST_F(FeedVCTest, FailuresShowTheServicesTextOrTheNetworkErrorAndKeepTheList)
{
    logIn();
    auto newest = open(FeedTypeNewest);
    const struct {
        const char* name;
        bool firstPage;
        const char* refusal;  // the service's answer; null: the connection closes without one
        const char* alert;    // null: the network error box instead
    } cases[] = {
        {"refused first page", true, R"({"status":500,"msg":"服务器正在维护"})", "服务器正在维护"},
        {"lost first page", true, nullptr, nullptr},
        {"refused next page", false, R"({"status":403,"msg":"请先登录"})", "请先登录"},
        {"lost next page", false, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UIAlertView::resetRecords();
        netError(true);
        if (c.refusal) {
            const std::string body = c.refusal;
            service.server().route("/m/v2_recent.json",
                                   [body](const standin::Request&) { return feedtest::jsonReply(body); });
        } else {
            service.server().addFault("/m/v2_recent.json", standin::Fault::closeWithoutAnswer().persistent());
        }
        if (c.firstPage) {
            pull(newest);
        } else {
            dragToBottom(newest);
        }
        ASSERT_TRUE(settle(newest));
        service.server().clearFaults("/m/v2_recent.json");
        standin::installFeedRoutes(service.server());
        if (c.alert) {
            ASSERT_NE(UIAlertView::currentAlert(), nullptr);
            EXPECT_EQ(UIAlertView::currentAlert()->title(), "提示");
            EXPECT_EQ(UIAlertView::currentAlert()->message(), c.alert);
            EXPECT_EQ(UIAlertView::currentAlert()->buttonTitleAtIndex(0), "确定");
            EXPECT_EQ(netError(), "");
        } else {
            EXPECT_EQ(UIAlertView::currentAlert(), nullptr);
            EXPECT_EQ(netError(), "网络连接有问题");
        }
        EXPECT_EQ(newest->channels().count(), 20u);
        EXPECT_EQ(newest->currentPage(), 1);
        EXPECT_FALSE(newest->isLoadingMore());
        EXPECT_FALSE(newest->reloading());
        EXPECT_EQ(newest->refreshHeaderView()->state(), RefreshNormal);
    }
}

TEST_F(FeedVCTest, TheNearbyFeedAsksForAFixOnEveryPull)
{
    logIn();
    CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(30.25, 120.125));
    auto nearby = open(FeedTypeNearby);
    EXPECT_EQ(CLLocationManager::startCount(), 1);
    EXPECT_FALSE(nearby->locationMgr()->isUpdatingLocation());
    EXPECT_EQ(nearby->currentLocation().x, 30.25);
    // The place bar shows the reply's place at the bottom of the view.
    const Ref<LocationBottomBar> bar = nearby->locationBottom();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->title()->text(), "杭州市西湖区");
    EXPECT_EQ(CGRectGetMaxY(bar->frame()), nearby->view()->bounds().size.height);

    // The device moved: the next pull asks for a new fix and sends it.
    CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(31.5, 121.25));
    pull(nearby);
    ASSERT_TRUE(waitFor([&] { return !nearby->reloading(); }));
    EXPECT_EQ(CLLocationManager::startCount(), 2);
    ASSERT_EQ(requests("/m/v2_near.json").size(), 2u);
    EXPECT_EQ(query(requests("/m/v2_near.json")[1]), "location=31.500000,121.250000&page=1&per=20");
    // Later pages keep the stored fix.
    dragToBottom(nearby);
    ASSERT_TRUE(settle(nearby));
    ASSERT_EQ(requests("/m/v2_near.json").size(), 3u);
    EXPECT_EQ(query(requests("/m/v2_near.json")[2]), "location=31.500000,121.250000&page=2&per=20");
    EXPECT_EQ(CLLocationManager::startCount(), 2);
}

TEST_F(FeedVCTest, ARefusedOrMissingLocationEndsThePull)
{
    logIn();
    CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(30.25, 120.125));
    auto nearby = open(FeedTypeNearby);
    const struct {
        const char* name;
        std::function<void()> setUp;
        bool alert;
    } cases[] = {
        {"refused", [] { CLLocationManager::setAuthorizationStatus(kCLAuthorizationStatusDenied); }, true},
        // Location services off: nothing can answer, so the pull ends at once instead of spinning.
        {"services off", [] { CLLocationManager::setLocationServicesEnabled(false); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CLLocationManager::resetForTesting();
        UIAlertView::resetRecords();
        const size_t asked = requests("/m/v2_near.json").size();
        c.setUp();
        pull(nearby);
        ASSERT_TRUE(waitFor([&] { return !nearby->reloading(); }));
        EXPECT_EQ(nearby->refreshHeaderView()->state(), RefreshNormal);
        EXPECT_FALSE(nearby->locationMgr()->isUpdatingLocation());
        if (c.alert) {
            ASSERT_NE(UIAlertView::currentAlert(), nullptr);
            EXPECT_EQ(UIAlertView::currentAlert()->title(), "定位服务不可用");
            EXPECT_EQ(UIAlertView::currentAlert()->message(), "请在“设置 - 定位服务 - 乐拍”开启定位服务");
            EXPECT_EQ(UIAlertView::currentAlert()->buttonTitleAtIndex(0), "确定");
        } else {
            EXPECT_EQ(UIAlertView::currentAlert(), nullptr);
            EXPECT_EQ(CLLocationManager::startCount(), 0);
        }
        drainMain();
        EXPECT_EQ(requests("/m/v2_near.json").size(), asked);
        EXPECT_EQ(nearby->channels().count(), 20u);
        // Once the location can be had again, the next pull triggers and asks with it.
        CLLocationManager::resetForTesting();
        CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(30.25, 120.125));
        pull(nearby);
        ASSERT_TRUE(waitFor([&] { return requests("/m/v2_near.json").size() == asked + 1; }));
        ASSERT_TRUE(waitFor([&] { return !nearby->reloading() && !nearby->getNewRequest(); }));
    }
}

TEST_F(FeedVCTest, RowsOpenTheirItemsAndTheOwnPageListsLocalVideosFirst)
{
    logIn();
    auto newest = open(FeedTypeNewest);
    auto navigation = newest->navigationController();
    // Item 3 is a comment, item 4 a new follow, item 0 a video (which its cell opens itself).
    const struct {
        NSInteger row;
        const char* pushed;
    } cases[] = {{3, "VideoMainPage"}, {4, "FeedVC"}, {0, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        newest->tableView_didSelectRowAtIndexPath(newest->table(), NSIndexPath::indexPathForRow_inSection(c.row, 0));
        if (!c.pushed) {
            EXPECT_EQ(navigation->viewControllers().size(), 1u);
            continue;
        }
        ASSERT_EQ(navigation->viewControllers().size(), 2u);
        const Ref<UIViewController> top = navigation->topViewController();
        EXPECT_EQ(top->className(), c.pushed);
        if (auto page = std::dynamic_pointer_cast<VideoMainPage>(top)) {
            EXPECT_EQ(page->type(), 0);
            EXPECT_EQ(page->data().stringValue(), "c2004");
        }
        if (auto person = std::dynamic_pointer_cast<FeedVC>(top)) {
            EXPECT_EQ(person->type(), FeedTypeUser);
            EXPECT_EQ(person->suid().stringValue(), "1002");
        }
        navigation->popToRootViewControllerAnimated(false);
    }

    // The own page: two local videos waiting to upload come first; the third row is the first item.
    Value local = Value::array();
    for (const char* guid : {"g1", "g2"}) {
        Value entry = Value::dictionary();
        entry.setObject_forKey(guid, "guid");
        entry.setObject_forKey(2, "status");
        local.addObject(entry);
    }
    auto mine = open(FeedTypeMine);
    mine->setLocalChannels(local);
    mine->table()->reloadData();
    EXPECT_EQ(mine->table()->numberOfRowsInSection(0), 22);
    auto row = [&](NSInteger index) {
        return std::dynamic_pointer_cast<FeedCellFull>(
            mine->tableView_cellForRowAtIndexPath(mine->table(), NSIndexPath::indexPathForRow_inSection(index, 0)));
    };
    EXPECT_EQ(row(0)->reuseIdentifier(), kLocalFeedCellReuseIdentifier);
    EXPECT_EQ(row(1)->info()["guid"].stringValue(), "g2");
    EXPECT_EQ(row(2)->reuseIdentifier(), kFeedCellReuseIdentifier);
    EXPECT_EQ(row(2)->info()["channel"]["scid"].stringValue(), "sc3001");
    mine->tableView_didSelectRowAtIndexPath(mine->table(), NSIndexPath::indexPathForRow_inSection(1, 0));
    EXPECT_EQ(mine->navigationController()->viewControllers().size(), 1u);

    // Logged out, a row asks for a login first.
    Logout();
    UIAlertView::resetRecords();
    newest->tableView_didSelectRowAtIndexPath(newest->table(), NSIndexPath::indexPathForRow_inSection(3, 0));
    EXPECT_EQ(loginPrompts(), 1);
}

TEST_F(FeedVCTest, NotificationsRefreshTheFeedsTheyConcern)
{
    logIn();
    auto mine = open(FeedTypeMine);
    auto newest = open(FeedTypeNewest);
    ASSERT_TRUE(mine->isMyLib());
    ASSERT_FALSE(newest->isMyLib());

    // A deletion reported from an engine thread reaches the own page through the main queue.
    std::thread engine([] { NSNotificationCenter::defaultCenter()->postNotificationName_object(kDeleteMediaNotification); });
    engine.join();
    EXPECT_EQ(mine->getNewRequest(), nullptr);
    ASSERT_TRUE(waitFor([&] { return requests("/m/v2_user.json").size() == 2; }));
    ASSERT_TRUE(settle(mine));
    EXPECT_EQ(requests("/m/v2_recent.json").size(), 1u);

    // A login refreshes the home feed and the own page, not the others.
    logIn();
    ASSERT_TRUE(waitFor([&] { return requests("/m/v2_user.json").size() == 3; }));
    ASSERT_TRUE(settle(mine));
    EXPECT_EQ(requests("/m/v2_recent.json").size(), 1u);
}

TEST_F(FeedVCTest, TheOwnPageRebuildsItsLocalRowsHalfASecondAfterOneIsDeleted)
{
    logIn();
    auto mine = open(FeedTypeMine);
    ScopedManualClock clock;
    Value local = Value::array();
    for (const char* guid : {"g1", "g2"}) {
        Value entry = Value::dictionary();
        entry.setObject_forKey(guid, "guid");
        entry.setObject_forKey(2, "status");
        local.addObject(entry);
    }
    g_ffmpeg->setLocalVideos(local.mutableCopy());
    mine->setLocalChannels(local);
    mine->table()->reloadData();
    ASSERT_EQ(mine->table()->numberOfRowsInSection(0), 22);
    auto cell = std::dynamic_pointer_cast<FeedCellFull>(
        mine->tableView_cellForRowAtIndexPath(mine->table(), NSIndexPath::indexPathForRow_inSection(0, 0)));
    ASSERT_TRUE(cell);
    cell->localUploadControl()->upload_delete()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_TRUE(UIAlertView::currentAlert());
    UIAlertView::currentAlert()->simulateClickButtonAtIndex(1);
    cell = nullptr;  // the delayed step keeps the cell alive by itself

    // The page keeps its rows until the half second has passed, then asks the engine again (which,
    // not running here, lists nothing) and reloads.
    clock.advance(0.45);
    EXPECT_EQ(mine->table()->numberOfRowsInSection(0), 22);
    clock.advance(0.1);
    EXPECT_EQ(mine->table()->numberOfRowsInSection(0), 20);
    EXPECT_EQ(mine->localChannels().count(), 0u);
}

TEST_F(FeedVCTest, WebActionsOpenTheScreensTheyName)
{
    logIn();
    auto root = UIViewController::create();
    auto navigation = show(root);
    const struct {
        const char* action;
        const char* data;
        const char* opens;  // the class pushed, "browser" when presented, null when nothing
        int type;           // the page or feed kind
    } cases[] = {
        {"sys", "", "MessageBoxVC", 0},    {"chan", "sc3001", "VideoMainPage", 2}, {"cmt", "c2001", "VideoMainPage", 1},
        {"user", "1004", "FeedVC", 10},    {"news", "", "SquareVC", 0},           {"topic", "t4001", "FeedVC", 13},
        {"url", "http://127.0.0.1:1/event?id=8", "browser", 0}, {"game", "x", nullptr, 0},
        // An address that is no URL opens nothing rather than an empty browser.
        {"url", "活动 页面", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        Value action = Value::dictionary();
        action.setObject_forKey(c.action, "action");
        action.setObject_forKey(c.data, "data");
        FeedVC::actionControledFromWeb_byNavigationController(action, navigation);
        if (!c.opens) {
            EXPECT_EQ(navigation->viewControllers().size(), 1u);
            EXPECT_EQ(navigation->modalViewController(), nullptr);
            continue;
        }
        if (std::string(c.opens) == "browser") {
            auto browser = std::dynamic_pointer_cast<ModalWebViewController>(navigation->modalViewController());
            ASSERT_NE(browser, nullptr);
            EXPECT_EQ(browser->modalPresentationStyle(), UIModalPresentationPageSheet);
            EXPECT_EQ(browser->availableActions(), 7u);
            navigation->dismissModalViewControllerAnimated(false);
            continue;
        }
        ASSERT_EQ(navigation->viewControllers().size(), 2u);
        const Ref<UIViewController> top = navigation->topViewController();
        EXPECT_EQ(top->className(), c.opens);
        if (auto page = std::dynamic_pointer_cast<VideoMainPage>(top)) {
            EXPECT_EQ(page->type(), c.type);
            EXPECT_EQ(page->data().stringValue(), c.data);
        }
        if (auto feed = std::dynamic_pointer_cast<FeedVC>(top)) {
            EXPECT_EQ(feed->type(), c.type);
            EXPECT_EQ(feed->suid().stringValue(), c.data);
        }
        navigation->popToRootViewControllerAnimated(false);
    }
}


// A video of the home feed plays from the stream its record names on the service: a tap on its play
// button, and the picture in its row moves on.
TEST_F(FeedVCTest, AHomeFeedVideoPlaysItsStreamInItsRow)
{
    logIn();
    auto home = open(FeedTypeHome);
    // The first login's tip over the list goes with a tap beside its card.
    if (home->firstTipView()) {
        window->simulateTap(CGPointMake(300, 420));
        ASSERT_TRUE(waitFor([&] { return !home->firstTipView(); }));
    }
    Ref<PPlayer> player;
    for (NSInteger row = 0; row < 5 && !player; ++row) {
        const auto item = std::dynamic_pointer_cast<FeedCellFull>(
            home->table()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(row, 0)));
        const auto view = item ? std::dynamic_pointer_cast<PPlayer>(item->playerViewAsView()) : nullptr;
        if (view && !view->isHidden()) {
            player = view;
        }
    }
    ASSERT_TRUE(player);
    const Value channel = player->channel();
    // The list is dragged up until the play button is well inside the screen, as a thumb would.
    const CGRect button = player->playBtn()->bounds();
    const auto buttonOnScreen = [&] {
        return player->playBtn()->convertPoint_toView(CGPointMake(CGRectGetMidX(button), CGRectGetMidY(button)), window);
    };
    const Ref<UITableView> table = home->table();
    table->simulateBeginDragging();
    table->simulateDragToContentOffset(CGPointMake(0, std::max<CGFloat>(0, buttonOnScreen().y - 240)));
    table->simulateEndDragging(false);
    ASSERT_TRUE(waitFor([&] { return buttonOnScreen().y < 300; }));
    window->simulateTap(buttonOnScreen());
    ASSERT_TRUE(player->isPlayer());
    const auto movie = PPlayer::sharedMoviePlayer();
    CGImageRef first;
    ASSERT_TRUE(waitFor([&] {
        first = movie->view()->layer()->contents();
        return first != nullptr;
    }));
    EXPECT_EQ(movie->view()->superview(), player);
    ASSERT_TRUE(waitFor([&] {
        const CGImageRef now = movie->view()->layer()->contents();
        return now != nullptr && now != first;
    }));
    EXPECT_FALSE(player->playbackFailed());
    EXPECT_EQ(service.server().requests("/stream/" + channel["scid"].stringValue() + ".mp4").empty(), false);
    PPlayer::stop();
}

TEST_F(FeedVCTest, ThePlayingVideoStopsOnceItsPictureScrollsOutOfSight)
{
    TemporaryFolder folder("ombri-feed-band");
    GrowingMovieOptions options;
    options.seconds = 2;
    options.frameRate = 10;
    const std::string clip = folder / "clip.mov";
    GrowingMovie movie(clip, options);
    ASSERT_TRUE(movie.start() && movie.writeFrames(movie.totalFrames()) && movie.finish());
    logIn();
    auto newest = open(FeedTypeNewest);
    // The first row that shows a player plays a clip.
    Ref<PPlayer> player;
    Ref<UITableViewCell> cell;
    for (NSInteger row = 0; row < 5 && !player; ++row) {
        cell = newest->table()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(row, 0));
        const auto item = std::dynamic_pointer_cast<FeedCellFull>(cell);
        const auto view = item ? std::dynamic_pointer_cast<PPlayer>(item->playerViewAsView()) : nullptr;
        if (view && !view->isHidden()) {
            player = view;
        }
    }
    ASSERT_TRUE(player);
    player->setUrl(clip);
    player->play();
    const auto shared = PPlayer::sharedMoviePlayer();
    ASSERT_EQ(shared->playbackState(), MPMoviePlaybackStatePlaying);

    // Dragged up as a finger does, a little at a time: the video plays while any of its picture is in
    // sight and stops once its picture has left the top, while the rest of its cell still shows.
    const Ref<UITableView> table = newest->table();
    const CGFloat pictureBottom = CGRectGetMaxY(newest->view()->convertRect_fromView(player->bounds(), player));
    ASSERT_LT(pictureBottom + 20, CGRectGetMaxY(cell->frame()));
    table->simulateBeginDragging();
    CGFloat offset = 0;
    while (offset + 10 < pictureBottom) {
        offset += 10;
        table->simulateDragToContentOffset(CGPointMake(0, offset));
        ASSERT_EQ(shared->playbackState(), MPMoviePlaybackStatePlaying) << offset;
    }
    table->simulateDragToContentOffset(CGPointMake(0, pictureBottom + 10));
    table->simulateEndDragging(false);
    EXPECT_EQ(shared->playbackState(), MPMoviePlaybackStateStopped);
    EXPECT_FALSE(player->isPlayer());
}

}  // namespace FeedVCTest_cpp
}  // namespace
