#include "platform/uikit/UIControl.h"

#include <algorithm>

#include "platform/uikit/UIApplication.h"

namespace {
constexpr CGFloat kTouchSlop = 70;  // how far outside its bounds a touch still counts as inside
}

UIControlAction UIControlAction::block(std::string name,
                                       std::function<void(const Ref<UIControl>&, const Ref<UIEvent>&)> fn)
{
    return UIControlAction(std::move(name), [fn = std::move(fn)](NSObject*, const Ref<UIControl>& sender,
                                                                 const Ref<UIEvent>& event) {
        if (fn) {
            fn(sender, event);
        }
        return true;
    });
}

// --- State ----------------------------------------------------------------------------------------

void UIControl::setEnabled(bool enabled)
{
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    if (!enabled_) {
        highlighted_ = false;
    }
    stateDidChange();
    setNeedsDisplay();
}

void UIControl::setSelected(bool selected)
{
    if (selected == selected_) {
        return;
    }
    selected_ = selected;
    stateDidChange();
    setNeedsDisplay();
}

void UIControl::setHighlighted(bool highlighted)
{
    if (highlighted == highlighted_) {
        return;
    }
    highlighted_ = highlighted;
    stateDidChange();
    setNeedsDisplay();
}

UIControlState UIControl::state() const
{
    UIControlState state = UIControlStateNormal;
    if (highlighted_) state |= UIControlStateHighlighted;
    if (!enabled_) state |= UIControlStateDisabled;
    if (selected_) state |= UIControlStateSelected;
    return state;
}

void UIControl::setContentHorizontalAlignment(UIControlContentHorizontalAlignment a)
{
    horizontalAlignment_ = a;
    setNeedsLayout();
}

void UIControl::setContentVerticalAlignment(UIControlContentVerticalAlignment a)
{
    verticalAlignment_ = a;
    setNeedsLayout();
}

// --- Target-action --------------------------------------------------------------------------------

void UIControl::pruneDeadTargets()
{
    std::erase_if(entries_, [](const Entry& e) { return !e.live(); });
}

void UIControl::addTarget_action_forControlEvents(const Ref<NSObject>& target, const UIControlAction& action,
                                                  UIControlEvents events)
{
    if (!action || events == 0) {
        return;
    }
    pruneDeadTargets();
    for (Entry& entry : entries_) {
        if (entry.identity == target.get() && entry.action.name() == action.name()) {
            entry.events |= events;
            return;
        }
    }
    Entry entry;
    entry.target = target;
    entry.identity = target.get();
    entry.action = action;
    entry.events = events;
    entries_.push_back(std::move(entry));
}

void UIControl::removeTarget_action_forControlEvents(const Ref<NSObject>& target, const std::string& actionName,
                                                     UIControlEvents events)
{
    pruneDeadTargets();
    for (Entry& entry : entries_) {
        const bool targetMatches = !target || entry.identity == target.get();
        const bool actionMatches = actionName.empty() || entry.action.name() == actionName;
        if (targetMatches && actionMatches) {
            entry.events &= ~events;
        }
    }
    std::erase_if(entries_, [](const Entry& e) { return e.events == 0; });
}

std::vector<Ref<NSObject>> UIControl::allTargets() const
{
    std::vector<Ref<NSObject>> targets;
    std::vector<const NSObject*> seen;
    for (const Entry& entry : entries_) {
        if (!entry.live() || std::find(seen.begin(), seen.end(), entry.identity) != seen.end()) {
            continue;
        }
        seen.push_back(entry.identity);
        targets.push_back(entry.target.lock());
    }
    return targets;
}

UIControlEvents UIControl::allControlEvents() const
{
    UIControlEvents events = 0;
    for (const Entry& entry : entries_) {
        if (entry.live()) {
            events |= entry.events;
        }
    }
    return events;
}

std::vector<std::string> UIControl::actionsForTarget_forControlEvent(const Ref<NSObject>& target,
                                                                     UIControlEvents controlEvent) const
{
    std::vector<std::string> names;
    for (const Entry& entry : entries_) {
        if (entry.live() && entry.identity == target.get() && (entry.events & controlEvent) != 0) {
            names.push_back(entry.action.name());
        }
    }
    return names;
}

