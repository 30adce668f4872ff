// The camera wrapper on the synthetic phone: switching cameras (and a phone without a front camera),
// the torch, and frames reaching a delegate on the main thread only when it takes them.
#include <gtest/gtest.h>

#include <atomic>

#include "capture/camera/PZCamera.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSThread.h"

namespace {
namespace PZCameraTest_cpp {

class FrameCounter : public PZCameraDelegate {
public:
    std::atomic<int> frames{0};
    std::atomic<bool> allOnMain{true};
    void processNewCameraFrame(const CMSampleBufferRef& sampleBuffer) override
    {
        allOnMain = allOnMain && NSThread::isMainThread();
        ++frames;
    }
};

class Silent : public PZCameraDelegate {};

class PZCameraTest : public ::testing::Test {
protected:
    void SetUp() override { AVCaptureDevice::resetStandInDevices(); }
    void TearDown() override { AVCaptureDevice::resetStandInDevices(); }
    MainThreadScope main;
    ScopedManualClock clock;
};

TEST_F(PZCameraTest, SwitchesCamerasAndAddsNoInputWithoutAFrontOne)
{
    auto camera = PZCamera::create();
    ASSERT_TRUE(camera->videoDeviceInput());
    EXPECT_EQ(camera->videoDeviceInput()->device()->position(), AVCaptureDevicePositionBack);
    EXPECT_TRUE(camera->captureSession()->isRunning());
    EXPECT_EQ(camera->captureSession()->sessionPreset(), AVCaptureSessionPresetMedium);
    camera->toggleCamera();
    EXPECT_EQ(camera->videoDeviceInput()->device()->position(), AVCaptureDevicePositionFront);
    camera->toggleCamera();
    EXPECT_EQ(camera->videoDeviceInput()->device()->position(), AVCaptureDevicePositionBack);

    Ref<AVCaptureDevice> back = AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo);
    EXPECT_EQ(back->torchMode(), AVCaptureTorchModeOff);
    camera->toggleFlash();
    EXPECT_EQ(back->torchMode(), AVCaptureTorchModeOn);
    camera->toggleFlash();
    EXPECT_EQ(back->torchMode(), AVCaptureTorchModeOff);
    camera.reset();

    AVCaptureDeviceCapabilities caps;
    caps.hasTorch = true;
    AVCaptureDevice::setStandInDevices(
        {AVCaptureDevice::makeStandInDevice("back", AVMediaTypeVideo, AVCaptureDevicePositionBack, caps),
         AVCaptureDevice::makeStandInDevice("mic", AVMediaTypeAudio, AVCaptureDevicePositionUnspecified, {})});
    auto lonely = PZCamera::create();
    ASSERT_TRUE(lonely->videoDeviceInput());
    lonely->toggleCamera();
    EXPECT_FALSE(lonely->videoDeviceInput());
    for (const auto& input : lonely->captureSession()->inputs()) {
        EXPECT_NE(input->mediaType(), AVMediaTypeVideo);
    }
}

TEST_F(PZCameraTest, FramesReachADelegateOnTheMainThreadOnlyWhenItTakesThem)
{
    auto camera = PZCamera::create();
    auto silent = std::make_shared<Silent>();
    camera->setDelegate(silent);
    for (int i = 1; i <= 3; ++i) {
        clock.advance(1.0 / 15);
        ASSERT_TRUE(pumpMainUntil([&] { return camera->videoOutput()->samplesDelivered() >= i; }));
    }
    auto counter = std::make_shared<FrameCounter>();
    camera->setDelegate(counter);
    for (int i = 1; i <= 3; ++i) {
        clock.advance(1.0 / 15);
        ASSERT_TRUE(pumpMainUntil([&] { return counter->frames.load() >= i; }));
    }
    EXPECT_TRUE(counter->allOnMain.load());
    EXPECT_EQ(camera->videoOutput()->framesDropped(), 0);
    camera.reset();
}

}  // namespace PZCameraTest_cpp
}  // namespace
