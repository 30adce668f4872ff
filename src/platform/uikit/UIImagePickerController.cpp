#include "platform/uikit/UIImagePickerController.h"

#include <algorithm>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"

namespace {

struct Availability {
    std::map<NSInteger, bool> sources;
    std::map<NSInteger, std::vector<std::string>> mediaTypes;
    std::map<NSInteger, bool> cameras;
    std::map<NSInteger, bool> flash;

    Availability() { reset(); }
    void reset()
    {
        sources = {{UIImagePickerControllerSourceTypePhotoLibrary, true},
                   {UIImagePickerControllerSourceTypeCamera, false},
                   {UIImagePickerControllerSourceTypeSavedPhotosAlbum, true}};
        mediaTypes = {{UIImagePickerControllerSourceTypePhotoLibrary, {kUTTypeImage, kUTTypeMovie}},
                      {UIImagePickerControllerSourceTypeCamera, {kUTTypeImage, kUTTypeMovie}},
                      {UIImagePickerControllerSourceTypeSavedPhotosAlbum, {kUTTypeImage, kUTTypeMovie}}};
        cameras = {{UIImagePickerControllerCameraDeviceRear, false}, {UIImagePickerControllerCameraDeviceFront, false}};
        flash = {{UIImagePickerControllerCameraDeviceRear, false}, {UIImagePickerControllerCameraDeviceFront, false}};
    }
};

// The interface runs on the main thread; the device's answers live for the whole process.
Availability& availability()
{
    static Availability* instance = new Availability;
    return *instance;
}

}  // namespace

void UIImagePickerControllerDelegate::imagePickerControllerDidCancel(const Ref<UIImagePickerController>& picker)
{
    picker->dismissModalViewControllerAnimated(true);
}

bool UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceType sourceType)
{
    auto it = availability().sources.find(sourceType);
    return it != availability().sources.end() && it->second;
}

std::vector<std::string> UIImagePickerController::availableMediaTypesForSourceType(
    UIImagePickerControllerSourceType sourceType)
{
    if (!isSourceTypeAvailable(sourceType)) {
        return {};
    }
    return availability().mediaTypes[sourceType];
}

bool UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDevice device)
{
    auto it = availability().cameras.find(device);
    return it != availability().cameras.end() && it->second;
}

bool UIImagePickerController::isFlashAvailableForCameraDevice(UIImagePickerControllerCameraDevice device)
{
    auto it = availability().flash.find(device);
    return isCameraDeviceAvailable(device) && it != availability().flash.end() && it->second;
}

void UIImagePickerController::setSourceTypeAvailable(UIImagePickerControllerSourceType sourceType, bool available)
{
    availability().sources[sourceType] = available;
}

void UIImagePickerController::setAvailableMediaTypes(UIImagePickerControllerSourceType sourceType,
                                                     std::vector<std::string> types)
{
    availability().mediaTypes[sourceType] = std::move(types);
}

void UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDevice device, bool available)
{
    availability().cameras[device] = available;
}

void UIImagePickerController::setFlashAvailable(UIImagePickerControllerCameraDevice device, bool available)
{
    availability().flash[device] = available;
}

void UIImagePickerController::resetAvailability() { availability().reset(); }

void UIImagePickerController::initWithNibName_bundleBody(const std::string& nibName, const Ref<NSBundle>& bundle)
{
    UINavigationController::initWithNibName_bundleBody(nibName, bundle);
}

void UIImagePickerController::setDelegate(const Ref<UINavigationControllerDelegate>& delegate)
{
    UINavigationController::setDelegate(delegate);
    pickerDelegate_ = std::dynamic_pointer_cast<UIImagePickerControllerDelegate>(delegate);
}

void UIImagePickerController::setSourceType(UIImagePickerControllerSourceType sourceType)
{
    if (!isSourceTypeAvailable(sourceType)) {
        NSException::raise(NSInvalidArgumentException, stringWithFormat("Source type %d not available", int(sourceType)));
    }
    sourceType_ = sourceType;
}

void UIImagePickerController::setMediaTypes(std::vector<std::string> types)
{
    const std::vector<std::string> available = availableMediaTypesForSourceType(sourceType_);
    const bool any = std::any_of(types.begin(), types.end(), [&](const std::string& type) {
        return std::find(available.begin(), available.end(), type) != available.end();
    });
    if (!any) {
        NSException::raise(NSInvalidArgumentException,
                           stringWithFormat("No available types for source %d", int(sourceType_)));
    }
    mediaTypes_ = std::move(types);
}

void UIImagePickerController::setCameraDevice(UIImagePickerControllerCameraDevice device)
{
    if (!isCameraDeviceAvailable(device)) {
        NSException::raise(NSInvalidArgumentException, stringWithFormat("Camera device %d not available", int(device)));
    }
    cameraDevice_ = device;
}

bool UIImagePickerController::startVideoCapture()
{
    if (sourceType_ != UIImagePickerControllerSourceTypeCamera ||
        captureMode_ != UIImagePickerControllerCameraCaptureModeVideo || capturing_) {
        return false;
    }
    capturing_ = true;
    return true;
}

void UIImagePickerController::simulateFinishPickingMediaWithInfo(const Value& info)
{
    if (auto delegate = pickerDelegate_.lock()) {
        delegate->imagePickerController_didFinishPickingMediaWithInfo(self<UIImagePickerController>(), info);
    }
}

void UIImagePickerController::simulateCancel()
{
    if (auto delegate = pickerDelegate_.lock()) {
        delegate->imagePickerControllerDidCancel(self<UIImagePickerController>());
    } else {
        dismissModalViewControllerAnimated(true);
    }
}
