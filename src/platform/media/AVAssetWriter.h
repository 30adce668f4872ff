#pragma once
// The asset writer: writes a movie file from pixel buffers and sample buffers appended with their
// presentation times, on the platform movie writer (MovieFileWriter: libx264 and AAC through FFmpeg).
//
//   - The file type names the container: AVFileTypeMPEG4 writes MPEG-4 whatever the file's extension
//     (".MOV" included), AVFileTypeQuickTimeMovie a QuickTime movie. A file that already exists is
//     refused when the writer is made.
//   - Video input settings: codec H.264, width, height, and compression properties (average bit rate,
//     maximum key-frame interval, profile level such as AVVideoProfileLevelH264Main31; the clean
//     aperture and pixel aspect ratio are kept with the settings). Frames are encoded Main profile
//     without B-frames, so the file can be read while it grows (see MovieFileWriter). The input's
//     transform becomes the movie's display matrix (quarter turns).
//   - Audio input settings: AAC, 1 channel, sample rate and encoder bit rate. Appended sound may be any
//     linear PCM of 16-bit integers or 32-bit floats at any rate and channel count: it is resampled and
//     mixed down. Sound is laid on the timeline by its time stamps: a gap is filled with silence and
//     an overlap is cut.
//   - Times: nothing is appended before startSessionAtSourceTime; a sample before the session start
//     is dropped (accepted, not written); the movie's times are the samples' times minus the start.
//   - Readiness: an input is ready while the writer is writing and the input is not marked finished.
//     setForcesNotReady makes it say no whatever (the way tests stand in for a busy encoder).
//
// Threads: the inputs may be fed from different threads. One lock in the writer covers every append,
// the readiness answers, markAsFinished, finishWriting and cancelWriting, so an append never overlaps
// the finishing of the file; anything appended after finishing is refused.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/media/CMSampleBuffer.h"
#include "platform/media/CMTime.h"
#include "platform/media/CVPixelBuffer.h"

class NSError;
class NSURL;
class AVAssetWriter;

inline constexpr char AVFileTypeMPEG4[] = "public.mpeg-4";
inline constexpr char AVFileTypeQuickTimeMovie[] = "com.apple.quicktime-movie";

inline constexpr char AVVideoCodecKey[] = "AVVideoCodecKey";
inline constexpr char AVVideoCodecH264[] = "avc1";
inline constexpr char AVVideoWidthKey[] = "AVVideoWidthKey";
inline constexpr char AVVideoHeightKey[] = "AVVideoHeightKey";
inline constexpr char AVVideoCompressionPropertiesKey[] = "AVVideoCompressionPropertiesKey";
inline constexpr char AVVideoAverageBitRateKey[] = "AverageBitRate";
inline constexpr char AVVideoMaxKeyFrameIntervalKey[] = "MaxKeyFrameInterval";
inline constexpr char AVVideoProfileLevelKey[] = "ProfileLevel";
inline constexpr char AVVideoProfileLevelH264Baseline30[] = "H264_Baseline_3_0";
inline constexpr char AVVideoProfileLevelH264Main30[] = "H264_Main_3_0";
inline constexpr char AVVideoProfileLevelH264Main31[] = "H264_Main_3_1";
inline constexpr char AVVideoCleanApertureKey[] = "CleanAperture";
inline constexpr char AVVideoCleanApertureWidthKey[] = "Width";
inline constexpr char AVVideoCleanApertureHeightKey[] = "Height";
inline constexpr char AVVideoCleanApertureHorizontalOffsetKey[] = "HorizontalOffset";
inline constexpr char AVVideoCleanApertureVerticalOffsetKey[] = "VerticalOffset";
inline constexpr char AVVideoPixelAspectRatioKey[] = "PixelAspectRatio";
inline constexpr char AVVideoPixelAspectRatioHorizontalSpacingKey[] = "HorizontalSpacing";
inline constexpr char AVVideoPixelAspectRatioVerticalSpacingKey[] = "VerticalSpacing";

inline constexpr char AVFormatIDKey[] = "AVFormatIDKey";
inline constexpr char AVNumberOfChannelsKey[] = "AVNumberOfChannelsKey";
inline constexpr char AVSampleRateKey[] = "AVSampleRateKey";
inline constexpr char AVEncoderBitRateKey[] = "AVEncoderBitRateKey";
inline constexpr char AVChannelLayoutKey[] = "AVChannelLayoutKey";
inline constexpr uint32_t kAudioFormatMPEG4AAC = 0x61616320;  // 'aac '
inline constexpr uint32_t kAudioChannelLayoutTag_Mono = (100u << 16) | 1;

struct AudioChannelDescription {
    uint32_t mChannelLabel = 0;
    uint32_t mChannelFlags = 0;
    float mCoordinates[3] = {};
};
struct AudioChannelLayout {
    uint32_t mChannelLayoutTag = 0;
    uint32_t mChannelBitmap = 0;
    uint32_t mNumberChannelDescriptions = 0;
    AudioChannelDescription mChannelDescriptions[1];
};
static_assert(sizeof(AudioChannelLayout) == 32);

enum AVAssetWriterStatus {
    AVAssetWriterStatusUnknown = 0,
    AVAssetWriterStatusWriting = 1,
    AVAssetWriterStatusCompleted = 2,
    AVAssetWriterStatusFailed = 3,
    AVAssetWriterStatusCancelled = 4,
};

