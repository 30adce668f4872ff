#include "platform/media/AVAssetExportSession.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAssetReader.h"

namespace {
namespace AVAssetExportSession_cpp {

struct Preset {
    const char* name;
    int width;
    int height;
    int bitRate;
};
const Preset kPresets[] = {{AVAssetExportPresetLowQuality, 192, 144, 256000},
                           {AVAssetExportPresetMediumQuality, 480, 360, 700000},
                           {AVAssetExportPreset640x480, 640, 480, 1500000},
                           {AVAssetExportPresetHighestQuality, 1920, 1080, 5000000}};

const Preset* presetNamed(const std::string& name)
{
    for (const Preset& preset : kPresets) {
        if (name == preset.name) {
            return &preset;
        }
    }
    return nullptr;
}

}  // namespace AVAssetExportSession_cpp
}  // namespace

Ref<AVAssetExportSession> AVAssetExportSession::exportSessionWithAsset_presetName(const Ref<AVAsset>& asset,
                                                                                  const std::string& presetName)
{
    if (!AVAssetExportSession_cpp::presetNamed(presetName)) {
        return nullptr;
    }
    auto session = std::make_shared<AVAssetExportSession>();
    session->asset_ = asset;
    session->presetName_ = presetName;
    return session;
}

Ref<NSError> AVAssetExportSession::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

void AVAssetExportSession::exportAsynchronouslyWithCompletionHandler(std::function<void()> handler)
{
    status_.store(AVAssetExportSessionStatusWaiting);
    Ref<AVAssetExportSession> me = self<AVAssetExportSession>();
    DispatchRunOnWorker([me, handler = std::move(handler)] {
        me->run();
        if (handler) {
            handler();
        }
    });
}

void AVAssetExportSession::run()
{
    status_.store(AVAssetExportSessionStatusExporting);
    auto fail = [this](const std::string& reason) {
        std::lock_guard lock(mutex_);
        Value info = Value::dictionary();
        info.setObject_forKey(reason, NSLocalizedDescriptionKey);
        error_ = NSError::errorWithDomain_code_userInfo(AVFoundationErrorDomain, AVErrorUnknown, info);
        status_.store(AVAssetExportSessionStatusFailed);
    };
    const AVAssetExportSession_cpp::Preset& preset = *AVAssetExportSession_cpp::presetNamed(presetName_);
    Ref<NSError> error;
    Ref<AVAssetReader> reader = AVAssetReader::assetReaderWithAsset_error(asset_, &error);
    const auto videoTracks = AVAssetTrack::tracksOfAsset(asset_, AVMediaTypeVideo);
    const auto audioTracks = AVAssetTrack::tracksOfAsset(asset_, AVMediaTypeAudio);
    if (!reader || videoTracks.empty() || !outputURL_) {
        fail("Cannot Open");
        return;
    }
    auto videoOutput = AVAssetReaderTrackOutput::assetReaderTrackOutputWithTrack_outputSettings(videoTracks.front(), Value());
    reader->addOutput(videoOutput);
    Ref<AVAssetReaderAudioMixOutput> audioOutput;
    if (!audioTracks.empty()) {
        audioOutput = AVAssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks_audioSettings(
            audioTracks, Value::dictionary({{AVSampleRateKey, Value(44100.0)}, {AVNumberOfChannelsKey, Value(1)}}));
        reader->addOutput(audioOutput);
    }
    // The box's size for the picture, keeping its shape, never larger than it is; even sides.
    const CGSize natural = videoTracks.front()->naturalSize();
    const double scale = std::min({1.0, preset.width / std::max(1.0, double(natural.width)),
                                   preset.height / std::max(1.0, double(natural.height))});
    const int width = std::max(2, static_cast<int>(std::lround(natural.width * scale / 2)) * 2);
    const int height = std::max(2, static_cast<int>(std::lround(natural.height * scale / 2)) * 2);

    Ref<AVAssetWriter> writer = AVAssetWriter::assetWriterWithURL_fileType_error(
        outputURL_, outputFileType_.empty() ? std::string(AVFileTypeQuickTimeMovie) : outputFileType_, &error);
    if (!writer) {
        fail(error ? error->localizedDescription() : "Cannot Save");
        return;
    }
    auto videoInput = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(
        AVMediaTypeVideo, Value::dictionary({{AVVideoCodecKey, Value(AVVideoCodecH264)},
                                             {AVVideoWidthKey, Value(width)},
                                             {AVVideoHeightKey, Value(height)},
                                             {AVVideoCompressionPropertiesKey,
                                              Value::dictionary({{AVVideoAverageBitRateKey, Value(preset.bitRate)}})}}));
    videoInput->setTransform(videoTracks.front()->preferredTransform());
    writer->addInput(videoInput);
    Ref<AVAssetWriterInput> audioInput;
    if (audioOutput) {
        audioInput = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(
            AVMediaTypeAudio, Value::dictionary({{AVFormatIDKey, Value(kAudioFormatMPEG4AAC)},
                                                 {AVNumberOfChannelsKey, Value(1)},
                                                 {AVSampleRateKey, Value(44100.0)},
                                                 {AVEncoderBitRateKey, Value(64000)}}));
        writer->addInput(audioInput);
    }
    if (!reader->startReading() || !writer->startWriting()) {
        writer->cancelWriting();
        fail("The export could not start");
        return;
    }
    writer->startSessionAtSourceTime(kCMTimeZero);
    bool ok = true;
    while (CMSampleBufferRef sample = videoOutput->copyNextSampleBuffer()) {
        ok = ok && videoInput->appendSampleBuffer(sample);
    }
    while (audioOutput && ok) {
        CMSampleBufferRef sample = audioOutput->copyNextSampleBuffer();
        if (!sample) {
            break;
        }
        ok = audioInput->appendSampleBuffer(sample);
    }
    if (!ok || reader->status() == AVAssetReaderStatusFailed || reader->status() == AVAssetReaderStatusCancelled) {
        writer->cancelWriting();
        fail("The movie could not be exported");
        return;
    }
    videoInput->markAsFinished();
    if (audioInput) {
        audioInput->markAsFinished();
    }
    if (!writer->finishWriting()) {
        NSFileManager::defaultManager()->removeItemAtPath_error(outputURL_->path());
        fail("The movie could not be finished");
        return;
    }
    status_.store(AVAssetExportSessionStatusCompleted);
}
