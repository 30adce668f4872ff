#include "widgets/CustomFontLabel.h"

#include <algorithm>
#include <cmath>

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "widgets/CustomFontManager.h"
#include "widgets/TextDrawing.h"

Ref<CustomFontLabel> CustomFontLabel::initWithFrame_fontName_pointSize(CGRect frame, const std::string& fontName,
                                                                       float pointSize)
{
    Ref<CustomFontLabel> label = initWithFrame(frame);
    label->textFont_ = CustomFontManager::sharedManager()->textFontWithName_pointSize(fontName, pointSize);
    return label;
}

Ref<CustomFontLabel> CustomFontLabel::initWithFrame_textFont(CGRect frame, const Ref<TextFont>& font)
{
    Ref<CustomFontLabel> label = initWithFrame(frame);
    label->textFont_ = font;
    return label;
}

Ref<CustomFontLabel> CustomFontLabel::initWithFrame_font_pointSize(CGRect frame, const CGFontRef& font,
                                                                   float pointSize)
{
    return initWithFrame_textFont(frame, TextFont::fontWithCGFont_size(font, pointSize));
}

CGFontRef CustomFontLabel::cgFont() const { return textFont_ ? textFont_->cgFont() : CGFontRef(); }

float CustomFontLabel::pointSize() const { return textFont_ ? textFont_->pointSize() : 0; }

void CustomFontLabel::setCGFont(const CGFontRef& font)
{
    if (font != cgFont()) {
        textFont_ = TextFont::fontWithCGFont_size(font, pointSize());
    }
}

void CustomFontLabel::setPointSize(float size)
{
    if (size != pointSize()) {
        textFont_ = TextFont::fontWithCGFont_size(cgFont(), size);
    }
}

void CustomFontLabel::setZAttributedText(const Ref<const TextAttributedString>& text)
{
    if (text == textAttributedText_) {
        return;
    }
    textAttributedText_ = text ? TextAttributedString::initWithAttributedString(text) : nullptr;
    setNeedsDisplay();
}

void CustomFontLabel::drawTextInRect(CGRect rect)
{
    if (textAttributedText_) {
        drawAttributed(rect);
    } else if (textFont_) {
        drawWithFont(rect);
    } else {
        UILabel::drawTextInRect(rect);
    }
}

void CustomFontLabel::drawAttributed(CGRect rect)
{
    Ref<const TextAttributedString> text = textAttributedText_;
    if (isHighlighted()) {
        // Stretches without their own colour turn white; coloured stretches keep theirs.
        const Ref<TextMutableAttributedString> lit = text->mutableCopy();
        std::vector<NSRange> uncoloured;
        NSUInteger at = 0;
        lit->enumerateAttribute_inRange_options_usingBlock(
            TextForegroundColorAttributeName, NSMakeRange(0, lit->length()), 0,
            [&](const Value&, NSRange range, bool*) {
                if (range.location > at) {
                    uncoloured.push_back(NSMakeRange(at, range.location - at));
                }
                at = range.location + range.length;
            });
        if (at < lit->length()) {
            uncoloured.push_back(NSMakeRange(at, lit->length() - at));
        }
        for (const NSRange range : uncoloured) {
            lit->addAttribute_value_range(TextForegroundColorAttributeName, Value(UIColor::whiteColor()), range);
        }
        text = lit;
    }
    const CGSize measured = TextAttributedStringDrawing::sizeConstrainedToSize_lineBreakMode_numberOfLines(
        text, rect.size, int(lineBreakMode()), NSUInteger(std::max<NSInteger>(numberOfLines(), 0)));
    rect.origin.y += std::round((rect.size.height - measured.height) / 2);
    rect.size.height = measured.height;
    TextAttributedStringDrawing::drawInRect_withLineBreakMode_alignment_numberOfLines(
        text, rect, int(lineBreakMode()), int(textAlignment()), NSUInteger(std::max<NSInteger>(numberOfLines(), 0)));
}

