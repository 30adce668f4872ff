// TLS on the HTTP read stream: chain and host-name validation, SNI, the switch that turns validation
// off, and the client's identity. Certificates are made at run time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "StreamHarness.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "servers/ScriptedHTTPServer.h"
#include "servers/TestCertificates.h"

using TestServers::CertificateOptions;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;
using TestServers::TestCertificate;
using TestServers::TestCertificateAuthority;

namespace {

class TLSTest : public ::testing::Test {
protected:
    void SetUp() override { SecTrustAnchors::add(SecCertificate::createWithPEM(authority.certificate().certificatePEM)); }
    void TearDown() override
    {
        SecTrustAnchors::removeAll();
        CFHTTPReadStream::closeIdleConnections();
    }

    static std::unique_ptr<ScriptedHTTPServer> serve(const TestCertificate& certificate,
                                                     const std::string& clientAuthority = "")
    {
        ScriptedHTTPServer::Options options;
        options.tls = true;
        options.certificate = certificate;
        options.clientAuthorityPEM = clientAuthority;
        return std::make_unique<ScriptedHTTPServer>(options);
    }

    static StreamHarness fetch(const std::string& url, const CFSSLSettings& settings = {})
    {
        StreamHarness h(CFReadStream::createForHTTPRequest(StreamHarness::get(url)));
        h.stream->setSSLSettings(settings);
        h.start();
        EXPECT_TRUE(h.run());
        return h;
    }

    static CertificateOptions names(std::vector<std::string> dns, std::vector<std::string> ips = {})
    {
        CertificateOptions o;
        o.dnsNames = std::move(dns);
        o.ipAddresses = std::move(ips);
        return o;
    }

