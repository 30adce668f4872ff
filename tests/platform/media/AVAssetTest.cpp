// Movie assets: durations and stills of a movie recorded like the camera's.

#include "platform/media/AVAsset.h"
#include "platform/media/AVAssetReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "fixtures/GrowingMovie.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"

namespace fs = std::filesystem;

namespace {

class AVAssetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string pattern = (fs::temp_directory_path() / "ombri-asset-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        folder = pattern;
        // One second at 30 frames per second: frame n is shown from n / 30 s.
        GrowingMovieOptions options;
        options.seconds = 1;
        GrowingMovie movie((folder / "clip.mov").string(), options);
        recorded = movie.start() && movie.writeFrames(movie.totalFrames()) && movie.finish();
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    void SetUp() override { ASSERT_TRUE(recorded); }

    static Ref<AVURLAsset> asset(const std::string& name, bool precise = false)
    {
        return AVURLAsset::URLAssetWithURL_options(
            NSURL::fileURLWithPath((folder / name).string()),
            Value::dictionary({{AVURLAssetPreferPreciseDurationAndTimingKey, Value(precise)}}));
    }

    // The synthetic camera writes its frame number into the top band: 8-pixel blocks, block b bright
    // exactly when its parity equals bit b of the number.
    static int frameNumber(const CGImageRef& image)
    {
        int number = 0;
        for (int block = 0; block < 16; ++block) {
            const uint32_t pixel = image->pixelAt(size_t(block * 8 + 4), 3);
            const bool bright = ((pixel >> 8) & 0xFF) > 128;
            const int bit = bright ? (block & 1) : 1 - (block & 1);
            number |= bit << block;
        }
        return number;
    }

    static inline fs::path folder;
    static inline bool recorded = false;
};

}  // namespace

TEST_F(AVAssetTest, DurationAndSizeOfARecordedMovie)
{
    for (bool precise : {false, true}) {
        auto movie = asset("clip.mov", precise);
        EXPECT_TRUE(movie->isReadable());
        EXPECT_TRUE(movie->hasVideoTrack());
        EXPECT_TRUE(CMTIME_IS_VALID(movie->duration()));
        EXPECT_NEAR(CMTimeGetSeconds(movie->duration()), 1.0, 0.05) << "precise " << precise;
        EXPECT_EQ(movie->naturalSize(), CGSizeMake(480, 360));
        EXPECT_EQ(movie->preferredRotation(), 0);
    }
}

TEST_F(AVAssetTest, StillIsTheFrameShownAtTheRequestedTime)
{
    struct Case {
        CMTime requested;
        int frame;
    };
    auto generator = AVAssetImageGenerator::assetImageGeneratorWithAsset(asset("clip.mov"));
    generator->setAppliesPreferredTrackTransform(true);
    for (const Case& c : {Case{kCMTimeZero, 0}, Case{CMTimeMake(30, 60), 15}, Case{CMTimeMake(52, 100), 15},
                          Case{CMTimeMake(29, 30), 29}, Case{CMTimeMake(10, 1), 29}}) {
        CMTime actual = kCMTimeInvalid;
        Ref<NSError> error;
        CGImageRef still = generator->copyCGImageAtTime_actualTime_error(c.requested, &actual, &error);
        ASSERT_TRUE(still) << CMTimeGetSeconds(c.requested);
        EXPECT_FALSE(error);
        EXPECT_EQ(still->width(), 480u);
        EXPECT_EQ(still->height(), 360u);
        ASSERT_TRUE(still->hasPixels());
        EXPECT_EQ(frameNumber(still), c.frame) << CMTimeGetSeconds(c.requested);
        EXPECT_NEAR(CMTimeGetSeconds(actual), c.frame / 30.0, 0.002) << CMTimeGetSeconds(c.requested);
        EXPECT_EQ(still->pixelAt(200, 200) >> 24, 0xFFu);  // opaque
    }

    generator->setMaximumSize(CGSizeMake(240, 240));
    CGImageRef small = generator->copyCGImageAtTime_actualTime_error(kCMTimeZero, nullptr, nullptr);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width(), 240u);
    EXPECT_EQ(small->height(), 180u);
}

TEST_F(AVAssetTest, WhatIsNoMovieHasNoDurationAndNoStill)
{
    std::ofstream(folder / "notes.mov") << "these are words, not a movie\n";
    for (const char* name : {"missing.mov", "notes.mov"}) {
        auto movie = asset(name);
        EXPECT_FALSE(movie->isReadable()) << name;
        EXPECT_FALSE(movie->hasVideoTrack()) << name;
        EXPECT_EQ(CMTimeGetSeconds(movie->duration()), 0) << name;
        Ref<NSError> error;
        auto generator = AVAssetImageGenerator::assetImageGeneratorWithAsset(movie);
        EXPECT_FALSE(generator->copyCGImageAtTime_actualTime_error(CMTimeMake(1, 2), nullptr, &error)) << name;
        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->domain(), AVFoundationErrorDomain);
    }
}

// A file location is read as the file it names and nothing else: a path spelled like one of the
// demuxer's other ways of reading (joining files, standard input, the network) names a file that does
// not exist, so the asset is unreadable and has no tracks, where such a path used to be obeyed.
TEST_F(AVAssetTest, APathIsOnlyEverReadAsAFile)
{
    const std::string clip = (folder / "clip.mov").string();
    ASSERT_TRUE(asset("clip.mov")->isReadable());
    for (const std::string& path : {"concat:" + clip + "|" + clip, "subfile,,start,0,end,0,,:" + clip,
                                    std::string("pipe:0"), std::string("http://127.0.0.1:9/clip.mov")}) {
        std::string text = "file:";
        for (char c : path) {
            text += c == '|' ? std::string("%7C") : std::string(1, c);
        }
        auto url = NSURL::URLWithString(text);
        ASSERT_TRUE(url && url->isFileURL()) << path;
        ASSERT_EQ(url->path(), path);
        auto movie = AVURLAsset::URLAssetWithURL_options(url, Value::dictionary());
        EXPECT_FALSE(movie->isReadable()) << path;
        EXPECT_TRUE(AVAssetTrack::tracksOfAsset(movie, AVMediaTypeVideo).empty()) << path;
    }
}
