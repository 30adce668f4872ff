#include "widgets/AttributedLabel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <ctime>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UITouch.h"
#include "widgets/CustomFontManager.h"
#include "widgets/TextDrawing.h"
#include "widgets/TextFont.h"

namespace {
namespace AttributedLabel_cpp {

// Two-line word-wrapped text is counted this much wider when deciding whether to shrink it.
constexpr double kTwoLineWidthFactor = 1.1557273497909217;

Ref<TextFont> labelFont(const Ref<UIFont>& font)
{
    if (!font) {
        return nullptr;
    }
    Ref<TextFont> f;
    try {
        f = TextFont::fontWithUIFont(font);
    } catch (...) {
    }
    return f ? f : CustomFontManager::sharedManager()->textFontWithName_pointSize("Helvetica", float(font->pointSize()));
}

Ref<TextFont> fontOf(const Value& attributes)
{
    Ref<TextFont> f = attributes[kCTFontAttributeName].object<TextFont>();
    return f ? f : TextDefaultAttributes()[TextFontAttributeName].object<TextFont>();
}

std::shared_ptr<CTFramesetter> framesetterOf(const Ref<const TextAttributedString>& text)
{
    return CTFramesetter::create(text ? text->utf16String() : std::u16string(),
                                 text ? AttributedStyleRuns(*text) : std::vector<CTStyleRun>{});
}

bool isPhoneCharacter(char16_t c) { return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u' ' || c == u'(' || c == u')'; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isHan(char16_t c) { return c >= 0x4E00 && c <= 0x9FFF; }
bool isLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Digits from `at`, at most `most` of them; how many were read.
size_t readNumber(const std::u16string& text, size_t at, size_t most, int& value)
{
    size_t n = 0;
    value = 0;
    while (at + n < text.size() && n < most && isDigit(text[at + n])) {
        value = value * 10 + (text[at + n] - u'0');
        ++n;
    }
    return n;
}

// A date written "2013-01-05", "2013/1/5" or "2013年1月5日", with an optional time "14:30" after a
// space (or right after 日): its length from `at` and the moment (read as UTC), or 0.
size_t matchDate(const std::u16string& text, size_t at, NSDate& date)
{
    if (at > 0 && (isDigit(text[at - 1]) || isLetter(text[at - 1]))) {
        return 0;
    }
    int year = 0, month = 0, day = 0;
    size_t i = at;
    if (readNumber(text, i, 4, year) != 4) return 0;
    i += 4;
    if (i >= text.size()) return 0;
    const char16_t separator = text[i];
    if (separator != u'-' && separator != u'/' && separator != u'年') return 0;
    ++i;
    size_t n = readNumber(text, i, 2, month);
    if (n == 0) return 0;
    i += n;
    const char16_t second = separator == u'年' ? u'月' : separator;
    if (i >= text.size() || text[i] != second) return 0;
    ++i;
    n = readNumber(text, i, 2, day);
    if (n == 0) return 0;
    i += n;
    if (separator == u'年') {
        if (i >= text.size() || text[i] != u'日') return 0;
        ++i;
    } else if (i < text.size() && isDigit(text[i])) {
        return 0;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
    int hour = 0, minute = 0;
    size_t timeAt = i < text.size() && text[i] == u' ' ? i + 1 : i;
    if (size_t h = readNumber(text, timeAt, 2, hour); h > 0 && timeAt + h < text.size() && text[timeAt + h] == u':') {
        if (readNumber(text, timeAt + h + 1, 2, minute) == 2 && hour < 24 && minute < 60) {
            i = timeAt + h + 3;
        } else {
            hour = minute = 0;
        }
    } else {
        hour = 0;
    }
    struct tm parts {};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    date = NSDate::dateWithTimeIntervalSince1970(double(timegm(&parts)));
    return i - at;
}

// A street address: "90 Wensan Road" (a number, up to four words, a street word) or a Chinese one that
// names a road, street or lane and ends with its number and 号 ("杭州市西湖区文三路90号"), looked for in
// the run of characters that begins at `at`. Its length and where it starts (at or after `at`), and its
// parts; 0 when there is none.
size_t matchAddress(const std::u16string& text, size_t at, size_t& start, Value& components)
{
    static const std::u16string streetWords[] = {u"Street", u"St", u"Road", u"Rd", u"Avenue", u"Ave", u"Lane",
                                                 u"Ln", u"Boulevard", u"Blvd", u"Drive", u"Dr", u"Way"};
    if (isDigit(text[at]) && (at == 0 || !(isDigit(text[at - 1]) || isLetter(text[at - 1])))) {
        size_t i = at;
        while (i < text.size() && isDigit(text[i])) ++i;
        for (int words = 0; words < 5 && i < text.size() && text[i] == u' '; ++words) {
            size_t start = i + 1, end = start;
            while (end < text.size() && isLetter(text[end])) ++end;
            if (end == start) break;
            const std::u16string word = text.substr(start, end - start);
            if (words > 0 && std::find(std::begin(streetWords), std::end(streetWords), word) != std::end(streetWords)) {
                if (end < text.size() && text[end] == u'.') ++end;
                components = Value::dictionary({{"Street", Value(NSString::fromUTF16(text.substr(at, end - at)))}});
                start = at;
                return end - at;
            }
            i = end;
        }
        return 0;
    }
    if (!isHan(text[at])) {
        return 0;
    }
    size_t runEnd = at;
    while (runEnd < text.size() && (isHan(text[runEnd]) || isDigit(text[runEnd]))) ++runEnd;
    // The road, street or lane, then its number and 号.
    for (size_t road = at; road < runEnd; ++road) {
        if (text[road] != u'路' && text[road] != u'街' && text[road] != u'道' && text[road] != u'巷') continue;
        size_t number = road + 1;
        while (number < runEnd && isDigit(text[number])) ++number;
        if (number == road + 1 || number >= runEnd || text[number] != u'号') continue;
        // The address starts at the first place word (province, city, district, county, or the road's
        // own name), taking the two characters of the name before it, after any lead-in such as 住在.
        size_t first = road;
        for (size_t k = at; k < road; ++k) {
            if (text[k] == u'省' || text[k] == u'市' || text[k] == u'区' || text[k] == u'县') {
                first = k;
                break;
            }
        }
        start = first >= at + 2 ? first - 2 : at;
        for (size_t k = start; k > at; --k) {
            if (text[k - 1] == u'在' || text[k - 1] == u'于' || text[k - 1] == u'到' || text[k - 1] == u'是') {
                start = k;
                break;
            }
        }
        const size_t end = number + 1;
        components = Value::dictionary({{"Street", Value(NSString::fromUTF16(text.substr(start, end - start)))}});
        const std::u16string whole = text.substr(start, end - start);
        if (const size_t city = whole.find(u'市'); city != std::u16string::npos) {
            components.setObject_forKey(Value(NSString::fromUTF16(whole.substr(0, city + 1))), "City");
        }
        return end - start;
    }
    return 0;
}

Ref<TextCheckingResult> result(uint64_t type, size_t at, size_t length)
{
    auto r = std::make_shared<TextCheckingResult>();
    r->resultType = type;
    r->range = NSMakeRange(at, length);
    return r;
}

// Web addresses ("http://", "https://", "www.") up to the next space, dates, street addresses, and runs
// of at least seven digits (with the usual separators) as phone numbers. A date is never read as a
// phone number.
std::vector<Ref<TextCheckingResult>> detect(const std::u16string& text, uint64_t types)
{
    std::vector<Ref<TextCheckingResult>> found;
    size_t i = 0;
    bool runStart = true;  // Chinese addresses are looked for from where a run of characters begins
    while (i < text.size()) {
        if (i > 0 && !isHan(text[i - 1]) && !isDigit(text[i - 1])) {
            runStart = true;
        }
        const std::u16string_view rest(text.data() + i, text.size() - i);
        if ((types & NSTextCheckingTypeLink) &&
            (rest.starts_with(u"http://") || rest.starts_with(u"https://") || rest.starts_with(u"www."))) {
            size_t end = i;
            while (end < text.size() && text[end] > u' ' && text[end] < 0x3000) {
                ++end;
            }
            while (end > i && (text[end - 1] == u'.' || text[end - 1] == u',')) {
                --end;
            }
            auto link = result(NSTextCheckingTypeLink, i, end - i);
            const std::string url = NSString::fromUTF16(text.substr(i, end - i));
            link->URL = rest.starts_with(u"www.") ? "http://" + url : url;
            found.push_back(link);
            i = end;
            continue;
        }
        NSDate date;
        if (const size_t length = matchDate(text, i, date); length > 0) {
            if (types & NSTextCheckingTypeDate) {
                auto found_date = result(NSTextCheckingTypeDate, i, length);
                found_date->date = date;
                found.push_back(found_date);
            }
            i += length;
            runStart = true;
            continue;
        }
        Value components;
        size_t start = i;
        if ((types & NSTextCheckingTypeAddress) && (runStart || !isHan(text[i]))) {
            runStart = false;
            if (const size_t length = matchAddress(text, i, start, components); length > 0) {
                auto address = result(NSTextCheckingTypeAddress, start, length);
                address->addressComponents = components;
                found.push_back(address);
                i = start + length;
                runStart = true;
                continue;
            }
        }
        runStart = false;
        if ((types & NSTextCheckingTypePhoneNumber) && (isDigit(text[i]) || text[i] == u'+')) {
            size_t end = i;
            size_t digits = 0;
            while (end < text.size() && isPhoneCharacter(text[end])) {
                digits += isDigit(text[end]) ? 1 : 0;
                ++end;
            }
            while (end > i && !isDigit(text[end - 1])) {
                --end;
            }
            if (digits >= 7) {
                auto phone = result(NSTextCheckingTypePhoneNumber, i, end - i);
                phone->phoneNumber = NSString::fromUTF16(text.substr(i, end - i));
                found.push_back(phone);
            }
            i = std::max(end, i + 1);
            continue;
        }
        ++i;
    }
    return found;
}

}  // namespace AttributedLabel_cpp
}  // namespace

std::vector<CTStyleRun> AttributedStyleRuns(const TextAttributedString& text)
{
    using AttributedLabel_cpp::fontOf;
    std::vector<CTStyleRun> runs;
    const TextAttributeRuns& attributeRuns = text.attributes();
    for (size_t r = 0; r < attributeRuns.size(); ++r) {
        const NSUInteger start = attributeRuns[r]->index();
        const NSUInteger end = r + 1 < attributeRuns.size() ? attributeRuns[r + 1]->index() : text.length();
        const Value& attributes = attributeRuns[r]->attributes();
        const Ref<TextFont> font = fontOf(attributes);
        runs.push_back({start, end - start, font ? font->cgFont() : CGFontRef(), font ? font->pointSize() : 12,
                        attributes[kCTParagraphStyleAttributeName].object<CTParagraphStyle>()});
    }
    return runs;
}

CTTextAlignment CTTextAlignmentFromUITextAlignment(NSInteger alignment)
{
    switch (alignment) {
    case UITextAlignmentLeft: return kCTLeftTextAlignment;
    case UITextAlignmentCenter: return kCTCenterTextAlignment;
    case UITextAlignmentRight: return kCTRightTextAlignment;
    default: return kCTNaturalTextAlignment;
    }
}

CTLineBreakMode CTLineBreakModeFromUILineBreakMode(NSInteger mode)
{
    return mode >= 0 && mode <= 5 ? CTLineBreakMode(mode) : kCTLineBreakByWordWrapping;
}

Value NSAttributedStringAttributesFromLabel(AttributedLabel* label)
{
    using namespace AttributedLabel_cpp;
    Value attributes = Value::dictionary();
    if (const Ref<TextFont> font = labelFont(label->font())) {
        attributes.setObject_forKey(Value(font), kCTFontAttributeName);
    }
    attributes.setObject_forKey(Value(label->textColor() ? label->textColor() : UIColor::blackColor()),
                                kCTForegroundColorAttributeName);
    const UIEdgeInsets insets = label->textInsets();
    const Ref<CTParagraphStyle> paragraph = CTParagraphStyle::create({
        {kCTParagraphStyleSpecifierAlignment, CGFloat(CTTextAlignmentFromUITextAlignment(label->textAlignment()))},
        {kCTParagraphStyleSpecifierLineBreakMode, CGFloat(CTLineBreakModeFromUILineBreakMode(label->lineBreakMode()))},
        {kCTParagraphStyleSpecifierLineSpacing, label->leading()},
        {kCTParagraphStyleSpecifierLineHeightMultiple, label->lineHeightMultiple()},
        {kCTParagraphStyleSpecifierFirstLineHeadIndent, label->firstLineIndent() + insets.left},
        {kCTParagraphStyleSpecifierParagraphSpacingBefore, insets.top},
        {kCTParagraphStyleSpecifierParagraphSpacing, insets.bottom},
        {kCTParagraphStyleSpecifierHeadIndent, insets.left},
        {kCTParagraphStyleSpecifierTailIndent, insets.right},
    });
    attributes.setObject_forKey(Value(paragraph), kCTParagraphStyleAttributeName);
    return attributes;
}

Ref<TextAttributedString> NSAttributedStringByScalingFontSize(const Ref<const TextAttributedString>& text, double scale,
                                                               double minimumFontSize)
{
    using AttributedLabel_cpp::fontOf;
    if (!text) {
        return nullptr;
    }
    const Ref<TextMutableAttributedString> scaled = text->mutableCopy();
    const TextAttributeRuns& runs = text->attributes();
    for (size_t r = 0; r < runs.size(); ++r) {
        const Ref<TextFont> font = fontOf(runs[r]->attributes());
        const NSUInteger start = runs[r]->index();
        const NSUInteger end = r + 1 < runs.size() ? runs[r + 1]->index() : text->length();
        const double size = std::max<double>(std::floor(font ? font->pointSize() * scale : 0), minimumFontSize);
        if (font && size > 0 && end > start) {
            scaled->addAttribute_value_range(kCTFontAttributeName, Value(font->fontWithSize(float(size))),
                                             NSMakeRange(start, end - start));
        }
    }
    return scaled;
}

uint64_t NSTextCheckingTypeFromUIDataDetectorType(NSUInteger types)
{
    uint64_t checking = 0;
    checking |= (types & 1) ? NSTextCheckingTypePhoneNumber : 0;
    checking |= (types & 2) ? NSTextCheckingTypeLink : 0;
    checking |= (types & 4) ? NSTextCheckingTypeAddress : 0;
    checking |= (types & 8) ? NSTextCheckingTypeDate : 0;
    return checking;
}

void AttributedLabel::initWithFrameBody(CGRect frame)
{
    UILabel::initWithFrameBody(frame);
    setLineBreakMode(UILineBreakModeWordWrap);
    linkAttributes_ = Value::dictionary({{kCTForegroundColorAttributeName, Value(UIColor::blueColor())},
                                         {kCTUnderlineStyleAttributeName, Value(1)}});
    attributedText_ = TextAttributedString::create();
    updateInteraction();
}

void AttributedLabel::setText(const std::string& text)
{
    setText_afterInheritingLabelAttributesAndConfiguringWithBlock(text, nullptr);
}

void AttributedLabel::setText_afterInheritingLabelAttributesAndConfiguringWithBlock(const std::string& text,
                                                                                   const ConfiguringBlock& block)
{
    setAttributedText(TextAttributedString::initWithString(text));
    Ref<TextMutableAttributedString> styled = attributedText_->mutableCopy();
    styled->addAttributes_range(NSAttributedStringAttributesFromLabel(this), NSMakeRange(0, styled->length()));
    if (block) {
        styled = block(styled);
    }
    setAttributedTextAndLinks(styled);
}

void AttributedLabel::setAttributedTextAndLinks(const Ref<const TextAttributedString>& text)
{
    setAttributedText(text);
    links_.clear();
    if (dataDetectorTypes_ != 0 && attributedText_) {
        for (const Ref<TextCheckingResult>& found :
             AttributedLabel_cpp::detect(attributedText_->utf16String(), NSTextCheckingTypeFromUIDataDetectorType(dataDetectorTypes_))) {
            addLinkWithTextCheckingResult(found);
        }
    }
    updateInteraction();
    UILabel::setText(attributedText_ ? attributedText_->string() : std::string());
}

void AttributedLabel::setAttributedText(const Ref<const TextAttributedString>& text)
{
    if (text && attributedText_ && text->isEqualToAttributedString(attributedText_.get())) {
        return;
    }
    attributedText_ = text ? text->copy() : nullptr;
    needsFramesetter_ = true;
    highlightFramesetter_ = nullptr;
    highlightText_ = nullptr;
    setNeedsDisplay();
}

void AttributedLabel::addLinkWithTextCheckingResult(const Ref<TextCheckingResult>& result)
{
    if (!result) {
        return;
    }
    links_.push_back(result);
    if (linkAttributes_ && attributedText_ && result->range.location + result->range.length <= attributedText_->length()) {
        const Ref<TextMutableAttributedString> linked = attributedText_->mutableCopy();
        linked->addAttributes_range(linkAttributes_, result->range);
        setAttributedText(linked);
    }
    updateInteraction();
}

void AttributedLabel::addLinkToURL_withRange(const std::string& url, NSRange range)
{
    auto result = std::make_shared<TextCheckingResult>();
    result->resultType = NSTextCheckingTypeLink;
    result->range = range;
    result->URL = url;
    addLinkWithTextCheckingResult(result);
}

void AttributedLabel::addLinkToPhoneNumber_withRange(const std::string& phoneNumber, NSRange range)
{
    auto result = std::make_shared<TextCheckingResult>();
    result->resultType = NSTextCheckingTypePhoneNumber;
    result->range = range;
    result->phoneNumber = phoneNumber;
    addLinkWithTextCheckingResult(result);
}

void AttributedLabel::addLinkToAddress_withRange(const Value& addressComponents, NSRange range)
{
    auto result = std::make_shared<TextCheckingResult>();
    result->resultType = NSTextCheckingTypeAddress;
    result->range = range;
    result->addressComponents = addressComponents;
    addLinkWithTextCheckingResult(result);
}

void AttributedLabel::addLinkToDate_withRange(NSDate date, NSRange range)
{
    addLinkToDate_timeZone_duration_withRange(date, "", 0, range);
}

void AttributedLabel::addLinkToDate_timeZone_duration_withRange(NSDate date, const std::string& timeZone, double duration,
                                                                NSRange range)
{
    auto result = std::make_shared<TextCheckingResult>();
    result->resultType = NSTextCheckingTypeDate;
    result->range = range;
    result->date = date;
    result->timeZone = timeZone;
    result->duration = duration;
    addLinkWithTextCheckingResult(result);
}

Ref<TextCheckingResult> AttributedLabel::linkAtCharacterIndex(NSUInteger index) const
{
    for (const Ref<TextCheckingResult>& link : links_) {
        if (index >= link->range.location && index <= link->range.location + link->range.length) {
            return link;
        }
    }
    return nullptr;
}

Ref<TextCheckingResult> AttributedLabel::linkAtPoint(CGPoint point)
{
    const NSUInteger index = characterIndexAtPoint(point);
    return index == NSNotFound ? nullptr : linkAtCharacterIndex(index);
}

NSUInteger AttributedLabel::characterIndexAtPoint(CGPoint point)
{
    if (!CGRectContainsPoint(bounds(), point)) {
        return NSNotFound;
    }
    const CGRect textRect = textRectForBounds_limitedToNumberOfLines(bounds(), numberOfLines());
    if (!CGRectContainsPoint(textRect, point)) {
        return NSNotFound;
    }
    const CGPoint up = CGPointMake(point.x - textRect.origin.x, textRect.size.height - (point.y - textRect.origin.y));
    const CTTextFrame frame = framesetter()->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, textRect.size.width, textRect.size.height));
    if (frame.lines.empty()) {
        return NSNotFound;  // nothing laid out: no character under any point
    }
    size_t line = frame.lines.size() - 1;
    for (size_t i = 0; i < frame.lines.size(); ++i) {
        if (frame.lineOrigins[i].y < up.y) {
            line = i;
            break;
        }
    }
    return frame.lines[line].stringIndexForPosition(CGPointMake(up.x - frame.lineOrigins[line].x, up.y - frame.lineOrigins[line].y));
}

