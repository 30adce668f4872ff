#pragma once
// Sliders: a value between a minimum and a maximum (clamped). Dragging sets the value from the
// touch's position along the width and sends value-changed as it moves (continuous, the default) or
// once at the end.
#include "platform/uikit/UIControl.h"

class UIImage;

class UISlider : public UIControl {
public:
    static Ref<UISlider> initWithFrame(CGRect frame) { return makeWithFrame<UISlider>(frame); }
    static Ref<UISlider> create() { return makeWithFrame<UISlider>(CGRectZero); }

    float value() const { return value_; }
    void setValue(float value);
    void setValue_animated(float value, bool animated) { setValue(value); }
    float minimumValue() const { return minimum_; }
    void setMinimumValue(float minimum);
    float maximumValue() const { return maximum_; }
    void setMaximumValue(float maximum);
    bool isContinuous() const { return continuous_; }
    void setContinuous(bool continuous) { continuous_ = continuous; }
    void setThumbImage_forState(const Ref<UIImage>& image, UIControlState state);
    Ref<UIImage> thumbImageForState(UIControlState state) const;

    bool beginTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event) override;
    bool continueTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event) override;
    void endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

private:
    void track(const Ref<UITouch>& touch, const Ref<UIEvent>& event, bool ending);

    float value_ = 0;
    float minimum_ = 0;
    float maximum_ = 1;
    bool continuous_ = true;
    bool changedWhileTracking_ = false;
    Ref<UIImage> thumbNormal_;
    Ref<UIImage> thumbHighlighted_;
};
