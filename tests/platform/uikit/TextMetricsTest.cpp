// Text metrics on the real Debian fonts: the values below are what DejaVu Sans and WenQuanYi Micro
// Hei give; they must be the same on every machine set up by scripts/setup.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/TextLayout.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {

constexpr CGFloat kHuge = 100000;
const std::string kFox = "The quick brown fox jumps over the lazy dog";
const std::string kChinese = "今天天气很好，我们去公园散步吧。";

std::vector<std::string> linesOf(const std::string& text, const Ref<UIFont>& font, CGFloat width,
                                 UILineBreakMode mode = UILineBreakModeWordWrap, size_t maxLines = 0)
{
    std::vector<std::string> lines;
    for (const auto& line :
         textlayout::layoutText(text, font->metrics(), width, kHuge, maxLines, textlayout::LineBreak(mode)).lines) {
        lines.push_back(line.text);
    }
    return lines;
}

}  // namespace

TEST(UIFontTest, SystemNamesMapOntoInstalledFacesAndUnknownNamesAreNil)
{
    auto system = UIFont::systemFontOfSize(17);
    auto bold = UIFont::boldSystemFontOfSize(17);
    auto chinese = UIFont::fontWithName_size("STHeitiSC-Medium", 12);
    ASSERT_TRUE(system && bold && chinese);
    EXPECT_EQ(system->fontName(), "Helvetica");
    EXPECT_EQ(system->familyName(), "Helvetica");
    EXPECT_EQ(bold->fontName(), "Helvetica-Bold");
    EXPECT_EQ(system->cgFont()->postScriptName(), "DejaVuSans");
    EXPECT_EQ(bold->cgFont()->postScriptName(), "DejaVuSans-Bold");
    EXPECT_EQ(chinese->cgFont()->postScriptName(), "WenQuanYiMicroHei");
    EXPECT_EQ(chinese->familyName(), "Heiti SC");
    // Installed fonts are found by their own exact names too; anything else is nil.
    EXPECT_TRUE(UIFont::fontWithName_size("DejaVuSans", 10));
    EXPECT_FALSE(UIFont::fontWithName_size("NoSuchFont-Regular", 10));
    EXPECT_FALSE(UIFont::fontWithName_size("dejavusans", 10));
    // Same name, same face object for the whole process.
    EXPECT_EQ(UIFont::systemFontOfSize(9)->cgFont(), system->cgFont());
    EXPECT_TRUE(system->isEqual(UIFont::fontWithName_size("Helvetica", 17).get()));
    EXPECT_FALSE(system->isEqual(bold.get()));
}

TEST(UIFontTest, MetricsComeFromTheFontTablesScaledToThePointSize)
{
    auto font = UIFont::systemFontOfSize(17);
    // DejaVu Sans: 2048 units per em, ascent 1901, descent -483, no line gap.
    EXPECT_DOUBLE_EQ(font->ascender(), 1901.0 * 17 / 2048);
    EXPECT_DOUBLE_EQ(font->descender(), -483.0 * 17 / 2048);
    EXPECT_DOUBLE_EQ(font->lineHeight(), 2384.0 * 17 / 2048);
    EXPECT_DOUBLE_EQ(font->capHeight(), 1493.0 * 17 / 2048);
    EXPECT_DOUBLE_EQ(font->fontWithSize(34)->lineHeight(), 2 * font->lineHeight());
    EXPECT_EQ(font->fontWithSize(34)->fontName(), "Helvetica");
}

TEST(UIStringDrawingTest, LatinTextWrapsAtSpaces)
{
    auto font = UIFont::systemFontOfSize(14);
    EXPECT_EQ(UIStringDrawing::sizeWithFont("Hello world", font), CGSizeMake(79, 17));
    EXPECT_EQ(UIStringDrawing::sizeWithFont(kFox, font), CGSizeMake(316, 17));
    EXPECT_EQ(linesOf(kFox, font, 100), (std::vector<std::string>{"The quick", "brown fox", "jumps over", "the lazy dog"}));
    EXPECT_EQ(UIStringDrawing::sizeWithFont_constrainedToSize_lineBreakMode(kFox, font, CGSizeMake(100, kHuge),
                                                                           UILineBreakModeWordWrap),
              CGSizeMake(87, 4 * 17));
    // The height limit keeps whole lines only (two of 17 fit in 40).
    EXPECT_EQ(UIStringDrawing::sizeWithFont_constrainedToSize(kFox, font, CGSizeMake(100, 40)).height, 34);
    // A word longer than the line breaks between characters; explicit newlines always break.
    EXPECT_EQ(linesOf("Supercalifragilistic", font, 60).size(), 3u);
    EXPECT_EQ(linesOf("one\ntwo\n\nthree\n", font, kHuge), (std::vector<std::string>{"one", "two", "", "three"}));
}

