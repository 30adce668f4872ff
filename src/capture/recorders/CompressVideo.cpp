#include "capture/recorders/CompressVideo.h"

#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "capture/recorders/RecorderSupport.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/media/AVAssetExportSession.h"
#include "platform/media/AVAssetReader.h"
#include "platform/media/AVPlayer.h"
#include "platform/media/AVPlayerItemAccessLog.h"

namespace {
namespace CompressVideo_cpp {

// Everything one re-encode needs on its queue.
struct Job {
    Ref<AVAssetReader> reader;
    Ref<AVAssetReaderOutput> videoOutput;
    Ref<AVAssetReaderOutput> audioOutput;  // null without sound tracks
    Ref<AVAssetWriter> writer;
    Ref<AVAssetWriterInput> videoInput;
    Ref<AVAssetWriterInput> audioInput;
    std::string path;
};

bool readingStopped(const Job& job)
{
    const AVAssetReaderStatus status = job.reader->status();
    return status == AVAssetReaderStatusFailed || status == AVAssetReaderStatusCancelled;
}

// Writing is abandoned and the partial file removed.
void abandon(const Job& job)
{
    job.writer->cancelWriting();
    NSFileManager::defaultManager()->removeItemAtPath_error(job.path);
}

// Moves one output's samples into its input; false when reading or appending failed.
bool pull(const Job& job, const Ref<AVAssetReaderOutput>& output, const Ref<AVAssetWriterInput>& input, const char* log)
{
    while (output && input->isReadyForMoreMediaData() && job.reader->status() == AVAssetReaderStatusReading) {
        CMSampleBufferRef sample = output->copyNextSampleBuffer();
        if (!sample) {
            break;
        }
        const bool appended = input->appendSampleBuffer(sample);
        NSLog(log, static_cast<int>(job.writer->status()));
        if (!appended) {
            job.reader->cancelReading();
            break;
        }
    }
    NSLog("%d", static_cast<int>(job.reader->status()));
    return !readingStopped(job);
}

}  // namespace CompressVideo_cpp
}  // namespace

Ref<CompressVideo> CompressVideo::initWithUrl(const Ref<NSURL>& url)
{
    auto compressor = std::make_shared<CompressVideo>();
    compressor->asset_ = AVURLAsset::URLAssetWithURL_options(url, Value());
    return compressor;
}

std::string CompressVideo::outputPath() const
{
    std::lock_guard lock(pathMutex_);
    return outputPath_;
}

Ref<NSURL> CompressVideo::setOutputUrl()
{
    const std::string folder = getUserMediaFolder();
    Ref<NSFileManager> files = NSFileManager::defaultManager();
    if (!files->fileExistsAtPath(folder)) {
        Ref<NSError> error;
        if (!files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(folder, true, Value(), &error)) {
            NSLog("Error: Create folder failed %@", error ? error->localizedDescription() : std::string("(null)"));
        }
    }
    auto formatter = NSDateFormatter::create();
    formatter->setDateFormat("yyyy'-'MM'-'dd'-'HH'-'mm'-'ss");
    const std::string path = folder + stringWithFormat("/%@.mov", formatter->stringFromDate(NSDate::date()));
    {
        std::lock_guard lock(pathMutex_);
        outputPath_ = path;
    }
    return NSURL::fileURLWithPath(path);
}

