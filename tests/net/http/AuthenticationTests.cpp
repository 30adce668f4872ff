// Challenges and credentials: Basic and Digest answered with the request's own credentials and then
// presented before the next challenge, credentials that stop working leaving the session store, NTLM
// account domains, a proxy's challenge, the delegate asked for credentials, synchronous requests that
// never wait for anyone, and credentials that stay behind on a redirect to another place.
#include <atomic>
#include <map>

#include "HTTPTestSupport.h"
#include "net/http/HTTPAuthenticationDialog.h"
#include "platform/cfnetwork/CFHTTPAuthentication.h"
#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/Base64.h"
#include "AuthenticationSupport.h"
#include "servers/ForwardProxy.h"

using TestServers::RecordedRequest;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

using authtest::basic;
using authtest::guarded;

namespace {

std::string md5hex(const std::string& text)
{
    return CommonCrypto::hex(CommonCrypto::md5(text));
}

// Takes authentication messages itself: fills in credentials, or gives up.
class AskedDelegate : public RecordingDelegate {
public:
    std::string user;
    std::string password;
    bool cancel = false;
    bool silent = false;  // keeps the request waiting
    int asked = 0;

    bool respondsToSelector(std::string_view selector) const override
    {
        return selector == kHTTPAuthenticationNeededSelector || RecordingDelegate::respondsToSelector(selector);
    }
    void authenticationNeededForRequest(const Ref<HTTPRequest>& request) override
    {
        ++asked;
        if (silent) {
            return;
        }
        if (cancel) {
            request->cancelAuthentication();
            return;
        }
        request->setUsername(user);
        request->setPassword(password);
        request->retryUsingSuppliedCredentials();
    }
};

using AuthenticationTest = HTTPRequestTest;

TEST_F(AuthenticationTest, ABasicChallengeIsAnsweredThenTheNextRequestPresentsTheCredentialsAtOnce)
{
    server.setHandler(guarded("Basic realm=\"vault\"", basic("ann", "pw1")));

    auto first = request("/vault");
    first->setUsername("ann");
    first->setPassword("pw1");
    first->startSynchronous();
    ASSERT_FALSE(first->error()) << first->error()->localizedDescription();
    EXPECT_EQ(first->responseStatusCode(), 200);
    EXPECT_EQ(first->responseString(), "secret");
    EXPECT_EQ(first->authenticationScheme(), "Basic");
    EXPECT_EQ(first->authenticationRealm(), "vault");

    auto second = request("/vault");  // no credentials of its own
    second->startSynchronous();
    EXPECT_EQ(second->responseStatusCode(), 200);

    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_FALSE(seen[0].hasHeader("Authorization"));  // no scheme known yet: nothing sent up front
    EXPECT_EQ(seen[1].header("Authorization"), basic("ann", "pw1"));
    EXPECT_EQ(seen[2].header("Authorization"), basic("ann", "pw1"));  // presented before any challenge
}

TEST_F(AuthenticationTest, BasicCredentialsPresentedUpFrontAreRememberedOnceTheyWork)
{
    server.setHandler(guarded("Basic realm=\"vault\"", basic("bob", "pw2")));
    auto first = request("/a");
    first->setUsername("bob");
    first->setPassword("pw2");
    first->addBasicAuthenticationHeaderWithUsername_andPassword("bob", "pw2");
    first->startSynchronous();
    EXPECT_EQ(first->responseStatusCode(), 200);
    ASSERT_EQ(HTTPRequest::sessionCredentialsStore().count(), 1u);
    EXPECT_TRUE(HTTPRequest::sessionCredentialsStore()[0]["Authentication"].isNil());

    auto second = request("/a");
    second->startSynchronous();
    EXPECT_EQ(second->responseStatusCode(), 200);
    EXPECT_EQ(server.requestCount(), 2u);  // neither was challenged
}

TEST_F(AuthenticationTest, DigestIsAnsweredWithTheResponseHashTheServerExpects)
{
    std::atomic<bool> hashMatched{false};
    server.setHandler([&hashMatched](const RecordedRequest& r) {
        const std::string authorization = r.header("Authorization");
        if (!authorization.empty()) {
            auto challenges = CFHTTPAuthentication::parseChallenges(authorization);
            if (!challenges.empty() && challenges[0].scheme == "Digest") {
                const auto& c = challenges[0];
                const std::string ha1 = md5hex("carol:digest realm:pw3");
                const std::string ha2 = md5hex(r.method + ":" + c.parameter("uri").value_or(""));
                const std::string expected =
                    md5hex(ha1 + ":" + c.parameter("nonce").value_or("") + ":" + c.parameter("nc").value_or("") +
                           ":" + c.parameter("cnonce").value_or("") + ":" + c.parameter("qop").value_or("") + ":" + ha2);
                if (c.parameter("response") == expected && c.parameter("uri") == r.target &&
                    c.parameter("username") == "carol" && c.parameter("opaque") == "op") {
                    hashMatched = true;
                    return Reply::ok("digest ok");
                }
            }
        }
        Reply reply = Reply::withStatus(401, "Unauthorized");
        reply.headerLines.push_back(
            "WWW-Authenticate: Digest realm=\"digest realm\", qop=\"auth\", nonce=\"n0nce\", opaque=\"op\"");
        return reply;
    });

    auto challenged = request("/d?x=1");
    challenged->setUsername("carol");
    challenged->setPassword("pw3");
    challenged->startSynchronous();
    EXPECT_TRUE(hashMatched);
    EXPECT_EQ(challenged->responseString(), "digest ok");
    EXPECT_EQ(challenged->authenticationScheme(), "Digest");
}

TEST_F(AuthenticationTest, ASynchronousRequestWithoutCredentialsFailsWithCode3AndAsksNobody)
{
    server.setHandler(guarded("Basic realm=\"vault\"", basic("x", "y")));
    auto delegate = std::make_shared<AskedDelegate>();
    auto challenged = request("/");
    challenged->setDelegate(delegate);
    challenged->setShouldPresentAuthenticationDialog(true);
    challenged->startSynchronous();
    ASSERT_TRUE(challenged->error());
    EXPECT_EQ(challenged->error()->code(), HTTPErrorAuthenticationNeeded);
    EXPECT_TRUE(deliverPending());
    EXPECT_EQ(delegate->asked, 0);
    EXPECT_FALSE(HTTPAuthenticationDialog::sharedDialog());
    EXPECT_EQ(delegate->count("failed"), 1u);
}

TEST_F(AuthenticationTest, WithoutAWindowToShowTheDialogInTheRequestGivesUp)
{
    server.setHandler(guarded("Basic realm=\"vault\"", basic("x", "y")));
    auto delegate = std::make_shared<RecordingDelegate>();
    auto challenged = request("/");
    challenged->setDelegate(delegate);
    challenged->setShouldPresentAuthenticationDialog(true);
    challenged->startAsynchronous();
    ASSERT_TRUE(waitFor([&] { return delegate->count("failed") == 1; }));
    EXPECT_EQ(challenged->error()->code(), HTTPErrorAuthenticationNeeded);
    EXPECT_FALSE(HTTPAuthenticationDialog::sharedDialog());
}

TEST_F(AuthenticationTest, CredentialsThatStopWorkingLeaveTheSessionStore)
{
    std::atomic<bool> passwordChanged{false};
    server.setHandler([&passwordChanged](const RecordedRequest& r) {
        const std::string good = passwordChanged ? basic("dan", "new") : basic("dan", "old");
        return guarded("Basic realm=\"vault\"", good)(r);
    });
    auto first = request("/");
    first->setUsername("dan");
    first->setPassword("old");
    first->startSynchronous();
    EXPECT_EQ(first->responseStatusCode(), 200);
    EXPECT_EQ(HTTPRequest::sessionCredentialsStore().count(), 1u);

    passwordChanged = true;
    auto second = request("/");
    second->startSynchronous();
    ASSERT_TRUE(second->error());
    EXPECT_EQ(second->error()->code(), HTTPErrorAuthenticationNeeded);
    EXPECT_EQ(HTTPRequest::sessionCredentialsStore().count(), 0u);
}

TEST_F(AuthenticationTest, WithKeychainPersistenceWorkingCredentialsAreSavedAndFoundAgain)
{
    server.setHandler(guarded("Basic realm=\"vault\"", basic("kim", "pw6")));
    auto first = request("/k");
    first->setUsername("kim");
    first->setPassword("pw6");
    first->setUseKeychainPersistence(true);
    first->setUseSessionPersistence(false);
    first->startSynchronous();
    EXPECT_EQ(first->responseStatusCode(), 200);
    Ref<NSURLCredential> saved =
        HTTPRequest::savedCredentialsForHost_port_protocol_realm("127.0.0.1", server.port(), "http", "vault");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->user(), "kim");
    EXPECT_EQ(saved->persistence(), NSURLCredentialPersistencePermanent);
    EXPECT_EQ(HTTPRequest::sessionCredentialsStore().count(), 0u);

