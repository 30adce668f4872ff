#include "platform/uikit/UILabel.h"

#include <cmath>
#include <limits>

#include "platform/graphics/TextLayout.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {
constexpr CGFloat kUnlimited = std::numeric_limits<CGFloat>::infinity();
}

void UILabel::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    font_ = UIFont::systemFontOfSize(17);
    textColor_ = UIColor::blackColor();
    setBackgroundColor(UIColor::whiteColor());
    setOpaque(true);
    setUserInteractionEnabled(false);
}

void UILabel::setText(const std::string& text)
{
    if (text == text_) {
        return;
    }
    text_ = text;
    setNeedsDisplay();
}

void UILabel::setFont(const Ref<UIFont>& font)
{
    font_ = font ? font : UIFont::systemFontOfSize(17);
    setNeedsDisplay();
}

void UILabel::setTextColor(const Ref<UIColor>& color)
{
    textColor_ = color ? color : UIColor::blackColor();
    setNeedsDisplay();
}

void UILabel::setHighlightedTextColor(const Ref<UIColor>& color)
{
    highlightedTextColor_ = color;
    setNeedsDisplay();
}

void UILabel::setHighlighted(bool highlighted)
{
    highlighted_ = highlighted;
    setNeedsDisplay();
}

void UILabel::setEnabled(bool enabled)
{
    enabled_ = enabled;
    setNeedsDisplay();
}

void UILabel::setShadowColor(const Ref<UIColor>& color)
{
    shadowColor_ = color;
    setNeedsDisplay();
}

void UILabel::setShadowOffset(CGSize offset)
{
    shadowOffset_ = offset;
    setNeedsDisplay();
}

void UILabel::setTextAlignment(UITextAlignment alignment)
{
    alignment_ = alignment;
    setNeedsDisplay();
}

void UILabel::setLineBreakMode(UILineBreakMode mode)
{
    lineBreakMode_ = mode;
    setNeedsDisplay();
}

void UILabel::setNumberOfLines(NSInteger lines)
{
    numberOfLines_ = lines < 0 ? 0 : lines;
    setNeedsDisplay();
}

void UILabel::setAdjustsFontSizeToFitWidth(bool adjusts)
{
    adjustsFontSizeToFitWidth_ = adjusts;
    setNeedsDisplay();
}

void UILabel::setMinimumFontSize(CGFloat size)
{
    minimumFontSize_ = size;
    setNeedsDisplay();
}

Ref<UIFont> UILabel::fontFittingWidth(CGFloat width) const
{
    if (!adjustsFontSizeToFitWidth_ || numberOfLines_ != 1 || !font_ || text_.empty()) {
        return font_;
    }
    CGFloat actual = font_->pointSize();
    UIStringDrawing::sizeWithFont_minFontSize_actualFontSize_forWidth_lineBreakMode(
        text_, font_, minimumFontSize_, &actual, width, lineBreakMode_);
    return actual == font_->pointSize() ? font_ : font_->fontWithSize(actual);
}

CGRect UILabel::textRect(CGRect bounds, NSInteger numberOfLines, const Ref<UIFont>& font) const
{
    bounds = CGRectStandardize(bounds);
    if (text_.empty() || !font) {
        return CGRectMake(bounds.origin.x, bounds.origin.y, 0, 0);
    }
    CGSize size;
    if (numberOfLines == 1) {
        size = UIStringDrawing::sizeWithFont_forWidth_lineBreakMode(text_, font, bounds.size.width, lineBreakMode_);
    } else {
        const auto layout = textlayout::layoutText(text_, font->metrics(), bounds.size.width, bounds.size.height,
                                                   size_t(std::max<NSInteger>(numberOfLines, 0)),
                                                   textlayout::LineBreak(lineBreakMode_));
        size = layout.size;
    }
    return CGRectMake(bounds.origin.x, bounds.origin.y, size.width, size.height);
}

CGRect UILabel::textRectForBounds_limitedToNumberOfLines(CGRect bounds, NSInteger numberOfLines)
{
    return textRect(bounds, numberOfLines, numberOfLines == 1 ? fontFittingWidth(bounds.size.width) : font_);
}

CGSize UILabel::sizeThatFits(CGSize size) const
{
    const CGFloat width = numberOfLines_ == 1 ? kUnlimited : size.width;
    return textRect(CGRectMake(0, 0, width, kUnlimited), numberOfLines_, font_).size;
}

void UILabel::drawRect(CGRect) { drawTextInRect(bounds()); }

void UILabel::drawTextInRect(CGRect rect)
{
    CGContextRef context = UIGraphicsGetCurrentContext();
    if (!context || text_.empty() || !font_) {
        return;
    }
    rect = CGRectStandardize(rect);
    const Ref<UIFont> font = numberOfLines_ == 1 ? fontFittingWidth(rect.size.width) : font_;
    const CGRect measured = textRectForBounds_limitedToNumberOfLines(rect, numberOfLines_);
    CGFloat top = rect.origin.y + std::floor((rect.size.height - measured.size.height) / 2);
    if (font != font_) {
        // The smaller font's line sits where the baseline adjustment puts it, relative to a line of the
        // label's own font centred in the rect.
        const CGFloat fullHeight = font_->metrics().roundedLineHeight();
        const CGFloat fullTop = rect.origin.y + std::floor((rect.size.height - fullHeight) / 2);
        if (baselineAdjustment_ == UIBaselineAdjustmentAlignBaselines) {
            top = fullTop + font_->ascender() - font->ascender();
        } else if (baselineAdjustment_ == UIBaselineAdjustmentNone) {
            top = fullTop;
        }
    }
    Ref<UIColor> color = (highlighted_ && highlightedTextColor_) ? highlightedTextColor_ : textColor_;
    if (!enabled_) {
        color = UIColor::colorWithWhite_alpha(0.56, 1);
    }
    auto draw = [&](CGFloat dx, CGFloat dy) {
        if (numberOfLines_ == 1) {
            CGFloat x = rect.origin.x;
            const CGFloat room = rect.size.width - measured.size.width;
            if (alignment_ == UITextAlignmentCenter) {
                x += room / 2;
            } else if (alignment_ == UITextAlignmentRight) {
                x += room;
            }
            UIStringDrawing::drawAtPoint_forWidth_withFont_lineBreakMode(text_, CGPointMake(x + dx, top + dy),
                                                                         rect.size.width, font, lineBreakMode_);
        } else {
            UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(
                text_, CGRectMake(rect.origin.x + dx, top + dy, rect.size.width, measured.size.height), font,
                lineBreakMode_, alignment_);
        }
    };
    context->saveGState();
    if (shadowColor_) {
        shadowColor_->setFill();
        draw(shadowOffset_.width, shadowOffset_.height);
    }
    color->setFill();
    draw(0, 0);
    context->restoreGState();
}
