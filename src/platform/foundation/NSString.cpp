#include "platform/foundation/NSString.h"

#include <iconv.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/foundation/Charset.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSException.h"

// ---- UTF-8 walking ----------------------------------------------------------------------------------

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the character at s[i]: its code point and byte count. Bytes that do not start a valid UTF-8
// sequence read as U+FFFD of one byte.
char32_t decodeAt(std::string_view s, size_t i, size_t* size)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        *size = 1;
        return b0;
    }
    size_t n = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        n = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        *size = 1;
        return kReplacement;
    }
    if (i + n > s.size()) {
        *size = 1;
        return kReplacement;
    }
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            *size = 1;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        *size = 1;
        return kReplacement;
    }
    *size = n;
    return cp;
}

using Charset::appendUTF8;

inline NSUInteger unitsOf(char32_t cp)
{
    return cp >= 0x10000 ? 2 : 1;
}

// Byte offset of a UTF-16 index. An index inside a surrogate pair gives the character's start when
// `roundUp` is false, its end when true.
size_t offsetOf(std::string_view s, NSUInteger index, bool roundUp)
{
    NSUInteger units = 0;
    size_t i = 0;
    while (i < s.size() && units < index) {
        size_t n = 0;
        const char32_t cp = decodeAt(s, i, &n);
        const NSUInteger u = unitsOf(cp);
        if (units + u > index) {  // the index falls inside this character's surrogate pair
            return roundUp ? i + n : i;
        }
        units += u;
        i += n;
    }
    return i;
}

}  // namespace

// ---- Formatting -------------------------------------------------------------------------------------

