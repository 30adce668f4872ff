#pragma once
// Certificates and identities for TLS, carried by OpenSSL.
//
//   SecCertificateCreateWithData(alloc, der)     SecCertificate::createWithData(der)
//                                                SecCertificate::createWithPEM(pem)
//   SecCertificateCopySubjectSummary(c)          c->subjectSummary()
//   SecPKCS12Import(p12, {passphrase}, items)    SecIdentity::importPKCS12(p12, passphrase)
//                                                SecIdentity::createWithPEM(certificatePEM, privateKeyPEM)
//   SecIdentityCopyCertificate(i)                i->certificate()
//
// Trust: servers are checked against the system's trust store (/etc/ssl/certs). SecTrustAnchors adds
// anchors for the whole process, which is how tests trust a certificate authority made at run time.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

struct x509_st;
struct evp_pkey_st;

class SecCertificate : public NSObject {
public:
    static Ref<SecCertificate> createWithData(std::string_view der);
    static Ref<SecCertificate> createWithPEM(std::string_view pem);
    ~SecCertificate() override;

    // The subject's common name, or the whole subject when it has none.
    std::string subjectSummary() const;
    std::string derData() const;
    x509_st* x509() const { return x509_; }

    explicit SecCertificate(x509_st* owned);  // use the factories

private:
    x509_st* x509_;
};

// A certificate with its private key, presented as the client's identity.
class SecIdentity : public NSObject {
public:
    static Ref<SecIdentity> createWithPEM(std::string_view certificatePEM, std::string_view privateKeyPEM);
    // The identity in a PKCS #12 file's bytes; nullptr when the passphrase or the data is wrong.
    static Ref<SecIdentity> importPKCS12(std::string_view p12, std::string_view passphrase);
    ~SecIdentity() override;

    const Ref<SecCertificate>& certificate() const { return certificate_; }
    // Further certificates that came with the identity (a PKCS #12 chain).
    const std::vector<Ref<SecCertificate>>& chain() const { return chain_; }
    evp_pkey_st* privateKey() const { return key_; }

    SecIdentity(Ref<SecCertificate> certificate, evp_pkey_st* ownedKey);  // use the factories

private:
    Ref<SecCertificate> certificate_;
    std::vector<Ref<SecCertificate>> chain_;
    evp_pkey_st* key_;
};

// Extra trust anchors for the process, besides the system's trust store.
namespace SecTrustAnchors {

void add(const Ref<SecCertificate>& anchor);
void removeAll();
std::vector<Ref<SecCertificate>> all();
// Counts changes, so TLS contexts built from an older set are rebuilt.
unsigned generation();

}  // namespace SecTrustAnchors
