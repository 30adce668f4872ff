// The publish screen without the engine: what it shows, the title rules, the sharing switches and the
// edition's hidden switches, the creator's topic, and a video without a job that publishes nothing.
#include "PublishStage.h"

#include <fstream>

#include "capture/VideoShareController.h"
#include "api/LumoWeiboClient.h"
#include "api/QQWeiboClient.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UINavigationItem.h"

namespace {
namespace PublishScreenTest_cpp {

using publishtest::PublishStage;

class PublishScreenTest : public PublishStage {
protected:
    void SetUp() override
    {
        PublishStage::SetUp();
        logIn();
    }
    static void link(bool lumo, bool qq)
    {
        Value account = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey).mutableCopy();
        account.setObject_forKey(Value(lumo), "bindLumoWeibo");
        account.setObject_forKey(Value(qq), "bindQWeibo");
        NSUserDefaults::standardUserDefaults()->setObject_forKey(account, kAcountInfoKey);
    }
    Ref<VideoShareController> show(const Value& guid = Value(), const Value& topic = Value())
    {
        auto share = VideoShareController::create();
        share->setGuid(guid);
        share->setTopic(topic);
        showInNavigation(UIViewController::create());
        navigation->pushViewController_animated(share, true);
        settle();
        return share;
    }
    static Ref<UIButton> barButton(const Ref<UIBarButtonItem>& item)
    {
        return item ? std::dynamic_pointer_cast<UIButton>(item->customView()) : nullptr;
    }
};

TEST_F(PublishScreenTest, ShowsItsTitleBarHintTopicButtonAndAHiddenMap)
{
    auto share = show();
    EXPECT_EQ(share->title(), "分享视频");
    auto publish = barButton(share->navigationItem()->rightBarButtonItem());
    auto back = barButton(share->navigationItem()->leftBarButtonItem());
    ASSERT_TRUE(publish && back);
    EXPECT_EQ(publish->titleForState(UIControlStateNormal), "分享");
    EXPECT_EQ(back->titleForState(UIControlStateNormal), "  返回");
    EXPECT_TRUE(CGSizeEqualToSize(publish->frame().size, CGSizeMake(52, 31)));  // the bar places it
    EXPECT_TRUE(publish->backgroundImageForState(UIControlStateNormal));
    EXPECT_TRUE(back->backgroundImageForState(UIControlStateNormal));
    EXPECT_EQ(share->placeHolder->text(), "请输入文字...");
    EXPECT_TRUE(CGRectEqualToRect(share->placeHolder->frame(), CGRectMake(0, 0, 100, 30)));
    EXPECT_FALSE(share->placeHolder->isHidden());
    EXPECT_TRUE(CGRectEqualToRect(share->topicButton->frame(), CGRectMake(85, 160, 21, 20)));
    EXPECT_TRUE(share->topicButton->imageForState(UIControlStateNormal));
    EXPECT_TRUE(share->mapView->isHidden());
    EXPECT_TRUE(CGRectEqualToRect(share->mapView->frame(), share->locationBottomButton->frame()));
    EXPECT_EQ(share->withSomebodyButton->layer()->cornerRadius(), 10);
    EXPECT_EQ(share->withSomebodyButton1->layer()->cornerRadius(), 12);

    // "  返回" goes back to the root without publishing.
    back->sendActionsForControlEvents(UIControlEventTouchUpInside);
    settle();
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
}

TEST_F(PublishScreenTest, AnEmptyTitleOrAVideoWithoutAJobPublishesNothing)
{
    struct Case {
        const char* name;
        Value guid;
        std::string title;
        std::string message;
    };
    const std::string longTitle(600, 'a');
    const std::vector<Case> cases = {
        {"empty title", Value(), "", "标题不能为空"},  // checked before the job
        {"no job", Value(), "西湖的晚霞", "视频导入失败，无法分享"},
        {"empty job", Value(""), longTitle, "视频导入失败，无法分享"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UIAlertView::resetRecords();
        auto share = show(c.guid);
        share->message->setText(c.title);
        EXPECT_EQ(share->message->text(), c.title);  // the title has no length limit
        barButton(share->navigationItem()->rightBarButtonItem())->sendActionsForControlEvents(
            UIControlEventTouchUpInside);
        settle();
        auto alert = UIAlertView::currentAlert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->title(), "提示");
        EXPECT_EQ(alert->message(), c.message);
        EXPECT_EQ(alert->buttonTitleAtIndex(0), "确定");
        alert->simulateClickButtonAtIndex(0);
        EXPECT_EQ(top(), share);  // it stays
    }
}

TEST_F(PublishScreenTest, SharingSwitchesFollowTheLinkedAccountsOnEveryAppearance)
{
    struct Case {
        bool lumo, qq;
    };
    for (const Case& c : std::vector<Case>{{false, false}, {true, false}, {false, true}, {true, true}}) {
        SCOPED_TRACE(std::to_string(c.lumo) + std::to_string(c.qq));
        link(c.lumo, c.qq);
        auto share = show();
        EXPECT_EQ(share->shareLumoButton->isSelected(), c.lumo);
        EXPECT_EQ(share->shareQQButton->isSelected(), c.qq);
        EXPECT_FALSE(share->shareLumoButton->isHidden() || share->shareQQButton->isHidden() ||
                     share->shareTipLable->isHidden());
    }

    // A linked service's switch turns off and on; leaving for a picker and coming back turns it on again.
    link(true, false);
    auto share = show();
    share->shareLumoButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_FALSE(share->shareLumoButton->isSelected());
    share->topicButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    settle();
    navigation->popViewControllerAnimated(false);
    settle();
    EXPECT_EQ(top(), share);
    EXPECT_TRUE(share->shareLumoButton->isSelected());

    // An unlinked service opens its client to link an account.
    share->shareQQButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    settle();
    EXPECT_TRUE(std::dynamic_pointer_cast<QQWeiboClient>(top()));
    EXPECT_FALSE(share->shareQQButton->isSelected());
}

TEST_F(PublishScreenTest, TheEditionConfigurationHidesTheSharingSwitches)
{
    TemporaryFolder bundle("publish-bundle");
    Value config = Value::dictionary(
        {{"VideoShareController",
          Value::dictionary({{"shareQQButton", Value::dictionary({{"hidden", Value(true)}})},
                             {"shareTipLable", Value::dictionary({{"hidden", Value(true)}})},
                             {"shareLumoButton", Value::dictionary({{"hidden", Value(false)}})}})}});
    ASSERT_TRUE(PropertyList::writeFile(config, bundle / "lumo-OEM-config.plist"));
    NSBundle::setMainBundlePath(bundle.path());
    auto share = show();
    NSBundle::setMainBundlePath("");
    EXPECT_TRUE(share->shareQQButton->isHidden());
    EXPECT_TRUE(share->shareTipLable->isHidden());
    EXPECT_FALSE(share->shareLumoButton->isHidden());
}

TEST_F(PublishScreenTest, TheCreatorsTopicIsAppendedOnce)
{
    auto share = show(Value(), Value("#西湖#"));
    EXPECT_EQ(share->message->text(), "#西湖#");
    EXPECT_TRUE(share->placeHolder->isHidden());
    share->topicButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    settle();
    navigation->popViewControllerAnimated(false);  // back without choosing
    settle();
    EXPECT_EQ(share->message->text(), "#西湖#");
    EXPECT_TRUE(share->topic().isNil());

    // The thumbnail fills the screen while it is held.
    share->videoThumbButton->sendActionsForControlEvents(UIControlEventTouchDown);
    EXPECT_TRUE(CGRectEqualToRect(share->videoThumbButton->frame(), CGRectMake(0, 0, 320, 480)));
    EXPECT_EQ(share->videoThumbButton->superview(), window);
    share->videoThumbButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_TRUE(CGRectEqualToRect(share->videoThumbButton->frame(), CGRectMake(245, 15, 54, 54)));
    EXPECT_EQ(share->videoThumbButton->superview(), share->view());
}

}  // namespace PublishScreenTest_cpp
}  // namespace
