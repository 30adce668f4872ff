// The upload engine's steps called one at a time on a real job database, without the manager thread:
// range cutting, block requests, the job choice, the release of a job, the display percentage, the
// network policy and the reading of a block's answer.
#include "upload_fixture.h"

#include <numeric>

namespace {

using uploadtest::Job;
using uploadtest::UploadFixture;
using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;

uint64_t total(const Ranges& ranges)
{
    uint64_t sum = 0;
    for (const auto& r : ranges) {
        sum += r.second;
    }
    return sum;
}

class UploadBlockTest : public UploadFixture {
protected:
    _UploadRef fetch(const std::string& guid) { return _upload_fetchjob("guid='" + guid + "'"); }

    std::string blockBytes(const _UploadObject& job, int index)
    {
        const crtfun::_memitem* block = job.conn[index].sendblock;
        return std::string(reinterpret_cast<const char*>(block->buf), block->len);
    }
};

TEST_F(UploadBlockTest, LongRangesAreCutInOneBatchAndKeepTheirRowsUntilAccepted)
{
    struct Case {
        uint64_t size;
        Ranges expected;  // after the first block was prepared
    };
    Ranges million{{0, 65536}};
    for (uint64_t off = 65536; off <= 917504; off += 65536) {
        million.emplace_back(off, 65536);
    }
    million.emplace_back(983040, 16960);
    // Longer than one cut: 25 new rows, then the rest as one.
    Ranges three{{0, 65536}};
    for (int k = 1; k <= 25; ++k) {
        three.emplace_back(65536u * k, 65536);
    }
    three.emplace_back(1703936, 1296064);
    const std::vector<Case> cases = {{1000000, million}, {3000000, three}};

    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string guid = "g" + std::to_string(c.size);
        const std::string bytes = writeFile(guid + ".flv", c.size);
        const uint32_t id = insertJob({.guid = guid, .filename = dir / (guid + ".flv")}, c.size);
        _UploadRef job = fetch(guid);
        ASSERT_TRUE(job);
        EXPECT_EQ(job->filesize, c.size);
        EXPECT_EQ(job->remainsize, c.size);

        ASSERT_EQ(_upload_preparesendbuf(job.get(), 0), 0);
        EXPECT_EQ(ranges(id), c.expected);
        EXPECT_EQ(job->conn[0].sendblock->off, 0u);
        EXPECT_EQ(blockBytes(*job, 0), bytes.substr(0, 65536));

        // The other connection takes the next range, not the one in flight.
        ASSERT_EQ(_upload_preparesendbuf(job.get(), 1), 0);
        EXPECT_EQ(job->conn[1].sendblock->off, 65536u);
        EXPECT_EQ(blockBytes(*job, 1), bytes.substr(65536, 65536));
        // Nothing left the database: a crash now loses no byte.
        EXPECT_EQ(total(ranges(id)), c.size);
    }
}

TEST_F(UploadBlockTest, RestOfALongRangeIsCutAgainWhenItsTurnComesTakingTheAcceptedRowsAlong)
{
    const uint64_t cutEnd = 1703936;  // the end of the first cut: its first row and 25 new ones
    const uint64_t size = 3000000;
    writeFile("big.flv", size);
    const uint32_t id = insertJob({.guid = "big", .filename = dir / "big.flv"}, size);
    ASSERT_EQ(_upload_preparesendbuf(fetch("big").get(), 0), 0);
    // Sent and deleted, but for the first two blocks: accepted, their rows still waiting.
    exec("delete from uploadprocess where off >= 131072 and off < " + std::to_string(cutEnd));
    _UploadRef job = fetch("big");
    job->accepted = {0, 65536};
    ASSERT_EQ(_upload_preparesendbuf(job.get(), 0), 0);
    EXPECT_EQ(job->conn[0].sendblock->off, cutEnd);
    EXPECT_TRUE(job->accepted.empty());
    const Ranges rest = ranges(id);
    EXPECT_EQ(total(rest), size - cutEnd);
    for (const auto& r : rest) {
        EXPECT_LE(r.second, 65536u) << r.first;
    }
}

