#include "platform/foundation/Base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int value(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

}  // namespace

namespace Base64 {

std::string encode(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                     static_cast<unsigned char>(bytes[i + 2]);
        out.push_back(kAlphabet[n >> 18]);
        out.push_back(kAlphabet[(n >> 12) & 63]);
        out.push_back(kAlphabet[(n >> 6) & 63]);
        out.push_back(kAlphabet[n & 63]);
    }
    size_t rest = bytes.size() - i;
    if (rest) {
        uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) {
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out.push_back(kAlphabet[n >> 18]);
        out.push_back(kAlphabet[(n >> 12) & 63]);
        out.push_back(rest == 2 ? kAlphabet[(n >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::optional<std::string> decode(std::string_view text, bool ignoreUnknown)
{
    std::string symbols;
    symbols.reserve(text.size());
    for (char c : text) {
        if (value(c) >= 0 || c == '=') {
            symbols.push_back(c);
        } else if (!ignoreUnknown) {
            return std::nullopt;
        }
    }
    if (symbols.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(symbols.size() / 4 * 3);
    for (size_t i = 0; i < symbols.size(); i += 4) {
        bool last = i + 4 == symbols.size();
        int pad = 0;
        uint32_t n = 0;
        for (size_t k = 0; k < 4; ++k) {
            char c = symbols[i + k];
            if (c == '=') {
                // Padding only at the end of the last quantum, at most two, never in the first two places.
                if (!last || k < 2) {
                    return std::nullopt;
                }
                ++pad;
                n <<= 6;
                continue;
            }
            if (pad) {
                return std::nullopt;
            }
            n = (n << 6) | static_cast<uint32_t>(value(c));
        }
        out.push_back(static_cast<char>(n >> 16));
        if (pad < 2) {
            out.push_back(static_cast<char>((n >> 8) & 0xff));
        }
        if (pad < 1) {
            out.push_back(static_cast<char>(n & 0xff));
        }
    }
    return out;
}

}  // namespace Base64
