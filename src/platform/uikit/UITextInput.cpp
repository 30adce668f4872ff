#include "platform/uikit/UITextInput.h"

#include <algorithm>

#include "platform/foundation/NSString.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIPasteboard.h"
#include "platform/uikit/UIView.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"

bool UIEditableKeyInput::simulateTypeText(const std::string& text)
{
    if (!beginEditingIfNeeded()) {
        return false;
    }
    return UIKeyboard::typeText(text);
}

bool UIEditableKeyInput::simulateReturnKey()
{
    if (!beginEditingIfNeeded()) {
        return false;
    }
    insertText("\n");
    return true;
}

std::optional<NSRange> UIEditableKeyInput::rangeForDeleteBackward(const std::string& text, NSRange selection)
{
    if (selection.length > 0) {
        return selection;
    }
    const NSUInteger index = selection.location;
    NSUInteger units = index >= 1 ? 1 : 0;
    if (index >= 2) {
        const unichar low = NSString::characterAtIndex(text, index - 1);
        const unichar high = NSString::characterAtIndex(text, index - 2);
        if (low >= 0xDC00 && low <= 0xDFFF && high >= 0xD800 && high <= 0xDBFF) {
            units = 2;
        }
    }
    if (units == 0) {
        return std::nullopt;
    }
    return NSMakeRange(index - units, units);
}

namespace {
namespace UITextInput_cpp {

bool isHigh(unichar c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(unichar c) { return c >= 0xDC00 && c <= 0xDFFF; }

// One character before or after index, a surrogate pair counting as one.
NSUInteger previousIndex(const std::string& text, NSUInteger index)
{
    if (index == 0) return 0;
    if (index >= 2 && isLow(NSString::characterAtIndex(text, index - 1)) &&
        isHigh(NSString::characterAtIndex(text, index - 2))) {
        return index - 2;
    }
    return index - 1;
}

NSUInteger nextIndex(const std::string& text, NSUInteger index, NSUInteger length)
{
    if (index >= length) return length;
    if (index + 1 < length && isHigh(NSString::characterAtIndex(text, index)) &&
        isLow(NSString::characterAtIndex(text, index + 1))) {
        return index + 2;
    }
    return index + 1;
}

NSUInteger lineStart(const std::string& text, NSUInteger index)
{
    while (index > 0 && NSString::characterAtIndex(text, index - 1) != u'\n') --index;
    return index;
}

NSUInteger lineEnd(const std::string& text, NSUInteger index, NSUInteger length)
{
    while (index < length && NSString::characterAtIndex(text, index) != u'\n') ++index;
    return index;
}

}  // namespace UITextInput_cpp
}  // namespace

void UIEditableKeyInput::moveCaret(UITextCaretKey key, bool extend)
{
    using namespace UITextInput_cpp;
    const std::string& text = editedText();
    const NSUInteger length = NSString::length(text);
    const NSRange selection = editedSelection();
    const NSUInteger start = std::min(selection.location, length);
    const NSUInteger end = std::min(start + selection.length, length);
    const bool backwards = key == UITextCaretKey::Left || key == UITextCaretKey::Home;
    auto moved = [&](NSUInteger index) {
        switch (key) {
        case UITextCaretKey::Left:
            return previousIndex(text, index);
        case UITextCaretKey::Right:
            return nextIndex(text, index, length);
        case UITextCaretKey::Home:
            return lineStart(text, index);
        case UITextCaretKey::End:
            return lineEnd(text, index, length);
        }
        return index;
    };
    if (!extend) {
        anchored_ = false;
        const bool collapse = selection.length > 0 && (key == UITextCaretKey::Left || key == UITextCaretKey::Right);
        setEditedSelection(NSMakeRange(collapse ? (backwards ? start : end) : moved(backwards ? start : end), 0));
        return;
    }
    // The end that stays is where the Shift selection began; a selection made any other way grows on
    // the side the key points to.
    NSUInteger anchor = backwards ? end : start;
    NSUInteger free = backwards ? start : end;
    if (anchored_ && (anchor_ == start || anchor_ == end)) {
        anchor = anchor_;
        free = anchor_ == start ? end : start;
    }
    const NSUInteger to = moved(free);
    setEditedSelection(NSMakeRange(std::min(anchor, to), std::max(anchor, to) - std::min(anchor, to)));
    anchor_ = anchor;
    anchored_ = true;
}

void UIEditableKeyInput::selectAll()
{
    setEditedSelection(NSMakeRange(0, NSString::length(editedText())));
    anchor_ = 0;
    anchored_ = true;
}

bool UIEditableKeyInput::copySelection()
{
    const NSRange selection = editedSelection();
    if (selection.length == 0 || isSecureTextEntry()) {
        return false;
    }
    UIPasteboard::generalPasteboard()->setString(NSString::substringWithRange(editedText(), selection));
    return true;
}

bool UIEditableKeyInput::cutSelection()
{
    if (!copySelection()) {
        return false;
    }
    replaceEdited(editedSelection(), std::string());
    anchored_ = false;
    return true;
}

bool UIEditableKeyInput::pasteFromPasteboard()
{
    const std::string text = UIPasteboard::generalPasteboard()->string();
    if (text.empty()) {
        return false;
    }
    replaceEdited(editedSelection(), text);
    anchored_ = false;
    return true;
}

namespace {
bool g_caretBlinks = false;  // main thread only
}  // namespace

void UIEditableKeyInput::setCaretBlinks(bool blinks) { g_caretBlinks = blinks; }

bool UIEditableKeyInput::caretBlinks() { return g_caretBlinks; }

UIEditableKeyInput::~UIEditableKeyInput()
{
    if (blink_) {
        blink_->invalidate();
    }
}

void UIEditableKeyInput::caretMoved(const Ref<UIView>& view)
{
    caretOn_ = true;
    if (blink_) {
        blink_->invalidate();
        blink_ = nullptr;
    }
    if (view) {
        view->setNeedsDisplay();
    }
    if (!g_caretBlinks || !view) {
        return;
    }
    Weak<UIView> weak = view;
    blink_ = NSTimer::timerWithTimeInterval(0.5, true, [this, weak] {
        if (auto v = weak.lock()) {
            caretOn_ = !caretOn_;
            v->setNeedsDisplay();
        }
    });
    NSRunLoop::currentRunLoop()->addTimer(blink_, kCFRunLoopCommonModes);
}

void UIEditableKeyInput::caretStopped()
{
    caretOn_ = false;
    if (blink_) {
        blink_->invalidate();
        blink_ = nullptr;
    }
}
