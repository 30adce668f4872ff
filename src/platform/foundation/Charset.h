#pragma once
// Text encodings: the platform's encoding numbers, IANA charset names, conversions and a strict UTF-8
// decoder. Texts are UTF-8 std::string; encoded bytes are std::string too (any bytes).
//
//   NSStringEncoding constants (NSUTF8StringEncoding 4, NSISOLatin1StringEncoding 5, ...)
//   CFStringConvertIANACharSetNameToEncoding(name)      kCFStringEncodingInvalidId when unknown
//   CFStringConvertEncodingToIANACharSetName(encoding)  "" when unknown ("utf-8" for UTF-8)
//   CFStringConvertEncodingToNSStringEncoding / CFStringConvertNSStringEncodingToEncoding
//   -[NSString initWithData:encoding:]                  Charset::decode(bytes, encoding)  (nil when invalid)
//   -[NSString dataUsingEncoding:[allowLossyConversion:]] Charset::encode(text, encoding[, lossy])
//
// Conversions other than UTF-8, ASCII and ISO Latin-1 go through iconv. A decode is strict: bytes that
// are not valid in the encoding give nil (std::nullopt), never replacement characters.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using NSStringEncoding = uint32_t;
using CFStringEncoding = uint32_t;

inline constexpr NSStringEncoding NSASCIIStringEncoding = 1;
inline constexpr NSStringEncoding NSJapaneseEUCStringEncoding = 3;
inline constexpr NSStringEncoding NSUTF8StringEncoding = 4;
inline constexpr NSStringEncoding NSISOLatin1StringEncoding = 5;
inline constexpr NSStringEncoding NSShiftJISStringEncoding = 8;
inline constexpr NSStringEncoding NSISOLatin2StringEncoding = 9;
inline constexpr NSStringEncoding NSUnicodeStringEncoding = 10;
inline constexpr NSStringEncoding NSUTF16StringEncoding = NSUnicodeStringEncoding;
inline constexpr NSStringEncoding NSWindowsCP1251StringEncoding = 11;
inline constexpr NSStringEncoding NSWindowsCP1252StringEncoding = 12;
inline constexpr NSStringEncoding NSWindowsCP1253StringEncoding = 13;
inline constexpr NSStringEncoding NSWindowsCP1254StringEncoding = 14;
inline constexpr NSStringEncoding NSWindowsCP1250StringEncoding = 15;
inline constexpr NSStringEncoding NSISO2022JPStringEncoding = 21;
inline constexpr NSStringEncoding NSMacOSRomanStringEncoding = 30;
inline constexpr NSStringEncoding NSUTF16BigEndianStringEncoding = 0x90000100;
inline constexpr NSStringEncoding NSUTF16LittleEndianStringEncoding = 0x94000100;
inline constexpr NSStringEncoding NSUTF32StringEncoding = 0x8c000100;
inline constexpr NSStringEncoding NSUTF32BigEndianStringEncoding = 0x98000100;
inline constexpr NSStringEncoding NSUTF32LittleEndianStringEncoding = 0x9c000100;

