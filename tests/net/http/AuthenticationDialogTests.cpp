// The credentials dialog: one dialog serves every waiting request with the same place and realm,
// others wait their turn; what the sheet says; the NTLM domain; the prompt in landscape.
#include "HTTPTestSupport.h"
#include "net/http/HTTPAuthenticationDialog.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/Clock.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIWindow.h"
#include "AuthenticationSupport.h"
#include "servers/ForwardProxy.h"

using TestServers::RecordedRequest;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

using authtest::basic;
using authtest::guarded;

namespace {

class AuthenticationDialogTest : public HTTPRequestTest {
protected:
    AuthenticationDialogTest()
    {
        window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
    }
    ~AuthenticationDialogTest() override
    {
        if (auto responder = UIResponder::currentFirstResponder()) {
            responder->resignFirstResponder();
        }
        UIKeyboard::reset();
        window->setHidden(true);
    }

    // A started request that may ask the user, with a delegate recording its end.
    Ref<HTTPRequest> challenged(ScriptedHTTPServer& at, const std::string& path)
    {
        auto r = HTTPRequest::requestWithURL(NSURL::URLWithString(at.url(path)));
        r->setShouldPresentAuthenticationDialog(true);
        r->setDelegate(delegate);
        r->startAsynchronous();
        return r;
    }
    static Ref<UINavigationItem> item(const Ref<HTTPAuthenticationDialog>& dialog)
    {
        return dialog->navigationBar()->topItem();
    }
    static void type(const Ref<HTTPAuthenticationDialog>& dialog, const std::string& user, const std::string& password)
    {
        dialog->usernameField()->setText(user);
        dialog->passwordField()->setText(password);
    }
    size_t ended() const { return delegate->count("finished") + delegate->count("failed"); }