TEST(UIStringDrawingTest, ChineseTextWrapsBetweenCharactersButKeepsClosingPunctuation)
{
    auto font = UIFont::systemFontOfSize(14);
    // The Latin face has no Chinese glyphs: they come from the fallback face, one em (14) each.
    EXPECT_EQ(UIStringDrawing::sizeWithFont(kChinese, font), CGSizeMake(16 * 14, 17));
    // Seven characters fit in 100 points; "，" may not start a line, so it stays with "好".
    EXPECT_EQ(linesOf(kChinese, font, 100),
              (std::vector<std::string>{"今天天气很好，", "我们去公园散步", "吧。"}));
    EXPECT_EQ(linesOf(kChinese, font, 90), (std::vector<std::string>{"今天天气很", "好，我们去公", "园散步吧。"}));
    EXPECT_EQ(UIStringDrawing::sizeWithFont_constrainedToSize_lineBreakMode(kChinese, font, CGSizeMake(100, kHuge),
                                                                           UILineBreakModeWordWrap),
              CGSizeMake(98, 3 * 17));
    // Mixed text breaks at the space and between Chinese characters, not inside "and".
    EXPECT_EQ(linesOf("分享到新浪微博 and 腾讯", font, 100),
              (std::vector<std::string>{"分享到新浪微博", "and 腾讯"}));
}

TEST(UIStringDrawingTest, SingleLineModesShortenTextThatDoesNotFit)
{
    auto font = UIFont::systemFontOfSize(14);
    struct Case {
        UILineBreakMode mode;
        std::string expected;
    };
    const Case cases[] = {
        {UILineBreakModeWordWrap, "The quick"},
        {UILineBreakModeCharacterWrap, "The quick br"},
        {UILineBreakModeClip, "The quick brown fox"},
        {UILineBreakModeHeadTruncation, "…brown fox"},
        {UILineBreakModeTailTruncation, "The quick…"},
        {UILineBreakModeMiddleTruncation, "The q…n fox"},
    };
    for (const Case& c : cases) {
        const auto layout = textlayout::layoutSingleLine("The quick brown fox", font->metrics(), 90,
                                                         textlayout::LineBreak(c.mode));
        ASSERT_EQ(layout.lines.size(), 1u);
        EXPECT_EQ(layout.lines[0].text, c.expected) << "mode " << c.mode;
        EXPECT_LE(layout.size.width, 90) << "mode " << c.mode;
        EXPECT_EQ(UIStringDrawing::sizeWithFont_forWidth_lineBreakMode("The quick brown fox", font, 90, c.mode),
                  layout.size);
    }
    // Text that fits is never shortened.
    EXPECT_EQ(UIStringDrawing::sizeWithFont_forWidth_lineBreakMode("Hello", font, 90, UILineBreakModeTailTruncation),
              UIStringDrawing::sizeWithFont("Hello", font));
}

TEST(UIStringDrawingTest, LimitedLinesEndWithAnEllipsisInTruncatingModes)
{
    auto font = UIFont::systemFontOfSize(14);
    const auto tail = linesOf(kFox, font, 100, UILineBreakModeTailTruncation, 2);
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_EQ(tail[0], "The quick");
    EXPECT_EQ(tail[1].substr(0, 9), "brown fox");
    EXPECT_EQ(tail[1].substr(tail[1].size() - 3), "…");
    // Wrapping modes just stop.
    EXPECT_EQ(linesOf(kFox, font, 100, UILineBreakModeWordWrap, 2), (std::vector<std::string>{"The quick", "brown fox"}));
}

