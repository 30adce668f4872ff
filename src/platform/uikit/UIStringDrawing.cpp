#include "platform/uikit/UIStringDrawing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/graphics/TextLayout.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"

namespace UIStringDrawing {

namespace {

constexpr CGFloat kUnlimited = std::numeric_limits<CGFloat>::infinity();

textlayout::Layout singleLine(const std::string& text, const Ref<UIFont>& font, CGFloat width, UILineBreakMode mode)
{
    if (!font || text.empty()) {
        return {};
    }
    return textlayout::layoutSingleLine(text, font->metrics(), width, textlayout::LineBreak(mode));
}

textlayout::Layout lines(const std::string& text, const Ref<UIFont>& font, CGSize size, UILineBreakMode mode)
{
    if (!font || text.empty()) {
        return {};
    }
    return textlayout::layoutText(text, font->metrics(), size.width, size.height, 0, textlayout::LineBreak(mode));
}

void draw(const textlayout::Layout& layout, CGRect box, const Ref<UIFont>& font, UITextAlignment alignment)
{
    CGContextRef context = UIGraphicsGetCurrentContext();
    if (!context || !font) {
        return;
    }
    const CGFloat baseline = font->ascender();
    for (size_t i = 0; i < layout.lines.size(); ++i) {
        const textlayout::Line& line = layout.lines[i];
        CGFloat x = box.origin.x;
        if (std::isfinite(box.size.width)) {
            const CGFloat room = box.size.width - line.width;
            if (alignment == UITextAlignmentCenter) {
                x += room / 2;
            } else if (alignment == UITextAlignmentRight) {
                x += room;
            }
        }
        const CGRect lineBox =
            CGRectMake(x, box.origin.y + layout.lineHeight * CGFloat(i), line.width, layout.lineHeight);
        context->showTextLine(line.text, lineBox, baseline, font->fontName(), font->pointSize());
    }
}

}  // namespace

CGSize sizeWithFont(const std::string& text, const Ref<UIFont>& font)
{
    return singleLine(text, font, kUnlimited, UILineBreakModeClip).size;
}

CGSize sizeWithFont_forWidth_lineBreakMode(const std::string& text, const Ref<UIFont>& font, CGFloat width,
                                           UILineBreakMode mode)
{
    return singleLine(text, font, width, mode).size;
}

CGSize sizeWithFont_constrainedToSize(const std::string& text, const Ref<UIFont>& font, CGSize size)
{
    return lines(text, font, size, UILineBreakModeWordWrap).size;
}

CGSize sizeWithFont_constrainedToSize_lineBreakMode(const std::string& text, const Ref<UIFont>& font, CGSize size,
                                                    UILineBreakMode mode)
{
    return lines(text, font, size, mode).size;
}

CGSize sizeWithFont_minFontSize_actualFontSize_forWidth_lineBreakMode(const std::string& text,
                                                                      const Ref<UIFont>& font, CGFloat minFontSize,
                                                                      CGFloat* actualFontSize, CGFloat width,
                                                                      UILineBreakMode mode)
{
    if (!font) {
        if (actualFontSize != nullptr) {
            *actualFontSize = 0;
        }
        return {};
    }
    Ref<UIFont> used = font;
    const CGFloat full = textlayout::widthOfText(text, font->metrics());
    if (full > width && width > 0 && minFontSize < font->pointSize()) {
        const CGFloat size = std::max({font->pointSize() * width / full, minFontSize, CGFloat(1)});
        used = font->fontWithSize(std::floor(size * 2) / 2);  // half points, as the scaled text is set
        while (used->pointSize() > std::max(minFontSize, CGFloat(1)) &&
               textlayout::widthOfText(text, used->metrics()) > width) {
            used = font->fontWithSize(std::max(used->pointSize() - 0.5, std::max(minFontSize, CGFloat(1))));
        }
    }
    if (actualFontSize != nullptr) {
        *actualFontSize = used->pointSize();
    }
    return singleLine(text, used, width, mode).size;
}

CGSize drawAtPoint_withFont(const std::string& text, CGPoint point, const Ref<UIFont>& font)
{
    const auto layout = singleLine(text, font, kUnlimited, UILineBreakModeClip);
    draw(layout, CGRectMake(point.x, point.y, kUnlimited, kUnlimited), font, UITextAlignmentLeft);
    return layout.size;
}

CGSize drawAtPoint_forWidth_withFont_lineBreakMode(const std::string& text, CGPoint point, CGFloat width,
                                                   const Ref<UIFont>& font, UILineBreakMode mode)
{
    const auto layout = singleLine(text, font, width, mode);
    draw(layout, CGRectMake(point.x, point.y, width, kUnlimited), font, UITextAlignmentLeft);
    return layout.size;
}

CGSize drawInRect_withFont(const std::string& text, CGRect rect, const Ref<UIFont>& font)
{
    return drawInRect_withFont_lineBreakMode_alignment(text, rect, font, UILineBreakModeWordWrap,
                                                       UITextAlignmentLeft);
}

CGSize drawInRect_withFont_lineBreakMode(const std::string& text, CGRect rect, const Ref<UIFont>& font,
                                         UILineBreakMode mode)
{
    return drawInRect_withFont_lineBreakMode_alignment(text, rect, font, mode, UITextAlignmentLeft);
}

CGSize drawInRect_withFont_lineBreakMode_alignment(const std::string& text, CGRect rect, const Ref<UIFont>& font,
                                                   UILineBreakMode mode, UITextAlignment alignment)
{
    rect = CGRectStandardize(rect);
    const auto layout = lines(text, font, rect.size, mode);
    draw(layout, rect, font, alignment);
    return layout.size;
}

}  // namespace UIStringDrawing
