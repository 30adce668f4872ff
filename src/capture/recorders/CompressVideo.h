#pragma once
// A smaller copy of a movie in the user's media folder, where the engine's scan of local videos finds
// it: either re-encoded here (compress: 480 x 320 H.264 at 500000 bit/s keeping the source's
// orientation, AAC mono; first every sound sample, then every frame, pulled on the "mediaInput" queue)
// or through the platform's export session with the quality preset of the "videoQuality" user default
// (compressWithExportSession, after which the engine scans its folder again). A copy that could not be
// finished is removed, so the scan never takes a broken movie for a video.
#include <atomic>
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/media/AVAsset.h"

class NSURL;

class CompressVideo : public NSObject {
public:
    static Ref<CompressVideo> initWithUrl(const Ref<NSURL>& url);

    // A new file URL in the media folder named by the local time, the folder made when missing.
    Ref<NSURL> setOutputUrl();
    // YES once the re-encode has started; NO when the movie cannot be read.
    bool compress();
    void compressWithExportSession();
    void getMovieDetail();

    const Ref<AVURLAsset>& asset() const { return asset_; }
    const std::string& videoQuality() const { return videoQuality_; }
    void setVideoQuality(const std::string& quality) { videoQuality_ = quality; }

    // The output of the last compress or export, and whether that work has ended (whatever the result).
    std::string outputPath() const;
    bool isDone() const { return done_.load(); }

    CompressVideo() = default;

private:
    Ref<AVURLAsset> asset_;
    std::string videoQuality_;
    mutable std::mutex pathMutex_;
    std::string outputPath_;
    std::atomic<bool> done_{false};
};
