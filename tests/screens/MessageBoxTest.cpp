// The message box as a person uses it: opening it loads page 1 through the pull header, the list grows
// page by page until a short page, a pull never runs twice, rows open what their message points to,
// and every first page counts as reading the messages. The message cell's geometry by the video's
// shape and the text's length.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "FeedTestSupport.h"
#include "net/http/HTTPRequest.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UINavigationItem.h"
#include "service/Fault.h"
#include "service/HeldReplies.h"
#include "service/MessageRoutes.h"
#include "shell/RootViewController.h"
#include "shell/VideoMainPage.h"
#include "social/MessageBoxVC.h"
#include "social/MessageCell.h"
#include "widgets/WebViewController.h"

namespace {
namespace MessageBoxTest_cpp {

using feedtest::FeedTest;

constexpr char kMessagesPath[] = "/m/sysmsg.json";

class MessageBoxTest : public FeedTest {
protected:
    void SetUp() override
    {
        FeedTest::SetUp();
        observer = NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
            "system_dismiss", Value(), [this](const Ref<NSNotification>&) { ++dismissed; });
    }
    void TearDown() override
    {
        NSNotificationCenter::defaultCenter()->removeObserver(observer);
        box = nullptr;
        FeedTest::TearDown();
    }

    // The box as the menu shows it: the root of a navigation stack in the window.
    void openBox()
    {
        box = MessageBoxVC::create();
        show(box);
        window->layoutIfNeeded();
    }
    // Lets the opening scroll end (the header then asks for page 1) and waits for page 1.
    void loadFirstPage()
    {
        clock.advance(UIScrollViewScrollAnimationDuration);
        ASSERT_TRUE(waitFor([&] { return !box->messages().isNil() && !box->getNewRequest(); }));
        clock.advance(UIScrollViewScrollAnimationDuration);
    }
    Ref<UITableView> table() { return box->tableView(); }
    // A finger drags the list until its last row shows at the bottom, and lets go.
    void dragToBottom()
    {
        const CGFloat bottom = std::max(CGFloat(0), table()->contentSize().height - table()->bounds().size.height);
        table()->simulateDrag(CGPointMake(0, bottom), false);
    }
    std::vector<std::string> pagesAsked() const
    {
        std::vector<std::string> pages;
        for (const standin::Request& request : requests(kMessagesPath)) {
            pages.push_back(request.param("page").value_or("?"));
        }
        return pages;
    }
    // A message record as the service sends it.
    static Value message(const std::string& json) { return NSString_JsonParsing::JSONValue(json); }
    Value fixture(size_t n) const { return message(standin::messageJson(service.hostPort(), n)); }

    ScopedManualClock clock;
    Ref<MessageBoxVC> box;
    Ref<NSObject> observer;
    int dismissed = 0;
};

// Answers pages of the given sizes (page 1 first), built from the stand-in's messages.
void answerPages(standin::StandInService& service, std::vector<size_t> sizes)
{
    const std::string host = service.hostPort();
    service.server().route(kMessagesPath, [host, sizes](const standin::Request& request) {
        const size_t page = std::stoul(request.param("page").value_or("1"));
        std::string items;
        size_t first = 0;
        for (size_t p = 1; p < page && p <= sizes.size(); ++p) {
            first += sizes[p - 1];
        }
        const size_t count = page >= 1 && page <= sizes.size() ? sizes[page - 1] : 0;
        for (size_t n = first; n < first + count; ++n) {
            items += (items.empty() ? "" : ",") + standin::messageJson(host, n);
        }
        return feedtest::jsonReply(R"({"status":200,"msg":"","result":[)" + items + "]}");
    });
}

TEST_F(MessageBoxTest, OpeningPullsPageOneInAndScrollsBack)
{
    logIn();
    openBox();
    EXPECT_EQ(box->title(), "消息");
    // The menu's copy, first in its stack, has the menu button.
    auto menu = box->navigationItem()->leftBarButtonItem();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->action().name(), "showMenu");
    // The list is scrolled 65 points down; the page is asked for when that scroll ends.
    EXPECT_EQ(table()->contentOffset().y, -65);
    EXPECT_TRUE(requests(kMessagesPath).empty());
    {
        // Page 1 is held until the header has been seen loading, however quickly it would come.
        standin::HeldReplies held(service.server(), kMessagesPath);
        clock.advance(UIScrollViewScrollAnimationDuration);
        ASSERT_TRUE(waitFor([&] { return held.held() == 1; }));
        EXPECT_EQ(box->refreshHeaderView()->state(), RefreshLoading);
    }
    ASSERT_TRUE(waitFor([&] { return !box->messages().isNil(); }));
    EXPECT_EQ(box->refreshHeaderView()->state(), RefreshNormal);
    EXPECT_EQ(dismissed, 1);
    clock.advance(UIScrollViewScrollAnimationDuration);
    EXPECT_EQ(table()->contentOffset().y, 0);

