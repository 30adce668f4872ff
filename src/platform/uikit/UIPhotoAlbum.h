#pragma once
// The saved-photos album: UIImageWriteToSavedPhotosAlbum keeps each image as a PNG file in the album's
// folder (by default "<home>/Media/DCIM", numbered IMG_0001.PNG, IMG_0002.PNG, ...) and records it, so a
// test or a person can see what was saved. The completion, when given, runs on the main thread after the
// save with the image and an error (nil on success), as the platform calls its completion selector.
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSError;
class UIImage;

using UIImageSavedCompletion = std::function<void(const Ref<UIImage>& image, const Ref<NSError>& error)>;

void UIImageWriteToSavedPhotosAlbum(const Ref<UIImage>& image, UIImageSavedCompletion completion = {});

namespace UIPhotoAlbum {

// The album's folder ("" : the default under the home folder).
void setFolder(const std::string& folder);
std::string folder();
// The files saved since the start or the last clear, in order.
std::vector<std::string> savedImages();
void clearRecord();

}  // namespace UIPhotoAlbum