void UIControl::sendAction_to_forEvent(const UIControlAction& action, const Ref<NSObject>& target,
                                       const Ref<UIEvent>& event)
{
    Ref<UIControl> me = self<UIControl>();
    UIApplication::sharedApplication()->sendAction_to_from_forEvent(
        [&](NSObject* receiver) { return action.invoke(receiver, me, event); }, target, me, event);
}

void UIControl::sendActionsForControlEvents(UIControlEvents events) { sendActionsForControlEvents(events, nullptr); }

void UIControl::sendActionsForControlEvents(UIControlEvents events, const Ref<UIEvent>& event)
{
    Ref<UIControl> keep = self<UIControl>();
    // A snapshot: actions may add and remove targets while they run.
    const std::vector<Entry> entries = entries_;
    for (const Entry& entry : entries) {
        if ((entry.events & events) == 0) {
            continue;
        }
        Ref<NSObject> target = entry.target.lock();
        if (entry.identity != nullptr && !target) {
            continue;  // the target has gone
        }
        // An action removed by an earlier action of this same send is not sent.
        const bool stillThere = std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
            return e.identity == entry.identity && e.action.name() == entry.action.name() && (e.events & events) != 0;
        });
        if (stillThere) {
            sendAction_to_forEvent(entry.action, target, event);
        }
    }
}

// --- Tracking -------------------------------------------------------------------------------------

bool UIControl::touchCountsAsInside(CGPoint point) const
{
    return CGRectContainsPoint(CGRectInset(bounds(), -kTouchSlop, -kTouchSlop), point);
}

void UIControl::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    Ref<UITouch> touch = touches.anyObject();
    if (!enabled_ || !touch) {
        return;
    }
    Ref<UIControl> keep = self<UIControl>();
    touchActive_ = true;
    touchInside_ = true;
    setHighlighted(true);
    tracking_ = beginTrackingWithTouch_withEvent(touch, event);
    UIControlEvents events = UIControlEventTouchDown;
    if (touch->tapCount() > 1) {
        events |= UIControlEventTouchDownRepeat;
    }
    sendActionsForControlEvents(events, event);
}

void UIControl::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    Ref<UITouch> touch = touches.anyObject();
    if (!touchActive_ || !touch) {
        return;
    }
    Ref<UIControl> keep = self<UIControl>();
    const bool wasInside = touchInside_;
    touchInside_ = touchCountsAsInside(touch->locationInView(keep));
    setHighlighted(touchInside_);
    if (tracking_) {
        tracking_ = continueTrackingWithTouch_withEvent(touch, event);
    }
    UIControlEvents events = touchInside_ ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside;
    if (touchInside_ && !wasInside) {
        events |= UIControlEventTouchDragEnter;
    } else if (!touchInside_ && wasInside) {
        events |= UIControlEventTouchDragExit;
    }
    sendActionsForControlEvents(events, event);
}

void UIControl::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    Ref<UITouch> touch = touches.anyObject();
    if (!touchActive_ || !touch) {
        return;
    }
    Ref<UIControl> keep = self<UIControl>();
    touchActive_ = false;
    touchInside_ = touchCountsAsInside(touch->locationInView(keep));
    setHighlighted(false);
    if (tracking_) {
        endTrackingWithTouch_withEvent(touch, event);
    }
    tracking_ = false;
    sendActionsForControlEvents(touchInside_ ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside, event);
    touchInside_ = false;
}

void UIControl::touchesCancelled_withEvent(const UITouchSet&, const Ref<UIEvent>& event)
{
    if (!touchActive_) {
        return;
    }
    Ref<UIControl> keep = self<UIControl>();
    touchActive_ = false;
    touchInside_ = false;
    setHighlighted(false);
    if (tracking_) {
        cancelTrackingWithEvent(event);
    }
    tracking_ = false;
    sendActionsForControlEvents(UIControlEventTouchCancel, event);
}
