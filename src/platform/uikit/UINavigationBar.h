#pragma once
// Navigation bars: a stack of navigation items, the top one shown. The bar lays out, from its items,
// real views that tests can find and tap: the back button (when the top item has a back item under
// it, shows no left item - unless its left items supplement the back button - and does not hide it),
// the left and right items' views 5 points from the edges, and the title view or a title label
// centred between them. The back button asks the delegate whether the top item may go (a
// navigation controller pops its top controller then).
//
// A change of the top item made animated while the bar is on show moves across the bar as the
// screens below it slide: on a push the new title comes in from the right and the old one goes off
// to the left towards the back button, both fading; a pop the other way round; the buttons fade in
// and out where they stand. What leaves is a copy that goes away when the move ends; the model is
// the new state at once.
#include <string>
#include <vector>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIView.h"

class NSTimer;
class UIBarButtonItem;
class UIButton;
class UIImage;
class UILabel;
class UINavigationBar;
class UINavigationItem;

enum UIBarStyle : NSInteger {
    UIBarStyleDefault = 0,
    UIBarStyleBlack = 1,
    UIBarStyleBlackOpaque = 1,
    UIBarStyleBlackTranslucent = 2,
};

enum UIBarMetrics : NSInteger { UIBarMetricsDefault = 0, UIBarMetricsLandscapePhone = 1 };

class UINavigationBarDelegate {
public:
    virtual ~UINavigationBarDelegate() = default;
    virtual bool navigationBar_shouldPushItem(const Ref<UINavigationBar>& bar, const Ref<UINavigationItem>& item)
    {
        return true;
    }
    virtual void navigationBar_didPushItem(const Ref<UINavigationBar>& bar, const Ref<UINavigationItem>& item) {}
    virtual bool navigationBar_shouldPopItem(const Ref<UINavigationBar>& bar, const Ref<UINavigationItem>& item)
    {
        return true;
    }
    virtual void navigationBar_didPopItem(const Ref<UINavigationBar>& bar, const Ref<UINavigationItem>& item) {}
};

// The bar's own back button: the standard look's arrow-shaped tile, pointing back, with the title of
// the item it returns to.
class UINavigationBackButton : public UIButton {
public:
    static Ref<UINavigationBackButton> create() { return makeWithFrame<UINavigationBackButton>(CGRectZero); }
    void drawRect(CGRect rect) override;
};

class UINavigationBar : public UIView {
public:
    static Ref<UINavigationBar> initWithFrame(CGRect frame) { return makeWithFrame<UINavigationBar>(frame); }
    static Ref<UINavigationBar> create() { return makeWithFrame<UINavigationBar>(CGRectMake(0, 0, 320, 44)); }

    UIBarStyle barStyle() const { return barStyle_; }
    void setBarStyle(UIBarStyle style) { barStyle_ = style; }
    bool isTranslucent() const { return translucent_; }
    void setTranslucent(bool translucent) { translucent_ = translucent; }
    Ref<UIColor> tintColor() const { return tintColor_; }
    void setTintColor(const Ref<UIColor>& color) { tintColor_ = color; }
    Ref<UIImage> backgroundImageForBarMetrics(UIBarMetrics metrics) const;
    void setBackgroundImage_forBarMetrics(const Ref<UIImage>& image, UIBarMetrics metrics);

    Ref<UINavigationBarDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UINavigationBarDelegate>& delegate) { delegate_ = delegate; }

    const std::vector<Ref<UINavigationItem>>& items() const { return items_; }
    void setItems(std::vector<Ref<UINavigationItem>> items) { setItems_animated(std::move(items), false); }
    void setItems_animated(std::vector<Ref<UINavigationItem>> items, bool animated);
    Ref<UINavigationItem> topItem() const { return items_.empty() ? nullptr : items_.back(); }
    Ref<UINavigationItem> backItem() const { return items_.size() < 2 ? nullptr : items_[items_.size() - 2]; }
    void pushNavigationItem_animated(const Ref<UINavigationItem>& item, bool animated);
    Ref<UINavigationItem> popNavigationItemAnimated(bool animated);

    // What shows now (null when nothing does).
    Ref<UIButton> backButton() const { return backButton_; }
    Ref<UIView> leftView() const { return leftView_; }
    Ref<UIView> rightView() const { return rightView_; }
    Ref<UIView> titleView() const { return titleView_; }
    Ref<UILabel> titleLabel() const { return titleLabel_; }
    // The back button's title ("" when there is none).
    std::string backButtonTitle() const;

    // The user taps the back button: false when there is none or the delegate keeps the item.
    bool simulateBackButtonTap();

    // A shown item changed.
    void itemDidChange(UINavigationItem* item);
    void layoutSubviews() override;
    void initWithFrameBody(CGRect frame) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

    // The copies of the last animated change's leaving title and buttons, while they move out.
    const std::vector<Ref<UIView>>& leavingViews() const { return leaving_; }

private:
    void refresh();
    // refresh(), moving from the old top item to the new one when animated and on show.
    void refreshAnimated(bool animated, bool pushing);
    void dropLeavingViews();
    void reclaim(const Ref<UIView>& view);

    UIBarStyle barStyle_ = UIBarStyleDefault;
    bool translucent_ = false;
    Ref<UIColor> tintColor_;
    Ref<UIImage> backgroundImage_;
    Ref<UIImage> landscapeBackgroundImage_;
    Weak<UINavigationBarDelegate> delegate_;
    std::vector<Ref<UINavigationItem>> items_;
    Ref<UIButton> backButton_;
    Ref<UIView> leftView_;
    Ref<UIView> rightView_;
    Ref<UIView> titleView_;
    Ref<UILabel> titleLabel_;
    std::vector<Ref<UIView>> leaving_;
    Ref<NSTimer> leavingEnd_;
};
