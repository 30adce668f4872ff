#pragma once
// MessageUI's mail composer, a fake: whether mail can be sent is set by tests (yes by default); the
// composer records the fields the screen fills, and a test finishes it in the user's place with a
// result (mailComposeController:didFinishWithResult:error:). The composer does not dismiss itself:
// its delegate does, as on the phone.
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/uikit/UINavigationController.h"

class MFMailComposeViewController;

enum MFMailComposeResult : NSInteger {
    MFMailComposeResultCancelled = 0,
    MFMailComposeResultSaved = 1,
    MFMailComposeResultSent = 2,
    MFMailComposeResultFailed = 3,
};

class MFMailComposeViewControllerDelegate {
public:
    virtual ~MFMailComposeViewControllerDelegate() = default;
    virtual void mailComposeController_didFinishWithResult_error(const Ref<MFMailComposeViewController>& controller,
                                                                 MFMailComposeResult result, const Ref<NSError>& error)
    {
    }
};

class MFMailComposeViewController : public UINavigationController {
public:
    static Ref<MFMailComposeViewController> create() { return make<MFMailComposeViewController>(); }

    static bool canSendMail();
    static void setCanSendMail(bool can);

    Ref<MFMailComposeViewControllerDelegate> mailComposeDelegate() const { return mailDelegate_.lock(); }
    void setMailComposeDelegate(const Ref<MFMailComposeViewControllerDelegate>& delegate) { mailDelegate_ = delegate; }

    void setSubject(const std::string& subject) { subject_ = subject; }
    const std::string& subject() const { return subject_; }
    void setToRecipients(std::vector<std::string> recipients) { to_ = std::move(recipients); }
    const std::vector<std::string>& toRecipients() const { return to_; }
    void setCcRecipients(std::vector<std::string> recipients) { cc_ = std::move(recipients); }
    const std::vector<std::string>& ccRecipients() const { return cc_; }
    void setBccRecipients(std::vector<std::string> recipients) { bcc_ = std::move(recipients); }
    const std::vector<std::string>& bccRecipients() const { return bcc_; }
    void setMessageBody_isHTML(const std::string& body, bool isHTML)
    {
        body_ = body;
        bodyIsHTML_ = isHTML;
    }
    const std::string& messageBody() const { return body_; }
    bool isBodyHTML() const { return bodyIsHTML_; }

    struct Attachment {
        NSData data;
        std::string mimeType;
        std::string fileName;
    };
    void addAttachmentData_mimeType_fileName(const NSData& data, const std::string& mimeType,
                                             const std::string& fileName)
    {
        attachments_.push_back({data, mimeType, fileName});
    }
    const std::vector<Attachment>& attachments() const { return attachments_; }

    // The user sends, saves, cancels, or sending fails.
    void simulateFinishWithResult(MFMailComposeResult result, const Ref<NSError>& error = nullptr);

private:
    Weak<MFMailComposeViewControllerDelegate> mailDelegate_;
    std::string subject_;
    std::vector<std::string> to_;
    std::vector<std::string> cc_;
    std::vector<std::string> bcc_;
    std::string body_;
    bool bodyIsHTML_ = false;
    std::vector<Attachment> attachments_;
};
