// The live recording jobs without the live road: titles and time-of-day words, the video sign, the
// duration from the thumbnail callback, the size by orientation, the effect file's range, one live job
// at a time, the engine's own recording, and the byte count reported when the database closes.
#include "engine/crtfun.h"
#include "live_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {
namespace live_jobs_test_cpp {

using livetest::Event;
using livetest::localTime;
using livetest::Record;

class LiveJobs : public livetest::LiveFixture {
protected:
    // A movie file of `size` bytes in the media folder.
    std::string makeMovie(const std::string& name, size_t size = 100)
    {
        const std::string path = mediaPath + "/" + name;
        std::ofstream(path, std::ios::binary) << std::string(size, 'm');
        return path;
    }
};

TEST_F(LiveJobs, TitleNamesMonthDayAndTimeOfDay)
{
    struct Case {
        int month, day, hour, minute;
        const char* title;
    };
    const Case cases[] = {
        {5, 1, 15, 30, "摄于5月1日下午"}, {5, 1, 0, 10, "摄于5月1日午夜"}, {1, 9, 3, 0, "摄于1月9日凌晨"},
        {1, 9, 8, 59, "摄于1月9日清晨"},  {1, 9, 9, 0, "摄于1月9日上午"},  {1, 9, 14, 59, "摄于1月9日午间"},
        {1, 9, 18, 0, "摄于1月9日傍晚"},  {12, 31, 23, 59, "摄于12月31日晚上"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const time_t when = localTime(2024, c.month, c.day, c.hour, c.minute);
        crtfun::setwallclock(when);
        // Kind 32: the movie itself is the job, kept local.
        const std::string movie = makeMovie("title" + std::to_string(++n) + ".MOV");
        const size_t created = record().count(2, 1);
        operation(32, movie, "");
        const std::string guid = md5(movie);
        EXPECT_EQ(column(guid, "title"), c.title);
        EXPECT_EQ(column(guid, "ct"), std::to_string(when));
        EXPECT_EQ(record().count(2, 1), created + 1);
        EXPECT_TRUE(record().has({2, 1, std::to_string(when), ""}));
        operation(35, "", "");
    }
    // What a kept-local movie job is stored as.
    const std::string guid = md5(mediaPath + "/title1.MOV");
    EXPECT_EQ(column(guid, "filetype"), "16");
    EXPECT_EQ(column(guid, "status"), "5");
    EXPECT_EQ(column(guid, "usertoken"), "");
    EXPECT_EQ(column(guid, "filename"), mediaPath + "/title1.MOV");
    EXPECT_EQ(column(guid, "localimg"), imagePath + "/title1.jpg");
}

TEST_F(LiveJobs, VideoSignIsTitledAsSuchAndKeptLocal)
{
    const std::string movie = makeMovie("sign.MOV");
    const size_t before = record().events.size();
    operation(36, movie, "");
    const std::string flv = mediaPath + "/sign.flv";
    const std::string guid = md5(flv);
    const std::vector<Event> all = record().events;
    const std::vector<Event> events(all.begin() + long(before), all.end());
    EXPECT_EQ(events, (std::vector<Event>{{2, 6, guid, ""}, {2, 9, flv, ""}, {2, 7, imagePath + "/sign.jpg", ""},
                                          {7, 36, "", ""}}));
    EXPECT_EQ(record().count(2, 1), 0u);
    EXPECT_EQ(column(guid, "title"), "ombrivideosign");
    EXPECT_EQ(column(guid, "usertoken"), "");
    EXPECT_EQ(column(guid, "filetype"), "0");
    // Nothing is sent while it records: no upload job, no job file.
    EXPECT_FALSE(currentJob());
    EXPECT_FALSE(std::filesystem::exists(flv));
    EXPECT_EQ(column(guid, "status"), "1");

    // The upload manager takes the row marked live for its current job meanwhile.
    upload_manager_startjob();
    ASSERT_TRUE(flvtest::waitFor([&] { return currentJob() && currentJob()->guid == guid; }));

    // Once recorded it waits to be started, like a kept-local movie, and holds up no other upload.
    operation(35, "", "");
    EXPECT_EQ(column(guid, "status"), "5");
    EXPECT_TRUE(record().has({5, 2, guid, "5"}));
    EXPECT_FALSE(currentJob() && currentJob()->guid == guid);
}

TEST_F(LiveJobs, ThumbnailDurationBecomesTheLengthAndNoneIsStoredAsMinusOne)
{
    struct Case {
        int duration;
        const char* length;
        const char* reported;
    };
    const Case cases[] = {{0, "-1", "4294967295"}, {12, "12", "12"}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.duration);
        livetest::Journal::shared().setDuration(c.duration);
        const std::string name = "thumb" + std::to_string(++n);
        const std::string movie = makeMovie(name + ".mov");
        operation(32, movie, "");
        operation(35, "", "");
        const std::string guid = md5(movie);
        EXPECT_EQ(column(guid, "length"), c.length);
        EXPECT_TRUE(record().has({5, 4, guid, c.reported}));
        // The callback is asked about the recording (extension "MOV") and the job's thumbnail.
        EXPECT_EQ(record().thumbs.back(),
                  (livetest::Thumb{mediaPath + "/" + name + ".MOV", imagePath + "/" + name + ".jpg"}));
    }
}

TEST_F(LiveJobs, StoredSizeFollowsTheOrientation)
{
    struct Case {
        int x, y;
        int orientation;
        const char* w;
        const char* h;
    };
    // The effect buffer is 320 x 480.
    const Case cases[] = {{-90, 0, 0, "320", "480"}, {0, -90, 1, "-480", "-320"}, {90, 0, 2, "-320", "-480"},
                          {0, 90, 3, "480", "320"}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        EXPECT_EQ(global_orientation_sensor(nullptr, c.x, c.y) & 3, c.orientation);
        const std::string movie = makeMovie("size" + std::to_string(++n) + ".MOV");
        operation(32, movie, "");
        operation(35, "", "");
        EXPECT_EQ(column(md5(movie), "w"), c.w);
        EXPECT_EQ(column(md5(movie), "h"), c.h);
    }
}

TEST_F(LiveJobs, EffectFileWithContentIsAddedAsARangeOfTheJob)
{
    for (const size_t bytes : {size_t(0), size_t(24)}) {
        SCOPED_TRACE(bytes);
        const std::string name = "effect" + std::to_string(bytes);
        const std::string movie = makeMovie(name + ".MOV");
        operation(32, movie, "");
        const std::string effect = imagePath + "/" + name + ".etf";
        ASSERT_TRUE(std::filesystem::exists(effect));
        std::ofstream(effect, std::ios::binary | std::ios::app) << std::string(bytes, 'e');
        operation(35, "", "");
        const uint32_t id = uint32_t(std::stoul(column(md5(movie), "rowid")));
        const std::vector<flvtest::Range> expected =
            bytes == 0 ? std::vector<flvtest::Range>{} : std::vector<flvtest::Range>{{id, 4194967295u, uint32_t(bytes)}};
        EXPECT_EQ(ranges(id), expected);
    }
}

TEST_F(LiveJobs, OneLiveJobAtATime)
{
    // Ending with nothing running only closes the effect file.
    const size_t ends = record().count(2, 3);  // opening the database reported one
    operation(35, "", "");
    EXPECT_EQ(record().count(2, 3), ends);
    EXPECT_TRUE(record().thumbs.empty());

    // No codec header is loaded here: the live jobs write no FLV, which changes nothing below.
    const std::string first = mediaPath + "/first.MOV";
    const std::string second = mediaPath + "/second.MOV";
    const std::string firstGuid = md5(mediaPath + "/first.flv");
    const std::string secondGuid = md5(mediaPath + "/second.flv");
    operation(33, first, "");
    ASSERT_TRUE(currentJob());
    EXPECT_EQ(currentJob()->guid, firstGuid);
    EXPECT_EQ(column(firstGuid, "status"), "1");

    // The engine's own recording does not start over a live job.
    const int64_t rows = integer("select count(*) from localmedia");
    operation(38, "", "");
    EXPECT_EQ(integer("select count(*) from localmedia"), rows);

    // A second live job ends the first, which becomes an ordinary upload with its duration.
    operation(33, second, "");
    EXPECT_EQ(column(firstGuid, "status"), "2");
    EXPECT_TRUE(record().has({5, 4, firstGuid, "7"}));
    ASSERT_TRUE(currentJob());
    EXPECT_EQ(currentJob()->guid, secondGuid);
    EXPECT_EQ(column(secondGuid, "status"), "1");
    operation(35, "", "");
    EXPECT_EQ(column(secondGuid, "status"), "2");
}

TEST_F(LiveJobs, LiveUploadJobStartsFromWhatItsRowHolds)
{
    // The same recording made again: its row exists, with commits stored for the video.
    const std::string movie = mediaPath + "/again.MOV";
    const std::string guid = md5(mediaPath + "/again.flv");
    ASSERT_TRUE(global_dbexec(("insert into localmedia(guid,ct,filename,status,adddata) values('" + guid +
                               "',1,'again.flv',3,'post://h/m/a.json?x=1||post://h/m/b.json?y=2')")
                                  .c_str()));
    const uint32_t id = uint32_t(std::stoul(column(guid, "rowid")));
    operation(33, movie, "");
    const _UploadRef job = currentJob();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->guid, guid);
    // Its blocks and ranges belong to that row, and no stored commit is dropped.
    EXPECT_EQ(job->id, id);
    upload_getlock();
    EXPECT_EQ(job->precommit.rfind("post://h/m/a.json?x=1", 0), 0u) << job->precommit;
    EXPECT_EQ(job->finishcommit, "post://h/m/b.json?y=2");
    // The live video's visibility joins them, in memory and in the row.
    EXPECT_NE(job->precommit.find("/m/share-with.json?"), std::string::npos) << job->precommit;
    EXPECT_EQ(column(guid, "adddata"), job->precommit + "||" + job->finishcommit);
    upload_releaselock();
    operation(35, "", "");
}

