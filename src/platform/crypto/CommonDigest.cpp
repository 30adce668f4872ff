#include "platform/crypto/CommonDigest.h"
#include "platform/crypto/OpenSSLLifetime.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace {

EVP_MD_CTX* context(CC_MD5_CTX* c)
{
    return static_cast<EVP_MD_CTX*>(c->impl);
}

unsigned char* oneShot(const EVP_MD* md, const void* data, CC_LONG len, unsigned char* out)
{
    unsigned int written = 0;
    if (EVP_Digest(data, len, out, &written, md, nullptr) != 1) {
        // Digests of memory cannot fail short of allocation failure; there is no sane way on.
        std::abort();
    }
    return out;
}

}  // namespace

CC_MD5_CTX::CC_MD5_CTX() : impl(EVP_MD_CTX_new())
{
    if (!impl) {
        std::abort();
    }
}

CC_MD5_CTX::~CC_MD5_CTX()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(impl));
}

int CC_MD5_Init(CC_MD5_CTX* c)
{
    return EVP_DigestInit_ex(context(c), EVP_md5(), nullptr) == 1 ? 1 : 0;
}

int CC_MD5_Update(CC_MD5_CTX* c, const void* data, CC_LONG len)
{
    return EVP_DigestUpdate(context(c), data, len) == 1 ? 1 : 0;
}

int CC_MD5_Final(unsigned char* md, CC_MD5_CTX* c)
{
    unsigned int written = 0;
    return EVP_DigestFinal_ex(context(c), md, &written) == 1 ? 1 : 0;
}

unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md)
{
    return oneShot(EVP_md5(), data, len, md);
}

unsigned char* CC_SHA1(const void* data, CC_LONG len, unsigned char* md)
{
    return oneShot(EVP_sha1(), data, len, md);
}

namespace CommonCrypto {

std::array<uint8_t, CC_MD5_DIGEST_LENGTH> md5(std::string_view bytes)
{
    std::array<uint8_t, CC_MD5_DIGEST_LENGTH> out{};
    oneShot(EVP_md5(), bytes.data(), static_cast<CC_LONG>(bytes.size()), out.data());
    return out;
}

std::array<uint8_t, CC_SHA1_DIGEST_LENGTH> sha1(std::string_view bytes)
{
    std::array<uint8_t, CC_SHA1_DIGEST_LENGTH> out{};
    oneShot(EVP_sha1(), bytes.data(), static_cast<CC_LONG>(bytes.size()), out.data());
    return out;
}

std::string hex(const uint8_t* bytes, size_t length, bool upper)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0x0f]);
    }
    return out;
}

}  // namespace CommonCrypto

namespace {
namespace CommonDigest_cpp {
const bool kOpenSSLKept = (OpenSSLLifetime::keepUntilExit(), true);
}  // namespace CommonDigest_cpp
}  // namespace
