#pragma once
// Text fields: one line of editable text with a placeholder, a delegate and the editing control
// events.
//
// Editing begins when the field becomes the first responder (the delegate may refuse: should begin
// editing), which shows the keyboard, and ends when it resigns (should end editing), which hides
// it unless another text input takes over. Typing goes through insertText and deleteBackward
// (UIKeyInput), as the simulated keyboard sends them: each change is offered to the delegate
// (shouldChangeCharactersInRange:replacementString:, ranges in UTF-16 units at the caret, which
// stays where the person put it: a tap, the arrow keys, Home and End, Shift to select), then applied with the editing-changed
// event and UITextFieldTextDidChangeNotification. A "\n" is the return key: textFieldShouldReturn,
// and when it answers yes, the editing-did-end-on-exit event (whose targets make the field resign).
// Setting text from the program calls nothing. A field may become the first responder outside a
// window too (tests build screens without one); a field that leaves its window resigns.
#include <string>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UITextInput.h"

class UIFont;
class UIImage;
class UITextField;

inline constexpr char UITextFieldTextDidBeginEditingNotification[] = "UITextFieldTextDidBeginEditingNotification";
inline constexpr char UITextFieldTextDidChangeNotification[] = "UITextFieldTextDidChangeNotification";
inline constexpr char UITextFieldTextDidEndEditingNotification[] = "UITextFieldTextDidEndEditingNotification";

enum UITextBorderStyle : NSInteger {
    UITextBorderStyleNone = 0,
    UITextBorderStyleLine = 1,
    UITextBorderStyleBezel = 2,
    UITextBorderStyleRoundedRect = 3,
};

enum UITextFieldViewMode : NSInteger {
    UITextFieldViewModeNever = 0,
    UITextFieldViewModeWhileEditing = 1,
    UITextFieldViewModeUnlessEditing = 2,
    UITextFieldViewModeAlways = 3,
};

class UITextFieldDelegate {
public:
    virtual ~UITextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(const Ref<UITextField>& textField) { return true; }
    virtual void textFieldDidBeginEditing(const Ref<UITextField>& textField) {}
    virtual bool textFieldShouldEndEditing(const Ref<UITextField>& textField) { return true; }
    virtual void textFieldDidEndEditing(const Ref<UITextField>& textField) {}
    virtual bool textField_shouldChangeCharactersInRange_replacementString(const Ref<UITextField>& textField,
                                                                           NSRange range, const std::string& string)
    {
        return true;
    }
    virtual bool textFieldShouldClear(const Ref<UITextField>& textField) { return true; }
    virtual bool textFieldShouldReturn(const Ref<UITextField>& textField) { return true; }
};

class UITextField : public UIControl, public UIEditableKeyInput {
public:
    static Ref<UITextField> initWithFrame(CGRect frame) { return makeWithFrame<UITextField>(frame); }
    static Ref<UITextField> create() { return makeWithFrame<UITextField>(CGRectZero); }

