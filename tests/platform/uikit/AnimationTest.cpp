#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/CATransaction.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"

namespace {

class AnimationTest : public ::testing::Test {
protected:
    MainThreadScope main;
    ScopedManualClock clock;
};

class StopRecorder : public NSObject, public CAAnimationDelegate {
public:
    void animationDidStart(const Ref<CAAnimation>&) override { events.push_back("start"); }
    void animationDidStop_finished(const Ref<CAAnimation>&, bool finished) override
    {
        events.push_back(finished ? "finished" : "cut");
    }
    std::vector<std::string> events;
};

Ref<CABasicAnimation> basic(const Ref<CAAnimation>& animation)
{
    return std::dynamic_pointer_cast<CABasicAnimation>(animation);
}

}  // namespace

TEST_F(AnimationTest, ViewAnimationsSetFinalValuesAtOnceAndCompleteAfterTheirDuration)
{
    auto view = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    std::vector<bool> completions;
    UIView::animateWithDuration_delay_options_animations_completion(
        0.4, 0.1, UIViewAnimationOptionCurveEaseIn | UIViewAnimationOptionAllowUserInteraction,
        [&] {
            view->setAlpha(0);
            view->setFrame(CGRectMake(50, 60, 100, 100));
        },
        [&](bool finished) { completions.push_back(finished); });

    // The model values are final at once; the animations are recorded on the layer by key.
    EXPECT_EQ(view->alpha(), 0);
    EXPECT_EQ(view->frame(), CGRectMake(50, 60, 100, 100));
    auto opacity = basic(view->layer()->animationForKey("opacity"));
    auto position = basic(view->layer()->animationForKey("position"));
    ASSERT_TRUE(opacity && position);
    EXPECT_EQ(opacity->duration(), 0.4);
    EXPECT_EQ(CAValueNumber(opacity->fromValue()), 1);
    EXPECT_EQ(CAValueNumber(opacity->toValue()), 0);
    EXPECT_EQ(opacity->timingFunction()->name(), kCAMediaTimingFunctionEaseIn);
    EXPECT_EQ(std::get<CGPoint>(position->toValue()), CGPointMake(100, 110));
    EXPECT_FALSE(view->layer()->animationForKey("bounds"));  // the size did not change

    const auto log = UIView::animationLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().duration, 0.4);
    EXPECT_EQ(log.back().delay, 0.1);
    EXPECT_TRUE(log.back().options & UIViewAnimationOptionAllowUserInteraction);
    ASSERT_EQ(log.back().changes.size(), 2u);
    EXPECT_EQ(log.back().changes[0].key, "opacity");

    clock.advance(0.49);
    EXPECT_TRUE(completions.empty());
    EXPECT_TRUE(view->layer()->animationForKey("opacity"));
    clock.advance(0.01);
    EXPECT_EQ(completions, std::vector<bool>{true});
    EXPECT_TRUE(view->layer()->animationKeys().empty());
}

TEST_F(AnimationTest, AnAnimationReplacedBeforeItsEndCompletesUnfinished)
{
    auto view = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    std::vector<std::string> order;
    UIView::animateWithDuration_animations_completion(
        0.5, [&] { view->setAlpha(0.5); }, [&](bool finished) { order.push_back(finished ? "first done" : "first cut"); });
    clock.advance(0.2);
    UIView::animateWithDuration_animations_completion(
        0.3, [&] { view->setAlpha(1); }, [&](bool finished) { order.push_back(finished ? "second done" : "second cut"); });
    clock.advance(0);
    EXPECT_EQ(order, std::vector<std::string>{"first cut"});
    clock.advance(0.3);
    EXPECT_EQ(order, (std::vector<std::string>{"first cut", "second done"}));
    // removeAllAnimations cuts the running ones too.
    UIView::animateWithDuration_animations_completion(
        1, [&] { view->setCenter(CGPointMake(1, 1)); }, [&](bool finished) { order.push_back(finished ? "third done" : "third cut"); });
    view->layer()->removeAllAnimations();
    clock.advance(1);
    EXPECT_EQ(order.back(), "third cut");
}

