// A movie file as the source of a chain: every frame, in order, at the movie's size, on the main
// thread; an unreadable movie is reported and nothing reaches the targets.
#include <gtest/gtest.h>

#include <mutex>

#include "GpuTestSupport.h"
#include "capture/gpu/GPUMovie.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/SyntheticMedia.h"

#include "fixtures/TemporaryFolder.h"
#include "fixtures/TestMovie.h"

namespace {
namespace MovieSourceTest_cpp {

// Behind a passthrough filter: reads each frame back and notes the frame number it shows.
class FrameNumberReader : public gputest::RecordingInput {
public:
    Weak<GPUFilter> filter;
    std::vector<int64_t> numbers;
    std::vector<bool> onMain;

    void newFrameReady() override
    {
        RecordingInput::newFrameReady();
        onMain.push_back(NSThread::isMainThread());
        const gputest::Picture frame = gputest::readFramebuffer(*filter.lock());
        numbers.push_back(CameraTestPicture::readFrameNumber(frame.rgba.data(), frame.width, frame.height,
                                                            static_cast<size_t>(frame.width) * 4));
    }
};

}  // namespace MovieSourceTest_cpp
}  // namespace

class GPUMovieTest : public ::testing::Test {
protected:
    MainThreadScope main_;
    TemporaryFolder folder_;
};

TEST_F(GPUMovieTest, HandsEveryFrameOnInOrderOnTheMainThread)
{
    using namespace MovieSourceTest_cpp;
    const std::string path = folder_ / "clip.mp4";
    std::string error;
    ASSERT_TRUE(writeTestMovie(path, TestMovieSpec{320, 240, 14, true}, &error)) << error;

    auto movie = GPUMovie::initWithURL(NSURL::fileURLWithPath(path));
    auto passthrough = GPUFilter::initWithFragmentShaderFromString(std::string(kGPUPassthroughFragmentShaderString));
    auto reader = std::make_shared<FrameNumberReader>();
    reader->filter = passthrough;
    movie->addTarget(passthrough);
    passthrough->addTarget(reader);
    Weak<GPUMovie> watched = movie;
    movie->startProcessing();
    movie.reset();  // the loading thread keeps it while it reads

    ASSERT_TRUE(pumpMainUntil([&] { return watched.expired(); })) << "reading never ended";
    std::vector<int64_t> expected;
    for (int64_t k = 0; k < 14; ++k) {
        expected.push_back(k);
    }
    EXPECT_EQ(reader->numbers, expected);
    EXPECT_EQ(reader->onMain, std::vector<bool>(14, true));
    EXPECT_EQ(reader->calls.front(), "texture set at 0");
    EXPECT_EQ(reader->calls[1], "size 320x240");
    passthrough->removeAllTargets();
}

TEST_F(GPUMovieTest, AMovieThatCannotBeReadIsLoggedAndSendsNothing)
{
    const std::string notAMovie = folder_ / "notes.mp4";
    FILE* file = fopen(notAMovie.c_str(), "w");
    ASSERT_TRUE(file);
    fputs("not a movie", file);
    fclose(file);
    for (const std::string& path : {notAMovie, folder_ / "missing.mp4"}) {
        SCOPED_TRACE(path);
        NSLogCapture log(true);
        auto movie = GPUMovie::initWithURL(NSURL::fileURLWithPath(path));
        auto recorder = std::make_shared<gputest::RecordingInput>();
        movie->addTarget(recorder);
        Weak<GPUMovie> watched = movie;
        movie->startProcessing();
        movie.reset();
        ASSERT_TRUE(pumpMainUntil([&] { return watched.expired(); }));
        EXPECT_EQ(log.count("Error reading"), 1u);
        EXPECT_EQ(recorder->calls, (std::vector<std::string>{"texture set at 0", "size 0x0", "texture 0 at 0"}));
    }
}
