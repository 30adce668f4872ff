#include "platform/uikit/UIScrollView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UISlider.h"
#include "platform/uikit/UISwitch.h"
#include "platform/uikit/UITouch.h"

// The scroll view's own recogniser: follows one finger and begins once the content follows it.
class UIScrollViewPan : public UIGestureRecognizer {
public:
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
    {
        auto scroll = std::dynamic_pointer_cast<UIScrollView>(view());
        Ref<UITouch> touch = touches.anyObject();
        if (!scroll || !touch || trackedTouches().size() > 1) {
            return;  // a second finger changes nothing
        }
        // A view inside the content keeps its finger when the drag may not take it away.
        if (touch->view() != scroll &&
            (!scroll->canCancelContentTouches() || !scroll->touchesShouldCancelInContentView(touch->view()))) {
            setState(UIGestureRecognizerStateFailed);
            return;
        }
        scroll->fingerBegan(touch);
    }
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
    {
        auto scroll = std::dynamic_pointer_cast<UIScrollView>(view());
        if (!scroll || !scroll->fingerMoved(touches.anyObject())) {
            return;
        }
        setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateBegan
                                                              : UIGestureRecognizerStateChanged);
    }
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
    {
        auto scroll = std::dynamic_pointer_cast<UIScrollView>(view());
        const bool dragged = scroll && scroll->fingerEnded(touches.anyObject());
        setState(dragged ? UIGestureRecognizerStateEnded : UIGestureRecognizerStateFailed);
    }
    void touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override
    {
        if (auto scroll = std::dynamic_pointer_cast<UIScrollView>(view())) {
            scroll->fingerCancelled();
        }
        UIGestureRecognizer::touchesCancelled_withEvent(touches, event);
    }
    void reset() override
    {
        // Failed because another recogniser won: the finger no longer drags this view.
        if (auto scroll = std::dynamic_pointer_cast<UIScrollView>(view()); scroll && !scroll->isDragging()) {
            scroll->fingerDown_ = false;
        }
    }
};

void UIScrollView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setClipsToBounds(true);
    NSRunLoop::currentRunLoop()->addCommonMode(UITrackingRunLoopMode);
    pan_ = UIGestureRecognizer::makeWithTarget<UIScrollViewPan>(nullptr, UISelector());
    pan_->setView(self<UIView>());
}

UIScrollView::~UIScrollView()
{
    if (scrollAnimation_) {
        scrollAnimation_->invalidate();
    }
}

void UIScrollView::setContentSize(CGSize size) { contentSize_ = size; }

void UIScrollView::setContentOffset(CGPoint offset)
{
    CGRect b = bounds();
    if (b.origin == offset) {
        return;
    }
    b.origin = offset;
    UIView::setBounds(b);
    Ref<UIScrollView> me = self<UIScrollView>();
    contentOffsetDidChange();
    if (auto delegate = delegate_.lock()) {
        delegate->scrollViewDidScroll(me);
    }
}

void UIScrollView::cancelScrollAnimation()
{
    if (scrollAnimation_) {
        scrollAnimation_->invalidate();
        scrollAnimation_ = nullptr;
    }
}

void UIScrollView::setContentOffset_animated(CGPoint offset, bool animated)
{
    cancelScrollAnimation();
    if (!animated || contentOffset() == offset) {
        setContentOffset(offset);
        return;
    }
    setContentOffset(offset);
    Weak<UIScrollView> weak = self<UIScrollView>();
    scrollAnimation_ = Clock::scheduleAfter(UIScrollViewScrollAnimationDuration, [weak] {
        Ref<UIScrollView> me = weak.lock();
        if (!me) {
            return;
        }
        me->scrollAnimation_ = nullptr;
        if (auto delegate = me->delegate_.lock()) {
            delegate->scrollViewDidEndScrollingAnimation(me);
        }
    });
}

CGPoint UIScrollView::minimumContentOffset() const { return CGPointMake(-contentInset_.left, -contentInset_.top); }

CGPoint UIScrollView::maximumContentOffset() const
{
    const CGSize size = bounds().size;
    const CGPoint min = minimumContentOffset();
    return CGPointMake(std::max(min.x, contentSize_.width + contentInset_.right - size.width),
                       std::max(min.y, contentSize_.height + contentInset_.bottom - size.height));
}

CGPoint UIScrollView::clampedContentOffset(CGPoint offset) const
{
    const CGPoint min = minimumContentOffset();
    const CGPoint max = maximumContentOffset();
    return CGPointMake(std::clamp(offset.x, min.x, max.x), std::clamp(offset.y, min.y, max.y));
}