inline constexpr CFStringEncoding kCFStringEncodingInvalidId = 0xffffffffU;
inline constexpr CFStringEncoding kCFStringEncodingMacRoman = 0;
inline constexpr CFStringEncoding kCFStringEncodingUnicode = 0x0100;
inline constexpr CFStringEncoding kCFStringEncodingUTF16 = 0x0100;
inline constexpr CFStringEncoding kCFStringEncodingISOLatin1 = 0x0201;
inline constexpr CFStringEncoding kCFStringEncodingISOLatin2 = 0x0202;
inline constexpr CFStringEncoding kCFStringEncodingISOLatin9 = 0x020F;
inline constexpr CFStringEncoding kCFStringEncodingDOSJapanese = 0x0421;
inline constexpr CFStringEncoding kCFStringEncodingWindowsLatin1 = 0x0500;
inline constexpr CFStringEncoding kCFStringEncodingWindowsLatin2 = 0x0501;
inline constexpr CFStringEncoding kCFStringEncodingWindowsCyrillic = 0x0502;
inline constexpr CFStringEncoding kCFStringEncodingWindowsGreek = 0x0503;
inline constexpr CFStringEncoding kCFStringEncodingWindowsLatin5 = 0x0504;
inline constexpr CFStringEncoding kCFStringEncodingASCII = 0x0600;
inline constexpr CFStringEncoding kCFStringEncodingGB_2312_80 = 0x0630;
inline constexpr CFStringEncoding kCFStringEncodingGBK_95 = 0x0631;
inline constexpr CFStringEncoding kCFStringEncodingGB_18030_2000 = 0x0632;
inline constexpr CFStringEncoding kCFStringEncodingISO_2022_JP = 0x0820;
inline constexpr CFStringEncoding kCFStringEncodingEUC_JP = 0x0920;
inline constexpr CFStringEncoding kCFStringEncodingEUC_CN = 0x0930;
inline constexpr CFStringEncoding kCFStringEncodingEUC_KR = 0x0940;
inline constexpr CFStringEncoding kCFStringEncodingShiftJIS = 0x0A01;
inline constexpr CFStringEncoding kCFStringEncodingKOI8_R = 0x0A02;
inline constexpr CFStringEncoding kCFStringEncodingBig5 = 0x0A03;
inline constexpr CFStringEncoding kCFStringEncodingBig5_HKSCS_1999 = 0x0A06;
inline constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;
inline constexpr CFStringEncoding kCFStringEncodingUTF16BE = 0x10000100;
inline constexpr CFStringEncoding kCFStringEncodingUTF16LE = 0x14000100;
inline constexpr CFStringEncoding kCFStringEncodingUTF32 = 0x0c000100;
inline constexpr CFStringEncoding kCFStringEncodingUTF32BE = 0x18000100;
inline constexpr CFStringEncoding kCFStringEncodingUTF32LE = 0x1c000100;

// Encodings of IANA charset names; names compare without regard to case, white space around the name
// and quotes around it are ignored. Unknown names give kCFStringEncodingInvalidId.
CFStringEncoding CFStringConvertIANACharSetNameToEncoding(std::string_view name);
// The IANA name used in "charset=" parameters, lower case ("utf-8", "iso-8859-1", "gb18030"); the empty
// text for an encoding without one.
std::string CFStringConvertEncodingToIANACharSetName(CFStringEncoding encoding);
// kCFStringEncodingInvalidId maps to itself both ways, so `!= kCFStringEncodingInvalidId` works on either.
NSStringEncoding CFStringConvertEncodingToNSStringEncoding(CFStringEncoding encoding);
CFStringEncoding CFStringConvertNSStringEncodingToEncoding(NSStringEncoding encoding);

namespace Charset {

// Whether the encoding has a conversion here.
bool isSupported(NSStringEncoding encoding);

// Bytes in `encoding` to UTF-8 text; nullopt when the bytes are not valid in it or the encoding is
// unknown. (-[NSString initWithData:encoding:])
std::optional<std::string> decode(std::string_view bytes, NSStringEncoding encoding);
// The same, for text that must show whatever it holds (a page from the network): every byte sequence
// not valid in the encoding becomes U+FFFD, one per offending byte. An unknown encoding reads as UTF-8.
std::string decodeReplacing(std::string_view bytes, NSStringEncoding encoding);

// UTF-8 text to bytes in `encoding`; nullopt when a character cannot be represented (unless lossy,
// which writes '?' for it), when the text is not UTF-8, or the encoding is unknown.
// NSUnicodeStringEncoding writes a byte-order mark followed by little-endian units, as the phone does.
std::optional<std::string> encode(std::string_view text, NSStringEncoding encoding, bool allowLossy = false);

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF, no truncation.
bool isValidUTF8(std::string_view bytes);
std::optional<std::u32string> decodeUTF8(std::string_view bytes);
// Appends the UTF-8 form of a code point (surrogates and values above U+10FFFF are not code points;
// they are written as U+FFFD).
void appendUTF8(std::string& out, char32_t codePoint);

}  // namespace Charset
