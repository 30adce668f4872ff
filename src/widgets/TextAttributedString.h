#pragma once
// The text kit's styled text: one UTF-16 string and an ordered array of attribute runs. Each run gives
// the index where it starts and a dictionary of attributes that hold up to the next run's start.
//
// Invariants, kept by every operation:
//   - there is at least one run, and the first starts at 0 (an empty string has one empty run);
//   - run indexes strictly increase and every run but an empty string's only run holds at least one
//     character: the last run ends at the end of the text;
//   - after a mutation, no two neighbouring runs in the changed stretch have equal dictionaries.
//
// Indexes and ranges count UTF-16 units. Texts given and returned as std::string are UTF-8.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/Value.h"

// Attribute keys of the kit; any other key is stored and carried along too.
inline constexpr char TextFontAttributeName[] = "TextFontAttributeName";                            // a TextFont
inline constexpr char TextForegroundColorAttributeName[] = "TextForegroundColorAttributeName";      // a UIColor
inline constexpr char TextBackgroundColorAttributeName[] = "TextBackgroundColorAttributeName";      // a UIColor
inline constexpr char TextUnderlineStyleAttributeName[] = "TextUnderlineStyleAttributeName";        // a number, 0 none
inline constexpr char TextStrikethroughStyleAttributeName[] = "TextStrikethroughStyleAttributeName";  // a number, 0 none

// Enumeration options (the platform's bits).
inline constexpr NSUInteger TextEnumerationReverse = 1UL << 1;
inline constexpr NSUInteger TextLongestEffectiveRangeNotRequired = 1UL << 20;

class TextAttributeRun : public NSObject {
public:
    static Ref<TextAttributeRun> create();  // index 0, no attributes
    // The run keeps a private mutable copy of the dictionary (an empty one for nil).
    static Ref<TextAttributeRun> attributeRunWithIndex_attributes(NSUInteger index, const Value& attributes);
    static Ref<TextAttributeRun> initWithIndex_attributes(NSUInteger index, const Value& attributes);

    NSUInteger index() const { return index_; }
    // The run's own mutable dictionary.
    const Value& attributes() const { return attributes_; }

    Ref<TextAttributeRun> copy() const;
    // Keyed archive: "index" (a number) and "attributes".
    Value encodeWithCoder() const;
    // nil when the archive has no index.
    static Ref<TextAttributeRun> initWithCoder(const Value& archive);

    // The same index and an equal dictionary.
    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

    TextAttributeRun() = default;

protected:
    void initWithIndex_attributesBody(NSUInteger index, const Value& attributes);

private:
    NSUInteger index_ = 0;
    Value attributes_ = Value::dictionary();
};

using TextAttributeRuns = std::vector<Ref<TextAttributeRun>>;
class TextMutableAttributedString;

class TextAttributedString : public NSObject {
public:
    using AttributesBlock = std::function<void(const Value& attributes, NSRange range, bool* stop)>;
    using AttributeBlock = std::function<void(const Value& value, NSRange range, bool* stop)>;

    static Ref<TextAttributedString> create();  // the empty string
    static Ref<TextAttributedString> initWithString(std::string_view text);
    static Ref<TextAttributedString> initWithString_attributes(std::string_view text, const Value& attributes);
    static Ref<TextAttributedString> initWithUTF16String_attributes(std::u16string text, const Value& attributes);
    // A copy of the text and of every run; a nil string raises NSInternalInconsistencyException.
    static Ref<TextAttributedString> initWithAttributedString(const Ref<const TextAttributedString>& attr);
    // From a keyed archive ("buffer", "attributes"); nil when the archive does not hold a valid string.
    static Ref<TextAttributedString> initWithCoder(const Value& archive);

    // An immutable string copies as itself; a mutable one as a new immutable string.
    virtual Ref<TextAttributedString> copy() const;
    Ref<TextMutableAttributedString> mutableCopy() const;
    Value encodeWithCoder() const;

    NSUInteger length() const { return buffer_.size(); }
    std::string string() const { return NSString::fromUTF16(buffer_); }
    const std::u16string& utf16String() const { return buffer_; }
    const TextAttributeRuns& attributes() const { return runs_; }

    // Queries. An index at or beyond the length raises NSRangeException "index beyond range of
    // attributed string"; a limit beyond the length "rangeLimit beyond range of attributed string".
    // The dictionaries returned are copies.
    Value attributesAtIndex_effectiveRange(NSUInteger index, NSRange* effectiveRange) const;
    Value attributesAtIndex_longestEffectiveRange_inRange(NSUInteger index, NSRange* range, NSRange rangeLimit) const;
    Value attribute_atIndex_effectiveRange(std::string_view attributeName, NSUInteger index,
                                           NSRange* effectiveRange) const;
    Value attribute_atIndex_longestEffectiveRange_inRange(std::string_view attributeName, NSUInteger index,
                                                          NSRange* range, NSRange rangeLimit) const;
    // A new mutable string of the characters of the range; a range beyond the end raises NSRangeException.
    Ref<TextMutableAttributedString> attributedSubstringFromRange(NSRange range) const;