void AttributedLabel::setUserInteractionEnabled(bool enabled)
{
    userInteractionDisabled_ = !enabled;
    updateInteraction();
}

void AttributedLabel::updateInteraction()
{
    UIView::setUserInteractionEnabled(!userInteractionDisabled_ && !links_.empty());
    UIView::setExclusiveTouch(!links_.empty());
}

std::shared_ptr<CTFramesetter> AttributedLabel::framesetter()
{
    if (needsFramesetter_ || !framesetter_) {
        std::lock_guard<std::mutex> lock(framesetterMutex_);
        highlightFramesetter_ = nullptr;
        highlightText_ = nullptr;
        framesetter_ = AttributedLabel_cpp::framesetterOf(attributedText_);
        needsFramesetter_ = false;
    }
    return framesetter_;
}

CGSize AttributedLabel::sizeThatFits(CGSize size) const
{
    if (!attributedText_) {
        return UILabel::sizeThatFits(size);
    }
    const CGSize s = AttributedLabel_cpp::framesetterOf(attributedText_)->suggestFrameSizeWithConstraints(
        NSMakeRange(0, 0), CGSizeMake(size.width, FLT_MAX), nullptr);
    return CGSizeMake(std::ceil(s.width), std::ceil(s.height));
}

CGRect AttributedLabel::textRectForBounds_limitedToNumberOfLines(CGRect bounds, NSInteger lines)
{
    if (!attributedText_) {
        return UILabel::textRectForBounds_limitedToNumberOfLines(bounds, lines);
    }
    const CTTextFrame frame = framesetter()->createFrame(NSMakeRange(0, 0), CGRectMake(0, 0, bounds.size.width, bounds.size.height));
    CGFloat height = 0;
    CGFloat width = 0;
    for (size_t l = 0; l < frame.lines.size() && (lines <= 0 || l < size_t(lines)); ++l) {
        const CTTextLine& line = frame.lines[l];
        height += line.spaceAbove + line.height;
        width = std::max(width, line.x + line.width);
    }
    const CGFloat spare = std::max<CGFloat>(0, bounds.size.height - height);
    const CGFloat offset = verticalAlignment_ == 2 ? spare : verticalAlignment_ == 0 ? std::floor(spare / 2) : 0;
    return CGRectMake(bounds.origin.x, bounds.origin.y + offset, std::max<CGFloat>(width, bounds.size.width),
                      std::min(height, bounds.size.height));
}

