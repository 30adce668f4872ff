// The sliding container: drags clamped by the enabled sides, the release rule, the tap catcher and the
// off-screen swap, driven through the window's touches and the pan recogniser on the manual clock.
#include <gtest/gtest.h>

#include <variant>

#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/CALayer.h"
#include "ShellTestSupport.h"
#include "shell/SliderController.h"

namespace {
namespace SliderControllerTest_cpp {

class SliderTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        slider = SliderController::create();
        window->setRootViewController(slider);
        window->makeKeyAndVisible();
        first = UIView::initWithFrame(CGRectMake(0, 0, 320, 460));
        slider->setTopView(first);
    }

    int catchers(const Ref<UIView>& view) const
    {
        int count = 0;
        for (const Ref<UIView>& subview : view->subviews()) {
            count += subview->tag() == kSliderTapCatcherTag ? 1 : 0;
        }
        return count;
    }
    CGFloat centerX() const { return slider->topView()->center().x; }

    Ref<SliderController> slider;
    Ref<UIView> first;
};

TEST_F(SliderTest, DragFollowsTheFingerOnlyTowardsEnabledSides)
{
    struct Case {
        bool left;
        bool right;
        CGFloat move;
        CGFloat expected;
    };
    const Case cases[] = {
        {false, false, 100, 160}, {false, true, 100, 160}, {true, false, -100, 160},
        {true, false, 100, 260},  {false, true, -100, 60}, {true, true, 300, 460},  // no outer bound
    };
    for (const Case& c : cases) {
        slider->resetTopViewNoAnimate();
        slider->setLeftEnable(c.left);
        slider->setRightEnable(c.right);
        window->simulateTouchBegan(CGPointMake(150, 200));
        clock.advance(0.05);
        window->simulateTouchMoved(CGPointMake(165, 200));  // the drag begins here
        EXPECT_EQ(catchers(first), 1);
        clock.advance(0.05);
        window->simulateTouchMoved(CGPointMake(165 + c.move, 200));
        EXPECT_EQ(centerX(), c.expected) << c.left << c.right << " " << c.move;
        window->simulateTouchCancelled();
        clock.advance(1);
    }
}

TEST_F(SliderTest, ReleaseOpensAPanelOnlyFastEnoughTowardsIt)
{
    struct Case {
        CGFloat move;
        CGFloat velocity;
        CGFloat rest;  // where the top view ends
    };
    // Left panel partly shown: opens above +100. Right panel partly shown: opens below +100, so a slow
    // drag to the right still opens it.
    const Case cases[] = {
        {80, 100, 160}, {80, 100.5, 420}, {80, -300, 160},
        {-80, 50, -100}, {-80, -300, -100}, {-80, 100, 160},
    };
    slider->setLeftEnable(true);
    slider->setRightEnable(true);
    auto pan = slider->panGesture();
    for (const Case& c : cases) {
        slider->resetTopViewNoAnimate();
        pan->setSimulatedLocation(CGPointMake(100, 200));
        pan->simulatePan(UIGestureRecognizerStateBegan, CGPointZero, CGPointZero);
        pan->setSimulatedLocation(CGPointMake(100 + c.move, 200));
        pan->simulatePan(UIGestureRecognizerStateChanged, CGPointMake(c.move, 0), CGPointZero);
        pan->simulatePan(UIGestureRecognizerStateEnded, CGPointMake(c.move, 0), CGPointMake(c.velocity, 0));
        clock.advance(SliderController::kSlideDuration);
        EXPECT_EQ(centerX(), c.rest) << c.move << " at " << c.velocity;
        EXPECT_EQ(catchers(first), c.rest == 160 ? 0 : 1) << c.move << " at " << c.velocity;
    }
}

TEST_F(SliderTest, TapCatcherIsSingleAndATapOnItSlidesBack)
{
    slider->removeTapView();  // nothing to remove
    EXPECT_EQ(catchers(first), 0);
    slider->addTapView();
    slider->addTapView();
    EXPECT_EQ(catchers(first), 1);
    slider->removeTapView();
    EXPECT_EQ(catchers(first), 0);

    slider->slideToX(SliderController::SlideToLeftPanel);
    clock.advance(SliderController::kSlideDuration);
    ASSERT_EQ(centerX(), 420);
    ASSERT_EQ(catchers(first), 1);
    // The visible strip of the top view, right of x 260.
    window->simulateTap(CGPointMake(300, 200));
    clock.advance(SliderController::kSlideDuration);
    EXPECT_EQ(centerX(), 160);
    EXPECT_EQ(catchers(first), 0);
    EXPECT_TRUE(first->gestureRecognizers().empty());

    // Opened again before the slide back has ended: the catcher stays with the open panel.
    slider->resetTopView();
    slider->slideToX(SliderController::SlideToRightPanel);
    clock.advance(SliderController::kSlideDuration);
    EXPECT_EQ(centerX(), -100);
    EXPECT_EQ(catchers(first), 1);
}

TEST_F(SliderTest, OffScreenSwapSlidesTheNewViewInFromTheRight)
{
    slider->slideToX(SliderController::SlideToLeftPanel);
    clock.advance(SliderController::kSlideDuration);
    auto second = UIView::initWithFrame(CGRectMake(0, 0, 320, 460));
    slider->setTopViewOffScreen(second);
    clock.advance(SliderController::kSlideDuration);
    // The old view has left to the right and the new one starts where it went.
    EXPECT_EQ(slider->topView(), second);
    EXPECT_FALSE(first->superview());
    auto slideIn = std::dynamic_pointer_cast<CABasicAnimation>(second->layer()->animationForKey("position"));
    ASSERT_TRUE(slideIn);
    EXPECT_EQ(std::get<CGPoint>(slideIn->fromValue()).x, 480);
    clock.advance(SliderController::kSlideDuration);
    EXPECT_EQ(centerX(), 160);
    EXPECT_EQ(catchers(second), 0);
    // The old screen never comes back covered by the catcher it had while the menu showed.
    EXPECT_EQ(catchers(first), 0);
    slider->setTopView(first);
    first->setCenter(CGPointMake(160, first->center().y));
    EXPECT_EQ(window->simulateTap(CGPointMake(100, 100)), first);
}

}  // namespace SliderControllerTest_cpp
}  // namespace
