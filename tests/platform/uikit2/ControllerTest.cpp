#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Stage.h"
#include "platform/foundation/NSException.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIToolbar.h"

namespace {

// Every controller writes its callbacks, prefixed with its name, into one shared log.
struct Log {
    std::vector<std::string> lines;
    std::vector<std::string> take()
    {
        std::vector<std::string> out = std::move(lines);
        lines.clear();
        return out;
    }
};

class Screen : public UIViewController {
public:
    static Ref<Screen> named(const std::string& name, Log& log)
    {
        auto screen = make<Screen>();
        screen->name = name;
        screen->log = &log;
        screen->setTitle(name);
        return screen;
    }
    void viewDidLoad() override { write("load"); }
    void viewWillAppear(bool) override { write("will appear"); }
    void viewDidAppear(bool) override { write("did appear"); }
    void viewWillDisappear(bool) override { write("will disappear"); }
    void viewDidDisappear(bool) override { write("did disappear"); }
    void viewDidUnload() override { write("unload"); }
    void done() { write("done"); }

    std::string name;
    Log* log = nullptr;

private:
    void write(const std::string& what) { log->lines.push_back(name + " " + what); }
};

using Lines = std::vector<std::string>;

struct ControllerStage : Stage {
    Log log;
    Ref<Screen> root = Screen::named("A", log);
    Ref<UINavigationController> navigation = UINavigationController::initWithRootViewController(root);
    ControllerStage()
    {
        window->setRootViewController(navigation);
        log.take();
    }
    // The controllers write to the log until the window is gone.
    ~ControllerStage() { window->setHidden(true); }
};

}  // namespace

TEST(UIViewControllerTest, NavigationTransitionsCallAppearanceInThePhonesOrder)
{
    ControllerStage stage;
    auto b = Screen::named("B", stage.log);
    auto c = Screen::named("C", stage.log);

    stage.navigation->pushViewController_animated(b, false);
    EXPECT_EQ(stage.log.take(), (Lines{"B load", "A will disappear", "B will appear", "A did disappear", "B did appear"}));
    EXPECT_EQ(b->navigationController(), stage.navigation);
    EXPECT_EQ(b->view()->superview(), stage.navigation->contentView());
    EXPECT_FALSE(stage.root->view()->superview());

    // Animated: the stack changes at once, the did-callbacks come when the transition has run.
    stage.navigation->pushViewController_animated(c, true);
    EXPECT_EQ(stage.navigation->topViewController(), c);
    EXPECT_EQ(stage.log.take(), (Lines{"C load", "B will disappear", "C will appear"}));
    stage.clock.advance(UINavigationTransitionDuration);
    EXPECT_EQ(stage.log.take(), (Lines{"B did disappear", "C did appear"}));

    EXPECT_EQ(stage.navigation->popViewControllerAnimated(false), c);
    EXPECT_EQ(stage.log.take(), (Lines{"C will disappear", "B will appear", "C did disappear", "B did appear"}));
    EXPECT_FALSE(c->navigationController());

    stage.navigation->pushViewController_animated(c, false);
    stage.log.take();
    const auto popped = stage.navigation->popToRootViewControllerAnimated(false);
    EXPECT_EQ(popped, (std::vector<Ref<UIViewController>>{b, c}));
    // Only the controller on show disappears; B had already.
    EXPECT_EQ(stage.log.take(), (Lines{"C will disappear", "A will appear", "C did disappear", "A did appear"}));
    EXPECT_EQ(stage.navigation->popViewControllerAnimated(false), nullptr);  // the root stays
}

TEST(UIViewControllerTest, ANewTransitionEndsTheRunningOneFirst)
{
    ControllerStage stage;
    auto b = Screen::named("B", stage.log);
    auto c = Screen::named("C", stage.log);
    stage.navigation->pushViewController_animated(b, true);
    stage.navigation->pushViewController_animated(c, true);
    EXPECT_EQ(stage.log.take(), (Lines{"B load", "A will disappear", "B will appear", "A did disappear",
                                       "B did appear", "C load", "B will disappear", "C will appear"}));
    stage.clock.advance(1);
    EXPECT_EQ(stage.log.take(), (Lines{"B did disappear", "C did appear"}));
}

