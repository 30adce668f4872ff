#pragma once
// Text input: the traits a text input gives the keyboard, and the key input every text input takes
// (what the keyboard sends to the first responder).
#include <optional>
#include <string>

#include "platform/foundation/NSObjCRuntime.h"

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

// What the editable text inputs (field and view) share: the delete key's range and the test driving
// through the simulated keyboard.
class UIEditableKeyInput : public UIKeyInput {
public:
    // --- Test driving (each begins editing first when needed; false when the input refuses) ---
    bool simulateTypeText(const std::string& text);
    bool simulateReturnKey();

protected:
    // Becomes the first responder unless it already is; false when refused.
    virtual bool beginEditingIfNeeded() = 0;
    // What the delete key removes from `text`: the selection, else the character before the caret (a
    // surrogate pair whole); nothing at the start.
    static std::optional<NSRange> rangeForDeleteBackward(const std::string& text, NSRange selection);
};
