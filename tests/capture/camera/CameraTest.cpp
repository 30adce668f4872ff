// The camera source: frames of the synthetic camera reach the chain's targets in order on both upload
// paths, sound goes to the movie writer alone, and the device controls (torch, camera switch, focus)
// act on the current device.

#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUMovieWriter.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "capture/gpu/GPUVideoCamera.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/SyntheticMedia.h"

#include "GpuTestSupport.h"
#include "fixtures/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace {
namespace CameraTest_cpp {

// What a target saw of each frame: the size it was told, and the frame as a passthrough filter in front
// of it drew it.
struct SeenFrame {
    CGSize size;
    int64_t frameNumber = -1;
    gputest::Picture picture;
};

class FrameSink : public GPUInput {
public:
    explicit FrameSink(const Ref<GPUFilter>& filter) : filter_(filter) {}
    void newFrameReady() override
    {
        auto filter = filter_.lock();
        if (!filter) {
            return;
        }
        SeenFrame seen;
        seen.size = size_;
        seen.picture = gputest::readFramebuffer(*filter);
        seen.frameNumber = CameraTestPicture::readFrameNumber(seen.picture.rgba.data(), seen.picture.width,
                                                              seen.picture.height, seen.picture.width * 4u);
        frames.push_back(std::move(seen));
    }
    void setInputTexture_atIndex(GLuint, GLint) override {}
    GLint nextAvailableTextureIndex() override { return 0; }
    void setInputSize(CGSize size) override { size_ = size; }
    CGSize maximumOutputSize() override { return CGSizeZero; }

    std::vector<SeenFrame> frames;

private:
    Weak<GPUFilter> filter_;  // the filter holds this sink as its target
    CGSize size_{0, 0};
};

}  // namespace CameraTest_cpp
}  // namespace

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AVCaptureDevice::resetStandInDevices();
        CVOpenGLESTextureCacheSetAvailable(true);
        CVOpenGLESTextureCacheFailNextTextures(0);
    }
    void TearDown() override
    {
        AVCaptureDevice::resetStandInDevices();
        CVOpenGLESTextureCacheSetAvailable(true);
        CVOpenGLESTextureCacheFailNextTextures(0);
    }

    // Advances the clock one frame at a time until `done` holds for each.
    void runFrames(int count, const std::function<bool(int)>& done)
    {
        for (int i = 1; i <= count; ++i) {
            clock_.advance(1.0 / 15);
            ASSERT_TRUE(pumpMainUntil([&] { return done(i); })) << "frame " << i;
        }
    }

    MainThreadScope main_;
    ScopedManualClock clock_;
};

TEST_F(CameraTest, FramesReachTheTargetsInOrderAt640x480OnBothUploadPaths)
{
    using namespace CameraTest_cpp;
    for (const bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "texture cache" : "upload into the output texture");
        CVOpenGLESTextureCacheSetAvailable(fast);
        EXPECT_EQ(GPUVideoCamera::supportsFastTextureUpload(), fast);
        auto camera = GPUVideoCamera::create();
        EXPECT_EQ(camera->outputTexture() == 0, fast);  // frames bring their own textures
        auto filter = GPUFilter::initWithFragmentShaderFromString(std::string(kGPUPassthroughFragmentShaderString));
        auto sink = std::make_shared<FrameSink>(filter);
        camera->addTarget(filter);
        filter->addTarget(sink);
        camera->startCameraCapture();
        runFrames(4, [&](int i) { return sink->frames.size() == static_cast<size_t>(i); });
        camera->stopCameraCapture();

        for (size_t i = 0; i < sink->frames.size(); ++i) {
            const SeenFrame& f = sink->frames[i];
            EXPECT_EQ(f.size.width, 640);
            EXPECT_EQ(f.size.height, 480);
            EXPECT_EQ(f.frameNumber, static_cast<int64_t>(i + 1));
        }
        // The picture arrives unchanged: bars in RGBA as the camera made them in BGRA.
        const gputest::Picture& p = sink->frames.back().picture;
        ASSERT_EQ(p.width, 640);
        for (int bar = 0; bar < CameraTestPicture::kBars; ++bar) {
            const uint8_t* px = p.at(CameraTestPicture::barCentreX(640, bar), CameraTestPicture::barsCentreY(480));
            const CameraTestPicture::Colour c = CameraTestPicture::barColour(bar);
            EXPECT_NEAR(px[0], c.r, 1) << "bar " << bar;
            EXPECT_NEAR(px[1], c.g, 1) << "bar " << bar;
            EXPECT_NEAR(px[2], c.b, 1) << "bar " << bar;
        }
        camera->removeAllTargets();
    }
}

TEST_F(CameraTest, AFrameWhoseTextureFailsIsDroppedAndLogged)
{
    using namespace CameraTest_cpp;
    NSLogCapture log(true);
    auto camera = GPUVideoCamera::create();
    auto filter = GPUFilter::initWithFragmentShaderFromString(std::string(kGPUPassthroughFragmentShaderString));
    auto sink = std::make_shared<FrameSink>(filter);
    camera->addTarget(filter);
    filter->addTarget(sink);
    camera->startCameraCapture();
    CVOpenGLESTextureCacheFailNextTextures(1);
    clock_.advance(1.0 / 15);
    ASSERT_TRUE(pumpMainUntil([&] { return log.contains("CVOpenGLESTextureCacheCreateTextureFromImage failed (error: -6660)"); }));
    clock_.advance(1.0 / 15);
    ASSERT_TRUE(pumpMainUntil([&] { return sink->frames.size() == 1; }));
    EXPECT_EQ(sink->frames[0].frameNumber, 2);
    camera->removeAllTargets();
}

