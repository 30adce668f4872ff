// The live road: a movie grows while the engine remuxes it into FLV and uploads it live to the
// stand-in service; when the recording ends the duration is patched, the job becomes an ordinary upload
// and finishes, and the service holds exactly the local FLV. Also the live upload job released in the
// middle of a recording, and the duration reaching copies of the metadata that wait to be sent.
#include "engine/crtfun.h"
#include "live_support.h"

#include "fixtures/GrowingMovie.h"
#include "service/CommitRoutes.h"
#include "service/MetaRoutes.h"
#include "service/UploadRoutes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {
namespace live_road_test_cpp {

using livetest::Event;
using livetest::Record;

// A Unix time to pin the wall clock at; the recording ends kPinnedDuration seconds later.
constexpr time_t kRecordingStart = 1714570200;
// The "duration" number of the metadata for a 32-character guid.
constexpr size_t kDurationOffset = 86;

class LiveRoad : public livetest::LiveFixture {
protected:
    void SetUp() override
    {
        LiveFixture::SetUp();
        // The codec header comes from the service, as on a first start.
        prepareheader("dev");
        ASSERT_EQ(transformat_getheader(), transformat_hexdecode(standin::kMetaHeaderHex));
        moviePath = mediaPath + "/2024-05-01-15-30-00.MOV";
        flvPath = crtfun::replacefileext(moviePath, "flv");
        guid = md5(flvPath);
    }

    // Starts the live job on the growing movie (the camera has created it).
    void startLive(GrowingMovie& movie)
    {
        ASSERT_TRUE(movie.start()) << movie.error();
        crtfun::setwallclock(kRecordingStart);
        operation(33, moviePath, "");
        ASSERT_TRUE(record().has({2, 6, guid, ""}));
    }

    // Writes the rest of the movie, finishes it, and waits until the remux has read all of it.
    void finishMovie(GrowingMovie& movie)
    {
        while (movie.writeFrames(5)) {
        }
        ASSERT_TRUE(movie.finish()) << movie.error();
        const uint64_t size = readWholeFile(moviePath).size();
        ASSERT_TRUE(flvtest::waitFor([&] {
            const transformat_progress p = transformat_getprogress();
            return p.waiting && p.movieread == size;
        }));
    }

    void stopLive()
    {
        crtfun::setwallclock(kRecordingStart + kPinnedDuration);
        operation(35, "", "");
    }

    bool finished()
    {
        return waitFor([&](const Record& r) { return r.has({5, 2, guid, "3"}); });
    }

    std::string scid() { return record().msg2Of(5, 6, guid); }

    std::string moviePath;
    std::string flvPath;
    std::string guid;
};

TEST_F(LiveRoad, LiveRecordingReachesTheServiceWhileRecordedAndFinishesAsTheLocalFlv)
{
    upload_manager_startjob();
    GrowingMovie movie(moviePath, {.seconds = 4});
    startLive(movie);
    ASSERT_TRUE(waitFor([&](const Record& r) { return !r.msg2Of(5, 6, guid).empty(); }));
    const std::string token = scid();

    // Half the recording, then blocks reach the service as a live upload while the camera goes on.
    movie.writeFrames(movie.totalFrames() / 2);
    ASSERT_TRUE(flvtest::waitFor([&] {
        for (const standin::ReceivedBlock& b : service.uploads().blocks(token, "flv")) {
            if (b.lastMode == "live") {
                return true;
            }
        }
        return false;
    }));
    finishMovie(movie);
    stopLive();
    ASSERT_TRUE(finished());

    const Record r = record();
    // The job was handed over to the ordinary upload, then finished.
    const long handover = r.find({5, 2, guid, "2"});
    ASSERT_GE(handover, 0);
    EXPECT_GT(r.find({5, 2, guid, "3"}), handover);
    EXPECT_EQ(column(guid, "status"), "3");

    // Its commits ran: everyone may see the video, and the upload server closed the file complete.
    const std::vector<standin::Request> shares = service.server().requests(standin::kShareWithPath);
    ASSERT_EQ(shares.size(), 1u);
    EXPECT_EQ(standin::findParam(shares[0].formParams(), "suids"), "all");
    EXPECT_EQ(standin::findParam(shares[0].formParams(), "scid"), token);
    EXPECT_EQ(service.uploads().endCalls(token, "flv"), 1u);
    const std::vector<standin::Request> ends = service.server().requests(standin::kUploadEndPath);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, 200);
    EXPECT_EQ(column(guid, "adddata"), "||");

    // The service holds the local FLV byte for byte, the patched duration included.
    const std::vector<uint8_t> local = livetest::fileBytes(flvPath);
    ASSERT_GT(local.size(), 64u * 1024);
    const std::string uploaded = service.uploads().contents(token, "flv");
    EXPECT_TRUE(uploaded == std::string(local.begin(), local.end())) << uploaded.size() << " of " << local.size();
    EXPECT_EQ(livetest::doubleAt(local, kDurationOffset), double(kPinnedDuration));
    EXPECT_TRUE(r.has({2, 3, std::to_string(local.size()), ""}));

