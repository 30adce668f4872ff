#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "Stage.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UISlider.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UISwitch.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextField.h"

namespace {

class ScrollLog : public NSObject, public UIScrollViewDelegate {
public:
    std::vector<std::string> events;
    void scrollViewDidScroll(const Ref<UIScrollView>& v) override
    {
        events.push_back("scroll " + std::to_string(int(v->contentOffset().y)) + (v->isDragging() ? " dragging" : ""));
    }
    void scrollViewWillBeginDragging(const Ref<UIScrollView>&) override { events.push_back("begin drag"); }
    void scrollViewDidEndDragging_willDecelerate(const Ref<UIScrollView>&, bool decelerate) override
    {
        events.push_back(decelerate ? "end drag, decelerate" : "end drag");
    }
    void scrollViewWillBeginDecelerating(const Ref<UIScrollView>&) override { events.push_back("begin decelerating"); }
    void scrollViewDidEndDecelerating(const Ref<UIScrollView>& v) override
    {
        events.push_back("end decelerating " + std::to_string(int(v->contentOffset().y)));
    }
    void scrollViewDidEndScrollingAnimation(const Ref<UIScrollView>& v) override
    {
        events.push_back("end animation " + std::to_string(int(v->contentOffset().y)));
    }
};

// A screen with gesture actions and a button.
class GestureScreen : public NSObject, public UIGestureRecognizerDelegate {
public:
    std::vector<std::string> events;
    bool refuseButtons = false;
    bool refuseBegin = false;
    void tapped(const Ref<UITapGestureRecognizer>& g)
    {
        const CGPoint p = g->locationInView(g->view());
        events.push_back("tap " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
    }
    void panned(const Ref<UIPanGestureRecognizer>& g)
    {
        const CGPoint t = g->translationInView(g->view());
        const CGPoint v = g->velocityInView(g->view());
        events.push_back("pan " + std::to_string(int(g->state())) + " " + std::to_string(std::lround(t.x)) + " v" +
                         std::to_string(std::lround(v.x)));
    }
    void pressed(const Ref<UIGestureRecognizer>& g) { events.push_back("press " + std::to_string(int(g->state()))); }
    void swiped() { events.push_back("swipe"); }
    void button() { events.push_back("button"); }
    bool gestureRecognizer_shouldReceiveTouch(const Ref<UIGestureRecognizer>&, const Ref<UITouch>& touch) override
    {
        return !(refuseButtons && std::dynamic_pointer_cast<UIControl>(touch->view()));
    }
    bool gestureRecognizerShouldBegin(const Ref<UIGestureRecognizer>&) override { return !refuseBegin; }
};

}  // namespace

TEST(UIScrollViewTest, TheOffsetIsTheBoundsOrigin)
{
    Stage stage;
    auto scroll = UIScrollView::initWithFrame(CGRectMake(0, 100, 320, 200));
    scroll->setContentSize(CGSizeMake(320, 1000));
    auto child = UIView::initWithFrame(CGRectMake(0, 500, 100, 50));
    scroll->addSubview(child);
    stage.window->addSubview(scroll);
    scroll->setContentOffset(CGPointMake(0, 450));
    EXPECT_EQ(scroll->bounds(), CGRectMake(0, 450, 320, 200));
    EXPECT_EQ(child->convertRect_toView(child->bounds(), nullptr), CGRectMake(0, 150, 100, 50));
    EXPECT_EQ(stage.window->hitTest_withEvent(CGPointMake(10, 160), nullptr), child);
    scroll->setContentInset(UIEdgeInsetsMake(50, 0, 10, 0));
    EXPECT_EQ(scroll->minimumContentOffset(), CGPointMake(0, -50));
    EXPECT_EQ(scroll->maximumContentOffset(), CGPointMake(0, 810));
    scroll->scrollRectToVisible_animated(CGRectMake(0, 950, 10, 100), false);  // clamped to the content
    EXPECT_EQ(scroll->contentOffset().y, 810);
}

TEST(UIScrollViewTest, DragsAndAnimatedScrollsTellTheDelegate)
{
    Stage stage;
    auto log = std::make_shared<ScrollLog>();
    auto scroll = UIScrollView::initWithFrame(CGRectMake(0, 0, 320, 400));
    scroll->setContentSize(CGSizeMake(320, 2000));
    scroll->setDelegate(log);

    scroll->simulateDragToContentOffset(CGPointMake(0, -60));
    scroll->simulateDragToContentOffset(CGPointMake(0, -70));
    scroll->simulateEndDragging(true);
    scroll->simulateEndDecelerating(CGPointMake(0, 0));
    EXPECT_EQ(log->events, (std::vector<std::string>{"begin drag", "scroll -60 dragging", "scroll -70 dragging",
                                                     "end drag, decelerate", "begin decelerating", "scroll 0",
                                                     "end decelerating 0"}));
    EXPECT_FALSE(scroll->isDragging());
    EXPECT_FALSE(scroll->isDecelerating());

    // Animated: the offset is final at once; the end comes after the animation, once per animation.
    log->events.clear();
    scroll->setContentOffset_animated(CGPointMake(0, 300), true);
    scroll->setContentOffset_animated(CGPointMake(0, 500), true);
    EXPECT_EQ(log->events, (std::vector<std::string>{"scroll 300", "scroll 500"}));
    stage.clock.advance(UIScrollViewScrollAnimationDuration);
    EXPECT_EQ(log->events.back(), "end animation 500");
    EXPECT_EQ(log->events.size(), 3u);
    scroll->setContentOffset_animated(CGPointMake(0, 500), true);  // no move, no animation
    stage.clock.advance(1);
    EXPECT_EQ(log->events.size(), 3u);
}

TEST(UIScrollViewTest, PagingSettlesOnAPage)
{
    Stage stage;
    auto scroll = UIScrollView::initWithFrame(CGRectMake(0, 0, 320, 480));
    scroll->setContentSize(CGSizeMake(320 * 4, 480));
    scroll->setPagingEnabled(true);
    scroll->simulateDrag(CGPointMake(500, 0), true);
    scroll->simulateEndDecelerating();
    EXPECT_EQ(scroll->contentOffset(), CGPointMake(640, 0));
}

TEST(UIScrollViewTest, CommonModeWorkRunsWhileTracking)
{
    Stage stage;
    auto scroll = UIScrollView::create();
    int fired = 0;
    auto timer = NSTimer::timerWithTimeInterval(0.026, true, [&] { ++fired; });
    NSRunLoop::currentRunLoop()->addTimer(timer, kCFRunLoopCommonModes);
    stage.clock.advance(0.1, UITrackingRunLoopMode);
    EXPECT_EQ(fired, 3);
    timer->invalidate();
}

// What the controls inside the scroll views heard.
class ControlLog : public NSObject {
public:
    std::vector<std::string> events;
    void rowUp() { events.push_back("row up"); }
    void rowCancel() { events.push_back("row cancel"); }
    void innerUp() { events.push_back("inner up"); }
    void sliderEnd() { events.push_back("slider end"); }
};

TEST(UIScrollViewTest, AFingerOnAViewInsideTheContentDragsItAndATapStillClicks)
{
    // A list 480 points high over 2000 of content: a row's button, a paging strip (two pages side by
    // side) with a button of its own, and a slider; in window points the row button's middle is
    // (160, 330), the strip's button's (160, 200), the slider's (160, 420).
    struct Case {
        const char* what;
        CGPoint from, to;
        bool canCancel;
        CGFloat listY;
        CGFloat stripX;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases = {
        {"a tap on the row's button clicks it", {160, 330}, {160, 330}, true, 0, 0, {"row up"}},
        {"a short wobble on the button is still a tap", {160, 330}, {165, 334}, true, 0, 0, {"row up"}},
        {"a drag up from the row's button scrolls the list", {160, 330}, {160, 130}, true, 200, 0, {"row cancel"}},
        {"a drag up from the strip's button scrolls the list", {160, 200}, {160, 50}, true, 150, 0, {}},
        {"a drag left from the strip's button pages the strip", {160, 200}, {40, 200}, true, 0, 320, {}},
        {"the slider keeps its finger", {160, 420}, {160, 270}, true, 0, 0, {"slider end"}},
        {"a list that cannot cancel leaves the button its touch", {160, 330}, {160, 130}, false, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Stage stage;
        auto log = std::make_shared<ControlLog>();
        auto list = UIScrollView::initWithFrame(CGRectMake(0, 0, 320, 480));
        list->setContentSize(CGSizeMake(320, 2000));
        list->setCanCancelContentTouches(c.canCancel);
        stage.window->addSubview(list);
        auto row = UIButton::buttonWithType(UIButtonTypeCustom);
        row->setFrame(CGRectMake(10, 300, 300, 60));
        row->addTarget_action_forControlEvents(log, UIControlAction::make("rowUp", &ControlLog::rowUp),
                                               UIControlEventTouchUpInside);
        row->addTarget_action_forControlEvents(log, UIControlAction::make("rowCancel", &ControlLog::rowCancel),
                                               UIControlEventTouchCancel);
        list->addSubview(row);
        auto strip = UIScrollView::initWithFrame(CGRectMake(0, 150, 320, 100));
        strip->setContentSize(CGSizeMake(640, 100));
        strip->setPagingEnabled(true);
        strip->setBounces(false);
        list->addSubview(strip);
        auto inner = UIButton::buttonWithType(UIButtonTypeCustom);
        inner->setFrame(CGRectMake(10, 20, 300, 60));
        inner->addTarget_action_forControlEvents(log, UIControlAction::make("innerUp", &ControlLog::innerUp),
                                                 UIControlEventTouchUpInside);
        strip->addSubview(inner);
        auto slider = UISlider::initWithFrame(CGRectMake(10, 400, 300, 40));
        slider->addTarget_action_forControlEvents(log, UIControlAction::make("sliderEnd", &ControlLog::sliderEnd),
                                                  UIControlEventTouchUpInside | UIControlEventTouchUpOutside);
        list->addSubview(slider);

        stage.window->simulateTouchBegan(c.from);
        for (int step = 1; step <= 4; ++step) {
            stage.window->simulateTouchMoved(
                CGPointMake(c.from.x + (c.to.x - c.from.x) * step / 4, c.from.y + (c.to.y - c.from.y) * step / 4));
        }
        stage.window->simulateTouchEnded(c.to);
        EXPECT_EQ(list->contentOffset(), CGPointMake(0, c.listY));
        EXPECT_EQ(strip->contentOffset(), CGPointMake(c.stripX, 0));
        EXPECT_EQ(log->events, c.events);
        EXPECT_FALSE(list->isDragging());
        EXPECT_FALSE(strip->isDragging());
        list->removeFromSuperview();
    }
}

TEST(UIGestureRecognizerTest, TapsReachRecognisersWhoseDelegateTakesTheTouch)
{
    Stage stage;
    auto screen = std::make_shared<GestureScreen>();
    auto root = UIView::initWithFrame(CGRectMake(0, 20, 320, 460));
    stage.window->addSubview(root);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(10, 10, 100, 40));
    button->addTarget_action_forControlEvents(screen, UIControlAction::make("button", &GestureScreen::button),
                                              UIControlEventTouchUpInside);
    root->addSubview(button);
    auto tap = UITapGestureRecognizer::initWithTarget_action(screen, UISelector::make("tapped:", &GestureScreen::tapped));
    tap->setDelegate(screen);
    root->addGestureRecognizer(tap);
    EXPECT_EQ(tap->view(), root);

    stage.window->simulateTap(CGPointMake(200, 220));
    EXPECT_EQ(screen->events, std::vector<std::string>{"tap 200,200"});

    // A tap on the button is the button's: a single tap around a control leaves it alone...
    screen->events.clear();
    stage.window->simulateTap(CGPointMake(20, 40));
    EXPECT_EQ(screen->events, std::vector<std::string>{"button"});
    // ...as it does when its delegate refuses touches on controls.
    screen->events.clear();
    screen->refuseButtons = true;
    stage.window->simulateTap(CGPointMake(20, 40));
    EXPECT_EQ(screen->events, std::vector<std::string>{"button"});

    // A tap that wanders fails; a refused beginning fails.
    screen->events.clear();
    stage.window->simulateTouchBegan(CGPointMake(200, 200));
    stage.window->simulateTouchMoved(CGPointMake(240, 200));
    stage.window->simulateTouchEnded();
    screen->refuseBegin = true;
    stage.window->simulateTap(CGPointMake(200, 200));
    EXPECT_TRUE(screen->events.empty());
    EXPECT_EQ(tap->simulateState(UIGestureRecognizerStateEnded), UIGestureRecognizerStateFailed);
    screen->refuseBegin = false;
    tap->setSimulatedLocation(CGPointMake(5, 6));
    EXPECT_EQ(tap->simulateState(UIGestureRecognizerStateEnded), UIGestureRecognizerStateEnded);
    EXPECT_EQ(screen->events, std::vector<std::string>{"tap 5,6"});
}

TEST(UIGestureRecognizerTest, PansFollowTheTouchOnTheClock)
{
    Stage stage;
    auto screen = std::make_shared<GestureScreen>();
    auto view = UIView::initWithFrame(CGRectMake(0, 0, 320, 480));
    stage.window->addSubview(view);
    auto pan = UIPanGestureRecognizer::initWithTarget_action(screen, UISelector::make("panned:", &GestureScreen::panned));
    view->addGestureRecognizer(pan);
    stage.window->simulateTouchBegan(CGPointMake(100, 100));
    stage.clock.advance(0.1);
    stage.window->simulateTouchMoved(CGPointMake(105, 100));  // under the threshold
    stage.clock.advance(0.1);
    stage.window->simulateTouchMoved(CGPointMake(130, 100));
    stage.clock.advance(0.1);
    stage.window->simulateTouchMoved(CGPointMake(150, 100));
    stage.window->simulateTouchEnded();
    EXPECT_EQ(screen->events, (std::vector<std::string>{"pan 1 30 v250", "pan 2 50 v200", "pan 3 50 v200"}));

    screen->events.clear();
    pan->simulatePan(UIGestureRecognizerStateBegan, CGPointMake(-80, 0), CGPointMake(-600, 0));
    pan->simulatePan(UIGestureRecognizerStateEnded, CGPointMake(-120, 0), CGPointMake(-900, 0));
    EXPECT_EQ(screen->events, (std::vector<std::string>{"pan 1 -80 v-600", "pan 3 -120 v-900"}));
}

TEST(UIGestureRecognizerTest, LongPressesAndSwipes)
{
    Stage stage;
    auto screen = std::make_shared<GestureScreen>();
    auto view = UIView::initWithFrame(CGRectMake(0, 0, 320, 480));
    stage.window->addSubview(view);
    auto press = UILongPressGestureRecognizer::initWithTarget_action(screen,
                                                                     UISelector::make("pressed:", &GestureScreen::pressed));
    auto swipe = UISwipeGestureRecognizer::initWithTarget_action(screen, UISelector::make("swiped", &GestureScreen::swiped));
    swipe->setDirection(UISwipeGestureRecognizerDirectionLeft);
    view->addGestureRecognizer(press);
    view->addGestureRecognizer(swipe);

    stage.window->simulateTouchBegan(CGPointMake(100, 100));
    stage.clock.advance(0.4);
    EXPECT_TRUE(screen->events.empty());
    stage.clock.advance(0.1);
    EXPECT_EQ(screen->events, std::vector<std::string>{"press 1"});
    stage.window->simulateTouchEnded();
    EXPECT_EQ(screen->events.back(), "press 3");

    // A short touch is no long press; a quick move left is a swipe.
    screen->events.clear();
    stage.window->simulateTap(CGPointMake(100, 100));
    stage.window->simulateTouchBegan(CGPointMake(200, 100));
    stage.window->simulateTouchMoved(CGPointMake(120, 110));
    stage.window->simulateTouchEnded();
    stage.clock.advance(1);
    EXPECT_EQ(screen->events, std::vector<std::string>{"swipe"});
}

TEST(UIGestureRecognizerTest, AControlsOwnTapWinsOverASingleTapAroundIt)
{
    Stage stage;
    auto screen = std::make_shared<GestureScreen>();
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 320, 480));
    stage.window->addSubview(root);
    auto cell = UIView::initWithFrame(CGRectMake(0, 100, 320, 200));  // the control sits deeper down
    root->addSubview(cell);
    auto single = UITapGestureRecognizer::initWithTarget_action(screen, UISelector::make("tapped:", &GestureScreen::tapped));
    root->addGestureRecognizer(single);

    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(10, 10, 100, 40));
    button->addTarget_action_forControlEvents(screen, UIControlAction::make("button", &GestureScreen::button),
                                              UIControlEventTouchUpInside);
    auto field = UITextField::initWithFrame(CGRectMake(10, 60, 200, 30));
    auto toggle = UISwitch::initWithFrame(CGRectMake(10, 100, 79, 27));
    auto segments = UISegmentedControl::initWithItems({std::string("a"), std::string("b")});
    segments->setFrame(CGRectMake(10, 140, 200, 30));
    for (const Ref<UIView>& v : std::vector<Ref<UIView>>{button, field, toggle, segments}) {
        cell->addSubview(v);
    }
    auto label = UIView::initWithFrame(CGRectMake(220, 10, 80, 40));  // not a control
    cell->addSubview(label);

    const struct {
        const char* what;
        CGPoint point;
        std::function<bool()> controlActed;
        bool recognised;
    } cases[] = {
        {"button", CGPointMake(20, 130), [&] { return !screen->events.empty() && screen->events[0] == "button"; }, false},
        {"field", CGPointMake(20, 175), [&] { return field->isFirstResponder(); }, false},
        {"switch", CGPointMake(20, 210), [&] { return toggle->isOn(); }, false},
        {"segments", CGPointMake(170, 255), [&] { return segments->selectedSegmentIndex() == 1; }, false},
        {"plain view", CGPointMake(250, 130), [] { return false; }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        screen->events.clear();
        stage.window->simulateTap(c.point);
        EXPECT_EQ(c.controlActed(), !c.recognised);
        const bool tapped = !screen->events.empty() && screen->events.back().rfind("tap", 0) == 0;
        EXPECT_EQ(tapped, c.recognised);
    }

    // A tap recogniser on the control itself, or one asking for two taps around it, still sees it.
    screen->events.clear();
    auto own = UITapGestureRecognizer::initWithTarget_action(screen, UISelector::make("tapped:", &GestureScreen::tapped));
    button->addGestureRecognizer(own);
    stage.window->simulateTap(CGPointMake(20, 130));
    EXPECT_EQ(screen->events, std::vector<std::string>{"tap 10,20"});
    button->removeGestureRecognizer(own);
    root->removeGestureRecognizer(single);
    auto twice = UITapGestureRecognizer::initWithTarget_action(screen, UISelector::make("tapped:", &GestureScreen::tapped));
    twice->setNumberOfTapsRequired(2);
    root->addGestureRecognizer(twice);
    screen->events.clear();
    stage.window->simulateTouchBegan(CGPointMake(20, 130));
    EXPECT_EQ(twice->numberOfTouches(), 1u);
    stage.window->simulateTouchEnded();
}