TEST(UIStringDrawingTest, AWidthNarrowerThanOneCharacterStillEndsWithOneCharacterPerLine)
{
    auto font = UIFont::systemFontOfSize(14);
    EXPECT_EQ(linesOf("abc", font, 3), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(linesOf("好的", font, 0), (std::vector<std::string>{"好", "的"}));
    EXPECT_EQ(UIStringDrawing::sizeWithFont_constrainedToSize("", font, CGSizeMake(100, 100)), CGSizeZero);
    EXPECT_EQ(UIStringDrawing::sizeWithFont("abc", nullptr), CGSizeZero);
    const CGFloat nan = std::numeric_limits<CGFloat>::quiet_NaN();
    EXPECT_EQ(UIStringDrawing::sizeWithFont_constrainedToSize("ab", font, CGSizeMake(nan, nan)).height, 17);
}

TEST(UIStringDrawingTest, DrawingInARectRecordsAlignedLinesInTheFillColour)
{
    auto font = UIFont::systemFontOfSize(14);
    UIGraphicsBeginImageContext(CGSizeMake(200, 200));
    UIColor::redColor()->set();
    const CGSize size = UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(
        kFox, CGRectMake(10, 20, 100, 30), font, UILineBreakModeWordWrap, UITextAlignmentRight);
    const auto records = UIGraphicsGetCurrentContext()->records();
    UIGraphicsEndImageContext();
    EXPECT_EQ(size, CGSizeMake(68, 17));  // one whole line fits in 30 points
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, CGDrawingRecord::kText);
    EXPECT_EQ(records[0].text, "The quick");
    EXPECT_EQ(records[0].fontName, "Helvetica");
    EXPECT_DOUBLE_EQ(records[0].rect.origin.x + records[0].rect.size.width, 110);  // right-aligned
    EXPECT_EQ(records[0].rect.origin.y, 20);
    EXPECT_TRUE(CGColorEqualToColor(records[0].color, UIColor::redColor()->CGColor()));
}

TEST(UILabelTest, TextRectForBoundsHonoursTheLineLimit)
{
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 100, 200));
    label->setFont(UIFont::systemFontOfSize(14));
    label->setText(kFox);
    const CGRect bounds = CGRectMake(10, 20, 100, 200);
    struct Case {
        NSInteger limit;
        CGFloat height;
    };
    for (const Case& c : {Case{1, 17}, Case{2, 34}, Case{3, 51}, Case{0, 68}, Case{9, 68}}) {
        const CGRect r = label->textRectForBounds_limitedToNumberOfLines(bounds, c.limit);
        EXPECT_EQ(r.origin, bounds.origin) << "limit " << c.limit;
        EXPECT_EQ(r.size.height, c.height) << "limit " << c.limit;
        EXPECT_LE(r.size.width, 100) << "limit " << c.limit;
    }
    // The bounds' height limits too.
    EXPECT_EQ(label->textRectForBounds_limitedToNumberOfLines(CGRectMake(0, 0, 100, 40), 0).size.height, 34);
    label->setText("");
    EXPECT_EQ(label->textRectForBounds_limitedToNumberOfLines(bounds, 0), CGRectMake(10, 20, 0, 0));
}

TEST(UILabelTest, DrawsItsLinesCentredVerticallyWithTheShadowFirst)
{
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 100, 100));
    EXPECT_FALSE(label->isUserInteractionEnabled());
    label->setFont(UIFont::systemFontOfSize(14));
    label->setText(kFox);
    label->setNumberOfLines(2);
    label->setTextAlignment(UITextAlignmentCenter);
    label->setTextColor(UIColor::blueColor());
    label->setShadowColor(UIColor::whiteColor());
    label->setShadowOffset(CGSizeMake(0, 1));
    label->layer()->display();
    const auto& records = label->layer()->drawing()->records();
    ASSERT_EQ(records.size(), 4u);  // two shadow lines, then two text lines
    const CGFloat top = std::floor((100 - 34) / 2.0);
    EXPECT_EQ(records[0].rect.origin.y, top + 1);
    EXPECT_TRUE(CGColorEqualToColor(records[0].color, UIColor::whiteColor()->CGColor()));
    EXPECT_EQ(records[2].rect.origin.y, top);
    EXPECT_EQ(records[3].rect.origin.y, top + 17);
    EXPECT_EQ(records[2].text, "The quick");
    EXPECT_TRUE(CGColorEqualToColor(records[2].color, UIColor::blueColor()->CGColor()));
    EXPECT_DOUBLE_EQ(records[2].rect.origin.x, (100 - records[2].rect.size.width) / 2);
}

