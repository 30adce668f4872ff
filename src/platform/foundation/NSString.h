#pragma once
// Strings: UTF-8 std::string, with the platform's NSString operations as free functions in namespace
// NSString taking the text first (NSString::length(s) for -[s length]).
//
// Counting. Where the platform counts characters (length, ranges, indices) it counts UTF-16 units:
// an ASCII letter or a Chinese character is 1, an emoji outside the basic plane is 2. Every length,
// index and NSRange here is in UTF-16 units of the UTF-8 text. Bytes that are not UTF-8 count as one
// unit each (read as U+FFFD).
//
// Formats. stringWithFormat takes printf-style formats as the platform does, so formats are copied
// verbatim: "%@" (a Value, text, object or nil: "(null)"), "%d" "%i" "%u" "%x" "%X" "%o" "%c" with the
// length modifiers h hh l ll q z t j, "%f" "%e" "%g" (and upper case), "%s" (C text, "(null)" for a
// null pointer), "%p", "%%", flags "-+ 0#", width and precision (numbers or "*"), and positional
// arguments "%1$@". Any argument works with any integer or floating conversion (a Value gives its
// integer or double reading), so a 64-bit argument under "%d" prints its whole value. A conversion
// without an argument prints as nil or 0.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/Value.h"

using unichar = char16_t;

// ---- Formatting -------------------------------------------------------------------------------------

namespace NSStringFormat {

// One argument of a format, keeping its C++ type's width and signedness.
struct Arg {
    enum class Type { None, Int32, Int64, UInt32, UInt64, Double, CString, Text, Value, Pointer };
    Type type = Type::None;
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;
    const char* cstr = nullptr;
    std::string_view text;
    const ::Value* value = nullptr;
    const void* pointer = nullptr;

    Arg() = default;
    Arg(bool b) : type(Type::Int32), i(b ? 1 : 0) {}
    Arg(char c) : type(Type::Int32), i(c) {}
    Arg(signed char c) : type(Type::Int32), i(c) {}
    Arg(unsigned char c) : type(Type::UInt32), u(c) {}
    Arg(short v) : type(Type::Int32), i(v) {}
    Arg(unsigned short v) : type(Type::UInt32), u(v) {}
    Arg(char16_t v) : type(Type::UInt32), u(v) {}
    Arg(char32_t v) : type(Type::UInt32), u(v) {}
    Arg(int v) : type(Type::Int32), i(v) {}
    Arg(unsigned v) : type(Type::UInt32), u(v) {}
    Arg(long v) : type(Type::Int64), i(v) {}
    Arg(unsigned long v) : type(Type::UInt64), u(v) {}
    Arg(long long v) : type(Type::Int64), i(v) {}
    Arg(unsigned long long v) : type(Type::UInt64), u(v) {}
    Arg(float v) : type(Type::Double), d(v) {}
    Arg(double v) : type(Type::Double), d(v) {}
    Arg(long double v) : type(Type::Double), d(static_cast<double>(v)) {}
    Arg(const char* s) : type(Type::CString), cstr(s) {}
    Arg(char* s) : type(Type::CString), cstr(s) {}
    Arg(const std::string& s) : type(Type::Text), text(s) {}
    Arg(std::string_view s) : type(Type::Text), text(s) {}
    // Only a Value itself: anything merely convertible to one is converted by adapt(), whose temporary
    // outlives the formatting call.
    template <class V>
        requires std::is_same_v<V, ::Value>
    Arg(const V& v) : type(Type::Value), value(&v)
    {
    }
    Arg(std::nullptr_t) : type(Type::Value), value(nullptr) {}
    Arg(const void* p) : type(Type::Pointer), pointer(p) {}
};

std::string format(std::string_view format, const Arg* args, size_t count);

// Arguments that are not directly an Arg (objects, data, dates, enums) become a Value first.
template <class T>
decltype(auto) adapt(const T& value)
{
    if constexpr (std::is_enum_v<T>) {
        return static_cast<std::underlying_type_t<T>>(value);
    } else if constexpr (std::is_constructible_v<Arg, const T&>) {
        return (value);
    } else {
        return ::Value(value);
    }
}

template <class... A>
std::string formatArgs(std::string_view format, const A&... args)
{
    const Arg list[] = {Arg(args)...};
    return NSStringFormat::format(format, list, sizeof...(A));
}

}  // namespace NSStringFormat

