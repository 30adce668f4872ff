#pragma once
// A navigation bar that paints a pattern image instead of the plain bar: the bundle image
// "navbar-pattern-bg.png" drawn into (0, 0, 320, 44), whatever the bar's size. Items and the title
// are the bar's subviews and show above it as usual.
#include "platform/uikit/UINavigationBar.h"

class CustomNavibar : public UINavigationBar {
public:
    static Ref<CustomNavibar> initWithFrame(CGRect frame) { return makeWithFrame<CustomNavibar>(frame); }
    static Ref<CustomNavibar> create() { return makeWithFrame<CustomNavibar>(CGRectZero); }

    void drawRect(CGRect rect) override;
};
