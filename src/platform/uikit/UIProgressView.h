#pragma once
// Progress bars: a progress between 0 and 1 (clamped); 9 points high (11 in the bar style).
#include "platform/uikit/UIView.h"

class UIProgressView : public UIView {
public:
    static Ref<UIProgressView> initWithFrame(CGRect frame) { return makeWithFrame<UIProgressView>(frame); }
    static Ref<UIProgressView> create() { return makeWithFrame<UIProgressView>(CGRectZero); }
    static Ref<UIProgressView> initWithProgressViewStyle(UIProgressViewStyle style);

    UIProgressViewStyle progressViewStyle() const { return style_; }
    void setProgressViewStyle(UIProgressViewStyle style);
    float progress() const { return progress_; }
    void setProgress(float progress);
    void setProgress_animated(float progress, bool animated) { setProgress(progress); }
    Ref<UIColor> progressTintColor() const { return progressTint_; }
    void setProgressTintColor(const Ref<UIColor>& color) { progressTint_ = color; }
    Ref<UIColor> trackTintColor() const { return trackTint_; }
    void setTrackTintColor(const Ref<UIColor>& color) { trackTint_ = color; }

    void setFrame(CGRect frame) override;
    CGSize sizeThatFits(CGSize size) const override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

private:
    CGFloat barHeight() const { return style_ == UIProgressViewStyleBar ? 11 : 9; }

    UIProgressViewStyle style_ = UIProgressViewStyleDefault;
    float progress_ = 0;
    Ref<UIColor> progressTint_;
    Ref<UIColor> trackTint_;
};