void UIScrollView::scrollRectToVisible_animated(CGRect rect, bool animated)
{
    const CGRect visible = bounds();
    CGPoint offset = visible.origin;
    // Each axis: move just enough for the rect's far edge, then its near edge, to show.
    if (CGRectGetMaxX(rect) > CGRectGetMaxX(visible)) {
        offset.x = CGRectGetMaxX(rect) - visible.size.width;
    }
    if (rect.origin.x < offset.x) {
        offset.x = rect.origin.x;
    }
    if (CGRectGetMaxY(rect) > CGRectGetMaxY(visible)) {
        offset.y = CGRectGetMaxY(rect) - visible.size.height;
    }
    if (rect.origin.y < offset.y) {
        offset.y = rect.origin.y;
    }
    setContentOffset_animated(clampedContentOffset(offset), animated);
}

void UIScrollView::setZoomScale(CGFloat scale)
{
    scale = std::clamp(scale, minimumZoomScale_, std::max(minimumZoomScale_, maximumZoomScale_));
    if (scale == zoomScale_) {
        return;
    }
    zoomScale_ = scale;
    if (auto delegate = delegate_.lock()) {
        delegate->scrollViewDidZoom(self<UIScrollView>());
    }
}

// --- Test driving ---

void UIScrollView::simulateBeginDragging()
{
    cancelScrollAnimation();
    decelerating_ = false;
    tracking_ = true;
    dragging_ = true;
    if (auto delegate = delegate_.lock()) {
        delegate->scrollViewWillBeginDragging(self<UIScrollView>());
    }
}

void UIScrollView::simulateDragToContentOffset(CGPoint offset)
{
    if (!dragging_) {
        simulateBeginDragging();
    }
    setContentOffset(offset);
}

void UIScrollView::simulateEndDragging(bool decelerate)
{
    Ref<UIScrollView> me = self<UIScrollView>();
    tracking_ = false;
    dragging_ = false;
    if (auto delegate = delegate_.lock()) {
        delegate->scrollViewDidEndDragging_willDecelerate(me, decelerate);
    }
    if (decelerate) {
        decelerating_ = true;
        if (auto delegate = delegate_.lock()) {
            delegate->scrollViewWillBeginDecelerating(me);
        }
    }
}

void UIScrollView::simulateEndDecelerating()
{
    Ref<UIScrollView> me = self<UIScrollView>();
    if (pagingEnabled_) {
        // Paging settles on the nearest page.
        const CGSize page = bounds().size;
        CGPoint offset = contentOffset();
        if (page.width > 0) offset.x = std::round(offset.x / page.width) * page.width;
        if (page.height > 0) offset.y = std::round(offset.y / page.height) * page.height;
        setContentOffset(clampedContentOffset(offset));
    }
    decelerating_ = false;
    if (auto delegate = delegate_.lock()) {
        delegate->scrollViewDidEndDecelerating(me);
    }
}

void UIScrollView::simulateEndDecelerating(CGPoint finalOffset)
{
    Ref<UIScrollView> me = self<UIScrollView>();
    setContentOffset(finalOffset);
    simulateEndDecelerating();
}

void UIScrollView::simulateDrag(CGPoint offset, bool decelerate)
{
    simulateBeginDragging();
    setContentOffset(offset);
    simulateEndDragging(decelerate);
}

bool UIScrollView::simulateScrollToTop()
{
    Ref<UIScrollView> me = self<UIScrollView>();
    if (!scrollsToTop_) {
        return false;
    }
    if (auto delegate = delegate_.lock(); delegate && !delegate->scrollViewShouldScrollToTop(me)) {
        return false;
    }
    setContentOffset(CGPointMake(contentOffset().x, -contentInset_.top));
    if (auto delegate = delegate_.lock()) {
        delegate->scrollViewDidScrollToTop(me);
    }
    return true;
}

// --- A finger's drag ---

namespace {
namespace UIScrollView_cpp {

constexpr CGFloat kDragSlop = 10;
constexpr CGFloat kWheelBounce = 60;

// The offset the finger asks for on one axis: past an end, half the distance when the view bounces.
CGFloat follow(CGFloat wanted, CGFloat min, CGFloat max, bool bounces)
{
    if (wanted < min) return bounces ? min - (min - wanted) / 2 : min;
    if (wanted > max) return bounces ? max + (wanted - max) / 2 : max;
    return wanted;
}

}  // namespace UIScrollView_cpp
}  // namespace

void UIScrollView::fingerBegan(const Ref<UITouch>& touch)
{
    fingerDown_ = touch != nullptr;
    fingerDragging_ = false;
    if (touch) {
        fingerStart_ = touch->locationInView(nullptr);
        fingerStartOffset_ = contentOffset();
    }
}

