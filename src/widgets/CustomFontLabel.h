#pragma once
// A label that draws its text in one of the kit's own fonts (TextFont), or draws a styled
// TextAttributedString, through the kit's layout engine. Without either it is the platform label.
//
// The styled text wins over the font. With a font and one line, size adjustment shrinks the font
// towards minimumFontSize (never below 1 point) and the baseline adjustment places the smaller line;
// other line counts wrap and centre the text vertically on a whole point. The line limit of
// textRectForBounds_limitedToNumberOfLines is applied through the font's line height, so it is applied
// only when there is a font (a styled text alone is limited by its own lines).
#include "platform/uikit/UILabel.h"
#include "widgets/TextAttributedString.h"
#include "widgets/TextFont.h"

class CustomFontLabel : public UILabel {
public:
    static Ref<CustomFontLabel> initWithFrame(CGRect frame) { return makeWithFrame<CustomFontLabel>(frame); }
    // The shared font registry's font of that name and size; no font when it cannot be loaded.
    static Ref<CustomFontLabel> initWithFrame_fontName_pointSize(CGRect frame, const std::string& fontName,
                                                                 float pointSize);
    static Ref<CustomFontLabel> initWithFrame_textFont(CGRect frame, const Ref<TextFont>& font);
    static Ref<CustomFontLabel> initWithFrame_font_pointSize(CGRect frame, const CGFontRef& font, float pointSize);

    const Ref<TextFont>& textFont() const { return textFont_; }
    // Stores the font without asking for a redraw.
    void setZFont(const Ref<TextFont>& font) { textFont_ = font; }
    CGFontRef cgFont() const;
    float pointSize() const;
    void setCGFont(const CGFontRef& font);
    void setPointSize(float pointSize);

    const Ref<TextAttributedString>& textAttributedText() const { return textAttributedText_; }
    // Keeps a copy and asks for a redraw, unless it is the same object.
    void setZAttributedText(const Ref<const TextAttributedString>& text);

    void drawTextInRect(CGRect rect) override;
    CGRect textRectForBounds_limitedToNumberOfLines(CGRect bounds, NSInteger numberOfLines) override;

private:
    void drawAttributed(CGRect rect);
    void drawWithFont(CGRect rect);

    Ref<TextFont> textFont_;
    Ref<TextAttributedString> textAttributedText_;
};
