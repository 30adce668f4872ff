#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIPageControl.h"
#include "platform/uikit/UIProgressView.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UISlider.h"
#include "platform/uikit/UISwitch.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace {

// A screen with actions of the three shapes the platform allows.
class Screen : public UIViewController {
public:
    void share() { calls.push_back("share"); }
    void tapped(const Ref<UIButton>& sender) { calls.push_back(sender ? "tapped by button" : "tapped by other"); }
    void changed(const Ref<UIControl>& sender, const Ref<UIEvent>& event)
    {
        calls.push_back(event ? "changed with event" : "changed");
    }
    std::vector<std::string> calls;
};

UIControlAction shareAction() { return UIControlAction::make("share", &Screen::share); }
UIControlAction tappedAction() { return UIControlAction::make("tapped:", &Screen::tapped); }
UIControlAction changedAction() { return UIControlAction::make("changed:forEvent:", &Screen::changed); }

// A visible key window on a manual clock (taps in quick succession count as multiple taps by the clock).
struct Stage {
    MainThreadScope main;
    ScopedManualClock clock;
    Ref<UIWindow> window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    Stage() { window->makeKeyAndVisible(); }
    template <class T>
    Ref<T> add(Ref<T> view, CGRect frame)
    {
        view->setFrame(frame);
        window->addSubview(view);
        return view;
    }
};

}  // namespace

TEST(UIControlTest, TargetsAndActionsCanBeListedAndSent)
{
    auto screen = UIViewController::make<Screen>();
    auto other = UIViewController::make<Screen>();
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->addTarget_action_forControlEvents(screen, shareAction(), UIControlEventTouchUpInside);
    button->addTarget_action_forControlEvents(screen, tappedAction(), UIControlEventTouchUpInside | UIControlEventTouchDown);
    button->addTarget_action_forControlEvents(other, changedAction(), UIControlEventValueChanged);

    EXPECT_EQ(button->allTargets(), (std::vector<Ref<NSObject>>{screen, other}));
    EXPECT_EQ(button->allControlEvents(),
              UIControlEventTouchUpInside | UIControlEventTouchDown | UIControlEventValueChanged);
    EXPECT_EQ(button->actionsForTarget_forControlEvent(screen, UIControlEventTouchUpInside),
              (std::vector<std::string>{"share", "tapped:"}));
    EXPECT_TRUE(button->actionsForTarget_forControlEvent(other, UIControlEventTouchUpInside).empty());

    button->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(screen->calls, (std::vector<std::string>{"share", "tapped by button"}));
    button->sendActionsForControlEvents(UIControlEventValueChanged);
    EXPECT_EQ(other->calls, std::vector<std::string>{"changed"});
}

TEST(UIControlTest, RemovingATargetLeavesTheOtherActions)
{
    auto screen = UIViewController::make<Screen>();
    auto other = UIViewController::make<Screen>();
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->addTarget_action_forControlEvents(screen, shareAction(), UIControlEventTouchUpInside);
    button->addTarget_action_forControlEvents(screen, tappedAction(), UIControlEventTouchUpInside);
    button->addTarget_action_forControlEvents(other, shareAction(), UIControlEventTouchUpInside);

    // One action of one target, for one event.
    button->removeTarget_action_forControlEvents(screen, "share", UIControlEventTouchUpInside);
    button->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(screen->calls, std::vector<std::string>{"tapped by button"});
    EXPECT_EQ(other->calls, std::vector<std::string>{"share"});
    // Every action of one target.
    button->removeTarget_action_forControlEvents(screen, "", UIControlEventAllEvents);
    EXPECT_EQ(button->allTargets(), std::vector<Ref<NSObject>>{other});
    button->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(screen->calls.size(), 1u);
    EXPECT_EQ(other->calls.size(), 2u);
    // Removing other events leaves the entry's remaining events.
    button->removeTarget_action_forControlEvents(other, "share", UIControlEventValueChanged);
    EXPECT_EQ(button->allControlEvents(), UIControlEventTouchUpInside);
}

TEST(UIControlTest, AddingTheSameTargetAndActionAgainActsOnce)
{
    auto screen = UIViewController::make<Screen>();
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    for (int refill = 0; refill < 3; ++refill) {
        button->addTarget_action_forControlEvents(screen, shareAction(), UIControlEventTouchUpInside);
    }
    button->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(screen->calls.size(), 1u);
}

TEST(UIControlTest, ATargetThatHasGoneIsSkippedAndANilTargetWalksTheResponderChain)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    auto kept = UIViewController::make<Screen>();
    {
        auto gone = UIViewController::make<Screen>();
        button->addTarget_action_forControlEvents(gone, shareAction(), UIControlEventTouchUpInside);
    }
    button->addTarget_action_forControlEvents(kept, tappedAction(), UIControlEventTouchUpInside);
    EXPECT_EQ(button->allTargets().size(), 1u);
    button->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(kept->calls, std::vector<std::string>{"tapped by button"});

    // Nil target: the first object of Screen's class up the chain from the sender.
    auto screen = UIViewController::make<Screen>();
    auto container = UIView::create();
    screen->setView(container);
    container->addSubview(button);
    button->addTarget_action_forControlEvents(nullptr, shareAction(), UIControlEventValueChanged);
    button->sendActionsForControlEvents(UIControlEventValueChanged);
    EXPECT_EQ(screen->calls, std::vector<std::string>{"share"});
}

