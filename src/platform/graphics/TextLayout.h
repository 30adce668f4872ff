#pragma once
// Measuring and breaking text into lines, for the interface's string drawing and labels.
//
// Rules (the same text, font and limits always give the same lines and size):
// - Advances are the fonts' unhinted advance widths scaled to the point size, without kerning. A
//   character the font lacks comes from the fallback font (Chinese, Japanese, Korean), else it takes
//   the width of the font's missing-glyph box. Tabs measure as spaces; zero-width and control
//   characters measure 0.
// - Lines break at line feeds, carriage returns (alone or before a line feed), U+0085, U+2028 and
//   U+2029. A newline at the very end of the text does not open another line.
// - Word wrapping breaks where the Unicode line breaking rules allow, as ICU's line iterator gives
//   them (the framesetter's breaks): after spaces, between Chinese, Japanese and Korean characters,
//   never before closing punctuation such as "，" or "。" nor after opening punctuation such as "（";
//   a word longer than the line breaks between characters. Character wrapping breaks anywhere.
//   Spaces at the end of a wrapped line hang: they neither count in its width nor start the next
//   line. Every line takes at least one character, so a width below one character's advance still
//   ends (one character per line).
// - When the lines are limited (by count or height) and text is left over, the head, tail and
//   middle truncation modes shorten the last line with "…"; the wrapping and clipping modes drop the
//   rest.
// - A line's height is the font's line height rounded up to a whole point; a layout's size is the
//   widest line rounded up by the number of lines times that height.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/CGFont.h"
#include "platform/graphics/CGGeometry.h"

namespace textlayout {

// The phone's line-break modes (the values of UILineBreakMode).
enum LineBreak {
    kWordWrap = 0,
    kCharacterWrap = 1,
    kClip = 2,
    kHeadTruncation = 3,
    kTailTruncation = 4,
    kMiddleTruncation = 5,
};

// A face at a point size.
struct FontAtSize {
    CGFontRef font;
    CGFloat pointSize = 0;

    CGFloat ascender() const;   // points above the baseline
    CGFloat descender() const;  // points below the baseline, negative
    CGFloat leading() const;
    CGFloat lineHeight() const;         // ascender - descender + leading, unrounded
    CGFloat roundedLineHeight() const;  // the height of one laid-out line
    CGFloat capHeight() const;
    CGFloat xHeight() const;
};

struct Line {
    std::string text;     // what the line shows, with the ellipsis of a truncated line
    CGFloat width = 0;    // unrounded, without hanging spaces
    bool truncated = false;
};

struct Layout {
    std::vector<Line> lines;
    CGFloat lineHeight = 0;  // of one line, rounded up
    CGSize size;             // widest line rounded up, lines x lineHeight
};

// The glyphs that draw one line: runs of one face each (the font's, or the fallback's where the font
// lacks a character), every glyph at the position the measurer gave it, so drawn width is measured
// width. Zero-width characters draw nothing; tabs and newlines draw as spaces.
struct GlyphRun {
    CGFontRef font;
    std::vector<CGGlyph> glyphs;
    std::vector<CGFloat> x;  // each glyph's origin along the line, in points from the line's start
};
std::vector<GlyphRun> glyphRuns(std::string_view text, const FontAtSize& font);

// The unrounded advance width of the text on one line (newlines measure as spaces).
CGFloat widthOfText(std::string_view text, const FontAtSize& font);

// Lays the text out in lines no wider than maxWidth (infinity: no wrapping), no more than maxLines
// (0: no limit) and no taller in total than maxHeight (infinity: no limit; at least one line is
// always kept).
Layout layoutText(std::string_view text, const FontAtSize& font, CGFloat maxWidth, CGFloat maxHeight,
                  size_t maxLines, LineBreak mode);

// One line: newlines read as spaces. Text wider than maxWidth is truncated in the truncation modes,
// cut after the last whole word (word wrap) or character (character wrap) that fits, or clipped
// (its width is limited to maxWidth).
Layout layoutSingleLine(std::string_view text, const FontAtSize& font, CGFloat maxWidth, LineBreak mode);

}  // namespace textlayout
