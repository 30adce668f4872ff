#include "platform/media/MovieFileWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
namespace MovieFileWriter_cpp {

std::string av_error_text(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The time base of frames given with their own times.
constexpr AVRational kExplicitTimeBase = {1, 90000};

}  // namespace MovieFileWriter_cpp
}  // namespace

struct MovieFileWriter::Impl {
    MovieFileSettings settings;
    std::string error;
    std::function<void(const MovieFilePacket&)> handler;
    bool writing = false;

    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVBSFContext* seiFilter = nullptr;  // drops the encoder's SEI units from the samples
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVFrame* videoFrame = nullptr;
    AVFrame* audioFrame = nullptr;
    AVPacket* packet = nullptr;

    std::vector<float> pendingAudio;  // samples waiting for a whole encoder frame
    int64_t videoFrames = 0;
    int64_t audioSamples = 0;      // appended
    int64_t audioSamplesSent = 0;  // handed to the encoder
    int64_t videoPackets = 0;
    int64_t audioPackets = 0;
    int64_t lastVideoPts = AV_NOPTS_VALUE;
    int64_t videoInterval = 1;  // the latest frame's distance from the one before, in encoder ticks

    ~Impl() { release(); }

    bool fail(const std::string& what, int code = 0)
    {
        error = code ? what + ": " + MovieFileWriter_cpp::av_error_text(code) : what;
        return false;
    }

    void release()
    {
        if (format) {
            if (format->pb) {
                avio_closep(&format->pb);
            }
            avformat_free_context(format);
            format = nullptr;
        }
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        av_bsf_free(&seiFilter);
        av_frame_free(&videoFrame);
        av_frame_free(&audioFrame);
        av_packet_free(&packet);
        videoStream = audioStream = nullptr;
        writing = false;
    }

    bool openVideo()
    {
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) {
            return fail("no H.264 encoder (libx264)");
        }
        video = avcodec_alloc_context3(codec);
        video->width = settings.width;
        video->height = settings.height;
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->time_base = settings.explicitTimes ? MovieFileWriter_cpp::kExplicitTimeBase : AVRational{1, settings.frameRate};
        video->framerate = AVRational{settings.frameRate, 1};
        video->gop_size = settings.keyFrameInterval;
        video->max_b_frames = 0;
        video->bit_rate = settings.videoBitRate;
        video->thread_count = 1;  // one slice, so one NAL unit, per frame
        video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // parameter sets go to the index, not the samples
        av_opt_set(video->priv_data, "preset", "veryfast", 0);
        av_opt_set(video->priv_data, "tune", "zerolatency", 0);
        av_opt_set(video->priv_data, "profile", "main", 0);
        if (settings.h264Level > 0) {
            video->level = settings.h264Level;
        }
        if (int rc = avcodec_open2(video, codec, nullptr); rc < 0) {
            return fail("cannot open the H.264 encoder", rc);
        }

        const AVBitStreamFilter* filter = av_bsf_get_by_name("filter_units");
        if (!filter) {
            return fail("no filter_units bitstream filter");
        }
        if (int rc = av_bsf_alloc(filter, &seiFilter); rc < 0) {
            return fail("cannot make the SEI filter", rc);
        }
        avcodec_parameters_from_context(seiFilter->par_in, video);
        seiFilter->time_base_in = video->time_base;
        av_opt_set(seiFilter->priv_data, "remove_types", "6", 0);
        if (int rc = av_bsf_init(seiFilter); rc < 0) {
            return fail("cannot start the SEI filter", rc);
        }

