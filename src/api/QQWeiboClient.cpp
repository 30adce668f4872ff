#include "api/QQWeiboClient.h"

#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/oauth/MicroblogClientSupport.h"
#include "api/oauth/MicroblogHosts.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"
#include "widgets/ProgressHUD.h"

namespace {
namespace QQWeiboClient_cpp {

constexpr char kTokenKey[] = "QQWeiboToken";
constexpr char kPinKey[] = "pin";

std::string encode(const std::string& text) { return OAuthURLEncodingAdditions::URLEncodedString(text); }

void storeDefault(const std::string& value, const char* key)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject_forKey(Value(value), key);
    defaults->synchronize();
}

}  // namespace QQWeiboClient_cpp
}  // namespace

void QQWeiboClient::initBody()
{
    UIViewController::initBody();
    consumer_ = OAuthConsumer::initWithKey_secret(Value(kConsumerKey), Value(kConsumerSecret));
}

bool QQWeiboClient::isBind()
{
    return NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey)["bindQWeibo"].boolValue();
}

Value QQWeiboClient::bindUser()
{
    const std::string body = NSUserDefaults::standardUserDefaults()->objectForKey(QQWeiboClient_cpp::kTokenKey).stringValue();
    const auto elements = MicroblogClientSupport::tokenReplyElements(body);
    return elements.size() > 5 ? Value(elements[5]) : Value();
}

void QQWeiboClient::back()
{
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

void QQWeiboClient::viewDidLoad()
{
    UIViewController::viewDidLoad();
    setTitle(isLogin_ ? "腾讯微博登录" : "绑定腾讯微博");
    requestToken();
}

void QQWeiboClient::sendSigned(const Ref<OAuthMutableURLRequest>& request, bool withToken, OAuthFinishSelector finish,
                               OAuthFailSelector fail, const char* logFormat)
{
    using namespace QQWeiboClient_cpp;
    request->prepare();
    NSLog("sign=>%@", request->signature());
    NSLog(withToken ? "nonce=>%@" : "sign=>%@", request->nonce());
    const std::string url = request->URL()->absoluteString();
    std::string address;
    if (withToken) {
        address = stringWithFormat(
            "%@&oauth_signature=%@&oauth_timestamp=%@&oauth_consumer_key=%@&oauth_token=%@&oauth_signature_method=%@"
            "&oauth_nonce=%@&oauth_version=1.0",
            url, encode(request->signature()), request->timestamp(), consumer_->key(),
            encode(request->token()->key().stringValue()), "HMAC-SHA1", request->nonce());
    } else {
        address = stringWithFormat(
            "%@&oauth_signature=%@&oauth_timestamp=%@&oauth_consumer_key=%@&oauth_signature_method=%@&oauth_nonce=%@"
            "&oauth_version=1.0",
            url, encode(request->signature()), request->timestamp(), consumer_->key(), "HMAC-SHA1", request->nonce());
    }
    request->setURL(NSURL::URLWithString(address));
    NSLog(logFormat, address);
    // The fetcher signs once more, with the same timestamp and nonce, now over the query's pairs too.
    fetcher_ = OAuthAsynchronousDataFetcher::asynchronousFetcherWithRequest_delegate_didFinishSelector_didFailSelector(
        request, self<NSObject>(), std::move(finish), std::move(fail));
    fetcher_->start();
}

void QQWeiboClient::requestToken()
{
    auto request = OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider(
        NSURL::URLWithString(MicroblogHosts::qqWeiboBaseURL() + "/cgi-bin/request_token"), consumer_, nullptr, Value(),
        OAuthHMAC_SHA1SignatureProvider::create());
    request->setHTTPMethod("GET");
    OAuthParameterAdditions::setParameters(
        request, {OAuthRequestParameter::requestParameterWithName_value("oauth_callback", MicroblogHosts::qqWeiboCallbackURL())});
    sendSigned(request, false,
               OAuthFinishSelector::make("requestTokenTicket:didFinishWithData:", &QQWeiboClient::requestTokenTicket_didFinishWithData),
               OAuthFailSelector::make("requestTokenTicket:didFailWithError:", &QQWeiboClient::requestTokenTicket_didFailWithError),
               "request %@");
}

void QQWeiboClient::requestTokenTicket_didFinishWithData(const Ref<OAuthServiceTicket>&, const NSData& data)
{
    using namespace QQWeiboClient_cpp;
    fetcher_ = nullptr;
    const std::string body = data.string();
    NSLog("获得未授权的KEY:%@", body);
    auto token = OAuthToken::initWithHTTPResponseBody(body);
    auto webView = UIWebView::initWithFrame(UIScreen::mainScreen()->bounds());
    webView->setDelegate(self<QQWeiboClient>());
    // A page that fails is said by this screen (an alert), over the page the person can try again on.
    webView->setShowsErrorPages(false);
    view()->addSubview(webView);
    oauthWebView_ = webView;
    const Value key = token->key();
    const std::string address = stringWithFormat("%@?oauth_token=%@", MicroblogHosts::qqWeiboBaseURL() + "/cgi-bin/authorize",
                                                 key.isNil() ? std::string("(null)") : encode(key.stringValue()));
    webView->loadRequest(NSURLRequest::requestWithURL_cachePolicy_timeoutInterval(
        NSURL::URLWithString(address), NSURLRequestReloadIgnoringLocalCacheData, 30.0));
    storeDefault(body, kTokenKey);
}

void QQWeiboClient::requestTokenTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error)
{
    fetcher_ = nullptr;
    NSLog("%@ %@", error, ticket);
    MicroblogClientSupport::showUnreachable("腾讯微博", error);
}

