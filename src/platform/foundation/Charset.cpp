#include "platform/foundation/Charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

enum class Codec { UTF8, ASCII, Latin1, UTF16Marked, UTF16BE, UTF16LE, Iconv };

struct EncodingEntry {
    CFStringEncoding cf;
    NSStringEncoding ns;
    const char* iana;   // the name written in "charset=" parameters
    const char* iconv;  // iconv's name for the conversion
    Codec codec;
    std::vector<const char*> aliases;
};

const std::vector<EncodingEntry>& table()
{
    static const std::vector<EncodingEntry> entries = {
        {kCFStringEncodingUTF8, NSUTF8StringEncoding, "utf-8", "UTF-8", Codec::UTF8, {"utf8", "unicode-1-1-utf-8"}},
        {kCFStringEncodingASCII, NSASCIIStringEncoding, "us-ascii", "ASCII", Codec::ASCII,
         {"ascii", "ansi_x3.4-1968", "iso646-us", "us", "csascii"}},
        {kCFStringEncodingISOLatin1, NSISOLatin1StringEncoding, "iso-8859-1", "ISO-8859-1", Codec::Latin1,
         {"iso_8859-1", "iso8859-1", "latin1", "l1", "iso-ir-100", "cp819", "csisolatin1"}},
        {kCFStringEncodingISOLatin2, NSISOLatin2StringEncoding, "iso-8859-2", "ISO-8859-2", Codec::Iconv,
         {"iso_8859-2", "latin2", "l2", "csisolatin2"}},
        {kCFStringEncodingISOLatin9, 0x80000000U | kCFStringEncodingISOLatin9, "iso-8859-15", "ISO-8859-15",
         Codec::Iconv, {"iso_8859-15", "latin-9", "latin9"}},
        {kCFStringEncodingUTF16, NSUnicodeStringEncoding, "utf-16", "UTF-16", Codec::UTF16Marked, {}},
        {kCFStringEncodingUTF16BE, NSUTF16BigEndianStringEncoding, "utf-16be", "UTF-16BE", Codec::UTF16BE, {}},
        {kCFStringEncodingUTF16LE, NSUTF16LittleEndianStringEncoding, "utf-16le", "UTF-16LE", Codec::UTF16LE, {}},
        {kCFStringEncodingUTF32, NSUTF32StringEncoding, "utf-32", "UTF-32", Codec::Iconv, {}},
        {kCFStringEncodingUTF32BE, NSUTF32BigEndianStringEncoding, "utf-32be", "UTF-32BE", Codec::Iconv, {}},
        {kCFStringEncodingUTF32LE, NSUTF32LittleEndianStringEncoding, "utf-32le", "UTF-32LE", Codec::Iconv, {}},
        {kCFStringEncodingWindowsLatin1, NSWindowsCP1252StringEncoding, "windows-1252", "CP1252", Codec::Iconv,
         {"cp1252", "x-cp1252"}},
        {kCFStringEncodingWindowsLatin2, NSWindowsCP1250StringEncoding, "windows-1250", "CP1250", Codec::Iconv,
         {"cp1250"}},
        {kCFStringEncodingWindowsCyrillic, NSWindowsCP1251StringEncoding, "windows-1251", "CP1251", Codec::Iconv,
         {"cp1251"}},
        {kCFStringEncodingWindowsGreek, NSWindowsCP1253StringEncoding, "windows-1253", "CP1253", Codec::Iconv,
         {"cp1253"}},
        {kCFStringEncodingWindowsLatin5, NSWindowsCP1254StringEncoding, "windows-1254", "CP1254", Codec::Iconv,
         {"cp1254"}},
        {kCFStringEncodingMacRoman, NSMacOSRomanStringEncoding, "macintosh", "MACINTOSH", Codec::Iconv,
         {"mac", "x-mac-roman", "csmacintosh"}},
        {kCFStringEncodingDOSJapanese, NSShiftJISStringEncoding, "cp932", "CP932", Codec::Iconv,
         {"windows-31j", "ms932", "cswindows31j"}},
        {kCFStringEncodingShiftJIS, 0x80000000U | kCFStringEncodingShiftJIS, "shift_jis", "SHIFT_JIS", Codec::Iconv,
         {"sjis", "x-sjis", "ms_kanji", "csshiftjis", "shift-jis"}},
        {kCFStringEncodingEUC_JP, NSJapaneseEUCStringEncoding, "euc-jp", "EUC-JP", Codec::Iconv,
         {"x-euc-jp", "cseucpkdfmtjapanese"}},
        {kCFStringEncodingISO_2022_JP, NSISO2022JPStringEncoding, "iso-2022-jp", "ISO-2022-JP", Codec::Iconv,
         {"csiso2022jp"}},
        {kCFStringEncodingGB_18030_2000, 0x80000000U | kCFStringEncodingGB_18030_2000, "gb18030", "GB18030",
         Codec::Iconv, {}},
        {kCFStringEncodingGBK_95, 0x80000000U | kCFStringEncodingGBK_95, "gbk", "GBK", Codec::Iconv,
         {"cp936", "ms936", "windows-936", "x-gbk"}},
        // Text labelled GB2312 is read as GBK, its superset, as browsers do: real pages use the extra
        // characters, and a strict decode would turn them into a nil text.
        {kCFStringEncodingEUC_CN, 0x80000000U | kCFStringEncodingEUC_CN, "gb2312", "GBK", Codec::Iconv,
         {"euc-cn", "x-euc-cn", "csgb2312", "gb_2312-80", "chinese"}},
        {kCFStringEncodingEUC_KR, 0x80000000U | kCFStringEncodingEUC_KR, "euc-kr", "EUC-KR", Codec::Iconv,
         {"cseuckr", "ks_c_5601-1987"}},
        {kCFStringEncodingBig5, 0x80000000U | kCFStringEncodingBig5, "big5", "BIG5", Codec::Iconv,
         {"csbig5", "x-x-big5", "cn-big5"}},
        {kCFStringEncodingBig5_HKSCS_1999, 0x80000000U | kCFStringEncodingBig5_HKSCS_1999, "big5-hkscs",
         "BIG5-HKSCS", Codec::Iconv, {}},
        {kCFStringEncodingKOI8_R, 0x80000000U | kCFStringEncodingKOI8_R, "koi8-r", "KOI8-R", Codec::Iconv,
         {"cskoi8r"}},
    };
    return entries;
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, const char* b)
{
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == '\0' || lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return b[i] == '\0';
}

