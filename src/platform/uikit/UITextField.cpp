#include "platform/uikit/UITextField.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/TextLayout.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UITouch.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace UITextField_cpp {

void postNote(const char* name, const Ref<NSObject>& object)
{
    NSNotificationCenter::defaultCenter()->postNotificationName_object(name, Value(object));
}

}  // namespace UITextField_cpp
}  // namespace

void UITextField::initWithFrameBody(CGRect frame)
{
    UIControl::initWithFrameBody(frame);
    font_ = UIFont::systemFontOfSize(12);
    textColor_ = UIColor::blackColor();
    setContentVerticalAlignment(UIControlContentVerticalAlignmentTop);
}

void UITextField::setText(const std::string& text)
{
    text_ = text;
    const NSUInteger length = NSString::length(text_);
    selection_ = NSMakeRange(length, 0);
    setNeedsDisplay();
}

void UITextField::setFont(const Ref<UIFont>& font)
{
    font_ = font ? font : UIFont::systemFontOfSize(12);
    setNeedsDisplay();
}

void UITextField::setLeftView(const Ref<UIView>& view)
{
    if (leftView_) leftView_->removeFromSuperview();
    leftView_ = view;
    if (view) addSubview(view);
}

void UITextField::setRightView(const Ref<UIView>& view)
{
    if (rightView_) rightView_->removeFromSuperview();
    rightView_ = view;
    if (view) addSubview(view);
}

bool UITextField::isClearButtonShown() const
{
    if (text_.empty()) {
        return false;
    }
    switch (clearButtonMode_) {
    case UITextFieldViewModeWhileEditing:
        return editing_;
    case UITextFieldViewModeUnlessEditing:
        return !editing_;
    case UITextFieldViewModeAlways:
        return true;
    default:
        return false;
    }
}

void UITextField::setSelectedRange(NSRange range)
{
    forgetSelectionAnchor();
    setEditedSelection(range);
}

void UITextField::setEditedSelection(NSRange range)
{
    const NSUInteger length = NSString::length(text_);
    range.location = std::min(range.location, length);
    range.length = std::min(range.length, length - range.location);
    selection_ = range;
    if (editing_) {
        caretMoved(self<UIView>());
    }
}

void UITextField::replaceEdited(NSRange range, const std::string& replacement)
{
    // One line: pasted line breaks become spaces.
    std::string line = replacement;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    replace(range, line);
}

std::string UITextField::shownText() const
{
    if (!isSecureTextEntry()) {
        return text_;
    }
    std::string dots;
    for (NSUInteger i = 0, n = NSString::length(text_); i < n; ++i) {
        dots += "\u2022";
    }
    return dots;
}

CGRect UITextField::textArea() const
{
    CGRect area = CGRectInset(bounds(), borderStyle_ == UITextBorderStyleNone ? 0 : 8, 0);
    if (leftView_ && !leftView_->isHidden() && leftViewMode_ != UITextFieldViewModeNever) {
        const CGFloat right = CGRectGetMaxX(leftView_->frame());
        if (right > area.origin.x && right < CGRectGetMaxX(area)) {
            area.size.width -= right - area.origin.x;
            area.origin.x = right;
        }
    }
    return area;
}

CGRect UITextField::caretRectForIndex(NSUInteger index) const
{
    const std::string shown = shownText();
    index = std::min(index, NSString::length(shown));
    const textlayout::FontAtSize metrics = font_->metrics();
    const CGRect area = textArea();
    const CGFloat width = textlayout::widthOfText(shown, metrics);
    CGFloat x = area.origin.x;
    if (alignment_ == UITextAlignmentCenter) {
        x += (area.size.width - width) / 2;
    } else if (alignment_ == UITextAlignmentRight) {
        x += area.size.width - width;
    }
    x += textlayout::widthOfText(NSString::substringToIndex(shown, index), metrics);
    x = std::clamp(x, area.origin.x, std::max(area.origin.x, CGRectGetMaxX(area) - 2));
    const CGFloat height = std::ceil(font_->lineHeight());
    const CGFloat y = area.origin.y + std::round((area.size.height - height) / 2);
    return CGRectMake(std::round(x), y, 2, height);
}

