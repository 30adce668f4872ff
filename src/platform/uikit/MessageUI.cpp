#include "platform/uikit/MessageUI.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cctype>
#include <cstring>
#include <ctime>
#include <optional>
#include <random>

#include "platform/foundation/Base64.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UITextView.h"

namespace {
namespace MessageUI_cpp {

// -1: ask the outbox; 0 or 1: a test's answer.
std::atomic<int> g_canSendMail{-1};
std::atomic<int> g_canSendText{-1};

bool outboxWritable()
{
    const std::string path = MFMailComposeViewController::outboxPath();
    auto files = NSFileManager::defaultManager();
    files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(path, true, Value(), nullptr);
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

// A header's value on one line: a line break inside would start another header.
std::string oneLine(std::string text)
{
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

bool isAscii(std::string_view text)
{
    for (unsigned char c : text) {
        if (c >= 0x80 || (c < 0x20 && c != '\t')) return false;
    }
    return true;
}

// Where a UTF-8 text may be cut without splitting a character, at or before limit.
size_t characterBoundary(std::string_view text, size_t limit)
{
    if (limit >= text.size()) return text.size();
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
    return limit;
}

// A header value: as it stands when it is ASCII, else encoded words of whole characters, folded.
std::string headerValue(const std::string& raw)
{
    const std::string text = oneLine(raw);
    if (isAscii(text)) {
        return text;
    }
    std::string out;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t cut = std::max<size_t>(1, characterBoundary(rest, 39));
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64::encode(rest.substr(0, cut)) + "?=";
        rest.remove_prefix(cut);
    }
    return out;
}

// Base64 in lines of 76 characters.
std::string base64Lines(std::string_view bytes)
{
    const std::string encoded = Base64::encode(bytes);
    std::string out;
    for (size_t i = 0; i < encoded.size(); i += 76) {
        out += encoded.substr(i, 76) + "\r\n";
    }
    return out;
}

std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items) {
        const std::string one = oneLine(item);
        if (one.find_first_not_of(' ') == std::string::npos) continue;
        if (!out.empty()) out += ", ";
        out += one;
    }
    return out;
}

// Recipients as a person types them: separated by commas, semicolons or spaces.
std::vector<std::string> splitRecipients(const std::string& text)
{
    std::vector<std::string> out;
    std::string current;
    for (char c : text + ",") {
        if (c == ',' || c == ';' || c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            if (!current.empty()) out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return out;
}

// A file name parameter: quoted ASCII, else RFC 2231's UTF-8 percent form.
std::string fileNameParameter(const std::string& name)
{
    const std::string clean = oneLine(name);
    if (isAscii(clean)) {
        std::string quoted;
        for (char c : clean) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        return "filename=\"" + quoted + "\"";
    }
    static const char* hex = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : clean) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            encoded += char(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return "filename*=UTF-8''" + encoded;
}

std::string rfc5322Date(time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    return buffer;
}

std::string stamp(time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &utc);
    return buffer;
}

std::string randomHex(size_t digits)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < digits; ++i) out += hex[random() & 15];
    return out;
}

// Writes the bytes to a new file in the outbox named prefix-stamp[-n].extension; the path, or nullopt
// with errno's error.
std::optional<std::string> writeToOutbox(const std::string& prefix, const std::string& extension,
                                         const std::string& bytes, Ref<NSError>& error)
{
    const std::string folder = MFMailComposeViewController::outboxPath();
    auto files = NSFileManager::defaultManager();
    files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(folder, true, Value(), nullptr);
    const std::string base = folder + "/" + prefix + "-" + stamp(std::time(nullptr));
    for (int n = 0; n < 1000; ++n) {
        const std::string path = base + (n == 0 ? "" : "-" + std::to_string(n)) + extension;
        if (files->fileExistsAtPath(path)) {
            continue;
        }
        if (NSData::dataWithString(bytes).writeToFile_atomically(path, true)) {
            return path;
        }
        break;
    }
    error = NSError::posixError(errno ? errno : EACCES, folder);
    return std::nullopt;
}

