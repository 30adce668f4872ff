// Tool::movieThumb_path: the duration of a recorded movie and its still, written as a PNG file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "ApiTestSupport.h"
#include "api/Tool.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSLog.h"
#include "platform/media/MovieFileWriter.h"
#include "platform/media/SyntheticMedia.h"
#include "platform/uikit/UIImage.h"

namespace {

// Records `frames` frames of the synthetic camera at 30 frames per second, with sound.
bool recordMovie(const std::string& path, int frames, int width, int height)
{
    MovieFileSettings settings;
    settings.width = width;
    settings.height = height;
    MovieFileWriter writer;
    if (!writer.startWriting(path, settings)) {
        return false;
    }
    SyntheticCamera camera(width, height);
    SyntheticMicrophone microphone(settings.audioSampleRate);
    std::vector<float> sound(settings.audioSampleRate / settings.frameRate);
    for (int i = 0; i < frames; ++i) {
        if (!writer.appendVideoFrame(camera.frameAt(i))) {
            return false;
        }
        microphone.read(sound.data(), sound.size());
        if (!writer.appendAudioSamples(sound.data(), sound.size())) {
            return false;
        }
    }
    return writer.finishWriting();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ToolMovieThumb, DurationAndPngStillOfARecordedMovieFromAnEngineThread)
{
    apitest::TempFolder folder;
    const std::string movie = folder / "clip.mov";
    ASSERT_TRUE(recordMovie(movie, 45, 480, 360));

    // The thumbnail keeps its name's extension but is a PNG file; the engine calls from its own threads.
    const std::string thumbnail = folder / "clip.jpg";
    double duration = -1;
    std::thread engine([&] { duration = Tool::movieThumb_path(movie, thumbnail); });
    engine.join();
    EXPECT_NEAR(duration, 1.5, 0.05);

    const std::string bytes = readFile(thumbnail);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const Ref<UIImage> still = UIImage::imageWithData(NSData(bytes.data(), bytes.size()));
    ASSERT_TRUE(still);
    EXPECT_EQ(still->size(), CGSizeMake(480, 360));
}

TEST(ToolMovieThumb, NoMovieGivesZeroAndNoFile)
{
    apitest::TempFolder folder;
    {
        std::ofstream(folder / "words.mov") << "not a movie at all";
    }
    NSLogCapture log(true);
    for (const char* name : {"missing.mov", "words.mov"}) {
        const std::string thumbnail = folder / (std::string(name) + ".png");
        EXPECT_EQ(Tool::movieThumb_path(folder / name, thumbnail), 0) << name;
        EXPECT_FALSE(std::ifstream(thumbnail).good()) << name;
    }
    EXPECT_TRUE(log.contains("thumbnailImageGenerationError"));
    EXPECT_EQ(Tool::movieThumb_path("", folder / "none.png"), 0);
}
