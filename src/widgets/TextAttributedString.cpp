#include "widgets/TextAttributedString.h"

#include <algorithm>
#include <utility>

#include "platform/foundation/NSException.h"
#include "widgets/CustomFontManager.h"

namespace {
namespace TextAttributedString_cpp {

// A private mutable copy of a dictionary; an empty one for anything else.
Value dictionaryCopy(const Value& attributes)
{
    return attributes.isDictionary() ? attributes.copy() : Value::dictionary();
}

bool rangeFits(NSRange range, NSUInteger length)
{
    return range.location <= length && range.length <= length - range.location;
}

// The part of `range` inside `limit`; an empty range at the nearer edge when they do not meet.
NSRange clip(NSRange range, NSRange limit)
{
    const NSUInteger start = std::max(range.location, limit.location);
    const NSUInteger end = std::min(NSMaxRange(range), NSMaxRange(limit));
    return end > start ? NSMakeRange(start, end - start) : NSMakeRange(std::min(start, NSMaxRange(limit)), 0);
}

// Two values of one key count as the same when they are one object or equal (nil matches nil).
bool sameValue(const Value& a, const Value& b) { return a.isIdenticalTo(b) || a == b; }

std::string entriesText(const Value& dictionary, const char* format, const char* separator)
{
    std::string text;
    for (const auto& [key, value] : dictionary.dictionaryItems()) {
        if (!text.empty()) {
            text += separator;
        }
        text += stringWithFormat(format, key, value);
    }
    return text;
}

bool isASCIIAlphanumeric(unichar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

}  // namespace TextAttributedString_cpp
}  // namespace

// ---- TextAttributeRun -----------------------------------------------------------------------------------

Ref<TextAttributeRun> TextAttributeRun::create() { return initWithIndex_attributes(0, Value()); }

Ref<TextAttributeRun> TextAttributeRun::attributeRunWithIndex_attributes(NSUInteger index, const Value& attributes)
{
    return initWithIndex_attributes(index, attributes);
}

Ref<TextAttributeRun> TextAttributeRun::initWithIndex_attributes(NSUInteger index, const Value& attributes)
{
    auto self = std::make_shared<TextAttributeRun>();
    self->initWithIndex_attributesBody(index, attributes);
    return self;
}

void TextAttributeRun::initWithIndex_attributesBody(NSUInteger index, const Value& attributes)
{
    initBody();
    index_ = index;
    attributes_ = TextAttributedString_cpp::dictionaryCopy(attributes);
}

Ref<TextAttributeRun> TextAttributeRun::copy() const { return initWithIndex_attributes(index_, attributes_); }

Value TextAttributeRun::encodeWithCoder() const
{
    return Value::dictionary({{"index", Value(index_)}, {"attributes", attributes_.copy()}});
}

Ref<TextAttributeRun> TextAttributeRun::initWithCoder(const Value& archive)
{
    const Value index = archive["index"];
    if (!index.isInteger() || index.longLongValue() < 0) {
        return nullptr;
    }
    return initWithIndex_attributes(NSUInteger(index.unsignedLongLongValue()), archive["attributes"]);
}

bool TextAttributeRun::isEqual(const NSObject* other) const
{
    const auto* run = dynamic_cast<const TextAttributeRun*>(other);
    return run != nullptr && run->index_ == index_ && run->attributes_.isEqual(attributes_);
}

std::string TextAttributeRun::description() const
{
    return stringWithFormat("<%@: %p index=%lu attributes={%@}>", className(), static_cast<const void*>(this),
                            index_, TextAttributedString_cpp::entriesText(attributes_, "%@=%@", " "));
}

// ---- TextAttributedString ---------------------------------------------------------------------------

Ref<TextAttributedString> TextAttributedString::create() { return initWithUTF16String_attributes({}, Value()); }

Ref<TextAttributedString> TextAttributedString::initWithString(std::string_view text)
{
    return initWithUTF16String_attributes(NSString::toUTF16(text), Value());
}

Ref<TextAttributedString> TextAttributedString::initWithString_attributes(std::string_view text, const Value& attributes)
{
    return initWithUTF16String_attributes(NSString::toUTF16(text), attributes);
}

Ref<TextAttributedString> TextAttributedString::initWithUTF16String_attributes(std::u16string text,
                                                                               const Value& attributes)
{
    auto self = std::make_shared<TextAttributedString>();
    self->initWithUTF16String_attributesBody(std::move(text), attributes);
    return self;
}

Ref<TextAttributedString> TextAttributedString::initWithAttributedString(const Ref<const TextAttributedString>& attr)
{
    if (!attr) {
        NSException::raise(NSInternalInconsistencyException, "Invalid parameter not satisfying: attr != nil");
    }
    auto self = std::make_shared<TextAttributedString>();
    self->initWithAttributedStringBody(*attr);
    return self;
}

Ref<TextAttributedString> TextAttributedString::initWithCoder(const Value& archive)
{
    auto self = std::make_shared<TextAttributedString>();
    return self->initWithCoderBody(archive) ? self : nullptr;
}

void TextAttributedString::initWithUTF16String_attributesBody(std::u16string text, const Value& attributes)
{
    initBody();
    buffer_ = std::move(text);
    runs_.clear();
    runs_.push_back(TextAttributeRun::initWithIndex_attributes(0, attributes));
}

void TextAttributedString::initWithAttributedStringBody(const TextAttributedString& other)
{
    initBody();
    buffer_ = other.buffer_;
    runs_.clear();
    runs_.reserve(other.runs_.size());
    for (const Ref<TextAttributeRun>& run : other.runs_) {
        runs_.push_back(run->copy());
    }
}

bool TextAttributedString::initWithCoderBody(const Value& archive)
{
    initBody();
    const Value buffer = archive["buffer"];
    const Value runs = archive["attributes"];
    if (!buffer.isString() || !runs.isArray()) {
        return false;
    }
    buffer_ = NSString::toUTF16(buffer.string());
    runs_.clear();
    for (const Value& item : runs.arrayItems()) {
        Ref<TextAttributeRun> run = TextAttributeRun::initWithCoder(item);
        if (!run) {
            return false;
        }
        runs_.push_back(std::move(run));
    }
    // An archive is outside input: it must describe a string that keeps the invariants.
    if (runs_.empty() || runs_.front()->index() != 0) {
        return false;
    }
    for (size_t i = 1; i < runs_.size(); ++i) {
        if (runs_[i]->index() <= runs_[i - 1]->index() || runs_[i]->index() >= buffer_.size()) {
            return false;
        }
    }
    return true;
}

Ref<TextAttributedString> TextAttributedString::copy() const
{
    return std::const_pointer_cast<TextAttributedString>(self<TextAttributedString>());
}

Ref<TextMutableAttributedString> TextAttributedString::mutableCopy() const
{
    return TextMutableAttributedString::initWithAttributedString(self<TextAttributedString>());
}

Value TextAttributedString::encodeWithCoder() const
{
    Value runs = Value::array();
    for (const Ref<TextAttributeRun>& run : runs_) {
        runs.addObject(run->encodeWithCoder());
    }
    return Value::dictionary({{"buffer", Value(string())}, {"attributes", runs}});
}

NSRange TextAttributedString::runRange(NSUInteger position) const
{
    const NSUInteger start = runs_[position]->index();
    const NSUInteger end = position + 1 < runs_.size() ? runs_[position + 1]->index() : buffer_.size();
    return NSMakeRange(start, end - start);
}

void TextAttributedString::checkIndex(NSUInteger index) const
{
    if (index >= buffer_.size()) {
        NSException::raise(NSRangeException, "index beyond range of attributed string");
    }
}

NSUInteger TextAttributedString::indexOfEffectiveAttributeRunForIndex(NSUInteger index) const
{
    NSUInteger lower = 0;
    NSUInteger upper = runs_.size();
    while (lower + 1 < upper) {
        const NSUInteger middle = lower + (upper - lower) / 2;
        const NSUInteger start = runs_[middle]->index();
        if (index < start) {
            upper = middle;
        } else if (start == index) {
            return middle;
        } else {
            lower = middle;
        }
    }
    return lower;
}

Value TextAttributedString::attributesAtIndex_effectiveRange_uniquingOnName(NSUInteger index, NSRange* effectiveRange,
                                                                            std::string_view name) const
{
    checkIndex(index);
    const NSUInteger position = indexOfEffectiveAttributeRunForIndex(index);
    if (effectiveRange != nullptr) {
        *effectiveRange = runRange(position);
    }
    return runs_[position]->attributes().copy();
}

Value TextAttributedString::attributesAtIndex_longestEffectiveRange_inRange_uniquingOnName(
    NSUInteger index, NSRange* range, NSRange rangeLimit, std::string_view name) const
{
    using namespace TextAttributedString_cpp;
    checkIndex(index);
    if (!rangeFits(rangeLimit, buffer_.size())) {
        NSException::raise(NSRangeException, "rangeLimit beyond range of attributed string");
    }
    const NSUInteger position = indexOfEffectiveAttributeRunForIndex(index);
    NSUInteger first = position;
    NSUInteger last = position;
    if (!name.empty()) {
        // Grow over neighbours that hold the same value for the key, while they meet the limit.
        const Value value = runs_[position]->attributes()[name];
        while (first > 0 && runs_[first]->index() > rangeLimit.location &&
               sameValue(runs_[first - 1]->attributes()[name], value)) {
            --first;
        }
        while (last + 1 < runs_.size() && runs_[last + 1]->index() < NSMaxRange(rangeLimit) &&
               sameValue(runs_[last + 1]->attributes()[name], value)) {
            ++last;
        }
    }
    if (range != nullptr) {
        const NSUInteger start = runs_[first]->index();
        *range = clip(NSMakeRange(start, NSMaxRange(runRange(last)) - start), rangeLimit);
    }
    return runs_[position]->attributes().copy();
}

Value TextAttributedString::attributesAtIndex_effectiveRange(NSUInteger index, NSRange* effectiveRange) const
{
    return attributesAtIndex_effectiveRange_uniquingOnName(index, effectiveRange, {});
}

Value TextAttributedString::attributesAtIndex_longestEffectiveRange_inRange(NSUInteger index, NSRange* range,
                                                                            NSRange rangeLimit) const
{
    return attributesAtIndex_longestEffectiveRange_inRange_uniquingOnName(index, range, rangeLimit, {});
}

Value TextAttributedString::attribute_atIndex_effectiveRange(std::string_view attributeName, NSUInteger index,
                                                             NSRange* effectiveRange) const
{
    return attributesAtIndex_effectiveRange_uniquingOnName(index, effectiveRange, attributeName)[attributeName];
}

Value TextAttributedString::attribute_atIndex_longestEffectiveRange_inRange(std::string_view attributeName,
                                                                            NSUInteger index, NSRange* range,
                                                                            NSRange rangeLimit) const
{
    return attributesAtIndex_longestEffectiveRange_inRange_uniquingOnName(index, range, rangeLimit,
                                                                          attributeName)[attributeName];
}

Ref<TextMutableAttributedString> TextAttributedString::attributedSubstringFromRange(NSRange range) const
{
    if (!TextAttributedString_cpp::rangeFits(range, buffer_.size())) {
        NSException::raise(NSRangeException, "range was outisde of the attributed string");
    }
    Ref<TextMutableAttributedString> substring = mutableCopy();
    substring->deleteCharactersInRange(NSMakeRange(NSMaxRange(range), buffer_.size() - NSMaxRange(range)));
    substring->deleteCharactersInRange(NSMakeRange(0, range.location));
    return substring;
}

void TextAttributedString::enumerateAttributesInRange_options_usingBlock(NSRange range, NSUInteger options,
                                                                         const AttributesBlock& block) const
{
    using namespace TextAttributedString_cpp;
    const NSRange limit = clip(range, NSMakeRange(0, buffer_.size()));
    struct Piece {
        Value attributes;
        NSRange range;
    };
    std::vector<Piece> pieces;
    for (NSUInteger position = 0; position < runs_.size(); ++position) {
        const NSRange piece = clip(runRange(position), limit);
        if (piece.length > 0) {
            pieces.push_back(Piece{runs_[position]->attributes().copy(), piece});
        }
    }
    bool stop = false;
    if ((options & TextEnumerationReverse) != 0) {
        for (auto it = pieces.rbegin(); it != pieces.rend() && !stop; ++it) {
            block(it->attributes, it->range, &stop);
        }
        return;
    }
    const NSUInteger startLength = buffer_.size();
    for (const Piece& piece : pieces) {
        // The block may change this string's length: later pieces move with the text after them.
        const NSInteger change = NSInteger(buffer_.size()) - NSInteger(startLength);
        block(piece.attributes, NSMakeRange(NSUInteger(NSInteger(piece.range.location) + change), piece.range.length),
              &stop);
        if (stop) {
            break;
        }
    }
}

void TextAttributedString::enumerateAttribute_inRange_options_usingBlock(std::string_view attributeName,
                                                                         NSRange range, NSUInteger options,
                                                                         const AttributeBlock& block) const
{
    using namespace TextAttributedString_cpp;
    const NSRange limit = clip(range, NSMakeRange(0, buffer_.size()));
    const bool joinEqual = (options & TextLongestEffectiveRangeNotRequired) == 0;
    struct Piece {
        Value value;
        NSRange range;
    };
    std::vector<Piece> pieces;
    for (NSUInteger position = 0; position < runs_.size(); ++position) {
        const NSRange piece = clip(runRange(position), limit);
        const Value value = runs_[position]->attributes()[attributeName];
        if (piece.length == 0 || value.isNil()) {
            continue;
        }
        if (joinEqual && !pieces.empty() && NSMaxRange(pieces.back().range) == piece.location &&
            sameValue(pieces.back().value, value)) {
            pieces.back().range.length += piece.length;
        } else {
            pieces.push_back(Piece{value, piece});
        }
    }
    bool stop = false;
    if ((options & TextEnumerationReverse) != 0) {
        for (auto it = pieces.rbegin(); it != pieces.rend() && !stop; ++it) {
            block(it->value, it->range, &stop);
        }
        return;
    }
    const NSUInteger startLength = buffer_.size();
    for (const Piece& piece : pieces) {
        const NSInteger change = NSInteger(buffer_.size()) - NSInteger(startLength);
        block(piece.value, NSMakeRange(NSUInteger(NSInteger(piece.range.location) + change), piece.range.length),
              &stop);
        if (stop) {
            break;
        }
    }
}

bool TextAttributedString::isEqualToAttributedString(const TextAttributedString* other) const
{
    if (other == nullptr || other->buffer_ != buffer_ || other->runs_.size() != runs_.size()) {
        return false;
    }
    for (size_t i = 0; i < runs_.size(); ++i) {
        if (!runs_[i]->isEqual(other->runs_[i].get())) {
            return false;
        }
    }
    return true;
}

bool TextAttributedString::isEqual(const NSObject* other) const
{
    return isEqualToAttributedString(dynamic_cast<const TextAttributedString*>(other));
}

std::string TextAttributedString::description() const
{
    std::string text;
    for (NSUInteger position = 0; position < runs_.size(); ++position) {
        const NSRange range = runRange(position);
        if (!text.empty()) {
            text += ' ';
        }
        text += '"' + NSString::fromUTF16(std::u16string_view(buffer_).substr(range.location, range.length)) + '"';
        text += " {" + TextAttributedString_cpp::entriesText(runs_[position]->attributes(), "%@: %@", ", ") + "}";
    }
    return text;
}

NSRange TextAttributedString::rangeOfAttributeRunsForRange(NSRange range)
{
    if (!TextAttributedString_cpp::rangeFits(range, buffer_.size())) {
        NSException::raise(NSInternalInconsistencyException,
                           "Invalid parameter not satisfying: NSMaxRange(range) <= [_buffer length]");
    }
    // The start: a run must begin exactly at the range's start.
    NSUInteger first = runs_.size();
    for (NSUInteger position = 0; position < runs_.size(); ++position) {
        if (runs_[position]->index() == range.location) {
            first = position;
            break;
        }
        if (runs_[position]->index() > range.location) {
            runs_.insert(runs_.begin() + NSInteger(position),
                         TextAttributeRun::initWithIndex_attributes(range.location, runs_[position - 1]->attributes()));
            first = position;
            break;
        }
    }
    if (first == runs_.size()) {
        runs_.push_back(TextAttributeRun::initWithIndex_attributes(range.location, runs_.back()->attributes()));
    }
    // The end: a run must begin exactly at the range's end, unless the range reaches the text's end.
    const NSUInteger end = NSMaxRange(range);
    if (runs_.back()->index() < end) {
        const NSUInteger count = runs_.size() - first;
        if (end < buffer_.size()) {
            runs_.push_back(TextAttributeRun::initWithIndex_attributes(end, runs_.back()->attributes()));
        }
        return NSMakeRange(first, count);
    }
    NSUInteger after = first;
    while (runs_[after]->index() < end) {
        ++after;
    }
    if (runs_[after]->index() > end) {
        runs_.insert(runs_.begin() + NSInteger(after),
                     TextAttributeRun::initWithIndex_attributes(end, runs_[after - 1]->attributes()));
    }
    return NSMakeRange(first, after - first);
}

void TextAttributedString::cleanupAttributesInRange(NSRange runRange)
{
    // The stretch: one run before the range, the range and one run after it.
    NSUInteger position = runRange.location > 0 ? runRange.location - 1 : 0;
    NSUInteger end = std::min<NSUInteger>(NSMaxRange(runRange) + 1, runs_.size());
    // Empty runs go first (an empty string keeps its one run)...
    for (NSUInteger i = position; i < end && runs_.size() > 1;) {
        const NSUInteger next = i + 1 < runs_.size() ? runs_[i + 1]->index() : buffer_.size();
        if (next == runs_[i]->index()) {
            runs_.erase(runs_.begin() + NSInteger(i));
            --end;
        } else {
            ++i;
        }
    }
    // ...then runs equal to the one before them.
    for (NSUInteger i = position + 1; i < end;) {
        if (runs_[i]->attributes().isEqual(runs_[i - 1]->attributes())) {
            runs_.erase(runs_.begin() + NSInteger(i));
            --end;
        } else {
            ++i;
        }
    }
}

void TextAttributedString::offsetRunsInRange_byOffset(NSRange runRange, NSInteger offset)
{
    for (NSUInteger i = runRange.location; i < NSMaxRange(runRange); ++i) {
        runs_[i] = TextAttributeRun::initWithIndex_attributes(NSUInteger(NSInteger(runs_[i]->index()) + offset),
                                                              runs_[i]->attributes());
    }
}

// ---- TextMutableAttributedString ----------------------------------------------------------------------

Ref<TextMutableAttributedString> TextMutableAttributedString::create()
{
    return initWithUTF16String_attributes({}, Value());
}

Ref<TextMutableAttributedString> TextMutableAttributedString::initWithString(std::string_view text)
{
    return initWithUTF16String_attributes(NSString::toUTF16(text), Value());
}

Ref<TextMutableAttributedString> TextMutableAttributedString::initWithString_attributes(std::string_view text,
                                                                                       const Value& attributes)
{
    return initWithUTF16String_attributes(NSString::toUTF16(text), attributes);
}

Ref<TextMutableAttributedString> TextMutableAttributedString::initWithUTF16String_attributes(std::u16string text,
                                                                                             const Value& attributes)
{
    auto self = std::make_shared<TextMutableAttributedString>();
    self->initWithUTF16String_attributesBody(std::move(text), attributes);
    return self;
}

Ref<TextMutableAttributedString> TextMutableAttributedString::initWithAttributedString(
    const Ref<const TextAttributedString>& attr)
{
    if (!attr) {
        NSException::raise(NSInternalInconsistencyException, "Invalid parameter not satisfying: attr != nil");
    }
    auto self = std::make_shared<TextMutableAttributedString>();
    self->initWithAttributedStringBody(*attr);
    return self;
}

Ref<TextMutableAttributedString> TextMutableAttributedString::initWithCoder(const Value& archive)
{
    auto self = std::make_shared<TextMutableAttributedString>();
    return self->initWithCoderBody(archive) ? self : nullptr;
}

Ref<TextAttributedString> TextMutableAttributedString::copy() const
{
    return TextAttributedString::initWithAttributedString(self<TextAttributedString>());
}

template <class Change>
void TextMutableAttributedString::changeAttributes(NSRange range, const Change& change)
{
    const NSRange covered = rangeOfAttributeRunsForRange(range);
    for (NSUInteger i = covered.location; i < NSMaxRange(covered); ++i) {
        Value dictionary = runs_[i]->attributes();
        change(dictionary);
    }
    cleanupAttributesInRange(covered);
}

void TextMutableAttributedString::addAttribute_value_range(std::string_view name, const Value& value, NSRange range)
{
    changeAttributes(range, [&](Value& dictionary) { dictionary.setValue_forKey(value, name); });
}

void TextMutableAttributedString::addAttributes_range(const Value& attributes, NSRange range)
{
    changeAttributes(range, [&](Value& dictionary) { dictionary.addEntriesFromDictionary(attributes); });
}

void TextMutableAttributedString::setAttributes_range(const Value& attributes, NSRange range)
{
    changeAttributes(range, [&](Value& dictionary) {
        dictionary.removeAllObjects();
        dictionary.addEntriesFromDictionary(attributes);
    });
}

void TextMutableAttributedString::removeAttribute_range(std::string_view name, NSRange range)
{
    changeAttributes(range, [&](Value& dictionary) { dictionary.removeObjectForKey(name); });
}

void TextMutableAttributedString::replaceCharactersInRange_withString(NSRange range, std::string_view text)
{
    replaceCharactersInRange_withUTF16String(range, NSString::toUTF16(text));
}

void TextMutableAttributedString::replaceCharactersInRange_withUTF16String(NSRange range, std::u16string_view text)
{
    const Ref<TextAttributedString> plain = TextAttributedString::initWithUTF16String_attributes(std::u16string(text),
                                                                                                 Value());
    replaceCharactersInRange_withAttributedString(range, *plain);
}

void TextMutableAttributedString::replaceCharactersInRange_withAttributedString(NSRange range,
                                                                                const TextAttributedString& other)
{
    // The other string may be this one: work from copies of its text and runs.
    const std::u16string text = other.utf16String();
    TextAttributeRuns inserted;
    inserted.reserve(other.attributes().size());
    for (const Ref<TextAttributeRun>& run : other.attributes()) {
        inserted.push_back(TextAttributeRun::initWithIndex_attributes(run->index() + range.location, run->attributes()));
    }
    const NSRange covered = rangeOfAttributeRunsForRange(range);
    buffer_.replace(range.location, range.length, text);
    runs_.erase(runs_.begin() + NSInteger(covered.location), runs_.begin() + NSInteger(NSMaxRange(covered)));
    runs_.insert(runs_.begin() + NSInteger(covered.location), inserted.begin(), inserted.end());
    const NSUInteger after = covered.location + inserted.size();
    offsetRunsInRange_byOffset(NSMakeRange(after, runs_.size() - after), NSInteger(text.size()) - NSInteger(range.length));
    cleanupAttributesInRange(NSMakeRange(covered.location, inserted.size()));
}

void TextMutableAttributedString::insertAttributedString_atIndex(const TextAttributedString& other, NSUInteger index)
{
    replaceCharactersInRange_withAttributedString(NSMakeRange(index, 0), other);
}

void TextMutableAttributedString::appendAttributedString(const TextAttributedString& other)
{
    insertAttributedString_atIndex(other, length());
}

void TextMutableAttributedString::deleteCharactersInRange(NSRange range)
{
    const NSRange covered = rangeOfAttributeRunsForRange(range);
    buffer_.erase(range.location, range.length);
    runs_.erase(runs_.begin() + NSInteger(covered.location), runs_.begin() + NSInteger(NSMaxRange(covered)));
    offsetRunsInRange_byOffset(NSMakeRange(covered.location, runs_.size() - covered.location),
                               -NSInteger(range.length));
    if (runs_.empty()) {
        // Every character went: the string keeps one empty run, as a new empty string has.
        runs_.push_back(TextAttributeRun::create());
        return;
    }
    cleanupAttributesInRange(NSMakeRange(covered.location, 0));
}

void TextMutableAttributedString::setAttributedString(const TextAttributedString& other)
{
    if (&other == this) {
        return;
    }
    // Copies of the runs, not the runs themselves: attribute changes alter a run's dictionary in place,
    // and must not reach the string the runs came from.
    buffer_ = other.utf16String();
    TextAttributeRuns runs;
    runs.reserve(other.attributes().size());
    for (const Ref<TextAttributeRun>& run : other.attributes()) {
        runs.push_back(run->copy());
    }
    runs_ = std::move(runs);
}

void TextMutableAttributedString::setFontSize_andBold_andRange(float pointSize, bool bold, NSRange range)
{
    if (!TextAttributedString_cpp::rangeFits(range, length())) {
        return;
    }
    const Ref<CustomFontManager> manager = CustomFontManager::sharedManager();
    const Ref<TextFont> latin = manager->textFontWithName_pointSize(bold ? "Helvetica-Bold" : "Helvetica", pointSize);
    const Ref<TextFont> other =
        manager->textFontWithName_pointSize(bold ? "STHeitiSC-Medium" : "STHeitiSC-Light", pointSize);
    // One change per stretch of characters of the same script: the same result as one per character.
    NSUInteger index = range.location;
    while (index < NSMaxRange(range)) {
        const bool isLatin = TextAttributedString_cpp::isASCIIAlphanumeric(buffer_[index]);
        NSUInteger end = index + 1;
        while (end < NSMaxRange(range) && TextAttributedString_cpp::isASCIIAlphanumeric(buffer_[end]) == isLatin) {
            ++end;
        }
        const Ref<TextFont>& font = isLatin ? latin : other;
        // A font that cannot be loaded leaves the characters with no attributes at all.
        setAttributes_range(font ? Value::dictionary({{TextFontAttributeName, Value(font)}}) : Value::dictionary(),
                            NSMakeRange(index, end - index));
        index = end;
    }
}
