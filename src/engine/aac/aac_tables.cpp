// Builds the AAC walker's lookup tables from the published code tables.
//
// The tables in data/ are the published text itself, wrapped as C++ raw string literals (see
// data/README.md) and compiled in here; they are parsed and turned into lookup tables once per process,
// at the first frame walked. Parsing a few kilobytes of text costs well under a millisecond, and it
// keeps one copy of the tables in the repository, readable and checkable against the standard, with no
// generator step in the build and no file to find at run time.

#include "engine/aac/aac_tables.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <string_view>

namespace {

const char kScalefactorText[] =
#include "data/sf.txt"
    ;

const char* const kSpectralText[12] = {
    nullptr,
#include "data/cb1.txt"
    ,
#include "data/cb2.txt"
    ,
#include "data/cb3.txt"
    ,
#include "data/cb4.txt"
    ,
#include "data/cb5.txt"
    ,
#include "data/cb6.txt"
    ,
#include "data/cb7.txt"
    ,
#include "data/cb8.txt"
    ,
#include "data/cb9.txt"
    ,
#include "data/cb10.txt"
    ,
#include "data/cb11.txt"
    ,
};

const char kBandText[] =
#include "data/swb.txt"
    ;

// Shape of each spectral book: values per codeword, the value range, and how the index packs them.
struct BookShape {
    unsigned dimension;  // 4 (quadruples) or 2 (pairs)
    bool isSigned;       // signed books carry the sign in the codeword, unsigned ones in extra bits
    unsigned modulus;    // index = sum of value digits in this base
    unsigned codes;      // number of codes the book must have
};

constexpr BookShape kShapes[12] = {
    {0, false, 0, 0},
    {4, true, 3, 81},  {4, true, 3, 81},   {4, false, 3, 81},  {4, false, 3, 81},
    {2, true, 9, 81},  {2, true, 9, 81},   {2, false, 8, 64},  {2, false, 8, 64},
    {2, false, 13, 169}, {2, false, 13, 169}, {2, false, 17, 289},
};

constexpr unsigned kScalefactorCodes = 121;
constexpr unsigned kMaxSubBits = 8;      // a longer remainder continues one level deeper
constexpr unsigned kMaxCodeLength = 24;  // the published books stop at 19 bits
constexpr uint32_t kEscapeValue = 16;    // book 11: this value is followed by an escape sequence

struct Code {
    uint32_t bits = 0;
    unsigned length = 0;
    uint32_t leaf = 0;
};

// Splits a text into its lines (without the line ends).
std::vector<std::string_view> text_lines(const char* text)
{
    std::vector<std::string_view> lines;
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return lines;
}

// Reads the unsigned number in `base` at the start of `line` (after blanks) and moves past it.
bool take_number(std::string_view& line, int base, unsigned long& value)
{
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '\r')) {
        line.remove_prefix(1);
    }
    const char* first = line.data();
    const char* last = line.data() + line.size();
    const auto [end, error] = std::from_chars(first, last, value, base);
    if (error != std::errc() || (end != last && *end != ' ' && *end != '\t' && *end != '\r')) {
        return false;
    }
    line.remove_prefix(static_cast<size_t>(end - first));
    return true;
}

bool blank(std::string_view line) { return line.find_first_not_of(" \t\r") == std::string_view::npos; }

// Reads "index length hex-codeword" lines. Every index below `count` must appear exactly once.
bool parse_book(const char* text, unsigned count, std::vector<Code>& codes, std::string& error)
{
    codes.assign(count, Code{});
    std::vector<bool> seen(count, false);
    unsigned read = 0;
    for (std::string_view line : text_lines(text)) {
        if (blank(line)) {
            continue;
        }
        const std::string original(line);
        unsigned long index = 0, length = 0, bits = 0;
        if (!take_number(line, 10, index) || !take_number(line, 10, length) || !take_number(line, 16, bits) ||
            !blank(line) || index >= count || seen[index] || length == 0 || length > kMaxCodeLength ||
            (bits >> length) != 0) {
            error = "bad code line: " + original;
            return false;
        }
        seen[index] = true;
        codes[index].bits = static_cast<uint32_t>(bits);
        codes[index].length = static_cast<unsigned>(length);
        ++read;
    }
    if (read != count) {
        error = "book has " + std::to_string(read) + " codes, expected " + std::to_string(count);
        return false;
    }
    // A complete prefix code: the code space is used exactly once (sum of 2^-length is 1).
    uint64_t space = 0;
    for (const Code& code : codes) {
        space += uint64_t(1) << (kMaxCodeLength - code.length);
    }
    if (space != (uint64_t(1) << kMaxCodeLength)) {
        error = "book is not a complete prefix code";
        return false;
    }
    return true;
}

