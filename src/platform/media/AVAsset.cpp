#include "platform/media/AVAsset.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/LocalMediaFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

// What an asset knows of its file once opened. The format context is kept for the image generators;
// one mutex serialises their reads.
struct AVAssetState {
    std::string path;
    std::mutex lock;
    AVFormatContext* format = nullptr;
    int videoStream = -1;
    CMTime duration = kCMTimeInvalid;
    CGSize naturalSize = {0, 0};
    int rotation = 0;

    ~AVAssetState()
    {
        if (format) {
            avformat_close_input(&format);
        }
    }
};

namespace {

constexpr int32_t kDurationTimescale = 600;

CMTime fromStreamTime(int64_t ticks, AVRational timeBase)
{
    // A common timescale that keeps movie times exact enough: 1/600 s.
    const double seconds = double(ticks) * av_q2d(timeBase);
    return CMTimeMakeWithSeconds(seconds, kDurationTimescale);
}

// The rotation the stream asks for when shown, clockwise degrees rounded to a quarter turn.
int streamRotation(const AVStream* stream)
{
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (matrix) {
        // The display matrix gives the counter-clockwise angle.
        const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
        if (!std::isnan(angle)) {
            int degrees = int(std::lround(angle / 90.0)) * 90 % 360;
            return degrees < 0 ? degrees + 360 : degrees;
        }
    }
    if (const AVDictionaryEntry* tag = av_dict_get(stream->metadata, "rotate", nullptr, 0)) {
        int degrees = std::atoi(tag->value) % 360;
        degrees = (degrees + 360) % 360;
        return degrees / 90 * 90;
    }
    return 0;
}

// The end of the last packet of any stream, measured by reading the whole file.
CMTime measureDuration(AVFormatContext* format)
{
    double end = 0;
    bool any = false;
    AVPacket* packet = av_packet_alloc();
    while (packet && av_read_frame(format, packet) >= 0) {
        const AVStream* stream = format->streams[packet->stream_index];
        int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (start != AV_NOPTS_VALUE) {
            if (stream->start_time != AV_NOPTS_VALUE) {
                start -= stream->start_time;
            }
            end = std::max(end, double(start + packet->duration) * av_q2d(stream->time_base));
            any = true;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return any ? CMTimeMakeWithSeconds(end, kDurationTimescale) : kCMTimeInvalid;
}

Ref<NSError> generatorError(long code, const std::string& reason)
{
    return NSError::errorWithDomain_code_userInfo(AVFoundationErrorDomain, code,
                                                  Value::dictionary({{"NSLocalizedDescription", Value(reason)}}));
}

// The picture turned by a quarter-turn multiple, clockwise.
std::vector<uint32_t> rotatePixels(const std::vector<uint32_t>& pixels, size_t& width, size_t& height, int degrees)
{
    if (degrees == 0) {
        return pixels;
    }
    const size_t w = width;
    const size_t h = height;
    std::vector<uint32_t> out(pixels.size());
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            const uint32_t p = pixels[y * w + x];
            switch (degrees) {
            case 90:  // (x, y) -> (h - 1 - y, x) in a picture h wide
                out[x * h + (h - 1 - y)] = p;
                break;
            case 180:
                out[(h - 1 - y) * w + (w - 1 - x)] = p;
                break;
            default:  // 270
                out[(w - 1 - x) * h + y] = p;
                break;
            }
        }
    }
    if (degrees == 90 || degrees == 270) {
        std::swap(width, height);
    }
    return out;
}

}  // namespace

// --- Assets ---

AVAsset::~AVAsset() = default;

CMTime AVAsset::duration() const { return state_ ? state_->duration : kCMTimeInvalid; }
bool AVAsset::isReadable() const { return state_ && state_->format; }
bool AVAsset::hasVideoTrack() const { return state_ && state_->videoStream >= 0; }
CGSize AVAsset::naturalSize() const { return state_ ? state_->naturalSize : CGSize{0, 0}; }
int AVAsset::preferredRotation() const { return state_ ? state_->rotation : 0; }

