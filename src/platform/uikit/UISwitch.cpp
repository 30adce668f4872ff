#include "platform/uikit/UISwitch.h"

void UISwitch::initWithFrameBody(CGRect frame) { UIControl::initWithFrameBody(frame); }

void UISwitch::setFrame(CGRect frame) { UIControl::setFrame(CGRectMake(frame.origin.x, frame.origin.y, 79, 27)); }

void UISwitch::endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event)
{
    if (touch && touchCountsAsInside(touch->locationInView(self<UIView>()))) {
        setOn(!on_);
        sendActionsForControlEvents(UIControlEventValueChanged, event);
    }
}
