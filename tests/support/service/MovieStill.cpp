#include "service/MovieStill.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace standin {

namespace {
namespace MovieStill_cpp {

// The movie's bytes as FFmpeg reads them: from memory, seekable.
struct Source {
    const std::string* bytes;
    std::int64_t position = 0;
};

int readPacket(void* opaque, std::uint8_t* buffer, int size)
{
    auto* source = static_cast<Source*>(opaque);
    const std::int64_t left = std::int64_t(source->bytes->size()) - source->position;
    if (left <= 0) {
        return AVERROR_EOF;
    }
    const int n = int(std::min<std::int64_t>(left, size));
    std::memcpy(buffer, source->bytes->data() + source->position, std::size_t(n));
    source->position += n;
    return n;
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence)
{
    auto* source = static_cast<Source*>(opaque);
    const std::int64_t size = std::int64_t(source->bytes->size());
    if ((whence & AVSEEK_SIZE) != 0) {
        return size;
    }
    std::int64_t target = offset;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_CUR: target = source->position + offset; break;
    case SEEK_END: target = size + offset; break;
    default: break;
    }
    if (target < 0 || target > size) {
        return -1;
    }
    source->position = target;
    return target;
}

struct Cleanup {
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* decoder = nullptr;
    AVCodecContext* encoder = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* rgb = nullptr;
    SwsContext* scaler = nullptr;

    ~Cleanup()
    {
        sws_freeContext(scaler);
        av_frame_free(&rgb);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&encoder);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

// Decodes until the first frame of the stream; false when there is none.
bool firstFrame(Cleanup& c, int stream)
{
    bool draining = false;
    while (true) {
        const int received = avcodec_receive_frame(c.decoder, c.frame);
        if (received == 0) {
            return true;
        }
        if (received != AVERROR(EAGAIN) || draining) {
            return false;
        }
        if (av_read_frame(c.format, c.packet) < 0) {
            draining = true;
            avcodec_send_packet(c.decoder, nullptr);
            continue;
        }
        if (c.packet->stream_index == stream) {
            avcodec_send_packet(c.decoder, c.packet);
        }
        av_packet_unref(c.packet);
    }
}

} // namespace MovieStill_cpp
} // namespace

std::optional<MovieStill> movieStill(const std::string& movieBytes)
{
    using namespace MovieStill_cpp;
    if (movieBytes.empty()) {
        return std::nullopt;
    }
    Cleanup c;
    Source source{&movieBytes};
    constexpr int kBufferSize = 64 * 1024;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBufferSize));
    c.io = avio_alloc_context(buffer, kBufferSize, 0, &source, readPacket, nullptr, seekTo);
    c.format = avformat_alloc_context();
    if (c.io == nullptr || c.format == nullptr) {
        return std::nullopt;
    }
    c.format->pb = c.io;
    if (avformat_open_input(&c.format, nullptr, nullptr, nullptr) < 0) {
        return std::nullopt;  // the context is freed by a failed open
    }
    if (avformat_find_stream_info(c.format, nullptr) < 0) {
        return std::nullopt;
    }
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(c.format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream < 0 || codec == nullptr) {
        return std::nullopt;
    }
    c.decoder = avcodec_alloc_context3(codec);
    if (c.decoder == nullptr || avcodec_parameters_to_context(c.decoder, c.format->streams[stream]->codecpar) < 0 ||
        avcodec_open2(c.decoder, codec, nullptr) < 0) {
        return std::nullopt;
    }
    c.packet = av_packet_alloc();
    c.frame = av_frame_alloc();
    if (c.packet == nullptr || c.frame == nullptr || !firstFrame(c, stream) || c.frame->width <= 0 ||
        c.frame->height <= 0) {
        return std::nullopt;
    }

    // Into RGB, then PNG.
    const int width = c.frame->width;
    const int height = c.frame->height;
    c.rgb = av_frame_alloc();
    c.scaler = sws_getContext(width, height, AVPixelFormat(c.frame->format), width, height, AV_PIX_FMT_RGB24,
                              SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (c.rgb == nullptr || c.scaler == nullptr) {
        return std::nullopt;
    }
    c.rgb->format = AV_PIX_FMT_RGB24;
    c.rgb->width = width;
    c.rgb->height = height;
    if (av_frame_get_buffer(c.rgb, 0) < 0) {
        return std::nullopt;
    }
    sws_scale(c.scaler, c.frame->data, c.frame->linesize, 0, height, c.rgb->data, c.rgb->linesize);
    const AVCodec* png = avcodec_find_encoder(AV_CODEC_ID_PNG);
    c.encoder = png != nullptr ? avcodec_alloc_context3(png) : nullptr;
    if (c.encoder == nullptr) {
        return std::nullopt;
    }
    c.encoder->width = width;
    c.encoder->height = height;
    c.encoder->pix_fmt = AV_PIX_FMT_RGB24;
    c.encoder->time_base = AVRational{1, 25};
    if (avcodec_open2(c.encoder, png, nullptr) < 0 || avcodec_send_frame(c.encoder, c.rgb) < 0) {
        return std::nullopt;
    }
    av_packet_unref(c.packet);
    if (avcodec_receive_packet(c.encoder, c.packet) < 0) {
        return std::nullopt;
    }
    MovieStill still;
    still.png.assign(reinterpret_cast<const char*>(c.packet->data), std::size_t(c.packet->size));
    still.width = width;
    still.height = height;
    return still;
}

} // namespace standin