        videoStream = avformat_new_stream(format, nullptr);
        avcodec_parameters_copy(videoStream->codecpar, seiFilter->par_out);
        videoStream->time_base = video->time_base;
        if (settings.rotation % 360 != 0) {
            auto* matrix = reinterpret_cast<int32_t*>(
                av_stream_new_side_data(videoStream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
            if (!matrix) {
                return fail("cannot set the display matrix");
            }
            // Readers take the matrix's angle as counter-clockwise: a quarter turn clockwise reads back
            // as -90 (what the phone's portrait movies carry), which this call gives for +90.
            av_display_rotation_set(matrix, static_cast<double>(settings.rotation));
        }

        videoFrame = av_frame_alloc();
        videoFrame->format = video->pix_fmt;
        videoFrame->width = video->width;
        videoFrame->height = video->height;
        if (int rc = av_frame_get_buffer(videoFrame, 0); rc < 0) {
            return fail("cannot allocate a video frame", rc);
        }
        return true;
    }

    bool openAudio()
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) {
            return fail("no AAC encoder");
        }
        audio = avcodec_alloc_context3(codec);
        audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
        audio->sample_rate = settings.audioSampleRate;
        av_channel_layout_default(&audio->ch_layout, 1);
        audio->bit_rate = settings.audioBitRate;
        audio->profile = FF_PROFILE_AAC_LOW;
        audio->time_base = AVRational{1, settings.audioSampleRate};
        audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (int rc = avcodec_open2(audio, codec, nullptr); rc < 0) {
            return fail("cannot open the AAC encoder", rc);
        }
        audioStream = avformat_new_stream(format, nullptr);
        avcodec_parameters_from_context(audioStream->codecpar, audio);
        audioStream->time_base = audio->time_base;

        audioFrame = av_frame_alloc();
        audioFrame->format = audio->sample_fmt;
        audioFrame->nb_samples = audio->frame_size;
        av_channel_layout_copy(&audioFrame->ch_layout, &audio->ch_layout);
        if (int rc = av_frame_get_buffer(audioFrame, 0); rc < 0) {
            return fail("cannot allocate an audio frame", rc);
        }
        return true;
    }

    // Writes one encoded sample, flushes it to the file and reports where it went.
    bool writeSample(MovieTrack track, AVRational encoderTimeBase)
    {
        AVStream* stream = track == MovieTrack::Video ? videoStream : audioStream;
        MovieFilePacket info;
        info.track = track;
        info.index = track == MovieTrack::Video ? videoPackets++ : audioPackets++;
        info.time = packet->pts == AV_NOPTS_VALUE ? 0 : packet->pts * av_q2d(encoderTimeBase);
        info.keyFrame = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        if (track == MovieTrack::Video && packet->duration <= 0) {
            // Shown until the next frame; the last one as long as the interval before it, so the
            // index does not give it zero length (readers would then leave it out).
            packet->duration = videoInterval;
        }
        av_packet_rescale_ts(packet, encoderTimeBase, stream->time_base);
        packet->stream_index = stream->index;
        const int64_t before = avio_tell(format->pb);
        const int rc = av_write_frame(format, packet);
        av_packet_unref(packet);
        if (rc < 0) {
            return fail("cannot write a sample", rc);
        }
        avio_flush(format->pb);
        if (format->pb->error < 0) {
            return fail("cannot write the file", format->pb->error);
        }
        info.fileOffset = before;
        info.size = static_cast<uint32_t>(avio_tell(format->pb) - before);
        if (handler) {
            handler(info);
        }
        return true;
    }

    // Hands a frame (or null to drain) to the video encoder and writes what comes out.
    bool encodeVideo(AVFrame* frame)
    {
        if (int rc = avcodec_send_frame(video, frame); rc < 0) {
            return fail("cannot encode video", rc);
        }
        for (;;) {
            int rc = avcodec_receive_packet(video, packet);
            if (rc == AVERROR(EAGAIN)) {
                return true;
            }
            if (rc == AVERROR_EOF) {
                rc = av_bsf_send_packet(seiFilter, nullptr);
            } else if (rc < 0) {
                return fail("cannot encode video", rc);
            } else {
                rc = av_bsf_send_packet(seiFilter, packet);
            }
            if (rc < 0) {
                return fail("cannot filter video", rc);
            }
            for (;;) {
                rc = av_bsf_receive_packet(seiFilter, packet);
                if (rc == AVERROR(EAGAIN)) {
                    break;
                }
                if (rc == AVERROR_EOF) {
                    return true;
                }
                if (rc < 0) {
                    return fail("cannot filter video", rc);
                }
                if (!writeSample(MovieTrack::Video, seiFilter->time_base_out)) {
                    return false;
                }
            }
        }
    }

    bool encodeAudio(AVFrame* frame)
    {
        if (int rc = avcodec_send_frame(audio, frame); rc < 0) {
            return fail("cannot encode audio", rc);
        }
        for (;;) {
            const int rc = avcodec_receive_packet(audio, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
                return true;
            }
            if (rc < 0) {
                return fail("cannot encode audio", rc);
            }
            if (!writeSample(MovieTrack::Audio, audio->time_base)) {
                return false;
            }
        }
    }

    // Encodes `count` pending samples (a whole frame, or the last short one).
    bool sendAudio(size_t count)
    {
        if (int rc = av_frame_make_writable(audioFrame); rc < 0) {
            return fail("cannot reuse the audio frame", rc);
        }
        audioFrame->nb_samples = static_cast<int>(count);
        std::memcpy(audioFrame->data[0], pendingAudio.data(), count * sizeof(float));
        audioFrame->pts = audioSamplesSent;
        audioSamplesSent += static_cast<int64_t>(count);
        pendingAudio.erase(pendingAudio.begin(), pendingAudio.begin() + static_cast<std::ptrdiff_t>(count));
        return encodeAudio(audioFrame);
    }
};

