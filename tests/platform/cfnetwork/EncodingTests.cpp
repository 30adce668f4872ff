// Charsets, Base64, UUIDs and unique files, HTTP dates, MIME types and digests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "platform/crypto/CommonDigest.h"
#include "platform/crypto/CommonHMAC.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/Charset.h"
#include "platform/foundation/HTTPDate.h"
#include "platform/foundation/MIMEType.h"
#include "platform/foundation/UUID.h"

namespace {

TEST(CharsetTest, IANANamesMapToEncodings)
{
    const std::pair<const char*, NSStringEncoding> table[] = {
        {"utf-8", NSUTF8StringEncoding},
        {"UTF-8", NSUTF8StringEncoding},
        {" \"utf-8\" ", NSUTF8StringEncoding},
        {"iso-8859-1", NSISOLatin1StringEncoding},
        {"ISO_8859-1", NSISOLatin1StringEncoding},
        {"latin1", NSISOLatin1StringEncoding},
        {"us-ascii", NSASCIIStringEncoding},
        {"windows-1252", NSWindowsCP1252StringEncoding},
        {"utf-16", NSUnicodeStringEncoding},
        {"gb2312", 0x80000930},
        {"GBK", 0x80000631},
        {"gb18030", 0x80000632},
        {"Big5", 0x80000A03},
        {"shift_jis", 0x80000A01},
        {"euc-jp", NSJapaneseEUCStringEncoding},
        {"x-unknown", kCFStringEncodingInvalidId},
        {"", kCFStringEncodingInvalidId},
    };
    for (const auto& [name, expected] : table) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CFStringConvertEncodingToNSStringEncoding(CFStringConvertIANACharSetNameToEncoding(name)), expected);
    }
    EXPECT_EQ(CFStringConvertEncodingToIANACharSetName(CFStringConvertNSStringEncodingToEncoding(NSUTF8StringEncoding)),
              "utf-8");
    EXPECT_EQ(CFStringConvertEncodingToIANACharSetName(kCFStringEncodingGB_18030_2000), "gb18030");
}

TEST(CharsetTest, DecodingIsStrict)
{
    const std::string emoji = "\xf0\x9f\x98\x80";
    struct Case {
        std::string bytes;
        NSStringEncoding encoding;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {"caf\xc3\xa9", NSUTF8StringEncoding, "caf\xc3\xa9"},
        {"caf\xe9", NSUTF8StringEncoding, std::nullopt},
        {"caf\xe9", NSISOLatin1StringEncoding, "caf\xc3\xa9"},
        {"\xc0\xaf", NSUTF8StringEncoding, std::nullopt},          // overlong "/"
        {"\xe0\x80\xaf", NSUTF8StringEncoding, std::nullopt},      // overlong, three bytes
        {"\xed\xa0\x80", NSUTF8StringEncoding, std::nullopt},      // a surrogate
        {"\xf4\x90\x80\x80", NSUTF8StringEncoding, std::nullopt},  // above U+10FFFF
        {"\xe4\xb8", NSUTF8StringEncoding, std::nullopt},          // truncated
        {"\x80", NSUTF8StringEncoding, std::nullopt},              // lone continuation
        {emoji, NSUTF8StringEncoding, emoji},
        {"abc\x80", NSASCIIStringEncoding, std::nullopt},
        {"\x80", NSWindowsCP1252StringEncoding, "\xe2\x82\xac"},
        {"\xd6\xd0\xce\xc4", 0x80000631, "\xe4\xb8\xad\xe6\x96\x87"},  // GBK
        {"\xd6\xd0\xce\xc4", 0x80000930, "\xe4\xb8\xad\xe6\x96\x87"},  // labelled GB2312
        {"\x81\x30\x81\x30", 0x80000632, "\xc2\x80"},                  // GB18030 four-byte form
        {"\xa4\xa4", 0x80000A03, "\xe4\xb8\xad"},                      // Big5
        {std::string("\xff\xfe\x41\x00", 4), NSUnicodeStringEncoding, "A"},
        {std::string("\x00\x41", 2), NSUnicodeStringEncoding, "A"},  // no mark: big-endian
        {std::string("\xd8\x3d\xde\x00", 4), NSUTF16BigEndianStringEncoding, emoji},
        {"\xd8\x3d", NSUTF16BigEndianStringEncoding, std::nullopt},  // lone surrogate
        {"\x41", NSUTF16LittleEndianStringEncoding, std::nullopt},   // odd length
        {"abc", 12345, std::nullopt},                                // unknown encoding
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes) + " in " + std::to_string(c.encoding));
        EXPECT_EQ(Charset::decode(c.bytes, c.encoding), c.text);
    }
    EXPECT_TRUE(Charset::isValidUTF8("plain ascii"));
    EXPECT_EQ(Charset::decodeUTF8(emoji), std::u32string(1, U'\U0001F600'));
}

