// The square as a person uses it: the tile grid, the tiles filled from the square's reply, taps on
// tiles and headers, the logged-out player and the radial record menu.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "ShellTestSupport.h"
#include "capture/PZVideoCaptureController.h"
#include "shell/ombriAppDelegate.h"
#include "shell/FeedVC.h"
#include "shell/VideoMainPage.h"
#include "social/FindFriendVC.h"
#include "social/IdolTVC.h"
#include "social/SquareVC.h"
#include "social/StreamPlayerVC.h"
#include "social/TopicFollowedVC.h"

namespace {
namespace SquareTest_cpp {

standin::Response utf8Json(std::string body)
{
    standin::Response response;
    response.body = std::move(body);
    response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
    return response;
}

class SquareTest : public shelltest::ShellTest {
protected:
    void TearDown() override
    {
        UIAlertView::resetRecords();
        UIImagePickerController::resetAvailability();
        UIApplication::sharedApplication()->setDelegate(nullptr);
        shelltest::ShellTest::TearDown();
    }
    // The square as the root of a navigation stack in a visible window, its reply arrived.
    void show()
    {
        square = SquareVC::create();
        square->setIsRoot(true);
        navigation = UINavigationController::initWithRootViewController(square);
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        ASSERT_TRUE(pumpMainUntil([&] { return square->peoples().count() > 0; }));
    }
    static void tap(const Ref<UIButton>& button) { button->sendActionsForControlEvents(UIControlEventTouchUpInside); }
    Ref<UIViewController> top() { return navigation->topViewController(); }

    Ref<SquareVC> square;
    Ref<UINavigationController> navigation;
};

TEST_F(SquareTest, TilesLieOnTheirGridWithTheirTags)
{
    show();
    ASSERT_EQ(square->peopleBtns().size(), 20u);
    ASSERT_EQ(square->topicBtns().size(), 5u);
    ASSERT_EQ(square->channelBtns().size(), 5u);
    struct Case {
        size_t index;
        CGFloat x, y;
    };
    const Case people[] = {{0, 103, 8}, {3, 250, 8}, {4, 103, 57}, {7, 250, 57}, {8, 5, 106}, {13, 250, 106}, {14, 5, 155}, {19, 250, 155}};
    for (const Case& c : people) {
        const CGRect frame = square->peopleBtns()[c.index]->frame();
        EXPECT_EQ(frame.origin.x, c.x) << c.index;
        EXPECT_EQ(frame.origin.y, c.y) << c.index;
        EXPECT_EQ(frame.size.width, 44) << c.index;
        EXPECT_EQ(square->peopleBtns()[c.index]->tag(), NSInteger(100 + c.index));
    }
    const Case big[] = {{0, 103, 8}, {1, 201, 8}, {2, 5, 106}, {3, 103, 106}, {4, 201, 106}};
    for (const Case& c : big) {
        for (const auto* tiles : {&square->topicBtns(), &square->channelBtns()}) {
            const CGRect frame = (*tiles)[c.index]->frame();
            EXPECT_EQ(frame.origin.x, c.x) << c.index;
            EXPECT_EQ(frame.origin.y, c.y) << c.index;
            EXPECT_EQ(frame.size.width, 93) << c.index;
        }
        EXPECT_EQ(square->topicBtns()[c.index]->tag(), NSInteger(200 + c.index));
        EXPECT_EQ(square->channelBtns()[c.index]->tag(), NSInteger(300 + c.index));
    }
    EXPECT_EQ(square->peopleHeaderButton()->frame().origin.x, 5);
    EXPECT_EQ(square->scrollView()->contentSize().height, 690);
    EXPECT_EQ(square->title(), "广场");

    // The stand-in's square has 22 people: the 20 tiles show the first 20, the last tile opens the 20th.
    EXPECT_EQ(square->peoples().count(), 22u);
    auto caption = std::dynamic_pointer_cast<UILabel>(square->topicBtns()[1]->viewWithTag(400));
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->text(), "#美食#");
    tap(square->peopleBtns()[19]);
    auto feed = std::dynamic_pointer_cast<FeedVC>(top());
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->type(), 10);
    EXPECT_EQ(feed->suid().stringValue(), "2020");
    const auto asked = service.server().requests("/m/category-custom.json");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].param("mode"), "v2");
    EXPECT_EQ(asked[0].param("per"), "20");
}

