#pragma once
// Sample buffers: one video frame (a pixel buffer) or a run of audio samples (linear PCM bytes with
// their format), with the presentation time stamp of the first sample. Buffers are immutable once made
// and shared (CMSampleBufferRef); they may travel between threads.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/AudioQueue.h"
#include "platform/media/CMTime.h"
#include "platform/media/CVPixelBuffer.h"

inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsNonInterleaved = 1u << 5;

using CMMediaType = uint32_t;
inline constexpr CMMediaType kCMMediaType_Video = 0x76696465;  // 'vide'
inline constexpr CMMediaType kCMMediaType_Audio = 0x736f756e;  // 'soun'

struct CMFormatDescription {
    CMMediaType mediaType = 0;
    AudioStreamBasicDescription audio;  // audio buffers
    int width = 0;                      // video buffers
    int height = 0;
};
using CMFormatDescriptionRef = std::shared_ptr<const CMFormatDescription>;
using CMAudioFormatDescriptionRef = CMFormatDescriptionRef;

class CMSampleBuffer {
public:
    CMTime presentationTime = kCMTimeInvalid;
    CMTime duration = kCMTimeInvalid;
    CMFormatDescriptionRef format;
    CVImageBufferRef imageBuffer;   // video
    std::vector<uint8_t> audioBytes;  // audio: numSamples frames of the format's bytes per frame
    int64_t numSamples = 0;
    std::atomic<bool> valid{true};
};
using CMSampleBufferRef = std::shared_ptr<CMSampleBuffer>;

// A video sample buffer of one frame.
CMSampleBufferRef CMSampleBufferCreateForImageBuffer(const CVImageBufferRef& imageBuffer, CMTime presentationTime,
                                                     CMTime duration);
// An audio sample buffer: `frames` frames of packed linear PCM in `format` (interleaved channels).
// Null when the format is not linear PCM of 16-bit integers or 32-bit floats.
CMSampleBufferRef CMSampleBufferCreateForAudio(const AudioStreamBasicDescription& format, const void* bytes,
                                               int64_t frames, CMTime presentationTime);

CMTime CMSampleBufferGetPresentationTimeStamp(const CMSampleBufferRef& buffer);
CMTime CMSampleBufferGetDuration(const CMSampleBufferRef& buffer);
int64_t CMSampleBufferGetNumSamples(const CMSampleBufferRef& buffer);
CVImageBufferRef CMSampleBufferGetImageBuffer(const CMSampleBufferRef& buffer);
CMFormatDescriptionRef CMSampleBufferGetFormatDescription(const CMSampleBufferRef& buffer);
const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(const CMFormatDescriptionRef& format);
// The audio bytes (null for video or an invalidated buffer).
const uint8_t* CMSampleBufferGetAudioBytes(const CMSampleBufferRef& buffer, size_t* length);
// True for a valid buffer holding its data (every buffer the stand-in makes has it at once).
bool CMSampleBufferDataIsReady(const CMSampleBufferRef& buffer);
bool CMSampleBufferIsValid(const CMSampleBufferRef& buffer);
// Marks the buffer unusable: it keeps its times but gives no data any more.
void CMSampleBufferInvalidate(const CMSampleBufferRef& buffer);
