#pragma once
// Scroll views: a window onto a larger content area. As on the phone, the content offset is the
// origin of the view's bounds, so subviews placed in content coordinates scroll with it and hit
// testing and coordinate conversion follow the offset.
//
// Headless, nothing scrolls by itself: a finger's drag is driven by the test, which sets the dragging
// state and the offsets the drag passes through, and the delegate hears what it would on the phone:
//   simulateBeginDragging()              willBeginDragging (dragging and tracking on)
//   simulateDragToContentOffset(p)       the offset moves: didScroll (begins the drag if needed)
//   simulateEndDragging(decelerate)      didEndDragging:willDecelerate:, then willBeginDecelerating
//   simulateEndDecelerating([p])         the deceleration stops (at p): didScroll, didEndDecelerating
//   simulateDrag(p, decelerate)          the three first steps at once
//   setDragging/setTracking/setDecelerating   the state alone, for screens that only read it
// A finger that goes down anywhere on the scroll view drags it as on the phone, through the view's own
// pan recogniser (panGestureRecognizer, which sees the touch before the recognisers of the view and of
// the views around it, after those of the views inside it): once the finger has moved 10 points along
// an axis the content can scroll on, the drag begins - other recognisers on the touch fail, and the
// touched view (a row, a button in it) has its touch cancelled - and the content follows the finger. A
// touch that ends before that is the touched view's (a tap on a button in a row clicks it). A view
// inside the content keeps its finger (nothing scrolls) when canCancelContentTouches is off, and
// sliders and switches always do (touchesShouldCancelInContentView).
// The content follows the finger
// by half the distance past its ends when it bounces; when the finger lifts the drag ends
// (didEndDragging, decelerating when it must settle), then a paging view settles on the page the
// finger moved towards, and content pulled past its ends goes back inside (after the delegate heard
// of the end, so an inset it sets then counts).
//
// setContentOffset_animated with animation takes the new offset at once (didScroll) and calls
// didEndScrollingAnimation 0.3 s later on the process clock, unless another animated scroll replaced
// it; an offset equal to the current one animates nothing and calls nothing.
//
// Scroll views make the tracking mode ("UITrackingRunLoopMode") one of the common modes of the run
// loop of the thread that creates them, so work registered for the common modes also runs while a
// test drives the loop in the tracking mode, as it does on the phone during a drag.
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIView.h"

class NSTimer;
class UIGestureRecognizer;
class UIScrollView;

inline constexpr char UITrackingRunLoopMode[] = "UITrackingRunLoopMode";
inline constexpr CGFloat UIScrollViewDecelerationRateNormal = 0.998;
inline constexpr CGFloat UIScrollViewDecelerationRateFast = 0.99;
// How long an animated scroll takes before its end callback.
inline constexpr double UIScrollViewScrollAnimationDuration = 0.3;

enum UIScrollViewIndicatorStyle : NSInteger {
    UIScrollViewIndicatorStyleDefault = 0,
    UIScrollViewIndicatorStyleBlack = 1,
    UIScrollViewIndicatorStyleWhite = 2,
};

// The delegate (a protocol: every method is optional).
class UIScrollViewDelegate {
public:
    virtual ~UIScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) {}
    virtual void scrollViewWillBeginDragging(const Ref<UIScrollView>& scrollView) {}
    virtual void scrollViewDidEndDragging_willDecelerate(const Ref<UIScrollView>& scrollView, bool decelerate) {}
    virtual void scrollViewWillBeginDecelerating(const Ref<UIScrollView>& scrollView) {}
    virtual void scrollViewDidEndDecelerating(const Ref<UIScrollView>& scrollView) {}
    virtual void scrollViewDidEndScrollingAnimation(const Ref<UIScrollView>& scrollView) {}
    virtual bool scrollViewShouldScrollToTop(const Ref<UIScrollView>& scrollView) { return true; }
    virtual void scrollViewDidScrollToTop(const Ref<UIScrollView>& scrollView) {}
    virtual Ref<UIView> viewForZoomingInScrollView(const Ref<UIScrollView>& scrollView) { return nullptr; }
    virtual void scrollViewDidZoom(const Ref<UIScrollView>& scrollView) {}
};

