#pragma once
// Gesture recognisers: tap, pan, swipe and long press, attached to views, sending their actions to
// targets (the recogniser is the sender) as their state moves.
//
// Touches the window delivers (UIWindow::simulateTap and the like) reach the recognisers of the
// touched view and of its superviews before the views: each recogniser is asked through its
// delegate whether it should receive the touch (gestureRecognizer:shouldReceiveTouch:), then follows
// the touch - a tap ends within 10 points of where it began; a pan begins once the touch has moved
// 10 points, changes with each move and ends with the touch (velocity from the last move on the
// process clock); a swipe is 50 points in an allowed direction, straying less than 30 across; a
// long press begins once the touch has stayed within 10 points for the minimum duration on the
// process clock. A single-tap recogniser on a view around a control (button, switch, slider, text
// field, segmented control) does not receive a touch that lands on the control: the control's own
// action wins, as on the phone. Leaving the possible state for began or recognised asks the delegate
// (gestureRecognizerShouldBegin); a refusal fails it. Once a recogniser recognises, the others on
// the same touch fail unless a delegate lets them recognise simultaneously, and when it cancels
// touches in its view (the default) the view gets touchesCancelled instead of the rest of the touch.
//
// Tests may also set states directly, as if the gesture had happened:
//   tap->simulateState(UIGestureRecognizerStateEnded);                 // with setSimulatedLocation
//   pan->simulatePan(UIGestureRecognizerStateChanged, translation, velocity);
// which send the actions of began, changed, ended and cancelled (and ask shouldBegin on leaving the
// possible state).
#include <map>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UISelector.h"

class NSTimer;
class UIEvent;
class UIGestureRecognizer;
class UITouch;
class UIView;

enum UIGestureRecognizerState : NSInteger {
    UIGestureRecognizerStatePossible = 0,
    UIGestureRecognizerStateBegan = 1,
    UIGestureRecognizerStateChanged = 2,
    UIGestureRecognizerStateEnded = 3,
    UIGestureRecognizerStateCancelled = 4,
    UIGestureRecognizerStateFailed = 5,
    UIGestureRecognizerStateRecognized = UIGestureRecognizerStateEnded,
};

class UIGestureRecognizerDelegate {
public:
    virtual ~UIGestureRecognizerDelegate() = default;
    virtual bool gestureRecognizerShouldBegin(const Ref<UIGestureRecognizer>& recognizer) { return true; }
    virtual bool gestureRecognizer_shouldRecognizeSimultaneouslyWithGestureRecognizer(
        const Ref<UIGestureRecognizer>& recognizer, const Ref<UIGestureRecognizer>& other)
    {
        return false;
    }
    virtual bool gestureRecognizer_shouldReceiveTouch(const Ref<UIGestureRecognizer>& recognizer,
                                                      const Ref<UITouch>& touch)
    {
        return true;
    }
};

class UIGestureRecognizer : public NSObject {
public:
    static Ref<UIGestureRecognizer> initWithTarget_action(const Ref<NSObject>& target, UISelector action)
    {
        return makeWithTarget<UIGestureRecognizer>(target, std::move(action));
    }
    // Constructs a T and runs its init body, as [[T alloc] initWithTarget:target action:action].
    template <class T>
    static Ref<T> makeWithTarget(const Ref<NSObject>& target, UISelector action)
    {
        auto recognizer = std::make_shared<T>();
        recognizer->initWithTarget_actionBody(target, std::move(action));
        return recognizer;
    }

    void addTarget_action(const Ref<NSObject>& target, UISelector action);
    // A nil target removes from every target; an empty name removes every action.
    void removeTarget_action(const Ref<NSObject>& target, const std::string& actionName);

