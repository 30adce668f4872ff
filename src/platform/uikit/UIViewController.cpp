#include "platform/uikit/UIViewController.h"

#include <algorithm>

#include "platform/foundation/Clock.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

UIViewController::~UIViewController()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (view_ && view_->viewDelegate().get() == this) {
        view_->setViewDelegate({});
    }
}

void UIViewController::initBody() { initWithNibName_bundleBody(std::string(), nullptr); }

void UIViewController::initWithNibName_bundleBody(const std::string& nibName, const Ref<NSBundle>& bundle)
{
    NSObject::initBody();
    nibName_ = nibName;
    nibBundle_ = bundle;
    NSNotificationCenter::defaultCenter()->addObserver_selector_name_object(
        self<UIViewController>(), &UIViewController::didReceiveMemoryWarning,
        UIApplicationDidReceiveMemoryWarningNotification);
}

// --- The view ---

Ref<UIView> UIViewController::view()
{
    if (!view_) {
        Ref<UIViewController> keep = self<UIViewController>();
        loadView();
        if (!view_) {
            // A loadView that sets no view leaves the platform's plain one.
            setView(UIView::initWithFrame(UIScreen::mainScreen()->applicationFrame()));
        }
        viewDidLoad();
    }
    return view_;
}

void UIViewController::setView(const Ref<UIView>& view)
{
    if (view_ == view) {
        return;
    }
    if (view_ && view_->viewDelegate().get() == this) {
        view_->setViewDelegate({});
    }
    view_ = view;
    if (view_) {
        view_->setViewDelegate(weakSelf<UIResponder>());
    }
}

void UIViewController::loadView()
{
    std::string name = nibName_;
    if (name.empty()) {
        const std::string own = className();
        if (own != "UIViewController" && UINibRegistry::hasNib(own)) {
            name = own;
        }
    }
    if (!name.empty()) {
        UINibLoadingAdditions::loadNibNamed_owner_options(nibBundle_ ? nibBundle_ : NSBundle::mainBundle(), name,
                                                          self<UIViewController>());
        if (!view_) {
            NSException::raise(NSInternalInconsistencyException,
                               stringWithFormat("-[UIViewController _loadViewFromNibNamed:bundle:] loaded the \"%@\" "
                                                "nib but the view outlet was not set.",
                                                name));
        }
        return;
    }
    setView(UIView::initWithFrame(UIScreen::mainScreen()->applicationFrame()));
}

void UIViewController::didReceiveMemoryWarning()
{
    if (view_ && !view_->window() && !isVisible()) {
        Ref<UIViewController> keep = self<UIViewController>();
        setView(nullptr);
        viewDidUnload();
    }
}

void UIViewController::setTitle(const std::string& title)
{
    title_ = title;
    if (navigationItem_) {
        navigationItem_->setTitle(title);
    }
}

Ref<UIResponder> UIViewController::nextResponder() const { return view_ ? view_->superview() : nullptr; }

// --- Appearance ---

std::vector<Ref<UIViewController>> UIViewController::childrenForAppearance() const
{
    std::vector<Ref<UIViewController>> shown;
    if (!view_) {
        return shown;
    }
    for (const Ref<UIViewController>& child : children_) {
        if (child->view_ && child->view_->isDescendantOfView(view_)) {
            shown.push_back(child);
        }
    }
    return shown;
}

void UIViewController::beginAppearanceTransition(bool isAppearing, bool animated)
{
    Ref<UIViewController> keep = self<UIViewController>();
    // Children are told even when this controller had not been (a container that calls its
    // children's appearance by hand); each child ignores a move it has already made.
    if (isAppearing && appearState_ != Appeared && appearState_ != Appearing) {
        view();
        appearState_ = Appearing;
        appearAnimated_ = animated;
        viewWillAppear(animated);
    } else if (!isAppearing && appearState_ != Disappeared && appearState_ != Disappearing) {
        appearState_ = Disappearing;
        appearAnimated_ = animated;
        viewWillDisappear(animated);
    }
    prepareAppearanceChildren(isAppearing);
    for (const Ref<UIViewController>& child : childrenForAppearance()) {
        child->beginAppearanceTransition(isAppearing, animated);
    }
}

