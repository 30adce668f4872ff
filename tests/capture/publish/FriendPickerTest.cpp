// The friend picker against the stand-in service: choosing up to four people, the chip strip and its
// second row, paging while the service says more people exist, failures, and the choice reaching the
// publish screen.
#include "PublishStage.h"

#include <gmock/gmock.h>

#include <condition_variable>
#include <mutex>

#include "capture/ShareWithSomebodyController.h"
#include "capture/VideoShareController.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIStringDrawing.h"
#include "service/Fault.h"
#include "service/PickerRoutes.h"

namespace {
namespace FriendPickerTest_cpp {

using publishtest::PublishStage;

class FriendPickerTest : public PublishStage {
protected:
    void SetUp() override
    {
        PublishStage::SetUp();
        logIn();
        share = VideoShareController::create();
        showInNavigation(share);
    }
    // The publish screen's friends button opens the picker; waits for its first page.
    Ref<ShareWithSomebodyController> openPicker(bool waitForPage = true)
    {
        const size_t before = received(standin::kFollowPath);
        share->withSomebodyButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
        settle();
        auto picker = std::dynamic_pointer_cast<ShareWithSomebodyController>(top());
        EXPECT_TRUE(picker);
        if (picker && waitForPage) {
            EXPECT_TRUE(waitUntil([&] { return picker->tableView()->numberOfRowsInSection(0) > 0; }));
            EXPECT_EQ(received(standin::kFollowPath), before + 1);
        }
        return picker;
    }
    static void tap(const Ref<ShareWithSomebodyController>& picker, NSInteger r)
    {
        ASSERT_TRUE(picker->tableView()->simulateTapOnRowAtIndexPath(row(r)));
    }
    static std::vector<std::string> chosen(const Ref<ShareWithSomebodyController>& picker)
    {
        std::vector<std::string> names;
        for (const Value& person : picker->withList().arrayItems()) {
            names.push_back(person["nick"].stringValue());
        }
        return names;
    }
    static void done(const Ref<ShareWithSomebodyController>& picker)
    {
        auto item = picker->navigationItem()->rightBarButtonItem();
        ASSERT_TRUE(item);
        EXPECT_EQ(item->title(), "完成");
        item->simulateTap();
    }
    static bool checked(const Ref<ShareWithSomebodyController>& picker, NSInteger r)
    {
        const auto table = picker->tableView();
        return table->dataSource()->tableView_cellForRowAtIndexPath(table, row(r))->accessoryType() ==
               UITableViewCellAccessoryCheckmark;
    }
    // Where each chip should be: from x = 5, y = 5, a name's width plus 20 wide and 10 apart, a new row
    // 30 lower when the next would pass 320.
    static std::vector<CGRect> expectedChips(const std::vector<std::string>& names)
    {
        std::vector<CGRect> frames;
        CGFloat x = 5, y = 5;
        for (const std::string& name : names) {
            const CGFloat w = UIStringDrawing::sizeWithFont_constrainedToSize_lineBreakMode(
                                  name, UIFont::boldSystemFontOfSize(12), CGSizeMake(320, 25), UILineBreakModeCharacterWrap)
                                  .width;
            if (x + w + 30 > 320) {
                x = 5;
                y += 30;
            }
            frames.push_back(CGRectMake(x, y, w + 20, 25));
            x += w + 30;
        }
        return frames;
    }
    static std::vector<CGRect> chipFrames(const Ref<ShareWithSomebodyController>& picker)
    {
        std::vector<CGRect> frames;
        for (const Ref<UIView>& chip : picker->scrollView()->subviews()) {
            frames.push_back(chip->frame());
        }
        return frames;
    }

