// The job database: opening, the local media list and its paging, bound statements and the shared
// connection.
#include "engine/crtfun.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "jobs_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using enginetest::Recorder;
using enginetest::StatusEvent;
using enginetest::TempDir;
using jobstest::entryNumber;
using jobstest::entryText;
using jobstest::execSql;
using jobstest::ListReply;
using jobstest::querySql;
using jobstest::readList;

namespace {

struct Job {
    std::string guid;
    long ct = 1000;
    std::string filename;
    int status = 2;
    int filetype = 16;
    const char* publictype = "off";  // null stores NULL
    int length = 10;
    std::string title;
};

void insertJob(const Job& job)
{
    char* sql = sqlite3_mprintf(
        "insert into localmedia(guid,ct,st,filename,uploadtoken,usertoken,publictype,title,localimg,filetype,h,w,"
        "length,status,uploadsvr,adddata) values(%Q,%ld,0,%Q,'scid-%q','tok',%Q,%Q,'/img/%q.jpg',%d,360,480,%d,%d,'','');",
        job.guid.c_str(), job.ct, job.filename.c_str(), job.guid.c_str(), job.publictype, job.title.c_str(),
        job.guid.c_str(), job.filetype, job.length, job.status);
    execSql(sql);
    sqlite3_free(sql);
}

void addPending(const std::string& guid, long off, long len)
{
    execSql("insert into uploadprocess(id,off,len) select rowid," + std::to_string(off) + "," + std::to_string(len) +
            " from localmedia where guid='" + guid + "';");
}

void writeFile(const std::string& path, size_t size)
{
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

const cJSON* findEntry(const ListReply& reply, const std::string& guid)
{
    for (int i = 0; i < reply.size(); ++i) {
        if (entryText(reply.entry(i), "guid") == guid) {
            return reply.entry(i);
        }
    }
    ADD_FAILURE() << "no entry " << guid;
    return nullptr;
}

class JobList : public ::testing::Test {
protected:
    void SetUp() override
    {
        jobstest::installCallbacks();
        UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
        ASSERT_TRUE(global_isdbopen());
        Recorder::shared().clear();
    }
    TempDir dir;
};

}  // namespace

TEST_F(JobList, ReopeningKeepsTheRowsAndTurnsLiveJobsIntoWaitingJobs)
{
    insertJob({.guid = "live", .ct = 2000, .status = 1});
    insertJob({.guid = "paused", .ct = 1000, .status = 4});
    UtilityAdapter_SetExtData(3, (dir / "other.db").c_str(), 4);
    UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);

    EXPECT_EQ(querySql("select guid,status from localmedia order by ct desc"),
              (std::vector<std::string>{"live|2", "paused|4"}));
    ListReply reply;
    readList(reply, 1, 50);
    EXPECT_EQ(reply.guids(), (std::vector<std::string>{"live", "paused"}));
    EXPECT_EQ(entryNumber(reply.entry(0), "status"), 2);
    EXPECT_EQ(Recorder::shared().count(1, 4), 2u);
    EXPECT_EQ(Recorder::shared().count(1, 5), 2u);
}

TEST_F(JobList, PagesFollowOnFromTheLastPageAsked)
{
    for (int i = 0; i < 12; ++i) {
        insertJob({.guid = "job" + std::to_string(i), .ct = 1000 + i});  // job11 is the newest
    }
    struct Step {
        unsigned int ask;
        int page;
        std::vector<std::string> guids;
    };
    const Step steps[] = {
        {0, 2, {"job9", "job8"}},  // the engine starts at page 1
        {3, 3, {"job7", "job6"}},
        {0, 4, {"job5", "job4"}},
        {0, 5, {"job3", "job2"}},
        {1, 1, {"job11", "job10"}},
        {0, 2, {"job9", "job8"}},
        {7, 7, {}},
    };
    for (const Step& step : steps) {
        ListReply reply;
        readList(reply, step.ask, 2);
        EXPECT_EQ(reply.number("page"), step.page) << step.ask;
        EXPECT_EQ(reply.number("total"), static_cast<int>(step.guids.size()));
        EXPECT_EQ(reply.guids(), step.guids) << "page " << step.page;
        EXPECT_EQ(reply.text("msg"), "OK");
        EXPECT_EQ(reply.number("status"), 200);
    }
    EXPECT_TRUE(Recorder::shared().logged("localmedialist request:cur:4,cnt:2,cond:localmedia"));
}

