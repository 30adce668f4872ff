#pragma once
// Certificates made at run time through OpenSSL, for TLS test servers: a self-signed certificate, or a
// certificate authority and certificates it issues (for host names and IP addresses), with chosen
// validity. Keys are EC P-256 (fast to make).
#include <string>
#include <vector>

namespace TestServers {

struct TestCertificate {
    std::string certificatePEM;
    std::string privateKeyPEM;
};

struct CertificateOptions {
    std::string commonName = "ombri test";
    std::vector<std::string> dnsNames;     // subjectAltName DNS entries
    std::vector<std::string> ipAddresses;  // subjectAltName IP entries
    long validFromSeconds = -3600;         // relative to now
    long validForSeconds = 24 * 3600;
};

class TestCertificateAuthority {
public:
    // A new authority with its own key and self-signed certificate.
    TestCertificateAuthority();
    const TestCertificate& certificate() const { return ca_; }
    // A certificate for a server (or a client) signed by this authority.
    TestCertificate issue(const CertificateOptions& options) const;

private:
    TestCertificate ca_;
};

// A self-signed server certificate (trusted by nobody).
TestCertificate makeSelfSignedCertificate(const CertificateOptions& options);

}  // namespace TestServers
