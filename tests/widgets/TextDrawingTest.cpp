// The text kit's layout engine: line breaking (Chinese too), limits, truncation with the ellipsis across runs,
// line heights, alignment, and what reaches the pixels for plain, coloured and underlined text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "FontFixtures.h"
#include "platform/foundation/NSBundle.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "widgets/TextDrawing.h"

namespace {
namespace TextDrawingTest_cpp {

using namespace FontFixtures;

constexpr CGGlyph kEllipsisGlyph = kFixedWidthEllipsisGlyph;

CGFontRef fixedFont()
{
    static const CGFontRef font = CGFont::createWithData(fixedWidthFontFile());
    return font;
}

Ref<TextFont> fixed(float size) { return TextFont::fontWithCGFont_size(fixedFont(), size); }

char glyphCharacter(CGGlyph g)
{
    if (g == kEllipsisGlyph) {
        return '~';  // the ellipsis, as the tables below write it
    }
    return g >= 1 && g <= 95 ? char(g - 1 + 0x20) : '?';
}

// What a drawing put down, line by line (by baseline in the drawing's space): the characters of its
// glyphs ("~" for the ellipsis), and the glyph records themselves.
struct Drawn {
    std::vector<std::string> lines;
    std::vector<CGDrawingRecord> glyphRecords;
    std::vector<CGDrawingRecord> rects;
};

template <class Draw>
Drawn drawRecorded(const Draw& draw)
{
    const CGContextRef c = CGContext::createRecording(CGSizeMake(400, 400));
    UIGraphicsPushContext(c);
    draw();
    UIGraphicsPopContext();
    Drawn d;
    std::map<double, std::string> byBaseline;
    for (const CGDrawingRecord& r : c->records()) {
        if (r.kind == CGDrawingRecord::kGlyphs) {
            d.glyphRecords.push_back(r);
            std::string& line = byBaseline[r.ctm.ty + r.textMatrix.ty];
            for (const CGGlyphRun& run : r.runs) {
                for (const CGGlyph g : run.glyphs) {
                    line.push_back(glyphCharacter(g));
                }
            }
        } else if (r.kind == CGDrawingRecord::kFillRect) {
            d.rects.push_back(r);
        }
    }
    for (auto& [y, line] : byBaseline) {
        d.lines.push_back(line);
    }
    return d;
}

Ref<TextAttributedString> pieces(const std::vector<std::pair<std::string, Value>>& parts)
{
    Ref<TextMutableAttributedString> s = TextMutableAttributedString::create();
    for (const auto& [text, attributes] : parts) {
        s->appendAttributedString(*TextAttributedString::initWithString_attributes(text, attributes));
    }
    return s;
}

Value fontAttrs(float size) { return Value::dictionary({{TextFontAttributeName, Value(fixed(size))}}); }

std::string resourcesFolder()
{
    const char* source = std::getenv("OMBRI_SOURCE_DIR");
    return source ? std::string(source) + "/resources" : NSBundle::defaultMainBundlePath();
}

uint8_t alphaOf(uint32_t argb) { return uint8_t(argb >> 24); }
uint8_t redOf(uint32_t argb) { return uint8_t(argb >> 16); }
uint8_t greenOf(uint32_t argb) { return uint8_t(argb >> 8); }
uint8_t blueOf(uint32_t argb) { return uint8_t(argb); }

// The number of pixels of the box whose alpha is at least `minAlpha`.
int inkIn(const CGContextRef& c, int x0, int y0, int x1, int y1, int minAlpha = 128)
{
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            n += alphaOf(c->pixelAt(size_t(x), size_t(y))) >= minAlpha ? 1 : 0;
        }
    }
    return n;
}

}  // namespace TextDrawingTest_cpp
}  // namespace

