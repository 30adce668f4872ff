#include "platform/uikit/UIKeyboard.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITextInput.h"

namespace {

struct KeyboardState {
    bool visible = false;
    CGFloat height = UIKeyboard::kDefaultHeight;
    int switching = 0;
    // The did-notification of the running animation, posted when it ends (or when the next one starts).
    Ref<NSTimer> pendingTimer;
    std::string pendingName;
    Value pendingInfo;
};

// The interface runs on the main thread; the keyboard lives for the whole process.
KeyboardState& state()
{
    static KeyboardState* instance = new KeyboardState;
    return *instance;
}

Value userInfo(CGRect begin, CGRect end)
{
    return Value::dictionary({
        {UIKeyboardFrameBeginUserInfoKey, Value(UIGeometryValue::valueWithCGRect(begin))},
        {UIKeyboardFrameEndUserInfoKey, Value(UIGeometryValue::valueWithCGRect(end))},
        {UIKeyboardAnimationDurationUserInfoKey, Value(UIKeyboard::kAnimationDuration)},
        {UIKeyboardAnimationCurveUserInfoKey, Value(0)},
        {UIKeyboardBoundsUserInfoKey,
         Value(UIGeometryValue::valueWithCGRect(CGRectMake(0, 0, end.size.width, end.size.height)))},
        {UIKeyboardCenterBeginUserInfoKey, Value(UIGeometryValue::valueWithCGPoint(
                                               CGPointMake(CGRectGetMidX(begin), CGRectGetMidY(begin))))},
        {UIKeyboardCenterEndUserInfoKey,
         Value(UIGeometryValue::valueWithCGPoint(CGPointMake(CGRectGetMidX(end), CGRectGetMidY(end))))},
    });
}

void post(const std::string& name, const Value& info)
{
    NSNotificationCenter::defaultCenter()->postNotificationName_object_userInfo(name, Value(), info);
}

void flushPending()
{
    KeyboardState& s = state();
    if (!s.pendingTimer) {
        return;
    }
    s.pendingTimer->invalidate();
    s.pendingTimer = nullptr;
    const std::string name = std::move(s.pendingName);
    const Value info = s.pendingInfo;
    s.pendingInfo = Value();
    post(name, info);
}

CGRect shownFrame()
{
    const CGRect screen = UIScreen::mainScreen()->bounds();
    return CGRectMake(0, screen.size.height - state().height, screen.size.width, state().height);
}

CGRect hiddenFrame()
{
    const CGRect screen = UIScreen::mainScreen()->bounds();
    return CGRectMake(0, screen.size.height, screen.size.width, state().height);
}

void animate(bool show)
{
    flushPending();
    KeyboardState& s = state();
    s.visible = show;
    const Value info = show ? userInfo(hiddenFrame(), shownFrame()) : userInfo(shownFrame(), hiddenFrame());
    post(show ? UIKeyboardWillShowNotification : UIKeyboardWillHideNotification, info);
    if (s.pendingTimer) {
        return;  // an observer of the will-notification already moved the keyboard again
    }
    s.pendingName = show ? UIKeyboardDidShowNotification : UIKeyboardDidHideNotification;
    s.pendingInfo = info;
    s.pendingTimer = Clock::scheduleAfter(UIKeyboard::kAnimationDuration, [] {
        KeyboardState& st = state();
        st.pendingTimer = nullptr;
        const std::string name = std::move(st.pendingName);
        const Value pendingInfo = st.pendingInfo;
        st.pendingInfo = Value();
        post(name, pendingInfo);
    });
}

UIKeyInput* keyInput()
{
    return dynamic_cast<UIKeyInput*>(UIResponder::currentFirstResponder().get());
}

}  // namespace

bool UIKeyboard::isVisible() { return state().visible; }

CGRect UIKeyboard::frame() { return state().visible ? shownFrame() : CGRectZero; }

CGFloat UIKeyboard::height() { return state().height; }

void UIKeyboard::setHeight(CGFloat height) { state().height = height; }

Ref<UIResponder> UIKeyboard::inputResponder()
{
    Ref<UIResponder> responder = UIResponder::currentFirstResponder();
    return dynamic_cast<UIKeyInput*>(responder.get()) != nullptr ? responder : nullptr;
}

bool UIKeyboard::typeText(const std::string& text)
{
    if (!inputResponder()) {
        return false;
    }
    for (char32_t c : NSString::toUTF32(text)) {
        Ref<UIResponder> keep = inputResponder();
        UIKeyInput* input = keyInput();
        if (!input) {
            break;  // a key (return) ended the editing
        }
        input->insertText(NSString::fromUTF32(std::u32string(1, c)));
    }
    return true;
}

bool UIKeyboard::pasteText(const std::string& text)
{
    Ref<UIResponder> keep = inputResponder();
    if (!keep) {
        return false;
    }
    keyInput()->insertText(text);
    return true;
}

bool UIKeyboard::pressReturn() { return pasteText("\n"); }

bool UIKeyboard::pressDelete()
{
    Ref<UIResponder> keep = inputResponder();
    if (!keep) {
        return false;
    }
    keyInput()->deleteBackward();
    return true;
}

void UIKeyboard::reset()
{
    KeyboardState& s = state();
    if (s.pendingTimer) {
        s.pendingTimer->invalidate();
        s.pendingTimer = nullptr;
    }
    s.pendingName.clear();
    s.pendingInfo = Value();
    s.visible = false;
    s.height = kDefaultHeight;
}

void UIKeyboard::inputDidBegin()
{
    if (!state().visible) {
        animate(true);
    }
}

void UIKeyboard::inputDidEnd()
{
    if (state().switching == 0 && state().visible && !inputResponder()) {
        animate(false);
    }
}

UIKeyboard::Switch::Switch() { ++state().switching; }

UIKeyboard::Switch::~Switch()
{
    if (--state().switching == 0) {
        inputDidEnd();
    }
}
