#include "platform/screen/UIScreenInput.h"

#include <vector>

#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKeyFocus.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITouch.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/UIWindowSnapshot.h"

namespace {
namespace UIScreenInput_cpp {

struct Finger {
    bool down = false;
    Weak<UIWindow> window;       // the window the touch belongs to
    Weak<UIView> overlay;        // or the alert or sheet
    NSInteger overlayButton = -1;
};

Finger& finger()
{
    static Finger* state = new Finger();  // main thread only
    return *state;
}

// The alert or sheet that takes touches now: the last shown of those on show (alerts over sheets).
Ref<UIView> frontOverlay()
{
    const auto alerts = UIAlertView::visibleAlerts();
    if (!alerts.empty()) {
        return alerts.back();
    }
    const auto sheets = UIActionSheet::visibleSheets();
    if (!sheets.empty()) {
        return sheets.back();
    }
    return nullptr;
}

NSInteger overlayButtonAt(const Ref<UIView>& overlay, CGPoint screenPoint)
{
    const CGRect frame = UIWindowOverlayFrame(overlay, UIScreenInput::screenSize());
    const CGPoint p = CGPointMake(screenPoint.x - frame.origin.x, screenPoint.y - frame.origin.y);
    if (auto alert = std::dynamic_pointer_cast<UIAlertView>(overlay)) {
        for (NSInteger i = 0; i < alert->numberOfButtons(); ++i) {
            if (CGRectContainsPoint(alert->buttonFrameAtIndex(i), p)) return i;
        }
    } else if (auto sheet = std::dynamic_pointer_cast<UIActionSheet>(overlay)) {
        for (NSInteger i = 0; i < sheet->numberOfButtons(); ++i) {
            if (CGRectContainsPoint(sheet->buttonFrameAtIndex(i), p)) return i;
        }
    }
    return -1;
}

CGPoint inWindow(const Ref<UIWindow>& window, CGPoint screenPoint)
{
    return window->layer()->convertPoint_fromLayer(screenPoint, nullptr);
}

// The topmost visible window that takes a finger at this screen point (null when none does).
Ref<UIWindow> topWindowAt(CGPoint point)
{
    auto windows = UIApplication::sharedApplication()->windows();  // lowest level first
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        const Ref<UIWindow>& window = *it;
        if (window->isHidden() || !window->isUserInteractionEnabled()) {
            continue;
        }
        if (window->hitTest_withEvent(inWindow(window, point), std::make_shared<UIEvent>())) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace UIScreenInput_cpp
}  // namespace

CGSize UIScreenInput::screenSize()
{
    return UIScreen::mainScreen()->bounds().size;
}

Ref<UIView> UIScreenInput::touchDown(CGPoint point)
{
    using namespace UIScreenInput_cpp;
    if (finger().down) {
        touchUp(point);
    }
    Finger& f = finger();
    f = Finger();
    if (Ref<UIView> overlay = frontOverlay()) {
        f.down = true;
        f.overlay = overlay;
        f.overlayButton = overlayButtonAt(overlay, point);
        return nullptr;
    }
    const Ref<UIWindow> window = topWindowAt(point);
    if (!window) {
        return nullptr;
    }
    Ref<UIView> view = window->simulateTouchBegan(inWindow(window, point));
    if (view) {
        f.down = true;
        f.window = window;
    }
    return view;
}

Ref<UIView> UIScreenInput::viewAt(CGPoint point)
{
    using namespace UIScreenInput_cpp;
    if (frontOverlay()) {
        return nullptr;
    }
    const Ref<UIWindow> window = topWindowAt(point);
    return window ? window->hitTest_withEvent(inWindow(window, point), std::make_shared<UIEvent>()) : nullptr;
}

void UIScreenInput::touchMoved(CGPoint point)
{
    using namespace UIScreenInput_cpp;
    if (auto window = finger().window.lock(); finger().down && window) {
        window->simulateTouchMoved(inWindow(window, point));
    }
}

void UIScreenInput::touchUp(CGPoint point)
{
    using namespace UIScreenInput_cpp;
    Finger f = finger();
    finger() = Finger();
    if (!f.down) {
        return;
    }
    if (auto overlay = f.overlay.lock()) {
        if (f.overlayButton < 0 || overlayButtonAt(overlay, point) != f.overlayButton) {
            return;
        }
        if (auto alert = std::dynamic_pointer_cast<UIAlertView>(overlay); alert && alert->isVisible()) {
            alert->simulateClickButtonAtIndex(f.overlayButton);
        } else if (auto sheet = std::dynamic_pointer_cast<UIActionSheet>(overlay)) {
            sheet->simulateClickButtonAtIndex(f.overlayButton);
        }
        return;
    }
    if (auto window = f.window.lock()) {
        window->simulateTouchEnded(inWindow(window, point));
    }
}

void UIScreenInput::touchCancelled()
{
    using namespace UIScreenInput_cpp;
    Finger f = finger();
    finger() = Finger();
    if (auto window = f.window.lock(); f.down && window) {
        window->simulateTouchCancelled();
    }
}

bool UIScreenInput::isTouching()
{
    return UIScreenInput_cpp::finger().down;
}

Ref<UIView> UIScreenInput::tap(CGPoint point)
{
    Ref<UIView> view = touchDown(point);
    touchUp(point);
    return view;
}

bool UIScreenInput::typeText(const std::string& text)
{
    return UIKeyboard::typeText(text);
}

bool UIScreenInput::pressReturn()
{
    return UIKeyboard::pressReturn();
}

bool UIScreenInput::pressDelete()
{
    return UIKeyboard::pressDelete();
}

bool UIScreenInput::pressTab(bool backward)
{
    auto* fields = dynamic_cast<UIKeyFocusMovement*>(UIKeyboard::inputResponder().get());
    return fields != nullptr && fields->moveKeyFocus(backward);
}

bool UIScreenInput::pressCaretKey(UITextCaretKey key, bool shift)
{
    return UIKeyboard::pressCaretKey(key, shift);
}

bool UIScreenInput::pressCommand(char command)
{
    return UIKeyboard::pressCommand(command);
}

bool UIScreenInput::scrollWheel(CGPoint point, CGPoint delta)
{
    using namespace UIScreenInput_cpp;
    if (frontOverlay()) {
        return false;
    }
    auto windows = UIApplication::sharedApplication()->windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        const Ref<UIWindow>& window = *it;
        if (window->isHidden() || !window->isUserInteractionEnabled()) {
            continue;
        }
        Ref<UIView> view = window->hitTest_withEvent(inWindow(window, point), std::make_shared<UIEvent>());
        if (!view) {
            continue;
        }
        for (; view; view = view->superview()) {
            if (auto scroll = std::dynamic_pointer_cast<UIScrollView>(view); scroll && scroll->scrollByWheel(delta)) {
                return true;
            }
        }
        return false;
    }
    return false;
}
