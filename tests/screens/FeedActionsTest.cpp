// The feed's actions: the record menu, posting to a topic and importing, following, the home feed's
// reminders with their bars, and the first-login tip.
#include <gtest/gtest.h>

#include <fstream>

#include "FeedTestSupport.h"
#include "fixtures/TestMovie.h"
#include "api/Categories.h"
#include "capture/PZVideoCaptureController.h"
#include "capture/VideoShareController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "service/HttpMessage.h"
#include "shell/FeedBars.h"
#include "shell/HeaderView.h"
#include "shell/VideoMainPage.h"
#include "social/FindFriendResult.h"
#include "social/FindFriendVC.h"
#include "widgets/WebViewController.h"

namespace {
namespace FeedActionsTest_cpp {

using feedtest::FeedTest;

class FeedActionsTest : public FeedTest {
protected:
    Ref<FeedVC> open(int type, const Value& suid = Value())
    {
        auto feed = FeedVC::myinitWithType_andSuid(type, suid);
        show(feed);
        EXPECT_TRUE(firstPage(feed));
        return feed;
    }
    static void tap(const Ref<UIControl>& control)
    {
        ASSERT_NE(control, nullptr);
        control->sendActionsForControlEvents(UIControlEventTouchUpInside);
    }
    // Sets the reminder reply the delegate would have stored, then posts its notification.
    static void remind(const std::string& json, const char* notification)
    {
        g_ffmpeg->setRemind(NSString_JsonParsing::JSONValue(json));
        NSNotificationCenter::defaultCenter()->postNotificationName_object(notification);
    }
    static Value dictionary(std::initializer_list<std::pair<const char*, Value>> pairs)
    {
        Value made = Value::dictionary();
        for (const auto& [key, value] : pairs) {
            made.setObject_forKey(value, key);
        }
        return made;
    }
};

TEST_F(FeedActionsTest, TheRecordMenuRecordsGoesLiveFindsFriendsOrImports)
{
    const struct {
        const char* name;
        bool canlive;
        bool camera;
        int index;
        const char* expect;  // what the person sees
    } cases[] = {
        {"record", false, true, 0, "capture in navigation"},
        {"record without camera", false, false, 0, "无摄像头"},
        {"live", true, true, 1, "live capture"},
        {"live without camera", true, false, 1, "无摄像头"},
        {"find friends", false, false, 1, "FindFriendVC"},
        {"import", false, false, 2, "picker"},
        {"beyond the items", false, true, 3, "nothing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UIAlertView::resetRecords();
        logIn(dictionary({{"canlive", c.canlive}}));
        UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear, c.camera);
        auto newest = open(FeedTypeNewest);
        auto navigation = newest->navigationController();
        newest->radialMenu_didSelectIndex(newest->coolMenu(), c.index);
        const std::string expect = c.expect;
        const Ref<UIViewController> presented = newest->modalViewController();
        if (expect == "无摄像头") {
            ASSERT_NE(UIAlertView::currentAlert(), nullptr);
            EXPECT_EQ(UIAlertView::currentAlert()->title(), "提示");
            EXPECT_EQ(UIAlertView::currentAlert()->message(), "无摄像头");
            EXPECT_EQ(presented, nullptr);
        } else if (expect == "capture in navigation") {
            auto stack = std::dynamic_pointer_cast<UINavigationController>(presented);
            ASSERT_NE(stack, nullptr);
            EXPECT_TRUE(stack->isNavigationBarHidden());
            auto capture = std::dynamic_pointer_cast<PZVideoCaptureController>(stack->topViewController());
            ASSERT_NE(capture, nullptr);
            EXPECT_FALSE(capture->live());
        } else if (expect == "live capture") {
            auto capture = std::dynamic_pointer_cast<PZVideoCaptureController>(presented);
            ASSERT_NE(capture, nullptr);
            EXPECT_TRUE(capture->live());
        } else if (expect == "FindFriendVC") {
            EXPECT_EQ(presented, nullptr);
            EXPECT_EQ(navigation->topViewController()->className(), "FindFriendVC");
        } else if (expect == "picker") {
            auto picker = std::dynamic_pointer_cast<UIImagePickerController>(presented);
            ASSERT_NE(picker, nullptr);
            EXPECT_EQ(picker->sourceType(), UIImagePickerControllerSourceTypeSavedPhotosAlbum);
            EXPECT_EQ(picker->mediaTypes(), std::vector<std::string>{"public.movie"});
            EXPECT_TRUE(picker->allowsEditing());
        } else {
            EXPECT_EQ(presented, nullptr);
            EXPECT_EQ(navigation->viewControllers().size(), 1u);
        }
        window->setRootViewController(nullptr);
    }
    // Nobody logged in: every item asks for a login and does nothing else.
    Logout();
    UIAlertView::resetRecords();
    auto plaza = open(FeedTypePlaza);
    plaza->radialMenu_didSelectIndex(plaza->coolMenu(), 2);
    EXPECT_EQ(plaza->modalViewController(), nullptr);
    EXPECT_EQ(loginPrompts(), 1);
}

TEST_F(FeedActionsTest, TheSecondMenuItemFollowsTheAccountsLiveRight)
{
    logIn(dictionary({{"canlive", false}}));
    auto newest = open(FeedTypeNewest);
    const Ref<RadialMenuItem> item = newest->coolMenu()->menusArray()[1];
    EXPECT_EQ(item->image(), UIImage::imageNamed("menu_item_friend"));
    EXPECT_EQ(item->highlightedImage(), UIImage::imageNamed("menu_item_friend_down"));
    logIn(dictionary({{"canlive", true}}));
    newest->viewWillAppear(false);
    EXPECT_EQ(item->image(), UIImage::imageNamed("menu_item_living"));
    EXPECT_EQ(item->highlightedImage(), UIImage::imageNamed("menu_item_living_down"));
}

TEST_F(FeedActionsTest, PostingToATopicRecordsOrImportsWithThatTopic)
{
    logIn();
    auto topic = open(FeedTypeTopic, "t4001");
    auto navigation = topic->navigationController();
    ASSERT_NE(topic->topicAction(), nullptr);
    EXPECT_TRUE(CGRectEqualToRect(topic->topicAction()->frame(), CGRectMake(0, 372, 320, 44)));

    // "拍摄": the recording screen, in its own stack presented by the feed's stack, with the topic.
    tap(topic->topicAction()->iWillShare());
    auto sheet = UIActionSheet::currentSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->title(), "选择操作");
    EXPECT_EQ(sheet->buttonTitleAtIndex(0), "拍摄");
    EXPECT_EQ(sheet->buttonTitleAtIndex(1), "导入");
    EXPECT_EQ(sheet->buttonTitleAtIndex(2), "取消");
    sheet->simulateClickButtonAtIndex(0);
    auto stack = std::dynamic_pointer_cast<UINavigationController>(navigation->modalViewController());
    ASSERT_NE(stack, nullptr);
    auto capture = std::dynamic_pointer_cast<PZVideoCaptureController>(stack->topViewController());
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->topic().stringValue(), "#西湖#");
    navigation->dismissModalViewControllerAnimated(false);

