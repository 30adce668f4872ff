#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "platform/foundation/MainThread.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIWindow.h"

namespace {

void expectRectNear(CGRect actual, CGRect expected, const std::string& what)
{
    EXPECT_NEAR(actual.origin.x, expected.origin.x, 1e-9) << what;
    EXPECT_NEAR(actual.origin.y, expected.origin.y, 1e-9) << what;
    EXPECT_NEAR(actual.size.width, expected.size.width, 1e-9) << what;
    EXPECT_NEAR(actual.size.height, expected.size.height, 1e-9) << what;
}

// Records layoutSubviews calls and hierarchy notifications.
class RecordingView : public UIView {
public:
    static Ref<RecordingView> initWithFrame(CGRect frame) { return makeWithFrame<RecordingView>(frame); }
    void layoutSubviews() override { ++layouts; }
    void didMoveToWindow() override { events.push_back(window() ? "window" : "no window"); }
    void didMoveToSuperview() override { events.push_back(superview() ? "superview" : "no superview"); }
    int layouts = 0;
    std::vector<std::string> events;
};

}  // namespace

TEST(UIViewTest, FrameBoundsAndCenterStayConsistentUnderATransform)
{
    auto view = UIView::initWithFrame(CGRectMake(10, 20, 100, 50));
    EXPECT_EQ(view->bounds(), CGRectMake(0, 0, 100, 50));
    EXPECT_EQ(view->center(), CGPointMake(60, 45));
    view->setTransform(CGAffineTransformMakeScale(2, 2));
    EXPECT_EQ(view->frame(), CGRectMake(-40, -5, 200, 100));  // scaled about the centre
    EXPECT_EQ(view->bounds(), CGRectMake(0, 0, 100, 50));
    view->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 2));
    expectRectNear(view->frame(), CGRectMake(35, -5, 50, 100), "quarter turn");
    view->setTransform(CGAffineTransformIdentity);
    view->setCenter(CGPointMake(0, 0));
    EXPECT_EQ(view->frame(), CGRectMake(-50, -25, 100, 50));
}

TEST(UIViewTest, ConvertRectAcrossNestedAndTransformedSuperviews)
{
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    auto outer = UIView::initWithFrame(CGRectMake(10, 20, 200, 200));
    auto middle = UIView::initWithFrame(CGRectMake(50, 50, 100, 100));
    auto inner = UIView::initWithFrame(CGRectMake(5, 5, 20, 10));
    window->addSubview(outer);
    outer->addSubview(middle);
    middle->addSubview(inner);
    outer->setBounds(CGRectMake(0, 10, 200, 200));  // outer's content is scrolled up by 10

    const CGRect r = CGRectMake(0, 0, 20, 10);
    expectRectNear(inner->convertRect_toView(r, nullptr), CGRectMake(65, 65, 20, 10), "to window");
    expectRectNear(inner->convertRect_toView(r, outer), CGRectMake(55, 55, 20, 10), "to outer");
    expectRectNear(outer->convertRect_fromView(r, inner), CGRectMake(55, 55, 20, 10), "from inner");
    expectRectNear(inner->convertRect_fromView(CGRectMake(65, 65, 20, 10), nullptr), r, "back from window");

    // Scale the middle view by 2 about its centre (100, 100 in outer's coordinates).
    middle->setTransform(CGAffineTransformMakeScale(2, 2));
    expectRectNear(inner->convertRect_toView(r, outer), CGRectMake(10, 10, 40, 20), "scaled");
    expectRectNear(inner->convertRect_toView(r, nullptr), CGRectMake(20, 20, 40, 20), "scaled to window");
    const CGPoint p = inner->convertPoint_toView(CGPointMake(20, 10), outer);
    EXPECT_NEAR(p.x, 50, 1e-9);
    EXPECT_NEAR(p.y, 30, 1e-9);

    // A quarter turn of the middle view: the rectangle's bounding box turns with it.
    middle->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 2));
    expectRectNear(inner->convertRect_toView(r, outer), CGRectMake(135, 55, 10, 20), "turned");
    // Converting there and back is the identity, through any two views.
    const CGRect there = inner->convertRect_toView(CGRectMake(3, 4, 5, 6), window);
    expectRectNear(inner->convertRect_fromView(there, window), CGRectMake(3, 4, 5, 6), "round trip");
    // The window itself is placed on the screen by its frame.
    window->setFrame(CGRectMake(0, 20, 320, 460));
    expectRectNear(inner->convertRect_toView(r, nullptr), inner->convertRect_toView(r, window), "nil is the window");
}