TEST(UIViewControllerTest, PushingOffScreenCallsNothingAndTheStackAppearsWithTheWindow)
{
    MainThreadScope main;
    Stage::reset();
    Log log;
    auto a = Screen::named("A", log);
    auto b = Screen::named("B", log);
    auto navigation = UINavigationController::initWithRootViewController(a);
    navigation->pushViewController_animated(b, true);
    EXPECT_TRUE(log.take().empty());
    auto window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    EXPECT_EQ(log.take(), (Lines{"B load", "B will appear", "B did appear"}));
    EXPECT_FALSE(a->isViewLoaded());
    window->setHidden(true);
    EXPECT_EQ(log.take(), (Lines{"B will disappear", "B did disappear"}));
}

TEST(UIViewControllerTest, ThePlatformRefusesBadPushes)
{
    ControllerStage stage;
    EXPECT_THROW(stage.navigation->pushViewController_animated(stage.root, false), NSException);
    EXPECT_THROW(stage.navigation->pushViewController_animated(nullptr, false), NSException);
    EXPECT_THROW(stage.navigation->popToViewController_animated(Screen::named("X", stage.log), false), NSException);
    EXPECT_EQ(stage.navigation->viewControllers().size(), 1u);
}

TEST(UIViewControllerTest, PresentAndDismissCallAppearanceInThePhonesOrder)
{
    ControllerStage stage;
    auto modal = Screen::named("M", stage.log);
    modal->setModalTransitionStyle(UIModalTransitionStyleCrossDissolve);
    stage.root->presentModalViewController_animated(modal, true);
    // The navigation controller, the root's container, presents.
    EXPECT_EQ(stage.navigation->modalViewController(), modal);
    EXPECT_EQ(stage.root->modalViewController(), modal);
    EXPECT_EQ(modal->presentingViewController(), stage.navigation);
    EXPECT_EQ(modal->parentViewController(), stage.navigation);
    EXPECT_EQ(stage.log.take(), (Lines{"M load", "A will disappear", "M will appear"}));
    stage.clock.advance(UIModalTransitionDuration);
    EXPECT_EQ(stage.log.take(), (Lines{"M did appear", "A did disappear"}));
    EXPECT_EQ(modal->view()->window(), stage.window);
    EXPECT_EQ(modal->view()->frame(), CGRectMake(0, 20, 320, 460));
    EXPECT_FALSE(stage.navigation->view()->superview());

    // A second presentation from the same context is refused while the first shows.
    auto other = Screen::named("O", stage.log);
    stage.root->presentModalViewController_animated(other, false);
    EXPECT_EQ(stage.navigation->modalViewController(), modal);
    EXPECT_FALSE(other->isViewLoaded());

    modal->dismissModalViewControllerAnimated(false);
    EXPECT_EQ(stage.log.take(), (Lines{"M will disappear", "A will appear", "A did appear", "M did disappear"}));
    EXPECT_FALSE(stage.navigation->modalViewController());
    EXPECT_FALSE(modal->presentingViewController());
    EXPECT_EQ(stage.navigation->view()->superview(), stage.window);
    EXPECT_FALSE(modal->view()->superview());
}

TEST(UIViewControllerTest, AChildDismissesTheWholeFlowItsNavigationControllerPresents)
{
    ControllerStage stage;
    auto first = Screen::named("F", stage.log);
    auto second = Screen::named("S", stage.log);
    auto flow = UINavigationController::initWithRootViewController(first);
    stage.root->presentModalViewController_animated(flow, false);
    flow->pushViewController_animated(second, false);
    // The second screen presents a third from the flow.
    auto third = Screen::named("T", stage.log);
    second->presentModalViewController_animated(third, false);
    EXPECT_EQ(flow->modalViewController(), third);
    stage.log.take();

    // Dismissing from a screen of the flow closes what the flow presents first...
    second->dismissModalViewControllerAnimated(false);
    EXPECT_EQ(stage.log.take(), (Lines{"T will disappear", "S will appear", "S did appear", "T did disappear"}));
    EXPECT_EQ(stage.navigation->modalViewController(), flow);
    // ...then the flow itself, from any of its screens.
    first->dismissModalViewControllerAnimated(true);
    EXPECT_EQ(stage.log.take(), (Lines{"S will disappear", "A will appear"}));
    stage.clock.advance(UIModalTransitionDuration);
    EXPECT_EQ(stage.log.take(), (Lines{"A did appear", "S did disappear"}));
    EXPECT_FALSE(stage.navigation->modalViewController());
    EXPECT_FALSE(flow->view()->window());
    EXPECT_TRUE(stage.navigation->lastPresentationAnimated());
}

