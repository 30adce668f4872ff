// Status events: the texts they are delivered with, what is logged, the pending list, and database
// failures while storage is removed.
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"
#include "engine_recorder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using enginetest::Recorder;
using enginetest::StatusEvent;
using enginetest::TempDir;

TEST(StatusEvents, DeliveredTextsComeFromTheMessageTables)
{
    struct Case {
        unsigned int act;
        int status;
        const char* msg;
        const char* msg2;
        StatusEvent delivered;
    };
    const Case cases[] = {
        {3, 0, "open", nullptr, {3, 0, "打开数据库失败", ""}},
        {3, 0, "update localmedia set x", "ignored?", {3, 0, "打开数据库失败", "ignored?"}},
        {3, 1, nullptr, nullptr, {3, 1, "视频不能保存到磁盘中", ""}},
        {3, 2, "token not found", nullptr, {3, 2, "token not found", ""}},
        {3, 2, "", nullptr, {3, 2, "申请直播失败", ""}},
        {3, 7, nullptr, nullptr, {3, 7, "编码器内部错误", ""}},
        {3, 8, nullptr, nullptr, {3, 8, "", ""}},  // beyond the table
        {3, -1, nullptr, nullptr, {3, -1, "", ""}},
        {4, 1, nullptr, nullptr, {4, 1, "该视频无法生成截图", ""}},
        {4, 2, nullptr, nullptr, {4, 2, "SD卡被拔出，没有可用本地视频！", ""}},
        {4, 3, nullptr, nullptr, {4, 3, "", ""}},
        {5, 1, "0123abcd", "42", {5, 1, "0123abcd", "42"}},
        {1, 4, nullptr, nullptr, {1, 4, "", ""}},
        {7, 12, nullptr, nullptr, {7, 12, "", ""}},
    };
    Recorder::shared().install();
    for (const Case& c : cases) {
        Recorder::shared().clear();
        global_putstatusdispatch(c.act, c.status, c.msg, c.msg2);
        auto events = Recorder::shared().events();
        ASSERT_EQ(events.size(), 1u) << c.act << "," << c.status;
        EXPECT_EQ(events[0], c.delivered) << c.act << "," << c.status;
    }
}

TEST(StatusEvents, EveryActButTwoIsLogged)
{
    Recorder::shared().install();
    enableprintlog(true);
    global_putstatusdispatch(2, 5, "scid", nullptr);
    global_putstatusdispatch(5, 1, "guid", "50");
    global_putstatusdispatch(3, 0, "open", nullptr);

    EXPECT_EQ(Recorder::shared().events().size(), 3u);  // all are delivered
    EXPECT_FALSE(Recorder::shared().logged("putstatusdispatch:2,5,scid,"));
    EXPECT_TRUE(Recorder::shared().logged("putstatusdispatch:5,1,guid,50"));
    // A database failure logs its statement and storage status, then the text it is delivered with.
    EXPECT_TRUE(Recorder::shared().logged("error sql is:0,open,0"));
    EXPECT_TRUE(Recorder::shared().logged("putstatusdispatch:3,0,打开数据库失败,"));
}

TEST(StatusEvents, WithoutCallbackEventsWaitInThePendingList)
{
    global_putstatusdispatch(1, 4, nullptr, nullptr);
    global_putstatusdispatch(5, 1, "g\"1", "50");
    const std::string expected =
        R"({"act":1,"status":4,"msg":"","msg2":""},{"act":5,"status":1,"msg":"g\"1","msg2":"50"})";
    EXPECT_EQ(global_getpendingstatus(), expected);

    Recorder::shared().install();
    global_putstatusdispatch(1, 5, nullptr, nullptr);
    EXPECT_EQ(Recorder::shared().events().size(), 1u);  // delivered, not kept
    EXPECT_EQ(global_getpendingstatus(), expected);
}

TEST(StatusEvents, PendingListKeepsOnlyTheNewestMebibyte)
{
    const std::string text(1000, 'x');
    for (int i = 0; i < 3000; ++i) {
        global_putstatusdispatch(5, 0, std::to_string(i).c_str(), text.c_str());
    }
    const std::string pending = global_getpendingstatus();
    EXPECT_LE(pending.size(), kPendingStatusLimit);
    EXPECT_GT(pending.size(), kPendingStatusLimit - 2000);
    EXPECT_NE(pending.find("\"msg\":\"2999\""), std::string::npos);
    EXPECT_EQ(pending.find("\"msg\":\"0\""), std::string::npos);
    EXPECT_EQ(pending.front(), '{');
}

TEST(StatusEvents, DatabaseFailureWhileStorageIsRemovedClosesTheDatabase)
{
    TempDir dir;
    Recorder::shared().install();
    enableprintlog(true);
    UtilityAdapter_SetExtData(6, "", 1);  // storage removed
    UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
    ASSERT_TRUE(global_isdbopen());
    global_dbref held = global_getdb();  // a statement in progress elsewhere
    Recorder::shared().clear();

    global_putstatusdispatch(3, 0, "select guid from localmedia", nullptr);

    // Only the end of the engine recording is reported (its byte count), not the failure.
    EXPECT_EQ(Recorder::shared().events(), (std::vector<StatusEvent>{{2, 3, "0", ""}}));
    EXPECT_FALSE(global_isdbopen());
    EXPECT_TRUE(Recorder::shared().logged("error sql is:0,select guid from localmedia,1"));
    EXPECT_TRUE(Recorder::shared().logged("_global_closedatabase"));
    // The user that still holds the connection finishes its statement.
    EXPECT_EQ(sqlite3_exec(held.get(), "select count(*) from localmedia", nullptr, nullptr, nullptr), 0);

    // Other errors are still delivered while storage is removed.
    global_putstatusdispatch(3, 1, nullptr, nullptr);
    EXPECT_EQ(Recorder::shared().count(3, 1), 1u);
}