TEST(UIViewTest, ConvertingWithoutAWindowOrSuperviewDoesNotCrash)
{
    auto lone = UIView::initWithFrame(CGRectMake(10, 10, 50, 50));
    auto child = UIView::initWithFrame(CGRectMake(5, 5, 10, 10));
    lone->addSubview(child);
    // Without a window, nil means the space the topmost view is placed in.
    EXPECT_EQ(child->convertPoint_toView(CGPointZero, nullptr), CGPointMake(15, 15));
    EXPECT_EQ(lone->convertPoint_fromView(CGPointMake(15, 15), nullptr), CGPointMake(5, 5));
    // Views of different trees meet in that space too.
    auto other = UIView::initWithFrame(CGRectMake(100, 0, 10, 10));
    EXPECT_EQ(child->convertPoint_toView(CGPointZero, other), CGPointMake(-85, 15));
    EXPECT_EQ(child->convertRect_toView(CGRectMake(0, 0, 1, 1), nullptr), CGRectMake(15, 15, 1, 1));
    EXPECT_FALSE(child->window());
}

TEST(UIViewTest, ViewWithTagSearchesDepthFirstInSubviewOrderFromTheReceiver)
{
    // root(1) -> a(2) -> a1(1000) ; root -> b(1000) ; a -> a2(3) -> deep(7)
    auto root = UIView::create();
    root->setTag(1);
    auto a = UIView::create();
    a->setTag(2);
    auto a1 = UIView::create();
    a1->setTag(1000);
    auto a2 = UIView::create();
    a2->setTag(3);
    auto deep = UIView::create();
    deep->setTag(7);
    auto b = UIView::create();
    b->setTag(1000);
    root->addSubview(a);
    root->addSubview(b);
    a->addSubview(a1);
    a->addSubview(a2);
    a2->addSubview(deep);
    EXPECT_EQ(root->viewWithTag(1), root);    // the receiver itself first
    EXPECT_EQ(root->viewWithTag(1000), a1);  // the deeper view of the earlier subtree wins
    EXPECT_EQ(root->viewWithTag(7), deep);
    EXPECT_EQ(b->viewWithTag(1000), b);
    EXPECT_FALSE(root->viewWithTag(99));
    // Reordering changes which one is found first.
    root->bringSubviewToFront(a);
    EXPECT_EQ(root->viewWithTag(1000), b);
}

TEST(UIViewTest, SubviewsKeepTheirOrderAndTheLayersFollow)
{
    auto root = UIView::create();
    auto a = UIView::create(), b = UIView::create(), c = UIView::create(), d = UIView::create();
    root->addSubview(a);
    root->addSubview(b);
    root->insertSubview_atIndex(c, 1);          // a c b
    root->insertSubview_belowSubview(d, a);     // d a c b
    root->insertSubview_aboveSubview(a, b);     // d c b a  (moving within the same superview)
    EXPECT_EQ(root->subviews(), (std::vector<Ref<UIView>>{d, c, b, a}));
    const auto& layers = root->layer()->sublayers();
    ASSERT_EQ(layers.size(), 4u);
    EXPECT_EQ(layers[0], d->layer());
    EXPECT_EQ(layers[3], a->layer());
    root->sendSubviewToBack(a);
    EXPECT_EQ(root->subviews().front(), a);
    EXPECT_EQ(root->layer()->sublayers().front(), a->layer());

    // Moving a view to another superview takes it out of the first.
    auto other = UIView::create();
    other->addSubview(c);
    EXPECT_EQ(root->subviews().size(), 3u);
    EXPECT_EQ(c->superview(), other);
    EXPECT_EQ(c->layer()->superlayer(), other->layer());
    c->removeFromSuperview();
    EXPECT_FALSE(c->superview());
    EXPECT_TRUE(other->subviews().empty());
    // A view cannot become its own ancestor's subview.
    a->addSubview(root);
    EXPECT_FALSE(root->superview());
    EXPECT_TRUE(a->subviews().empty());
}

