// Proxies on the HTTP read stream: absolute form through an HTTP proxy, CONNECT for https, a proxy's
// 407 answer reaching the client, SOCKS5 with and without credentials.
#include <gtest/gtest.h>

#include "StreamHarness.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "servers/ForwardProxy.h"
#include "servers/SOCKS5Server.h"
#include "servers/ScriptedHTTPServer.h"
#include "servers/TestCertificates.h"

using TestServers::ForwardProxy;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;
using TestServers::SOCKS5Server;

namespace {

class ProxyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestServers::CertificateOptions names;
        names.dnsNames = {"localhost"};
        names.ipAddresses = {"127.0.0.1"};
        ScriptedHTTPServer::Options options;
        options.tls = true;
        options.certificate = authority.issue(names);
        secure = std::make_unique<ScriptedHTTPServer>(options);
        SecTrustAnchors::add(SecCertificate::createWithPEM(authority.certificate().certificatePEM));
    }
    void TearDown() override
    {
        SecTrustAnchors::removeAll();
        CFHTTPReadStream::closeIdleConnections();
    }

    static StreamHarness fetch(Ref<CFHTTPMessage> message, const CFHTTPProxySettings& http,
                               const CFSOCKSProxySettings& socks = {})
    {
        StreamHarness h(CFReadStream::createForHTTPRequest(message));
        h.stream->setHTTPProxy(http);
        h.stream->setSOCKSProxy(socks);
        h.start();
        EXPECT_TRUE(h.run());
        return h;
    }

    TestServers::TestCertificateAuthority authority;
    ScriptedHTTPServer origin;
    std::unique_ptr<ScriptedHTTPServer> secure;
};

TEST_F(ProxyTest, HttpGoesThroughTheProxyInAbsoluteForm)
{
    ForwardProxy proxy;
    origin.enqueue(Reply::ok("via proxy"));
    auto message = StreamHarness::get(origin.url("/p?q=1"));
    message->setHeaderFieldValue("Proxy-Authorization", "Basic cHJveHk6cGFzcw==");
    auto h = fetch(message, {"127.0.0.1", proxy.port(), "", 0});
    EXPECT_TRUE(h.ended);
    EXPECT_EQ(h.body, "via proxy");
    ASSERT_EQ(proxy.seen().size(), 1u);
    EXPECT_EQ(proxy.seen()[0].method, "GET");
    EXPECT_EQ(proxy.seen()[0].target, origin.url("/p?q=1"));
    EXPECT_EQ(proxy.seen()[0].header("Proxy-Authorization"), "Basic cHJveHk6cGFzcw==");
    ASSERT_EQ(origin.requestCount(), 1u);
    EXPECT_EQ(origin.requests()[0].target, "/p?q=1");
    EXPECT_FALSE(origin.requests()[0].hasHeader("Proxy-Authorization"));
}

TEST_F(ProxyTest, HttpsTunnelsWithConnectAndKeepsCredentialsOffTheOrigin)
{
    ForwardProxy proxy;
    auto message = StreamHarness::get(secure->url("/s"));
    message->setHeaderFieldValue("Proxy-Authorization", "Basic cHJveHk6cGFzcw==");
    // The HTTP proxy setting applies to http only; https takes the HTTPS proxy.
    auto h = fetch(message, {"127.0.0.1", 1, "127.0.0.1", proxy.port()});
    EXPECT_TRUE(h.ended);
    EXPECT_EQ(h.body, "ok");
    ASSERT_EQ(proxy.seen().size(), 1u);
    EXPECT_EQ(proxy.seen()[0].method, "CONNECT");
    EXPECT_EQ(proxy.seen()[0].target, "127.0.0.1:" + std::to_string(secure->port()));
    EXPECT_EQ(proxy.seen()[0].header("Proxy-Authorization"), "Basic cHJveHk6cGFzcw==");
    ASSERT_EQ(secure->requestCount(), 1u);
    EXPECT_EQ(secure->requests()[0].target, "/s");
    EXPECT_FALSE(secure->requests()[0].hasHeader("Proxy-Authorization"));
}

TEST_F(ProxyTest, AProxyChallengeIsTheResponseNotAnError)
{
    ForwardProxy::Options options;
    options.requiredAuthorization = "Basic dTpw";
    ForwardProxy proxy(options);
    struct Case {
        const char* name;
        std::string url;
    };
    const Case cases[] = {{"absolute form", origin.url("/a")}, {"tunnel", secure->url("/b")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto h = fetch(StreamHarness::get(c.url), {"127.0.0.1", proxy.port(), "127.0.0.1", proxy.port()});
        EXPECT_TRUE(h.ended);
        EXPECT_EQ(h.status(), 407);
        EXPECT_EQ(h.header("Proxy-Authenticate"), "Basic realm=\"proxy\"");
        EXPECT_EQ(h.body, "proxy authentication required");
    }
    EXPECT_EQ(origin.requestCount(), 0u);
    EXPECT_EQ(secure->requestCount(), 0u);
}

TEST_F(ProxyTest, SocksCarriesPlainAndSecureTraffic)
{
    SOCKS5Server socks;
    auto plain = fetch(StreamHarness::get("http://localhost:" + std::to_string(origin.port()) + "/plain"), {},
                       {"127.0.0.1", socks.port(), "", ""});
    EXPECT_TRUE(plain.ended);
    EXPECT_EQ(plain.body, "ok");
    auto tls = fetch(StreamHarness::get(secure->url("/tls")), {}, {"127.0.0.1", socks.port(), "", ""});
    EXPECT_TRUE(tls.ended);
    auto targets = socks.targets();
    ASSERT_EQ(targets.size(), 2u);
    // Names go to the proxy unresolved; addresses as addresses.
    EXPECT_EQ(targets[0].host, "localhost");
    EXPECT_EQ(targets[0].addressType, 3);
    EXPECT_EQ(targets[0].port, origin.port());
    EXPECT_EQ(targets[1].host, "127.0.0.1");
    EXPECT_EQ(targets[1].addressType, 1);
    EXPECT_EQ(origin.requestCount(), 1u);
    EXPECT_EQ(secure->requestCount(), 1u);
}

TEST_F(ProxyTest, SocksCredentials)
{
    SOCKS5Server::Options options;
    options.user = "alice";
    options.password = "secret";
    SOCKS5Server socks(options);
    auto good = fetch(StreamHarness::get(origin.url("/in")), {}, {"127.0.0.1", socks.port(), "alice", "secret"});
    EXPECT_TRUE(good.ended);
    auto bad = fetch(StreamHarness::get(origin.url("/out")), {}, {"127.0.0.1", socks.port(), "alice", "wrong"});
    EXPECT_TRUE(bad.failed);
    EXPECT_EQ(bad.stream->getError().domain, kCFStreamErrorDomainSOCKS);
    auto none = fetch(StreamHarness::get(origin.url("/none")), {}, {"127.0.0.1", socks.port(), "", ""});
    EXPECT_TRUE(none.failed);
    EXPECT_EQ(none.stream->getError().domain, kCFStreamErrorDomainSOCKS);
    EXPECT_EQ(origin.requestCount(), 1u);
}

TEST_F(ProxyTest, SocksRefusalIsReported)
{
    SOCKS5Server socks;
    auto h = fetch(StreamHarness::get("http://192.0.2.1:80/far"), {}, {"127.0.0.1", socks.port(), "", ""});
    EXPECT_TRUE(h.failed);
    EXPECT_EQ(h.stream->getError(), (CFStreamError{kCFStreamErrorDomainSOCKS, 2}));
}

}  // namespace
