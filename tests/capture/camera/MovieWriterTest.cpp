// The movie writer at the end of the recording chain: the file it writes from the camera (tracks and
// settings, times from the start of recording, rotation by the device's orientation, the picture's
// colours), recording started before any frame, sound racing the finish, and the engine's live remux
// reading the file while it grows.

#include "capture/gpu/GPUMovieWriter.h"
#include "capture/gpu/GPURotationFilter.h"
#include "capture/gpu/GPUVideoCamera.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/transformat.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/SyntheticMedia.h"
#include "platform/uikit/UIDevice.h"

#include "fixtures/GrowingMovie.h"
#include "fixtures/MovieProbe.h"
#include "fixtures/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

class MovieWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AVCaptureDevice::resetStandInDevices();
        CVOpenGLESTextureCacheSetAvailable(true);
        UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationPortrait);
        ASSERT_FALSE(folder_.path().empty());
    }
    void TearDown() override { UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationPortrait); }

    // The recording screen's chain: camera, rotation upright, writer of 480 x 640.
    void buildChain(CGSize size = CGSizeMake(480, 640), bool upright = true)
    {
        camera_ = GPUVideoCamera::create();
        writer_ = GPUMovieWriter::initWithMovieURL_size(NSURL::fileURLWithPath(path_), size);
        if (upright) {
            rotation_ = GPURotationFilter::initWithRotation(1);
            camera_->addTarget(rotation_);
            rotation_->addTarget(writer_);
        } else {
            camera_->addTarget(writer_);
        }
        camera_->setMovieWriter(writer_);
        camera_->startCameraCapture();
    }
    void tearDownChain()
    {
        camera_->stopCameraCapture();
        if (rotation_) {
            rotation_->removeAllTargets();
        }
        camera_->removeAllTargets();
    }

    // One frame duration of the clock, and the frame (and the sound of its span) handled.
    void oneFrame()
    {
        const double seen = CMTimeGetSeconds(writer_->currentTime());
        clock_.advance(1.0 / 15);
        ASSERT_TRUE(pumpMainUntil([&] { return CMTimeGetSeconds(writer_->currentTime()) > seen; }));
    }

    MainThreadScope main_;
    ScopedManualClock clock_;
    TemporaryFolder folder_;
    std::string path_ = folder_ / "2026-12-10 22-00-00.MOV";
    Ref<GPUVideoCamera> camera_;
    Ref<GPURotationFilter> rotation_;
    Ref<GPUMovieWriter> writer_;
};

TEST_F(MovieWriterTest, ClipHasTheRecordingTracksAndStartsAtTheLastFrameBeforeRecording)
{
    buildChain();
    const double start = clock_.now();
    for (int i = 0; i < 3; ++i) {
        oneFrame();  // seen, not written
    }
    EXPECT_EQ(writer_->framesAppended(), 0);
    writer_->startRecording();
    for (int i = 0; i < 12; ++i) {
        oneFrame();
    }
    ASSERT_TRUE(pumpMainUntil([&] { return writer_->audioBuffersAppended() >= 10; }));
    tearDownChain();
    writer_->finishRecording();
    EXPECT_EQ(writer_->framesAppended(), 12);
    EXPECT_EQ(writer_->assetWriter()->status(), AVAssetWriterStatusCompleted);
    EXPECT_NEAR(CMTimeGetSeconds(writer_->assetWriter()->sessionStartTime()), start + 3 / 15.0, 1e-6);

    const ProbedMovie movie = probeMovie(path_);
    ASSERT_EQ(movie.error, "");
    EXPECT_EQ(movie.majorBrand, "isom");
    ASSERT_EQ(movie.streams.size(), 2u);
    const ProbedStream* video = movie.stream("video");
    ASSERT_TRUE(video);
    EXPECT_EQ(video->codec, "h264");
    EXPECT_EQ(video->profile, 77);
    EXPECT_EQ(video->level, 31);
    EXPECT_EQ(video->width, 480);
    EXPECT_EQ(video->height, 640);
    EXPECT_EQ(video->rotation, 0);
    ASSERT_EQ(video->packetTimes.size(), 12u);
    for (size_t i = 0; i < 12; ++i) {
        // Camera time minus the start (the reader shifts the track by under a millisecond for the
        // sound's encoder delay).
        EXPECT_NEAR(video->packetTimes[i], (i + 1) / 15.0, 2e-3) << "frame " << i;
    }
    const ProbedStream* audio = movie.stream("audio");
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->codec, "aac");
    EXPECT_EQ(audio->sampleRate, 44100);
    EXPECT_EQ(audio->channels, 1);

    // Every frame written decodes.
    const auto pictures = decodeVideoFrames(path_);
    ASSERT_EQ(pictures.size(), 12u);
}