const std::string& AVAsset::path() const
{
    static const std::string none;
    return state_ ? state_->path : none;
}

Ref<AVURLAsset> AVURLAsset::URLAssetWithURL_options(const Ref<NSURL>& url, const Value& options)
{
    auto asset = std::make_shared<AVURLAsset>();
    asset->url_ = url;
    auto state = std::make_shared<AVAssetState>();
    asset->state_ = state;
    if (!url || !url->isFileURL()) {
        return asset;
    }
    state->path = url->path();

    if (openLocalMediaFile(&state->format, state->path) < 0) {
        return asset;
    }
    if (avformat_find_stream_info(state->format, nullptr) < 0) {
        avformat_close_input(&state->format);
        return asset;
    }
    state->videoStream = av_find_best_stream(state->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (state->videoStream >= 0) {
        const AVStream* stream = state->format->streams[state->videoStream];
        state->naturalSize = CGSizeMake(stream->codecpar->width, stream->codecpar->height);
        state->rotation = streamRotation(stream);
    } else {
        state->videoStream = -1;
    }

    if (options[AVURLAssetPreferPreciseDurationAndTimingKey].boolValue()) {
        av_seek_frame(state->format, -1, 0, AVSEEK_FLAG_BACKWARD);
        state->duration = measureDuration(state->format);
        av_seek_frame(state->format, -1, 0, AVSEEK_FLAG_BACKWARD);
    } else if (state->format->duration > 0) {
        state->duration = fromStreamTime(state->format->duration, AVRational{1, AV_TIME_BASE});
    } else {
        // No container duration: the longest stream's.
        double longest = -1;
        for (unsigned i = 0; i < state->format->nb_streams; ++i) {
            const AVStream* stream = state->format->streams[i];
            if (stream->duration > 0) {
                longest = std::max(longest, double(stream->duration) * av_q2d(stream->time_base));
            }
        }
        state->duration = longest >= 0 ? CMTimeMakeWithSeconds(longest, kDurationTimescale) : kCMTimeZero;
    }
    return asset;
}

// --- Stills ---

Ref<AVAssetImageGenerator> AVAssetImageGenerator::assetImageGeneratorWithAsset(const Ref<AVAsset>& asset)
{
    auto generator = std::make_shared<AVAssetImageGenerator>();
    generator->asset_ = asset;
    return generator;
}

CGImageRef AVAssetImageGenerator::copyCGImageAtTime_actualTime_error(CMTime requestedTime, CMTime* actualTime,
                                                                     Ref<NSError>* error)
{
    auto fail = [error](long code, const std::string& reason) -> CGImageRef {
        if (error) {
            *error = generatorError(code, reason);
        }
        return nullptr;
    };
    if (!asset_ || !asset_->state_ || !asset_->state_->format) {
        return fail(AVErrorUnknown, "Cannot Open");
    }
    AVAssetState& state = *asset_->state_;
    if (state.videoStream < 0) {
        return fail(AVErrorNoDataCaptured, "The movie has no video track");
    }
    std::lock_guard<std::mutex> guard(state.lock);
    AVFormatContext* format = state.format;
    AVStream* stream = format->streams[state.videoStream];

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        return fail(AVErrorDecodeFailed, "No decoder for the video track");
    }
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVFrame* chosen = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    auto release = [&] {
        av_packet_free(&packet);
        av_frame_free(&chosen);
        av_frame_free(&frame);
        avcodec_free_context(&decoder);
    };
    if (!decoder || !frame || !chosen || !packet || avcodec_parameters_to_context(decoder, stream->codecpar) < 0 ||
        avcodec_open2(decoder, codec, nullptr) < 0) {
        release();
        return fail(AVErrorDecodeFailed, "The video track cannot be decoded");
    }

    const double requested = std::max(0.0, CMTimeGetSeconds(requestedTime));
    const int64_t streamStart = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const int64_t target = streamStart + int64_t(std::llround(requested / av_q2d(stream->time_base)));
    if (av_seek_frame(format, state.videoStream, target, AVSEEK_FLAG_BACKWARD) < 0) {
        av_seek_frame(format, -1, 0, AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(decoder);

    // The last frame at or before the requested time; the first frame when every frame lies after it.
    bool haveChosen = false;
    bool done = false;
    int64_t chosenPts = 0;
    auto takeFrames = [&] {
        while (!done && avcodec_receive_frame(decoder, frame) >= 0) {
            int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
            if (pts == AV_NOPTS_VALUE) {
                pts = target;
            }
            if (pts <= target || !haveChosen) {
                av_frame_unref(chosen);
                av_frame_move_ref(chosen, frame);
                haveChosen = true;
                chosenPts = pts;
                if (pts >= target) {
                    done = true;
                }
            } else {
                done = true;
            }
            av_frame_unref(frame);
        }
    };
    while (!done && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == state.videoStream && avcodec_send_packet(decoder, packet) >= 0) {
            takeFrames();
        }
        av_packet_unref(packet);
    }
    if (!done) {
        avcodec_send_packet(decoder, nullptr);  // drain what the decoder still holds
        takeFrames();
    }
    if (!haveChosen || chosen->width <= 0 || chosen->height <= 0) {
        release();
        return fail(AVErrorDecodeFailed, "No frame could be decoded");
    }

    // Premultiplied ARGB words (opaque video, so premultiplying changes nothing), little-endian: B, G, R, A.
    size_t width = size_t(chosen->width);
    size_t height = size_t(chosen->height);
    std::vector<uint32_t> pixels(width * height);
    SwsContext* scaler = sws_getContext(chosen->width, chosen->height, AVPixelFormat(chosen->format), chosen->width,
                                        chosen->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler) {
        release();
        return fail(AVErrorDecodeFailed, "The frame's pixels cannot be converted");
    }
    uint8_t* destination[4] = {reinterpret_cast<uint8_t*>(pixels.data()), nullptr, nullptr, nullptr};
    int destinationStride[4] = {int(width * 4), 0, 0, 0};
    sws_scale(scaler, chosen->data, chosen->linesize, 0, chosen->height, destination, destinationStride);
    sws_freeContext(scaler);
    if (actualTime) {
        *actualTime = fromStreamTime(chosenPts - streamStart, stream->time_base);
    }
    release();

    if (appliesPreferredTrackTransform_) {
        pixels = rotatePixels(pixels, width, height, state.rotation);
    }

    // Fit inside the maximum size, keeping the shape.
    if (maximumSize_.width > 0 && maximumSize_.height > 0 &&
        (double(width) > maximumSize_.width || double(height) > maximumSize_.height)) {
        const double scale = std::min(maximumSize_.width / double(width), maximumSize_.height / double(height));
        const int newWidth = std::max(1, int(std::lround(double(width) * scale)));
        const int newHeight = std::max(1, int(std::lround(double(height) * scale)));
        std::vector<uint32_t> scaled(size_t(newWidth) * size_t(newHeight));
        SwsContext* resizer = sws_getContext(int(width), int(height), AV_PIX_FMT_BGRA, newWidth, newHeight,
                                             AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr, nullptr);
        if (resizer) {
            const uint8_t* source[4] = {reinterpret_cast<const uint8_t*>(pixels.data()), nullptr, nullptr, nullptr};
            int sourceStride[4] = {int(width * 4), 0, 0, 0};
            uint8_t* target2[4] = {reinterpret_cast<uint8_t*>(scaled.data()), nullptr, nullptr, nullptr};
            int targetStride[4] = {newWidth * 4, 0, 0, 0};
            sws_scale(resizer, source, sourceStride, 0, int(height), target2, targetStride);
            sws_freeContext(resizer);
            pixels = std::move(scaled);
            width = size_t(newWidth);
            height = size_t(newHeight);
        }
    }
    return CGImage::create(width, height, std::move(pixels));
}