// One 10-point font, ten points a character: the lines drawn and the size used.
TEST(TextDrawingLayoutTest, LinesAndSizesFollowTheBreakingRules)
{
    using namespace TextDrawingTest_cpp;
    struct Case {
        const char* name;
        std::string text;
        CGSize limit;
        NSUInteger lines;
        int mode;
        std::vector<std::string> drawn;
        CGSize used;
    };
    const CGFloat huge = TextHugeSize;
    const std::vector<Case> cases = {
        {"word wrap breaks after the first word", "ab cd", {40, huge}, 0, 0, {"ab", "cd"}, {20, 20}},
        {"spaces before the break stay, those after it go", "ab   cd", {40, huge}, 0, 0, {"ab  ", "cd"}, {40, 20}},
        {"character wrap breaks inside the word", "ab cd", {40, huge}, 0, 1, {"ab c", "d"}, {40, 20}},
        {"a word longer than the line breaks inside", "abcdef", {30, huge}, 0, 0, {"abc", "def"}, {30, 20}},
        {"two lines of three, the second truncated", "a\nb\nc", {huge, huge}, 2, 4, {"a", "b~"}, {20, 20}},
        {"one line reads line feeds as spaces", "ab\ncd", {huge, huge}, 1, 2, {"ab cd"}, {50, 10}},
        {"one line reads CR LF as one space", "a\r\nb", {huge, huge}, 1, 2, {"a b"}, {30, 10}},
        {"CR alone and CR LF end lines", "a\rb\r\nc", {huge, huge}, 0, 0, {"a", "b", "c"}, {10, 30}},
        {"U+2028 does not end a line", "a\u2028b", {huge, huge}, 0, 0, {"a?b"}, {30, 10}},
        {"a trailing line feed opens no line", "ab\n", {huge, huge}, 0, 0, {"ab"}, {20, 10}},
        {"tail truncation fits the ellipsis", "abcdef", {40, huge}, 1, 4, {"abc~"}, {40, 10}},
        {"tail truncation drops spaces before it", "ab  cdef", {50, huge}, 1, 4, {"ab~"}, {30, 10}},
        {"tail truncation keeps one character", "abcdef", {5, huge}, 1, 4, {"a~"}, {20, 10}},
        {"head truncation draws no ellipsis", "abcdef", {30, huge}, 1, 3, {"abc"}, {30, 10}},
        {"middle truncation draws no ellipsis", "abcdef", {30, huge}, 1, 5, {"abc"}, {30, 10}},
        {"clip on the last line cuts inside the word", "ab cdef", {50, huge}, 1, 2, {"ab cd"}, {50, 10}},
        {"word wrap on the last line goes back to the word", "ab cdef", {50, huge}, 1, 0, {"ab"}, {20, 10}},
        {"the height limit makes the last line", "ab cd ef", {20, 25}, 0, 4, {"ab", "c~"}, {20, 20}},
        {"line feeds are not held to the height", "a\nb\nc", {huge, 5}, 0, 0, {"a", "b", "c"}, {10, 30}},
        {"a width below one character still ends", "abc", {5, huge}, 0, 0, {"a", "b", "c"}, {10, 30}},
        {"so does character wrap", "abc", {5, huge}, 0, 1, {"a", "b", "c"}, {10, 30}},
        {"an apostrophe stays inside its word", "it's ok", {50, huge}, 0, 0, {"it's", "ok"}, {40, 20}},
        {"the empty text", "", {huge, huge}, 0, 0, {}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ref<TextFont> font = fixed(10);
        const Drawn d = drawRecorded([&] {
            const CGSize used = CustomFontLabelStringDrawing::drawInRect_withZFont_lineBreakMode_alignment_numberOfLines(
                c.text, CGRectMake(0, 0, c.limit.width, c.limit.height), font, c.mode, 0, c.lines);
            EXPECT_EQ(used.width, c.used.width);
            EXPECT_EQ(used.height, c.used.height);
        });
        EXPECT_EQ(d.lines, c.drawn);
        const CGSize measured = CustomFontLabelStringDrawing::sizeWithZFont_constrainedToSize_lineBreakMode_numberOfLines(
            c.text, font, c.limit, c.mode, c.lines);
        EXPECT_EQ(measured.width, c.used.width);
        EXPECT_EQ(measured.height, c.used.height);
    }
}

// Chinese text breaks between any two ideographs, never before closing punctuation nor after opening
// punctuation, and between ideographs and Latin words, as Unicode line breaking does. The fixed font has
// no Chinese glyphs: each ideograph or Chinese mark is drawn as "?" one em wide.
TEST(TextDrawingLayoutTest, ChineseBreaksBetweenIdeographsButNotAroundPunctuationThatBinds)
{
    using namespace TextDrawingTest_cpp;
    struct Case {
        const char* name;
        std::string text;
        CGFloat width;
        std::vector<std::string> drawn;
    };
    const std::vector<Case> cases = {
        {"any two ideographs", "今天在西湖边拍了一段视频", 45, {"????", "????", "????"}},
        {"a comma or a full stop stays with the ideograph before it", "天气很好，朋友们都说好。", 45,
         {"???", "????", "???", "??"}},
        {"an opening bracket stays with the ideograph after it", "他说（慢慢地）走了", 25, {"??", "??", "?", "??", "??"}},
        {"an ideograph and a Latin word part", "拍了一段short video", 75, {"????", "short", "video"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Drawn d = drawRecorded([&] {
            CustomFontLabelStringDrawing::drawInRect_withZFont_lineBreakMode_alignment_numberOfLines(
                c.text, CGRectMake(0, 0, c.width, TextHugeSize), fixed(10), 0, 0, 0);
        });
        EXPECT_EQ(d.lines, c.drawn);
    }
}

TEST(TextDrawingLayoutTest, LineHeightsFollowTheLargestFontAndTheFifteenPointRule)
{
    using namespace TextDrawingTest_cpp;
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, Value>> parts;
        CGFloat height;
    };
    const std::vector<Case> cases = {
        {"one 10-point run", {{"ab", fontAttrs(10)}}, 10},
        {"a 20-point run raises its line", {{"ab", fontAttrs(10)}, {"cd", fontAttrs(20)}}, 20},
        {"a 15-point font adds 4 points", {{"ab", fontAttrs(15)}}, 19},
        {"only the second line is raised", {{"ab\n", fontAttrs(10)}, {"cd", fontAttrs(20)}}, 10 + 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextAttributedStringDrawing::sizeConstrainedToSize(pieces(c.parts), CGSizeMake(500, 500)).height,
                  c.height);
    }
}

TEST(TextDrawingLayoutTest, TheEllipsisTakesTheFontOfTheLastKeptCharacter)
{
    using namespace TextDrawingTest_cpp;
    // "ab" at 10 points, "cdef" at 20: "abc" fits 45 points but not with a 20-point ellipsis, so "c"
    // goes and the ellipsis is drawn in the first run's 10-point font.
    const Ref<TextAttributedString> s = pieces({{"ab", fontAttrs(10)}, {"cdef", fontAttrs(20)}});
    CGSize used;
    const Drawn d = drawRecorded([&] {
        used = TextAttributedStringDrawing::drawInRect_withLineBreakMode_alignment_numberOfLines(
            s, CGRectMake(0, 0, 45, 100), 4, 0, 1);
    });
    EXPECT_EQ(d.lines, std::vector<std::string>{"ab~"});
    ASSERT_EQ(d.glyphRecords.size(), 1u);
    EXPECT_EQ(d.glyphRecords[0].fontSize, 10);
    EXPECT_EQ(used.width, 30);

    // With room for "abc" and a 20-point ellipsis, the ellipsis is in the second run's font.
    const Drawn wide = drawRecorded([&] {
        TextAttributedStringDrawing::drawInRect_withLineBreakMode_alignment_numberOfLines(s, CGRectMake(0, 0, 65, 100), 4, 0, 1);
    });
    EXPECT_EQ(wide.lines, std::vector<std::string>{"abc~"});
    ASSERT_EQ(wide.glyphRecords.size(), 2u);
    EXPECT_EQ(wide.glyphRecords[1].fontSize, 20);
    EXPECT_EQ(wide.glyphRecords[1].runs[0].positions.back().x, 20);  // after "c", in the run's own space
}

TEST(TextDrawingLayoutTest, AlignmentPlacesEachLineInTheWidth)
{
    using namespace TextDrawingTest_cpp;
    struct Case {
        int alignment;
        std::vector<double> lefts;
    };
    for (const Case& c : {Case{0, {0, 0}}, Case{1, {20, 30}}, Case{2, {40, 60}}}) {
        SCOPED_TRACE(c.alignment);
        const Drawn d = drawRecorded([&] {
            CustomFontLabelStringDrawing::drawInRect_withZFont_lineBreakMode_alignment(
                "abcd\nef", CGRectMake(5, 7, 80, 100), fixed(10), 0, c.alignment);
        });
        ASSERT_EQ(d.glyphRecords.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(d.glyphRecords[i].ctm.tx + d.glyphRecords[i].textMatrix.tx, 5 + c.lefts[i]);
        }
        EXPECT_EQ(d.glyphRecords[0].ctm.ty + d.glyphRecords[0].textMatrix.ty, 7 + 8);  // top + ascender
        EXPECT_EQ(d.glyphRecords[1].ctm.ty + d.glyphRecords[1].textMatrix.ty, 7 + 10 + 8);
    }
}

TEST(TextDrawingLayoutTest, DecorationsAndColoursFollowTheRuns)
{
    using namespace TextDrawingTest_cpp;
    const Ref<UIColor> red = UIColor::redColor();
    const Ref<UIColor> yellow = UIColor::yellowColor();
    Value a = Value::dictionary({{TextFontAttributeName, Value(fixed(10))},
                                 {TextUnderlineStyleAttributeName, Value(1)},
                                 {TextForegroundColorAttributeName, Value(red)}});
    Value b = Value::dictionary({{TextFontAttributeName, Value(fixed(10))},
                                 {TextStrikethroughStyleAttributeName, Value(1)},
                                 {TextBackgroundColorAttributeName, Value(yellow)}});
    const Ref<TextAttributedString> s = pieces({{"ab", a}, {"cde", b}});
    const Drawn d = drawRecorded([&] { TextAttributedStringDrawing::drawInRect(s, CGRectMake(0, 0, 200, 100)); });
    ASSERT_EQ(d.rects.size(), 3u);
    // The underline of "ab" under its baseline, in red.
    EXPECT_TRUE(CGRectEqualToRect(d.rects[0].rect, CGRectMake(0, 8, 20, 1)));
    EXPECT_TRUE(CGColorEqualToColor(d.rects[0].color, red->CGColor()));
    // The background of "cde", then its strikethrough half an x height above the baseline, in black.
    EXPECT_TRUE(CGRectEqualToRect(d.rects[1].rect, CGRectMake(20, 0, 30, 10)));
    EXPECT_TRUE(CGColorEqualToColor(d.rects[1].color, yellow->CGColor()));
    EXPECT_TRUE(CGRectEqualToRect(d.rects[2].rect, CGRectMake(20, 8 - 2.5, 30, 2)));
    EXPECT_TRUE(CGColorEqualToColor(d.rects[2].color, UIColor::blackColor()->CGColor()));

    // Plain-text drawing ignores the runs' colours: the context's fill colour stays.
    const Drawn plain = drawRecorded([&] {
        UIGraphicsGetCurrentContext()->setFillColor(UIColor::greenColor()->CGColor());
        CustomFontLabelStringDrawing::drawAtPoint_withZFont("ab", CGPointMake(0, 0), fixed(10));
    });
    ASSERT_EQ(plain.glyphRecords.size(), 1u);
    EXPECT_TRUE(CGColorEqualToColor(plain.glyphRecords[0].color, UIColor::greenColor()->CGColor()));
}

TEST(TextDrawingLayoutTest, NilStringsAndFontsMeasureZero)
{
    using namespace TextDrawingTest_cpp;
    EXPECT_TRUE(CGSizeEqualToSize(TextAttributedStringDrawing::size(nullptr), CGSizeZero));
    EXPECT_TRUE(CGSizeEqualToSize(CustomFontLabelStringDrawing::sizeWithZFont("ab", nullptr), CGSizeZero));
    const Drawn d = drawRecorded([&] { TextAttributedStringDrawing::drawAtPoint(nullptr, CGPointMake(0, 0)); });
    EXPECT_TRUE(d.glyphRecords.empty());
    // Sizes round up; a CGFont at a point size measures as the TextFont of that size.
    EXPECT_TRUE(CGSizeEqualToSize(CustomFontLabelStringDrawing::sizeWithCGFont_pointSize("ab", fixedFont(), 10.5),
                                  CGSizeMake(21, 12)));  // metrics round outwards: 9 + 3
}

// Pixels: one check per drawing path, in the bundle's Helvetica.
TEST(TextDrawingPixelTest, PlainAttributedAndUnderlinedTextReachThePixels)
{
    using namespace TextDrawingTest_cpp;
    const CGFontRef helvetica = CGFont::createWithFile(resourcesFolder() + "/Helvetica.ttf");
    ASSERT_TRUE(helvetica);
    const Ref<TextFont> font = TextFont::fontWithCGFont_size(helvetica, 20);
    const int baseline = int(font->ascender());

    // Plain text in the context's fill colour: ink inside the glyph box, nothing far to the right.
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(60, 30), false, 1);
    CGContextRef c = UIGraphicsGetCurrentContext();
    c->setFillColor(UIColor::blackColor()->CGColor());
    CustomFontLabelStringDrawing::drawAtPoint_withZFont("H", CGPointMake(0, 0), font);
    EXPECT_GT(inkIn(c, 0, 0, 20, baseline), 30);
    EXPECT_EQ(inkIn(c, 30, 0, 60, 30, 1), 0);
    // The glyph stands upright: its crossbar-less top and bottom rows are both inked near the baseline.
    EXPECT_GT(inkIn(c, 0, baseline - 3, 20, baseline), 2);
    UIGraphicsEndImageContext();

    // Attributed text: a yellow background behind red glyphs.
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(60, 30), false, 1);
    c = UIGraphicsGetCurrentContext();
    const Ref<TextAttributedString> s = TextAttributedString::initWithString_attributes(
        "H", Value::dictionary({{TextFontAttributeName, Value(font)},
                                {TextForegroundColorAttributeName, Value(UIColor::redColor())},
                                {TextBackgroundColorAttributeName, Value(UIColor::yellowColor())}}));
    TextAttributedStringDrawing::drawAtPoint(s, CGPointMake(0, 0));
    const uint32_t corner = c->pixelAt(0, 0);
    EXPECT_EQ(alphaOf(corner), 255);
    EXPECT_GT(redOf(corner), 240);
    EXPECT_GT(greenOf(corner), 240);
    EXPECT_LT(blueOf(corner), 15);
    int red = 0;
    for (int y = 0; y < baseline; ++y) {
        for (int x = 0; x < 20; ++x) {
            const uint32_t p = c->pixelAt(size_t(x), size_t(y));
            red += redOf(p) > 200 && greenOf(p) < 60 ? 1 : 0;
        }
    }
    EXPECT_GT(red, 20);
    UIGraphicsEndImageContext();

    // Underlined text: a whole row of ink on the baseline under the glyph, none below it.
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(60, 30), false, 1);
    c = UIGraphicsGetCurrentContext();
    const Ref<TextAttributedString> u = TextAttributedString::initWithString_attributes(
        "__ H", Value::dictionary({{TextFontAttributeName, Value(font)}, {TextUnderlineStyleAttributeName, Value(1)}}));
    TextAttributedStringDrawing::drawAtPoint(u, CGPointMake(0, 0));
    const int width = int(TextAttributedStringDrawing::size(u).width) - 1;
    EXPECT_EQ(inkIn(c, 0, baseline, width, baseline + 1, 250), width);
    EXPECT_EQ(inkIn(c, 0, baseline + 1, width, baseline + 2, 250), 0);
    UIGraphicsEndImageContext();
}
