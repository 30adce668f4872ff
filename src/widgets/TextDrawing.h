#pragma once
// The text kit's layout engine and its two drawing front ends.
//
// drawOrSizeTextConstrainedToSize measures, and when asked draws, UTF-16 text of one or many attribute
// runs glyph by glyph in the kit's own fonts (TextFont): it breaks the text into lines (at line breaks,
// at word starts and spaces, or at any character), limits the lines by count and by height, ends the
// last line with "…" under tail truncation, aligns each line and draws each run with its font, colours,
// underline and strikethrough. Every line takes at least one character, so a width below the advance
// of one character still ends (one character per line).
//
// CustomFontLabelStringDrawing draws plain text in one font in the context's current fill colour;
// TextAttributedStringDrawing draws a TextAttributedString with the colours of its runs. Size methods
// round up; draw methods return the engine's size as it is. Drawing goes to UIGraphicsGetCurrentContext
// (nothing is drawn without one). Main thread only.
#include <cfloat>
#include <string>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/graphics/CGFont.h"
#include "platform/graphics/CGGeometry.h"
#include "widgets/TextAttributedString.h"
#include "widgets/TextFont.h"

// The largest finite float: "no limit" for widths and heights.
inline constexpr CGFloat TextHugeSize = FLT_MAX;

// Line-break modes (0 word wrap, 1 character wrap, 2 clip, 3 head, 4 tail, 5 middle truncation; only 4
// draws an ellipsis, 3 and 5 lay out as 2) and alignments (0 left, 1 centre, 2 right) are the
// platform's numbers.
CGSize drawOrSizeTextConstrainedToSize(bool performDraw, const std::u16string& string, const TextAttributeRuns& runs,
                                       CGSize constrainedSize, NSUInteger maxLines, int lineBreakMode, int alignment,
                                       bool ignoreColors);
// Draws in the current context with the rect's origin as the top left of the first line.
CGSize drawTextInRect(CGRect rect, const std::u16string& string, const TextAttributeRuns& runs, int lineBreakMode,
                      int alignment, NSUInteger numberOfLines, bool ignoreColors);

// The attributes a run that lacks one is drawn with: the 12-point system font, black, a clear
// background, no underline, no strikethrough. Made on first use and kept for the process.
const Value& TextDefaultAttributes();

namespace CustomFontLabelStringDrawing {

CGSize sizeWithZFont(const std::string& text, const Ref<TextFont>& font);
CGSize sizeWithZFont_constrainedToSize(const std::string& text, const Ref<TextFont>& font, CGSize size);
CGSize sizeWithZFont_constrainedToSize_lineBreakMode(const std::string& text, const Ref<TextFont>& font, CGSize size,
                                                     int lineBreakMode);
CGSize sizeWithZFont_constrainedToSize_lineBreakMode_numberOfLines(const std::string& text, const Ref<TextFont>& font,
                                                                   CGSize size, int lineBreakMode,
                                                                   NSUInteger numberOfLines);
CGSize drawAtPoint_withZFont(const std::string& text, CGPoint point, const Ref<TextFont>& font);
CGSize drawAtPoint_forWidth_withZFont_lineBreakMode(const std::string& text, CGPoint point, CGFloat width,
                                                    const Ref<TextFont>& font, int lineBreakMode);
CGSize drawInRect_withZFont(const std::string& text, CGRect rect, const Ref<TextFont>& font);
CGSize drawInRect_withZFont_lineBreakMode(const std::string& text, CGRect rect, const Ref<TextFont>& font,
                                          int lineBreakMode);
CGSize drawInRect_withZFont_lineBreakMode_alignment(const std::string& text, CGRect rect, const Ref<TextFont>& font,
                                                    int lineBreakMode, int alignment);
CGSize drawInRect_withZFont_lineBreakMode_alignment_numberOfLines(const std::string& text, CGRect rect,
                                                                  const Ref<TextFont>& font, int lineBreakMode,
                                                                  int alignment, NSUInteger numberOfLines);

CGSize sizeWithCGFont_pointSize(const std::string& text, const CGFontRef& font, CGFloat pointSize);
CGSize sizeWithCGFont_pointSize_constrainedToSize(const std::string& text, const CGFontRef& font, CGFloat pointSize,
                                                  CGSize size);
CGSize sizeWithCGFont_pointSize_constrainedToSize_lineBreakMode(const std::string& text, const CGFontRef& font,
                                                                CGFloat pointSize, CGSize size, int lineBreakMode);
CGSize drawAtPoint_withCGFont_pointSize(const std::string& text, CGPoint point, const CGFontRef& font,
                                        CGFloat pointSize);
CGSize drawInRect_withCGFont_pointSize(const std::string& text, CGRect rect, const CGFontRef& font, CGFloat pointSize);
CGSize drawInRect_withCGFont_pointSize_lineBreakMode(const std::string& text, CGRect rect, const CGFontRef& font,
                                                     CGFloat pointSize, int lineBreakMode);
CGSize drawInRect_withCGFont_pointSize_lineBreakMode_alignment(const std::string& text, CGRect rect,
                                                               const CGFontRef& font, CGFloat pointSize,
                                                               int lineBreakMode, int alignment);

}  // namespace CustomFontLabelStringDrawing

// A nil string measures zero and draws nothing.
namespace TextAttributedStringDrawing {

CGSize size(const Ref<const TextAttributedString>& s);
CGSize sizeConstrainedToSize(const Ref<const TextAttributedString>& s, CGSize size);
CGSize sizeConstrainedToSize_lineBreakMode(const Ref<const TextAttributedString>& s, CGSize size, int lineBreakMode);
CGSize sizeConstrainedToSize_lineBreakMode_numberOfLines(const Ref<const TextAttributedString>& s, CGSize size,
                                                         int lineBreakMode, NSUInteger numberOfLines);
CGSize drawAtPoint(const Ref<const TextAttributedString>& s, CGPoint point);
CGSize drawAtPoint_forWidth_lineBreakMode(const Ref<const TextAttributedString>& s, CGPoint point, CGFloat width,
                                          int lineBreakMode);
CGSize drawInRect(const Ref<const TextAttributedString>& s, CGRect rect);
CGSize drawInRect_withLineBreakMode(const Ref<const TextAttributedString>& s, CGRect rect, int lineBreakMode);
CGSize drawInRect_withLineBreakMode_alignment(const Ref<const TextAttributedString>& s, CGRect rect,
                                              int lineBreakMode, int alignment);
CGSize drawInRect_withLineBreakMode_alignment_numberOfLines(const Ref<const TextAttributedString>& s, CGRect rect,
                                                            int lineBreakMode, int alignment,
                                                            NSUInteger numberOfLines);

}  // namespace TextAttributedStringDrawing
