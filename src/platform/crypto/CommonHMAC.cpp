#include "platform/crypto/CommonHMAC.h"
#include "platform/crypto/OpenSSLLifetime.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdlib>

namespace {

const EVP_MD* digestFor(CCHmacAlgorithm algorithm)
{
    switch (algorithm) {
    case kCCHmacAlgSHA1:
        return EVP_sha1();
    case kCCHmacAlgMD5:
        return EVP_md5();
    case kCCHmacAlgSHA256:
        return EVP_sha256();
    }
    return nullptr;
}

}  // namespace

void CCHmac(CCHmacAlgorithm algorithm, const void* key, size_t keyLength, const void* data, size_t dataLength,
            void* macOut)
{
    const EVP_MD* md = digestFor(algorithm);
    unsigned int written = 0;
    // HMAC() rejects a null key pointer even for length 0; an empty key is legal in HMAC.
    static const unsigned char empty = 0;
    const unsigned char* bytes = data ? static_cast<const unsigned char*>(data) : &empty;
    if (!md || !HMAC(md, key ? key : &empty, static_cast<int>(keyLength), bytes, dataLength,
                     static_cast<unsigned char*>(macOut), &written)) {
        std::abort();
    }
}

namespace CommonCrypto {

std::array<uint8_t, CC_SHA1_DIGEST_LENGTH> hmacSHA1(std::string_view key, std::string_view data)
{
    std::array<uint8_t, CC_SHA1_DIGEST_LENGTH> out{};
    CCHmac(kCCHmacAlgSHA1, key.data(), key.size(), data.data(), data.size(), out.data());
    return out;
}

}  // namespace CommonCrypto

namespace {
namespace CommonHMAC_cpp {
const bool kOpenSSLKept = (OpenSSLLifetime::keepUntilExit(), true);
}  // namespace CommonHMAC_cpp
}  // namespace