bool CompressVideo::compress()
{
    using namespace CompressVideo_cpp;
    done_.store(false);
    Ref<NSError> error;
    auto job = std::make_shared<Job>();
    job->reader = AVAssetReader::assetReaderWithAsset_error(asset_, &error);
    const auto videoTracks = AVAssetTrack::tracksOfAsset(asset_, AVMediaTypeVideo);
    if (!job->reader || videoTracks.empty()) {
        NSLog("error: %@", error ? error->localizedDescription() : std::string("The movie has no video track"));
        return false;
    }
    const Ref<AVAssetTrack>& videoTrack = videoTracks.front();
    job->videoOutput = AVAssetReaderTrackOutput::assetReaderTrackOutputWithTrack_outputSettings(
        videoTrack, Value::dictionary({{kCVPixelBufferPixelFormatTypeKey,
                                        Value(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA))}}));
    job->reader->addOutput(job->videoOutput);
    const auto audioTracks = AVAssetTrack::tracksOfAsset(asset_, AVMediaTypeAudio);
    if (!audioTracks.empty()) {
        job->audioOutput = AVAssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks_audioSettings(
            audioTracks, Value::dictionary({{AVFormatIDKey, Value(kAudioFormatLinearPCMID)},
                                            {AVSampleRateKey, Value(44100.0)},
                                            {AVNumberOfChannelsKey, Value(2)},
                                            {AVLinearPCMBitDepthKey, Value(16)},
                                            {AVLinearPCMIsNonInterleaved, Value(false)},
                                            {AVLinearPCMIsFloatKey, Value(false)},
                                            {AVLinearPCMIsBigEndianKey, Value(false)}}));
        job->reader->addOutput(job->audioOutput);
    }
    const CGSize size = videoTrack->naturalSize();
    const CGAffineTransform txf = videoTrack->preferredTransform();
    NSLog("size.width = %f size.height = %f", size.width, size.height);
    NSLog("txf.a = %f txf.b = %f txf.c = %f txf.d = %f txf.tx = %f txf.ty = %f", txf.a, txf.b, txf.c, txf.d, txf.tx, txf.ty);
    if (!job->reader->startReading()) {
        NSLog("error: %@", job->reader->error() ? job->reader->error()->localizedDescription() : std::string("(null)"));
        return false;
    }

    Ref<NSURL> url = setOutputUrl();
    job->path = url->path();
    job->writer = AVAssetWriter::assetWriterWithURL_fileType_error(url, AVFileTypeMPEG4, &error);
    if (!job->writer) {
        NSLog("error: %@", error ? error->localizedDescription() : std::string("(null)"));
        return false;
    }
    job->videoInput = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(
        AVMediaTypeVideo, RecorderVideoSettings(480, 320, 500000, 1));
    job->videoInput->setExpectsMediaDataInRealTime(true);
    job->videoInput->setTransform(txf);
    job->audioInput = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(AVMediaTypeAudio, RecorderAudioSettings());
    job->audioInput->setExpectsMediaDataInRealTime(true);
    job->writer->addInput(job->videoInput);
    job->writer->addInput(job->audioInput);
    if (!job->writer->startWriting()) {
        abandon(*job);
        NSLog("error: %@", job->writer->error() ? job->writer->error()->localizedDescription() : std::string("(null)"));
        return false;
    }
    job->writer->startSessionAtSourceTime(kCMTimeZero);

    Ref<CompressVideo> me = self<CompressVideo>();
    dispatch_async(dispatch_queue_create("mediaInput", DISPATCH_QUEUE_SERIAL), [job, me] {
        // All the sound first, then every frame; a failure of either step leaves no file.
        if (!pull(*job, job->audioOutput, job->audioInput, "audioWriterInput status %d")) {
            abandon(*job);
        } else {
            job->audioInput->markAsFinished();
            if (!pull(*job, job->videoOutput, job->videoInput, "videoWriterInput status %d")) {
                abandon(*job);
            } else {
                job->videoInput->markAsFinished();
                if (!job->writer->finishWriting()) {
                    NSFileManager::defaultManager()->removeItemAtPath_error(job->path);
                }
            }
        }
        me->done_.store(true);
    });
    return true;
}

void CompressVideo::compressWithExportSession()
{
    done_.store(false);
    // 0 or 2 (and a key never written) the medium preset, 1 the 640 x 480 one, 3 the low one; any
    // other value keeps the preset chosen before, and the medium one when there was none.
    switch (NSUserDefaults::standardUserDefaults()->integerForKey("videoQuality")) {
    case 0:
    case 2:
        videoQuality_ = AVAssetExportPresetMediumQuality;
        break;
    case 1:
        videoQuality_ = AVAssetExportPreset640x480;
        break;
    case 3:
        videoQuality_ = AVAssetExportPresetLowQuality;
        break;
    default:
        if (videoQuality_.empty()) {
            videoQuality_ = AVAssetExportPresetMediumQuality;
        }
        break;
    }
    Ref<AVAssetExportSession> session = AVAssetExportSession::exportSessionWithAsset_presetName(asset_, videoQuality_);
    if (!session) {
        done_.store(true);
        return;
    }
    Ref<NSURL> url = setOutputUrl();
    NSLog("outputurl is %@", url->absoluteString());
    session->setOutputURL(url);
    session->setOutputFileType(AVFileTypeQuickTimeMovie);
    session->setMetadata(AVAssetCommonMetadata(asset_));
    Ref<CompressVideo> me = self<CompressVideo>();
    session->exportAsynchronouslyWithCompletionHandler([session, me] {
        NSLog("Export Complete %d %@", static_cast<int>(session->status()),
              session->error() ? session->error()->localizedDescription() : std::string("(null)"));
        PZFFmpeg::searchVideoEndImport();
        me->done_.store(true);
    });
}

void CompressVideo::getMovieDetail()
{
    NSLog("==================================\n");
    NSLog("=metaData %@=\n", AVAssetCommonMetadata(asset_));
    const Ref<AVPlayerItemAccessLog> log = AVPlayerItem::playerItemWithAsset(asset_)->accessLog();
    NSLog("=log %@=\n", log ? log->extendedLogData().string() : std::string("(null)"));
    NSLog("==================================\n");
}
