#include "api/oauth/MicroblogClientSupport.h"

#include "api/LoginState.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "net/json/JsonParser.h"
#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIWebView.h"

std::vector<std::string> MicroblogClientSupport::tokenReplyElements(std::string_view body)
{
    std::vector<std::string> elements{""};
    for (char c : body) {
        if (c == '&' || c == '=') {
            elements.emplace_back();
        } else {
            elements.back() += c;
        }
    }
    return elements;
}

Value MicroblogClientSupport::runSynchronously(const Ref<HTTPRequest>& request, const Weak<HTTPRequestDelegate>& delegate)
{
    if (!request) {
        return Value();
    }
    request->setDelegate(delegate);
    request->startSynchronous();
    Value reply = ServiceReply::of(request);
    return reply.isNil() ? reply : reply.mutableCopy();
}

bool MicroblogClientSupport::storeLoginReply(Value reply)
{
    if (reply["status"].intValue() != 200) {
        if (reply.isDictionary()) {
            UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
                "提示", reply["msg"].stringValue(), nullptr, "确定")
                ->show();
        } else {
            ShowNetError();
        }
        return false;
    }
    if (!reply["loginName"].isNil()) {
        reply.setObject_forKey(reply["loginName"], "username");
    }
    storeUserInfo(reply);
    return true;
}

Value MicroblogClientSupport::boundAccount(const Value& reply)
{
    Value account = Value::dictionary();
    for (const char* key : {"weiboNick", "weiboToken", "weiboTokenSecret"}) {
        if (!reply[key].isNil()) {
            account.setObject_forKey(reply[key], key);
        }
    }
    return account;
}

void MicroblogClientSupport::showBindFailure()
{
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "绑定失败", nullptr, "确定")
        ->show();
}

void MicroblogClientSupport::showUnreachable(const std::string& name, const Ref<NSError>& error)
{
    const std::string reason = error ? error->localizedDescription() : std::string();
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        "提示", "无法连接" + name + (reason.empty() ? std::string() : "：" + reason), nullptr, "确定")
        ->show();
}

void MicroblogClientSupport::showPageFailure(const Ref<UIWebView>& webView, const std::string& message)
{
    if (webView && webView->pageText().empty() && webView->canGoBack()) {
        webView->goBack();
    }
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", message, nullptr, "确定")
        ->show();
}

bool MicroblogClientSupport::isPageFailure(const Ref<NSError>& error)
{
    return error && !(error->domain() == NSURLErrorDomain && error->code() == NSURLErrorCancelled);
}
