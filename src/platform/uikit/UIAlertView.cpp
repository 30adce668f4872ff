#include "platform/uikit/UIAlertView.h"

#include <algorithm>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITextField.h"

namespace {
namespace UIAlertView_cpp {

struct Records {
    std::vector<Ref<UIAlertView>> visible;
    // Alerts asked to show while another was on show, in the order asked.
    std::vector<Ref<UIAlertView>> waiting;
    std::vector<Ref<UIAlertView>> shown;
};

// The interface runs on the main thread; the records live for the whole process.
Records& records()
{
    static Records* instance = new Records;
    return *instance;
}

constexpr CGFloat kAlertWidth = 284;

}  // namespace UIAlertView_cpp
}  // namespace

void UIAlertViewDelegate::alertViewCancel(const Ref<UIAlertView>& alertView)
{
    if (alertView->cancelButtonIndex() >= 0) {
        alertView->simulateClickButtonAtIndex(alertView->cancelButtonIndex());
    } else {
        alertView->dismissWithClickedButtonIndex_animated(-1, false);
    }
}

void UIAlertView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    const CGRect screen = UIScreen::mainScreen()->bounds();
    if (frame.size.width <= 0) {
        setFrame(CGRectMake((screen.size.width - UIAlertView_cpp::kAlertWidth) / 2, 140, UIAlertView_cpp::kAlertWidth, 180));
    }
}

Ref<UIAlertView> UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
    const std::string& title, const std::string& message, const Ref<UIAlertViewDelegate>& delegate,
    const std::string& cancelButtonTitle, const std::vector<std::string>& otherButtonTitles)
{
    auto alert = create();
    alert->title_ = title;
    alert->message_ = message;
    alert->delegate_ = delegate;
    if (!cancelButtonTitle.empty()) {
        alert->cancelIndex_ = alert->addButtonWithTitle(cancelButtonTitle);
    }
    for (const std::string& other : otherButtonTitles) {
        alert->addButtonWithTitle(other);
    }
    return alert;
}

NSInteger UIAlertView::addButtonWithTitle(const std::string& title)
{
    buttons_.push_back(title);
    return NSInteger(buttons_.size()) - 1;
}

std::string UIAlertView::buttonTitleAtIndex(NSInteger index) const
{
    return index >= 0 && index < NSInteger(buttons_.size()) ? buttons_[size_t(index)] : std::string();
}

NSInteger UIAlertView::firstOtherButtonIndex() const
{
    for (NSInteger i = 0; i < NSInteger(buttons_.size()); ++i) {
        if (i != cancelIndex_) {
            return i;
        }
    }
    return -1;
}

void UIAlertView::setAlertViewStyle(UIAlertViewStyle style)
{
    style_ = style;
    for (const Ref<UITextField>& field : textFields_) {
        field->removeFromSuperview();
    }
    textFields_.clear();
    auto add = [this](bool secure) {
        auto field = UITextField::initWithFrame(CGRectMake(16, 50 + 31 * CGFloat(textFields_.size()), 252, 25));
        field->setSecureTextEntry(secure);
        addSubview(field);
        textFields_.push_back(field);
    };
    switch (style) {
    case UIAlertViewStyleSecureTextInput:
        add(true);
        break;
    case UIAlertViewStylePlainTextInput:
        add(false);
        break;
    case UIAlertViewStyleLoginAndPasswordInput:
        add(false);
        add(true);
        break;
    default:
        break;
    }
}

Ref<UITextField> UIAlertView::textFieldAtIndex(NSInteger index) const
{
    if (index < 0 || index >= NSInteger(textFields_.size())) {
        NSException::raise(NSRangeException, stringWithFormat("textFieldIndex (%ld) is outside of the bounds of the "
                                                               "array of text fields",
                                                               long(index)));
    }
    return textFields_[size_t(index)];
}

void UIAlertView::show()
{
    auto& records = UIAlertView_cpp::records();
    Ref<UIAlertView> me = self<UIAlertView>();
    if (visible_ || std::find(records.waiting.begin(), records.waiting.end(), me) != records.waiting.end()) {
        return;
    }
    records.shown.push_back(me);
    // One alert at a time: a second one waits until those before it are dismissed.
    if (!records.visible.empty() || !records.waiting.empty()) {
        records.waiting.push_back(me);
        return;
    }
    present();
}

