#pragma once
// The phone's screen: 320 x 480 points at a scale of 1 or 2 (settable, for tests of both kinds of
// phone).
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"

class UIScreen : public NSObject {
public:
    static Ref<UIScreen> mainScreen();

    CGRect bounds() const { return bounds_; }
    // The screen less the status bar (20 points at the top while it shows).
    CGRect applicationFrame() const;
    CGFloat scale() const { return scale_; }

    // Headless settings.
    void setScale(CGFloat scale) { scale_ = scale > 0 ? scale : 1; }
    void setBounds(CGRect bounds) { bounds_ = bounds; }

    UIScreen() = default;

private:
    CGRect bounds_ = CGRectMake(0, 0, 320, 480);
    CGFloat scale_ = 1;
};
