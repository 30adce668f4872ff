#pragma once
// A label that lays out styled text with the framesetter and keeps links: ranges of the text that it
// underlines and colours and that report a tap to its delegate. Links are added by the caller or found
// in each new text by the data detectors (web addresses and phone numbers).
//
// The styled text is a TextAttributedString whose runs carry the keys below: a TextFont, a UIColor and
// an underline number. Plain text inherits the label's font and colour. Shrinking to fit sets a scaled
// copy of the text for one draw and puts the text and its links back as they were, so links added by
// the caller survive any number of draws.
#include <mutex>
#include <string>
#include <vector>

#include "platform/graphics/CTFramesetter.h"
#include "platform/uikit/UILabel.h"
#include "widgets/TextAttributedString.h"

inline constexpr char kCTFontAttributeName[] = "kCTFontAttributeName";                      // a TextFont
inline constexpr char kCTForegroundColorAttributeName[] = "kCTForegroundColorAttributeName";  // a UIColor
inline constexpr char kCTUnderlineStyleAttributeName[] = "kCTUnderlineStyleAttributeName";    // a number

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
};

class AttributedLabel;
class AttributedLabelDelegate {
public:
    virtual ~AttributedLabelDelegate() = default;
    virtual void attributedLabel_didSelectLinkWithURL(AttributedLabel*, const std::string& url) {}
    virtual void attributedLabel_didSelectLinkWithPhoneNumber(AttributedLabel*, const std::string& phoneNumber) {}
};

class AttributedLabel : public UILabel {
public:
    static Ref<AttributedLabel> initWithFrame(CGRect frame) { return makeWithFrame<AttributedLabel>(frame); }

    // Plain text takes the label's font and colour; links are found again from scratch.
    void setText(const std::string& text) override;
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

    std::shared_ptr<CTFramesetter> framesetter();
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
    void drawFrame(const CTTextFrame& frame, const Ref<const TextAttributedString>& text);

    Ref<TextAttributedString> attributedText_;
    std::shared_ptr<CTFramesetter> framesetter_;
    bool needsFramesetter_ = true;
    std::mutex framesetterMutex_;
    NSUInteger dataDetectorTypes_ = 0;
    std::vector<Ref<TextCheckingResult>> links_;
    Value linkAttributes_;
    NSInteger verticalAlignment_ = 0;
    bool userInteractionDisabled_ = false;
    std::weak_ptr<AttributedLabelDelegate> delegate_;
};
