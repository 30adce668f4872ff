// The engine's text, URL, time and speed helpers, its clock, and its JSON member readers.
#include "engine/cjsonhelper.h"
#include "engine/crtfun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace crtfun;

TEST(CrtfunText, UrlencodeEscapesEveryByteButLettersAndDigits)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"aZ09", "aZ09"},
        {"a b", "a%20b"},
        {"-_.~/?&=%", "%2d%5f%2e%7e%2f%3f%26%3d%25"},
        {"中", "%e4%b8%ad"},
        {std::string("\x00\xff", 2), "%00%ff"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(urlencode(text), expected) << text;
    }
}

TEST(CrtfunText, GethttpparamFindsQueryThenAmpersandThenLeadingKey)
{
    struct Case {
        const char* text;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"guid=G&scid=S", "guid", "G"},
        {"scid=S&vend=V", "guid", ""},
        {"a?x=1&guid=G", "guid", "G"},
        {"action://deletefile?guid=0123&x=1", "guid", "0123"},
        {"a&guid=G?guid=H", "guid", "H"},  // "?key=" is looked for first
        {"xguid=G", "guid", ""},           // not at the start, not after "?" or "&"
        {"a?guid=", "guid", ""},
        {"a?guid=G", "guid", "G"},
        {"", "guid", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gethttpparam(c.text, c.key), c.expected) << c.text;
    }
}

TEST(CrtfunText, FileNameAndExtensionHelpers)
{
    struct Case {
        const char* path;
        const char* ext;
        const char* name;
        const char* replaced;  // replacefileext(path, "etf")
        const char* stripped;  // replacefileext(path, "")
    };
    const Case cases[] = {
        {"/d/20120101.flv", "flv", "20120101.flv", "/d/20120101.etf", "/d/20120101"},
        {"/d/file", "", "file", "/d/file.etf", "/d/file"},
        {"/d.x/file", "", "file", "/d.x/file.etf", "/d.x/file"},  // a dot in a folder is no extension
        {"a.tar.gz", "gz", "a.tar.gz", "a.tar.etf", "a.tar"},
        {"/d/a.", "", "a.", "/d/a.etf", "/d/a"},
        {"/d/", "", "", "/d/.etf", "/d/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(getfileext(c.path), c.ext) << c.path;
        EXPECT_EQ(getfilename(c.path), c.name) << c.path;
        EXPECT_EQ(replacefileext(c.path, "etf"), c.replaced) << c.path;
        EXPECT_EQ(replacefileext(c.path, ""), c.stripped) << c.path;
    }
    EXPECT_EQ(replacefileext("/d/file", "MOV"), "/d/file.MOV");
}

TEST(CrtfunText, SaveprinturlReplacesPercentByFullWidthSign)
{
    EXPECT_EQ(saveprinturl("a%b%%"), "a％b％％");
    EXPECT_EQ(saveprinturl("plain"), "plain");
}

TEST(CrtfunText, BinSearchFindsFirstOccurrence)
{
    const std::string data("mdat\0moov\0moov", 14);
    EXPECT_EQ(bin_search(data.data(), data.size(), "moov", 4), 5);
    EXPECT_EQ(bin_search(data.data(), data.size(), "hoov", 4), -1);
    EXPECT_EQ(bin_search("aab", 3, "ab", 2), 1);
    EXPECT_EQ(bin_search("abc", 3, "abcd", 4), -1);  // pattern longer than the data
    EXPECT_EQ(bin_search("abc", 3, "c", 1), 2);
}

TEST(CrtfunText, NiceTimeDiffAtEveryBoundary)
{
    const std::vector<std::pair<long, std::string>> cases = {
        {-5, ""},           {0, ""},
        {59, "刚刚"},       {60, "1分钟前"},
        {3599, "59分钟前"}, {3600, "1小时前"},
        {86399, "23小时前"}, {86400, "昨天"},
        {90000, "昨天"},    {172799, "昨天"},
        {172800, "前天"},   {259199, "前天"},
        {259200, "3天前"},  {2591999, "29天前"},
        {2592000, "1月前"}, {31103999, "11月前"},
        {31104000, "去年"}, {62207999, "去年"},
        {62208000, "前年"}, {93311999, "前年"},
        {93312000, "3年前"},
    };
    const long then = 1330000000;
    for (const auto& [seconds, expected] : cases) {
        EXPECT_EQ(getnicetimediff(then, then + seconds), expected) << seconds;
    }
}

TEST(CrtfunText, SpeedTextUnits)
{
    const std::vector<std::pair<unsigned int, std::string>> cases = {
        {0, "0B/s"},          {1000, "1000B/s"},      {1001, "1KB/s"},
        {1000000, "1000KB/s"}, {1000001, "1MB/s"},     {2500000, "2MB/s"},
    };
    for (const auto& [speed, expected] : cases) {
        EXPECT_EQ(getspeedtext(speed), expected) << speed;
    }
}

TEST(CrtfunText, StringtokenSplitsFromTheFront)
{
    stringtoken tokens(".MOV;.mov;;.mp4", ";");
    std::vector<std::string> got;
    while (tokens.ismore()) {
        got.push_back(tokens.nexttoken());
    }
    EXPECT_EQ(got, (std::vector<std::string>{".MOV", ".mov", "", ".mp4"}));
    EXPECT_EQ(tokens.nexttoken(), "");

    tokens.init("pre1|pre2||fin", "||");
    EXPECT_EQ(tokens.nexttoken(), "pre1|pre2");
    EXPECT_EQ(tokens.nexttoken(), "fin");
    EXPECT_FALSE(tokens.ismore());
}

TEST(CrtfunSpeed, TenSecondWindowFallsOnlyWhenDataIsCountedAgain)
{
    const time_t t = 1330000000;
    speedcounting speed;
    setwallclock(t);
    speed.adddata(5000);
    EXPECT_EQ(speed.getspeed(), 5000u);  // one second since the start

    setwallclock(t + 1);
    EXPECT_EQ(speed.getspeed(), 2500u);
    speed.adddata(1000);
    EXPECT_EQ(speed.getspeed(), 2500u);  // computed once per second

    setwallclock(t + 2);
    EXPECT_EQ(speed.getspeed(), 2000u);  // 6000 over 3 seconds

    setwallclock(t + 30);
    EXPECT_EQ(speed.getspeed(), 600u);  // at most 10 seconds; getspeed clears no bucket
    speed.adddata(0);                   // counting clears the seconds that passed
    setwallclock(t + 31);
    EXPECT_EQ(speed.getspeed(), 0u);
    setwallclock(0);
}

TEST(CrtfunClock, TimeScaleDividesWaitsAndSpeedsTheTick)
{
    // Read once per process, so it is set before the first use.
    ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
    ASSERT_EQ(time_scale(), 1000);
    const uint64_t first = get_ms_tick();
    EXPECT_GE(first, 1000000u);
    EXPECT_LT(first, 1100000u);
    mssleep(20000);  // twenty engine seconds: 20 real milliseconds
    EXPECT_GE(get_ms_tick() - first, 20000u);
}

TEST(CrtfunClock, TimeScaleTakesWholePositiveNumbersOnly)
{
    const std::vector<std::pair<const char*, int>> cases = {
        {nullptr, 1}, {"", 1}, {"1", 1}, {"1000", 1000}, {"fast", 1}, {"10x", 1}, {"0", 1}, {"-5", 1},
        {"1000000", 1000000}, {"1000001", 1},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parsetimescale(text), expected) << (text ? text : "null");
    }
}

