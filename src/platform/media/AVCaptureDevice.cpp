#include "platform/media/AVCaptureDevice.h"

#include "platform/uikit/UIImagePickerController.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSURL.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGradient.h"
#include "platform/media/AVAsset.h"
#include "platform/media/CMTime.h"
#include "platform/media/SyntheticMedia.h"
#include "platform/uikit/UIImage.h"

namespace {
namespace AVCaptureDevice_cpp {

struct Registry {
    std::mutex mutex;
    std::vector<Ref<AVCaptureDevice>> devices;
};

Registry& registry()
{
    static Registry& r = *new Registry;
    return r;
}

std::vector<Ref<AVCaptureDevice>> phoneDevices()
{
    AVCaptureDeviceCapabilities back;
    back.hasTorch = true;
    back.hasFlash = true;
    back.focusPointOfInterestSupported = true;
    back.focusModes = 0b111;
    back.exposurePointOfInterestSupported = true;
    back.exposureModes = 0b111;
    back.whiteBalanceModes = 0b111;
    AVCaptureDeviceCapabilities front;
    front.exposurePointOfInterestSupported = true;
    front.exposureModes = (1u << AVCaptureExposureModeLocked) | (1u << AVCaptureExposureModeContinuousAutoExposure);
    front.whiteBalanceModes = 0b111;
    return {
        AVCaptureDevice::makeStandInDevice("com.apple.avfoundation.avcapturedevice.built-in_video:0", AVMediaTypeVideo,
                                           AVCaptureDevicePositionBack, back),
        AVCaptureDevice::makeStandInDevice("com.apple.avfoundation.avcapturedevice.built-in_video:1", AVMediaTypeVideo,
                                           AVCaptureDevicePositionFront, front),
        AVCaptureDevice::makeStandInDevice("com.apple.avfoundation.avcapturedevice.built-in_audio:0", AVMediaTypeAudio,
                                           AVCaptureDevicePositionUnspecified, {}),
    };
}

std::vector<Ref<AVCaptureDevice>> allDevices()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.devices.empty()) {
        r.devices = phoneDevices();
    }
    return r.devices;
}

bool has(unsigned modes, int mode) { return mode >= 0 && mode < 32 && (modes & (1u << mode)) != 0; }

}  // namespace AVCaptureDevice_cpp
}  // namespace

std::vector<Ref<AVCaptureDevice>> AVCaptureDevice::devicesWithMediaType(const std::string& mediaType)
{
    std::vector<Ref<AVCaptureDevice>> found;
    for (const auto& device : AVCaptureDevice_cpp::allDevices()) {
        if (device->hasMediaType(mediaType)) {
            found.push_back(device);
        }
    }
    return found;
}

Ref<AVCaptureDevice> AVCaptureDevice::defaultDeviceWithMediaType(const std::string& mediaType)
{
    auto found = devicesWithMediaType(mediaType);
    return found.empty() ? nullptr : found.front();
}

void AVCaptureDevice::resetStandInDevices()
{
    auto devices = AVCaptureDevice_cpp::phoneDevices();
    auto& r = AVCaptureDevice_cpp::registry();
    std::lock_guard lock(r.mutex);
    r.devices = std::move(devices);
}

void AVCaptureDevice::setStandInDevices(std::vector<Ref<AVCaptureDevice>> devices)
{
    auto& r = AVCaptureDevice_cpp::registry();
    std::lock_guard lock(r.mutex);
    r.devices = std::move(devices);
}

namespace {
namespace AVCaptureDevice_picker {

// The synthetic camera's test picture as the picker's live view shows it (the front camera mirrored,
// as a self-portrait is).
Ref<UIImage> cameraPicture(NSInteger device, int64_t frame)
{
    constexpr int kWidth = 480;
    constexpr int kHeight = 360;
    std::vector<uint8_t> bgra(size_t(kWidth) * kHeight * 4);
    CameraTestPicture::draw(bgra.data(), kWidth, kHeight, kWidth * 4, frame);
    if (device == UIImagePickerControllerCameraDeviceFront) {
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(bgra.data() + size_t(y) * kWidth * 4);
            std::reverse(row, row + kWidth);
        }
    }
    CGContextRef context = CGBitmapContextCreate(bgra.data(), kWidth, kHeight, 8, kWidth * 4, CGColorSpaceCreateDeviceRGB(),
                                                 kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    return context ? UIImage::imageWithCGImage(CGBitmapContextCreateImage(context)) : nullptr;
}

bool inspectMovie(const std::string& path, Ref<UIImage>* poster, double* seconds)
{
    auto asset = AVURLAsset::URLAssetWithURL_options(NSURL::fileURLWithPath(path));
    const double length = CMTimeGetSeconds(asset->duration());
    if (seconds) *seconds = std::isfinite(length) ? length : 0;
    auto stills = AVAssetImageGenerator::assetImageGeneratorWithAsset(asset);
    stills->setAppliesPreferredTrackTransform(true);
    stills->setMaximumSize(CGSizeMake(240, 240));
    Ref<NSError> error;
    CGImageRef still = stills->copyCGImageAtTime_actualTime_error(CMTimeMake(0, 600), nullptr, &error);
    if (poster) *poster = still ? UIImage::imageWithCGImage(still) : nullptr;
    return still != nullptr;
}

// What the camera saw over `seconds`: the synthetic camera's pictures and the microphone's sound.
bool recordMovie(const std::string& path, NSInteger device, double seconds)
{
    MovieFileSettings settings;
    MovieFileWriter writer;
    if (!writer.startWriting(path, settings)) {
        return false;
    }
    SyntheticCamera camera(settings.width, settings.height);
    SyntheticMicrophone microphone(settings.audioSampleRate);
    const int64_t frames = std::max<int64_t>(1, std::llround(seconds * settings.frameRate));
    std::vector<float> sound(size_t(settings.audioSampleRate / settings.frameRate));
    for (int64_t i = 0; i < frames; ++i) {
        microphone.read(sound.data(), sound.size());
        if (!writer.appendVideoFrame(camera.frameAt(i)) || !writer.appendAudioSamples(sound.data(), sound.size())) {
            writer.finishWriting();
            return false;
        }
    }
    return writer.finishWriting();
}

}  // namespace AVCaptureDevice_picker
}  // namespace

