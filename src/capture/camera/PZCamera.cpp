#include "capture/camera/PZCamera.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSLog.h"

Ref<PZCamera> PZCamera::create()
{
    auto camera = std::make_shared<PZCamera>();
    camera->initCameraBody();
    return camera;
}

PZCamera::~PZCamera()
{
    if (captureSession_) {
        captureSession_->stopRunning();
    }
}

void PZCamera::initCameraBody()
{
    for (const Ref<AVCaptureDevice>& device : AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo)) {
        if (device->position() == AVCaptureDevicePositionBack) {
            backFacingCamera_ = device;
        }
    }
    Ref<NSError> error;
    if (backFacingCamera_ && backFacingCamera_->lockForConfiguration(&error)) {
        Ref<AVCaptureDevice>& camera = backFacingCamera_;
        if (camera->isWhiteBalanceModeSupported(AVCaptureWhiteBalanceModeContinuousAutoWhiteBalance)) {
            camera->setWhiteBalanceMode(AVCaptureWhiteBalanceModeContinuousAutoWhiteBalance);
        }
        if (camera->isFlashModeSupported(AVCaptureFlashModeOn)) {
            camera->setFlashMode(AVCaptureFlashModeOn);
        }
        if (camera->isFocusModeSupported(AVCaptureFocusModeAutoFocus)) {
            if (camera->isFocusPointOfInterestSupported()) {
                camera->setFocusPointOfInterest(CGPointMake(0.5, 0.5));
            }
            camera->setFocusMode(AVCaptureFocusModeAutoFocus);
        }
        if (camera->isExposureModeSupported(AVCaptureExposureModeAutoExpose)) {
            if (camera->isExposurePointOfInterestSupported()) {
                camera->setExposurePointOfInterest(CGPointMake(0.5, 0.5));
            }
            camera->setExposureMode(AVCaptureExposureModeAutoExpose);
        }
        if (camera->isWhiteBalanceModeSupported(AVCaptureWhiteBalanceModeAutoWhiteBalance)) {
            camera->setWhiteBalanceMode(AVCaptureWhiteBalanceModeContinuousAutoWhiteBalance);
        }
        camera->unlockForConfiguration();
    }

    captureSession_ = AVCaptureSession::create();
    videoDeviceInput_ = AVCaptureDeviceInput::deviceInputWithDevice_error(backFacingCamera_, &error);
    if (videoDeviceInput_ && captureSession_->canAddInput(videoDeviceInput_)) {
        captureSession_->addInput(videoDeviceInput_);
    }
    audioDeviceInput_ =
        AVCaptureDeviceInput::deviceInputWithDevice_error(AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeAudio), &error);
    if (audioDeviceInput_ && captureSession_->canAddInput(audioDeviceInput_)) {
        captureSession_->addInput(audioDeviceInput_);
    }
    videoPreviewLayer();

    const Weak<AVCaptureSampleBufferDelegate> me = self<PZCamera>();
    videoOutput_ = AVCaptureVideoDataOutput::create();
    videoOutput_->setAlwaysDiscardsLateVideoFrames(false);
    videoOutput_->setMinFrameDuration(CMTimeMake(1, 15));
    videoOutput_->setVideoSettings(Value::dictionary(
        {{kCVPixelBufferPixelFormatTypeKey, Value(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA))}}));
    videoOutput_->setSampleBufferDelegate_queue(me, dispatch_queue_create("VideoQueue", DISPATCH_QUEUE_SERIAL));
    if (captureSession_->canAddOutput(videoOutput_)) {
        captureSession_->addOutput(videoOutput_);
    } else {
        NSLog("Couldn't add video output");
    }
    audioOutput_ = AVCaptureAudioDataOutput::create();
    audioOutput_->setSampleBufferDelegate_queue(me, dispatch_queue_create("AudioQueue", DISPATCH_QUEUE_SERIAL));
    if (captureSession_->canAddOutput(audioOutput_)) {
        captureSession_->addOutput(audioOutput_);
    }
    captureSession_->setSessionPreset(AVCaptureSessionPresetMedium);
    if (!captureSession_->isRunning()) {
        captureSession_->startRunning();
    }
}

