// The camera wrapper on the synthetic phone: switching cameras (and a phone without a front camera),
// the torch, frames reaching a delegate on the main thread only when it takes them, the live preview
// layer, and aiming focus and exposure.
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

TEST_F(PZCameraTest, ThePreviewLayerShowsTheSessionsFramesUprightFillingItsBounds)
{
    auto camera = PZCamera::create();
    const Ref<AVCaptureVideoPreviewLayer> preview = camera->videoPreviewLayer();
    ASSERT_TRUE(preview);
    EXPECT_EQ(camera->videoPreviewLayer(), preview);  // made once
    EXPECT_EQ(preview->session(), camera->captureSession());
    EXPECT_EQ(preview->videoGravity(), AVLayerVideoGravityResizeAspectFill);
    EXPECT_EQ(preview->contentsGravity(), kCAGravityResizeAspectFill);
    EXPECT_EQ(preview->orientation(), AVCaptureVideoOrientationPortrait);
    EXPECT_FALSE(preview->contents());
    for (int i = 1; i <= 2; ++i) {
        clock.advance(1.0 / 15);
        ASSERT_TRUE(pumpMainUntil([&] { return preview->framesShown() >= i; }));
    }
    const CGImageRef shown = preview->contents();
    ASSERT_TRUE(shown);
    int width = 0;
    int height = 0;
    AVCaptureSession::sizeOfPreset(camera->captureSession()->sessionPreset(), &width, &height);
    EXPECT_EQ(int(shown->width()), width);
    EXPECT_EQ(int(shown->height()), height);
    // The camera's picture, opaque, not an empty image.
    EXPECT_EQ(shown->pixelAt(size_t(width / 2), size_t(height / 2)) >> 24, 0xffu);
    camera.reset();
}

TEST_F(PZCameraTest, AimingSetsFocusAndExposureOnlyWhereTheBackCameraCanTakeThem)
{
    const CGPoint aim = CGPointMake(0.25, 0.75);
    const unsigned autoFocus = (1u << AVCaptureFocusModeLocked) | (1u << AVCaptureFocusModeAutoFocus) |
                               (1u << AVCaptureFocusModeContinuousAutoFocus);
    const unsigned exposure = (1u << AVCaptureExposureModeLocked) | (1u << AVCaptureExposureModeContinuousAutoExposure);
    struct Case {
        const char* name;
        AVCaptureDeviceCapabilities caps;
        bool focused, exposed;
    } const cases[] = {
        {"focus and exposure points", {false, false, true, autoFocus, true, exposure}, true, true},
        {"focus point only", {false, false, true, autoFocus, false, exposure}, true, false},
        {"no continuous focus: nothing", {false, false, true, 1u << AVCaptureFocusModeAutoFocus, true, exposure}, false, false},
        {"no focus point: nothing", {false, false, false, autoFocus, true, exposure}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AVCaptureDevice::setStandInDevices(
            {AVCaptureDevice::makeStandInDevice("back", AVMediaTypeVideo, AVCaptureDevicePositionBack, c.caps),
             AVCaptureDevice::makeStandInDevice("mic", AVMediaTypeAudio, AVCaptureDevicePositionUnspecified, {})});
        auto camera = PZCamera::create();
        const Ref<AVCaptureDevice> back = AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo);
        const CGPoint focusBefore = back->focusPointOfInterest();
        const CGPoint exposureBefore = back->exposurePointOfInterest();
        camera->resetFocus(aim);
        EXPECT_EQ(CGPointEqualToPoint(back->focusPointOfInterest(), c.focused ? aim : focusBefore), true);
        if (c.focused) {
            EXPECT_EQ(back->focusMode(), AVCaptureFocusModeAutoFocus);
        }
        EXPECT_EQ(CGPointEqualToPoint(back->exposurePointOfInterest(), c.exposed ? aim : exposureBefore), true);
        if (c.exposed) {
            EXPECT_EQ(back->exposureMode(), AVCaptureExposureModeContinuousAutoExposure);
        }
        camera.reset();
    }
}

}  // namespace PZCameraTest_cpp
}  // namespace