MovieFileWriter::MovieFileWriter() : impl_(std::make_unique<Impl>()) {}

MovieFileWriter::~MovieFileWriter() = default;

bool MovieFileWriter::startWriting(const std::string& path, const MovieFileSettings& settings)
{
    // The codecs' progress chatter is not the platform's to print; errors still show.
    static const bool quiet = [] {
        if (av_log_get_level() == AV_LOG_INFO) {
            av_log_set_level(AV_LOG_ERROR);
        }
        return true;
    }();
    (void)quiet;
    Impl& m = *impl_;
    m.release();
    m.error.clear();
    m.settings = settings;
    m.videoFrames = m.audioSamples = m.audioSamplesSent = m.videoPackets = m.audioPackets = 0;
    m.pendingAudio.clear();
    m.lastVideoPts = AV_NOPTS_VALUE;
    if (settings.width <= 0 || settings.height <= 0 || (settings.width | settings.height) & 1 ||
        settings.frameRate <= 0 || settings.keyFrameInterval <= 0 || settings.audioSampleRate <= 0 ||
        settings.rotation % 90 != 0 || (!settings.hasVideo && !settings.hasAudio)) {
        return m.fail("bad movie settings");
    }
    if (settings.muxer != "mp4" && settings.muxer != "mov") {
        return m.fail("unknown movie file type " + settings.muxer);
    }
    if (int rc = avformat_alloc_output_context2(&m.format, nullptr, settings.muxer.c_str(), path.c_str()); rc < 0) {
        return m.fail("cannot make an MPEG-4 muxer", rc);
    }
    m.packet = av_packet_alloc();
    if ((settings.hasVideo && !m.openVideo()) || (settings.hasAudio && !m.openAudio())) {
        m.release();
        return false;
    }
    if (int rc = avio_open(&m.format->pb, path.c_str(), AVIO_FLAG_WRITE); rc < 0) {
        m.release();
        return m.fail("cannot create " + path, rc);
    }
    // Default muxer options: media data first, the index at the end, no fragments.
    if (int rc = avformat_write_header(m.format, nullptr); rc < 0) {
        m.release();
        return m.fail("cannot write the movie head", rc);
    }
    avio_flush(m.format->pb);
    m.writing = true;
    return true;
}

