// Paragraph settings in the framesetter (indents, alignment, spacing, wrapping, clipping and the three
// truncations), the label's inherited paragraph style, addresses and dates found and reported to the
// delegate, and the constructors and style modifiers of styled strings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FontFixtures.h"
#include "platform/foundation/NSLog.h"
#include "platform/graphics/CTFramesetter.h"
#include "platform/uikit/UITouch.h"
#include "widgets/AttributedLabel.h"
#include "widgets/AttributedStringCategories.h"
#include "widgets/CustomFontManager.h"
#include "widgets/TextFont.h"

namespace {
namespace AttributedTextStyleTest_cpp {

// Ten points a character, lines ten points high (ascent 8, descent 2).
Ref<TextFont> fixedWidth(float size = 10)
{
    static const CGFontRef font = CGFont::createWithData(FontFixtures::fixedWidthFontFile());
    return TextFont::fontWithCGFont_size(font, size);
}

std::shared_ptr<CTFramesetter> setter(const std::u16string& text, const std::vector<CTParagraphStyleSetting>& settings)
{
    const Ref<TextFont> font = fixedWidth();
    return CTFramesetter::create(text, {{0, text.size(), font->cgFont(), 10, CTParagraphStyle::create(settings)}});
}

std::vector<CGGlyph> glyphs(const CTTextLine& line)
{
    std::vector<CGGlyph> all;
    for (const CTGlyphRun& run : line.runs) {
        all.insert(all.end(), run.glyphs.begin(), run.glyphs.end());
    }
    return all;
}

// The fixture font maps printable ASCII c to glyph c - 31 and "…" to its own glyph.
std::vector<CGGlyph> glyphsOf(const std::string& shown)
{
    std::vector<CGGlyph> out;
    for (char c : shown) {
        out.push_back(c == '~' ? FontFixtures::kFixedWidthEllipsisGlyph : CGGlyph(c - 31));
    }
    return out;
}

class Recorder : public AttributedLabelDelegate {
public:
    bool answersTimeZones = false;
    std::vector<std::string> calls;
    bool attributedLabel_didSelectLinkWithURL(AttributedLabel*, const std::string& url) override
    {
        calls.push_back("url " + url);
        return true;
    }
    bool attributedLabel_didSelectLinkWithAddress(AttributedLabel*, const Value& components) override
    {
        calls.push_back("address " + components["Street"].stringValue());
        return true;
    }
    bool attributedLabel_didSelectLinkWithPhoneNumber(AttributedLabel*, const std::string& number) override
    {
        calls.push_back("phone " + number);
        return true;
    }
    bool attributedLabel_didSelectLinkWithDate(AttributedLabel*, NSDate date) override
    {
        calls.push_back("date " + std::to_string(int64_t(date.timeIntervalSince1970())));
        return true;
    }
    bool attributedLabel_didSelectLinkWithDate_timeZone_duration(AttributedLabel*, NSDate date, const std::string& zone,
                                                                 double duration) override
    {
        if (!answersTimeZones) {
            return false;
        }
        calls.push_back("date " + std::to_string(int64_t(date.timeIntervalSince1970())) + " " + zone + " " +
                        std::to_string(int(duration)));
        return true;
    }
};

void tap(const Ref<AttributedLabel>& label, CGPoint point)
{
    // The label is at the origin of no window, so window and label coordinates agree.
    const auto touch = std::make_shared<UITouch>();
    touch->setView(label);
    touch->moveTo(point);
    label->touchesBegan_withEvent(UITouchSet{{touch}}, std::make_shared<UIEvent>());
}

}  // namespace AttributedTextStyleTest_cpp
}  // namespace

