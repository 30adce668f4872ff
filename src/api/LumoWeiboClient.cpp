#include "api/LumoWeiboClient.h"

#include "api/Edition.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/oauth/MicroblogClientSupport.h"
#include "api/oauth/MicroblogHosts.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"
#include "widgets/ProgressHUD.h"

namespace {
namespace LumoWeiboClient_cpp {

constexpr char kTokenKey[] = "lumoWeiboToken";
constexpr char kPinKey[] = "pin";
constexpr char kVerifierScript[] = "document.getElementsByTagName('span')[0].innerHTML";
constexpr char kUploadBoundary[] = "=========><=========";
// The pair of editions other than the partner's.
constexpr char kOwnKey[] = "3071826455";
constexpr char kOwnSecret[] = "5e1f0c9a7b2d4e6f8a0b1c2d3e4f5a6b";

std::string encoded(const Value& value)
{
    return value.isNil() ? "(null)" : OAuthURLEncodingAdditions::URLEncodedString(value.stringValue());
}

void storeDefault(const std::string& value, const char* key)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject_forKey(Value(value), key);
    defaults->synchronize();
}

}  // namespace LumoWeiboClient_cpp
}  // namespace

bool LumoWeiboClient::isBind()
{
    return NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey)["bindLumoWeibo"].boolValue();
}

Value LumoWeiboClient::bindUser()
{
    const std::string body = NSUserDefaults::standardUserDefaults()->objectForKey(LumoWeiboClient_cpp::kTokenKey).stringValue();
    const auto elements = MicroblogClientSupport::tokenReplyElements(body);
    return elements.size() > 5 ? Value(elements[5]) : Value();
}

void LumoWeiboClient::back()
{
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

Ref<OAuthConsumer> LumoWeiboClient::makeConsumer()
{
    using namespace LumoWeiboClient_cpp;
    if (std::string_view(kEditionWord) == "lumo") {
        return OAuthConsumer::initWithKey_secret(controllerConfig()["Lumo_APPKEY"], controllerConfig()["Lumo_APPSECRET"]);
    }
    return OAuthConsumer::initWithKey_secret(Value(kOwnKey), Value(kOwnSecret));
}

void LumoWeiboClient::viewDidLoad()
{
    PZViewController::viewDidLoad();
    consumer_ = makeConsumer();
    requestToken();
    setTitle(isLogin_ ? "Lumo微博登录" : "绑定Lumo微博");
}

void LumoWeiboClient::requestToken()
{
    auto request = OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider(
        NSURL::URLWithString(MicroblogHosts::lumoWeiboBaseURL() + "/oauth/request_token"), consumer_, nullptr, Value(),
        OAuthHMAC_SHA1SignatureProvider::create());
    request->setHTTPMethod("GET");
    OAuthDataFetcher::create()->fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
        request, self<NSObject>(),
        OAuthFinishSelector::make("requestTokenTicket:didFinishWithData:", &LumoWeiboClient::requestTokenTicket_didFinishWithData),
        OAuthFailSelector::make("requestTokenTicket:didFailWithError:", &LumoWeiboClient::requestTokenTicket_didFailWithError));
}

void LumoWeiboClient::requestTokenTicket_didFinishWithData(const Ref<OAuthServiceTicket>&, const NSData& data)
{
    using namespace LumoWeiboClient_cpp;
    const std::string body = data.string();
    NSLog("获得未授权的KEY:%@", body);
    auto token = OAuthToken::initWithHTTPResponseBody(body);
    auto webView = UIWebView::initWithFrame(UIScreen::mainScreen()->bounds());
    webView->setDelegate(self<LumoWeiboClient>());
    // A page that fails is said by this screen (an alert), over the page the person can try again on.
    webView->setShowsErrorPages(false);
    view()->addSubview(webView);
    oauthWebView_ = webView;
    const std::string address = stringWithFormat("%@?oauth_token=%@&oauth_callback=%@",
                                                 MicroblogHosts::lumoWeiboBaseURL() + "/oauth/authorize",
                                                 encoded(token->key()), "oob");
    webView->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(address)));
    storeDefault(body, kTokenKey);
}

void LumoWeiboClient::requestTokenTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error)
{
    NSLog("%@ %@", error, ticket);
    MicroblogClientSupport::showUnreachable("Lumo微博", error);
    restorePage();
}