// What an HTML body shows a person in the form: the text, with a link's address after its words.
std::string textOfHtml(const std::string& html)
{
    std::string out;
    std::string pendingLink;
    for (size_t i = 0; i < html.size();) {
        if (html[i] == '<') {
            const size_t end = html.find('>', i);
            if (end == std::string::npos) break;
            std::string tag = html.substr(i + 1, end - i - 1);
            std::string lower = tag;
            for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
            if (lower.rfind("a ", 0) == 0) {
                size_t at = lower.find("href=");
                if (at != std::string::npos) {
                    at += 5;
                    const char quote = tag[at] == '"' || tag[at] == '\'' ? tag[at] : ' ';
                    const size_t from = quote == ' ' ? at : at + 1;
                    const size_t to = tag.find(quote, from);
                    pendingLink = tag.substr(from, to == std::string::npos ? std::string::npos : to - from);
                }
            } else if (lower == "/a" && !pendingLink.empty()) {
                out += " (" + pendingLink + ")";
                pendingLink.clear();
            } else if (lower == "br" || lower == "br/" || lower == "br /" || lower == "p" || lower == "/p") {
                out += "\n";
            }
            i = end + 1;
            continue;
        }
        if (html[i] == '&') {
            static const std::pair<const char*, const char*> entities[] = {
                {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&nbsp;", " "}};
            bool matched = false;
            for (const auto& [entity, text] : entities) {
                if (html.compare(i, std::strlen(entity), entity) == 0) {
                    out += text;
                    i += std::strlen(entity);
                    matched = true;
                    break;
                }
            }
            if (matched) continue;
        }
        out += html[i++];
    }
    return out;
}

}  // namespace MessageUI_cpp
}  // namespace

// --- The form both composers show ---

class MFMailComposeForm : public UIViewController {
public:
    Weak<MFMailComposeViewController> mail;
    Weak<MFMessageComposeViewController> text;
    Ref<UITextField> to;
    Ref<UITextField> subject;
    Ref<UITextView> body;
    std::string bodyShown;  // what the body view showed first (an HTML body's text)

    void viewDidLoad() override
    {
        using namespace MessageUI_cpp;
        UIViewController::viewDidLoad();
        const Ref<UIView> root = view();
        root->setBackgroundColor(UIColor::whiteColor());
        const CGFloat width = root->bounds().size.width > 0 ? root->bounds().size.width : 320;
        CGFloat y = 0;
        auto row = [&](const std::string& title, const std::string& value) {
            auto label = UILabel::initWithFrame(CGRectMake(10, y, 60, 40));
            label->setText(title);
            label->setFont(UIFont::systemFontOfSize(15));
            label->setTextColor(UIColor::grayColor());
            root->addSubview(label);
            auto field = UITextField::initWithFrame(CGRectMake(72, y + 5, width - 82, 30));
            field->setFont(UIFont::systemFontOfSize(15));
            field->setContentVerticalAlignment(UIControlContentVerticalAlignmentCenter);
            field->setText(value);
            field->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
            root->addSubview(field);
            auto line = UIView::initWithFrame(CGRectMake(0, y + 40, width, 1));
            line->setBackgroundColor(UIColor::colorWithWhite_alpha(0.85, 1));
            line->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
            root->addSubview(line);
            y += 41;
            return field;
        };
        std::string bodyText;
        if (auto composer = mail.lock()) {
            setTitle(composer->subject().empty() ? "新邮件" : composer->subject());
            to = row("收件人:", joined(composer->toRecipients()));
            subject = row("主题:", composer->subject());
            if (!composer->attachments().empty()) {
                std::string names;
                for (const auto& attachment : composer->attachments()) {
                    if (!names.empty()) names += ", ";
                    names += attachment.fileName + " (" +
                             std::to_string((attachment.data.length() + 1023) / 1024) + " KB)";
                }
                auto label = UILabel::initWithFrame(CGRectMake(10, y, width - 20, 36));
                label->setFont(UIFont::systemFontOfSize(13));
                label->setTextColor(UIColor::darkGrayColor());
                label->setText("附件: " + names);
                root->addSubview(label);
                y += 36;
            }
            bodyText = composer->isBodyHTML() ? textOfHtml(composer->messageBody()) : composer->messageBody();
        } else if (auto composer = text.lock()) {
            setTitle("新信息");
            to = row("收件人:", joined(composer->recipients()));
            bodyText = composer->body();
        }
        const CGFloat height = root->bounds().size.height > y ? root->bounds().size.height - y : 200;
        body = UITextView::initWithFrame(CGRectMake(0, y, width, height));
        body->setFont(UIFont::systemFontOfSize(15));
        body->setText(bodyText);
        body->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        root->addSubview(body);
        bodyShown = bodyText;

        navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
            "取消", UIBarButtonItemStyleBordered, self<NSObject>(),
            UISelector::make("cancel", &MFMailComposeForm::cancelTapped)));
        navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
            "发送", UIBarButtonItemStyleDone, self<NSObject>(), UISelector::make("send", &MFMailComposeForm::sendTapped)));
    }

    void cancelTapped()
    {
        if (auto composer = mail.lock()) composer->cancel();
        if (auto composer = text.lock()) composer->cancel();
    }
    void sendTapped()
    {
        if (auto composer = mail.lock()) composer->send();
        if (auto composer = text.lock()) composer->send();
    }
};