TEST_F(AnimationTest, CompletionsRunInOrderOfTheirEndsEvenWhenNothingAnimates)
{
    auto view = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    std::vector<std::string> order;
    UIView::animateWithDuration_animations_completion(0.6, [&] { view->setAlpha(0.2); }, [&](bool) { order.push_back("0.6"); });
    UIView::animateWithDuration_animations_completion(0.25, [] {}, [&](bool) { order.push_back("0.25 empty"); });
    UIView::animateWithDuration_animations_completion(0.4, [&] { view->setTransform(CGAffineTransformMakeScale(2, 2)); },
                                                      [&](bool) { order.push_back("0.4"); });
    clock.advance(0.24);
    EXPECT_TRUE(order.empty());
    clock.advance(1);
    EXPECT_EQ(order, (std::vector<std::string>{"0.25 empty", "0.4", "0.6"}));
    // With animations disabled nothing is recorded and the completion comes on the next turn.
    UIView::setAnimationsEnabled(false);
    UIView::animateWithDuration_animations_completion(5, [&] { view->setAlpha(1); }, [&](bool f) { order.push_back("off"); });
    UIView::setAnimationsEnabled(true);
    EXPECT_FALSE(view->layer()->animationForKey("opacity"));
    clock.advance(0);
    EXPECT_EQ(order.back(), "off");
}

TEST_F(AnimationTest, BeginCommitBlocksCallTheirDelegateWhileItLives)
{
    auto view = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    auto delegate = NSObject::create();
    std::vector<std::string> calls;
    static int context = 0;
    UIView::beginAnimations_context("slide", &context);
    UIView::setAnimationDuration(0.3);
    UIView::setAnimationCurve(UIViewAnimationCurveLinear);
    UIView::setAnimationDelegate(delegate);
    UIView::setAnimationDidStopSelector([&](const std::string& id, bool finished, void* ctx) {
        calls.push_back(id + (finished ? " finished" : " cut") + (ctx == &context ? " with context" : ""));
    });
    view->setCenter(CGPointMake(10, 10));
    UIView::commitAnimations();
    EXPECT_EQ(basic(view->layer()->animationForKey("position"))->timingFunction()->name(), kCAMediaTimingFunctionLinear);
    clock.advance(0.3);
    EXPECT_EQ(calls, std::vector<std::string>{"slide finished with context"});

    // The default duration is 0.2; a delegate that has gone is not called.
    UIView::beginAnimations_context("gone", nullptr);
    UIView::setAnimationDelegate(delegate);
    UIView::setAnimationDidStopSelector([&](const std::string& id, bool, void*) { calls.push_back(id); });
    view->setAlpha(0.5);
    UIView::commitAnimations();
    EXPECT_EQ(view->layer()->animationForKey("opacity")->duration(), 0.2);
    delegate.reset();
    clock.advance(1);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(AnimationTest, LayerAnimationsAreRecordedByKeyAndEndOnTheClock)
{
    auto layer = CALayer::layer();
    auto recorder = std::make_shared<StopRecorder>();

    auto spin = CABasicAnimation::animationWithKeyPath("transform.rotation.z");
    spin->setToValue(12.566371);
    spin->setDuration(2);
    spin->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
    spin->setDelegate(recorder);
    layer->addAnimation_forKey(spin, "revItUpAnimation");
    spin->setDuration(9);  // the layer holds a copy

    auto path = CGPathCreateMutable();
    CGPathMoveToPoint(path, nullptr, 0, 0);
    CGPathAddLineToPoint(path, nullptr, 100, 0);
    auto move = CAKeyframeAnimation::animationWithKeyPath("position");
    move->setPath(path);
    move->setKeyTimes({0, 1});
    auto fade = CABasicAnimation::animationWithKeyPath("opacity");
    auto group = CAAnimationGroup::animation();
    group->setAnimations({move, fade});
    group->setDuration(0.5);
    group->setFillMode(kCAFillModeForwards);
    group->setRemovedOnCompletion(false);
    group->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn));
    layer->addAnimation_forKey(group, "drop");

    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"revItUpAnimation", "drop"}));
    auto held = basic(layer->animationForKey("revItUpAnimation"));
    ASSERT_TRUE(held);
    EXPECT_EQ(held->keyPath(), "transform.rotation.z");
    EXPECT_EQ(held->duration(), 2);
    EXPECT_DOUBLE_EQ(CAValueNumber(held->toValue()), 12.566371);
    auto heldGroup = std::dynamic_pointer_cast<CAAnimationGroup>(layer->animationForKey("drop"));
    ASSERT_TRUE(heldGroup);
    ASSERT_EQ(heldGroup->animations().size(), 2u);
    EXPECT_EQ(std::dynamic_pointer_cast<CAKeyframeAnimation>(heldGroup->animations()[0])->path()->elements().size(), 2u);

    clock.advance(0.5);
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"revItUpAnimation", "drop"}));  // kept: not removed
    clock.advance(1.5);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "finished"}));
    EXPECT_EQ(layer->animationKeys(), std::vector<std::string>{"drop"});

    // Replacing an animation under its key stops the old one unfinished.
    layer->addAnimation_forKey(spin, "spin");
    layer->addAnimation_forKey(CABasicAnimation::animationWithKeyPath("opacity"), "spin");
    clock.advance(0);
    EXPECT_EQ(recorder->events.back(), "cut");
    // An endless animation stays until removed.
    auto forever = CABasicAnimation::animationWithKeyPath("transform.rotation.z");
    forever->setRepeatCount(HUGE_VALF);
    layer->addAnimation_forKey(forever, "forever");
    clock.advance(3600);
    EXPECT_TRUE(layer->animationForKey("forever"));
}