// +[NSString stringWithFormat:]
template <class... Args>
std::string stringWithFormat(std::string_view format, const Args&... args)
{
    if constexpr (sizeof...(Args) == 0) {
        return NSStringFormat::format(format, nullptr, 0);
    } else {
        // Values made by adapt() are temporaries of this full expression, so they outlive formatArgs.
        return NSStringFormat::formatArgs(format, NSStringFormat::adapt(args)...);
    }
}

// ---- Character sets ---------------------------------------------------------------------------------

// A set of Unicode code points (NSCharacterSet): the platform's predefined sets, sets of given
// characters, and their inverses.
class NSCharacterSet {
public:
    static NSCharacterSet whitespaceCharacterSet();            // space, tab, and other Zs
    static NSCharacterSet whitespaceAndNewlineCharacterSet();  // plus LF, CR, VT, FF, NEL, U+2028/9
    static NSCharacterSet newlineCharacterSet();
    static NSCharacterSet decimalDigitCharacterSet();
    static NSCharacterSet letterCharacterSet();
    static NSCharacterSet alphanumericCharacterSet();
    static NSCharacterSet punctuationCharacterSet();
    static NSCharacterSet uppercaseLetterCharacterSet();
    static NSCharacterSet lowercaseLetterCharacterSet();
    static NSCharacterSet characterSetWithCharactersInString(std::string_view characters);
    static NSCharacterSet characterSetWithRange(NSRange range);  // code points location..location+length-1

    NSCharacterSet invertedSet() const;
    bool characterIsMember(char32_t c) const;
    bool longCharacterIsMember(char32_t c) const { return characterIsMember(c); }

private:
    enum class Kind { Listed, Range, Whitespace, WhitespaceNewline, Newline, Digit, Letter, Alnum, Punct, Upper, Lower };
    Kind kind_ = Kind::Listed;
    bool inverted_ = false;
    std::u32string listed_;
    char32_t low_ = 0, high_ = 0;
};

// ---- NSString operations ----------------------------------------------------------------------------

namespace NSString {

enum CompareOptions : NSUInteger {
    NSCaseInsensitiveSearch = 1,
    NSLiteralSearch = 2,
    NSBackwardsSearch = 4,
    NSAnchoredSearch = 8,
    NSNumericSearch = 64,
};

// Lengths and UTF-16 views.
NSUInteger length(std::string_view s);
std::u16string toUTF16(std::string_view s);
std::string fromUTF16(std::u16string_view s);  // lone surrogates become U+FFFD
std::u32string toUTF32(std::string_view s);    // invalid bytes become U+FFFD
std::string fromUTF32(std::u32string_view s);
// The UTF-16 unit at an index; NSRangeException past the end.
unichar characterAtIndex(std::string_view s, NSUInteger index);
// The text of a UTF-16 range (clamped to the text). A range edge inside a surrogate pair takes the
// whole character, so the result is always valid UTF-8.
std::string substringWithRange(std::string_view s, NSRange range);
std::string substringToIndex(std::string_view s, NSUInteger index);
std::string substringFromIndex(std::string_view s, NSUInteger index);
// UTF-16 index <-> byte offset in the UTF-8 text (clamped to the text).
size_t byteOffsetOfIndex(std::string_view s, NSUInteger index);
NSUInteger indexOfByteOffset(std::string_view s, size_t offset);

// Searching and comparing. An empty needle is never found ({NSNotFound, 0}).
NSRange rangeOfString(std::string_view s, std::string_view needle, NSUInteger options = 0);
NSRange rangeOfCharacterFromSet(std::string_view s, const NSCharacterSet& set, NSUInteger options = 0);
bool containsString(std::string_view s, std::string_view needle);
bool hasPrefix(std::string_view s, std::string_view prefix);
bool hasSuffix(std::string_view s, std::string_view suffix);
bool isEqualToString(std::string_view a, std::string_view b);
// By UTF-16 units, as the platform compares; NSCaseInsensitiveSearch folds case (full Unicode simple
// case folding of the usual scripts), NSNumericSearch compares digit runs by value.
NSComparisonResult compare(std::string_view a, std::string_view b, NSUInteger options = 0);
NSComparisonResult caseInsensitiveCompare(std::string_view a, std::string_view b);
std::string lowercaseString(std::string_view s);
// Only A-Z folded: for protocol tokens (header names, schemes, hosts), where other bytes must stay as they are.
std::string asciiLowercaseString(std::string_view s);
bool asciiEqualIgnoringCase(std::string_view a, std::string_view b);
// Spaces and tabs off both ends: header values, cookie attributes.
std::string_view trimSpacesAndTabs(std::string_view s);
std::string uppercaseString(std::string_view s);
std::string capitalizedString(std::string_view s);

// Splitting, joining, trimming, replacing.
std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator);
std::vector<std::string> componentsSeparatedByCharactersInSet(std::string_view s, const NSCharacterSet& set);
std::string componentsJoinedByString(const std::vector<std::string>& parts, std::string_view separator);
std::string stringByTrimmingCharactersInSet(std::string_view s, const NSCharacterSet& set);
std::string stringByReplacingOccurrencesOfString_withString(std::string_view s, std::string_view target,
                                                            std::string_view replacement);
