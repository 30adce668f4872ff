#include "platform/uikit/UIGestureRecognizer.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITouch.h"
#include "platform/uikit/UIView.h"

namespace {

constexpr CGFloat kTapSlop = 10;
constexpr CGFloat kPanThreshold = 10;
constexpr CGFloat kSwipeDistance = 50;
constexpr CGFloat kSwipeStray = 30;

bool recognising(UIGestureRecognizerState state)
{
    return state == UIGestureRecognizerStateBegan || state == UIGestureRecognizerStateChanged ||
           state == UIGestureRecognizerStateEnded;
}

bool terminal(UIGestureRecognizerState state)
{
    return state == UIGestureRecognizerStateEnded || state == UIGestureRecognizerStateCancelled ||
           state == UIGestureRecognizerStateFailed;
}

bool following(UIGestureRecognizerState state)
{
    return state == UIGestureRecognizerStatePossible || state == UIGestureRecognizerStateBegan ||
           state == UIGestureRecognizerStateChanged;
}

bool singleTap(const Ref<UIGestureRecognizer>& g)
{
    auto tap = std::dynamic_pointer_cast<UITapGestureRecognizer>(g);
    return tap && tap->numberOfTapsRequired() == 1 && tap->numberOfTouchesRequired() == 1;
}

CGFloat distance(CGPoint a, CGPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

// A vector in window coordinates seen in a view's coordinates, and back (nil: the window).
CGPoint vectorFromWindow(CGPoint v, const Ref<UIView>& view)
{
    if (!view) {
        return v;
    }
    const CGPoint a = view->convertPoint_fromView(CGPointZero, nullptr);
    const CGPoint b = view->convertPoint_fromView(v, nullptr);
    return CGPointMake(b.x - a.x, b.y - a.y);
}

CGPoint vectorToWindow(CGPoint v, const Ref<UIView>& view)
{
    if (!view) {
        return v;
    }
    const CGPoint a = view->convertPoint_toView(CGPointZero, nullptr);
    const CGPoint b = view->convertPoint_toView(v, nullptr);
    return CGPointMake(b.x - a.x, b.y - a.y);
}

}  // namespace

// --- Routing of the window's touches ---

struct GestureRouting {
    struct Route {
        std::vector<Ref<UIGestureRecognizer>> recognizers;
        bool takenFromView = false;
        bool viewSawBegin = false;
        bool viewSawCancel = false;
    };

    static std::map<const UITouch*, Route>& routes()
    {
        static auto* instance = new std::map<const UITouch*, Route>;
        return *instance;
    }

    static void recognized(const Ref<UIGestureRecognizer>& winner, Route& route)
    {
        for (const Ref<UIGestureRecognizer>& other : route.recognizers) {
            if (other == winner || other->state_ != UIGestureRecognizerStatePossible) {
                continue;
            }
            bool together = false;
            if (auto d = winner->delegate_.lock()) {
                together = d->gestureRecognizer_shouldRecognizeSimultaneouslyWithGestureRecognizer(winner, other);
            }
            if (auto d = other->delegate_.lock(); !together && d) {
                together = d->gestureRecognizer_shouldRecognizeSimultaneouslyWithGestureRecognizer(other, winner);
            }
            if (!together) {
                other->setState(UIGestureRecognizerStateFailed);
            }
        }
    }