TEST(AttributedTextStyleTest, ParagraphSettingsBreakIndentAlignAndCutLines)
{
    using namespace AttributedTextStyleTest_cpp;
    struct Case {
        const char* name;
        std::vector<CTParagraphStyleSetting> settings;
        CGFloat width;
        std::vector<NSRange> lines;
        std::vector<CGFloat> x;
        std::vector<std::string> shown;  // "~" is the ellipsis
    };
    const std::vector<Case> cases = {
        {"no settings: left, word wrapped", {}, 100, {{0, 9}}, {0}, {"abcd efgh"}},
        {"centred", {{kCTParagraphStyleSpecifierAlignment, kCTCenterTextAlignment}}, 100, {{0, 9}}, {5}, {"abcd efgh"}},
        {"right", {{kCTParagraphStyleSpecifierAlignment, kCTRightTextAlignment}}, 100, {{0, 9}}, {10}, {"abcd efgh"}},
        {"first line and head indents",
         {{kCTParagraphStyleSpecifierFirstLineHeadIndent, 20}, {kCTParagraphStyleSpecifierHeadIndent, 10}},
         60, {{0, 5}, {5, 4}}, {20, 10}, {"abcd", "efgh"}},
        {"tail indent from the trailing edge", {{kCTParagraphStyleSpecifierTailIndent, -20}}, 100, {{0, 5}, {5, 4}}, {0, 0},
         {"abcd", "efgh"}},
        {"tail indent from the leading edge", {{kCTParagraphStyleSpecifierTailIndent, 50}}, 100, {{0, 5}, {5, 4}}, {0, 0},
         {"abcd", "efgh"}},
        {"character wrapping", {{kCTParagraphStyleSpecifierLineBreakMode, kCTLineBreakByCharWrapping}}, 65,
         {{0, 6}, {6, 3}}, {0, 0}, {"abcd e", "fgh"}},
        {"clipping keeps one line", {{kCTParagraphStyleSpecifierLineBreakMode, kCTLineBreakByClipping}}, 45, {{0, 9}},
         {0}, {"abcd"}},
        {"tail truncation", {{kCTParagraphStyleSpecifierLineBreakMode, kCTLineBreakByTruncatingTail}}, 45, {{0, 9}}, {0},
         {"abc~"}},
        {"head truncation", {{kCTParagraphStyleSpecifierLineBreakMode, kCTLineBreakByTruncatingHead}}, 45, {{0, 9}}, {0},
         {"~fgh"}},
        {"middle truncation", {{kCTParagraphStyleSpecifierLineBreakMode, kCTLineBreakByTruncatingMiddle}}, 55, {{0, 9}},
         {0}, {"ab~gh"}},
        {"a truncated line that fits is whole", {{kCTParagraphStyleSpecifierLineBreakMode, kCTLineBreakByTruncatingTail}},
         100, {{0, 9}}, {0}, {"abcd efgh"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CTTextFrame frame = setter(u"abcd efgh", c.settings)->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, c.width, 100));
        ASSERT_EQ(frame.lines.size(), c.lines.size());
        for (size_t l = 0; l < frame.lines.size(); ++l) {
            EXPECT_EQ(frame.lines[l].range.location, c.lines[l].location);
            EXPECT_EQ(frame.lines[l].range.length, c.lines[l].length);
            EXPECT_EQ(frame.lineOrigins[l].x, c.x[l]);
            EXPECT_EQ(glyphs(frame.lines[l]), glyphsOf(c.shown[l]));
        }
    }
}

TEST(AttributedTextStyleTest, JustifiedLinesFillTheRoomExceptEachParagraphsLast)
{
    using namespace AttributedTextStyleTest_cpp;
    const auto xs = [](const CTTextLine& line) {
        std::vector<CGFloat> all;
        for (const CTGlyphRun& run : line.runs) {
            for (const CGPoint& p : run.positions) all.push_back(p.x);
        }
        return all;
    };
    const CTParagraphStyleSetting justified{kCTParagraphStyleSpecifierAlignment, kCTJustifiedTextAlignment};

    // With spaces the extra room goes into them; a line ended by the paragraph's end stays natural.
    CTTextFrame frame = setter(u"ab cd efgh ij\nkl", {justified})->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, 80, 100));
    ASSERT_EQ(frame.lines.size(), 3u);
    EXPECT_EQ(xs(frame.lines[0]), (std::vector<CGFloat>{0, 10, 20, 60, 70}));  // "ab" space "cd"
    EXPECT_EQ(frame.lines[0].width, 80);
    EXPECT_EQ(xs(frame.lines[1]), (std::vector<CGFloat>{0, 10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(xs(frame.lines[2]), (std::vector<CGFloat>{0, 10}));

    // Without spaces (as in Chinese) it goes between the characters.
    frame = setter(u"abcdefg", {justified, {kCTParagraphStyleSpecifierLineBreakMode, kCTLineBreakByCharWrapping}})
                ->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, 45, 100));
    ASSERT_EQ(frame.lines.size(), 2u);
    const std::vector<CGFloat> first = xs(frame.lines[0]);
    ASSERT_EQ(first.size(), 4u);
    for (size_t g = 0; g < first.size(); ++g) {
        EXPECT_NEAR(first[g], g * (10 + 5.0 / 3), 1e-9);
    }
    EXPECT_EQ(xs(frame.lines[1]), (std::vector<CGFloat>{0, 10, 20}));
}

