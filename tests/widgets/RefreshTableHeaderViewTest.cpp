#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/media/AudioServices.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/RefreshTableHeaderView.h"
#include "widgets/SoundEffect.h"

namespace {
namespace RefreshTableHeaderViewTest_cpp {

// The owner of a table with the header: it forwards the scroll callbacks as the feed does and answers
// the header's questions.
class Owner : public NSObject, public RefreshTableHeaderDelegate, public UITableViewDelegate {
public:
    Ref<RefreshTableHeaderView> header;
    bool loading = false;
    int triggers = 0;
    std::optional<NSDate> lastUpdated;

    void refreshTableHeaderDidTriggerRefresh(const Ref<RefreshTableHeaderView>&) override
    {
        ++triggers;
        loading = true;
    }
    bool refreshTableHeaderDataSourceIsLoading(const Ref<RefreshTableHeaderView>&) override { return loading; }
    std::optional<NSDate> refreshTableHeaderDataSourceLastUpdated(const Ref<RefreshTableHeaderView>&) override
    {
        return lastUpdated;
    }
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override
    {
        header->refreshScrollViewDidScroll(scrollView);
    }
    void scrollViewDidEndDragging_willDecelerate(const Ref<UIScrollView>& scrollView, bool) override
    {
        header->refreshScrollViewDidEndDragging(scrollView);
    }
};

// An owner that keeps no date of its last update.
class OwnerWithoutDate : public Owner {
public:
    std::optional<NSDate> refreshTableHeaderDataSourceLastUpdated(const Ref<RefreshTableHeaderView>&) override
    {
        return std::nullopt;
    }
};

// User defaults in a home folder of the test's own, so nothing reaches the machine's.
class ScopedHome {
public:
    ScopedHome()
        : previous_(NSHomeDirectory()),
          path_(std::filesystem::temp_directory_path() /
                ("refresh-header-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        FoundationRoots::setHomeDirectory(path_.string());
        NSUserDefaults::resetStandardUserDefaults();
    }
    ~ScopedHome()
    {
        FoundationRoots::setHomeDirectory(previous_);
        NSUserDefaults::resetStandardUserDefaults();
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

private:
    std::string previous_;
    std::filesystem::path path_;
};

// A table in a visible window with the header above its first row, as the feed places it.
struct Stage {
    MainThreadScope main;
    ScopedManualClock clock;
    ScopedHome home;
    Ref<UIWindow> window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    Ref<UITableView> table = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 416), UITableViewStylePlain);
    Ref<Owner> owner;
    Ref<RefreshTableHeaderView> header;

    explicit Stage(Ref<Owner> withOwner = std::make_shared<Owner>()) : owner(std::move(withOwner))
    {
        window->makeKeyAndVisible();
        window->addSubview(table);
        header = RefreshTableHeaderView::initWithFrame(CGRectMake(0, -416, 320, 416));
        header->setDelegate(owner);
        owner->header = header;
        table->addSubview(header);
        table->setDelegate(owner);
    }
    ~Stage() { window->setHidden(true); }

