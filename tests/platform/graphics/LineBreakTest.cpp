// Where the framesetter and the interface's text layout end lines, compared with the Unicode line
// breaking rules as ICU's line iterator applies them: every line ends at a break opportunity, and it
// is the last opportunity whose text still fits (greedy filling). Checked on a long paragraph of mixed
// Chinese and Latin text and on a table of short cases at every width from two to twelve ideographs.
#include <gtest/gtest.h>

#include <unicode/ubrk.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CTFramesetter.h"
#include "platform/graphics/TextLayout.h"

namespace {
namespace LineBreakTest_cpp {

constexpr CGFloat kSize = 15;

CGFontRef chineseFont()
{
    const char* source = std::getenv("OMBRI_SOURCE_DIR");
    const std::string folder = source ? std::string(source) + "/resources" : NSBundle::defaultMainBundlePath();
    return CGFont::createWithFile(folder + "/STHeitiSC-Light.ttf");
}

// The paragraph the text benchmark lays out: sentences of a video description, Chinese with Latin
// words, numbers and brackets.
std::u16string paragraph()
{
    const std::u16string pieces[] = {u"今天在西湖边拍了一段 short video，", u"天气很好 (sunny, 24°C)，",
                                     u"朋友们都说 amazing！", u"下次一起去 Hangzhou 吧。",
                                     u"记得带上 camera 和三脚架，", u"拍摄时间大约 15 分钟。"};
    std::u16string out;
    for (size_t i = 0; out.size() < 2000; ++i) {
        out += pieces[i % std::size(pieces)];
    }
    out.resize(2000);
    return out;
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

// The break opportunities of the text (offsets after which a line may end), the end included.
std::vector<size_t> icuBreaks(const std::u16string& text)
{
    std::vector<size_t> out;
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* it = ubrk_open(UBRK_LINE, "", reinterpret_cast<const UChar*>(text.data()), int32_t(text.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status));
    if (U_FAILURE(status)) {
        return out;
    }
    for (int32_t b = ubrk_next(it); b != UBRK_DONE; b = ubrk_next(it)) {
        out.push_back(size_t(b));
    }
    ubrk_close(it);
    return out;
}

// Lines filled greedily at ICU's opportunities with the font's advances: the offsets where lines
// start. Spaces at a line's end hang (they do not count). nullopt-like empty result when a segment is
// wider than the line (the breakers then cut inside it; the cases avoid that).
std::vector<size_t> referenceLineStarts(const std::u16string& text, const CGFontRef& font, CGFloat width)
{
    const auto advance = [&](size_t i) {
        return font->advanceForGlyph(font->glyphForCharacter(text[i])) * kSize / font->unitsPerEm();
    };
    const auto visibleWidth = [&](size_t from, size_t to) {
        while (to > from && isSpace(text[to - 1])) {
            --to;
        }
        CGFloat w = 0;
        for (size_t i = from; i < to; ++i) {
            w += advance(i);
        }
        return w;
    };
    const std::vector<size_t> breaks = icuBreaks(text);
    std::vector<size_t> starts{0};
    size_t start = 0;
    size_t k = 0;
    while (start < text.size()) {
        size_t end = 0;
        while (k < breaks.size() && visibleWidth(start, breaks[k]) <= width + 0.01) {
            end = breaks[k++];
        }
        if (end == 0 || end <= start) {
            return {};
        }
        if (end < text.size()) {
            starts.push_back(end);
        }
        start = end;
    }
    return starts;
}

std::vector<size_t> framesetterLineStarts(const std::u16string& text, const CGFontRef& font, CGFloat width)
{
    const auto setter = CTFramesetter::create(text, {{0, text.size(), font, kSize}});
    const CTTextFrame frame = setter->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, width, 1e7));
    std::vector<size_t> starts;
    for (const CTTextLine& line : frame.lines) {
        starts.push_back(line.range.location);
    }
    return starts;
}

// The interface's layout gives each line's text without its hanging spaces: the starts are found by
// walking the text line by line.
std::vector<size_t> textLayoutLineStarts(const std::u16string& text, const CGFontRef& font, CGFloat width)
{
    const std::string utf8 = NSString::fromUTF16(text);
    const textlayout::Layout layout = textlayout::layoutText(
        utf8, {font, kSize}, width, std::numeric_limits<CGFloat>::infinity(), 0, textlayout::kWordWrap);
    std::vector<size_t> starts;
    size_t at = 0;
    for (const textlayout::Line& line : layout.lines) {
        starts.push_back(at);
        const std::u16string shown = NSString::toUTF16(line.text);
        EXPECT_EQ(text.compare(at, shown.size(), shown), 0) << "line " << starts.size() << " is not the text's next part";
        at += shown.size();
        while (at < text.size() && isSpace(text[at])) {
            ++at;
        }
    }
    return starts;
}

TEST(LineBreakTest, TheBenchmarkParagraphBreaksWhereUnicodeLineBreakingAllowsAndFills)
{
    using namespace LineBreakTest_cpp;
    const CGFontRef font = chineseFont();
    ASSERT_TRUE(font);
    const std::u16string text = paragraph();
    const std::vector<size_t> reference = referenceLineStarts(text, font, 300);
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(framesetterLineStarts(text, font, 300), reference);
    EXPECT_EQ(textLayoutLineStarts(text, font, 300), reference);
}

TEST(LineBreakTest, ShortTextsBreakAsUnicodeLineBreakingDoesAtEveryWidth)
{
    using namespace LineBreakTest_cpp;
    const CGFontRef font = chineseFont();
    ASSERT_TRUE(font);
    const CGFloat han = font->advanceForGlyph(font->glyphForCharacter(U'中')) * kSize / font->unitsPerEm();
    const std::u16string cases[] = {
        u"今天在西湖边拍了一段视频",           // between any two ideographs
        u"天气很好，朋友们都说好。下次再去！",   // never before closing punctuation
        u"他说：“我们走吧”，然后（慢慢地）离开了",  // nor after opening quotes and brackets
        u"拍了一段short video，天气很好",      // between ideographs and Latin words, and at spaces
        u"温度24°C，大约15分钟",                // numbers stay with their units and signs
        u"朋友们都说amazing！下次一起去",       // a word keeps its exclamation mark
        u"记得带上camera和三脚架。",
        u"《西湖》的晚霞、湖水和远山",          // book title marks and the enumeration comma
    };
    for (const std::u16string& text : cases) {
        for (int columns = 2; columns <= 12; ++columns) {
            const CGFloat width = han * columns + 0.5;
            const std::vector<size_t> reference = referenceLineStarts(text, font, width);
            if (reference.empty()) {
                continue;  // a word wider than the line: cut inside it, not a question of opportunities
            }
            SCOPED_TRACE(NSString::fromUTF16(text) + " in " + std::to_string(columns) + " columns");
            EXPECT_EQ(framesetterLineStarts(text, font, width), reference);
            EXPECT_EQ(textLayoutLineStarts(text, font, width), reference);
        }
    }
}

}  // namespace LineBreakTest_cpp
}  // namespace