    const auto asked = requests(kMessagesPath);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].param("page"), "1");
    EXPECT_EQ(asked[0].param("per"), "20");
    EXPECT_EQ(asked[0].param("token"), standin::kApiAccountToken);
    EXPECT_EQ(table()->numberOfRowsInSection(0), 20);
    auto cell = std::dynamic_pointer_cast<MessageCell>(table()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(0, 0)));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->content()->text(), "阿芳给你的视频《西湖边的傍晚》标记了心情");
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDisclosureIndicator);

    // Choosing the row again reloads the same way.
    box->autoReload();
    clock.advance(UIScrollViewScrollAnimationDuration);
    ASSERT_TRUE(waitFor([&] { return requests(kMessagesPath).size() == 2 && !box->getNewRequest(); }));
    EXPECT_EQ(dismissed, 2);
    EXPECT_EQ(box->currentPage(), 1);
}

TEST_F(MessageBoxTest, AShortPageEndsTheList)
{
    struct Case {
        std::vector<size_t> pages;
        std::vector<std::string> asked;  // after scrolling to the bottom after every page
        size_t rows;
    } const cases[] = {
        {{20, 19}, {"1", "2"}, 39},
        {{20, 20, 0}, {"1", "2", "3"}, 40},
        {{20, 20, 3}, {"1", "2", "3"}, 43},
    };
    logIn();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        service.server().clearRequests();
        answerPages(service, c.pages);
        openBox();
        loadFirstPage();
        for (size_t round = 0; round < c.pages.size() + 2; ++round) {
            dragToBottom();
            ASSERT_TRUE(waitFor([&] { return !box->moreIsLoading(); }));
        }
        EXPECT_TRUE(box->isEndPage());
        EXPECT_EQ(pagesAsked(), c.asked);
        EXPECT_EQ(box->messages().count(), c.rows);
        EXPECT_EQ(size_t(table()->numberOfRowsInSection(0)), c.rows);
        EXPECT_EQ(box->currentPage(), int(c.asked.size()));
    }
}

TEST_F(MessageBoxTest, WhilePageOneLoadsNothingElseIsAsked)
{
    logIn();
    // The service holds its answer long past the few steps below.
    service.server().addFault(kMessagesPath, standin::Fault::hang(std::chrono::seconds(2)));
    openBox();
    clock.advance(UIScrollViewScrollAnimationDuration);
    ASSERT_TRUE(box->isReloading());
    const Ref<HTTPRequest> first = box->getNewRequest();
    ASSERT_NE(first, nullptr);
    // The empty list at its bottom asks for no further page before page 1 is there ...
    dragToBottom();
    // ... a pull, and the menu's row chosen again, start no second page 1.
    table()->simulateDrag(CGPointMake(0, -80), false);
    box->autoReload();
    clock.advance(UIScrollViewScrollAnimationDuration);
    EXPECT_FALSE(box->moreIsLoading());
    EXPECT_EQ(box->getMoreRequest(), nullptr);
    EXPECT_EQ(box->getNewRequest(), first);
    ASSERT_TRUE(waitFor([&] { return !box->messages().isNil(); }));
    EXPECT_EQ(pagesAsked(), std::vector<std::string>{"1"});
}

TEST_F(MessageBoxTest, EveryFirstPageMarksTheMessagesRead)
{
    logIn();
    struct Case {
        const char* what;
        std::function<void()> fault;
        size_t rows;       // the list afterwards
        const char* error;  // the network error box
    } const cases[] = {
        {"agreed", [] {}, 20, ""},
        {"refused", [&] { service.server().addFault(kMessagesPath, standin::Fault::status(200, R"({"status":500,"msg":"服务器忙"})")); }, 20, ""},
        {"lost", [&] { service.server().addFault(kMessagesPath, standin::Fault::closeWithoutAnswer().persistent()); }, 20, "消息获取失败"},
    };
    openBox();
    loadFirstPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = dismissed;
        c.fault();
        table()->simulateDrag(CGPointMake(0, -80), false);
        ASSERT_TRUE(waitFor([&] { return !box->isReloading(); }));
        EXPECT_EQ(dismissed, before + (std::string(c.error).empty() ? 1 : 0));
        EXPECT_EQ(box->messages().count(), c.rows);
        EXPECT_EQ(box->refreshHeaderView()->state(), RefreshNormal);
        EXPECT_EQ(netError(true), c.error);
        service.server().clearFaults(kMessagesPath);
        clock.advance(UIScrollViewScrollAnimationDuration);
    }
}

