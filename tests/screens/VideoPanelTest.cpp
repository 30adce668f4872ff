// The video panel a player's feedback button opens: the viewers in pages, the actions (mark, share,
// comment, viewers' pages, delete on the own video) each closing it, and its viewers request, which
// never outlives the panel.
#include <algorithm>

#include "FeedTestSupport.h"
#include "platform/cfnetwork/CFHTTPReadStream.h"
#include "capture/FeedbackPopup.h"
#include "capture/PPlayer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIPageControl.h"
#include "service/Fault.h"
#include "service/VideoPageRoutes.h"
#include "shell/FeedbackPopupView.h"
#include "shell/VideoMainPage.h"
#include "social/Share.h"
#include "widgets/StatusBarOverlay.h"

namespace {
namespace VideoPanelTest_cpp {

using namespace feedtest;

// Counts the posts of a notification while it lives.
class Posted {
public:
    explicit Posted(const std::string& name)
    {
        token_ = NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
            name, Value(), [this](const Ref<NSNotification>&) { ++count; });
    }
    ~Posted() { NSNotificationCenter::defaultCenter()->removeObserver(token_.get()); }
    int count = 0;

private:
    Ref<NSObject> token_;
};

class VideoPanelTest : public FeedTest {
protected:
    void SetUp() override
    {
        FeedTest::SetUp();
        StatusBarOverlay::sharedOverlay()->resetForTesting();  // whatever an earlier test of the process left
        logIn();
        root = UIViewController::create();
        navigation = show(root);
        installFeedbackPanel();
    }
    void TearDown() override
    {
        if (panel) {
            panel->close();
        }
        panel = nullptr;
        navigation = nullptr;
        // The status-bar overlay is the process's, and between tests the main loop loses the steps its
        // cycle had pending: a message this test left (a reply that came late) would stay active for
        // good. The next test finds it idle.
        const Ref<StatusBarOverlay> overlay = StatusBarOverlay::sharedOverlay();
        overlay->resetForTesting();
        EXPECT_TRUE(overlay->messageQueue().empty() && !overlay->isActive() && overlay->isReallyHidden());
        // Kept-alive connections to this test's service would meet a later service on the same port.
        CFHTTPReadStream::closeIdleConnections();
        FeedTest::TearDown();
    }

    Value record(const std::string& scid) const
    {
        return NSString_JsonParsing::JSONValue(standin::videoRecordJson(service.hostPort(), scid));
    }
    // Opens the panel for a fixture video; waits for its viewers when asked.
    Ref<FeedbackPopupView> open(const std::string& scid, bool waitForViewers = true)
    {
        panel = FeedbackPopupView::showAtPostion_withChannel_andNavi(kPoint, record(scid), navigation);
        EXPECT_TRUE(panel);
        if (panel && waitForViewers) {
            EXPECT_TRUE(waitFor([&] { return !panel->numberOfSeeThisVideo->text().empty(); }));
        }
        return panel;
    }
    std::vector<Ref<UIButton>> avatars() const
    {
        std::vector<Ref<UIButton>> out;
        for (const Ref<UIView>& view : panel->visitedScrollView->subviews()) {
            if (auto button = std::dynamic_pointer_cast<UIButton>(view)) {
                out.push_back(button);
            }
        }
        return out;
    }
    bool onWindow() const { return panel && panel->superview() == window; }
    static void tap(const Ref<UIControl>& control) { control->sendActionsForControlEvents(UIControlEventTouchUpInside); }

