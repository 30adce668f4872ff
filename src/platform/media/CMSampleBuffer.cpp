#include "platform/media/CMSampleBuffer.h"

#include <cstring>

CMSampleBufferRef CMSampleBufferCreateForImageBuffer(const CVImageBufferRef& imageBuffer, CMTime presentationTime,
                                                     CMTime duration)
{
    if (!imageBuffer) {
        return nullptr;
    }
    auto buffer = std::make_shared<CMSampleBuffer>();
    auto format = std::make_shared<CMFormatDescription>();
    format->mediaType = kCMMediaType_Video;
    format->width = imageBuffer->width();
    format->height = imageBuffer->height();
    buffer->format = std::move(format);
    buffer->imageBuffer = imageBuffer;
    buffer->presentationTime = presentationTime;
    buffer->duration = duration;
    buffer->numSamples = 1;
    return buffer;
}

CMSampleBufferRef CMSampleBufferCreateForAudio(const AudioStreamBasicDescription& format, const void* bytes,
                                               int64_t frames, CMTime presentationTime)
{
    const bool isFloat = (format.mFormatFlags & kLinearPCMFormatFlagIsFloat) != 0;
    const bool supported = format.mFormatID == kAudioFormatLinearPCM && format.mSampleRate > 0 &&
                           format.mChannelsPerFrame > 0 && format.mChannelsPerFrame <= 8 &&
                           (format.mFormatFlags & (kLinearPCMFormatFlagIsNonInterleaved | kLinearPCMFormatFlagIsBigEndian)) == 0 &&
                           ((isFloat && format.mBitsPerChannel == 32) ||
                            (!isFloat && (format.mFormatFlags & kLinearPCMFormatFlagIsSignedInteger) &&
                             format.mBitsPerChannel == 16)) &&
                           format.mBytesPerFrame == format.mChannelsPerFrame * format.mBitsPerChannel / 8;
    if (!supported || frames < 0 || (frames > 0 && !bytes)) {
        return nullptr;
    }
    auto buffer = std::make_shared<CMSampleBuffer>();
    auto description = std::make_shared<CMFormatDescription>();
    description->mediaType = kCMMediaType_Audio;
    description->audio = format;
    buffer->format = std::move(description);
    const size_t length = static_cast<size_t>(frames) * format.mBytesPerFrame;
    buffer->audioBytes.resize(length);
    if (length) {
        std::memcpy(buffer->audioBytes.data(), bytes, length);
    }
    buffer->numSamples = frames;
    buffer->presentationTime = presentationTime;
    buffer->duration = CMTimeMake(frames, static_cast<int32_t>(format.mSampleRate));
    return buffer;
}

CMTime CMSampleBufferGetPresentationTimeStamp(const CMSampleBufferRef& buffer)
{
    return buffer ? buffer->presentationTime : kCMTimeInvalid;
}

CMTime CMSampleBufferGetDuration(const CMSampleBufferRef& buffer) { return buffer ? buffer->duration : kCMTimeInvalid; }

int64_t CMSampleBufferGetNumSamples(const CMSampleBufferRef& buffer) { return buffer ? buffer->numSamples : 0; }

CVImageBufferRef CMSampleBufferGetImageBuffer(const CMSampleBufferRef& buffer)
{
    return buffer && buffer->valid ? buffer->imageBuffer : nullptr;
}

CMFormatDescriptionRef CMSampleBufferGetFormatDescription(const CMSampleBufferRef& buffer)
{
    return buffer ? buffer->format : nullptr;
}

const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(const CMFormatDescriptionRef& format)
{
    return format && format->mediaType == kCMMediaType_Audio ? &format->audio : nullptr;
}

const uint8_t* CMSampleBufferGetAudioBytes(const CMSampleBufferRef& buffer, size_t* length)
{
    const bool has = buffer && buffer->valid && buffer->format && buffer->format->mediaType == kCMMediaType_Audio;
    if (length) {
        *length = has ? buffer->audioBytes.size() : 0;
    }
    return has ? buffer->audioBytes.data() : nullptr;
}

bool CMSampleBufferDataIsReady(const CMSampleBufferRef& buffer) { return buffer && buffer->valid; }

bool CMSampleBufferIsValid(const CMSampleBufferRef& buffer) { return buffer && buffer->valid; }

void CMSampleBufferInvalidate(const CMSampleBufferRef& buffer)
{
    if (buffer) {
        buffer->valid = false;
    }
}