    // "导入": the picked movie goes to the publish screen with the topic and its engine id.
    tap(topic->topicAction()->iWillShare());
    UIActionSheet::currentSheet()->simulateClickButtonAtIndex(1);
    auto picker = std::dynamic_pointer_cast<UIImagePickerController>(topic->modalViewController());
    ASSERT_NE(picker, nullptr);
    const std::string movie = home.path() + "/西湖.mov";
    std::string error;
    ASSERT_TRUE(writeTestMovie(movie, {.width = 64, .height = 48, .frames = 2, .withSound = false}, &error)) << error;
    Value info = Value::dictionary();
    info.setObject_forKey(NSURL::fileURLWithPath(movie), UIImagePickerControllerMediaURL);
    picker->simulateFinishPickingMediaWithInfo(info);
    EXPECT_TRUE(waitFor([&] { return !topic->modalViewController(); }));
    auto share = std::dynamic_pointer_cast<VideoShareController>(navigation->topViewController());
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(share->topic().stringValue(), "#西湖#");
    EXPECT_EQ(share->guid().stringValue(), PhoneNumberTest::MD5String(movie));

    // On the home feed the publish screen gets no topic; a pick without a movie is a cancelled import.
    auto feed = open(FeedTypeHome);
    feed->radialMenu_didSelectIndex(feed->coolMenu(), 2);
    std::dynamic_pointer_cast<UIImagePickerController>(feed->modalViewController())
        ->simulateFinishPickingMediaWithInfo(info);
    ASSERT_TRUE(waitFor([&] { return !feed->modalViewController(); }));
    auto plain = std::dynamic_pointer_cast<VideoShareController>(feed->navigationController()->topViewController());
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->topic().isNil());
    feed->radialMenu_didSelectIndex(feed->coolMenu(), 2);
    std::dynamic_pointer_cast<UIImagePickerController>(feed->modalViewController())
        ->simulateFinishPickingMediaWithInfo(Value::dictionary());
    EXPECT_TRUE(waitFor([&] { return !feed->modalViewController(); }));
    ASSERT_NE(UIAlertView::currentAlert(), nullptr);
    EXPECT_EQ(UIAlertView::currentAlert()->message(), "导入取消");

    UIAlertView::currentAlert()->dismissWithClickedButtonIndex_animated(0, false);

    // A picked file that is no movie (here an empty one) is refused before the engine enters it.
    const std::string empty = home.path() + "/空.mov";
    std::ofstream(empty).close();
    Value notMovie = Value::dictionary();
    notMovie.setObject_forKey(NSURL::fileURLWithPath(empty), UIImagePickerControllerMediaURL);
    const auto shownBefore = feed->navigationController()->viewControllers().size();
    feed->radialMenu_didSelectIndex(feed->coolMenu(), 2);
    std::dynamic_pointer_cast<UIImagePickerController>(feed->modalViewController())
        ->simulateFinishPickingMediaWithInfo(notMovie);
    EXPECT_TRUE(waitFor([&] { return !feed->modalViewController(); }));
    ASSERT_NE(UIAlertView::currentAlert(), nullptr);
    EXPECT_EQ(UIAlertView::currentAlert()->message(), kImportFailedMessage);
    EXPECT_EQ(feed->navigationController()->viewControllers().size(), shownBefore);
}