TEST(UIViewControllerTest, DismissingFromBelowClosesEveryPresentationAbove)
{
    ControllerStage stage;
    auto b = Screen::named("B", stage.log);
    auto c = Screen::named("C", stage.log);
    stage.navigation->presentModalViewController_animated(b, false);
    b->presentModalViewController_animated(c, false);
    stage.log.take();
    stage.navigation->dismissModalViewControllerAnimated(false);
    // Only the top one shows and disappears; B had disappeared when C came.
    EXPECT_EQ(stage.log.take(), (Lines{"C will disappear", "A will appear", "A did appear", "C did disappear"}));
    EXPECT_FALSE(b->modalViewController());
    EXPECT_FALSE(b->view()->superview());
}

TEST(UIViewControllerTest, ContainersSwappingChildrenCallOldDisappearBeforeNewAppear)
{
    Log log;
    Stage stage;
    auto container = Screen::named("P", log);
    auto a = Screen::named("A", log);
    auto b = Screen::named("B", log);
    container->addChildViewController(a);
    container->view()->addSubview(a->view());
    a->didMoveToParentViewController(container);
    stage.window->setRootViewController(container);
    EXPECT_EQ(log.take(), (Lines{"P load", "A load", "P will appear", "A will appear", "P did appear", "A did appear"}));

    container->addChildViewController(b);
    bool completed = false;
    container->transitionFromViewController_toViewController_duration_options_animations_completion(
        a, b, 0.3, 0, [&] { b->view()->setAlpha(1); }, [&](bool finished) { completed = finished; });
    EXPECT_EQ(log.take(), (Lines{"B load", "A will disappear", "B will appear"}));
    EXPECT_EQ(b->view()->superview(), container->view());
    stage.clock.advance(0.3);
    EXPECT_EQ(log.take(), (Lines{"A did disappear", "B did appear"}));
    EXPECT_TRUE(completed);
    EXPECT_FALSE(a->view()->superview());
    a->removeFromParentViewController();
    EXPECT_EQ(container->childViewControllers(), (std::vector<Ref<UIViewController>>{b}));
}

TEST(UIViewControllerTest, NavigationBarShowsTheTopItemAndItsBackButtonPops)
{
    ControllerStage stage;
    auto b = Screen::named("B", stage.log);
    auto done = UIBarButtonItem::initWithBarButtonSystemItem_target_action(UIBarButtonSystemItemDone, b,
                                                                            UISelector::make("done", &Screen::done));
    b->navigationItem()->setRightBarButtonItem(done);
    stage.navigation->pushViewController_animated(b, false);
    stage.log.take();
    Ref<UINavigationBar> bar = stage.navigation->navigationBar();
    EXPECT_EQ(bar->topItem(), b->navigationItem());
    EXPECT_EQ(bar->titleLabel()->text(), "B");
    EXPECT_EQ(bar->backButtonTitle(), "A");
    EXPECT_EQ(bar->rightView(), done->barView());

    // Items are real views: a tap on the right item sends its action; the title follows the controller.
    const CGRect doneFrame = bar->rightView()->convertRect_toView(bar->rightView()->bounds(), nullptr);
    stage.window->simulateTap(CGPointMake(CGRectGetMidX(doneFrame), CGRectGetMidY(doneFrame)));
    EXPECT_EQ(stage.log.take(), Lines{"B done"});
    b->setTitle("Bee");
    EXPECT_EQ(bar->titleLabel()->text(), "Bee");
    done->setEnabled(false);
    EXPECT_FALSE(done->simulateTap());

    const CGRect backFrame = bar->backButton()->convertRect_toView(bar->backButton()->bounds(), nullptr);
    stage.window->simulateTap(CGPointMake(CGRectGetMidX(backFrame), CGRectGetMidY(backFrame)));
    EXPECT_EQ(stage.navigation->topViewController(), stage.root);
    EXPECT_EQ(bar->items().size(), 1u);
    stage.clock.advance(UINavigationTransitionDuration);
    EXPECT_EQ(stage.log.take(), (Lines{"B will disappear", "A will appear", "B did disappear", "A did appear"}));
    EXPECT_FALSE(bar->backButton() && bar->backButton()->superview());
}

