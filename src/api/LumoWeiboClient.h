#pragma once
// LumoWeiboClient: the screen that logs in with a Lumo microblog account, or links one to the account
// logged in, by the Lumo service's OAuth 1.0 flow in a full-screen web view: the request token
// (blocking), the authorisation page, the verifier read from the first span of the page that follows
// the form, the access token (blocking), then the service's login or bind (blocking).
//
// The consumer pair comes from the edition configuration ("Lumo_APPKEY", "Lumo_APPSECRET"). A login is
// stored and the login flow closed only when the service logged in; a bind is recorded only when the
// service bound the account (otherwise "绑定失败"), and the screen pops either way.
#include <string>

#include "api/PZViewController.h"
#include "api/oauth/OAuthDataFetcher.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/uikit/UIWebView.h"

class LumoWeiboClient;
class ProgressHUD;

class LumoWeiboClientDelegate {
public:
    virtual ~LumoWeiboClientDelegate() = default;
    virtual void LumoWeiboClient_didPostStatus(const Ref<LumoWeiboClient>& client, const std::string& reply) {}
};

class LumoWeiboClient : public PZViewController, public UIWebViewDelegate, public HTTPRequestDelegate {
public:
    static Ref<LumoWeiboClient> create() { return make<LumoWeiboClient>(); }

    bool isLogin() const { return isLogin_; }
    void setIsLogin(bool isLogin) { isLogin_ = isLogin; }
    Ref<LumoWeiboClientDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<LumoWeiboClientDelegate>& delegate) { delegate_ = delegate; }
    Ref<UIWebView> oauthWebView() const { return oauthWebView_.lock(); }
    Ref<ProgressHUD> hud() const { return hud_.lock(); }
    Ref<OAuthConsumer> consumer() const { return consumer_; }

    // Whether the account has a Lumo microblog account bound.
    static bool isBind();
    // The value of the third pair of the stored token reply; nil when the reply is shorter.
    static Value bindUser();

    void back();
    void postStatus(const std::string& text);
    void postUpload_withData(const std::string& text, const NSData& jpeg);

    void viewDidLoad() override;

    bool webView_shouldStartLoadWithRequest_navigationType(const Ref<UIWebView>& webView,
                                                           const Ref<NSURLRequest>& request,
                                                           UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(const Ref<UIWebView>& webView) override;
    void webViewDidFinishLoad(const Ref<UIWebView>& webView) override;
    void webView_didFailLoadWithError(const Ref<UIWebView>& webView, const Ref<NSError>& error) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    // Fetcher messages.
    void requestTokenTicket_didFinishWithData(const Ref<OAuthServiceTicket>& ticket, const NSData& data);
    void requestTokenTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error);
    void accessTokenTicket_didFinishWithData(const Ref<OAuthServiceTicket>& ticket, const NSData& data);
    void accessTokenTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error);
    void postTicket_didFinishWithData(const Ref<OAuthServiceTicket>& ticket, const NSData& data);
    void postTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error);

private:
    Ref<OAuthConsumer> makeConsumer();
    void requestToken();
    void accessToken(const std::string& verifier);
    // The page comes back and the progress box goes.
    void restorePage();
    Ref<OAuthToken> storedToken() const;

    bool isLogin_ = false;
    Weak<LumoWeiboClientDelegate> delegate_;
    Weak<UIWebView> oauthWebView_;
    Weak<ProgressHUD> hud_;
    Ref<OAuthConsumer> consumer_;
};
