#pragma once
// Capture devices: the back and front cameras and the microphone of a synthetic phone. Each device
// answers what it supports (torch, flash, focus and exposure points and modes, white balance) and keeps
// the settings made while it is locked for configuration. Changing a setting without the lock, or to a
// mode the device does not support, raises as on the phone (NSGenericException,
// NSInvalidArgumentException), so code that forgets to ask fails loudly.
//
// The devices are process-wide. Tests change what a device supports with setCapabilities, make
// lockForConfiguration fail with setRefusesLock, or replace the whole set (setStandInDevices), and put
// the phone's usual set back with resetStandInDevices.
//
// A device is used from any thread; its settings are guarded by a lock of its own.
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"

class NSError;

inline constexpr char AVMediaTypeVideo[] = "vide";
inline constexpr char AVMediaTypeAudio[] = "soun";

enum AVCaptureDevicePosition { AVCaptureDevicePositionUnspecified = 0, AVCaptureDevicePositionBack = 1, AVCaptureDevicePositionFront = 2 };
enum AVCaptureTorchMode { AVCaptureTorchModeOff = 0, AVCaptureTorchModeOn = 1, AVCaptureTorchModeAuto = 2 };
enum AVCaptureFlashMode { AVCaptureFlashModeOff = 0, AVCaptureFlashModeOn = 1, AVCaptureFlashModeAuto = 2 };
enum AVCaptureFocusMode { AVCaptureFocusModeLocked = 0, AVCaptureFocusModeAutoFocus = 1, AVCaptureFocusModeContinuousAutoFocus = 2 };
enum AVCaptureExposureMode {
    AVCaptureExposureModeLocked = 0,
    AVCaptureExposureModeAutoExpose = 1,
    AVCaptureExposureModeContinuousAutoExposure = 2
};
enum AVCaptureWhiteBalanceMode {
    AVCaptureWhiteBalanceModeLocked = 0,
    AVCaptureWhiteBalanceModeAutoWhiteBalance = 1,
    AVCaptureWhiteBalanceModeContinuousAutoWhiteBalance = 2
};

// What a device can do. A mode is supported when its bit (1 << mode) is set.
struct AVCaptureDeviceCapabilities {
    bool hasTorch = false;
    bool hasFlash = false;
    bool focusPointOfInterestSupported = false;
    unsigned focusModes = 1u << AVCaptureFocusModeLocked;
    bool exposurePointOfInterestSupported = false;
    unsigned exposureModes = 1u << AVCaptureExposureModeLocked;
    unsigned whiteBalanceModes = 1u << AVCaptureWhiteBalanceModeLocked;
};

class AVCaptureDevice : public NSObject {
public:
    // The devices having that media type, in the phone's order (back camera, then front camera).
    static std::vector<Ref<AVCaptureDevice>> devicesWithMediaType(const std::string& mediaType);
    // The first device of that type (the back camera, the microphone), or null.
    static Ref<AVCaptureDevice> defaultDeviceWithMediaType(const std::string& mediaType);

    // The stand-in's device set: the phone's (a back camera with torch, flash, focus and exposure
    // points and every mode; a front camera with continuous exposure and white balance only; a
    // microphone), fresh with default settings.
    static void resetStandInDevices();
    static void setStandInDevices(std::vector<Ref<AVCaptureDevice>> devices);
    // Tells the image picker which cameras the phone has: the picker's own answers (camera source,
    // rear and front camera, their flash) become those of the devices now in the set. The picker
    // cannot see the capture devices itself, and on its own says the phone has no camera, so the
    // program that runs as the phone calls this at its start (screens ask the picker before they
    // open the camera). It also gives the picker's screens the media they show: the cameras' live
    // pictures, movies recorded with them, and the posters and lengths of the library's movies.
    static void announceCamerasToImagePicker();
    // A device of the stand-in (for setStandInDevices).
    static Ref<AVCaptureDevice> makeStandInDevice(std::string uniqueID, std::string mediaType,
                                                  AVCaptureDevicePosition position, AVCaptureDeviceCapabilities caps);

    const std::string& uniqueID() const { return uniqueID_; }
    const std::string& localizedName() const { return name_; }
    bool hasMediaType(const std::string& mediaType) const { return mediaType_ == mediaType; }
    const std::string& mediaType() const { return mediaType_; }
    AVCaptureDevicePosition position() const { return position_; }

    bool lockForConfiguration(Ref<NSError>* error);
    void unlockForConfiguration();

    bool hasTorch() const;
    bool isTorchModeSupported(AVCaptureTorchMode mode) const;
    AVCaptureTorchMode torchMode() const;
    void setTorchMode(AVCaptureTorchMode mode);

    bool hasFlash() const;
    bool isFlashModeSupported(AVCaptureFlashMode mode) const;
    AVCaptureFlashMode flashMode() const;
    void setFlashMode(AVCaptureFlashMode mode);

    bool isFocusPointOfInterestSupported() const;
    bool isFocusModeSupported(AVCaptureFocusMode mode) const;
    AVCaptureFocusMode focusMode() const;
    void setFocusMode(AVCaptureFocusMode mode);
    CGPoint focusPointOfInterest() const;
    void setFocusPointOfInterest(CGPoint point);

    bool isExposurePointOfInterestSupported() const;
    bool isExposureModeSupported(AVCaptureExposureMode mode) const;
    AVCaptureExposureMode exposureMode() const;
    void setExposureMode(AVCaptureExposureMode mode);
    CGPoint exposurePointOfInterest() const;
    void setExposurePointOfInterest(CGPoint point);

    bool isWhiteBalanceModeSupported(AVCaptureWhiteBalanceMode mode) const;
    AVCaptureWhiteBalanceMode whiteBalanceMode() const;
    void setWhiteBalanceMode(AVCaptureWhiteBalanceMode mode);

    // Stand-in controls.
    void setCapabilities(const AVCaptureDeviceCapabilities& caps);
    AVCaptureDeviceCapabilities capabilities() const;
    void setRefusesLock(bool refuses);
    bool isLockedForConfiguration() const;
    // How many settings were changed (any setter that went through), for tests of "nothing changed".
    int settingsChanged() const;

    AVCaptureDevice() = default;

private:
    void requireLock(const char* what) const;
    // Changes one setting under the configuration lock, refusing (as the platform does) what the
    // device's capabilities do not allow.
    template <class T, class Allowed>
    void changeSetting(T& setting, T value, const char* selector, const char* refusal, Allowed allowed);

    std::string uniqueID_;
    std::string name_;
    std::string mediaType_;
    AVCaptureDevicePosition position_ = AVCaptureDevicePositionUnspecified;

    mutable std::mutex mutex_;
    AVCaptureDeviceCapabilities caps_;
    bool refusesLock_ = false;
    int locks_ = 0;
    int changes_ = 0;
    AVCaptureTorchMode torch_ = AVCaptureTorchModeOff;
    AVCaptureFlashMode flash_ = AVCaptureFlashModeOff;
    AVCaptureFocusMode focus_ = AVCaptureFocusModeLocked;
    AVCaptureExposureMode exposure_ = AVCaptureExposureModeLocked;
    AVCaptureWhiteBalanceMode whiteBalance_ = AVCaptureWhiteBalanceModeLocked;
    CGPoint focusPoint_ = {0.5, 0.5};
    CGPoint exposurePoint_ = {0.5, 0.5};
};