TEST_F(FeedActionsTest, FollowingTakesTheRelationTheServiceAnswers)
{
    logIn();
    int answer = 3;
    service.server().route("/m/follow.json", [&answer](const standin::Request&) {
        return feedtest::jsonReply(R"({"status":200,"msg":"操作成功","type":)" + std::to_string(answer) + "}");
    });
    auto user = open(FeedTypeUser, "1004");
    ASSERT_EQ(user->relation(), 2);
    const Ref<UIButton> button = user->headerView()->followOrUnfollow;
    // Not followed (even): a follow; the reply's "type" becomes the relation and the button's look.
    tap(button);
    ASSERT_TRUE(waitFor([&] { return !user->followUnfollowRequest(); }));
    drainMain();
    EXPECT_EQ(user->relation(), 3);
    EXPECT_EQ(button->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed("unfollowHe"));
    // Followed (odd): an unfollow.
    answer = 2;
    tap(button);
    ASSERT_TRUE(waitFor([&] { return !user->followUnfollowRequest(); }));
    drainMain();
    EXPECT_EQ(user->relation(), 2);
    const auto posts = requests("/m/follow.json");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(standin::findParam(posts[0].formParams(), "suid").value_or(""), "1004");
    EXPECT_FALSE(standin::findParam(posts[0].formParams(), "_method"));
    EXPECT_EQ(standin::findParam(posts[1].formParams(), "_method").value_or(""), "delete");

    // The topic: "已关注" and disabled once the service agreed; a refusal leaves the button usable.
    auto topic = open(FeedTypeTopic, "t4001");
    const Ref<UIButton> follow = topic->topicAction()->followTopic();
    EXPECT_TRUE(follow->isEnabled());
    EXPECT_EQ(follow->titleForState(UIControlStateNormal), "关注话题");
    service.server().addFault("/m/follow-topic.json",
                              standin::Fault::status(200, R"({"status":400,"msg":"已经关注过了"})"));
    tap(follow);
    ASSERT_TRUE(waitFor([&] { return !topic->followTopicRequest(); }));
    EXPECT_TRUE(follow->isEnabled());
    tap(follow);
    ASSERT_TRUE(waitFor([&] { return !topic->followTopicRequest(); }));
    EXPECT_FALSE(follow->isEnabled());
    EXPECT_EQ(follow->titleForState(UIControlStateNormal), "已关注");
    const auto topicPosts = requests("/m/follow-topic.json");
    ASSERT_EQ(topicPosts.size(), 2u);
    EXPECT_EQ(standin::findParam(topicPosts[1].formParams(), "stpid").value_or(""), "t4001");

    // Logged out, both ask for a login.
    Logout();
    UIAlertView::resetRecords();
    tap(button);
    tap(follow);
    EXPECT_EQ(loginPrompts(), 2);
}

