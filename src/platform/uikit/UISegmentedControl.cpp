#include "platform/uikit/UISegmentedControl.h"

#include <algorithm>

#include "platform/uikit/UIImage.h"

Ref<UISegmentedControl> UISegmentedControl::initWithItems(const std::vector<UISegmentItem>& items)
{
    auto control = makeWithFrame<UISegmentedControl>(CGRectZero);
    for (const UISegmentItem& item : items) {
        Segment segment;
        if (const auto* title = std::get_if<std::string>(&item)) {
            segment.title = *title;
        } else {
            segment.image = std::get<Ref<UIImage>>(item);
        }
        control->segments_.push_back(std::move(segment));
    }
    // As on the phone, a control made from items is sized for them: 44 points high.
    control->setFrame(CGRectMake(0, 0, CGFloat(items.size()) * 60, 44));
    return control;
}

void UISegmentedControl::setSelectedSegmentIndex(NSInteger index)
{
    selected_ = (index >= 0 && size_t(index) < segments_.size()) ? index : UISegmentedControlNoSegment;
    setNeedsDisplay();
}

void UISegmentedControl::insertSegmentWithTitle_atIndex_animated(const std::string& title, NSUInteger index, bool)
{
    Segment segment;
    segment.title = title;
    index = std::min<NSUInteger>(index, segments_.size());
    segments_.insert(segments_.begin() + std::ptrdiff_t(index), segment);
    if (selected_ >= NSInteger(index)) {
        ++selected_;
    }
    setNeedsDisplay();
}

void UISegmentedControl::insertSegmentWithImage_atIndex_animated(const Ref<UIImage>& image, NSUInteger index, bool)
{
    Segment segment;
    segment.image = image;
    index = std::min<NSUInteger>(index, segments_.size());
    segments_.insert(segments_.begin() + std::ptrdiff_t(index), segment);
    if (selected_ >= NSInteger(index)) {
        ++selected_;
    }
    setNeedsDisplay();
}

void UISegmentedControl::removeSegmentAtIndex_animated(NSUInteger index, bool)
{
    if (index >= segments_.size()) {
        return;
    }
    segments_.erase(segments_.begin() + std::ptrdiff_t(index));
    if (selected_ == NSInteger(index)) {
        selected_ = UISegmentedControlNoSegment;
    } else if (selected_ > NSInteger(index)) {
        --selected_;
    }
    setNeedsDisplay();
}

void UISegmentedControl::removeAllSegments()
{
    segments_.clear();
    selected_ = UISegmentedControlNoSegment;
    setNeedsDisplay();
}

void UISegmentedControl::setTitle_forSegmentAtIndex(const std::string& title, NSUInteger index)
{
    if (index < segments_.size()) {
        segments_[index].title = title;
        segments_[index].image = nullptr;
        setNeedsDisplay();
    }
}

std::string UISegmentedControl::titleForSegmentAtIndex(NSUInteger index) const
{
    return index < segments_.size() ? segments_[index].title : std::string();
}

void UISegmentedControl::setImage_forSegmentAtIndex(const Ref<UIImage>& image, NSUInteger index)
{
    if (index < segments_.size()) {
        segments_[index].image = image;
        segments_[index].title.clear();
        setNeedsDisplay();
    }
}

Ref<UIImage> UISegmentedControl::imageForSegmentAtIndex(NSUInteger index) const
{
    return index < segments_.size() ? segments_[index].image : nullptr;
}

void UISegmentedControl::setWidth_forSegmentAtIndex(CGFloat width, NSUInteger index)
{
    if (index < segments_.size()) {
        segments_[index].width = std::max<CGFloat>(0, width);
        setNeedsDisplay();
    }
}

CGFloat UISegmentedControl::widthForSegmentAtIndex(NSUInteger index) const
{
    return index < segments_.size() ? segments_[index].width : 0;
}

void UISegmentedControl::setEnabled_forSegmentAtIndex(bool enabled, NSUInteger index)
{
    if (index < segments_.size()) {
        segments_[index].enabled = enabled;
        setNeedsDisplay();
    }
}

bool UISegmentedControl::isEnabledForSegmentAtIndex(NSUInteger index) const
{
    return index < segments_.size() && segments_[index].enabled;
}

CGRect UISegmentedControl::rectForSegmentAtIndex(NSUInteger index) const
{
    const CGRect b = bounds();
    if (index >= segments_.size()) {
        return CGRectNull;
    }
    CGFloat fixed = 0;
    size_t sharing = 0;
    for (const Segment& s : segments_) {
        if (s.width > 0) {
            fixed += s.width;
        } else {
            ++sharing;
        }
    }
    const CGFloat shared = sharing > 0 ? std::max<CGFloat>(0, b.size.width - fixed) / CGFloat(sharing) : 0;
    CGFloat x = b.origin.x;
    for (size_t i = 0; i < index; ++i) {
        x += segments_[i].width > 0 ? segments_[i].width : shared;
    }
    const CGFloat w = segments_[index].width > 0 ? segments_[index].width : shared;
    return CGRectMake(x, b.origin.y, w, b.size.height);
}

void UISegmentedControl::endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event)
{
    if (!touch) {
        return;
    }
    const CGPoint point = touch->locationInView(self<UIView>());
    for (size_t i = 0; i < segments_.size(); ++i) {
        if (!CGRectContainsPoint(rectForSegmentAtIndex(i), point)) {
            continue;
        }
        if (!segments_[i].enabled) {
            return;
        }
        if (momentary_ || selected_ != NSInteger(i)) {
            selected_ = momentary_ ? UISegmentedControlNoSegment : NSInteger(i);
            setNeedsDisplay();
            // A momentary control reports the tapped segment while it sends.
            const NSInteger kept = selected_;
            if (momentary_) {
                selected_ = NSInteger(i);
            }
            sendActionsForControlEvents(UIControlEventValueChanged, event);
            if (momentary_) {
                selected_ = kept;
            }
        }
        return;
    }
}