TEST(CrtfunClock, WallClockCanBePinned)
{
    setwallclock(1000);
    EXPECT_EQ(unix_time(), 1000);
    setwallclock(0);
    EXPECT_GT(unix_time(), 1000);
}

TEST(CrtfunJson, MemberReaders)
{
    cJSON* reply = cJSON_Parse(
        R"({"status":200,"scid":"abc","msg":"say \"hi\"\n","server":8080,"big":1e12,"neg":-3.9,"o":{},"t":true})");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(cJSON_GetObjectItemString(reply, "scid"), "abc");
    EXPECT_EQ(cJSON_GetObjectItemString(reply, "SCID"), "abc");  // names match without regard to case
    EXPECT_EQ(cJSON_GetObjectItemString(reply, "msg"), "say \"hi\"\n");
    EXPECT_EQ(cJSON_GetObjectItemString(reply, "server"), "8080");
    EXPECT_EQ(cJSON_GetObjectItemString(reply, "o"), "");
    EXPECT_EQ(cJSON_GetObjectItemString(reply, "t"), "");
    EXPECT_EQ(cJSON_GetObjectItemString(reply, "missing"), "");
    EXPECT_EQ(cJSON_GetObjectItemString(nullptr, "scid"), "");

    EXPECT_EQ(cJSON_GetObjectItemInt(reply, "status"), 200);
    EXPECT_EQ(cJSON_GetObjectItemInt(reply, "scid"), 0);
    EXPECT_EQ(cJSON_GetObjectItemInt(reply, "big"), 2147483647);
    EXPECT_EQ(cJSON_GetObjectItemInt(reply, "neg"), -3);
    EXPECT_EQ(cJSON_GetObjectItemInt(reply, "missing"), 0);
    cJSON_Delete(reply);
}
