#include "platform/uikit/UINavigationController.h"

#include <algorithm>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIToolbar.h"
#include "platform/uikit/UIWindow.h"

namespace {
constexpr CGFloat kBarHeight = 44;
}

void UINavigationController::initWithNibName_bundleBody(const std::string& nibName, const Ref<NSBundle>& bundle)
{
    UIViewController::initWithNibName_bundleBody(nibName, bundle);
    navigationBar_ = UINavigationBar::create();
    navigationBar_->setDelegate(std::static_pointer_cast<UINavigationBarDelegate>(self<UINavigationController>()));
    toolbar_ = UIToolbar::create();
    toolbar_->setHidden(true);
}

void UINavigationController::initWithRootViewControllerBody(const Ref<UIViewController>& root)
{
    initWithNibName_bundleBody(std::string(), nullptr);
    if (root) {
        pushViewController_animated(root, false);
    }
}

void UINavigationController::loadView()
{
    auto view = UIView::initWithFrame(UIScreen::mainScreen()->applicationFrame());
    const CGRect b = view->bounds();
    contentView_ = UIView::initWithFrame(b);
    contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    view->addSubview(contentView_);
    view->addSubview(navigationBar_);
    view->addSubview(toolbar_);
    setView(view);
    layoutBars();
}

Ref<UIView> UINavigationController::contentView()
{
    view();
    return contentView_;
}

void UINavigationController::layoutBars()
{
    if (!isViewLoaded() || !contentView_) {
        return;
    }
    const CGRect b = view()->bounds();
    navigationBar_->setHidden(navigationBarHidden_);
    navigationBar_->setFrame(CGRectMake(0, 0, b.size.width, kBarHeight));
    toolbar_->setHidden(toolbarHidden_);
    toolbar_->setFrame(CGRectMake(0, b.size.height - kBarHeight, b.size.width, kBarHeight));
    const CGFloat top = navigationBarHidden_ ? 0 : kBarHeight;
    const CGFloat bottom = toolbarHidden_ ? 0 : kBarHeight;
    contentView_->setFrame(CGRectMake(0, top, b.size.width, std::max<CGFloat>(0, b.size.height - top - bottom)));
}

void UINavigationController::showInContent(const Ref<UIViewController>& controller)
{
    if (!controller || !contentView_) {
        return;
    }
    Ref<UIView> view = controller->view();
    view->setFrame(contentView_->bounds());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    if (view->superview() != contentView_) {
        contentView_->addSubview(view);
    }
}

void UINavigationController::prepareAppearanceChildren(bool appearing)
{
    if (appearing) {
        view();
        showInContent(topViewController());
    }
}

bool UINavigationController::onScreen()
{
    if (!isViewLoaded()) {
        return false;
    }
    Ref<UIWindow> window = view()->window();
    return window && !window->isHidden();
}

void UINavigationController::viewWillAppear(bool animated)
{
    UIViewController::viewWillAppear(animated);
    if (Ref<UIViewController> top = topViewController()) {
        showInContent(top);
        top->beginAppearanceTransition(true, animated);
    }
}

void UINavigationController::viewDidAppear(bool animated)
{
    UIViewController::viewDidAppear(animated);
    if (Ref<UIViewController> top = topViewController(); top && top->isVisible()) {
        top->endAppearanceTransition();
    }
}

void UINavigationController::viewWillDisappear(bool animated)
{
    UIViewController::viewWillDisappear(animated);
    if (Ref<UIViewController> top = topViewController()) {
        top->beginAppearanceTransition(false, animated);
    }
}

void UINavigationController::viewDidDisappear(bool animated)
{
    UIViewController::viewDidDisappear(animated);
    if (Ref<UIViewController> top = topViewController(); top && !top->isVisible()) {
        top->endAppearanceTransition();
    }
}

std::vector<Ref<UIViewController>> UINavigationController::childrenForAppearance() const
{
    Ref<UIViewController> top = topViewController();
    if (top && top->isViewLoaded() && contentView_ && top->view()->superview() == contentView_) {
        return {top};
    }
    return {};
}

Ref<UIViewController> UINavigationController::topViewController() const
{
    const auto& stack = childViewControllers();
    return stack.empty() ? nullptr : stack.back();
}

