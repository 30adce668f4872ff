// The synthetic phone's capture: devices and what they support, sessions delivering the camera's test
// picture and the microphone's tone on their outputs' queues, timed by the process clock.

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSException.h"
#include "platform/media/AVCaptureSession.h"
#include "platform/media/SyntheticMedia.h"
#include "platform/uikit/UIImagePickerController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {
namespace CaptureSessionTest_cpp {

struct Delivered {
    CMTime time;
    int width = 0;
    int height = 0;
    int64_t frameNumber = -1;
    std::vector<uint8_t> pixels;  // BGRA, video only
    std::vector<int16_t> sound;   // audio only
};

// Keeps what reaches it; may hold the first delivery until released (a delegate that is late).
class Recorder : public AVCaptureSampleBufferDelegate {
public:
    void captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>&, const CMSampleBufferRef& sample,
                                                           const Ref<AVCaptureConnection>&) override
    {
        Delivered d;
        d.time = CMSampleBufferGetPresentationTimeStamp(sample);
        if (CVPixelBufferRef pixels = CMSampleBufferGetImageBuffer(sample)) {
            CVPixelBufferLockBaseAddress(pixels, kCVPixelBufferLock_ReadOnly);
            const auto* base = static_cast<const uint8_t*>(CVPixelBufferGetBaseAddress(pixels));
            d.width = static_cast<int>(CVPixelBufferGetWidth(pixels));
            d.height = static_cast<int>(CVPixelBufferGetHeight(pixels));
            d.pixels.assign(base, base + CVPixelBufferGetBytesPerRow(pixels) * d.height);
            CVPixelBufferUnlockBaseAddress(pixels, kCVPixelBufferLock_ReadOnly);
            d.frameNumber = CameraTestPicture::readFrameNumber(d.pixels.data(), d.width, d.height, d.width * 4u);
        } else {
            size_t length = 0;
            const uint8_t* bytes = CMSampleBufferGetAudioBytes(sample, &length);
            const auto* samples = reinterpret_cast<const int16_t*>(bytes);
            d.sound.assign(samples, samples + length / 2);
        }
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !holding_; });
        got_.push_back(std::move(d));
    }

    std::vector<Delivered> got() const
    {
        std::lock_guard lock(mutex_);
        return got_;
    }
    size_t count() const
    {
        std::lock_guard lock(mutex_);
        return got_.size();
    }
    void hold()
    {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    bool waitUntilEntered()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entered_; });
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Delivered> got_;
    bool holding_ = false;
    bool entered_ = false;
};

// A session with the back camera and the microphone joined to data outputs.
struct Rig {
    Ref<AVCaptureSession> session = AVCaptureSession::create();
    Ref<AVCaptureVideoDataOutput> video = AVCaptureVideoDataOutput::create();
    Ref<AVCaptureAudioDataOutput> audio = AVCaptureAudioDataOutput::create();
    std::shared_ptr<Recorder> frames = std::make_shared<Recorder>();
    std::shared_ptr<Recorder> sound = std::make_shared<Recorder>();

    explicit Rig(dispatch_queue_t videoQueue = dispatch_get_main_queue())
    {
        session->setSessionPreset(AVCaptureSessionPreset640x480);
        session->addInput(AVCaptureDeviceInput::deviceInputWithDevice_error(
            AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo), nullptr));
        session->addInput(AVCaptureDeviceInput::deviceInputWithDevice_error(
            AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeAudio), nullptr));
        video->setMinFrameDuration(CMTimeMake(1, 15));
        video->setSampleBufferDelegate_queue(frames, videoQueue);
        audio->setSampleBufferDelegate_queue(sound, dispatch_queue_create("AudioQueue", DISPATCH_QUEUE_SERIAL));
        session->addOutput(video);
        session->addOutput(audio);
    }
    ~Rig() { session->stopRunning(); }
};

bool sameColour(const uint8_t* bgra, CameraTestPicture::Colour c)
{
    return bgra[0] == c.b && bgra[1] == c.g && bgra[2] == c.r && bgra[3] == 255;
}

}  // namespace CaptureSessionTest_cpp
}  // namespace

class CaptureSessionTest : public ::testing::Test {
protected:
    void SetUp() override { AVCaptureDevice::resetStandInDevices(); }
    void TearDown() override { AVCaptureDevice::resetStandInDevices(); }

    MainThreadScope main_;
    ScopedManualClock clock_;
};