TEST_F(MovieWriterTest, RecordingStartedBeforeAnyFrameStartsAtTheFirstFrame)
{
    buildChain();
    writer_->startRecording();  // no camera time yet
    clock_.advance(2048 / 44100.0);  // sound before the first frame
    for (int i = 0; i < 5; ++i) {
        oneFrame();
    }
    tearDownChain();
    writer_->finishRecording();
    EXPECT_EQ(writer_->assetWriter()->status(), AVAssetWriterStatusCompleted);
    const ProbedMovie movie = probeMovie(path_);
    const ProbedStream* video = movie.stream("video");
    ASSERT_TRUE(video);
    ASSERT_EQ(video->packetTimes.size(), 5u);
    EXPECT_NEAR(video->packetTimes[0], 0.0, 2e-3);
    EXPECT_NEAR(video->packetTimes[4], 4 / 15.0, 2e-3);
}

TEST_F(MovieWriterTest, TheDeviceOrientationAtSetUpTurnsTheMovie)
{
    struct Case {
        UIDeviceOrientation orientation;
        int rotation;
    };
    const Case cases[] = {
        {UIDeviceOrientationPortrait, 0},        {UIDeviceOrientationPortraitUpsideDown, 180},
        {UIDeviceOrientationLandscapeLeft, 270}, {UIDeviceOrientationLandscapeRight, 90},
        {UIDeviceOrientationFaceUp, 270},        {UIDeviceOrientationUnknown, 270},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation));
        UIDevice::currentDevice()->simulateOrientation(c.orientation);
        path_ = folder_ / ("clip" + std::to_string(n++) + ".MOV");
        buildChain();
        UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationPortrait);  // only set-up counts
        writer_->startRecording();
        oneFrame();
        tearDownChain();
        writer_->finishRecording();
        const ProbedMovie movie = probeMovie(path_);
        ASSERT_TRUE(movie.stream("video"));
        EXPECT_EQ(movie.stream("video")->rotation, c.rotation);
    }
}

TEST_F(MovieWriterTest, DecodedClipShowsTheCameraPictureWithinCodecTolerance)
{
    buildChain(CGSizeMake(640, 480), false);
    writer_->startRecording();
    for (int i = 0; i < 6; ++i) {
        oneFrame();
    }
    tearDownChain();
    writer_->finishRecording();
    const auto pictures = decodeVideoFrames(path_);
    ASSERT_EQ(pictures.size(), 6u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        const RgbaPicture& p = pictures[i];
        ASSERT_EQ(p.width, 640);
        EXPECT_EQ(CameraTestPicture::readFrameNumber(p.pixels.data(), p.width, p.height, p.width * 4u),
                  static_cast<int64_t>(i + 1));
        for (int bar = 0; bar < CameraTestPicture::kBars; ++bar) {
            const uint8_t* px = p.at(CameraTestPicture::barCentreX(640, bar), CameraTestPicture::barsCentreY(480));
            const CameraTestPicture::Colour c = CameraTestPicture::barColour(bar);
            EXPECT_NEAR(px[0], c.r, 8) << "frame " << i << " bar " << bar;
            EXPECT_NEAR(px[1], c.g, 8) << "frame " << i << " bar " << bar;
            EXPECT_NEAR(px[2], c.b, 8) << "frame " << i << " bar " << bar;
        }
    }
}

