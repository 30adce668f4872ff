#include "capture/gpu/GPUVideoCamera.h"

#include <chrono>

#include "capture/gpu/GPUMovieWriter.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"

GPUVideoCamera::GPUVideoCamera() = default;

GPUVideoCamera::~GPUVideoCamera()
{
    stopCameraCapture();
    if (captureSession_) {
        captureSession_->removeInput(videoInput_);
        captureSession_->removeOutput(videoOutput_);
    }
    if (supportsFastTextureUpload() && coreVideoTextureCache_) {
        GPUOpenGLESContext::useImageProcessingContext();
        coreVideoTextureCache_.reset();
    }
}

Ref<GPUVideoCamera> GPUVideoCamera::create()
{
    return initWithSessionPreset_cameraPosition(AVCaptureSessionPreset640x480, AVCaptureDevicePositionBack);
}

Ref<GPUVideoCamera> GPUVideoCamera::initWithSessionPreset_cameraPosition(const std::string& sessionPreset,
                                                                         AVCaptureDevicePosition cameraPosition)
{
    auto camera = std::make_shared<GPUVideoCamera>();
    camera->initWithSessionPreset_cameraPositionBody(sessionPreset, cameraPosition);
    return camera;
}

bool GPUVideoCamera::supportsFastTextureUpload() { return CVOpenGLESTextureCacheIsAvailable(); }

void GPUVideoCamera::initWithSessionPreset_cameraPositionBody(const std::string& sessionPreset,
                                                             AVCaptureDevicePosition cameraPosition)
{
    GPUOutput::initBody();
    runBenchmark_ = false;

    if (supportsFastTextureUpload()) {
        GPUOpenGLESContext::useImageProcessingContext();
        const CVReturn err = CVOpenGLESTextureCacheCreate(
            nullptr, Value(), GPUOpenGLESContext::sharedImageProcessingOpenGLESContext()->context(), Value(),
            &coreVideoTextureCache_);
        NSAssert(err == kCVReturnSuccess, "Error at CVOpenGLESTextureCacheCreate %d", err);
        // Frames come from the cache: the output texture is not needed.
        deleteOutputTexture();
    }

    Ref<AVCaptureDevice> device;
    for (const auto& candidate : AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo)) {
        if (candidate->position() == cameraPosition) {
            device = candidate;
        }
    }
    if (device && device->lockForConfiguration(nullptr)) {
        if (device->isWhiteBalanceModeSupported(AVCaptureWhiteBalanceModeContinuousAutoWhiteBalance)) {
            device->setWhiteBalanceMode(AVCaptureWhiteBalanceModeContinuousAutoWhiteBalance);
        }
        if (device->isFlashModeSupported(AVCaptureFlashModeOn)) {
            device->setFlashMode(AVCaptureFlashModeOn);
        }
        if (device->isFocusModeSupported(AVCaptureFocusModeAutoFocus)) {
            if (device->isFocusPointOfInterestSupported()) {
                device->setFocusPointOfInterest(CGPointMake(0.5, 0.5));
            }
            device->setFocusMode(AVCaptureFocusModeAutoFocus);
        }
        if (device->isExposureModeSupported(AVCaptureExposureModeAutoExpose)) {
            if (device->isExposurePointOfInterestSupported()) {
                device->setExposurePointOfInterest(CGPointMake(0.5, 0.5));
            }
            device->setExposureMode(AVCaptureExposureModeAutoExpose);
        }
        device->unlockForConfiguration();
    }

    captureSession_ = AVCaptureSession::create();
    captureSession_->beginConfiguration();

    videoInput_ = AVCaptureDeviceInput::deviceInputWithDevice_error(device, nullptr);
    if (videoInput_ && captureSession_->canAddInput(videoInput_)) {
        captureSession_->addInput(videoInput_);
    }

    videoOutput_ = AVCaptureVideoDataOutput::create();
    videoOutput_->setAlwaysDiscardsLateVideoFrames(true);
    videoOutput_->setMinFrameDuration(CMTimeMake(1, 15));
    Value settings = Value::dictionary();
    settings.setObject_forKey(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA), kCVPixelBufferPixelFormatTypeKey);
    videoOutput_->setVideoSettings(settings);
    const Ref<GPUVideoCamera> self = this->self<GPUVideoCamera>();
    videoOutput_->setSampleBufferDelegate_queue(Weak<AVCaptureSampleBufferDelegate>(self), dispatch_get_main_queue());
    if (captureSession_->canAddOutput(videoOutput_)) {
        captureSession_->addOutput(videoOutput_);
    } else {
        NSLog("Couldn't add video output");
    }

    audioInput_ = AVCaptureDeviceInput::deviceInputWithDevice_error(
        AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeAudio), nullptr);
    if (audioInput_ && captureSession_->canAddInput(audioInput_)) {
        captureSession_->addInput(audioInput_);
    }
    audioOutput_ = AVCaptureAudioDataOutput::create();
    if (captureSession_->canAddOutput(audioOutput_)) {
        captureSession_->addOutput(audioOutput_);
    }
    audioOutput_->setSampleBufferDelegate_queue(Weak<AVCaptureSampleBufferDelegate>(self),
                                               dispatch_queue_create("AudioQueue", DISPATCH_QUEUE_SERIAL));

    captureSession_->setSessionPreset(sessionPreset);
    captureSession_->commitConfiguration();
}

