// The engine's MD5 digest against the test values of its standard, and in pieces of any size and
// alignment.
#include "engine/crtmd5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace crtfun;

TEST(Crtmd5, StandardTestSuite)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
    };
    for (const auto& [text, digest] : cases) {
        EXPECT_EQ(crtmd5::hex(text), digest) << text;
    }
}

TEST(Crtmd5, MillionTimesA)
{
    crtmd5 md5;
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i) {
        md5.append(chunk);
    }
    EXPECT_EQ(md5.hexdigest(), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Crtmd5, PiecesOfAnySizeAndAlignmentGiveTheSameDigest)
{
    // Lengths around the padding boundaries (55, 56, 63, 64, 65 bytes) and several blocks.
    std::vector<unsigned char> storage(1 + 300);
    for (size_t i = 0; i < storage.size(); ++i) {
        storage[i] = static_cast<unsigned char>(i * 131 + 7);
    }
    for (size_t length : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 127u, 128u, 129u, 300u}) {
        const unsigned char* data = storage.data() + 1;  // not 4-byte aligned
        md5_state_s whole;
        md5_init(&whole);
        md5_append(&whole, data, length);
        _md5buffer expected;
        md5_finish(&whole, expected);

        for (size_t piece : {1u, 3u, 7u, 63u, 64u, 65u}) {
            crtmd5 md5;
            for (size_t at = 0; at < length; at += piece) {
                md5.append(data + at, std::min(piece, length - at));
            }
            EXPECT_EQ(md5.hexdigest(), md52str(expected)) << "length " << length << " piece " << piece;
        }
    }
}

TEST(Crtmd5, DigestTextIsLowerCaseHexFirstByteFirst)
{
    const _md5buffer digest = {0x00, 0x01, 0xab, 0xff, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
    EXPECT_EQ(md52str(digest), "0001abff000000000000000000000010");
}
