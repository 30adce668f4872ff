// The screen while things move: every frame of an animation on the manual clock draws where the layer
// shows then (and a kept picture equals one drawn whole), nothing is drawn once it stopped; and a
// window of another size shows the screen letter-boxed, with its mouse positions mapped back to points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/screen/UIScreenLetterbox.h"
#include "platform/screen/UIScreenRenderer.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace ScreenMotionTest_cpp {

const CGSize kScreen{320, 480};

bool samePixels(const CGContextRef& a, const CGContextRef& b)
{
    for (size_t y = 0; y < a->pixelHeight(); ++y) {
        if (std::memcmp(static_cast<const char*>(a->data()) + y * a->bytesPerRow(),
                        static_cast<const char*>(b->data()) + y * b->bytesPerRow(), a->pixelWidth() * 4) != 0) {
            return false;
        }
    }
    return true;
}

TEST(ScreenMotion, EveryFrameOfAnAnimationDrawsWhereTheLayerShowsAndStillnessDrawsNothing)
{
    MainThreadScope main;
    ScopedManualClock clock;
    UIApplication::resetForTesting();
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    window->setBackgroundColor(UIColor::whiteColor());
    auto box = UIView::initWithFrame(CGRectMake(0, 100, 40, 40));
    box->setBackgroundColor(UIColor::redColor());
    window->addSubview(box);
    window->makeKeyAndVisible();
    UIScreenRenderer kept(kScreen, 1);
    ASSERT_TRUE(kept.renderFrame());

    UIView::animateWithDuration_delay_options_animations_completion(
        0.5, 0, UIViewAnimationOptionCurveLinear, [&] { box->setFrame(CGRectMake(200, 100, 40, 40)); }, nullptr);
    std::vector<CGFloat> lefts;
    for (int frame = 1; frame <= 30; ++frame) {
        clock.advance(1.0 / 60);
        SCOPED_TRACE(frame);
        ASSERT_TRUE(kept.renderFrame()) << "a moving layer is drawn in every frame";
        EXPECT_EQ(kept.isAnimating(), frame < 30) << "the next frame differs until the end";
        // The red square's left edge on row 120.
        int left = -1;
        for (size_t x = 0; x < 320; ++x) {
            if (kept.context()->pixelAt(x, 120) == 0xFFFF0000u) {
                left = int(x);
                break;
            }
        }
        lefts.push_back(left);
        UIScreenRenderer whole(kScreen, 1, false);
        ASSERT_TRUE(whole.renderFrame());
        ASSERT_TRUE(samePixels(kept.context(), whole.context())) << "the kept picture left a trail";
    }
    for (size_t i = 1; i < lefts.size(); ++i) {
        EXPECT_GE(lefts[i], lefts[i - 1]);
    }
    EXPECT_NEAR(lefts[14], 100, 1.5) << "half way at half time";
    EXPECT_EQ(lefts.back(), 200);
    clock.advance(1);
    EXPECT_FALSE(kept.renderFrame()) << "nothing moves any more";
    EXPECT_FALSE(kept.isAnimating());

    // An animation that ended but is held on its last value (filled forwards, kept) is stillness too,
    // while one that has not begun yet, or repeats for ever, is not.
    struct Case {
        const char* what;
        double begin, repeat;
        bool animating;
    };
    const Case cases[] = {{"held after its end", -1, 1, false}, {"begins later", 5, 1, true}, {"repeats for ever", 0, HUGE_VAL, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto turn = CABasicAnimation::animationWithKeyPath("opacity");
        turn->setFromValue(0.2);
        turn->setToValue(0.8);
        turn->setDuration(0.5);
        turn->setBeginTime(Clock::now() + c.begin);
        turn->setRepeatCount(float(c.repeat));
        turn->setFillMode(kCAFillModeBoth);
        turn->setRemovedOnCompletion(false);
        box->layer()->addAnimation_forKey(turn, "fade");
        clock.advance(0.01);
        kept.renderFrame();
        EXPECT_EQ(kept.isAnimating(), c.animating);
        box->layer()->removeAllAnimations();
    }
}

TEST(ScreenMotion, AWindowOfAnySizeShowsTheScreenLetterBoxedAndMapsTheMouseBack)
{
    struct Case {
        int windowWidth, windowHeight;
        UIScreenLetterbox expected;  // x, y, width, height
    };
    const std::vector<Case> cases = {
        {640, 960, {0, 0, 640, 960, kScreen}},    // 1:1 pixels
        {320, 480, {0, 0, 320, 480, kScreen}},    // half
        {800, 480, {240, 0, 320, 480, kScreen}},  // wider than the screen: bars left and right
        {400, 900, {0, 150, 400, 600, kScreen}},  // taller: bars above and below
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.windowWidth) + " x " + std::to_string(c.windowHeight));
        const auto box = UIScreenLetterbox::fit(kScreen, c.windowWidth, c.windowHeight);
        EXPECT_EQ(box.x, c.expected.x);
        EXPECT_EQ(box.y, c.expected.y);
        EXPECT_EQ(box.width, c.expected.width);
        EXPECT_EQ(box.height, c.expected.height);
        // The picture's corners are the screen's corners; the bars are not on it.
        EXPECT_EQ(box.pointAt(box.x, box.y), CGPointMake(0, 0));
        EXPECT_EQ(box.pointAt(box.x + box.width, box.y + box.height), CGPointMake(320, 480));
        EXPECT_FALSE(box.contains(box.x - 1, box.y + 10));
        EXPECT_FALSE(box.contains(box.x + 10, box.y + box.height));
    }
    // Opening: 640 x 960 where the display has room, else shrunk to 90% of its height.
    EXPECT_EQ(UIScreenLetterbox::openingSize(kScreen, 2, 0.9 * 1200), CGSizeMake(640, 960));
    EXPECT_EQ(UIScreenLetterbox::openingSize(kScreen, 2, 0.9 * 768), CGSizeMake(460, 691));
}

class Target : public NSObject {
public:
    void tapped() { ++taps; }
    int taps = 0;
};

TEST(ScreenMotion, AClickInAWindowScaledToHalfHeightReachesTheButtonUnderIt)
{
    MainThreadScope main;
    UIApplication::resetForTesting();
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    auto target = std::make_shared<Target>();
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(CGRectMake(200, 400, 100, 44));
    button->addTarget_action_forControlEvents(target, UIControlAction::make("tapped", &Target::tapped),
                                              UIControlEventTouchUpInside);
    window->addSubview(button);
    window->makeKeyAndVisible();
    // The window is 640 pixels wide but only 480 high: the screen is 320 x 480 pixels in the middle.
    const auto box = UIScreenLetterbox::fit(kScreen, 640, 480);
    ASSERT_EQ(box.height, 480);
    // The button's middle (250, 422) in points is at (160 + 250, 422) in window pixels; the window
    // pixel (250, 422) itself is 160 points further left, beside the button.
    EXPECT_EQ(UIScreenInput::tap(box.pointAt(160 + 250, 422)), button);
    EXPECT_EQ(target->taps, 1);
    EXPECT_NE(UIScreenInput::tap(box.pointAt(250, 422)), button);
    EXPECT_EQ(target->taps, 1);
}

}  // namespace ScreenMotionTest_cpp
}  // namespace
