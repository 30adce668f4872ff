#pragma once
// Page dots: a number of pages and the current one (kept within the pages). A tap on the left half
// goes back a page, on the right half forward, and sends value-changed when the page changed.
#include "platform/uikit/UIControl.h"

class UIPageControl : public UIControl {
public:
    static Ref<UIPageControl> initWithFrame(CGRect frame) { return makeWithFrame<UIPageControl>(frame); }
    static Ref<UIPageControl> create() { return makeWithFrame<UIPageControl>(CGRectZero); }

    NSInteger numberOfPages() const { return numberOfPages_; }
    void setNumberOfPages(NSInteger pages);
    NSInteger currentPage() const { return currentPage_; }
    void setCurrentPage(NSInteger page);
    bool hidesForSinglePage() const { return hidesForSinglePage_; }
    void setHidesForSinglePage(bool hides) { hidesForSinglePage_ = hides; }
    bool defersCurrentPageDisplay() const { return defersCurrentPageDisplay_; }
    void setDefersCurrentPageDisplay(bool defers) { defersCurrentPageDisplay_ = defers; }
    void updateCurrentPageDisplay() { displayedPage_ = currentPage_; }
    // The page whose dot is lit (differs from currentPage while the display is deferred).
    NSInteger displayedPage() const { return displayedPage_; }
    CGSize sizeForNumberOfPages(NSInteger pages) const;

    CGSize sizeThatFits(CGSize size) const override { return sizeForNumberOfPages(numberOfPages_); }
    void endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

private:
    NSInteger numberOfPages_ = 0;
    NSInteger currentPage_ = 0;
    NSInteger displayedPage_ = 0;
    bool hidesForSinglePage_ = false;
    bool defersCurrentPageDisplay_ = false;
};
