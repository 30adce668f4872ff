#pragma once
// A label that lays out styled text with the framesetter and keeps links: ranges of the text that it
// underlines and colours and that report a tap to its delegate. Links are added by the caller or found
// in each new text by the data detectors (web addresses, phone numbers, addresses and dates).
//
// The styled text is a TextAttributedString whose runs carry the keys below: a TextFont, a UIColor, an
// underline number and a CTParagraphStyle. Plain text inherits the label's font, colour and paragraph
// settings. Shrinking to fit sets a scaled copy of the text for one draw and puts the text and its
// links back as they were, so links added by the caller survive any number of draws.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/graphics/CTFramesetter.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UILabel.h"
#include "widgets/TextAttributedString.h"

inline constexpr char kCTFontAttributeName[] = "kCTFontAttributeName";                      // a TextFont
inline constexpr char kCTForegroundColorAttributeName[] = "kCTForegroundColorAttributeName";  // a UIColor
inline constexpr char kCTUnderlineStyleAttributeName[] = "kCTUnderlineStyleAttributeName";    // a number
inline constexpr char kCTParagraphStyleAttributeName[] = "kCTParagraphStyleAttributeName";    // a CTParagraphStyle

// Checking types of found and added links (the platform's bits).
inline constexpr uint64_t NSTextCheckingTypeDate = 1ULL << 3;
inline constexpr uint64_t NSTextCheckingTypeAddress = 1ULL << 4;
inline constexpr uint64_t NSTextCheckingTypeLink = 1ULL << 5;
inline constexpr uint64_t NSTextCheckingTypePhoneNumber = 1ULL << 11;

// Data-detector types (1 phone number, 2 link, 4 address, 8 calendar event) as checking types.
uint64_t NSTextCheckingTypeFromUIDataDetectorType(NSUInteger dataDetectorTypes);

class TextCheckingResult : public NSObject {
public:
    uint64_t resultType = 0;
    NSRange range{};
    std::string URL;          // links
    std::string phoneNumber;  // phone numbers
    Value addressComponents;  // addresses: a dictionary ("Street", "City", ...)
    NSDate date{};            // dates
    std::string timeZone;     // dates: a zone name, or "" for none
    double duration = 0;      // dates, in seconds
};

// Every method is optional; a link is reported only to the method of its kind that the delegate
// overrides (the base versions say they were not answered).
class AttributedLabel;
class AttributedLabelDelegate {
public:
    virtual ~AttributedLabelDelegate() = default;
    virtual bool attributedLabel_didSelectLinkWithURL(AttributedLabel*, const std::string& url) { return false; }
    virtual bool attributedLabel_didSelectLinkWithAddress(AttributedLabel*, const Value& addressComponents) { return false; }
    virtual bool attributedLabel_didSelectLinkWithPhoneNumber(AttributedLabel*, const std::string& phoneNumber) { return false; }
    virtual bool attributedLabel_didSelectLinkWithDate(AttributedLabel*, NSDate date) { return false; }
    virtual bool attributedLabel_didSelectLinkWithDate_timeZone_duration(AttributedLabel*, NSDate date, const std::string& timeZone,
                                                                         double duration)
    {
        return false;
    }
};

// The label's font, colour and paragraph settings as text attributes (what plain text inherits).
Value NSAttributedStringAttributesFromLabel(AttributedLabel* label);
// A copy whose every font is scaled by `scale`, floored, and no smaller than `minimumFontSize`.
Ref<TextAttributedString> NSAttributedStringByScalingFontSize(const Ref<const TextAttributedString>& text, double scale,
                                                               double minimumFontSize);
CTTextAlignment CTTextAlignmentFromUITextAlignment(NSInteger alignment);
CTLineBreakMode CTLineBreakModeFromUILineBreakMode(NSInteger mode);
// The text kit's styled text as the framesetter's style runs (fonts and paragraph styles).
std::vector<CTStyleRun> AttributedStyleRuns(const TextAttributedString& text);

class AttributedLabel : public UILabel {
public:
    static Ref<AttributedLabel> initWithFrame(CGRect frame) { return makeWithFrame<AttributedLabel>(frame); }

    // Plain text takes the label's font, colour and paragraph settings; links are found again from scratch.
    void setText(const std::string& text) override;
    // The text with the label's attributes, changed or replaced by the block (may be empty), then set.
    using ConfiguringBlock = std::function<Ref<TextMutableAttributedString>(const Ref<TextMutableAttributedString>&)>;
    void setText_afterInheritingLabelAttributesAndConfiguringWithBlock(const std::string& text, const ConfiguringBlock& block);
    void setAttributedTextAndLinks(const Ref<const TextAttributedString>& text);
    const Ref<TextAttributedString>& attributedText() const { return attributedText_; }
    // Keeps a copy and rebuilds the framesetter; the same text again changes nothing.
    void setAttributedText(const Ref<const TextAttributedString>& text);

