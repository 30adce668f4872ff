// The attributed label: link hit tests (one past a link's end included), interaction rules, the kept
// framesetter, shrinking (two wrapped lines counted wider) that keeps the caller's links, and links
// found in new text.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "FontFixtures.h"
#include "LabelDrawing.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CTFramesetter.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "widgets/AttributedLabel.h"
#include "widgets/TextFont.h"

namespace {
namespace AttributedLabelTest_cpp {

Ref<TextFont> fixedWidth(float size)
{
    static const CGFontRef font = CGFont::createWithData(FontFixtures::fixedWidthFontFile());
    return TextFont::fontWithCGFont_size(font, size);
}

Ref<TextAttributedString> fixedText(const std::string& text, float size = 10)
{
    return TextAttributedString::initWithString_attributes(
        text, Value::dictionary({{kCTFontAttributeName, Value(fixedWidth(size))}}));
}

// The font sizes of the glyph runs one draw of the label puts down.
std::vector<double> drawnSizes(const Ref<AttributedLabel>& label)
{
    std::vector<double> sizes;
    for (const CGDrawingRecord& r : LabelDrawing::drawnGlyphRecords(label)) {
        sizes.push_back(r.fontSize);
    }
    return sizes;
}

}  // namespace AttributedLabelTest_cpp
}  // namespace

TEST(AttributedLabelTest, LinksAreHitUpToOnePastTheirLastCharacter)
{
    using namespace AttributedLabelTest_cpp;
    // Ten points a character on one 10-point line: "abc" spans x 50..80.
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 200, 10));
    label->setAttributedTextAndLinks(fixedText("call abc now"));
    label->addLinkToURL_withRange("http://example.com/abc", NSMakeRange(5, 3));
    struct Case {
        const char* name;
        CGPoint point;
        bool link;
    };
    const std::vector<Case> cases = {
        {"before the link", {5, 5}, false},
        {"its first character", {52, 5}, true},
        {"the right half of its last character", {78, 5}, true},
        {"the left half of the character after it", {83, 5}, true},
        {"further on", {96, 5}, false},
        {"outside the bounds", {52, 15}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ref<TextCheckingResult> link = label->linkAtPoint(c.point);
        EXPECT_EQ(link != nullptr, c.link);
        if (link) {
            EXPECT_EQ(link->URL, "http://example.com/abc");
        }
    }
    EXPECT_EQ(label->characterIndexAtPoint(CGPointMake(52, 15)), NSNotFound);
    // An empty text has no line to ask.
    label->setAttributedTextAndLinks(fixedText(""));
    EXPECT_EQ(label->characterIndexAtPoint(CGPointMake(5, 5)), NSNotFound);
}

TEST(AttributedLabelTest, InteractionFollowsTheLinksUnlessTurnedOff)
{
    using namespace AttributedLabelTest_cpp;
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 200, 10));
    label->setAttributedTextAndLinks(fixedText("call abc now"));
    EXPECT_FALSE(label->isUserInteractionEnabled());
    EXPECT_FALSE(label->isExclusiveTouch());
    label->addLinkToPhoneNumber_withRange("5551234", NSMakeRange(0, 4));
    EXPECT_TRUE(label->isUserInteractionEnabled());
    EXPECT_TRUE(label->isExclusiveTouch());
    label->setUserInteractionEnabled(false);
    EXPECT_FALSE(label->isUserInteractionEnabled());
    EXPECT_TRUE(label->isExclusiveTouch());
}

TEST(AttributedLabelTest, TheSameTextKeepsItsFramesetter)
{
    using namespace AttributedLabelTest_cpp;
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 200, 10));
    const Ref<TextFont> font = fixedWidth(10);
    const Value attributes = Value::dictionary({{kCTFontAttributeName, Value(font)}});
    label->setAttributedText(TextAttributedString::initWithString_attributes("abc", attributes));
    const auto first = label->framesetter();
    label->setAttributedText(TextAttributedString::initWithString_attributes("abc", attributes));
    EXPECT_EQ(label->framesetter(), first);
    label->setAttributedText(TextAttributedString::initWithString_attributes("abd", attributes));
    EXPECT_NE(label->framesetter(), first);
}