bool QQWeiboClient::webView_shouldStartLoadWithRequest_navigationType(const Ref<UIWebView>& webView,
                                                                      const Ref<NSURLRequest>& request,
                                                                      UIWebViewNavigationType)
{
    NSLog("开始载入content之前%@", request->URL());
    if (!request->HTTPBody().empty()) {
        NSLog("URL %@", request->URL());
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

void QQWeiboClient::webViewDidFinishLoad(const Ref<UIWebView>& webView)
{
    using namespace QQWeiboClient_cpp;
    Ref<NSURL> url = webView->request() ? webView->request()->URL() : nullptr;
    NSLog("开始载入content之后%@", url);
    const auto elements = MicroblogClientSupport::tokenReplyElements(url ? url->percentEncodedQuery() : "");
    std::string verifier;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i] == "oauth_verifier") {
            verifier = i + 1 < elements.size() ? elements[i + 1] : "";
            break;
        }
    }
    NSLog("authPin %d", int(verifier.size()));
    if (verifier.empty()) {
        const bool submitted = hud_.lock() != nullptr;
        restorePage();
        if (submitted && webView->pageText().empty()) {
            MicroblogClientSupport::showPageFailure(webView, "授权没有完成，请重试");
        }
        return;
    }
    storeDefault(verifier, kPinKey);
    accessToken(verifier);
}

void QQWeiboClient::accessToken(const std::string& verifier)
{
    auto token = OAuthToken::initWithHTTPResponseBody(
        NSUserDefaults::standardUserDefaults()->objectForKey(QQWeiboClient_cpp::kTokenKey).stringValue());
    auto request = OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider(
        NSURL::URLWithString(MicroblogHosts::qqWeiboBaseURL() + "/cgi-bin/access_token"), consumer_, token, Value(),
        OAuthHMAC_SHA1SignatureProvider::create());
    request->setHTTPMethod("GET");
    OAuthParameterAdditions::setParameters(request, {OAuthRequestParameter::requestParameterWithName_value("oauth_verifier", verifier)});
    sendSigned(request, true,
               OAuthFinishSelector::make("accessTokenTicket:didFinishWithData:", &QQWeiboClient::accessTokenTicket_didFinishWithData),
               OAuthFailSelector::make("accessTokenTicket:didFailWithError:", &QQWeiboClient::accessTokenTicket_didFailWithError),
               "access url %@");
}

void QQWeiboClient::accessTokenTicket_didFinishWithData(const Ref<OAuthServiceTicket>&, const NSData& data)
{
    using namespace QQWeiboClient_cpp;
    using namespace MicroblogClientSupport;
    fetcher_ = nullptr;
    const std::string body = data.string();
    NSLog("access_token%@", body);
    const auto elements = tokenReplyElements(body);
    Value logged = Value::array();
    for (const auto& element : elements) {
        logged.addObject(Value(element));
    }
    NSLog("accessTomek %@", logged);
    if (elements.size() < 4) {
        restorePage();
        return;
    }
    const Value token(elements[1]);
    const Value secret(elements[3]);
    Ref<QQWeiboClient> keep = self<QQWeiboClient>();
    if (isLogin_) {
        Value reply = runSynchronously(PZRequest::loginWithToken_andSecert_otherType(token, secret, 2), weakSelf<QQWeiboClient>());
        NSLog("%@", reply);
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
    Value reply = runSynchronously(PZRequest::bindUserQQWeibo_weiboTokenSecret(token, secret), weakSelf<QQWeiboClient>());
    if (reply["status"].intValue() == 200) {
        appendUserInfo(Value(1), "bindQWeibo");
        appendUserInfo(boundAccount(reply), "qWeibo");
        storeDefault(body, kTokenKey);
    } else {
        showBindFailure();
    }
    back();
}

void QQWeiboClient::accessTokenTicket_didFailWithError(const Ref<OAuthServiceTicket>&, const Ref<NSError>& error)
{
    fetcher_ = nullptr;
    NSLog("data %@", error);
    MicroblogClientSupport::showUnreachable("腾讯微博", error);
}

void QQWeiboClient::postTokenTicket_finishedWithData(const Ref<OAuthServiceTicket>&, const NSData&)
{
    UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(false);
}

void QQWeiboClient::postTokenTicket_failedWithError(const Ref<OAuthServiceTicket>&, const Ref<NSError>& error)
{
    NSLog("token error %@", error);
}

void QQWeiboClient::webView_didFailLoadWithError(const Ref<UIWebView>& webView, const Ref<NSError>& error)
{
    NSLog("page failed %@", error);
    if (!MicroblogClientSupport::isPageFailure(error)) {
        return;
    }
    restorePage();
    MicroblogClientSupport::showPageFailure(webView, "无法打开授权页：" + error->localizedDescription());
}

void QQWeiboClient::restorePage()
{
    if (auto webView = oauthWebView_.lock()) {
        webView->setAlpha(1);
    }
    if (auto hud = hud_.lock()) {
        hud->removeFromSuperview();
    }
}
