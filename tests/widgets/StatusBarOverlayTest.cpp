#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "widgets/StatusBarOverlay.h"

namespace {

// What the overlay told its delegate, in order.
class Recorder : public NSObject, public StatusBarOverlayDelegate {
public:
    void statusBarOverlayDidRecognizeGesture(const Ref<UIGestureRecognizer>&) override { ++gestures; }
    void statusBarOverlayDidSwitchFromOldMessage_toNewMessage(const Value& oldMessage,
                                                             const std::string& newMessage) override
    {
        switches.push_back((oldMessage.isNil() ? std::string("nil") : oldMessage.stringValue()) + ">" + newMessage);
        shown.push_back(newMessage);
        switchedOnMain.push_back(NSThread::isMainThread());
    }
    void statusBarOverlayDidClearMessageQueue(const std::vector<Value>& messages) override
    {
        for (const auto& message : messages) {
            cleared.push_back(message[kStatusBarOverlayMessageKey].stringValue());
        }
    }
    void statusBarOverlayDidHide() override { ++hides; }

    std::vector<std::string> switches;
    std::vector<std::string> shown;
    std::vector<bool> switchedOnMain;
    std::vector<std::string> cleared;
    int gestures = 0;
    int hides = 0;
};

std::vector<std::string> texts(const std::vector<Value>& queue)
{
    std::vector<std::string> out;
    for (const auto& message : queue) {
        out.push_back(message[kStatusBarOverlayMessageKey].stringValue());
    }
    return out;
}

class StatusBarOverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto application = UIApplication::sharedApplication();
        application->setStatusBarHidden(false);
        application->setStatusBarStyle(UIStatusBarStyleDefault);
        application->simulateBecomeActive();
        overlay = StatusBarOverlay::create();
        recorder = std::make_shared<Recorder>();
        overlay->setDelegate(recorder);
    }

    std::string visibleText() const { return overlay->visibleStatusLabel()->text(); }

    MainThreadScope main;
    ScopedManualClock clock;
    Ref<StatusBarOverlay> overlay;
    Ref<Recorder> recorder;
};

}  // namespace

TEST_F(StatusBarOverlayTest, SharedOverlayIsOneWindowAboveTheStatusBar)
{
    auto shared = StatusBarOverlay::sharedOverlay();
    EXPECT_EQ(shared, StatusBarOverlay::sharedInstance());
    EXPECT_EQ(shared->windowLevel(), UIWindowLevelStatusBar + 1);
    EXPECT_EQ(shared->frame(), CGRectMake(0, 0, 320, 20));
    EXPECT_EQ(shared->alpha(), 0);
    EXPECT_FALSE(shared->isHidden());
    EXPECT_TRUE(shared->isReallyHidden());
    EXPECT_EQ(shared->smallFrame(), CGRectMake(294, 0, 26, 20));
}

TEST_F(StatusBarOverlayTest, MessagesShowInPostingOrderAndTheOverlayHidesAfterTheLastDuration)
{
    const double start = clock.now();
    overlay->postFinishMessage_duration_animated("A", 2.0, false);
    overlay->postFinishMessage_duration_animated("B", 2.0, false);
    overlay->postFinishMessage_duration_animated("C", 2.0, false);
    EXPECT_EQ(visibleText(), "A");
    EXPECT_TRUE(overlay->isActive());
    EXPECT_EQ(overlay->alpha(), 1);
    EXPECT_EQ(texts(overlay->messageQueue()), (std::vector<std::string>{"C", "B"}));

    clock.advance(0.4);
    EXPECT_EQ(visibleText(), "B");
    clock.advance(0.4);
    EXPECT_EQ(visibleText(), "C");
    EXPECT_EQ(overlay->lastPostedMessage(), "C");
    EXPECT_EQ(recorder->switches, (std::vector<std::string>{"nil>A", "A>B", "B>C"}));
    EXPECT_EQ(overlay->messageHistory(), (std::vector<std::string>{"A", "B"}));

    clock.advance(0.4);  // the step that finds the queue empty ends the cycle
    EXPECT_FALSE(overlay->isActive());

    clock->advanceTo(start + 0.8 + 2.0 - 0.01);
    EXPECT_EQ(overlay->alpha(), 1);
    EXPECT_EQ(recorder->hides, 0);
    clock->advanceTo(start + 0.8 + 2.0);
    EXPECT_EQ(overlay->alpha(), 0);  // fading out
    EXPECT_EQ(visibleText(), "");
    EXPECT_TRUE(overlay->messageHistory().empty());
    EXPECT_EQ(recorder->hides, 0);
    clock.advance(0.5);
    EXPECT_EQ(recorder->hides, 1);
}