// --- Mail ---

Ref<MFMailComposeViewController> MFMailComposeViewController::create()
{
    auto composer = make<MFMailComposeViewController>();
    auto form = UIViewController::make<MFMailComposeForm>();
    form->mail = composer;
    composer->setViewControllers({form});
    return composer;
}

std::string MFMailComposeViewController::outboxPath() { return NSHomeDirectory() + "/Outbox"; }

bool MFMailComposeViewController::canSendMail()
{
    const int forced = MessageUI_cpp::g_canSendMail;
    return forced >= 0 ? forced == 1 : MessageUI_cpp::outboxWritable();
}

void MFMailComposeViewController::setCanSendMail(bool can) { MessageUI_cpp::g_canSendMail = can ? 1 : 0; }

void MFMailComposeViewController::resetCanSend() { MessageUI_cpp::g_canSendMail = -1; }

void MFMailComposeViewController::simulateFinishWithResult(MFMailComposeResult result, const Ref<NSError>& error)
{
    if (auto delegate = mailDelegate_.lock()) {
        delegate->mailComposeController_didFinishWithResult_error(self<MFMailComposeViewController>(), result, error);
    }
}

namespace {
Ref<MFMailComposeForm> formOf(const std::vector<Ref<UIViewController>>& stack)
{
    return stack.empty() ? nullptr : std::dynamic_pointer_cast<MFMailComposeForm>(stack.front());
}
}  // namespace

Ref<UITextField> MFMailComposeViewController::toField() const
{
    auto form = formOf(viewControllers());
    return form ? form->to : nullptr;
}

Ref<UITextField> MFMailComposeViewController::subjectField() const
{
    auto form = formOf(viewControllers());
    return form ? form->subject : nullptr;
}

Ref<UITextView> MFMailComposeViewController::bodyView() const
{
    auto form = formOf(viewControllers());
    return form ? form->body : nullptr;
}