bool LumoWeiboClient::webView_shouldStartLoadWithRequest_navigationType(const Ref<UIWebView>& webView,
                                                                        const Ref<NSURLRequest>& request,
                                                                        UIWebViewNavigationType)
{
    if (!request->HTTPBody().empty()) {
        // The form went off: the page hides behind the progress box until the next page decides.
        webView->setAlpha(0);
        auto hud = ProgressHUD::initWithView(view());
        hud->setLabelText("提交中");
        view()->addSubview(hud);
        view()->bringSubviewToFront(hud);
        hud->show(true);
        hud_ = hud;
    }
    return true;
}

void LumoWeiboClient::webViewDidStartLoad(const Ref<UIWebView>& webView)
{
    NSLog("webViewDidStartLoad %d", webView->isLoading());
    NSLog("webViewDidStartLoad %@", webView->request());
}

void LumoWeiboClient::webViewDidFinishLoad(const Ref<UIWebView>& webView)
{
    using namespace LumoWeiboClient_cpp;
    const std::string verifier = webView->stringByEvaluatingJavaScriptFromString(kVerifierScript);
    if (verifier.empty()) {
        NSLog("no verifier on %@", webView->request());
        if (hud_.lock()) {
            // The form went off and came back without a verifier: the person gets the page back.
            restorePage();
            if (webView->pageText().empty()) {
                MicroblogClientSupport::showPageFailure(webView, "授权没有完成，请重试");
            }
        }
        return;
    }
    storeDefault(verifier, kPinKey);
    accessToken(verifier);
}

Ref<OAuthToken> LumoWeiboClient::storedToken() const
{
    return OAuthToken::initWithHTTPResponseBody(
        NSUserDefaults::standardUserDefaults()->objectForKey(LumoWeiboClient_cpp::kTokenKey).stringValue());
}

void LumoWeiboClient::accessToken(const std::string& verifier)
{
    auto request = OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider(
        NSURL::URLWithString(MicroblogHosts::lumoWeiboBaseURL() + "/oauth/access_token"), consumer_, storedToken(),
        Value(), OAuthHMAC_SHA1SignatureProvider::create());
    request->setHTTPMethod("POST");
    OAuthParameterAdditions::setParameters(request, {OAuthRequestParameter::requestParameterWithName_value("oauth_verifier", verifier)});
    OAuthDataFetcher::create()->fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
        request, self<NSObject>(),
        OAuthFinishSelector::make("accessTokenTicket:didFinishWithData:", &LumoWeiboClient::accessTokenTicket_didFinishWithData),
        OAuthFailSelector::make("accessTokenTicket:didFailWithError:", &LumoWeiboClient::accessTokenTicket_didFailWithError));
}

void LumoWeiboClient::accessTokenTicket_didFinishWithData(const Ref<OAuthServiceTicket>&, const NSData& data)
{
    using namespace LumoWeiboClient_cpp;
    using namespace MicroblogClientSupport;
    const std::string body = data.string();
    NSLog("access_token%@", body);
    const auto elements = tokenReplyElements(body);
    if (elements.size() < 4) {
        // No token to hand on: the flow stops, and the person gets the page back.
        restorePage();
        return;
    }
    const Value token(elements[1]);
    const Value secret(elements[3]);
    Ref<LumoWeiboClient> keep = self<LumoWeiboClient>();
    if (isLogin_) {
        const int otherType = std::string_view(kEditionWord) == "lumo" ? 3 : 1;
        Value reply = runSynchronously(PZRequest::loginWithToken_andSecert_otherType(token, secret, otherType),
                                       weakSelf<LumoWeiboClient>());
        if (!storeLoginReply(reply)) {
            restorePage();
            return;
        }
        storeDefault(body, kTokenKey);
        if (auto navigation = navigationController()) {
            navigation->dismissModalViewControllerAnimated(true);
        }
        return;
    }
    Value reply = runSynchronously(PZRequest::bindUserWeibo_weiboTokenSecret(token, secret), weakSelf<LumoWeiboClient>());
    NSLog("%@", reply);
    if (reply["status"].intValue() == 200) {
        appendUserInfo(Value(1), "bindLumoWeibo");
        appendUserInfo(boundAccount(reply), "lumoWeibo");
        storeDefault(body, kTokenKey);
    } else {
        showBindFailure();
    }
    back();
}

