#pragma once
// The parser's input: raw UTF-8 bytes and a read position. Everything here works on bytes; nothing
// is decoded before the tokeniser looks at it, and plain runs of string bytes are handed out whole.
#include "net/json/JsonByteScan.h"
#include "platform/foundation/NSObject.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class JsonUTF8Stream : public NSObject {
public:
    static Ref<JsonUTF8Stream> create() { return Ref<JsonUTF8Stream>(new JsonUTF8Stream()); }

    // Drops the bytes already read (the read position becomes 0), then appends. When nothing is
    // pending the caller's bytes are read where they are, without a copy, until keepPendingBytes: the
    // caller keeps them alive until then (the stream parser does so within one parse call).
    void appendData(const void* bytes, size_t length);
    // Copies the bytes not read yet (an incomplete token) into the stream's own buffer, so that the
    // caller's bytes may go. Runs at the end of every parse call.
    void keepPendingBytes();

    // The byte at the read position as a 16-bit unit; bytes 0x80 and above come out as 0xFF80 to
    // 0xFFFF so that they match no ASCII test. False at the end of the data.
    bool getUnichar(char16_t& ch) const
    {
        if (_index >= _length) {
            return false;
        }
        ch = static_cast<char16_t>(static_cast<int16_t>(static_cast<int8_t>(_bytes[_index])));
        return true;
    }
    // Advances by one, then getUnichar.
    bool getNextUnichar(char16_t& ch)
    {
        ++_index;
        return getUnichar(ch);
    }

    // Result of getSimpleString.
    enum SimpleString { simple_string_end = 0, simple_string_ok = 1, simple_string_broken = -1 };
    // Advances to the first byte below 0x20, quotation mark or backslash and hands out the bytes passed
    // over. simple_string_end when the data ends first; simple_string_broken when the bytes are not
    // valid UTF-8 (the position has moved all the same).
    SimpleString getSimpleString(std::string_view& run)
    {
        const uint8_t* const begin = _bytes + _index;
        const uint8_t* const end = _bytes + _length;
        bool high = false;
        const uint8_t* const stop = JsonByteScan::stringRun(begin, end, high);
        if (stop != end) {
            return finishSimpleString(begin, stop, high, run);
        }
        _index = _length;
        return simple_string_end;
    }

    void skip() { ++_index; }
    // Passes space, tab, line feed and carriage return only.
    void skipWhitespace() { _index = JsonByteScan::skipSpace(_bytes, _length, _index); }
    static bool isWhitespace(uint8_t c) { return JsonByteScan::isSpace(c); }
    bool haveRemainingCharacters(size_t count) const { return _length - _index >= count; }
    // Moves past the literal when the next bytes equal it.
    bool skipCharacters_length(const char* chars, size_t length);
    // The bytes [start, start + length) of the buffer (no validation).
    std::string_view stringWithRange(size_t start, size_t length) const
    {
        return std::string_view(reinterpret_cast<const char*>(_bytes) + start, length);
    }

    size_t index() const { return _index; }
    void setIndex(size_t index) { _index = index; }
    // Bytes held (consumed ones included until the next append).
    size_t length() const { return _length; }
    // Raw access for the tokeniser's number scan.
    const uint8_t* bytes() const { return _bytes; }

    // Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
    static bool isValidUTF8(const uint8_t* p, const uint8_t* end);

private:
    SimpleString finishSimpleString(const uint8_t* begin, const uint8_t* stop, bool nonASCII, std::string_view& run)
    {
        _index = static_cast<size_t>(stop - _bytes);
        run = std::string_view(reinterpret_cast<const char*>(begin), static_cast<size_t>(stop - begin));
        if (nonASCII && !isValidUTF8(begin, stop)) {
            return simple_string_broken;
        }
        return simple_string_ok;
    }

protected:
    JsonUTF8Stream();

private:
    std::vector<uint8_t> _data;
    // Either _data's bytes or, between appendData and keepPendingBytes, the caller's.
    const uint8_t* _bytes = nullptr;
    bool _borrowed = false;
    // Sizes are full-width: a text over 4 GiB must not wrap the position around.
    size_t _length = 0;
    size_t _index = 0;
};