TEST(UIControlTest, TouchesBecomeControlEvents)
{
    Stage stage;
    auto screen = UIViewController::make<Screen>();
    auto button = stage.add(UIButton::buttonWithType(UIButtonTypeCustom), CGRectMake(100, 100, 80, 40));
    std::vector<std::string> events;
    auto record = [&](const char* name, UIControlEvents e) {
        button->addTarget_action_forControlEvents(
            screen, UIControlAction::block(name, [&events, name](const Ref<UIControl>&, const Ref<UIEvent>&) {
                events.push_back(name);
            }),
            e);
    };
    record("down", UIControlEventTouchDown);
    record("repeat", UIControlEventTouchDownRepeat);
    record("up inside", UIControlEventTouchUpInside);
    record("up outside", UIControlEventTouchUpOutside);
    record("exit", UIControlEventTouchDragExit);
    record("cancel", UIControlEventTouchCancel);

    EXPECT_EQ(stage.window->simulateTap(CGPointMake(120, 120)), button);
    EXPECT_EQ(events, (std::vector<std::string>{"down", "up inside"}));
    EXPECT_FALSE(button->isHighlighted());

    events.clear();
    stage.window->simulateTouchBegan(CGPointMake(120, 120));
    EXPECT_TRUE(button->isHighlighted());
    EXPECT_EQ(events, (std::vector<std::string>{"down", "repeat"}));  // a second tap at once
    stage.window->simulateTouchMoved(CGPointMake(230, 120));  // within 70 points: still inside
    stage.window->simulateTouchMoved(CGPointMake(300, 300));
    EXPECT_FALSE(button->isHighlighted());
    stage.window->simulateTouchEnded(CGPointMake(300, 300));
    EXPECT_EQ(events, (std::vector<std::string>{"down", "repeat", "exit", "up outside"}));

    events.clear();
    stage.clock.advance(1);  // long enough after the last tap to be a new first tap
    stage.window->simulateTouchBegan(CGPointMake(150, 110), 1);
    EXPECT_EQ(events, std::vector<std::string>{"down"});
    stage.window->simulateTouchCancelled(1);
    EXPECT_EQ(events.back(), "cancel");

    // A disabled button takes the touch and does nothing: nothing behind it is reached either.
    events.clear();
    button->setEnabled(false);
    EXPECT_EQ(stage.window->simulateTap(CGPointMake(120, 120)), button);
    EXPECT_TRUE(events.empty());
}

TEST(UIControlTest, AnExclusiveTouchViewKeepsOtherFingersAway)
{
    Stage stage;
    auto left = stage.add(UIControl::create(), CGRectMake(0, 0, 100, 100));
    auto right = stage.add(UIControl::create(), CGRectMake(200, 0, 100, 100));
    left->setExclusiveTouch(true);
    EXPECT_EQ(stage.window->simulateTouchBegan(CGPointMake(50, 50), 0), left);
    EXPECT_FALSE(stage.window->simulateTouchBegan(CGPointMake(250, 50), 1));
    stage.window->simulateTouchEnded(0);
    EXPECT_EQ(stage.window->simulateTouchBegan(CGPointMake(250, 50), 1), right);
    EXPECT_FALSE(stage.window->simulateTouchBegan(CGPointMake(50, 50), 0));  // exclusive: not while another tracks
    stage.window->simulateTouchEnded(1);
    EXPECT_EQ(stage.window->activeTouchCount(), 0u);
}

TEST(UIControlTest, TouchesThatNoControlTakesGoUpTheResponderChain)
{
    class TouchScreen : public UIViewController {
    public:
        void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
        {
            location = touches.anyObject()->locationInView(view());
        }
        CGPoint location{-1, -1};
    };
    Stage stage;
    auto screen = UIViewController::make<TouchScreen>();
    screen->view()->setFrame(CGRectMake(0, 20, 320, 460));
    stage.window->addSubview(screen->view());
    auto plain = UIView::initWithFrame(CGRectMake(10, 10, 50, 50));
    screen->view()->addSubview(plain);
    EXPECT_EQ(stage.window->simulateTap(CGPointMake(30, 50)), plain);
    EXPECT_EQ(screen->location, CGPointMake(30, 30));
}