TEST_F(JobList, APageAboveOneThousandIsATime)
{
    for (int i = 0; i < 6; ++i) {
        insertJob({.guid = "job" + std::to_string(i), .ct = 1700000000 + i * 10});
    }
    const std::string movie = dir / "movie.mp4";
    writeFile(movie, 1000);
    execSql("update localmedia set filename='" + movie + "'");
    addPending("job3", 0, 250);
    addPending("job3", 500, 100);

    ListReply reply;
    readList(reply, 1700000035, 2);  // before job4 (…040): job3 and job2
    EXPECT_EQ(reply.number("page"), 1);
    EXPECT_EQ(reply.guids(), (std::vector<std::string>{"job3", "job2"}));
    EXPECT_EQ(entryText(reply.entry(0), "scid"), "scid-job3");
    EXPECT_EQ(entryNumber(reply.entry(0), "upprocess"), 65);
    EXPECT_EQ(entryNumber(reply.entry(1), "upprocess"), 99);

    // The time does not move the page cursor: page 0 still follows the last page number asked.
    ListReply next;
    readList(next, 0, 2);
    EXPECT_EQ(next.number("page"), 2);
    EXPECT_TRUE(Recorder::shared().logged(
        "localmedialist request:cur:1,cnt:2,cond:(select *,rowid from localmedia where ct < 1700000035)"));
}

TEST_F(JobList, StatusHintAndVisibilityAsShown)
{
    struct Case {
        const char* guid;
        int status;
        const char* publictype;
        int shown;
        const char* hint;
        const char* shownType;
    };
    const Case cases[] = {
        {"s0", 0, "all", 0, "", "sim"},        {"s1", 1, "1", 1, "", "all"},
        {"s2", 2, "0", 2, "队列中", "off"},    {"s3", 3, "2", 3, "", "off"},
        {"s4", 4, nullptr, 4, "", "off"},      {"s5", 5, "all", 0, "", "sim"},
        {"s16", 16, "friends", 2, "队列中", "friends"}, {"s17", 17, "off", 4, "", "off"},
        // The current upload job is not "in the queue"; it is recognised by its first 30 characters.
        {"0123456789abcdef0123456789abcdef", 16, "all", 2, "", "all"},
    };
    g_curguid.set("0123456789abcdef0123456789abcdXX");
    long ct = 1000;
    for (const Case& c : cases) {
        insertJob({.guid = c.guid, .ct = ct++, .status = c.status, .publictype = c.publictype});
    }
    ListReply reply;
    readList(reply, 1, 50);
    ASSERT_EQ(reply.size(), static_cast<int>(std::size(cases)));
    for (const Case& c : cases) {
        const cJSON* entry = findEntry(reply, c.guid);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entryNumber(entry, "status"), c.shown) << c.guid;
        EXPECT_EQ(entryText(entry, "hintText"), c.hint) << c.guid;
        EXPECT_EQ(entryText(entry, "publicType"), c.shownType) << c.guid;
    }

    g_curguid.set("");
    ListReply none;
    readList(none, 1, 50);
    EXPECT_EQ(entryText(findEntry(none, "0123456789abcdef0123456789abcdef"), "hintText"), "队列中");
}

TEST_F(JobList, ProgressFromFileSizeAndPendingBytes)
{
    struct Case {
        const char* guid;
        int status;
        long size;  // -1: no file
        std::vector<long> pending;
        int fileSize;
        int upprocess;
    };
    const Case cases[] = {
        {"finished", 3, -1, {500}, 0, 100},         // finished shows 100 whatever its file
        {"missing", 2, -1, {}, 0, 0},               // a deleted file shows 0
        {"empty", 2, 0, {}, 0, 0},
        {"overdue", 2, 1000, {800, 400}, 1000, 99},  // more pending than the file holds
        {"third", 2, 1000, {700}, 1000, 30},
        {"rounded", 4, 3000, {1001}, 3000, 66},      // (3000-1001)*100/3000 = 66.63
        {"nothing-left", 16, 1000, {}, 1000, 99},    // at most 99 until it is finished
        {"new", 5, 1000, {}, 1000, 0},               // shown as 0: no progress
    };
    long ct = 1000;
    for (const Case& c : cases) {
        const std::string path = dir / (std::string(c.guid) + ".mp4");
        if (c.size >= 0) {
            writeFile(path, static_cast<size_t>(c.size));
        }
        insertJob({.guid = c.guid, .ct = ct++, .filename = path, .status = c.status});
        for (size_t i = 0; i < c.pending.size(); ++i) {
            addPending(c.guid, static_cast<long>(i) * 65536, c.pending[i]);
        }
    }
    execSql("insert into uploadprocess(id,off,len) values(999,0,999999);");  // ranges of no job change nothing

    ListReply reply;
    readList(reply, 1, 50);
    for (const Case& c : cases) {
        const cJSON* entry = findEntry(reply, c.guid);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entryNumber(entry, "fileSize"), c.fileSize) << c.guid;
        EXPECT_EQ(entryNumber(entry, "upprocess"), c.upprocess) << c.guid;
    }
}