bool MovieFileWriter::appendVideoFrame(const MovieVideoFrame& frame)
{
    Impl& m = *impl_;
    if (m.settings.explicitTimes) {
        return m.fail("frames need their times");
    }
    return appendVideoFrameAt(frame, m.videoFrames, m.settings.frameRate);
}

bool MovieFileWriter::appendVideoFrameAt(const MovieVideoFrame& frame, int64_t time, int32_t timescale)
{
    Impl& m = *impl_;
    if (!m.writing) {
        return m.fail("not writing");
    }
    if (!m.video) {
        return m.fail("the movie has no video");
    }
    if (timescale <= 0) {
        return m.fail("bad frame time");
    }
    const int64_t pts = av_rescale_q(time, AVRational{1, timescale}, m.video->time_base);
    if (m.lastVideoPts != AV_NOPTS_VALUE && pts <= m.lastVideoPts) {
        return m.fail("frame time not after the previous frame's");
    }
    if (int rc = av_frame_make_writable(m.videoFrame); rc < 0) {
        return m.fail("cannot reuse the video frame", rc);
    }
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? m.settings.height : m.settings.height / 2;
        const int bytes = plane == 0 ? m.settings.width : m.settings.width / 2;
        for (int row = 0; row < rows; ++row) {
            std::memcpy(m.videoFrame->data[plane] + static_cast<ptrdiff_t>(row) * m.videoFrame->linesize[plane],
                        frame.planes[plane] + static_cast<ptrdiff_t>(row) * frame.strides[plane],
                        static_cast<size_t>(bytes));
        }
    }
    m.videoFrame->pts = pts;
    m.videoInterval = m.lastVideoPts == AV_NOPTS_VALUE
                          ? std::max<int64_t>(1, av_rescale_q(1, AVRational{1, m.settings.frameRate}, m.video->time_base))
                          : pts - m.lastVideoPts;
    m.lastVideoPts = pts;
    ++m.videoFrames;
    return m.encodeVideo(m.videoFrame);
}

bool MovieFileWriter::appendAudioSamples(const float* samples, size_t count)
{
    Impl& m = *impl_;
    if (!m.writing) {
        return m.fail("not writing");
    }
    if (!m.audio) {
        return m.fail("the movie has no audio");
    }
    m.pendingAudio.insert(m.pendingAudio.end(), samples, samples + count);
    m.audioSamples += static_cast<int64_t>(count);
    const size_t frameSize = static_cast<size_t>(m.audio->frame_size);
    while (m.pendingAudio.size() >= frameSize) {
        if (!m.sendAudio(frameSize)) {
            return false;
        }
    }
    return true;
}

bool MovieFileWriter::finishWriting()
{
    Impl& m = *impl_;
    if (!m.writing) {
        return m.fail("not writing");
    }
    bool ok = true;
    if (m.audio && !m.pendingAudio.empty()) {
        ok = m.sendAudio(m.pendingAudio.size());
    }
    ok = ok && (!m.audio || m.encodeAudio(nullptr)) && (!m.video || m.encodeVideo(nullptr));
    if (ok) {
        if (int rc = av_write_trailer(m.format); rc < 0) {
            ok = m.fail("cannot write the movie index", rc);
        }
    }
    m.release();
    return ok;
}

void MovieFileWriter::setAudioStartSample(int64_t sample)
{
    Impl& m = *impl_;
    if (m.audioSamples == 0) {
        m.audioSamplesSent = sample;
    }
}

void MovieFileWriter::setPacketHandler(std::function<void(const MovieFilePacket&)> handler)
{
    impl_->handler = std::move(handler);
}

bool MovieFileWriter::isWriting() const { return impl_->writing; }

const std::string& MovieFileWriter::error() const { return impl_->error; }

int64_t MovieFileWriter::videoFramesAppended() const { return impl_->videoFrames; }

int64_t MovieFileWriter::audioSamplesAppended() const { return impl_->audioSamples; }