TEST_F(FeedActionsTest, ANewFansReminderOpensTheFanOrTheFansList)
{
    logIn();
    const struct {
        const char* reply;
        const char* pushedSuid;  // null: the right panel opens on the fans list instead
    } cases[] = {
        {R"({"fans":{"cnt":1,"text":"阿芳关注了你","fan":{"suid":"1002","nick":"阿芳"}}})", "1002"},
        {R"({"fans":{"cnt":3,"text":"3个人关注了你","fan":{"suid":"1003"}}})", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        auto home = open(FeedTypeHome);
        remind(c.reply, kFansRemindNotification);
        const Ref<UIView> strip = home->headerView()->fansRemindView;
        EXPECT_FALSE(strip->isHidden());
        tap(home->headerView()->fansRemind);
        EXPECT_TRUE(strip->isHidden());
        auto navigation = home->navigationController();
        if (c.pushedSuid) {
            auto page = std::dynamic_pointer_cast<FeedVC>(navigation->topViewController());
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(page->type(), FeedTypeUser);
            EXPECT_EQ(page->suid().stringValue(), c.pushedSuid);
        } else {
            EXPECT_EQ(navigation->viewControllers().size(), 1u);
        }
    }
}

TEST_F(FeedActionsTest, ALoginHidesTheHomeFeedsReminderStripsAndRefreshesIt)
{
    logIn();
    auto home = open(FeedTypeHome);
    remind(R"({"fans":{"cnt":3,"text":"3个人关注了你","fan":{"suid":"1003"}}})", kFansRemindNotification);
    remind(R"({"sys":{"cnt":2,"text":"系统维护通知"}})", kSystemRemindNotification);
    const Ref<UIView> strip = home->headerView()->fansRemindView;
    const Ref<SystemMsgBottomBar> bar = home->systemMsgBottom();
    ASSERT_FALSE(strip->isHidden());
    ASSERT_FALSE(bar->isHidden());
    const size_t asked = service.server().requests("/m/v2_feed.json").size();

    // Another account's login: what the last one was told no longer shows, and its feed is asked for.
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kLoginSuccessNotification);
    EXPECT_TRUE(strip->isHidden());
    EXPECT_TRUE(bar->isHidden());
    EXPECT_TRUE(waitFor([&] { return service.server().requests("/m/v2_feed.json").size() > asked; }));
}

TEST_F(FeedActionsTest, TheSystemNoticeBarShowsTheNewestMessage)
{
    logIn();
    auto home = open(FeedTypeHome);
    const Ref<SystemMsgBottomBar> bar = home->systemMsgBottom();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(CGRectGetMaxY(bar->frame()), home->view()->bounds().size.height - 44);
    const struct {
        const char* sys;
        bool head;
        const char* count;  // null: hidden
    } cases[] = {
        {R"({"cnt":1,"text":"你的视频被推荐到了广场","user":{"suid":"1003","icon":"http://127.0.0.1:1/a.jpg"},"mark":2})",
         true, nullptr},
        {R"({"cnt":2,"text":"你的视频被推荐到了广场","user":{"suid":"1003"},"mark":2})", true, "2"},
        {R"({"cnt":5,"text":"系统维护通知"})", false, "5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sys);
        remind(std::string(R"({"sys":)") + c.sys + "}", kSystemRemindNotification);
        EXPECT_FALSE(bar->isHidden());
        EXPECT_EQ(bar->title()->text(), NSString_JsonParsing::JSONValue(c.sys)["text"].stringValue());
        EXPECT_EQ(bar->head()->isHidden(), !c.head);
        EXPECT_EQ(bar->msgNumber()->isHidden(), c.count == nullptr);
        if (c.count) {
            EXPECT_EQ(bar->msgNumber()->titleForState(UIControlStateNormal), c.count);
        }
    }
    EXPECT_FALSE(bar->msgNumber()->isUserInteractionEnabled());
    // Nothing to show: the bar hides; "system_dismiss" hides it too.
    remind(R"({"fans":{"cnt":1}})", kSystemRemindNotification);
    EXPECT_TRUE(bar->isHidden());
    remind(R"({"sys":{"cnt":1,"text":"通知"}})", kSystemRemindNotification);
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kSystemDismissNotification);
    EXPECT_TRUE(bar->isHidden());
}