    UIGestureRecognizerState state() const { return state_; }
    bool isEnabled() const { return enabled_; }
    bool enabled() const { return enabled_; }
    // Disabling a recogniser in the middle of its gesture cancels it.
    void setEnabled(bool enabled);
    Ref<UIView> view() const { return view_.lock(); }
    bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool cancels) { cancelsTouchesInView_ = cancels; }
    bool delaysTouchesBegan() const { return delaysTouchesBegan_; }
    void setDelaysTouchesBegan(bool delays) { delaysTouchesBegan_ = delays; }
    bool delaysTouchesEnded() const { return delaysTouchesEnded_; }
    void setDelaysTouchesEnded(bool delays) { delaysTouchesEnded_ = delays; }
    Ref<UIGestureRecognizerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UIGestureRecognizerDelegate>& delegate) { delegate_ = delegate; }
    void requireGestureRecognizerToFail(const Ref<UIGestureRecognizer>& other) { requiredToFail_.push_back(other); }

    // Where the gesture is, in view's coordinates (nil: the window's): the centre of its touches, or
    // the location a test set.
    virtual CGPoint locationInView(const Ref<UIView>& view) const;
    NSUInteger numberOfTouches() const { return NSUInteger(touches_.size()); }
    CGPoint locationOfTouch_inView(NSUInteger index, const Ref<UIView>& view) const;

    // --- Test driving ---
    // Moves to a state as if the gesture had, sending the actions; answers the state reached.
    UIGestureRecognizerState simulateState(UIGestureRecognizerState state);
    // The location the gesture reports, in the recogniser's view's coordinates.
    void setSimulatedLocation(CGPoint location);

    // --- For subclasses (as on the phone) ---
    // Sets the state; began, changed, ended and cancelled send the actions.
    void setState(UIGestureRecognizerState state);
    virtual void reset() {}
    virtual void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) {}
    virtual void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) {}
    virtual void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) {}
    virtual void touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
    {
        if (state_ == UIGestureRecognizerStateBegan || state_ == UIGestureRecognizerStateChanged) {
            setState(UIGestureRecognizerStateCancelled);
        } else if (state_ == UIGestureRecognizerStatePossible) {
            setState(UIGestureRecognizerStateFailed);
        }
    }

    // --- For views and the window ---
    void setView(const Ref<UIView>& view) { view_ = view; }
    // The window hands each touch event to the recognisers of the touched views first; answers the
    // touches the views still get (a touch a recogniser took away shows once as cancelled).
    static UITouchSet touchesForViews(const Ref<UIEvent>& event);

    UIGestureRecognizer() = default;
    ~UIGestureRecognizer() override;
    virtual void initWithTarget_actionBody(const Ref<NSObject>& target, UISelector action);

protected:
    // The touches being followed (for subclasses).
    const std::vector<Ref<UITouch>>& trackedTouches() const { return touches_; }

private:
    friend struct GestureRouting;
    void resetToPossible();

    std::vector<UITargetAction> targets_;
    UIGestureRecognizerState state_ = UIGestureRecognizerStatePossible;
    bool enabled_ = true;
    bool cancelsTouchesInView_ = true;
    bool delaysTouchesBegan_ = false;
    bool delaysTouchesEnded_ = true;
    Weak<UIView> view_;
    Weak<UIGestureRecognizerDelegate> delegate_;
    std::vector<Weak<UIGestureRecognizer>> requiredToFail_;
    std::vector<Ref<UITouch>> touches_;
    bool hasSimulatedLocation_ = false;
    CGPoint simulatedLocation_;
};

class UITapGestureRecognizer : public UIGestureRecognizer {
public:
    static Ref<UITapGestureRecognizer> initWithTarget_action(const Ref<NSObject>& target, UISelector action)
    {
        return makeWithTarget<UITapGestureRecognizer>(target, std::move(action));
    }
    NSUInteger numberOfTapsRequired() const { return tapsRequired_; }
    void setNumberOfTapsRequired(NSUInteger taps) { tapsRequired_ = taps; }
    NSUInteger numberOfTouchesRequired() const { return touchesRequired_; }
    void setNumberOfTouchesRequired(NSUInteger touches) { touchesRequired_ = touches; }

    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

private:
    NSUInteger tapsRequired_ = 1;
    NSUInteger touchesRequired_ = 1;
    CGPoint start_;
};

