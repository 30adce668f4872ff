#pragma once
// The image picker: the device's own screens for choosing a picture or a movie, under a navigation
// bar, and the device's answers (sources, cameras, media types), which tests may change.
//
// By default the photo library and the saved photos album are available with images and movies,
// and the camera (rear and front) is not, as on a simulator; the media stand-in announces its
// synthetic cameras (AVCaptureDevice::announceCamerasToImagePicker), and setSourceTypeAvailable,
// setCameraDeviceAvailable and setAvailableMediaTypes change that. Choosing a source or a camera
// that is not available throws NSInvalidArgumentException, as on the phone.
//
// Screens, by source, once the picker's view loads:
// - Library and saved photos: a grid of the pictures and movies in the media folder (Media/ under the
//   home, where the saved-photos album writes too), filtered by the media types, movies marked with
//   their length, and "取消". A tap on a picture picks it; a tap on a movie picks a copy of it in the
//   temporary folder (UIImagePickerControllerMediaURL).
// - Camera: the camera device's live picture, with a shutter for pictures or record/stop for movies
//   (capture mode video, or movies alone in the media types), the flash mode shown where the device has
//   a flash, a front/back switch where both exist, and "取消"; after the shot "重拍" and "使用".
// - With allowsEditing, a picture picked or taken goes through a move-and-scale screen first: the
//   picture under a square frame (starting on its centre square), dragged by a finger, scaled by two
//   fingers or "－"/"＋", always covering the frame; "选取" picks the part in the frame, "取消" (the
//   library) or "重拍" (the camera) goes back.
// The delegate hears didFinishPickingMediaWithInfo (media type; the original image, and with editing the
// edited image and its crop rect in the original's points; media URL of a movie) or didCancel (by
// default the picker dismisses itself).
// Tests may also finish the picking in the user's place:
//   picker->simulateFinishPickingMediaWithInfo(info);  // imagePickerController:didFinishPickingMediaWithInfo:
//   picker->simulateCancel();                           // imagePickerControllerDidCancel:
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/uikit/UINavigationController.h"

class UIImagePickerController;

enum UIImagePickerControllerSourceType : NSInteger {
    UIImagePickerControllerSourceTypePhotoLibrary = 0,
    UIImagePickerControllerSourceTypeCamera = 1,
    UIImagePickerControllerSourceTypeSavedPhotosAlbum = 2,
};

enum UIImagePickerControllerCameraDevice : NSInteger {
    UIImagePickerControllerCameraDeviceRear = 0,
    UIImagePickerControllerCameraDeviceFront = 1,
};

enum UIImagePickerControllerQualityType : NSInteger {
    UIImagePickerControllerQualityTypeHigh = 0,
    UIImagePickerControllerQualityTypeMedium = 1,
    UIImagePickerControllerQualityTypeLow = 2,
    UIImagePickerControllerQualityType640x480 = 3,
};

enum UIImagePickerControllerCameraCaptureMode : NSInteger {
    UIImagePickerControllerCameraCaptureModePhoto = 0,
    UIImagePickerControllerCameraCaptureModeVideo = 1,
};

enum UIImagePickerControllerCameraFlashMode : NSInteger {
    UIImagePickerControllerCameraFlashModeOff = -1,
    UIImagePickerControllerCameraFlashModeAuto = 0,
    UIImagePickerControllerCameraFlashModeOn = 1,
};

// Keys of the info dictionary.
inline constexpr char UIImagePickerControllerMediaType[] = "UIImagePickerControllerMediaType";
inline constexpr char UIImagePickerControllerOriginalImage[] = "UIImagePickerControllerOriginalImage";
inline constexpr char UIImagePickerControllerEditedImage[] = "UIImagePickerControllerEditedImage";
inline constexpr char UIImagePickerControllerCropRect[] = "UIImagePickerControllerCropRect";
inline constexpr char UIImagePickerControllerMediaURL[] = "UIImagePickerControllerMediaURL";
inline constexpr char UIImagePickerControllerReferenceURL[] = "UIImagePickerControllerReferenceURL";
inline constexpr char UIImagePickerControllerMediaMetadata[] = "UIImagePickerControllerMediaMetadata";
// Media types (uniform type identifiers).
inline constexpr char kUTTypeImage[] = "public.image";
inline constexpr char kUTTypeMovie[] = "public.movie";

class UIImagePickerControllerDelegate : public virtual UINavigationControllerDelegate {
public:
    virtual void imagePickerController_didFinishPickingMediaWithInfo(const Ref<UIImagePickerController>& picker,
                                                                     const Value& info)
    {
    }
    // By default the picker dismisses itself, as the phone does for a delegate without this method.
    virtual void imagePickerControllerDidCancel(const Ref<UIImagePickerController>& picker);
};

class UIImage;

// What the device's media give the picker's screens (the media stand-in installs it with its cameras).
struct UIImagePickerMediaSupport {
    // A movie's first picture and its length in seconds; false when it cannot be read.
    std::function<bool(const std::string& path, Ref<UIImage>* poster, double* seconds)> inspectMovie;
    // What a camera device sees at a moment (frame counts on from 0 while the screen shows).
    std::function<Ref<UIImage>(NSInteger cameraDevice, int64_t frame)> cameraPicture;
    // Writes what the camera device saw over `seconds`, with sound, as a movie at path.
    std::function<bool(const std::string& path, NSInteger cameraDevice, double seconds)> recordMovie;
};