TEST_F(FeedActionsTest, TappingTheNoticeMarksMessagesReadAndOpensItsAction)
{
    logIn();
    int dismissed = 0;
    auto observer = NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
        kSystemDismissNotification, Value(), [&dismissed](const Ref<NSNotification>&) { ++dismissed; });
    const struct {
        const char* action;
        const char* opens;  // pushed class, "browser" presented by the feed, null for nothing
        int type;
    } cases[] = {
        {"sys", "MessageBoxVC", 0},   {"chan", "VideoMainPage", 2}, {"cmt", "VideoMainPage", 3},
        {"user", "FeedVC", 10},       {"url", "browser", 0},        {"news", nullptr, 0},
        {"topic", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        auto home = open(FeedTypeHome);
        const int before = dismissed;
        const size_t marks = requests("/m/sysmsg.json").size();
        remind(std::string(R"({"sys":{"cnt":2,"text":"有新消息","action":")") + c.action +
                   R"(","data":"http://127.0.0.1:1/x"}})",
               kSystemRemindNotification);
        tap(home->systemMsgBottom()->actionResponse());
        EXPECT_TRUE(home->systemMsgBottom()->isHidden());
        auto navigation = home->navigationController();
        if (!c.opens) {
            EXPECT_EQ(navigation->viewControllers().size(), 1u);
            EXPECT_EQ(home->modalViewController(), nullptr);
        } else if (std::string(c.opens) == "browser") {
            auto browser = std::dynamic_pointer_cast<ModalWebViewController>(home->modalViewController());
            ASSERT_NE(browser, nullptr);
            EXPECT_EQ(browser->availableActions(), 7u);
            home->dismissModalViewControllerAnimated(false);
        } else {
            ASSERT_EQ(navigation->viewControllers().size(), 2u);
            EXPECT_EQ(navigation->topViewController()->className(), c.opens);
            if (auto page = std::dynamic_pointer_cast<VideoMainPage>(navigation->topViewController())) {
                EXPECT_EQ(page->type(), c.type);
            }
            if (auto feed = std::dynamic_pointer_cast<FeedVC>(navigation->topViewController())) {
                EXPECT_EQ(feed->type(), c.type);
            }
        }
        // The messages are marked read (page 0); the service's agreement dismisses the notice.
        ASSERT_TRUE(waitFor([&] { return !home->tagMsgboxToReaded(); }));
        const auto marked = requests("/m/sysmsg.json");
        size_t pageZero = 0;
        for (size_t m = marks; m < marked.size(); ++m) {
            pageZero += marked[m].param("page").value_or("") == "0" ? 1 : 0;
        }
        EXPECT_EQ(pageZero, 1u);
        const bool box = c.opens && std::string(c.opens) == "MessageBoxVC";
        if (!box) {
            EXPECT_EQ(marked.size(), marks + 1);
            EXPECT_EQ(dismissed, before + 1);
            continue;
        }
        // The message box reads its own first page once it has loaded, which dismisses the notice
        // again; it is closed, and gone, before the next case counts.
        EXPECT_GE(dismissed, before + 1);
        Weak<UIViewController> opened = navigation->topViewController();
        navigation->popViewControllerAnimated(false);
        ASSERT_TRUE(waitFor([&] { return opened.expired(); }));
    }
    NSNotificationCenter::defaultCenter()->removeObserver(observer);
}

TEST_F(FeedActionsTest, TheFirstLoginTipShowsOnceOnTheHomeFeed)
{
    const struct {
        int loginType;
        NSInteger tag;
        const char* opens;  // null: closed without opening anything
        const char* kind;
    } cases[] = {
        {0, kFirstTipActionTag, "FindFriendVC", ""},  {2, kFirstTipActionTag, "FindFriendResult", "qq"},
        {1, kFirstTipActionTag, "FindFriendResult", "lumo"}, {0, kFirstTipCloseTag, nullptr, ""},
        {0, kFirstTipCloseOtherTag, nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        logIn(dictionary({{"otherLoginMode", c.loginType}}));
        // Only the home feed shows it.
        EXPECT_EQ(open(FeedTypeNewest)->firstTipView(), nullptr);
        auto home = open(FeedTypeHome);
        const Ref<UIView> tip = home->firstTipView();
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(tip->superview(), home->view());
        tap(std::dynamic_pointer_cast<UIControl>(tip->viewWithTag(c.tag)));
        EXPECT_EQ(tip->superview(), nullptr);
        EXPECT_EQ(home->firstTipView(), nullptr);
        EXPECT_FALSE(isFirstLogin());
        auto navigation = home->navigationController();
        if (c.opens) {
            EXPECT_EQ(navigation->topViewController()->className(), c.opens);
            if (auto result = std::dynamic_pointer_cast<FindFriendResult>(navigation->topViewController())) {
                EXPECT_EQ(result->kind(), c.kind);
            }
        } else {
            EXPECT_EQ(navigation->viewControllers().size(), 1u);
        }
        EXPECT_EQ(open(FeedTypeHome)->firstTipView(), nullptr);
    }
}

}  // namespace FeedActionsTest_cpp
}  // namespace