TEST_F(LiveJobs, EngineRecordingSendsLiveOrKeepsLocal)
{
    struct Case {
        int code;
        const char* status;
        const char* usertoken;
        const char* statusAfter;
        bool currentAfter;
    };
    const Case cases[] = {{38, "1", "utok", "2", true}, {37, "0", "", "0", false}};
    time_t when = localTime(2024, 5, 1, 15, 30);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        when += 60;
        crtfun::setwallclock(when);
        const struct tm local = crtfun::localtime_of(when);
        char name[64];
        std::snprintf(name, sizeof name, "/%04d-%02d-%02d-%02d-%02d-%02d.", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        const size_t before = record().events.size();
        operation(c.code, "", "");
        const Record r = record();
        ASSERT_GT(r.events.size(), before + 3);
        const Event& created = r.events[before];
        ASSERT_EQ(created.act, 2u);
        ASSERT_EQ(created.status, 6);
        const std::string guid = created.msg;
        EXPECT_EQ(guid.size(), 32u);
        EXPECT_EQ(r.events[before + 1], (Event{2, 9, videoPath + name + "flv", ""}));
        EXPECT_EQ(r.events[before + 2], (Event{2, 7, imagePath + name + "jpg", ""}));
        EXPECT_TRUE(std::filesystem::exists(videoPath + name + "flv"));
        EXPECT_EQ(column(guid, "status"), c.status);
        EXPECT_EQ(column(guid, "usertoken"), c.usertoken);
        EXPECT_EQ(column(guid, "title"), "");
        EXPECT_EQ(column(guid, "w"), "360");
        EXPECT_EQ(column(guid, "h"), "480");
        ASSERT_TRUE(currentJob());
        EXPECT_EQ(currentJob()->guid, guid);
        EXPECT_EQ(currentJob()->usertoken, c.usertoken);

        crtfun::setwallclock(when + 5);
        const size_t ended = record().count(2, 3);
        operation(39, "", "");
        EXPECT_EQ(record().count(2, 3), ended + 1);
        EXPECT_TRUE(record().has({2, 3, "0", ""}));
        EXPECT_EQ(column(guid, "status"), c.statusAfter);
        EXPECT_EQ(column(guid, "length"), "5");
        EXPECT_EQ(bool(currentJob()), c.currentAfter);
    }
}

TEST_F(LiveJobs, EndsOfRecordingAndClosingTheDatabaseReportTheLastByteCount)
{
    // Opening the database reported the count of no recording yet.
    EXPECT_TRUE(record().has({2, 3, "0", ""}));
    const std::string movie = makeMovie("bytes.MOV", 1234);
    operation(32, movie, "");
    const size_t before = record().events.size();
    operation(35, "", "");

    // Nothing records: the facade's end and the closing of the database report the last count again.
    UtilityAdapter_StopJob(1);
    _global_closedatabase();
    const std::vector<Event> all = record().events;
    std::vector<std::string> counts;
    for (size_t i = before; i < all.size(); ++i) {
        if (all[i].act == 2 && all[i].status == 3) {
            counts.push_back(all[i].msg);
        }
    }
    EXPECT_EQ(counts, (std::vector<std::string>{"1234", "1234", "1234"}));
}

}  // namespace live_jobs_test_cpp
}  // namespace
