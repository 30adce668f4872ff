#include "platform/uikit/UITextView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGContext.h"
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
    const NSUInteger length = NSString::length(text_);
    range.location = std::min(range.location, length);
    range.length = std::min(range.length, length - range.location);
    selection_ = range;
    if (auto delegate = delegate_.lock()) {
        delegate->textViewDidChangeSelection(self<UITextView>());
    }
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
        becomeFirstResponder();
        return;
    }
    UIScrollView::touchesEnded_withEvent(touches, event);
}

void UITextView::drawRect(CGRect)
{
    if (text_.empty()) {
        return;
    }
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const CGFloat inset = UITextView_cpp::kInset;
    c->saveGState();
    c->setFillColor(textColor_ ? textColor_->CGColor() : CGColor::createGray(0, 1));
    UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(
        text_, CGRectMake(inset, inset, std::max<CGFloat>(0, b.size.width - 2 * inset), 100000), font_,
        UILineBreakModeWordWrap, alignment_);
    c->restoreGState();
}
