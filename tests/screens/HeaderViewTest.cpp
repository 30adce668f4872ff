// The user header: a person's page and the home feed's layout, counts, the follow button, the fans
// strip, the video signs with their edit mode, and deleting a sign through the service.
#include "FeedCellTestSupport.h"
#include "api/Tool.h"
#include "capture/PPlayer.h"
#include "capture/PZVideoCaptureController.h"
#include "platform/foundation/Clock.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "net/http/HTTPRequest.h"
#include "service/CommitRoutes.h"
#include "service/Fault.h"
#include "shell/FeedViews.h"
#include "shell/HeaderView.h"

namespace {
namespace HeaderViewTest_cpp {

using namespace feedcelltest;

class HeaderViewTest : public FeedCellFixture {
protected:
    Ref<HeaderView> loadHeader()
    {
        registerFeedViews();
        const auto header = std::dynamic_pointer_cast<HeaderView>(Tool::getHeaderViewFromNib(0));
        EXPECT_TRUE(header);
        if (header) {
            window->addSubview(header);
        }
        return header;
    }
    Value sign(const char* scid) { return video({}, scid); }
    // A person with counts, a cover and the signs.
    Value person(const char* suid, std::vector<Value> signs)
    {
        Value list = Value::array();
        for (const Value& s : signs) {
            list.addObject(s);
        }
        return Value::dictionary({{"suid", suid}, {"nick", "小明"}, {"icon", image("avatar-1001")},
                                  {"ext", Value::dictionary({{"cover", image("cover-1001")}})},
                                  {"eventCnt", Value::dictionary({{"follow", 3}, {"fans", 10}, {"event", 0}})},
                                  {"sign", Value::dictionary({{"result", list}})}});
    }
    static bool offersNewSign(const Ref<HeaderView>& header, const Ref<UIButton>& button)
    {
        return button->imageForState(UIControlStateNormal) == UIImage::imageNamed(kAddNewSignImage) &&
               button->actionsForTarget_forControlEvent(header, UIControlEventTouchUpInside) ==
                   std::vector<std::string>{"add_video_sign"};
    }
    // How many inline players each sign button holds.
    static std::vector<size_t> players(const Ref<HeaderView>& header)
    {
        std::vector<size_t> counts;
        for (const Ref<UIButton>& button : header->signButtons) {
            size_t count = 0;
            for (const Ref<UIView>& view : button->subviews()) {
                count += std::dynamic_pointer_cast<PPlayer>(view) != nullptr;
            }
            counts.push_back(count);
        }
        return counts;
    }
    static std::vector<bool> deleteShown(const Ref<HeaderView>& header)
    {
        std::vector<bool> shown;
        for (const Ref<UIButton>& button : header->deleteButtons) {
            shown.push_back(!button->isHidden());
        }
        return shown;
    }
    static std::vector<std::string> signScids(const Ref<HeaderView>& header)
    {
        std::vector<std::string> scids;
        for (size_t i = 0; i < header->signInfos().count(); ++i) {
            scids.push_back(header->signInfos()[i]["scid"].stringValue());
        }
        return scids;
    }
};

TEST_F(HeaderViewTest, PersonsPageShowsNickCountsAndFollowButton)
{
    const Ref<HeaderView> header = loadHeader();
    ASSERT_TRUE(header);
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(person("1002", {}), navigation, false, 2, nullptr);
    EXPECT_EQ(header->username->text(), "小明");
    EXPECT_EQ(header->otherInfo->text(), "关注:3  粉丝:10  分享:0");
    EXPECT_FALSE(header->username->isHidden());
    EXPECT_FALSE(header->followOrUnfollow->isHidden());
    EXPECT_TRUE(header->refresh->isHidden());
    EXPECT_EQ(header->head->center().x, 33);
    EXPECT_EQ(header->head->center().y, 253);
    EXPECT_EQ(header->followOrUnfollow->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed("followHe"));
    // The cover and the avatar arrive from the service.
    ASSERT_TRUE(pumpMainUntil([&] {
        const Ref<UIImage> cover = header->bkgimgv->image();
        return cover && cover->size().width == 640 && header->head->backgroundImageForState(UIControlStateNormal);
    }));
    // Own page: relation 4 hides the follow button.
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(person("1001", {}), navigation, false, 4, nullptr);
    EXPECT_TRUE(header->followOrUnfollow->isHidden());
}

TEST_F(HeaderViewTest, HomeFeedLayoutAndFansStrip)
{
    const Ref<HeaderView> header = loadHeader();
    ASSERT_TRUE(header);
    const Ref<UIImageView> desktop = UIImageView::initWithFrame(CGRectMake(0, 0, 320, 320));
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(person("1001", {}), navigation, true, 4, desktop);
    EXPECT_TRUE(header->username->isHidden());
    EXPECT_TRUE(header->otherInfo->isHidden());
    EXPECT_TRUE(header->followOrUnfollow->isHidden());
    EXPECT_FALSE(header->refresh->isHidden());
    EXPECT_EQ(header->refresh->frame().origin.x, 20);
    EXPECT_EQ(header->refresh->frame().origin.y, 115);
    EXPECT_EQ(header->head->frame().origin.x, 50);
    EXPECT_EQ(header->head->frame().origin.y, 70);
    EXPECT_TRUE(header->top_side_line->isHidden());
    ASSERT_TRUE(pumpMainUntil([&] { return desktop->image() && desktop->image()->size().width == 640; }));
    EXPECT_FALSE(header->bkgimgv->image());

    header->fullFillFansRemindWith(Value::dictionary({{"fan", friendRed()}, {"text", "小红关注了你"}}));
    EXPECT_FALSE(header->fansRemindView->isHidden());
    EXPECT_EQ(header->headerMsg_title->text(), "小红关注了你");
    ASSERT_TRUE(pumpMainUntil([&] { return header->headerMsg_userHead->image() != nullptr; }));
    header->fullFillFansRemindWith(Value());
    EXPECT_TRUE(header->fansRemindView->isHidden());
}

TEST_F(HeaderViewTest, SignsOfOwnAndOtherPages)
{
    logIn("1001");
    const Ref<HeaderView> header = loadHeader();
    ASSERT_TRUE(header);
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(person("1001", {sign("sg1"), sign("sg2")}),
                                                                     navigation, false, 4, nullptr);
    EXPECT_FALSE(offersNewSign(header, header->sign1));
    EXPECT_FALSE(offersNewSign(header, header->sign2));
    EXPECT_TRUE(offersNewSign(header, header->sign3));
    EXPECT_TRUE(offersNewSign(header, header->sign4));
    EXPECT_EQ(players(header), (std::vector<size_t>{1, 1, 0, 0}));
    EXPECT_EQ(deleteShown(header), (std::vector<bool>{false, false, false, false}));
    // A long press on the sign panel shows the delete buttons of the existing signs only.
    ASSERT_FALSE(header->videoSign->gestureRecognizers().empty());
    header->videoSign->gestureRecognizers()[0]->simulateState(UIGestureRecognizerStateBegan);
    EXPECT_EQ(deleteShown(header), (std::vector<bool>{true, true, false, false}));
    // A refill ends the edit mode; filling again adds no second action.
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(person("1001", {sign("sg1"), sign("sg2")}),
                                                                     navigation, false, 4, nullptr);
    EXPECT_EQ(deleteShown(header), (std::vector<bool>{false, false, false, false}));
    EXPECT_TRUE(offersNewSign(header, header->sign4));
    // The players of the earlier fill are gone: one per sign.
    EXPECT_EQ(players(header), (std::vector<size_t>{1, 1, 0, 0}));

    // An offered place opens the recorder for a new sign, in its own navigation controller.
    {
        ScopedManualClock clock;
        header->sign3->sendActionsForControlEvents(UIControlEventTouchUpInside);
        clock.advance(1);
        const auto presented = std::dynamic_pointer_cast<UINavigationController>(navigation->modalViewController());
        ASSERT_TRUE(presented);
        const auto recorder = std::dynamic_pointer_cast<PZVideoCaptureController>(presented->topViewController());
        ASSERT_TRUE(recorder);
        EXPECT_TRUE(recorder->videoSign());
        navigation->dismissModalViewControllerAnimated(false);
        clock.advance(1);
    }

    // Another person's page without signs: the buttons stay as loaded, with no action.
    const Ref<HeaderView> other = loadHeader();
    other->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(person("1002", {}), navigation, false, 0, nullptr);
    for (const Ref<UIButton>& button : other->signButtons) {
        EXPECT_FALSE(button->imageForState(UIControlStateNormal));
        EXPECT_TRUE(button->allTargets().empty());
    }
}

TEST_F(HeaderViewTest, DeletingASignAsksTheServiceAndRemovesItByScid)
{
    logIn("1001");
    const Ref<HeaderView> header = loadHeader();
    ASSERT_TRUE(header);
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(person("1001", {sign("sg1"), sign("sg2")}),
                                                                     navigation, false, 4, nullptr);
    header->enterEditMode();
    header->delete1->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_TRUE(pumpMainUntil([&] { return !header->deleteSignRequest(); }));
    const auto sent = service.server().requests(standin::kVideoSignPath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(standin::findParam(sent[0].formParams(), "scid").value_or(""), "sg1");
    EXPECT_EQ(standin::findParam(sent[0].formParams(), "_method").value_or(""), "delete");
    EXPECT_EQ(standin::findParam(sent[0].formParams(), "token").value_or(""), "tk42");
    EXPECT_EQ(signScids(header), std::vector<std::string>{"sg2"});
    EXPECT_TRUE(offersNewSign(header, header->sign2));

    // The list is filled again (reordered) before the reply of a deletion arrives (replies reach the
    // header on the main thread, which is busy refilling): the reply removes the sign that was asked
    // for, not whatever now stands at its index.
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(
        person("1001", {sign("sg2"), sign("sg3"), sign("sg4")}), navigation, false, 4, nullptr);
    header->delete2->sendActionsForControlEvents(UIControlEventTouchUpInside);  // sg3
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(
        person("1001", {sign("sg4"), sign("sg2"), sign("sg3")}), navigation, false, 4, nullptr);
    ASSERT_TRUE(pumpMainUntil([&] { return !header->deleteSignRequest(); }));
    EXPECT_EQ(signScids(header), (std::vector<std::string>{"sg4", "sg2"}));

    // A refused deletion and a failed one leave the signs as they are.
    for (const standin::Fault& fault : {standin::Fault::status(200, R"({"status":500,"msg":"删除失败"})"),
                                         standin::Fault::closeWithoutAnswer()}) {
        service.server().addFault(standin::kVideoSignPath, fault);
        header->delete1->sendActionsForControlEvents(UIControlEventTouchUpInside);
        ASSERT_TRUE(pumpMainUntil([&] { return !header->deleteSignRequest(); }));
        EXPECT_EQ(signScids(header), (std::vector<std::string>{"sg4", "sg2"}));
    }

    // A header that goes away while its deletion runs hears nothing of the reply.
    Ref<HeaderView> leaving = loadHeader();
    leaving->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(person("1001", {sign("sg9")}), navigation,
                                                                      false, 4, nullptr);
    leaving->delete1->sendActionsForControlEvents(UIControlEventTouchUpInside);
    const Weak<HTTPRequest> running = leaving->deleteSignRequest();
    leaving->removeFromSuperview();
    leaving.reset();
    ASSERT_TRUE(pumpMainUntil([&] { return running.expired(); }));
    EXPECT_EQ(service.server().requests(standin::kVideoSignPath).size(), 5u);
}

}  // namespace HeaderViewTest_cpp
}  // namespace
