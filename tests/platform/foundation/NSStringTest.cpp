#include <gtest/gtest.h>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"

namespace {

using namespace NSString;

TEST(NSStringCounting, LengthsAndRangesAreUTF16Units)
{
    struct Case {
        const char* text;
        NSUInteger length;
    };
    const Case table[] = {
        {"", 0}, {"abc", 3}, {"中文测试", 4}, {"😀", 2}, {"a😀b", 4}, {"👍🏽", 4}, {"é", 1}, {"\xff" "a", 2},
    };
    for (const auto& c : table) {
        EXPECT_EQ(length(c.text), c.length) << c.text;
        EXPECT_EQ(toUTF16(c.text).size(), c.length) << c.text;
    }
    // 140 characters of Chinese are 140 units but 420 bytes.
    std::string long140;
    for (int i = 0; i < 140; ++i) {
        long140 += "字";
    }
    EXPECT_EQ(length(long140), 140u);
    EXPECT_EQ(length(long140 + "😀"), 142u);

    const std::string mixed = "a中😀b";
    EXPECT_EQ(substringWithRange(mixed, NSMakeRange(1, 1)), "中");
    EXPECT_EQ(substringWithRange(mixed, NSMakeRange(2, 2)), "😀");
    EXPECT_EQ(substringWithRange(mixed, NSMakeRange(3, 2)), "😀b");  // starts inside the pair: whole emoji
    EXPECT_EQ(substringWithRange(mixed, NSMakeRange(2, 1)), "😀");   // ends inside the pair: whole emoji
    EXPECT_EQ(substringWithRange(mixed, NSMakeRange(4, 100)), "b");
    EXPECT_EQ(substringToIndex(mixed, 2), "a中");
    EXPECT_EQ(substringFromIndex(mixed, 4), "b");
    EXPECT_EQ(characterAtIndex(mixed, 1), u'中');
    EXPECT_EQ(characterAtIndex(mixed, 2), 0xD83D);
    EXPECT_EQ(characterAtIndex(mixed, 3), 0xDE00);
    EXPECT_THROW(characterAtIndex(mixed, 5), NSException);
    EXPECT_EQ(fromUTF16(toUTF16(mixed)), mixed);
    EXPECT_EQ(byteOffsetOfIndex(mixed, 2), 4u);
    EXPECT_EQ(indexOfByteOffset(mixed, 8), 4u);
}

TEST(NSStringGB18030, CountsTwoBytesPerChineseCharacter)
{
    EXPECT_EQ(gb18030Length("中文测试"), 8u);
    EXPECT_EQ(gb18030Length("ab中"), 4u);
    EXPECT_EQ(gb18030Length("😀"), 4u);
    EXPECT_EQ(gb18030Length(""), 0u);
}

TEST(NSStringSearch, RangesComparisonsAndCase)
{
    EXPECT_EQ(rangeOfString("我爱abcABC", "abc"), NSMakeRange(2, 3));
    EXPECT_EQ(rangeOfString("我爱abcABC", "abc", NSBackwardsSearch), NSMakeRange(2, 3));
    EXPECT_EQ(rangeOfString("我爱abcABC", "ABC", NSCaseInsensitiveSearch | NSBackwardsSearch), NSMakeRange(5, 3));
    EXPECT_EQ(rangeOfString("😀Ab", "aB", NSCaseInsensitiveSearch), NSMakeRange(2, 2));
    EXPECT_EQ(rangeOfString("abc", "").location, NSNotFound);
    EXPECT_EQ(rangeOfString("abc", "x").location, NSNotFound);
    EXPECT_EQ(rangeOfString("abc", "b", NSAnchoredSearch).location, NSNotFound);
    EXPECT_FALSE(containsString("abc", ""));
    EXPECT_TRUE(hasPrefix("http://x", "http://"));
    EXPECT_FALSE(hasPrefix("abc", ""));

    EXPECT_EQ(caseInsensitiveCompare("Hello", "hELLO"), NSOrderedSame);
    EXPECT_EQ(caseInsensitiveCompare("apple", "Banana"), NSOrderedAscending);
    EXPECT_EQ(compare("apple", "Banana"), NSOrderedDescending);  // 'a' > 'B' by code unit
    EXPECT_EQ(compare("file10", "file9", NSNumericSearch), NSOrderedDescending);
    EXPECT_EQ(compare("\uFF5E", "😀"), NSOrderedDescending);  // UTF-16 order, not UTF-8 order
    EXPECT_EQ(lowercaseString("ÀBC中"), "àbc中");
    EXPECT_EQ(uppercaseString("abc中é"), "ABC中É");
    EXPECT_EQ(capitalizedString("hello wORLD"), "Hello World");
}

TEST(NSStringSplitting, ComponentsTrimmingReplacing)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(componentsSeparatedByString("a&b=c&&d", "&"), (V{"a", "b=c", "", "d"}));
    EXPECT_EQ(componentsSeparatedByString("", ","), (V{""}));
    EXPECT_EQ(componentsSeparatedByString("abc", ""), (V{"abc"}));
    EXPECT_EQ(componentsSeparatedByCharactersInSet("a=1&b=2", NSCharacterSet::characterSetWithCharactersInString("&=")),
              (V{"a", "1", "b", "2"}));
    EXPECT_EQ(componentsJoinedByString(V{"a", "b"}, ", "), "a, b");
    EXPECT_EQ(stringByTrimmingCharactersInSet(" \t\n 文本 x\u3000\n", NSCharacterSet::whitespaceAndNewlineCharacterSet()),
              "文本 x");
    EXPECT_EQ(stringByTrimmingCharactersInSet("<3f2a 9b>", NSCharacterSet::characterSetWithCharactersInString("<>")),
              "3f2a 9b");
    EXPECT_EQ(stringByTrimmingCharactersInSet("   ", NSCharacterSet::whitespaceCharacterSet()), "");
    EXPECT_EQ(stringByReplacingOccurrencesOfString_withString("3f2a 9b 11", " ", ""), "3f2a9b11");
    EXPECT_EQ(stringByReplacingCharactersInRange_withString("a😀b", NSMakeRange(1, 2), "x"), "axb");
    EXPECT_THROW(stringByReplacingCharactersInRange_withString("ab", NSMakeRange(1, 5), "x"), NSException);