const EncodingEntry* byNS(NSStringEncoding encoding)
{
    for (const auto& entry : table()) {
        if (entry.ns == encoding) {
            return &entry;
        }
    }
    return nullptr;
}

const EncodingEntry* byCF(CFStringEncoding encoding)
{
    for (const auto& entry : table()) {
        if (entry.cf == encoding) {
            return &entry;
        }
    }
    return nullptr;
}

// Runs one iconv conversion. On a character the target cannot hold: with `substitute`, writes it and
// skips one UTF-8 sequence of the input (the input is UTF-8 then); without, fails.
std::optional<std::string> convert(const char* to, const char* from, std::string_view input,
                                   const char* substitute = nullptr)
{
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out;
    std::vector<char> buffer(4096 + input.size() * 4);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    bool ok = true;
    for (;;) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        size_t rc = inLeft ? ::iconv(cd, &in, &inLeft, &outPtr, &outLeft) : ::iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer.data(), static_cast<size_t>(outPtr - buffer.data()));
        if (rc != static_cast<size_t>(-1)) {
            if (inLeft == 0) {
                // Flush any shift state (stateful encodings end in their initial state).
                char* flushPtr = buffer.data();
                size_t flushLeft = buffer.size();
                if (::iconv(cd, nullptr, nullptr, &flushPtr, &flushLeft) == static_cast<size_t>(-1)) {
                    ok = false;
                }
                out.append(buffer.data(), static_cast<size_t>(flushPtr - buffer.data()));
                break;
            }
            continue;
        }
        if (errno == E2BIG) {
            continue;
        }
        if (errno == EILSEQ && substitute) {
            out += substitute;
            // Skip one UTF-8 sequence.
            unsigned char lead = static_cast<unsigned char>(*in);
            size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            length = std::min(length, inLeft);
            in += length;
            inLeft -= length;
            continue;
        }
        ok = false;  // EILSEQ or EINVAL (truncated input)
        break;
    }
    ::iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> decodeUTF16(std::string_view bytes, bool bigEndian)
{
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) -> char16_t {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0));
    };
    for (size_t i = 0; i < bytes.size(); i += 2) {
        char16_t u = unit(i);
        char32_t cp = u;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 3 >= bytes.size()) {
                return std::nullopt;
            }
            char16_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) {
                return std::nullopt;
            }
            cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        }
        Charset::appendUTF8(out, cp);
    }
    return out;
}