TEST_F(SquareTest, TilesWithoutAnItemDoNothing)
{
    service.server().route("/m/category-custom.json", [](const standin::Request&) {
        return utf8Json(R"({"status":200,"result":{"user":[{"pic":"","data":"2001"},{"pic":"","data":"2002"},)"
                        R"({"pic":"","data":"2003"}],"topic":[],"chan":[]}})");
    });
    show();
    tap(square->peopleBtns()[3]);
    tap(square->topicBtns()[0]);
    tap(square->channelBtns()[0]);
    EXPECT_EQ(top(), square);
    tap(square->peopleBtns()[2]);
    auto feed = std::dynamic_pointer_cast<FeedVC>(top());
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->suid().stringValue(), "2003");
}

TEST_F(SquareTest, EveryTileAndHeaderOpensItsScreen)
{
    logIn();
    show();
    struct Case {
        const char* what;
        std::function<void()> act;
        std::function<bool(const Ref<UIViewController>&)> opened;
    } const cases[] = {
        {"people header", [&] { tap(square->peopleHeaderButton()); },
         [](const Ref<UIViewController>& c) { return std::dynamic_pointer_cast<IdolTVC>(c) != nullptr; }},
        {"topic header", [&] { tap(square->topicHeaderButton()); },
         [](const Ref<UIViewController>& c) {
             auto topics = std::dynamic_pointer_cast<TopicFollowedVC>(c);
             return topics && topics->type() == 1;
         }},
        {"video header", [&] { tap(square->channelHeaderButton()); },
         [](const Ref<UIViewController>& c) {
             auto feed = std::dynamic_pointer_cast<FeedVC>(c);
             return feed && feed->type() == 11;
         }},
        {"nearby", [&] { square->navigationItem()->rightBarButtonItem()->simulateTap(); },
         [](const Ref<UIViewController>& c) {
             auto feed = std::dynamic_pointer_cast<FeedVC>(c);
             return feed && feed->type() == 12;
         }},
        {"topic tile", [&] { tap(square->topicBtns()[2]); },
         [](const Ref<UIViewController>& c) {
             auto feed = std::dynamic_pointer_cast<FeedVC>(c);
             return feed && feed->type() == 13 && feed->suid().stringValue() == "t403";
         }},
        {"video tile", [&] { tap(square->channelBtns()[1]); },
         [](const Ref<UIViewController>& c) {
             auto page = std::dynamic_pointer_cast<VideoMainPage>(c);
             return page && page->type() == 2 && page->data().stringValue() == "sc3002";
         }},
    };
    for (const Case& c : cases) {
        c.act();
        EXPECT_TRUE(c.opened(top())) << c.what;
        navigation->popToRootViewControllerAnimated(false);
    }
}

TEST_F(SquareTest, WithoutAnAccountVideosPlayTheStreamAndTheMenuOpensNothing)
{
    show();
    tap(square->channelBtns()[0]);
    auto player = std::dynamic_pointer_cast<StreamPlayerVC>(square->modalViewController());
    ASSERT_TRUE(player);
    EXPECT_EQ(player->contentURL(), "http://" + service.hostPort() + "/stream/sc3001.mp4");
    square->dismissModalViewControllerAnimated(false);

    // Every item asks for a login instead, even with a camera at hand.
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear, true);
    auto delegate = ombriAppDelegate::create();
    delegate->setWindow(window);
    UIApplication::sharedApplication()->setDelegate(delegate);
    UIAlertView::resetRecords();
    for (int index = 0; index < 3; ++index) {
        square->radialMenu_didSelectIndex(square->coolMenu(), index);
        EXPECT_FALSE(square->modalViewController()) << index;
        EXPECT_EQ(top(), square) << index;
    }
    int prompts = 0;
    for (const Ref<UIAlertView>& alert : UIAlertView::shownAlerts()) {
        prompts += alert->message() == kPresentLoginMessage ? 1 : 0;
    }
    EXPECT_EQ(prompts, 3);
}