void AVCaptureDevice::announceCamerasToImagePicker()
{
    UIImagePickerController::setMediaSupport({AVCaptureDevice_picker::inspectMovie, AVCaptureDevice_picker::cameraPicture,
                                              AVCaptureDevice_picker::recordMovie});
    bool rear = false;
    bool front = false;
    bool rearFlash = false;
    bool frontFlash = false;
    for (const auto& device : devicesWithMediaType(AVMediaTypeVideo)) {
        // A camera of unspecified position is the phone's only one, behind.
        const bool isFront = device->position() == AVCaptureDevicePositionFront;
        (isFront ? front : rear) = true;
        (isFront ? frontFlash : rearFlash) = (isFront ? frontFlash : rearFlash) || device->hasFlash();
    }
    UIImagePickerController::setSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera, rear || front);
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear, rear);
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront, front);
    UIImagePickerController::setFlashAvailable(UIImagePickerControllerCameraDeviceRear, rearFlash);
    UIImagePickerController::setFlashAvailable(UIImagePickerControllerCameraDeviceFront, frontFlash);
}

Ref<AVCaptureDevice> AVCaptureDevice::makeStandInDevice(std::string uniqueID, std::string mediaType,
                                                        AVCaptureDevicePosition position, AVCaptureDeviceCapabilities caps)
{
    auto device = std::make_shared<AVCaptureDevice>();
    device->name_ = mediaType == AVMediaTypeAudio ? "iPhone Microphone"
                    : position == AVCaptureDevicePositionFront ? "Front Camera"
                                                               : "Back Camera";
    device->uniqueID_ = std::move(uniqueID);
    device->mediaType_ = std::move(mediaType);
    device->position_ = position;
    device->caps_ = caps;
    return device;
}

bool AVCaptureDevice::lockForConfiguration(Ref<NSError>* error)
{
    std::lock_guard lock(mutex_);
    if (refusesLock_) {
        if (error) {
            *error = NSError::errorWithDomain_code_userInfo("AVFoundationErrorDomain", -11817);
        }
        return false;
    }
    ++locks_;
    return true;
}

void AVCaptureDevice::unlockForConfiguration()
{
    std::lock_guard lock(mutex_);
    if (locks_ > 0) {
        --locks_;
    }
}

void AVCaptureDevice::requireLock(const char* what) const
{
    if (locks_ == 0) {
        NSException::raise(NSGenericException,
                           std::string("*** -[AVCaptureDevice ") + what + "] Must call lockForConfiguration: before calling this method");
    }
}

template <class T, class Allowed>
void AVCaptureDevice::changeSetting(T& setting, T value, const char* selector, const char* refusal, Allowed allowed)
{
    std::lock_guard lock(mutex_);
    requireLock(selector);
    if (!allowed(caps_)) {
        NSException::raise(NSInvalidArgumentException, std::string("*** -[AVCaptureDevice ") + selector + "] " + refusal);
    }
    setting = value;
    ++changes_;
}

bool AVCaptureDevice::hasTorch() const
{
    std::lock_guard lock(mutex_);
    return caps_.hasTorch;
}

bool AVCaptureDevice::isTorchModeSupported(AVCaptureTorchMode mode) const
{
    std::lock_guard lock(mutex_);
    return mode == AVCaptureTorchModeOff || caps_.hasTorch;
}

AVCaptureTorchMode AVCaptureDevice::torchMode() const
{
    std::lock_guard lock(mutex_);
    return torch_;
}

void AVCaptureDevice::setTorchMode(AVCaptureTorchMode mode)
{
    changeSetting(torch_, mode, "setTorchMode:", "Unsupported torch mode",
                  [mode](const AVCaptureDeviceCapabilities& caps) { return mode == AVCaptureTorchModeOff || caps.hasTorch; });
}