    auto second = request("/k");  // nothing of its own, nothing in the session
    second->setUseKeychainPersistence(true);
    second->startSynchronous();
    EXPECT_EQ(second->responseString(), "secret");

    HTTPRequest::removeCredentialsForHost_port_protocol_realm("127.0.0.1", server.port(), "http", "vault");
    EXPECT_FALSE(HTTPRequest::savedCredentialsForHost_port_protocol_realm("127.0.0.1", server.port(), "http", "vault"));
}

TEST_F(AuthenticationTest, TheDelegateIsAskedAndItsCredentialsAreTriedOrItGivesUp)
{
    struct Case {
        bool cancel;
        std::string password;
        int expectedCode;  // 0: finished
    };
    for (const Case& c : {Case{false, "pw4", 0}, Case{true, "", HTTPErrorAuthenticationNeeded}}) {
        SCOPED_TRACE(c.cancel ? "gives up" : "answers");
        HTTPRequest::clearSession();
        server.setHandler(guarded("Basic realm=\"vault\"", basic("eve", "pw4")));
        auto delegate = std::make_shared<AskedDelegate>();
        delegate->user = "eve";
        delegate->password = c.password;
        delegate->cancel = c.cancel;
        auto challenged = request("/asked");
        challenged->setDelegate(delegate);
        challenged->startAsynchronous();
        ASSERT_TRUE(waitFor([&] { return delegate->count("finished") + delegate->count("failed") > 0; }));
        EXPECT_EQ(delegate->asked, 1);
        if (c.expectedCode == 0) {
            EXPECT_EQ(delegate->names().back(), "finished");
            EXPECT_EQ(challenged->responseString(), "secret");
        } else {
            ASSERT_TRUE(challenged->error());
            EXPECT_EQ(challenged->error()->code(), c.expectedCode);
        }
    }
}