TEST_F(CameraTest, SoundGoesToTheWriterAloneWhichRefusesItUntilRecording)
{
    using namespace CameraTest_cpp;
    TemporaryFolder folder;
    auto camera = GPUVideoCamera::create();
    auto target = std::make_shared<gputest::RecordingInput>();
    camera->addTarget(target);
    auto writer = GPUMovieWriter::initWithMovieURL_size(NSURL::fileURLWithPath(folder / "clip.MOV"), CGSizeMake(640, 480));
    camera->setMovieWriter(writer);
    camera->startCameraCapture();

    clock_.advance(4096 / 44100.0);  // four sound buffers, one frame
    ASSERT_TRUE(pumpMainUntil([&] { return camera->audioOutput()->samplesDelivered() >= 4; }));
    ASSERT_TRUE(pumpMainUntil([&] { return writer->currentTime().value != 0; }));
    EXPECT_EQ(writer->audioBuffersAppended(), 0);
    EXPECT_EQ(writer->framesAppended(), 0);
    const auto newFrames = [&] {
        return std::count(target->calls.begin(), target->calls.end(), std::string("newFrameReady"));
    };
    EXPECT_EQ(newFrames(), 1);  // the frame, never the sound

    writer->startRecording();
    const int64_t before = camera->audioOutput()->samplesDelivered();
    clock_.advance(4096 / 44100.0);
    // The sound and the frame come on their own threads, in either order and at any pace: wait for
    // all of them.
    ASSERT_TRUE(pumpMainUntil([&] {
        return writer->audioBuffersAppended() >= 3 && camera->audioOutput()->samplesDelivered() >= before + 4 &&
               newFrames() >= 2;
    }));
    EXPECT_EQ(newFrames(), 2);
    camera->stopCameraCapture();
    writer->finishRecording();
    camera->removeAllTargets();
}

TEST_F(CameraTest, SetUpPutsTheCameraInItsAutomaticModesWhereItHasThem)
{
    auto back = AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo);
    auto camera = GPUVideoCamera::create();
    EXPECT_EQ(camera->videoInput()->device(), back);
    EXPECT_EQ(back->whiteBalanceMode(), AVCaptureWhiteBalanceModeContinuousAutoWhiteBalance);
    EXPECT_EQ(back->flashMode(), AVCaptureFlashModeOn);
    EXPECT_EQ(back->focusMode(), AVCaptureFocusModeAutoFocus);
    EXPECT_EQ(back->exposureMode(), AVCaptureExposureModeAutoExpose);
    EXPECT_EQ(back->focusPointOfInterest().x, 0.5);
    EXPECT_FALSE(back->isLockedForConfiguration());
    EXPECT_EQ(camera->captureSession()->sessionPreset(), AVCaptureSessionPreset640x480);
    EXPECT_EQ(CMTimeGetSeconds(camera->videoOutput()->minFrameDuration()), 1.0 / 15);
    EXPECT_TRUE(camera->videoOutput()->alwaysDiscardsLateVideoFrames());

    // A camera with nothing automatic is left as it is; one that cannot be locked too.
    auto front = AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo).back();
    front->setCapabilities({});
    auto frontCamera = GPUVideoCamera::initWithSessionPreset_cameraPosition(AVCaptureSessionPresetMedium,
                                                                            AVCaptureDevicePositionFront);
    EXPECT_EQ(frontCamera->videoInput()->device(), front);
    EXPECT_EQ(front->settingsChanged(), 0);
}

TEST_F(CameraTest, TorchCameraSwitchAndFocusActOnTheCurrentDevice)
{
    auto camera = GPUVideoCamera::create();
    auto back = camera->videoInput()->device();
    camera->toggleFlash();
    EXPECT_EQ(back->torchMode(), AVCaptureTorchModeOn);
    camera->toggleFlash();
    EXPECT_EQ(back->torchMode(), AVCaptureTorchModeOff);
    camera->toggleFlash();

    camera->resetFocus(CGPointMake(0.2, 0.9));
    EXPECT_EQ(back->focusPointOfInterest().x, 0.2);
    EXPECT_EQ(back->exposurePointOfInterest().y, 0.9);
    EXPECT_EQ(back->exposureMode(), AVCaptureExposureModeContinuousAutoExposure);

    camera->toggleCamera();
    auto front = camera->videoInput()->device();
    EXPECT_EQ(front->position(), AVCaptureDevicePositionFront);
    EXPECT_EQ(camera->captureSession()->inputs().size(), 2u);  // the camera and the microphone
    EXPECT_EQ(front->torchMode(), AVCaptureTorchModeOff);     // what the new device reports
    EXPECT_EQ(front->settingsChanged(), 0);                   // the set-up is not applied again
    camera->toggleFlash();                                     // no torch: nothing happens
    EXPECT_EQ(front->torchMode(), AVCaptureTorchModeOff);
    camera->resetFocus(CGPointMake(0.1, 0.1));                 // no focus point of interest
    EXPECT_EQ(front->settingsChanged(), 0);

    camera->toggleCamera();
    EXPECT_EQ(camera->videoInput()->device(), back);
    EXPECT_EQ(back->torchMode(), AVCaptureTorchModeOn);
}

TEST_F(CameraTest, BenchmarkAveragesTheTimeOfTheFramesItCounted)
{
    NSLogCapture log(true);
    auto camera = GPUVideoCamera::create();
    auto target = std::make_shared<gputest::RecordingInput>();
    camera->addTarget(target);
    camera->setRunBenchmark(true);
    camera->startCameraCapture();
    runFrames(3, [&](int i) { return camera->numberOfFramesCaptured() == static_cast<unsigned>(i); });
    EXPECT_GT(camera->averageFrameDurationDuringCapture(), 0.0f);
    EXPECT_TRUE(log.contains("Number of frames: 3"));
    camera->removeAllTargets();
}