void CustomFontLabel::drawWithFont(CGRect rect)
{
    const CGContextRef context = UIGraphicsGetCurrentContext();
    if (!context) {
        return;
    }
    Ref<UIColor> colour = isHighlighted() ? highlightedTextColor() : textColor();
    if (!colour) {
        colour = isHighlighted() ? UIColor::whiteColor() : UIColor::blackColor();
    }
    context->setFillColor(colour->CGColor());
    const std::string& string = text();
    if (numberOfLines() == 1) {
        const CGSize lineBox = CGSizeMake(rect.size.width, textFont_->leading());
        CGPoint point = CGPointMake(rect.origin.x, rect.origin.y + std::round((rect.size.height - lineBox.height) / 2));
        Ref<TextFont> font = textFont_;
        CGSize size = CustomFontLabelStringDrawing::sizeWithZFont(string, font);
        if (adjustsFontSizeToFitWidth() && minimumFontSize() < font->pointSize()) {
            if (size.width > rect.size.width) {
                const CGFloat shrunk = std::max<CGFloat>(
                    {font->pointSize() * rect.size.width / size.width, minimumFontSize(), 1.0});
                font = font->fontWithSize(float(shrunk));
                size = CustomFontLabelStringDrawing::sizeWithZFont(string, font);
            }
            if (!CGSizeEqualToSize(lineBox, size)) {
                if (baselineAdjustment() == UIBaselineAdjustmentAlignBaselines) {
                    point.y += textFont_->ascender() - font->ascender();
                } else if (baselineAdjustment() == UIBaselineAdjustmentAlignCenters) {
                    point.y += std::round((lineBox.height - size.height) / 2);
                }
            }
        }
        const CGFloat width = std::min(size.width, rect.size.width);
        if (textAlignment() == UITextAlignmentRight) {
            point.x += rect.size.width - width;
        } else if (textAlignment() == UITextAlignmentCenter) {
            point.x += (rect.size.width - width) / 2;
        }
        CustomFontLabelStringDrawing::drawAtPoint_forWidth_withZFont_lineBreakMode(string, point, width, font,
                                                                                   int(lineBreakMode()));
        return;
    }
    const NSUInteger lines = NSUInteger(std::max<NSInteger>(numberOfLines(), 0));
    const CGSize measured = CustomFontLabelStringDrawing::sizeWithZFont_constrainedToSize_lineBreakMode_numberOfLines(
        string, textFont_, rect.size, int(lineBreakMode()), lines);
    rect.origin.y += std::round((rect.size.height - measured.height) / 2);
    rect.size.height = measured.height;
    CustomFontLabelStringDrawing::drawInRect_withZFont_lineBreakMode_alignment_numberOfLines(
        string, rect, textFont_, int(lineBreakMode()), int(textAlignment()), lines);
}

CGRect CustomFontLabel::textRectForBounds_limitedToNumberOfLines(CGRect bounds, NSInteger lines)
{
    if (!textFont_ && !textAttributedText_) {
        return UILabel::textRectForBounds_limitedToNumberOfLines(bounds, lines);
    }
    if (lines == 1) {
        const CGSize size = textAttributedText_ ? TextAttributedStringDrawing::size(textAttributedText_)
                                                : CustomFontLabelStringDrawing::sizeWithZFont(text(), textFont_);
        return CGRectMake(bounds.origin.x, bounds.origin.y, std::min(bounds.size.width, size.width),
                          std::min(bounds.size.height, size.height));
    }
    // The limit is counted in the font's lines; a styled text without a font keeps the whole height
    // (a limit of lines of no height would leave nothing to draw).
    if (lines > 0 && textFont_) {
        bounds.size.height = std::min<CGFloat>(bounds.size.height, CGFloat(lines) * textFont_->leading());
    }
    const CGSize size = textAttributedText_
                            ? TextAttributedStringDrawing::sizeConstrainedToSize_lineBreakMode(
                                  textAttributedText_, bounds.size, int(lineBreakMode()))
                            : CustomFontLabelStringDrawing::sizeWithZFont_constrainedToSize_lineBreakMode(
                                  text(), textFont_, bounds.size, int(lineBreakMode()));
    return CGRectMake(bounds.origin.x, bounds.origin.y, size.width, size.height);
}
