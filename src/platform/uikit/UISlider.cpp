#include "platform/uikit/UISlider.h"

#include <algorithm>
#include <cmath>

#include "platform/uikit/UIImage.h"

void UISlider::setValue(float value)
{
    if (std::isnan(value)) {
        return;
    }
    value_ = std::clamp(value, minimum_, std::max(minimum_, maximum_));
    setNeedsDisplay();
}

void UISlider::setMinimumValue(float minimum)
{
    minimum_ = minimum;
    if (maximum_ < minimum_) maximum_ = minimum_;
    setValue(value_);
}

void UISlider::setMaximumValue(float maximum)
{
    maximum_ = maximum;
    if (minimum_ > maximum_) minimum_ = maximum_;
    setValue(value_);
}

void UISlider::setThumbImage_forState(const Ref<UIImage>& image, UIControlState state)
{
    if (state == UIControlStateHighlighted) {
        thumbHighlighted_ = image;
    } else {
        thumbNormal_ = image;
    }
}

Ref<UIImage> UISlider::thumbImageForState(UIControlState state) const
{
    return state == UIControlStateHighlighted && thumbHighlighted_ ? thumbHighlighted_ : thumbNormal_;
}

void UISlider::track(const Ref<UITouch>& touch, const Ref<UIEvent>& event, bool ending)
{
    const CGRect b = bounds();
    if (!touch || b.size.width <= 0) {
        return;
    }
    const CGFloat x = touch->locationInView(self<UIView>()).x;
    const float fraction = float(std::clamp((x - b.origin.x) / b.size.width, CGFloat(0), CGFloat(1)));
    const float previous = value_;
    setValue(minimum_ + fraction * (maximum_ - minimum_));
    changedWhileTracking_ = changedWhileTracking_ || value_ != previous;
    if (continuous_ && value_ != previous) {
        sendActionsForControlEvents(UIControlEventValueChanged, event);
    } else if (!continuous_ && ending && changedWhileTracking_) {
        sendActionsForControlEvents(UIControlEventValueChanged, event);
    }
}

bool UISlider::beginTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event)
{
    changedWhileTracking_ = false;
    track(touch, event, false);
    return true;
}

bool UISlider::continueTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event)
{
    track(touch, event, false);
    return true;
}

void UISlider::endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event)
{
    track(touch, event, true);
}