class UIPanGestureRecognizer : public UIGestureRecognizer {
public:
    static Ref<UIPanGestureRecognizer> initWithTarget_action(const Ref<NSObject>& target, UISelector action)
    {
        return makeWithTarget<UIPanGestureRecognizer>(target, std::move(action));
    }
    NSUInteger minimumNumberOfTouches() const { return minimumTouches_; }
    void setMinimumNumberOfTouches(NSUInteger touches) { minimumTouches_ = touches; }
    NSUInteger maximumNumberOfTouches() const { return maximumTouches_; }
    void setMaximumNumberOfTouches(NSUInteger touches) { maximumTouches_ = touches; }

    // In view's coordinates (points, and points per second).
    CGPoint translationInView(const Ref<UIView>& view) const;
    void setTranslation_inView(CGPoint translation, const Ref<UIView>& view);
    CGPoint velocityInView(const Ref<UIView>& view) const;

    // A test sets the pan's state, translation and velocity (in the recogniser's view) at once.
    UIGestureRecognizerState simulatePan(UIGestureRecognizerState state, CGPoint translation, CGPoint velocity);

    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

private:
    NSUInteger minimumTouches_ = 1;
    NSUInteger maximumTouches_ = NSUInteger(-1);
    CGPoint start_;          // window coordinates
    CGPoint translation_;    // window coordinates
    CGPoint velocity_;       // window coordinates per second
    CGPoint last_;
    double lastTime_ = 0;
};

using UISwipeGestureRecognizerDirection = NSUInteger;
enum : NSUInteger {
    UISwipeGestureRecognizerDirectionRight = 1 << 0,
    UISwipeGestureRecognizerDirectionLeft = 1 << 1,
    UISwipeGestureRecognizerDirectionUp = 1 << 2,
    UISwipeGestureRecognizerDirectionDown = 1 << 3,
};

class UISwipeGestureRecognizer : public UIGestureRecognizer {
public:
    static Ref<UISwipeGestureRecognizer> initWithTarget_action(const Ref<NSObject>& target, UISelector action)
    {
        return makeWithTarget<UISwipeGestureRecognizer>(target, std::move(action));
    }
    UISwipeGestureRecognizerDirection direction() const { return direction_; }
    void setDirection(UISwipeGestureRecognizerDirection direction) { direction_ = direction; }
    NSUInteger numberOfTouchesRequired() const { return touchesRequired_; }
    void setNumberOfTouchesRequired(NSUInteger touches) { touchesRequired_ = touches; }

    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

private:
    UISwipeGestureRecognizerDirection direction_ = UISwipeGestureRecognizerDirectionRight;
    NSUInteger touchesRequired_ = 1;
    CGPoint start_;
};

class UILongPressGestureRecognizer : public UIGestureRecognizer {
public:
    static Ref<UILongPressGestureRecognizer> initWithTarget_action(const Ref<NSObject>& target, UISelector action)
    {
        return makeWithTarget<UILongPressGestureRecognizer>(target, std::move(action));
    }
    double minimumPressDuration() const { return minimumPressDuration_; }
    void setMinimumPressDuration(double seconds) { minimumPressDuration_ = seconds; }
    CGFloat allowableMovement() const { return allowableMovement_; }
    void setAllowableMovement(CGFloat points) { allowableMovement_ = points; }
    NSUInteger numberOfTouchesRequired() const { return touchesRequired_; }
    void setNumberOfTouchesRequired(NSUInteger touches) { touchesRequired_ = touches; }
    NSUInteger numberOfTapsRequired() const { return tapsRequired_; }
    void setNumberOfTapsRequired(NSUInteger taps) { tapsRequired_ = taps; }

    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void reset() override;
    ~UILongPressGestureRecognizer() override;

private:
    double minimumPressDuration_ = 0.5;
    CGFloat allowableMovement_ = 10;
    NSUInteger touchesRequired_ = 1;
    NSUInteger tapsRequired_ = 0;
    CGPoint start_;
    Ref<NSTimer> timer_;
};
