#include "platform/uikit/UITouch.h"

#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

namespace {
CGPoint fromWindow(CGPoint point, const Ref<UIWindow>& window, const Ref<UIView>& view)
{
    if (!view) {
        return point;
    }
    if (window) {
        return view->convertPoint_fromView(point, window);
    }
    return view->convertPoint_fromView(point, nullptr);
}
}  // namespace

void UITouch::moveTo(CGPoint locationInWindow)
{
    previous_ = location_;
    location_ = locationInWindow;
}

CGPoint UITouch::locationInView(const Ref<UIView>& view) const { return fromWindow(location_, window(), view); }

CGPoint UITouch::previousLocationInView(const Ref<UIView>& view) const
{
    return fromWindow(previous_, window(), view);
}

UITouchSet UIEvent::touchesForView(const Ref<UIView>& view) const
{
    UITouchSet set;
    for (const auto& touch : touches_) {
        if (touch->view() == view) {
            set.touches.push_back(touch);
        }
    }
    return set;
}

UITouchSet UIEvent::touchesForWindow(const Ref<UIWindow>& window) const
{
    UITouchSet set;
    for (const auto& touch : touches_) {
        if (touch->window() == window) {
            set.touches.push_back(touch);
        }
    }
    return set;
}