namespace NSStringFormat {
namespace {

struct Spec {
    std::string flags;
    int width = -1;
    int precision = -1;
    std::string length;  // "", "h", "hh", "l", "ll", "q", "L", "z", "t", "j"
    char conversion = 0;
};

bool isLong(const Spec& spec)
{
    return spec.length == "l" || spec.length == "ll" || spec.length == "q" || spec.length == "z" ||
           spec.length == "t" || spec.length == "j";
}

std::string printfSpec(const Spec& spec, const char* tail)
{
    std::string f = "%" + spec.flags;
    if (spec.width >= 0) {
        f += std::to_string(spec.width);
    }
    if (spec.precision >= 0) {
        f += "." + std::to_string(spec.precision);
    }
    return f + tail;
}

template <class T>
std::string cformat(const std::string& f, T value)
{
    char small[128];
    const int n = std::snprintf(small, sizeof small, f.c_str(), value);
    if (n < 0) {
        return std::string();
    }
    if (static_cast<size_t>(n) < sizeof small) {
        return std::string(small, static_cast<size_t>(n));
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), f.c_str(), value);
    big.resize(static_cast<size_t>(n));
    return big;
}

// Text of an argument for "%@".
std::string objectText(const Arg* arg)
{
    if (arg == nullptr) {
        return "(null)";
    }
    switch (arg->type) {
    case Arg::Type::None: return "(null)";
    case Arg::Type::Int32:
    case Arg::Type::Int64: return std::to_string(arg->i);
    case Arg::Type::UInt32:
    case Arg::Type::UInt64: return std::to_string(arg->u);
    case Arg::Type::Double: return ::Value(arg->d).description();
    case Arg::Type::CString: return arg->cstr ? arg->cstr : "(null)";
    case Arg::Type::Text: return std::string(arg->text);
    case Arg::Type::Value: return arg->value ? arg->value->description() : "(null)";
    case Arg::Type::Pointer: return arg->pointer ? cformat("%p", arg->pointer) : "(null)";
    }
    return "(null)";
}

// Signed reading; `isUnsigned` tells that the value is an unsigned one beyond the signed range.
int64_t signedOf(const Arg* arg, bool* bigUnsigned, uint64_t* unsignedValue)
{
    *bigUnsigned = false;
    if (arg == nullptr) {
        return 0;
    }
    switch (arg->type) {
    case Arg::Type::Int32:
    case Arg::Type::Int64: return arg->i;
    case Arg::Type::UInt32:
    case Arg::Type::UInt64:
        if (arg->u > static_cast<uint64_t>(INT64_MAX)) {
            *bigUnsigned = true;
            *unsignedValue = arg->u;
        }
        return static_cast<int64_t>(arg->u);
    case Arg::Type::Double: {
        const ::Value v(arg->d);
        return v.longLongValue();
    }
    case Arg::Type::CString: return arg->cstr ? NSString::longLongValue(arg->cstr) : 0;
    case Arg::Type::Text: return NSString::longLongValue(arg->text);
    case Arg::Type::Value:
        if (arg->value == nullptr) {
            return 0;
        }
        if (arg->value->kind() == ::Value::Kind::UInt && arg->value->unsignedLongLongValue() > static_cast<uint64_t>(INT64_MAX)) {
            *bigUnsigned = true;
            *unsignedValue = arg->value->unsignedLongLongValue();
        }
        return arg->value->longLongValue();
    case Arg::Type::Pointer: return static_cast<int64_t>(reinterpret_cast<uintptr_t>(arg->pointer));
    case Arg::Type::None: return 0;
    }
    return 0;
}

uint64_t unsignedOf(const Arg* arg, const Spec& spec)
{
    if (arg == nullptr) {
        return 0;
    }
    uint64_t u = 0;
    bool signedSource = false;
    int64_t s = 0;
    switch (arg->type) {
    case Arg::Type::UInt32:
    case Arg::Type::UInt64: u = arg->u; break;
    case Arg::Type::Value:
        if (arg->value != nullptr && arg->value->kind() == ::Value::Kind::UInt) {
            u = arg->value->unsignedLongLongValue();
        } else {
            signedSource = true;
            bool big = false;
            uint64_t unused = 0;
            s = signedOf(arg, &big, &unused);
        }
        break;
    default: {
        signedSource = true;
        bool big = false;
        uint64_t unused = 0;
        s = signedOf(arg, &big, &unused);
    }
    }
    if (signedSource) {
        // A negative number under an unsigned conversion shows its two's complement in the width the
        // conversion names (32 bits unless "l"/"ll"), as the platform prints it.
        if (s < 0 && !isLong(spec) && s >= INT32_MIN) {
            u = static_cast<uint32_t>(static_cast<int32_t>(s));
        } else {
            u = static_cast<uint64_t>(s);
        }
    }
    if (spec.length == "h") {
        u = static_cast<uint16_t>(u);
    } else if (spec.length == "hh") {
        u = static_cast<uint8_t>(u);
    }
    return u;
}

double doubleOf(const Arg* arg)
{
    if (arg == nullptr) {
        return 0;
    }
    switch (arg->type) {
    case Arg::Type::Double: return arg->d;
    case Arg::Type::Int32:
    case Arg::Type::Int64: return static_cast<double>(arg->i);
    case Arg::Type::UInt32:
    case Arg::Type::UInt64: return static_cast<double>(arg->u);
    case Arg::Type::CString: return arg->cstr ? NSString::doubleValue(arg->cstr) : 0;
    case Arg::Type::Text: return NSString::doubleValue(arg->text);
    case Arg::Type::Value: return arg->value ? arg->value->doubleValue() : 0;
    default: return 0;
    }
}

std::string textOf(const Arg* arg)
{
    if (arg == nullptr) {
        return "(null)";
    }
    switch (arg->type) {
    case Arg::Type::CString: return arg->cstr ? arg->cstr : "(null)";
    case Arg::Type::Text: return std::string(arg->text);
    default: return objectText(arg);
    }
}

// Pads text to a width counted in characters (UTF-16 units for "%@", bytes for "%s").
std::string pad(std::string text, const Spec& spec, bool countUnits)
{
    if (spec.width < 0) {
        return text;
    }
    const size_t have = countUnits ? NSString::length(text) : text.size();
    if (have >= static_cast<size_t>(spec.width)) {
        return text;
    }
    const std::string fill(static_cast<size_t>(spec.width) - have, ' ');
    return spec.flags.find('-') != std::string::npos ? text + fill : fill + text;
}

int parseNumber(std::string_view f, size_t& i)
{
    int n = 0;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
        if (n < 100000) {
            n = n * 10 + (f[i] - '0');
        }
        ++i;
    }
    return n;
}

}  // namespace

