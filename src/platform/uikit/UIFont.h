#pragma once
// Fonts of the interface: a named face at a point size.
//
// The system font is "Helvetica" and the bold system font "Helvetica-Bold", as on the phone; both
// are drawn and measured with the Debian faces they are mapped onto (see CGFont.h). fontWithName_size
// answers nil for a name no installed font carries. Metrics are in points.
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGFont.h"
#include "platform/graphics/TextLayout.h"

class UIFont : public NSObject {
public:
    static Ref<UIFont> systemFontOfSize(CGFloat size);
    static Ref<UIFont> boldSystemFontOfSize(CGFloat size);
    static Ref<UIFont> fontWithName_size(const std::string& name, CGFloat size);
    Ref<UIFont> fontWithSize(CGFloat size) const;

    static CGFloat systemFontSize() { return 14; }
    static CGFloat smallSystemFontSize() { return 12; }
    static CGFloat labelFontSize() { return 17; }
    static CGFloat buttonFontSize() { return 18; }
    static std::vector<std::string> familyNames();
    static std::vector<std::string> fontNamesForFamilyName(const std::string& family);

    const std::string& fontName() const { return fontName_; }
    const std::string& familyName() const { return familyName_; }
    CGFloat pointSize() const { return pointSize_; }
    CGFloat ascender() const { return metrics().ascender(); }
    CGFloat descender() const { return metrics().descender(); }  // negative
    CGFloat capHeight() const { return metrics().capHeight(); }
    CGFloat xHeight() const { return metrics().xHeight(); }
    CGFloat lineHeight() const { return metrics().lineHeight(); }
    // The distance between baselines (the phone's older name for the line height).
    CGFloat leading() const { return metrics().lineHeight(); }

    // The face that draws this font, and the face at this font's size for measuring.
    const CGFontRef& cgFont() const { return face_; }
    textlayout::FontAtSize metrics() const { return {face_, pointSize_}; }

    bool isEqual(const NSObject* other) const override;
    // "<UIFont: 0x...> font-family: \"Helvetica\"; font-weight: normal; font-style: normal; font-size: 17px"
    std::string description() const override;

    UIFont(std::string name, std::string family, CGFloat size, CGFontRef face);

private:
    std::string fontName_;
    std::string familyName_;
    CGFloat pointSize_;
    CGFontRef face_;
};
