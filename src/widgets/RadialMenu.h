#pragma once
// RadialMenu: a round add button in a corner that fans its items out along a quarter circle when
// tapped (each on a springy path with a spin, one after another) and folds them back when tapped
// again. Choosing an item blows it up while the others shrink away, folds the menu at once and tells
// the delegate the item's index. RadialMenuItem is one button (the add button is one too).
//
// Geometry, in the menu's coordinates: every item folds to the start point (20, 444); item i of n
// unfolds to the angle i * (pi/2) / (n - 1) from straight up towards the right, at radius 76, passing
// the far point (radius 96) on the way out and the near point (radius 66) on the way in. A menu of one
// item puts it straight up. Items carry the tags 1000 + index.
//
// Folding runs on a repeating 0.026 s timer in the run loop's common modes (it keeps stepping while a
// table scrolls): out from the first item, in from the last. Toggling while a fold runs changes the
// flag and turns the add button at once but lets the running fold finish. Main thread only.
#include <vector>

#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIView.h"

class RadialMenu;
class RadialMenuItem;

inline constexpr CGPoint kRadialMenuStartPoint{20, 444};
inline constexpr CGFloat kRadialMenuEndRadius = 76;
inline constexpr CGFloat kRadialMenuNearRadius = 66;
inline constexpr CGFloat kRadialMenuFarRadius = 96;
inline constexpr double kRadialMenuFoldStepInterval = 0.026;

// The point rotated by angle (radians) about the centre.
CGPoint RotateCGPointAroundCenter(CGPoint point, CGPoint center, CGFloat angle);
// The rectangle's size scaled by n about the centre of a rectangle of that size at the origin (the
// rectangle's own origin is not used).
CGRect ScaleRect(CGRect rect, CGFloat n);

class RadialMenuItemDelegate {
public:
    virtual ~RadialMenuItemDelegate() = default;
    // A finger went down on the item.
    virtual void radialMenuItemTouchesBegan(const Ref<RadialMenuItem>& item) {}
    // A finger was lifted within reach of the item (twice its size around it).
    virtual void radialMenuItemTouchesEnd(const Ref<RadialMenuItem>& item) {}
};

class RadialMenuDelegate {
public:
    virtual ~RadialMenuDelegate() = default;
    virtual void radialMenu_didSelectIndex(const Ref<RadialMenu>& menu, int index) {}
};

class RadialMenuItem : public UIImageView {
public:
    // The content images may be nil.
    static Ref<RadialMenuItem> initWithImage_highlightedImage_ContentImage_highlightedContentImage(
        const Ref<UIImage>& image, const Ref<UIImage>& highlightedImage, const Ref<UIImage>& contentImage,
        const Ref<UIImage>& highlightedContentImage);

    Ref<UIImageView> contentImageView() const { return contentImageView_; }
    CGPoint startPoint() const { return startPoint_; }
    void setStartPoint(CGPoint point) { startPoint_ = point; }
    CGPoint endPoint() const { return endPoint_; }
    void setEndPoint(CGPoint point) { endPoint_ = point; }
    CGPoint nearPoint() const { return nearPoint_; }
    void setNearPoint(CGPoint point) { nearPoint_ = point; }
    CGPoint farPoint() const { return farPoint_; }
    void setFarPoint(CGPoint point) { farPoint_ = point; }
    Ref<RadialMenuItemDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<RadialMenuItemDelegate>& delegate) { delegate_ = delegate; }

    void layoutSubviews() override;
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

    void initWithImage_highlightedImage_ContentImage_highlightedContentImageBody(
        const Ref<UIImage>& image, const Ref<UIImage>& highlightedImage, const Ref<UIImage>& contentImage,
        const Ref<UIImage>& highlightedContentImage);

private:
    void setItemHighlighted(bool highlighted);
    // Whether the touch is within twice the item's size around its centre.
    bool withinReach(const UITouchSet& touches);

    Ref<UIImageView> contentImageView_;
    CGPoint startPoint_;
    CGPoint endPoint_;
    CGPoint nearPoint_;
    CGPoint farPoint_;
    Weak<RadialMenuItemDelegate> delegate_;
};

class RadialMenu : public UIView, public RadialMenuItemDelegate {
public:
    static Ref<RadialMenu> initWithFrame_menus(CGRect frame, const std::vector<Ref<RadialMenuItem>>& menus);
    ~RadialMenu() override;

    const std::vector<Ref<RadialMenuItem>>& menusArray() const { return menusArray_; }
    // A different array replaces the items (the old ones leave the view) and lays the new ones out.
    void setMenusArray(const std::vector<Ref<RadialMenuItem>>& menus);
    bool isExpanding() const { return expanding_; }
    bool expanding() const { return expanding_; }
    void setExpanding(bool expanding);
    Ref<RadialMenuDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<RadialMenuDelegate>& delegate) { delegate_ = delegate; }

    Ref<RadialMenuItem> addButton() const { return addButton_; }
    // Whether a fold (out or in) is stepping.
    bool isFolding() const { return timer_ != nullptr; }

    // While unfolded every point is inside (a tap anywhere folds the menu); otherwise only the add
    // button's frame, also where it lies outside the menu's bounds.
    bool pointInside_withEvent(CGPoint point, const Ref<UIEvent>& event) override;
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

    void radialMenuItemTouchesBegan(const Ref<RadialMenuItem>& item) override;
    void radialMenuItemTouchesEnd(const Ref<RadialMenuItem>& item) override;

    void initWithFrame_menusBody(CGRect frame, const std::vector<Ref<RadialMenuItem>>& menus);

private:
    void expandStep();
    void closeStep();
    void stopTimer();
    Ref<RadialMenuItem> itemAtFlag();

    std::vector<Ref<RadialMenuItem>> menusArray_;
    int flag_ = 0;
    Ref<NSTimer> timer_;
    Ref<RadialMenuItem> addButton_;
    Weak<RadialMenuDelegate> delegate_;
    bool expanding_ = false;
};
