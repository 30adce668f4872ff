#pragma once
// CountBadge: a small drawn badge - a rounded, shadowed pill in a fill colour with an optional light
// frame line and an optional glossy shine, and a short centred text (a count or a word). Screens
// make it with countBadgeWithString (white text on red, white frame, scale 1, shine on), add it to a
// cell's content view and place it by changing its frame.
//
// Size (autoBadgeSizeWithString): 25 x 25 points times the scale factor for a text of fewer than two
// characters (UTF-16 units), else (25 + the text's width in bold 12 + its character count) x 25, times
// the scale factor; the origin is kept. setBadgeText only stores the text: a shown badge shows a new
// text at its next redraw, in its old size.
#include <string>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIView.h"

class UIColor;

class CountBadge : public UIView {
public:
    static Ref<CountBadge> initWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
        const std::string& text, const Ref<UIColor>& textColor, const Ref<UIColor>& insetColor, bool frame,
        const Ref<UIColor>& frameColor, CGFloat scale, bool shining);
    // White text on red in a white frame.
    static Ref<CountBadge> initWithString_withScale_withShining(const std::string& text, CGFloat scale, bool shining);
    static Ref<CountBadge> countBadgeWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
        const std::string& text, const Ref<UIColor>& textColor, const Ref<UIColor>& insetColor, bool frame,
        const Ref<UIColor>& frameColor, CGFloat scale, bool shining);
    // Scale 1 with the shine, white text on red in a white frame.
    static Ref<CountBadge> countBadgeWithString(const std::string& text);

    // Sizes the badge to the text, stores it and asks for a redraw.
    void autoBadgeSizeWithString(const std::string& text);

    // The three layers of the drawing, in the rectangle the badge draws in.
    void drawRoundedRectWithContext_withRect(const CGContextRef& context, CGRect rect);
    void drawShineWithContext_withRect(const CGContextRef& context, CGRect rect);
    void drawFrameWithContext_withRect(const CGContextRef& context, CGRect rect);

    const std::string& badgeText() const { return badgeText_; }
    void setBadgeText(const std::string& text) { badgeText_ = text; }
    Ref<UIColor> badgeTextColor() const { return badgeTextColor_; }
    void setBadgeTextColor(const Ref<UIColor>& color) { badgeTextColor_ = color; }
    Ref<UIColor> badgeInsetColor() const { return badgeInsetColor_; }
    void setBadgeInsetColor(const Ref<UIColor>& color) { badgeInsetColor_ = color; }
    Ref<UIColor> badgeFrameColor() const { return badgeFrameColor_; }
    void setBadgeFrameColor(const Ref<UIColor>& color) { badgeFrameColor_ = color; }
    bool badgeFrame() const { return badgeFrame_; }
    void setBadgeFrame(bool frame) { badgeFrame_ = frame; }
    bool badgeShining() const { return badgeShining_; }
    void setBadgeShining(bool shining) { badgeShining_ = shining; }
    // The corner radius as a fraction of the drawing rectangle's bottom edge (max y).
    CGFloat badgeCornerRoundness() const { return badgeCornerRoundness_; }
    void setBadgeCornerRoundness(CGFloat roundness) { badgeCornerRoundness_ = roundness; }
    CGFloat badgeScaleFactor() const { return badgeScaleFactor_; }
    void setBadgeScaleFactor(CGFloat scale) { badgeScaleFactor_ = scale; }

    // The frame line's width: 2 points, 2 + a quarter of the scale factor above scale 1.
    CGFloat frameLineWidth() const;
    // The text's font size: 13.5 x the scale factor, a fifth larger for a text of one character.
    CGFloat textFontSize() const;

    void initWithFrameBody(CGRect frame) override;
    void drawRect(CGRect rect) override;

protected:
    void initWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShiningBody(
        const std::string& text, const Ref<UIColor>& textColor, const Ref<UIColor>& insetColor, bool frame,
        const Ref<UIColor>& frameColor, CGFloat scale, bool shining);

private:
    std::string badgeText_;
    Ref<UIColor> badgeTextColor_;
    Ref<UIColor> badgeInsetColor_;
    Ref<UIColor> badgeFrameColor_;
    bool badgeFrame_ = false;
    bool badgeShining_ = false;
    CGFloat badgeCornerRoundness_ = 0.4;
    CGFloat badgeScaleFactor_ = 1;
};
