#pragma once
// Keyed digests with the phone's CommonCrypto names, carried by OpenSSL's libcrypto.
//
//   CCHmac(algorithm, key, keyLength, data, dataLength, macOut)
//
// macOut must hold the algorithm's digest length (CC_SHA1_DIGEST_LENGTH for kCCHmacAlgSHA1).
// CommonCrypto::hmacSHA1(key, data) is the C++ form used by request signing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/crypto/CommonDigest.h"

enum CCHmacAlgorithm : uint32_t {
    kCCHmacAlgSHA1 = 0,
    kCCHmacAlgMD5 = 1,
    kCCHmacAlgSHA256 = 2,
};

void CCHmac(CCHmacAlgorithm algorithm, const void* key, size_t keyLength, const void* data, size_t dataLength,
            void* macOut);

namespace CommonCrypto {

std::array<uint8_t, CC_SHA1_DIGEST_LENGTH> hmacSHA1(std::string_view key, std::string_view data);

}  // namespace CommonCrypto
