#include "net/json/JsonUTF8Stream.h"

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
        // Eight ASCII bytes at a time.
        if (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        const uint8_t c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        size_t need;
        uint8_t lo = 0x80;
        uint8_t hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            if (c == 0xE0) {
                lo = 0xA0;  // no overlong three-byte forms
            } else if (c == 0xED) {
                hi = 0x9F;  // no UTF-16 surrogates
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            if (c == 0xF0) {
                lo = 0x90;  // no overlong four-byte forms
            } else if (c == 0xF4) {
                hi = 0x8F;  // nothing above U+10FFFF
            }
        } else {
            return false;
        }
        if (static_cast<size_t>(end - p) <= need) {
            return false;
        }
        if (p[1] < lo || p[1] > hi) {
            return false;
        }
        for (size_t i = 2; i <= need; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
        }
        p += need + 1;
    }
    return true;
}