TEST(UIButtonTest, StatesWithoutTheirOwnValuesShowTheNormalOnes)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    auto normal = UIImage::imageWithCGImage(CGImage::create(20, 20));
    auto pressed = UIImage::imageWithCGImage(CGImage::create(20, 20));
    button->setTitle_forState("关注", UIControlStateNormal);
    button->setTitle_forState("已关注", UIControlStateSelected);
    button->setTitleColor_forState(UIColor::redColor(), UIControlStateHighlighted);
    button->setBackgroundImage_forState(normal, UIControlStateNormal);
    button->setBackgroundImage_forState(pressed, UIControlStateHighlighted);

    EXPECT_EQ(button->currentTitle(), "关注");
    EXPECT_TRUE(UIColorEqual(button->currentTitleColor(), UIColor::whiteColor()));  // custom buttons: white
    button->setSelected(true);
    EXPECT_EQ(button->currentTitle(), "已关注");
    EXPECT_EQ(button->titleLabel()->text(), "已关注");
    button->setSelected(false);
    button->setHighlighted(true);
    EXPECT_EQ(button->currentTitle(), "关注");
    EXPECT_TRUE(UIColorEqual(button->titleLabel()->textColor(), UIColor::redColor()));
    EXPECT_EQ(button->currentBackgroundImage(), pressed);
    button->setHighlighted(false);
    button->setEnabled(false);
    EXPECT_EQ(button->state(), UIControlStateDisabled);
    EXPECT_EQ(button->currentBackgroundImage(), normal);
    EXPECT_EQ(button->titleForState(UIControlStateSelected | UIControlStateHighlighted), "关注");
}

TEST(UIButtonTest, LaysOutImageAndTitleSideBySideInTheMiddle)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 200, 44));
    button->setImage_forState(UIImage::imageWithCGImage(CGImage::create(20, 20)), UIControlStateNormal);
    button->setTitle_forState("Hello", UIControlStateNormal);
    button->layoutIfNeeded();
    const CGRect image = button->imageView()->frame();
    const CGRect title = button->titleLabel()->frame();
    EXPECT_EQ(image.size, CGSizeMake(20, 20));
    EXPECT_EQ(image.origin.y, 12);
    EXPECT_EQ(image.origin.x + image.size.width, title.origin.x);
    EXPECT_NEAR(image.origin.x + (image.size.width + title.size.width) / 2, 100, 1);
    EXPECT_EQ(button->sizeThatFits(CGSizeZero).width, 20 + title.size.width);
}

TEST(ControlsTest, SwitchPageControlSegmentsSliderAndIndicatorsFollowTouchesAndSettings)
{
    Stage stage;
    auto screen = UIViewController::make<Screen>();

    auto toggle = stage.add(UISwitch::create(), CGRectMake(10, 10, 300, 300));
    EXPECT_EQ(toggle->frame().size, CGSizeMake(79, 27));
    toggle->addTarget_action_forControlEvents(screen, changedAction(), UIControlEventValueChanged);
    toggle->setOn(true);
    EXPECT_TRUE(screen->calls.empty());  // set from code: no event
    stage.window->simulateTap(CGPointMake(20, 20));
    EXPECT_FALSE(toggle->isOn());
    EXPECT_EQ(screen->calls, std::vector<std::string>{"changed with event"});

    auto pages = stage.add(UIPageControl::create(), CGRectMake(0, 100, 320, 36));
    pages->setNumberOfPages(3);
    pages->setCurrentPage(7);
    EXPECT_EQ(pages->currentPage(), 2);
    stage.window->simulateTap(CGPointMake(10, 110));
    EXPECT_EQ(pages->currentPage(), 1);
    pages->setNumberOfPages(1);
    EXPECT_EQ(pages->currentPage(), 0);

    auto segments = stage.add(UISegmentedControl::initWithItems({"一", "二", "三"}), CGRectMake(0, 200, 300, 30));
    EXPECT_EQ(segments->selectedSegmentIndex(), UISegmentedControlNoSegment);
    stage.window->simulateTap(CGPointMake(250, 210));
    EXPECT_EQ(segments->selectedSegmentIndex(), 2);
    segments->removeSegmentAtIndex_animated(0, false);
    EXPECT_EQ(segments->selectedSegmentIndex(), 1);
    EXPECT_EQ(segments->titleForSegmentAtIndex(1), "三");

    auto slider = stage.add(UISlider::create(), CGRectMake(0, 300, 200, 23));
    slider->setMaximumValue(10);
    stage.window->simulateTouchBegan(CGPointMake(50, 310));
    stage.window->simulateTouchMoved(CGPointMake(150, 310));
    stage.window->simulateTouchEnded(CGPointMake(150, 310));
    EXPECT_FLOAT_EQ(slider->value(), 7.5f);

    auto progress = UIProgressView::initWithProgressViewStyle(UIProgressViewStyleDefault);
    progress->setProgress(1.5f);
    EXPECT_EQ(progress->progress(), 1.0f);

    auto spinner = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhiteLarge);
    EXPECT_EQ(spinner->frame().size, CGSizeMake(37, 37));
    EXPECT_TRUE(spinner->isHidden());
    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    spinner->setHidesWhenStopped(false);
    EXPECT_FALSE(spinner->isHidden());
}
