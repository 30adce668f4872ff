// The framesetter: shaped advances, line breaking (spaces, Chinese, hard breaks, narrow widths), line
// origins and hit testing, in the bundle's fonts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CTFramesetter.h"

namespace {
namespace CTFramesetterTest_cpp {

std::string resourcesFolder()
{
    const char* source = std::getenv("OMBRI_SOURCE_DIR");
    return source ? std::string(source) + "/resources" : NSBundle::defaultMainBundlePath();
}

CGFontRef bundleFont(const char* file)
{
    return CGFont::createWithFile(resourcesFolder() + "/" + file);
}

std::shared_ptr<CTFramesetter> setter(const std::u16string& text, const CGFontRef& font, CGFloat size)
{
    return CTFramesetter::create(text, {{0, text.size(), font, size}});
}

CGFloat unshapedWidth(const std::u16string& text, const CGFontRef& font, CGFloat size)
{
    CGFloat w = 0;
    for (const char16_t c : text) {
        w += font->advanceForGlyph(font->glyphForCharacter(c)) * size / font->unitsPerEm();
    }
    return w;
}

std::vector<NSRange> lineRanges(const CTTextFrame& frame)
{
    std::vector<NSRange> ranges;
    for (const CTTextLine& line : frame.lines) {
        ranges.push_back(line.range);
    }
    return ranges;
}

}  // namespace CTFramesetterTest_cpp
}  // namespace

TEST(CTFramesetterTest, LinesBreakWhereTheLineBreakerAllows)
{
    using namespace CTFramesetterTest_cpp;
    const CGFontRef latin = bundleFont("Helvetica.ttf");
    const CGFontRef chinese = bundleFont("STHeitiSC-Light.ttf");
    ASSERT_TRUE(latin && chinese);
    const CGFloat hello = unshapedWidth(u"hello", latin, 20);
    const CGFloat word = std::max(hello, unshapedWidth(u"world", latin, 20));
    const CGFloat han = unshapedWidth(u"今", chinese, 20);
    struct Case {
        const char* name;
        std::u16string text;
        CGFontRef font;
        CGFloat width;
        std::vector<NSRange> lines;
    };
    const std::vector<Case> cases = {
        {"after the space, which hangs", u"hello world", latin, word + 5, {{0, 6}, {6, 5}}},
        {"all on one line when it fits", u"hello world", latin, 1000, {{0, 11}}},
        {"between Chinese characters", u"今天拍了一段", chinese, han * 3 + 1, {{0, 3}, {3, 3}}},
        {"not before closing punctuation", u"今天，拍了", chinese, han * 2 + 1, {{0, 1}, {1, 2}, {3, 2}}},
        {"at line feeds whatever the width", u"ab\ncd", latin, 1000, {{0, 3}, {3, 2}}},
        {"inside a word wider than the line", u"aaaaaa", latin, unshapedWidth(u"aa", latin, 20) + 0.5, {{0, 2}, {2, 2}, {4, 2}}},
        {"one character a line below one character's width", u"abc", latin, 1, {{0, 1}, {1, 1}, {2, 1}}},
        {"the empty text has no line", u"", latin, 100, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CTTextFrame frame = setter(c.text, c.font, 20)->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, c.width, 1000));
        const std::vector<NSRange> got = lineRanges(frame);
        ASSERT_EQ(got.size(), c.lines.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].location, c.lines[i].location) << i;
            EXPECT_EQ(got[i].length, c.lines[i].length) << i;
        }
    }
}

TEST(CTFramesetterTest, ShapingKernsAndOriginsStackDownFromTheTop)
{
    using namespace CTFramesetterTest_cpp;
    const CGFontRef latin = bundleFont("Helvetica.ttf");
    ASSERT_TRUE(latin);
    // The font kerns "AV": shaped, the pair is narrower than its two advances.
    const auto av = setter(u"AV", latin, 40);
    EXPECT_LT(av->suggestFrameSizeWithConstraints(NSMakeRange(0, 0), CGSizeMake(1000, 1000), nullptr).width,
              unshapedWidth(u"AV", latin, 40) - 0.5);

    const auto two = setter(u"ab\ncd", latin, 20);
    const CTTextFrame frame = two->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, 200, 100));
    ASSERT_EQ(frame.lines.size(), 2u);
    const CTTextLine& first = frame.lines[0];
    const CGFloat lineHeight = first.ascent + first.descent + first.leading;
    EXPECT_DOUBLE_EQ(frame.lineOrigins[0].y, 100 - first.ascent);
    EXPECT_DOUBLE_EQ(frame.lineOrigins[1].y, 100 - lineHeight - frame.lines[1].ascent);
    // A frame shorter than two lines keeps the first; the fit range says so.
    NSRange fit{};
    const CGSize size = two->suggestFrameSizeWithConstraints(NSMakeRange(0, 0), CGSizeMake(200, lineHeight + 1), &fit);
    EXPECT_DOUBLE_EQ(size.height, lineHeight);
    EXPECT_EQ(fit.location, 0u);
    EXPECT_EQ(fit.length, 3u);
}

TEST(CTFramesetterTest, PositionsGiveTheNearestCaretIndex)
{
    using namespace CTFramesetterTest_cpp;
    const CGFontRef latin = bundleFont("Helvetica.ttf");
    ASSERT_TRUE(latin);
    const auto s = setter(u"mmm", latin, 20);
    const CTTextFrame frame = s->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, 500, 100));
    ASSERT_EQ(frame.lines.size(), 1u);
    const CTTextLine& line = frame.lines[0];
    const CGFloat m = line.width / 3;
    struct Case {
        CGFloat x;
        NSUInteger index;
    };
    for (const Case c : {Case{-5, 0}, Case{m * 0.4, 0}, Case{m * 0.6, 1}, Case{m * 1.4, 1}, Case{m * 2.6, 3}, Case{500, 3}}) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(line.stringIndexForPosition(CGPointMake(c.x, 0)), c.index);
    }
    EXPECT_DOUBLE_EQ(line.offsetForStringIndex(1), line.runs[0].positions[1].x);
}