    static UITouchSet route(const Ref<UIEvent>& event)
    {
        UITouchSet forViews;
        for (const Ref<UITouch>& touch : event->allTouches()) {
            const UITouchPhase phase = touch->phase();
            if (phase == UITouchPhaseStationary) {
                forViews.touches.push_back(touch);
                continue;
            }
            Route& route = routes()[touch.get()];
            if (phase == UITouchPhaseBegan) {
                route = Route{};
                // A control's own action wins over a single tap that a view around it recognises (a
                // button or a field inside a view that dismisses the keyboard on a tap still works).
                Ref<UIView> control;
                for (Ref<UIView> view = touch->view(); view && !control; view = view->superview()) {
                    if (std::dynamic_pointer_cast<UIControl>(view)) {
                        control = view;
                    }
                }
                bool aroundControl = false;
                for (Ref<UIView> view = touch->view(); view; view = view->superview()) {
                    std::vector<Ref<UIGestureRecognizer>> ofView = view->gestureRecognizers();
                    if (Ref<UIGestureRecognizer> own = view->builtInGestureRecognizer()) {
                        ofView.insert(ofView.begin(), own);
                    }
                    if (auto table = std::dynamic_pointer_cast<UITableView>(view)) {
                        if (Ref<UIGestureRecognizer> swipe = table->swipeToDeleteRecognizer()) {
                            ofView.insert(ofView.begin() + (ofView.empty() ? 0 : 1), swipe);
                        }
                    }
                    for (const Ref<UIGestureRecognizer>& g : ofView) {
                        if (!g->enabled_) {
                            continue;
                        }
                        if (terminal(g->state_)) {
                            g->resetToPossible();
                        }
                        if (aroundControl && singleTap(g)) {
                            continue;
                        }
                        if (auto d = g->delegate_.lock(); d && !d->gestureRecognizer_shouldReceiveTouch(g, touch)) {
                            continue;
                        }
                        route.recognizers.push_back(g);
                        g->touches_.push_back(touch);
                    }
                    if (view == control) {
                        aroundControl = true;
                    }
                }
            }
            const UITouchSet one{{touch}};
            const std::vector<Ref<UIGestureRecognizer>> recognizers = route.recognizers;
            for (const Ref<UIGestureRecognizer>& g : recognizers) {
                const UIGestureRecognizerState before = g->state_;
                if (!following(before)) {
                    continue;
                }
                switch (phase) {
                case UITouchPhaseBegan:
                    g->touchesBegan_withEvent(one, event);
                    break;
                case UITouchPhaseMoved:
                    g->touchesMoved_withEvent(one, event);
                    break;
                case UITouchPhaseEnded:
                    g->touchesEnded_withEvent(one, event);
                    break;
                default:
                    g->touchesCancelled_withEvent(one, event);
                    break;
                }
                if (before == UIGestureRecognizerStatePossible && recognising(g->state_)) {
                    recognized(g, route);
                }
            }
            for (const Ref<UIGestureRecognizer>& g : route.recognizers) {
                if (recognising(g->state_) && g->cancelsTouchesInView_) {
                    route.takenFromView = true;
                }
            }
            if (!route.takenFromView) {
                forViews.touches.push_back(touch);
                if (phase == UITouchPhaseBegan) {
                    route.viewSawBegin = true;
                }
            } else if (route.viewSawBegin && !route.viewSawCancel) {
                touch->setPhase(UITouchPhaseCancelled);
                forViews.touches.push_back(touch);
                route.viewSawCancel = true;
            }
            if (phase == UITouchPhaseEnded || phase == UITouchPhaseCancelled) {
                for (const Ref<UIGestureRecognizer>& g : route.recognizers) {
                    auto& tracked = g->touches_;
                    tracked.erase(std::remove(tracked.begin(), tracked.end(), touch), tracked.end());
                    if (tracked.empty() && terminal(g->state_)) {
                        g->resetToPossible();
                    }
                }
                routes().erase(touch.get());
            }
        }
        return forViews;
    }
};

UITouchSet UIGestureRecognizer::touchesForViews(const Ref<UIEvent>& event) { return GestureRouting::route(event); }

// --- UIView's side ---

void UIView::addGestureRecognizer(const Ref<UIGestureRecognizer>& recognizer)
{
    if (!recognizer) {
        return;
    }
    if (Ref<UIView> old = recognizer->view(); old && old.get() != this) {
        old->removeGestureRecognizer(recognizer);
    }
    if (std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer) == gestureRecognizers_.end()) {
        gestureRecognizers_.push_back(recognizer);
    }
    recognizer->setView(self<UIView>());
}

void UIView::removeGestureRecognizer(const Ref<UIGestureRecognizer>& recognizer)
{
    auto it = std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer);
    if (it == gestureRecognizers_.end()) {
        return;
    }
    gestureRecognizers_.erase(it);
    recognizer->setView(nullptr);
}

// --- The base recogniser ---

UIGestureRecognizer::~UIGestureRecognizer() = default;

void UIGestureRecognizer::initWithTarget_actionBody(const Ref<NSObject>& target, UISelector action)
{
    NSObject::initBody();
    if (action) {
        addTarget_action(target, std::move(action));
    }
}

void UIGestureRecognizer::addTarget_action(const Ref<NSObject>& target, UISelector action)
{
    for (const UITargetAction& pair : targets_) {
        if (pair.identity == target.get() && pair.action.name() == action.name()) {
            return;
        }
    }
    targets_.emplace_back(target, std::move(action));
}

void UIGestureRecognizer::removeTarget_action(const Ref<NSObject>& target, const std::string& actionName)
{
    targets_.erase(std::remove_if(targets_.begin(), targets_.end(),
                                  [&](const UITargetAction& pair) {
                                      return (!target || pair.identity == target.get()) &&
                                             (actionName.empty() || pair.action.name() == actionName);
                                  }),
                   targets_.end());
}

