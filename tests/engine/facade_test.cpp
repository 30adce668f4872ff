// The facade: settings, start-up, shut-down and the database it opens.
#include "engine/UtilityAdapter.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"
#include "engine_recorder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

using enginetest::Recorder;
using enginetest::StatusEvent;
using enginetest::TempDir;

extern "C" int facade_from_c_roundtrip(const char* unopenable_db);

namespace {

std::vector<std::string> texts(const global_settings& s)
{
    return {s.usertoken,      s.photopath,     s.videopath, s.datapath,   s.imagepath, s.dbname,
            s.localvideopath, s.localvideoext, s.logpath,   s.devicename, s.vendor};
}

void exec(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

}  // namespace

TEST(FacadeSettings, TokenIsSetOnlyWithSubZero)
{
    UtilityAdapter_SetExtData(1, "tok", 0);
    EXPECT_EQ(g_usertoken.get(), "tok");
    UtilityAdapter_SetExtData(1, "other", 1);
    EXPECT_EQ(g_usertoken.get(), "tok");
    UtilityAdapter_SetExtData(1, "", 0);
    EXPECT_EQ(g_usertoken.get(), "");
    UtilityAdapter_SetExtData(1, "again", 0);
    UtilityAdapter_SetExtData(1, nullptr, 0);  // null counts as the empty text
    EXPECT_EQ(g_usertoken.get(), "");
}

TEST(FacadeSettings, EachTypeAndSubSetsItsOwnSetting)
{
    struct Case {
        int type;
        int sub;
        global_textsetting& setting;
    };
    const Case cases[] = {
        {3, 0, g_photopath},     {3, 1, g_videopath},     {3, 2, g_datapath}, {3, 3, g_imagepath},
        {3, 5, g_localvideopath}, {3, 6, g_localvideoext}, {3, 7, g_logpath},  {4, 0, g_devicename},
        {4, 9, g_devicename},    {8, 0, g_vendor},
    };
    for (const Case& c : cases) {
        const std::string value = "value " + std::to_string(c.type) + "." + std::to_string(c.sub);
        UtilityAdapter_SetExtData(c.type, value.c_str(), c.sub);
        EXPECT_EQ(c.setting.get(), value) << c.type << "," << c.sub;
    }

    UtilityAdapter_SetExtData(5, "", 3);
    UtilityAdapter_SetExtData(7, "", 2);
    UtilityAdapter_SetExtData(6, "", 1);
    global_settings s = global_getsettings();
    EXPECT_EQ(s.netstatus, 3);
    EXPECT_EQ(s.uploadstatus, 2);
    EXPECT_EQ(s.sdcardstatus, 1);

    // Unknown types and folder kinds change nothing.
    for (auto [type, sub] : {std::pair{3, 8}, std::pair{3, -1}, std::pair{2, 0}, std::pair{9, 0}, std::pair{0, 0}}) {
        UtilityAdapter_SetExtData(type, "stray", sub);
    }
    global_settings after = global_getsettings();
    EXPECT_EQ(texts(after), texts(s));
    EXPECT_EQ(after.netstatus, 3);
    EXPECT_EQ(after.uploadstatus, 2);
    EXPECT_EQ(after.sdcardstatus, 1);
}

TEST(FacadeSettings, EverySettingIsLoggedBeforeItTakesEffect)
{
    Recorder::shared().install();
    enableprintlog(true);
    UtilityAdapter_SetExtData(1, "tok", 7);
    UtilityAdapter_SetExtData(5, nullptr, 2);
    EXPECT_TRUE(Recorder::shared().logged("setextdata:1,7,tok"));
    EXPECT_TRUE(Recorder::shared().logged("setextdata:5,2,"));
}

TEST(FacadeSettings, ReadersAlwaysSeeWholeTexts)
{
    const std::string a(200, 'a'), b(300, 'b');
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            UtilityAdapter_SetExtData(1, (i % 2 ? a : b).c_str(), 0);
            UtilityAdapter_SetExtData(3, (i % 2 ? b : a).c_str(), 3);
        }
        done = true;
    });
    int reads = 0;
    while (!done || reads == 0) {
        global_settings s = global_getsettings();
        EXPECT_TRUE(s.usertoken.empty() || s.usertoken == a || s.usertoken == b);
        const std::string image = g_imagepath.get();
        EXPECT_TRUE(image.empty() || image == a || image == b);
        ++reads;
    }
    writer.join();
}

