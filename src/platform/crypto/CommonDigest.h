#pragma once
// Message digests with the phone's CommonCrypto names, carried by OpenSSL's libcrypto.
//
//   CC_MD5(data, len, md)                 one-shot MD5 into a 16-byte buffer (returns md)
//   CC_MD5_Init / CC_MD5_Update / CC_MD5_Final   the same, fed in pieces
//   CC_SHA1(data, len, md)                one-shot SHA-1 into a 20-byte buffer
//
// C++ conveniences in namespace CommonCrypto: md5(bytes), sha1(bytes) return the digest as bytes;
// hex(digest, upper) writes it as hexadecimal ("%02x" or "%02X" per byte).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using CC_LONG = uint32_t;

constexpr int CC_MD5_DIGEST_LENGTH = 16;
constexpr int CC_SHA1_DIGEST_LENGTH = 20;

// Streaming MD5 state. Owns the underlying digest context; not copyable.
struct CC_MD5_CTX {
    CC_MD5_CTX();
    ~CC_MD5_CTX();
    CC_MD5_CTX(const CC_MD5_CTX&) = delete;
    CC_MD5_CTX& operator=(const CC_MD5_CTX&) = delete;
    void* impl = nullptr;
};

int CC_MD5_Init(CC_MD5_CTX* c);
int CC_MD5_Update(CC_MD5_CTX* c, const void* data, CC_LONG len);
int CC_MD5_Final(unsigned char* md, CC_MD5_CTX* c);
unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md);
unsigned char* CC_SHA1(const void* data, CC_LONG len, unsigned char* md);

namespace CommonCrypto {

std::array<uint8_t, CC_MD5_DIGEST_LENGTH> md5(std::string_view bytes);
std::array<uint8_t, CC_SHA1_DIGEST_LENGTH> sha1(std::string_view bytes);

// Hexadecimal text of any byte sequence; lower case unless upper is set.
std::string hex(const uint8_t* bytes, size_t length, bool upper = false);
template <size_t N>
std::string hex(const std::array<uint8_t, N>& digest, bool upper = false)
{
    return hex(digest.data(), N, upper);
}

}  // namespace CommonCrypto
