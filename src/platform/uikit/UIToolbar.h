#pragma once
// Toolbars: a row of bar button items. Items are laid out from the left, 12 points from the edges
// and 10 apart, each in its bar width; fixed spaces take their width and flexible spaces share what
// is left. Items show as their bar views (UIBarButtonItem::barView), which tests can tap.
#include <vector>

#include "platform/uikit/UINavigationBar.h"

class UIToolbar : public UIView {
public:
    static Ref<UIToolbar> initWithFrame(CGRect frame) { return makeWithFrame<UIToolbar>(frame); }
    static Ref<UIToolbar> create() { return makeWithFrame<UIToolbar>(CGRectMake(0, 0, 320, 44)); }

    UIBarStyle barStyle() const { return barStyle_; }
    void setBarStyle(UIBarStyle style) { barStyle_ = style; }
    bool isTranslucent() const { return translucent_; }
    void setTranslucent(bool translucent) { translucent_ = translucent; }
    Ref<UIColor> tintColor() const { return tintColor_; }
    void setTintColor(const Ref<UIColor>& color) { tintColor_ = color; }

    const std::vector<Ref<UIBarButtonItem>>& items() const { return items_; }
    void setItems(std::vector<Ref<UIBarButtonItem>> items) { setItems_animated(std::move(items), false); }
    void setItems_animated(std::vector<Ref<UIBarButtonItem>> items, bool animated);

    void layoutSubviews() override;
    void initWithFrameBody(CGRect frame) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

private:
    UIBarStyle barStyle_ = UIBarStyleDefault;
    bool translucent_ = false;
    Ref<UIColor> tintColor_;
    std::vector<Ref<UIBarButtonItem>> items_;
    std::vector<Ref<UIView>> shown_;
};