void GPUVideoCamera::startCameraCapture()
{
    if (!captureSession_->isRunning()) {
        captureSession_->startRunning();
    }
}

void GPUVideoCamera::stopCameraCapture()
{
    if (captureSession_ && captureSession_->isRunning()) {
        captureSession_->stopRunning();
    }
}

void GPUVideoCamera::toggleFlash()
{
    if (!videoInput_) {
        return;
    }
    const Ref<AVCaptureDevice>& device = videoInput_->device();
    if (!device->lockForConfiguration(nullptr)) {
        return;
    }
    const AVCaptureTorchMode wanted =
        device->torchMode() == AVCaptureTorchModeOn ? AVCaptureTorchModeOff : AVCaptureTorchModeOn;
    // A camera without a torch has none to switch on (the phone would raise).
    if (device->isTorchModeSupported(wanted)) {
        device->setTorchMode(wanted);
    }
    device->unlockForConfiguration();
}

void GPUVideoCamera::toggleCamera()
{
    captureSession_->beginConfiguration();
    const bool wasFront = videoInput_ && videoInput_->device()->position() == AVCaptureDevicePositionFront;
    if (videoInput_) {
        captureSession_->removeInput(videoInput_);
    }
    const AVCaptureDevicePosition wanted = wasFront ? AVCaptureDevicePositionBack : AVCaptureDevicePositionFront;
    Ref<AVCaptureDeviceInput> newVideoInput;
    for (const auto& device : AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo)) {
        if (device->position() == wanted) {
            newVideoInput = AVCaptureDeviceInput::deviceInputWithDevice_error(device, nullptr);
        }
    }
    if (newVideoInput) {
        videoInput_ = newVideoInput;
    }
    if (videoInput_ && captureSession_->canAddInput(videoInput_)) {
        captureSession_->addInput(videoInput_);
    }
    captureSession_->commitConfiguration();
}

void GPUVideoCamera::resetFocus(CGPoint point)
{
    if (!videoInput_) {
        return;
    }
    const Ref<AVCaptureDevice>& device = videoInput_->device();
    if (!device->isFocusPointOfInterestSupported() || !device->isFocusModeSupported(AVCaptureFocusModeContinuousAutoFocus) ||
        !device->lockForConfiguration(nullptr)) {
        return;
    }
    if (device->isFocusModeSupported(AVCaptureFocusModeAutoFocus)) {
        device->setFocusPointOfInterest(point);
        device->setFocusMode(AVCaptureFocusModeAutoFocus);
    }
    if (device->isExposureModeSupported(AVCaptureExposureModeContinuousAutoExposure)) {
        if (device->isExposurePointOfInterestSupported()) {
            device->setExposurePointOfInterest(point);
        }
        device->setExposureMode(AVCaptureExposureModeContinuousAutoExposure);
    }
    device->unlockForConfiguration();
}

float GPUVideoCamera::averageFrameDurationDuringCapture()
{
    NSLog("Number of frames: %d", numberOfFramesCaptured_);
    return numberOfFramesCaptured_ ? totalFrameTimeDuringCapture_ / static_cast<float>(numberOfFramesCaptured_) * 1000.0f
                                   : 0.0f;
}