std::string stringByReplacingCharactersInRange_withString(std::string_view s, NSRange range,
                                                          std::string_view replacement);
std::string stringByAppendingString(std::string_view s, std::string_view tail);
std::string stringByPaddingToLength(std::string_view s, NSUInteger newLength, std::string_view pad,
                                    NSUInteger startingAtIndex = 0);

// Number readings of a text, as Value's conversions: "12abc" is 12, "abc" is 0.
int intValue(std::string_view s);
NSInteger integerValue(std::string_view s);
long long longLongValue(std::string_view s);
float floatValue(std::string_view s);
double doubleValue(std::string_view s);
bool boolValue(std::string_view s);

// Paths.
std::string lastPathComponent(std::string_view path);
std::string stringByDeletingLastPathComponent(std::string_view path);
std::string stringByAppendingPathComponent(std::string_view path, std::string_view component);
std::string pathExtension(std::string_view path);
std::string stringByDeletingPathExtension(std::string_view path);
std::string stringByAppendingPathExtension(std::string_view path, std::string_view extension);
std::vector<std::string> pathComponents(std::string_view path);

// Byte length of the text in GB 18030 (2 per Chinese character, 1 per ASCII character, 4 for
// characters outside the two-byte range); characters that cannot be converted count 0.
NSUInteger gb18030Length(std::string_view s);

// Files.
std::optional<std::string> stringWithContentsOfFile(const std::string& path);  // nullopt: unreadable or not UTF-8
bool writeToFile_atomically(std::string_view s, const std::string& path, bool atomically);

}  // namespace NSString

// ---- Percent escapes --------------------------------------------------------------------------------

namespace PercentEscapes {

// Escapes every byte that is not legal in a URL (controls, space, '"', '%', '<', '>', '\\', '^', '`',
// '{', '|', '}', DEL and every non-ASCII byte of the UTF-8 text), plus each character of
// `legalToEscape`, except the characters of `leaveUnescaped`. Escapes are upper-case "%XX".
// (CFURLCreateStringByAddingPercentEscapes with UTF-8.)
std::string addPercentEscapes(std::string_view s, std::string_view legalToEscape = {},
                              std::string_view leaveUnescaped = {});
// -[NSString stringByAddingPercentEscapesUsingEncoding:NSUTF8StringEncoding]: the illegal set only.
inline std::string stringByAddingPercentEscapesUsingEncoding(std::string_view s) { return addPercentEscapes(s); }
// Every byte escaped except ASCII letters, digits and the characters of `keep`.
std::string escapeAllExcept(std::string_view s, std::string_view keep);
// Decodes "%XX" escapes (either case). nullopt when an escape is malformed or the result is not UTF-8
// (-[NSString stringByReplacingPercentEscapesUsingEncoding:NSUTF8StringEncoding] returns nil then).
std::optional<std::string> replacePercentEscapes(std::string_view s);
// The same, but decodes to any bytes and leaves malformed escapes as they stand.
std::string decodeLenient(std::string_view s);

}  // namespace PercentEscapes