TEST(AttributedTextStyleTest, ParagraphSettingsSpaceTheLines)
{
    using namespace AttributedTextStyleTest_cpp;
    struct Case {
        const char* name;
        std::vector<CTParagraphStyleSetting> settings;
        std::vector<CGFloat> baselines;  // from the top of a 100-point frame
        CGFloat height;                  // suggested for the whole text
    };
    // "ab\ncd ef" at 30 points wide: "ab", then "cd " and "ef" in the second paragraph.
    const std::vector<Case> cases = {
        {"plain", {}, {8, 18, 28}, 30},
        {"line spacing between the lines of a paragraph", {{kCTParagraphStyleSpecifierLineSpacing, 5}}, {8, 18, 33}, 35},
        {"space before each paragraph", {{kCTParagraphStyleSpecifierParagraphSpacingBefore, 3}}, {11, 24, 34}, 36},
        {"space after a paragraph", {{kCTParagraphStyleSpecifierParagraphSpacing, 4}}, {8, 22, 32}, 34},
        {"doubled line height", {{kCTParagraphStyleSpecifierLineHeightMultiple, 2}}, {18, 38, 58}, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto s = setter(u"ab\ncd ef", c.settings);
        const CTTextFrame frame = s->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, 30, 100));
        ASSERT_EQ(frame.lines.size(), 3u);
        for (size_t l = 0; l < 3; ++l) {
            EXPECT_EQ(100 - frame.lineOrigins[l].y, c.baselines[l]);
        }
        EXPECT_EQ(s->suggestFrameSizeWithConstraints(NSMakeRange(0, 0), CGSizeMake(30, 0), nullptr).height, c.height);
    }
    // Settings later in the list win; the list is kept as given.
    const auto style = CTParagraphStyle::create(
        {{kCTParagraphStyleSpecifierAlignment, kCTRightTextAlignment}, {kCTParagraphStyleSpecifierAlignment, 9}});
    EXPECT_EQ(style->alignment, kCTNaturalTextAlignment);
    EXPECT_EQ(style->settings().size(), 2u);
}

TEST(AttributedTextStyleTest, PlainTextInheritsTheLabelsParagraphSettings)
{
    using namespace AttributedTextStyleTest_cpp;
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 100, 40));
    label->setTextAlignment(UITextAlignmentCenter);
    label->setLeading(2);
    label->setLineHeightMultiple(1.5);
    label->setFirstLineIndent(6);
    label->setTextInsets(UIEdgeInsets{1, 4, 3, -5});
    label->setText("ab");
    const auto style =
        label->attributedText()->attribute_atIndex_effectiveRange(kCTParagraphStyleAttributeName, 0, nullptr).object<CTParagraphStyle>();
    ASSERT_TRUE(style);
    const std::vector<std::pair<CTParagraphStyleSpecifier, CGFloat>> expected = {
        {kCTParagraphStyleSpecifierAlignment, kCTCenterTextAlignment},
        {kCTParagraphStyleSpecifierLineBreakMode, kCTLineBreakByWordWrapping},
        {kCTParagraphStyleSpecifierLineSpacing, 2},
        {kCTParagraphStyleSpecifierLineHeightMultiple, 1.5},
        {kCTParagraphStyleSpecifierFirstLineHeadIndent, 10},
        {kCTParagraphStyleSpecifierParagraphSpacingBefore, 1},
        {kCTParagraphStyleSpecifierParagraphSpacing, 3},
        {kCTParagraphStyleSpecifierHeadIndent, 4},
        {kCTParagraphStyleSpecifierTailIndent, -5},
    };
    ASSERT_EQ(style->settings().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(style->settings()[i].spec, expected[i].first) << i;
        EXPECT_EQ(style->settings()[i].value, expected[i].second) << i;
    }
    // The block may restyle what the label gave.
    label->setText_afterInheritingLabelAttributesAndConfiguringWithBlock(
        "abc", [](const Ref<TextMutableAttributedString>& text) {
            AttributedStyleModifiers::setTextAlignment_lineBreakMode(text, kCTRightTextAlignment, kCTLineBreakByClipping);
            return text;
        });
    const auto restyled =
        label->attributedText()->attribute_atIndex_effectiveRange(kCTParagraphStyleAttributeName, 2, nullptr).object<CTParagraphStyle>();
    ASSERT_TRUE(restyled);
    EXPECT_EQ(restyled->settings().size(), 2u);
    EXPECT_EQ(restyled->alignment, kCTRightTextAlignment);
    EXPECT_EQ(label->text(), "abc");
}