TEST_F(StatusBarOverlayTest, AnimatedSwitchSlidesTheTextInAndLeavesTheQueueWhenInPlace)
{
    overlay->postMessage_duration_animated("first", 0, true);
    overlay->postMessage_duration_animated("second", 0, true);
    // The new text waits in the label below the strip while both slide up.
    EXPECT_EQ(overlay->statusLabel2()->text(), "first");
    EXPECT_EQ(overlay->statusLabel2()->frame().origin.y, 0);
    EXPECT_EQ(overlay->statusLabel1()->frame().origin.y, -20);
    EXPECT_EQ(texts(overlay->messageQueue()), (std::vector<std::string>{"second", "first"}));
    EXPECT_TRUE(recorder->shown.empty());

    clock.advance(0.6);
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"first"}));
    EXPECT_EQ(overlay->visibleStatusLabel(), overlay->statusLabel2());
    EXPECT_EQ(texts(overlay->messageQueue()), (std::vector<std::string>{"second"}));

    clock.advance(0.4);  // next step: the old label comes round from below
    EXPECT_EQ(overlay->statusLabel1()->text(), "second");
    EXPECT_EQ(overlay->statusLabel1()->frame().origin.y, 0);
    clock.advance(0.6);
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(visibleText(), "second");
    // An activity message without a duration stays until something replaces or hides it.
    clock.advance(60);
    EXPECT_EQ(overlay->alpha(), 1);
    EXPECT_EQ(visibleText(), "second");
    EXPECT_TRUE(overlay->activityIndicator()->isAnimating());
    overlay->hide();
    EXPECT_EQ(overlay->alpha(), 0);
    EXPECT_FALSE(overlay->activityIndicator()->isAnimating());
}

TEST_F(StatusBarOverlayTest, ImmediateMessageRemovesWaitingOnesButNotTheOneOnShow)
{
    overlay->postMessage_duration_animated("shown", 2.0, true);
    overlay->postMessage_duration_animated("waiting 1", 2.0, true);
    overlay->postMessage_duration_animated("waiting 2", 2.0, true);
    overlay->postImmediateFinishMessage_duration_animated("now", 2.0, true);
    EXPECT_EQ(recorder->cleared, (std::vector<std::string>{"waiting 2", "waiting 1"}));
    EXPECT_EQ(texts(overlay->messageQueue()), (std::vector<std::string>{"now", "shown"}));

    clock.advance(0.6);
    clock.advance(0.4);
    clock.advance(0.6);
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"shown", "now"}));
    EXPECT_EQ(overlay->finishedLabel()->text(), "✔");
    EXPECT_FALSE(overlay->finishedLabel()->isHidden());
    EXPECT_TRUE(overlay->isHideInProgress());
}

TEST_F(StatusBarOverlayTest, EmptyImmediateMessageOnlyClearsTheWaitingOnes)
{
    overlay->postFinishMessage_duration_animated("shown", 2.0, true);
    overlay->postFinishMessage_duration_animated("waiting", 2.0, true);
    overlay->postImmediateFinishMessage_duration_animated("", 0, true);
    EXPECT_EQ(recorder->cleared, (std::vector<std::string>{"waiting"}));
    EXPECT_EQ(texts(overlay->messageQueue()), (std::vector<std::string>{"shown"}));

    clock.advance(5);
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"shown"}));
    EXPECT_FALSE(overlay->isActive());

    // Nothing waits: nothing is cleared and nothing is shown.
    overlay->postImmediateFinishMessage_duration_animated("", 0, true);
    EXPECT_EQ(recorder->cleared.size(), 1u);
    EXPECT_FALSE(overlay->isActive());
}

TEST_F(StatusBarOverlayTest, EarlierImmediateMessagesSurviveOnlyWhenRemovalIsOff)
{
    struct Case {
        bool canRemove;
        std::vector<std::string> queue;
    };
    for (const Case& c : {Case{true, {"second", "shown"}}, Case{false, {"second", "first", "shown"}}}) {
        auto overlay = StatusBarOverlay::create();
        overlay->setCanRemoveImmediateMessagesFromQueue(c.canRemove);
        overlay->postMessage_duration_animated("shown", 0, true);
        overlay->postImmediateMessage_duration_animated("first", 0, true);
        overlay->postImmediateMessage_duration_animated("second", 0, true);
        EXPECT_EQ(texts(overlay->messageQueue()), c.queue) << "canRemove " << c.canRemove;
    }
}

