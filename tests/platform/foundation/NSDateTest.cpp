#include <gtest/gtest.h>

#include "platform/foundation/NSDateFormatter.h"

namespace {

class NSDateFormatterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName("Asia/Shanghai"));
        NSLocale::setCurrentLocale(NSLocale::localeWithLocaleIdentifier("zh_CN"));
    }
    void TearDown() override
    {
        NSTimeZone::setDefaultTimeZone(nullptr);
        NSLocale::setCurrentLocale(nullptr);
        NSDate::setNowFunction(nullptr);
    }
};

TEST_F(NSDateFormatterTest, FormatsInTheInjectedLocalTimeZone)
{
    // 2013-05-01 16:04:05 UTC is 2013-05-02 00:04:05 in Shanghai.
    const NSDate date = NSDate::dateWithTimeIntervalSince1970(1367424245);
    struct Case {
        const char* pattern;
        const char* expected;
    };
    const Case table[] = {
        {"yyyy'-'MM'-'dd", "2013-05-02"},
        {"yyyy'-'MM'-'dd HH:mm:ss", "2013-05-02 00:04:05"},
        {"HH':'mm", "00:04"},
        {"'今天'HH':'mm", "今天00:04"},
        {"MM'-'dd", "05-02"},
        {"yyyy'-'MM'-'dd'-'HH'-'mm'-'ss", "2013-05-02-00-04-05"},
    };
    auto formatter = NSDateFormatter::create();
    for (const auto& c : table) {
        formatter->setDateFormat(c.pattern);
        EXPECT_EQ(formatter->stringFromDate(date), c.expected) << c.pattern;
    }
    // A formatter reads the default zone when it formats; its own zone wins.
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneForSecondsFromGMT(0));
    formatter->setDateFormat("yyyy'-'MM'-'dd HH:mm:ss");
    EXPECT_EQ(formatter->stringFromDate(date), "2013-05-01 16:04:05");
    formatter->setTimeZone(NSTimeZone::timeZoneForSecondsFromGMT(-5 * 3600));
    EXPECT_EQ(formatter->stringFromDate(date), "2013-05-01 11:04:05");
    EXPECT_EQ(NSTimeZone::timeZoneForSecondsFromGMT(8 * 3600 + 1800)->name(), "GMT+0830");
    EXPECT_EQ(NSTimeZone::timeZoneWithName("Asia/Shanghai")->secondsFromGMTForDate(date), 8 * 3600);
    EXPECT_EQ(NSTimeZone::timeZoneWithName("America/New_York")->secondsFromGMTForDate(date), -4 * 3600);
    EXPECT_TRUE(NSTimeZone::timeZoneWithName("America/New_York")->isDaylightSavingTimeForDate(date));
    EXPECT_EQ(NSTimeZone::timeZoneWithName("Nowhere/Special"), nullptr);
}

TEST_F(NSDateFormatterTest, ParsesWholeTextsOnly)
{
    auto formatter = NSDateFormatter::create();
    formatter->setDateFormat("yyyy'-'MM'-'dd HH:mm:ss");
    const auto parsed = formatter->dateFromString("2013-05-02 00:04:05");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->timeIntervalSince1970(), 1367424245);
    EXPECT_FALSE(formatter->dateFromString("2013-05-02 00:04:05 trailing").has_value());
    EXPECT_FALSE(formatter->dateFromString("not a date").has_value());

    // HTTP dates, read with the POSIX locale whatever the user's locale.
    auto http = NSDateFormatter::create();
    http->setLocale(NSLocale::localeWithLocaleIdentifier("en_US_POSIX"));
    http->setTimeZone(NSTimeZone::timeZoneWithAbbreviation("GMT"));
    http->setDateFormat("EEE',' dd MMM yyyy HH':'mm':'ss z");
    const auto expires = http->dateFromString("Wed, 01 May 2013 16:04:05 GMT");
    ASSERT_TRUE(expires.has_value());
    EXPECT_EQ(expires->timeIntervalSince1970(), 1367424245);
    EXPECT_EQ(http->stringFromDate(*expires), "Wed, 01 May 2013 16:04:05 GMT");
}

TEST_F(NSDateFormatterTest, NowIsReplaceable)
{
    double fake = 1000.0;
    NSDate::setNowFunction([&] { return fake; });
    EXPECT_EQ(NSDate::date().timeIntervalSince1970(), 1000.0);
    const NSDate later = NSDate::dateWithTimeIntervalSinceNow(30);
    fake += 10;
    EXPECT_EQ(later.timeIntervalSinceNow(), 20.0);
    EXPECT_EQ(NSDate::date().compare(later), NSOrderedAscending);
    NSDate::setNowFunction(nullptr);
    EXPECT_GT(NSDate::date().timeIntervalSince1970(), 1.6e9);
    EXPECT_EQ(NSDate::dateWithTimeIntervalSinceReferenceDate(0).timeIntervalSince1970(), 978307200.0);
    EXPECT_EQ(NSDate::dateWithTimeIntervalSince1970(1367424245.5).description(), "2013-05-01 16:04:05 +0000");
}

}  // namespace

#include "platform/foundation/Clock.h"

namespace {

TEST(NSDateClock, FollowsAManualProcessClock)
{
    ScopedManualClock clock;
    const NSDate before = NSDate::date();
    clock.advance(120);
    EXPECT_DOUBLE_EQ(NSDate::date().timeIntervalSinceDate(before), 120.0);
    EXPECT_DOUBLE_EQ(before.timeIntervalSinceNow(), -120.0);
}

}  // namespace
