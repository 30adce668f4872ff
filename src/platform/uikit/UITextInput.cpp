#include "platform/uikit/UITextInput.h"

#include "platform/foundation/NSString.h"
#include "platform/uikit/UIKeyboard.h"

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
