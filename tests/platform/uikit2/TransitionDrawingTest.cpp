// Controller transitions as the screen draws them, frame by frame on the manual clock: pushes and pops
// slide the two screens side by side, presentations slide up and dismissals down, and when the time
// is up only the new screen shows, with nothing left moving.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Stage.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindowSnapshot.h"

namespace {
namespace TransitionDrawingTest_cpp {

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu, kGreen = 0xFF00FF00u;

Ref<UIViewController> plain(const Ref<UIColor>& colour)
{
    auto controller = UIViewController::create();
    controller->view()->setBackgroundColor(colour);
    return controller;
}

struct Frames : Stage {
    Ref<UIViewController> a = plain(UIColor::redColor());
    Ref<UINavigationController> navigation = UINavigationController::initWithRootViewController(a);

    Frames()
    {
        navigation->setNavigationBarHidden_animated(true, false);
        window->setRootViewController(navigation);
    }
    // The colour shown at a point of the screen now.
    uint32_t colourAt(CGFloat x, CGFloat y)
    {
        auto context = CGContext::createImageContext(window->bounds().size, 1);
        UIWindowDrawInContext(window, context);
        return context->pixelAt(size_t(x), size_t(y));
    }
    // The first x on a row of the screen where `right` shows after `left` did (-1: nowhere); an edge
    // between pixels has a pixel of mixed colour before it.
    int edgeBetween(uint32_t left, uint32_t right, CGFloat y)
    {
        auto context = CGContext::createImageContext(window->bounds().size, 1);
        UIWindowDrawInContext(window, context);
        bool seenLeft = false;
        for (size_t x = 0; x < size_t(window->bounds().size.width); ++x) {
            const uint32_t pixel = context->pixelAt(x, size_t(y));
            seenLeft = seenLeft || pixel == left;
            if (seenLeft && pixel == right) {
                return int(x);
            }
        }
        return -1;
    }
};

TEST(TransitionDrawing, PushesAndPopsSlideBothScreensSideBySide)
{
    Frames stage;
    auto b = plain(UIColor::blueColor());
    // Eased in and out: an eighth of the way at a quarter of the time, half way at half.
    stage.navigation->pushViewController_animated(b, true);
    EXPECT_EQ(stage.colourAt(160, 240), kRed) << "the first frame still shows the old screen";
    stage.clock.advance(UINavigationTransitionDuration / 4);
    EXPECT_NEAR(stage.edgeBetween(kRed, kBlue, 240), 320 - 0.1292 * 320, 1.5) << "the new screen comes from the right";
    stage.clock.advance(UINavigationTransitionDuration / 4);
    EXPECT_NEAR(stage.edgeBetween(kRed, kBlue, 240), 160, 1.5);
    stage.clock.advance(UINavigationTransitionDuration / 2);
    EXPECT_EQ(stage.colourAt(5, 240), kBlue);
    EXPECT_EQ(stage.colourAt(315, 240), kBlue);
    EXPECT_FALSE(stage.a->view()->superview());
    EXPECT_TRUE(stage.a->view()->layer()->animationKeys().empty());
    EXPECT_TRUE(b->view()->layer()->animationKeys().empty());

    // A pop runs the other way: the old screen leaves to the right, the one below comes back from the left.
    stage.navigation->popViewControllerAnimated(true);
    stage.clock.advance(UINavigationTransitionDuration / 4);
    EXPECT_NEAR(stage.edgeBetween(kRed, kBlue, 240), 0.1292 * 320, 1.5);
    stage.clock.advance(UINavigationTransitionDuration * 3 / 4);
    EXPECT_EQ(stage.colourAt(315, 240), kRed);
    EXPECT_FALSE(b->view()->superview());
    EXPECT_EQ(stage.a->view()->frame().origin.x, 0);
}

TEST(TransitionDrawing, PresentationsSlideUpAndDismissalsDown)
{
    Frames stage;
    auto c = plain(UIColor::greenColor());
    stage.navigation->presentViewController_animated_completion(c, true, nullptr);
    stage.clock.advance(UIModalTransitionDuration / 2);
    EXPECT_EQ(stage.colourAt(160, 200), kRed) << "the presenter shows above the rising screen";
    EXPECT_EQ(stage.colourAt(160, 300), kGreen);
    stage.clock.advance(UIModalTransitionDuration / 2);
    EXPECT_EQ(stage.colourAt(160, 30), kGreen);

    bool dismissed = false;
    c->dismissViewControllerAnimated_completion(true, [&] { dismissed = true; });
    EXPECT_EQ(stage.colourAt(160, 30), kGreen) << "no jump at the start";
    stage.clock.advance(UIModalTransitionDuration / 2);
    EXPECT_EQ(stage.colourAt(160, 200), kRed) << "the presenter is back beneath";
    EXPECT_EQ(stage.colourAt(160, 300), kGreen);
    EXPECT_FALSE(dismissed);
    stage.clock.advance(UIModalTransitionDuration / 2);
    EXPECT_TRUE(dismissed);
    EXPECT_EQ(stage.colourAt(160, 470), kRed);
    EXPECT_FALSE(c->view()->superview());
    EXPECT_TRUE(c->view()->layer()->animationKeys().empty());
}

}  // namespace TransitionDrawingTest_cpp
}  // namespace
