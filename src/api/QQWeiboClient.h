#pragma once
// QQWeiboClient: the QQ microblog twin of LumoWeiboClient. Its OAuth service speaks HTTPS and reads the
// OAuth values from the query (every request carries them there and, signed once more, in the header);
// the token requests run asynchronously on the main run loop; the verifier comes in the query of the
// page the service redirects to after the form; the consumer pair is held here. The service's login or
// bind then runs as the Lumo client's does.
#include <string>

#include "api/oauth/OAuthDataFetcher.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWebView.h"

class ProgressHUD;

class QQWeiboClient : public UIViewController, public UIWebViewDelegate, public HTTPRequestDelegate {
public:
    static Ref<QQWeiboClient> create() { return make<QQWeiboClient>(); }

    static constexpr char kConsumerKey[] = "801102367";
    static constexpr char kConsumerSecret[] = "9c2a7e41d05b86f3a1e4c7d92b58f0e6";

    bool isLogin() const { return isLogin_; }
    void setIsLogin(bool isLogin) { isLogin_ = isLogin; }
    Ref<UIWebView> oauthWebView() const { return oauthWebView_.lock(); }
    Ref<ProgressHUD> hud() const { return hud_.lock(); }
    Ref<OAuthConsumer> consumer() const { return consumer_; }

    static bool isBind();
    // The value of the third pair of the stored token reply; nil when the reply is shorter.
    static Value bindUser();

    void back();
    void initBody() override;
    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override
    {
        return orientation == UIInterfaceOrientationPortrait;
    }

    bool webView_shouldStartLoadWithRequest_navigationType(const Ref<UIWebView>& webView,
                                                           const Ref<NSURLRequest>& request,
                                                           UIWebViewNavigationType navigationType) override;
    void webViewDidFinishLoad(const Ref<UIWebView>& webView) override;
    void webView_didFailLoadWithError(const Ref<UIWebView>& webView, const Ref<NSError>& error) override;

    void requestTokenTicket_didFinishWithData(const Ref<OAuthServiceTicket>& ticket, const NSData& data);
    void requestTokenTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error);
    void accessTokenTicket_didFinishWithData(const Ref<OAuthServiceTicket>& ticket, const NSData& data);
    void accessTokenTicket_didFailWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error);
    // Answers no request of the client.
    void postTokenTicket_finishedWithData(const Ref<OAuthServiceTicket>& ticket, const NSData& data);
    void postTokenTicket_failedWithError(const Ref<OAuthServiceTicket>& ticket, const Ref<NSError>& error);

private:
    // Signs the request, then writes every OAuth value into its query too, as the service reads them.
    void sendSigned(const Ref<OAuthMutableURLRequest>& request, bool withToken, OAuthFinishSelector finish,
                    OAuthFailSelector fail, const char* logFormat);
    void requestToken();
    void accessToken(const std::string& verifier);
    void restorePage();

    bool isLogin_ = false;
    Weak<UIWebView> oauthWebView_;
    Weak<ProgressHUD> hud_;
    Ref<OAuthConsumer> consumer_;
    Ref<OAuthAsynchronousDataFetcher> fetcher_;
};
