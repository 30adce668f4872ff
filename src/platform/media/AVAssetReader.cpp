#include "platform/media/AVAssetReader.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSException.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/media/CVPixelBuffer.h"
#include "platform/media/LocalMediaFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {
namespace AVAssetReader_cpp {

Ref<NSError> readerError(long code, const std::string& description)
{
    Value info = Value::dictionary();
    info.setObject_forKey(description, NSLocalizedDescriptionKey);
    return NSError::errorWithDomain_code_userInfo(AVFoundationErrorDomain, code, info);
}

// An opened file, closed when the holder goes.
struct FormatHandle {
    AVFormatContext* format = nullptr;
    explicit FormatHandle(const std::string& path)
    {
        if (openLocalMediaFile(&format, path) < 0) {
            return;
        }
        if (avformat_find_stream_info(format, nullptr) < 0) {
            avformat_close_input(&format);
        }
    }
    ~FormatHandle()
    {
        if (format) {
            avformat_close_input(&format);
        }
    }
    FormatHandle(const FormatHandle&) = delete;
    FormatHandle& operator=(const FormatHandle&) = delete;
};

int streamRotation(const AVStream* stream)
{
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix) {
        return 0;
    }
    const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(angle)) {
        return 0;
    }
    const int degrees = static_cast<int>(std::lround(angle / 90.0)) * 90 % 360;
    return degrees < 0 ? degrees + 360 : degrees;
}

// A stream time as a media time: exact in the stream's own timescale when it has one.
CMTime mediaTime(int64_t ticks, AVRational timeBase)
{
    if (timeBase.num == 1 && timeBase.den > 0) {
        return CMTimeMake(ticks, timeBase.den);
    }
    return CMTimeMakeWithSeconds(static_cast<double>(ticks) * av_q2d(timeBase), 600);
}

std::atomic<int64_t> g_standInFailsAfter{-1};

}  // namespace AVAssetReader_cpp
}  // namespace

void AVAssetReader::setStandInFailsAfterSamples(int64_t samples)
{
    AVAssetReader_cpp::g_standInFailsAfter.store(samples);
}

// --- Tracks -----------------------------------------------------------------------------------------

std::vector<Ref<AVAssetTrack>> AVAssetTrack::tracksOfAsset(const Ref<AVAsset>& asset, const std::string& mediaType)
{
    std::vector<Ref<AVAssetTrack>> tracks;
    if (!asset || !asset->isReadable()) {
        return tracks;
    }
    AVAssetReader_cpp::FormatHandle file(asset->path());
    if (!file.format) {
        return tracks;
    }
    const AVMediaType wanted = mediaType == AVMediaTypeVideo   ? AVMEDIA_TYPE_VIDEO
                               : mediaType == AVMediaTypeAudio ? AVMEDIA_TYPE_AUDIO
                                                               : AVMEDIA_TYPE_UNKNOWN;
    for (unsigned i = 0; i < file.format->nb_streams; ++i) {
        const AVStream* stream = file.format->streams[i];
        if (stream->codecpar->codec_type != wanted || wanted == AVMEDIA_TYPE_UNKNOWN) {
            continue;
        }
        auto track = std::make_shared<AVAssetTrack>();
        track->mediaType_ = mediaType;
        track->trackID_ = static_cast<int>(i);
        track->path_ = asset->path();
        if (wanted == AVMEDIA_TYPE_VIDEO) {
            track->naturalSize_ = CGSizeMake(stream->codecpar->width, stream->codecpar->height);
            const int degrees = AVAssetReader_cpp::streamRotation(stream);
            if (degrees != 0) {
                // Quarter turns, written exactly (no rounding noise in the cosines).
                const CGFloat c = degrees == 180 ? -1 : 0;
                const CGFloat s = degrees == 90 ? 1 : degrees == 270 ? -1 : 0;
                track->preferredTransform_ = CGAffineTransformMake(c, s, -s, c, 0, 0);
            }
        }
        tracks.push_back(track);
    }
    return tracks;
}

