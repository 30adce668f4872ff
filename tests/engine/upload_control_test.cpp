// Upload job control: start, pause, reset, deletion of files and on the service, against a real job
// database and, where the upload runs, the stand-in service over real sockets.
#include "upload_fixture.h"

#include "block_gate.h"

#include "engine/jobcontrol.h"

#include "service/CommitRoutes.h"
#include "service/UploadRoutes.h"

#include <unistd.h>

#include <filesystem>

namespace {
namespace upload_control_test_cpp {

using namespace std::chrono_literals;
using standin::Request;
using standin::Response;
using uploadtest::Job;
using uploadtest::Record;
using uploadtest::UploadFixture;

template <class Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;

class JobControlTest : public UploadFixture {
protected:
    static std::string currentGuid()
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        return vcurup ? vcurup->guid : std::string();
    }

    static void makeCurrent(const std::string& guid)
    {
        const _UploadRef job = _upload_fetchjob(_upload_sql("guid='%q'", guid.c_str()));
        ASSERT_TRUE(job);
        _upload_set_current_job(job);
    }

    // A file of `size` bytes that takes no room (its bytes read as zeros).
    std::string sparseFile(const std::string& name, off_t size)
    {
        const std::string path = dir / name;
        std::ofstream(path, std::ios::binary).close();
        EXPECT_EQ(::truncate(path.c_str(), size), 0);
        return path;
    }