    NSUInteger dataDetectorTypes() const { return dataDetectorTypes_; }
    void setDataDetectorTypes(NSUInteger types) { dataDetectorTypes_ = types; }
    const std::vector<Ref<TextCheckingResult>>& links() const { return links_; }
    void addLinkWithTextCheckingResult(const Ref<TextCheckingResult>& result);
    void addLinkToURL_withRange(const std::string& url, NSRange range);
    void addLinkToPhoneNumber_withRange(const std::string& phoneNumber, NSRange range);
    void addLinkToAddress_withRange(const Value& addressComponents, NSRange range);
    void addLinkToDate_withRange(NSDate date, NSRange range);
    void addLinkToDate_timeZone_duration_withRange(NSDate date, const std::string& timeZone, double duration, NSRange range);
    // Attributes given to each link's range; nil gives links no look of their own.
    const Value& linkAttributes() const { return linkAttributes_; }
    void setLinkAttributes(const Value& attributes) { linkAttributes_ = attributes; }

    // The first link whose range holds the index, counting the index one past its last character.
    Ref<TextCheckingResult> linkAtCharacterIndex(NSUInteger index) const;
    Ref<TextCheckingResult> linkAtPoint(CGPoint point);
    // NSNotFound outside the text rectangle, and for a text without lines.
    NSUInteger characterIndexAtPoint(CGPoint point);

    // Interaction is on exactly when there are links, unless the caller turned it off.
    void setUserInteractionEnabled(bool enabled);
    void setDelegate(const std::shared_ptr<AttributedLabelDelegate>& delegate) { delegate_ = delegate; }

    NSInteger verticalAlignment() const { return verticalAlignment_; }  // 0 centre, 1 top, 2 bottom
    void setVerticalAlignment(NSInteger alignment) { verticalAlignment_ = alignment; }
    float shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(float radius) { shadowRadius_ = radius; }
    float leading() const { return leading_; }
    void setLeading(float leading) { leading_ = leading; }
    float lineHeightMultiple() const { return lineHeightMultiple_; }
    void setLineHeightMultiple(float multiple) { lineHeightMultiple_ = multiple; }
    float firstLineIndent() const { return firstLineIndent_; }
    void setFirstLineIndent(float indent) { firstLineIndent_ = indent; }
    UIEdgeInsets textInsets() const { return textInsets_; }
    void setTextInsets(UIEdgeInsets insets) { textInsets_ = insets; }

    std::shared_ptr<CTFramesetter> framesetter();
    // Lays out the range in the rectangle and draws its lines (no more than the label's line limit).
    void drawFramesetter_textRange_inRect_context(const std::shared_ptr<CTFramesetter>& framesetter, NSRange range,
                                                  CGRect rect, const CGContextRef& context);
    CGSize sizeThatFits(CGSize size) const override;
    // Where the text lies in the bounds: its laid-out size, placed by the vertical alignment, so hit
    // tests find the characters where they are drawn.
    CGRect textRectForBounds_limitedToNumberOfLines(CGRect bounds, NSInteger numberOfLines) override;
    void drawTextInRect(CGRect rect) override;
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void setHighlighted(bool highlighted);

    void initWithFrameBody(CGRect frame) override;

private:
    void detectLinks();
    void updateInteraction();
    Ref<TextAttributedString> attributedText_;
    std::shared_ptr<CTFramesetter> framesetter_;
    // The highlighted form's layout and the text it draws (the highlighted colour over everything),
    // made on the first highlighted draw and dropped with the text.
    std::shared_ptr<CTFramesetter> highlightFramesetter_;
    Ref<TextAttributedString> highlightText_;
    bool needsFramesetter_ = true;
    std::mutex framesetterMutex_;
    NSUInteger dataDetectorTypes_ = 0;
    std::vector<Ref<TextCheckingResult>> links_;
    Value linkAttributes_;
    NSInteger verticalAlignment_ = 0;
    float shadowRadius_ = 0;
    float leading_ = 0;
    float lineHeightMultiple_ = 0;
    float firstLineIndent_ = 0;
    UIEdgeInsets textInsets_ = UIEdgeInsetsZero;
    bool userInteractionDisabled_ = false;
    std::weak_ptr<AttributedLabelDelegate> delegate_;
};