TEST(UIViewControllerTest, TheTitleIsCentredOnTheBarAndMovesAsideOnlyForAWideButton)
{
    ControllerStage stage;
    const Ref<UINavigationBar> bar = stage.navigation->navigationBar();
    const CGFloat middle = bar->bounds().size.width / 2;
    auto button = [](CGFloat width) {
        const Ref<UIButton> view = UIButton::buttonWithType(UIButtonTypeCustom);
        view->setFrame(CGRectMake(0, 0, width, 30));
        return UIBarButtonItem::initWithCustomView(view);
    };
    struct Case {
        const char* title;
        CGFloat left, right;  // custom buttons' widths (0: none)
        bool centred;
    } const cases[] = {
        {"最新", 0, 0, true},
        {"消息", 80, 0, true},  // a button on one side only does not push it off centre
        {"个人设置", 0, 60, true},
        {"登录", 40, 120, true},
        {"一个很长很长的标题", 130, 0, false},  // the button needs the room: the title moves right of it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        stage.root->setTitle(c.title);
        stage.root->navigationItem()->setLeftBarButtonItem(c.left > 0 ? button(c.left) : nullptr);
        stage.root->navigationItem()->setRightBarButtonItem(c.right > 0 ? button(c.right) : nullptr);
        bar->layoutIfNeeded();
        const CGRect title = bar->titleLabel()->frame();
        EXPECT_GT(title.size.width, 0);
        if (c.centred) {
            EXPECT_NEAR(CGRectGetMidX(title), middle, 1);
        } else {
            EXPECT_GT(CGRectGetMidX(title), middle);
        }
        if (const Ref<UIView> left = bar->leftView(); c.left > 0) {
            EXPECT_GE(CGRectGetMinX(title), CGRectGetMaxX(left->frame()));
        }
        if (const Ref<UIView> right = bar->rightView(); c.right > 0) {
            EXPECT_LE(CGRectGetMaxX(title), CGRectGetMinX(right->frame()));
        }
    }
}

TEST(UIViewControllerTest, TheBackButtonShowsItsWholeTitleRightOfItsPoint)
{
    for (const char* title : {"A", "Back", "分享视频", "一个很长的上一页", ""}) {
        SCOPED_TRACE(title);
        ControllerStage stage;
        stage.root->setTitle(title);
        stage.navigation->pushViewController_animated(UIViewController::create(), false);
        const Ref<UINavigationBar> bar = stage.navigation->navigationBar();
        bar->layoutIfNeeded();
        const Ref<UIButton> back = bar->backButton();
        ASSERT_TRUE(back);
        back->layoutIfNeeded();
        const CGRect label = back->titleLabel()->frame();
        // A screen without a title is gone back to by the word the phone uses.
        EXPECT_EQ(back->titleForState(UIControlStateNormal), *title ? title : "返回");
        const CGFloat text =
            UIStringDrawing::sizeWithFont(back->titleForState(UIControlStateNormal), back->titleLabel()->font()).width;
        EXPECT_GE(label.size.width, text);  // not cut short to "B..."
        EXPECT_GE(CGRectGetMinX(label), 10);  // clear of the point
        EXPECT_LE(CGRectGetMaxX(label), back->bounds().size.width);
    }
}

TEST(UIViewControllerTest, BarsHideAndTheContentFills)
{
    ControllerStage stage;
    Ref<UIView> content = stage.navigation->contentView();
    EXPECT_EQ(stage.navigation->view()->frame(), CGRectMake(0, 20, 320, 460));
    EXPECT_EQ(content->frame(), CGRectMake(0, 44, 320, 416));
    EXPECT_EQ(stage.root->view()->frame(), CGRectMake(0, 0, 320, 416));
    stage.root->setToolbarItems({UIBarButtonItem::initWithBarButtonSystemItem_target_action(
                                     UIBarButtonSystemItemFlexibleSpace, nullptr, {}),
                                 UIBarButtonItem::initWithTitle_style_target_action(
                                     "Go", UIBarButtonItemStylePlain, nullptr, {})});
    stage.navigation->setToolbarHidden(false);
    Ref<UIToolbar> toolbar = stage.navigation->toolbar();
    ASSERT_EQ(toolbar->items().size(), 2u);
    EXPECT_EQ(toolbar->frame(), CGRectMake(0, 416, 320, 44));
    // The flexible space pushes the item to the right edge, less the 12-point margin.
    const CGRect go = toolbar->items()[1]->barView()->frame();
    EXPECT_EQ(CGRectGetMaxX(go), 308);
    EXPECT_EQ(go.size.width, toolbar->items()[1]->barWidth());
    EXPECT_EQ(content->frame(), CGRectMake(0, 44, 320, 372));
    stage.navigation->setNavigationBarHidden_animated(true, true);
    EXPECT_TRUE(stage.navigation->navigationBar()->isHidden());
    EXPECT_EQ(content->frame(), CGRectMake(0, 0, 320, 416));
    EXPECT_EQ(stage.root->view()->frame(), CGRectMake(0, 0, 320, 416));
}

