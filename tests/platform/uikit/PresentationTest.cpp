// What an animated layer shows while its animations run: the presentation layer at moments of the
// manual clock (timing curves, begin times, repeats, autoreverse, fill modes, key frames along values
// and paths, groups), and the pixels drawn from it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"

namespace {
namespace PresentationTest_cpp {

class Presentation : public ::testing::Test {
protected:
    MainThreadScope main;
    ScopedManualClock clock;
    Ref<CALayer> layer = CALayer::layer();

    void SetUp() override
    {
        layer->setBounds(CGRectMake(0, 0, 20, 20));
        layer->setPosition(CGPointMake(0, 0));
    }
    CGPoint shownPosition() const { return layer->presentationLayer()->position(); }
    double shownNumber(const std::string& keyPath) const
    {
        return CAValueNumber(layer->presentationLayer()->valueForKeyPath(keyPath));
    }
};

Ref<CABasicAnimation> move(CGPoint from, CGPoint to, double duration)
{
    auto a = CABasicAnimation::animationWithKeyPath("position");
    a->setFromValue(from);
    a->setToValue(to);
    a->setDuration(duration);
    return a;
}

TEST_F(Presentation, TimingCurvesShapeTheWayAcross)
{
    struct Case {
        const char* curve;
        double at25, at50, at75;
    };
    // The platform's named curves, at a quarter, half and three quarters of the time.
    const std::vector<Case> cases = {
        {kCAMediaTimingFunctionLinear, 0.25, 0.5, 0.75},
        {kCAMediaTimingFunctionEaseIn, 0.0935, 0.3154, 0.6219},
        {kCAMediaTimingFunctionEaseOut, 0.3781, 0.6846, 0.9065},
        {kCAMediaTimingFunctionEaseInEaseOut, 0.1292, 0.5, 0.8708},
        {kCAMediaTimingFunctionDefault, 0.4085, 0.8024, 0.9605},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.curve);
        layer->removeAllAnimations();
        const double start = Clock::now();
        auto a = move(CGPointMake(0, 0), CGPointMake(100, 0), 2);
        a->setTimingFunction(CAMediaTimingFunction::functionWithName(c.curve));
        layer->addAnimation_forKey(a, "move");
        const double expected[] = {c.at25, c.at50, c.at75};
        for (int i = 0; i < 3; ++i) {
            clock.advance(start + 0.5 * (i + 1) - Clock::now());
            EXPECT_NEAR(shownPosition().x, 100 * expected[i], 0.05) << "at " << 25 * (i + 1) << "%";
        }
        EXPECT_EQ(layer->position(), CGPointMake(0, 0)) << "the model never moves";
    }
}

TEST_F(Presentation, BeginTimesFillModesAndRemovalDecideWhatShowsOutsideTheActiveTime)
{
    struct Case {
        const char* fillMode;
        bool removedOnCompletion;
        double before, after;  // x shown 0.5 s before the begin and 0.5 s after the end
    };
    // Model x is 0; the animation moves from 10 to 50 over 1 s, starting 1 s after it was added.
    const std::vector<Case> cases = {
        {kCAFillModeRemoved, true, 0, 0},    {kCAFillModeBackwards, true, 10, 0},
        {kCAFillModeForwards, false, 0, 50}, {kCAFillModeBoth, false, 10, 50},
        {kCAFillModeForwards, true, 0, 0},  // taken off at its end: nothing holds it
        {kCAFillModeRemoved, false, 0, 0},  // kept, but without a fill it shows nothing after its end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fillMode) + (c.removedOnCompletion ? " removed" : " kept"));
        layer->removeAllAnimations();
        const double start = Clock::now();
        auto a = move(CGPointMake(10, 0), CGPointMake(50, 0), 1);
        a->setBeginTime(start + 1);
        a->setFillMode(c.fillMode);
        a->setRemovedOnCompletion(c.removedOnCompletion);
        layer->addAnimation_forKey(a, "move");
        clock.advance(0.5);
        EXPECT_EQ(shownPosition().x, c.before);
        clock.advance(1);
        EXPECT_EQ(shownPosition().x, 30) << "half way";
        clock.advance(1);
        EXPECT_EQ(shownPosition().x, c.after);
        EXPECT_EQ(layer->animationForKey("move") != nullptr, !c.removedOnCompletion);
    }
}

TEST_F(Presentation, RepeatsAndAutoreverseRunThePassesInTurn)
{
    // One pass is 1 s from 0 to 100, linear; 2.5 passes, back and forth.
    auto a = move(CGPointMake(0, 0), CGPointMake(100, 0), 1);
    a->setAutoreverses(true);
    a->setRepeatCount(1.25);  // 2.5 s: out, back, half out
    a->setFillMode(kCAFillModeForwards);
    a->setRemovedOnCompletion(false);
    layer->addAnimation_forKey(a, "move");
    const std::vector<std::pair<double, double>> expected = {
        {0.25, 25}, {1.0, 100}, {1.5, 50}, {2.0, 0}, {2.25, 25}, {2.5, 50}, {3.0, 50}};
    double at = 0;
    for (const auto& [time, x] : expected) {
        clock.advance(time - at);
        at = time;
        EXPECT_NEAR(shownPosition().x, x, 1e-9) << "at " << time << " s";
    }
}

TEST_F(Presentation, ARotationThatRepeatsForEverKeepsTurning)
{
    auto spin = CABasicAnimation::animationWithKeyPath("transform.rotation.z");
    spin->setFromValue(0.0);
    spin->setToValue(2 * M_PI);
    spin->setDuration(0.8);
    spin->setRepeatCount(HUGE_VALF);
    layer->addAnimation_forKey(spin, "spin");
    // Far into it, a quarter into a pass, the layer is a quarter turn round (cos 0, sin 1).
    clock.advance(0.8 * 250 + 0.2);
    const CGAffineTransform t = layer->presentationLayer()->affineTransform();
    EXPECT_NEAR(t.a, 0, 1e-6);
    EXPECT_NEAR(t.b, 1, 1e-6);
    EXPECT_TRUE(layer->animationForKey("spin")) << "a never-ending animation never ends";
    EXPECT_EQ(layer->transform(), CATransform3DIdentity);
}

TEST_F(Presentation, PartialValuesComeFromTheModelAndAdditiveOnesAddToIt)
{
    layer->setPosition(CGPointMake(40, 40));
    layer->setOpacity(0.5);
    struct Case {
        std::string name;
        Ref<CABasicAnimation> animation;
        std::string keyPath;
        double atHalf;
    };
    auto make = [](const char* keyPath, CAValue from, CAValue to, CAValue by) {
        auto a = CABasicAnimation::animationWithKeyPath(keyPath);
        a->setFromValue(std::move(from));
        a->setToValue(std::move(to));
        a->setByValue(std::move(by));
        a->setDuration(1);
        return a;
    };
    const std::vector<Case> cases = {
        {"from only: to the model", make("opacity", 1.0, {}, {}), "opacity", 0.75},
        {"to only: from the model", make("opacity", {}, 0.0, {}), "opacity", 0.25},
        {"by only: from the model", make("position.x", {}, {}, 20.0), "position.x", 50},
        {"from and by", make("position.x", 0.0, {}, 10.0), "position.x", 5},
        {"by and to", make("position.x", {}, 100.0, 10.0), "position.x", 95},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        layer->removeAllAnimations();
        layer->addAnimation_forKey(c.animation, "a");
        clock.advance(0.5);
        EXPECT_NEAR(shownNumber(c.keyPath), c.atHalf, 1e-6);
        clock.advance(1);
    }
    auto shake = make("position.x", -10.0, 10.0, {});
    shake->setAdditive(true);
    layer->addAnimation_forKey(shake, "shake");
    clock.advance(0.75);
    EXPECT_NEAR(shownPosition().x, 45, 1e-9) << "the model's 40 plus the animation's 5";
}

TEST_F(Presentation, KeyFramesFollowTheirValuesTimesAndPaths)
{
    // A turn held until 0.3, then back to nothing by 0.4 of the time (an item spinning into place).
    auto turn = CAKeyframeAnimation::animationWithKeyPath("transform.rotation.z");
    turn->setValues({M_PI, 0.0});
    turn->setKeyTimes({0.3, 0.4});
    turn->setDuration(1);
    layer->addAnimation_forKey(turn, "turn");
    const std::vector<std::pair<double, double>> angles = {{0.1, M_PI}, {0.35, M_PI / 2}, {0.6, 0}};
    double at = 0;
    for (const auto& [time, angle] : angles) {
        clock.advance(time - at);
        at = time;
        EXPECT_NEAR(std::abs(shownNumber("transform.rotation.z")), angle, 1e-6) << "at " << time;
    }
    layer->removeAllAnimations();

    // Along a path of three straight pieces, evenly timed: each corner at a third of the time.
    auto path = CGPathCreateMutable();
    CGPathMoveToPoint(path, nullptr, 20, 444);
    CGPathAddLineToPoint(path, nullptr, 20, 348);
    CGPathAddLineToPoint(path, nullptr, 20, 378);
    CGPathAddLineToPoint(path, nullptr, 20, 368);
    auto fan = CAKeyframeAnimation::animationWithKeyPath("position");
    fan->setPath(path);
    fan->setDuration(0.3);
    layer->addAnimation_forKey(fan, "fan");
    const std::vector<std::pair<double, double>> ys = {{0.05, 396}, {0.1, 348}, {0.15, 363}, {0.25, 373}};
    at = 0;
    for (const auto& [time, y] : ys) {
        clock.advance(time - at);
        at = time;
        EXPECT_NEAR(shownPosition().y, y, 1e-6) << "at " << time;
    }
    layer->removeAllAnimations();

    // Discrete: each value holds for its share of the time, without steps between.
    auto frames = CAKeyframeAnimation::animationWithKeyPath("opacity");
    frames->setValues({0.2, 0.6, 1.0});
    frames->setCalculationMode(kCAAnimationDiscrete);
    frames->setDuration(3);
    layer->addAnimation_forKey(frames, "frames");
    clock.advance(0.5);
    EXPECT_NEAR(shownNumber("opacity"), 0.2, 1e-6);
    clock.advance(1);
    EXPECT_NEAR(shownNumber("opacity"), 0.6, 1e-6);
    clock.advance(1);
    EXPECT_NEAR(shownNumber("opacity"), 1.0, 1e-6);
}

TEST_F(Presentation, AGroupRunsItsAnimationsOnItsOwnTimeAndHoldsItsEnd)
{
    auto grow = CABasicAnimation::animationWithKeyPath("transform");
    grow->setToValue(CATransform3DMakeScale(3, 3, 1));
    grow->setDuration(0.4);
    auto fade = CABasicAnimation::animationWithKeyPath("opacity");
    fade->setToValue(0.0);
    fade->setBeginTime(0.2);  // from the group's start
    fade->setDuration(0.4);
    fade->setFillMode(kCAFillModeBoth);
    auto group = CAAnimationGroup::animation();
    group->setAnimations({grow, fade});
    group->setDuration(0.4);  // the fade is cut off half way
    group->setFillMode(kCAFillModeForwards);
    group->setRemovedOnCompletion(false);
    layer->addAnimation_forKey(group, "blowUp");

    clock.advance(0.1);
    EXPECT_NEAR(shownNumber("transform.scale"), 1.5, 1e-6);
    EXPECT_NEAR(shownNumber("opacity"), 1, 1e-6);
    clock.advance(0.2);
    EXPECT_NEAR(shownNumber("transform.scale"), 2.5, 1e-6);
    EXPECT_NEAR(shownNumber("opacity"), 0.75, 1e-6);
    clock.advance(1);
    EXPECT_NEAR(shownNumber("transform.scale"), 3, 1e-6) << "held at the group's end";
    EXPECT_NEAR(shownNumber("opacity"), 0.5, 1e-6);
}

TEST_F(Presentation, ViewAnimationsDrawTheirMiddleAndCompleteOnceAtTheEnd)
{
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 200, 40));
    root->setBackgroundColor(UIColor::whiteColor());
    auto box = UIView::initWithFrame(CGRectMake(0, 0, 20, 20));
    box->setBackgroundColor(UIColor::redColor());
    root->addSubview(box);
    int completions = 0;
    UIView::animateWithDuration_delay_options_animations_completion(
        1, 0, UIViewAnimationOptionCurveLinear, [&] { box->setFrame(CGRectMake(100, 0, 20, 20)); },
        [&](bool finished) {
            EXPECT_TRUE(finished);
            ++completions;
        });
    auto redAt = [&](size_t x) {
        auto context = CGContext::createImageContext(CGSizeMake(200, 40), 1);
        root->layer()->renderInContext(context);
        return context->pixelAt(x, 10) == 0xFFFF0000u;
    };
    EXPECT_TRUE(redAt(10) && !redAt(110));
    clock.advance(0.5);
    EXPECT_TRUE(redAt(60)) << "half way across";
    EXPECT_FALSE(redAt(10) || redAt(110));
    EXPECT_EQ(completions, 0);
    clock.advance(0.5);
    EXPECT_TRUE(redAt(110) && !redAt(60));
    clock.advance(5);
    EXPECT_EQ(completions, 1);
}

TEST_F(Presentation, AViewAnimationFromTheCurrentStateStartsWhereTheLayerShows)
{
    auto view = UIView::initWithFrame(CGRectMake(0, 0, 20, 20));
    UIView::animateWithDuration_delay_options_animations_completion(
        1, 0, UIViewAnimationOptionCurveLinear, [&] { view->setCenter(CGPointMake(110, 10)); }, nullptr);
    clock.advance(0.5);
    UIView::animateWithDuration_delay_options_animations_completion(
        1, 0, UIViewAnimationOptionCurveLinear | UIViewAnimationOptionBeginFromCurrentState,
        [&] { view->setCenter(CGPointMake(10, 10)); }, nullptr);
    EXPECT_NEAR(view->layer()->presentationLayer()->position().x, 60, 1e-9) << "no jump to the old end";
    clock.advance(0.5);
    EXPECT_NEAR(view->layer()->presentationLayer()->position().x, 35, 1e-9);
}

}  // namespace PresentationTest_cpp
}  // namespace
