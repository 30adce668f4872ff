#pragma once
// Decimal digits eight at a time: readers of numbers in text (exact decimals, JSON numbers) take long
// runs of digits in one step instead of one byte at a time.
#include <cstdint>
#include <cstring>

namespace DecimalDigits {

// Whether the eight bytes at p are all ASCII digits.
inline bool eightDigits(const void* p)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    return ((w & 0xF0F0F0F0F0F0F0F0ULL) | (((w + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) ==
           0x3333333333333333ULL;
}

// The number written by the eight digits at p: pairs, then quadruples, then the whole, each step one
// multiplication on all lanes at once (bytes are in memory order, the first digit lowest).
inline uint64_t valueOfEightDigits(const void* p)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    w -= 0x3030303030303030ULL;
    w = (w * 10 + (w >> 8)) & 0x00FF00FF00FF00FFULL;
    w = (w * 100 + (w >> 16)) & 0x0000FFFF0000FFFFULL;
    return (w * 10000 + (w >> 32)) & 0xFFFFFFFFULL;
}

}  // namespace DecimalDigits