bool AVCaptureDevice::hasFlash() const
{
    std::lock_guard lock(mutex_);
    return caps_.hasFlash;
}

bool AVCaptureDevice::isFlashModeSupported(AVCaptureFlashMode mode) const
{
    std::lock_guard lock(mutex_);
    return mode == AVCaptureFlashModeOff || caps_.hasFlash;
}

AVCaptureFlashMode AVCaptureDevice::flashMode() const
{
    std::lock_guard lock(mutex_);
    return flash_;
}

void AVCaptureDevice::setFlashMode(AVCaptureFlashMode mode)
{
    changeSetting(flash_, mode, "setFlashMode:", "Unsupported flash mode",
                  [mode](const AVCaptureDeviceCapabilities& caps) { return mode == AVCaptureFlashModeOff || caps.hasFlash; });
}

bool AVCaptureDevice::isFocusPointOfInterestSupported() const
{
    std::lock_guard lock(mutex_);
    return caps_.focusPointOfInterestSupported;
}

bool AVCaptureDevice::isFocusModeSupported(AVCaptureFocusMode mode) const
{
    std::lock_guard lock(mutex_);
    return AVCaptureDevice_cpp::has(caps_.focusModes, mode);
}

AVCaptureFocusMode AVCaptureDevice::focusMode() const
{
    std::lock_guard lock(mutex_);
    return focus_;
}

void AVCaptureDevice::setFocusMode(AVCaptureFocusMode mode)
{
    changeSetting(focus_, mode, "setFocusMode:", "Unsupported focus mode",
                  [mode](const AVCaptureDeviceCapabilities& caps) { return AVCaptureDevice_cpp::has(caps.focusModes, mode); });
}

CGPoint AVCaptureDevice::focusPointOfInterest() const
{
    std::lock_guard lock(mutex_);
    return focusPoint_;
}

void AVCaptureDevice::setFocusPointOfInterest(CGPoint point)
{
    changeSetting(focusPoint_, point, "setFocusPointOfInterest:",
                  "Setting focusPointOfInterest is not supported by this device",
                  [](const AVCaptureDeviceCapabilities& caps) { return caps.focusPointOfInterestSupported; });
}

bool AVCaptureDevice::isExposurePointOfInterestSupported() const
{
    std::lock_guard lock(mutex_);
    return caps_.exposurePointOfInterestSupported;
}

bool AVCaptureDevice::isExposureModeSupported(AVCaptureExposureMode mode) const
{
    std::lock_guard lock(mutex_);
    return AVCaptureDevice_cpp::has(caps_.exposureModes, mode);
}

AVCaptureExposureMode AVCaptureDevice::exposureMode() const
{
    std::lock_guard lock(mutex_);
    return exposure_;
}

void AVCaptureDevice::setExposureMode(AVCaptureExposureMode mode)
{
    changeSetting(exposure_, mode, "setExposureMode:", "Unsupported exposure mode",
                  [mode](const AVCaptureDeviceCapabilities& caps) { return AVCaptureDevice_cpp::has(caps.exposureModes, mode); });
}

CGPoint AVCaptureDevice::exposurePointOfInterest() const
{
    std::lock_guard lock(mutex_);
    return exposurePoint_;
}

void AVCaptureDevice::setExposurePointOfInterest(CGPoint point)
{
    changeSetting(exposurePoint_, point, "setExposurePointOfInterest:",
                  "Setting exposurePointOfInterest is not supported by this device",
                  [](const AVCaptureDeviceCapabilities& caps) { return caps.exposurePointOfInterestSupported; });
}

bool AVCaptureDevice::isWhiteBalanceModeSupported(AVCaptureWhiteBalanceMode mode) const
{
    std::lock_guard lock(mutex_);
    return AVCaptureDevice_cpp::has(caps_.whiteBalanceModes, mode);
}

AVCaptureWhiteBalanceMode AVCaptureDevice::whiteBalanceMode() const
{
    std::lock_guard lock(mutex_);
    return whiteBalance_;
}

void AVCaptureDevice::setWhiteBalanceMode(AVCaptureWhiteBalanceMode mode)
{
    changeSetting(whiteBalance_, mode, "setWhiteBalanceMode:", "Unsupported white balance mode",
                  [mode](const AVCaptureDeviceCapabilities& caps) { return AVCaptureDevice_cpp::has(caps.whiteBalanceModes, mode); });
}

void AVCaptureDevice::setCapabilities(const AVCaptureDeviceCapabilities& caps)
{
    std::lock_guard lock(mutex_);
    caps_ = caps;
}

AVCaptureDeviceCapabilities AVCaptureDevice::capabilities() const
{
    std::lock_guard lock(mutex_);
    return caps_;
}

void AVCaptureDevice::setRefusesLock(bool refuses)
{
    std::lock_guard lock(mutex_);
    refusesLock_ = refuses;
}

bool AVCaptureDevice::isLockedForConfiguration() const
{
    std::lock_guard lock(mutex_);
    return locks_ > 0;
}

int AVCaptureDevice::settingsChanged() const
{
    std::lock_guard lock(mutex_);
    return changes_;
}
