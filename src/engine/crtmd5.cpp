#include "engine/crtmd5.h"

#include <cstdio>
#include <cstring>

namespace crtfun {

namespace {

// Sine-derived additive constants, one per step.
const uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts per round, four per round.
const unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

inline uint32_t rotl(uint32_t x, unsigned n)
{
    return (x << n) | (x >> (32 - n));
}

// One 64-byte block. The words are read little-endian byte by byte, so the input needs no alignment.
void md5_process(md5_state_s* state, const uint8_t* block)
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = static_cast<uint32_t>(block[i * 4]) | (static_cast<uint32_t>(block[i * 4 + 1]) << 8) |
               (static_cast<uint32_t>(block[i * 4 + 2]) << 16) | (static_cast<uint32_t>(block[i * 4 + 3]) << 24);
    }
    uint32_t a = state->abcd[0], b = state->abcd[1], c = state->abcd[2], d = state->abcd[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f;
        int k;
        switch (round) {
        case 0:
            f = (b & c) | (~b & d);
            k = i;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            k = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            k = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            k = (7 * i) % 16;
            break;
        }
        const uint32_t next = b + rotl(a + f + x[k] + kT[i], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state->abcd[0] += a;
    state->abcd[1] += b;
    state->abcd[2] += c;
    state->abcd[3] += d;
}

}  // namespace

void md5_init(md5_state_s* state)
{
    state->count[0] = state->count[1] = 0;
    state->abcd[0] = 0x67452301;
    state->abcd[1] = 0xefcdab89;
    state->abcd[2] = 0x98badcfe;
    state->abcd[3] = 0x10325476;
    std::memset(state->buf, 0, sizeof state->buf);
}

void md5_append(md5_state_s* state, const void* data, size_t length)
{
    const auto* p = static_cast<const uint8_t*>(data);
    size_t offset = (state->count[0] >> 3) & 63;
    // The bit count, modulo 2^64, in two words.
    const uint64_t bits = (static_cast<uint64_t>(state->count[1]) << 32 | state->count[0]) +
                          (static_cast<uint64_t>(length) << 3);
    state->count[0] = static_cast<uint32_t>(bits);
    state->count[1] = static_cast<uint32_t>(bits >> 32);

    if (offset != 0) {
        size_t copy = offset + length > 64 ? 64 - offset : length;
        std::memcpy(state->buf + offset, p, copy);
        if (offset + copy < 64) {
            return;
        }
        p += copy;
        length -= copy;
        md5_process(state, state->buf);
    }
    for (; length >= 64; p += 64, length -= 64) {
        md5_process(state, p);
    }
    if (length != 0) {
        std::memcpy(state->buf, p, length);
    }
}

void md5_finish(md5_state_s* state, _md5buffer digest)
{
    static const uint8_t pad[64] = {0x80};
    uint8_t length[8];
    for (int i = 0; i < 8; ++i) {
        length[i] = static_cast<uint8_t>(state->count[i >> 2] >> ((i & 3) << 3));
    }
    // Pad to 56 bytes modulo 64, then append the length taken before padding.
    md5_append(state, pad, ((55 - (state->count[0] >> 3)) & 63) + 1);
    md5_append(state, length, 8);
    for (int i = 0; i < 16; ++i) {
        digest[i] = static_cast<uint8_t>(state->abcd[i >> 2] >> ((i & 3) << 3));
    }
}

std::string md52str(const _md5buffer digest)
{
    char text[33];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(text + i * 2, 3, "%02x", digest[i]);
    }
    return std::string(text, 32);
}

crtmd5::crtmd5()
{
    md5_init(&state_);
}

void crtmd5::append(const void* data, size_t length)
{
    md5_append(&state_, data, length);
}

void crtmd5::finish(_md5buffer digest)
{
    md5_finish(&state_, digest);
    md5_init(&state_);
}

std::string crtmd5::hexdigest()
{
    _md5buffer digest;
    finish(digest);
    return md52str(digest);
}

std::string crtmd5::hex(const std::string& text)
{
    crtmd5 md5;
    md5.append(text);
    return md5.hexdigest();
}

}  // namespace crtfun