TEST(AttributedTextStyleTest, DetectorsFindAddressesAndDatesButNeverADateAsAPhoneNumber)
{
    struct Case {
        const char* text;
        NSUInteger types;
        std::vector<std::pair<uint64_t, NSRange>> links;
    };
    const std::vector<Case> cases = {
        {"见面 2013-01-05 好吗", 8, {{NSTextCheckingTypeDate, {3, 10}}}},
        {"2013年1月5日 14:30 出发", 8, {{NSTextCheckingTypeDate, {0, 15}}}},
        {"on 2013/1/5, ok", 8, {{NSTextCheckingTypeDate, {3, 8}}}},
        {"2013-01-05 only phones wanted", 1, {}},
        {"2013-13-05 is no date", 8, {}},
        {"我住在杭州市西湖区文三路90号附近", 4, {{NSTextCheckingTypeAddress, {3, 12}}}},
        {"at 90 Wensan Road, Hangzhou", 4, {{NSTextCheckingTypeAddress, {3, 14}}}},
        {"call 13800138000 on 2013-01-05", 1 | 8,
         {{NSTextCheckingTypePhoneNumber, {5, 11}}, {NSTextCheckingTypeDate, {20, 10}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 300, 40));
        label->setDataDetectorTypes(c.types);
        label->setText(c.text);
        ASSERT_EQ(label->links().size(), c.links.size());
        for (size_t i = 0; i < c.links.size(); ++i) {
            EXPECT_EQ(label->links()[i]->resultType, c.links[i].first);
            EXPECT_EQ(label->links()[i]->range.location, c.links[i].second.location);
            EXPECT_EQ(label->links()[i]->range.length, c.links[i].second.length);
        }
    }
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 300, 40));
    label->setDataDetectorTypes(4 | 8);
    label->setText("2013年1月5日 14:30 在杭州市西湖区文三路90号");
    ASSERT_EQ(label->links().size(), 2u);
    EXPECT_EQ(label->links()[0]->date.timeIntervalSince1970(), 1357396200);  // 2013-01-05 14:30 UTC
    EXPECT_EQ(label->links()[1]->addressComponents["Street"].stringValue(), "杭州市西湖区文三路90号");
    EXPECT_EQ(label->links()[1]->addressComponents["City"].stringValue(), "杭州市");
}

TEST(AttributedTextStyleTest, ATapReportsEachKindOfLinkToItsOwnDelegateMethod)
{
    using namespace AttributedTextStyleTest_cpp;
    // One 10-point line, ten points a character: "u p a d z" at x 0, 20, 40, 60, 80.
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, 200, 10));
    label->setAttributedTextAndLinks(
        TextAttributedString::initWithString_attributes("u p a d z", Value::dictionary({{kCTFontAttributeName, Value(fixedWidth())}})));
    label->addLinkToURL_withRange("http://example.com", NSMakeRange(0, 1));
    label->addLinkToPhoneNumber_withRange("5551234", NSMakeRange(2, 1));
    label->addLinkToAddress_withRange(Value::dictionary({{"Street", Value("文三路90号")}}), NSMakeRange(4, 1));
    label->addLinkToDate_withRange(NSDate::dateWithTimeIntervalSince1970(100), NSMakeRange(6, 1));
    label->addLinkToDate_timeZone_duration_withRange(NSDate::dateWithTimeIntervalSince1970(200), "Asia/Shanghai", 3600,
                                                     NSMakeRange(8, 1));
    const auto recorder = std::make_shared<Recorder>();
    label->setDelegate(recorder);
    for (const CGFloat x : {2, 22, 42, 62, 82}) {
        tap(label, CGPointMake(x, 5));
    }
    recorder->answersTimeZones = true;
    tap(label, CGPointMake(82, 5));
    const std::vector<std::string> expected = {"url http://example.com", "phone 5551234", "address 文三路90号", "date 100",
                                               "date 200", "date 200 Asia/Shanghai 3600"};
    EXPECT_EQ(recorder->calls, expected);
}

