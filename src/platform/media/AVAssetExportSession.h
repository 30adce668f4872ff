#pragma once
// The export session: re-encodes an asset into a new file by a quality preset, on a worker thread.
// Presets fit the picture inside a box, keeping its shape and never enlarging it: low 192 x 144,
// medium 480 x 360, "640x480" 640 x 480 (H.264 at 256000, 700000 and 1500000 bit/s, AAC mono 64000).
// The file type picks the container (QuickTime or MPEG-4). A failed export leaves no file behind.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/media/AVAsset.h"

class NSError;
class NSURL;

inline constexpr char AVAssetExportPresetLowQuality[] = "AVAssetExportPresetLowQuality";
inline constexpr char AVAssetExportPresetMediumQuality[] = "AVAssetExportPresetMediumQuality";
inline constexpr char AVAssetExportPresetHighestQuality[] = "AVAssetExportPresetHighestQuality";
inline constexpr char AVAssetExportPreset640x480[] = "AVAssetExportPreset640x480";

enum AVAssetExportSessionStatus {
    AVAssetExportSessionStatusUnknown = 0,
    AVAssetExportSessionStatusWaiting = 1,
    AVAssetExportSessionStatusExporting = 2,
    AVAssetExportSessionStatusCompleted = 3,
    AVAssetExportSessionStatusFailed = 4,
    AVAssetExportSessionStatusCancelled = 5,
};

class AVAssetExportSession : public NSObject {
public:
    // Null for a preset it does not know.
    static Ref<AVAssetExportSession> exportSessionWithAsset_presetName(const Ref<AVAsset>& asset, const std::string& presetName);
    static Ref<AVAssetExportSession> initWithAsset_presetName(const Ref<AVAsset>& asset, const std::string& presetName)
    {
        return exportSessionWithAsset_presetName(asset, presetName);
    }

    const std::string& presetName() const { return presetName_; }
    Ref<NSURL> outputURL() const { return outputURL_; }
    void setOutputURL(const Ref<NSURL>& url) { outputURL_ = url; }
    const std::string& outputFileType() const { return outputFileType_; }
    void setOutputFileType(const std::string& type) { outputFileType_ = type; }
    // Kept with the session (the movie writer does not write tags).
    const Value& metadata() const { return metadata_; }
    void setMetadata(const Value& metadata) { metadata_ = metadata; }

    // Runs the export on a worker thread and calls the handler there when it ends, whatever the result.
    void exportAsynchronouslyWithCompletionHandler(std::function<void()> handler);
    AVAssetExportSessionStatus status() const { return status_.load(); }
    Ref<NSError> error() const;

    AVAssetExportSession() = default;

private:
    void run();

    Ref<AVAsset> asset_;
    std::string presetName_;
    Ref<NSURL> outputURL_;
    std::string outputFileType_;
    Value metadata_;
    std::atomic<AVAssetExportSessionStatus> status_{AVAssetExportSessionStatusUnknown};
    mutable std::mutex mutex_;
    Ref<NSError> error_;
};
