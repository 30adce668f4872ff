#include "TestCertificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace TestServers {

namespace {

EVP_PKEY* makeKey()
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key) {
        throw std::runtime_error("EC key generation failed");
    }
    return key;
}

std::string keyPEM(EVP_PKEY* key)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    std::string out(data, static_cast<size_t>(length));
    BIO_free(bio);
    return out;
}

std::string certificatePEM(X509* cert)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    std::string out(data, static_cast<size_t>(length));
    BIO_free(bio);
    return out;
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!ext) {
        throw std::runtime_error("bad certificate extension " + value);
    }
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// Makes a certificate for `key`, signed by `issuerKey` under `issuer` (itself when issuer is null).
X509* makeCertificate(EVP_PKEY* key, const CertificateOptions& options, bool isAuthority, X509* issuer,
                      EVP_PKEY* issuerKey)
{
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert), options.validFromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(cert), options.validFromSeconds + options.validForSeconds);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(options.commonName.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : cert;
    if (isAuthority) {
        addExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, signer, NID_ext_key_usage, "serverAuth,clientAuth");
    }
    addExtension(cert, signer, NID_subject_key_identifier, "hash");
    std::string san;
    for (const auto& dns : options.dnsNames) {
        san += (san.empty() ? "" : ",") + std::string("DNS:") + dns;
    }
    for (const auto& ip : options.ipAddresses) {
        san += (san.empty() ? "" : ",") + std::string("IP:") + ip;
    }
    if (!san.empty()) {
        addExtension(cert, signer, NID_subject_alt_name, san);
    }
    if (X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256()) == 0) {
        X509_free(cert);
        throw std::runtime_error("certificate signing failed");
    }
    return cert;
}

}  // namespace

TestCertificate makeSelfSignedCertificate(const CertificateOptions& options)
{
    EVP_PKEY* key = makeKey();
    X509* cert = makeCertificate(key, options, false, nullptr, nullptr);
    TestCertificate out{certificatePEM(cert), keyPEM(key)};
    X509_free(cert);
    EVP_PKEY_free(key);
    return out;
}

TestCertificateAuthority::TestCertificateAuthority()
{
    EVP_PKEY* key = makeKey();
    CertificateOptions options;
    // Each authority has a name of its own: a verifier finds the issuer by name, and with two trusted
    // authorities of one name it may check a certificate against the wrong key.
    static std::atomic<int> made{0};
    options.commonName = "ombri test authority " + std::to_string(++made) + "-" + std::to_string(::getpid());
    // Long enough for a stand-in world left running, which trusts this authority for its whole life.
    options.validForSeconds = 400L * 24 * 3600;
    X509* cert = makeCertificate(key, options, true, nullptr, nullptr);
    ca_ = {certificatePEM(cert), keyPEM(key)};
    X509_free(cert);
    EVP_PKEY_free(key);
}

TestCertificate TestCertificateAuthority::issue(const CertificateOptions& options) const
{
    BIO* certBio = BIO_new_mem_buf(ca_.certificatePEM.data(), static_cast<int>(ca_.certificatePEM.size()));
    X509* issuer = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    BIO_free(certBio);
    BIO* keyBio = BIO_new_mem_buf(ca_.privateKeyPEM.data(), static_cast<int>(ca_.privateKeyPEM.size()));
    EVP_PKEY* issuerKey = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    EVP_PKEY* key = makeKey();
    X509* cert = makeCertificate(key, options, false, issuer, issuerKey);
    TestCertificate out{certificatePEM(cert), keyPEM(key)};
    X509_free(cert);
    EVP_PKEY_free(key);
    EVP_PKEY_free(issuerKey);
    X509_free(issuer);
    return out;
}

}  // namespace TestServers
