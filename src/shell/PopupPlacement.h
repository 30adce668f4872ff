#pragma once
// Where the popups opened next to a button (the video panel, the emotion popup) go on the window.
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"

class UIWindow;

// The part of the window a popup may cover: below the status bar and the navigation bar, down to the
// window's foot.
CGRect PopupArea(const Ref<UIWindow>& window);

// The frame of a popup that would open at `below` (its place under the point it belongs to). When it
// would leave `area` at the foot, it opens above the point instead, its foot `gap` points over it; then
// it is moved as little as needed to lie inside `area` (its top edge wins when it is taller).
CGRect PopupFrameNearPoint(CGPoint point, CGRect below, CGFloat gap, CGRect area);