    Ref<VideoShareController> share;
};

MATCHER_P(FramesAre, expected, "")
{
    if (arg.size() != expected.size()) {
        return false;
    }
    for (size_t i = 0; i < arg.size(); ++i) {
        if (!CGRectEqualToRect(arg[i], expected[i])) {
            *result_listener << "chip " << i << " at " << arg[i].origin.x << "," << arg[i].origin.y << " "
                             << arg[i].size.width;
            return false;
        }
    }
    return true;
}

TEST_F(FriendPickerTest, ChoosesAtMostFourWithChipsThatWrapToASecondRowAndCloseGaps)
{
    standin::installFollowPages(service.server(), 12);
    auto picker = openPicker();
    const auto request = service.server().requests(standin::kFollowPath).back();
    EXPECT_EQ(request.param("suid"), "1001");
    EXPECT_EQ(request.param("page"), "1");
    EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 12);
    EXPECT_EQ(picker->maxWithSomebodyNumber(), 4);
    const auto header = picker->tableView()->tableDelegate()->tableView_viewForHeaderInSection(picker->tableView(), 0);
    ASSERT_TRUE(header && !header->subviews().empty());
    EXPECT_EQ(std::dynamic_pointer_cast<UILabel>(header->subviews()[0])->text(), "   朋友");

    struct Step {
        NSInteger tap;
        std::vector<std::string> chosen;
        CGFloat strip;  // the strip's height
        CGRect table;
    };
    const CGRect oneRow = CGRectMake(0, 40, 320, 375), twoRows = CGRectMake(0, 70, 320, 345);
    const std::vector<Step> steps = {
        {0, {"阿芳"}, 40, oneRow},
        {1, {"阿芳", "小明"}, 40, oneRow},
        {2, {"阿芳", "小明", "王大锤"}, 40, oneRow},
        {7, {"阿芳", "小明", "王大锤", "西湖边的摄影爱好者小王同学"}, 65, twoRows},  // too wide for the row
        {1, {"阿芳", "王大锤", "西湖边的摄影爱好者小王同学"}, 40, oneRow},            // unchecked: the gap closes
        {4, {"阿芳", "王大锤", "西湖边的摄影爱好者小王同学", "韩梅梅"}, 65, twoRows},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.tap);
        tap(picker, step.tap);
        EXPECT_EQ(chosen(picker), step.chosen);
        EXPECT_THAT(chipFrames(picker), FramesAre(expectedChips(step.chosen)));
        EXPECT_EQ(picker->scrollView()->frame().size.height, step.strip);
        EXPECT_TRUE(CGRectEqualToRect(picker->tableView()->frame(), step.table));
        EXPECT_TRUE(checked(picker, step.tap) == (std::find(step.chosen.begin(), step.chosen.end(),
                                                             picker->friendsList()[step.tap]["nick"].stringValue()) !=
                                                   step.chosen.end()));
    }
    for (const Ref<UIView>& chip : picker->scrollView()->subviews()) {
        auto button = std::dynamic_pointer_cast<UIButton>(chip);
        ASSERT_TRUE(button && button->backgroundImageForState(UIControlStateNormal));
    }

    // A fifth is refused with an alert and nobody is added.
    EXPECT_FALSE(UIAlertView::currentAlert());
    tap(picker, 5);
    auto alert = UIAlertView::currentAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "提示");
    EXPECT_EQ(alert->message(), "一次最多只能包含4个好友");
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "确定");
    alert->simulateClickButtonAtIndex(0);
    EXPECT_EQ(chosen(picker).size(), 4u);
    EXPECT_FALSE(checked(picker, 5));

    // "完成" hands the four over in the order chosen; the chips of the publish screen show them.
    done(picker);
    settle();
    EXPECT_EQ(top(), share);
    ASSERT_EQ(share->withList().count(), 4u);
    EXPECT_EQ(share->withList()[3]["nick"], Value("韩梅梅"));
    EXPECT_EQ(share->withList()[1]["suid"], Value("2002"));

    // The friends button now offers to clear or choose again; clearing puts the "@" chips back.
    share->withSomebodyButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto sheet = UIActionSheet::currentSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), 2001);
    EXPECT_EQ(sheet->buttonTitleAtIndex(0), "移出选择");
    EXPECT_EQ(sheet->buttonTitleAtIndex(1), "重新选择");
    EXPECT_EQ(sheet->buttonTitleAtIndex(2), "取消");
    sheet->simulateClickButtonAtIndex(0);
    EXPECT_TRUE(share->withList().isNil());
    EXPECT_EQ(share->withSomebodyButton4->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed("at-somebody"));
    EXPECT_TRUE(openPicker());
}