std::string format(std::string_view f, const Arg* args, size_t count)
{
    std::string out;
    out.reserve(f.size() + 16 * count);
    size_t next = 0;  // next sequential argument
    auto argAt = [&](size_t index) -> const Arg* { return index < count ? &args[index] : nullptr; };
    auto intArg = [&](size_t index) -> int {
        const Arg* a = argAt(index);
        bool big = false;
        uint64_t unused = 0;
        const int64_t v = signedOf(a, &big, &unused);
        return static_cast<int>(std::clamp<int64_t>(v, -100000, 100000));
    };

    size_t i = 0;
    while (i < f.size()) {
        const size_t percent = f.find('%', i);
        if (percent == std::string_view::npos) {
            out.append(f.substr(i));
            break;
        }
        out.append(f.substr(i, percent - i));
        i = percent + 1;
        if (i >= f.size()) {
            out += '%';
            break;
        }
        if (f[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        Spec spec;
        // Positional argument "%n$".
        std::optional<size_t> position;
        {
            size_t j = i;
            const int n = parseNumber(f, j);
            if (j > i && j < f.size() && f[j] == '$' && n > 0) {
                position = static_cast<size_t>(n - 1);
                i = j + 1;
            }
        }
        while (i < f.size() && std::strchr("-+ 0#'", f[i]) != nullptr) {
            if (f[i] != '\'') {
                spec.flags += f[i];
            }
            ++i;
        }
        if (i < f.size() && f[i] == '*') {
            ++i;
            size_t j = i;
            const int n = parseNumber(f, j);
            int w = 0;
            if (j > i && j < f.size() && f[j] == '$' && n > 0) {
                w = intArg(static_cast<size_t>(n - 1));
                i = j + 1;
            } else {
                w = intArg(next++);
            }
            if (w < 0) {
                spec.flags += '-';
                w = -w;
            }
            spec.width = w;
        } else if (i < f.size() && f[i] >= '0' && f[i] <= '9') {
            spec.width = parseNumber(f, i);
        }
        if (i < f.size() && f[i] == '.') {
            ++i;
            if (i < f.size() && f[i] == '*') {
                ++i;
                size_t j = i;
                const int n = parseNumber(f, j);
                int p = 0;
                if (j > i && j < f.size() && f[j] == '$' && n > 0) {
                    p = intArg(static_cast<size_t>(n - 1));
                    i = j + 1;
                } else {
                    p = intArg(next++);
                }
                spec.precision = p < 0 ? -1 : p;
            } else {
                spec.precision = parseNumber(f, i);
            }
        }
        while (i < f.size() && std::strchr("hlqLztj", f[i]) != nullptr) {
            spec.length += f[i];
            ++i;
        }
        if (i >= f.size()) {
            break;  // a format ending inside a conversion prints nothing for it
        }
        spec.conversion = f[i++];
        auto takeArg = [&]() -> const Arg* { return position ? argAt(*position) : argAt(next++); };

        switch (spec.conversion) {
        case '@': {
            std::string text = objectText(takeArg());
            if (spec.precision >= 0 && NSString::length(text) > static_cast<size_t>(spec.precision)) {
                text = NSString::substringToIndex(text, static_cast<NSUInteger>(spec.precision));
            }
            out += pad(std::move(text), spec, true);
            break;
        }
        case 's':
        case 'S': {
            std::string text = textOf(takeArg());
            if (spec.precision >= 0 && text.size() > static_cast<size_t>(spec.precision)) {
                text.resize(static_cast<size_t>(spec.precision));
            }
            out += pad(std::move(text), spec, false);
            break;
        }
        case 'd':
        case 'i':
        case 'D': {
            const Arg* a = takeArg();
            bool big = false;
            uint64_t u = 0;
            int64_t v = signedOf(a, &big, &u);
            if (big) {
                out += cformat(printfSpec(spec, "llu"), static_cast<unsigned long long>(u));
                break;
            }
            if (spec.length == "h") {
                v = static_cast<int16_t>(v);
            } else if (spec.length == "hh") {
                v = static_cast<int8_t>(v);
            }
            out += cformat(printfSpec(spec, "lld"), static_cast<long long>(v));
            break;
        }
        case 'u':
        case 'U':
        case 'x':
        case 'X':
        case 'o':
        case 'O': {
            const char* tail = spec.conversion == 'x' ? "llx" : spec.conversion == 'X' ? "llX"
                             : (spec.conversion == 'o' || spec.conversion == 'O') ? "llo" : "llu";
            out += cformat(printfSpec(spec, tail), static_cast<unsigned long long>(unsignedOf(takeArg(), spec)));
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            const char tail[2] = {spec.conversion, '\0'};
            out += cformat(printfSpec(spec, tail), doubleOf(takeArg()));
            break;
        }
        case 'c':
        case 'C': {
            bool big = false;
            uint64_t u = 0;
            const int64_t v = signedOf(takeArg(), &big, &u);
            std::string text;
            if (spec.conversion == 'c' && spec.length.empty()) {
                const auto byte = static_cast<unsigned char>(v);
                if (byte < 0x80) {
                    text += static_cast<char>(byte);
                } else {
                    appendUTF8(text, byte);  // a Latin-1 byte, as the platform reads a lone char
                }
            } else {
                appendUTF8(text, static_cast<char32_t>(v & 0x1FFFFF));
            }
            out += pad(std::move(text), spec, true);
            break;
        }
        case 'p': {
            const Arg* a = takeArg();
            const void* p = nullptr;
            if (a != nullptr && a->type == Arg::Type::Pointer) {
                p = a->pointer;
            } else if (a != nullptr && a->type == Arg::Type::Value && a->value != nullptr) {
                p = a->value->object().get();
            }
            out += pad(cformat("%p", p), spec, false);
            break;
        }
        case 'n':
            takeArg();  // never written through
            break;
        default:
            // Not a conversion: keep the text as it stands.
            out += '%';
            out += spec.conversion;
            break;
        }
    }
    return out;
}

}  // namespace NSStringFormat

// ---- Character sets ---------------------------------------------------------------------------------

#define NSCHARSET_FACTORY(name, k)           \
    NSCharacterSet NSCharacterSet::name()    \
    {                                        \
        NSCharacterSet set;                  \
        set.kind_ = Kind::k;                 \
        return set;                          \
    }
NSCHARSET_FACTORY(whitespaceCharacterSet, Whitespace)
NSCHARSET_FACTORY(whitespaceAndNewlineCharacterSet, WhitespaceNewline)
NSCHARSET_FACTORY(newlineCharacterSet, Newline)
NSCHARSET_FACTORY(decimalDigitCharacterSet, Digit)
NSCHARSET_FACTORY(letterCharacterSet, Letter)
NSCHARSET_FACTORY(alphanumericCharacterSet, Alnum)
NSCHARSET_FACTORY(punctuationCharacterSet, Punct)
NSCHARSET_FACTORY(uppercaseLetterCharacterSet, Upper)
NSCHARSET_FACTORY(lowercaseLetterCharacterSet, Lower)
#undef NSCHARSET_FACTORY

NSCharacterSet NSCharacterSet::characterSetWithCharactersInString(std::string_view characters)
{
    NSCharacterSet set;
    set.kind_ = Kind::Listed;
    set.listed_ = NSString::toUTF32(characters);
    return set;
}

NSCharacterSet NSCharacterSet::characterSetWithRange(NSRange range)
{
    NSCharacterSet set;
    set.kind_ = Kind::Range;
    set.low_ = static_cast<char32_t>(range.location);
    set.high_ = static_cast<char32_t>(range.location + range.length);
    return set;
}

NSCharacterSet NSCharacterSet::invertedSet() const
{
    NSCharacterSet set = *this;
    set.inverted_ = !inverted_;
    return set;
}

bool NSCharacterSet::characterIsMember(char32_t c) const
{
    const auto cp = static_cast<UChar32>(c);
    const int8_t type = u_charType(cp);
    const auto mask = U_MASK(type);
    bool member = false;
    switch (kind_) {
    case Kind::Listed: member = listed_.find(c) != std::u32string::npos; break;
    case Kind::Range: member = c >= low_ && c < high_; break;
    case Kind::Whitespace: member = c == '\t' || type == U_SPACE_SEPARATOR; break;
    case Kind::WhitespaceNewline:
        member = (c >= 0x09 && c <= 0x0D) || c == 0x85 || (mask & (U_GC_ZS_MASK | U_GC_ZL_MASK | U_GC_ZP_MASK)) != 0;
        break;
    case Kind::Newline: member = (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; break;
    case Kind::Digit: member = type == U_DECIMAL_DIGIT_NUMBER; break;
    case Kind::Letter: member = (mask & (U_GC_L_MASK | U_GC_M_MASK)) != 0; break;
    case Kind::Alnum: member = (mask & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0; break;
    case Kind::Punct: member = (mask & U_GC_P_MASK) != 0; break;
    case Kind::Upper: member = type == U_UPPERCASE_LETTER || type == U_TITLECASE_LETTER; break;
    case Kind::Lower: member = type == U_LOWERCASE_LETTER; break;
    }
    return member != inverted_;
}

// ---- NSString ---------------------------------------------------------------------------------------

namespace NSString {

NSUInteger length(std::string_view s)
{
    NSUInteger units = 0;
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {  // fast path for ASCII
            ++units;
            ++i;
            continue;
        }
        size_t n = 0;
        units += unitsOf(decodeAt(s, i, &n));
        i += n;
    }
    return units;
}

std::u32string toUTF32(std::string_view s)
{
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        size_t n = 0;
        out += decodeAt(s, i, &n);
        i += n;
    }
    return out;
}

std::string fromUTF32(std::u32string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char32_t cp : s) {
        appendUTF8(out, cp);
    }
    return out;
}

std::u16string toUTF16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        size_t n = 0;
        const char32_t cp = decodeAt(s, i, &n);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return out;
}