    // The recording the job was made from gives the list its duration and thumbnail.
    ASSERT_EQ(r.thumbs.size(), 1u);
    EXPECT_EQ(r.thumbs[0], (livetest::Thumb{moviePath, imagePath + "/2024-05-01-15-30-00.jpg"}));
    EXPECT_EQ(column(guid, "length"), "7");
    EXPECT_TRUE(r.has({5, 4, guid, "7"}));

    // ffprobe reads one packet per sample of the movie, timestamps rising in each stream.
    std::vector<MovieSample> samples;
    std::string error;
    ASSERT_TRUE(readMovieSamples(moviePath, samples, error)) << error;
    const size_t videoSamples =
        std::count_if(samples.begin(), samples.end(), [](const MovieSample& s) { return s.track == MovieTrack::Video; });
    const flvtest::ProbeResult probe = flvtest::probePackets(flvPath);
    EXPECT_TRUE(probe.otherLines.empty()) << probe.otherLines.front();
    size_t video = 0;
    size_t audio = 0;
    long long lastVideo = -1;
    long long lastAudio = -1;
    for (const auto& [type, pts] : probe.packets) {
        long long& last = type == "video" ? lastVideo : lastAudio;
        (type == "video" ? video : audio) += 1;
        EXPECT_GT(pts, last) << type;
        last = pts;
    }
    EXPECT_EQ(video, videoSamples);
    EXPECT_EQ(audio, samples.size() - videoSamples);
}

TEST_F(LiveRoad, LiveJobReleasedWhileRecordingKeepsEveryLaterByteAsRanges)
{
    // No upload manager yet: blocks wait for it in the live job.
    GrowingMovie movie(moviePath, {.seconds = 3});
    startLive(movie);
    const _UploadRef live = currentJob();
    ASSERT_TRUE(live);
    ASSERT_EQ(live->guid, guid);
    const uint32_t id = live->id;
    ASSERT_GT(id, 0u);
    movie.writeFrames(movie.totalFrames() / 3);
    ASSERT_TRUE(flvtest::waitFor([&] { return live->liveblocks.count() >= 1; }));

    // A pause or a replacement releases the job while the remux goes on writing.
    upload_getlock();
    _upload_deletejob(vcurup);
    upload_releaselock();
    EXPECT_FALSE(currentJob());
    finishMovie(movie);
    stopLive();

    // Nothing was queued on the released job; every byte of the FLV is a range, the patched
    // duration once more on its own.
    EXPECT_EQ(live->liveblocks.count(), 0);
    const std::vector<uint8_t> local = livetest::fileBytes(flvPath);
    const std::vector<flvtest::Range> pending = ranges(id);
    uint64_t covered = 0;
    bool patch = false;
    for (const flvtest::Range& r : pending) {
        if (r.off == kDurationOffset && r.len == 8) {
            patch = true;
            continue;
        }
        EXPECT_EQ(r.off, covered);
        covered = uint64_t(r.off) + r.len;
    }
    EXPECT_TRUE(patch);
    EXPECT_EQ(covered, local.size());
    // The row is an ordinary waiting upload now, with the recording's length.
    EXPECT_EQ(column(guid, "status"), "2");
    EXPECT_TRUE(record().has({5, 2, guid, "2"}));

    // The upload manager sends it from the file.
    upload_manager_startjob();
    ASSERT_TRUE(finished());
    const std::string uploaded = service.uploads().contents(scid(), "flv");
    EXPECT_TRUE(uploaded == std::string(local.begin(), local.end())) << uploaded.size() << " of " << local.size();
    EXPECT_EQ(livetest::doubleAt(local, kDurationOffset), double(kPinnedDuration));
}

TEST_F(LiveRoad, PatchedDurationReachesTheMetadataWaitingToBeSent)
{
    // No upload manager yet: the first block (header, metadata, codec header) waits to be sent.
    GrowingMovie movie(moviePath, {.seconds = 1});
    startLive(movie);
    finishMovie(movie);
    stopLive();

    const _UploadRef live = currentJob();
    ASSERT_TRUE(live);
    EXPECT_EQ(live->status, 2);
    std::vector<crtfun::_memitem*> waiting;
    upload_getlock();
    while (crtfun::_memitem* block = live->liveblocks.getblock()) {
        waiting.push_back(block);
    }
    ASSERT_GE(waiting.size(), 2u);
    const crtfun::_memitem* first = waiting.front();
    const crtfun::_memitem* patch = waiting.back();
    EXPECT_EQ(first->off, 0u);
    EXPECT_EQ(livetest::doubleAt(std::vector<uint8_t>(first->buf, first->buf + first->len), kDurationOffset),
              double(kPinnedDuration));
    EXPECT_EQ(patch->off, kDurationOffset);
    EXPECT_EQ(patch->len, 8u);
    for (crtfun::_memitem* block : waiting) {
        live->liveblocks.putblock(block);
    }
    upload_releaselock();

    upload_manager_startjob();
    ASSERT_TRUE(finished());
    const std::vector<uint8_t> local = livetest::fileBytes(flvPath);
    EXPECT_TRUE(service.uploads().contents(scid(), "flv") == std::string(local.begin(), local.end()));
}

}  // namespace live_road_test_cpp
}  // namespace