const Ref<AVCaptureVideoPreviewLayer>& PZCamera::videoPreviewLayer()
{
    if (!videoPreviewLayer_) {
        videoPreviewLayer_ = AVCaptureVideoPreviewLayer::layerWithSession(captureSession_);
        if (videoPreviewLayer_->isOrientationSupported()) {
            videoPreviewLayer_->setOrientation(AVCaptureVideoOrientationPortrait);
        }
        videoPreviewLayer_->setVideoGravity(AVLayerVideoGravityResizeAspectFill);
    }
    return videoPreviewLayer_;
}

void PZCamera::toggleFlash()
{
    Ref<NSError> error;
    if (!backFacingCamera_ || !backFacingCamera_->hasTorch() || !backFacingCamera_->lockForConfiguration(&error)) {
        return;
    }
    backFacingCamera_->setTorchMode(backFacingCamera_->torchMode() == AVCaptureTorchModeOn ? AVCaptureTorchModeOff
                                                                                           : AVCaptureTorchModeOn);
    backFacingCamera_->unlockForConfiguration();
}

void PZCamera::toggleCamera()
{
    captureSession_->beginConfiguration();
    const bool wasFront = videoDeviceInput_ && videoDeviceInput_->device()->position() == AVCaptureDevicePositionFront;
    if (videoDeviceInput_) {
        captureSession_->removeInput(videoDeviceInput_);
    }
    const AVCaptureDevicePosition wanted = wasFront ? AVCaptureDevicePositionBack : AVCaptureDevicePositionFront;
    Ref<AVCaptureDevice> device;
    for (const Ref<AVCaptureDevice>& candidate : AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo)) {
        if (candidate->position() == wanted) {
            device = candidate;  // the last of that position
        }
    }
    Ref<NSError> error;
    videoDeviceInput_ = device ? AVCaptureDeviceInput::deviceInputWithDevice_error(device, &error) : nullptr;
    if (videoDeviceInput_ && captureSession_->canAddInput(videoDeviceInput_)) {
        captureSession_->addInput(videoDeviceInput_);
    }
    captureSession_->commitConfiguration();
}

void PZCamera::resetFocus(CGPoint point)
{
    Ref<AVCaptureDevice>& camera = backFacingCamera_;
    Ref<NSError> error;
    if (!camera || !camera->isFocusPointOfInterestSupported() ||
        !camera->isFocusModeSupported(AVCaptureFocusModeContinuousAutoFocus) || !camera->lockForConfiguration(&error)) {
        return;
    }
    if (camera->isFocusModeSupported(AVCaptureFocusModeAutoFocus)) {
        camera->setFocusPointOfInterest(point);
        camera->setFocusMode(AVCaptureFocusModeAutoFocus);
    }
    if (camera->isExposurePointOfInterestSupported() &&
        camera->isExposureModeSupported(AVCaptureExposureModeContinuousAutoExposure)) {
        camera->setExposurePointOfInterest(point);
        camera->setExposureMode(AVCaptureExposureModeContinuousAutoExposure);
    }
    camera->unlockForConfiguration();
}

void PZCamera::captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& output,
                                                                 const CMSampleBufferRef& sampleBuffer,
                                                                 const Ref<AVCaptureConnection>& connection)
{
    if (output == videoOutput_) {
        dispatch_sync(dispatch_get_main_queue(), [this, &sampleBuffer] {
            if (auto delegate = this->delegate().lock()) {
                delegate->processNewCameraFrame(sampleBuffer);
            }
        });
    } else if (auto delegate = this->delegate().lock()) {
        delegate->processAudioFrame(sampleBuffer);
    }
}