bool UIScrollView::fingerMoved(const Ref<UITouch>& touch)
{
    using namespace UIScrollView_cpp;
    if (!fingerDown_ || !touch || !scrollEnabled_) {
        return false;
    }
    const CGSize size = bounds().size;
    const bool horizontal = contentSize_.width + contentInset_.left + contentInset_.right > size.width ||
                            alwaysBounceHorizontal_;
    const bool vertical = contentSize_.height + contentInset_.top + contentInset_.bottom > size.height ||
                          alwaysBounceVertical_ || (bounces_ && !horizontal);
    const CGPoint at = touch->locationInView(nullptr);
    const CGFloat dx = horizontal ? at.x - fingerStart_.x : 0;
    const CGFloat dy = vertical ? at.y - fingerStart_.y : 0;
    if (!fingerDragging_) {
        if (std::fabs(dx) < kDragSlop && std::fabs(dy) < kDragSlop) {
            return false;
        }
        fingerDragging_ = true;
        simulateBeginDragging();
    }
    const CGPoint min = minimumContentOffset();
    const CGPoint max = maximumContentOffset();
    simulateDragToContentOffset(CGPointMake(follow(fingerStartOffset_.x - dx, min.x, max.x, bounces_),
                                            follow(fingerStartOffset_.y - dy, min.y, max.y, bounces_)));
    return true;
}

bool UIScrollView::fingerEnded(const Ref<UITouch>& touch)
{
    const bool dragged = fingerDragging_;
    fingerDown_ = false;
    fingerDragging_ = false;
    if (!dragged) {
        return false;
    }
    Ref<UIScrollView> keep = self<UIScrollView>();
    const CGPoint offset = contentOffset();
    const bool outside = !CGPointEqualToPoint(offset, clampedContentOffset(offset));
    simulateEndDragging(pagingEnabled_ || outside);
    if (!pagingEnabled_ && !outside) {
        return true;
    }
    // Settles: on the page the finger moved towards, or back inside the content (whose range the
    // delegate may just have changed).
    CGPoint target = contentOffset();
    const CGSize page = bounds().size;
    if (pagingEnabled_) {
        if (page.width > 0 && target.x != fingerStartOffset_.x) {
            const CGFloat from = std::round(fingerStartOffset_.x / page.width);
            target.x = (from + (target.x > fingerStartOffset_.x ? 1 : -1)) * page.width;
        }
        if (page.height > 0 && target.y != fingerStartOffset_.y) {
            const CGFloat from = std::round(fingerStartOffset_.y / page.height);
            target.y = (from + (target.y > fingerStartOffset_.y ? 1 : -1)) * page.height;
        }
    }
    setContentOffset(clampedContentOffset(target));
    decelerating_ = false;
    if (auto delegate = delegate_.lock()) {
        delegate->scrollViewDidEndDecelerating(keep);
    }
    return true;
}

void UIScrollView::fingerCancelled()
{
    if (fingerDragging_) {
        fingerDragging_ = false;
        simulateEndDragging(false);
    }
    fingerDown_ = false;
}

bool UIScrollView::scrollByWheel(CGPoint delta)
{
    using namespace UIScrollView_cpp;
    if (!scrollEnabled_ || isHidden()) {
        return false;
    }
    const CGPoint min = minimumContentOffset();
    const CGPoint max = maximumContentOffset();
    const CGPoint offset = contentOffset();
    // An axis takes the wheel when there is content to move that way (or the view always bounces).
    const bool horizontal = delta.x != 0 && (max.x > min.x || alwaysBounceHorizontal_);
    const bool vertical = delta.y != 0 && (max.y > min.y || alwaysBounceVertical_);
    if (!horizontal && !vertical) {
        return false;
    }
    // Each turn moves from inside the range; past an end the content gives half of what is left of
    // the turn, at most kWheelBounce points, and comes back once the wheel rests.
    auto move = [&](CGFloat at, CGFloat by, CGFloat lo, CGFloat hi) {
        const CGFloat wanted = std::clamp(at, lo, hi) + by;
        const CGFloat to = follow(wanted, lo, hi, bounces_);
        return std::clamp(to, lo - kWheelBounce, hi + kWheelBounce);
    };
    setContentOffset(CGPointMake(horizontal ? move(offset.x, delta.x, min.x, max.x) : offset.x,
                                 vertical ? move(offset.y, delta.y, min.y, max.y) : offset.y));
    if (wheelSettle_) {
        wheelSettle_->invalidate();
        wheelSettle_ = nullptr;
    }
    const CGPoint now = contentOffset();
    if (!CGPointEqualToPoint(now, clampedContentOffset(now))) {
        Weak<UIScrollView> weak = self<UIScrollView>();
        wheelSettle_ = Clock::scheduleAfter(0.2, [weak] {
            if (auto view = weak.lock()) {
                view->wheelSettle_ = nullptr;
                view->setContentOffset_animated(view->clampedContentOffset(view->contentOffset()), true);
            }
        });
    }
    return true;
}

bool UIScrollView::touchesShouldCancelInContentView(const Ref<UIView>& view) const
{
    return !std::dynamic_pointer_cast<UISlider>(view) && !std::dynamic_pointer_cast<UISwitch>(view);
}