std::string encodeUTF16(const std::u32string& text, bool bigEndian)
{
    std::string out;
    auto put = [&](char16_t u) {
        if (bigEndian) {
            out.push_back(static_cast<char>(u >> 8));
            out.push_back(static_cast<char>(u & 0xff));
        } else {
            out.push_back(static_cast<char>(u & 0xff));
            out.push_back(static_cast<char>(u >> 8));
        }
    };
    for (char32_t cp : text) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(static_cast<char16_t>(0xD800 + (cp >> 10)));
            put(static_cast<char16_t>(0xDC00 + (cp & 0x3ff)));
        } else {
            put(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string_view trimName(std::string_view name)
{
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!name.empty() && isSpace(name.front())) {
        name.remove_prefix(1);
    }
    while (!name.empty() && isSpace(name.back())) {
        name.remove_suffix(1);
    }
    if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') && name.back() == name.front()) {
        name = name.substr(1, name.size() - 2);
    }
    return name;
}

}  // namespace

CFStringEncoding CFStringConvertIANACharSetNameToEncoding(std::string_view name)
{
    name = trimName(name);
    if (name.empty()) {
        return kCFStringEncodingInvalidId;
    }
    for (const auto& entry : table()) {
        if (equalsIgnoringCase(name, entry.iana)) {
            return entry.cf;
        }
        for (const char* alias : entry.aliases) {
            if (equalsIgnoringCase(name, alias)) {
                return entry.cf;
            }
        }
    }
    return kCFStringEncodingInvalidId;
}

std::string CFStringConvertEncodingToIANACharSetName(CFStringEncoding encoding)
{
    const EncodingEntry* entry = byCF(encoding);
    return entry ? entry->iana : "";
}

NSStringEncoding CFStringConvertEncodingToNSStringEncoding(CFStringEncoding encoding)
{
    if (encoding == kCFStringEncodingInvalidId) {
        return kCFStringEncodingInvalidId;
    }
    const EncodingEntry* entry = byCF(encoding);
    return entry ? entry->ns : (0x80000000U | encoding);
}

CFStringEncoding CFStringConvertNSStringEncodingToEncoding(NSStringEncoding encoding)
{
    if (encoding == kCFStringEncodingInvalidId) {
        return kCFStringEncodingInvalidId;
    }
    const EncodingEntry* entry = byNS(encoding);
    if (entry) {
        return entry->cf;
    }
    return (encoding & 0x80000000U) ? (encoding & 0x7fffffffU) : kCFStringEncodingInvalidId;
}

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// UTF-8 with each byte that starts no valid sequence replaced.
std::string utf8Replacing(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<char>(b0));
            ++i;
            continue;
        }
        const size_t length = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : 2;
        if (i + length <= bytes.size() && Charset::decodeUTF8(bytes.substr(i, length))) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

std::string utf16Replacing(std::string_view bytes, bool bigEndian)
{
    std::string out;
    auto unit = [&](size_t i) -> char16_t {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0));
    };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const char16_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                Charset::appendUTF8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        Charset::appendUTF8(out, u);  // a lone surrogate is written as U+FFFD
    }
    if (i < bytes.size()) {
        out += kReplacement;  // half a unit at the end
    }
    return out;
}

// iconv to UTF-8, a byte that starts no valid sequence replaced and skipped.
std::string iconvReplacing(const char* from, std::string_view input)
{
    iconv_t cd = ::iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return utf8Replacing(input);
    }
    std::string out;
    std::vector<char> buffer(4096 + input.size() * 4);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t rc = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), static_cast<size_t>(outPtr - buffer.data()));
        if (rc != static_cast<size_t>(-1) || errno == E2BIG) {
            continue;
        }
        out += kReplacement;
        if (errno != EILSEQ) {
            break;  // a sequence cut off by the end of the input
        }
        ++in;
        --inLeft;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* flushPtr = buffer.data();
    size_t flushLeft = buffer.size();
    ::iconv(cd, nullptr, nullptr, &flushPtr, &flushLeft);
    out.append(buffer.data(), static_cast<size_t>(flushPtr - buffer.data()));
    ::iconv_close(cd);
    return out;
}

}  // namespace


