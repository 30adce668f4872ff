#include <atomic>

#include "platform/uikit/MFMailComposeViewController.h"
#include "platform/uikit/MFMessageComposeViewController.h"

namespace {
std::atomic<bool> g_canSendMail{true};
std::atomic<bool> g_canSendText{true};
}  // namespace

bool MFMailComposeViewController::canSendMail() { return g_canSendMail; }

void MFMailComposeViewController::setCanSendMail(bool can) { g_canSendMail = can; }

void MFMailComposeViewController::simulateFinishWithResult(MFMailComposeResult result, const Ref<NSError>& error)
{
    if (auto delegate = mailDelegate_.lock()) {
        delegate->mailComposeController_didFinishWithResult_error(self<MFMailComposeViewController>(), result, error);
    }
}

bool MFMessageComposeViewController::canSendText() { return g_canSendText; }

void MFMessageComposeViewController::setCanSendText(bool can) { g_canSendText = can; }

void MFMessageComposeViewController::simulateFinishWithResult(MessageComposeResult result)
{
    if (auto delegate = messageDelegate_.lock()) {
        delegate->messageComposeViewController_didFinishWithResult(self<MFMessageComposeViewController>(), result);
    }
}
