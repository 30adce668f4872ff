#pragma once
// Builds raw AAC frames bit by bit for the walker's tests, with the published code tables read from
// the repository's data files (independently of the walker's own table builder).

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace aactest {

// What the frame walk logged since the last clear (its log callback).
inline std::vector<std::string> g_log;
inline void capture_log(const char* message) { g_log.emplace_back(message); }

struct Codeword {
    uint32_t bits = 0;
    unsigned length = 0;
};

// The codebooks as published: [0] the scale factor book, [1..11] the spectral books, by index.
class Books {
public:
    static const Books& get()
    {
        static const Books books;
        return books;
    }
    const std::vector<Codeword>& book(unsigned n) const { return books_[n]; }
    // Band offsets of the long (49 bands) and short (14 bands) windows.
    const std::vector<unsigned>& longBands() const { return longBands_; }
    const std::vector<unsigned>& shortBands() const { return shortBands_; }
    const Codeword& code(unsigned book, unsigned index) const { return books_[book].at(index); }

private:
    Books()
    {
        books_[0] = load("sf.txt");
        for (unsigned n = 1; n <= 11; ++n) {
            books_[n] = load("cb" + std::to_string(n) + ".txt");
        }
        std::ifstream in(std::string(OMBRI_AAC_DATA_DIR) + "/swb.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string name;
            fields >> name;
            std::vector<unsigned>& bands = name == "long_44100_48000" ? longBands_ : shortBands_;
            if (name != "long_44100_48000" && name != "short_44100_48000") {
                continue;
            }
            unsigned offset;
            while (fields >> offset) {
                bands.push_back(offset);
            }
        }
    }
    static std::vector<Codeword> load(const std::string& name)
    {
        std::ifstream in(std::string(OMBRI_AAC_DATA_DIR) + "/" + name);
        if (!in) {
            throw std::runtime_error("cannot read " + name);
        }
        std::vector<Codeword> codes;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            unsigned index = 0, length = 0;
            std::string hex;
            if (!(fields >> index >> length >> hex)) {
                continue;  // the raw-string marker lines
            }
            if (codes.size() <= index) {
                codes.resize(index + 1);
            }
            codes[index] = Codeword{static_cast<uint32_t>(std::stoul(hex, nullptr, 16)), length};
        }
        return codes;
    }
    std::vector<Codeword> books_[12];
    std::vector<unsigned> longBands_;
    std::vector<unsigned> shortBands_;
};

// Values packed in a spectral index, first value first.
inline std::vector<int> spectral_values(unsigned book, unsigned index)
{
    const bool quad = book <= 4;
    const bool isSigned = book == 1 || book == 2 || book == 5 || book == 6;
    const unsigned mod = book <= 4 ? 3 : book <= 6 ? 9 : book <= 8 ? 8 : book <= 10 ? 13 : 17;
    const int offset = isSigned ? static_cast<int>(mod / 2) : 0;
    std::vector<int> values(quad ? 4 : 2);
    for (size_t i = values.size(); i-- > 0;) {
        values[i] = static_cast<int>(index % mod) - offset;
        index /= mod;
    }
    return values;
}

inline bool spectral_unsigned(unsigned book) { return book == 3 || book == 4 || book >= 7; }

class Bits {
public:
    Bits& put(uint64_t value, unsigned count)
    {
        for (unsigned i = count; i-- > 0;) {
            bits_.push_back(((value >> i) & 1) != 0);
        }
        return *this;
    }
    Bits& code(unsigned book, unsigned index)
    {
        const Codeword& c = Books::get().code(book, index);
        return put(c.bits, c.length);
    }
    // A spectral codeword with its sign bits (all positive) and, for book 11, escapes of `escape`
    // (16 .. 8191) for every value 16.
    Bits& spectral(unsigned book, unsigned index, unsigned escape = 16)
    {
        code(book, index);
        const std::vector<int> values = spectral_values(book, index);
        if (spectral_unsigned(book)) {
            for (int v : values) {
                if (v != 0) {
                    put(0, 1);
                }
            }
        }
        if (book == 11) {
            for (int v : values) {
                if (v == 16) {
                    escape_sequence(escape);
                }
            }
        }
        return *this;
    }
    // escape_prefix of N ones, a zero, and the (N + 4)-bit escape_word, for 16 <= value <= 8191.
    Bits& escape_sequence(unsigned value)
    {
        unsigned n = 0;
        while ((value >> (n + 5)) != 0) {
            ++n;
        }
        put((uint64_t(1) << n) - 1, n);
        put(0, 1);
        return put(value - (1u << (n + 4)), n + 4);
    }
    Bits& align()
    {
        while (bits_.size() % 8) {
            bits_.push_back(false);
        }
        return *this;
    }
    size_t size() const { return bits_.size(); }
    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
        for (size_t i = 0; i < bits_.size(); ++i) {
            if (bits_[i]) {
                out[i / 8] |= static_cast<uint8_t>(0x80u >> (i % 8));
            }
        }
        return out;
    }

private:
    std::vector<bool> bits_;
};

}  // namespace aactest
