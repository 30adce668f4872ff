#pragma once
// SliderController: the sliding container of the whole interface. Its view holds, bottom to top, the
// two panels a subclass supplies (a menu on the left, a people panel on the right) and one top view,
// the current screen. A one-finger drag moves the top view sideways to uncover a panel; a program may
// slide it (slideToX); a tap on the uncovered strip of the top view slides it back.
//
// Positions are the top view's centre x: 160 covers the screen (at rest), 420 uncovers the left panel
// (the top view's left edge at 260), -100 the right panel (its right edge at 60), 480 is beyond the
// right edge. While a panel shows, a tap catcher (an image view tagged 9988 plus resetTapGesture) lies
// over the top view, so its screen takes no touches and a tap slides it back.
//
// The subclass hears four hooks: leftWillShow / rightWillShow while a drag uncovers that side (so it
// can put the right panel under the top view), leftDidShow / rightDidShow as soon as a slide to that
// side starts (so the panel's content loads while it moves). Main thread only.
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIViewController.h"

inline constexpr NSInteger kSliderTapCatcherTag = 9988;

class SliderController : public UIViewController {
public:
    static Ref<SliderController> create() { return make<SliderController>(); }

    // Targets of slideToX.
    enum SlideTarget : int {
        SlideToLeftPanel = 1,
        SlideToRightPanel = 2,
        SlideToRest = 3,
    };
    static constexpr CGFloat kRestCenterX = 160.0;
    static constexpr CGFloat kLeftPanelCenterX = 420.0;
    static constexpr CGFloat kRightPanelCenterX = -100.0;
    static constexpr CGFloat kOffScreenCenterX = 480.0;
    static constexpr double kSlideDuration = 0.25;
    // A release faster than this (points per second) to the right opens the left panel.
    static constexpr CGFloat kOpenVelocity = 100.0;

    Ref<UIView> topView() const { return topView_; }
    // Takes the old top view out of the container's view (with its tap catcher, so it never comes back
    // covered) and adds the new one on top of everything; the new view's frame is not changed.
    void setTopView(const Ref<UIView>& view);
    // Replaces the top view by sliding the old one out to the right and the new one in from there.
    void setTopViewOffScreen(const Ref<UIView>& view);

    bool leftEnable() const { return leftEnable_; }
    void setLeftEnable(bool enable) { leftEnable_ = enable; }
    bool rightEnable() const { return rightEnable_; }
    void setRightEnable(bool enable) { rightEnable_ = enable; }
    Ref<UITapGestureRecognizer> resetTapGesture() const { return resetTapGesture_; }
    void setResetTapGesture(const Ref<UITapGestureRecognizer>& gesture) { resetTapGesture_ = gesture; }
    // The drag recogniser on the container's view (made when the view loads).
    Ref<UIPanGestureRecognizer> panGesture() const { return panGesture_; }
    CGFloat initialTouchPositionX() const { return initialTouchPositionX_; }
    CGFloat initialHoizontalCenter() const { return initialHoizontalCenter_; }

    // Animated move (0.25 s) to a target; the did-show hooks run before it, the catcher goes on for
    // the panels and comes off when a move to rest has ended.
    void slideToX(int target);
    void resetTopView();
    void resetTopViewNoAnimate();
    void addTapView();
    void removeTapView();
    void updateTopViewHorizontalCenterWithRecognizer(const Ref<UIPanGestureRecognizer>& recognizer);

    // Hooks for the subclass.
    virtual void leftWillShow() {}
    virtual void leftDidShow() {}
    virtual void rightWillShow() {}
    virtual void rightDidShow() {}

    // Half the main screen's width, rounded up: the centre x at rest.
    CGFloat resettedCenter() const;
    bool underLeftShowing() const;
    bool underRightShowing() const;

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    SliderController() = default;

protected:
    // Around every change of the top view (from or to may be null).
    virtual void topViewWillChange(const Ref<UIView>& from, const Ref<UIView>& to) {}
    virtual void topViewDidChange(const Ref<UIView>& from, const Ref<UIView>& to) {}

private:
    void moveTopViewToCenterX(CGFloat x);

    Ref<UIView> topView_;
    CGFloat initialTouchPositionX_ = 0;
    CGFloat initialHoizontalCenter_ = 0;
    bool leftEnable_ = false;
    bool rightEnable_ = false;
    Ref<UITapGestureRecognizer> resetTapGesture_;
    Ref<UIPanGestureRecognizer> panGesture_;
};