std::string fromUTF16(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            appendUTF8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUTF8(out, u);  // a lone surrogate becomes U+FFFD
        }
    }
    return out;
}

unichar characterAtIndex(std::string_view s, NSUInteger index)
{
    NSUInteger units = 0;
    size_t i = 0;
    while (i < s.size()) {
        size_t n = 0;
        const char32_t cp = decodeAt(s, i, &n);
        if (cp >= 0x10000) {
            if (index == units) {
                return static_cast<unichar>(0xD800 + ((cp - 0x10000) >> 10));
            }
            if (index == units + 1) {
                return static_cast<unichar>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
            units += 2;
        } else {
            if (index == units) {
                return static_cast<unichar>(cp);
            }
            ++units;
        }
        i += n;
    }
    NSException::raise(NSRangeException, stringWithFormat("-[__NSCFString characterAtIndex:]: Range or index out of bounds (index %lu, length %lu)", index, units));
}

size_t byteOffsetOfIndex(std::string_view s, NSUInteger index)
{
    return offsetOf(s, index, false);
}

NSUInteger indexOfByteOffset(std::string_view s, size_t offset)
{
    return length(s.substr(0, std::min(offset, s.size())));
}

std::string substringWithRange(std::string_view s, NSRange range)
{
    const size_t start = offsetOf(s, range.location, false);
    const NSUInteger endIndex = range.length > NSNotFound - range.location ? NSNotFound : range.location + range.length;
    const size_t end = offsetOf(s, endIndex, true);
    return std::string(s.substr(start, end > start ? end - start : 0));
}

std::string substringToIndex(std::string_view s, NSUInteger index)
{
    return std::string(s.substr(0, offsetOf(s, index, true)));
}

std::string substringFromIndex(std::string_view s, NSUInteger index)
{
    return std::string(s.substr(offsetOf(s, index, false)));
}

namespace {

// A text as code points, each with its UTF-16 index, for searches that fold case.
struct Indexed {
    std::u32string cps;
    std::vector<NSUInteger> index;  // UTF-16 index of each code point, plus the total at the end
};

Indexed indexed(std::string_view s, bool fold)
{
    Indexed r;
    NSUInteger units = 0;
    size_t i = 0;
    while (i < s.size()) {
        size_t n = 0;
        char32_t cp = decodeAt(s, i, &n);
        r.index.push_back(units);
        units += unitsOf(cp);
        if (fold) {
            cp = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT));
        }
        r.cps += cp;
        i += n;
    }
    r.index.push_back(units);
    return r;
}

}  // namespace

