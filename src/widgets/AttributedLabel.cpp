#include "widgets/AttributedLabel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

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

std::vector<CTStyleRun> styleRuns(const TextAttributedString& text)
{
    std::vector<CTStyleRun> runs;
    const TextAttributeRuns& attributeRuns = text.attributes();
    for (size_t r = 0; r < attributeRuns.size(); ++r) {
        const NSUInteger start = attributeRuns[r]->index();
        const NSUInteger end = r + 1 < attributeRuns.size() ? attributeRuns[r + 1]->index() : text.length();
        const Ref<TextFont> font = fontOf(attributeRuns[r]->attributes());
        runs.push_back({start, end - start, font ? font->cgFont() : CGFontRef(), font ? font->pointSize() : 12});
    }
    return runs;
}

std::shared_ptr<CTFramesetter> framesetterOf(const Ref<const TextAttributedString>& text)
{
    return CTFramesetter::create(text ? text->utf16String() : std::u16string(),
                                 text ? styleRuns(*text) : std::vector<CTStyleRun>{});
}

bool isPhoneCharacter(char16_t c) { return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u' ' || c == u'(' || c == u')'; }

// Web addresses ("http://", "https://", "www.") up to the next space, and runs of at least seven digits
// (with the usual separators) as phone numbers.
std::vector<Ref<TextCheckingResult>> detect(const std::u16string& text, uint64_t types)
{
    std::vector<Ref<TextCheckingResult>> found;
    size_t i = 0;
    while (i < text.size()) {
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
            auto result = std::make_shared<TextCheckingResult>();
            result->resultType = NSTextCheckingTypeLink;
            result->range = NSMakeRange(i, end - i);
            const std::string url = NSString::fromUTF16(text.substr(i, end - i));
            result->URL = rest.starts_with(u"www.") ? "http://" + url : url;
            found.push_back(result);
            i = end;
            continue;
        }
        if ((types & NSTextCheckingTypePhoneNumber) && ((text[i] >= u'0' && text[i] <= u'9') || text[i] == u'+')) {
            size_t end = i;
            size_t digits = 0;
            while (end < text.size() && isPhoneCharacter(text[end])) {
                digits += text[end] >= u'0' && text[end] <= u'9' ? 1 : 0;
                ++end;
            }
            while (end > i && !(text[end - 1] >= u'0' && text[end - 1] <= u'9')) {
                --end;
            }
            if (digits >= 7) {
                auto result = std::make_shared<TextCheckingResult>();
                result->resultType = NSTextCheckingTypePhoneNumber;
                result->range = NSMakeRange(i, end - i);
                result->phoneNumber = NSString::fromUTF16(text.substr(i, end - i));
                found.push_back(result);
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
    using namespace AttributedLabel_cpp;
    Value attributes = Value::dictionary();
    if (const Ref<TextFont> font = labelFont(this->font())) {
        attributes.setObject_forKey(Value(font), kCTFontAttributeName);
    }
    attributes.setObject_forKey(Value(textColor() ? textColor() : UIColor::blackColor()), kCTForegroundColorAttributeName);
    setAttributedTextAndLinks(TextAttributedString::initWithString_attributes(text, attributes));
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
        height += line.ascent + line.descent + line.leading;
        width = std::max(width, line.width);
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

void AttributedLabel::drawFrame(const CTTextFrame& frame, const Ref<const TextAttributedString>& text)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const NSUInteger maxLines = numberOfLines() > 0 ? NSUInteger(numberOfLines()) : frame.lines.size();
    c->setTextMatrix(CGAffineTransform{1, 0, 0, -1, 0, 0});  // glyphs upright in the view's y-down space
    for (size_t l = 0; l < frame.lines.size() && l < maxLines; ++l) {
        const CTTextLine& line = frame.lines[l];
        // Back to the interface's y-down space: the baseline lies origin.y above the rect's bottom.
        const CGFloat baseline = frame.rect.origin.y + frame.rect.size.height - frame.lineOrigins[l].y;
        const CGFloat left = frame.rect.origin.x + frame.lineOrigins[l].x;
        for (const CTGlyphRun& run : line.runs) {
            if (run.glyphs.empty() || !run.font) {
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
            const Ref<TextMutableAttributedString> scaled = kept->mutableCopy();
            const TextAttributeRuns runs = kept->attributes();
            for (size_t r = 0; r < runs.size(); ++r) {
                const Ref<TextFont> font = fontOf(runs[r]->attributes());
                const NSUInteger start = runs[r]->index();
                const NSUInteger end = r + 1 < runs.size() ? runs[r + 1]->index() : kept->length();
                const double size = std::max<double>(std::floor(font ? font->pointSize() * available / textWidth : 0), minimumFontSize());
                if (font && size > 0 && end > start) {
                    scaled->addAttribute_value_range(kCTFontAttributeName, Value(font->fontWithSize(float(size))),
                                                     NSMakeRange(start, end - start));
                }
            }
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
        c->setShadow(shadowOffset(), 0, shadowColor()->CGColor());
    }
    Ref<const TextAttributedString> drawn = attributedText_;
    std::shared_ptr<CTFramesetter> setter = framesetter();
    if (isHighlighted() && highlightedTextColor()) {
        const Ref<TextMutableAttributedString> lit = attributedText_->mutableCopy();
        lit->addAttribute_value_range(kCTForegroundColorAttributeName, Value(highlightedTextColor()), NSMakeRange(0, lit->length()));
        drawn = lit;
    }
    drawFrame(setter->createFrame(NSMakeRange(0, 0), rect), drawn);
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
    if (link->resultType == NSTextCheckingTypePhoneNumber) {
        delegate->attributedLabel_didSelectLinkWithPhoneNumber(this, link->phoneNumber);
    } else if (link->resultType == NSTextCheckingTypeLink) {
        delegate->attributedLabel_didSelectLinkWithURL(this, link->URL);
    }
}