// Text that must show whatever it holds: each byte that starts no valid sequence becomes U+FFFD and the
// decoding goes on after it.
TEST(CharsetTest, ReplacingDecodeKeepsWhatIsValid)
{
    const std::string fffd = "\xef\xbf\xbd";
    struct Case {
        std::string bytes;
        NSStringEncoding encoding;
        std::string text;
    };
    const Case cases[] = {
        {"caf\xc3\xa9", NSUTF8StringEncoding, "caf\xc3\xa9"},
        {"a\x80" "b\xe4\xb8", NSUTF8StringEncoding, "a" + fffd + "b" + fffd + fffd},
        {"\xed\xa0\x80z", NSUTF8StringEncoding, fffd + fffd + fffd + "z"},  // a surrogate's three bytes
        {"\xd6\xd0\xff\xce\xc4", 0x80000632, "\xe4\xb8\xad" + fffd + "\xe6\x96\x87"},  // GB18030
        {"\xd6\xd0\xd6", 0x80000631, "\xe4\xb8\xad" + fffd},                           // GBK, cut off
        {"ok\x81", NSWindowsCP1252StringEncoding, "ok" + fffd},  // a byte Windows Latin-1 leaves undefined
        {std::string("\x00\x41\xdc\x00\x00", 5), NSUTF16BigEndianStringEncoding, "A" + fffd + fffd},
        {"abc\xe9", 12345, "abc" + fffd},  // unknown encoding: UTF-8
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes) + " in " + std::to_string(c.encoding));
        EXPECT_EQ(Charset::decodeReplacing(c.bytes, c.encoding), c.text);
    }
}

TEST(CharsetTest, EncodingRefusesWhatItCannotHoldUnlessLossy)
{
    const std::string zhongWen = "\xe4\xb8\xad\xe6\x96\x87";
    EXPECT_EQ(Charset::encode(zhongWen, 0x80000631), "\xd6\xd0\xce\xc4");
    EXPECT_EQ(Charset::encode("caf\xc3\xa9", NSISOLatin1StringEncoding), "caf\xe9");
    EXPECT_EQ(Charset::encode(zhongWen, NSISOLatin1StringEncoding), std::nullopt);
    EXPECT_EQ(Charset::encode("a" + zhongWen, NSASCIIStringEncoding, true), "a??");
    EXPECT_EQ(Charset::encode("x\xe2\x82\xacy", NSWindowsCP1252StringEncoding), "x\x80y");
    EXPECT_EQ(Charset::encode("x" + zhongWen, NSWindowsCP1252StringEncoding, true), "x??");
    EXPECT_EQ(Charset::encode("A", NSUnicodeStringEncoding), std::string("\xff\xfe\x41\x00", 4));
    EXPECT_EQ(Charset::encode("caf\xe9", NSUTF8StringEncoding), std::nullopt);  // not UTF-8 text
    for (NSStringEncoding e : {NSUTF8StringEncoding, NSUTF16BigEndianStringEncoding, 0x80000632u}) {
        SCOPED_TRACE(e);
        const std::string text = "mixed \xe4\xb8\xad \xf0\x9f\x98\x80";
        auto bytes = Charset::encode(text, e);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(Charset::decode(*bytes, e), text);
    }
}

TEST(Base64Test, StandardVectorsBothWays)
{
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"user:pass", "dXNlcjpwYXNz"},
    };
    for (const auto& [plain, encoded] : vectors) {
        SCOPED_TRACE(plain);
        EXPECT_EQ(Base64::encode(plain), encoded);
        EXPECT_EQ(Base64::decode(encoded), plain);
    }
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    EXPECT_EQ(Base64::decode(Base64::encode(all)), all);
    for (const char* bad : {"Zg=", "Z===", "Zm9v!", "Zg==Zg==", "=Zm9", "Zm9vY"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(Base64::decode(bad), std::nullopt);
    }
    EXPECT_EQ(Base64::decode("Zm9v\r\nYmFy", true), "foobar");
}