TEST(UIViewTest, MovingIntoAndOutOfAWindowIsAnnounced)
{
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    auto container = UIView::create();
    auto view = RecordingView::initWithFrame(CGRectZero);
    container->addSubview(view);
    window->addSubview(container);
    EXPECT_EQ(view->window(), window);
    container->removeFromSuperview();
    EXPECT_EQ(view->events, (std::vector<std::string>{"superview", "window", "no window"}));
}

TEST(UIViewTest, AutoresizingMasksShareTheChangeOfTheSuperviewSize)
{
    struct Case {
        UIViewAutoresizing mask;
        CGRect expected;  // a 100 x 50 child at (10, 20) in a 200 x 100 parent grown to 300 x 200
    };
    const Case cases[] = {
        {UIViewAutoresizingNone, CGRectMake(10, 20, 100, 50)},
        {UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight, CGRectMake(10, 20, 200, 150)},
        {UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleTopMargin, CGRectMake(110, 120, 100, 50)},
        {UIViewAutoresizingFlexibleRightMargin | UIViewAutoresizingFlexibleBottomMargin, CGRectMake(10, 20, 100, 50)},
        // 45: every margin flexible, in proportion to the margins (10 : 90 and 20 : 30).
        {45, CGRectMake(20, 60, 100, 50)},
        // Width and right margin: 100 : 90 share 100 points.
        {UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleRightMargin,
         CGRectMake(10, 20, 100 + 100.0 * 100 / 190, 50)},
    };
    for (const Case& c : cases) {
        auto parent = UIView::initWithFrame(CGRectMake(0, 0, 200, 100));
        auto child = UIView::initWithFrame(CGRectMake(10, 20, 100, 50));
        child->setAutoresizingMask(c.mask);
        parent->addSubview(child);
        parent->setFrame(CGRectMake(0, 0, 300, 200));
        expectRectNear(child->frame(), c.expected, "mask " + std::to_string(c.mask));
    }
    // Turning autoresizing off on the parent leaves its subviews alone.
    auto parent = UIView::initWithFrame(CGRectMake(0, 0, 200, 100));
    auto child = UIView::initWithFrame(CGRectMake(10, 20, 100, 50));
    child->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    parent->setAutoresizesSubviews(false);
    parent->addSubview(child);
    parent->setBounds(CGRectMake(0, 0, 400, 100));
    EXPECT_EQ(child->frame().size.width, 100);
}

