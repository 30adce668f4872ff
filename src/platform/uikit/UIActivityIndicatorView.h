#pragma once
// Spinners: large white (37 points), white or grey (20 points). While hidesWhenStopped (the default)
// a stopped spinner is hidden and a started one shown.
#include "platform/uikit/UIView.h"

class UIActivityIndicatorView : public UIView {
public:
    static Ref<UIActivityIndicatorView> initWithFrame(CGRect frame)
    {
        return makeWithFrame<UIActivityIndicatorView>(frame);
    }
    static Ref<UIActivityIndicatorView> create() { return makeWithFrame<UIActivityIndicatorView>(CGRectZero); }
    static Ref<UIActivityIndicatorView> initWithActivityIndicatorStyle(UIActivityIndicatorViewStyle style);

    UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
    void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style);
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool hides);
    Ref<UIColor> color() const { return color_; }
    void setColor(const Ref<UIColor>& color) { color_ = color; }
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }

    CGSize sizeThatFits(CGSize size) const override;
    void initWithFrameBody(CGRect frame) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

private:
    UIActivityIndicatorViewStyle style_ = UIActivityIndicatorViewStyleWhite;
    bool hidesWhenStopped_ = true;
    bool animating_ = false;
    Ref<UIColor> color_;
};
