#pragma once
// Labels: text in a font and colours, laid out by the string-drawing rules (UIStringDrawing.h).
//
// textRectForBounds_limitedToNumberOfLines gives the rectangle the text takes at the bounds' origin:
// one line (shortened by the line-break mode) when the limit is 1, else wrapped lines within the
// bounds, at most the limit (0: no limit). drawTextInRect centres that rectangle vertically in the
// given one, aligns each line and draws it (shadow first, when there is a shadow colour). With
// adjustsFontSizeToFitWidth, a single line that is too wide is drawn in a smaller font, down to
// minimumFontSize; baselineAdjustment then decides where the smaller line sits.
//
// As on the phone, a new label is white and opaque, shows black system 17 text on one line with tail
// truncation, and does not take touches.
#include <string>

#include "platform/uikit/UIView.h"

class UIFont;

class UILabel : public UIView {
public:
    static Ref<UILabel> initWithFrame(CGRect frame) { return makeWithFrame<UILabel>(frame); }
    static Ref<UILabel> create() { return makeWithFrame<UILabel>(CGRectZero); }

    const std::string& text() const { return text_; }
    virtual void setText(const std::string& text);
    Ref<UIFont> font() const { return font_; }
    void setFont(const Ref<UIFont>& font);  // nil: the system font of 17
    Ref<UIColor> textColor() const { return textColor_; }
    void setTextColor(const Ref<UIColor>& color);  // nil: black
    Ref<UIColor> highlightedTextColor() const { return highlightedTextColor_; }
    void setHighlightedTextColor(const Ref<UIColor>& color);
    bool isHighlighted() const { return highlighted_; }
    bool highlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted);
    bool isEnabled() const { return enabled_; }
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    Ref<UIColor> shadowColor() const { return shadowColor_; }
    void setShadowColor(const Ref<UIColor>& color);
    CGSize shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(CGSize offset);
    UITextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(UITextAlignment alignment);
    UILineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(UILineBreakMode mode);
    NSInteger numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(NSInteger lines);
    bool adjustsFontSizeToFitWidth() const { return adjustsFontSizeToFitWidth_; }
    void setAdjustsFontSizeToFitWidth(bool adjusts);
    CGFloat minimumFontSize() const { return minimumFontSize_; }
    void setMinimumFontSize(CGFloat size);
    UIBaselineAdjustment baselineAdjustment() const { return baselineAdjustment_; }
    void setBaselineAdjustment(UIBaselineAdjustment adjustment) { baselineAdjustment_ = adjustment; }

    virtual CGRect textRectForBounds_limitedToNumberOfLines(CGRect bounds, NSInteger numberOfLines);
    virtual void drawTextInRect(CGRect rect);
    void drawRect(CGRect rect) override;
    CGSize sizeThatFits(CGSize size) const override;

    // The font a single line is drawn in within width: the label's font, or the smaller one that
    // adjustsFontSizeToFitWidth chooses.
    Ref<UIFont> fontFittingWidth(CGFloat width) const;

    void initWithFrameBody(CGRect frame) override;

private:
    CGRect textRect(CGRect bounds, NSInteger numberOfLines, const Ref<UIFont>& font) const;

    std::string text_;
    Ref<UIFont> font_;
    Ref<UIColor> textColor_;
    Ref<UIColor> highlightedTextColor_;
    bool highlighted_ = false;
    bool enabled_ = true;
    Ref<UIColor> shadowColor_;
    CGSize shadowOffset_{0, -1};
    UITextAlignment alignment_ = UITextAlignmentLeft;
    UILineBreakMode lineBreakMode_ = UILineBreakModeTailTruncation;
    NSInteger numberOfLines_ = 1;
    bool adjustsFontSizeToFitWidth_ = false;
    CGFloat minimumFontSize_ = 0;
    UIBaselineAdjustment baselineAdjustment_ = UIBaselineAdjustmentAlignBaselines;
};
