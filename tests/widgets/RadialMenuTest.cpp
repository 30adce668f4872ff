#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/RadialMenu.h"

namespace {
namespace RadialMenuTest_cpp {

class Owner : public NSObject, public RadialMenuDelegate {
public:
    std::vector<int> chosen;
    void radialMenu_didSelectIndex(const Ref<RadialMenu>&, int index) override { chosen.push_back(index); }
};

std::vector<Ref<RadialMenuItem>> makeItems(size_t count)
{
    static const char* const names[] = {"record", "living", "import", "friend"};
    std::vector<Ref<RadialMenuItem>> items;
    for (size_t i = 0; i < count; ++i) {
        std::string name = std::string("menu_item_") + names[i % 4];
        items.push_back(RadialMenuItem::initWithImage_highlightedImage_ContentImage_highlightedContentImage(
            UIImage::imageNamed(name), UIImage::imageNamed(name + "_down"), nullptr, nullptr));
    }
    return items;
}

// A visible window with the menu where the screens put it, on a manual clock.
struct Stage {
    MainThreadScope main;
    ScopedManualClock clock;
    Ref<UIWindow> window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    Ref<UIView> below = UIView::initWithFrame(UIScreen::mainScreen()->bounds());
    Ref<Owner> owner = std::make_shared<Owner>();
    Ref<RadialMenu> menu;

    explicit Stage(size_t count = 3)
    {
        window->makeKeyAndVisible();
        window->addSubview(below);
        menu = RadialMenu::initWithFrame_menus(CGRectMake(10, -60, 200, 200), makeItems(count));
        menu->setDelegate(owner);
        window->addSubview(menu);
    }
    ~Stage() { window->setHidden(true); }