NSRange rangeOfString(std::string_view s, std::string_view needle, NSUInteger options)
{
    const NSRange notFound{NSNotFound, 0};
    if (needle.empty() || s.empty()) {
        return notFound;
    }
    const bool backwards = (options & NSBackwardsSearch) != 0;
    const bool anchored = (options & NSAnchoredSearch) != 0;
    if ((options & NSCaseInsensitiveSearch) == 0) {
        size_t at = std::string_view::npos;
        if (anchored) {
            if (backwards ? hasSuffix(s, needle) : hasPrefix(s, needle)) {
                at = backwards ? s.size() - needle.size() : 0;
            }
        } else {
            at = backwards ? s.rfind(needle) : s.find(needle);
        }
        if (at == std::string_view::npos) {
            return notFound;
        }
        const NSUInteger location = length(s.substr(0, at));
        return NSRange{location, length(needle)};
    }
    const Indexed hay = indexed(s, true);
    const Indexed pin = indexed(needle, true);
    const size_t n = hay.cps.size();
    const size_t m = pin.cps.size();
    if (m > n) {
        return notFound;
    }
    auto matchAt = [&](size_t k) { return hay.cps.compare(k, m, pin.cps) == 0; };
    auto found = [&](size_t k) { return NSRange{hay.index[k], hay.index[k + m] - hay.index[k]}; };
    if (anchored) {
        const size_t k = backwards ? n - m : 0;
        return matchAt(k) ? found(k) : notFound;
    }
    if (backwards) {
        for (size_t k = n - m + 1; k-- > 0;) {
            if (matchAt(k)) {
                return found(k);
            }
        }
    } else {
        for (size_t k = 0; k + m <= n; ++k) {
            if (matchAt(k)) {
                return found(k);
            }
        }
    }
    return notFound;
}