    TestCertificateAuthority authority;
};

TEST_F(TLSTest, ValidationChecksChainHostAndDates)
{
    CertificateOptions expired = names({"localhost"}, {"127.0.0.1"});
    expired.validFromSeconds = -7200;
    expired.validForSeconds = 3600;
    CertificateOptions future = names({"localhost"}, {"127.0.0.1"});
    future.validFromSeconds = 3600;
    struct Case {
        const char* name;
        TestCertificate certificate;
        const char* host;
        bool validate;
        std::optional<SInt32> sslError;  // none: the exchange succeeds
    };
    const Case cases[] = {
        {"trusted, for the IP address", authority.issue(names({}, {"127.0.0.1"})), "127.0.0.1", true, std::nullopt},
        {"trusted, for the host name", authority.issue(names({"localhost"})), "localhost", true, std::nullopt},
        {"self-signed", TestServers::makeSelfSignedCertificate(names({"localhost"}, {"127.0.0.1"})), "127.0.0.1", true,
         errSSLUnknownRootCert},
        {"self-signed, validation off", TestServers::makeSelfSignedCertificate(names({"localhost"})), "127.0.0.1",
         false, std::nullopt},
        {"trusted, for another host", authority.issue(names({"other.example"})), "127.0.0.1", true,
         errSSLXCertChainInvalid},
        {"trusted, for another host, by name", authority.issue(names({"other.example"})), "localhost", true,
         errSSLXCertChainInvalid},
        {"another host, validation off", authority.issue(names({"other.example"})), "localhost", false, std::nullopt},
        {"expired", authority.issue(expired), "127.0.0.1", true, errSSLCertExpired},
        {"not yet valid", authority.issue(future), "127.0.0.1", true, errSSLCertNotYetValid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = serve(c.certificate);
        CFSSLSettings settings;
        settings.validatesCertificateChain = c.validate;
        auto h = fetch("https://" + std::string(c.host) + ":" + std::to_string(server->port()) + "/secure", settings);
        if (c.sslError) {
            EXPECT_TRUE(h.failed);
            EXPECT_EQ(h.stream->getError(), (CFStreamError{kCFStreamErrorDomainSSL, *c.sslError}));
            EXPECT_TRUE(h.stream->getError().isSSLFailure());
            EXPECT_EQ(server->requestCount(), 0u);
        } else {
            EXPECT_TRUE(h.ended);
            EXPECT_EQ(h.body, "ok");
        }
    }
}

// A server whose authority only the configured file names: trusted with the file, refused without it,
// with a file that is missing or that holds another authority, and trusted again when the setting comes
// back (the contexts follow the setting, not only the process's anchors).
TEST_F(TLSTest, TheConfiguredFileOfAuthoritiesIsTrustedBesidesTheSystems)
{
    TestCertificateAuthority local;  // not among the process's anchors
    TemporaryFolder folder("tls-authorities");
    ASSERT_FALSE(folder.path().empty());
    std::ofstream(folder / "local.pem") << local.certificate().certificatePEM;
    std::ofstream(folder / "other.pem") << TestCertificateAuthority().certificate().certificatePEM;
    auto server = serve(local.issue(names({}, {"127.0.0.1"})));
    struct Case {
        const char* name;
        std::string file;  // "" leaves the setting unset
        bool trusted;
    };
    const Case cases[] = {
        {"no setting", "", false},
        {"the local authority's file", folder / "local.pem", true},
        {"a missing file", folder / "missing.pem", false},
        {"another authority's file", folder / "other.pem", false},
        {"the local authority's file again", folder / "local.pem", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.file.empty()) {
            ::unsetenv("OMBRI_EXTRA_CA_FILE");
        } else {
            ::setenv("OMBRI_EXTRA_CA_FILE", c.file.c_str(), 1);
        }
        CFHTTPReadStream::closeIdleConnections();
        auto h = fetch(server->url("/secure"));
        if (c.trusted) {
            EXPECT_TRUE(h.ended);
            EXPECT_EQ(h.body, "ok");
        } else {
            // An authority nobody trusts: the chain ends without a root.
            EXPECT_TRUE(h.failed);
            EXPECT_EQ(h.stream->getError(), (CFStreamError{kCFStreamErrorDomainSSL, errSSLNoRootCert}));
        }
    }
    EXPECT_EQ(server->requestCount(), 2u);  // only the trusted exchanges reached the server
    ::unsetenv("OMBRI_EXTRA_CA_FILE");
}

TEST_F(TLSTest, HostNamesGoOutAsSNIAddressesDoNot)
{
    auto server = serve(authority.issue(names({"localhost"}, {"127.0.0.1"})));
    fetch("https://localhost:" + std::to_string(server->port()) + "/a");
    fetch("https://127.0.0.1:" + std::to_string(server->port()) + "/b");
    ASSERT_EQ(server->requestCount(), 2u);
    EXPECT_EQ(server->requests()[0].serverName, "localhost");
    EXPECT_EQ(server->requests()[1].serverName, "");
}

TEST_F(TLSTest, PeerNameReplacesTheURLHost)
{
    auto server = serve(authority.issue(names({"api.example"})));
    CFSSLSettings settings;
    settings.peerName = "api.example";
    auto h = fetch(server->url("/peer"), settings);
    EXPECT_TRUE(h.ended);
    ASSERT_EQ(server->requestCount(), 1u);
    EXPECT_EQ(server->requests()[0].serverName, "api.example");
}

TEST_F(TLSTest, ClientIdentityIsPresentedWhenGiven)
{
    TestCertificateAuthority clients;
    CertificateOptions who;
    who.commonName = "ombri client";
    TestCertificate clientCertificate = clients.issue(who);
    auto server = serve(authority.issue(names({}, {"127.0.0.1"})), clients.certificate().certificatePEM);

    auto without = fetch(server->url("/anonymous"));
    EXPECT_TRUE(without.failed);
    EXPECT_TRUE(without.stream->getError().isSSLFailure() || without.stream->getError().isConnectionLost())
        << without.stream->getError().description();

    auto identity = SecIdentity::createWithPEM(clientCertificate.certificatePEM, clientCertificate.privateKeyPEM);
    ASSERT_TRUE(identity);
    CFSSLSettings settings;
    settings.certificates = {identity};
    auto with = fetch(server->url("/identified"), settings);
    EXPECT_TRUE(with.ended);
    ASSERT_EQ(server->requestCount(), 1u);
    EXPECT_EQ(server->requests()[0].clientCertificateSubject, "ombri client");

    // A key that does not belong to the certificate is no identity.
    TestCertificate other = clients.issue(who);
    EXPECT_FALSE(SecIdentity::createWithPEM(clientCertificate.certificatePEM, other.privateKeyPEM));
}

TEST_F(TLSTest, SecureConnectionsAreReusedUnderTheirId)
{
    auto server = serve(authority.issue(names({}, {"127.0.0.1"})));
    std::vector<bool> reused;
    // A parked connection lives as long as the stream that parked it, as a client's pool keeps it.
    std::vector<std::unique_ptr<StreamHarness>> kept;
    for (int i = 0; i < 3; ++i) {
        kept.push_back(std::make_unique<StreamHarness>(
            CFReadStream::createForHTTPRequest(StreamHarness::get(server->url("/again")))));
        StreamHarness& h = *kept.back();
        h.stream->setAttemptPersistentConnection(true);
        h.stream->setHTTPStreamID(1);
        h.start();
        ASSERT_TRUE(h.run());
        EXPECT_TRUE(h.ended);
        reused.push_back(h.stream->connectionWasReused());
    }
    EXPECT_EQ(reused, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(server->connectionCount(), 1u);

    // Other TLS settings never share the connection.
    StreamHarness h(CFReadStream::createForHTTPRequest(StreamHarness::get(server->url("/other"))));
    h.stream->setAttemptPersistentConnection(true);
    h.stream->setHTTPStreamID(1);
    CFSSLSettings off;
    off.validatesCertificateChain = false;
    h.stream->setSSLSettings(off);
    h.start();
    ASSERT_TRUE(h.run());
    EXPECT_FALSE(h.stream->connectionWasReused());
}

}  // namespace