Ref<UIViewController> UINavigationController::visibleViewController() const
{
    if (Ref<UIViewController> presented = modalViewController()) {
        return presented;
    }
    return topViewController();
}

void UINavigationController::updateBarItems(bool animated)
{
    std::vector<Ref<UINavigationItem>> items;
    for (const Ref<UIViewController>& controller : childViewControllers()) {
        items.push_back(controller->navigationItem());
    }
    // The bar's title and buttons move with the screens' slide when the change is animated.
    navigationBar_->setItems_animated(std::move(items), animated);
    Ref<UIViewController> top = topViewController();
    toolbar_->setItems(top ? top->toolbarItems() : std::vector<Ref<UIBarButtonItem>>{});
}

void UINavigationController::childBarItemsDidChange(UIViewController* child)
{
    if (topViewController().get() == child) {
        toolbar_->setItems(child->toolbarItems());
    }
}

void UINavigationController::replaceStack(std::vector<Ref<UIViewController>> controllers, bool animated)
{
    Ref<UINavigationController> me = self<UINavigationController>();
    finishTransition();
    for (size_t i = 0; i < controllers.size(); ++i) {
        if (!controllers[i]) {
            NSException::raise(NSInvalidArgumentException, "Application tried to push a nil view controller");
        }
        for (size_t j = 0; j < i; ++j) {
            if (controllers[i] == controllers[j]) {
                NSException::raise(NSInvalidArgumentException,
                                   "Pushing the same view controller instance more than once is not supported");
            }
        }
        Ref<UIViewController> parent = controllers[i]->parentViewController();
        if (controllers[i]->presentingViewController() && !parent) {
            NSException::raise(NSInvalidArgumentException, "Pushing a presented view controller is not supported");
        }
    }
    const std::vector<Ref<UIViewController>> old = childViewControllers();
    Ref<UIViewController> oldTop = topViewController();
    Ref<UIViewController> newTop = controllers.empty() ? nullptr : controllers.back();
    std::vector<Ref<UIViewController>> removed;
    for (const Ref<UIViewController>& controller : old) {
        if (std::find(controllers.begin(), controllers.end(), controller) == controllers.end()) {
            removed.push_back(controller);
        }
    }
    for (const Ref<UIViewController>& controller : controllers) {
        controller->setParentViewControllerDirect(me);
    }
    setChildViewControllersDirect(controllers);
    updateBarItems(animated);

    auto release = [me, removed] {
        for (const Ref<UIViewController>& controller : removed) {
            if (controller->parentViewController() == me &&
                std::find(me->childViewControllers().begin(), me->childViewControllers().end(), controller) ==
                    me->childViewControllers().end()) {
                controller->setParentViewControllerDirect(nullptr);
            }
        }
    };
    if (oldTop == newTop) {
        release();
        return;
    }
    const bool onShow = onScreen();
    if (onShow && newTop) {
        if (auto delegate = delegate_.lock()) {
            delegate->navigationController_willShowViewController_animated(me, newTop, animated);
        }
    }
    runTransition(
        oldTop, newTop, animated && onShow, UINavigationTransitionDuration, TransitionOrder::Navigation, onShow,
        [me, oldTop, newTop, onShow, animated, pushing = oldTop && newTop &&
                                                          std::find(old.begin(), old.end(), newTop) == old.end()] {
            if (me->isViewLoaded() && (onShow || newTop->isViewLoaded())) {
                me->showInContent(newTop);
            }
            if (animated && onShow && oldTop && newTop && oldTop->isViewLoaded() &&
                newTop->view()->superview() == me->contentView_) {
                // A push slides the new screen in from the right and the old one out to the left; a pop
                // the other way round.
                const CGFloat width = me->contentView_->bounds().size.width;
                const CGFloat shift = pushing ? width : -width;
                const CGPoint in = newTop->view()->layer()->position();
                const CGPoint out = oldTop->view()->layer()->position();
                addTransitionSlide(newTop->view(), CGPointMake(in.x + shift, in.y), in, UINavigationTransitionDuration);
                addTransitionSlide(oldTop->view(), out, CGPointMake(out.x - shift, out.y),
                                   UINavigationTransitionDuration);
            }
        },
        [me, oldTop, newTop, release] {
            if (oldTop && oldTop->isViewLoaded()) removeTransitionSlide(oldTop->view());
            if (newTop && newTop->isViewLoaded()) removeTransitionSlide(newTop->view());
            if (oldTop && oldTop != me->topViewController() && oldTop->isViewLoaded() &&
                oldTop->view()->superview() == me->contentView_) {
                oldTop->view()->removeFromSuperview();
            }
            release();
        },
        [me, newTop, animated, onShow] {
            if (!onShow || !newTop) {
                return;
            }
            if (auto delegate = me->delegate_.lock()) {
                delegate->navigationController_didShowViewController_animated(me, newTop, animated);
            }
        });
}