class UIScrollView : public UIView {
public:
    static Ref<UIScrollView> initWithFrame(CGRect frame) { return makeWithFrame<UIScrollView>(frame); }
    static Ref<UIScrollView> create() { return makeWithFrame<UIScrollView>(CGRectZero); }

    Ref<UIScrollViewDelegate> delegate() const { return delegate_.lock(); }
    virtual void setDelegate(const Ref<UIScrollViewDelegate>& delegate) { delegate_ = delegate; }

    // --- Content ---
    CGSize contentSize() const { return contentSize_; }
    virtual void setContentSize(CGSize size);
    CGPoint contentOffset() const { return bounds().origin; }
    void setContentOffset(CGPoint offset);
    void setContentOffset_animated(CGPoint offset, bool animated);
    UIEdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(UIEdgeInsets inset) { contentInset_ = inset; }
    UIEdgeInsets scrollIndicatorInsets() const { return scrollIndicatorInsets_; }
    void setScrollIndicatorInsets(UIEdgeInsets insets) { scrollIndicatorInsets_ = insets; }
    // Scrolls the least needed to show rect (in content coordinates), within the content's range.
    void scrollRectToVisible_animated(CGRect rect, bool animated);
    // The offsets the content can take (the inset included): [min, max] on each axis.
    CGPoint minimumContentOffset() const;
    CGPoint maximumContentOffset() const;
    // The offset brought into that range.
    CGPoint clampedContentOffset(CGPoint offset) const;

    // --- Behaviour (recorded) ---
    bool isScrollEnabled() const { return scrollEnabled_; }
    bool scrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool isPagingEnabled() const { return pagingEnabled_; }
    bool pagingEnabled() const { return pagingEnabled_; }
    void setPagingEnabled(bool enabled) { pagingEnabled_ = enabled; }
    bool bounces() const { return bounces_; }
    void setBounces(bool bounces) { bounces_ = bounces; }
    bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
    void setAlwaysBounceVertical(bool value) { alwaysBounceVertical_ = value; }
    bool alwaysBounceHorizontal() const { return alwaysBounceHorizontal_; }
    void setAlwaysBounceHorizontal(bool value) { alwaysBounceHorizontal_ = value; }
    bool showsHorizontalScrollIndicator() const { return showsHorizontal_; }
    void setShowsHorizontalScrollIndicator(bool shows) { showsHorizontal_ = shows; }
    bool showsVerticalScrollIndicator() const { return showsVertical_; }
    void setShowsVerticalScrollIndicator(bool shows) { showsVertical_ = shows; }
    UIScrollViewIndicatorStyle indicatorStyle() const { return indicatorStyle_; }
    void setIndicatorStyle(UIScrollViewIndicatorStyle style) { indicatorStyle_ = style; }
    bool isDirectionalLockEnabled() const { return directionalLock_; }
    void setDirectionalLockEnabled(bool enabled) { directionalLock_ = enabled; }
    bool canCancelContentTouches() const { return canCancelContentTouches_; }
    // Whether a drag may take the finger from a view inside the content: yes, but for the controls whose
    // value follows the finger (sliders, switches).
    virtual bool touchesShouldCancelInContentView(const Ref<UIView>& view) const;
    // A mouse wheel over the view moved by delta points (positive: towards the content's end): the
    // content scrolls on the axes it can scroll on, past an end by half what is left of the turn (at
    // most 60 points) when it bounces, and goes back inside once the wheel has rested 0.2 s. False when it cannot scroll that way at
    // all, so a scroll view around it may take the wheel instead.
    bool scrollByWheel(CGPoint delta);
    // The recogniser that drags the content.
    Ref<UIGestureRecognizer> panGestureRecognizer() const { return pan_; }
    Ref<UIGestureRecognizer> builtInGestureRecognizer() const override { return pan_; }
    void setCanCancelContentTouches(bool value) { canCancelContentTouches_ = value; }
    bool delaysContentTouches() const { return delaysContentTouches_; }
    void setDelaysContentTouches(bool value) { delaysContentTouches_ = value; }
    bool scrollsToTop() const { return scrollsToTop_; }
    void setScrollsToTop(bool value) { scrollsToTop_ = value; }
    CGFloat decelerationRate() const { return decelerationRate_; }
    void setDecelerationRate(CGFloat rate) { decelerationRate_ = rate; }
    void flashScrollIndicators() { ++flashCount_; }
    NSInteger flashScrollIndicatorsCount() const { return flashCount_; }

