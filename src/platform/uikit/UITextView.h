#pragma once
// Text views: scrollable, editable text of many lines, with a delegate.
//
// Editing works as in text fields (UITextField.h): becoming the first responder (textViewShould-
// BeginEditing) shows the keyboard; typing goes through insertText and deleteBackward, each change
// offered to textView:shouldChangeTextInRange:replacementText: (a "\n" included: the return key
// types a new line, which screens often refuse in order to send instead), then applied with
// textViewDidChange and UITextViewTextDidChangeNotification. Setting text from the program calls
// nothing.
//
// The content size follows the text: the view's width, and the height of the text wrapped in the
// width less 16 (8 points of inset on each side) plus 16.
#include <string>
#include <vector>

#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextInput.h"

class UIFont;
class UIColor;
class UITextView;

inline constexpr char UITextViewTextDidBeginEditingNotification[] = "UITextViewTextDidBeginEditingNotification";
inline constexpr char UITextViewTextDidChangeNotification[] = "UITextViewTextDidChangeNotification";
inline constexpr char UITextViewTextDidEndEditingNotification[] = "UITextViewTextDidEndEditingNotification";

using UIDataDetectorTypes = NSUInteger;
enum : NSUInteger {
    UIDataDetectorTypePhoneNumber = 1 << 0,
    UIDataDetectorTypeLink = 1 << 1,
    UIDataDetectorTypeAddress = 1 << 2,
    UIDataDetectorTypeCalendarEvent = 1 << 3,
    UIDataDetectorTypeNone = 0,
    UIDataDetectorTypeAll = 0xFFFFFFFF,
};

class UITextViewDelegate : public virtual UIScrollViewDelegate {
public:
    virtual bool textViewShouldBeginEditing(const Ref<UITextView>& textView) { return true; }
    virtual bool textViewShouldEndEditing(const Ref<UITextView>& textView) { return true; }
    virtual void textViewDidBeginEditing(const Ref<UITextView>& textView) {}
    virtual void textViewDidEndEditing(const Ref<UITextView>& textView) {}
    virtual bool textView_shouldChangeTextInRange_replacementText(const Ref<UITextView>& textView, NSRange range,
                                                                  const std::string& text)
    {
        return true;
    }
    virtual void textViewDidChange(const Ref<UITextView>& textView) {}
    virtual void textViewDidChangeSelection(const Ref<UITextView>& textView) {}
};

class UITextView : public UIScrollView, public UIEditableKeyInput {
public:
    static Ref<UITextView> initWithFrame(CGRect frame) { return makeWithFrame<UITextView>(frame); }
    static Ref<UITextView> create() { return makeWithFrame<UITextView>(CGRectZero); }

    Ref<UITextViewDelegate> textViewDelegate() const { return delegate_.lock(); }
    // The delegate is also the scroll-view delegate (a class derives from UITextViewDelegate alone).
    void setDelegate(const Ref<UIScrollViewDelegate>& delegate) override;

    const std::string& text() const { return text_; }
    void setText(const std::string& text);
    Ref<UIFont> font() const { return font_; }
    void setFont(const Ref<UIFont>& font);  // nil: the system font of 12
    Ref<UIColor> textColor() const { return textColor_; }
    void setTextColor(const Ref<UIColor>& color) { textColor_ = color; }
    UITextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(UITextAlignment alignment) { alignment_ = alignment; }
    bool isEditable() const { return editable_; }
    bool editable() const { return editable_; }
    void setEditable(bool editable);
    UIDataDetectorTypes dataDetectorTypes() const { return dataDetectorTypes_; }
    void setDataDetectorTypes(UIDataDetectorTypes types) { dataDetectorTypes_ = types; }
    NSRange selectedRange() const { return selection_; }
    void setSelectedRange(NSRange range);
    Ref<UIView> inputView() const { return inputView_; }
    void setInputView(const Ref<UIView>& view) { inputView_ = view; }
    Ref<UIView> inputAccessoryView() const { return inputAccessoryView_; }
    void setInputAccessoryView(const Ref<UIView>& view) { inputAccessoryView_ = view; }
    void scrollRangeToVisible(NSRange range);
    // Where the caret stands before the character at index (in content coordinates), and the index
    // whose caret position is nearest a point (a tap places the caret there).
    CGRect caretRectForIndex(NSUInteger index) const;
    NSUInteger characterIndexNearestPoint(CGPoint point) const;
    bool isEditing() const { return editing_; }

    // --- First responder ---
    bool canBecomeFirstResponder() const override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;

    // --- Key input ---
    bool hasText() const override { return !text_.empty(); }
    void insertText(const std::string& text) override;
    void deleteBackward() override;


    void setFrame(CGRect frame) override;
    // The text, wrapped by words inside the view's inset, in its font, colour and alignment.
    void drawRect(CGRect rect) override;
    void willMoveToWindow(const Ref<UIWindow>& window) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;
    void initWithFrameBody(CGRect frame) override;

protected:
    const std::string& editedText() const override { return text_; }
    NSRange editedSelection() const override { return selection_; }
    void setEditedSelection(NSRange range) override;
    void replaceEdited(NSRange range, const std::string& replacement) override { replace(range, replacement); }

private:
    // A wrapped line of the text: the characters it shows (UTF-16 indexes) and where it starts.
    struct TextLine {
        NSUInteger start = 0;
        NSUInteger end = 0;
        CGFloat x = 0;
        CGFloat y = 0;
    };
    std::vector<TextLine> textLines() const;
    bool beginEditingIfNeeded() override;
    void replace(NSRange range, const std::string& replacement);
    void updateContentSize();

    Weak<UITextViewDelegate> delegate_;
    std::string text_;
    Ref<UIFont> font_;
    Ref<UIColor> textColor_;
    UITextAlignment alignment_ = UITextAlignmentLeft;
    bool editable_ = true;
    UIDataDetectorTypes dataDetectorTypes_ = UIDataDetectorTypeNone;
    NSRange selection_;
    Ref<UIView> inputView_;
    Ref<UIView> inputAccessoryView_;
    bool editing_ = false;
};
