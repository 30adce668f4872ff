#include "capture/gpu/GPUMovie.h"

#include "capture/gpu/GPUOpenGLESContext.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAssetReader.h"

GPUMovie::GPUMovie() = default;

Ref<GPUMovie> GPUMovie::initWithURL(const Ref<NSURL>& url)
{
    auto movie = std::make_shared<GPUMovie>();
    movie->initWithURLBody(url);
    return movie;
}

void GPUMovie::initWithURLBody(const Ref<NSURL>& url)
{
    initBody();
    setUrl(url);
}

Ref<NSURL> GPUMovie::url() const
{
    std::lock_guard lock(urlMutex_);
    return url_;
}

void GPUMovie::setUrl(const Ref<NSURL>& url)
{
    std::lock_guard lock(urlMutex_);
    url_ = url;
}

void GPUMovie::startProcessing()
{
    Ref<AVURLAsset> asset = AVURLAsset::URLAssetWithURL_options(
        url(), Value::dictionary({{AVURLAssetPreferPreciseDurationAndTimingKey, Value(true)}}));
    Ref<GPUMovie> me = self<GPUMovie>();
    AVAssetLoadValuesAsynchronouslyForKeys(asset, {"tracks"}, [me, asset]() mutable {
        Ref<NSError> error;
        Ref<AVAssetReader> reader = AVAssetReader::assetReaderWithAsset_error(asset, &error);
        std::vector<Ref<AVAssetTrack>> tracks = AVAssetTrack::tracksOfAsset(asset, AVMediaTypeVideo);
        Ref<AVAssetReaderTrackOutput> output;
        if (reader && !tracks.empty()) {
            output = AVAssetReaderTrackOutput::assetReaderTrackOutputWithTrack_outputSettings(
                tracks.front(),
                Value::dictionary({{kCVPixelBufferPixelFormatTypeKey, Value(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA))}}));
            reader->addOutput(output);
        }
        if (!output || !reader->startReading()) {
            NSLog("Error reading");
        } else {
            while (reader->status() == AVAssetReaderStatusReading) {
                CMSampleBufferRef sampleBuffer = output->copyNextSampleBuffer();
                if (!sampleBuffer) {
                    continue;
                }
                me->currentPixelBuffer_ = CMSampleBufferGetImageBuffer(sampleBuffer);
                dispatch_sync(dispatch_get_main_queue(), [&me] { me->processFrame(); });
                me->currentPixelBuffer_ = nullptr;
                CMSampleBufferInvalidate(sampleBuffer);
            }
        }
        // The source holds GL objects of the main thread's context: its last reference goes there.
        dispatch_async(dispatch_get_main_queue(), [movie = std::move(me)] {});
    });
}

void GPUMovie::processFrame()
{
    CVPixelBufferRef pixelBuffer = currentPixelBuffer_;
    if (!pixelBuffer) {
        return;
    }
    const int bufferWidth = static_cast<int>(CVPixelBufferGetWidth(pixelBuffer));
    const int bufferHeight = static_cast<int>(CVPixelBufferGetHeight(pixelBuffer));
    CVPixelBufferLockBaseAddress(pixelBuffer, 0);
    GPUOpenGLESContext::useImageProcessingContext();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, outputTexture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, bufferWidth, bufferHeight, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE,
                 CVPixelBufferGetBaseAddress(pixelBuffer));
    inputTextureSize_ = CGSizeMake(bufferWidth, bufferHeight);
    const std::vector<Ref<GPUInput>> targets = targets_;
    for (const Ref<GPUInput>& target : targets) {
        target->setInputSize(inputTextureSize_);
        target->newFrameReady();
    }
    CVPixelBufferUnlockBaseAddress(pixelBuffer, 0);
}