    Ref<UITextFieldDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UITextFieldDelegate>& delegate) { delegate_ = delegate; }

    const std::string& text() const { return text_; }
    void setText(const std::string& text);
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(const std::string& placeholder) { placeholder_ = placeholder; }
    Ref<UIFont> font() const { return font_; }
    void setFont(const Ref<UIFont>& font);  // nil: the system font of 12
    Ref<UIColor> textColor() const { return textColor_; }
    void setTextColor(const Ref<UIColor>& color) { textColor_ = color; }
    UITextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(UITextAlignment alignment) { alignment_ = alignment; }
    UITextBorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(UITextBorderStyle style) { borderStyle_ = style; }
    Ref<UIImage> background() const { return background_; }
    void setBackground(const Ref<UIImage>& image) { background_ = image; }
    Ref<UIImage> disabledBackground() const { return disabledBackground_; }
    void setDisabledBackground(const Ref<UIImage>& image) { disabledBackground_ = image; }
    UITextFieldViewMode clearButtonMode() const { return clearButtonMode_; }
    void setClearButtonMode(UITextFieldViewMode mode) { clearButtonMode_ = mode; }
    bool clearsOnBeginEditing() const { return clearsOnBeginEditing_; }
    void setClearsOnBeginEditing(bool clears) { clearsOnBeginEditing_ = clears; }
    bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool adjusts) { adjustsFontSize_ = adjusts; }
    CGFloat minimumFontSize() const { return minimumFontSize_; }
    void setMinimumFontSize(CGFloat size) { minimumFontSize_ = size; }
    Ref<UIView> leftView() const { return leftView_; }
    void setLeftView(const Ref<UIView>& view);
    UITextFieldViewMode leftViewMode() const { return leftViewMode_; }
    void setLeftViewMode(UITextFieldViewMode mode) { leftViewMode_ = mode; }
    Ref<UIView> rightView() const { return rightView_; }
    void setRightView(const Ref<UIView>& view);
    UITextFieldViewMode rightViewMode() const { return rightViewMode_; }
    void setRightViewMode(UITextFieldViewMode mode) { rightViewMode_ = mode; }
    Ref<UIView> inputView() const { return inputView_; }
    void setInputView(const Ref<UIView>& view) { inputView_ = view; }
    Ref<UIView> inputAccessoryView() const { return inputAccessoryView_; }
    void setInputAccessoryView(const Ref<UIView>& view) { inputAccessoryView_ = view; }
    // Whether the clear button shows now, by its mode and the editing state.
    bool isClearButtonShown() const;

    bool isEditing() const { return editing_; }
    bool editing() const { return editing_; }
    // The caret or selection (UTF-16 units).
    NSRange selectedRange() const { return selection_; }
    void setSelectedRange(NSRange range);
    // Where the caret stands before the character at index (in the field's coordinates), and the
    // index whose caret position is nearest a point (a tap places the caret there).
    CGRect caretRectForIndex(NSUInteger index) const;
    NSUInteger characterIndexNearestPoint(CGPoint point) const;

    // --- First responder ---
    bool canBecomeFirstResponder() const override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;

    // --- Key input ---
    bool hasText() const override { return !text_.empty(); }
    void insertText(const std::string& text) override;
    void deleteBackward() override;

    // --- Test driving: simulateTypeText and simulateReturnKey come with the key input ---
    // The clear button: textFieldShouldClear, then the text empties (with the change event).
    bool simulateClearButtonTap();

    void willMoveToWindow(const Ref<UIWindow>& window) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    CGSize sizeThatFits(CGSize size) const override;
    void initWithFrameBody(CGRect frame) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

protected:
    const std::string& editedText() const override { return text_; }
    NSRange editedSelection() const override { return selection_; }
    void setEditedSelection(NSRange range) override;
    void replaceEdited(NSRange range, const std::string& replacement) override;

private:
    bool beginEditingIfNeeded() override;
    void replace(NSRange range, const std::string& replacement);
    // The text as drawn (dots for secure entry) and the box it is drawn in.
    std::string shownText() const;
    CGRect textArea() const;

    Weak<UITextFieldDelegate> delegate_;
    std::string text_;
    std::string placeholder_;
    Ref<UIFont> font_;
    Ref<UIColor> textColor_;
    UITextAlignment alignment_ = UITextAlignmentLeft;
    UITextBorderStyle borderStyle_ = UITextBorderStyleNone;
    Ref<UIImage> background_;
    Ref<UIImage> disabledBackground_;
    UITextFieldViewMode clearButtonMode_ = UITextFieldViewModeNever;
    bool clearsOnBeginEditing_ = false;
    bool adjustsFontSize_ = false;
    CGFloat minimumFontSize_ = 0;
    Ref<UIView> leftView_;
    UITextFieldViewMode leftViewMode_ = UITextFieldViewModeNever;
    Ref<UIView> rightView_;
    UITextFieldViewMode rightViewMode_ = UITextFieldViewModeNever;
    Ref<UIView> inputView_;
    Ref<UIView> inputAccessoryView_;
    bool editing_ = false;
    NSRange selection_;
};