TEST(UIViewControllerTest, EditButtonTogglesEditing)
{
    ControllerStage stage;
    Ref<UIBarButtonItem> edit = stage.root->editButtonItem();
    EXPECT_EQ(edit->title(), "编辑");
    EXPECT_TRUE(edit->simulateTap());
    EXPECT_TRUE(stage.root->isEditing());
    EXPECT_EQ(edit->title(), "完成");
    EXPECT_EQ(edit->style(), UIBarButtonItemStyleDone);
}

TEST(UIViewControllerTest, MemoryWarningsUnloadViewsThatAreOffScreen)
{
    ControllerStage stage;
    auto b = Screen::named("B", stage.log);
    stage.navigation->pushViewController_animated(b, false);
    stage.log.take();
    UIApplication::sharedApplication()->simulateMemoryWarning();
    EXPECT_EQ(stage.log.take(), Lines{"A unload"});
    EXPECT_FALSE(stage.root->isViewLoaded());
    EXPECT_TRUE(b->isViewLoaded());
    stage.navigation->popViewControllerAnimated(false);
    EXPECT_EQ(stage.log.take().front(), "A load");
}

TEST(UIViewControllerTest, RotationFollowsTheDeviceWhenTheTopControllerAgrees)
{
    class Turning : public UIViewController {
    public:
        bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override { return true; }
        void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override { rotatedFrom = from; }
        UIInterfaceOrientation rotatedFrom = UIInterfaceOrientation(0);
    };
    ControllerStage stage;
    auto application = UIApplication::sharedApplication();
    UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationLandscapeLeft);
    UIViewController::attemptRotationToDeviceOrientation();
    EXPECT_EQ(application->statusBarOrientation(), UIInterfaceOrientationPortrait);  // A is portrait only
    auto turning = UIViewController::make<Turning>();
    stage.navigation->pushViewController_animated(turning, false);
    UIViewController::attemptRotationToDeviceOrientation();
    EXPECT_EQ(application->statusBarOrientation(), UIInterfaceOrientationLandscapeRight);
    EXPECT_EQ(turning->rotatedFrom, UIInterfaceOrientationPortrait);
    EXPECT_EQ(turning->interfaceOrientation(), UIInterfaceOrientationLandscapeRight);
    UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationPortrait);
    UIViewController::attemptRotationToDeviceOrientation();
}

TEST(UIViewControllerTest, ContainersThatCallAppearanceThemselvesReachTheTopOfTheirStacks)
{
    // A screen that swaps navigation controllers by hand, calling their appearance methods itself.
    Log log;
    Stage stage;
    auto host = Screen::named("H", log);
    stage.window->setRootViewController(host);
    auto a = Screen::named("A", log);
    auto b = Screen::named("B", log);
    auto first = UINavigationController::initWithRootViewController(a);
    auto second = UINavigationController::initWithRootViewController(b);
    host->view()->addSubview(first->view());
    first->viewWillAppear(false);
    first->viewDidAppear(false);
    log.take();

    first->viewWillDisappear(false);
    second->viewWillAppear(false);
    host->view()->addSubview(second->view());
    first->view()->removeFromSuperview();
    first->viewDidDisappear(false);
    second->viewDidAppear(false);
    EXPECT_EQ(log.take(), (Lines{"A will disappear", "B load", "B will appear", "A did disappear", "B did appear"}));

    // The stack on show pushes with callbacks and presents into the window.
    auto c = Screen::named("C", log);
    second->pushViewController_animated(c, false);
    EXPECT_EQ(log.take(), (Lines{"C load", "B will disappear", "C will appear", "B did disappear", "C did appear"}));
    auto m = Screen::named("M", log);
    c->presentModalViewController_animated(m, false);
    EXPECT_EQ(m->view()->window(), stage.window);
    EXPECT_EQ(log.take(), (Lines{"M load", "C will disappear", "M will appear", "M did appear", "C did disappear"}));
    stage.window->setHidden(true);
}
