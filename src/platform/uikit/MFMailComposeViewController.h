#pragma once
// MessageUI's mail composer: a screen of its own under a navigation bar ("取消" and "发送") with the
// recipients, the subject and the body, editable, and the attachments named. Nothing leaves the
// machine: "发送" writes the message to the outbox folder under the home (Outbox/, one RFC 5322
// message with MIME parts per file), then the delegate hears sent, or failed (with the error) when
// the outbox cannot be written; "取消" leaves nothing and the delegate hears cancelled. Mail can be
// sent when the outbox can be written (tests may force the answer). The composer does not dismiss
// itself: its delegate does, as on the phone. Tests may also finish it in the user's place
// (simulateFinishWithResult), which only tells the delegate.
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/uikit/UINavigationController.h"

class UITextField;
class UITextView;

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
    static Ref<MFMailComposeViewController> create();

    static bool canSendMail();
    // Forces the answer of canSendMail (for tests); resetCanSend goes back to asking the outbox.
    static void setCanSendMail(bool can);
    static void resetCanSend();
    // The folder sent mail and texts are written to: Outbox/ under the home.
    static std::string outboxPath();

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

    // The form's buttons: send writes the message as the fields now read and tells the delegate;
    // cancel only tells it. The path of the last message written ("" before).
    void send();
    void cancel();
    const std::string& sentPath() const { return sentPath_; }
    // The message as it is written: headers (To, Cc, Bcc, Subject in encoded words where it is not
    // ASCII, Date, Message-ID, MIME-Version) and the body with the attachments as MIME parts, in
    // Base64, lines ending in CRLF.
    std::string messageText(const std::string& date, const std::string& messageId) const;
    // The fields of the form (null before the composer's view loaded).
    Ref<UITextField> toField() const;
    Ref<UITextField> subjectField() const;
    Ref<UITextView> bodyView() const;

private:
    Weak<MFMailComposeViewControllerDelegate> mailDelegate_;
    std::string subject_;
    std::vector<std::string> to_;
    std::vector<std::string> cc_;
    std::vector<std::string> bcc_;
    std::string body_;
    bool bodyIsHTML_ = false;
    std::vector<Attachment> attachments_;
    std::string sentPath_;
    bool bodyEdited_ = false;
    friend class MFMailComposeForm;
};
