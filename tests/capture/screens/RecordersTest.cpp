// The two sample-buffer recorders against the synthetic phone: the preview drawn from each frame, the
// settings that reach the file (read back with FFmpeg), the one file of the plain recorder replaced by
// each recording, and the live recorder's new file per start, bit rate choice and live job.
#include <gtest/gtest.h>

#include "ScreenTestSupport.h"
#include "capture/recorders/CaptureVideoController.h"
#include "capture/recorders/UICaptureVideoController.h"
#include "fixtures/MovieProbe.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/CALayer.h"

namespace {
namespace RecordersTest_cpp {

using namespace screentest;

class Recorders : public ScreenTest {
protected:
    // `count` camera frames at 30 a second, each drawn into the view's layer before the next.
    // The output's queue waits for each callback to end, so no frame is dropped as late.
    void frames(const Ref<UIView>& view, int count, const Ref<AVCaptureOutput>& output)
    {
        const dispatch_queue_t queue = output->sampleBufferCallbackQueue();
        for (int i = 0; i < count; ++i) {
            CGImageRef before = view->layer()->contents();
            clock.advance(1.0 / 30);
            ASSERT_TRUE(pumpMainUntil([&] { return view->layer()->contents() && view->layer()->contents() != before; }, 20s))
                << "frame " << i;
            auto drained = std::make_shared<std::atomic<bool>>(false);
            dispatch_async(queue, [drained] { drained->store(true); });
            ASSERT_TRUE(pumpMainUntil([&] { return drained->load(); }, 20s));
        }
    }
};

TEST_F(Recorders, PlainRecorderWritesItsSettingsIntoOneFileReplacedByEachRecording)
{
    NSLogCapture log(true);
    auto screen = CaptureVideoController::create();
    window->setRootViewController(screen);
    const std::string path = home / "home/Documents/Movie.mp4";
    EXPECT_EQ(CaptureVideoController::moviePath(), path);

    // Before recording, frames only show in the preview.
    frames(screen->view(), 3, screen->videoOutput());
    EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(path));
    EXPECT_FALSE(screen->isCapture());

    for (int frameCount : {20, 8}) {
        SCOPED_TRACE(frameCount);
        tap(screen->captureButton());
        EXPECT_TRUE(screen->isCapture());
        EXPECT_EQ(screen->captureButton()->titleForState(UIControlStateNormal), "停止");
        frames(screen->view(), frameCount, screen->videoOutput());
        tap(screen->captureButton());
        EXPECT_FALSE(screen->isCapture());
        EXPECT_EQ(screen->captureButton()->titleForState(UIControlStateNormal), "开始");

        const ProbedMovie movie = probeMovie(path);
        ASSERT_EQ(movie.error, "");
        EXPECT_EQ(movie.majorBrand, "isom");
        const ProbedStream* video = movie.stream("video");
        ASSERT_TRUE(video);
        EXPECT_EQ(video->codec, "h264");
        EXPECT_EQ(video->width, 640);
        EXPECT_EQ(video->height, 480);
        EXPECT_EQ(video->profile, 77);
        EXPECT_EQ(video->level, 31);
        // This recording's frames, not the last one's added to them.
        EXPECT_NEAR(static_cast<double>(video->packetTimes.size()), frameCount, 1.0);
        const ProbedStream* audio = movie.stream("audio");
        ASSERT_TRUE(audio);
        EXPECT_EQ(audio->codec, "aac");
        EXPECT_EQ(audio->channels, 1);
        EXPECT_EQ(audio->sampleRate, 44100);
    }
    EXPECT_EQ(log.count("停止"), 2u);
    EXPECT_EQ(log.count("开始"), 2u);
    EXPECT_EQ(log.count(path), 2u);
}

TEST_F(Recorders, PlainRecorderOnAPhoneWithoutAMicrophoneRecordsThePictureAlone)
{
    AVCaptureDevice::setStandInDevices(
        {AVCaptureDevice::makeStandInDevice("back", AVMediaTypeVideo, AVCaptureDevicePositionBack, {})});
    auto screen = CaptureVideoController::create();
    window->setRootViewController(screen);
    frames(screen->view(), 2, screen->videoOutput());

    tap(screen->captureButton());
    ASSERT_TRUE(screen->isCapture());
    frames(screen->view(), 15, screen->videoOutput());
    tap(screen->captureButton());
    ASSERT_FALSE(screen->isCapture());

    const ProbedMovie movie = probeMovie(CaptureVideoController::moviePath());
    ASSERT_EQ(movie.error, "");
    const ProbedStream* video = movie.stream("video");
    ASSERT_TRUE(video);
    EXPECT_NEAR(static_cast<double>(video->packetTimes.size()), 15, 1.0);
    const ProbedStream* audio = movie.stream("audio");
    EXPECT_TRUE(!audio || audio->packetTimes.empty()) << "no sound without a microphone";
}

TEST_F(Recorders, LiveRecorderMakesANewFilePerStartAtTheChosenBitRateAndEndsTheLiveJob)
{
    startEngine();
    auto screen = UICaptureVideoController::create();
    window->setRootViewController(screen);
    frames(screen->view(), 2, screen->videoOutput());

    struct Case {
        bool charged;
        int bitRate;
    };
    std::vector<std::string> paths;
    for (const Case& c : {Case{false, 200000}, Case{true, 500000}}) {
        SCOPED_TRACE(c.bitRate);
        if (c.charged) {
            tap(screen->bitrateButton());
        }
        tap(screen->startButton());
        EXPECT_TRUE(screen->isRecording());
        EXPECT_EQ(screen->videoSize(), CGSizeMake(480, 320));
        // The synthetic picture is coded far below either rate, so the rate is read where the writer
        // takes it from: the settings of the writer's video input.
        EXPECT_EQ(screen->videoOutputSettings()[AVVideoCompressionPropertiesKey][AVVideoAverageBitRateKey].intValue(),
                  c.bitRate);
        EXPECT_EQ(screen->videoOutputSettings()[AVVideoCompressionPropertiesKey][AVVideoMaxKeyFrameIntervalKey].intValue(),
                  120);
        frames(screen->view(), 60, screen->videoOutput());
        tap(screen->stopButton());
        EXPECT_FALSE(screen->isRecording());
        EXPECT_TRUE(g_ffmpeg->livingScid().isNil());

        const std::string path = screen->movileFilePath();
        EXPECT_EQ(path.rfind(home / "home/Documents/media/", 0), 0u) << path;
        EXPECT_EQ(path.substr(path.size() - 4), ".MOV");
        paths.push_back(path);
        const ProbedMovie movie = probeMovie(path);
        ASSERT_EQ(movie.error, "");
        EXPECT_EQ(movie.majorBrand, "isom") << "MPEG-4 whatever the extension";
        const ProbedStream* video = movie.stream("video");
        ASSERT_TRUE(video);
        EXPECT_EQ(video->width, 480);
        EXPECT_EQ(video->height, 320);
        EXPECT_EQ(video->level, 31);
        EXPECT_NEAR(static_cast<double>(video->packetTimes.size()), 60, 1.0) << "finished before the live job ended";
        ASSERT_TRUE(movie.stream("audio"));
    }
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_NE(paths[0], paths[1]);
}

}  // namespace RecordersTest_cpp
}  // namespace