TEST_F(AuthenticationTest, ARequestWaitingForCredentialsCanStillBeCancelled)
{
    server.setHandler(guarded("Basic realm=\"vault\"", basic("fay", "pw7")));
    auto delegate = std::make_shared<AskedDelegate>();
    delegate->silent = true;
    auto waiting = request("/wait");
    waiting->setDelegate(delegate);
    waiting->startAsynchronous();
    ASSERT_TRUE(waitFor([&] { return delegate->asked == 1; }));

    waiting->cancel();
    ASSERT_TRUE(waitFor([&] { return delegate->count("failed") == 1; }));
    EXPECT_EQ(waiting->error()->code(), HTTPErrorCancelled);
    // An answer that comes too late changes nothing.
    waiting->setUsername("fay");
    waiting->setPassword("pw7");
    waiting->retryUsingSuppliedCredentials();
    EXPECT_TRUE(deliverPending());
    EXPECT_TRUE(waitFor([&] { return waiting->isFinished(); }));
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(delegate->names(), (std::vector<std::string>{"started", "headers", "failed"}));
}

TEST_F(AuthenticationTest, AnNTLMUserNameCarriesItsAccountDomainUnlessTheRequestNamesOne)
{
    struct Case {
        std::string user;
        std::string domain;
        std::string sentUser;
        std::string sentDomain;
    };
    const Case cases[] = {
        {"CORP\\frank", "", "frank", "CORP"},
        {"CORP\\frank", "OTHER", "CORP\\frank", "OTHER"},
        {"a\\b\\c", "", "a\\b\\c", ""},
        {"frank", "", "frank", ""},
    };
    // The first message of the handshake is enough to see which credentials were applied.
    server.setHandler([](const RecordedRequest& r) {
        if (r.header("Authorization").rfind("NTLM ", 0) == 0) {
            return Reply::ok("hello");
        }
        Reply reply = Reply::withStatus(401, "Unauthorized");
        reply.headerLines.push_back("WWW-Authenticate: NTLM");
        return reply;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user + " / " + c.domain);
        HTTPRequest::clearSession();
        auto challenged = request("/ntlm");
        challenged->setUsername(c.user);
        challenged->setPassword("pw");
        challenged->setDomain(c.domain);
        challenged->startSynchronous();
        ASSERT_FALSE(challenged->error());
        EXPECT_EQ(challenged->authenticationScheme(), "NTLM");
        const Value applied = challenged->requestCredentials();
        EXPECT_EQ(applied[kCFHTTPAuthenticationUsername].stringValue(), c.sentUser);
        EXPECT_EQ(applied[kCFHTTPAuthenticationAccountDomain].stringValue(), c.sentDomain);
    }
}

// A challenge message of the handshake's second step (no target name; target information holding
// only its end marker).
std::string ntlmChallengeMessage()
{
    std::string m("NTLMSSP\0", 8);
    auto u16 = [&m](uint16_t v) {
        m.push_back(char(v & 0xff));
        m.push_back(char(v >> 8));
    };
    auto u32 = [&u16](uint32_t v) {
        u16(uint16_t(v & 0xffff));
        u16(uint16_t(v >> 16));
    };
    u32(2);  // message type
    // Target name: empty, at the end of the fixed part.
    u16(0);
    u16(0);
    u32(48);
    u32(0x00000001 | 0x00000200 | 0x00080000 | 0x00800000);  // unicode, NTLM, extended security, target info
    m.append("\x01\x23\x45\x67\x89\xab\xcd\xef", 8);  // server challenge
    m.append(8, '\0');                                // reserved
    // Target information: its end marker only.
    u16(4);
    u16(4);
    u32(48);
    u32(0);
    return m;
}

