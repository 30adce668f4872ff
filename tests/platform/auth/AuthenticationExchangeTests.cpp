// Authentication objects in real exchanges: a loopback server's Basic and Digest challenges (with a stale
// nonce), a refused password noticed through the read stream, and a forward proxy's 407.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "../cfnetwork/StreamHarness.h"
#include "platform/cfnetwork/CFHTTPAuthentication.h"
#include "platform/crypto/CommonDigest.h"
#include "servers/ForwardProxy.h"
#include "servers/ScriptedHTTPServer.h"

using TestServers::ForwardProxy;
using TestServers::RecordedRequest;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

namespace {

Reply challenge(const std::string& line)
{
    Reply reply = Reply::withStatus(401, "Unauthorized", "who are you?");
    reply.headerLines.push_back("WWW-Authenticate: " + line);
    return reply;
}

// Runs one exchange of `message` (through `proxy` when given) and keeps the stream for its header.
StreamHarness runExchange(const Ref<CFHTTPMessage>& message, const CFHTTPProxySettings& proxy = {})
{
    StreamHarness h(CFReadStream::createForHTTPRequest(message));
    h.stream->setHTTPProxy(proxy);
    h.start();
    EXPECT_TRUE(h.run());
    EXPECT_TRUE(h.ended);
    return h;
}

std::string md5(const std::string& text)
{
    return CommonCrypto::hex(CommonCrypto::md5(text));
}

// A server that checks Digest answers the way a server does: from the request line it received.
class DigestServer {
public:
    DigestServer()
    {
        server.setHandler([this](const RecordedRequest& request) { return answer(request); });
    }

    Reply answer(const RecordedRequest& request)
    {
        std::lock_guard lock(mutex);
        std::string header = request.header("Authorization");
        if (header.empty()) {
            return challenge(challengeText(false));
        }
        auto parsed = CFHTTPAuthentication::parseChallenges(header);
        if (parsed.size() != 1 || parsed[0].scheme != "Digest") {
            return Reply::withStatus(400, "Bad Request");
        }
        std::map<std::string, std::string> f;
        for (const auto& [name, value] : parsed[0].parameters) {
            f[name] = value;
        }
        seenNonceCounts.push_back(f["nc"]);
        seenURIs.push_back(f["uri"]);
        std::string ha1 = md5(user + ":" + realm + ":" + password);
        std::string ha2 = md5(request.method + ":" + request.target);
        std::string expected = md5(ha1 + ":" + f["nonce"] + ":" + f["nc"] + ":" + f["cnonce"] + ":auth:" + ha2);
        bool knownNonce = f["nonce"] == nonce || f["nonce"] == previousNonce;
        if (f["response"] != expected || f["uri"] != request.target || f["opaque"] != "opaque-1" || !knownNonce ||
            f["qop"] != "auth") {
            return challenge(challengeText(false));
        }
        if (f["nonce"] != nonce || expireNonceOnce) {
            // Right credentials, old nonce.
            expireNonceOnce = false;
            previousNonce.clear();
            nonce = "nonce-" + std::to_string(++generation);
            return challenge(challengeText(true));
        }
        return Reply::ok("welcome " + f["username"]);
    }

    std::string challengeText(bool stale)
    {
        return "Digest realm=\"" + realm + "\", qop=\"auth,auth-int\", nonce=\"" + nonce + "\", opaque=\"opaque-1\"" +
               (stale ? ", stale=true" : "");
    }

