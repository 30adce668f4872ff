#include "platform/uikit/UIWindow.h"

#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIViewController.h"

namespace {
constexpr double kMultipleTapInterval = 0.35;  // seconds between taps that count as one multiple tap
constexpr CGFloat kMultipleTapDistance = 20;   // points
}  // namespace

void UIWindow::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    layer()->setHidden(true);  // windows start hidden
    UIApplication::sharedApplication()->registerWindow(self<UIWindow>());
}

UIWindow::~UIWindow() = default;

Ref<UIScreen> UIWindow::screen() const { return UIScreen::mainScreen(); }

bool UIWindow::isKeyWindow() const { return UIApplication::sharedApplication()->keyWindow().get() == this; }

void UIWindow::makeKeyWindow()
{
    auto application = UIApplication::sharedApplication();
    Ref<UIWindow> old = application->keyWindow();
    if (old.get() == this) {
        return;
    }
    if (old) {
        old->resignKeyWindow();
    }
    application->setKeyWindow(self<UIWindow>());
    becomeKeyWindow();
}

void UIWindow::makeKeyAndVisible()
{
    makeKeyWindow();
    setHidden(false);
}

void UIWindow::setHidden(bool hidden)
{
    const bool wasHidden = isHidden();
    Ref<UIViewController> root = rootViewController_;
    const bool rootShown = root && root->isViewLoaded() && root->view()->superview().get() == this;
    if (rootShown && wasHidden && !hidden) {
        root->beginAppearanceTransition(true, false);
        UIView::setHidden(hidden);
        root->endAppearanceTransition();
        // A controller presented over the root while the window was hidden shows now, over it, as on
        // the phone (an application may present its first screen before making its window visible).
        Ref<UIViewController> top;
        for (Ref<UIViewController> c = root->modalViewController(); c; c = c->modalViewController()) {
            top = c;
        }
        if (top && !(top->isViewLoaded() && top->view()->window().get() == this)) {
            Ref<UIView> view = top->view();
            placeControllerView(view);
            top->beginAppearanceTransition(true, false);
            addSubview(view);
            top->endAppearanceTransition();
        }
    } else if (rootShown && !wasHidden && hidden) {
        root->beginAppearanceTransition(false, false);
        UIView::setHidden(hidden);
        root->endAppearanceTransition();
    } else {
        UIView::setHidden(hidden);
    }
}

void UIWindow::placeControllerView(const Ref<UIView>& view)
{
    view->setFrame(convertRect_fromView(UIScreen::mainScreen()->applicationFrame(), nullptr));
    // The status bar covers the strip above the application's frame: a screen's content (a cover
    // stretched by a pull, a view moved up by scrolling) never paints into it.
    view->setClipsToBounds(true);
}

void UIWindow::setRootViewController(const Ref<UIViewController>& controller)
{
    if (controller == rootViewController_) {
        return;
    }
    const bool visible = !isHidden();
    Ref<UIViewController> old = rootViewController_;
    if (old && old->isViewLoaded() && old->view()->superview().get() == this) {
        if (visible) old->beginAppearanceTransition(false, false);
        old->view()->removeFromSuperview();
        if (visible) old->endAppearanceTransition();
    }
    rootViewController_ = controller;
    if (controller) {
        Ref<UIView> view = controller->view();
        placeControllerView(view);
        if (visible) controller->beginAppearanceTransition(true, false);
        addSubview(view);
        if (visible) controller->endAppearanceTransition();
    }
}

CGPoint UIWindow::convertPoint_toWindow(CGPoint point, const Ref<UIWindow>& window) const
{
    if (!window) {
        return layer()->convertPoint_toLayer(point, nullptr);  // screen coordinates
    }
    return convertPoint_toView(point, window);
}

CGPoint UIWindow::convertPoint_fromWindow(CGPoint point, const Ref<UIWindow>& window) const
{
    if (!window) {
        return layer()->convertPoint_fromLayer(point, nullptr);
    }
    return convertPoint_fromView(point, window);
}

Ref<UIResponder> UIWindow::nextResponder() const { return UIApplication::sharedApplication(); }