    // The runs that meet the range (a range beyond the end is cut at the end; an empty range meets
    // none), with their ranges cut to it, in order or from the last (TextEnumerationReverse). The
    // dictionaries are copies, so the block may change this string: walking in order, the later ranges
    // then move by the change of length.
    void enumerateAttributesInRange_options_usingBlock(NSRange range, NSUInteger options,
                                                       const AttributesBlock& block) const;
    // The values of one key: neighbouring runs with equal values are joined into one call, unless
    // TextLongestEffectiveRangeNotRequired asks for one call per run; stretches without the key are
    // not reported.
    void enumerateAttribute_inRange_options_usingBlock(std::string_view attributeName, NSRange range,
                                                       NSUInteger options, const AttributeBlock& block) const;

    bool isEqualToAttributedString(const TextAttributedString* other) const;
    bool isEqual(const NSObject* other) const override;
    // "\"text\" {key: value, key: value} \"more\" {}"
    std::string description() const override;

    // The position of the run that holds the index (bisection over the run starts).
    NSUInteger indexOfEffectiveAttributeRunForIndex(NSUInteger index) const;

    TextAttributedString() = default;

protected:
    void initWithUTF16String_attributesBody(std::u16string text, const Value& attributes);
    void initWithAttributedStringBody(const TextAttributedString& other);
    bool initWithCoderBody(const Value& archive);

    // The run positions that exactly cover a character range, splitting the runs at its two ends.
    // A range beyond the end raises NSInternalInconsistencyException.
    NSRange rangeOfAttributeRunsForRange(NSRange range);
    // Drops empty runs and joins runs equal to their predecessor, over the run positions of the range
    // and one run on either side of it.
    void cleanupAttributesInRange(NSRange runRange);
    void offsetRunsInRange_byOffset(NSRange runRange, NSInteger offset);

    Value attributesAtIndex_effectiveRange_uniquingOnName(NSUInteger index, NSRange* effectiveRange,
                                                          std::string_view name) const;
    Value attributesAtIndex_longestEffectiveRange_inRange_uniquingOnName(NSUInteger index, NSRange* range,
                                                                         NSRange rangeLimit,
                                                                         std::string_view name) const;
    NSRange runRange(NSUInteger position) const;
    void checkIndex(NSUInteger index) const;

    std::u16string buffer_;
    TextAttributeRuns runs_;
};

class TextMutableAttributedString : public TextAttributedString {
public:
    static Ref<TextMutableAttributedString> create();
    static Ref<TextMutableAttributedString> initWithString(std::string_view text);
    static Ref<TextMutableAttributedString> initWithString_attributes(std::string_view text, const Value& attributes);
    static Ref<TextMutableAttributedString> initWithUTF16String_attributes(std::u16string text, const Value& attributes);
    static Ref<TextMutableAttributedString> initWithAttributedString(const Ref<const TextAttributedString>& attr);
    static Ref<TextMutableAttributedString> initWithCoder(const Value& archive);

    Ref<TextAttributedString> copy() const override;

    // Attribute changes over a range (a range beyond the end raises NSInternalInconsistencyException).
    void addAttribute_value_range(std::string_view name, const Value& value, NSRange range);
    void addAttributes_range(const Value& attributes, NSRange range);
    void setAttributes_range(const Value& attributes, NSRange range);
    void removeAttribute_range(std::string_view name, NSRange range);

    // Text changes. Plain text takes no attributes.
    void replaceCharactersInRange_withString(NSRange range, std::string_view text);
    void replaceCharactersInRange_withUTF16String(NSRange range, std::u16string_view text);
    void replaceCharactersInRange_withAttributedString(NSRange range, const TextAttributedString& other);
    void insertAttributedString_atIndex(const TextAttributedString& other, NSUInteger index);
    void appendAttributedString(const TextAttributedString& other);
    void deleteCharactersInRange(NSRange range);
    // Takes copies of the other's text and runs.
    void setAttributedString(const TextAttributedString& other);

    // Gives every character of the range exactly one attribute, the kit's font for its script at the
    // size: "Helvetica" (bold "Helvetica-Bold") for ASCII letters and digits, "STHeitiSC-Light" (bold
    // "STHeitiSC-Medium") for everything else. A range beyond the end changes nothing.
    void setFontSize_andBold_andRange(float pointSize, bool bold, NSRange range);

private:
    template <class Change>
    void changeAttributes(NSRange range, const Change& change);
};
