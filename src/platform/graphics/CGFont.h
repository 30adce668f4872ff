#pragma once
// Fonts: TrueType and OpenType faces read with FreeType.
//
// The phone's font names are mapped onto fonts installed from Debian packages (fonts-dejavu-core for
// Latin text, fonts-wqy-microhei for Chinese): the system font "Helvetica" is DejaVu Sans, its bold
// "Helvetica-Bold" is DejaVu Sans Bold, and "STHeitiSC-Light"/"-Medium" (the phone's Chinese faces)
// are WenQuanYi Micro Hei. Other names are looked up among the installed fonts by exact PostScript or
// full name. Metrics are read unscaled and unhinted from the font tables, so they are the same on
// every machine that has the same packages.
//
// A CGFont is immutable from the outside and safe to use from any thread. Fonts made by name are
// shared: the same name gives the same object for the life of the process.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/graphics/CGGeometry.h"

using CGGlyph = uint16_t;
class CGFont;
using CGFontRef = std::shared_ptr<const CGFont>;

class CGFont {
public:
    // A face of a font file (faceIndex selects a face of a collection); null when it is not a font.
    static CGFontRef createWithFile(const std::string& path, int faceIndex = 0);
    // A face of font bytes held in memory; null when they are not a font.
    static CGFontRef createWithData(std::vector<uint8_t> bytes, int faceIndex = 0);
    // A font by name (see above); null when no installed font carries that name.
    static CGFontRef createWithFontName(const std::string& name);
    // The font that supplies the Chinese, Japanese and Korean glyphs the system's Latin faces lack;
    // null when it is not installed.
    static CGFontRef fallbackFont();
    // The same for bold text: the fallback face drawn emboldened, since the installed Chinese face has
    // no bold of its own and bold titles would otherwise mix heavy Latin with light Chinese. Its
    // metrics are the fallback's.
    static CGFontRef boldFallbackFont();
    // The phone's font names that are mapped onto installed fonts, and the phone's family name of one
    // of them (empty for other names).
    static std::vector<std::string> systemFontNames();
    static std::string systemFamilyNameForFontName(const std::string& name);

    std::string postScriptName() const { return postScriptName_; }
    std::string fullName() const { return fullName_; }
    std::string familyName() const { return familyName_; }
    std::string styleName() const { return styleName_; }
    bool isBold() const { return bold_ || syntheticBold_; }
    bool isItalic() const { return italic_; }

    // Metrics in font units (divide by unitsPerEm() and multiply by the point size for points).
    int unitsPerEm() const { return unitsPerEm_; }
    int ascent() const { return ascent_; }
    int descent() const { return descent_; }  // negative below the baseline
    int leading() const { return leading_; }  // the line gap
    int lineHeight() const { return ascent_ - descent_ + leading_; }
    int capHeight() const { return capHeight_; }
    int xHeight() const { return xHeight_; }
    CGRect fontBBox() const { return bbox_; }

    // The glyph of a character, 0 when the font has none.
    CGGlyph glyphForCharacter(char32_t c) const;
    // The advance of a glyph in font units.
    int advanceForGlyph(CGGlyph glyph) const;
    // Advances of count glyphs; false when a glyph is out of range (its advance is then 0).
    bool getGlyphAdvances(const CGGlyph* glyphs, size_t count, int* advances) const;
    size_t numberOfGlyphs() const { return numGlyphs_; }
    // The raw bytes of an sfnt table ('cmap', 'name', ...), none when the font has no such table.
    std::optional<std::vector<uint8_t>> copyTableForTag(uint32_t tag) const;
    // Whether the font file's table directory lists the table, whether or not its bytes can be read
    // (a cut file may list a table that lies past its end, which copyTableForTag does not give).
    bool hasTableForTag(uint32_t tag) const;

    // The face as a cairo font face (a cairo_font_face_t*, owned by the font), for drawing glyphs. It
    // is a second FreeType face of the same file or bytes, used only by cairo, so drawing never shares
    // a face with the metrics above; outlines are loaded unhinted. Null when it cannot be made.
    void* cairoFontFace() const;

    // Where the face came from (empty for fonts made from memory) and which face of the file it is.
    const std::string& path() const { return path_; }
    int faceIndex() const { return faceIndex_; }

    ~CGFont();
    CGFont(const CGFont&) = delete;
    CGFont& operator=(const CGFont&) = delete;

private:
    struct Face;
    explicit CGFont(std::unique_ptr<Face> face);
    static CGFontRef fromFace(std::unique_ptr<Face> face, std::string path, int faceIndex);

    std::unique_ptr<Face> face_;
    mutable std::mutex mutex_;  // FreeType faces are not safe for concurrent use
    mutable std::once_flag cairoOnce_;
    mutable void* cairoFace_ = nullptr;
    mutable std::unordered_map<char32_t, CGGlyph> glyphCache_;
    mutable std::unordered_map<CGGlyph, int> advanceCache_;

    std::string path_;
    int faceIndex_ = 0;
    std::string postScriptName_, fullName_, familyName_, styleName_;
    bool bold_ = false;
    bool syntheticBold_ = false;  // drawn emboldened (the face itself is not bold)
    bool italic_ = false;
    int unitsPerEm_ = 1000;
    int ascent_ = 0;
    int descent_ = 0;
    int leading_ = 0;
    int capHeight_ = 0;
    int xHeight_ = 0;
    size_t numGlyphs_ = 0;
    CGRect bbox_;
};

// Four-character table tags: CGFontTableTag('c','m','a','p').
constexpr uint32_t CGFontTableTag(char a, char b, char c, char d)
{
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) | uint8_t(d);
}

CGFontRef CGFontCreateWithFontName(const std::string& name);
int CGFontGetUnitsPerEm(const CGFontRef& font);
int CGFontGetAscent(const CGFontRef& font);
int CGFontGetDescent(const CGFontRef& font);
int CGFontGetLeading(const CGFontRef& font);
int CGFontGetCapHeight(const CGFontRef& font);
int CGFontGetXHeight(const CGFontRef& font);
size_t CGFontGetNumberOfGlyphs(const CGFontRef& font);
bool CGFontGetGlyphAdvances(const CGFontRef& font, const CGGlyph* glyphs, size_t count, int* advances);
std::optional<std::vector<uint8_t>> CGFontCopyTableForTag(const CGFontRef& font, uint32_t tag);
bool CGFontHasTableForTag(const CGFontRef& font, uint32_t tag);
std::string CGFontCopyPostScriptName(const CGFontRef& font);
std::string CGFontCopyFullName(const CGFontRef& font);
