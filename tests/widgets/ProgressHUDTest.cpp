#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ViewPixels.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSThread.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/ProgressHUD.h"

namespace {
namespace ProgressHUDTest_cpp {

// What a delegate heard, by which of the two messages, and on which thread.
class Listener : public NSObject, public ProgressHUDDelegate {
public:
    std::vector<std::string> heard;
    bool onMain = true;
    Ref<ProgressHUD> hud;
};

class BothMessages : public Listener {
public:
    void hudWasHidden(const Ref<ProgressHUD>& hidden) override
    {
        heard.push_back("hudWasHidden:");
        onMain = onMain && NSThread::isMainThread();
        hud = hidden;
    }
    void hudWasHidden() override { heard.push_back("hudWasHidden"); }
};

class PlainMessageOnly : public Listener {
public:
    void hudWasHidden() override
    {
        heard.push_back("hudWasHidden");
        onMain = onMain && NSThread::isMainThread();
    }
};

class HUDMessageOnly : public Listener {
public:
    void hudWasHidden(const Ref<ProgressHUD>& hidden) override
    {
        heard.push_back("hudWasHidden:");
        hud = hidden;
    }
};

// Something the task is given.
class Argument : public NSObject {};

// What a screen's task reports, kept apart from the screen so that the test need not hold the screen.
struct TaskReport {
    std::atomic<bool> ran{false};
    std::atomic<bool> ranOnMain{true};
    std::atomic<bool> released{false};
    std::atomic<bool> releasedOnMain{false};
    std::mutex mutex;
    Ref<NSObject> received;
};

// A screen whose method the box runs on a worker. It waits for the test to open its gate (when the
// test wants the task to outlast a time) and reports where it ran and, when it goes, where it was let
// go.
class Screen : public NSObject {
public:
    explicit Screen(std::shared_ptr<TaskReport> report, bool open) : report_(std::move(report)), open_(open) {}
    ~Screen() override
    {
        report_->releasedOnMain = NSThread::isMainThread();
        report_->released = true;
    }

    void sendRequest(const Ref<NSObject>& argument)
    {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            gateCondition_.wait(lock, [this] { return open_; });
        }
        {
            std::lock_guard<std::mutex> lock(report_->mutex);
            report_->received = argument;
        }
        report_->ranOnMain = NSThread::isMainThread();
        report_->ran = true;
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        gateCondition_.notify_all();
    }

private:
    std::shared_ptr<TaskReport> report_;
    std::mutex mutex_;
    std::condition_variable gateCondition_;
    bool open_;
};

// A visible window with a screen's view, the box made for that view and added on top of it, on a
// manual clock.
struct Stage {
    MainThreadScope main;
    ScopedManualClock clock;
    Ref<UIWindow> window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    Ref<UIView> view = UIView::initWithFrame(CGRectMake(0, 0, 320, 480));
    Ref<ProgressHUD> hud;

    Stage()
    {
        window->makeKeyAndVisible();
        window->addSubview(view);
        hud = ProgressHUD::initWithView(view);
        view->addSubview(hud);
    }
    ~Stage() { window->setHidden(true); }

