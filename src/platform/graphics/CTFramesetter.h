#pragma once
// The text layout service's framesetter: lays out styled UTF-16 text into lines of glyph runs with
// line origins, for labels that draw links and hit-test characters.
//
// Each style run is shaped once with HarfBuzz on the font's own tables (ligatures, marks and kerning
// as the font gives them); lines break where ICU's line breaker allows (spaces, between Chinese
// characters, after hyphens) and always at hard breaks; a word wider than the line breaks between
// characters, and every line takes at least one character. Spaces at the end of a line hang: they are
// in the line's range but not its width. A paragraph style may break anywhere (character wrapping),
// keep each paragraph on one line cut at the edge (clipping) or shortened with an ellipsis at its head,
// middle or tail, indent, align and space the lines. Line origins follow the platform: baseline points with y
// growing up from the bottom of the frame's rectangle. Ranges and indexes count UTF-16 units.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGFont.h"
#include "platform/graphics/CGGeometry.h"

// Paragraph settings (the platform's values).
enum CTTextAlignment : uint8_t {
    kCTLeftTextAlignment = 0,
    kCTRightTextAlignment = 1,
    kCTCenterTextAlignment = 2,
    kCTJustifiedTextAlignment = 3,
    kCTNaturalTextAlignment = 4,
};
enum CTLineBreakMode : uint8_t {
    kCTLineBreakByWordWrapping = 0,
    kCTLineBreakByCharWrapping = 1,
    kCTLineBreakByClipping = 2,
    kCTLineBreakByTruncatingHead = 3,
    kCTLineBreakByTruncatingTail = 4,
    kCTLineBreakByTruncatingMiddle = 5,
};
enum CTParagraphStyleSpecifier : uint32_t {
    kCTParagraphStyleSpecifierAlignment = 0,
    kCTParagraphStyleSpecifierFirstLineHeadIndent = 1,
    kCTParagraphStyleSpecifierHeadIndent = 2,
    kCTParagraphStyleSpecifierTailIndent = 3,
    kCTParagraphStyleSpecifierLineBreakMode = 6,
    kCTParagraphStyleSpecifierLineHeightMultiple = 7,
    kCTParagraphStyleSpecifierParagraphSpacing = 10,
    kCTParagraphStyleSpecifierParagraphSpacingBefore = 11,
    kCTParagraphStyleSpecifierLineSpacing = 16,
};

// One setting of a paragraph style: which one and its value (alignment and line-break mode as their
// numbers, the rest in points or as a factor).
struct CTParagraphStyleSetting {
    CTParagraphStyleSpecifier spec;
    CGFloat value;
};

// How the lines of a paragraph are broken, indented, aligned and spaced. A tail indent above 0 is the
// line's end measured from the leading margin; 0 or below, from the trailing margin. A line-height
// multiple of 0 leaves the font's line height as it is.
class CTParagraphStyle : public NSObject {
public:
    // Settings later in the list win over earlier ones of the same kind; unknown kinds are kept but
    // change nothing.
    static Ref<CTParagraphStyle> create(const std::vector<CTParagraphStyleSetting>& settings);
    // The same settings in the same order.
    bool isEqual(const NSObject* other) const override;

    const std::vector<CTParagraphStyleSetting>& settings() const { return settings_; }
    CTTextAlignment alignment = kCTNaturalTextAlignment;
    CTLineBreakMode lineBreakMode = kCTLineBreakByWordWrapping;
    CGFloat firstLineHeadIndent = 0;
    CGFloat headIndent = 0;
    CGFloat tailIndent = 0;
    CGFloat lineHeightMultiple = 0;
    CGFloat lineSpacing = 0;
    CGFloat paragraphSpacingBefore = 0;
    CGFloat paragraphSpacing = 0;

private:
    std::vector<CTParagraphStyleSetting> settings_;
};
using CTParagraphStyleRef = Ref<CTParagraphStyle>;

// One stretch of text in one font and size; the stretches cover the text in order. A paragraph takes
// the paragraph style of its first character's stretch (none: natural alignment, word wrapping).
struct CTStyleRun {
    NSUInteger location = 0;
    NSUInteger length = 0;
    CGFontRef font;
    CGFloat pointSize = 12;
    CTParagraphStyleRef paragraphStyle;
};

// Glyphs of one style run within a line: positions on the baseline from the line's origin, and the
// string index each glyph came from.
struct CTGlyphRun {
    NSRange range;
    size_t styleRun = 0;
    CGFontRef font;
    CGFloat pointSize = 0;
    std::vector<CGGlyph> glyphs;
    std::vector<CGPoint> positions;
    std::vector<NSUInteger> stringIndices;
};

struct CTTextLine {
    NSRange range;
    std::vector<CTGlyphRun> runs;
    CGFloat width = 0;  // without hanging spaces
    // Where the line starts from the frame's left edge (indent and alignment), and the room between its
    // top and the bottom of the line before (spacing of the paragraph and between lines).
    CGFloat x = 0;
    CGFloat spaceAbove = 0;
    CGFloat height = 0;  // from its top to the next line's top, without the space above
    CGFloat ascent = 0;
    CGFloat descent = 0;  // positive, below the baseline
    CGFloat leading = 0;
    // The string index nearest a position relative to the line's origin (the index after the line's
    // last character past its end).
    NSUInteger stringIndexForPosition(CGPoint position) const;
    // The horizontal offset of a string index from the line's origin.
    CGFloat offsetForStringIndex(NSUInteger index) const;
};

struct CTTextFrame {
    CGRect rect;
    NSRange visibleRange;
    std::vector<CTTextLine> lines;
    std::vector<CGPoint> lineOrigins;  // y up from the rectangle's bottom
};

class CTFramesetter {
public:
    // Shapes the text once; style runs are cut to the text.
    static std::shared_ptr<CTFramesetter> create(std::u16string text, std::vector<CTStyleRun> runs);

    const std::u16string& text() const { return text_; }
    // The lines of a range (length 0: to the end of the text) that fit in the rectangle's height.
    CTTextFrame createFrame(NSRange range, CGRect rect) const;
    // The size the range needs within the constraints (width of the widest line, height of the lines
    // that fit), and the range that fits. A constraint of 0 is no constraint in that dimension.
    CGSize suggestFrameSizeWithConstraints(NSRange range, CGSize constraints, NSRange* fitRange) const;

    struct Shaped;  // per string unit: advance, glyphs starting there

private:
    std::vector<CTTextLine> layLines(NSRange range, CGFloat width, CGFloat height) const;

    std::u16string text_;
    std::vector<CTStyleRun> runs_;
    std::shared_ptr<const Shaped> shaped_;
};
