#include "platform/media/AVAsset.h"

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"

struct AVAssetState {
    std::string path;
};

CMTime CMTimeMake(int64_t value, int32_t timescale) { return CMTime{value, timescale, kCMTimeFlags_Valid, 0}; }
CMTime CMTimeMakeWithSeconds(double seconds, int32_t preferredTimescale)
{
    return CMTimeMake(int64_t(seconds * preferredTimescale), preferredTimescale);
}
double CMTimeGetSeconds(CMTime time) { return CMTIME_IS_VALID(time) ? double(time.value) / time.timescale : 0; }
bool CMTIME_IS_VALID(CMTime time) { return (time.flags & kCMTimeFlags_Valid) && time.timescale > 0; }

AVAsset::~AVAsset() = default;
CMTime AVAsset::duration() const { return kCMTimeInvalid; }
bool AVAsset::isReadable() const { return false; }
bool AVAsset::hasVideoTrack() const { return false; }
CGSize AVAsset::naturalSize() const { return CGSize{0, 0}; }
int AVAsset::preferredRotation() const { return 0; }
const std::string& AVAsset::path() const { return state_->path; }

Ref<AVURLAsset> AVURLAsset::URLAssetWithURL_options(const Ref<NSURL>& url, const Value&)
{
    auto asset = std::make_shared<AVURLAsset>();
    asset->url_ = url;
    asset->state_ = std::make_shared<AVAssetState>();
    return asset;
}

Ref<AVAssetImageGenerator> AVAssetImageGenerator::assetImageGeneratorWithAsset(const Ref<AVAsset>& asset)
{
    auto generator = std::make_shared<AVAssetImageGenerator>();
    generator->asset_ = asset;
    return generator;
}

CGImageRef AVAssetImageGenerator::copyCGImageAtTime_actualTime_error(CMTime, CMTime*, Ref<NSError>*)
{
    return nullptr;
}