void UIViewController::endAppearanceTransition()
{
    Ref<UIViewController> keep = self<UIViewController>();
    const std::vector<Ref<UIViewController>> children = childrenForAppearance();
    if (appearState_ == Appearing) {
        appearState_ = Appeared;
        viewDidAppear(appearAnimated_);
    } else if (appearState_ == Disappearing) {
        appearState_ = Disappeared;
        viewDidDisappear(appearAnimated_);
    }
    for (const Ref<UIViewController>& child : children) {
        child->endAppearanceTransition();
    }
}

void UIViewController::finishTransition()
{
    // The timer owns the pending end: take it before the timer lets it go.
    std::shared_ptr<PendingTransition> pending = transition_.lock();
    if (Ref<NSTimer> timer = transitionTimer_.lock()) {
        timer->invalidate();
    }
    transitionTimer_.reset();
    transition_.reset();
    if (pending) {
        std::function<void()> end = std::move(pending->end);
        pending->end = nullptr;
        if (end) {
            end();
        }
    }
}

namespace {
constexpr char kTransitionSlideKey[] = "transitionSlide";
}

void UIViewController::addTransitionSlide(const Ref<UIView>& view, CGPoint from, CGPoint to, double duration)
{
    if (!view) {
        return;
    }
    auto slide = CABasicAnimation::animationWithKeyPath("position");
    slide->setFromValue(from);
    slide->setToValue(to);
    slide->setDuration(duration);
    slide->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    slide->setFillMode(kCAFillModeForwards);
    slide->setRemovedOnCompletion(false);
    view->layer()->addAnimation_forKey(slide, kTransitionSlideKey);
}

void UIViewController::removeTransitionSlide(const Ref<UIView>& view)
{
    if (view && view->layer()->animationForKey(kTransitionSlideKey)) {
        view->layer()->removeAnimationForKey(kTransitionSlideKey);
    }
}

void UIViewController::runTransition(const Ref<UIViewController>& from, const Ref<UIViewController>& to,
                                     bool animated, double duration, TransitionOrder order, bool onShow,
                                     const std::function<void()>& start, std::function<void()> settle,
                                     std::function<void()> done)
{
    finishTransition();
    if (onShow) {
        if (to) to->view();  // the incoming view loads before anything moves
        if (from) from->beginAppearanceTransition(false, animated);
        if (to) to->beginAppearanceTransition(true, animated);
    }
    if (start) {
        start();
    }
    auto end = [from, to, order, onShow, settle = std::move(settle), done = std::move(done)] {
        if (settle) {
            settle();
        }
        if (onShow) {
            if (order == TransitionOrder::Navigation) {
                if (from) from->endAppearanceTransition();
                if (to) to->endAppearanceTransition();
            } else {
                if (to) to->endAppearanceTransition();
                if (from) from->endAppearanceTransition();
            }
        }
        if (done) {
            done();
        }
    };
    if (!animated || duration <= 0) {
        end();
        return;
    }
    auto pending = std::make_shared<PendingTransition>();
    pending->end = std::move(end);
    transition_ = pending;
    Weak<UIViewController> weak = self<UIViewController>();
    transitionTimer_ = Clock::scheduleAfter(duration, [pending, weak] {
        std::function<void()> run = std::move(pending->end);
        pending->end = nullptr;
        if (auto me = weak.lock()) {
            if (me->transition_.lock() == pending) {
                me->transition_.reset();
                me->transitionTimer_.reset();
            }
        }
        if (run) {
            run();
        }
    });
}

// --- Rotation ---

UIInterfaceOrientation UIViewController::interfaceOrientation() const
{
    return UIApplication::sharedApplication()->statusBarOrientation();
}

