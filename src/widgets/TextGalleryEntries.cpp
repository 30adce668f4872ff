#include "widgets/TextGalleryEntries.h"

#include <string>

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/AttributedLabel.h"
#include "widgets/CustomFontLabel.h"
#include "widgets/CustomFontManager.h"
#include "widgets/TextAttributedString.h"

namespace {
namespace TextGalleryEntries_cpp {

Ref<TextFont> bundleFont(const std::string& name, float size)
{
    return CustomFontManager::sharedManager()->textFontWithName_pointSize(name, size);
}

Ref<CustomFontLabel> fontLabel(const Ref<UIWindow>& window, CGRect frame, const std::string& fontName, float size,
                               const std::string& text)
{
    const Ref<CustomFontLabel> label = CustomFontLabel::initWithFrame_textFont(frame, bundleFont(fontName, size));
    label->setText(text);
    label->setBackgroundColor(UIColor::colorWithWhite_alpha(0.93, 1));
    window->addSubview(label);
    return label;
}

// Labels in the bundle's fonts: one line shrunk to fit, wrapped text cut with an ellipsis, Chinese
// text, and a styled string of several fonts, colours and decorations.
UIGalleryEntry labelsEntry()
{
    return {"font-label-shrinking-truncation-chinese", CGSizeMake(320, 300), [](const Ref<UIWindow>& window) {
                window->setBackgroundColor(UIColor::whiteColor());
                const Ref<CustomFontLabel> shrunk =
                    fontLabel(window, CGRectMake(10, 10, 300, 30), "Helvetica", 22,
                              "A long title that shrinks to fit its narrow label");
                shrunk->setAdjustsFontSizeToFitWidth(true);
                shrunk->setMinimumFontSize(9);

                const Ref<CustomFontLabel> plain = fontLabel(window, CGRectMake(10, 48, 300, 30), "Helvetica-Bold", 22,
                                                             "The same title left at its size");
                plain->setLineBreakMode(UILineBreakModeClip);

                const Ref<CustomFontLabel> cut = fontLabel(
                    window, CGRectMake(10, 86, 300, 56), "Helvetica", 15,
                    "Wrapped text in two lines at most: whatever does not fit in them ends with an ellipsis "
                    "on the second line, however long the rest is.");
                cut->setNumberOfLines(2);
                cut->setLineBreakMode(UILineBreakModeTailTruncation);

                const Ref<CustomFontLabel> chinese = fontLabel(
                    window, CGRectMake(10, 150, 300, 64), "STHeitiSC-Light", 16,
                    "今天拍了一段很有意思的短视频，快来看看吧！分享给你的朋友们，一起点赞评论。");
                chinese->setNumberOfLines(0);
                chinese->setLineBreakMode(UILineBreakModeCharacterWrap);
                chinese->setTextAlignment(UITextAlignmentCenter);

                const Ref<TextMutableAttributedString> styled = TextMutableAttributedString::create();
                const auto append = [&](const std::string& text, const Value& attributes) {
                    styled->appendAttributedString(*TextAttributedString::initWithString_attributes(text, attributes));
                };
                append("Bold ", Value::dictionary({{TextFontAttributeName, Value(bundleFont("Helvetica-Bold", 18))}}));
                append("red ", Value::dictionary({{TextFontAttributeName, Value(bundleFont("Helvetica", 18))},
                                                  {TextForegroundColorAttributeName, Value(UIColor::redColor())}}));
                append("underlined ", Value::dictionary({{TextFontAttributeName, Value(bundleFont("Helvetica", 14))},
                                                         {TextUnderlineStyleAttributeName, Value(1)},
                                                         {TextForegroundColorAttributeName, Value(UIColor::blueColor())}}));
                append("struck ", Value::dictionary({{TextFontAttributeName, Value(bundleFont("Helvetica", 14))},
                                                     {TextStrikethroughStyleAttributeName, Value(1)}}));
                append("高亮", Value::dictionary({{TextFontAttributeName, Value(bundleFont("STHeitiSC-Light", 18))},
                                                  {TextBackgroundColorAttributeName, Value(UIColor::yellowColor())}}));
                const Ref<CustomFontLabel> runs = CustomFontLabel::initWithFrame(CGRectMake(10, 222, 300, 64));
                runs->setBackgroundColor(UIColor::colorWithWhite_alpha(0.93, 1));
                runs->setNumberOfLines(0);
                runs->setLineBreakMode(UILineBreakModeWordWrap);
                runs->setZAttributedText(styled);
                window->addSubview(runs);
            }};
}

// Attributed labels: links found in the text and one added by hand, Chinese and Latin mixed, and a
// long text shrunk into two lines.
UIGalleryEntry attributedEntry()
{
    return {"attributed-label-links-chinese-shrinking", CGSizeMake(320, 200), [](const Ref<UIWindow>& window) {
                window->setBackgroundColor(UIColor::whiteColor());
                const auto styled = [](const std::string& text, const std::string& font, float size) {
                    return TextAttributedString::initWithString_attributes(
                        text, Value::dictionary({{kCTFontAttributeName, Value(bundleFont(font, size))}}));
                };
                const Ref<AttributedLabel> links = AttributedLabel::initWithFrame(CGRectMake(10, 10, 300, 90));
                links->setBackgroundColor(UIColor::colorWithWhite_alpha(0.93, 1));
                links->setNumberOfLines(0);
                links->setDataDetectorTypes(1 | 2);
                links->setAttributedTextAndLinks(styled(
                    "看看我的新视频 www.example.com/v/42 ，喜欢就打电话 010-6552-1234 告诉我！Tap @ombri for more.",
                    "STHeitiSC-Light", 16));
                links->addLinkToURL_withRange("http://example.com/ombri", NSMakeRange(59, 6));
                window->addSubview(links);

                const Ref<AttributedLabel> shrunk = AttributedLabel::initWithFrame(CGRectMake(10, 110, 300, 80));
                shrunk->setBackgroundColor(UIColor::colorWithWhite_alpha(0.93, 1));
                shrunk->setNumberOfLines(2);
                shrunk->setAdjustsFontSizeToFitWidth(true);
                shrunk->setMinimumFontSize(8);
                shrunk->setAttributedTextAndLinks(styled(
                    "A long caption shrunk so that it fits in two lines of this label, however much the "
                    "writer had to say about the clip.",
                    "Helvetica", 24));
                window->addSubview(shrunk);
                UIGallery::keep(links);
            }};
}

}  // namespace TextGalleryEntries_cpp
}  // namespace

void registerTextGalleryEntries()
{
    UIGallery::add(TextGalleryEntries_cpp::labelsEntry());
    UIGallery::add(TextGalleryEntries_cpp::attributedEntry());
}
