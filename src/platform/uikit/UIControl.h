#pragma once
// Controls: views that turn touches into control events and send each event's actions to their
// targets (target-action).
//
// An action is a selector: its name as the platform writes it ("share:"), kept for inspection, and
// the member function it calls. Targets are held weakly and looked at when the action is sent; an
// action whose target has gone is skipped. A nil target sends the action up the responder chain
// (from the first responder) to the first object of the member function's class. Adding the same
// target and action again only adds control events (so refilling a screen does not make a button act
// twice); removing drops the given events and forgets an entry left with none.
//
// Touch tracking: a touch that begins in an enabled control highlights it and sends touch-down
// (touch-down-repeat too for a second tap); moves send drag-inside/-outside (enter and exit when it
// crosses); the end sends touch-up-inside or touch-up-outside; a cancel sends touch-cancel. "Inside"
// is the bounds grown by 70 points on every side, as on the phone. A disabled control takes touches
// and does nothing with them (they do not fall through to the views behind it). Tests can also send
// events directly with sendActionsForControlEvents.
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/uikit/UITouch.h"
#include "platform/uikit/UIView.h"

class UIControl;

class UIControlAction {
public:
    // Calls the action on the target; false when the target is not of the action's class.
    using Invoke = std::function<bool(NSObject* target, const Ref<UIControl>& sender, const Ref<UIEvent>& event)>;

    UIControlAction() = default;
    UIControlAction(std::string name, Invoke invoke) : name_(std::move(name)), invoke_(std::move(invoke)) {}

    // A member function of the target's class taking nothing, the sender, or the sender and the event
    // (the sender as a Ref of any class: a sender of another class arrives as null).
    template <class T, class... A>
    static UIControlAction make(std::string name, void (T::*fn)(A...))
    {
        static_assert(sizeof...(A) <= 2, "an action takes at most the sender and the event");
        return UIControlAction(std::move(name), [fn](NSObject* target, const Ref<UIControl>& sender,
                                                     const Ref<UIEvent>& event) {
            T* object = dynamic_cast<T*>(target);
            if (object == nullptr) {
                return false;
            }
            call(object, fn, sender, event);
            return true;
        });
    }
    // A closure (no target is needed; the target given with it only decides whether it is still sent).
    static UIControlAction block(std::string name,
                                 std::function<void(const Ref<UIControl>& sender, const Ref<UIEvent>& event)> fn);

    const std::string& name() const { return name_; }
    bool invoke(NSObject* target, const Ref<UIControl>& sender, const Ref<UIEvent>& event) const
    {
        return invoke_ && invoke_(target, sender, event);
    }
    explicit operator bool() const { return static_cast<bool>(invoke_); }

private:
    template <class R>
    struct RefTarget;
    template <class S>
    struct RefTarget<std::shared_ptr<S>> {
        using type = S;
    };
    template <class P>
    static auto cast(const Ref<UIControl>& sender)
    {
        using S = typename RefTarget<std::remove_cvref_t<P>>::type;
        return std::dynamic_pointer_cast<S>(sender);
    }
    template <class T>
    static void call(T* object, void (T::*fn)(), const Ref<UIControl>&, const Ref<UIEvent>&)
    {
        (object->*fn)();
    }
    template <class T, class P>
    static void call(T* object, void (T::*fn)(P), const Ref<UIControl>& sender, const Ref<UIEvent>&)
    {
        (object->*fn)(cast<P>(sender));
    }
    template <class T, class P, class E>
    static void call(T* object, void (T::*fn)(P, E), const Ref<UIControl>& sender, const Ref<UIEvent>& event)
    {
        (object->*fn)(cast<P>(sender), event);
    }

    std::string name_;
    Invoke invoke_;
};

class UIControl : public UIView {
public:
    static Ref<UIControl> initWithFrame(CGRect frame) { return makeWithFrame<UIControl>(frame); }
    static Ref<UIControl> create() { return makeWithFrame<UIControl>(CGRectZero); }

    // --- State ---
    bool isEnabled() const { return enabled_; }
    bool enabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);
    bool isSelected() const { return selected_; }
    bool selected() const { return selected_; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { return highlighted_; }
    bool highlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted);
    UIControlState state() const;
    UIControlContentHorizontalAlignment contentHorizontalAlignment() const { return horizontalAlignment_; }
    void setContentHorizontalAlignment(UIControlContentHorizontalAlignment a);
    UIControlContentVerticalAlignment contentVerticalAlignment() const { return verticalAlignment_; }
    void setContentVerticalAlignment(UIControlContentVerticalAlignment a);
    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }

    // --- Target-action ---
    void addTarget_action_forControlEvents(const Ref<NSObject>& target, const UIControlAction& action,
                                           UIControlEvents events);
    // A nil target removes from every target; an empty action name removes every action.
    void removeTarget_action_forControlEvents(const Ref<NSObject>& target, const std::string& actionName,
                                              UIControlEvents events);
    // The live targets, in the order they were first added (a nil target appears as null).
    std::vector<Ref<NSObject>> allTargets() const;
    UIControlEvents allControlEvents() const;
    // The names of the target's actions for one control event (empty when it has none).
    std::vector<std::string> actionsForTarget_forControlEvent(const Ref<NSObject>& target,
                                                              UIControlEvents controlEvent) const;
    virtual void sendAction_to_forEvent(const UIControlAction& action, const Ref<NSObject>& target,
                                        const Ref<UIEvent>& event);
    // Sends the actions of every entry registered for any of the events, in the order they were added.
    void sendActionsForControlEvents(UIControlEvents events);

    // --- Tracking, for subclasses ---
    virtual bool beginTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event) { return true; }
    virtual bool continueTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event)
    {
        return true;
    }
    virtual void endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event) {}
    virtual void cancelTrackingWithEvent(const Ref<UIEvent>& event) {}

    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

protected:
    // Sends the events' actions with the event being handled.
    void sendActionsForControlEvents(UIControlEvents events, const Ref<UIEvent>& event);
    // Whether a touch at point (in this control's coordinates) counts as inside.
    bool touchCountsAsInside(CGPoint point) const;
    // Called when enabled, selected or highlighted changes, for subclasses that restyle themselves.
    virtual void stateDidChange() {}

private:
    struct Entry {
        Weak<NSObject> target;
        const NSObject* identity = nullptr;  // the target's address (null: the nil target)
        bool live() const { return identity == nullptr || !target.expired(); }
        UIControlAction action;
        UIControlEvents events = 0;
    };
    void pruneDeadTargets();

    std::vector<Entry> entries_;
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
    bool tracking_ = false;
    bool touchInside_ = false;
    bool touchActive_ = false;
    UIControlContentHorizontalAlignment horizontalAlignment_ = UIControlContentHorizontalAlignmentCenter;
    UIControlContentVerticalAlignment verticalAlignment_ = UIControlContentVerticalAlignmentCenter;
};