TEST(AttributedTextStyleTest, ConstructorsMeasureWithOnePointMoreRoundedDown)
{
    using namespace AttributedTextStyleTest_cpp;
    EXPECT_EQ(AttributedConstructors::attributedStringWithString(nullptr), nullptr);
    EXPECT_EQ(AttributedConstructors::attributedStringWithAttributedString(nullptr), nullptr);
    const std::string plain = "abc";
    EXPECT_EQ(AttributedConstructors::attributedStringWithString(&plain)->string(), "abc");
    // 45 points at size 15 in three characters: 45 + 1 wide, 15 + 1 high.
    const auto text = TextAttributedString::initWithString_attributes(
        "abc", Value::dictionary({{kCTFontAttributeName, Value(fixedWidth(15))}}));
    NSRange fit{};
    const CGSize size = AttributedConstructors::sizeConstrainedToSize_fitRange(text, CGSizeMake(1000, 1000), &fit);
    EXPECT_EQ(size.width, 46);
    EXPECT_EQ(size.height, 16);
    EXPECT_EQ(fit.length, 3u);
    EXPECT_EQ(AttributedConstructors::sizeConstrainedToSize(text, CGSizeMake(30, 0)).width, 31);  // two lines
}

TEST(AttributedTextStyleTest, ModifiersSetFontsColoursUnderlinesAndBold)
{
    using namespace AttributedTextStyleTest_cpp;
    const auto text = TextMutableAttributedString::initWithString("abcdef");
    const auto fontAt = [&](NSUInteger i) {
        return text->attribute_atIndex_effectiveRange(kCTFontAttributeName, i, nullptr).object<TextFont>();
    };
    // A font the kit cannot make leaves the text as it was.
    AttributedStyleModifiers::setFontName_size(text, "NoSuchFont-Anywhere", 12);
    EXPECT_FALSE(fontAt(0));
    AttributedStyleModifiers::setFontName_size(text, "Helvetica", 12);
    ASSERT_TRUE(fontAt(5));
    EXPECT_EQ(fontAt(5)->pointSize(), 12);

    AttributedStyleModifiers::setTextColor_range(text, UIColor::redColor(), NSMakeRange(1, 2));
    AttributedStyleModifiers::setTextIsUnderlined_range(text, true, NSMakeRange(2, 2));
    AttributedStyleModifiers::setTextColor_range(text, UIColor::redColor(), NSMakeRange(5, 9));  // past the end: nothing
    EXPECT_TRUE(text->attribute_atIndex_effectiveRange(kCTForegroundColorAttributeName, 2, nullptr).object<UIColor>());
    EXPECT_FALSE(text->attribute_atIndex_effectiveRange(kCTForegroundColorAttributeName, 5, nullptr).object<UIColor>());
    EXPECT_EQ(text->attribute_atIndex_effectiveRange(kCTUnderlineStyleAttributeName, 3, nullptr).intValue(), 1);

    // Bold over the middle: the family's bold face there, the regular one around it.
    AttributedStyleModifiers::setTextBold_range(text, true, NSMakeRange(2, 2));
    ASSERT_TRUE(fontAt(2) && fontAt(1));
    EXPECT_NE(fontAt(2)->fontName().find("Bold"), std::string::npos);
    EXPECT_EQ(fontAt(2)->pointSize(), 12);
    EXPECT_EQ(fontAt(1)->fontName().find("Bold"), std::string::npos);
    AttributedStyleModifiers::setTextBold_range(text, false, NSMakeRange(0, 6));
    EXPECT_EQ(fontAt(2)->fontName().find("Bold"), std::string::npos);

    // A family without a bold face keeps its font and says so.
    const auto chinese = TextMutableAttributedString::initWithString("你好");
    AttributedStyleModifiers::setFontName_size(chinese, "STHeitiSC-Light", 12);
    const Ref<TextFont> before = chinese->attribute_atIndex_effectiveRange(kCTFontAttributeName, 0, nullptr).object<TextFont>();
    ASSERT_TRUE(before);
    NSLogCapture log(true);
    AttributedStyleModifiers::setTextBold_range(chinese, true, NSMakeRange(0, 2));
    EXPECT_EQ(chinese->attribute_atIndex_effectiveRange(kCTFontAttributeName, 0, nullptr).object<TextFont>(), before);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("[AttributedLabel] Warning: can't find a bold font variant for font"), std::string::npos);

    AttributedStyleModifiers::setFontFamily_size_bold_italic_range(text, before->familyName(), 14, true, false, NSMakeRange(0, 1));
    EXPECT_NE(fontAt(0)->pointSize(), 14);  // no bold face in that family: unchanged
}