    bool waitUntil(const std::function<bool()>& condition) { return pumpMainUntil(condition); }
};

CGFloat measured(const std::string& text, CGFloat boldSize)
{
    return UIStringDrawing::sizeWithFont(text, UIFont::boldSystemFontOfSize(boldSize)).width;
}

TEST(ProgressHUDMakingTest, ANilViewRaisesTheNamedException)
{
    MainThreadScope main;
    for (bool window : {false, true}) {
        try {
            if (window) {
                ProgressHUD::initWithWindow(nullptr);
            } else {
                ProgressHUD::initWithView(nullptr);
            }
            ADD_FAILURE() << "no exception, window " << window;
        } catch (const NSException& e) {
            EXPECT_EQ(e.name(), "ProgressHUDViewIsNillException");
            EXPECT_EQ(e.reason(), "The view used in the ProgressHUD initializer is nil.");
        }
    }
}

TEST(ProgressHUDMakingTest, ANewBoxIsInvisibleOverTheViewWithAStartedSpinnerAndNoLabels)
{
    Stage stage;
    const Ref<ProgressHUD>& hud = stage.hud;
    EXPECT_TRUE(CGRectEqualToRect(hud->frame(), stage.view->bounds()));
    EXPECT_EQ(hud->alpha(), 0);
    EXPECT_FALSE(hud->isOpaque());
    EXPECT_EQ(hud->autoresizingMask(), UIViewAutoresizing(45));
    EXPECT_FLOAT_EQ(hud->opacity(), 0.8f);
    EXPECT_FLOAT_EQ(hud->margin(), 20);
    EXPECT_EQ(hud->labelFont()->pointSize(), 16);
    EXPECT_EQ(hud->labelFont()->fontName(), UIFont::boldSystemFontOfSize(16)->fontName());
    EXPECT_EQ(hud->detailsLabelFont()->pointSize(), 12);
    EXPECT_EQ(hud->mode(), ProgressHUDModeSpinner);
    auto spinner = std::dynamic_pointer_cast<UIActivityIndicatorView>(hud->indicator());
    ASSERT_TRUE(spinner);
    EXPECT_EQ(spinner->activityIndicatorViewStyle(), UIActivityIndicatorViewStyleWhiteLarge);
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(spinner->superview(), hud);
    EXPECT_FALSE(hud->label()->superview());
    EXPECT_FALSE(hud->detailsLabel()->superview());
    EXPECT_FALSE(hud->showStarted());
}

// --- Modes -----------------------------------------------------------------------------------------

TEST(ProgressHUDModeTest, TheIndicatorIsRebuiltUnlessTheSameNonZeroModeIsSetAgain)
{
    const auto pie = [](const Ref<UIView>& v) { return std::dynamic_pointer_cast<RoundProgressView>(v) != nullptr; };
    const auto spinner = [](const Ref<UIView>& v) {
        return std::dynamic_pointer_cast<UIActivityIndicatorView>(v) != nullptr;
    };
    const struct {
        int first, second;
        bool withCustomView;
        bool rebuilt;
        std::function<bool(const Ref<UIView>&)> kind;
    } cases[] = {
        {ProgressHUDModeRoundProgress, ProgressHUDModeRoundProgress, false, false, pie},
        {ProgressHUDModeSpinner, ProgressHUDModeSpinner, false, true, spinner},
        {ProgressHUDModeSpinner, ProgressHUDModeRoundProgress, false, true, pie},
        {ProgressHUDModeRoundProgress, ProgressHUDModeSpinner, false, true, spinner},
        {ProgressHUDModeCustom, ProgressHUDModeCustom, true, false, nullptr},
        // Custom without a custom view shows the spinner.
        {ProgressHUDModeSpinner, ProgressHUDModeCustom, false, true, spinner},
    };
    for (const auto& c : cases) {
        Stage stage;
        Ref<UIView> custom = UIView::initWithFrame(CGRectMake(0, 0, 30, 30));
        if (c.withCustomView) {
            stage.hud->setCustomView(custom);
        }
        stage.hud->show(false);
        stage.hud->setMode(c.first);
        const Ref<UIView> before = stage.hud->indicator();
        stage.hud->setMode(c.second);
        const Ref<UIView> after = stage.hud->indicator();
        const std::string what = std::to_string(c.first) + " then " + std::to_string(c.second);
        EXPECT_EQ(after != before, c.rebuilt) << what;
        EXPECT_EQ(stage.hud->mode(), c.second) << what;
        if (c.kind) {
            EXPECT_TRUE(c.kind(after)) << what;
        } else {
            EXPECT_EQ(after, custom) << what;
        }
        EXPECT_EQ(after->superview(), stage.hud) << what;
        if (c.rebuilt) {
            EXPECT_FALSE(before->superview()) << what << ": the old indicator left the box";
        }
    }
}

TEST(ProgressHUDModeTest, ProgressReachesThePieOnlyInRoundProgressMode)
{
    Stage stage;
    stage.hud->setMode(ProgressHUDModeRoundProgress);
    auto pie = std::dynamic_pointer_cast<RoundProgressView>(stage.hud->indicator());
    ASSERT_TRUE(pie);
    EXPECT_TRUE(CGRectEqualToRect(pie->bounds(), CGRectMake(0, 0, 37, 37)));
    stage.hud->setProgress(0.25f);
    EXPECT_FLOAT_EQ(pie->progress(), 0.25f);
    stage.hud->setMode(ProgressHUDModeSpinner);
    stage.hud->setProgress(0.75f);
    EXPECT_FLOAT_EQ(stage.hud->progress(), 0.75f);
    EXPECT_FLOAT_EQ(pie->progress(), 0.25f);
}

TEST(ProgressHUDModeTest, ChangesFromAWorkerReachTheViewsOnlyThroughTheMainThread)
{
    Stage stage;
    stage.hud->show(false);
    std::thread worker([hud = stage.hud] {
        hud->setMode(ProgressHUDModeRoundProgress);
        hud->setProgress(0.5f);
        hud->setLabelText("上传中");
        hud->setDetailsLabelText("请稍候");
    });
    worker.join();
    // The mode and the progress are stored at once; the views and the texts wait for the main thread.
    EXPECT_EQ(stage.hud->mode(), ProgressHUDModeRoundProgress);
    EXPECT_FLOAT_EQ(stage.hud->progress(), 0.5f);
    EXPECT_TRUE(std::dynamic_pointer_cast<UIActivityIndicatorView>(stage.hud->indicator()));
    EXPECT_EQ(stage.hud->labelText(), "");
    drainMain();
    auto pie = std::dynamic_pointer_cast<RoundProgressView>(stage.hud->indicator());
    ASSERT_TRUE(pie);
    EXPECT_FLOAT_EQ(pie->progress(), 0.5f);
    EXPECT_EQ(stage.hud->labelText(), "上传中");
    EXPECT_EQ(stage.hud->detailsLabelText(), "请稍候");
    stage.hud->layoutIfNeeded();
    EXPECT_EQ(stage.hud->label()->text(), "上传中");
    EXPECT_EQ(stage.hud->detailsLabel()->text(), "请稍候");
}

// --- Layout ----------------------------------------------------------------------------------------

TEST(ProgressHUDLayoutTest, TheIndicatorAloneMakesABoxOfItsSizeAndTheMargins)
{
    Stage stage;
    stage.hud->setXOffset(10);
    stage.hud->setYOffset(-20);
    stage.hud->layoutIfNeeded();
    EXPECT_FLOAT_EQ(stage.hud->width(), 37 + 40);
    EXPECT_FLOAT_EQ(stage.hud->height(), 37 + 40);
    EXPECT_TRUE(CGRectEqualToRect(stage.hud->indicator()->frame(), CGRectMake(141 + 10, 221 - 20, 37, 37)));
}

TEST(ProgressHUDLayoutTest, LabelsSitUnderTheIndicatorAndWidenTheBoxByTheirRules)
{
    // Texts measured in the box's fonts: a short label, a label wider than a 200-point box allows, and
    // details narrower or wider than the box the label made.
    const std::string shortLabel = "上传中";
    const std::string longLabel = "正在上传视频，请稍候片刻";
    const std::string narrowDetails = "已完成一半";
    const std::string wideDetails = "网络较慢，上传可能需要几分钟时间";
    const struct {
        CGFloat boundsWidth;
        std::string label;
        std::string details;
    } cases[] = {
        {320, shortLabel, ""},
        {200, longLabel, ""},
        {320, shortLabel, narrowDetails},
        {320, shortLabel, wideDetails},
    };
    for (const auto& c : cases) {
        Stage stage;
        stage.hud->setFrame(CGRectMake(0, 0, c.boundsWidth, 400));
        stage.hud->setLabelText(c.label);
        stage.hud->setDetailsLabelText(c.details);
        stage.hud->layoutIfNeeded();
        const std::string what = c.label + " / " + c.details;
        const CGFloat m = 20;
        const CGSize labelSize = UIStringDrawing::sizeWithFont(c.label, UIFont::boldSystemFontOfSize(16));
        const bool tooWide = labelSize.width > c.boundsWidth - 2 * m;
        const CGFloat labelWidth = tooWide ? c.boundsWidth - 4 * m : labelSize.width;
        CGFloat boxWidth = std::max<CGFloat>(37 + 2 * m, labelWidth + 2 * m);
        CGFloat boxHeight = 37 + 2 * m + labelSize.height + 4;
        CGFloat indicatorY = std::floor((400 - 37) / 2.0) - std::floor(labelSize.height / 2 + 2);
        CGFloat labelY = std::floor(indicatorY + 37 + 4);
        if (!c.details.empty()) {
            const CGSize details = UIStringDrawing::sizeWithFont(c.details, UIFont::boldSystemFontOfSize(12));
            if (boxWidth < details.width) {
                boxWidth = details.width + 2 * m;
            }
            boxHeight += details.height + 4;
            const CGFloat shift = std::floor(details.height / 2 + 2);
            indicatorY -= shift;
            labelY -= shift;
            EXPECT_TRUE(CGRectEqualToRect(stage.hud->detailsLabel()->frame(),
                                          CGRectMake(std::floor((c.boundsWidth - details.width) / 2),
                                                     labelY + labelSize.height + 4, details.width, details.height)))
                << what;
            EXPECT_EQ(stage.hud->detailsLabel()->superview(), stage.hud) << what;
            EXPECT_EQ(stage.hud->detailsLabel()->font()->pointSize(), 12) << what;
        } else {
            EXPECT_FALSE(stage.hud->detailsLabel()->superview()) << what;
        }
        EXPECT_FLOAT_EQ(stage.hud->width(), float(boxWidth)) << what;
        EXPECT_FLOAT_EQ(stage.hud->height(), float(boxHeight)) << what;
        EXPECT_EQ(stage.hud->indicator()->frame().origin.y, indicatorY) << what;
        EXPECT_TRUE(CGRectEqualToRect(stage.hud->label()->frame(),
                                      CGRectMake(std::floor((c.boundsWidth - labelWidth) / 2), labelY, labelWidth,
                                                 labelSize.height)))
            << what;
        const Ref<UILabel> label = stage.hud->label();
        EXPECT_EQ(label->superview(), stage.hud) << what;
        EXPECT_EQ(label->text(), c.label) << what;
        EXPECT_EQ(label->textAlignment(), UITextAlignmentCenter) << what;
        EXPECT_FALSE(label->adjustsFontSizeToFitWidth()) << what;
        EXPECT_TRUE(UIColorEqual(label->textColor(), UIColor::whiteColor())) << what;
    }
}

TEST(ProgressHUDLayoutTest, TheTextRulesHoldAtTheirEdges)
{
    // The cases above must really reach the rules' edges, else they prove nothing.
    EXPECT_GT(measured("正在上传视频，请稍候片刻", 16), 200 - 40);
    const CGFloat box = std::max<CGFloat>(77, measured("上传中", 16) + 40);
    const CGFloat narrow = measured("已完成一半", 12);
    EXPECT_GT(narrow, box - 40) << "a details width between w and w + 2m";
    EXPECT_LE(narrow, box);
    EXPECT_GT(measured("网络较慢，上传可能需要几分钟时间", 12), box);
}

TEST(ProgressHUDLayoutTest, ALabelWhoseTextIsTakenAwayLeavesTheBox)
{
    Stage stage;
    stage.hud->setLabelText("提交中");
    stage.hud->setDetailsLabelText("请稍候");
    stage.hud->layoutIfNeeded();
    ASSERT_EQ(stage.hud->label()->superview(), stage.hud);
    stage.hud->setLabelText("");
    stage.hud->layoutIfNeeded();
    EXPECT_FALSE(stage.hud->label()->superview());
    EXPECT_FALSE(stage.hud->detailsLabel()->superview());
    EXPECT_FLOAT_EQ(stage.hud->height(), 77);
}

// --- Showing, hiding and time ----------------------------------------------------------------------

TEST(ProgressHUDTimeTest, APlainShowWithAGraceTimeNeverShows)
{
    Stage stage;
    stage.hud->setGraceTime(0.5f);
    stage.hud->show(true);
    EXPECT_TRUE(stage.hud->graceTimer());
    stage.clock.advance(2);
    EXPECT_EQ(stage.hud->alpha(), 0);
    EXPECT_FALSE(stage.hud->showStarted());
    EXPECT_FALSE(stage.hud->graceTimer());
}

TEST(ProgressHUDTimeTest, ATaskThatOutlastsTheGraceTimeShowsWhenItEnds)
{
    Stage stage;
    auto listener = std::make_shared<BothMessages>();
    auto screen = std::make_shared<Screen>(std::make_shared<TaskReport>(), false);
    stage.hud->setDelegate(listener);
    stage.hud->setGraceTime(0.5f);
    stage.hud->showWhileExecuting_onTarget_withObject_animated(UISelector::make("sendRequest:", &Screen::sendRequest),
                                                               screen, nullptr, false);
    EXPECT_TRUE(stage.hud->taskInProgress());
    stage.clock.advance(0.49);
    EXPECT_EQ(stage.hud->alpha(), 0);
    stage.clock.advance(0.01);
    EXPECT_EQ(stage.hud->alpha(), 1);
    ASSERT_TRUE(stage.hud->showStarted());
    screen->open();
    ASSERT_TRUE(stage.waitUntil([&] { return !listener->heard.empty(); }));
    EXPECT_EQ(stage.hud->alpha(), 0);
    EXPECT_TRUE(stage.hud->isFinished());
    EXPECT_FALSE(stage.hud->taskInProgress());
}

TEST(ProgressHUDTimeTest, ATaskThatEndsWithinTheGraceTimeShowsNothingYetTellsTheDelegate)
{
    Stage stage;
    auto listener = std::make_shared<BothMessages>();
    auto screen = std::make_shared<Screen>(std::make_shared<TaskReport>(), true);
    stage.hud->setDelegate(listener);
    stage.hud->setGraceTime(0.5f);
    stage.hud->showWhileExecuting_onTarget_withObject_animated(UISelector::make("sendRequest:", &Screen::sendRequest),
                                                               screen, nullptr, true);
    ASSERT_TRUE(stage.waitUntil([&] { return !stage.hud->taskInProgress(); }));
    // Hiding fades to a trace of alpha in 0.3 s; the box was never shown.
    EXPECT_LE(stage.hud->alpha(), 0.02);
    EXPECT_FALSE(stage.hud->showStarted());
    stage.clock.advance(0.3);
    EXPECT_EQ(listener->heard, std::vector<std::string>{"hudWasHidden:"});
    EXPECT_TRUE(stage.hud->isFinished());
    stage.clock.advance(1);
    EXPECT_EQ(stage.hud->alpha(), 0) << "the grace timer found no task and showed nothing";
    EXPECT_FALSE(stage.hud->showStarted());
}

TEST(ProgressHUDTimeTest, AMinimumShowTimeHoldsAnEarlyHideBackForTheRest)
{
    Stage stage;
    auto listener = std::make_shared<BothMessages>();
    stage.hud->setDelegate(listener);
    stage.hud->setMinShowTime(1.0f);
    stage.hud->show(false);
    EXPECT_EQ(stage.hud->alpha(), 1);
    stage.clock.advance(0.3);
    stage.hud->hide(false);
    EXPECT_TRUE(stage.hud->minShowTimer());
    stage.clock.advance(0.69);
    EXPECT_EQ(stage.hud->alpha(), 1);
    EXPECT_TRUE(listener->heard.empty());
    stage.clock.advance(0.01);
    EXPECT_EQ(stage.hud->alpha(), 0);
    EXPECT_EQ(listener->heard.size(), 1u);
    // A hide after the minimum time has passed acts at once.
    stage.hud->show(false);
    stage.clock.advance(1.5);
    stage.hud->hide(false);
    EXPECT_EQ(stage.hud->alpha(), 0);
    EXPECT_EQ(listener->heard.size(), 2u);
}

TEST(ProgressHUDTimeTest, AnimatedShowAndHideFadeOverAThirdOfASecond)
{
    const struct {
        int type;
        CGFloat scaleWhenShowing, scaleWhenHiding;
    } cases[] = {
        {ProgressHUDAnimationFade, 1, 1},
        {ProgressHUDAnimationZoom, 1, 0.5},
    };
    for (const auto& c : cases) {
        Stage stage;
        auto listener = std::make_shared<PlainMessageOnly>();
        stage.hud->setDelegate(listener);
        stage.hud->setAnimationType(c.type);
        UIView::clearAnimationLog();
        stage.hud->show(true);
        EXPECT_EQ(stage.hud->alpha(), 1);
        EXPECT_DOUBLE_EQ(stage.hud->transform().a, c.scaleWhenShowing);
        auto log = UIView::animationLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_DOUBLE_EQ(log[0].duration, 0.3);
        EXPECT_TRUE(stage.hud->layer()->animationForKey("opacity"));
        stage.clock.advance(0.3);
        stage.hud->hide(true);
        // The fade ends short of nothing; the end of the animation finishes the hiding.
        EXPECT_FLOAT_EQ(float(stage.hud->alpha()), 0.02f);
        EXPECT_DOUBLE_EQ(stage.hud->transform().a, c.scaleWhenHiding);
        EXPECT_TRUE(listener->heard.empty());
        stage.clock.advance(0.3);
        EXPECT_EQ(stage.hud->alpha(), 0);
        EXPECT_TRUE(stage.hud->isFinished());
        EXPECT_EQ(listener->heard, std::vector<std::string>{"hudWasHidden"});
        EXPECT_TRUE(listener->onMain);
    }
}

TEST(ProgressHUDTimeTest, HideAfterADelayAndTheClassConveniences)
{
    Stage stage;
    Ref<ProgressHUD> shown = ProgressHUD::showHUDAddedTo_animated(stage.view, false);
    EXPECT_EQ(shown->superview(), stage.view);
    EXPECT_EQ(stage.view->subviews().back(), shown);
    EXPECT_EQ(shown->alpha(), 1);
    shown->hide_afterDelay(false, 2);
    stage.clock.advance(1.9);
    EXPECT_EQ(shown->alpha(), 1);
    stage.clock.advance(0.1);
    EXPECT_EQ(shown->alpha(), 0);
    EXPECT_EQ(shown->superview(), stage.view) << "kept until told to go on hiding";

    // The last box among the direct subviews is the one hidden and removed.
    Ref<ProgressHUD> last = ProgressHUD::showHUDAddedTo_animated(stage.view, false);
    stage.view->addSubview(UIView::initWithFrame(CGRectMake(0, 0, 10, 10)));
    EXPECT_TRUE(ProgressHUD::hideHUDForView_animated(stage.view, false));
    EXPECT_TRUE(last->removeFromSuperViewOnHide());
    EXPECT_FALSE(last->superview());
    EXPECT_EQ(shown->superview(), stage.view);
    Ref<UIView> empty = UIView::initWithFrame(CGRectMake(0, 0, 10, 10));
    EXPECT_FALSE(ProgressHUD::hideHUDForView_animated(empty, false));
}

// --- The task and the delegate ---------------------------------------------------------------------

TEST(ProgressHUDTaskTest, TheTaskRunsOnAWorkerAndEverythingAfterItOnTheMainThread)
{
    Stage stage;
    auto report = std::make_shared<TaskReport>();
    auto listener = std::make_shared<BothMessages>();
    auto argument = std::make_shared<Argument>();
    stage.hud->setDelegate(listener);
    stage.hud->setRemoveFromSuperViewOnHide(true);
    // Only the box holds the screen from the call on.
    stage.hud->showWhileExecuting_onTarget_withObject_animated(UISelector::make("sendRequest:", &Screen::sendRequest),
                                                               std::make_shared<Screen>(report, true), argument,
                                                               false);
    EXPECT_EQ(stage.hud->methodForExecution().name(), "sendRequest:");
    EXPECT_EQ(stage.hud->alpha(), 1);
    ASSERT_TRUE(stage.waitUntil([&] { return !listener->heard.empty(); }));
    EXPECT_TRUE(report->ran);
    EXPECT_FALSE(report->ranOnMain);
    EXPECT_EQ(report->received, argument);
    EXPECT_TRUE(report->released);
    EXPECT_TRUE(report->releasedOnMain) << "the task's target was let go on the main thread";
    EXPECT_FALSE(stage.hud->targetForExecution());
    EXPECT_FALSE(stage.hud->objectForExecution());
    EXPECT_FALSE(stage.hud->taskInProgress());
    EXPECT_FALSE(stage.hud->indicator());
    EXPECT_TRUE(listener->onMain);
    EXPECT_EQ(listener->hud, stage.hud);
    EXPECT_FALSE(stage.hud->superview());
}

TEST(ProgressHUDTaskTest, TheDelegateHearsTheFirstMessageItImplements)
{
    const struct {
        std::shared_ptr<Listener> listener;
        std::vector<std::string> heard;
    } cases[] = {
        {std::make_shared<BothMessages>(), {"hudWasHidden:"}},
        {std::make_shared<PlainMessageOnly>(), {"hudWasHidden"}},
        {std::make_shared<HUDMessageOnly>(), {"hudWasHidden:"}},
        {std::make_shared<Listener>(), {}},
    };
    for (const auto& c : cases) {
        Stage stage;
        stage.hud->setDelegate(c.listener);
        stage.hud->show(false);
        stage.hud->hide(false);
        EXPECT_EQ(c.listener->heard, c.heard);
        EXPECT_TRUE(stage.hud->isFinished());
    }
}

TEST(ProgressHUDTaskTest, ADelegateThatHasGoneIsNotTold)
{
    Stage stage;
    {
        auto listener = std::make_shared<BothMessages>();
        stage.hud->setDelegate(listener);
    }
    stage.hud->show(false);
    stage.hud->hide(false);
    EXPECT_TRUE(stage.hud->isFinished());
    EXPECT_FALSE(stage.hud->delegate());
}

// --- Orientation -----------------------------------------------------------------------------------

TEST(ProgressHUDOrientationTest, ABoxOnAWindowTurnsWithTheStatusBar)
{
    const struct {
        UIInterfaceOrientation orientation;
        double degrees;
        CGSize size;
    } cases[] = {
        {UIInterfaceOrientationPortrait, 0, {320, 480}},
        {UIInterfaceOrientationPortraitUpsideDown, 180, {320, 480}},
        {UIInterfaceOrientationLandscapeLeft, -90, {480, 320}},
        {UIInterfaceOrientationLandscapeRight, 90, {480, 320}},
    };
    for (const auto& c : cases) {
        MainThreadScope main;
        UIApplication::sharedApplication()->setStatusBarOrientation(c.orientation);
        auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        auto hud = ProgressHUD::initWithWindow(window);
        const std::string what = std::to_string(c.degrees);
        EXPECT_TRUE(CGSizeEqualToSize(hud->bounds().size, c.size)) << what;
        const CGAffineTransform t = hud->transform();
        EXPECT_NEAR(std::atan2(t.b, t.a) * 180 / M_PI, c.degrees, 1e-9) << what;
        EXPECT_TRUE(CGAffineTransformEqualToTransform(hud->rotationTransform(), t)) << what;
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    }
}

TEST(ProgressHUDOrientationTest, ADeviceTurnTurnsOnlyABoxWhoseSuperviewIsAWindow)
{
    Stage stage;
    auto onWindow = ProgressHUD::initWithWindow(stage.window);
    stage.window->addSubview(onWindow);
    UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    UIView::clearAnimationLog();
    const Ref<UIDevice> device = UIDevice::currentDevice();
    device->beginGeneratingDeviceOrientationNotifications();
    device->simulateOrientation(UIDeviceOrientationLandscapeLeft);
    EXPECT_NEAR(std::atan2(onWindow->transform().b, onWindow->transform().a), M_PI / 2, 1e-9);
    EXPECT_TRUE(CGSizeEqualToSize(onWindow->bounds().size, CGSizeMake(480, 320)));
    EXPECT_EQ(UIView::animationLog().size(), 1u) << "turned within an animation";
    EXPECT_TRUE(CGAffineTransformIsIdentity(stage.hud->transform())) << "the box on a plain view stays";
    UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    device->simulateOrientation(UIDeviceOrientationPortrait);
    device->endGeneratingDeviceOrientationNotifications();
}

// --- Drawing ---------------------------------------------------------------------------------------

TEST(ProgressHUDDrawingTest, TheBoxIsATranslucentDarkGreyRoundedRectangle)
{
    using namespace ViewPixels;
    for (CGFloat scale : {1.0, 2.0}) {
        Stage stage;
        // An empty custom view, so that nothing covers the middle of the box.
        stage.hud->setCustomView(UIView::initWithFrame(CGRectMake(0, 0, 37, 37)));
        stage.hud->setMode(ProgressHUDModeCustom);
        stage.hud->show(false);
        const CGContextRef picture = render(stage.hud, scale);
        // The box is 77 points square at (122, 202).
        const Rgba grey = rgba(0.2, 0.2, 0.2, 0.8);
        const std::string what = "scale " + std::to_string(scale);
        EXPECT_TRUE(near(at(picture, 122 + 38, 202 + 38), grey)) << what << " " << at(picture, 160, 240);
        EXPECT_TRUE(near(at(picture, 122 + 2, 202 + 38), grey)) << what;
        EXPECT_TRUE(near(at(picture, 122 + 38, 202 + 76.5), grey)) << what;
        EXPECT_EQ(at(picture, 122.2, 202.2).a, 0) << what << " the rounded corner";
        EXPECT_EQ(at(picture, 198.8, 278.8).a, 0) << what << " the rounded corner";
        EXPECT_EQ(at(picture, 121, 240).a, 0) << what << " outside the box";
        EXPECT_EQ(at(picture, 10, 10).a, 0) << what << " the view around the box";
    }
}

TEST(ProgressHUDDrawingTest, ADimmedBackgroundDarkensTowardsTheEdges)
{
    using namespace ViewPixels;
    Stage stage;
    stage.hud->setDimBackground(true);
    stage.hud->show(false);
    const CGContextRef picture = render(stage.hud, 1);
    // Black that grows from nothing at the centre to three quarters at the shorter side's length.
    const struct {
        CGFloat x, y;
    } points[] = {{0.5, 240.5}, {160.5, 0.5}, {0.5, 0.5}, {60.5, 120.5}};
    for (const auto& p : points) {
        const double distance = std::hypot(p.x - 160, p.y - 240);
        const Rgba shade = at(picture, p.x, p.y);
        EXPECT_NEAR(shade.a, 0.75 * 255 * distance / 320, 4) << p.x << ", " << p.y;
        EXPECT_LE(shade.r + shade.g + shade.b, 6);
    }
}

TEST(ProgressHUDDrawingTest, ThePieFillsClockwiseFromTwelveOClock)
{
    using namespace ViewPixels;
    MainThreadScope main;
    auto pie = RoundProgressView::create();
    pie->setProgress(0.25f);
    const CGContextRef picture = render(pie, 2);
    // The quarter from twelve to three o'clock is solid white; the rest only the faint disc.
    EXPECT_TRUE(near(at(picture, 18.5 + 8, 18.5 - 8), rgba(1, 1, 1, 1))) << at(picture, 26.5, 10.5);
    EXPECT_TRUE(near(at(picture, 18.5 - 8, 18.5 - 8), rgba(1, 1, 1, 0.1))) << at(picture, 10.5, 10.5);
    EXPECT_TRUE(near(at(picture, 18.5 + 8, 18.5 + 8), rgba(1, 1, 1, 0.1))) << at(picture, 26.5, 26.5);
    EXPECT_TRUE(near(at(picture, 18.5, 2), rgba(1, 1, 1, 1))) << "the ring";
    EXPECT_EQ(at(picture, 0.5, 0.5).a, 0);
}

}  // namespace ProgressHUDTest_cpp
}  // namespace
