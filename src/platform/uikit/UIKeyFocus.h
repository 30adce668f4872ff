#pragma once
// A text input that holds several fields (a web page's form) moves between them with the Tab key
// (Shift+Tab backwards), as in a desktop browser. The screen's input sends Tab to the first responder
// through this interface when it has it.
class UIKeyFocusMovement {
public:
    virtual ~UIKeyFocusMovement() = default;
    // False when there is nothing to move to.
    virtual bool moveKeyFocus(bool backward) = 0;
};