TEST_F(JobList, EntryKeysInOrderWithTheirValues)
{
    crtfun::setwallclock(1700000000 + 3 * 3600);
    const std::string movie = dir / "clip.flv";
    writeFile(movie, 12);
    insertJob({.guid = "rec", .ct = 1700000000, .filename = movie, .status = 2, .filetype = 0, .length = -1,
               .title = "It's a | title || 's"});
    insertJob({.guid = "imp", .ct = 1600000000, .filename = dir / "movie.flv", .status = 2, .filetype = 16,
               .length = 42});

    ListReply reply;
    readList(reply, 1, 50);
    ASSERT_EQ(reply.size(), 2);
    std::vector<std::string> keys;
    for (const cJSON* item = reply.entry(0)->child; item != nullptr; item = item->next) {
        keys.push_back(item->string);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"guid", "t", "length", "createTime", "createTimeNice", "pic", "status",
                                              "type", "fn", "loginToken", "scid", "hintText", "fileSize",
                                              "publicType", "upprocess"}));
    std::vector<std::string> top;
    for (const cJSON* item = reply.root->child; item != nullptr; item = item->next) {
        top.push_back(item->string);
    }
    EXPECT_EQ(top, (std::vector<std::string>{"msg", "status", "page", "total", "result"}));

    const cJSON* rec = reply.entry(0);
    EXPECT_EQ(entryText(rec, "t"), "It's a | title || 's");
    EXPECT_EQ(entryNumber(rec, "length"), 0);  // -1 is not known yet
    EXPECT_EQ(entryNumber(rec, "createTime"), 1700000000000.0);
    EXPECT_EQ(entryText(rec, "createTimeNice"), "3小时前");
    EXPECT_EQ(entryText(rec, "pic"), "/img/rec.jpg");
    EXPECT_EQ(entryNumber(rec, "type"), 0);
    EXPECT_EQ(entryText(rec, "fn"), dir / "clip.MOV");  // a recorded job names its recording
    EXPECT_EQ(entryText(rec, "loginToken"), "tok");
    EXPECT_EQ(entryNumber(rec, "fileSize"), 12);

    const cJSON* imp = reply.entry(1);
    EXPECT_EQ(entryText(imp, "fn"), dir / "movie.flv");
    EXPECT_EQ(entryNumber(imp, "length"), 42);
    EXPECT_EQ(entryNumber(imp, "type"), 16);
}

TEST(JobListWithoutDatabase, AnswersStatus400AndReportsTheFailure)
{
    jobstest::installCallbacks();
    ListReply reply;
    readList(reply, 1, 50);
    EXPECT_EQ(reply.number("status"), 400);
    EXPECT_EQ(reply.text("msg"), "打开数据库失败");
    EXPECT_EQ(reply.number("total"), 0);
    EXPECT_EQ(Recorder::shared().events(), (std::vector<StatusEvent>{{3, 0, "打开数据库失败", ""}}));
    EXPECT_TRUE(Recorder::shared().logged("error sql is:0,getlocalmedialist_select,0"));
}

TEST(JobListWithoutDatabase, StorageRemovedIsANoticeAndNoError)
{
    TempDir dir;
    jobstest::installCallbacks();
    UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
    UtilityAdapter_SetExtData(6, "", 1);
    ASSERT_FALSE(global_isdbopen());
    Recorder::shared().clear();

    ListReply reply;
    readList(reply, 1, 50);
    EXPECT_EQ(reply.number("status"), 400);
    // The failed read closes the database, which ends the engine recording (its byte count is reported).
    EXPECT_EQ(Recorder::shared().events(),
              (std::vector<StatusEvent>{{4, 2, "SD卡被拔出，没有可用本地视频！", ""}, {2, 3, "0", ""}}));
}