    uint64_t pulls() const { return AudioServicesPlayCount(header->pullSound()->soundID()); }
    uint64_t successes() const { return AudioServicesPlayCount(header->sucSound()->soundID()); }
    // Drags through the offsets (y) without letting go.
    void dragThrough(std::initializer_list<CGFloat> offsets)
    {
        if (!table->isDragging()) {
            table->simulateBeginDragging();
        }
        for (CGFloat y : offsets) {
            table->simulateDragToContentOffset(CGPointMake(0, y));
        }
    }
    void letGo() { table->simulateEndDragging(false); }
};

bool sameColor(const Ref<UIColor>& color, double r, double g, double b)
{
    return UIColorEqual(color, UIColor::colorWithRed_green_blue_alpha(r / 255, g / 255, b / 255, 1));
}

TEST(RefreshTableHeaderViewTest, TheHeaderIsBuiltAlongItsBottomEdgeInTheNormalState)
{
    Stage stage;
    const Ref<RefreshTableHeaderView>& header = stage.header;
    EXPECT_EQ(header->state(), RefreshNormal);
    EXPECT_EQ(header->autoresizingMask(), UIViewAutoresizingFlexibleWidth);

    const Ref<UILabel> status = header->statusLabel();
    EXPECT_TRUE(CGRectEqualToRect(status->frame(), CGRectMake(0, 366, 320, 20)));
    EXPECT_EQ(status->text(), "下拉可以刷新..");
    EXPECT_EQ(status->font()->pointSize(), 13);
    EXPECT_EQ(status->font()->fontName(), UIFont::boldSystemFontOfSize(13)->fontName());
    EXPECT_TRUE(sameColor(status->textColor(), 87, 108, 137));
    EXPECT_EQ(status->textAlignment(), UITextAlignmentCenter);

    const Ref<UILabel> updated = header->lastUpdatedLabel();
    EXPECT_TRUE(CGRectEqualToRect(updated->frame(), CGRectMake(0, 386, 320, 20)));
    EXPECT_EQ(updated->font()->pointSize(), 12);
    EXPECT_TRUE(CGSizeEqualToSize(updated->shadowOffset(), CGSizeMake(0, 1)));

    const Ref<CALayer> arrow = header->arrowImage();
    EXPECT_TRUE(CGRectEqualToRect(arrow->frame(), CGRectMake(25, 356, 30, 50)));
    EXPECT_EQ(arrow->contentsGravity(), kCAGravityResizeAspect);
    EXPECT_TRUE(arrow->contents());
    EXPECT_EQ(arrow->contentsScale(), UIScreen::mainScreen()->scale());
    EXPECT_EQ(arrow->superlayer().get(), header->layer().get());
    EXPECT_FALSE(arrow->isHidden());

    const Ref<UIActivityIndicatorView> spinner = header->activityView();
    EXPECT_EQ(spinner->activityIndicatorViewStyle(), UIActivityIndicatorViewStyleGray);
    EXPECT_TRUE(CGRectEqualToRect(spinner->frame(), CGRectMake(25, 391, 20, 20)));
    EXPECT_FALSE(spinner->isAnimating());

    ASSERT_TRUE(header->pullSound());
    ASSERT_TRUE(header->sucSound());
}

TEST(RefreshTableHeaderViewTest, AGivenTextColourIsTheStatusLineOnly)
{
    MainThreadScope main;
    auto header = RefreshTableHeaderView::initWithFrame_arrowImageName_textColor(
        CGRectMake(0, -100, 200, 100), "pull-to-refresh-arrow.png", UIColor::redColor());
    EXPECT_TRUE(UIColorEqual(header->statusLabel()->textColor(), UIColor::redColor()));
    EXPECT_TRUE(sameColor(header->lastUpdatedLabel()->textColor(), 87, 108, 137));
    EXPECT_TRUE(CGRectEqualToRect(header->statusLabel()->frame(), CGRectMake(0, 50, 200, 20)));
}

// --- Dragging --------------------------------------------------------------------------------------

TEST(RefreshTableHeaderViewTest, DraggingPastTheThresholdTogglesPullingAndNormal)
{
    const struct {
        const char* what;
        std::vector<CGFloat> offsets;
        bool loading;
        RefreshState state;
        uint64_t pulls;
    } cases[] = {
        {"exactly -50 is not past it", {-20, -50}, false, RefreshNormal, 0},
        {"just past it", {-20, -50.5}, false, RefreshPulling, 1},
        {"back between -50 and 0", {-60, -49}, false, RefreshNormal, 1},
        {"back to exactly -50 stays", {-60, -50}, false, RefreshPulling, 1},
        {"back to 0 stays", {-60, 0}, false, RefreshPulling, 1},
        {"each entry plays the sound", {-60, -30, -70, -10, -80}, false, RefreshPulling, 3},
        {"never while the owner loads", {-60, -90}, true, RefreshNormal, 0},
    };
    for (const auto& c : cases) {
        Stage stage;
        stage.owner->loading = c.loading;
        const uint64_t before = stage.pulls();
        stage.table->simulateBeginDragging();
        for (CGFloat y : c.offsets) {
            stage.table->simulateDragToContentOffset(CGPointMake(0, y));
        }
        EXPECT_EQ(stage.header->state(), c.state) << c.what;
        EXPECT_EQ(stage.pulls() - before, c.pulls) << c.what;
        EXPECT_EQ(stage.header->statusLabel()->text(), c.state == RefreshPulling ? "松开即可刷新.." : "下拉可以刷新..")
            << c.what;
    }
}

TEST(RefreshTableHeaderViewTest, ScrollingWithoutAFingerChangesNothing)
{
    Stage stage;
    stage.table->setContentOffset(CGPointMake(0, -90));
    EXPECT_EQ(stage.header->state(), RefreshNormal);
    stage.dragThrough({-91});
    ASSERT_EQ(stage.header->state(), RefreshPulling);
    stage.table->setDragging(false);
    stage.table->setContentOffset(CGPointMake(0, -20));
    EXPECT_EQ(stage.header->state(), RefreshPulling);
}

TEST(RefreshTableHeaderViewTest, LettingGoAtMinusFiftyOrBeyondReloads)
{
    const struct {
        CGFloat at;
        bool loading;
        bool reloads;
    } cases[] = {
        {-50, false, true},
        {-120, false, true},
        {-49.5, false, false},
        {-80, true, false},
    };
    for (const auto& c : cases) {
        Stage stage;
        stage.owner->loading = c.loading;
        stage.dragThrough({c.at});
        UIView::clearAnimationLog();
        stage.letGo();
        const std::string what = std::to_string(c.at) + (c.loading ? " loading" : "");
        EXPECT_EQ(stage.owner->triggers, c.reloads ? 1 : 0) << what;
        if (c.reloads) {
            EXPECT_EQ(stage.header->state(), RefreshLoading) << what;
            EXPECT_EQ(stage.header->statusLabel()->text(), "加载中...") << what;
            EXPECT_TRUE(stage.header->activityView()->isAnimating()) << what;
            EXPECT_TRUE(stage.header->arrowImage()->isHidden()) << what;
            EXPECT_FALSE(stage.header->arrowImage()->animationForKey("hidden")) << what << ": hidden at once";
            EXPECT_EQ(stage.table->contentInset().top, 50) << what;
            const auto log = UIView::animationLog();
            ASSERT_FALSE(log.empty()) << what;
            EXPECT_DOUBLE_EQ(log.back().duration, 0.2) << what;
        } else {
            EXPECT_NE(stage.header->state(), RefreshLoading) << what;
            EXPECT_EQ(stage.table->contentInset().top, 0) << what;
        }
    }
}

TEST(RefreshTableHeaderViewTest, WhileLoadingTheTopInsetFollowsTheOffsetWithinFiftyPoints)
{
    Stage stage;
    stage.dragThrough({-70});
    stage.letGo();
    ASSERT_EQ(stage.header->state(), RefreshLoading);
    const struct {
        CGFloat y;
        CGFloat top;
    } cases[] = {{-120, 50}, {-50, 50}, {-30, 30}, {0, 0}, {40, 0}, {-10, 10}};
    for (const auto& c : cases) {
        stage.table->setContentOffset(CGPointMake(0, c.y));
        EXPECT_EQ(stage.table->contentInset().top, c.top) << c.y;
        EXPECT_EQ(stage.table->contentInset().bottom, 0) << c.y;
        EXPECT_EQ(stage.header->state(), RefreshLoading) << c.y;
    }
}

TEST(RefreshTableHeaderViewTest, ADragOutsideLoadingClearsALeftoverInset)
{
    Stage stage;
    stage.table->setContentInset(UIEdgeInsetsMake(50, 0, 0, 0));
    stage.dragThrough({-10});
    EXPECT_EQ(stage.table->contentInset().top, 0);
}

// --- The end of loading ----------------------------------------------------------------------------

TEST(RefreshTableHeaderViewTest, TheEndOfLoadingSlidesTheHeaderAwayAndPlaysOnce)
{
    Stage stage;
    const uint64_t before = stage.successes();
    for (int load = 1; load <= 2; ++load) {
        stage.dragThrough({-70});
        stage.letGo();
        ASSERT_EQ(stage.header->state(), RefreshLoading);
        stage.owner->loading = false;
        UIView::clearAnimationLog();
        stage.header->refreshScrollViewDataSourceDidFinishedLoading(stage.table);
        EXPECT_EQ(stage.header->state(), RefreshNormal);
        EXPECT_EQ(stage.table->contentInset().top, 0);
        ASSERT_FALSE(UIView::animationLog().empty());
        EXPECT_DOUBLE_EQ(UIView::animationLog().back().duration, 0.3);
        EXPECT_FALSE(stage.header->activityView()->isAnimating());
        EXPECT_FALSE(stage.header->arrowImage()->isHidden());
        EXPECT_EQ(stage.successes() - before, uint64_t(load));
        stage.clock.advance(1);
    }
}

TEST(RefreshTableHeaderViewTest, TheArrowTurnsInAnimationOnlyToAndFromPulling)
{
    Stage stage;
    const Ref<CALayer> arrow = stage.header->arrowImage();
    const auto turn = [&] {
        const CATransform3D t = arrow->transform();
        return std::atan2(t.m12, t.m11);
    };
    stage.dragThrough({-70});
    Ref<CAAnimation> animation = arrow->animationForKey("transform");
    ASSERT_TRUE(animation) << "normal to pulling";
    EXPECT_DOUBLE_EQ(animation->duration(), 0.18);
    EXPECT_NEAR(std::fabs(turn()), M_PI, 1e-9);
    stage.clock.advance(1);

    stage.dragThrough({-20});
    animation = arrow->animationForKey("transform");
    ASSERT_TRUE(animation) << "pulling to normal";
    EXPECT_DOUBLE_EQ(animation->duration(), 0.18);
    EXPECT_NEAR(turn(), 0, 1e-9);
    stage.clock.advance(1);

    stage.dragThrough({-70});
    stage.letGo();
    stage.clock.advance(1);
    ASSERT_EQ(stage.header->state(), RefreshLoading);
    stage.owner->loading = false;
    stage.header->refreshScrollViewDataSourceDidFinishedLoading(stage.table);
    EXPECT_FALSE(arrow->animationForKey("transform")) << "loading to normal";
    EXPECT_FALSE(arrow->animationForKey("hidden"));
    EXPECT_NEAR(turn(), 0, 1e-9);
}

TEST(RefreshTableHeaderViewTest, TheArrowIsDrawnPartWayRoundWhileItTurns)
{
    Stage stage;
    const Ref<CALayer> arrow = stage.header->arrowImage();
    const auto shownTurn = [&] {
        const CATransform3D t = arrow->presentationLayer()->transform();
        return std::atan2(t.m12, t.m11);
    };
    stage.dragThrough({-70});
    // Evenly round: an eighth of a turn at a quarter of the 0.18 s, a quarter at half.
    stage.clock.advance(0.18 / 4);
    EXPECT_NEAR(shownTurn(), M_PI / 4, 1e-6);
    stage.clock.advance(0.18 / 4);
    EXPECT_NEAR(shownTurn(), M_PI / 2, 1e-6);
    stage.clock.advance(1);
    EXPECT_NEAR(std::fabs(shownTurn()), M_PI, 1e-6);

    // And back the same way when the finger eases off.
    stage.dragThrough({-20});
    stage.clock.advance(0.18 / 4);
    EXPECT_NEAR(shownTurn(), M_PI * 3 / 4, 1e-6);
}

// --- The last-updated line -------------------------------------------------------------------------

TEST(RefreshTableHeaderViewTest, TheLastUpdateIsShownAndKeptInTheUserDefaults)
{
    Stage stage;
    const Ref<NSTimeZone> zone = NSTimeZone::defaultTimeZone();
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneForSecondsFromGMT(8 * 3600));
    // 2013-05-01 12:00:00 UTC, 20:00 in Beijing.
    stage.owner->lastUpdated = NSDate::dateWithTimeIntervalSince1970(1367409600);
    stage.header->refreshLastUpdatedDate();
    NSTimeZone::setDefaultTimeZone(zone);
    EXPECT_EQ(stage.header->lastUpdatedLabel()->text(), "最后更新： 2013-05-01 20:00:00");
    NSUserDefaults::resetStandardUserDefaults();  // read back from the file, as after a relaunch
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->stringForKey(kRefreshTableViewLastRefreshKey),
              "最后更新： 2013-05-01 20:00:00");
}