class AVAssetWriterInput : public NSObject {
public:
    static Ref<AVAssetWriterInput> assetWriterInputWithMediaType_outputSettings(const std::string& mediaType,
                                                                               const Value& outputSettings);
    static Ref<AVAssetWriterInput> initWithMediaType_outputSettings(const std::string& mediaType, const Value& outputSettings)
    {
        return assetWriterInputWithMediaType_outputSettings(mediaType, outputSettings);
    }

    const std::string& mediaType() const { return mediaType_; }
    const Value& outputSettings() const { return outputSettings_; }
    bool expectsMediaDataInRealTime() const { return realTime_; }
    void setExpectsMediaDataInRealTime(bool value) { realTime_ = value; }
    CGAffineTransform transform() const { return transform_; }
    void setTransform(CGAffineTransform transform) { transform_ = transform; }

    bool isReadyForMoreMediaData() const;
    // Video: the sample's pixel buffer at its time; audio: its sound. False when refused (not writing,
    // finished, no session yet, a frame time not after the previous one) or when encoding fails.
    bool appendSampleBuffer(const CMSampleBufferRef& sampleBuffer);
    void markAsFinished();

    // Stand-in control: while set, the input is never ready.
    void setForcesNotReady(bool value);

    AVAssetWriterInput() = default;

private:
    friend class AVAssetWriter;
    friend class AVAssetWriterInputPixelBufferAdaptor;
    std::string mediaType_;
    Value outputSettings_;
    bool realTime_ = false;
    CGAffineTransform transform_ = CGAffineTransformIdentity;
    Weak<AVAssetWriter> writer_;
    bool finished_ = false;     // guarded by the writer's lock
    bool forcesNotReady_ = false;  // guarded by the writer's lock
};

class AVAssetWriterInputPixelBufferAdaptor : public NSObject {
public:
    // Source attributes: kCVPixelBufferPixelFormatTypeKey (BGRA), kCVPixelBufferWidthKey,
    // kCVPixelBufferHeightKey (the video's size when missing).
    static Ref<AVAssetWriterInputPixelBufferAdaptor> assetWriterInputPixelBufferAdaptorWithAssetWriterInput_sourcePixelBufferAttributes(
        const Ref<AVAssetWriterInput>& input, const Value& sourcePixelBufferAttributes);

    const Ref<AVAssetWriterInput>& assetWriterInput() const { return input_; }
    const Value& sourcePixelBufferAttributes() const { return attributes_; }
    // Buffers of the source attributes; null until the writer has started writing.
    CVPixelBufferPoolRef pixelBufferPool() const;
    bool appendPixelBuffer_withPresentationTime(const CVPixelBufferRef& pixelBuffer, CMTime presentationTime);

    AVAssetWriterInputPixelBufferAdaptor() = default;

private:
    friend class AVAssetWriter;
    Ref<AVAssetWriterInput> input_;
    Value attributes_;
    mutable std::mutex poolMutex_;
    mutable CVPixelBufferPoolRef pool_;
};

class AVAssetWriter : public NSObject {
public:
    // Null with an error (AVFoundationErrorDomain) for a URL that is not a file's, an unknown file type,
    // or a file that already exists.
    static Ref<AVAssetWriter> assetWriterWithURL_fileType_error(const Ref<NSURL>& url, const std::string& fileType,
                                                                Ref<NSError>* error);
    static Ref<AVAssetWriter> initWithURL_fileType_error(const Ref<NSURL>& url, const std::string& fileType, Ref<NSError>* error)
    {
        return assetWriterWithURL_fileType_error(url, fileType, error);
    }
    ~AVAssetWriter() override;

    Ref<NSURL> outputURL() const { return url_; }
    const std::string& outputFileType() const { return fileType_; }
    AVAssetWriterStatus status() const;
    Ref<NSError> error() const;

    // One input of each media type, before writing starts.
    bool canAddInput(const Ref<AVAssetWriterInput>& input) const;
    void addInput(const Ref<AVAssetWriterInput>& input);
    std::vector<Ref<AVAssetWriterInput>> inputs() const;

    // Opens the file and the encoders; false (status failed, error set) when that fails.
    bool startWriting();
    // Raises NSInvalidArgumentException for an invalid time and NSInternalInconsistencyException when
    // not writing or already started.
    void startSessionAtSourceTime(CMTime startTime);
    // Encodes what is buffered, writes the index and closes the file; true when the file is complete.
    bool finishWriting();
    // Stops writing and removes the file.
    void cancelWriting();

    // The session's start (invalid before startSessionAtSourceTime) and the samples dropped as before it.
    CMTime sessionStartTime() const;
    int64_t samplesBeforeSession() const;

    AVAssetWriter();

private:
    friend class AVAssetWriterInput;
    friend class AVAssetWriterInputPixelBufferAdaptor;
    struct Impl;
    bool isReady(const AVAssetWriterInput& input) const;
    void markFinished(AVAssetWriterInput& input);
    bool appendVideo(const AVAssetWriterInput& input, const CVPixelBufferRef& pixels, CMTime time);
    bool appendAudio(const AVAssetWriterInput& input, const CMSampleBufferRef& sample);

    Ref<NSURL> url_;
    std::string fileType_;
    std::unique_ptr<Impl> impl_;
};