void UIViewController::attemptRotationToDeviceOrientation()
{
    UIInterfaceOrientation target;
    switch (UIDevice::currentDevice()->orientation()) {
    case UIDeviceOrientationPortrait:
        target = UIInterfaceOrientationPortrait;
        break;
    case UIDeviceOrientationPortraitUpsideDown:
        target = UIInterfaceOrientationPortraitUpsideDown;
        break;
    case UIDeviceOrientationLandscapeLeft:
        target = UIInterfaceOrientationLandscapeRight;
        break;
    case UIDeviceOrientationLandscapeRight:
        target = UIInterfaceOrientationLandscapeLeft;
        break;
    default:
        return;  // face up, face down, unknown: the interface stays as it is
    }
    auto application = UIApplication::sharedApplication();
    const UIInterfaceOrientation from = application->statusBarOrientation();
    if (target == from) {
        return;
    }
    for (const Ref<UIWindow>& window : application->windows()) {
        if (window->isHidden() || !window->rootViewController()) {
            continue;
        }
        // The controller on top decides: the last presented one above the root.
        Ref<UIViewController> decider = window->rootViewController();
        while (Ref<UIViewController> presented = decider->modalViewController()) {
            decider = presented;
        }
        if (!decider->shouldAutorotateToInterfaceOrientation(target)) {
            continue;
        }
        // The controllers on show hear of the rotation, containers before their children.
        std::vector<Ref<UIViewController>> shown;
        std::function<void(const Ref<UIViewController>&)> collect = [&](const Ref<UIViewController>& c) {
            shown.push_back(c);
            for (const Ref<UIViewController>& child : c->childrenForAppearance()) {
                collect(child);
            }
        };
        collect(decider);
        const double duration = application->statusBarOrientationAnimationDuration();
        for (const Ref<UIViewController>& c : shown) {
            c->willRotateToInterfaceOrientation_duration(target, duration);
        }
        for (const Ref<UIViewController>& c : shown) {
            c->willAnimateRotationToInterfaceOrientation_duration(target, duration);
        }
        application->setStatusBarOrientation(target);
        for (const Ref<UIViewController>& c : shown) {
            c->didRotateFromInterfaceOrientation(from);
        }
        return;
    }
}

// --- Containment ---

Ref<UIViewController> UIViewController::parentViewController() const
{
    if (Ref<UIViewController> parent = parent_.lock()) {
        return parent;
    }
    return presenting_.lock();
}

Ref<UINavigationController> UIViewController::navigationController() const
{
    for (Ref<UIViewController> c = parent_.lock(); c; c = c->parent_.lock()) {
        if (auto navigation = std::dynamic_pointer_cast<UINavigationController>(c)) {
            return navigation;
        }
    }
    return nullptr;
}

void UIViewController::addChildViewController(const Ref<UIViewController>& child)
{
    if (!child || child.get() == this) {
        return;
    }
    Ref<UIViewController> me = self<UIViewController>();
    if (Ref<UIViewController> old = child->parent_.lock()) {
        if (old == me) {
            return;
        }
        child->removeFromParentViewController();
    }
    child->willMoveToParentViewController(me);
    children_.push_back(child);
    child->parent_ = me;
}

void UIViewController::removeFromParentViewController()
{
    Ref<UIViewController> keep = self<UIViewController>();
    Ref<UIViewController> parent = parent_.lock();
    if (!parent) {
        return;
    }
    auto& siblings = parent->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), keep), siblings.end());
    parent_.reset();
    didMoveToParentViewController(nullptr);
}

void UIViewController::transitionFromViewController_toViewController_duration_options_animations_completion(
    const Ref<UIViewController>& from, const Ref<UIViewController>& to, double duration,
    UIViewAnimationOptions options, const std::function<void()>& animations, std::function<void(bool)> completion)
{
    Ref<UIViewController> me = self<UIViewController>();
    if (!from || !to || from->parent_.lock() != me || to->parent_.lock() != me) {
        NSException::raise(NSInvalidArgumentException,
                           "Children view controllers must have a common parent view controller when calling "
                           "-[UIViewController transitionFromViewController:toViewController:duration:options:"
                           "animations:completion:]");
    }
    const bool onShow = isVisible();
    Ref<UIView> fromView = from->view();
    runTransition(
        from, to, duration > 0, duration, TransitionOrder::Navigation, onShow,
        [fromView, to, duration, options, animations] {
            if (Ref<UIView> superview = fromView->superview()) {
                superview->insertSubview_aboveSubview(to->view(), fromView);
            }
            if (animations) {
                UIView::animateWithDuration_delay_options_animations_completion(duration, 0, options, animations,
                                                                                nullptr);
            }
        },
        [fromView] { fromView->removeFromSuperview(); },
        [completion = std::move(completion)] {
            if (completion) {
                completion(true);
            }
        });
}

