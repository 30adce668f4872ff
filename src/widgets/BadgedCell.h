#pragma once
// BadgedCell: a table cell that shows a short text (typically a count) in a rounded, coloured badge at
// the right end of its content area, narrowing its text labels so that they do not run under it.
// BadgeView draws the badge with the text cut out of it (a clear blend), so that whatever lies behind
// the cell shows through the letters.
//
// The cell is meant to be named as a cell class in an interface file, so it is made from a coder as
// well as with a style; both end in configureSelf. An empty badge text hides the badge (the platform's
// nil).
#include <string>

#include "platform/foundation/Value.h"
#include "platform/uikit/UITableViewCell.h"

class UIColor;

// The badge's fill when the cell is neither highlighted nor selected: a blue grey.
Ref<UIColor> BadgeDefaultColor();

class BadgeView : public UIView {
public:
    static Ref<BadgeView> initWithFrame(CGRect frame) { return makeWithFrame<BadgeView>(frame); }
    ~BadgeView() override;

    const std::string& badgeString() const { return badgeString_; }
    void setBadgeString(const std::string& text) { badgeString_ = text; }
    // The cell it belongs to (held weakly): its selection style and states choose the fill.
    Ref<UITableViewCell> parent() const { return parent_.lock(); }
    void setParent(const Ref<UITableViewCell>& parent) { parent_ = parent; }
    // Nil: the default blue grey.
    Ref<UIColor> badgeColor() const { return badgeColor_; }
    void setBadgeColor(const Ref<UIColor>& color) { badgeColor_ = color; }
    // Nil: white.
    Ref<UIColor> badgeColorHighlighted() const { return badgeColorHighlighted_; }
    void setBadgeColorHighlighted(const Ref<UIColor>& color) { badgeColorHighlighted_ = color; }
    bool showShadow() const { return showShadow_; }
    void setShowShadow(bool show) { showShadow_ = show; }
    // The corner radius in points; 0 means 4.
    CGFloat radius() const { return radius_; }
    void setRadius(CGFloat radius) { radius_ = radius; }

    // Whether the badge shows its highlighted look: the parent highlights (its selection style is
    // not none) and is highlighted or selected.
    bool parentShowsHighlight() const;

    void initWithFrameBody(CGRect frame) override;
    void drawRect(CGRect rect) override;

private:
    std::string badgeString_;
    Weak<UITableViewCell> parent_;
    Ref<UIColor> badgeColor_;
    Ref<UIColor> badgeColorHighlighted_;
    bool showShadow_ = false;
    CGFloat radius_ = 0;
};

class BadgedCell : public UITableViewCell {
public:
    static Ref<BadgedCell> initWithStyle_reuseIdentifier(UITableViewCellStyle style, const std::string& reuseIdentifier)
    {
        return makeWithStyle<BadgedCell>(style, reuseIdentifier);
    }
    // The cell as an interface file makes it: the default style, with the archive's
    // "UIReuseIdentifier" (text) as its reuse identifier.
    static Ref<BadgedCell> initWithCoder(const Value& archive);

    // Makes the badge (an empty frame, the cell as its parent) in the content view.
    void configureSelf();

    const std::string& badgeString() const { return badgeString_; }
    // Lays the cell out again, so a shown cell shows the new text.
    void setBadgeString(const std::string& text);
    Ref<BadgeView> badge() const { return badge_; }
    Ref<UIColor> badgeColor() const { return badgeColor_; }
    void setBadgeColor(const Ref<UIColor>& color) { badgeColor_ = color; }
    Ref<UIColor> badgeColorHighlighted() const { return badgeColorHighlighted_; }
    void setBadgeColorHighlighted(const Ref<UIColor>& color) { badgeColorHighlighted_ = color; }
    bool showShadow() const { return showShadow_; }
    void setShowShadow(bool show) { showShadow_ = show; }

    void layoutSubviews() override;
    void setHighlighted_animated(bool highlighted, bool animated) override;
    void setSelected_animated(bool selected, bool animated) override;
    void setEditing_animated(bool editing, bool animated) override;

    void initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier) override;

private:
    std::string badgeString_;
    Ref<BadgeView> badge_;
    Ref<UIColor> badgeColor_;
    Ref<UIColor> badgeColorHighlighted_;
    bool showShadow_ = false;
};
