#include "net/json/JsonUTF8Stream.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

// No buffer up front: a whole text is read where it is, and the stream parser's buffer grows when a
// piece first leaves bytes pending.
JsonUTF8Stream::JsonUTF8Stream() { _bytes = _data.data(); }

void JsonUTF8Stream::appendData(const void* bytes, size_t length)
{
    if (_borrowed) {
        keepPendingBytes();
    }
    if (_index >= _length && length > 0) {
        // Nothing pending: read the caller's bytes in place.
        _data.clear();
        _bytes = static_cast<const uint8_t*>(bytes);
        _length = length;
        _index = 0;
        _borrowed = true;
        return;
    }
    if (_index > 0) {
        _data.erase(_data.begin(), _data.begin() + static_cast<std::ptrdiff_t>(std::min(_index, _data.size())));
        _index = 0;
    }
    if (length > 0) {
        const auto* p = static_cast<const uint8_t*>(bytes);
        _data.insert(_data.end(), p, p + length);
    }
    _bytes = _data.data();
    _length = _data.size();
}

void JsonUTF8Stream::keepPendingBytes()
{
    if (!_borrowed) {
        return;
    }
    _data.assign(_bytes + std::min(_index, _length), _bytes + _length);
    _bytes = _data.data();
    _length = _data.size();
    _index = 0;
    _borrowed = false;
}

bool JsonUTF8Stream::skipCharacters_length(const char* chars, size_t length)
{
    if (!haveRemainingCharacters(length) || std::memcmp(_bytes + _index, chars, length) != 0) {
        return false;
    }
    _index += length;
    return true;
}

bool JsonUTF8Stream::isValidUTF8(const uint8_t* p, const uint8_t* end)
{
    while (p < end) {
        // Past ASCII sixteen (or eight) bytes at a time, straight to the first byte above 0x7F.
#if defined(__SSE2__)
        if (end - p >= 16) {
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
            if (high == 0) {
                p += 16;
                continue;
            }
            p += __builtin_ctz(high);
        }
#endif
        if (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        // Then one character after the other while they are not ASCII (text in other scripts is runs
        // of them). Each form is checked as a whole: its continuation bytes, then its code point's
        // range (no overlong forms, no UTF-16 surrogates, nothing above U+10FFFF).
        while (p < end) {
            const uint32_t c = *p;
            if (c < 0x80) {
                ++p;
                break;
            }
            const size_t left = static_cast<size_t>(end - p);
            if (c < 0xE0) {
                if (c < 0xC2 || left < 2 || (p[1] & 0xC0) != 0x80) {
                    return false;
                }
                p += 2;
            } else if (c < 0xF0) {
                if (left < 3 || ((p[1] & 0xC0) | ((p[2] & 0xC0) >> 2)) != 0xA0) {
                    return false;
                }
                const uint32_t point = ((c & 0x0F) << 12) | (static_cast<uint32_t>(p[1] & 0x3F) << 6);
                if (point < 0x800 || (point >= 0xD800 && point < 0xE000)) {
                    return false;
                }
                p += 3;
            } else {
                if (c > 0xF4 || left < 4 || ((p[1] & 0xC0) | ((p[2] & 0xC0) >> 2) | ((p[3] & 0xC0) >> 4)) != 0xA8) {
                    return false;
                }
                const uint32_t point = ((c & 0x07) << 18) | (static_cast<uint32_t>(p[1] & 0x3F) << 12);
                if (point < 0x10000 || point > 0x10FFFF) {
                    return false;
                }
                p += 4;
            }
        }
    }
    return true;
}