TEST(RefreshTableHeaderViewTest, AnOwnerWithoutADateLeavesTheLineEmpty)
{
    Stage stage(std::make_shared<OwnerWithoutDate>());
    stage.header->lastUpdatedLabel()->setText("最后更新： 2013-05-01 20:00:00");
    stage.header->refreshLastUpdatedDate();
    EXPECT_EQ(stage.header->lastUpdatedLabel()->text(), "");
    EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->objectForKey(kRefreshTableViewLastRefreshKey).isNil());
}

TEST(RefreshTableHeaderViewTest, WithoutAnOwnerAPullStillReloadsAndTheLineIsEmpty)
{
    MainThreadScope main;
    ScopedManualClock clock;
    auto table = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 416), UITableViewStylePlain);
    auto header = RefreshTableHeaderView::initWithFrame(CGRectMake(0, -416, 320, 416));
    table->addSubview(header);
    table->setDragging(true);
    table->setContentOffset(CGPointMake(0, -60));
    header->refreshScrollViewDidScroll(table);
    EXPECT_EQ(header->state(), RefreshPulling);
    header->refreshScrollViewDidEndDragging(table);
    EXPECT_EQ(header->state(), RefreshLoading);
    header->refreshScrollViewDataSourceDidFinishedLoading(table);
    EXPECT_EQ(header->lastUpdatedLabel()->text(), "");
}

}  // namespace RefreshTableHeaderViewTest_cpp
}  // namespace
