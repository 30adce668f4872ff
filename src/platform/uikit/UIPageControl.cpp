#include "platform/uikit/UIPageControl.h"

#include <algorithm>

void UIPageControl::setNumberOfPages(NSInteger pages)
{
    numberOfPages_ = std::max<NSInteger>(0, pages);
    setCurrentPage(currentPage_);
}

void UIPageControl::setCurrentPage(NSInteger page)
{
    currentPage_ = std::clamp<NSInteger>(page, 0, std::max<NSInteger>(0, numberOfPages_ - 1));
    displayedPage_ = currentPage_;
    setNeedsDisplay();
}

CGSize UIPageControl::sizeForNumberOfPages(NSInteger pages) const
{
    // Dots of 6 points, 10 apart, in a 36-point strip.
    return {pages > 0 ? CGFloat(pages) * 16 - 10 : 0, 36};
}

void UIPageControl::endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event)
{
    if (!touch) {
        return;
    }
    const CGPoint point = touch->locationInView(self<UIView>());
    if (!CGRectContainsPoint(bounds(), point)) {
        return;
    }
    const NSInteger previous = currentPage_;
    const NSInteger next = point.x < CGRectGetMidX(bounds()) ? currentPage_ - 1 : currentPage_ + 1;
    currentPage_ = std::clamp<NSInteger>(next, 0, std::max<NSInteger>(0, numberOfPages_ - 1));
    if (!defersCurrentPageDisplay_) {
        displayedPage_ = currentPage_;
    }
    if (currentPage_ != previous) {
        setNeedsDisplay();
        sendActionsForControlEvents(UIControlEventValueChanged, event);
    }
}