TEST_F(UploadBlockTest, BlockRequestHeaderNamesTokenOffsetLengthModeAndExtension)
{
    struct Case {
        const char* name;
        int status;
        int filetype;
        bool effect;
        const char* firstline;
    };
    const std::vector<Case> cases = {
        {"movie.flv", 2, 0, false, "POST /upload?t=abc&o=0&l=1200&m=rec&p=flv HTTP/1.1"},
        {"movie.flv", 16, 16, false, "POST /upload?t=abc&o=0&l=1200&m=up&p=f4v HTTP/1.1"},
        {"movie.MOV", 2, 16, false, "POST /upload?t=abc&o=0&l=1200&m=up&p=MOV HTTP/1.1"},
        {"movie.flv", 1, 0, false, "POST /upload?t=abc&o=0&l=1200&m=live&p=flv HTTP/1.1"},
        {"movie.flv", 2, 0, true, "POST /upload?t=abc&o=0&l=1200&m=rec&p=etf HTTP/1.1"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.status) + (c.effect ? " effect" : ""));
        const std::string guid = "h" + std::to_string(++n);
        const std::string movie = writeFile(guid + c.name, 1200, 1);
        const std::string effect = writeFile(guid + "thumb.etf", 1200, 2);
        const uint32_t id = insertJob({.guid = guid,
                                       .filename = dir / (guid + c.name),
                                       .status = c.status,
                                       .filetype = c.filetype,
                                       .localimg = dir / (guid + "thumb.jpg"),
                                       .uploadtoken = "abc",
                                       .uploadsvr = "192.0.2.1:8080"});
        addRange(id, c.effect ? kUploadEffectMarker : 0, 1200);
        _UploadRef job = fetch(guid);
        // A live job reads the database on its second connection only.
        const int index = c.status == 1 ? 1 : 0;
        ASSERT_EQ(_upload_preparesendbuf(job.get(), index), 0);
        _upload_make_sendheader(job.get(), index);
        EXPECT_EQ(job->conn[index].header, std::string(c.firstline) +
                                               "\r\nHost: 192.0.2.1:8080\r\nContent-Length: 1200\r\n"
                                               "User-Agent: zizuvozizir\r\nConnection: Keep-Alive\r\n\r\n");
        EXPECT_EQ(blockBytes(*job, index), c.effect ? effect : movie);
        if (c.status == 1) {
            EXPECT_EQ(_upload_preparesendbuf(job.get(), 0), 200);
        }
    }
}

TEST_F(UploadBlockTest, UnreadableFileKeepsItsRangeAndEmptyFileShowsZeroPercent)
{
    const uint32_t id = insertJob({.guid = "gone", .filename = dir / "missing.flv"}, 1000);
    _UploadRef job = fetch("gone");
    EXPECT_EQ(job->filesize, 0u);
    EXPECT_EQ(_upload_percent(job.get()), 0u);
    EXPECT_EQ(_upload_preparesendbuf(job.get(), 0), 200);
    EXPECT_EQ(job->conn[0].sendblock, nullptr);
    EXPECT_EQ(ranges(id), (Ranges{{0, 1000}}));
    EXPECT_GE(record().line("error:can not read filedata off:0,len:1000"), 0);
}

TEST_F(UploadBlockTest, PercentIsTruncatedAndHeldBetweenOneAndNinetyNine)
{
    struct Case {
        uint32_t filesize;
        uint32_t remainsize;
        unsigned int percent;
    };
    const std::vector<Case> cases = {{0, 0, 0},       {1000, 1000, 1}, {1000, 995, 1}, {1000, 500, 50},
                                     {1000, 1, 99},   {1000, 0, 99},   {3, 1, 66}};
    _UploadObject job;
    for (const Case& c : cases) {
        job.filesize = c.filesize;
        job.remainsize = c.remainsize;
        EXPECT_EQ(_upload_percent(&job), c.percent) << c.filesize << "," << c.remainsize;
    }
}

TEST_F(UploadBlockTest, NetworkPolicyDecidesWhichJobsMayUpload)
{
    struct Case {
        int policy;
        int net;
        int status;
        bool allowed;
    };
    const std::vector<Case> cases = {
        {2, 0, 2, false}, {2, 2, 2, true},   {2, 3, 2, true},   {1, 2, 16, false}, {1, 1, 1, false},
        {1, 3, 2, true},  {0, 2, 2, false},  {0, 3, 2, true},   {0, 2, 16, true},  {0, 2, 1, true},
        {0, 3, 4, false}, {7, 3, 2, false},
    };
    _UploadObject job;
    for (const Case& c : cases) {
        g_uploadstatus.store(c.policy);
        g_netstatus.store(c.net);
        job.status = c.status;
        EXPECT_EQ(_upload_networkallowed(&job), c.allowed) << c.policy << "," << c.net << "," << c.status;
    }
}