namespace Charset {

bool isSupported(NSStringEncoding encoding)
{
    return byNS(encoding) != nullptr;
}

std::optional<std::string> decode(std::string_view bytes, NSStringEncoding encoding)
{
    const EncodingEntry* entry = byNS(encoding);
    if (!entry) {
        return std::nullopt;
    }
    switch (entry->codec) {
    case Codec::UTF8:
        if (!isValidUTF8(bytes)) {
            return std::nullopt;
        }
        return std::string(bytes);
    case Codec::ASCII:
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                return std::nullopt;
            }
        }
        return std::string(bytes);
    case Codec::Latin1: {
        std::string out;
        out.reserve(bytes.size());
        for (char c : bytes) {
            appendUTF8(out, static_cast<unsigned char>(c));
        }
        return out;
    }
    case Codec::UTF16Marked:
        if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xFE) {
            return decodeUTF16(bytes.substr(2), false);
        }
        if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
            static_cast<unsigned char>(bytes[1]) == 0xFF) {
            return decodeUTF16(bytes.substr(2), true);
        }
        return decodeUTF16(bytes, true);
    case Codec::UTF16BE:
        return decodeUTF16(bytes, true);
    case Codec::UTF16LE:
        return decodeUTF16(bytes, false);
    case Codec::Iconv: {
        auto out = convert("UTF-8", entry->iconv, bytes);
        if (!out || !isValidUTF8(*out)) {
            return std::nullopt;
        }
        return out;
    }
    }
    return std::nullopt;
}

std::string decodeReplacing(std::string_view bytes, NSStringEncoding encoding)
{
    if (auto strict = decode(bytes, encoding)) {
        return *strict;
    }
    const EncodingEntry* entry = byNS(encoding);
    switch (entry ? entry->codec : Codec::UTF8) {
    case Codec::UTF8:
    case Codec::ASCII:
    case Codec::Latin1:
        return utf8Replacing(bytes);
    case Codec::UTF16Marked:
    case Codec::UTF16BE:
        return utf16Replacing(bytes, true);
    case Codec::UTF16LE:
        return utf16Replacing(bytes, false);
    case Codec::Iconv:
        return iconvReplacing(entry->iconv, bytes);
    }
    return utf8Replacing(bytes);
}

std::optional<std::string> encode(std::string_view text, NSStringEncoding encoding, bool allowLossy)
{
    const EncodingEntry* entry = byNS(encoding);
    if (!entry) {
        return std::nullopt;
    }
    if (entry->codec == Codec::UTF8) {
        if (!isValidUTF8(text)) {
            return std::nullopt;
        }
        return std::string(text);
    }
    if (entry->codec == Codec::Iconv) {
        if (!isValidUTF8(text)) {
            return std::nullopt;
        }
        return convert(entry->iconv, "UTF-8", text, allowLossy ? "?" : nullptr);
    }
    auto codePoints = decodeUTF8(text);
    if (!codePoints) {
        return std::nullopt;
    }
    std::string out;
    switch (entry->codec) {
    case Codec::ASCII:
    case Codec::Latin1: {
        char32_t limit = entry->codec == Codec::ASCII ? 0x7F : 0xFF;
        for (char32_t cp : *codePoints) {
            if (cp > limit) {
                if (!allowLossy) {
                    return std::nullopt;
                }
                out.push_back('?');
            } else {
                out.push_back(static_cast<char>(cp));
            }
        }
        return out;
    }
    case Codec::UTF16Marked:
        return std::string("\xFF\xFE", 2) + encodeUTF16(*codePoints, false);
    case Codec::UTF16BE:
        return encodeUTF16(*codePoints, true);
    case Codec::UTF16LE:
        return encodeUTF16(*codePoints, false);
    default:
        return std::nullopt;
    }
}

std::optional<std::u32string> decodeUTF8(std::string_view bytes)
{
    std::u32string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        size_t length;
        char32_t cp;
        char32_t minimum;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            cp = b0 & 0x1F;
            minimum = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            cp = b0 & 0x0F;
            minimum = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            cp = b0 & 0x07;
            minimum = 0x10000;
        } else {
            return std::nullopt;  // continuation byte, overlong lead (C0, C1) or beyond F4
        }
        if (i + length > bytes.size()) {
            return std::nullopt;
        }
        for (size_t k = 1; k < length; ++k) {
            auto b = static_cast<unsigned char>(bytes[i + k]);
            if ((b & 0xC0) != 0x80) {
                return std::nullopt;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return std::nullopt;
        }
        out.push_back(cp);
        i += length;
    }
    return out;
}

bool isValidUTF8(std::string_view bytes)
{
    // Fast path for ASCII runs; the full check only where a multi-byte sequence starts.
    size_t i = 0;
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) {
        ++i;
    }
    return i == bytes.size() || decodeUTF8(bytes.substr(i)).has_value();
}

void appendUTF8(std::string& out, char32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = 0xFFFD;
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace Charset
