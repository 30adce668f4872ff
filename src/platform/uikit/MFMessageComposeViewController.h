#pragma once
// MessageUI's text-message composer, a fake: whether texts can be sent is set by tests (yes by
// default); the composer records the recipients and body, and a test finishes it with a result
// (messageComposeViewController:didFinishWithResult:). Its delegate dismisses it, as on the phone.
#include <string>
#include <vector>

#include "platform/uikit/UINavigationController.h"

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
    static Ref<MFMessageComposeViewController> create() { return make<MFMessageComposeViewController>(); }

    static bool canSendText();
    static void setCanSendText(bool can);

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

private:
    Weak<MFMessageComposeViewControllerDelegate> messageDelegate_;
    std::vector<std::string> recipients_;
    std::string body_;
};