Value AVAssetCommonMetadata(const Ref<AVAsset>& asset)
{
    Value items = Value::array();
    if (!asset || !asset->isReadable()) {
        return items;
    }
    AVAssetReader_cpp::FormatHandle file(asset->path());
    if (!file.format) {
        return items;
    }
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(file.format->metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        const std::string key = entry->key;
        // What the muxer writes of its own is not the movie's metadata.
        if (key == "major_brand" || key == "minor_version" || key == "compatible_brands" || key == "encoder") {
            continue;
        }
        items.addObject(Value::dictionary({{"key", Value(key)}, {"value", Value(std::string(entry->value))}}));
    }
    return items;
}

void AVAssetLoadValuesAsynchronouslyForKeys(const Ref<AVAsset>& asset, const std::vector<std::string>& keys,
                                            std::function<void()> handler)
{
    (void)keys;
    DispatchRunOnWorker([asset, handler = std::move(handler)] {
        if (handler) {
            handler();
        }
    });
}

// --- Outputs ----------------------------------------------------------------------------------------

// One output's own handle on the file, its decoder and its converter.
struct AVAssetReaderOutput::Decoder {
    std::unique_ptr<AVAssetReader_cpp::FormatHandle> file;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1};
    int64_t streamStart = 0;
    bool video = true;
    bool sentEnd = false;
    // Sound: the output format, and where the next converted sample lies.
    int rate = 44100;
    int channels = 2;
    bool isFloat = false;
    int64_t nextSample = -1;  // in output samples from the movie's start

    ~Decoder()
    {
        sws_freeContext(sws);
        swr_free(&swr);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }

    CMSampleBufferRef videoSample()
    {
        CVPixelBufferRef pixels;
        if (CVPixelBufferCreate(nullptr, static_cast<size_t>(frame->width), static_cast<size_t>(frame->height),
                                kCVPixelFormatType_32BGRA, Value(), &pixels) != kCVReturnSuccess) {
            return nullptr;
        }
        sws = sws_getCachedContext(sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                   frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!sws) {
            return nullptr;
        }
        uint8_t* destination[4] = {pixels->data(), nullptr, nullptr, nullptr};
        int strides[4] = {static_cast<int>(pixels->bytesPerRow()), 0, 0, 0};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, destination, strides);
        int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
        pts = pts == AV_NOPTS_VALUE ? 0 : pts - streamStart;
        const CMTime duration = frame->pkt_duration > 0 ? AVAssetReader_cpp::mediaTime(frame->pkt_duration, timeBase) : kCMTimeInvalid;
        return CMSampleBufferCreateForImageBuffer(pixels, AVAssetReader_cpp::mediaTime(pts, timeBase), duration);
    }

    CMSampleBufferRef audioSample(bool flushing)
    {
        if (!swr) {
            AVChannelLayout out;
            av_channel_layout_default(&out, channels);
            const int rc = swr_alloc_set_opts2(&swr, &out, isFloat ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16, rate,
                                               &codec->ch_layout, codec->sample_fmt, codec->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&out);
            if (rc < 0 || swr_init(swr) < 0) {
                swr_free(&swr);
                return nullptr;
            }
        }
        if (!flushing && nextSample < 0) {
            int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
            pts = pts == AV_NOPTS_VALUE ? 0 : std::max<int64_t>(0, pts - streamStart);
            nextSample = av_rescale_q(pts, timeBase, AVRational{1, rate});
        }
        const int room = swr_get_out_samples(swr, flushing ? 0 : frame->nb_samples);
        if (room <= 0) {
            return nullptr;
        }
        const size_t bytesPerFrame = static_cast<size_t>(channels) * (isFloat ? 4 : 2);
        std::vector<uint8_t> bytes(static_cast<size_t>(room) * bytesPerFrame);
        uint8_t* out[1] = {bytes.data()};
        const int made = flushing ? swr_convert(swr, out, room, nullptr, 0)
                                  : swr_convert(swr, out, room, const_cast<const uint8_t**>(frame->extended_data),
                                                frame->nb_samples);
        if (made <= 0) {
            return nullptr;
        }
        AudioStreamBasicDescription format;
        format.mSampleRate = rate;
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags = (isFloat ? kLinearPCMFormatFlagIsFloat : kLinearPCMFormatFlagIsSignedInteger) |
                              kLinearPCMFormatFlagIsPacked;
        format.mBytesPerFrame = static_cast<uint32_t>(bytesPerFrame);
        format.mBytesPerPacket = format.mBytesPerFrame;
        format.mFramesPerPacket = 1;
        format.mChannelsPerFrame = static_cast<uint32_t>(channels);
        format.mBitsPerChannel = isFloat ? 32 : 16;
        const CMTime at = CMTimeMake(std::max<int64_t>(nextSample, 0), rate);
        nextSample = std::max<int64_t>(nextSample, 0) + made;
        return CMSampleBufferCreateForAudio(format, bytes.data(), made, at);
    }

    // The next decoded sample; null at the end of the stream.
    CMSampleBufferRef next()
    {
        for (;;) {
            const int received = avcodec_receive_frame(codec, frame);
            if (received >= 0) {
                CMSampleBufferRef sample = video ? videoSample() : audioSample(false);
                av_frame_unref(frame);
                if (sample) {
                    return sample;
                }
                continue;
            }
            if (received == AVERROR_EOF) {
                return video ? nullptr : audioSample(true);
            }
            if (sentEnd) {
                return nullptr;
            }
            // Feed the decoder the next packet of this stream, or the end.
            bool fed = false;
            while (!fed) {
                if (av_read_frame(file->format, packet) < 0) {
                    avcodec_send_packet(codec, nullptr);
                    sentEnd = true;
                    fed = true;
                } else {
                    if (packet->stream_index == stream) {
                        avcodec_send_packet(codec, packet);
                        fed = true;
                    }
                    av_packet_unref(packet);
                }
            }
        }
    }
};