void AttributedLabel::setHighlighted(bool highlighted)
{
    UILabel::setHighlighted(highlighted);
    setNeedsDisplay();
}

void AttributedLabel::drawFramesetter_textRange_inRect_context(const std::shared_ptr<CTFramesetter>& setter, NSRange range,
                                                              CGRect rect, const CGContextRef& c)
{
    if (!setter || !c) {
        return;
    }
    // Colours and underlines come from the text the framesetter was made of.
    const Ref<const TextAttributedString> text =
        setter == highlightFramesetter_ && highlightText_ ? highlightText_ : attributedText_;
    if (!text) {
        return;
    }
    const CTTextFrame frame = setter->createFrame(range, rect);
    const NSUInteger maxLines = numberOfLines() > 0 ? NSUInteger(numberOfLines()) : frame.lines.size();
    c->setTextMatrix(CGAffineTransform{1, 0, 0, -1, 0, 0});  // glyphs upright in the view's y-down space
    for (size_t l = 0; l < frame.lines.size() && l < maxLines; ++l) {
        const CTTextLine& line = frame.lines[l];
        // Back to the interface's y-down space: the baseline lies origin.y above the rect's bottom.
        const CGFloat baseline = frame.rect.origin.y + frame.rect.size.height - frame.lineOrigins[l].y;
        const CGFloat left = frame.rect.origin.x + frame.lineOrigins[l].x;
        for (const CTGlyphRun& run : line.runs) {
            if (run.glyphs.empty() || !run.font || run.range.location >= text->length()) {
                continue;
            }
            const Value attributes = text->attributesAtIndex_effectiveRange(run.range.location, nullptr);
            const Ref<UIColor> colour = attributes[kCTForegroundColorAttributeName].object<UIColor>();
            c->setFillColor((colour ? colour : UIColor::blackColor())->CGColor());
            c->setFont(run.font);
            c->setFontSize(run.pointSize);
            c->setTextPosition(left, baseline);
            c->showGlyphsAtPositions(run.glyphs.data(), run.positions.data(), run.glyphs.size());
            if (attributes[kCTUnderlineStyleAttributeName].intValue() != 0) {
                const CGFloat start = run.positions.front().x;
                const CGFloat end = line.offsetForStringIndex(run.range.location + run.range.length);
                c->fillRect(CGRectMake(left + start, baseline + 1, end - start, 1));
            }
        }
    }
}

