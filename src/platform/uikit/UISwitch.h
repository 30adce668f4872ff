#pragma once
// On/off switches: always 79 x 27 points; a tap toggles and sends value-changed (setting `on` from
// code sends nothing).
#include "platform/uikit/UIControl.h"

class UISwitch : public UIControl {
public:
    static Ref<UISwitch> initWithFrame(CGRect frame) { return makeWithFrame<UISwitch>(frame); }
    static Ref<UISwitch> create() { return makeWithFrame<UISwitch>(CGRectZero); }

    bool isOn() const { return on_; }
    bool on() const { return on_; }
    void setOn(bool on) { on_ = on; setNeedsDisplay(); }
    void setOn_animated(bool on, bool animated) { setOn(on); }
    Ref<UIColor> onTintColor() const { return onTintColor_; }
    void setOnTintColor(const Ref<UIColor>& color) { onTintColor_ = color; }

    void setFrame(CGRect frame) override;
    CGSize sizeThatFits(CGSize size) const override { return {79, 27}; }
    void endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event) override;

    void initWithFrameBody(CGRect frame) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

private:
    bool on_ = false;
    Ref<UIColor> onTintColor_;
};