// --- Presentation ---

Ref<UIViewController> UIViewController::presentationRoot()
{
    Ref<UIViewController> c = self<UIViewController>();
    while (Ref<UIViewController> parent = c->parent_.lock()) {
        c = parent;
    }
    return c;
}

Ref<UIViewController> UIViewController::modalViewController() const
{
    if (presented_) {
        return presented_;
    }
    for (Ref<UIViewController> c = parent_.lock(); c; c = c->parent_.lock()) {
        if (c->presented_) {
            return c->presented_;
        }
    }
    return nullptr;
}

Ref<UIViewController> UIViewController::presentingViewController() const
{
    if (Ref<UIViewController> presenting = presenting_.lock()) {
        return presenting;
    }
    for (Ref<UIViewController> c = parent_.lock(); c; c = c->parent_.lock()) {
        if (Ref<UIViewController> presenting = c->presenting_.lock()) {
            return presenting;
        }
    }
    return nullptr;
}

void UIViewController::presentModalViewController_animated(const Ref<UIViewController>& controller, bool animated)
{
    presentViewController_animated_completion(controller, animated, nullptr);
}

void UIViewController::presentViewController_animated_completion(const Ref<UIViewController>& controller,
                                                                 bool animated, std::function<void()> completion)
{
    if (!controller) {
        NSException::raise(NSInvalidArgumentException,
                           stringWithFormat("Application tried to present a nil modal view controller on target %@.",
                                            description()));
    }
    Ref<UIViewController> presenter = presentationRoot();
    if (controller->parent_.lock() || controller->presenting_.lock() || controller == presenter) {
        NSException::raise(NSInvalidArgumentException,
                           stringWithFormat("Application tried to present modally an active controller %@.",
                                            description()));
    }
    presenter->finishTransition();
    if (presenter->presented_) {
        NSLog("Warning: Attempt to present %@ on %@ which is already presenting %@", controller->description(),
              presenter->description(), presenter->presented_->description());
        return;
    }
    presenter->presented_ = controller;
    controller->presenting_ = presenter;
    presenter->lastPresentationAnimated_ = animated;
    // On show when the presenter's view is in a visible window (containers that manage their
    // children's appearance by hand included).
    Ref<UIWindow> window = presenter->view_ ? presenter->view_->window() : nullptr;
    const bool onShow = window && !window->isHidden();
    controller->beingPresented_ = true;
    Ref<UIView> presenterView = presenter->view_;
    presenter->runTransition(
        presenter, controller, animated, UIModalTransitionDuration, TransitionOrder::Presentation, onShow,
        [window, controller, onShow, animated] {
            if (!onShow) {
                return;
            }
            Ref<UIView> view = controller->view();
            window->placeControllerView(view);
            window->addSubview(view);
            if (animated) {
                // Up from below the screen.
                const CGPoint at = view->layer()->position();
                addTransitionSlide(view, CGPointMake(at.x, at.y + window->bounds().size.height), at,
                                   UIModalTransitionDuration);
            }
        },
        [presenter, presenterView, controller, onShow] {
            removeTransitionSlide(controller->isViewLoaded() ? controller->view() : nullptr);
            if (!onShow || !presenterView) {
                return;
            }
            if (Ref<UIView> superview = presenterView->superview()) {
                const auto& siblings = superview->subviews();
                presenter->presenterSuperview_ = superview;
                presenter->presenterIndex_ =
                    size_t(std::find(siblings.begin(), siblings.end(), presenterView) - siblings.begin());
                presenterView->removeFromSuperview();
            }
        },
        [controller, completion = std::move(completion)] {
            controller->beingPresented_ = false;
            if (completion) {
                completion();
            }
        });
}