AVAssetReaderOutput::AVAssetReaderOutput() = default;
AVAssetReaderOutput::~AVAssetReaderOutput() = default;

bool AVAssetReaderOutput::open(std::string* error)
{
    if (!track_) {
        *error = "The output has no track";
        return false;
    }
    auto d = std::make_unique<Decoder>();
    d->file = std::make_unique<AVAssetReader_cpp::FormatHandle>(track_->path());
    AVFormatContext* format = d->file->format;
    if (!format || track_->trackID() < 0 || static_cast<unsigned>(track_->trackID()) >= format->nb_streams) {
        *error = "Cannot Open";
        return false;
    }
    d->stream = track_->trackID();
    const AVStream* stream = format->streams[d->stream];
    d->video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    d->timeBase = stream->time_base;
    d->streamStart = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (d->video) {
        if (!settings_[kCVPixelBufferPixelFormatTypeKey].isNil() &&
            settings_[kCVPixelBufferPixelFormatTypeKey].unsignedLongLongValue() != kCVPixelFormatType_32BGRA) {
            *error = "Only 32-bit BGRA frames are offered";
            return false;
        }
    } else {
        if (!settings_[AVFormatIDKey].isNil() && settings_[AVFormatIDKey].unsignedLongLongValue() != kAudioFormatLinearPCMID) {
            *error = "Sound is read as linear PCM only";
            return false;
        }
        if (!settings_[AVSampleRateKey].isNil()) {
            d->rate = static_cast<int>(std::lround(settings_[AVSampleRateKey].doubleValue()));
        }
        if (!settings_[AVNumberOfChannelsKey].isNil()) {
            d->channels = settings_[AVNumberOfChannelsKey].intValue();
        }
        d->isFloat = settings_[AVLinearPCMIsFloatKey].boolValue();
        if (d->rate <= 0 || d->channels <= 0 || d->channels > 8 || settings_[AVLinearPCMIsBigEndianKey].boolValue() ||
            settings_[AVLinearPCMIsNonInterleaved].boolValue() ||
            (!settings_[AVLinearPCMBitDepthKey].isNil() && settings_[AVLinearPCMBitDepthKey].intValue() != (d->isFloat ? 32 : 16))) {
            *error = "Unsupported sound settings";
            return false;
        }
    }
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    d->codec = codec ? avcodec_alloc_context3(codec) : nullptr;
    d->packet = av_packet_alloc();
    d->frame = av_frame_alloc();
    if (!d->codec || !d->packet || !d->frame || avcodec_parameters_to_context(d->codec, stream->codecpar) < 0 ||
        avcodec_open2(d->codec, codec, nullptr) < 0) {
        *error = "The track cannot be decoded";
        return false;
    }
    decoder_ = std::move(d);
    return true;
}

