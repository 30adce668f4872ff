#pragma once
// Text input: the traits a text input gives the keyboard, and the key input every text input takes
// (what the keyboard sends to the first responder).
#include <optional>
#include <string>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"

class NSTimer;
class UIView;

enum UITextAutocapitalizationType : NSInteger {
    UITextAutocapitalizationTypeNone = 0,
    UITextAutocapitalizationTypeWords = 1,
    UITextAutocapitalizationTypeSentences = 2,
    UITextAutocapitalizationTypeAllCharacters = 3,
};

enum UITextAutocorrectionType : NSInteger {
    UITextAutocorrectionTypeDefault = 0,
    UITextAutocorrectionTypeNo = 1,
    UITextAutocorrectionTypeYes = 2,
};

enum UIKeyboardType : NSInteger {
    UIKeyboardTypeDefault = 0,
    UIKeyboardTypeASCIICapable = 1,
    UIKeyboardTypeNumbersAndPunctuation = 2,
    UIKeyboardTypeURL = 3,
    UIKeyboardTypeNumberPad = 4,
    UIKeyboardTypePhonePad = 5,
    UIKeyboardTypeNamePhonePad = 6,
    UIKeyboardTypeEmailAddress = 7,
    UIKeyboardTypeDecimalPad = 8,
    UIKeyboardTypeTwitter = 9,
};

enum UIKeyboardAppearance : NSInteger { UIKeyboardAppearanceDefault = 0, UIKeyboardAppearanceAlert = 1 };

enum UIReturnKeyType : NSInteger {
    UIReturnKeyDefault = 0,
    UIReturnKeyGo = 1,
    UIReturnKeyGoogle = 2,
    UIReturnKeyJoin = 3,
    UIReturnKeyNext = 4,
    UIReturnKeyRoute = 5,
    UIReturnKeySearch = 6,
    UIReturnKeySend = 7,
    UIReturnKeyYahoo = 8,
    UIReturnKeyDone = 9,
    UIReturnKeyEmergencyCall = 10,
};

// The traits (recorded; the simulated keyboard does not act on them).
class UITextInputTraits {
public:
    virtual ~UITextInputTraits() = default;

    UITextAutocapitalizationType autocapitalizationType() const { return autocapitalization_; }
    void setAutocapitalizationType(UITextAutocapitalizationType type) { autocapitalization_ = type; }
    UITextAutocorrectionType autocorrectionType() const { return autocorrection_; }
    void setAutocorrectionType(UITextAutocorrectionType type) { autocorrection_ = type; }
    UIKeyboardType keyboardType() const { return keyboardType_; }
    void setKeyboardType(UIKeyboardType type) { keyboardType_ = type; }
    UIKeyboardAppearance keyboardAppearance() const { return keyboardAppearance_; }
    void setKeyboardAppearance(UIKeyboardAppearance appearance) { keyboardAppearance_ = appearance; }
    UIReturnKeyType returnKeyType() const { return returnKeyType_; }
    void setReturnKeyType(UIReturnKeyType type) { returnKeyType_ = type; }
    bool enablesReturnKeyAutomatically() const { return enablesReturnKey_; }
    void setEnablesReturnKeyAutomatically(bool enables) { enablesReturnKey_ = enables; }
    bool isSecureTextEntry() const { return secure_; }
    bool secureTextEntry() const { return secure_; }
    void setSecureTextEntry(bool secure) { secure_ = secure; }

private:
    UITextAutocapitalizationType autocapitalization_ = UITextAutocapitalizationTypeSentences;
    UITextAutocorrectionType autocorrection_ = UITextAutocorrectionTypeDefault;
    UIKeyboardType keyboardType_ = UIKeyboardTypeDefault;
    UIKeyboardAppearance keyboardAppearance_ = UIKeyboardAppearanceDefault;
    UIReturnKeyType returnKeyType_ = UIReturnKeyDefault;
    bool enablesReturnKey_ = false;
    bool secure_ = false;
};

// What the keyboard sends to a text input: text typed at the caret (a "\n" is the return key) and
// the delete key.
class UIKeyInput : public UITextInputTraits {
public:
    virtual bool hasText() const = 0;
    virtual void insertText(const std::string& text) = 0;
    virtual void deleteBackward() = 0;
};

// The keys that move the caret on a physical keyboard.
enum class UITextCaretKey { Left, Right, Home, End };

// What the editable text inputs (field and view) share: the delete key's range, moving the caret and
// the selection with the keys of a physical keyboard, the clipboard commands through the general
// pasteboard, and the test driving through the simulated keyboard.
//
// Left and Right move by one character (a surrogate pair whole) and collapse a selection to its
// start or end; Home and End go to the start and end of the line the caret is on. With extend (the
// Shift key) they move the selection's free end instead, keeping the end where the selection began.
// Every change of the text goes through the input's own path (its delegate sees the real range).
// Secure entry neither copies nor cuts: its text must not leave the field.
class UIEditableKeyInput : public UIKeyInput {
public:
    ~UIEditableKeyInput() override;
    void moveCaret(UITextCaretKey key, bool extend);
    void selectAll();
    bool copySelection();
    bool cutSelection();
    bool pasteFromPasteboard();

    // The caret: shown while editing with nothing selected; blinking (twice a second, shown again at
    // every move) only where a person looks at it, so pictures of a field being edited are the same
    // every time.
    static void setCaretBlinks(bool blinks);
    static bool caretBlinks();
    bool isCaretShown() const { return caretOn_; }
    // Editing began or the caret moved (shows it and restarts the blinking), or editing ended.
    void caretMoved(const Ref<UIView>& view);
    void caretStopped();

    // --- Test driving (each begins editing first when needed; false when the input refuses) ---
    bool simulateTypeText(const std::string& text);
    bool simulateReturnKey();

protected:
    // Becomes the first responder unless it already is; false when refused.
    virtual bool beginEditingIfNeeded() = 0;
    // What the delete key removes from `text`: the selection, else the character before the caret (a
    // surrogate pair whole); nothing at the start.
    static std::optional<NSRange> rangeForDeleteBackward(const std::string& text, NSRange selection);

    // The input's text and selection, and its way of changing them (through its delegate).
    virtual const std::string& editedText() const = 0;
    virtual NSRange editedSelection() const = 0;
    virtual void setEditedSelection(NSRange range) = 0;
    virtual void replaceEdited(NSRange range, const std::string& replacement) = 0;
    // Where a selection made with Shift began (the end that stays); reset by the inputs when the
    // selection is set any other way.
    void forgetSelectionAnchor() { anchored_ = false; }

private:
    NSUInteger anchor_ = 0;
    bool anchored_ = false;
    bool caretOn_ = false;
    Ref<NSTimer> blink_;
};