    std::mutex mutex;
    std::string user = "Mufasa";
    std::string password = "Circle Of Life";
    std::string realm = "testrealm@127.0.0.1";
    std::string nonce = "nonce-0";
    std::string previousNonce;
    int generation = 0;
    bool expireNonceOnce = false;
    std::vector<std::string> seenNonceCounts;
    std::vector<std::string> seenURIs;
    ScriptedHTTPServer server;
};

TEST(AuthenticationExchange, BasicChallengeThenRefusedThenAccepted)
{
    ScriptedHTTPServer server;
    server.setHandler([](const RecordedRequest& request) {
        if (request.header("Authorization") == "Basic dXNlcjpwYXNz") {
            return Reply::ok("secret");
        }
        return challenge("Basic realm=\"loopback\"");
    });
    auto message = StreamHarness::get(server.url("/private"));
    auto first = runExchange(message);
    ASSERT_EQ(first.status(), 401);
    auto auth = CFHTTPAuthentication::createFromResponse(first.stream->copyResponseHeader());
    ASSERT_TRUE(auth);
    EXPECT_EQ(auth->copyMethod(), kCFHTTPAuthenticationSchemeBasic);
    EXPECT_EQ(auth->copyRealm(), "loopback");

    // A wrong password: the server challenges again, and the object learns it from the read stream.
    ASSERT_TRUE(CFHTTPMessageApplyCredentials(message, auth, "user", "wrong", nullptr));
    auto refused = runExchange(message);
    ASSERT_EQ(refused.status(), 401);
    CFStreamError error;
    EXPECT_FALSE(auth->isValid(&error));
    EXPECT_EQ(error.error, kCFStreamErrorHTTPAuthenticationBadPassword);

    // A new object from the new challenge, with the right password.
    auth = CFHTTPAuthentication::createFromResponse(refused.stream->copyResponseHeader());
    ASSERT_TRUE(CFHTTPMessageApplyCredentials(message, auth, "user", "pass", nullptr));
    auto accepted = runExchange(message);
    EXPECT_EQ(accepted.status(), 200);
    EXPECT_EQ(accepted.body, "secret");
    EXPECT_TRUE(auth->isValid());
    EXPECT_EQ(server.requests().back().header("Authorization"), "Basic dXNlcjpwYXNz");
}

TEST(AuthenticationExchange, DigestWithAStaleNonceAndAQuery)
{
    DigestServer digest;
    digest.expireNonceOnce = true;
    auto message = StreamHarness::get(digest.server.url("/dir/index.html?x=1&y=%20"));
    auto first = runExchange(message);
    ASSERT_EQ(first.status(), 401);
    auto auth = CFHTTPAuthentication::createFromResponse(first.stream->copyResponseHeader());
    ASSERT_TRUE(auth);
    EXPECT_EQ(auth->copyMethod(), kCFHTTPAuthenticationSchemeDigest);

    ASSERT_TRUE(CFHTTPMessageApplyCredentials(message, auth, "Mufasa", "Circle Of Life", nullptr));
    auto stale = runExchange(message);
    ASSERT_EQ(stale.status(), 401);
    EXPECT_TRUE(auth->isValid()) << "a stale nonce is no refusal";

    ASSERT_TRUE(CFHTTPMessageApplyCredentials(message, auth, "Mufasa", "Circle Of Life", nullptr));
    auto accepted = runExchange(message);
    EXPECT_EQ(accepted.status(), 200);
    EXPECT_EQ(accepted.body, "welcome Mufasa");
    EXPECT_EQ(digest.seenNonceCounts, (std::vector<std::string>{"00000001", "00000001"}));
    EXPECT_EQ(digest.seenURIs.back(), "/dir/index.html?x=1&y=%20");

    // The same object keeps counting on the same nonce.
    auto again = StreamHarness::get(digest.server.url("/other"));
    ASSERT_TRUE(CFHTTPMessageApplyCredentials(again, auth, "Mufasa", "Circle Of Life", nullptr));
    EXPECT_EQ(runExchange(again).status(), 200);
    EXPECT_EQ(digest.seenNonceCounts.back(), "00000002");
}

TEST(AuthenticationExchange, DigestWithAWrongPasswordIsRefused)
{
    DigestServer digest;
    auto message = StreamHarness::get(digest.server.url("/x"));
    auto first = runExchange(message);
    auto auth = CFHTTPAuthentication::createFromResponse(first.stream->copyResponseHeader());
    ASSERT_TRUE(CFHTTPMessageApplyCredentials(message, auth, "Mufasa", "wrong", nullptr));
    EXPECT_EQ(runExchange(message).status(), 401);
    CFStreamError error;
    EXPECT_FALSE(auth->isValid(&error));
    EXPECT_EQ(error.error, kCFStreamErrorHTTPAuthenticationBadPassword);
}

TEST(AuthenticationExchange, ProxyChallengeAnsweredThroughTheProxy)
{
    ForwardProxy::Options options;
    options.requiredAuthorization = "Basic dXNlcjpwYXNz";
    ForwardProxy proxy(options);
    ScriptedHTTPServer origin;
    origin.setHandler([](const RecordedRequest& request) {
        // The proxy's credentials are for the proxy only.
        return Reply::ok(request.hasHeader("Proxy-Authorization") ? "leaked" : "from origin");
    });
    CFHTTPProxySettings settings{"127.0.0.1", proxy.port(), "", 0};
    auto message = StreamHarness::get(origin.url("/via"));

    auto first = runExchange(message, settings);
    ASSERT_EQ(first.status(), 407);
    auto auth = CFHTTPAuthentication::createFromResponse(first.stream->copyResponseHeader());
    ASSERT_TRUE(auth);
    EXPECT_TRUE(auth->isProxyAuthentication());
    EXPECT_EQ(auth->copyRealm(), "proxy");

    ASSERT_TRUE(CFHTTPMessageApplyCredentials(message, auth, "user", "bad", nullptr));
    EXPECT_EQ(runExchange(message, settings).status(), 407);
    EXPECT_FALSE(auth->isValid());

    auth = CFHTTPAuthentication::createFromResponse(first.stream->copyResponseHeader());
    ASSERT_TRUE(CFHTTPMessageApplyCredentials(message, auth, "user", "pass", nullptr));
    auto accepted = runExchange(message, settings);
    EXPECT_EQ(accepted.status(), 200);
    EXPECT_EQ(accepted.body, "from origin");
    EXPECT_TRUE(auth->isValid());
    EXPECT_EQ(proxy.seen().back().header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
}

}  // namespace
