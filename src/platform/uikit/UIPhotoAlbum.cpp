#include "platform/uikit/UIPhotoAlbum.h"

#include <filesystem>
#include <mutex>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIImage.h"

namespace {
namespace UIPhotoAlbum_cpp {

struct Album {
    std::mutex mutex;
    std::string folder;
    std::vector<std::string> saved;
};

Album& album()
{
    static Album* value = new Album;  // kept for the process
    return *value;
}

}  // namespace UIPhotoAlbum_cpp
}  // namespace

void UIImageWriteToSavedPhotosAlbum(const Ref<UIImage>& image, UIImageSavedCompletion completion)
{
    using namespace UIPhotoAlbum_cpp;
    Ref<NSError> error;
    const auto data = image ? UIImagePNGRepresentation(image) : std::nullopt;
    if (!data) {
        error = NSError::errorWithDomain_code_userInfo("ALAssetsLibraryErrorDomain", -3304,
                                                       Value::dictionary({{"NSLocalizedDescription", "No image"}}));
    } else {
        const std::string folder = UIPhotoAlbum::folder();
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        std::lock_guard lock(album().mutex);
        // The next free number: files of earlier runs are kept.
        std::string path;
        for (int number = int(album().saved.size()) + 1;; ++number) {
            path = folder + "/" + stringWithFormat("IMG_%04d.PNG", number);
            if (!std::filesystem::exists(path)) {
                break;
            }
        }
        if (data->writeToFile_atomically(path, true)) {
            album().saved.push_back(path);
        } else {
            error = NSError::errorWithDomain_code_userInfo(
                "ALAssetsLibraryErrorDomain", -3301, Value::dictionary({{"NSLocalizedDescription", "Write failed"}}));
        }
    }
    if (completion) {
        dispatch_async(dispatch_get_main_queue(), [completion, image, error] { completion(image, error); });
    }
}

namespace UIPhotoAlbum {

void setFolder(const std::string& folder)
{
    std::lock_guard lock(UIPhotoAlbum_cpp::album().mutex);
    UIPhotoAlbum_cpp::album().folder = folder;
}

std::string folder()
{
    {
        std::lock_guard lock(UIPhotoAlbum_cpp::album().mutex);
        if (!UIPhotoAlbum_cpp::album().folder.empty()) {
            return UIPhotoAlbum_cpp::album().folder;
        }
    }
    return NSHomeDirectory() + "/Media/DCIM";
}

std::vector<std::string> savedImages()
{
    std::lock_guard lock(UIPhotoAlbum_cpp::album().mutex);
    return UIPhotoAlbum_cpp::album().saved;
}

void clearRecord()
{
    std::lock_guard lock(UIPhotoAlbum_cpp::album().mutex);
    UIPhotoAlbum_cpp::album().saved.clear();
}

}  // namespace UIPhotoAlbum