CMSampleBufferRef AVAssetReaderOutput::copyNextSampleBuffer()
{
    Ref<AVAssetReader> reader = reader_.lock();
    if (!reader || reader->status() != AVAssetReaderStatusReading || exhausted_ || !decoder_) {
        return nullptr;
    }
    if (!reader->countSample()) {
        return nullptr;
    }
    CMSampleBufferRef sample = decoder_->next();
    if (!sample) {
        exhausted_ = true;
        reader->outputExhausted();
    }
    return sample;
}

Ref<AVAssetReaderTrackOutput> AVAssetReaderTrackOutput::assetReaderTrackOutputWithTrack_outputSettings(
    const Ref<AVAssetTrack>& track, const Value& outputSettings)
{
    auto output = std::make_shared<AVAssetReaderTrackOutput>();
    output->track_ = track;
    output->settings_ = outputSettings;
    output->mediaType_ = track ? track->mediaType() : std::string();
    return output;
}

Ref<AVAssetReaderAudioMixOutput> AVAssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks_audioSettings(
    const std::vector<Ref<AVAssetTrack>>& audioTracks, const Value& audioSettings)
{
    auto output = std::make_shared<AVAssetReaderAudioMixOutput>();
    output->track_ = audioTracks.empty() ? nullptr : audioTracks.front();
    output->settings_ = audioSettings;
    output->mediaType_ = AVMediaTypeAudio;
    return output;
}

// --- Reader -----------------------------------------------------------------------------------------

Ref<AVAssetReader> AVAssetReader::assetReaderWithAsset_error(const Ref<AVAsset>& asset, Ref<NSError>* error)
{
    if (!asset || !asset->isReadable()) {
        if (error) {
            *error = AVAssetReader_cpp::readerError(AVErrorUnknown, "Cannot Open");
        }
        return nullptr;
    }
    auto reader = std::make_shared<AVAssetReader>();
    reader->asset_ = asset;
    reader->failsAfter_.store(AVAssetReader_cpp::g_standInFailsAfter.load());
    return reader;
}

bool AVAssetReader::canAddOutput(const Ref<AVAssetReaderOutput>& output) const
{
    return output && status_.load() == AVAssetReaderStatusUnknown && !output->reader_.lock() &&
           std::find(outputs_.begin(), outputs_.end(), output) == outputs_.end();
}

void AVAssetReader::addOutput(const Ref<AVAssetReaderOutput>& output)
{
    if (!canAddOutput(output)) {
        NSException::raise(NSInvalidArgumentException, "*** -[AVAssetReader addOutput:] Cannot add the output");
    }
    output->reader_ = self<AVAssetReader>();
    outputs_.push_back(output);
}

bool AVAssetReader::startReading()
{
    if (status_.load() != AVAssetReaderStatusUnknown) {
        NSException::raise(NSInternalInconsistencyException,
                           "*** -[AVAssetReader startReading] cannot be called again after reading has already started");
    }
    for (const auto& output : outputs_) {
        std::string reason;
        if (!output->open(&reason)) {
            fail(reason);
            return false;
        }
    }
    status_.store(outputs_.empty() ? AVAssetReaderStatusCompleted : AVAssetReaderStatusReading);
    return true;
}

void AVAssetReader::cancelReading()
{
    AVAssetReaderStatus expected = AVAssetReaderStatusReading;
    if (!status_.compare_exchange_strong(expected, AVAssetReaderStatusCancelled)) {
        expected = AVAssetReaderStatusUnknown;
        status_.compare_exchange_strong(expected, AVAssetReaderStatusCancelled);
    }
}

Ref<NSError> AVAssetReader::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

void AVAssetReader::fail(const std::string& reason)
{
    {
        std::lock_guard lock(mutex_);
        error_ = AVAssetReader_cpp::readerError(AVErrorDecodeFailed, reason);
    }
    status_.store(AVAssetReaderStatusFailed);
}

void AVAssetReader::outputExhausted()
{
    std::lock_guard lock(mutex_);
    if (++exhaustedOutputs_ == outputs_.size()) {
        AVAssetReaderStatus expected = AVAssetReaderStatusReading;
        status_.compare_exchange_strong(expected, AVAssetReaderStatusCompleted);
    }
}

bool AVAssetReader::countSample()
{
    int64_t left = failsAfter_.load();
    while (left >= 0) {
        if (left == 0) {
            fail("The movie could not be read further");
            return false;
        }
        if (failsAfter_.compare_exchange_weak(left, left - 1)) {
            break;
        }
    }
    return true;
}
