#include "platform/uikit/UIKeyboard.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITextInput.h"
#include "platform/uikit/UIKeyboardView.h"
#include "platform/uikit/UIWindow.h"

namespace {

struct KeyboardState {
    bool visible = false;
    CGFloat height = UIKeyboard::kDefaultHeight;
    int switching = 0;
    // The did-notification of the running animation, posted when it ends (or when the next one starts).
    Ref<NSTimer> pendingTimer;
    std::string pendingName;
    Value pendingInfo;
    // The drawn keyboard: a window of its own while the keyboard shows.
    Ref<UIWindow> window;
    Ref<UIKeyboardView> view;
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

// The drawn keyboard's window: it takes fingers only while a text input listens to it.
class UIKeyboardWindow : public UIWindow {
public:
    Ref<UIView> hitTest_withEvent(CGPoint point, const Ref<UIEvent>& event) override
    {
        return UIKeyboard::inputResponder() ? UIWindow::hitTest_withEvent(point, event) : nullptr;
    }
};

// Keeps the drawn keyboard's window in the keyboard's frame, shown while the keyboard is.
void showKeyboardWindow(bool show)
{
    KeyboardState& s = state();
    if (!show) {
        if (s.window) s.window->setHidden(true);
        return;
    }
    if (!s.window) {
        s.window = UIView::makeWithFrame<UIKeyboardWindow>(shownFrame());
        s.window->setWindowLevel(UIKeyboard::kWindowLevel);
        s.view = UIKeyboardView::initWithFrame(CGRectMake(0, 0, shownFrame().size.width, shownFrame().size.height));
        s.window->addSubview(s.view);
    }
    s.window->setFrame(shownFrame());
    s.view->setFrame(CGRectMake(0, 0, shownFrame().size.width, shownFrame().size.height));
    if (s.window->isHidden()) {
        s.view->setPage(UIKeyboardView::Letters);
    }
    s.view->setNeedsDisplay();
    s.window->setHidden(false);
}

void animate(bool show)
{
    flushPending();
    KeyboardState& s = state();
    s.visible = show;
    showKeyboardWindow(show);
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

bool UIKeyboard::pressCaretKey(UITextCaretKey key, bool shift)
{
    Ref<UIResponder> keep = inputResponder();
    auto input = std::dynamic_pointer_cast<UIEditableKeyInput>(keep);
    if (!input) {
        return false;
    }
    input->moveCaret(key, shift);
    return true;
}

bool UIKeyboard::pressCommand(char command)
{
    Ref<UIResponder> keep = inputResponder();
    auto input = std::dynamic_pointer_cast<UIEditableKeyInput>(keep);
    if (!input) {
        return false;
    }
    switch (command) {
    case 'a':
        input->selectAll();
        return true;
    case 'c':
        return input->copySelection();
    case 'x':
        return input->cutSelection();
    case 'v':
        return input->pasteFromPasteboard();
    default:
        return false;
    }
}

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
    showKeyboardWindow(false);
}

Ref<UIKeyboardView> UIKeyboard::keyboardView()
{
    return state().visible && state().window && !state().window->isHidden() ? state().view : nullptr;
}

void UIKeyboard::inputDidBegin()
{
    if (!state().visible) {
        animate(true);
    } else if (state().view) {
        showKeyboardWindow(true);  // the return key reads the new input's type
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