TEST_F(SquareTest, WithACameraTheMenuRecordsInAStackOrGoesLiveByTheAccount)
{
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear, true);
    for (bool canLive : {false, true}) {
        SCOPED_TRACE(canLive ? "may go live" : "may not go live");
        logIn();
        appendUserInfo(Value(canLive), "canlive");
        show();
        UIAlertView::resetRecords();

        // Recording: the recording screen in a stack of its own whose bar is hidden.
        square->radialMenu_didSelectIndex(square->coolMenu(), 0);
        auto stack = std::dynamic_pointer_cast<UINavigationController>(square->modalViewController());
        ASSERT_TRUE(stack);
        EXPECT_TRUE(stack->isNavigationBarHidden());
        auto capture = std::dynamic_pointer_cast<PZVideoCaptureController>(stack->topViewController());
        ASSERT_TRUE(capture);
        EXPECT_FALSE(capture->live());
        square->dismissModalViewControllerAnimated(false);

        // The middle item: live recording by itself, or the find-friends screen pushed.
        square->radialMenu_didSelectIndex(square->coolMenu(), 1);
        if (canLive) {
            auto live = std::dynamic_pointer_cast<PZVideoCaptureController>(square->modalViewController());
            ASSERT_TRUE(live);
            EXPECT_TRUE(live->live());
            EXPECT_EQ(top(), square);
            square->dismissModalViewControllerAnimated(false);
        } else {
            EXPECT_FALSE(square->modalViewController());
            EXPECT_TRUE(std::dynamic_pointer_cast<FindFriendVC>(top()));
        }
        EXPECT_TRUE(UIAlertView::shownAlerts().empty());
        window->setRootViewController(nullptr);
    }
}

TEST_F(SquareTest, MenuRecordsOrFindsFriendsByTheAccount)
{
    logIn(); // an account without "canlive"
    show();
    square->radialMenu_didSelectIndex(square->coolMenu(), 1);
    EXPECT_TRUE(std::dynamic_pointer_cast<FindFriendVC>(top()));
    navigation->popToRootViewControllerAnimated(false);

    square->radialMenu_didSelectIndex(square->coolMenu(), 0);
    ASSERT_EQ(UIAlertView::visibleAlerts().size(), 1u);
    EXPECT_EQ(UIAlertView::visibleAlerts()[0]->title(), "提示");
    EXPECT_EQ(UIAlertView::visibleAlerts()[0]->message(), "无摄像头");
    EXPECT_FALSE(square->modalViewController());
}

TEST_F(SquareTest, AnImportWithoutAMovieOnlyClosesThePicker)
{
    logIn();
    show();
    struct Case {
        const char* what;
        std::function<void(const Ref<UIImagePickerController>&)> answer;
        bool alert;
    } const cases[] = {
        {"cancelled", [](const Ref<UIImagePickerController>& p) { p->simulateCancel(); }, false},
        {"a still picture",
         [](const Ref<UIImagePickerController>& p) {
             p->simulateFinishPickingMediaWithInfo(Value::dictionary({{UIImagePickerControllerMediaType, Value(kUTTypeImage)}}));
         },
         false},
        {"a movie without its file",
         [](const Ref<UIImagePickerController>& p) {
             p->simulateFinishPickingMediaWithInfo(Value::dictionary({{UIImagePickerControllerMediaType, Value(kUTTypeMovie)}}));
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UIAlertView::resetRecords();
        square->radialMenu_didSelectIndex(square->coolMenu(), 2);
        auto picker = std::dynamic_pointer_cast<UIImagePickerController>(square->modalViewController());
        ASSERT_TRUE(picker);
        c.answer(picker);
        clock.advance(1);
        EXPECT_TRUE(pumpMainUntil([&] { return !square->modalViewController(); }));
        EXPECT_EQ(top(), square);
        if (c.alert) {
            ASSERT_EQ(UIAlertView::visibleAlerts().size(), 1u);
            EXPECT_EQ(UIAlertView::visibleAlerts()[0]->title(), "提示");
            EXPECT_EQ(UIAlertView::visibleAlerts()[0]->message(), "导入取消");
            EXPECT_EQ(UIAlertView::visibleAlerts()[0]->buttonTitleAtIndex(0), "确定");
        } else {
            EXPECT_TRUE(UIAlertView::visibleAlerts().empty());
        }
    }
}

}  // namespace SquareTest_cpp
}  // namespace
