#pragma once
// Alerts: a title, a message and buttons, shown over everything until a button is chosen.
//
// Button indexes are the platform's: the cancel button (when given) is 0 and the other buttons
// follow from 1 in the order given; addButtonWithTitle appends and answers the new index.
//
// Alerts queue as on the phone: one is on show, and an alert shown meanwhile waits (waitingAlerts(),
// not yet visible, its delegate not yet told of its presentation) until those before it are dismissed.
// Headless, a shown alert is recorded: visibleAlerts() are those on show (currentAlert() the one on
// top), shownAlerts() every alert asked to show since the last resetRecords(), in order. A test
// answers the alert on top by index or title:
//     UIAlertView::currentAlert()->simulateClickButtonAtIndex(1);
// which calls the delegate as the phone does: clickedButtonAtIndex, willDismissWithButtonIndex, then
// (the alert gone) didDismissWithButtonIndex. dismissWithClickedButtonIndex (the program closing
// the alert) calls only the two dismissal callbacks. simulateSystemCancel is the system closing it
// (alertViewCancel, whose default clicks the cancel button).
//
// Text fields: the input styles make one or two fields (textFieldAtIndex); the first becomes the
// first responder when the alert shows. Screens may also add fields of their own as subviews.
#include <string>
#include <vector>

#include "platform/uikit/UIView.h"

class UIAlertView;
class UITextField;

enum UIAlertViewStyle : NSInteger {
    UIAlertViewStyleDefault = 0,
    UIAlertViewStyleSecureTextInput = 1,
    UIAlertViewStylePlainTextInput = 2,
    UIAlertViewStyleLoginAndPasswordInput = 3,
};

class UIAlertViewDelegate {
public:
    virtual ~UIAlertViewDelegate() = default;
    virtual void alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) {}
    // The system cancels the alert; by default, as a click on the cancel button.
    virtual void alertViewCancel(const Ref<UIAlertView>& alertView);
    virtual void willPresentAlertView(const Ref<UIAlertView>& alertView) {}
    virtual void didPresentAlertView(const Ref<UIAlertView>& alertView) {}
    virtual void alertView_willDismissWithButtonIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) {}
    virtual void alertView_didDismissWithButtonIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) {}
    virtual bool alertViewShouldEnableFirstOtherButton(const Ref<UIAlertView>& alertView) { return true; }
};

class UIAlertView : public UIView {
public:
    // An empty cancel title means none.
    static Ref<UIAlertView> initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        const std::string& title, const std::string& message, const Ref<UIAlertViewDelegate>& delegate,
        const std::string& cancelButtonTitle, const std::vector<std::string>& otherButtonTitles = {});
    static Ref<UIAlertView> create() { return makeWithFrame<UIAlertView>(CGRectZero); }

    const std::string& title() const { return title_; }
    void setTitle(const std::string& title) { title_ = title; }
    const std::string& message() const { return message_; }
    void setMessage(const std::string& message) { message_ = message; }
    Ref<UIAlertViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UIAlertViewDelegate>& delegate) { delegate_ = delegate; }

    NSInteger addButtonWithTitle(const std::string& title);
    NSInteger numberOfButtons() const { return NSInteger(buttons_.size()); }
    // "" when out of range.
    std::string buttonTitleAtIndex(NSInteger index) const;
    const std::vector<std::string>& buttonTitles() const { return buttons_; }
    NSInteger cancelButtonIndex() const { return cancelIndex_; }
    void setCancelButtonIndex(NSInteger index) { cancelIndex_ = index; }
    // -1 when there is no other button.
    NSInteger firstOtherButtonIndex() const;

    UIAlertViewStyle alertViewStyle() const { return style_; }
    void setAlertViewStyle(UIAlertViewStyle style);
    // Throws NSRangeException past the style's fields.
    Ref<UITextField> textFieldAtIndex(NSInteger index) const;

    bool isVisible() const { return visible_; }
    void show();
    void dismissWithClickedButtonIndex_animated(NSInteger buttonIndex, bool animated);

    // Where the button of the index is drawn, in the view's coordinates (null past the buttons).
    CGRect buttonFrameAtIndex(NSInteger index) const;
    // --- Test driving ---
    void simulateClickButtonAtIndex(NSInteger buttonIndex);
    // Throws NSInvalidArgumentException when no button has the title.
    void simulateClickButtonWithTitle(const std::string& title);
    void simulateSystemCancel();

    static std::vector<Ref<UIAlertView>> visibleAlerts();
    static Ref<UIAlertView> currentAlert();
    static std::vector<Ref<UIAlertView>> shownAlerts();
    static std::vector<Ref<UIAlertView>> waitingAlerts();
    static void resetRecords();

    std::string description() const override;
    void initWithFrameBody(CGRect frame) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;
    CGSize sizeThatFits(CGSize size) const override;

private:
    void present();
    static void presentNextWaiting();
    void hide();

    std::string title_;
    std::string message_;
    Weak<UIAlertViewDelegate> delegate_;
    std::vector<std::string> buttons_;
    NSInteger cancelIndex_ = -1;
    UIAlertViewStyle style_ = UIAlertViewStyleDefault;
    std::vector<Ref<UITextField>> textFields_;
    bool visible_ = false;
};
