// The font label: shrinking and baseline placement of one line, highlighted colours, the styled text
// winning over the font, vertical centring, and the line limit of its text rectangle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FontFixtures.h"
#include "LabelDrawing.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "widgets/CustomFontLabel.h"
#include "widgets/TextDrawing.h"

namespace {
namespace CustomFontLabelTest_cpp {

CGFontRef fixedWidth()
{
    static const CGFontRef font = CGFont::createWithData(FontFixtures::fixedWidthFontFile());
    return font;
}

std::vector<CGDrawingRecord> drawnGlyphs(const Ref<CustomFontLabel>& label)
{
    return LabelDrawing::drawnGlyphRecords(label);
}

double baselineOf(const CGDrawingRecord& r) { return r.ctm.ty + r.textMatrix.ty; }
double leftOf(const CGDrawingRecord& r) { return r.ctm.tx + r.textMatrix.tx; }

}  // namespace CustomFontLabelTest_cpp
}  // namespace

TEST(CustomFontLabelTest, OneLineShrinksWithinItsMinimumAndPlacesTheBaseline)
{
    using namespace CustomFontLabelTest_cpp;
    struct Case {
        const char* name;
        std::string text;
        bool adjusts;
        CGFloat minimum;
        UIBaselineAdjustment adjustment;
        double fontSize;
        double baseline;  // in a 50 x 40 label of a 20-point font (line box 20, ascender 16)
    };
    // The line box sits at round((40 - 20) / 2) = 10; its baseline at 10 + 16.
    const std::vector<Case> cases = {
        {"fits: no shrinking", "ab", true, 5, UIBaselineAdjustmentAlignBaselines, 20, 26},
        {"ten characters shrink in proportion", "abcdefghij", true, 2, UIBaselineAdjustmentNone, 5, 10 + 4},
        {"but not below the minimum", "abcdefghij", true, 10, UIBaselineAdjustmentNone, 10, 10 + 8},
        {"baselines stay aligned", "abcdefghij", true, 10, UIBaselineAdjustmentAlignBaselines, 10, 10 + 8 + 8},
        {"centres stay aligned", "abcdefghij", true, 10, UIBaselineAdjustmentAlignCenters, 10, 10 + 5 + 8},
        {"a minimum not below the size: nothing moves", "abcdefghij", true, 20, UIBaselineAdjustmentAlignCenters, 20, 26},
        {"no adjustment", "abcdefghij", false, 10, UIBaselineAdjustmentAlignCenters, 20, 26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ref<CustomFontLabel> label =
            CustomFontLabel::initWithFrame_font_pointSize(CGRectMake(0, 0, 50, 40), fixedWidth(), 20);
        label->setText(c.text);
        label->setAdjustsFontSizeToFitWidth(c.adjusts);
        label->setMinimumFontSize(c.minimum);
        label->setBaselineAdjustment(c.adjustment);
        const std::vector<CGDrawingRecord> glyphs = drawnGlyphs(label);
        ASSERT_EQ(glyphs.size(), 1u);
        EXPECT_EQ(glyphs[0].fontSize, c.fontSize);
        EXPECT_EQ(baselineOf(glyphs[0]), c.baseline);
    }
}

TEST(CustomFontLabelTest, OneLineAlignsWithinTheWidthAndTakesTheLabelsColours)
{
    using namespace CustomFontLabelTest_cpp;
    struct Case {
        UITextAlignment alignment;
        bool highlighted;
        Ref<UIColor> expected;
        double left;
    };
    const std::vector<Case> cases = {
        {UITextAlignmentLeft, false, UIColor::blueColor(), 0},
        {UITextAlignmentCenter, false, UIColor::blueColor(), 15},  // (50 - 20) / 2
        {UITextAlignmentRight, true, UIColor::redColor(), 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.alignment));
        const Ref<CustomFontLabel> label =
            CustomFontLabel::initWithFrame_font_pointSize(CGRectMake(0, 0, 50, 40), fixedWidth(), 10);
        label->setText("ab");
        label->setTextColor(UIColor::blueColor());
        label->setHighlightedTextColor(UIColor::redColor());
        label->setTextAlignment(c.alignment);
        label->setHighlighted(c.highlighted);
        const std::vector<CGDrawingRecord> glyphs = drawnGlyphs(label);
        ASSERT_EQ(glyphs.size(), 1u);
        EXPECT_EQ(leftOf(glyphs[0]), c.left);
        EXPECT_TRUE(CGColorEqualToColor(glyphs[0].color, c.expected->CGColor()));
    }
    // Highlighted without a highlighted colour: white.
    const Ref<CustomFontLabel> label = CustomFontLabel::initWithFrame_font_pointSize(CGRectMake(0, 0, 50, 40), fixedWidth(), 10);
    label->setText("ab");
    label->setHighlighted(true);
    EXPECT_TRUE(CGColorEqualToColor(drawnGlyphs(label).at(0).color, UIColor::whiteColor()->CGColor()));
}