    EXPECT_TRUE(NSCharacterSet::alphanumericCharacterSet().characterIsMember(U'中'));
    EXPECT_TRUE(NSCharacterSet::alphanumericCharacterSet().characterIsMember(U'7'));
    EXPECT_FALSE(NSCharacterSet::alphanumericCharacterSet().characterIsMember(U'_'));
    EXPECT_TRUE(NSCharacterSet::alphanumericCharacterSet().invertedSet().characterIsMember(U'!'));
    EXPECT_TRUE(NSCharacterSet::newlineCharacterSet().characterIsMember(U'\n'));
    EXPECT_FALSE(NSCharacterSet::whitespaceCharacterSet().characterIsMember(U'\n'));
}

TEST(NSStringPaths, ComponentsAndExtensions)
{
    EXPECT_EQ(lastPathComponent("/a/b/c.png"), "c.png");
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(stringByDeletingLastPathComponent("/a/b/c.png"), "/a/b");
    EXPECT_EQ(stringByDeletingLastPathComponent("/a"), "/");
    EXPECT_EQ(stringByDeletingLastPathComponent("a"), "");
    EXPECT_EQ(stringByAppendingPathComponent("/a/", "/b"), "/a/b");
    EXPECT_EQ(stringByAppendingPathComponent("", "b"), "b");
    EXPECT_EQ(pathExtension("/x/movie.mp4"), "mp4");
    EXPECT_EQ(pathExtension("/x/.hidden"), "");
    EXPECT_EQ(stringByDeletingPathExtension("/x/movie.mp4"), "/x/movie");
    EXPECT_EQ(stringByAppendingPathExtension("/x/movie", "mov"), "/x/movie.mov");
    EXPECT_EQ(pathComponents("/a//b/"), (std::vector<std::string>{"/", "a", "b"}));
}

TEST(PercentEscapesTest, EscapeSetsAndDecoding)
{
    struct Case {
        std::string expected;
        std::string actual;
    };
    const Case table[] = {
        {"a%20b%22%25%3C%3E", PercentEscapes::addPercentEscapes("a b\"%<>")},
        {"a/b?c=d&e#f", PercentEscapes::addPercentEscapes("a/b?c=d&e#f")},
        {"%E4%B8%AD", PercentEscapes::addPercentEscapes("中")},
        {"a%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D",
         PercentEscapes::addPercentEscapes("a!*'();:@&=+$,/?%#[]", "!*'();:@&=+$,/?%#[]")},
        {"a b", PercentEscapes::addPercentEscapes("a b", "", " ")},
        {"A-z_0.9%7E%20%2F%E4%B8%AD", PercentEscapes::escapeAllExcept("A-z_0.9~ /中", "-._")},
    };
    for (const auto& c : table) {
        EXPECT_EQ(c.actual, c.expected);
    }
    EXPECT_EQ(PercentEscapes::replacePercentEscapes("%E4%b8%ADx+y").value_or("?"), "中x+y");
    EXPECT_FALSE(PercentEscapes::replacePercentEscapes("%E4%B8").has_value());  // not UTF-8
    EXPECT_FALSE(PercentEscapes::replacePercentEscapes("%zz").has_value());
    EXPECT_FALSE(PercentEscapes::replacePercentEscapes("abc%4").has_value());
    EXPECT_EQ(PercentEscapes::decodeLenient("%41%zz%4"), "A%zz%4");
}

TEST(NSStringNumbers, ReadingsOfText)
{
    EXPECT_EQ(intValue("200"), 200);
    EXPECT_EQ(intValue("12abc"), 12);
    EXPECT_EQ(integerValue("-9000000000"), -9000000000L);
    EXPECT_DOUBLE_EQ(doubleValue(" 2.5e2x"), 250.0);
    EXPECT_TRUE(boolValue("Yes"));
    EXPECT_FALSE(boolValue("false"));
}

}  // namespace