    Ref<UIWindow> window;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(AuthenticationDialogTest, OneDialogServesEveryRequestForThePlaceAndOthersWaitTheirTurn)
{
    server.setHandler(guarded("Basic realm=\"vault\"", basic("ann", "pw")));
    ScriptedHTTPServer elsewhere;
    elsewhere.setHandler(guarded("Basic realm=\"vault\"", basic("bob", "pw")));

    auto first = challenged(server, "/one");
    ASSERT_TRUE(waitFor([] { return HTTPAuthenticationDialog::sharedDialog() != nullptr; }));
    auto second = challenged(server, "/two");
    auto other = challenged(elsewhere, "/three");
    ASSERT_TRUE(waitFor([] { return HTTPAuthenticationDialog::requestsNeedingAuthentication().size() == 2; }));

    Ref<HTTPAuthenticationDialog> dialog = HTTPAuthenticationDialog::sharedDialog();
    EXPECT_EQ(dialog->request(), first);
    EXPECT_EQ(dialog->type(), 0);
    EXPECT_EQ(item(dialog)->title(), "127.0.0.1");
    EXPECT_EQ(item(dialog)->prompt(), "Login to this secure server.");
    EXPECT_EQ(item(dialog)->leftBarButtonItem()->systemItem(), UIBarButtonSystemItemCancel);
    EXPECT_EQ(item(dialog)->rightBarButtonItem()->title(), "Login");
    EXPECT_EQ(dialog->tableView()->numberOfSections(), 1);
    EXPECT_EQ(dialog->usernameField()->placeholder(), "User");
    EXPECT_TRUE(dialog->passwordField()->isSecureTextEntry());
    EXPECT_EQ(UIResponder::currentFirstResponder(), dialog->usernameField());
    EXPECT_EQ(dialog->tableView()->contentInset().bottom, 216);  // the keyboard's height
    EXPECT_EQ(dialog->requestsRequiringTheseCredentials(), (std::vector<Ref<HTTPRequest>>{second, first}));

    type(dialog, "ann", "pw");
    EXPECT_TRUE(item(dialog)->rightBarButtonItem()->simulateTap());
    ASSERT_TRUE(waitFor([&] { return ended() == 2; }));
    EXPECT_EQ(first->responseString(), "secret");
    EXPECT_EQ(second->responseString(), "secret");

    // The other host's request gets its own dialog once the first has gone.
    ASSERT_TRUE(waitFor([&] {
        auto next = HTTPAuthenticationDialog::sharedDialog();
        return next && next != dialog;
    }));
    Ref<HTTPAuthenticationDialog> next = HTTPAuthenticationDialog::sharedDialog();
    EXPECT_EQ(next->request(), other);
    EXPECT_TRUE(item(next)->leftBarButtonItem()->simulateTap());  // Cancel
    ASSERT_TRUE(waitFor([&] { return ended() == 3; }));
    ASSERT_TRUE(other->error());
    EXPECT_EQ(other->error()->code(), HTTPErrorAuthenticationNeeded);
    EXPECT_EQ(elsewhere.requestCount(), 1u);
    EXPECT_TRUE(waitFor([] { return HTTPAuthenticationDialog::sharedDialog() == nullptr; }));
}

TEST_F(AuthenticationDialogTest, AProxysChallengeAsksForTheProxyCredentials)
{
    TestServers::ForwardProxy::Options options;
    options.requiredAuthorization = basic("pia", "ppw");
    TestServers::ForwardProxy proxy(options);
    auto r = HTTPRequest::requestWithURL(NSURL::URLWithString(server.url("/via")));
    r->setProxyHost("127.0.0.1");
    r->setProxyPort(proxy.port());
    r->setDelegate(delegate);
    r->startAsynchronous();  // the proxy dialog is on by default
    ASSERT_TRUE(waitFor([] { return HTTPAuthenticationDialog::sharedDialog() != nullptr; }));
    Ref<HTTPAuthenticationDialog> dialog = HTTPAuthenticationDialog::sharedDialog();
    EXPECT_EQ(dialog->type(), 1);
    EXPECT_EQ(item(dialog)->prompt(), "Login to this secure proxy server.");
    EXPECT_EQ(dialog->tableView_titleForHeaderInSection(dialog->tableView(), 0), "proxy");

    type(dialog, "pia", "ppw");
    item(dialog)->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(waitFor([&] { return ended() == 1; }));
    EXPECT_EQ(r->responseString(), "ok");
    EXPECT_EQ(r->proxyUsername(), "pia");
    EXPECT_EQ(r->username(), "");
    EXPECT_EQ(proxy.seen().back().header("Proxy-Authorization"), options.requiredAuthorization);
}

TEST_F(AuthenticationDialogTest, TheFooterSaysWhetherThePasswordTravelsInTheClear)
{
    ScopedManualClock clock;  // no network here: the sheet's animations end when the clock moves
    struct Case {
        const char* url;
        const char* scheme;
        int needed;  // 1 server, 2 proxy
        const char* footer;
    };
    const Case cases[] = {
        {"http://127.0.0.1/", "Basic", 1, "Password will be sent in the clear."},
        {"https://127.0.0.1/", "Basic", 1, "Password will be sent securely."},
        {"http://127.0.0.1/", "Digest", 1, "Password will be sent securely."},
        {"https://127.0.0.1/", "Basic", 2, "Password will be sent in the clear."},  // the proxy is plain
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " " + c.scheme);
        auto r = HTTPRequest::requestWithURL(NSURL::URLWithString(c.url));
        r->setAuthenticationNeeded(c.needed);
        r->setProxyHost("proxy.example");
        if (c.needed == 2) {
            r->setProxyAuthenticationScheme(c.scheme);
        } else {
            r->setAuthenticationScheme(c.scheme);
        }
        HTTPAuthenticationDialog::presentAuthenticationDialogForRequest(r);
        Ref<HTTPAuthenticationDialog> dialog = HTTPAuthenticationDialog::sharedDialog();
        ASSERT_TRUE(dialog);
        auto table = dialog->tableView();
        EXPECT_EQ(dialog->tableView_titleForFooterInSection(table, 0), c.footer);
        EXPECT_EQ(item(dialog)->title(), c.needed == 2 ? "proxy.example" : "127.0.0.1");
        HTTPAuthenticationDialog::dismissSharedDialog();
        clock.advance(UIModalTransitionDuration);
        ASSERT_FALSE(HTTPAuthenticationDialog::sharedDialog());
    }
}

TEST_F(AuthenticationDialogTest, AnNTLMChallengeAsksForTheDomainToo)
{
    server.setHandler([](const RecordedRequest& r) {
        if (r.header("Authorization").rfind("NTLM ", 0) == 0) {
            return Reply::ok("hello");
        }
        Reply reply = Reply::withStatus(401, "Unauthorized");
        reply.headerLines.push_back("WWW-Authenticate: NTLM");
        return reply;
    });
    auto r = challenged(server, "/ntlm");
    ASSERT_TRUE(waitFor([] { return HTTPAuthenticationDialog::sharedDialog() != nullptr; }));
    Ref<HTTPAuthenticationDialog> dialog = HTTPAuthenticationDialog::sharedDialog();
    ASSERT_EQ(dialog->tableView()->numberOfSections(), 2);
    ASSERT_TRUE(dialog->domainField());
    EXPECT_EQ(dialog->domainField()->placeholder(), "Domain");
    EXPECT_EQ(dialog->tableView_titleForFooterInSection(dialog->tableView(), 1), "Password will be sent securely.");

    type(dialog, "carol", "pw");
    dialog->domainField()->setText("CORP");
    item(dialog)->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(waitFor([&] { return ended() == 1; }));
    EXPECT_EQ(r->responseString(), "hello");
    EXPECT_EQ(r->domain(), "CORP");
    EXPECT_EQ(r->requestCredentials()[kCFHTTPAuthenticationAccountDomain].stringValue(), "CORP");
}

TEST_F(AuthenticationDialogTest, InLandscapeTheNavigationItemHasNoPrompt)
{
    ScopedManualClock clock;
    auto r = HTTPRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1/"));
    r->setAuthenticationNeeded(2);
    HTTPAuthenticationDialog::presentAuthenticationDialogForRequest(r);
    Ref<HTTPAuthenticationDialog> dialog = HTTPAuthenticationDialog::sharedDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(item(dialog)->prompt(), "Login to this secure proxy server.");
    EXPECT_TRUE(dialog->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));

    UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationLandscapeLeft);
    EXPECT_EQ(item(dialog)->prompt(), "");
    UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationPortrait);
    EXPECT_EQ(item(dialog)->prompt(), "Login to this secure proxy server.");
    HTTPAuthenticationDialog::dismissSharedDialog();
    clock.advance(UIModalTransitionDuration);
    EXPECT_FALSE(HTTPAuthenticationDialog::sharedDialog());
}

}  // namespace
