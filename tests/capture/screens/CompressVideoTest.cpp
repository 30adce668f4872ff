// The movie re-encoder: its own re-encode with and without a sound track, no file left when reading
// fails, the export by the "videoQuality" preset, and the movie's details in the log.
#include <gtest/gtest.h>

#include <filesystem>

#include "ScreenTestSupport.h"
#include "capture/recorders/CompressVideo.h"
#include "fixtures/MovieProbe.h"
#include "fixtures/TestMovie.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAsset.h"
#include "platform/media/AVAssetReader.h"

namespace {
namespace CompressVideoTest_cpp {

using namespace screentest;

class CompressVideoTest : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        AVAssetReader::setStandInFailsAfterSamples(-1);
    }
    void TearDown() override
    {
        AVAssetReader::setStandInFailsAfterSamples(-1);
        ScreenTest::TearDown();
    }
    std::string source(const TestMovieSpec& spec)
    {
        const std::string path = home / (spec.withSound ? "source-sound.mp4" : "source-silent.mp4");
        std::string error;
        EXPECT_TRUE(writeTestMovie(path, spec, &error)) << error;
        return path;
    }
    // The movies in the media folder.
    std::vector<std::string> mediaMovies() const
    {
        std::vector<std::string> found;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(home / "home/Documents", ignored)) {
            if (entry.path().extension() == ".mov") {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }
};

TEST_F(CompressVideoTest, ReencodesWithAndWithoutSoundAndLeavesNothingWhenReadingFails)
{
    startEngine();
    for (bool withSound : {true, false}) {
        SCOPED_TRACE(withSound ? "with sound" : "without sound");
        auto compressor = CompressVideo::initWithUrl(NSURL::fileURLWithPath(source({320, 240, 12, withSound})));
        ASSERT_TRUE(compressor->compress());
        ASSERT_TRUE(pumpMainUntil([&] { return compressor->isDone(); }, 60s));
        const std::string out = compressor->outputPath();
        EXPECT_EQ(out.substr(out.size() - 4), ".mov");
        const ProbedMovie movie = probeMovie(out);
        ASSERT_EQ(movie.error, "");
        const ProbedStream* video = movie.stream("video");
        ASSERT_TRUE(video);
        EXPECT_EQ(video->width, 480);
        EXPECT_EQ(video->height, 320);
        EXPECT_EQ(video->level, 31);
        EXPECT_EQ(video->packetTimes.size(), 12u);
        const ProbedStream* audio = movie.stream("audio");
        if (withSound) {
            ASSERT_TRUE(audio);
            EXPECT_EQ(audio->channels, 1);
            EXPECT_FALSE(audio->packetTimes.empty());
        } else {
            EXPECT_TRUE(!audio || audio->packetTimes.empty());
        }
        std::filesystem::remove(out);
    }

    // Reading fails part-way (in the sound step, then in the picture step): no movie is left behind
    // for the engine's scan to take.
    for (int64_t after : {3, 20}) {
        SCOPED_TRACE(after);
        AVAssetReader::setStandInFailsAfterSamples(after);
        auto compressor = CompressVideo::initWithUrl(NSURL::fileURLWithPath(home / "source-sound.mp4"));
        ASSERT_TRUE(compressor->compress());
        ASSERT_TRUE(pumpMainUntil([&] { return compressor->isDone(); }, 60s));
        EXPECT_TRUE(mediaMovies().empty());
    }

    NSLogCapture log(true);
    AVAssetReader::setStandInFailsAfterSamples(-1);
    EXPECT_FALSE(CompressVideo::initWithUrl(NSURL::fileURLWithPath(home / "missing.mp4"))->compress());
    EXPECT_TRUE(log.contains("error: "));
}

TEST_F(CompressVideoTest, TheDetailsLogTheMoviesMetadataAndItsAccessLog)
{
    const std::string path = source({320, 240, 30, true});
    const auto bytes = std::filesystem::file_size(path);
    auto compressor = CompressVideo::initWithUrl(NSURL::fileURLWithPath(path));
    NSLogCapture log(true);
    compressor->getMovieDetail();
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[1].find("=metaData "), std::string::npos);
    const std::string& access = lines[2];
    EXPECT_EQ(access.find("(null)"), std::string::npos) << access;
    EXPECT_NE(access.find("#Fields: uri bytes c-observed-bitrate c-stalls"), std::string::npos) << access;
    // The one event: the movie's address, its bytes, their bit rate over the movie's length, no stall.
    const double seconds = CMTimeGetSeconds(AVURLAsset::URLAssetWithURL_options(NSURL::fileURLWithPath(path))->duration());
    ASSERT_GT(seconds, 0);
    const std::string event = NSURL::fileURLWithPath(path)->absoluteString() + " " + std::to_string(bytes) + " ";
    const size_t at = access.find(event);
    ASSERT_NE(at, std::string::npos) << access;
    const double bitrate = std::stod(access.substr(at + event.size()));
    EXPECT_NEAR(bitrate, double(bytes) * 8 / seconds, 1);
    EXPECT_NE(access.find(" 0 ", at + event.size()), std::string::npos) << "no stall: " << access;
}

TEST_F(CompressVideoTest, ExportPresetFollowsTheQualityDefaultWithMediumOtherwise)
{
    startEngine();
    const std::string path = source({640, 480, 6, true});
    struct Case {
        const char* name;
        int quality;  // -1: never written
        int width;
        int height;
    };
    for (const Case& c : {Case{"never written", -1, 480, 360}, Case{"1", 1, 640, 480}, Case{"3", 3, 192, 144},
                          Case{"2", 2, 480, 360}, Case{"unknown 9", 9, 480, 360}}) {
        SCOPED_TRACE(c.name);
        if (c.quality < 0) {
            NSUserDefaults::standardUserDefaults()->removeObjectForKey("videoQuality");
        } else {
            NSUserDefaults::standardUserDefaults()->setInteger_forKey(c.quality, "videoQuality");
        }
        NSLogCapture log(true);
        auto compressor = CompressVideo::initWithUrl(NSURL::fileURLWithPath(path));
        compressor->compressWithExportSession();
        ASSERT_TRUE(pumpMainUntil([&] { return compressor->isDone(); }, 60s));
        EXPECT_TRUE(log.contains("Export Complete 3 (null)"));
        const ProbedMovie movie = probeMovie(compressor->outputPath());
        ASSERT_EQ(movie.error, "");
        EXPECT_EQ(movie.majorBrand, "qt  ");
        ASSERT_TRUE(movie.stream("video"));
        EXPECT_EQ(movie.stream("video")->width, c.width);
        EXPECT_EQ(movie.stream("video")->height, c.height);
        std::filesystem::remove(compressor->outputPath());
    }
}

}  // namespace CompressVideoTest_cpp
}  // namespace
