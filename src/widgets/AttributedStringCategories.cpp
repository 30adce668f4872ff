#include "widgets/AttributedStringCategories.h"

#include <cmath>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "widgets/AttributedLabel.h"
#include "widgets/CustomFontManager.h"
#include "widgets/TextFont.h"

namespace {
namespace AttributedStringCategories_cpp {

bool fits(const Ref<TextMutableAttributedString>& text, NSRange range)
{
    return text && range.location <= text->length() && range.length <= text->length() - range.location;
}

NSRange whole(const Ref<TextMutableAttributedString>& text)
{
    return NSMakeRange(0, text ? text->length() : 0);
}

void replaceFont(const Ref<TextMutableAttributedString>& text, const Ref<TextFont>& font, NSRange range)
{
    text->removeAttribute_range(kCTFontAttributeName, range);
    text->addAttribute_value_range(kCTFontAttributeName, Value(font), range);
}

bool hasWord(const std::string& name, const char* word) { return name.find(word) != std::string::npos; }

// The face of a family with the traits, by the names faces go by: "Family-Bold" style names (the
// bundle's and PostScript names, spaces dropped) and "Family Bold" full names of installed fonts.
Ref<TextFont> faceOfFamily(const std::string& family, bool bold, bool italic, float size)
{
    if (family.empty() || !(size > 0)) {
        return nullptr;
    }
    std::vector<std::string> styles;
    if (bold && italic) {
        styles = {"BoldOblique", "BoldItalic", "Bold Oblique", "Bold Italic"};
    } else if (bold) {
        styles = {"Bold", "Medium"};
    } else if (italic) {
        styles = {"Oblique", "Italic"};
    } else {
        styles = {"", "Regular", "Book", "Light"};
    }
    std::string compact;
    for (char c : family) {
        if (c != ' ') compact += c;
    }
    const Ref<CustomFontManager> manager = CustomFontManager::sharedManager();
    for (const std::string& style : styles) {
        std::vector<std::string> names;
        if (style.empty()) {
            names = {family, compact};
        } else {
            std::string dashed = style;
            std::erase(dashed, ' ');
            names = {compact + "-" + dashed, family + "-" + dashed, family + " " + style};
        }
        for (const std::string& name : names) {
            if (const Ref<TextFont> font = manager->textFontWithName_pointSize(name, size)) {
                // Only a face that is what was asked for: a lookup may fall back to another face.
                const std::string full = font->fontName() + " " + font->postScriptName();
                const bool isBold = hasWord(full, "Bold") || hasWord(full, "Medium");
                const bool isItalic = hasWord(full, "Italic") || hasWord(full, "Oblique");
                if (isBold == bold && isItalic == italic) {
                    return font;
                }
            }
        }
    }
    return nullptr;
}

}  // namespace AttributedStringCategories_cpp
}  // namespace

namespace AttributedConstructors {

Ref<TextAttributedString> attributedStringWithString(const std::string* text)
{
    return text ? TextAttributedString::initWithString(*text) : nullptr;
}

Ref<TextAttributedString> attributedStringWithAttributedString(const Ref<const TextAttributedString>& text)
{
    return text ? TextAttributedString::initWithAttributedString(text) : nullptr;
}

Ref<TextMutableAttributedString> mutableAttributedStringWithAttributedString(const Ref<const TextAttributedString>& text)
{
    return text ? TextMutableAttributedString::initWithAttributedString(text) : nullptr;
}

CGSize sizeConstrainedToSize(const Ref<const TextAttributedString>& text, CGSize size)
{
    return sizeConstrainedToSize_fitRange(text, size, nullptr);
}

CGSize sizeConstrainedToSize_fitRange(const Ref<const TextAttributedString>& text, CGSize size, NSRange* fitRange)
{
    if (!text) {
        if (fitRange) *fitRange = NSMakeRange(0, 0);
        return CGSizeZero;
    }
    const auto setter = CTFramesetter::create(text->utf16String(), AttributedStyleRuns(*text));
    const CGSize suggested = setter->suggestFrameSizeWithConstraints(NSMakeRange(0, 0), size, fitRange);
    return CGSizeMake(std::floor(suggested.width + 1), std::floor(suggested.height + 1));
}

}  // namespace AttributedConstructors