// Fills one level of a book's table at the end of `out` (indices relative to `bookBase`); codes share
// the `consumed` bits that led here. Returns false when two codes overlap or a pattern is left empty.
bool build_level(std::vector<uint32_t>& out, size_t bookBase, const std::vector<Code>& codes, unsigned consumed,
                 unsigned width, std::string& error)
{
    const size_t base = out.size();
    out.resize(base + (size_t(1) << width), 0);
    std::map<uint32_t, std::vector<Code>> longer;
    for (const Code& code : codes) {
        const unsigned rest = code.length - consumed;
        const uint32_t tail = code.bits & ((uint32_t(1) << rest) - 1);
        if (rest <= width) {
            const uint32_t first = tail << (width - rest);
            const uint32_t span = uint32_t(1) << (width - rest);
            for (uint32_t i = 0; i < span; ++i) {
                if (out[base + first + i] != 0) {
                    error = "codes overlap";
                    return false;
                }
                out[base + first + i] = code.leaf;
            }
        } else {
            longer[tail >> (rest - width)].push_back(code);
        }
    }
    for (const auto& [index, group] : longer) {
        if (out[base + index] != 0) {
            error = "codes overlap";
            return false;
        }
        unsigned deepest = 0;
        for (const Code& code : group) {
            deepest = std::max(deepest, code.length);
        }
        const unsigned sub = std::min(deepest - consumed - width, kMaxSubBits);
        const size_t offset = out.size() - bookBase;
        out[base + index] = AAC_HUFF_LINK | sub | static_cast<uint32_t>(offset << 5);
        if (!build_level(out, bookBase, group, consumed + width, sub, error)) {
            return false;
        }
    }
    for (size_t i = base; i < base + (size_t(1) << width); ++i) {
        if (out[i] == 0) {
            error = "a bit pattern starts no code";
            return false;
        }
    }
    return true;
}

bool build_book(std::vector<uint32_t>& storage, const std::vector<Code>& codes, unsigned rootBits, size_t& offset,
                std::string& error)
{
    offset = storage.size();
    return build_level(storage, offset, codes, 0, rootBits, error);
}

// A leaf of one codeword of `skip` bits.
uint32_t leaf_of(unsigned skip, unsigned escapes) { return skip | (escapes << 8); }

// Leaf of a spectral codeword: the codeword, its sign bits, and the escapes that follow.
uint32_t spectral_leaf(unsigned book, unsigned index, unsigned length)
{
    const BookShape& shape = kShapes[book];
    unsigned signs = 0, escapes = 0;
    unsigned rest = index;
    for (unsigned i = 0; i < shape.dimension; ++i) {
        const unsigned digit = rest % shape.modulus;
        rest /= shape.modulus;
        if (!shape.isSigned && digit != 0) {
            ++signs;
        }
        if (book == 11 && digit == kEscapeValue) {
            ++escapes;
        }
    }
    return leaf_of(length + signs, escapes);
}

bool parse_bands(const char* text, const char* name, unsigned bands, unsigned windowLength, AacBandTable& table,
                 std::string& error)
{
    for (std::string_view line : text_lines(text)) {
        const size_t space = line.find(' ');
        if (line.substr(0, space) != name) {
            continue;
        }
        line.remove_prefix(space);
        unsigned count = 0;
        unsigned long value = 0;
        while (!blank(line)) {
            if (!take_number(line, 10, value) || count > bands || (count > 0 && value <= table.offsets[count - 1])) {
                error = std::string("bad band offsets: ") + name;
                return false;
            }
            table.offsets[count++] = static_cast<uint16_t>(value);
        }
        if (count != bands + 1 || table.offsets[0] != 0 || table.offsets[bands] != windowLength) {
            error = std::string("bad band offsets: ") + name;
            return false;
        }
        table.bands = bands;
        return true;
    }
    error = std::string("missing band offsets: ") + name;
    return false;
}

void build_tables(AacTables& t)
{
    std::vector<Code> sf;
    std::vector<Code> spectral[12];
    std::string& error = t.error;
    if (!parse_book(kScalefactorText, kScalefactorCodes, sf, error)) {
        error = "scale factor book: " + error;
        return;
    }
    for (Code& code : sf) {
        code.leaf = leaf_of(code.length, 0);
    }
    t.codeCount[0] = kScalefactorCodes;
    for (unsigned book = 1; book <= 11; ++book) {
        if (!parse_book(kSpectralText[book], kShapes[book].codes, spectral[book], error)) {
            error = "book " + std::to_string(book) + ": " + error;
            return;
        }
        for (unsigned index = 0; index < spectral[book].size(); ++index) {
            Code& code = spectral[book][index];
            code.leaf = spectral_leaf(book, index, code.length);
        }
        t.codeCount[book] = kShapes[book].codes;
    }
    if (!parse_bands(kBandText, "long_44100_48000", 49, 1024, t.longBands, error) ||
        !parse_bands(kBandText, "short_44100_48000", 14, 128, t.shortBands, error)) {
        return;
    }

    // All books live in one vector; pointers into it are taken once it stops growing.
    size_t offsets[12] = {};
    if (!build_book(t.storage, sf, AAC_SCALEFACTOR_ROOT_BITS, offsets[0], error)) {
        error = "scale factor book: " + error;
        return;
    }
    for (unsigned book = 1; book <= 11; ++book) {
        if (!build_book(t.storage, spectral[book], AAC_SPECTRAL_ROOT_BITS, offsets[book], error)) {
            error = "book " + std::to_string(book) + ": " + error;
            return;
        }
    }
    t.scalefactor = AacHuffTable{t.storage.data() + offsets[0], AAC_SCALEFACTOR_ROOT_BITS};
    for (unsigned book = 1; book <= 11; ++book) {
        t.spectral[book] = AacHuffTable{t.storage.data() + offsets[book], AAC_SPECTRAL_ROOT_BITS};
    }
    t.valid = true;
}

}  // namespace

const AacTables& aac_tables()
{
    // Built once, never destroyed: detached engine threads may walk frames until the process ends.
    static const AacTables* const tables = [] {
        auto* t = new AacTables;
        build_tables(*t);
        return t;
    }();
    return *tables;
}