    static bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
};

// ---- start --------------------------------------------------------------------------------------------

struct StartCase {
    const char* name;
    int before;
    int network;
    int after;
};

class JobStart : public JobControlTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(JobStart, NewStatusFollowsTheNetworkAndWhatTheJobWas)
{
    const StartCase& c = GetParam();
    g_netstatus.store(c.network);
    insertJob({.guid = "g", .filename = sparseFile("m.MOV", 1000), .status = c.before}, 1000);
    upload_startjob_byguid("g", false);
    EXPECT_EQ(column("g", "status"), std::to_string(c.after));
    EXPECT_TRUE(record().has(5, 2, "g", "2"));
}

INSTANTIATE_TEST_SUITE_P(Statuses, JobStart,
                         ::testing::Values(StartCase{"PausedForcedStaysForcedOnWifi", 17, 3, 16},
                                           StartCase{"PausedPlainStaysPlainOnCellular", 4, 2, 2},
                                           StartCase{"WaitingOnCellularIsForced", 2, 2, 16},
                                           StartCase{"WaitingOnWifi", 2, 3, 2},
                                           StartCase{"NetworkOneCountsAsCellular", 0, 1, 16},
                                           StartCase{"NoNetworkIsPlain", 0, 0, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RecalcCase {
    const char* name;
    off_t size;
    off_t effect;  // size of the effect file beside the thumbnail, 0 for none
    Ranges ranges;
};

Ranges tenOf(uint64_t block)
{
    Ranges out;
    for (uint64_t i = 0; i < 10; ++i) {
        out.emplace_back(i * block, block);
    }
    return out;
}

Ranges smallFile()
{
    Ranges out;
    for (uint64_t i = 0; i < 9; ++i) {
        out.emplace_back(i * 65536, 65536);
    }
    out.emplace_back(589824, 10176);
    return out;
}

class JobRecalc : public JobControlTest, public ::testing::WithParamInterface<RecalcCase> {};

TEST_P(JobRecalc, ResetJobGetsItsRangesFromItsFile)
{
    const RecalcCase& c = GetParam();
    const std::string thumb = dir / "g.jpg";
    if (c.effect != 0) {
        sparseFile("g.etf", c.effect);
    }
    const uint32_t id = insertJob({.guid = "g", .filename = sparseFile("m.MOV", c.size), .status = 5, .localimg = thumb});
    addRange(id, 5, 5);  // a stale range is replaced, never sent twice
    upload_startjob_byguid("g", false);
    EXPECT_EQ(ranges(id), c.ranges);
    EXPECT_EQ(column("g", "status"), "2");
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, JobRecalc,
    ::testing::Values(RecalcCase{"BelowTenBlocksIn64KiB", 600000, 0, smallFile()},
                      RecalcCase{"LargeFileInTenRanges", 10000000, 0, tenOf(1000000)},
                      RecalcCase{"AtTheLimitInTenRanges", 655370, 0, tenOf(65537)},
                      RecalcCase{"EmptyFile", 0, 0, {}},
                      RecalcCase{"WithItsEffectFile", 100, 1200, {{0, 100}, {4194967295u, 1200}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobControlTest, ResetJobWhoseFileIsMissingReportsItAndStaysReset)
{
    const uint32_t id = insertJob({.guid = "g", .filename = dir / "gone.MOV", .status = 5});
    upload_startjob_byguid("g", true);
    EXPECT_EQ(column("g", "status"), "5");
    EXPECT_TRUE(ranges(id).empty());
    EXPECT_TRUE(record().has(3, 3, "视频文件不存在或无法打开", ""));
    EXPECT_EQ(currentGuid(), "");
}

TEST_F(JobControlTest, StartNowReplacesTheCurrentJobButNeverALiveOne)
{
    insertJob({.guid = "live", .status = 1});
    insertJob({.guid = "wait", .status = 2});
    insertJob({.guid = "other", .filename = sparseFile("m.MOV", 1000), .status = 4}, 1000);

    makeCurrent("live");
    upload_startjob_byguid("other", true);
    EXPECT_EQ(currentGuid(), "live");
    EXPECT_EQ(column("other", "status"), "2");

    makeCurrent("wait");
    upload_startjob_byguid("other", true);
    EXPECT_EQ(currentGuid(), "other");
    EXPECT_EQ(g_curguid.get(), "other");
}

// ---- pause --------------------------------------------------------------------------------------------

struct PauseCase {
    const char* name;
    int before;
    int after;
    bool reported;
};

class JobPause : public JobControlTest, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(JobPause, PausesWhatCanBePaused)
{
    const PauseCase& c = GetParam();
    insertJob({.guid = "g", .status = c.before});
    upload_stopjob_byguid("g");
    EXPECT_EQ(column("g", "status"), std::to_string(c.after));
    EXPECT_EQ(record().has(5, 2, "g", "4"), c.reported);
    EXPECT_TRUE(record().has(5, 0, "g", "0％"));  // no file: nothing sent
}

INSTANTIATE_TEST_SUITE_P(Statuses, JobPause,
                         ::testing::Values(PauseCase{"Waiting", 2, 4, true}, PauseCase{"Forced", 16, 17, true},
                                           PauseCase{"Live", 1, 4, true}, PauseCase{"NoUserToken", 0, 4, true},
                                           PauseCase{"AlreadyPausedForced", 17, 17, false},
                                           // A new job would start as paused, without its ranges, and
                                           // "finish" at once with nothing sent.
                                           PauseCase{"NewJobKeepsItsRangesToCome", 5, 5, false},
                                           PauseCase{"Finished", 3, 3, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobControlTest, PauseInTheMiddleLosesNoByteAndResumeFinishes)
{
    enginetest::BlockGate gate(service, 10, enginetest::BlockGate::Hold::BeforeStoring);
    const size_t size = 3000000;
    const std::string bytes = writeFile("movie.flv", size);
    const uint32_t id = insertJob({.guid = "g", .filename = dir / "movie.flv"}, size);
    upload_manager_startjob();
    ASSERT_TRUE(gate.waitForHeld(2));  // both connections have a block in flight

    upload_stopjob_byguid("g");
    EXPECT_EQ(currentGuid(), "");
    EXPECT_EQ(column("g", "status"), "4");
    const Record paused = record();
    EXPECT_TRUE(paused.has(5, 2, "g", "4"));
    bool percentShown = false;
    for (const auto& e : paused.events) {
        percentShown |= e.act == 5 && e.status == 0 && e.msg == "g" && e.msg2.find("％") != std::string::npos &&
                        e.msg2 != "0％";
    }
    EXPECT_TRUE(percentShown);
    // Every byte the server has not accepted is still a range: the blocks in flight kept their rows.
    const Ranges left = ranges(id);
    for (const standin::ByteRange& hole : service.uploads().missing("sc1", "flv", size)) {
        uint64_t reached = hole.offset;  // the ranges are in order of offset
        for (const auto& [off, len] : left) {
            if (off <= reached && off + len > reached) {
                reached = off + len;
            }
        }
        EXPECT_GE(reached, hole.offset + hole.length) << "hole at " << hole.offset << "+" << hole.length;
    }
    gate.release();

    upload_startjob_byguid("g", true);
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(5, 2, "g", "3"); }));
    EXPECT_EQ(service.uploads().contents("sc1", "flv"), bytes);
    EXPECT_TRUE(ranges(id).empty());
}

// ---- reset --------------------------------------------------------------------------------------------

TEST_F(JobControlTest, ResetStartsTheUploadAgainUnderANewScidWithoutTheOldEndCall)
{
    const std::string host = service.hostPort();
    const std::string friends = "post://" + host + "/m/with.json?suids=1&token=utok";
    const std::string share = "post://" + host + "/m/share-weibo.json?msg=x&othertype=2&token=utok";
    const size_t size = 200000;
    const std::string bytes = writeFile("movie.flv", size);
    const uint32_t id = insertJob({.guid = "g", .filename = dir / "movie.flv", .usertoken = "olduser",
                                   .uploadtoken = "old", .uploadsvr = host},
                                  size);
    exec("update localmedia set adddata=" +
         quote(friends + "||http://" + host + "/upload_tc_file_end?t=old.flv|" + share) + " where guid='g'");
    makeCurrent("g");

    upload_deletejob_byguid("g");
    EXPECT_EQ(currentGuid(), "");
    EXPECT_EQ(column("g", "status"), "5");
    EXPECT_EQ(column("g", "uploadtoken"), "");
    EXPECT_EQ(column("g", "uploadsvr"), "");
    EXPECT_EQ(column("g", "usertoken"), "utok");
    EXPECT_EQ(column("g", "adddata"), friends + "||" + share);
    EXPECT_TRUE(ranges(id).empty());
    EXPECT_TRUE(record().has(5, 2, "g", "0"));

    upload_manager_startjob();
    upload_startjob_byguid("g", true);
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(5, 2, "g", "3"); }));
    EXPECT_EQ(service.uploads().contents("sc1", "flv"), bytes);
    EXPECT_EQ(service.uploads().endCalls("sc1", "flv"), 1u);
    EXPECT_EQ(service.uploads().endCalls("old", "flv"), 0u);
    EXPECT_EQ(service.server().requestCount(standin::kWithPath), 1u);
    EXPECT_EQ(service.server().requestCount(standin::kShareWeiboPath), 1u);
    EXPECT_EQ(column("g", "adddata"), "||");
}

// ---- deletion -----------------------------------------------------------------------------------------

struct DeleteCase {
    const char* name;
    std::string folder;  // video and image folder, under the scratch folder; "-" for none set
    std::string movie;   // under the scratch folder
    bool movieRemoved;
    bool thumbRemoved;
};

class JobDelete : public JobControlTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(JobDelete, RemovesOnlyFilesInsideItsFolders)
{
    const DeleteCase& c = GetParam();
    for (const char* sub : {"user", "username", "media"}) {
        std::filesystem::create_directories(dir / sub);
    }
    const std::string folder = c.folder == "-" ? std::string() : dir / c.folder;
    g_videopath.set(folder);
    g_imagepath.set(folder);
    const std::string movie = dir / c.movie;
    writeFile(c.movie, 10);
    const std::string sibling = crtfun::replacefileext(movie, "MOV");
    writeFile(crtfun::replacefileext(c.movie, "MOV"), 10);
    writeFile("user/g.jpg", 10);
    writeFile("user/g.etf", 10);
    const uint32_t id = insertJob({.guid = "g", .filename = movie, .localimg = dir / "user/g.jpg"}, 10);
    insertJob({.guid = "other"});
    makeCurrent("g");

    upload_deletefile_byguid("g");
    EXPECT_EQ(currentGuid(), "");
    EXPECT_EQ(!exists(movie), c.movieRemoved);
    EXPECT_EQ(!exists(sibling), c.movieRemoved);
    EXPECT_EQ(!exists(dir / "user/g.jpg"), c.thumbRemoved);
    EXPECT_EQ(!exists(dir / "user/g.etf"), c.thumbRemoved);
    EXPECT_EQ(integer("select count(*) from localmedia where guid='g'"), 0);
    EXPECT_TRUE(ranges(id).empty());
    EXPECT_EQ(integer("select count(*) from localmedia"), 1);
}

INSTANTIATE_TEST_SUITE_P(Folders, JobDelete,
                         ::testing::Values(DeleteCase{"RecordingInsideTheFolder", "user", "user/a.flv", true, true},
                                           DeleteCase{"FolderWithTrailingSlash", "user/", "user/a.flv", true, true},
                                           DeleteCase{"ImportedMovieElsewhereIsKept", "user", "media/a.MOV", false, true},
                                           DeleteCase{"FolderNamePrefixIsNotInside", "user", "username/a.flv", false, true},
                                           DeleteCase{"ClimbingOutIsNotInside", "user", "user/../media/a.flv", false, true},
                                           DeleteCase{"NoFolderSetProtectsEverything", "-", "user/a.flv", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ServiceDeleteCase {
    const char* name;
    std::string scid;
    std::string usertoken;
    bool posted;
};

class JobDeleteOnService : public JobControlTest, public ::testing::WithParamInterface<ServiceDeleteCase> {};

TEST_P(JobDeleteOnService, PostsTheDeletionOnlyForAnUploadedVideo)
{
    const ServiceDeleteCase& c = GetParam();
    insertJob({.guid = "v", .status = 3, .usertoken = c.usertoken, .uploadtoken = c.scid});
    upload_deletevideo_byguid("v");
    EXPECT_EQ(integer("select count(*) from localmedia"), 0);
    const std::vector<Request> calls = service.server().requests(standin::kMediaPath);
    ASSERT_EQ(calls.size(), c.posted ? 1u : 0u);
    if (c.posted) {
        EXPECT_EQ(calls[0].method, "POST");
        EXPECT_EQ(calls[0].body, "scid=sc9&token=tok%2b1&_method=delete&vend=lumo");
        EXPECT_EQ(calls[0].status, 200);
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, JobDeleteOnService,
                         ::testing::Values(ServiceDeleteCase{"Uploaded", "sc9", "tok+1", true},
                                           ServiceDeleteCase{"NoScid", "", "tok+1", false},
                                           ServiceDeleteCase{"NoUserToken", "sc9", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace upload_control_test_cpp
}  // namespace