namespace AttributedStyleModifiers {

void setFont(const Ref<TextMutableAttributedString>& text, const Ref<UIFont>& font)
{
    setFont_range(text, font, AttributedStringCategories_cpp::whole(text));
}

void setFont_range(const Ref<TextMutableAttributedString>& text, const Ref<UIFont>& font, NSRange range)
{
    if (font) {
        setFontName_size_range(text, font->fontName(), font->pointSize(), range);
    }
}

void setFontName_size(const Ref<TextMutableAttributedString>& text, const std::string& name, CGFloat size)
{
    setFontName_size_range(text, name, size, AttributedStringCategories_cpp::whole(text));
}

void setFontName_size_range(const Ref<TextMutableAttributedString>& text, const std::string& name, CGFloat size,
                            NSRange range)
{
    if (!AttributedStringCategories_cpp::fits(text, range) || !(size > 0)) {
        return;
    }
    if (const Ref<TextFont> font = CustomFontManager::sharedManager()->textFontWithName_pointSize(name, float(size))) {
        AttributedStringCategories_cpp::replaceFont(text, font, range);
    }
}

void setFontFamily_size_bold_italic_range(const Ref<TextMutableAttributedString>& text, const std::string& family,
                                          CGFloat size, bool bold, bool italic, NSRange range)
{
    if (!AttributedStringCategories_cpp::fits(text, range)) {
        return;
    }
    if (const Ref<TextFont> font = AttributedStringCategories_cpp::faceOfFamily(family, bold, italic, float(size))) {
        AttributedStringCategories_cpp::replaceFont(text, font, range);
    }
}

void setTextColor(const Ref<TextMutableAttributedString>& text, const Ref<UIColor>& color)
{
    setTextColor_range(text, color, AttributedStringCategories_cpp::whole(text));
}

void setTextColor_range(const Ref<TextMutableAttributedString>& text, const Ref<UIColor>& color, NSRange range)
{
    if (!AttributedStringCategories_cpp::fits(text, range)) {
        return;
    }
    text->removeAttribute_range(kCTForegroundColorAttributeName, range);
    if (color) {
        text->addAttribute_value_range(kCTForegroundColorAttributeName, Value(color), range);
    }
}

void setTextIsUnderlined(const Ref<TextMutableAttributedString>& text, bool underlined)
{
    setTextIsUnderlined_range(text, underlined, AttributedStringCategories_cpp::whole(text));
}

void setTextIsUnderlined_range(const Ref<TextMutableAttributedString>& text, bool underlined, NSRange range)
{
    setTextUnderlineStyle_range(text, underlined ? 1 : 0, range);
}

void setTextUnderlineStyle_range(const Ref<TextMutableAttributedString>& text, int32_t style, NSRange range)
{
    if (!AttributedStringCategories_cpp::fits(text, range)) {
        return;
    }
    text->removeAttribute_range(kCTUnderlineStyleAttributeName, range);
    text->addAttribute_value_range(kCTUnderlineStyleAttributeName, Value(style), range);
}

void setTextBold_range(const Ref<TextMutableAttributedString>& text, bool bold, NSRange range)
{
    if (!AttributedStringCategories_cpp::fits(text, range)) {
        return;
    }
    NSUInteger at = range.location;
    while (at < NSMaxRange(range)) {
        NSRange effective{};
        const Value value = text->attribute_atIndex_effectiveRange(kCTFontAttributeName, at, &effective);
        const NSUInteger end = std::min(NSMaxRange(effective), NSMaxRange(range));
        const NSRange piece = NSMakeRange(at, std::max<NSUInteger>(end, at + 1) - at);
        if (const Ref<TextFont> font = value.object<TextFont>()) {
            const std::string full = font->fontName() + " " + font->postScriptName();
            const bool italic = AttributedStringCategories_cpp::hasWord(full, "Italic") || AttributedStringCategories_cpp::hasWord(full, "Oblique");
            if (const Ref<TextFont> face = AttributedStringCategories_cpp::faceOfFamily(font->familyName(), bold, italic, font->pointSize())) {
                AttributedStringCategories_cpp::replaceFont(text, face, piece);
            } else {
                NSLogMessage(stringWithFormat(
                    "[AttributedLabel] Warning: can't find a bold font variant for font %@. Try another font family "
                    "(like Helvetica) instead.",
                    font->fontName()));
            }
        }
        at = NSMaxRange(piece);
    }
}

void setTextAlignment_lineBreakMode(const Ref<TextMutableAttributedString>& text, CTTextAlignment alignment,
                                    CTLineBreakMode lineBreakMode)
{
    setTextAlignment_lineBreakMode_range(text, alignment, lineBreakMode, AttributedStringCategories_cpp::whole(text));
}

void setTextAlignment_lineBreakMode_range(const Ref<TextMutableAttributedString>& text, CTTextAlignment alignment,
                                          CTLineBreakMode lineBreakMode, NSRange range)
{
    if (!AttributedStringCategories_cpp::fits(text, range)) {
        return;
    }
    const Ref<CTParagraphStyle> style = CTParagraphStyle::create({
        {kCTParagraphStyleSpecifierAlignment, CGFloat(alignment)},
        {kCTParagraphStyleSpecifierLineBreakMode, CGFloat(lineBreakMode)},
    });
    text->removeAttribute_range(kCTParagraphStyleAttributeName, range);
    text->addAttribute_value_range(kCTParagraphStyleAttributeName, Value(style), range);
}

}  // namespace AttributedStyleModifiers