TEST_F(FriendPickerTest, DoneWithNobodyChosenLeavesThePublishScreenWithoutFriends)
{
    standin::installFollowPages(service.server(), 3);
    auto picker = openPicker();
    done(picker);
    settle();
    EXPECT_EQ(top(), share);
    EXPECT_EQ(share->withList().count(), 0u);
    // No sheet: the picker opens again.
    EXPECT_TRUE(openPicker());
    EXPECT_FALSE(UIActionSheet::currentSheet());
}

TEST_F(FriendPickerTest, PagesWhileTheServiceCountsMorePeopleAndEachPickerStartsWithoutAPage)
{
    standin::installFollowPages(service.server(), 60);
    auto picker = openPicker();
    const auto table = picker->tableView();
    auto scrollToEnd = [&] {
        table->simulateDrag(CGPointMake(0, std::max<CGFloat>(0, table->contentSize().height - table->bounds().size.height)));
    };
    EXPECT_EQ(table->numberOfRowsInSection(0), 50);
    EXPECT_TRUE(picker->complete());  // 50 of 60
    scrollToEnd();
    EXPECT_EQ(picker->getFollowRequest()->tag(), 2);
    ASSERT_TRUE(waitUntil([&] { return table->numberOfRowsInSection(0) == 60; }));
    EXPECT_EQ(service.server().requests(standin::kFollowPath).back().param("page"), "2");
    EXPECT_FALSE(picker->complete());  // all 60 are here
    scrollToEnd();
    EXPECT_EQ(received(standin::kFollowPath), 2u);

    // A picker whose first page is still on its way asks for no second one, whatever the last picker
    // was left with: its first page is held back until the list has been scrolled.
    share->withSomebody(Value::array());
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    service.server().route(standin::kFollowPath, [&](const standin::Request&) {
        std::unique_lock lock(mutex);
        opened.wait_for(lock, std::chrono::seconds(20), [&] { return open; });
        standin::Response response;
        response.body = R"({"status":200,"msg":"","result":[{"suid":"2000","nick":"阿芳","icon":""}],"total":2})";
        return response;
    });
    navigation->popViewControllerAnimated(false);
    settle();
    auto next = openPicker(false);
    next->tableView()->simulateDrag(CGPointMake(0, 0));
    EXPECT_FALSE(next->complete());
    EXPECT_EQ(next->getFollowRequest()->tag(), 1);
    {
        std::lock_guard lock(mutex);
        open = true;
    }
    opened.notify_all();
    ASSERT_TRUE(waitUntil([&] { return next->tableView()->numberOfRowsInSection(0) == 1; }));
    EXPECT_TRUE(next->complete());  // one of two
    EXPECT_EQ(received(standin::kFollowPath), 3u);
}

TEST_F(FriendPickerTest, ATransportFailureShowsTheErrorBoxAndAReplyNotOkAddsNobody)
{
    service.server().addFault(standin::kFollowPath, standin::Fault::closeWithoutAnswer().persistent());
    auto picker = openPicker(false);
    ASSERT_TRUE(waitUntil([&] { return !errors->shown.empty(); }));
    EXPECT_EQ(errors->shown, std::vector<std::string>{"分享失败"});
    EXPECT_EQ(picker->friendsList().count(), 0u);

    // A reply that arrives but is not OK lists nobody, even with people in it, and is no failure. Its
    // count still says more may come (nobody of three is here).
    service.server().clearFaults(standin::kFollowPath);
    service.server().route(standin::kFollowPath, [](const standin::Request&) {
        standin::Response response;
        response.body = R"({"status":500,"msg":"忙","total":3,"result":[{"suid":"2000","nick":"阿芳","icon":""},)"
                        R"({"suid":"2001","nick":"小红","icon":""},{"suid":"2002","nick":"大伟","icon":""}]})";
        return response;
    });
    navigation->popViewControllerAnimated(false);
    settle();
    errors->shown.clear();
    auto refused = openPicker(false);
    ASSERT_TRUE(waitUntil([&] { return refused->complete(); }));
    EXPECT_EQ(refused->friendsList().count(), 0u);
    EXPECT_EQ(refused->tableView()->numberOfRowsInSection(0), 0);
    EXPECT_TRUE(errors->shown.empty());
}

}  // namespace FriendPickerTest_cpp
}  // namespace