    Ref<RadialMenuItem> item(size_t i) const { return menu->menusArray().at(i); }
    // A point of the menu's coordinates in the window.
    CGPoint inWindow(CGPoint point) const { return menu->convertPoint_toView(point, nullptr); }
    // Which items have left their start point, as a text of 0s and 1s.
    std::string outline() const
    {
        std::string out;
        for (const auto& item : menu->menusArray()) {
            out += CGPointEqualToPoint(item->center(), item->startPoint()) ? '0' : '1';
        }
        return out;
    }
    // Steps the fold timer until it stops, recording the outline after each step.
    std::vector<std::string> runFold()
    {
        std::vector<std::string> steps;
        for (int guard = 0; menu->isFolding() && guard < 50; ++guard) {
            clock.advance(kRadialMenuFoldStepInterval);
            steps.push_back(outline());
        }
        return steps;
    }
};

constexpr double kTolerance = 1e-9;

void expectPoint(CGPoint actual, double x, double y, const std::string& what)
{
    EXPECT_NEAR(actual.x, x, 1e-6) << what;
    EXPECT_NEAR(actual.y, y, 1e-6) << what;
}


TEST(RadialMenuGeometryTest, ItemsSpreadOverAQuarterCircleFromTheStartPoint)
{
    const struct {
        size_t count;
        size_t index;
        double angle;
    } cases[] = {
        {3, 0, 0}, {3, 1, M_PI / 4}, {3, 2, M_PI / 2},
        {6, 0, 0}, {6, 1, M_PI / 10}, {6, 3, 3 * M_PI / 10}, {6, 5, M_PI / 2},
        {1, 0, 0},  // a single item stands straight up instead of dividing by zero
    };
    for (const auto& c : cases) {
        Stage stage(c.count);
        Ref<RadialMenuItem> item = stage.item(c.index);
        const std::string what = std::to_string(c.count) + " items, item " + std::to_string(c.index);
        EXPECT_EQ(item->tag(), 1000 + NSInteger(c.index)) << what;
        expectPoint(item->startPoint(), 20, 444, what);
        expectPoint(item->center(), 20, 444, what);
        expectPoint(item->endPoint(), 20 + 76 * std::sin(c.angle), 444 - 76 * std::cos(c.angle), what);
        expectPoint(item->nearPoint(), 20 + 66 * std::sin(c.angle), 444 - 66 * std::cos(c.angle), what);
        expectPoint(item->farPoint(), 20 + 96 * std::sin(c.angle), 444 - 96 * std::cos(c.angle), what);
        EXPECT_EQ(item->delegate(), stage.menu) << what;
    }
    // The numbers the screens rely on: three items end above, diagonally and to the right of the button.
    Stage stage;
    expectPoint(stage.item(0)->endPoint(), 20, 368, "first");
    expectPoint(stage.item(1)->endPoint(), 73.740115370, 390.259884630, "middle");
    expectPoint(stage.item(2)->endPoint(), 96, 444, "last");
    // The add button is the last subview, above the items, centred on the start point.
    EXPECT_EQ(stage.menu->subviews().back(), stage.menu->addButton());
    expectPoint(stage.menu->addButton()->center(), 20, 444, "add button");
    EXPECT_EQ(stage.menu->addButton()->image(), UIImage::imageNamed("bg-addbutton.png"));
}

TEST(RadialMenuGeometryTest, HelpersRotateAboutACentreAndScaleAboutTheOrigin)
{
    expectPoint(RotateCGPointAroundCenter(CGPointMake(20, 368), CGPointMake(20, 444), M_PI / 2), 96, 444, "rotate");
    expectPoint(RotateCGPointAroundCenter(CGPointMake(5, 7), CGPointMake(1, 1), 0), 5, 7, "no turn");
    CGRect doubled = ScaleRect(CGRectMake(100, 100, 36, 20), 2);
    EXPECT_TRUE(CGRectEqualToRect(doubled, CGRectMake(-18, -10, 72, 40)));
}

TEST(RadialMenuGeometryTest, ANewItemArrayReplacesTheOldItems)
{
    Stage stage;
    std::vector<Ref<RadialMenuItem>> old = stage.menu->menusArray();
    stage.menu->setMenusArray(makeItems(2));
    for (const auto& item : old) {
        EXPECT_FALSE(item->superview());
    }
    EXPECT_EQ(stage.menu->subviews().size(), 3u);
    expectPoint(stage.item(1)->endPoint(), 96, 444, "second of two");
    EXPECT_TRUE(stage.menu->addButton()->superview());
}

TEST(RadialMenuFoldTest, ItemsMoveOutFirstToLastAndBackLastToFirstOnTheTimer)
{
    Stage stage;
    stage.menu->setExpanding(true);
    EXPECT_TRUE(stage.menu->isExpanding());
    EXPECT_EQ(stage.outline(), "000");
    EXPECT_EQ(stage.runFold(), (std::vector<std::string>{"100", "110", "111", "111"}));
    for (size_t i = 0; i < 3; ++i) {
        expectPoint(stage.item(i)->center(), stage.item(i)->endPoint().x, stage.item(i)->endPoint().y, "out");
    }
    // The add button turned a quarter of a half turn back, in a 0.2 s view animation.
    const UIViewAnimationRecord turn = UIView::animationLog().back();
    EXPECT_DOUBLE_EQ(turn.duration, 0.2);
    EXPECT_NEAR(std::atan2(stage.menu->addButton()->transform().b, stage.menu->addButton()->transform().a), -M_PI / 4,
                kTolerance);

    auto expand = std::dynamic_pointer_cast<CAAnimationGroup>(stage.item(1)->layer()->animationForKey("Expand"));
    ASSERT_TRUE(expand);
    EXPECT_DOUBLE_EQ(expand->duration(), 0.5);
    EXPECT_EQ(expand->fillMode(), kCAFillModeForwards);
    EXPECT_EQ(expand->timingFunction()->name(), kCAMediaTimingFunctionEaseIn);
    ASSERT_EQ(expand->animations().size(), 2u);
    auto path = std::dynamic_pointer_cast<CAKeyframeAnimation>(expand->animations()[0]);
    auto spin = std::dynamic_pointer_cast<CAKeyframeAnimation>(expand->animations()[1]);
    ASSERT_TRUE(path && spin);
    EXPECT_EQ(path->keyPath(), "position");
    EXPECT_DOUBLE_EQ(path->duration(), 0.4);
    std::vector<CGPoint> points;
    for (const auto& element : path->path()->elements()) {
        points.push_back(element.points.at(0));
    }
    const Ref<RadialMenuItem> middle = stage.item(1);
    ASSERT_EQ(points.size(), 4u);
    EXPECT_TRUE(CGPointEqualToPoint(points[0], middle->startPoint()));
    EXPECT_TRUE(CGPointEqualToPoint(points[1], middle->farPoint()));
    EXPECT_TRUE(CGPointEqualToPoint(points[2], middle->nearPoint()));
    EXPECT_TRUE(CGPointEqualToPoint(points[3], middle->endPoint()));
    EXPECT_EQ(spin->keyPath(), "transform.rotation.z");
    EXPECT_EQ(spin->keyTimes(), (std::vector<double>{0.3, 0.4}));
    EXPECT_DOUBLE_EQ(CAValueNumber(spin->values().at(0)), M_PI);
    EXPECT_DOUBLE_EQ(spin->duration(), 0.45);

    stage.menu->setExpanding(false);
    EXPECT_EQ(stage.runFold(), (std::vector<std::string>{"110", "100", "000", "000"}));
    auto close = std::dynamic_pointer_cast<CAAnimationGroup>(stage.item(0)->layer()->animationForKey("Close"));
    ASSERT_TRUE(close);
    EXPECT_DOUBLE_EQ(close->duration(), 0.3);
    auto closeSpin = std::dynamic_pointer_cast<CAKeyframeAnimation>(close->animations().at(1));
    EXPECT_EQ(closeSpin->keyTimes(), (std::vector<double>{0.0, 0.4, 0.5}));
    EXPECT_DOUBLE_EQ(CAValueNumber(closeSpin->values().at(1)), 2 * M_PI);
}

TEST(RadialMenuFoldTest, ToggleWhileFoldingOutTurnsTheButtonButLetsTheFoldFinish)
{
    Stage stage;
    stage.window->simulateTap(stage.inWindow(kRadialMenuStartPoint));
    EXPECT_TRUE(stage.menu->isExpanding());
    stage.clock.advance(kRadialMenuFoldStepInterval);
    EXPECT_EQ(stage.outline(), "100");

    stage.window->simulateTap(stage.inWindow(kRadialMenuStartPoint));
    EXPECT_FALSE(stage.menu->isExpanding());
    EXPECT_NEAR(stage.menu->addButton()->transform().b, 0, kTolerance);
    EXPECT_EQ(stage.runFold(), (std::vector<std::string>{"110", "111", "111"}));
    EXPECT_FALSE(stage.menu->isFolding());
}

TEST(RadialMenuChooseTest, ATapOnAnItemBlowsItUpFoldsTheMenuAndTellsTheOwner)
{
    for (size_t chosen = 0; chosen < 3; ++chosen) {
        Stage stage;
        stage.menu->setExpanding(true);
        stage.runFold();
        const Ref<RadialMenuItem> item = stage.item(chosen);
        stage.window->simulateTap(stage.inWindow(item->endPoint()));
        EXPECT_EQ(stage.owner->chosen, std::vector<int>{int(chosen)});
        EXPECT_FALSE(stage.menu->isExpanding());
        EXPECT_FALSE(stage.menu->isFolding());
        EXPECT_EQ(stage.outline(), "000");
        for (size_t i = 0; i < 3; ++i) {
            const std::string key = i == chosen ? "blowup" : "shrink";
            auto vanish = std::dynamic_pointer_cast<CAAnimationGroup>(stage.item(i)->layer()->animationForKey(key));
            ASSERT_TRUE(vanish) << key << " on " << i;
            EXPECT_DOUBLE_EQ(vanish->duration(), 0.3);
            auto scale = std::dynamic_pointer_cast<CABasicAnimation>(vanish->animations().at(1));
            const auto& transform = std::get<CATransform3D>(scale->toValue());
            EXPECT_DOUBLE_EQ(transform.m11, i == chosen ? 3.0 : 0.01);
            auto position = std::dynamic_pointer_cast<CAKeyframeAnimation>(vanish->animations().at(0));
            const CGPoint from = std::get<CGPoint>(position->values().at(0));
            expectPoint(from, stage.item(i)->endPoint().x, stage.item(i)->endPoint().y, key);
        }
        EXPECT_NEAR(stage.menu->addButton()->transform().b, 0, kTolerance);
    }
}

TEST(RadialMenuChooseTest, ALiftWithinTwiceTheItemsSizeChoosesIt)
{
    const struct {
        double dx;  // where the finger is lifted, from the item's centre, in item widths
        bool chosen;
    } cases[] = {{0, true}, {0.9, true}, {-0.95, true}, {1.05, false}, {3, false}};
    for (const auto& c : cases) {
        Stage stage;
        stage.menu->setExpanding(true);
        stage.runFold();
        const Ref<RadialMenuItem> item = stage.item(1);
        const CGFloat width = item->bounds().size.width;
        stage.window->simulateTouchBegan(stage.inWindow(item->endPoint()));
        EXPECT_TRUE(item->isHighlighted());
        const CGPoint lift = CGPointMake(item->endPoint().x + c.dx * width, item->endPoint().y);
        stage.window->simulateTouchMoved(stage.inWindow(lift));
        EXPECT_EQ(item->isHighlighted(), c.chosen) << c.dx;
        stage.window->simulateTouchEnded(stage.inWindow(lift));
        EXPECT_FALSE(item->isHighlighted());
        EXPECT_EQ(stage.owner->chosen, c.chosen ? std::vector<int>{1} : std::vector<int>{}) << c.dx;
        EXPECT_EQ(stage.menu->isExpanding(), !c.chosen) << c.dx;
    }
}

TEST(RadialMenuTouchTest, UnfoldedTheMenuTakesEveryTapAndFoldsFoldedOnlyItsButton)
{
    Stage stage;
    const CGPoint farAway = CGPointMake(300, 60);
    // Folded: the point belongs to the view below; the button's own frame, outside the menu's bounds,
    // still reaches the menu.
    EXPECT_EQ(stage.window->hitTest_withEvent(farAway, nullptr), stage.below);
    EXPECT_EQ(stage.window->hitTest_withEvent(stage.inWindow(kRadialMenuStartPoint), nullptr),
              stage.menu->addButton());

    stage.menu->setExpanding(true);
    stage.runFold();
    EXPECT_EQ(stage.window->hitTest_withEvent(farAway, nullptr), stage.menu);
    stage.window->simulateTap(farAway);
    EXPECT_FALSE(stage.menu->isExpanding());
    EXPECT_EQ(stage.runFold(), (std::vector<std::string>{"110", "100", "000", "000"}));
    EXPECT_TRUE(stage.owner->chosen.empty());
}

}  // namespace RadialMenuTest_cpp
}  // namespace