NSRange rangeOfCharacterFromSet(std::string_view s, const NSCharacterSet& set, NSUInteger options)
{
    const Indexed text = indexed(s, false);
    const size_t n = text.cps.size();
    const bool backwards = (options & NSBackwardsSearch) != 0;
    for (size_t step = 0; step < n; ++step) {
        const size_t k = backwards ? n - 1 - step : step;
        if (set.characterIsMember(text.cps[k])) {
            return NSRange{text.index[k], text.index[k + 1] - text.index[k]};
        }
        if ((options & NSAnchoredSearch) != 0) {
            break;
        }
    }
    return NSRange{NSNotFound, 0};
}

bool containsString(std::string_view s, std::string_view needle)
{
    return !needle.empty() && s.find(needle) != std::string_view::npos;
}

bool hasPrefix(std::string_view s, std::string_view prefix)
{
    return !prefix.empty() && s.substr(0, prefix.size()) == prefix;
}

bool hasSuffix(std::string_view s, std::string_view suffix)
{
    return !suffix.empty() && s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool isEqualToString(std::string_view a, std::string_view b)
{
    return a == b;
}

namespace {

std::u16string foldedUTF16(std::string_view s)
{
    std::u32string cps = toUTF32(s);
    for (auto& cp : cps) {
        cp = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT));
    }
    return toUTF16(fromUTF32(cps));
}

NSComparisonResult order(int c)
{
    return c < 0 ? NSOrderedAscending : (c > 0 ? NSOrderedDescending : NSOrderedSame);
}

bool isDigit16(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

}  // namespace

NSComparisonResult compare(std::string_view a, std::string_view b, NSUInteger options)
{
    const bool fold = (options & NSCaseInsensitiveSearch) != 0;
    const std::u16string x = fold ? foldedUTF16(a) : toUTF16(a);
    const std::u16string y = fold ? foldedUTF16(b) : toUTF16(b);
    if ((options & NSNumericSearch) == 0) {
        return order(x.compare(y));
    }
    size_t i = 0;
    size_t j = 0;
    while (i < x.size() && j < y.size()) {
        if (isDigit16(x[i]) && isDigit16(y[j])) {
            size_t ei = i;
            size_t ej = j;
            while (ei < x.size() && isDigit16(x[ei])) {
                ++ei;
            }
            while (ej < y.size() && isDigit16(y[ej])) {
                ++ej;
            }
            // Compare the digit runs by value: strip leading zeros, then longer is larger.
            size_t si = i;
            size_t sj = j;
            while (si + 1 < ei && x[si] == u'0') {
                ++si;
            }
            while (sj + 1 < ej && y[sj] == u'0') {
                ++sj;
            }
            if (ei - si != ej - sj) {
                return ei - si < ej - sj ? NSOrderedAscending : NSOrderedDescending;
            }
            const int c = x.compare(si, ei - si, y, sj, ej - sj);
            if (c != 0) {
                return order(c);
            }
            i = ei;
            j = ej;
            continue;
        }
        if (x[i] != y[j]) {
            return x[i] < y[j] ? NSOrderedAscending : NSOrderedDescending;
        }
        ++i;
        ++j;
    }
    if (i < x.size()) {
        return NSOrderedDescending;
    }
    if (j < y.size()) {
        return NSOrderedAscending;
    }
    return NSOrderedSame;
}

NSComparisonResult caseInsensitiveCompare(std::string_view a, std::string_view b)
{
    return compare(a, b, NSCaseInsensitiveSearch);
}

std::string lowercaseString(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        size_t n = 0;
        appendUTF8(out, static_cast<char32_t>(u_tolower(static_cast<UChar32>(decodeAt(s, i, &n)))));
        i += n;
    }
    return out;
}

std::string asciiLowercaseString(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool asciiEqualIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string_view trimSpacesAndTabs(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string uppercaseString(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        size_t n = 0;
        appendUTF8(out, static_cast<char32_t>(u_toupper(static_cast<UChar32>(decodeAt(s, i, &n)))));
        i += n;
    }
    return out;
}

std::string capitalizedString(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    bool wordStart = true;
    size_t i = 0;
    while (i < s.size()) {
        size_t n = 0;
        const auto cp = static_cast<UChar32>(decodeAt(s, i, &n));
        const bool space = u_isUWhiteSpace(cp) != 0;
        appendUTF8(out, static_cast<char32_t>(space ? cp : (wordStart ? u_totitle(cp) : u_tolower(cp))));
        wordStart = space;
        i += n;
    }
    return out;
}

std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator)
{
    std::vector<std::string> parts;
    if (separator.empty()) {
        parts.emplace_back(s);
        return parts;
    }
    size_t start = 0;
    while (true) {
        const size_t at = s.find(separator, start);
        if (at == std::string_view::npos) {
            parts.emplace_back(s.substr(start));
            return parts;
        }
        parts.emplace_back(s.substr(start, at - start));
        start = at + separator.size();
    }
}

