#pragma once
// Reading a movie's samples in order: an asset's tracks, and an asset reader whose outputs hand out
// decoded sample buffers one at a time. Carried by FFmpeg (libavformat, libavcodec, libswscale,
// libswresample).
//
//   - AVAssetTrack: one stream of the file (video or sound) with its coded size and the transform the
//     movie asks for when shown (quarter turns, as the asset writer writes them).
//   - AVAssetReaderTrackOutput of a video track: 32-bit BGRA pixel buffers (kCVPixelBufferPixelFormatTypeKey
//     must be kCVPixelFormatType_32BGRA or absent), stamped with the frame's time in the movie.
//   - AVAssetReaderTrackOutput of a sound track, or AVAssetReaderAudioMixOutput of sound tracks: linear
//     PCM of the settings' rate and channel count (16-bit interleaved integers, or 32-bit floats when
//     AVLinearPCMIsFloatKey is set), one buffer per decoded frame, stamped with its first sample. The
//     mix reads the first of its tracks: the movies here carry at most one sound track.
//   - The reader: outputs are added before startReading; copyNextSampleBuffer gives null once an output
//     is exhausted, and the reader is completed when every output is. cancelReading stops it; after
//     that, and after a failure, every output gives null.
//
// Each output decodes from its own handle on the file, so outputs may be read from different threads;
// one output is read from one thread at a time.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/media/AVAsset.h"
#include "platform/media/AVAssetWriter.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/media/CMSampleBuffer.h"

class NSError;
class AVAssetReader;

inline constexpr char AVLinearPCMBitDepthKey[] = "AVLinearPCMBitDepthKey";
inline constexpr char AVLinearPCMIsBigEndianKey[] = "AVLinearPCMIsBigEndianKey";
inline constexpr char AVLinearPCMIsFloatKey[] = "AVLinearPCMIsFloatKey";
inline constexpr char AVLinearPCMIsNonInterleaved[] = "AVLinearPCMIsNonInterleaved";
inline constexpr uint32_t kAudioFormatLinearPCMID = 0x6c70636d;  // 'lpcm'

class AVAssetTrack : public NSObject {
public:
    const std::string& mediaType() const { return mediaType_; }
    // The stream's index in the file.
    int trackID() const { return trackID_; }
    CGSize naturalSize() const { return naturalSize_; }
    CGAffineTransform preferredTransform() const { return preferredTransform_; }
    const std::string& path() const { return path_; }

    // The tracks of `asset` with that media type (AVMediaTypeVideo, AVMediaTypeAudio), in file order.
    static std::vector<Ref<AVAssetTrack>> tracksOfAsset(const Ref<AVAsset>& asset, const std::string& mediaType);

    AVAssetTrack() = default;

private:
    std::string mediaType_;
    int trackID_ = -1;
    CGSize naturalSize_{0, 0};
    CGAffineTransform preferredTransform_ = CGAffineTransformIdentity;
    std::string path_;
};

// The asset's file-level metadata: an array of dictionaries {"key", "value"} (texts), in file order.
Value AVAssetCommonMetadata(const Ref<AVAsset>& asset);
// Loads the asset's keys ("tracks", "duration": all known once the asset is made) on a worker thread
// and calls the handler there.
void AVAssetLoadValuesAsynchronouslyForKeys(const Ref<AVAsset>& asset, const std::vector<std::string>& keys,
                                            std::function<void()> handler);

enum AVAssetReaderStatus {
    AVAssetReaderStatusUnknown = 0,
    AVAssetReaderStatusReading = 1,
    AVAssetReaderStatusCompleted = 2,
    AVAssetReaderStatusFailed = 3,
    AVAssetReaderStatusCancelled = 4,
};

class AVAssetReaderOutput : public NSObject {
public:
    ~AVAssetReaderOutput() override;
    const std::string& mediaType() const { return mediaType_; }
    // The next sample, or null when there is none (end, not reading, cancelled, failed).
    CMSampleBufferRef copyNextSampleBuffer();

    AVAssetReaderOutput();

protected:
    friend class AVAssetReader;
    struct Decoder;
    bool open(std::string* error);

    std::string mediaType_;
    Value settings_;
    Ref<AVAssetTrack> track_;
    Weak<AVAssetReader> reader_;
    std::unique_ptr<Decoder> decoder_;
    bool exhausted_ = false;
};

class AVAssetReaderTrackOutput : public AVAssetReaderOutput {
public:
    static Ref<AVAssetReaderTrackOutput> assetReaderTrackOutputWithTrack_outputSettings(const Ref<AVAssetTrack>& track,
                                                                                     const Value& outputSettings);
    AVAssetReaderTrackOutput() = default;
};

class AVAssetReaderAudioMixOutput : public AVAssetReaderOutput {
public:
    static Ref<AVAssetReaderAudioMixOutput> assetReaderAudioMixOutputWithAudioTracks_audioSettings(
        const std::vector<Ref<AVAssetTrack>>& audioTracks, const Value& audioSettings);
    AVAssetReaderAudioMixOutput() = default;
};

class AVAssetReader : public NSObject {
public:
    // Null with an error (AVFoundationErrorDomain) for an asset that cannot be read as a movie.
    static Ref<AVAssetReader> assetReaderWithAsset_error(const Ref<AVAsset>& asset, Ref<NSError>* error);
    static Ref<AVAssetReader> initWithAsset_error(const Ref<AVAsset>& asset, Ref<NSError>* error)
    {
        return assetReaderWithAsset_error(asset, error);
    }

    const Ref<AVAsset>& asset() const { return asset_; }
    bool canAddOutput(const Ref<AVAssetReaderOutput>& output) const;
    // Raises NSInvalidArgumentException for an output that cannot be added.
    void addOutput(const Ref<AVAssetReaderOutput>& output);
    const std::vector<Ref<AVAssetReaderOutput>>& outputs() const { return outputs_; }

    // Opens every output's decoder; false (status failed, error set) when one cannot be opened.
    bool startReading();
    void cancelReading();
    AVAssetReaderStatus status() const { return status_.load(); }
    Ref<NSError> error() const;

    // Stand-in control: after that many more samples (of all outputs together) reading fails.
    void setFailsAfterSamples(int64_t samples) { failsAfter_.store(samples); }
    // The same for every reader made from now on (-1: none), for code that makes its readers itself.
    static void setStandInFailsAfterSamples(int64_t samples);

    AVAssetReader() = default;

private:
    friend class AVAssetReaderOutput;
    void fail(const std::string& reason);
    void outputExhausted();
    bool countSample();

    Ref<AVAsset> asset_;
    std::vector<Ref<AVAssetReaderOutput>> outputs_;
    std::atomic<AVAssetReaderStatus> status_{AVAssetReaderStatusUnknown};
    std::atomic<int64_t> failsAfter_{-1};
    mutable std::mutex mutex_;
    Ref<NSError> error_;
    size_t exhaustedOutputs_ = 0;
};