TEST_F(MessageBoxTest, RowsOpenWhatTheirMessagePointsAt)
{
    logIn();
    Value list = Value::array();
    for (size_t n = 0; n < 5; ++n) {
        list.addObject(fixture(n));  // chan, cmt, user, url, sys
    }
    list.addObject(message(R"({"action":"news","data":"n1","msg":"新闻"})"));
    list.addObject(message(R"({"action":"url","data":"","msg":"没有地址"})"));
    box = MessageBoxVC::create();
    auto navigation = show(box);
    box->setMessages(list);
    table()->reloadData();
    struct Case {
        size_t row;
        const char* opens;
        int type;
        const char* data;
        int dismisses;
    } const cases[] = {
        {0, "VideoMainPage", 2, "sc3001", 0}, {1, "VideoMainPage", 3, "c2011", 0}, {2, "FeedVC", 10, "1003", 0},
        {3, "browser", 0, "", 1},             {4, nullptr, 0, "", 0},             {5, nullptr, 0, "", 0},
        {6, nullptr, 0, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const int before = dismissed;
        table()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(NSInteger(c.row), 0));
        if (!c.opens) {
            EXPECT_EQ(navigation->viewControllers().size(), 1u);
            EXPECT_EQ(box->modalViewController(), nullptr);
        } else if (std::string(c.opens) == "browser") {
            auto browser = std::dynamic_pointer_cast<ModalWebViewController>(box->modalViewController());
            ASSERT_NE(browser, nullptr);
            EXPECT_EQ(browser->modalPresentationStyle(), UIModalPresentationPageSheet);
            EXPECT_EQ(browser->availableActions(), 7u);
            EXPECT_EQ(browser->webViewController()->URL()->absoluteString(),
                      "http://" + service.hostPort() + "/oem.html?vend=lumo");
            box->dismissModalViewControllerAnimated(false);
        } else {
            ASSERT_EQ(navigation->viewControllers().size(), 2u);
            auto top = navigation->topViewController();
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
        EXPECT_EQ(dismissed, before + c.dismisses);
    }
}

TEST_F(MessageBoxTest, CellsLayTheirCoverByTheVideosShape)
{
    const std::string shortText = "小红关注了你";
    // Wider than 175 points and narrower than 240 in bold 14: one line alone, two beside a cover.
    const std::string middleText = "阿刚回复了你：西湖的晚霞真美";
    struct Case {
        const char* what;
        std::string channel;  // "" without a video
        std::string text;
        CGFloat coverWidth, coverHeight;
        int lines;
    } const cases[] = {
        {"no video", "", shortText, 0, 0, 1},
        {"no video, longer text", "", middleText, 0, 0, 1},
        {"landscape", R"({"ext":{"w":480,"h":360},"pic":{"base":"http://x/","m":"a.png"}})", shortText, 40, 30, 1},
        {"landscape, longer text", R"({"ext":{"w":480,"h":360},"pic":{"base":"http://x/","m":"a.png"}})", middleText, 40, 30, 2},
        {"portrait", R"({"ext":{"w":360,"h":480},"pic":{"base":"http://x/","m":"b.png"}})", shortText, 30, 40, 1},
        {"square", R"({"ext":{"w":400,"h":400},"pic":{"base":"http://x/","m":"c.png"}})", shortText, 30, 40, 1},
    };
    const CGFloat line = std::ceil(getContentFont()->lineHeight());
    auto cell = MessageCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "Cell");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string json = R"({"msg":")" + c.text + R"(","user":{"suid":"1004","nick":"小红"})" +
                                 (c.channel.empty() ? "" : R"(,"channel":)" + c.channel) + "}";
        const Value info = message(json);
        cell->fullfillWithInfo_andNavi(info, nullptr);
        const CGFloat height = MessageCell::getHeight(info);
        const CGRect content = cell->content()->frame();
        EXPECT_EQ(content.origin.x, 55);
        EXPECT_EQ(content.origin.y, 15);
        EXPECT_LE(content.size.width, c.channel.empty() ? 240 : 175);
        EXPECT_EQ(content.size.height, c.lines * line);
        EXPECT_EQ(height, std::max(CGFloat(55), std::floor(10 + content.size.height + 15) + 10));
        EXPECT_TRUE(CGRectEqualToRect(cell->time()->frame(), CGRectMake(55, 15 + content.size.height, 100, 15)));
        EXPECT_EQ(cell->time()->font()->pointSize(), 12);
        EXPECT_EQ(cell->videoCover()->isHidden(), c.channel.empty());
        EXPECT_EQ(cell->videoCoverBkg()->isHidden(), c.channel.empty());
        if (c.channel.empty()) {
            continue;
        }
        const CGPoint centre = CGPointMake(290 - int(c.coverWidth) / 2, height / 2);
        EXPECT_TRUE(CGRectEqualToRect(cell->videoCover()->bounds(), CGRectMake(0, 0, c.coverWidth, c.coverHeight)));
        EXPECT_TRUE(CGPointEqualToPoint(cell->videoCover()->center(), centre));
        EXPECT_TRUE(CGRectEqualToRect(cell->videoCoverBkg()->bounds(),
                                      CGRectMake(0, 0, c.coverWidth + 8, c.coverHeight + 8)));
        EXPECT_TRUE(CGPointEqualToPoint(cell->videoCoverBkg()->center(), centre));
    }
    // A one-line row is the lowest: 55 points, the cover centred in it.
    const Value oneLine = message(std::string(R"({"msg":")") + shortText +
                                  R"(","channel":{"ext":{"w":480,"h":360},"pic":{"base":"http://x/","m":"a.png"}}})");
    EXPECT_EQ(MessageCell::getHeight(oneLine), 55);
    cell->fullfillWithInfo_andNavi(oneLine, nullptr);
    EXPECT_EQ(cell->videoCover()->center().x, 270);
    EXPECT_EQ(cell->videoCover()->center().y, 27.5);
}

TEST_F(MessageBoxTest, AReusedCellShowsOnlyItsOwnMarkAndOpensItsSender)
{
    logIn();
    box = MessageBoxVC::create();
    auto navigation = show(box);
    auto cell = MessageCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "Cell");
    auto mark = [&]() -> Ref<UIImageView> {
        return std::dynamic_pointer_cast<UIImageView>(cell->contentView()->viewWithTag(888));
    };
    cell->fullfillWithInfo_andNavi(fixture(0), navigation);  // a mark notice with emotion 1
    ASSERT_NE(mark(), nullptr);
    EXPECT_FALSE(mark()->isHidden());
    EXPECT_EQ(mark()->image(), UIImage::imageNamed("emotion1.png"));
    EXPECT_TRUE(CGRectEqualToRect(mark()->frame(), CGRectMake(31, 31, 18, 18)));
    cell->fullfillWithInfo_andNavi(fixture(2), navigation);  // a new fan: no mark
    EXPECT_TRUE(mark()->isHidden());
    cell->fullfillWithInfo_andNavi(fixture(5), navigation);  // a mark notice with emotion 2, the same view
    EXPECT_FALSE(mark()->isHidden());
    EXPECT_EQ(mark()->image(), UIImage::imageNamed("emotion2.png"));

    cell->head()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    auto feed = std::dynamic_pointer_cast<FeedVC>(navigation->topViewController());
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->type(), FeedTypeUser);
    EXPECT_EQ(feed->suid().stringValue(), fixture(5)["user"]["suid"].stringValue());
    // The avatar's frame is laid once, however often the cell is filled.
    const Ref<UIImage> overlay = UIImage::imageNamed("white-user-icon-overlay.png");
    size_t frames = 0;
    for (const Ref<UIView>& view : cell->head()->subviews()) {
        auto picture = std::dynamic_pointer_cast<UIImageView>(view);
        frames += picture && picture->image() == overlay ? 1 : 0;
    }
    EXPECT_EQ(frames, 1u);
}

TEST_F(MessageBoxTest, TheMenusCopyOpensTheMenuWhileItShows)
{
    logIn();
    auto root = RootViewController::create();
    g_root = root;
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    root->displayMainWindowBy(MenuRowMessages);
    auto navigation = root->msgboxNavi();
    ASSERT_NE(navigation, nullptr);
    EXPECT_TRUE(root->leftEnable());
    // A screen pushed over it takes the menu's gesture away; back on top, the box gives it again.
    navigation->pushViewController_animated(UIViewController::create(), false);
    EXPECT_FALSE(root->leftEnable());
    navigation->popViewControllerAnimated(false);
    EXPECT_TRUE(root->leftEnable());
    // A copy pushed from elsewhere has no menu button and leaves the gesture off.
    auto pushed = MessageBoxVC::create();
    navigation->pushViewController_animated(pushed, false);
    EXPECT_EQ(pushed->navigationItem()->leftBarButtonItem(), nullptr);
    EXPECT_FALSE(root->leftEnable());
    navigation->popViewControllerAnimated(false);
    g_root = nullptr;
}

}  // namespace MessageBoxTest_cpp
}  // namespace