TEST(FacadeSettings, ServiceHostComesFromTheEnvironment)
{
    ::unsetenv("OMBRI_SERVICE_HOST");
    EXPECT_EQ(global_servicehost(), "127.0.0.1:8080");
    ::setenv("OMBRI_SERVICE_HOST", "127.0.0.1:41234", 1);
    EXPECT_EQ(global_servicehost(), "127.0.0.1:41234");
}

TEST(FacadeDatabase, SamePathTwiceOpensOnce)
{
    TempDir dir;
    Recorder::shared().install();
    UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
    UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
    EXPECT_TRUE(global_isdbopen());
    // Opening ends the engine recording first, which reports its byte count (none recorded).
    EXPECT_EQ(Recorder::shared().events(), (std::vector<StatusEvent>{{2, 3, "0", ""}, {1, 4, "", ""}, {1, 5, "", ""}}));

    UtilityAdapter_SetExtData(3, (dir / "other.db").c_str(), 4);  // a new path opens again
    EXPECT_EQ(Recorder::shared().count(1, 4), 2u);
    EXPECT_TRUE(std::filesystem::exists(dir / "other.db"));
}

TEST(FacadeDatabase, OpeningKeepsRowsAndTurnsLiveJobsIntoWaitingJobs)
{
    TempDir dir;
    const std::string path = dir / "ombri.db";
    exec(path, kJobDatabaseSchema);
    exec(path, "insert into localmedia(guid,status) values('live',1);insert into localmedia(guid,status) "
               "values('paused',4);");
    UtilityAdapter_SetExtData(3, path.c_str(), 4);
    global_dbref db = global_getdb();
    ASSERT_TRUE(db);
    std::vector<std::string> rows;
    sqlite3_exec(
        db.get(), "select guid,status from localmedia order by guid",
        [](void* out, int, char** values, char**) {
            static_cast<std::vector<std::string>*>(out)->push_back(std::string(values[0]) + "=" + values[1]);
            return 0;
        },
        &rows, nullptr);
    EXPECT_EQ(rows, (std::vector<std::string>{"live=2", "paused=4"}));
}

TEST(FacadeDatabase, UnopenableDatabaseIsReportedAsAnError)
{
    TempDir dir;
    Recorder::shared().install();
    UtilityAdapter_SetExtData(3, (dir / "missing/folder/ombri.db").c_str(), 4);
    EXPECT_FALSE(global_isdbopen());
    EXPECT_EQ(Recorder::shared().events(), (std::vector<StatusEvent>{{2, 3, "0", ""}, {3, 0, "打开数据库失败", ""}}));
}

TEST(FacadeDatabase, StorageRemovedClosesTheDatabaseAndItsReturnReopensIt)
{
    TempDir dir;
    Recorder::shared().install();
    UtilityAdapter_SetExtData(3, (dir / "ombri.db").c_str(), 4);
    ASSERT_TRUE(global_isdbopen());

    UtilityAdapter_SetExtData(6, "", 1);
    EXPECT_FALSE(global_isdbopen());
    UtilityAdapter_SetExtData(6, "", 1);  // no change: nothing happens
    EXPECT_FALSE(global_isdbopen());

    UtilityAdapter_SetExtData(6, "", 0);
    EXPECT_TRUE(global_isdbopen());
    EXPECT_EQ(Recorder::shared().count(1, 4), 2u);
    UtilityAdapter_SetExtData(6, "", 0);
    EXPECT_EQ(Recorder::shared().count(1, 4), 2u);
}

TEST(FacadeInit, FlagsChooseAudioRateConversionModeAndLog)
{
    struct Case {
        int flags;
        global_initoptions options;
    };
    const Case cases[] = {
        {70674, {22050, 4, true}},  // 0x11412, what the interface passes
        {0x1, {16000, 2, false}},
        {0x2, {22050, 2, false}},
        {0x3, {22050, 2, false}},
        {0x4, {8000, 2, false}},
        {0x5, {16000, 2, false}},  // 0x3 bits come first
        {0x10, {44100, 2, false}},
        {0x100, {44100, 3, false}},
        {0x500, {44100, 3, false}},  // 0x100 comes first
        {0x400, {44100, 4, false}},
        {0x10000, {44100, 2, true}},
    };
    for (const Case& c : cases) {
        global_initoptions o = global_decodeinitflags(c.flags);
        EXPECT_EQ(o.audiorate, c.options.audiorate) << c.flags;
        EXPECT_EQ(o.convertmode, c.options.convertmode) << c.flags;
        EXPECT_EQ(o.logon, c.options.logon) << c.flags;
    }
}