NSUInteger UITextField::characterIndexNearestPoint(CGPoint point) const
{
    const NSUInteger length = NSString::length(text_);
    NSUInteger best = length;
    CGFloat bestDistance = INFINITY;
    for (NSUInteger i = 0; i <= length; ++i) {
        if (i > 0 && i < length) {
            const unichar c = NSString::characterAtIndex(text_, i);
            if (c >= 0xDC00 && c <= 0xDFFF) {
                continue;  // never inside a surrogate pair
            }
        }
        const CGFloat d = std::fabs(CGRectGetMidX(caretRectForIndex(i)) - point.x);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

bool UITextField::canBecomeFirstResponder() const { return isEnabled() && isUserInteractionEnabled(); }

bool UITextField::becomeFirstResponder()
{
    if (isFirstResponder()) {
        return true;
    }
    if (!canBecomeFirstResponder()) {
        return false;
    }
    Ref<UITextField> me = self<UITextField>();
    if (auto delegate = delegate_.lock(); delegate && !delegate->textFieldShouldBeginEditing(me)) {
        return false;
    }
    {
        UIKeyboard::Switch keepKeyboard;
        if (!UIResponder::becomeFirstResponder()) {
            return false;
        }
        editing_ = true;
        if (clearsOnBeginEditing_) {
            setText(std::string());
        }
        selection_ = NSMakeRange(NSString::length(text_), 0);
        forgetSelectionAnchor();
        caretMoved(me);
        UIKeyboard::inputDidBegin();
    }
    if (auto delegate = delegate_.lock()) {
        delegate->textFieldDidBeginEditing(me);
    }
    sendActionsForControlEvents(UIControlEventEditingDidBegin);
    UITextField_cpp::postNote(UITextFieldTextDidBeginEditingNotification, me);
    return true;
}

bool UITextField::resignFirstResponder()
{
    if (!isFirstResponder()) {
        return UIResponder::resignFirstResponder();
    }
    Ref<UITextField> me = self<UITextField>();
    if (auto delegate = delegate_.lock(); delegate && !delegate->textFieldShouldEndEditing(me)) {
        return false;
    }
    if (!UIResponder::resignFirstResponder()) {
        return false;
    }
    editing_ = false;
    caretStopped();
    setNeedsDisplay();
    if (auto delegate = delegate_.lock()) {
        delegate->textFieldDidEndEditing(me);
    }
    sendActionsForControlEvents(UIControlEventEditingDidEnd);
    UITextField_cpp::postNote(UITextFieldTextDidEndEditingNotification, me);
    UIKeyboard::inputDidEnd();
    return true;
}

void UITextField::replace(NSRange range, const std::string& replacement)
{
    Ref<UITextField> me = self<UITextField>();
    if (auto delegate = delegate_.lock();
        delegate && !delegate->textField_shouldChangeCharactersInRange_replacementString(me, range, replacement)) {
        return;
    }
    text_ = NSString::stringByReplacingCharactersInRange_withString(text_, range, replacement);
    selection_ = NSMakeRange(range.location + NSString::length(replacement), 0);
    forgetSelectionAnchor();
    if (editing_) {
        caretMoved(me);
    }
    setNeedsDisplay();
    sendActionsForControlEvents(UIControlEventEditingChanged);
    UITextField_cpp::postNote(UITextFieldTextDidChangeNotification, me);
}

void UITextField::insertText(const std::string& text)
{
    if (text == "\n") {
        Ref<UITextField> me = self<UITextField>();
        if (auto delegate = delegate_.lock(); delegate && !delegate->textFieldShouldReturn(me)) {
            return;
        }
        const bool exits = (allControlEvents() & UIControlEventEditingDidEndOnExit) != 0;
        sendActionsForControlEvents(UIControlEventEditingDidEndOnExit);
        if (exits) {
            resignFirstResponder();
        }
        return;
    }
    replace(selection_, text);
}

void UITextField::deleteBackward()
{
    if (std::optional<NSRange> range = rangeForDeleteBackward(text_, selection_)) {
        replace(*range, std::string());
    }
}

bool UITextField::beginEditingIfNeeded() { return isFirstResponder() || becomeFirstResponder(); }

bool UITextField::simulateClearButtonTap()
{
    Ref<UITextField> me = self<UITextField>();
    if (auto delegate = delegate_.lock(); delegate && !delegate->textFieldShouldClear(me)) {
        return false;
    }
    setText(std::string());
    sendActionsForControlEvents(UIControlEventEditingChanged);
    UITextField_cpp::postNote(UITextFieldTextDidChangeNotification, me);
    return true;
}

void UITextField::willMoveToWindow(const Ref<UIWindow>& window)
{
    UIControl::willMoveToWindow(window);
    if (!window && isFirstResponder()) {
        resignFirstResponder();
    }
}

void UITextField::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    Ref<UITextField> me = self<UITextField>();
    Ref<UITouch> touch = touches.anyObject();
    const bool inside = touch && CGRectContainsPoint(bounds(), touch->locationInView(me));
    UIControl::touchesEnded_withEvent(touches, event);
    if (inside && isEnabled() && becomeFirstResponder()) {
        setSelectedRange(NSMakeRange(characterIndexNearestPoint(touch->locationInView(me)), 0));
    }
}

CGSize UITextField::sizeThatFits(CGSize size) const
{
    return CGSizeMake(bounds().size.width, std::ceil(font_->lineHeight()) + 4);
}