TEST_F(JobList, UserTextIsStoredAndReadBackIntact)
{
    global_newmedia row;
    row.guid = "g1";
    row.ct = 1234;
    row.filename = dir / "it's|a'||movie.mp4";
    row.usertoken = "to'ken";
    row.title = "it's 'quoted' | with || bars; drop table localmedia;--";
    row.localimg = dir / "o'neil.jpg";
    EXPECT_GT(global_insertlocalmedia(row), 0);

    EXPECT_EQ(global_requestjobdata("g1", "title"), row.title);
    EXPECT_EQ(global_requestjobdata("g1", "filename"), row.filename);
    EXPECT_EQ(global_requestjobdata("g1", "usertoken"), row.usertoken);
    EXPECT_EQ(global_requestjobdata("g1", "publictype"), "off");
    ListReply reply;
    readList(reply, 1, 50);
    ASSERT_EQ(reply.size(), 1);
    EXPECT_EQ(entryText(reply.entry(0), "t"), row.title);
    EXPECT_EQ(entryText(reply.entry(0), "pic"), row.localimg);
    EXPECT_EQ(Recorder::shared().count(3, 0), 0u);

    // A second row with the same guid is refused quietly: the job exists.
    bool existed = false;
    EXPECT_EQ(global_insertlocalmedia(row, &existed), 0);
    EXPECT_TRUE(existed);
    EXPECT_EQ(Recorder::shared().count(3, 0), 0u);
}

TEST_F(JobList, OneColumnIsReadOnlyByItsOwnName)
{
    insertJob({.guid = "g1", .ct = 77, .title = "a title"});
    struct Case {
        const char* column;
        std::string value;
    };
    const Case cases[] = {
        {"title", "a title"}, {"TITLE", "a title"}, {"ct", "77"},     {"rowid", "1"},
        {"localimg", "/img/g1.jpg"}, {"adddata", ""},  // empty value
        {"title from localmedia;--", ""}, {"sqlite_version()", ""}, {"", ""}, {"*", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(global_requestjobdata("g1", c.column), c.value) << c.column;
    }
    EXPECT_EQ(global_requestjobdata("nope", "title"), "");
    EXPECT_EQ(global_requestjobdata("g1' or '1'='1", "title"), "");
    EXPECT_EQ(Recorder::shared().count(3, 0), 0u);
}

TEST_F(JobList, EveryInsertLearnsItsOwnRowId)
{
    constexpr int kThreads = 4;
    constexpr int kRows = 25;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < kRows; ++i) {
                global_newmedia row;
                row.guid = "t" + std::to_string(t) + "-" + std::to_string(i);
                const int64_t rowid = global_insertlocalmedia(row);
                if (rowid == 0 || global_requestjobdata(row.guid, "rowid") != std::to_string(rowid)) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(querySql("select count(*) from localmedia"), std::vector<std::string>{std::to_string(kThreads * kRows)});
}

TEST_F(JobList, ClosingOrReopeningDoesNotCutOffARunningStatement)
{
    for (int i = 0; i < 5; ++i) {
        insertJob({.guid = "old" + std::to_string(i), .ct = 1000 + i});
    }
    global_dbstatement select(global_getdb(), "select guid from localmedia order by ct");
    ASSERT_EQ(select.step(), SQLITE_ROW);
    EXPECT_EQ(select.text(0), "old0");

    UtilityAdapter_SetExtData(3, (dir / "new.db").c_str(), 4);  // another database meanwhile
    insertJob({.guid = "new0"});
    UtilityAdapter_SetExtData(6, "", 1);  // and storage removed
    EXPECT_FALSE(global_isdbopen());

    std::vector<std::string> rest;
    while (select.step() == SQLITE_ROW) {
        rest.push_back(select.text(0));
    }
    EXPECT_EQ(rest, (std::vector<std::string>{"old1", "old2", "old3", "old4"}));

    // Later users see no database, then the reopened one.
    EXPECT_EQ(global_requestjobdata("new0", "guid"), "");
    UtilityAdapter_SetExtData(6, "", 0);
    EXPECT_EQ(global_requestjobdata("new0", "guid"), "new0");
}