TEST_F(UploadBlockTest, JobChoiceTakesLiveThenForcedThenWaitingAndIdlesWithoutWork)
{
    std::lock_guard<crtfun::crtmutex> hold(curupmtx);
    EXPECT_EQ(_upload_checkcurrentjob(), 500u);
    EXPECT_TRUE(g_uploadidle.load());

    // While idle, new rows are not searched for.
    for (const auto& [guid, status] : std::vector<std::pair<std::string, int>>{
             {"paused", 4}, {"waiting", 2}, {"done", 3}, {"forced", 16}, {"live", 1}, {"notoken", 0}}) {
        insertJob({.guid = guid, .filename = dir / guid, .status = status});
    }
    EXPECT_EQ(_upload_checkcurrentjob(), 500u);
    EXPECT_FALSE(vcurup);

    g_uploadidle.store(false);
    for (const char* expected : {"live", "forced", "waiting"}) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(_upload_checkcurrentjob(), 0u);
        ASSERT_TRUE(vcurup);
        EXPECT_EQ(vcurup->guid, expected);
        EXPECT_EQ(g_curguid.get(), expected);
        // Paused meanwhile: it stops being current at the next choice.
        exec("update localmedia set status=4 where guid='" + std::string(expected) + "'");
        vcurup->status = 4;
        EXPECT_EQ(_upload_checkcurrentjob(), 1u);
        EXPECT_FALSE(vcurup);
        EXPECT_EQ(g_curguid.get(), "");
    }
    EXPECT_EQ(_upload_checkcurrentjob(), 500u);
    EXPECT_TRUE(g_uploadidle.load());
}

TEST_F(UploadBlockTest, ReleaseWritesBackLiveBlocksAndKeepsRowsOfBlocksInFlight)
{
    writeFile("m.flv", 200000);
    const uint32_t id = insertJob({.guid = "m", .filename = dir / "m.flv"}, 200000);
    _UploadRef job = fetch("m");
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        vcurup = job;
        g_curguid.set("m");
    }
    // One block read from the database is in flight; of the live remux's two blocks one is in flight
    // and one still waits.
    ASSERT_EQ(_upload_preparesendbuf(job.get(), 1), 0);
    EXPECT_TRUE(job->conn[1].fromdb);
    for (uint32_t off : {300000u, 365536u}) {
        crtfun::_memitem* live = job->freeblocks.getornewblock();
        live->off = off;
        live->len = 1000;
        job->liveblocks.putblock(live);
    }
    ASSERT_EQ(_upload_preparesendbuf(job.get(), 0), 0);
    EXPECT_FALSE(job->conn[0].fromdb);
    EXPECT_EQ(job->conn[0].sendblock->off, 300000u);

    _upload_deletejob(job);
    EXPECT_FALSE(vcurup);
    EXPECT_EQ(g_curguid.get(), "");
    Ranges expected{{0, 65536}, {65536, 65536}, {131072, 65536}, {196608, 3392}, {300000, 1000}, {365536, 1000}};
    EXPECT_EQ(ranges(id), expected);
}

TEST_F(UploadBlockTest, BlockAnswerIsDecidedOnlyWhenWhole)
{
    struct Case {
        const char* name;
        std::string text;
        int status;
        bool closeafter;
    };
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 14\r\n\r\n{\"status\":200}";
    const std::vector<Case> cases = {
        {"nothing yet", "", -2, false},
        {"status line cut", "HTTP/1.1 2", -2, false},
        {"status line whole, header not", "HTTP/1.1 200 OK\r\nContent-Le", -2, false},
        {"body cut", ok.substr(0, ok.size() - 3), -2, false},
        {"whole", ok, 200, false},
        {"lower-case length", "HTTP/1.1 200 OK\r\ncontent-length: 0\r\n\r\n", 200, false},
        {"refused", "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n", 500, false},
        {"closing", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", 200, true},
        {"no length", "HTTP/1.1 200 OK\r\n\r\n", 200, true},
        {"bytes after the answer", ok + "HTTP/1.1 200 OK\r\n", 200, true},
        {"not HTTP", "garbage\r\n\r\n", -1, false},
        {"bad status", "HTTP/1.1 2x0 OK\r\n\r\n", -1, false},
        {"endless header", "HTTP/1.1 200 OK\r\n" + std::string(kUploadMaxAnswer, 'x'), -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const _upload_answer answer = _upload_parseanswer(c.text);
        EXPECT_EQ(answer.status, c.status);
        if (c.status >= 0) {
            EXPECT_EQ(answer.closeafter, c.closeafter);
        }
    }
}

}  // namespace