TEST_F(StatusBarOverlayTest, RepeatedTextIsDroppedUntilAnotherTextCameBetween)
{
    overlay->postMessage_duration_animated("same", 0, false);
    clock.advance(0.4);
    overlay->postMessage_duration_animated("same", 0, false);
    EXPECT_TRUE(overlay->messageQueue().empty());
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"same"}));

    clock.advance(0.4);
    overlay->postMessage_duration_animated("other", 0, false);
    clock.advance(0.4);
    overlay->postMessage_duration_animated("same", 0, false);
    clock.advance(0.4);
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"same", "other", "same"}));
}

TEST_F(StatusBarOverlayTest, EmptyTextsAndHiddenStatusBarQueueNothing)
{
    overlay->postMessage("");
    EXPECT_FALSE(overlay->isActive());
    EXPECT_TRUE(overlay->messageQueue().empty());

    UIApplication::sharedApplication()->setStatusBarHidden(true);
    overlay->postMessage_duration_animated("lost", 2.0, true);
    EXPECT_TRUE(overlay->messageQueue().empty());
    EXPECT_FALSE(overlay->isActive());
    EXPECT_TRUE(recorder->shown.empty());
    UIApplication::sharedApplication()->setStatusBarHidden(false);
}

TEST_F(StatusBarOverlayTest, PostingFromAnotherThreadWaitsUntilQueuedOnTheMainThreadInOrder)
{
    std::atomic<bool> posted{false};
    bool activeWhenReturned = false;
    std::thread poster([&, overlay = overlay] {
        // The post returns only once the main thread has queued the message, which starts the cycle.
        overlay->postErrorMessage_duration_animated("from a worker", 2.0, false);
        activeWhenReturned = overlay->isActive();
        overlay->postFinishMessage_duration_animated("and then this", 2.0, false);
        posted = true;
    });
    // The worker waits on the main queue: the main thread keeps turning until it is done.
    const bool finished = pumpMainUntil([&] { return posted.load(); });
    poster.join();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(activeWhenReturned);
    ASSERT_TRUE(pumpMainUntil([&] { return recorder->shown.size() == 1; }));
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"from a worker"}));
    EXPECT_EQ(overlay->finishedLabel()->text(), "✗");
    clock.advance(0.4);
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"from a worker", "and then this"}));
    EXPECT_EQ(recorder->switchedOnMain, (std::vector<bool>{true, true}));
}

TEST_F(StatusBarOverlayTest, InactiveApplicationKeepsMessagesUntilItIsActiveAgain)
{
    overlay->postMessage_duration_animated("before", 0, false);
    auto application = UIApplication::sharedApplication();
    application->simulateResignActive();
    EXPECT_TRUE(overlay->forcedToHide());
    EXPECT_EQ(overlay->alpha(), 0);

    overlay->postMessage_duration_animated("while away", 0, false);
    clock.advance(2);
    EXPECT_EQ(texts(overlay->messageQueue()), (std::vector<std::string>{"while away"}));
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"before"}));

    application->simulateBecomeActive();
    EXPECT_FALSE(overlay->forcedToHide());
    EXPECT_EQ(overlay->alpha(), 1);
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"before", "while away"}));
}