void UIGestureRecognizer::setEnabled(bool enabled)
{
    enabled_ = enabled;
    if (!enabled) {
        if (state_ == UIGestureRecognizerStateBegan || state_ == UIGestureRecognizerStateChanged) {
            setState(UIGestureRecognizerStateCancelled);
        }
        touches_.clear();
        resetToPossible();
    }
}

void UIGestureRecognizer::setState(UIGestureRecognizerState state)
{
    Ref<UIGestureRecognizer> me = self<UIGestureRecognizer>();
    const UIGestureRecognizerState old = state_;
    if (old == UIGestureRecognizerStatePossible &&
        (state == UIGestureRecognizerStateBegan || state == UIGestureRecognizerStateEnded)) {
        if (auto d = delegate_.lock(); d && !d->gestureRecognizerShouldBegin(me)) {
            state_ = UIGestureRecognizerStateFailed;
            return;
        }
    }
    state_ = state;
    if (state == UIGestureRecognizerStateBegan || state == UIGestureRecognizerStateChanged ||
        state == UIGestureRecognizerStateEnded || state == UIGestureRecognizerStateCancelled) {
        const std::vector<UITargetAction> targets = targets_;
        for (const UITargetAction& pair : targets) {
            pair.send(me);
        }
    }
}

void UIGestureRecognizer::resetToPossible()
{
    state_ = UIGestureRecognizerStatePossible;
    reset();
}

UIGestureRecognizerState UIGestureRecognizer::simulateState(UIGestureRecognizerState state)
{
    if (!enabled_) {
        return state_;
    }
    if (terminal(state_) && state != state_) {
        resetToPossible();
    }
    setState(state);
    return state_;
}

void UIGestureRecognizer::setSimulatedLocation(CGPoint location)
{
    hasSimulatedLocation_ = true;
    simulatedLocation_ = location;
}

CGPoint UIGestureRecognizer::locationInView(const Ref<UIView>& view) const
{
    Ref<UIView> own = view_.lock();
    if (hasSimulatedLocation_) {
        if (!own) {
            return simulatedLocation_;
        }
        return own->convertPoint_toView(simulatedLocation_, view);
    }
    if (touches_.empty()) {
        return CGPointZero;
    }
    CGPoint sum = CGPointZero;
    for (const Ref<UITouch>& touch : touches_) {
        const CGPoint p = touch->locationInView(view);
        sum.x += p.x;
        sum.y += p.y;
    }
    return CGPointMake(sum.x / CGFloat(touches_.size()), sum.y / CGFloat(touches_.size()));
}

CGPoint UIGestureRecognizer::locationOfTouch_inView(NSUInteger index, const Ref<UIView>& view) const
{
    if (index >= touches_.size()) {
        return locationInView(view);
    }
    return touches_[index]->locationInView(view);
}

// --- Tap ---

void UITapGestureRecognizer::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    start_ = touches.anyObject()->windowLocation();
    if (trackedTouches().size() > touchesRequired_) {
        setState(UIGestureRecognizerStateFailed);
    }
}

void UITapGestureRecognizer::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    if (distance(touches.anyObject()->windowLocation(), start_) > kTapSlop) {
        setState(UIGestureRecognizerStateFailed);
    }
}

void UITapGestureRecognizer::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    Ref<UITouch> touch = touches.anyObject();
    if (distance(touch->windowLocation(), start_) > kTapSlop) {
        setState(UIGestureRecognizerStateFailed);
    } else if (touch->tapCount() >= tapsRequired_ && trackedTouches().size() >= touchesRequired_) {
        setState(UIGestureRecognizerStateEnded);
    }
}

// --- Pan ---

CGPoint UIPanGestureRecognizer::translationInView(const Ref<UIView>& view) const
{
    return vectorFromWindow(translation_, view);
}

void UIPanGestureRecognizer::setTranslation_inView(CGPoint translation, const Ref<UIView>& view)
{
    translation_ = vectorToWindow(translation, view);
    start_ = CGPointMake(last_.x - translation_.x, last_.y - translation_.y);
}

CGPoint UIPanGestureRecognizer::velocityInView(const Ref<UIView>& view) const { return vectorFromWindow(velocity_, view); }

UIGestureRecognizerState UIPanGestureRecognizer::simulatePan(UIGestureRecognizerState state, CGPoint translation,
                                                             CGPoint velocity)
{
    translation_ = vectorToWindow(translation, view());
    velocity_ = vectorToWindow(velocity, view());
    return simulateState(state);
}