std::string MFMailComposeViewController::messageText(const std::string& date, const std::string& messageId) const
{
    using namespace MessageUI_cpp;
    std::string m;
    m += "From: Ombri <ombri@localhost>\r\n";
    if (!joined(to_).empty()) m += "To: " + joined(to_) + "\r\n";
    if (!joined(cc_).empty()) m += "Cc: " + joined(cc_) + "\r\n";
    if (!joined(bcc_).empty()) m += "Bcc: " + joined(bcc_) + "\r\n";
    m += "Subject: " + headerValue(subject_) + "\r\n";
    m += "Date: " + date + "\r\n";
    m += "Message-ID: <" + messageId + ">\r\n";
    m += "MIME-Version: 1.0\r\n";
    const std::string bodyType =
        std::string(bodyIsHTML_ ? "text/html" : "text/plain") + "; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n";
    if (attachments_.empty()) {
        m += "Content-Type: " + bodyType + "\r\n" + base64Lines(body_);
        return m;
    }
    // Base64 never holds "-", so a boundary made of it cannot occur in the parts.
    const std::string boundary = "--ombri-" + messageId.substr(0, messageId.find('@'));
    m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    m += "--" + boundary + "\r\nContent-Type: " + bodyType + "\r\n" + base64Lines(body_);
    for (const Attachment& attachment : attachments_) {
        const std::string type = oneLine(attachment.mimeType.empty() ? "application/octet-stream" : attachment.mimeType);
        m += "--" + boundary + "\r\n";
        m += "Content-Type: " + type + "\r\n";
        m += "Content-Disposition: attachment; " + fileNameParameter(attachment.fileName) + "\r\n";
        m += "Content-Transfer-Encoding: base64\r\n\r\n";
        const auto& bytes = attachment.data.vector();
        m += base64Lines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    m += "--" + boundary + "--\r\n";
    return m;
}

void MFMailComposeViewController::send()
{
    using namespace MessageUI_cpp;
    Ref<MFMailComposeViewController> keep = self<MFMailComposeViewController>();
    if (auto form = formOf(viewControllers()); form && form->isViewLoaded()) {
        to_ = splitRecipients(form->to->text());
        subject_ = form->subject->text();
        if (form->body->text() != form->bodyShown) {
            body_ = form->body->text();  // what the person wrote replaces the page's HTML
            bodyIsHTML_ = false;
        }
    }
    const time_t now = std::time(nullptr);
    Ref<NSError> error;
    const std::optional<std::string> path =
        writeToOutbox("mail", ".eml", messageText(rfc5322Date(now), randomHex(24) + "@ombri.localhost"), error);
    if (path) {
        sentPath_ = *path;
    }
    simulateFinishWithResult(path ? MFMailComposeResultSent : MFMailComposeResultFailed, error);
}

void MFMailComposeViewController::cancel() { simulateFinishWithResult(MFMailComposeResultCancelled); }

// --- Text messages ---

Ref<MFMessageComposeViewController> MFMessageComposeViewController::create()
{
    auto composer = make<MFMessageComposeViewController>();
    auto form = UIViewController::make<MFMailComposeForm>();
    form->text = composer;
    composer->setViewControllers({form});
    return composer;
}

bool MFMessageComposeViewController::canSendText()
{
    const int forced = MessageUI_cpp::g_canSendText;
    return forced >= 0 ? forced == 1 : MessageUI_cpp::outboxWritable();
}

void MFMessageComposeViewController::setCanSendText(bool can) { MessageUI_cpp::g_canSendText = can ? 1 : 0; }

void MFMessageComposeViewController::resetCanSend() { MessageUI_cpp::g_canSendText = -1; }

void MFMessageComposeViewController::simulateFinishWithResult(MessageComposeResult result)
{
    if (auto delegate = messageDelegate_.lock()) {
        delegate->messageComposeViewController_didFinishWithResult(self<MFMessageComposeViewController>(), result);
    }
}

Ref<UITextField> MFMessageComposeViewController::recipientsField() const
{
    auto form = formOf(viewControllers());
    return form ? form->to : nullptr;
}

Ref<UITextView> MFMessageComposeViewController::bodyView() const
{
    auto form = formOf(viewControllers());
    return form ? form->body : nullptr;
}

void MFMessageComposeViewController::send()
{
    using namespace MessageUI_cpp;
    Ref<MFMessageComposeViewController> keep = self<MFMessageComposeViewController>();
    if (auto form = formOf(viewControllers()); form && form->isViewLoaded()) {
        recipients_ = splitRecipients(form->to->text());
        body_ = form->body->text();
    }
    Ref<NSError> error;
    const std::optional<std::string> path =
        writeToOutbox("text", ".txt", "To: " + joined(recipients_) + "\n\n" + body_ + "\n", error);
    if (path) {
        sentPath_ = *path;
    }
    simulateFinishWithResult(path ? MessageComposeResultSent : MessageComposeResultFailed);
}

void MFMessageComposeViewController::cancel() { simulateFinishWithResult(MessageComposeResultCancelled); }