class UIImagePickerController : public UINavigationController {
public:
    static void setMediaSupport(UIImagePickerMediaSupport support);
    static const UIImagePickerMediaSupport& mediaSupport();
    // The library's folder: Media/ under the home.
    static std::string mediaFolderPath();
    // At the first start (no media folder yet) fills it with a few pictures and, when the media support
    // can record, one short movie, so a new user has something to pick. False when nothing was made.
    static bool seedMediaLibraryIfNeeded();

    static Ref<UIImagePickerController> create() { return make<UIImagePickerController>(); }

    static bool isSourceTypeAvailable(UIImagePickerControllerSourceType sourceType);
    static std::vector<std::string> availableMediaTypesForSourceType(UIImagePickerControllerSourceType sourceType);
    static bool isCameraDeviceAvailable(UIImagePickerControllerCameraDevice device);
    static bool isFlashAvailableForCameraDevice(UIImagePickerControllerCameraDevice device);
    // --- What the device offers (tests) ---
    static void setSourceTypeAvailable(UIImagePickerControllerSourceType sourceType, bool available);
    static void setAvailableMediaTypes(UIImagePickerControllerSourceType sourceType, std::vector<std::string> types);
    static void setCameraDeviceAvailable(UIImagePickerControllerCameraDevice device, bool available);
    static void setFlashAvailable(UIImagePickerControllerCameraDevice device, bool available);
    static void resetAvailability();

    Ref<UIImagePickerControllerDelegate> pickerDelegate() const { return pickerDelegate_.lock(); }
    // The delegate is also the navigation controller's delegate.
    void setDelegate(const Ref<UINavigationControllerDelegate>& delegate);

    UIImagePickerControllerSourceType sourceType() const { return sourceType_; }
    void setSourceType(UIImagePickerControllerSourceType sourceType);
    const std::vector<std::string>& mediaTypes() const { return mediaTypes_; }
    void setMediaTypes(std::vector<std::string> types);
    bool allowsEditing() const { return allowsEditing_; }
    void setAllowsEditing(bool allows) { allowsEditing_ = allows; }
    bool allowsImageEditing() const { return allowsEditing_; }
    void setAllowsImageEditing(bool allows) { allowsEditing_ = allows; }
    UIImagePickerControllerCameraDevice cameraDevice() const { return cameraDevice_; }
    void setCameraDevice(UIImagePickerControllerCameraDevice device);
    UIImagePickerControllerCameraCaptureMode cameraCaptureMode() const { return captureMode_; }
    void setCameraCaptureMode(UIImagePickerControllerCameraCaptureMode mode) { captureMode_ = mode; }
    UIImagePickerControllerCameraFlashMode cameraFlashMode() const { return flashMode_; }
    void setCameraFlashMode(UIImagePickerControllerCameraFlashMode mode) { flashMode_ = mode; }
    UIImagePickerControllerQualityType videoQuality() const { return videoQuality_; }
    void setVideoQuality(UIImagePickerControllerQualityType quality) { videoQuality_ = quality; }
    double videoMaximumDuration() const { return videoMaximumDuration_; }
    void setVideoMaximumDuration(double seconds) { videoMaximumDuration_ = seconds; }
    bool showsCameraControls() const { return showsCameraControls_; }
    void setShowsCameraControls(bool shows) { showsCameraControls_ = shows; }
    Ref<UIView> cameraOverlayView() const { return cameraOverlayView_; }
    void setCameraOverlayView(const Ref<UIView>& view) { cameraOverlayView_ = view; }
    CGAffineTransform cameraViewTransform() const { return cameraViewTransform_; }
    void setCameraViewTransform(CGAffineTransform transform) { cameraViewTransform_ = transform; }

    // Recorded requests of a custom camera interface.
    void takePicture() { ++picturesTaken_; }
    bool startVideoCapture();
    void stopVideoCapture() { capturing_ = false; }
    NSInteger picturesTaken() const { return picturesTaken_; }
    bool isCapturingVideo() const { return capturing_; }

    // --- Test driving ---
    void simulateFinishPickingMediaWithInfo(const Value& info);
    void simulateCancel();

    void initWithNibName_bundleBody(const std::string& nibName, const Ref<NSBundle>& bundle) override;
    void viewDidLoad() override;
    // The screen the picker shows for its source (the grid or the camera), once its view loaded.
    Ref<UIViewController> sourceScreen() const;

private:
    Weak<UIImagePickerControllerDelegate> pickerDelegate_;
    UIImagePickerControllerSourceType sourceType_ = UIImagePickerControllerSourceTypePhotoLibrary;
    std::vector<std::string> mediaTypes_{kUTTypeImage};
    bool allowsEditing_ = false;
    UIImagePickerControllerCameraDevice cameraDevice_ = UIImagePickerControllerCameraDeviceRear;
    UIImagePickerControllerCameraCaptureMode captureMode_ = UIImagePickerControllerCameraCaptureModePhoto;
    UIImagePickerControllerCameraFlashMode flashMode_ = UIImagePickerControllerCameraFlashModeAuto;
    UIImagePickerControllerQualityType videoQuality_ = UIImagePickerControllerQualityTypeMedium;
    double videoMaximumDuration_ = 600;
    bool showsCameraControls_ = true;
    Ref<UIView> cameraOverlayView_;
    CGAffineTransform cameraViewTransform_ = CGAffineTransformIdentity;
    NSInteger picturesTaken_ = 0;
    bool capturing_ = false;
};