TEST(UIViewTest, HitTestingSkipsHiddenTransparentAndNonInteractiveViews)
{
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto back = UIView::initWithFrame(CGRectMake(0, 0, 320, 480));
    auto front = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    auto child = UIView::initWithFrame(CGRectMake(10, 10, 20, 20));
    window->addSubview(back);
    window->addSubview(front);
    front->addSubview(child);

    EXPECT_EQ(window->hitTest_withEvent(CGPointMake(15, 15), nullptr), child);
    EXPECT_EQ(window->hitTest_withEvent(CGPointMake(50, 50), nullptr), front);
    EXPECT_EQ(window->hitTest_withEvent(CGPointMake(200, 200), nullptr), back);

    struct Case {
        const char* what;
        std::function<void()> make;
        std::function<void()> undo;
    };
    const Case cases[] = {
        {"hidden", [&] { front->setHidden(true); }, [&] { front->setHidden(false); }},
        {"no interaction", [&] { front->setUserInteractionEnabled(false); },
         [&] { front->setUserInteractionEnabled(true); }},
        {"transparent", [&] { front->setAlpha(0.005); }, [&] { front->setAlpha(1); }},
    };
    for (const Case& c : cases) {
        c.make();
        // The view and everything in it are skipped: the touch falls through to the view behind.
        EXPECT_EQ(window->hitTest_withEvent(CGPointMake(15, 15), nullptr), back) << c.what;
        c.undo();
    }
    // Labels and image views take no touches by default; a point outside the parent misses its child.
    auto label = UILabel::initWithFrame(CGRectMake(200, 0, 100, 30));
    window->addSubview(label);
    EXPECT_EQ(window->hitTest_withEvent(CGPointMake(210, 10), nullptr), back);
    auto overhang = UIView::initWithFrame(CGRectMake(90, 90, 50, 50));
    front->addSubview(overhang);
    EXPECT_EQ(window->hitTest_withEvent(CGPointMake(120, 120), nullptr), back);
    // A transformed view is hit where it shows.
    front->setTransform(CGAffineTransformMakeScale(2, 2));  // now covers (-50, -50) to (150, 150)
    EXPECT_EQ(window->hitTest_withEvent(CGPointMake(120, 20), nullptr), front);
    EXPECT_EQ(window->hitTest_withEvent(CGPointMake(140, 140), nullptr), overhang);
    // A hidden window takes nothing.
    window->setHidden(true);
    EXPECT_FALSE(window->simulateTap(CGPointMake(50, 50)));
}

TEST(UIViewTest, LayoutAndDisplayRunOnTheRunLoopForViewsInWindows)
{
    MainThreadScope main;
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    auto view = RecordingView::initWithFrame(CGRectMake(0, 0, 100, 100));
    auto lone = RecordingView::initWithFrame(CGRectMake(0, 0, 100, 100));
    window->addSubview(view);
    drainMain();
    EXPECT_EQ(view->layouts, 1);
    EXPECT_EQ(lone->layouts, 0);  // outside any window nothing lays it out
    view->setNeedsLayout();
    view->setNeedsLayout();
    drainMain();
    EXPECT_EQ(view->layouts, 2);  // coalesced
    view->setFrame(CGRectMake(0, 0, 100, 100));  // same size: no layout
    drainMain();
    EXPECT_EQ(view->layouts, 2);
    view->setFrame(CGRectMake(0, 0, 120, 100));
    view->layoutIfNeeded();  // at once
    EXPECT_EQ(view->layouts, 3);
    lone->setNeedsLayout();
    lone->layoutIfNeeded();
    EXPECT_EQ(lone->layouts, 1);
    EXPECT_TRUE(view->layer()->drawing());  // displayed by the pass
}

TEST(UIViewTest, RenderingATreeRecordsBackgroundsAndSubviewsInPlace)
{
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    root->setBackgroundColor(UIColor::whiteColor());
    auto child = UIView::initWithFrame(CGRectMake(10, 20, 30, 40));
    child->setBackgroundColor(UIColor::colorWithPatternImage(nullptr));
    child->layer()->setBorderWidth(2);
    root->addSubview(child);
    auto context = CGContext::createRecording(CGSizeMake(100, 100));
    root->layer()->renderInContext(context);
    const auto& records = context->records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].kind, CGDrawingRecord::kFillRect);
    EXPECT_EQ(CGRectApplyAffineTransform(records[1].rect, records[1].ctm), CGRectMake(10, 20, 30, 40));
    EXPECT_EQ(records[1].color->model(), kCGColorSpaceModelPattern);
    EXPECT_EQ(records[2].kind, CGDrawingRecord::kStrokeRect);
    EXPECT_EQ(records[2].lineWidth, 2);
}