void UINavigationController::pushViewController_animated(const Ref<UIViewController>& controller, bool animated)
{
    if (!controller) {
        NSException::raise(NSInvalidArgumentException, "Application tried to push a nil view controller on target " +
                                                            description() + ".");
    }
    if (std::dynamic_pointer_cast<UINavigationController>(controller)) {
        NSException::raise(NSInvalidArgumentException, "Pushing a navigation controller is not supported");
    }
    Ref<UIViewController> parent = controller->parentViewController();
    if (parent && parent.get() != this && !controller->presentingViewController()) {
        NSException::raise(NSInvalidArgumentException,
                           "Pushing a view controller that is the child of another controller is not supported");
    }
    std::vector<Ref<UIViewController>> stack = childViewControllers();
    stack.push_back(controller);
    replaceStack(std::move(stack), animated);
}

Ref<UIViewController> UINavigationController::popViewControllerAnimated(bool animated)
{
    std::vector<Ref<UIViewController>> stack = childViewControllers();
    if (stack.size() <= 1) {
        return nullptr;
    }
    Ref<UIViewController> popped = stack.back();
    stack.pop_back();
    replaceStack(std::move(stack), animated);
    return popped;
}

std::vector<Ref<UIViewController>> UINavigationController::popToRootViewControllerAnimated(bool animated)
{
    if (childViewControllers().empty()) {
        return {};
    }
    return popToViewController_animated(childViewControllers().front(), animated);
}

std::vector<Ref<UIViewController>> UINavigationController::popToViewController_animated(
    const Ref<UIViewController>& controller, bool animated)
{
    std::vector<Ref<UIViewController>> stack = childViewControllers();
    auto it = std::find(stack.begin(), stack.end(), controller);
    if (it == stack.end()) {
        NSException::raise(NSInvalidArgumentException, "Tried to pop to a view controller that doesn't exist.");
    }
    std::vector<Ref<UIViewController>> popped(it + 1, stack.end());
    if (popped.empty()) {
        return popped;
    }
    stack.erase(it + 1, stack.end());
    replaceStack(std::move(stack), animated);
    return popped;
}

void UINavigationController::setViewControllers_animated(std::vector<Ref<UIViewController>> controllers,
                                                         bool animated)
{
    replaceStack(std::move(controllers), animated);
}

Ref<UINavigationBar> UINavigationController::navigationBar() { return navigationBar_; }

Ref<UIToolbar> UINavigationController::toolbar() { return toolbar_; }

void UINavigationController::setNavigationBarHidden_animated(bool hidden, bool animated)
{
    navigationBarHidden_ = hidden;
    navigationBar_->setHidden(hidden);
    layoutBars();
}

void UINavigationController::setToolbarHidden_animated(bool hidden, bool animated)
{
    toolbarHidden_ = hidden;
    toolbar_->setHidden(hidden);
    layoutBars();
}

bool UINavigationController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    Ref<UIViewController> top = topViewController();
    return top ? top->shouldAutorotateToInterfaceOrientation(orientation)
               : UIViewController::shouldAutorotateToInterfaceOrientation(orientation);
}

bool UINavigationController::navigationBar_shouldPopItem(const Ref<UINavigationBar>& bar,
                                                         const Ref<UINavigationItem>& item)
{
    Ref<UIViewController> top = topViewController();
    if (top && childViewControllers().size() > 1 && top->navigationItem() == item) {
        popViewControllerAnimated(true);
        return false;  // the bar's items follow the stack
    }
    return true;
}