TEST(UILabelTest, ShrinksASingleLineDownToTheMinimumFontSize)
{
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 100, 30));
    label->setFont(UIFont::systemFontOfSize(20));
    label->setText(kFox);
    label->setAdjustsFontSizeToFitWidth(true);
    label->setMinimumFontSize(10);
    EXPECT_EQ(label->fontFittingWidth(100)->pointSize(), 10);  // still too wide at 10: stops there
    label->setText("Hello world");
    const CGFloat fitting = label->fontFittingWidth(100)->pointSize();
    EXPECT_LT(fitting, 20);
    EXPECT_GE(fitting, 10);
    EXPECT_LE(UIStringDrawing::sizeWithFont("Hello world", label->font()->fontWithSize(fitting)).width, 100);
}

TEST(UIStringDrawingTest, MeasuringFromSeveralThreadsGivesTheSameSizes)
{
    // Fonts are shared process-wide; their caches fill from whichever thread measures first.
    const std::vector<std::string> texts = {kFox, kChinese, "分享到新浪微博 and 腾讯", "Hello world"};
    std::vector<std::vector<CGSize>> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&, t] {
            auto font = UIFont::fontWithName_size(t % 2 ? "Helvetica-Bold" : "Helvetica", 13);
            for (const std::string& text : texts) {
                results[t].push_back(
                    UIStringDrawing::sizeWithFont_constrainedToSize(text, font, CGSizeMake(120, kHuge)));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(results[0], results[2]);
    EXPECT_EQ(results[1], results[3]);
    EXPECT_EQ(results[0][1], results[1][1]);  // the Chinese glyphs come from the same fallback face
}

// The Chinese face has no bold: bold text draws its Chinese characters emboldened, so a bold title does
// not mix heavy Latin with light Chinese, while every width stays the regular face's.
TEST(UIStringDrawingTest, BoldChineseIsDrawnEmboldenedAtTheRegularWidths)
{
    const std::string text = "西湖边的猫2";
    auto regular = UIFont::systemFontOfSize(17);
    auto bold = UIFont::boldSystemFontOfSize(17);
    const auto boldRuns = textlayout::glyphRuns(text, bold->metrics());
    const auto regularRuns = textlayout::glyphRuns(text, regular->metrics());
    ASSERT_EQ(boldRuns.size(), 2u);  // the Chinese, then the digit in the bold Latin face
    ASSERT_EQ(regularRuns.size(), 2u);
    EXPECT_TRUE(boldRuns[0].font->isBold());
    EXPECT_FALSE(regularRuns[0].font->isBold());
    EXPECT_EQ(boldRuns[0].font->postScriptName(), regularRuns[0].font->postScriptName());
    EXPECT_EQ(boldRuns[0].x, regularRuns[0].x);

    // Ink: the bold drawing covers clearly more pixels than the regular one.
    auto inked = [&](const Ref<UIFont>& font) {
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(120, 30), false, 2);
        UIColor::blackColor()->set();
        UIStringDrawing::drawAtPoint_withFont("西湖边的猫", CGPointMake(2, 4), font);
        const CGContextRef context = UIGraphicsGetCurrentContext();
        size_t count = 0;
        for (size_t y = 0; y < 60; ++y) {
            for (size_t x = 0; x < 240; ++x) {
                count += (context->pixelAt(x, y) >> 24) > 128 ? 1 : 0;
            }
        }
        UIGraphicsEndImageContext();
        return count;
    };
    const size_t light = inked(regular);
    const size_t heavy = inked(bold);
    EXPECT_GT(light, 200u);
    EXPECT_GT(double(heavy), double(light) * 1.15);
}