TEST_F(StatusBarOverlayTest, SwitchOvertakenByAReturnToTheForegroundLosesNoMessage)
{
    // Leaving and coming back while a text slides in starts the switch again: the interrupted one must
    // not also take a message off the queue, or the one after it would never be shown.
    overlay->postMessage_duration_animated("one", 0, true);
    overlay->postMessage_duration_animated("two", 0, true);
    auto application = UIApplication::sharedApplication();
    application->simulateResignActive();
    application->simulateBecomeActive();
    for (int step = 0; step < 10 && recorder->shown.size() < 2; ++step) {
        clock.advance(0.5);
    }
    EXPECT_EQ(recorder->shown, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(visibleText(), "two");
    EXPECT_TRUE(overlay->messageQueue().empty());
}

TEST_F(StatusBarOverlayTest, TapActsOnlyWhenEndedAndFollowsTheAnimationSetting)
{
    auto tap = overlay->tapGestureRecognizer();
    ASSERT_TRUE(tap);
    const CGRect full = overlay->backgroundView()->frame();

    overlay->contentViewClicked(tap);  // possible, not ended
    EXPECT_EQ(recorder->gestures, 0);

    tap->simulateState(UIGestureRecognizerStateEnded);  // animation none: only the delegate hears
    EXPECT_EQ(recorder->gestures, 1);
    EXPECT_FALSE(overlay->isShrinked());
    EXPECT_TRUE(overlay->isDetailViewHidden());

    overlay->setAnimation(OverlayAnimationShrink);
    tap->simulateState(UIGestureRecognizerStateEnded);
    EXPECT_TRUE(overlay->isShrinked());
    EXPECT_EQ(overlay->backgroundView()->frame(), CGRectMake(294, 0, 26, 20));
    EXPECT_TRUE(overlay->statusLabel1()->isHidden());
    tap->simulateState(UIGestureRecognizerStateEnded);
    EXPECT_FALSE(overlay->isShrinked());
    EXPECT_EQ(overlay->backgroundView()->frame(), full);
    EXPECT_FALSE(overlay->statusLabel1()->isHidden());

    overlay->setAnimation(OverlayAnimationFallDown);
    tap->simulateState(UIGestureRecognizerStateEnded);
    EXPECT_FALSE(overlay->isDetailViewHidden());
    EXPECT_EQ(overlay->detailView()->frame().origin.y, 0);
    tap->simulateState(UIGestureRecognizerStateEnded);
    EXPECT_TRUE(overlay->isDetailViewHidden());
    EXPECT_EQ(recorder->gestures, 5);

    // A finger on the shown strip.
    overlay->postMessage_duration_animated("touch me", 0, false);
    overlay->simulateTap(CGPointMake(160, 10));
    EXPECT_FALSE(overlay->isDetailViewHidden());
    EXPECT_EQ(recorder->gestures, 6);
}

TEST_F(StatusBarOverlayTest, LookFollowsTheStatusBarStyle)
{
    overlay->postMessage_duration_animated("light", 0, false);
    EXPECT_TRUE(overlay->statusLabel1()->textColor()->isEqual(UIColor::blackColor().get()));
    EXPECT_TRUE(overlay->statusLabel1()->shadowColor()->isEqual(UIColor::whiteColor().get()));
    EXPECT_TRUE(overlay->statusBarBackgroundImageView()->image());
    EXPECT_EQ(overlay->activityIndicator()->activityIndicatorViewStyle(), UIActivityIndicatorViewStyleGray);

    clock.advance(0.4);
    UIApplication::sharedApplication()->setStatusBarStyle(UIStatusBarStyleBlackOpaque);
    overlay->postMessage_duration_animated("dark", 0, false);
    auto grey = UIColor::colorWithRed_green_blue_alpha(0.749, 0.749, 0.749, 1);
    EXPECT_TRUE(overlay->statusLabel1()->textColor()->isEqual(grey.get()));
    EXPECT_FALSE(overlay->statusLabel1()->shadowColor());
    EXPECT_FALSE(overlay->statusBarBackgroundImageView()->image());
    EXPECT_EQ(overlay->activityIndicator()->activityIndicatorViewStyle(), UIActivityIndicatorViewStyleWhite);
    UIApplication::sharedApplication()->setStatusBarStyle(UIStatusBarStyleDefault);
}

TEST_F(StatusBarOverlayTest, ShrinkingSwapsTheBackgroundImageAndRestoresTheStrip)
{
    overlay->setStatusBarBackgroundForStyle(UIStatusBarStyleDefault);
    const CGSize fullImage = overlay->statusBarBackgroundImageView()->image()->size();
    EXPECT_EQ(fullImage, CGSizeMake(5, 20));
    overlay->setShrinked_animated(true, false);
    EXPECT_EQ(overlay->backgroundView()->frame(), CGRectMake(294, 0, 26, 20));
    overlay->setShrinked_animated(false, false);
    EXPECT_EQ(overlay->backgroundView()->frame(), CGRectMake(0, 0, 320, 20));
    EXPECT_EQ(overlay->statusLabel1()->frame().size.width, 260);

    overlay->setShrinked_animated(true, false);
    overlay->saveStateSynchronized(false);
    EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey(kStatusBarOverlayStateShrinked));
    overlay->setShrinked_animated(false, false);
    overlay->restoreState();
    EXPECT_TRUE(overlay->isShrinked());
}

TEST_F(StatusBarOverlayTest, ProgressNeverGoesBackExceptToZero)
{
    EXPECT_EQ(overlay->progress(), 1);  // nothing in progress
    overlay->setProgress(0);
    overlay->setProgress(0.5);
    overlay->setProgress(0.3);
    EXPECT_EQ(overlay->progress(), 0.5);
    overlay->setProgress(0);
    EXPECT_EQ(overlay->progress(), 0);
    overlay->setProgress(7);
    EXPECT_EQ(overlay->progress(), 1);

    // Half done: the shade covers the right half of the text and everything after it.
    overlay->setProgress(0);
    overlay->setProgress(0.5);
    overlay->postMessage_duration_animated("progressing", 0, false);
    drainMain();
    EXPECT_FALSE(overlay->progressView()->isHidden());
    const CGRect shade = overlay->progressView()->frame();
    EXPECT_NEAR(shade.origin.x, 160, 0.01);
    EXPECT_NEAR(shade.origin.x + shade.size.width, 320, 0.01);
}

