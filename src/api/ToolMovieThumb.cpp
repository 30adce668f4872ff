// Tool::movieThumb_path: the duration of a movie and its still at half a second. It runs on the engine's
// threads (import and folder scans), so it touches no interface object: only the media stand-in, the
// image encoder and the file system.
#include "api/Tool.h"

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAsset.h"
#include "platform/uikit/UIImage.h"

double Tool::movieThumb_path(const std::string& moviePath, const std::string& thumbnailPath)
{
    const Ref<NSURL> url = moviePath.empty() ? nullptr : NSURL::fileURLWithPath(moviePath);
    if (!url) {
        return 0;
    }
    auto asset = AVURLAsset::URLAssetWithURL_options(
        url, Value::dictionary({{AVURLAssetPreferPreciseDurationAndTimingKey, Value(false)}}));
    const double duration = CMTimeGetSeconds(asset->duration());

    auto generator = AVAssetImageGenerator::assetImageGeneratorWithAsset(asset);
    generator->setAppliesPreferredTrackTransform(true);
    generator->setApertureMode(AVAssetImageGeneratorApertureModeEncodedPixels);
    Ref<NSError> error;
    CMTime actualTime = kCMTimeInvalid;
    CGImageRef still = generator->copyCGImageAtTime_actualTime_error(CMTimeMake(30, 60), &actualTime, &error);
    if (!still) {
        NSLog("thumbnailImageGenerationError %@", error);
        return duration;
    }
    auto image = UIImage::imageWithCGImage(still);
    NSLog("%@", NSStringFromCGSize(image->size()));
    const std::optional<NSData> png = UIImagePNGRepresentation(image);
    if (!png || thumbnailPath.empty() || !png->writeToFile_atomically(thumbnailPath, true)) {
        NSLog("thumbnail not written to %@", thumbnailPath);
    }
    return duration;
}
