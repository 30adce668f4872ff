#include "platform/uikit/UIToolbar.h"

#include <cmath>

#include "platform/uikit/UIBarButtonItem.h"

namespace {
constexpr CGFloat kEdge = 12;
constexpr CGFloat kGap = 10;
constexpr CGFloat kButtonHeight = 30;
}  // namespace

void UIToolbar::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
}

void UIToolbar::setItems_animated(std::vector<Ref<UIBarButtonItem>> items, bool animated)
{
    for (const Ref<UIView>& view : shown_) {
        if (view->superview().get() == this) {
            view->removeFromSuperview();
        }
    }
    shown_.clear();
    items_ = std::move(items);
    for (const Ref<UIBarButtonItem>& item : items_) {
        if (Ref<UIView> view = item->barView()) {
            if (!item->customView()) {
                CGRect f = view->frame();
                f.size = CGSizeMake(item->barWidth(), kButtonHeight);
                view->setFrame(f);
            }
            addSubview(view);
            shown_.push_back(view);
        }
    }
    layoutSubviews();
}

void UIToolbar::layoutSubviews()
{
    const CGRect b = bounds();
    CGFloat used = 0;
    int flexible = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        const Ref<UIBarButtonItem>& item = items_[i];
        if (item->systemItem() == UIBarButtonSystemItemFlexibleSpace) {
            ++flexible;
        } else {
            used += item->barWidth();
        }
        if (i > 0) used += kGap;
    }
    const CGFloat spare = std::max<CGFloat>(0, b.size.width - 2 * kEdge - used);
    const CGFloat flex = flexible > 0 ? spare / flexible : 0;
    CGFloat x = kEdge;
    for (size_t i = 0; i < items_.size(); ++i) {
        const Ref<UIBarButtonItem>& item = items_[i];
        if (i > 0) x += kGap;
        if (item->systemItem() == UIBarButtonSystemItemFlexibleSpace) {
            x += flex;
            continue;
        }
        const CGFloat width = item->barWidth();
        if (Ref<UIView> view = item->barView(); view && view->superview().get() == this) {
            const CGFloat h = view->frame().size.height;
            view->setFrame(CGRectMake(std::round(x), std::round((b.size.height - h) / 2), width, h));
        }
        x += width;
    }
}