TEST(AttributedLabelTest, ShrinkingCountsTwoWrappedLinesWiderAndKeepsTheLinks)
{
    using namespace AttributedLabelTest_cpp;
    struct Case {
        const char* name;
        size_t characters;  // ten points each, in two lines of 100 points
        double size;
    };
    const std::vector<Case> cases = {
        {"170 points count 196.5: no shrinking", 17, 10},
        {"180 points count 208.0: shrunk to floor(10 x 200 / 208.0)", 18, 9},
        {"300 points count 346.7: shrunk to 5", 30, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 100, 40));
        label->setNumberOfLines(2);
        label->setAdjustsFontSizeToFitWidth(true);
        const std::string text = std::string(c.characters, 'a');
        label->setAttributedTextAndLinks(fixedText(text));
        label->addLinkToURL_withRange("http://example.com", NSMakeRange(0, 3));
        const Ref<TextAttributedString> before = label->attributedText();
        for (int draw = 0; draw < 2; ++draw) {
            label->layer()->displayIfNeeded();
            const std::vector<double> sizes = drawnSizes(label);
            // Swapping the scaled text in and out asks for no further draw (which would never end).
            EXPECT_FALSE(label->layer()->needsDisplay());
            ASSERT_FALSE(sizes.empty());
            for (const double s : sizes) {
                EXPECT_EQ(s, c.size);
            }
            // The text and the caller's link are as before the draw.
            ASSERT_EQ(label->links().size(), 1u);
            EXPECT_EQ(label->links()[0]->URL, "http://example.com");
            EXPECT_TRUE(label->attributedText()->isEqualToAttributedString(before.get()));
        }
    }
}

TEST(AttributedLabelTest, DetectorsFindLinksInEachNewText)
{
    using namespace AttributedLabelTest_cpp;
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 300, 40));
    label->setDataDetectorTypes(1 | 2);
    label->setText("call 555-123-4567 or see www.example.com. Thanks");
    ASSERT_EQ(label->links().size(), 2u);
    EXPECT_EQ(label->links()[0]->resultType, NSTextCheckingTypePhoneNumber);
    EXPECT_EQ(label->links()[0]->range.location, 5u);
    EXPECT_EQ(label->links()[0]->range.length, 12u);
    EXPECT_EQ(label->links()[1]->URL, "http://www.example.com");
    EXPECT_EQ(label->links()[1]->range.length, 15u);
    EXPECT_EQ(label->text(), "call 555-123-4567 or see www.example.com. Thanks");
    // A new text starts over: a link the caller added goes with the old text.
    label->addLinkToURL_withRange("http://other", NSMakeRange(0, 4));
    label->setText("no links here");
    EXPECT_TRUE(label->links().empty());
    EXPECT_EQ(NSTextCheckingTypeFromUIDataDetectorType(1 | 2 | 4 | 8 | 16),
              NSTextCheckingTypePhoneNumber | NSTextCheckingTypeLink | NSTextCheckingTypeAddress | NSTextCheckingTypeDate);
}

TEST(AttributedLabelTest, AChineseParagraphTakesTheLinesOfItsFontAtTheLabelsWidth)
{
    // Mixed Chinese and Latin text in the bundle's Chinese font: the label breaks it into the lines the
    // framesetter gives that face at the label's width, so its height is those lines' height.
    std::u16string text;
    const std::u16string pieces[] = {u"今天在西湖边拍了一段 short video，", u"天气很好 (sunny, 24°C)，",
                                     u"朋友们都说 amazing！", u"下次一起去 Hangzhou 吧。"};
    for (size_t i = 0; text.size() < 600; ++i) {
        text += pieces[i % std::size(pieces)];
    }
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 300, 2000));
    label->setFont(UIFont::fontWithName_size("STHeitiSC-Light", 15));
    label->setNumberOfLines(0);
    label->setText(NSString::fromUTF16(text));
    const CGFontRef face = CGFont::createWithFile(NSBundle::defaultMainBundlePath() + "/STHeitiSC-Light.ttf");
    ASSERT_TRUE(face);
    const auto direct = CTFramesetter::create(text, {{0, text.size(), face, 15}});
    const CTTextFrame expected = direct->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, 300, 1e6));
    const CTTextFrame laid = label->framesetter()->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, 300, 1e6));
    ASSERT_EQ(laid.lines.size(), expected.lines.size());
    for (size_t i = 0; i < laid.lines.size(); ++i) {
        EXPECT_EQ(laid.lines[i].range.location, expected.lines[i].range.location) << i;
    }
}