void AttributedLabel::drawTextInRect(CGRect rect)
{
    using namespace AttributedLabel_cpp;
    const CGContextRef c = UIGraphicsGetCurrentContext();
    if (!attributedText_ || !c) {
        UILabel::drawTextInRect(rect);
        return;
    }
    // Shrinking: a scaled copy of the text for this draw only; the text and its links come back as
    // they were, without running setText again (which would drop the links the caller added).
    const Ref<TextAttributedString> kept = attributedText_;
    const std::vector<Ref<TextCheckingResult>> keptLinks = links_;
    bool shrunk = false;
    if (adjustsFontSizeToFitWidth() && numberOfLines() > 0) {
        double textWidth = sizeThatFits(CGSizeZero).width;
        const double available = frame().size.width * double(numberOfLines());
        if (numberOfLines() > 1 && lineBreakMode() == UILineBreakModeWordWrap) {
            textWidth *= kTwoLineWidthFactor;
        }
        if (textWidth > available && textWidth > 0) {
            const Ref<TextAttributedString> scaled =
                NSAttributedStringByScalingFontSize(kept, available / textWidth, minimumFontSize());
            // Swapped in place: a redraw request from inside the draw would draw again for ever.
            attributedText_ = scaled;
            needsFramesetter_ = true;
            shrunk = true;
        }
    }
    const CGSize measured = framesetter()->suggestFrameSizeWithConstraints(NSMakeRange(0, 0), rect.size, nullptr);
    if (measured.height < rect.size.height) {
        const CGFloat spare = rect.size.height - measured.height;
        const CGFloat offset = verticalAlignment_ == 2 ? spare : verticalAlignment_ == 0 ? std::floor(spare / 2) : 0;
        rect.origin.y += offset;
        rect.size.height -= offset;
    }
    c->saveGState();
    if (shadowColor() && !isHighlighted()) {
        c->setShadow(shadowOffset(), shadowRadius_, shadowColor()->CGColor());
    }
    std::shared_ptr<CTFramesetter> setter = framesetter();
    if (isHighlighted() && highlightedTextColor()) {
        if (!highlightFramesetter_) {
            const Ref<TextMutableAttributedString> lit = attributedText_->mutableCopy();
            lit->addAttribute_value_range(kCTForegroundColorAttributeName, Value(highlightedTextColor()),
                                          NSMakeRange(0, lit->length()));
            highlightText_ = lit;
            highlightFramesetter_ = framesetterOf(lit);
        }
        setter = highlightFramesetter_;
    }
    drawFramesetter_textRange_inRect_context(setter, NSMakeRange(0, 0), rect, c);
    c->restoreGState();
    if (shrunk) {
        attributedText_ = kept;
        needsFramesetter_ = true;
        links_ = keptLinks;
        updateInteraction();
    }
}

void AttributedLabel::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    const Ref<UITouch> touch = touches.anyObject();
    const std::shared_ptr<AttributedLabelDelegate> delegate = delegate_.lock();
    const Ref<TextCheckingResult> link = touch ? linkAtPoint(touch->locationInView(std::static_pointer_cast<UIView>(shared_from_this()))) : nullptr;
    if (!link || !delegate) {
        UILabel::touchesBegan_withEvent(touches, event);
        return;
    }
    switch (link->resultType) {
    case NSTextCheckingTypePhoneNumber:
        delegate->attributedLabel_didSelectLinkWithPhoneNumber(this, link->phoneNumber);
        break;
    case NSTextCheckingTypeDate:
        if (link->timeZone.empty() ||
            !delegate->attributedLabel_didSelectLinkWithDate_timeZone_duration(this, link->date, link->timeZone, link->duration)) {
            delegate->attributedLabel_didSelectLinkWithDate(this, link->date);
        }
        break;
    case NSTextCheckingTypeAddress:
        delegate->attributedLabel_didSelectLinkWithAddress(this, link->addressComponents);
        break;
    case NSTextCheckingTypeLink:
        delegate->attributedLabel_didSelectLinkWithURL(this, link->URL);
        break;
    default:
        break;
    }
}