TEST_F(AuthenticationTest, AnNTLMHandshakeThatNeverEndsStopsAfterTwoAttempts)
{
    server.setHandler([](const RecordedRequest& r) {
        Reply reply = Reply::withStatus(401, "Unauthorized");
        reply.headerLines.push_back(r.hasHeader("Authorization") ? "WWW-Authenticate: NTLM " +
                                                                       Base64::encode(ntlmChallengeMessage())
                                                                 : "WWW-Authenticate: NTLM");
        return reply;
    });
    auto endless = request("/ntlm");
    endless->setUsername("CORP\\hal");
    endless->setPassword("pw");
    endless->startSynchronous();
    ASSERT_TRUE(endless->error());
    EXPECT_EQ(endless->error()->code(), HTTPErrorAuthenticationNeeded);
    EXPECT_EQ(endless->authenticationRetryCount(), 2);
    EXPECT_EQ(server.requestCount(), 3u);  // nothing, the negotiate message, the answer to the challenge
}

TEST_F(AuthenticationTest, AProxysChallengeIsAnsweredWithTheProxyCredentialsAndRemembered)
{
    TestServers::ForwardProxy::Options options;
    options.requiredAuthorization = basic("proxy-user", "proxy-pw");
    TestServers::ForwardProxy proxy(options);

    auto first = request("/through");
    first->setProxyHost("127.0.0.1");
    first->setProxyPort(proxy.port());
    first->setProxyUsername("proxy-user");
    first->setProxyPassword("proxy-pw");
    first->startSynchronous();
    ASSERT_FALSE(first->error()) << first->error()->localizedDescription();
    EXPECT_EQ(first->responseString(), "ok");
    EXPECT_EQ(first->proxyAuthenticationScheme(), "Basic");
    EXPECT_EQ(first->proxyAuthenticationRealm(), "proxy");
    EXPECT_EQ(HTTPRequest::sessionProxyCredentialsStore().count(), 1u);

    auto second = request("/again");  // no proxy credentials of its own
    second->setProxyHost("127.0.0.1");
    second->setProxyPort(proxy.port());
    second->startSynchronous();
    EXPECT_EQ(second->responseString(), "ok");

    const auto seen = proxy.seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].header("Proxy-Authorization"), "");
    EXPECT_EQ(seen[1].header("Proxy-Authorization"), options.requiredAuthorization);
    EXPECT_EQ(seen[2].header("Proxy-Authorization"), options.requiredAuthorization);
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(AuthenticationTest, CredentialsStayBehindWhenARedirectLeavesTheirPlace)
{
    ScriptedHTTPServer elsewhere;  // another port
    elsewhere.setHandler(guarded("Basic realm=\"vault\"", basic("gus", "pw5")));
    struct Case {
        int status;
        bool samePlace;
    };
    for (const Case& c : {Case{302, false}, Case{307, false}, Case{302, true}}) {
        SCOPED_TRACE(std::to_string(c.status) + (c.samePlace ? " same place" : " another port"));
        const std::string landing = c.samePlace ? server.url("/landing") : elsewhere.url("/landing");
        server.setHandler([&, landing](const RecordedRequest& r) {
            if (r.target == "/landing") {
                return guarded("Basic realm=\"vault\"", basic("gus", "pw5"))(r);
            }
            Reply reply = Reply::withStatus(c.status, "Moved");
            reply.headerLines.push_back("Location: " + landing);
            return reply;
        });
        auto moved = request("/start");
        moved->setUsername("gus");
        moved->setPassword("pw5");
        moved->addBasicAuthenticationHeaderWithUsername_andPassword("gus", "pw5");
        moved->startSynchronous();
        if (c.samePlace) {
            EXPECT_EQ(moved->responseString(), "secret");
            EXPECT_EQ(server.requests().back().header("Authorization"), basic("gus", "pw5"));
        } else {
            ASSERT_TRUE(moved->error());
            EXPECT_EQ(moved->error()->code(), HTTPErrorAuthenticationNeeded);
        }
    }
    for (const auto& r : elsewhere.requests()) {
        EXPECT_FALSE(r.hasHeader("Authorization"));
    }
    EXPECT_EQ(elsewhere.requestCount(), 2u);
}

}  // namespace
