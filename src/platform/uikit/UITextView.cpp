#include "platform/uikit/UITextView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/TextLayout.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UITouch.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace UITextView_cpp {

constexpr CGFloat kInset = 8;

void postNote(const char* name, const Ref<NSObject>& object)
{
    NSNotificationCenter::defaultCenter()->postNotificationName_object(name, Value(object));
}

}  // namespace UITextView_cpp
}  // namespace

void UITextView::initWithFrameBody(CGRect frame)
{
    UIScrollView::initWithFrameBody(frame);
    font_ = UIFont::systemFontOfSize(12);
    textColor_ = UIColor::blackColor();
    setBackgroundColor(UIColor::whiteColor());
    updateContentSize();
}

void UITextView::setDelegate(const Ref<UIScrollViewDelegate>& delegate)
{
    UIScrollView::setDelegate(delegate);
    delegate_ = std::dynamic_pointer_cast<UITextViewDelegate>(delegate);
}

void UITextView::updateContentSize()
{
    const CGSize size = bounds().size;
    CGFloat height = 2 * UITextView_cpp::kInset;
    if (!text_.empty()) {
        const CGFloat width = std::max<CGFloat>(0, size.width - 2 * UITextView_cpp::kInset);
        height += UIStringDrawing::sizeWithFont_constrainedToSize_lineBreakMode(
                      text_, font_, CGSizeMake(width, 100000), UILineBreakModeWordWrap)
                      .height;
    }
    setContentSize(CGSizeMake(size.width, height));
}

void UITextView::setText(const std::string& text)
{
    text_ = text;
    selection_ = NSMakeRange(NSString::length(text_), 0);
    updateContentSize();
    setNeedsDisplay();
}

void UITextView::setFont(const Ref<UIFont>& font)
{
    font_ = font ? font : UIFont::systemFontOfSize(12);
    updateContentSize();
    setNeedsDisplay();
}

void UITextView::setFrame(CGRect frame)
{
    UIScrollView::setFrame(frame);
    updateContentSize();
}

void UITextView::setEditable(bool editable)
{
    editable_ = editable;
    if (!editable && isFirstResponder()) {
        resignFirstResponder();
    }
}

void UITextView::setSelectedRange(NSRange range)
{
    forgetSelectionAnchor();
    setEditedSelection(range);
}

void UITextView::setEditedSelection(NSRange range)
{
    const NSUInteger length = NSString::length(text_);
    range.location = std::min(range.location, length);
    range.length = std::min(range.length, length - range.location);
    selection_ = range;
    if (editing_) {
        caretMoved(self<UIView>());
    }
    if (auto delegate = delegate_.lock()) {
        delegate->textViewDidChangeSelection(self<UITextView>());
    }
}

std::vector<UITextView::TextLine> UITextView::textLines() const
{
    using UITextView_cpp::kInset;
    const CGFloat width = std::max<CGFloat>(0, bounds().size.width - 2 * kInset);
    const textlayout::FontAtSize metrics = font_->metrics();
    std::vector<TextLine> lines;
    if (text_.empty()) {
        CGFloat x = kInset;
        if (alignment_ == UITextAlignmentCenter) x += width / 2;
        if (alignment_ == UITextAlignmentRight) x += width;
        lines.push_back({0, 0, x, kInset});
        return lines;
    }
    const textlayout::Layout layout =
        textlayout::layoutText(text_, metrics, width, INFINITY, 0, textlayout::LineBreak(UILineBreakModeWordWrap));
    // The wrapped lines show the text in order; what lies between them is line breaks and the
    // spaces a wrapped line hangs.
    size_t byte = 0;
    for (size_t i = 0; i < layout.lines.size(); ++i) {
        const textlayout::Line& line = layout.lines[i];
        size_t at = line.text.empty() ? byte : text_.find(line.text, byte);
        if (at == std::string::npos) at = byte;
        const size_t after = at + line.text.size();
        CGFloat x = kInset;
        if (alignment_ == UITextAlignmentCenter) x += (width - line.width) / 2;
        if (alignment_ == UITextAlignmentRight) x += width - line.width;
        lines.push_back({NSString::length(std::string_view(text_).substr(0, at)),
                         NSString::length(std::string_view(text_).substr(0, after)), x,
                         kInset + layout.lineHeight * CGFloat(i)});
        byte = after;
        if (line.text.empty() && byte < text_.size() && text_[byte] == '\n') {
            ++byte;
        }
    }
    // A line break at the very end opens an empty line for the caret.
    if (text_.back() == '\n') {
        const NSUInteger length = NSString::length(text_);
        lines.push_back({length, length, kInset, kInset + layout.lineHeight * CGFloat(layout.lines.size())});
    }
    return lines;
}