TEST(FacadeInit, InterfaceFlagsTurnTheLogOnWithoutAFileUntilTheLogFolderIsSet)
{
    TempDir dir;
    Recorder::shared().install();
    EXPECT_EQ(UtilityAdapter_Init(480, 360, 10, 600000, 70674), 0);

    EXPECT_TRUE(isprintlogenabled());
    EXPECT_TRUE(Recorder::shared().logged("init video width:480,360"));
    EXPECT_EQ(getlogfile(), "");
    EXPECT_EQ(filter_convertmode(), 4);
    EXPECT_EQ(filter_convertbuffersize(), 480u * 360u * 4u);
    EXPECT_EQ(g_videowidth.load(), 480);
    EXPECT_EQ(g_videoheight.load(), 360);

    UtilityAdapter_SetExtData(3, dir.path().c_str(), 7);
    EXPECT_EQ(getlogfile(), dir / "ombri.log");
    UtilityAdapter_SetExtData(8, "lumo", 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "ombri.log"));

    UtilityAdapter_SetExtData(3, "", 7);  // no folder: nothing is written anywhere
    EXPECT_EQ(getlogfile(), "");
}

TEST(FacadeInit, FlagsZeroLeaveTheLogOffAndKeepTheModes)
{
    Recorder::shared().install();
    UtilityAdapter_Init(480, 360, 10, 600000, 0);
    EXPECT_FALSE(isprintlogenabled());
    EXPECT_TRUE(Recorder::shared().lines().empty());
    EXPECT_EQ(getlogfile(), "/sdcard/ombri.log");  // untouched, and never written while off
    EXPECT_EQ(filter_convertmode(), 0);
    EXPECT_EQ(filter_convertbuffersize(), 480u * 360u * 4u);

    UtilityAdapter_Init(64, 32, 0, 0, 0x100);
    UtilityAdapter_Init(320, 480, 0, 0, 0);  // a new buffer; flags 0 keep the earlier mode
    EXPECT_EQ(filter_convertmode(), 3);
    EXPECT_EQ(filter_convertbuffersize(), 320u * 480u * 4u);

    UtilityAdapter_Init(-1, 100000, 0, 0, 0);  // no buffer for a size that is not a frame
    EXPECT_EQ(filter_convertbuffersize(), 0u);
}

TEST(FacadeInit, SignalsAreIgnoredForTheProcess)
{
    UtilityAdapter_Init(480, 360, 10, 600000, 70674);
    for (int sig : {SIGPIPE, SIGUSR1, SIGUSR2, SIGCHLD, SIGALRM}) {
        struct sigaction current;
        ASSERT_EQ(sigaction(sig, nullptr, &current), 0);
        EXPECT_EQ(current.sa_handler, SIG_IGN) << sig;
    }
    EXPECT_EQ(::raise(SIGPIPE), 0);  // still alive
}

TEST(FacadeInit, UninitReleasesTheBufferAndAbortsThePendingStatusCondition)
{
    UtilityAdapter_Init(480, 360, 10, 600000, 70674);
    UtilityAdapter_Uninit();
    EXPECT_EQ(filter_convertbuffersize(), 0u);
    EXPECT_TRUE(g_msgqueue.isaborted());
}

TEST(FacadeCalls, ReturnedTextsAndStubs)
{
    char* list = UtilityAdapter_GetLocalMediaList(1, 50);
    ASSERT_NE(list, nullptr);
    UtilityAdapter_FreeString(list);
    UtilityAdapter_FreeString(nullptr);
    // Operation 8 on a name that is not a column answers nothing.
    EXPECT_EQ(UtilityAdapter_JobOperation("guid", 8, "title from localmedia;--"), nullptr);
    EXPECT_EQ(UtilityAdapter_JobOperation("guid", 1, ""), nullptr);
    unsigned char buffer[16];
    EXPECT_EQ(UtilityAdapter_GetAudioData(buffer, 2048), 2048);
}

TEST(FacadeCalls, UsableFromC)
{
    TempDir dir;
    // The C side installs its callbacks through the record and counts the database errors it receives:
    // the failed open, then the list that finds no database.
    EXPECT_EQ(facade_from_c_roundtrip((dir / "missing/ombri.db").c_str()), 2);
}
