#pragma once
// The system keyboard, simulated. It shows when a text input becomes the first responder and hides
// when the first responder stops being one (moving from one text input to another keeps it up), and
// posts the platform's notifications with their user info:
//   UIKeyboardWillShowNotification, then UIKeyboardDidShowNotification 0.25 s later (process clock)
//   UIKeyboardWillHideNotification, then UIKeyboardDidHideNotification 0.25 s later
// The user info holds the begin and end frames (screen coordinates; UIGeometryValue), the bounds and
// the begin and end centres (the older keys), the animation duration (0.25) and curve (ease in-out).
// On show the frame moves from just below the screen to its bottom: (0, 264, 320, 216) on the
// 320 x 480 screen; the height is settable (a Chinese keyboard with its candidate bar is 252).
//
// Tests type into the first responder through the keyboard:
//   UIKeyboard::typeText("abc")     one key press per character (the input's delegate is asked for each)
//   UIKeyboard::pasteText("你好")   one insertion of the whole text (a paste, or a word from an IME)
//   UIKeyboard::pressReturn()       the return key
//   UIKeyboard::pressDelete()       the delete key
//   UIKeyboard::pressCaretKey(...)  an arrow, Home or End (Shift selects)
//   UIKeyboard::pressCommand('c')   Ctrl+A, C, X or V
// each answering false when no text input is the first responder.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UITextInput.h"

class UIResponder;
class UIKeyInput;
class UIKeyboardView;

inline constexpr char UIKeyboardWillShowNotification[] = "UIKeyboardWillShowNotification";
inline constexpr char UIKeyboardDidShowNotification[] = "UIKeyboardDidShowNotification";
inline constexpr char UIKeyboardWillHideNotification[] = "UIKeyboardWillHideNotification";
inline constexpr char UIKeyboardDidHideNotification[] = "UIKeyboardDidHideNotification";
inline constexpr char UIKeyboardFrameBeginUserInfoKey[] = "UIKeyboardFrameBeginUserInfoKey";
inline constexpr char UIKeyboardFrameEndUserInfoKey[] = "UIKeyboardFrameEndUserInfoKey";
inline constexpr char UIKeyboardAnimationDurationUserInfoKey[] = "UIKeyboardAnimationDurationUserInfoKey";
inline constexpr char UIKeyboardAnimationCurveUserInfoKey[] = "UIKeyboardAnimationCurveUserInfoKey";
inline constexpr char UIKeyboardBoundsUserInfoKey[] = "UIKeyboardBoundsUserInfoKey";
inline constexpr char UIKeyboardCenterBeginUserInfoKey[] = "UIKeyboardCenterBeginUserInfoKey";
inline constexpr char UIKeyboardCenterEndUserInfoKey[] = "UIKeyboardCenterEndUserInfoKey";

class UIKeyboard {
public:
    static constexpr double kAnimationDuration = 0.25;
    static constexpr CGFloat kDefaultHeight = 216;

    static bool isVisible();
    // The keyboard's frame on the screen while it shows (zero otherwise).
    static CGRect frame();
    static CGFloat height();
    static void setHeight(CGFloat height);

    // The text input that is the first responder (null when none).
    static Ref<UIResponder> inputResponder();

    static bool typeText(const std::string& text);
    static bool pasteText(const std::string& text);
    static bool pressReturn();
    static bool pressDelete();
    // A physical keyboard's editing keys: the caret keys (with Shift to select) and the clipboard
    // commands ('a' select all, 'c' copy, 'x' cut, 'v' paste). False when no editable text input is
    // the first responder, or the command did nothing.
    static bool pressCaretKey(UITextCaretKey key, bool shift);
    static bool pressCommand(char command);

    // The drawn keyboard while it shows (null otherwise): a window of its own at kWindowLevel, in the
    // keyboard's frame, whose keys a person taps (UIKeyboardView.h).
    static constexpr double kWindowLevel = 10;
    static Ref<UIKeyboardView> keyboardView();

    // Hides the keyboard without notifications and forgets pending ones (for tests).
    static void reset();

    // --- For text inputs ---
    // A text input became the first responder: the keyboard shows if it is hidden.
    static void inputDidBegin();
    // A text input stopped being the first responder: the keyboard hides unless another text input
    // is taking over (inside a Switch).
    static void inputDidEnd();
    // While alive, a text input taking over the first responder keeps the keyboard up.
    class Switch {
    public:
        Switch();
        ~Switch();
        Switch(const Switch&) = delete;
        Switch& operator=(const Switch&) = delete;
    };
};
