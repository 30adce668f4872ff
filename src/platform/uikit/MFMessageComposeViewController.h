#pragma once
// MessageUI's text-message composer: a screen of its own ("取消" and "发送") with the recipients and
// the body, editable. "发送" writes the message as a small text file to the outbox under the home
// (the same folder as mail), then the delegate hears sent, or failed when the outbox cannot be
// written; "取消" leaves nothing. Texts can be sent when the outbox can be written (tests may force
// the answer). Its delegate dismisses it, as on the phone; tests may finish it in the user's place
// (simulateFinishWithResult), which only tells the delegate.
#include <string>
#include <vector>

#include "platform/uikit/UINavigationController.h"

class UITextField;
class UITextView;

class MFMessageComposeViewController;

enum MessageComposeResult : NSInteger {
    MessageComposeResultCancelled = 0,
    MessageComposeResultSent = 1,
    MessageComposeResultFailed = 2,
};

class MFMessageComposeViewControllerDelegate {
public:
    virtual ~MFMessageComposeViewControllerDelegate() = default;
    virtual void messageComposeViewController_didFinishWithResult(
        const Ref<MFMessageComposeViewController>& controller, MessageComposeResult result)
    {
    }
};

class MFMessageComposeViewController : public UINavigationController {
public:
    static Ref<MFMessageComposeViewController> create();

    static bool canSendText();
    // Forces the answer of canSendText (for tests); resetCanSend goes back to asking the outbox.
    static void setCanSendText(bool can);
    static void resetCanSend();

    Ref<MFMessageComposeViewControllerDelegate> messageComposeDelegate() const { return messageDelegate_.lock(); }
    void setMessageComposeDelegate(const Ref<MFMessageComposeViewControllerDelegate>& delegate)
    {
        messageDelegate_ = delegate;
    }

    const std::vector<std::string>& recipients() const { return recipients_; }
    void setRecipients(std::vector<std::string> recipients) { recipients_ = std::move(recipients); }
    const std::string& body() const { return body_; }
    void setBody(const std::string& body) { body_ = body; }

    void simulateFinishWithResult(MessageComposeResult result);

    // The form's buttons (see above); the path of the last text written ("" before).
    void send();
    void cancel();
    const std::string& sentPath() const { return sentPath_; }
    Ref<UITextField> recipientsField() const;
    Ref<UITextView> bodyView() const;

private:
    Weak<MFMessageComposeViewControllerDelegate> messageDelegate_;
    std::vector<std::string> recipients_;
    std::string body_;
    std::string sentPath_;
    friend class MFMailComposeForm;
};
