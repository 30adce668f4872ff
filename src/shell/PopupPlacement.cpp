#include "shell/PopupPlacement.h"

#include <algorithm>

#include "platform/uikit/UIWindow.h"

namespace {
namespace PopupPlacement_cpp {

// The status bar and a navigation bar under it.
constexpr CGFloat kBarsHeight = 20 + 44;

}  // namespace PopupPlacement_cpp
}  // namespace

CGRect PopupArea(const Ref<UIWindow>& window)
{
    const CGRect bounds = window ? window->bounds() : CGRectMake(0, 0, 320, 480);
    const CGFloat top = std::min(PopupPlacement_cpp::kBarsHeight, bounds.size.height);
    return CGRectMake(bounds.origin.x, bounds.origin.y + top, bounds.size.width, bounds.size.height - top);
}

CGRect PopupFrameNearPoint(CGPoint point, CGRect below, CGFloat gap, CGRect area)
{
    CGRect frame = below;
    if (CGRectGetMaxY(frame) > CGRectGetMaxY(area)) {
        frame.origin.y = point.y - gap - frame.size.height;
    }
    frame.origin.x = std::max(CGRectGetMinX(area), std::min(frame.origin.x, CGRectGetMaxX(area) - frame.size.width));
    frame.origin.y = std::max(CGRectGetMinY(area), std::min(frame.origin.y, CGRectGetMaxY(area) - frame.size.height));
    return frame;
}