TEST_F(MovieWriterTest, FramesTheWriterCannotTakeAreDroppedAndAppendsAfterTheFinishRefused)
{
    buildChain();
    writer_->startRecording();
    oneFrame();
    writer_->assetWriterVideoInput()->setForcesNotReady(true);  // a busy encoder
    oneFrame();
    writer_->assetWriterVideoInput()->setForcesNotReady(false);
    writer_->assetWriterPixelBufferInput()->pixelBufferPool()->setAllocationThreshold(1);
    CVPixelBufferRef held;
    ASSERT_EQ(CVPixelBufferPoolCreatePixelBuffer(nullptr, writer_->assetWriterPixelBufferInput()->pixelBufferPool(), &held),
              kCVReturnSuccess);
    oneFrame();  // no pool buffer
    held.reset();
    oneFrame();
    EXPECT_EQ(writer_->framesAppended(), 2);
    EXPECT_EQ(writer_->framesLost(), 1);
    writer_->finishRecording();
    const int sound = writer_->audioBuffersAppended();
    oneFrame();
    clock_.advance(0.5);
    ASSERT_TRUE(pumpMainUntil([&] { return camera_->audioOutput()->samplesDelivered() > 20; }));
    EXPECT_EQ(writer_->framesAppended(), 2);
    EXPECT_EQ(writer_->audioBuffersAppended(), sound);
    tearDownChain();
    EXPECT_EQ(probeMovie(path_).stream("video")->packetTimes.size(), 2u);
}

TEST_F(MovieWriterTest, SoundAppendedWhileTheClipIsFinishedNeverCorruptsIt)
{
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        path_ = folder_ / ("race" + std::to_string(round) + ".MOV");
        buildChain();
        writer_->startRecording();
        oneFrame();
        std::atomic<bool> stop{false};
        std::thread audioQueue([&, writer = writer_] {
            ToneGenerator tone(44100, 440);
            AudioStreamBasicDescription format;
            format.mSampleRate = 44100;
            format.mFormatID = kAudioFormatLinearPCM;
            format.mFormatFlags = kLinearPCMFormatFlagIsSignedInteger | kLinearPCMFormatFlagIsPacked;
            format.mBytesPerPacket = format.mBytesPerFrame = 2;
            format.mFramesPerPacket = 1;
            format.mChannelsPerFrame = 1;
            format.mBitsPerChannel = 16;
            const double start = CMTimeGetSeconds(writer->currentTime());
            for (int i = 0; !stop.load(); ++i) {
                int16_t samples[1024];
                tone.read(samples, 1024);
                writer->newAudioFrame(CMSampleBufferCreateForAudio(
                    format, samples, 1024, CMTimeMakeWithSeconds(start + i * 1024 / 44100.0, kCMTimeCaptureTimescale)));
            }
        });
        for (int i = 0; i < round; ++i) {
            oneFrame();
        }
        writer_->finishRecording();
        stop.store(true);
        audioQueue.join();
        tearDownChain();
        const ProbedMovie movie = probeMovie(path_);
        ASSERT_EQ(movie.error, "");
        ASSERT_TRUE(movie.stream("video"));
        EXPECT_EQ(movie.stream("video")->packetTimes.size(), static_cast<size_t>(round + 1));
        if (writer_->audioBuffersAppended() > 0) {
            std::string error;
            decodeAudio(path_, nullptr, &error);
            EXPECT_EQ(error, "");
        }
    }
}

TEST_F(MovieWriterTest, LiveRemuxReadsTheClipWhileItGrows)
{
    // The engine's remux writes its FLV to the live output and records ranges in the job database.
    g_dbname.set(folder_ / "ombri.db");
    _global_initdatabase();
    ASSERT_TRUE(global_isdbopen());
    const std::string flv = folder_ / "live.flv";
    g_liveoutput.file = std::fopen(flv.c_str(), "wb+");
    ASSERT_NE(g_liveoutput.file, nullptr);
    g_liveoutput.rowid = 7;
    g_liveoutput.flvid = "0123456789abcdef0123456789abcdef";
    transformat_setheader(transformat_hexdecode("0000000000"));

    buildChain();
    writer_->startRecording();
    for (int i = 0; i < 8; ++i) {
        oneFrame();
    }
    ASSERT_TRUE(pumpMainUntil([&] { return writer_->audioBuffersAppended() >= 6; }));
    std::vector<std::string> boxes;
    for (const MovieBox& box : readTopLevelBoxes(path_)) {
        boxes.push_back(box.type);
    }
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "moov"), 0);  // still growing

    ASSERT_TRUE(transformat_remuxfile(path_.c_str(), 480, 640));
    const transformat_progress progress = transformat_getprogress();
    // Every frame written so far; the newest may wait for the bytes that follow it to be seen whole.
    EXPECT_GE(progress.videotags, 7u);
    EXPECT_LE(progress.videotags, 8u);
    EXPECT_GE(progress.audiotags, 1u);
    EXPECT_TRUE(progress.waiting);

    tearDownChain();
    writer_->finishRecording();
    std::fclose(g_liveoutput.file);
    g_liveoutput.file = nullptr;
}
