#include <cmath>
#include <limits>

#include "ApiTestSupport.h"
#include "api/LoginState.h"
#include "api/RecordAccessors.h"

namespace apitest {
namespace {

// 2013-05-01 12:00:00 in Shanghai.
constexpr double kNoon = 1367380800.0;

Value user(const char* nick)
{
    return Value::dictionary({{"suid", std::string("id-") + nick}, {"nick", nick}});
}

Value comment(const char* from, const char* to, const char* content)
{
    return Value::dictionary({{"content", content}, {"fromUser", user(from)}, {"toUser", user(to)},
                              {"createTime", (kNoon - 90) * 1000}});
}

// A video record as the service sends it.
Value fullChannel()
{
    return Value::dictionary({
        {"scid", "sc42"},
        {"ext", Value::dictionary({{"w", 480}, {"h", "360"}, {"t", "海边"}, {"location", "118.1,24.5"},
                                   {"locationText", "厦门"}, {"owner", user("阿明")}, {"finishTime", (kNoon - 30) * 1000},
                                   {"status", 10}, {"lengthNice", "00:12"}})},
        {"pic", Value::dictionary({{"base", "http://pic.example/"}, {"m", "sc42.jpg"}})},
        {"stream", Value::dictionary({{"base", "http://video.example/"}, {"ios", "mp4"}})},
        {"mark", Value::dictionary({{"result", Value::array({Value::dictionary({{"icon", 3}})})}})},
        {"with", Value::dictionary({{"result", Value::array({user("小红"), user("小李")})}})},
        {"comment", Value::dictionary({{"result", Value::array({comment("甲", "阿明", "好看"), comment("乙", "阿明", "赞"),
                                                                comment("丙", "阿明", "再来")})},
                                       {"total", 3}})},
        {"pagedcmt", Value::dictionary({{"result", Value::array({comment("甲", "阿明", "好看")})}, {"total", "41"}})},
        {"visit", Value::dictionary({{"result", Value::array({user("访客")})}})},
        {"stat", Value::dictionary({{"hcnt", 7}})},
    });
}

class RecordAccessorsTest : public ApiTest {
protected:
    void SetUp() override
    {
        ApiTest::SetUp();
        setNow(kNoon);
    }
};

TEST_F(RecordAccessorsTest, AChannelIsReadByItsKeyPaths)
{
    const Value channel = fullChannel();
    EXPECT_EQ(Channel_getScid(channel), Value("sc42"));
    EXPECT_EQ(Channel_getWidth(channel), 480);
    EXPECT_EQ(Channel_getHeight(channel), 360);  // texts read as integers
    EXPECT_EQ(Channel_getSize(channel), (CGSize{480, 360}));
    EXPECT_EQ(Channel_getTitle(channel), Value("海边"));
    EXPECT_TRUE(Channel_haveTitle(Value()));
    EXPECT_EQ(Channel_getLocationText(channel), Value("厦门"));
    EXPECT_EQ(User_getNick(Channel_getOwner(channel)), Value("阿明"));
    EXPECT_EQ(Channel_getFinishTime(channel), "30秒前");
    EXPECT_EQ(Channel_getFinishTimeNoNice(channel), Value((kNoon - 30) * 1000));
    EXPECT_EQ(Channel_getStatus(channel), 10);
    EXPECT_EQ(Channel_getVideoTime(channel), Value("00:12"));
    EXPECT_EQ(Channel_getCover(channel), "http://pic.example/sc42.jpg");
    EXPECT_EQ(Channel_getMarks(channel).count(), 1u);
    EXPECT_EQ(Channel_getWithSB(channel).count(), 2u);
    EXPECT_EQ(Channel_getComments(channel).count(), 3u);
    EXPECT_EQ(Channel_getCommentsTotal(channel), 3);
    EXPECT_EQ(Channel_getTotalComment(channel), 3);
    EXPECT_EQ(Channel_getFullComment(channel).count(), 1u);
    EXPECT_EQ(Channel_getFullCommentTotalCount(channel), 41);
    EXPECT_EQ(User_getNick(Channel_getVisited(channel)[0]), Value("访客"));
    EXPECT_EQ(Channel_getHotCount(channel), 7);
}

TEST_F(RecordAccessorsTest, TheVideoUrlCarriesTheSessionTokenOfTheMoment)
{
    const Value channel = fullChannel();
    EXPECT_EQ(Channel_getVideoUrl(channel), "http://video.example/sc42.mp4?token=(null)");
    storeUserInfo(Value::dictionary({{"status", 200}, {"token", "tok1"}}));
    EXPECT_EQ(Channel_getVideoUrl(channel), "http://video.example/sc42.mp4?token=tok1");
    appendUserInfo("tok2", "token");
    EXPECT_EQ(Channel_getVideoUrl(channel), "http://video.example/sc42.mp4?token=tok2");
}

TEST_F(RecordAccessorsTest, ALocationIsTwoNumbersAndAnyOtherShapeReadsAsZeros)
{
    const struct {
        Value location;
        CGPoint point;
    } cases[] = {
        {"118.1,24.5", {118.1f, 24.5f}},
        {"118.1", {118.1f, 0}},
        {"118.1,", {118.1f, 0}},
        {",24.5", {0, 24.5f}},
        {"", {0, 0}},
        {"a,b", {0, 0}},
        {"1,2,3", {1, 2}},
        {42, {42, 0}},
        {Value::null(), {0, 0}},
        {Value::array({1, 2}), {0, 0}},
        {Value(), {0, 0}},
    };
    for (const auto& c : cases) {
        Value ext = Value::dictionary();
        if (!c.location.isNil()) {
            ext.setObject_forKey(c.location, "location");
        }
        const CGPoint point = Channel_getLocation(Value::dictionary({{"ext", ext}}));
        EXPECT_EQ(point, c.point) << c.location.description();
    }
}

TEST_F(RecordAccessorsTest, CaptionsNameTheOwnerTitlePlaceAndPeople)
{
    const Value owner = user("阿明");
    const Value people = Value::dictionary({{"result", Value::array({user("小红"), user("小李")})}});
    const struct {
        Value ext;
        Value with;
        Value withOwner;
        Value noUser;
    } cases[] = {
        {Value::dictionary({{"t", "海边"}, {"locationText", "厦门"}, {"owner", owner}}), people,
         "阿明：海边 - 在厦门，提到了 小红 小李", "海边 - 在厦门，提到了 小红 小李"},
        {Value::dictionary({{"t", "海边"}, {"owner", owner}}), Value(), "阿明：海边", "海边"},
        // An empty title is a title; an empty place adds nothing.
        {Value::dictionary({{"t", ""}, {"locationText", ""}, {"owner", owner}}), Value(), "阿明：", ""},
        {Value::dictionary({{"locationText", "厦门"}}), Value(), "(null)：(null) - 在厦门", "(null) - 在厦门"},
        {Value::dictionary({{"owner", owner}}), Value::dictionary({{"result", Value::array()}}), "阿明：(null)",
         "(null)"},
        // Nothing to say: no caption. Nulls read as missing.
        {Value::dictionary({{"owner", owner}}), Value(), Value(), Value()},
        {Value::dictionary({{"t", Value::null()}, {"locationText", Value::null()}}),
         Value::dictionary({{"result", Value::null()}}), Value(), Value()},
        // A list of people that is not a list names nobody.
        {Value::dictionary({{"t", "海边"}, {"owner", owner}}), Value::dictionary({{"result", "小红"}}), "阿明：海边",
         "海边"},
    };
    for (const auto& c : cases) {
        Value channel = Value::dictionary({{"ext", c.ext}});
        if (!c.with.isNil()) {
            channel.setObject_forKey(c.with, "with");
        }
        EXPECT_EQ(Channel_getTitle_with_location(channel), c.withOwner) << channel.description();
        EXPECT_EQ(Channel_getTitle_with_location_noUser(channel), c.noUser) << channel.description();
    }
}

TEST_F(RecordAccessorsTest, AFeedItemGetsAtMostFiveRows)
{
    auto types = [](const Value& rows) {
        std::vector<std::string> out;
        for (const Value& row : rows.arrayItems()) {
            out.push_back(row["type"].stringValue());
        }
        return out;
    };
    const Value full = Channel_getMyComposedComment(fullChannel());
    EXPECT_EQ(types(full), (std::vector<std::string>{"mark", "title_location_with", "read_more_title", "comment",
                                                     "comment"}));
    EXPECT_EQ(full[0]["content"], Channel_getMarks(fullChannel()));
    EXPECT_EQ(full[1]["content"], Channel_getTitle_with_location(fullChannel()));
    EXPECT_EQ(full[2]["content"], Value("查看更多评论"));
    EXPECT_EQ(Comment_getContent(full[3]["content"]), Value("好看"));
    EXPECT_EQ(Comment_getContent(full[4]["content"]), Value("赞"));

    const Value twoComments = Value::dictionary(
        {{"comment", Value::dictionary({{"result", Value::array({comment("甲", "乙", "一"), comment("乙", "甲", "二")})},
                                        {"total", 2}})}});
    EXPECT_EQ(types(Channel_getMyComposedComment(twoComments)), (std::vector<std::string>{"comment", "comment"}));

    // Odd lists give no rows rather than rows without content.
    const Value odd = Value::dictionary({{"mark", Value::dictionary({{"result", Value::dictionary({{"a", 1}})}})},
                                         {"comment", Value::dictionary({{"result", Value::dictionary({{"a", 1}, {"b", 2}})},
                                                                        {"total", "5"}})}});
    EXPECT_EQ(types(Channel_getMyComposedComment(odd)), (std::vector<std::string>{"read_more_title"}));
    const Value nulls = Value::dictionary(
        {{"comment", Value::dictionary({{"result", Value::array({Value::null(), comment("甲", "乙", "一")})}})}});
    EXPECT_EQ(types(Channel_getMyComposedComment(nulls)), (std::vector<std::string>{"comment"}));
    EXPECT_TRUE(Channel_getMyComposedComment(Value()).isArray());
    EXPECT_EQ(Channel_getMyComposedComment(Value()).count(), 0u);
}

TEST_F(RecordAccessorsTest, CommentsUsersAndMessages)
{
    const Value c = comment("甲", "阿明", "好看");
    EXPECT_EQ(Comment_getContent(c), Value("好看"));
    EXPECT_EQ(User_getNick(Comment_getUser(c)), Value("甲"));
    EXPECT_EQ(Comment_getDescription(c), "甲:好看");
    EXPECT_EQ(Comment_getCreateTime(c), "1分钟前");
    EXPECT_EQ(Comment_getStringDisplayedInFeed(c), "甲评论了阿明的分享：“好看”");
    EXPECT_EQ(Comment_getDescription(Value()), "(null):(null)");

    const Value person = Value::dictionary(
        {{"suid", 1001}, {"nick", "阿明"}, {"icon", "http://i/a.png"}, {"ext", Value::dictionary({{"cover", "http://c"}})}});
    EXPECT_EQ(User_getSuid(person), Value(1001));
    EXPECT_EQ(User_geticon(person), Value("http://i/a.png"));
    EXPECT_EQ(User_getCover(person), Value("http://c"));

    const Value message = Value::dictionary({{"msg", "有人关注了你"}, {"mark", "4"}, {"createTime", kNoon * 1000}});
    EXPECT_EQ(Message_getContent(message), Value("有人关注了你"));
    EXPECT_EQ(Message_getMark(message), 4);
    EXPECT_EQ(Message_getCreateTime(message), "刚刚");
    EXPECT_TRUE(Message_getCover(message).isNil());
    Value withVideo = message.mutableCopy();
    withVideo.setObject_forKey(fullChannel(), "channel");
    EXPECT_EQ(Message_getCover(withVideo), Value("http://pic.example/sc42.jpg"));
}

TEST_F(RecordAccessorsTest, OddRecordsNeverBreakAnAccessor)
{
    const Value odd[] = {
        Value(),
        Value::null(),
        Value("text"),
        Value(7),
        Value::array({1, 2}),
        Value::dictionary({{"ext", "text"}, {"pic", 5}, {"stream", Value::array()}, {"with", Value::null()},
                           {"comment", "x"}, {"fromUser", 3}, {"channel", "x"}, {"createTime", "soon"}}),
    };
    for (const Value& record : odd) {
        SCOPED_TRACE(record.description());
        EXPECT_TRUE(Channel_getScid(record).isNil());
        EXPECT_EQ(Channel_getWidth(record), 0);
        EXPECT_EQ(Channel_getSize(record), (CGSize{0, 0}));
        EXPECT_EQ(Channel_getLocation(record), (CGPoint{0, 0}));
        EXPECT_TRUE(Channel_getOwner(record).isNil());
        EXPECT_EQ(Channel_getCommentsTotal(record), 0);
        EXPECT_EQ(Channel_getComments(record).count(), 0u);
        EXPECT_EQ(Channel_getMarks(record).count(), 0u);
        EXPECT_EQ(Channel_getVisited(record).count(), 0u);
        EXPECT_EQ(Channel_getCover(record), "(null)(null)");
        EXPECT_EQ(Channel_getVideoUrl(record), "(null)(null).(null)?token=(null)");
        EXPECT_NO_THROW(Channel_getMyComposedComment(record));
        EXPECT_NO_THROW(Channel_getTitle_with_location(record));
        EXPECT_NO_THROW(Channel_getFinishTime(record));
        EXPECT_TRUE(User_getNick(record).isNil());
        EXPECT_TRUE(Comment_getUser(record).isNil());
        EXPECT_EQ(Comment_getStringDisplayedInFeed(record), "(null)评论了(null)的分享：“(null)”");
        EXPECT_NO_THROW(Message_getCover(record));
        EXPECT_EQ(Message_getMark(record), 0);
    }
}

TEST_F(RecordAccessorsTest, RelativeTimesAtAFixedClock)
{
    const double hour = 3600;
    const struct {
        double secondsAgo;
        const char* text;
    } cases[] = {
        {-5, "刚刚"},  // a little in the future counts as now
        {0, "刚刚"},
        {0.4, "0秒前"},
        {1, "1秒前"},
        {59.5, "59秒前"},
        {60, "1分钟前"},
        {90, "1分钟前"},
        {3599, "59分钟前"},
        {3600, "今天11:00"},
        {2 * hour, "今天10:00"},
        {12 * hour, "今天00:00"},
        {12 * hour + 1, "04-30"},  // one second before midnight: yesterday
        {40 * hour, "04-29"},
        {-13 * hour, "05-02"},  // tomorrow is another day
        {kNoon, "01-01"},       // the epoch
    };
    for (const auto& c : cases) {
        EXPECT_EQ(convertTime((kNoon - c.secondsAgo) * 1000), c.text) << c.secondsAgo;
    }
    EXPECT_EQ(convertTime(std::numeric_limits<double>::quiet_NaN()), "01-01");
    EXPECT_EQ(convertTime(std::numeric_limits<double>::infinity()), "01-01");
}

TEST_F(RecordAccessorsTest, TodayIsTheLocalCalendarDay)
{
    // 07:00 in Shanghai is 23:00 the day before in UTC.
    const double morning = 1367362800.0;
    setNow(morning);
    const double eightHoursAgo = morning - 8 * 3600;
    EXPECT_EQ(convertTime(eightHoursAgo * 1000), "04-30");
    EXPECT_FALSE(isToday(eightHoursAgo));
    EXPECT_TRUE(isToday(morning - 7 * 3600));

    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName("UTC"));
    EXPECT_EQ(convertTime(eightHoursAgo * 1000), "今天15:00");
    EXPECT_TRUE(isToday(eightHoursAgo));
}

}  // namespace
}  // namespace apitest
