#pragma once
// The keyboard as a person sees it: while the keyboard shows, a window of its own in the keyboard's
// frame, over the application's windows, holding this view. It draws the keys of one page - letters
// (with shift), digits or symbols - and a tap on a key types it into the first responder through the
// keyboard (UIKeyboard::typeText, pressDelete, pressReturn), as the physical keyboard does. The return
// key is titled by the first responder's return key type; shift lasts for one letter. A key of the
// desktop's ("收起") puts the keyboard away (the first responder resigns), so a person with a mouse can
// reach what a screen that does not move up for the keyboard leaves under it.
//
// Rows, top to bottom, on a 320 x 216 keyboard (every row 54 points, keys inset 3 across, 6 down):
//   letters  q-p | a-l | shift z-m delete | "123" hide space return
//   digits   1-0 | - / : ; ( ) ¥ & @ " | "#+=" . , ? ! ' delete | "ABC" hide space return
//   symbols  [ ] { } # % ^ * + = | _ \ | ~ < > $ € £ • | "123" . , ? ! ' delete | "ABC" hide space return
#include <string>
#include <vector>

#include "platform/uikit/UIView.h"

class UIKeyboardView : public UIView {
public:
    enum Page { Letters, Digits, Symbols };
    enum class KeyKind { Character, Shift, Delete, Space, Return, ToLetters, ToDigits, ToSymbols, Hide };
    struct Key {
        std::string label;  // what the key types, or for the others "shift", "delete", "space", "return",
                            // "ABC", "123", "#+=", "hide"
        KeyKind kind = KeyKind::Character;
        CGRect frame;
    };

    static Ref<UIKeyboardView> initWithFrame(CGRect frame) { return makeWithFrame<UIKeyboardView>(frame); }

    Page page() const { return page_; }
    void setPage(Page page);
    bool isShifted() const { return shifted_; }
    // The keys of the page on show, in the view's coordinates.
    std::vector<Key> keys() const;
    // The frame of the key with this label on the page on show (CGRectNull when it has none).
    CGRect frameOfKey(const std::string& label) const;
    // What the return key reads for the first responder's return key type.
    std::string returnKeyTitle() const;
    static std::string titleForReturnKeyType(NSInteger type);

    void drawRect(CGRect rect) override;
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

private:
    int keyIndexAt(CGPoint point) const;
    void press(const Key& key);

    Page page_ = Letters;
    bool shifted_ = false;
    int pressed_ = -1;
};