void GPUVideoCamera::captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& captureOutput,
                                                                       const CMSampleBufferRef& sampleBuffer,
                                                                       const Ref<AVCaptureConnection>&)
{
    if (captureOutput != videoOutput_) {
        if (auto writer = movieWriter()) {
            writer->newAudioFrame(sampleBuffer);
        }
        return;
    }
    processVideoFrame(sampleBuffer);
}

Ref<GPUMovieWriter> GPUVideoCamera::movieWriter() const
{
    std::lock_guard lock(movieWriterMutex_);
    return movieWriter_.lock();
}

void GPUVideoCamera::setMovieWriter(const Ref<GPUMovieWriter>& writer)
{
    std::lock_guard lock(movieWriterMutex_);
    movieWriter_ = writer;
}

void GPUVideoCamera::processVideoFrame(const CMSampleBufferRef& sampleBuffer)
{
    if (auto writer = movieWriter()) {
        writer->setCurrentTime(CMSampleBufferGetPresentationTimeStamp(sampleBuffer));
    }
    const auto startTime = std::chrono::steady_clock::now();
    const CVImageBufferRef cameraFrame = CMSampleBufferGetImageBuffer(sampleBuffer);
    if (!cameraFrame) {
        return;
    }
    const auto bufferWidth = static_cast<int>(CVPixelBufferGetWidth(cameraFrame));
    const auto bufferHeight = static_cast<int>(CVPixelBufferGetHeight(cameraFrame));
    // Targets may leave the list while a frame is handed on.
    const std::vector<Ref<GPUInput>> targets = targets_;
    const std::vector<GLint> indices = targetTextureIndices_;

    if (coreVideoTextureCache_) {
        CVPixelBufferLockBaseAddress(cameraFrame, 0);
        GPUOpenGLESContext::useImageProcessingContext();
        CVOpenGLESTextureRef texture;
        const CVReturn err = CVOpenGLESTextureCacheCreateTextureFromImage(
            nullptr, coreVideoTextureCache_, cameraFrame, Value(), GL_TEXTURE_2D, GL_RGBA, bufferWidth, bufferHeight,
            GL_BGRA_EXT, GL_UNSIGNED_BYTE, 0, &texture);
        if (!texture || err) {
            NSLog("CVOpenGLESTextureCacheCreateTextureFromImage failed (error: %d)", err);
            CVPixelBufferUnlockBaseAddress(cameraFrame, 0);
            return;
        }
        outputTexture_ = CVOpenGLESTextureGetName(texture);
        glBindTexture(GL_TEXTURE_2D, outputTexture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        inputTextureSize_ = CGSizeMake(bufferWidth, bufferHeight);
        for (size_t i = 0; i < targets.size(); ++i) {
            targets[i]->setInputTexture_atIndex(outputTexture_, indices[i]);
            targets[i]->setInputSize(inputTextureSize_);
            targets[i]->newFrameReady();
        }
        CVPixelBufferUnlockBaseAddress(cameraFrame, 0);
        GPUOpenGLESContext::useImageProcessingContext();
        glBindTexture(GL_TEXTURE_2D, 0);
        CVOpenGLESTextureCacheFlush(coreVideoTextureCache_, 0);
        texture.reset();
        outputTexture_ = 0;
    } else {
        CVPixelBufferLockBaseAddress(cameraFrame, 0);
        GPUOpenGLESContext::useImageProcessingContext();
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, outputTexture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, bufferWidth, bufferHeight, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                     CVPixelBufferGetBaseAddress(cameraFrame));
        inputTextureSize_ = CGSizeMake(bufferWidth, bufferHeight);
        for (const auto& target : targets) {
            target->setInputSize(inputTextureSize_);
            target->newFrameReady();
        }
        CVPixelBufferUnlockBaseAddress(cameraFrame, 0);
    }

    if (runBenchmark_) {
        const std::chrono::duration<float> spent = std::chrono::steady_clock::now() - startTime;
        totalFrameTimeDuringCapture_ += spent.count();
        ++numberOfFramesCaptured_;
    }
}
