#include "capture/recorders/RecorderSupport.h"

#include <vector>

#include "platform/media/CVPixelBuffer.h"
#include "platform/uikit/UIImage.h"

Ref<UIImage> RecorderImageFromSampleBuffer(const CMSampleBufferRef& sampleBuffer)
{
    CVImageBufferRef imageBuffer = CMSampleBufferGetImageBuffer(sampleBuffer);
    if (!imageBuffer) {
        return nullptr;
    }
    CVPixelBufferLockBaseAddress(imageBuffer, 0);
    const size_t width = CVPixelBufferGetWidth(imageBuffer);
    const size_t height = CVPixelBufferGetHeight(imageBuffer);
    const size_t bytesPerRow = CVPixelBufferGetBytesPerRow(imageBuffer);
    const auto* base = static_cast<const uint8_t*>(CVPixelBufferGetBaseAddress(imageBuffer));
    // BGRA bytes are little-endian ARGB words; the first byte of the word (alpha) is skipped: opaque.
    std::vector<uint32_t> pixels(width * height);
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* row = base + y * bytesPerRow;
        for (size_t x = 0; x < width; ++x) {
            const uint8_t* p = row + x * 4;
            pixels[y * width + x] = 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
        }
    }
    CVPixelBufferUnlockBaseAddress(imageBuffer, 0);
    return UIImage::imageWithCGImage(CGImage::create(width, height, std::move(pixels)));
}

Value RecorderVideoSettings(int width, int height, int averageBitRate, int maxKeyFrameInterval)
{
    Value compression = Value::dictionary(
        {{AVVideoAverageBitRateKey, Value(averageBitRate)},
         {AVVideoMaxKeyFrameIntervalKey, Value(maxKeyFrameInterval)},
         {AVVideoCleanApertureKey, Value::dictionary({{AVVideoCleanApertureWidthKey, Value(width)},
                                                      {AVVideoCleanApertureHeightKey, Value(height)},
                                                      {AVVideoCleanApertureHorizontalOffsetKey, Value(10)},
                                                      {AVVideoCleanApertureVerticalOffsetKey, Value(10)}})},
         {AVVideoPixelAspectRatioKey, Value::dictionary({{AVVideoPixelAspectRatioHorizontalSpacingKey, Value(1)},
                                                         {AVVideoPixelAspectRatioVerticalSpacingKey, Value(1)}})},
         {AVVideoProfileLevelKey, Value(AVVideoProfileLevelH264Main31)}});
    return Value::dictionary({{AVVideoCodecKey, Value(AVVideoCodecH264)},
                              {AVVideoWidthKey, Value(width)},
                              {AVVideoHeightKey, Value(height)},
                              {AVVideoCompressionPropertiesKey, compression}});
}

Value RecorderAudioSettings()
{
    return Value::dictionary({{AVFormatIDKey, Value(kAudioFormatMPEG4AAC)},
                              {AVNumberOfChannelsKey, Value(1)},
                              {AVSampleRateKey, Value(44100.0)},
                              {AVEncoderBitRateKey, Value(64000)},
                              {AVChannelLayoutKey, Value(kAudioChannelLayoutTag_Mono)}});
}

bool RecorderAppend(std::mutex& mutex, RecorderWriting& writing, bool video, const CMSampleBufferRef& sampleBuffer,
                    bool* recording)
{
    Ref<AVAssetWriter> writer;
    Ref<AVAssetWriterInput> input;
    {
        std::lock_guard lock(mutex);
        *recording = writing.writer != nullptr;
        if (!writing.writer) {
            return false;
        }
        if (writing.sessionPending) {
            if (!video) {
                return false;  // sound before the first frame is left out
            }
            writing.writer->startSessionAtSourceTime(CMSampleBufferGetPresentationTimeStamp(sampleBuffer));
            writing.sessionPending = false;
        }
        writer = writing.writer;
        input = video ? writing.videoInput : writing.audioInput;
    }
    if (!input || !input->isReadyForMoreMediaData()) {
        return false;
    }
    return input->appendSampleBuffer(sampleBuffer);
}