void LumoWeiboClient::accessTokenTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error)
{
    NSLog("%@ %@", error, ticket);
    MicroblogClientSupport::showUnreachable("Lumo微博", error);
    restorePage();
}

void LumoWeiboClient::webView_didFailLoadWithError(const Ref<UIWebView>& webView, const Ref<NSError>& error)
{
    NSLog("page failed %@", error);
    if (!MicroblogClientSupport::isPageFailure(error)) {
        return;
    }
    restorePage();
    MicroblogClientSupport::showPageFailure(webView, "无法打开授权页：" + error->localizedDescription());
}

void LumoWeiboClient::restorePage()
{
    if (auto webView = oauthWebView_.lock()) {
        webView->setAlpha(1);
    }
    if (auto hud = hud_.lock()) {
        hud->removeFromSuperview();
    }
}

void LumoWeiboClient::requestFinished(const Ref<HTTPRequest>&) { NSLog("bind lumo weibo success"); }

void LumoWeiboClient::requestFailed(const Ref<HTTPRequest>&) { NSLog("bind lumo weibo faild"); }

void LumoWeiboClient::postStatus(const std::string& text)
{
    auto request = OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider(
        NSURL::URLWithString(MicroblogHosts::lumoWeiboBaseURL() + "/statuses/update.json"), consumer_, storedToken(),
        Value(), OAuthHMAC_SHA1SignatureProvider::create());
    request->setHTTPMethod("POST");
    OAuthParameterAdditions::setParameters(request, {OAuthRequestParameter::requestParameterWithName_value("status", text)});
    OAuthDataFetcher::create()->fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
        request, self<NSObject>(),
        OAuthFinishSelector::make("postTicket:didFinishWithData:", &LumoWeiboClient::postTicket_didFinishWithData),
        OAuthFailSelector::make("postTicket:didFailWithError:", &LumoWeiboClient::postTicket_didFailWithError));
}

void LumoWeiboClient::postUpload_withData(const std::string& text, const NSData& jpeg)
{
    using namespace LumoWeiboClient_cpp;
    auto request = OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider(
        NSURL::URLWithString(MicroblogHosts::lumoWeiboBaseURL() + "/statuses/upload.json"), consumer_, storedToken(),
        Value(), OAuthHMAC_SHA1SignatureProvider::create());
    NSData body;
    body.appendString(stringWithFormat("--%@\r\n", kUploadBoundary));
    body.appendString("Content-Disposition:form-data; name=\"status\"\r\n\r\n");
    body.appendString(stringWithFormat("%@\r\n", text));
    body.appendString(stringWithFormat("--%@\r\n", kUploadBoundary));
    body.appendString("Content-Disposition: form-data; name=\"pic\";filename=\"image.jpg\"\r\n");
    body.appendString("Content-Type: image/jpeg\r\n\r\n");
    body.appendData(jpeg);
    body.appendString(stringWithFormat("\r\n\r\n--%@--\r\n", kUploadBoundary));
    request->setHTTPShouldHandleCookies(false);
    request->setHTTPMethod("POST");
    request->setValue_forHTTPHeaderField(stringWithFormat("multipart/form-data; boundary=%@", kUploadBoundary),
                                         "Content-Type");
    request->setValue_forHTTPHeaderField(stringWithFormat("%d", int(body.length())), "Content-Length");
    request->setHTTPBody(std::move(body));
    OAuthDataFetcher::create()->fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
        request, self<NSObject>(),
        OAuthFinishSelector::make("postTicket:didFinishWithData:", &LumoWeiboClient::postTicket_didFinishWithData),
        OAuthFailSelector::make("postTicket:didFailWithError:", &LumoWeiboClient::postTicket_didFailWithError));
}

void LumoWeiboClient::postTicket_didFinishWithData(const Ref<OAuthServiceTicket>&, const NSData& data)
{
    if (auto delegate = delegate_.lock()) {
        delegate->LumoWeiboClient_didPostStatus(self<LumoWeiboClient>(), data.string());
    }
}

void LumoWeiboClient::postTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error)
{
    NSLog("post failed %@ %@", error, ticket);
}
