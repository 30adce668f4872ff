// Controller transitions as the screen draws them, frame by frame on the manual clock: pushes and pops
// slide the two screens side by side, presentations slide up and dismissals down, and when the time
// is up only the new screen shows, with nothing left moving.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Stage.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationItem.h"
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

// Where a view of the bar shows now (its presentation's x centre) and how opaque it is.
struct Shown {
    CGFloat x;
    double opacity;
};
Shown shown(const Ref<UIView>& view)
{
    const Ref<const CALayer> layer = view->layer()->shownLayer();
    return {layer->position().x, double(layer->opacity())};
}

TEST(TransitionDrawing, TheBarsTitlesSlideWithTheScreensAndItsButtonsFade)
{
    Frames stage;
    stage.navigation->setNavigationBarHidden_animated(false, false);
    stage.a->setTitle("First");
    auto b = plain(UIColor::blueColor());
    b->setTitle("Second");
    const Ref<UINavigationBar> bar = stage.navigation->navigationBar();
    const CGFloat half = bar->bounds().size.width / 2;
    // Eased in and out: 0.1292 of the way at a quarter of the time, half way at half.
    const struct {
        double part;
        double progress;
    } steps[] = {{0.25, 0.1292}, {0.5, 0.5}};

    stage.navigation->pushViewController_animated(b, true);
    ASSERT_EQ(bar->leavingViews().size(), 1u);
    auto old = std::dynamic_pointer_cast<UILabel>(bar->leavingViews()[0]);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->text(), "First");
    EXPECT_FALSE(old->isUserInteractionEnabled()) << "a leaving copy takes no touch";
    const Ref<UILabel> title = bar->titleLabel();
    EXPECT_EQ(title->text(), "Second") << "the model is the new state at once";
    const CGFloat oldAt = old->layer()->position().x, newAt = title->layer()->position().x;
    double done = 0;
    for (const auto& step : steps) {
        stage.clock.advance(UINavigationTransitionDuration * (step.part - done));
        done = step.part;
        SCOPED_TRACE(step.part);
        EXPECT_NEAR(shown(old).x, oldAt - half * step.progress, 0.5) << "the old title leaves to the left";
        EXPECT_NEAR(shown(old).opacity, 1 - step.progress, 0.01);
        EXPECT_NEAR(shown(title).x, newAt + half * (1 - step.progress), 0.5) << "the new one comes from the right";
        EXPECT_NEAR(shown(title).opacity, step.progress, 0.01);
        EXPECT_NEAR(shown(bar->backButton()).opacity, step.progress, 0.01) << "the back button fades in";
    }
    stage.clock.advance(UINavigationTransitionDuration * (1 - done));
    EXPECT_TRUE(bar->leavingViews().empty());
    EXPECT_FALSE(old->superview()) << "the copy goes when the move ends";
    EXPECT_EQ(shown(title).x, newAt);
    EXPECT_EQ(shown(title).opacity, 1);

    // A pop the other way round: the title below comes back from the left, the top one leaves to the right
    // with the back button fading out.
    stage.navigation->popViewControllerAnimated(true);
    ASSERT_EQ(bar->leavingViews().size(), 2u);
    EXPECT_EQ(title->text(), "First");
    EXPECT_FALSE(bar->backButton()->superview() == bar) << "the root has no back button";
    Ref<UIView> leavingButton, leavingTitle;
    for (const Ref<UIView>& view : bar->leavingViews()) {
        (std::dynamic_pointer_cast<UILabel>(view) ? leavingTitle : leavingButton) = view;
    }
    ASSERT_TRUE(leavingTitle && leavingButton);
    const CGFloat leavingAt = leavingTitle->layer()->position().x;
    stage.clock.advance(UINavigationTransitionDuration / 2);
    EXPECT_NEAR(shown(leavingTitle).x, leavingAt + half / 2, 0.5);
    EXPECT_NEAR(shown(title).x, title->layer()->position().x - half / 2, 0.5);
    EXPECT_NEAR(shown(leavingButton).opacity, 0.5, 0.01);
    stage.clock.advance(UINavigationTransitionDuration / 2);
    EXPECT_TRUE(bar->leavingViews().empty());
    EXPECT_FALSE(leavingTitle->superview());
    EXPECT_FALSE(leavingButton->superview());
}

TEST(TransitionDrawing, AButtonOfAnItemThatComesBackInTheMiddleOfItsExitShowsFully)
{
    Frames stage;
    stage.navigation->setNavigationBarHidden_animated(false, false);
    auto b = plain(UIColor::blueColor());
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 40, 30));
    b->navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithCustomView(button));
    stage.navigation->pushViewController_animated(b, true);
    stage.clock.advance(UINavigationTransitionDuration);
    // Popped and pushed again before the pop's move ended: the button is b's again, whole and touchable.
    stage.navigation->popViewControllerAnimated(true);
    stage.clock.advance(UINavigationTransitionDuration / 2);
    EXPECT_NEAR(shown(button).opacity, 0.5, 0.01);
    stage.navigation->pushViewController_animated(b, true);
    stage.clock.advance(UINavigationTransitionDuration);
    EXPECT_EQ(button->superview(), stage.navigation->navigationBar());
    EXPECT_EQ(shown(button).opacity, 1);
    EXPECT_EQ(button->alpha(), 1);
    EXPECT_TRUE(button->isUserInteractionEnabled());
}

}  // namespace TransitionDrawingTest_cpp
}  // namespace
