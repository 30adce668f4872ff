// The frame walk on real frames: the AAC frames of a movie recorded by the camera-like fixture, found
// through the movie's own index, inside the file bytes around them.

#include "AacFrameBuilder.h"
#include "engine/aac/aac_parser.h"
#include "fixtures/GrowingMovie.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace {

using aactest::capture_log;
using aactest::g_log;

struct RecordedFrames {
    std::vector<uint8_t> file;
    std::vector<MovieSample> audio;  // from the index, in file order
    std::vector<uint32_t> reported;  // the sizes the fixture saw the muxer write
};

// Records a 12-second movie (about 517 audio frames) once per test process.
const RecordedFrames& recorded()
{
    static const RecordedFrames frames = [] {
        RecordedFrames r;
        std::string folder = (fs::temp_directory_path() / "ombri-aac-XXXXXX").string();
        if (!::mkdtemp(folder.data())) {
            ADD_FAILURE() << "mkdtemp failed";
            return r;
        }
        GrowingMovieOptions options;
        options.seconds = 12;
        options.width = 160;
        options.height = 96;
        GrowingMovie movie(folder + "/movie.mp4", options);
        if (!movie.startFreeRunning() || !movie.waitUntilFinished(std::chrono::seconds(90))) {
            ADD_FAILURE() << "recording failed: " << movie.error();
        }
        r.reported = movie.audioFrameSizes();
        std::vector<MovieSample> samples;
        std::string error;
        if (!readMovieSamples(movie.path(), samples, error)) {
            ADD_FAILURE() << error;
        }
        for (const MovieSample& sample : samples) {
            if (sample.track == MovieTrack::Audio) {
                r.audio.push_back(sample);
            }
        }
        r.file = readWholeFile(movie.path());
        fs::remove_all(folder);
        return r;
    }();
    return frames;
}

class AacRecordedFramesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log.clear();
        aac_set_log_callback(&capture_log);
        ASSERT_GT(recorded().audio.size(), 500u);
    }
    void TearDown() override { aac_set_log_callback(nullptr); }
};

}  // namespace

TEST_F(AacRecordedFramesTest, IndexHoldsTheSizesTheMuxerWrote)
{
    std::vector<uint32_t> indexed;
    for (const MovieSample& sample : recorded().audio) {
        indexed.push_back(sample.size);
    }
    EXPECT_EQ(indexed, recorded().reported);
}

TEST_F(AacRecordedFramesTest, EveryFrameInsideTheFileReturnsItsLength)
{
    const RecordedFrames& r = recorded();
    for (size_t i = 0; i < r.audio.size(); ++i) {
        const MovieSample& s = r.audio[i];
        ASSERT_LE(static_cast<size_t>(s.offset) + s.size, r.file.size());
        // Followed by the rest of the file (the next samples, and the index after the last one).
        const size_t rest = r.file.size() - static_cast<size_t>(s.offset);
        EXPECT_EQ(getaudio_cutlen(r.file.data() + s.offset, rest), s.size) << "frame " << i;
        // Followed by just the 512 bytes the live remux keeps ahead.
        EXPECT_EQ(getaudio_cutlen(r.file.data() + s.offset, std::min<size_t>(rest, s.size + 512)), s.size)
            << "frame " << i;
    }
    EXPECT_TRUE(g_log.empty()) << g_log.front();
}

TEST_F(AacRecordedFramesTest, EveryFrameFollowedByOtherBytesReturnsItsLength)
{
    const RecordedFrames& r = recorded();
    std::mt19937 random(7);
    for (size_t i = 0; i < r.audio.size(); ++i) {
        const MovieSample& s = r.audio[i];
        std::vector<uint8_t> buffer(r.file.begin() + s.offset, r.file.begin() + s.offset + s.size);
        for (int k = 0; k < 32; ++k) {
            buffer.push_back(static_cast<uint8_t>(random()));
        }
        EXPECT_EQ(getaudio_cutlen(buffer.data(), buffer.size()), s.size) << "frame " << i;
    }
}

TEST_F(AacRecordedFramesTest, EveryCutFrameReturnsInvalid)
{
    const RecordedFrames& r = recorded();
    size_t cuts = 0;
    for (size_t i = 0; i < r.audio.size(); ++i) {
        const MovieSample& s = r.audio[i];
        // Exactly sized copies: a read past the cut would be caught by the address sanitizer.
        const size_t step = i < 40 ? 1 : 17;  // every cut of the first frames, a spread of the others
        for (size_t length = 0; length < s.size; length += step) {
            std::vector<uint8_t> cut(r.file.begin() + s.offset, r.file.begin() + s.offset + length);
            cut.shrink_to_fit();
            ASSERT_EQ(getaudio_cutlen(cut.data(), cut.size()), AAC_CUTLEN_INVALID)
                << "frame " << i << " cut at " << length << " of " << s.size;
            ++cuts;
        }
        std::vector<uint8_t> whole(r.file.begin() + s.offset, r.file.begin() + s.offset + s.size);
        whole.shrink_to_fit();
        EXPECT_EQ(getaudio_cutlen(whole.data(), whole.size()), s.size) << "frame " << i << " alone";
    }
    EXPECT_GT(cuts, 5000u);
    EXPECT_EQ(g_log.back(), "decode error!!!");
}

TEST_F(AacRecordedFramesTest, DamagedFramesNeverReadOutsideTheBuffer)
{
    // Flipped bits make other frames or invalid ones; either way the result stays inside the buffer.
    const RecordedFrames& r = recorded();
    std::mt19937 random(11);
    size_t invalid = 0;
    for (size_t i = 0; i < r.audio.size(); ++i) {
        const MovieSample& s = r.audio[i];
        for (int trial = 0; trial < 8; ++trial) {
            std::vector<uint8_t> buffer(r.file.begin() + s.offset, r.file.begin() + s.offset + s.size);
            for (int flips = 0; flips < 1 + trial; ++flips) {
                buffer[random() % buffer.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            }
            buffer.shrink_to_fit();
            const uint32_t length = getaudio_cutlen(buffer.data(), buffer.size());
            if (length == AAC_CUTLEN_INVALID) {
                ++invalid;
            } else {
                EXPECT_LE(length, buffer.size());
            }
        }
    }
    EXPECT_GT(invalid, 0u);
}
