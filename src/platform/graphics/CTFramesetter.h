#pragma once
// The text layout service's framesetter: lays out styled UTF-16 text into lines of glyph runs with
// line origins, for labels that draw links and hit-test characters.
//
// Each style run is shaped once with HarfBuzz on the font's own tables (ligatures, marks and kerning
// as the font gives them); lines break where ICU's line breaker allows (spaces, between Chinese
// characters, after hyphens) and always at hard breaks; a word wider than the line breaks between
// characters, and every line takes at least one character. Spaces at the end of a line hang: they are
// in the line's range but not its width. Line origins follow the platform: baseline points with y
// growing up from the bottom of the frame's rectangle. Ranges and indexes count UTF-16 units.
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/graphics/CGFont.h"
#include "platform/graphics/CGGeometry.h"

// One stretch of text in one font and size; the stretches cover the text in order.
struct CTStyleRun {
    NSUInteger location = 0;
    NSUInteger length = 0;
    CGFontRef font;
    CGFloat pointSize = 12;
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
