#pragma once
// The two byte scans both JSON readers spend their time in, sixteen bytes at a time where the
// processor allows: the run of a string up to its first special byte, and white space between tokens.
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace JsonByteScan {

inline bool isSpace(uint8_t c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// The first byte in [p, end) that is a quotation mark, a backslash or below 0x20 (end when none);
// `high` tells whether a byte above 0x7F was passed before it.
inline const uint8_t* stringRun(const uint8_t* p, const uint8_t* end, bool& high)
{
    unsigned top = 0;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    // Bytes below 0x20 are found with a signed compare after flipping the sign bit.
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i below = _mm_set1_epi8(static_cast<char>(0x20 ^ 0x80));
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                                         _mm_cmplt_epi8(_mm_xor_si128(v, flip), below));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (mask != 0) {
            const unsigned at = static_cast<unsigned>(__builtin_ctz(mask));
            high = (top | (bits & ((1u << at) - 1u))) != 0;
            return p + at;
        }
        top |= bits;
        p += 16;
    }
#endif
    for (; p != end; ++p) {
        const uint8_t c = *p;
        if (c == '"' || c == '\\' || c < 0x20) {
            break;
        }
        top |= c & 0x80u;
    }
    high = top != 0;
    return p;
}

// A run of white space from i on, sixteen bytes at a time; kept out of line so that the checks in
// skipSpace stay small enough to be inlined at every call.
[[gnu::noinline]] inline size_t skipSpaceRun(const uint8_t* b, size_t length, size_t i)
{
#if defined(__SSE2__)
    while (length - i >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i space = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(space)) & 0xFFFFu;
        if (other != 0) {
            return i + static_cast<unsigned>(__builtin_ctz(other));
        }
        i += 16;
    }
#endif
    while (i < length && isSpace(b[i])) {
        ++i;
    }
    return i;
}

// The position of the first byte at or after i that is not white space. Most tokens follow the
// previous one directly or after a single space (": "), which is decided here with a compare or two;
// indented text has longer runs of a line break and many spaces, which go to skipSpaceRun. Any byte
// above the space character ends a run, so one compare tells most tokens apart.
inline size_t skipSpace(const uint8_t* b, size_t length, size_t i)
{
    if (i >= length || b[i] > ' ') {
        return i;
    }
    if (b[i] == ' ' && length - i >= 2 && b[i + 1] > ' ') {
        return i + 1;
    }
    if (!isSpace(b[i])) {
        return i;
    }
    return skipSpaceRun(b, length, i);
}

}  // namespace JsonByteScan