void UIViewController::dismissModalViewControllerAnimated(bool animated)
{
    dismissViewControllerAnimated_completion(animated, nullptr);
}

void UIViewController::dismissViewControllerAnimated_completion(bool animated, std::function<void()> completion)
{
    Ref<UIViewController> root = presentationRoot();
    if (root->presented_) {
        root->dismissPresented(animated, std::move(completion));
    } else if (Ref<UIViewController> presenter = root->presenting_.lock()) {
        presenter->dismissPresented(animated, std::move(completion));
    }
}

void UIViewController::dismissPresented(bool animated, std::function<void()> completion)
{
    Ref<UIViewController> me = self<UIViewController>();
    finishTransition();
    if (!presented_) {
        return;
    }
    // The chain of presented controllers above this one; only the top one shows.
    std::vector<Ref<UIViewController>> chain;
    for (Ref<UIViewController> c = presented_; c; c = c->presented_) {
        c->finishTransition();
        chain.push_back(c);
    }
    Ref<UIViewController> top = chain.back();
    const bool onShow = top->isVisible();
    lastPresentationAnimated_ = animated;
    for (const Ref<UIViewController>& c : chain) {
        c->beingDismissed_ = true;
    }
    runTransition(
        top, me, animated, UIModalTransitionDuration, TransitionOrder::Presentation, onShow,
        [me, top, animated, onShow] {
            // The presenter's view goes back where it was.
            Ref<UIView> superview = me->presenterSuperview_.lock();
            me->presenterSuperview_.reset();
            if (superview && me->view_ && !me->view_->superview()) {
                superview->insertSubview_atIndex(
                    me->view_, NSInteger(std::min(me->presenterIndex_, superview->subviews().size())));
            }
            if (animated && onShow && top->view_) {
                if (Ref<UIWindow> window = top->view_->window()) {
                    // Down off the screen, over the presenter.
                    const CGPoint at = top->view_->layer()->position();
                    addTransitionSlide(top->view_, at, CGPointMake(at.x, at.y + window->bounds().size.height),
                                       UIModalTransitionDuration);
                }
            }
        },
        [me, chain] {
            for (const Ref<UIViewController>& c : chain) {
                removeTransitionSlide(c->view_);
                if (c->view_ && c->view_->superview()) {
                    c->view_->removeFromSuperview();
                }
                c->presenting_.reset();
                c->presented_ = nullptr;
            }
            me->presented_ = nullptr;
        },
        [chain, completion = std::move(completion)] {
            for (const Ref<UIViewController>& c : chain) {
                c->beingDismissed_ = false;
            }
            if (completion) {
                completion();
            }
        });
}

// --- Bars and editing ---

Ref<UINavigationItem> UIViewController::navigationItem()
{
    if (!navigationItem_) {
        navigationItem_ = UINavigationItem::initWithTitle(title_);
    }
    return navigationItem_;
}

void UIViewController::setToolbarItems_animated(std::vector<Ref<UIBarButtonItem>> items, bool animated)
{
    toolbarItems_ = std::move(items);
    if (Ref<UIViewController> parent = parent_.lock()) {
        parent->childBarItemsDidChange(this);
    }
}

void UIViewController::setEditing_animated(bool editing, bool animated)
{
    editing_ = editing;
    if (editButtonItem_) {
        editButtonItem_->setTitle(editing ? "完成" : "编辑");
        editButtonItem_->setStyle(editing ? UIBarButtonItemStyleDone : UIBarButtonItemStyleBordered);
    }
}

Ref<UIBarButtonItem> UIViewController::editButtonItem()
{
    if (!editButtonItem_) {
        Weak<UIViewController> weak = self<UIViewController>();
        editButtonItem_ = UIBarButtonItem::initWithBarButtonSystemItem_target_action(
            UIBarButtonSystemItemEdit, self<UIViewController>(), UISelector::block("_toggleEditing:", [weak](const Ref<NSObject>&) {
                if (auto me = weak.lock()) {
                    me->setEditing_animated(!me->isEditing(), true);
                }
            }));
        setEditing_animated(editing_, false);
    }
    return editButtonItem_;
}