TEST(UUIDTest, TextFormUniquenessAndInjection)
{
    // 8-4-4-4-12 upper-case hex, version 4, RFC 4122 variant.
    auto wellFormed = [](const std::string& u) {
        if (u.size() != 36 || u[14] != '4' || std::string("89AB").find(u[19]) == std::string::npos) {
            return false;
        }
        for (size_t i = 0; i < u.size(); ++i) {
            bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            if (dash ? u[i] != '-' : std::string("0123456789ABCDEF").find(u[i]) == std::string::npos) {
                return false;
            }
        }
        return true;
    };
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string uuid = CFUUIDCreateString();
        EXPECT_TRUE(wellFormed(uuid)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_NE(UUID::globallyUniqueString(), UUID::globallyUniqueString());
    UUID::setGeneratorForTesting([] { return std::string("00000000-0000-4000-8000-000000000000"); });
    EXPECT_EQ(CFUUIDCreateString(), "00000000-0000-4000-8000-000000000000");
    UUID::setGeneratorForTesting(nullptr);
    EXPECT_NE(CFUUIDCreateString(), "00000000-0000-4000-8000-000000000000");
}

TEST(UUIDTest, UniqueFilesAreNewAndPrivate)
{
    auto dir = std::filesystem::temp_directory_path() / ("ombri-uuid-" + UUID::globallyUniqueString());
    std::filesystem::create_directories(dir);
    auto a = UUID::createUniqueFile(dir.string(), "body-", ".tmp");
    auto b = UUID::createUniqueFile(dir.string(), "body-", ".tmp");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    struct stat st{};
    ASSERT_EQ(::stat(a->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(UUID::createUniqueFile((dir / "missing").string()), std::nullopt);
    std::filesystem::remove_all(dir);
}

TEST(HTTPDateTest, FormatsAndParsesTheHTTPForms)
{
    const double t = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(HTTPDate::format(t), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(HTTPDate::format(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(HTTPDate::format(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
    const std::pair<const char*, std::optional<double>> table[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", t},
        {"Sunday, 06-Nov-94 08:49:37 GMT", t},
        {"Sun Nov  6 08:49:37 1994", t},
        {"06 Nov 1994 08:49:37 GMT", t},
        {"Sun, 06 Nov 1994 08:49 GMT", t - 37},
        {"Sun, 06 Nov 1994 09:49:37 +0100", t},
        {"Sun, 06 Nov 1994 08:49:37 UTC", t},
        {"Sun, 06 Nov 1994 00:49:37 PST", t},
        {"Sun, 31 Feb 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 24:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 08:49:37 XYZ", std::nullopt},
        {"not a date", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : table) {
        SCOPED_TRACE(text);
        EXPECT_EQ(HTTPDate::parse(text), expected);
    }
}

TEST(HTTPDateTest, CookieDatesAreLenient)
{
    const double t = 1623233894;  // Wed, 09 Jun 2021 10:18:14 GMT
    const std::pair<const char*, std::optional<double>> table[] = {
        {"Wed, 09 Jun 2021 10:18:14 GMT", t},
        {"Wed, 09-Jun-21 10:18:14 GMT", t},
        {"Wed Jun 9 10:18:14 2021", t},
        {"9 june 2021 10:18:14", t},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"01 Jan 1600 00:00:00 GMT", std::nullopt},
        {"09 Jun 2021 25:00:00 GMT", std::nullopt},
        {"09 Jun 2021", std::nullopt},
    };
    for (const auto& [text, expected] : table) {
        SCOPED_TRACE(text);
        EXPECT_EQ(HTTPDate::parseCookieDate(text), expected);
    }
}

TEST(MIMETypeTest, ByExtensionWithoutRegardToCase)
{
    const std::pair<const char*, const char*> table[] = {
        {"/a/b/avatar.jpg", "image/jpeg"}, {"photo.JPEG", "image/jpeg"}, {"icon.png", "image/png"},
        {"movie.mp4", "video/mp4"},        {"clip.mov", "video/quicktime"}, {"a.tar.GZ", "application/x-gzip"},
        {"notes.txt", "text/plain"},       {"/a/.hidden", ""},              {"no-extension", ""},
        {"x.ombri-unknown", ""},
    };
    for (const auto& [path, type] : table) {
        SCOPED_TRACE(path);
        EXPECT_EQ(MIMEType::forPath(path), type);
    }
}

TEST(DigestTest, KnownVectors)
{
    EXPECT_EQ(CommonCrypto::hex(CommonCrypto::md5("")), "d41d8cd98f00b204e9800998ecf8427e");
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(CommonCrypto::hex(CommonCrypto::md5(fox)), "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(CommonCrypto::hex(CommonCrypto::md5(fox), true), "9E107D9D372BB6826BD81D3542A419D6");
    EXPECT_EQ(CommonCrypto::hex(CommonCrypto::sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");

    // Fed in pieces, the same digest.
    CC_MD5_CTX context;
    unsigned char md[CC_MD5_DIGEST_LENGTH];
    CC_MD5_Init(&context);
    for (size_t i = 0; i < fox.size(); i += 7) {
        std::string piece = fox.substr(i, 7);
        CC_MD5_Update(&context, piece.data(), static_cast<CC_LONG>(piece.size()));
    }
    CC_MD5_Final(md, &context);
    EXPECT_EQ(CommonCrypto::hex(md, sizeof md), "9e107d9d372bb6826bd81d3542a419d6");

    EXPECT_EQ(CommonCrypto::hex(CommonCrypto::hmacSHA1(std::string(20, '\x0b'), "Hi There")),
              "b617318655057264e28bc0b6fb378c8ef146be00");
    EXPECT_EQ(CommonCrypto::hex(CommonCrypto::hmacSHA1("Jefe", "what do ya want for nothing?")),
              "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
    EXPECT_EQ(CommonCrypto::hex(CommonCrypto::hmacSHA1("", "")), "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d");
}

}  // namespace