TEST_F(CaptureSessionTest, EachFrameDurationOfClockDeliversOneNumberedFrameStampedOnTheClock)
{
    using namespace CaptureSessionTest_cpp;
    Rig rig;
    const double start = clock_.now();
    rig.session->startRunning();
    for (size_t i = 1; i <= 5; ++i) {
        clock_.advance(1.0 / 15);
        ASSERT_TRUE(pumpMainUntil([&] { return rig.frames->count() == i; })) << "frame " << i;
    }
    const auto frames = rig.frames->got();
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i + 1));
        EXPECT_EQ(frames[i].width, 640);
        EXPECT_EQ(frames[i].height, 480);
        EXPECT_EQ(frames[i].frameNumber, static_cast<int64_t>(i + 1));
        EXPECT_NEAR(CMTimeGetSeconds(frames[i].time), start + (i + 1) / 15.0, 1e-6);
        for (int bar = 0; bar < CameraTestPicture::kBars; ++bar) {
            const int x = CameraTestPicture::barCentreX(640, bar);
            const int y = CameraTestPicture::barsCentreY(480);
            EXPECT_TRUE(sameColour(&frames[i].pixels[(static_cast<size_t>(y) * 640 + x) * 4], CameraTestPicture::barColour(bar)))
                << "bar " << bar;
        }
    }
    EXPECT_EQ(rig.video->framesDropped(), 0);

    rig.session->stopRunning();
    clock_.advance(1.0);
    drainMain();
    EXPECT_EQ(rig.frames->count(), 5u);
}

TEST_F(CaptureSessionTest, ConnectionOrientationTurnsThePicture)
{
    using namespace CaptureSessionTest_cpp;
    struct Case {
        AVCaptureVideoOrientation orientation;
        int width, height;
        int whiteX, whiteY;  // where the top-left corner of the picture (white bar) lands
        int blackX, blackY;  // where the top-right corner (black bar) lands
    };
    const Case cases[] = {
        {AVCaptureVideoOrientationLandscapeRight, 640, 480, 0, 0, 639, 0},
        {AVCaptureVideoOrientationPortrait, 480, 640, 479, 0, 479, 639},
        {AVCaptureVideoOrientationPortraitUpsideDown, 480, 640, 0, 639, 0, 0},
        {AVCaptureVideoOrientationLandscapeLeft, 640, 480, 639, 479, 0, 479},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation));
        Rig rig;
        rig.video->connectionWithMediaType(AVMediaTypeVideo)->setVideoOrientation(c.orientation);
        rig.session->startRunning();
        clock_.advance(1.0 / 15);
        ASSERT_TRUE(pumpMainUntil([&] { return rig.frames->count() == 1; }));
        const Delivered d = rig.frames->got()[0];
        ASSERT_EQ(d.width, c.width);
        ASSERT_EQ(d.height, c.height);
        const auto at = [&](int x, int y) { return &d.pixels[(static_cast<size_t>(y) * d.width + x) * 4]; };
        EXPECT_TRUE(sameColour(at(c.whiteX, c.whiteY), CameraTestPicture::barColour(0)));
        EXPECT_TRUE(sameColour(at(c.blackX, c.blackY), CameraTestPicture::barColour(7)));
    }
}

TEST_F(CaptureSessionTest, LateDelegateLosesFramesOnlyWhenTheOutputDiscardsThem)
{
    using namespace CaptureSessionTest_cpp;
    for (const bool discard : {true, false}) {
        SCOPED_TRACE(discard ? "discarding" : "queueing");
        Rig rig(dispatch_queue_create("frames", DISPATCH_QUEUE_SERIAL));
        rig.video->setAlwaysDiscardsLateVideoFrames(discard);
        rig.frames->hold();
        rig.session->startRunning();
        clock_.advance(1.0 / 15);
        ASSERT_TRUE(rig.frames->waitUntilEntered());
        clock_.advance(1.0 / 15);
        ASSERT_TRUE(pumpMainUntil([&] { return rig.video->framesDropped() + rig.video->samplesDelivered() == 2; }));
        rig.frames->release();
        ASSERT_TRUE(pumpMainUntil([&] { return rig.frames->count() == (discard ? 1u : 2u); }));
        EXPECT_EQ(rig.video->framesDropped(), discard ? 1 : 0);
        const auto frames = rig.frames->got();
        EXPECT_EQ(frames.front().frameNumber, 1);
        EXPECT_EQ(frames.back().frameNumber, discard ? 1 : 2);
    }
}

TEST_F(CaptureSessionTest, MicrophoneDeliversAContinuousToneInBuffersOf1024)
{
    using namespace CaptureSessionTest_cpp;
    Rig rig;
    const double start = clock_.now();
    rig.session->startRunning();
    clock_.advance(3 * 1024 / 44100.0);
    ASSERT_TRUE(pumpMainUntil([&] { return rig.sound->count() == 3; }));
    const auto buffers = rig.sound->got();
    std::vector<int16_t> all;
    for (size_t i = 0; i < buffers.size(); ++i) {
        EXPECT_NEAR(CMTimeGetSeconds(buffers[i].time), start + i * 1024 / 44100.0, 1e-6);
        ASSERT_EQ(buffers[i].sound.size(), 1024u);
        all.insert(all.end(), buffers[i].sound.begin(), buffers[i].sound.end());
    }
    for (size_t n = 0; n < all.size(); n += 97) {
        EXPECT_NEAR(all[n], 16383.0 * std::sin(2 * 3.14159265358979 * 440.0 * n / 44100.0), 1.0) << "sample " << n;
    }
}

