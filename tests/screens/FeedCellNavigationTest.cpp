// Where the feed cell and the header lead among the feed's own screens: people's pages.
#include "FeedCellTestSupport.h"
#include "bridge/PZFFmpeg.h"
#include "platform/foundation/Clock.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedVC.h"
#include "shell/FeedViews.h"
#include "shell/HeaderView.h"
#include "shell/UploadControl.h"
#include "social/UIUserButton.h"
#include "api/Tool.h"

namespace {
namespace FeedCellNavigationTest_cpp {

using namespace feedcelltest;

class FeedCellNavigationTest : public FeedCellFixture {
protected:
    void SetUp() override
    {
        FeedCellFixture::SetUp();
        registerFeedViews();
        logIn();
        g_ffmpeg.set(PZFFmpeg::create());
        UIAlertView::resetRecords();
        UIActionSheet::resetRecords();
    }
    void TearDown() override
    {
        g_ffmpeg.set(nullptr);
        FeedCellFixture::TearDown();
    }
    Ref<FeedCellFull> showItem(const Value& item)
    {
        const Ref<FeedCellFull> cell = FeedCellFull::myinit_andReuse(navigation, kFeedCellReuseIdentifier);
        cell->setFrame(CGRectMake(0, 0, 320, FeedCellFull::getHeight_haveHead(item, true)));
        cell->fullFillWithInfo_withHead_andNavigationController(item, true, navigation);
        return cell;
    }
    static void tap(const Ref<UIControl>& control) { control->sendActionsForControlEvents(UIControlEventTouchUpInside); }
    // The person's page on top of the navigation, or null.
    std::string pushedPage()
    {
        const auto page = std::dynamic_pointer_cast<FeedVC>(navigation->topViewController());
        return page ? std::to_string(page->type()) + " " + page->suid().stringValue() : std::string("none");
    }
};

TEST_F(FeedCellNavigationTest, AvatarsAndSheetOpenPeoplesPages)
{
    ScopedManualClock clock;
    const Ref<FeedCellFull> cell = showItem(videoItem({.marks = 1, .place = true, .people = 2}));
    struct Case {
        const char* name;
        std::function<void()> act;
        std::string page;
    };
    const std::vector<Case> cases = {
        {"author", [&] { tap(cell->head()); }, "10 1001"},
        {"marking person",
         [&] {
             for (const Ref<UIView>& view : cell->contentView()->viewWithTag(kFeedRowTagBase)->subviews()) {
                 if (auto avatar = std::dynamic_pointer_cast<UIUserButton>(view)) {
                     tap(avatar);
                     return;
                 }
             }
         },
         "10 1002"},
        {"first tagged person",
         [&] {
             tap(std::dynamic_pointer_cast<UIButton>(cell->contentView()->viewWithTag(kFeedRowTagBase + 1)));
             UIActionSheet::currentSheet()->simulateClickButtonAtIndex(1);
         },
         "10 1002"},
        {"second tagged person",
         [&] {
             tap(std::dynamic_pointer_cast<UIButton>(cell->contentView()->viewWithTag(kFeedRowTagBase + 1)));
             UIActionSheet::currentSheet()->simulateClickButtonAtIndex(2);
         },
         "10 1003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        clock.advance(1);
        EXPECT_EQ(pushedPage(), c.page);
        navigation->popToRootViewControllerAnimated(false);
        clock.advance(1);
    }
}

TEST_F(FeedCellNavigationTest, HomeHeaderAvatarOpensThePersonsPage)
{
    ScopedManualClock clock;
    const auto header = std::dynamic_pointer_cast<HeaderView>(Tool::getHeaderViewFromNib(0));
    ASSERT_TRUE(header);
    header->setIsMyFeed(true);
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(owner(), navigation, true, 4, nullptr);
    header->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(owner(), navigation, true, 4, nullptr);
    tap(header->head);
    clock.advance(1);
    EXPECT_EQ(pushedPage(), "10 1001");
    EXPECT_EQ(navigation->viewControllers().size(), 2u);
}

}  // namespace FeedCellNavigationTest_cpp
}  // namespace
