#pragma once
// Lookup tables of the AAC frame length walker, built once per process from the code tables in data/.
//
// A Huffman book becomes a multi-level lookup table of 32-bit entries. The first level is indexed by
// the next `rootBits` bits of the stream (7 for the scale factor book, 8 for the spectral books); a
// longer code continues in a sub-table indexed by the bits after those, and so on. An entry is either
//   a leaf:    bit 31 clear; bits 0-7 the number of bits to skip, bits 8-9 the number of escape
//              sequences that follow (book 11 only);
//   a link:    bit 31 set; bits 0-4 the sub-table's index width, bits 5-30 its offset in the book.
// For a spectral book the bits to skip are the codeword and the sign bits that follow it (one per
// non-zero value of the unsigned books), so one lookup moves over a whole codeword. For the scale
// factor book they are the codeword length. An entry of 0 marks a bit pattern that starts no code
// (the published books are complete, so the builder refuses any that would leave one).

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t AAC_HUFF_LINK = 0x80000000u;
constexpr unsigned AAC_SCALEFACTOR_ROOT_BITS = 7;
constexpr unsigned AAC_SPECTRAL_ROOT_BITS = 8;

struct AacHuffTable {
    const uint32_t* entries = nullptr;
    unsigned rootBits = 0;
};

// Band offsets of one window length: offsets[0 .. bands] (the last is the window's coefficient count).
struct AacBandTable {
    uint16_t offsets[64] = {};
    unsigned bands = 0;
};

struct AacTables {
    bool valid = false;
    std::string error;            // why the tables could not be built (empty when valid)
    AacHuffTable scalefactor;
    AacHuffTable spectral[12];    // index = codebook number 1..11; [0] unused
    unsigned codeCount[12] = {};  // codes read per book, [0] = scale factor book
    AacBandTable longBands;       // 44100 / 48000 Hz, 1024-sample window: 49 bands
    AacBandTable shortBands;      // 44100 / 48000 Hz, 128-sample window: 14 bands
    std::vector<uint32_t> storage;
};

// The tables, built at the first call (thread-safe).
const AacTables& aac_tables();

// Entry of a table whose first level is `RootBits` wide for the bits at the top of `window` (the next
// 64 bits of the stream, first bit highest). Codes are at most 19 bits long, so the window always holds
// the whole code.
template <unsigned RootBits>
inline uint32_t aac_huff_lookup(const uint32_t* entries, uint64_t window)
{
    uint32_t entry = entries[window >> (64 - RootBits)];
    unsigned used = RootBits;
    while (entry & AAC_HUFF_LINK) {
        const unsigned width = entry & 31u;
        const uint32_t offset = (entry >> 5) & 0x3FFFFFFu;
        entry = entries[offset + static_cast<uint32_t>((window << used) >> (64 - width))];
        used += width;
    }
    return entry;
}

inline uint32_t aac_huff_lookup(const AacHuffTable& table, uint64_t window)
{
    return table.rootBits == AAC_SPECTRAL_ROOT_BITS ? aac_huff_lookup<AAC_SPECTRAL_ROOT_BITS>(table.entries, window)
                                                    : aac_huff_lookup<AAC_SCALEFACTOR_ROOT_BITS>(table.entries, window);
}

inline unsigned aac_huff_skip(uint32_t leaf) { return leaf & 0xFFu; }
inline unsigned aac_huff_escapes(uint32_t leaf) { return (leaf >> 8) & 3u; }