CGRect UITextView::caretRectForIndex(NSUInteger index) const
{
    const std::vector<TextLine> lines = textLines();
    index = std::min(index, NSString::length(text_));
    size_t k = 0;
    while (k + 1 < lines.size() && index >= lines[k + 1].start && !(index == lines[k].end && index < lines[k + 1].start)) {
        ++k;
    }
    const TextLine& line = lines[k];
    const NSUInteger upTo = std::clamp(index, line.start, line.end);
    const CGFloat x = line.x + textlayout::widthOfText(
                                   NSString::substringWithRange(text_, NSMakeRange(line.start, upTo - line.start)),
                                   font_->metrics());
    return CGRectMake(std::round(x), line.y, 2, std::ceil(font_->lineHeight()));
}

NSUInteger UITextView::characterIndexNearestPoint(CGPoint point) const
{
    const std::vector<TextLine> lines = textLines();
    size_t k = 0;
    while (k + 1 < lines.size() && point.y >= lines[k + 1].y) {
        ++k;
    }
    const TextLine& line = lines[k];
    NSUInteger best = line.end;
    CGFloat bestDistance = INFINITY;
    for (NSUInteger i = line.start; i <= line.end; ++i) {
        if (i > line.start && i < line.end) {
            const unichar c = NSString::characterAtIndex(text_, i);
            if (c >= 0xDC00 && c <= 0xDFFF) {
                continue;
            }
        }
        const CGFloat x = line.x + textlayout::widthOfText(
                                       NSString::substringWithRange(text_, NSMakeRange(line.start, i - line.start)),
                                       font_->metrics());
        if (std::fabs(x - point.x) < bestDistance) {
            bestDistance = std::fabs(x - point.x);
            best = i;
        }
    }
    return best;
}

void UITextView::scrollRangeToVisible(NSRange range)
{
    // The end of the text is at the bottom of the content; anything else is shown from the top.
    const CGFloat max = maximumContentOffset().y;
    if (NSMaxRange(range) >= NSString::length(text_)) {
        setContentOffset(CGPointMake(contentOffset().x, max));
    }
}

bool UITextView::canBecomeFirstResponder() const { return editable_ && isUserInteractionEnabled(); }

bool UITextView::becomeFirstResponder()
{
    if (isFirstResponder()) {
        return true;
    }
    if (!canBecomeFirstResponder()) {
        return false;
    }
    Ref<UITextView> me = self<UITextView>();
    if (auto delegate = delegate_.lock(); delegate && !delegate->textViewShouldBeginEditing(me)) {
        return false;
    }
    {
        UIKeyboard::Switch keepKeyboard;
        if (!UIResponder::becomeFirstResponder()) {
            return false;
        }
        editing_ = true;
        selection_ = NSMakeRange(NSString::length(text_), 0);
        forgetSelectionAnchor();
        caretMoved(me);
        UIKeyboard::inputDidBegin();
    }
    if (auto delegate = delegate_.lock()) {
        delegate->textViewDidBeginEditing(me);
    }
    UITextView_cpp::postNote(UITextViewTextDidBeginEditingNotification, me);
    return true;
}

