#include "platform/cfnetwork/SecIdentity.h"
#include "platform/crypto/OpenSSLLifetime.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <atomic>
#include <mutex>

SecCertificate::SecCertificate(x509_st* owned) : x509_(owned) {}

SecCertificate::~SecCertificate()
{
    X509_free(x509_);
}

Ref<SecCertificate> SecCertificate::createWithData(std::string_view der)
{
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    return x ? std::make_shared<SecCertificate>(x) : nullptr;
}

Ref<SecCertificate> SecCertificate::createWithPEM(std::string_view pem)
{
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!bio) {
        return nullptr;
    }
    X509* x = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return x ? std::make_shared<SecCertificate>(x) : nullptr;
}

std::string SecCertificate::subjectSummary() const
{
    X509_NAME* name = X509_get_subject_name(x509_);
    char buffer[256] = {0};
    if (X509_NAME_get_text_by_NID(name, NID_commonName, buffer, sizeof buffer) > 0) {
        return buffer;
    }
    char* line = X509_NAME_oneline(name, nullptr, 0);
    std::string out = line ? line : "";
    OPENSSL_free(line);
    return out;
}

std::string SecCertificate::derData() const
{
    unsigned char* der = nullptr;
    int length = i2d_X509(x509_, &der);
    if (length <= 0) {
        return {};
    }
    std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return out;
}

SecIdentity::SecIdentity(Ref<SecCertificate> certificate, evp_pkey_st* ownedKey)
    : certificate_(std::move(certificate)), key_(ownedKey)
{
}

SecIdentity::~SecIdentity()
{
    EVP_PKEY_free(key_);
}

Ref<SecIdentity> SecIdentity::createWithPEM(std::string_view certificatePEM, std::string_view privateKeyPEM)
{
    auto certificate = SecCertificate::createWithPEM(certificatePEM);
    if (!certificate) {
        return nullptr;
    }
    BIO* bio = BIO_new_mem_buf(privateKeyPEM.data(), static_cast<int>(privateKeyPEM.size()));
    if (!bio) {
        return nullptr;
    }
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!key) {
        return nullptr;
    }
    if (X509_check_private_key(certificate->x509(), key) != 1) {
        EVP_PKEY_free(key);
        return nullptr;
    }
    return std::make_shared<SecIdentity>(certificate, key);
}

Ref<SecIdentity> SecIdentity::importPKCS12(std::string_view p12, std::string_view passphrase)
{
    const auto* p = reinterpret_cast<const unsigned char*>(p12.data());
    PKCS12* bundle = d2i_PKCS12(nullptr, &p, static_cast<long>(p12.size()));
    if (!bundle) {
        return nullptr;
    }
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* extra = nullptr;
    std::string pass(passphrase);
    int ok = PKCS12_parse(bundle, pass.c_str(), &key, &cert, &extra);
    PKCS12_free(bundle);
    if (ok != 1 || !key || !cert) {
        EVP_PKEY_free(key);
        X509_free(cert);
        sk_X509_pop_free(extra, X509_free);
        return nullptr;
    }
    auto identity = std::make_shared<SecIdentity>(std::make_shared<SecCertificate>(cert), key);
    while (extra && sk_X509_num(extra) > 0) {
        identity->chain_.push_back(std::make_shared<SecCertificate>(sk_X509_shift(extra)));
    }
    sk_X509_free(extra);
    return identity;
}

namespace SecTrustAnchors {

namespace {

struct Store {
    std::mutex mutex;
    std::vector<Ref<SecCertificate>> anchors;
    std::atomic<unsigned> generation{0};
};

Store& store()
{
    static auto* s = new Store;
    return *s;
}

}  // namespace

void add(const Ref<SecCertificate>& anchor)
{
    if (!anchor) {
        return;
    }
    std::lock_guard lock(store().mutex);
    store().anchors.push_back(anchor);
    ++store().generation;
}

void removeAll()
{
    std::lock_guard lock(store().mutex);
    store().anchors.clear();
    ++store().generation;
}

std::vector<Ref<SecCertificate>> all()
{
    std::lock_guard lock(store().mutex);
    return store().anchors;
}

unsigned generation()
{
    return store().generation.load();
}

}  // namespace SecTrustAnchors

namespace {
namespace SecIdentity_cpp {
const bool kOpenSSLKept = (OpenSSLLifetime::keepUntilExit(), true);
}  // namespace SecIdentity_cpp
}  // namespace
