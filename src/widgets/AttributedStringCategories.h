#pragma once
// Helpers on the text kit's styled strings for the attributed label's callers: constructors and
// measuring (AttributedConstructors), and setting fonts, colours, underlines, bold and paragraph
// settings over ranges (AttributedStyleModifiers). The attributes are the label's keys
// (kCTFontAttributeName and the others in AttributedLabel.h). Every modifier without a range acts on
// the whole text; a range that does not fit in the text changes nothing.
#include <string>

#include "platform/graphics/CTFramesetter.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "widgets/TextAttributedString.h"

namespace AttributedConstructors {

// nil for a nil argument.
Ref<TextAttributedString> attributedStringWithString(const std::string* text);
Ref<TextAttributedString> attributedStringWithAttributedString(const Ref<const TextAttributedString>& text);
Ref<TextMutableAttributedString> mutableAttributedStringWithAttributedString(const Ref<const TextAttributedString>& text);

// The size the whole text needs within `size` (0: no limit), each dimension plus one point and rounded
// down; `fitRange`, when given, receives the part of the text that fits.
CGSize sizeConstrainedToSize(const Ref<const TextAttributedString>& text, CGSize size);
CGSize sizeConstrainedToSize_fitRange(const Ref<const TextAttributedString>& text, CGSize size, NSRange* fitRange);

}  // namespace AttributedConstructors

namespace AttributedStyleModifiers {

void setFont(const Ref<TextMutableAttributedString>& text, const Ref<UIFont>& font);
void setFont_range(const Ref<TextMutableAttributedString>& text, const Ref<UIFont>& font, NSRange range);
// A font that cannot be made leaves the text as it was.
void setFontName_size(const Ref<TextMutableAttributedString>& text, const std::string& name, CGFloat size);
void setFontName_size_range(const Ref<TextMutableAttributedString>& text, const std::string& name, CGFloat size,
                            NSRange range);
// The face of the family with those traits; nothing changes when the family has no such face.
void setFontFamily_size_bold_italic_range(const Ref<TextMutableAttributedString>& text, const std::string& family,
                                          CGFloat size, bool bold, bool italic, NSRange range);
void setTextColor(const Ref<TextMutableAttributedString>& text, const Ref<UIColor>& color);
void setTextColor_range(const Ref<TextMutableAttributedString>& text, const Ref<UIColor>& color, NSRange range);
void setTextIsUnderlined(const Ref<TextMutableAttributedString>& text, bool underlined);
void setTextIsUnderlined_range(const Ref<TextMutableAttributedString>& text, bool underlined, NSRange range);
void setTextUnderlineStyle_range(const Ref<TextMutableAttributedString>& text, int32_t style, NSRange range);
// Each stretch of one font gets the bold (or regular) face of its family at its size; a stretch whose
// family has no such face keeps its font, and a warning naming the font is logged.
void setTextBold_range(const Ref<TextMutableAttributedString>& text, bool bold, NSRange range);
// A paragraph style of exactly these two settings.
void setTextAlignment_lineBreakMode(const Ref<TextMutableAttributedString>& text, CTTextAlignment alignment,
                                    CTLineBreakMode lineBreakMode);
void setTextAlignment_lineBreakMode_range(const Ref<TextMutableAttributedString>& text, CTTextAlignment alignment,
                                          CTLineBreakMode lineBreakMode, NSRange range);

}  // namespace AttributedStyleModifiers