void UIWindow::sendEvent(const Ref<UIEvent>& event)
{
    // Gesture recognisers see the touches first and may take some away from their views. Then one
    // call per view and phase, with the touches of that view in that phase.
    const UITouchSet all = UIGestureRecognizer::touchesForViews(event);
    std::vector<bool> done(all.count(), false);
    for (size_t i = 0; i < all.count(); ++i) {
        if (done[i]) {
            continue;
        }
        const Ref<UITouch>& first = all.touches[i];
        UITouchSet set;
        for (size_t j = i; j < all.count(); ++j) {
            const Ref<UITouch>& t = all.touches[j];
            if (!done[j] && t->view() == first->view() && t->phase() == first->phase()) {
                set.touches.push_back(t);
                done[j] = true;
            }
        }
        Ref<UIView> view = first->view();
        if (!view) {
            continue;
        }
        switch (first->phase()) {
        case UITouchPhaseBegan:
            view->touchesBegan_withEvent(set, event);
            break;
        case UITouchPhaseMoved:
            view->touchesMoved_withEvent(set, event);
            break;
        case UITouchPhaseEnded:
            view->touchesEnded_withEvent(set, event);
            break;
        case UITouchPhaseCancelled:
            view->touchesCancelled_withEvent(set, event);
            break;
        default:
            break;  // stationary touches are not delivered
        }
    }
}

void UIWindow::deliver(const Ref<UITouch>& touch, UITouchPhase phase)
{
    Ref<UIWindow> keep = self<UIWindow>();
    const double now = Clock::now();
    auto event = std::make_shared<UIEvent>();
    event->setTimestamp(now);
    UITouchSet touches;
    for (auto& [finger, other] : touches_) {
        if (other != touch) {
            other->setPhase(UITouchPhaseStationary);
            touches.touches.push_back(other);
        }
    }
    touch->setPhase(phase);
    touch->setTimestamp(now);
    touches.touches.push_back(touch);
    event->setTouches(std::move(touches));
    UIApplication::sharedApplication()->sendEvent(event);
}

Ref<UIView> UIWindow::simulateTouchBegan(CGPoint point, int finger)
{
    auto application = UIApplication::sharedApplication();
    if (touches_.count(finger) != 0 || application->isIgnoringInteractionEvents()) {
        return nullptr;
    }
    Ref<UIView> hit = hitTest_withEvent(point, std::make_shared<UIEvent>());
    if (!hit) {
        return nullptr;
    }
    for (const auto& [other, touch] : touches_) {
        const Ref<UIView>& tracking = touch->view();
        if (tracking && tracking != hit && (tracking->isExclusiveTouch() || hit->isExclusiveTouch())) {
            return nullptr;
        }
    }
    const double now = Clock::now();
    NSUInteger taps = 1;
    if (lastTapTime_ >= 0 && now - lastTapTime_ <= kMultipleTapInterval &&
        std::hypot(point.x - lastTapPoint_.x, point.y - lastTapPoint_.y) <= kMultipleTapDistance) {
        taps = lastTapCount_ + 1;
    }
    auto touch = std::make_shared<UITouch>();
    touch->setView(hit);
    touch->setWindow(weakSelf<UIWindow>());
    touch->moveTo(point);
    touch->moveTo(point);
    touch->setTapCount(taps);
    touches_[finger] = touch;
    deliver(touch, UITouchPhaseBegan);
    return hit;
}

void UIWindow::simulateTouchMoved(CGPoint point, int finger)
{
    auto it = touches_.find(finger);
    if (it == touches_.end()) {
        return;
    }
    Ref<UITouch> touch = it->second;
    touch->moveTo(point);
    deliver(touch, UITouchPhaseMoved);
}

void UIWindow::simulateTouchEnded(CGPoint point, int finger)
{
    auto it = touches_.find(finger);
    if (it == touches_.end()) {
        return;
    }
    Ref<UITouch> touch = it->second;
    if (point != touch->windowLocation()) {
        touch->moveTo(point);
    }
    deliver(touch, UITouchPhaseEnded);
    touches_.erase(finger);
    lastTapTime_ = Clock::now();
    lastTapPoint_ = point;
    lastTapCount_ = touch->tapCount();
}

void UIWindow::simulateTouchEnded(int finger)
{
    auto it = touches_.find(finger);
    if (it != touches_.end()) {
        simulateTouchEnded(it->second->windowLocation(), finger);
    }
}

void UIWindow::simulateTouchCancelled(int finger)
{
    auto it = touches_.find(finger);
    if (it == touches_.end()) {
        return;
    }
    Ref<UITouch> touch = it->second;
    deliver(touch, UITouchPhaseCancelled);
    touches_.erase(finger);
}

Ref<UIView> UIWindow::simulateTap(CGPoint point, int finger)
{
    Ref<UIView> view = simulateTouchBegan(point, finger);
    if (view) {
        simulateTouchEnded(point, finger);
    }
    return view;
}