bool UITextView::resignFirstResponder()
{
    if (!isFirstResponder()) {
        return UIResponder::resignFirstResponder();
    }
    Ref<UITextView> me = self<UITextView>();
    if (auto delegate = delegate_.lock(); delegate && !delegate->textViewShouldEndEditing(me)) {
        return false;
    }
    if (!UIResponder::resignFirstResponder()) {
        return false;
    }
    editing_ = false;
    caretStopped();
    setNeedsDisplay();
    if (auto delegate = delegate_.lock()) {
        delegate->textViewDidEndEditing(me);
    }
    UITextView_cpp::postNote(UITextViewTextDidEndEditingNotification, me);
    UIKeyboard::inputDidEnd();
    return true;
}

void UITextView::replace(NSRange range, const std::string& replacement)
{
    Ref<UITextView> me = self<UITextView>();
    if (auto delegate = delegate_.lock();
        delegate && !delegate->textView_shouldChangeTextInRange_replacementText(me, range, replacement)) {
        return;
    }
    text_ = NSString::stringByReplacingCharactersInRange_withString(text_, range, replacement);
    selection_ = NSMakeRange(range.location + NSString::length(replacement), 0);
    forgetSelectionAnchor();
    if (editing_) {
        caretMoved(me);
    }
    updateContentSize();
    setNeedsDisplay();
    if (auto delegate = delegate_.lock()) {
        delegate->textViewDidChange(me);
    }
    UITextView_cpp::postNote(UITextViewTextDidChangeNotification, me);
}

void UITextView::insertText(const std::string& text)
{
    if (!editable_) {
        return;
    }
    replace(selection_, text);
}

void UITextView::deleteBackward()
{
    if (!editable_) {
        return;
    }
    if (std::optional<NSRange> range = rangeForDeleteBackward(text_, selection_)) {
        replace(*range, std::string());
    }
}

bool UITextView::beginEditingIfNeeded() { return isFirstResponder() || becomeFirstResponder(); }

void UITextView::willMoveToWindow(const Ref<UIWindow>& window)
{
    UIScrollView::willMoveToWindow(window);
    if (!window && isFirstResponder()) {
        resignFirstResponder();
    }
}

void UITextView::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    Ref<UITextView> me = self<UITextView>();
    Ref<UITouch> touch = touches.anyObject();
    if (touch && CGRectContainsPoint(bounds(), touch->locationInView(me)) && editable_) {
        if (becomeFirstResponder()) {
            setSelectedRange(NSMakeRange(characterIndexNearestPoint(touch->locationInView(me)), 0));
        }
        return;
    }
    UIScrollView::touchesEnded_withEvent(touches, event);
}

void UITextView::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    if (editing_ && selection_.length > 0) {
        // The selection's part of every line it crosses.
        c->saveGState();
        c->setFillColor(CGColor::createRGB(0.70, 0.82, 0.96, 1));
        for (const TextLine& line : textLines()) {
            const NSUInteger from = std::max(line.start, selection_.location);
            const NSUInteger to = std::min(line.end, NSMaxRange(selection_));
            if (from >= to) continue;
            const CGRect a = caretRectForIndex(from);
            const CGRect z = caretRectForIndex(to);
            c->fillRect(CGRectMake(a.origin.x, a.origin.y, z.origin.x - a.origin.x, a.size.height));
        }
        c->restoreGState();
    } else if (editing_ && isCaretShown()) {
        c->saveGState();
        c->setFillColor(CGColor::createRGB(0.16, 0.44, 0.76, 1));
        c->fillRect(caretRectForIndex(selection_.location));
        c->restoreGState();
    }
    if (text_.empty()) {
        return;
    }
    const CGRect b = bounds();
    const CGFloat inset = UITextView_cpp::kInset;
    c->saveGState();
    c->setFillColor(textColor_ ? textColor_->CGColor() : CGColor::createGray(0, 1));
    UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(
        text_, CGRectMake(inset, inset, std::max<CGFloat>(0, b.size.width - 2 * inset), 100000), font_,
        UILineBreakModeWordWrap, alignment_);
    c->restoreGState();
}