std::vector<std::string> componentsSeparatedByCharactersInSet(std::string_view s, const NSCharacterSet& set)
{
    std::vector<std::string> parts(1);
    size_t i = 0;
    while (i < s.size()) {
        size_t n = 0;
        const char32_t cp = decodeAt(s, i, &n);
        if (set.characterIsMember(cp)) {
            parts.emplace_back();
        } else {
            parts.back().append(s.substr(i, n));
        }
        i += n;
    }
    return parts;
}

std::string componentsJoinedByString(const std::vector<std::string>& parts, std::string_view separator)
{
    std::string out;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k > 0) {
            out += separator;
        }
        out += parts[k];
    }
    return out;
}

std::string stringByTrimmingCharactersInSet(std::string_view s, const NSCharacterSet& set)
{
    size_t start = 0;
    while (start < s.size()) {
        size_t n = 0;
        if (!set.characterIsMember(decodeAt(s, start, &n))) {
            break;
        }
        start += n;
    }
    // Walk forward, remembering the end of the last character outside the set.
    size_t end = start;
    size_t i = start;
    while (i < s.size()) {
        size_t n = 0;
        const char32_t cp = decodeAt(s, i, &n);
        i += n;
        if (!set.characterIsMember(cp)) {
            end = i;
        }
    }
    return std::string(s.substr(start, end - start));
}

std::string stringByReplacingOccurrencesOfString_withString(std::string_view s, std::string_view target,
                                                            std::string_view replacement)
{
    if (target.empty()) {
        return std::string(s);
    }
    std::string out;
    size_t start = 0;
    while (true) {
        const size_t at = s.find(target, start);
        if (at == std::string_view::npos) {
            out.append(s.substr(start));
            return out;
        }
        out.append(s.substr(start, at - start));
        out.append(replacement);
        start = at + target.size();
    }
}

std::string stringByReplacingCharactersInRange_withString(std::string_view s, NSRange range,
                                                          std::string_view replacement)
{
    if (range.location > length(s) || range.length > length(s) - range.location) {
        NSException::raise(NSRangeException, stringWithFormat("-[__NSCFString replaceCharactersInRange:withString:]: Range {%lu, %lu} out of bounds; string length %lu",
                                                              range.location, range.length, length(s)));
    }
    const size_t start = offsetOf(s, range.location, false);
    const size_t end = offsetOf(s, range.location + range.length, true);
    std::string out(s.substr(0, start));
    out += replacement;
    out += s.substr(end);
    return out;
}

std::string stringByAppendingString(std::string_view s, std::string_view tail)
{
    std::string out(s);
    out += tail;
    return out;
}

std::string stringByPaddingToLength(std::string_view s, NSUInteger newLength, std::string_view pad,
                                    NSUInteger startingAtIndex)
{
    const NSUInteger have = length(s);
    if (newLength <= have) {
        return substringToIndex(s, newLength);
    }
    const std::u16string p = toUTF16(pad);
    if (p.empty()) {
        return std::string(s);
    }
    std::u16string extra;
    for (NSUInteger k = 0; k < newLength - have; ++k) {
        extra += p[(startingAtIndex + k) % p.size()];
    }
    return std::string(s) + fromUTF16(extra);
}

int intValue(std::string_view s)
{
    return Value(s).intValue();
}

NSInteger integerValue(std::string_view s)
{
    return Value(s).integerValue();
}

long long longLongValue(std::string_view s)
{
    return Value(s).longLongValue();
}

float floatValue(std::string_view s)
{
    return Value(s).floatValue();
}

double doubleValue(std::string_view s)
{
    return Value(s).doubleValue();
}

bool boolValue(std::string_view s)
{
    return Value(s).boolValue();
}

// ---- Paths ------------------------------------------------------------------------------------------

namespace {
std::string_view withoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}
}  // namespace

std::string lastPathComponent(std::string_view path)
{
    path = withoutTrailingSlashes(path);
    if (path == "/") {
        return "/";
    }
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string stringByDeletingLastPathComponent(std::string_view path)
{
    path = withoutTrailingSlashes(path);
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return std::string();
    }
    if (slash == 0) {
        return "/";
    }
    return std::string(withoutTrailingSlashes(path.substr(0, slash)));
}