    static constexpr CGPoint kPoint{266, 120};
    Ref<UIViewController> root;
    Ref<UINavigationController> navigation;
    Ref<FeedbackPopupView> panel;
};

TEST_F(VideoPanelTest, ViewersInPagesOfTwelve)
{
    struct Case {
        const char* scid;
        size_t viewers;
        NSInteger pages;
        // Where avatars lie: index, x, y.
        std::vector<std::tuple<size_t, CGFloat, CGFloat>> places;
    };
    const Case cases[] = {
        {"sc3001", 5, 1, {{0, 0, 0}, {4, 120, 0}}},
        {"sc3002", 13, 2, {{5, 150, 0}, {6, 0, 30}, {11, 150, 30}, {12, 180, 0}}},
        {"sc3040", 40, 3, {{24, 360, 0}, {35, 510, 30}, {36, 540, 0}, {39, 630, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scid);
        open(c.scid);
        const auto asked = requests("/m/v2_channel.json");
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back().param("scid").value_or(""), c.scid);
        EXPECT_EQ(asked.back().param("fillType").value_or(""), "64");
        EXPECT_EQ(asked.back().param("scmtid").value_or("?"), "");

        EXPECT_EQ(panel->numberOfSeeThisVideo->text(), "已有" + std::to_string(c.viewers) + "个人观看");
        const auto shown = avatars();
        ASSERT_EQ(shown.size(), c.viewers);
        for (const auto& [index, x, y] : c.places) {
            EXPECT_EQ(shown[index]->frame().origin.x, x) << index;
            EXPECT_EQ(shown[index]->frame().origin.y, y) << index;
            EXPECT_EQ(shown[index]->tag(), NSInteger(index));
        }
        EXPECT_EQ(panel->visitedScrollView->contentSize().width, 180 * c.pages);
        EXPECT_EQ(panel->pageCtrl->numberOfPages(), c.pages);
        EXPECT_EQ(panel->pageCtrl->isHidden(), c.pages == 1);
        EXPECT_EQ(panel->visitedScrollView->isScrollEnabled(), c.pages > 1);
        // The bubble's right edge stands 15 points right of the point, its top 5 points under it.
        const CGPoint at = navigation->view()->convertPoint_toView(kPoint, window);
        EXPECT_EQ(CGRectGetMaxX(panel->popView->frame()), at.x + 15);
        EXPECT_EQ(panel->popView->frame().origin.y, at.y + 5);
        panel->close();
    }
}

TEST_F(VideoPanelTest, PagesFollowTheStrip)
{
    open("sc3040");
    panel->visitedScrollView->simulateDrag(CGPointMake(180, 0), true);
    panel->visitedScrollView->simulateEndDecelerating(CGPointMake(180, 0));
    EXPECT_EQ(panel->pageCtrl->currentPage(), 1);
    panel->pageCtrl->setCurrentPage(2);
    panel->changePage(panel->pageCtrl);
    EXPECT_TRUE(panel->pageControlIsChangingPage());
    panel->visitedScrollView->simulateEndDecelerating();
    EXPECT_FALSE(panel->pageControlIsChangingPage());
    EXPECT_EQ(panel->pageCtrl->currentPage(), 2);
}

TEST_F(VideoPanelTest, DeleteShowsOnlyOnTheViewersOwnVideo)
{
    const std::pair<const char*, bool> cases[] = {{"sc3001", true}, {"sc3002", false}};
    for (const auto& [scid, shown] : cases) {
        SCOPED_TRACE(scid);
        open(scid, false);
        EXPECT_EQ(!panel->deleteButton->isHidden(), shown);
        panel->close();
    }
}

TEST_F(VideoPanelTest, TheDeleteSheetDeletesOnlyWhenConfirmed)
{
    struct Case {
        NSInteger button;
        size_t deletions;
    };
    const Case cases[] = {{1, 0}, {0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Posted posted("delete_media");
        open("sc3001");
        tap(panel->deleteButton);
        const Ref<UIActionSheet> sheet = UIActionSheet::currentSheet();
        ASSERT_TRUE(sheet);
        EXPECT_EQ(sheet->title(), "是否删除");
        EXPECT_EQ(sheet->buttonTitleAtIndex(0), "确定删除");
        EXPECT_EQ(sheet->buttonTitleAtIndex(1), "取消");
        EXPECT_TRUE(onWindow());
        sheet->simulateClickButtonAtIndex(c.button);
        EXPECT_FALSE(onWindow());
        if (c.deletions > 0) {
            ASSERT_TRUE(waitFor([&] { return posted.count > 0; }));
            const auto sent = requests("/m/media.json");
            ASSERT_EQ(sent.size(), 1u);
            const standin::Params form = sent[0].formParams();
            EXPECT_EQ(standin::findParam(form, "scid").value_or(""), "sc3001");
            EXPECT_EQ(standin::findParam(form, "_method").value_or(""), "delete");
        } else {
            drainMain();
            EXPECT_TRUE(requests("/m/media.json").empty());
            EXPECT_EQ(posted.count, 0);
        }
    }
}

TEST_F(VideoPanelTest, ActionsCloseThePanelAndLeadOn)
{
    struct Case {
        const char* name;
        std::function<void(const Ref<FeedbackPopupView>&)> act;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"mark",
         [](const Ref<FeedbackPopupView>& shown) { tap(shown->emotionButtons[2]); },
         [&] {
             ASSERT_TRUE(waitFor([&] { return !requests("/m/mark.json").empty(); }));
             const standin::Params form = requests("/m/mark.json")[0].formParams();
             EXPECT_EQ(standin::findParam(form, "scid").value_or(""), "sc3002");
             EXPECT_EQ(standin::findParam(form, "icon").value_or(""), "3");
             // The application delegate reports the mark when its reply comes.
             ASSERT_TRUE(waitFor([&] {
                 const auto queue = StatusBarOverlay::sharedOverlay()->messageQueue();
                 return !queue.empty() && queue.front()[kStatusBarOverlayMessageKey].stringValue() == "标记表情成功";
             }));
         }},
        {"share",
         [](const Ref<FeedbackPopupView>& shown) { tap(shown->shareButton); },
         [&] {
             ASSERT_TRUE(waitFor([&] { return navigation->presentedViewController() != nullptr; }));
             auto wrapper = std::dynamic_pointer_cast<UINavigationController>(navigation->presentedViewController());
             ASSERT_TRUE(wrapper);
             auto dialog = std::dynamic_pointer_cast<Share>(wrapper->viewControllers().front());
             ASSERT_TRUE(dialog);
             navigation->dismissModalViewControllerAnimated(false);
             ASSERT_TRUE(waitFor([&] { return navigation->presentedViewController() == nullptr; }));
         }},
        {"comment",
         [](const Ref<FeedbackPopupView>& shown) { tap(shown->commentButton); },
         [&] {
             ASSERT_TRUE(waitFor([&] { return navigation->topViewController() != root; }));
             auto page = std::dynamic_pointer_cast<VideoMainPage>(navigation->topViewController());
             ASSERT_TRUE(page);
             EXPECT_EQ(page->type(), VideoPageTypeVideo);
             EXPECT_EQ(page->data().stringValue(), "sc3002");
             navigation->popToRootViewControllerAnimated(false);
         }},
        {"viewer",
         [&](const Ref<FeedbackPopupView>&) { tap(avatars()[1]); },
         [&] {
             ASSERT_TRUE(waitFor([&] { return navigation->topViewController() != root; }));
             auto feed = std::dynamic_pointer_cast<FeedVC>(navigation->topViewController());
             ASSERT_TRUE(feed);
             EXPECT_EQ(feed->type(), FeedTypeUser);
             EXPECT_EQ(feed->suid().stringValue(), "1002");
             navigation->popToRootViewControllerAnimated(false);
         }},
        {"beside the bubble", [](const Ref<FeedbackPopupView>& shown) { tap(shown->dismissControl); },
         [&] { EXPECT_EQ(navigation->topViewController(), root); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open("sc3002");
        c.act(panel);
        // Closed at once, before anything it started has answered.
        EXPECT_FALSE(onWindow());
        c.check();
    }
}

TEST_F(VideoPanelTest, TheViewersRequestNeverOutlivesThePanel)
{
    service.server().addFault("/m/v2_channel.json", standin::Fault::hang(std::chrono::milliseconds(300)).persistent());
    struct Case {
        const char* name;
        std::function<void(Ref<FeedbackPopupView>&)> leave;
    };
    const Case cases[] = {
        {"closed", [](Ref<FeedbackPopupView>& shown) { tap(shown->dismissControl); }},
        {"taken away and dropped", [](Ref<FeedbackPopupView>& shown) { shown->removeFromSuperview(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = requests("/m/v2_channel.json").size();
        open("sc3002", false);
        const Ref<HTTPRequest> request = panel->visitedRequest();
        ASSERT_TRUE(request);
        ASSERT_TRUE(service.server().waitForRequests("/m/v2_channel.json", before + 1, std::chrono::seconds(5)));
        const Weak<FeedbackPopupView> weak = panel;
        c.leave(panel);
        panel = nullptr;
        EXPECT_TRUE(weak.expired());
        EXPECT_FALSE(request->delegate());
        // The cancel itself is carried out on the request's thread.
        EXPECT_TRUE(waitFor([&] { return request->isCancelled(); }));
        // The service's late answer reaches nobody: no alert, nothing laid out.
        EXPECT_TRUE(service.server().waitUntil(
            [&] {
                const auto asked = service.server().requests("/m/v2_channel.json");
                return asked.size() > before && asked[before].outcome != standin::Outcome::Hanging;
            },
            std::chrono::seconds(5)));
        drainMain();
        EXPECT_FALSE(UIAlertView::currentAlert());
    }
}

TEST_F(VideoPanelTest, ViewersThatFailOrAreRefused)
{
    struct Case {
        standin::Fault fault;
        const char* alert;  // nullptr: none
    };
    const Case cases[] = {
        {standin::Fault::closeWithoutAnswer().persistent(), "获取观看的人失败"},
        {standin::Fault::status(200, R"({"status":500,"msg":"服务器忙"})"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alert ? c.alert : "refused");
        UIAlertView::resetRecords();
        service.server().addFault("/m/v2_channel.json", c.fault);
        open("sc3002", false);
        ASSERT_TRUE(waitFor([&] { return !panel->visitedRequest(); }));
        drainMain();
        if (c.alert) {
            ASSERT_TRUE(UIAlertView::currentAlert());
            EXPECT_EQ(UIAlertView::currentAlert()->title(), c.alert);
            EXPECT_EQ(UIAlertView::currentAlert()->buttonTitleAtIndex(0), "确定");
            UIAlertView::currentAlert()->simulateClickButtonAtIndex(0);
        } else {
            EXPECT_FALSE(UIAlertView::currentAlert());
            EXPECT_EQ(panel->numberOfSeeThisVideo->text(), "已有0个人观看");
            EXPECT_TRUE(avatars().empty());
            EXPECT_TRUE(panel->pageCtrl->isHidden());
        }
        panel->close();
        service.server().clearFaults("/m/v2_channel.json");
    }
}

TEST_F(VideoPanelTest, ThePanelOpensOnTheScreenWhereverThePlayersCardLies)
{
    // A card high, in the middle and low on the screen: the panel opens under the feedback button when
    // it has room and above it otherwise, and never leaves the screen or covers the bars at the top.
    const CGFloat cardTops[] = {0, 100, 208};
    for (const CGFloat top : cardTops) {
        SCOPED_TRACE(top);
        const Ref<PPlayer> player = PPlayer::initWithFrame_andType(CGRectMake(10, top, 300, 208), PPlayer::TypeFeed);
        root->view()->addSubview(player);
        player->setNavigationController(navigation);
        player->setChannel(record("sc3001"));
        const Ref<UIButton> button = player->showFeedbackButton();
        const CGRect buttonFrame = button->convertRect_toView(button->bounds(), window);
        window->simulateTap(CGPointMake(CGRectGetMidX(buttonFrame), CGRectGetMidY(buttonFrame)));
        panel = nullptr;
        for (const Ref<UIView>& view : window->subviews()) {
            panel = panel ? panel : std::dynamic_pointer_cast<FeedbackPopupView>(view);
        }
        ASSERT_TRUE(panel);
        const CGRect bubble = panel->popView->frame();
        const CGRect bar = navigation->navigationBar()->convertRect_toView(navigation->navigationBar()->bounds(), window);
        EXPECT_TRUE(CGRectContainsRect(window->bounds(), bubble));
        EXPECT_GE(CGRectGetMinY(bubble), CGRectGetMaxY(bar));
        const bool roomBelow = CGRectGetMinY(buttonFrame) + 5 + bubble.size.height <= window->bounds().size.height;
        if (roomBelow) {
            EXPECT_EQ(CGRectGetMinY(bubble), CGRectGetMinY(buttonFrame) + 5);
        } else {
            EXPECT_LE(CGRectGetMaxY(bubble), CGRectGetMinY(buttonFrame));
        }
        // Every action of the panel can be reached.
        for (const Ref<UIButton>& action : {panel->shareButton, panel->commentButton}) {
            const CGRect frame = action->convertRect_toView(action->bounds(), window);
            EXPECT_TRUE(CGRectContainsRect(window->bounds(), frame));
        }
        panel->close();
        panel = nullptr;
        player->removeFromSuperview();
    }
}

TEST_F(VideoPanelTest, APlayersFeedbackButtonOpensThePanel)
{
    const Ref<PPlayer> player = PPlayer::initWithFrame_andType(CGRectMake(10, 10, 300, 208), PPlayer::TypeFeed);
    root->view()->addSubview(player);
    player->setNavigationController(navigation);
    player->setChannel(record("sc3002"));
    player->showFeedbackButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    Ref<FeedbackPopupView> shown;
    for (const Ref<UIView>& view : window->subviews()) {
        shown = shown ? shown : std::dynamic_pointer_cast<FeedbackPopupView>(view);
    }
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->channel()["scid"].stringValue(), "sc3002");
    panel = shown;
    ASSERT_TRUE(waitFor([&] { return !panel->numberOfSeeThisVideo->text().empty(); }));
    EXPECT_EQ(avatars().size(), 13u);
}

}  // namespace VideoPanelTest_cpp
}  // namespace