TEST_F(AnimationTest, TransactionsTimeImplicitAnimationsAndReportTheirEnd)
{
    auto parent = CALayer::layer();
    auto layer = CALayer::layer();
    layer->setOpacity(0.5);  // not in a tree yet: no implicit animation
    EXPECT_TRUE(layer->animationKeys().empty());
    parent->addSublayer(layer);

    bool done = false;
    CATransaction::begin();
    CATransaction::setAnimationDuration(0.18);
    CATransaction::setCompletionBlock([&] { done = true; });
    layer->setOpacity(1);
    layer->setPosition(CGPointMake(5, 5));
    CATransaction::commit();
    auto opacity = basic(layer->animationForKey("opacity"));
    ASSERT_TRUE(opacity);
    EXPECT_EQ(opacity->duration(), 0.18);
    EXPECT_EQ(CAValueNumber(opacity->fromValue()), 0.5);
    EXPECT_TRUE(layer->animationForKey("position"));
    clock.advance(0.17);
    EXPECT_FALSE(done);
    clock.advance(0.01);
    EXPECT_TRUE(done);

    CATransaction::begin();
    CATransaction::setDisableActions(true);
    layer->setCornerRadius(8);
    CATransaction::commit();
    EXPECT_EQ(layer->cornerRadius(), 8);
    EXPECT_FALSE(layer->animationForKey("cornerRadius"));
    // A view's own layer never animates implicitly.
    auto view = UIView::create();
    parent->addSublayer(view->layer());
    view->layer()->setOpacity(0.3);
    EXPECT_FALSE(view->layer()->animationForKey("opacity"));
}

TEST_F(AnimationTest, KeyPathsReachIntoTransformsAndGeometry)
{
    auto layer = CALayer::layer();
    layer->setValue_forKeyPath(0.75, "transform.scale");
    EXPECT_DOUBLE_EQ(layer->transform().m11, 0.75);
    EXPECT_DOUBLE_EQ(layer->transform().m22, 0.75);
    layer->setValue_forKeyPath(3.14159265358979 / 2, "transform.rotation.z");
    EXPECT_NEAR(CAValueNumber(layer->valueForKeyPath("transform.scale")), 0.75, 1e-12);
    EXPECT_NEAR(CAValueNumber(layer->valueForKeyPath("transform.rotation.z")), 3.14159265358979 / 2, 1e-12);
    layer->setValue_forKeyPath(CGRectMake(0, 0, 40, 20), "bounds");
    layer->setValue_forKeyPath(12.0, "position.x");
    EXPECT_EQ(layer->position(), CGPointMake(12, 0));
    EXPECT_EQ(std::get<CGSize>(layer->valueForKeyPath("bounds.size")), CGSizeMake(40, 20));
    EXPECT_TRUE(CAValueIsNil(layer->valueForKeyPath("no.such.key")));
}
