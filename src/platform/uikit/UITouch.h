#pragma once
// Touches and touch events. A touch keeps the view it began in (found by hit testing) and its
// location in window coordinates; locationInView converts it to any view.
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIKitDefines.h"
#include "platform/uikit/UIResponder.h"

class UIView;
class UIWindow;

class UITouch : public NSObject {
public:
    UITouchPhase phase() const { return phase_; }
    NSUInteger tapCount() const { return tapCount_; }
    double timestamp() const { return timestamp_; }
    Ref<UIView> view() const { return view_; }
    Ref<UIWindow> window() const { return window_.lock(); }
    // The location in view's coordinates (nil: the window's).
    CGPoint locationInView(const Ref<UIView>& view) const;
    CGPoint previousLocationInView(const Ref<UIView>& view) const;

    // Set by whoever delivers touches (the window's touch driver).
    void setPhase(UITouchPhase phase) { phase_ = phase; }
    void setTapCount(NSUInteger count) { tapCount_ = count; }
    void setTimestamp(double t) { timestamp_ = t; }
    void setView(Ref<UIView> view) { view_ = std::move(view); }
    void setWindow(Weak<UIWindow> window) { window_ = std::move(window); }
    void moveTo(CGPoint locationInWindow);
    CGPoint windowLocation() const { return location_; }

    UITouch() = default;

private:
    UITouchPhase phase_ = UITouchPhaseBegan;
    NSUInteger tapCount_ = 1;
    double timestamp_ = 0;
    Ref<UIView> view_;
    Weak<UIWindow> window_;
    CGPoint location_;
    CGPoint previous_;
};

class UIEvent : public NSObject {
public:
    UIEventType type() const { return UIEventTypeTouches; }
    double timestamp() const { return timestamp_; }
    const UITouchSet& allTouches() const { return touches_; }
    UITouchSet touchesForView(const Ref<UIView>& view) const;
    UITouchSet touchesForWindow(const Ref<UIWindow>& window) const;

    void setTimestamp(double t) { timestamp_ = t; }
    void setTouches(UITouchSet touches) { touches_ = std::move(touches); }

    UIEvent() = default;

private:
    double timestamp_ = 0;
    UITouchSet touches_;
};