TEST_F(CaptureSessionTest, FramesFollowTheInputsAndOutputsOfTheSession)
{
    using namespace CaptureSessionTest_cpp;
    Rig rig;
    EXPECT_FALSE(rig.session->canAddOutput(AVCaptureVideoDataOutput::create()));  // one of each kind
    EXPECT_FALSE(rig.session->canAddInput(AVCaptureDeviceInput::deviceInputWithDevice_error(
        AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo).back(), nullptr)));
    EXPECT_THROW(rig.session->setSessionPreset("no such preset"), NSException);

    const auto camera = rig.session->inputs().front();
    rig.session->startRunning();
    rig.session->removeInput(camera);  // no camera: no frames, sound goes on
    clock_.advance(2.0 / 15);
    ASSERT_TRUE(pumpMainUntil([&] { return rig.sound->count() >= 5; }));
    drainMain();
    EXPECT_EQ(rig.frames->count(), 0u);

    rig.session->addInput(camera);
    clock_.advance(1.0 / 15);
    ASSERT_TRUE(pumpMainUntil([&] { return rig.frames->count() == 1; }));
    EXPECT_EQ(rig.frames->got()[0].frameNumber, 3);  // the camera's count ran on
}

TEST_F(CaptureSessionTest, DevicesAnswerWhatTheySupportAndRefuseChangesWithoutTheLock)
{
    const auto cameras = AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo);
    ASSERT_EQ(cameras.size(), 2u);
    const auto back = cameras[0];
    const auto front = cameras[1];
    EXPECT_EQ(back->position(), AVCaptureDevicePositionBack);
    EXPECT_EQ(front->position(), AVCaptureDevicePositionFront);
    EXPECT_EQ(AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo), back);
    EXPECT_TRUE(back->hasTorch());
    EXPECT_FALSE(front->hasTorch());
    EXPECT_TRUE(back->isFocusPointOfInterestSupported());
    EXPECT_FALSE(front->isFocusPointOfInterestSupported());
    EXPECT_TRUE(back->isFocusModeSupported(AVCaptureFocusModeContinuousAutoFocus));
    EXPECT_FALSE(front->isFocusModeSupported(AVCaptureFocusModeAutoFocus));

    EXPECT_THROW(back->setTorchMode(AVCaptureTorchModeOn), NSException);  // not locked
    ASSERT_TRUE(back->lockForConfiguration(nullptr));
    back->setTorchMode(AVCaptureTorchModeOn);
    back->setFocusPointOfInterest({0.25, 0.75});
    back->unlockForConfiguration();
    EXPECT_EQ(back->torchMode(), AVCaptureTorchModeOn);
    EXPECT_EQ(back->focusPointOfInterest().x, 0.25);

    ASSERT_TRUE(front->lockForConfiguration(nullptr));
    EXPECT_THROW(front->setTorchMode(AVCaptureTorchModeOn), NSException);  // no torch
    EXPECT_THROW(front->setFocusPointOfInterest({0.5, 0.5}), NSException);
    front->unlockForConfiguration();
    EXPECT_EQ(front->settingsChanged(), 0);

    back->setRefusesLock(true);
    Ref<NSError> error;
    EXPECT_FALSE(back->lockForConfiguration(&error));
    EXPECT_TRUE(error);
}

// Screens ask the image picker whether the phone has a camera before they open one; the picker learns
// the answer from the capture devices, which it cannot see itself.
TEST_F(CaptureSessionTest, TheImagePickerIsToldTheCamerasOfTheDeviceSet)
{
    const auto backCamera = AVCaptureDevice::makeStandInDevice("back", AVMediaTypeVideo, AVCaptureDevicePositionBack, {});
    const auto frontCamera = AVCaptureDevice::makeStandInDevice("front", AVMediaTypeVideo, AVCaptureDevicePositionFront, {});
    const auto microphone = AVCaptureDevice::makeStandInDevice("mic", AVMediaTypeAudio, AVCaptureDevicePositionUnspecified, {});
    const struct {
        const char* name;
        std::vector<Ref<AVCaptureDevice>> devices;  // empty: the phone's usual set
        bool source, rear, front, rearFlash;
    } cases[] = {
        {"the phone's set", {}, true, true, true, true},
        {"a back camera without flash and a microphone", {backCamera, microphone}, true, true, false, false},
        {"only a front camera", {frontCamera}, true, false, true, false},
        {"only a microphone", {microphone}, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The picker's own answers first say the opposite, so each one has to come from the devices.
        UIImagePickerController::setSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera, !c.source);
        UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear, !c.rear);
        UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront, !c.front);
        UIImagePickerController::setFlashAvailable(UIImagePickerControllerCameraDeviceRear, !c.rearFlash);
        if (c.devices.empty()) {
            AVCaptureDevice::resetStandInDevices();
        } else {
            AVCaptureDevice::setStandInDevices(c.devices);
        }
        AVCaptureDevice::announceCamerasToImagePicker();
        EXPECT_EQ(UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera), c.source);
        EXPECT_EQ(UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear), c.rear);
        EXPECT_EQ(UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront), c.front);
        EXPECT_EQ(UIImagePickerController::isFlashAvailableForCameraDevice(UIImagePickerControllerCameraDeviceRear),
                  c.rearFlash);
    }
    UIImagePickerController::resetAvailability();
}