    // --- Zooming (recorded; the zoomed view is the delegate's) ---
    CGFloat minimumZoomScale() const { return minimumZoomScale_; }
    void setMinimumZoomScale(CGFloat scale) { minimumZoomScale_ = scale; }
    CGFloat maximumZoomScale() const { return maximumZoomScale_; }
    void setMaximumZoomScale(CGFloat scale) { maximumZoomScale_ = scale; }
    CGFloat zoomScale() const { return zoomScale_; }
    // Clamped to the minimum and maximum; tells the delegate.
    void setZoomScale(CGFloat scale);
    void setZoomScale_animated(CGFloat scale, bool animated) { setZoomScale(scale); }

    // --- State of a drag ---
    bool isDragging() const { return dragging_; }
    bool dragging() const { return dragging_; }
    bool isTracking() const { return tracking_; }
    bool tracking() const { return tracking_; }
    bool isDecelerating() const { return decelerating_; }
    bool decelerating() const { return decelerating_; }
    bool isScrollAnimating() const { return scrollAnimation_ != nullptr; }

    // --- Test driving (see the top of this file) ---
    void setDragging(bool dragging) { dragging_ = dragging; }
    void setTracking(bool tracking) { tracking_ = tracking; }
    void setDecelerating(bool decelerating) { decelerating_ = decelerating; }
    void simulateBeginDragging();
    void simulateDragToContentOffset(CGPoint offset);
    void simulateEndDragging(bool decelerate);
    void simulateEndDecelerating();
    void simulateEndDecelerating(CGPoint finalOffset);
    void simulateDrag(CGPoint offset, bool decelerate = false);
    // A tap on the status bar: scrolls to the top when the view and its delegate allow it.
    bool simulateScrollToTop();

    void initWithFrameBody(CGRect frame) override;
    ~UIScrollView() override;

protected:

    // Called after the offset changed (before the delegate hears of it); tables lay out their rows.
    virtual void contentOffsetDidChange() {}

private:
    friend class UIScrollViewPan;
    void cancelScrollAnimation();
    // The finger's drag (driven by the pan recogniser): began records where it started; moved answers
    // whether the finger drags the content (from the move that begins the drag on); ended ends a drag
    // and settles; cancelled ends a drag where it is.
    void fingerBegan(const Ref<UITouch>& touch);
    bool fingerMoved(const Ref<UITouch>& touch);
    bool fingerEnded(const Ref<UITouch>& touch);
    void fingerCancelled();

    Ref<UIGestureRecognizer> pan_;
    Ref<NSTimer> wheelSettle_;

    Weak<UIScrollViewDelegate> delegate_;
    CGSize contentSize_;
    UIEdgeInsets contentInset_;
    UIEdgeInsets scrollIndicatorInsets_;
    bool scrollEnabled_ = true;
    bool pagingEnabled_ = false;
    bool bounces_ = true;
    bool alwaysBounceVertical_ = false;
    bool alwaysBounceHorizontal_ = false;
    bool showsHorizontal_ = true;
    bool showsVertical_ = true;
    UIScrollViewIndicatorStyle indicatorStyle_ = UIScrollViewIndicatorStyleDefault;
    bool directionalLock_ = false;
    bool canCancelContentTouches_ = true;
    bool delaysContentTouches_ = true;
    bool scrollsToTop_ = true;
    CGFloat decelerationRate_ = UIScrollViewDecelerationRateNormal;
    NSInteger flashCount_ = 0;
    CGFloat minimumZoomScale_ = 1;
    CGFloat maximumZoomScale_ = 1;
    CGFloat zoomScale_ = 1;
    bool dragging_ = false;
    bool tracking_ = false;
    bool decelerating_ = false;
    Ref<NSTimer> scrollAnimation_;
    // The finger: where it went down (window coordinates), the offset then, whether it drags.
    CGPoint fingerStart_;
    CGPoint fingerStartOffset_;
    bool fingerDown_ = false;
    bool fingerDragging_ = false;
};