TEST_F(StatusBarOverlayTest, HistoryPanelShowsAtMostFiveNewestRows)
{
    overlay->setHistoryEnabled(true);
    struct Case {
        int entries;
        CGFloat tableY;
        CGFloat panelY;
    };
    for (const Case& c : {Case{2, 95, -75}, Case{7, 20, 0}}) {
        overlay->clearHistory();
        for (int i = 0; i < c.entries; ++i) {
            overlay->addMessageToHistory("entry " + std::to_string(i));
        }
        overlay->addMessageToHistory("   ");  // blank texts are not history
        overlay->setDetailViewHidden_animated(false, false);
        EXPECT_EQ(overlay->historyTableView()->frame().origin.y, c.tableY) << c.entries;
        EXPECT_EQ(overlay->detailView()->frame().origin.y, c.panelY) << c.entries;
        EXPECT_EQ(overlay->tableView_numberOfRowsInSection(overlay->historyTableView(), 0), c.entries);
        overlay->setDetailViewHidden_animated(true, false);
        EXPECT_TRUE(overlay->isDetailViewHidden());
    }
}

TEST_F(StatusBarOverlayTest, DelegateMayPostWhileTheQueueIsBeingCleared)
{
    class Reposter : public NSObject, public StatusBarOverlayDelegate {
    public:
        void statusBarOverlayDidClearMessageQueue(const std::vector<Value>& messages) override
        {
            if (auto target = overlay.lock()) {
                target->postMessage_duration_animated("posted from the callback", 0, true);
            }
        }
        Weak<StatusBarOverlay> overlay;
    };
    auto reposter = std::make_shared<Reposter>();
    reposter->overlay = overlay;
    overlay->setDelegate(reposter);
    overlay->postMessage_duration_animated("shown", 0, true);
    overlay->postMessage_duration_animated("waiting", 0, true);
    overlay->postImmediateMessage_duration_animated("now", 0, true);
    EXPECT_EQ(texts(overlay->messageQueue()),
              (std::vector<std::string>{"now", "posted from the callback", "shown"}));
}

TEST_F(StatusBarOverlayTest, RotationTurnsTheWindowWithTheStatusBar)
{
    struct Case {
        UIInterfaceOrientation orientation;
        CGRect frame;
        CGRect smallFrame;
    };
    auto application = UIApplication::sharedApplication();
    overlay->postMessage_duration_animated("visible", 0, false);
    overlay->setShrinked_animated(true, false);
    for (const Case& c : {Case{UIInterfaceOrientationPortraitUpsideDown, CGRectMake(0, 460, 320, 20),
                               CGRectMake(294, 0, 26, 20)},
                          Case{UIInterfaceOrientationLandscapeRight, CGRectMake(0, 0, 20, 480),
                               CGRectMake(454, 0, 26, 20)},
                          Case{UIInterfaceOrientationLandscapeLeft, CGRectMake(300, 0, 20, 480),
                               CGRectMake(454, 0, 26, 20)},
                          Case{UIInterfaceOrientationPortrait, CGRectMake(0, 0, 320, 20),
                               CGRectMake(294, 0, 26, 20)}}) {
        application->setStatusBarOrientation(c.orientation);
        overlay->rotateToStatusBarFrame(Value());
        EXPECT_EQ(overlay->alpha(), 0) << c.orientation;  // out of sight while the bar turns
        // The turned window's geometry carries rounding noise from the rotation.
        auto near = [](CGRect a, CGRect b) {
            return std::abs(a.origin.x - b.origin.x) < 0.01 && std::abs(a.origin.y - b.origin.y) < 0.01 &&
                   std::abs(a.size.width - b.size.width) < 0.01 && std::abs(a.size.height - b.size.height) < 0.01;
        };
        EXPECT_PRED2(near, overlay->frame(), c.frame) << c.orientation;
        EXPECT_EQ(overlay->smallFrame(), c.smallFrame) << c.orientation;
        EXPECT_PRED2(near, overlay->backgroundView()->frame(), c.smallFrame) << c.orientation;
        EXPECT_TRUE(overlay->isShrinked()) << c.orientation;
        clock.advance(0.3);  // back once the bar has turned
        EXPECT_EQ(overlay->alpha(), 1) << c.orientation;
    }
    overlay->setShrinked_animated(false, false);
    EXPECT_EQ(overlay->backgroundView()->frame(), CGRectMake(0, 0, 320, 20));
}