void UIPanGestureRecognizer::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    Ref<UITouch> touch = touches.anyObject();
    start_ = last_ = touch->windowLocation();
    lastTime_ = touch->timestamp();
    translation_ = CGPointZero;
    velocity_ = CGPointZero;
    if (trackedTouches().size() > maximumTouches_) {
        setState(UIGestureRecognizerStateFailed);
    }
}

void UIPanGestureRecognizer::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    Ref<UITouch> touch = touches.anyObject();
    const CGPoint p = touch->windowLocation();
    const double dt = touch->timestamp() - lastTime_;
    if (dt > 0) {
        velocity_ = CGPointMake((p.x - last_.x) / dt, (p.y - last_.y) / dt);
    }
    last_ = p;
    lastTime_ = touch->timestamp();
    translation_ = CGPointMake(p.x - start_.x, p.y - start_.y);
    if (state() == UIGestureRecognizerStatePossible) {
        if (trackedTouches().size() >= minimumTouches_ && std::hypot(translation_.x, translation_.y) >= kPanThreshold) {
            setState(UIGestureRecognizerStateBegan);
        }
    } else {
        setState(UIGestureRecognizerStateChanged);
    }
}

void UIPanGestureRecognizer::touchesEnded_withEvent(const UITouchSet&, const Ref<UIEvent>&)
{
    if (state() == UIGestureRecognizerStateBegan || state() == UIGestureRecognizerStateChanged) {
        setState(UIGestureRecognizerStateEnded);
    } else {
        setState(UIGestureRecognizerStateFailed);
    }
}

// --- Swipe ---

void UISwipeGestureRecognizer::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    start_ = touches.anyObject()->windowLocation();
}

void UISwipeGestureRecognizer::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    const CGPoint p = touches.anyObject()->windowLocation();
    const CGFloat dx = p.x - start_.x;
    const CGFloat dy = p.y - start_.y;
    const bool right = (direction_ & UISwipeGestureRecognizerDirectionRight) && dx >= kSwipeDistance;
    const bool left = (direction_ & UISwipeGestureRecognizerDirectionLeft) && -dx >= kSwipeDistance;
    const bool down = (direction_ & UISwipeGestureRecognizerDirectionDown) && dy >= kSwipeDistance;
    const bool up = (direction_ & UISwipeGestureRecognizerDirectionUp) && -dy >= kSwipeDistance;
    if (((right || left) && std::fabs(dy) < kSwipeStray) || ((up || down) && std::fabs(dx) < kSwipeStray)) {
        if (trackedTouches().size() >= touchesRequired_) {
            setState(UIGestureRecognizerStateEnded);
        }
    }
}

void UISwipeGestureRecognizer::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    touchesMoved_withEvent(touches, event);
    if (state() == UIGestureRecognizerStatePossible) {
        setState(UIGestureRecognizerStateFailed);
    }
}

// --- Long press ---

UILongPressGestureRecognizer::~UILongPressGestureRecognizer()
{
    if (timer_) {
        timer_->invalidate();
    }
}

void UILongPressGestureRecognizer::reset()
{
    if (timer_) {
        timer_->invalidate();
        timer_ = nullptr;
    }
}

void UILongPressGestureRecognizer::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    start_ = touches.anyObject()->windowLocation();
    if (state() != UIGestureRecognizerStatePossible || trackedTouches().size() != touchesRequired_) {
        return;
    }
    reset();
    Weak<UILongPressGestureRecognizer> weak = self<UILongPressGestureRecognizer>();
    timer_ = Clock::scheduleAfter(minimumPressDuration_, [weak] {
        auto me = weak.lock();
        if (!me) {
            return;
        }
        me->timer_ = nullptr;
        if (me->state() == UIGestureRecognizerStatePossible && !me->trackedTouches().empty()) {
            me->setState(UIGestureRecognizerStateBegan);
        }
    });
}

void UILongPressGestureRecognizer::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    if (state() == UIGestureRecognizerStatePossible) {
        if (distance(touches.anyObject()->windowLocation(), start_) > allowableMovement_) {
            reset();
            setState(UIGestureRecognizerStateFailed);
        }
    } else {
        setState(UIGestureRecognizerStateChanged);
    }
}

void UILongPressGestureRecognizer::touchesEnded_withEvent(const UITouchSet&, const Ref<UIEvent>&)
{
    reset();
    if (state() == UIGestureRecognizerStateBegan || state() == UIGestureRecognizerStateChanged) {
        setState(UIGestureRecognizerStateEnded);
    } else {
        setState(UIGestureRecognizerStateFailed);
    }
}
