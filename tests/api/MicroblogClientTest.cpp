#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ApiTestSupport.h"
#include "api/LumoWeiboClient.h"
#include "api/QQWeiboClient.h"
#include "api/oauth/MicroblogHosts.h"
#include "fixtures/RefusingPort.h"
#include "net/json/JsonParser.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"
#include "servers/OAuthProviders.h"
#include "service/ApiRoutes.h"
#include "service/StandInService.h"
#include "fixtures/RefusingPort.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/uikit/UIKeyboard.h"
#include "widgets/ProgressHUD.h"

namespace {
namespace MicroblogClientTest_cpp {

constexpr char kLumoKey[] = "2538114601";
constexpr char kLumoSecret[] = "c3ccc6d4f8e2dce2058abf5ca4fb2c95";

std::string editionConfig(bool withKeys)
{
    std::string keys = withKeys ? std::string("<key>Lumo_APPKEY</key><string>") + kLumoKey +
                                      "</string><key>Lumo_APPSECRET</key><string>" + kLumoSecret + "</string>"
                                : "";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>LumoWeiboClient</key><dict>" +
           keys + "</dict></dict></plist>";
}

standin::Response jsonReply(std::string body)
{
    standin::Response response;
    response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
    response.body = std::move(body);
    return response;
}

// The service's bind reply: the account's microblog fields, or a refusal.
standin::Response bindReply(const standin::Request& request, int status)
{
    if (status != 200) {
        return jsonReply(R"({"status":400,"msg":"该微博已绑定其他帐号"})");
    }
    const auto form = request.formParams();
    return jsonReply(R"({"status":200,"msg":"绑定成功","weiboNick":"微博小明","weiboToken":")" +
                                   standin::findParam(form, "weiboToken").value_or("") + R"(","weiboTokenSecret":")" +
                                   standin::findParam(form, "weiboTokenSecret").value_or("") + "\"}");
}

class MicroblogClientTest : public apitest::ApiTest {
protected:
    void SetUp() override
    {
        apitest::ApiTest::SetUp();
        UIAlertView::resetRecords();
        SecTrustAnchors::add(SecCertificate::createWithPEM(authority.certificate().certificatePEM));
        setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        setenv("OMBRI_LUMO_WEIBO_HOST", lumo.hostPort().c_str(), 1);
        setenv("OMBRI_QQ_WEIBO_HOST", qq.hostPort().c_str(), 1);
        apitest::writeFile(home / "bundle/lumo-OEM-config.plist", editionConfig(true));
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    void TearDown() override
    {
        window->setHidden(true);
        UIAlertView::resetRecords();
        SecTrustAnchors::removeAll();
        unsetenv("OMBRI_EXTRA_CA_FILE");
        unsetenv("OMBRI_LUMO_WEIBO_HOST");
        unsetenv("OMBRI_QQ_WEIBO_HOST");
        unsetenv("OMBRI_SERVICE_HOST");
        apitest::ApiTest::TearDown();
    }

    void logIn()
    {
        Value account = NSString_JsonParsing::JSONValue(standin::apiAccountReply(0)).mutableCopy();
        storeUserInfo(account);
    }
    // The login screen's flow: a navigation controller presented over the root, the client pushed on it.
    void presentForLogin(const Ref<UIViewController>& client)
    {
        flow = UINavigationController::initWithRootViewController(UIViewController::create());
        root->presentModalViewController_animated(flow, false);
        flow->pushViewController_animated(client, false);
    }
    // A binding screen pushes the client on its own navigation stack.
    void pushForBinding(const Ref<UIViewController>& client)
    {
        flow = UINavigationController::initWithRootViewController(UIViewController::create());
        root->presentModalViewController_animated(flow, false);
        flow->pushViewController_animated(client, false);
    }
    // Waits for the page of the web view to settle.
    bool pageLoaded(const Ref<UIWebView>& web)
    {
        return pumpMainUntil([&] { return web && !web->isLoading() && !web->request()->URL()->absoluteString().empty(); });
    }
    // A person's finger on the middle of a field of the page ("submit": the form's button).
    static void tapField(const Ref<UIWebView>& web, const std::string& nameOrType)
    {
        for (const auto& field : web->fields()) {
            if (field.name == nameOrType || field.type == nameOrType) {
                const CGPoint inWindow =
                    web->convertPoint_toView(CGPointMake(CGRectGetMidX(field.frame), CGRectGetMidY(field.frame)), nullptr);
                UIScreenInput::tap(web->window()->convertPoint_toWindow(inWindow, nullptr));
                return;
            }
        }
        ADD_FAILURE() << "no field " << nameOrType;
    }
    // The sign-in page shown and drawn, ready for a finger.
    bool pageShown(const Ref<UIWebView>& web)
    {
        return pumpMainUntil([&] {
            web->window()->layer()->layoutAndDisplayTreeIfNeeded();
            return !web->isLoading() && web->hasForm() && web->pageDrawn();
        });
    }
    // What the provider's authorisation form received.
    static std::string authorised(const TestServers::OAuthProvider& provider, const std::string& path)
    {
        // The latest, so each sign-in of a test is judged by its own submission.
        const auto requests = provider.requests();
        for (auto request = requests.rbegin(); request != requests.rend(); ++request) {
            if (request->method == "POST" && request->target == path) {
                return request->body;
            }
        }
        return "(none)";
    }
    Value defaultValue(const char* key) { return NSUserDefaults::standardUserDefaults()->objectForKey(key); }
    Value account() { return defaultValue(kAcountInfoKey); }

    TestServers::TestCertificateAuthority authority;
    standin::StandInService service;
    TestServers::OAuthProvider lumo{{TestServers::OAuthProvider::Kind::Lumo, kLumoKey, kLumoSecret, nullptr}};
    TestServers::OAuthProvider qq{{TestServers::OAuthProvider::Kind::QQ, QQWeiboClient::kConsumerKey,
                                   QQWeiboClient::kConsumerSecret, &authority}};
    Ref<UIWindow> window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    Ref<UIViewController> root = UIViewController::create();
    Ref<UINavigationController> flow;
};


TEST_F(MicroblogClientTest, LumoLoginRunsTheWholeFlowAndClosesTheLoginFlow)
{
    auto client = LumoWeiboClient::create();
    client->setIsLogin(true);
    presentForLogin(client);
    EXPECT_EQ(client->title(), "Lumo微博登录");
    EXPECT_EQ(client->consumer()->key().stringValue(), kLumoKey);
    auto web = client->oauthWebView();
    ASSERT_TRUE(web);
    EXPECT_TRUE(CGRectEqualToRect(web->frame(), UIScreen::mainScreen()->bounds()));
    ASSERT_TRUE(pageLoaded(web));
    EXPECT_TRUE(web->hasForm());
    EXPECT_EQ(defaultValue("lumoWeiboToken").stringValue().rfind("oauth_token=rt", 0), 0u);
    // The form page has no span: no verifier yet, nothing asked.
    EXPECT_EQ(lumo.acceptedCount("/oauth/access_token"), 0u);

    ASSERT_TRUE(web->submitFirstForm({{"userId", "xiaoming"}, {"passwd", "secret"}}));
    EXPECT_EQ(web->alpha(), 0);
    ASSERT_TRUE(client->hud());
    EXPECT_EQ(client->hud()->labelText(), "提交中");
    EXPECT_EQ(client->hud()->superview(), client->view());

    ASSERT_TRUE(pumpMainUntil([&] { return !root->modalViewController(); }));
    EXPECT_TRUE(lumo.refusals().empty()) << lumo.refusals().front();
    EXPECT_EQ(lumo.acceptedCount("/oauth/access_token"), 1u);
    EXPECT_TRUE(isLogin());
    EXPECT_EQ(account()["username"].stringValue(), "小明");
    const auto tokens = lumo.accessTokens();
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(defaultValue("lumoWeiboToken").stringValue(), "oauth_token=" + tokens.begin()->first +
                                                                "&oauth_token_secret=" + tokens.begin()->second +
                                                                "&user_id=5566&screen_name=lumo_user");
    EXPECT_EQ(LumoWeiboClient::bindUser().stringValue(), "5566");
    EXPECT_FALSE(defaultValue("pin").stringValue().empty());
    const auto logins = service.server().requests("/m/login.json");
    ASSERT_EQ(logins.size(), 1u);
    const auto form = logins[0].formParams();
    EXPECT_EQ(standin::findParam(form, "user").value_or(""), tokens.begin()->first);
    EXPECT_EQ(standin::findParam(form, "pwd").value_or(""), tokens.begin()->second);
    EXPECT_EQ(standin::findParam(form, "othertype").value_or(""), "3");
}

TEST_F(MicroblogClientTest, LumoBindRecordsTheAccountOnlyWhenTheServiceBoundIt)
{
    for (int status : {200, 400}) {
        UIAlertView::resetRecords();
        logIn();
        service.server().route("/m/bind-lumoweibo.json",
                               [status](const standin::Request& request) { return bindReply(request, status); });
        auto client = LumoWeiboClient::create();
        pushForBinding(client);
        EXPECT_EQ(client->title(), "绑定Lumo微博");
        ASSERT_TRUE(pageLoaded(client->oauthWebView()));
        ASSERT_TRUE(client->oauthWebView()->submitFirstForm());
        ASSERT_TRUE(pumpMainUntil([&] { return flow->topViewController() != client; })) << status;
        EXPECT_TRUE(lumo.refusals().empty());
        if (status == 200) {
            EXPECT_TRUE(LumoWeiboClient::isBind());
            EXPECT_EQ(account()["lumoWeibo"]["weiboNick"].stringValue(), "微博小明");
            EXPECT_EQ(account()["lumoWeibo"]["weiboToken"].stringValue(), lumo.accessTokens().rbegin()->first);
            EXPECT_TRUE(UIAlertView::shownAlerts().empty());
        } else {
            // Refused: nothing marked, the person is told, the screen still leaves.
            EXPECT_FALSE(LumoWeiboClient::isBind());
            EXPECT_TRUE(account()["lumoWeibo"].isNil());
            ASSERT_TRUE(UIAlertView::currentAlert());
            EXPECT_EQ(UIAlertView::currentAlert()->title(), "提示");
            EXPECT_EQ(UIAlertView::currentAlert()->message(), "绑定失败");
            EXPECT_EQ(UIAlertView::currentAlert()->buttonTitleAtIndex(0), "确定");
        }
        root->dismissModalViewControllerAnimated(false);
        Logout();
    }
}

TEST_F(MicroblogClientTest, LumoLoginRefusedByTheServiceStaysOnTheScreen)
{
    service.server().route("/m/login.json", [](const standin::Request&) {
        return jsonReply(R"({"status":400,"msg":"帐号已被冻结"})");
    });
    auto client = LumoWeiboClient::create();
    client->setIsLogin(true);
    presentForLogin(client);
    ASSERT_TRUE(pageLoaded(client->oauthWebView()));
    ASSERT_TRUE(client->oauthWebView()->submitFirstForm());
    ASSERT_TRUE(pumpMainUntil([&] { return UIAlertView::currentAlert() != nullptr; }));
    EXPECT_EQ(UIAlertView::currentAlert()->message(), "帐号已被冻结");
    EXPECT_FALSE(isLogin());
    EXPECT_TRUE(account().isNil());
    EXPECT_EQ(root->modalViewController(), flow);
    EXPECT_EQ(flow->topViewController(), client);
    EXPECT_EQ(client->oauthWebView()->alpha(), 1);
    EXPECT_FALSE(client->hud() && client->hud()->superview());
}

TEST_F(MicroblogClientTest, LumoFlowStopsOnAShortAccessReplyAndWithoutAConsumerKey)
{
    lumo.setAccessReply("oauth_token=only");
    auto client = LumoWeiboClient::create();
    client->setIsLogin(true);
    presentForLogin(client);
    ASSERT_TRUE(pageLoaded(client->oauthWebView()));
    const std::string requestTokenReply = defaultValue("lumoWeiboToken").stringValue();
    ASSERT_TRUE(client->oauthWebView()->submitFirstForm());
    ASSERT_TRUE(pumpMainUntil([&] { return lumo.acceptedCount("/oauth/access_token") == 1 && !client->oauthWebView()->isLoading(); }));
    EXPECT_EQ(service.server().requestCount("/m/login.json"), 0u);
    EXPECT_EQ(defaultValue("lumoWeiboToken").stringValue(), requestTokenReply);
    EXPECT_EQ(flow->topViewController(), client);
    NSUserDefaults::standardUserDefaults()->setObject_forKey(Value("a=b&c"), "lumoWeiboToken");
    EXPECT_TRUE(LumoWeiboClient::bindUser().isNil());

    // Without a key in the edition configuration the consumer has none and the provider refuses it.
    apitest::writeFile(home / "bundle/lumo-OEM-config.plist", editionConfig(false));
    auto keyless = LumoWeiboClient::create();
    root->dismissModalViewControllerAnimated(false);
    pushForBinding(keyless);
    EXPECT_TRUE(keyless->consumer()->key().isNil());
    ASSERT_TRUE(pageLoaded(keyless->oauthWebView()));
    EXPECT_EQ(lumo.refusals().back(), "unknown consumer /oauth/request_token");
    EXPECT_EQ(keyless->oauthWebView()->pageTitle(), "授权失败");
}

TEST_F(MicroblogClientTest, QQLoginOverTLSReadsTheVerifierFromTheRedirect)
{
    auto client = QQWeiboClient::create();
    client->setIsLogin(true);
    presentForLogin(client);
    EXPECT_EQ(client->title(), "腾讯微博登录");
    ASSERT_TRUE(pumpMainUntil([&] { return client->oauthWebView() && !client->oauthWebView()->isLoading(); }));
    auto web = client->oauthWebView();
    EXPECT_EQ(web->request()->URL()->scheme(), "https");
    EXPECT_EQ(web->request()->timeoutInterval(), 30.0);
    ASSERT_TRUE(web->hasForm());
    ASSERT_TRUE(web->submitFirstForm());
    EXPECT_EQ(client->hud()->labelText(), "提交中");
    ASSERT_TRUE(pumpMainUntil([&] { return !root->modalViewController(); }));
    EXPECT_TRUE(qq.refusals().empty()) << qq.refusals().front();
    EXPECT_TRUE(isLogin());
    EXPECT_EQ(standin::findParam(service.server().requests("/m/login.json").at(0).formParams(), "othertype").value_or(""),
              "2");
    EXPECT_EQ(defaultValue("QQWeiboToken").stringValue().rfind("oauth_token=at", 0), 0u);

    // Both token requests carried the callback or verifier and every OAuth value in the query, and
    // a header of their own.
    const auto requests = qq.requests();
    int signedRequests = 0;
    for (const auto& request : requests) {
        if (request.target.rfind("/cgi-bin/request_token?", 0) == 0 || request.target.rfind("/cgi-bin/access_token?", 0) == 0) {
            ++signedRequests;
            for (const char* name : {"oauth_signature=", "oauth_timestamp=", "oauth_consumer_key=", "oauth_nonce=",
                                     "oauth_signature_method=HMAC-SHA1", "oauth_version=1.0"}) {
                EXPECT_NE(request.target.find(name), std::string::npos) << name << " in " << request.target;
            }
            EXPECT_NE(request.target.find(request.target.rfind("/cgi-bin/request_token", 0) == 0 ? "?oauth_callback=http"
                                                                                                  : "?oauth_verifier="),
                      std::string::npos);
            EXPECT_EQ(request.header("Authorization").rfind("OAuth realm=\"\", oauth_consumer_key=", 0), 0u);
        }
    }
    EXPECT_EQ(signedRequests, 2);
}

// A person signs in through either provider's page with taps and keys alone: the provider receives
// exactly what was typed, and the client is logged in.
TEST_F(MicroblogClientTest, APersonSignsInThroughEitherProvidersPageByTapsAndKeys)
{
    struct Case {
        bool qq;
        bool byKeys;  // Tab from the name to the password, Return to send; else taps on each
    } cases[] = {{false, false}, {false, true}, {true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.qq ? "QQ" : "Lumo") + (c.byKeys ? " by keys" : " by taps"));
        UIKeyboard::reset();
        Ref<UIViewController> client;
        Ref<UIWebView> web;
        if (c.qq) {
            auto qqClient = QQWeiboClient::create();
            qqClient->setIsLogin(true);
            presentForLogin(qqClient);
            ASSERT_TRUE(pumpMainUntil([&] { return qqClient->oauthWebView() != nullptr; }));
            client = qqClient;
            web = qqClient->oauthWebView();
        } else {
            auto lumoClient = LumoWeiboClient::create();
            lumoClient->setIsLogin(true);
            presentForLogin(lumoClient);
            client = lumoClient;
            web = lumoClient->oauthWebView();
        }
        ASSERT_TRUE(web);
        ASSERT_TRUE(pageShown(web));
        tapField(web, "userId");
        EXPECT_TRUE(UIKeyboard::isVisible());
        EXPECT_TRUE(UIScreenInput::typeText("小明x"));
        EXPECT_TRUE(UIScreenInput::pressDelete());
        if (c.byKeys) {
            EXPECT_TRUE(UIScreenInput::pressTab());
        } else {
            // The keyboard covers the lower field: the person puts it away first, beside the form.
            UIScreenInput::tap(CGPointMake(300, 100));
            EXPECT_FALSE(UIKeyboard::isVisible());
            tapField(web, "passwd");
            EXPECT_TRUE(UIKeyboard::isVisible());
        }
        EXPECT_TRUE(UIScreenInput::typeText("se cret&"));
        if (c.byKeys) {
            EXPECT_TRUE(UIScreenInput::pressReturn());
        } else {
            UIScreenInput::tap(CGPointMake(300, 100));  // beside the form: the keyboard goes down
            EXPECT_FALSE(UIKeyboard::isVisible());
            tapField(web, "submit");
        }
        ASSERT_TRUE(pumpMainUntil([&] { return !root->modalViewController(); }));
        EXPECT_TRUE(isLogin());
        const std::string path = c.qq ? "/cgi-bin/authorize" : "/oauth/authorize";
        const std::string body = authorised(c.qq ? qq : lumo, path);
        EXPECT_NE(body.find("&userId=%E5%B0%8F%E6%98%8E&passwd=se+cret%26"), std::string::npos) << body;
        EXPECT_EQ(body.rfind("oauth_token=", 0), 0u) << body;
        storeUserInfo(Value());
        UIAlertView::resetRecords();
    }
}

// A submission of the sign-in form that fails ends with the failure told and the page shown again, never
// with the progress box over a hidden page.
TEST_F(MicroblogClientTest, AFailedSubmissionOfTheSignInFormShowsTheFailureAndThePageAgain)
{
    service.server().route("/to-file", [](const standin::Request&) {
        return standin::Response::empty(302).with("Location", "file:///etc/passwd");
    });
    service.server().route("/loop", [](const standin::Request&) {
        return standin::Response::empty(302).with("Location", "/loop");
    });
    const std::string serviceURL = "http://" + service.hostPort();
    struct Case {
        std::string action;
        bool sent;  // the form goes (and fails); else nothing happens at all
    } cases[] = {{"http://" + RefusingPort::shared().hostPort() + "/authorize", true},
                 {"file:///etc/passwd", true},
                 {"about:blank", true},
                 {serviceURL + "/to-file", true},
                 {serviceURL + "/loop", true},
                 {"javascript:submit()", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        UIAlertView::resetRecords();
        auto client = LumoWeiboClient::create();
        client->setIsLogin(true);
        presentForLogin(client);
        auto web = client->oauthWebView();
        ASSERT_TRUE(web);
        ASSERT_TRUE(pageShown(web));
        // The page's form, as a hostile provider would write it.
        web->loadHTMLString_baseURL("<html><body><form method=\"post\" action=\"" + c.action +
                                        "\"><input name=\"userId\" value=\"x\"><input type=\"submit\"></form></body></html>",
                                    NSURL::URLWithString(serviceURL + "/page"));
        ASSERT_TRUE(pageShown(web));
        tapField(web, "submit");
        if (!c.sent) {
            EXPECT_FALSE(client->hud());
            EXPECT_FALSE(web->isLoading());
        } else {
            ASSERT_TRUE(pumpMainUntil([&] { return !UIAlertView::shownAlerts().empty(); }));
            EXPECT_EQ(UIAlertView::shownAlerts().front()->title(), "提示");
            ASSERT_TRUE(pumpMainUntil([&] { return !web->isLoading(); }));
            EXPECT_EQ(web->alpha(), 1);
            EXPECT_FALSE(client->hud() && client->hud()->superview());
            EXPECT_TRUE(web->hasForm());  // the form again, to try once more
        }
        EXPECT_FALSE(isLogin());
        root->dismissModalViewControllerAnimated(false);
    }
}

TEST_F(MicroblogClientTest, QQBindRefusedOrWithoutVerifier)
{
    logIn();
    service.server().route("/m/bind-qweibo.json",
                           [](const standin::Request& request) { return bindReply(request, 400); });
    auto client = QQWeiboClient::create();
    pushForBinding(client);
    EXPECT_EQ(client->title(), "绑定腾讯微博");
    ASSERT_TRUE(pumpMainUntil([&] { return client->oauthWebView() && !client->oauthWebView()->isLoading(); }));
    ASSERT_TRUE(client->oauthWebView()->submitFirstForm());
    ASSERT_TRUE(pumpMainUntil([&] { return flow->topViewController() != client; }));
    EXPECT_FALSE(QQWeiboClient::isBind());
    ASSERT_TRUE(UIAlertView::currentAlert());
    EXPECT_EQ(UIAlertView::currentAlert()->message(), "绑定失败");
    EXPECT_EQ(service.server().requestCount("/m/bind-qweibo.json"), 1u);

    // A redirect whose "oauth_verifier" is the last element carries none: the page comes back.
    qq.setRedirectWithoutVerifier(true);
    auto again = QQWeiboClient::create();
    flow->pushViewController_animated(again, false);
    ASSERT_TRUE(pumpMainUntil([&] { return again->oauthWebView() && !again->oauthWebView()->isLoading(); }));
    ASSERT_TRUE(again->oauthWebView()->submitFirstForm());
    EXPECT_EQ(again->oauthWebView()->alpha(), 0);
    ASSERT_TRUE(pumpMainUntil([&] { return !again->oauthWebView()->isLoading(); }));
    EXPECT_EQ(again->oauthWebView()->alpha(), 1);
    EXPECT_FALSE(again->hud() && again->hud()->superview());
    EXPECT_EQ(qq.acceptedCount("/cgi-bin/access_token"), 1u);  // only the first client's
}

// The QQ provider's authority is trusted only through the configured file, as the application run against
// the local stand-ins trusts it: without the file the provider cannot be reached and the person is told
// so (not left on a black page); with it the binding runs through the provider's page over TLS.
TEST_F(MicroblogClientTest, QQBindTrustsTheConfiguredAuthorityFileAndTellsWhenItCannotReach)
{
    logIn();
    service.server().route("/m/bind-qweibo.json", [](const standin::Request& request) { return bindReply(request, 200); });
    SecTrustAnchors::removeAll();
    const std::string authorityFile = home / "authority.pem";
    apitest::writeFile(authorityFile, authority.certificate().certificatePEM);

    auto refused = QQWeiboClient::create();
    pushForBinding(refused);
    ASSERT_TRUE(pumpMainUntil([&] { return UIAlertView::currentAlert() != nullptr; }));
    EXPECT_EQ(UIAlertView::currentAlert()->title(), "提示");
    EXPECT_EQ(UIAlertView::currentAlert()->message().rfind("无法连接腾讯微博", 0), 0u)
        << UIAlertView::currentAlert()->message();
    EXPECT_EQ(qq.acceptedCount("/cgi-bin/request_token"), 0u);
    EXPECT_FALSE(QQWeiboClient::isBind());
    root->dismissModalViewControllerAnimated(false);
    UIAlertView::resetRecords();

    setenv("OMBRI_EXTRA_CA_FILE", authorityFile.c_str(), 1);
    auto client = QQWeiboClient::create();
    pushForBinding(client);
    ASSERT_TRUE(pumpMainUntil([&] { return client->oauthWebView() && !client->oauthWebView()->isLoading(); }));
    EXPECT_EQ(client->oauthWebView()->request()->URL()->scheme(), "https");
    ASSERT_TRUE(client->oauthWebView()->submitFirstForm());
    ASSERT_TRUE(pumpMainUntil([&] { return flow->topViewController() != client; }));
    EXPECT_TRUE(qq.refusals().empty());
    EXPECT_TRUE(QQWeiboClient::isBind());
    EXPECT_EQ(service.server().requestCount("/m/bind-qweibo.json"), 1u);
    EXPECT_TRUE(UIAlertView::shownAlerts().empty());
}

// A Lumo provider that refuses connections: the person is told, the sign-in page does not stay empty.
TEST_F(MicroblogClientTest, AnUnreachableLumoProviderIsReported)
{
    RefusingPort nobody;
    setenv("OMBRI_LUMO_WEIBO_HOST", nobody.hostPort().c_str(), 1);
    auto client = LumoWeiboClient::create();
    client->setIsLogin(true);
    presentForLogin(client);
    ASSERT_TRUE(pumpMainUntil([&] { return UIAlertView::currentAlert() != nullptr; }));
    EXPECT_EQ(UIAlertView::currentAlert()->message().rfind("无法连接Lumo微博", 0), 0u)
        << UIAlertView::currentAlert()->message();
    EXPECT_FALSE(isLogin());
}

TEST_F(MicroblogClientTest, TheBoundUserIsTheStoredTokenReplysSixthElementOrNothing)
{
    // The stored access reply is split at '&' and '='; a reply cut short (a refusal, an older
    // format) has no sixth element and must give no user rather than read past the end.
    struct Case {
        const char* reply;
        Value user;
    };
    const Case cases[] = {
        {"oauth_token=t&oauth_token_secret=s&name=小鱼", Value("小鱼")},
        {"oauth_token=t&oauth_token_secret=s&name=", Value("")},
        {"oauth_token=t&oauth_token_secret=s", Value()},
        {"oauth_token=t", Value()},
        {"", Value()},
    };
    auto defaults = NSUserDefaults::standardUserDefaults();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        defaults->setObject_forKey(Value(c.reply), "QQWeiboToken");
        defaults->setObject_forKey(Value(c.reply), "lumoWeiboToken");
        EXPECT_EQ(QQWeiboClient::bindUser(), c.user);
        EXPECT_EQ(LumoWeiboClient::bindUser(), c.user);
    }
    defaults->removeObjectForKey("QQWeiboToken");
    defaults->removeObjectForKey("lumoWeiboToken");
}

TEST(MicroblogProviderTest, TheStandInRefusesReplayedNoncesAndBadSignatures)
{
    MainThreadScope main;
    TestServers::OAuthProvider provider{{TestServers::OAuthProvider::Kind::Lumo, "key", "secret", nullptr}};
    auto consumer = OAuthConsumer::initWithKey_secret(Value("key"), Value("secret"));
    auto send = [&](const Ref<OAuthMutableURLRequest>& request) {
        request->prepare();
        Ref<NSURLResponse> response;
        Ref<NSError> error;
        auto body = NSURLConnection::sendSynchronousRequest_returningResponse_error(request, &response, &error);
        return std::to_string(std::dynamic_pointer_cast<NSHTTPURLResponse>(response)->statusCode()) + " " +
               body.value_or(NSData()).string().substr(0, 14);
    };
    // A nonce is used up per timestamp: the replay carries the same one, however late it is sent.
    const auto timestamp = OAuthMutableURLRequest::generateTimestamp();
    auto make = [&](const std::string& nonce, const Ref<OAuthConsumer>& who) {
        return OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider_nonce_timestamp(
            NSURL::URLWithString(provider.baseURL() + "/oauth/request_token"), who, nullptr, Value(), nullptr, nonce,
            timestamp);
    };
    EXPECT_EQ(send(make("1234567", consumer)), "200 oauth_token=rt");
    EXPECT_EQ(send(make("1234567", consumer)), "401 nonce used");
    EXPECT_EQ(send(make("7654321", OAuthConsumer::initWithKey_secret(Value("key"), Value("wrong")))), "401 bad signature");
    EXPECT_EQ(provider.refusals(), (std::vector<std::string>{"nonce used /oauth/request_token",
                                                             "bad signature /oauth/request_token"}));
}

}  // namespace MicroblogClientTest_cpp
}  // namespace