void UIAlertView::present()
{
    Ref<UIAlertView> me = self<UIAlertView>();
    if (auto delegate = delegate_.lock()) {
        delegate->willPresentAlertView(me);
    }
    visible_ = true;
    UIAlertView_cpp::records().visible.push_back(me);
    if (!textFields_.empty()) {
        textFields_.front()->becomeFirstResponder();
    }
    if (auto delegate = delegate_.lock()) {
        delegate->didPresentAlertView(me);
    }
}

void UIAlertView::presentNextWaiting()
{
    auto& records = UIAlertView_cpp::records();
    if (!records.visible.empty() || records.waiting.empty()) {
        return;
    }
    const Ref<UIAlertView> next = records.waiting.front();
    records.waiting.erase(records.waiting.begin());
    next->present();
}

void UIAlertView::hide()
{
    visible_ = false;
    auto& visible = UIAlertView_cpp::records().visible;
    visible.erase(std::remove(visible.begin(), visible.end(), self<UIAlertView>()), visible.end());
    endEditing(true);
}

void UIAlertView::dismissWithClickedButtonIndex_animated(NSInteger buttonIndex, bool animated)
{
    Ref<UIAlertView> me = self<UIAlertView>();
    if (!visible_) {
        // Dismissed before its turn came: it never shows.
        auto& waiting = UIAlertView_cpp::records().waiting;
        waiting.erase(std::remove(waiting.begin(), waiting.end(), me), waiting.end());
        return;
    }
    if (auto delegate = delegate_.lock()) {
        delegate->alertView_willDismissWithButtonIndex(me, buttonIndex);
    }
    hide();
    if (auto delegate = delegate_.lock()) {
        delegate->alertView_didDismissWithButtonIndex(me, buttonIndex);
    }
    presentNextWaiting();
}

void UIAlertView::simulateClickButtonAtIndex(NSInteger buttonIndex)
{
    if (!visible_) {
        NSException::raise(NSInternalInconsistencyException, "the alert is not on show: " + description());
    }
    if (buttonIndex < 0 || buttonIndex >= NSInteger(buttons_.size())) {
        NSException::raise(NSRangeException, stringWithFormat("button index %ld beyond the %ld buttons of %@",
                                                              long(buttonIndex), long(buttons_.size()), description()));
    }
    Ref<UIAlertView> me = self<UIAlertView>();
    if (auto delegate = delegate_.lock()) {
        delegate->alertView_clickedButtonAtIndex(me, buttonIndex);
    }
    dismissWithClickedButtonIndex_animated(buttonIndex, true);
}

void UIAlertView::simulateClickButtonWithTitle(const std::string& title)
{
    auto it = std::find(buttons_.begin(), buttons_.end(), title);
    if (it == buttons_.end()) {
        NSException::raise(NSInvalidArgumentException, "no button \"" + title + "\" in " + description());
    }
    simulateClickButtonAtIndex(NSInteger(it - buttons_.begin()));
}

void UIAlertView::simulateSystemCancel()
{
    if (!visible_) {
        return;
    }
    Ref<UIAlertView> me = self<UIAlertView>();
    if (auto delegate = delegate_.lock()) {
        delegate->alertViewCancel(me);
    }
    if (visible_) {
        hide();
    }
    presentNextWaiting();
}

std::vector<Ref<UIAlertView>> UIAlertView::visibleAlerts() { return UIAlertView_cpp::records().visible; }

Ref<UIAlertView> UIAlertView::currentAlert()
{
    return UIAlertView_cpp::records().visible.empty() ? nullptr : UIAlertView_cpp::records().visible.back();
}

std::vector<Ref<UIAlertView>> UIAlertView::shownAlerts() { return UIAlertView_cpp::records().shown; }

std::vector<Ref<UIAlertView>> UIAlertView::waitingAlerts() { return UIAlertView_cpp::records().waiting; }

void UIAlertView::resetRecords()
{
    for (const Ref<UIAlertView>& alert : UIAlertView_cpp::records().visible) {
        alert->visible_ = false;
    }
    UIAlertView_cpp::records().visible.clear();
    UIAlertView_cpp::records().waiting.clear();
    UIAlertView_cpp::records().shown.clear();
}

std::string UIAlertView::description() const
{
    std::string buttons;
    for (const std::string& b : buttons_) {
        buttons += (buttons.empty() ? "" : ", ") + b;
    }
    return "<UIAlertView \"" + title_ + "\" \"" + message_ + "\" [" + buttons + "]>";
}