TEST(CustomFontLabelTest, StyledTextWinsAndHighlightsOnlyItsUncolouredStretches)
{
    using namespace CustomFontLabelTest_cpp;
    const Ref<TextFont> ten = TextFont::fontWithCGFont_size(fixedWidth(), 10);
    const Ref<TextMutableAttributedString> s = TextMutableAttributedString::initWithString_attributes(
        "abcd", Value::dictionary({{TextFontAttributeName, Value(ten)}}));
    s->addAttribute_value_range(TextForegroundColorAttributeName, Value(UIColor::redColor()), NSMakeRange(2, 2));

    const Ref<CustomFontLabel> label =
        CustomFontLabel::initWithFrame_font_pointSize(CGRectMake(0, 0, 100, 40), fixedWidth(), 20);
    label->setText("zz");
    label->setZAttributedText(s);
    label->setNumberOfLines(0);
    s->addAttribute_value_range(TextForegroundColorAttributeName, Value(UIColor::greenColor()), NSMakeRange(0, 1));

    struct Case {
        bool highlighted;
        Ref<UIColor> first;
    };
    for (const Case& c : {Case{false, UIColor::blackColor()}, Case{true, UIColor::whiteColor()}}) {
        SCOPED_TRACE(c.highlighted);
        label->setHighlighted(c.highlighted);
        const std::vector<CGDrawingRecord> glyphs = drawnGlyphs(label);
        ASSERT_EQ(glyphs.size(), 2u);  // the styled text in its own 10-point font, not "zz"
        EXPECT_EQ(glyphs[0].fontSize, 10);
        EXPECT_TRUE(CGColorEqualToColor(glyphs[0].color, c.first->CGColor()));  // the label's copy: no green
        EXPECT_TRUE(CGColorEqualToColor(glyphs[1].color, UIColor::redColor()->CGColor()));
        EXPECT_EQ(baselineOf(glyphs[0]), 15 + 8);  // a 10-point line centred in 40
    }
}

TEST(CustomFontLabelTest, WrappedTextIsCentredOnAWholePoint)
{
    using namespace CustomFontLabelTest_cpp;
    const Ref<CustomFontLabel> label =
        CustomFontLabel::initWithFrame_font_pointSize(CGRectMake(0, 0, 30, 35), fixedWidth(), 10);
    label->setText("abc def");
    label->setNumberOfLines(0);
    label->setLineBreakMode(UILineBreakModeWordWrap);
    const std::vector<CGDrawingRecord> glyphs = drawnGlyphs(label);
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(baselineOf(glyphs[0]), 8 + 8);  // round((35 - 20) / 2) = 8
    EXPECT_EQ(baselineOf(glyphs[1]), 8 + 10 + 8);
}

TEST(CustomFontLabelTest, TextRectsLimitLinesThroughTheFont)
{
    using namespace CustomFontLabelTest_cpp;
    const Ref<TextFont> ten = TextFont::fontWithCGFont_size(fixedWidth(), 10);
    const CGRect bounds = CGRectMake(2, 3, 30, 100);
    struct Case {
        const char* name;
        bool font;
        bool styled;
        NSInteger lines;
        CGRect expected;
    };
    const std::vector<Case> cases = {
        {"one line of the font, cut to the bounds", true, false, 1, CGRectMake(2, 3, 30, 10)},
        {"two lines of the font", true, false, 2, CGRectMake(2, 3, 30, 20)},
        {"no limit", true, false, 0, CGRectMake(2, 3, 30, 40)},
        {"styled text alone keeps its lines", false, true, 2, CGRectMake(2, 3, 30, 40)},
        {"styled text under a font's limit", true, true, 2, CGRectMake(2, 3, 30, 20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ref<CustomFontLabel> label = CustomFontLabel::initWithFrame(CGRectMake(0, 0, 30, 100));
        label->setText("abc def ghi jkl");
        label->setLineBreakMode(UILineBreakModeWordWrap);
        if (c.font) {
            label->setZFont(ten);
        }
        if (c.styled) {
            label->setZAttributedText(TextAttributedString::initWithString_attributes(
                "abc def ghi jkl", Value::dictionary({{TextFontAttributeName, Value(ten)}})));
        }
        EXPECT_TRUE(CGRectEqualToRect(label->textRectForBounds_limitedToNumberOfLines(bounds, c.lines), c.expected));
    }
}

TEST(CustomFontLabelTest, FontPropertiesChangeTheFontOnlyWhenTheyDiffer)
{
    using namespace CustomFontLabelTest_cpp;
    const Ref<CustomFontLabel> label = CustomFontLabel::initWithFrame_font_pointSize(CGRectMake(0, 0, 30, 30), fixedWidth(), 10);
    const Ref<TextFont> before = label->textFont();
    label->setPointSize(10);
    label->setCGFont(fixedWidth());
    EXPECT_EQ(label->textFont(), before);
    label->setPointSize(14);
    EXPECT_EQ(label->pointSize(), 14);
    EXPECT_EQ(label->cgFont(), fixedWidth());
    EXPECT_FALSE(CustomFontLabel::initWithFrame_fontName_pointSize(CGRectMake(0, 0, 1, 1), "NoSuchFontAnywhere", 10)->textFont());
}