std::string stringByAppendingPathComponent(std::string_view path, std::string_view component)
{
    std::string out(withoutTrailingSlashes(path));
    while (!component.empty() && component.front() == '/') {
        component.remove_prefix(1);
    }
    if (component.empty()) {
        return out;
    }
    if (!out.empty() && out.back() != '/') {
        out += '/';
    }
    out += withoutTrailingSlashes(component);
    return out;
}

std::string pathExtension(std::string_view path)
{
    const std::string last = lastPathComponent(path);
    const size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return std::string();
    }
    return last.substr(dot + 1);
}

std::string stringByDeletingPathExtension(std::string_view path)
{
    path = withoutTrailingSlashes(path);
    const std::string ext = pathExtension(path);
    if (ext.empty()) {
        return std::string(path);
    }
    return std::string(path.substr(0, path.size() - ext.size() - 1));
}

std::string stringByAppendingPathExtension(std::string_view path, std::string_view extension)
{
    std::string out(withoutTrailingSlashes(path));
    out += '.';
    out += extension;
    return out;
}

std::vector<std::string> pathComponents(std::string_view path)
{
    std::vector<std::string> parts;
    if (!path.empty() && path.front() == '/') {
        parts.emplace_back("/");
    }
    for (auto& part : componentsSeparatedByString(path, "/")) {
        if (!part.empty()) {
            parts.push_back(std::move(part));
        }
    }
    return parts;
}

// ---- Encodings and files ----------------------------------------------------------------------------

NSUInteger gb18030Length(std::string_view s)
{
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return 0;
    }
    NSUInteger total = 0;
    char buffer[256];
    size_t i = 0;
    // Character by character, so that one unconvertible character costs only itself.
    while (i < s.size()) {
        size_t n = 0;
        decodeAt(s, i, &n);
        char* in = const_cast<char*>(s.data() + i);
        size_t inLeft = n;
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) {
            total += sizeof buffer - outLeft;
        } else {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        i += n;
    }
    iconv_close(cd);
    return total;
}

std::optional<std::string> stringWithContentsOfFile(const std::string& path)
{
    auto data = NSData::dataWithContentsOfFile(path);
    if (!data) {
        return std::nullopt;
    }
    std::string text = data->string();
    size_t i = 0;
    while (i < text.size()) {
        size_t n = 0;
        if (decodeAt(text, i, &n) == kReplacement && !(n == 3 && text.compare(i, 3, "\xEF\xBF\xBD") == 0)) {
            return std::nullopt;
        }
        i += n;
    }
    return text;
}

bool writeToFile_atomically(std::string_view s, const std::string& path, bool atomically)
{
    return NSData::dataWithString(s).writeToFile_atomically(path, atomically);
}

}  // namespace NSString

// ---- Percent escapes --------------------------------------------------------------------------------

namespace PercentEscapes {

namespace {
const char kHex[] = "0123456789ABCDEF";

bool isIllegalInURL(unsigned char c)
{
    return c <= 0x20 || c >= 0x7F || std::strchr("\"%<>\\^`{|}", c) != nullptr;
}

void escapeByte(std::string& out, unsigned char c)
{
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}
}  // namespace

std::string addPercentEscapes(std::string_view s, std::string_view legalToEscape, std::string_view leaveUnescaped)
{
    std::string out;
    out.reserve(s.size() * 3 / 2);
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        const bool escape = (isIllegalInURL(c) || (c != 0 && legalToEscape.find(ch) != std::string_view::npos)) &&
                            !(c != 0 && leaveUnescaped.find(ch) != std::string_view::npos && c < 0x80);
        if (escape) {
            escapeByte(out, c);
        } else {
            out += ch;
        }
    }
    return out;
}

std::string escapeAllExcept(std::string_view s, std::string_view keep)
{
    std::string out;
    out.reserve(s.size() * 3 / 2);
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           (c != 0 && c < 0x80 && keep.find(ch) != std::string_view::npos);
        if (plain) {
            out += ch;
        } else {
            escapeByte(out, c);
        }
    }
    return out;
}

std::optional<std::string> replacePercentEscapes(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) {
            return std::nullopt;
        }
        const int hi = hexValue(s[i + 1]);
        const int lo = hexValue(s[i + 2]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    size_t i = 0;
    while (i < out.size()) {
        size_t n = 0;
        if (decodeAt(out, i, &n) == kReplacement && !(n == 3 && out.compare(i, 3, "\xEF\xBF\xBD") == 0)) {
            return std::nullopt;
        }
        i += n;
    }
    return out;
}

std::string decodeLenient(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = hexValue(s[i + 1]);
            const int lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

}  // namespace PercentEscapes
