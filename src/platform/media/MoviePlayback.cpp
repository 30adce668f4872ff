#include "platform/media/MoviePlayback.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/media/AudioOutput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

struct MoviePlayback::Shared {
    std::string location;

    // Guarded by mutex: the requests of the main thread and the timeline both threads read.
    mutable std::mutex mutex;
    bool stopping = false;
    bool playing = false;
    bool ready = false;
    bool ended = false;
    std::optional<double> seekTo;
    double anchorPosition = 0;  // the position at anchorClock
    double anchorClock = 0;     // a Clock::now() reading
    double duration = 0;
    CGSize size = {0, 0};
    std::uint64_t generation = 0;  // moves with every seek: events of an earlier one are dropped
    Ref<NSRunLoop> loop;           // the playback thread's loop, to wake it

    // The sound track's voice on the output (made by the playback thread when the movie has sound).
    // While audioClock is set the timeline is the sound played: the position is audioBase plus what
    // the voice has played since playedAtBase, and the picture follows it.
    std::unique_ptr<AudioTrack> track;
    bool audioClock = false;
    double audioBase = 0;
    std::uint64_t playedAtBase = 0;

    std::atomic<bool> interrupt{false};
    // Set by the playback thread as its last act (guarded by mutex).
    bool finished = false;
    std::condition_variable finishedChanged;
    // Main thread only.
    bool closed = false;
    std::uint64_t frameHandedAtMixed = 0;
    MoviePlaybackListener listener;

    double positionLocked() const
    {
        double position = anchorPosition;
        if (playing && audioClock && track) {
            position = audioBase + double(track->playedFrames() - playedAtBase) / AudioOutput::kSampleRate;
        } else if (playing) {
            position += Clock::now() - anchorClock;
        }
        if (duration > 0) {
            position = std::min(position, duration);
        }
        return std::max(0.0, position);
    }

    // Under mutex: the sound stops at once and what was queued of it is dropped; the timeline's
    // sound restarts at `position`.
    void silenceLocked(double position)
    {
        if (track) {
            track->setPaused(true);
            track->clear();
            playedAtBase = track->playedFrames();
        }
        audioBase = position;
    }

    void wake()
    {
        Ref<NSRunLoop> target;
        {
            std::lock_guard lock(mutex);
            target = loop;
        }
        if (target) {
            target->performBlock([] {});
        }
    }
};

namespace {
namespace MoviePlayback_cpp {

constexpr double kNever = std::numeric_limits<double>::infinity();

// Runs fn on the main thread unless the playback was closed or sought since the event was made.
void deliver(const std::weak_ptr<MoviePlayback::Shared>& weak, std::uint64_t generation,
             std::function<void(MoviePlayback::Shared&)> fn)
{
    dispatch_async(dispatch_get_main_queue(), [weak, generation, fn = std::move(fn)] {
        auto shared = weak.lock();
        if (!shared || shared->closed) {
            return;
        }
        {
            std::lock_guard lock(shared->mutex);
            if (shared->generation != generation) {
                return;
            }
        }
        fn(*shared);
    });
}

// The largest picture a movie may have, as for still pictures: a frame and the one made from it for
// showing would otherwise take gigabytes for a stream that declares an absurd size.
constexpr int64_t kMaxFramePixels = int64_t(1) << 25;

bool frameTooLarge(int64_t width, int64_t height) { return width * height > kMaxFramePixels; }

// What FFmpeg may open for a location: local files only as files (a name such as "pipe:0" would
// otherwise read standard input), network movies only over HTTP(S) and what that stands on.
constexpr const char* kLocalProtocols = "file";
constexpr const char* kNetworkProtocols = "http,https,tcp,tls";

bool isNetworkLocation(const std::string& location)
{
    return location.rfind("http://", 0) == 0 || location.rfind("https://", 0) == 0;
}

int interruptCallback(void* opaque)
{
    return static_cast<MoviePlayback::Shared*>(opaque)->interrupt.load() ? 1 : 0;
}

int streamRotation(const AVStream* stream)
{
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (matrix) {
        const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
        if (!std::isnan(angle)) {
            const int degrees = int(std::lround(angle / 90.0)) * 90 % 360;
            return degrees < 0 ? degrees + 360 : degrees;
        }
    }
    return 0;
}

// The decoding side, owned by the playback thread.
class Decoder {
public:
    explicit Decoder(MoviePlayback::Shared& shared) : shared_(shared) {}
    ~Decoder()
    {
        swr_free(&resampler_);
        for (AVPacket* held : videoPackets_) {
            av_packet_free(&held);
        }
        sws_freeContext(scaler_);
        av_packet_free(&packet_);
        av_frame_free(&scratch_);
        avcodec_free_context(&video_);
        avcodec_free_context(&audio_);
        if (format_) {
            avformat_close_input(&format_);
        }
    }

    // Opens the movie and its decoders; an empty text on success, else the reason.
    std::string open()
    {
        std::string location = shared_.location;
        const bool network = isNetworkLocation(location);
        if (location.rfind("file://", 0) == 0) {
            location = location.substr(7);
        }
        if (!network) {
            location = "file:" + location;  // a path is a path, whatever it starts with
        }
        format_ = avformat_alloc_context();
        if (!format_) {
            return "out of memory";
        }
        format_->interrupt_callback.callback = interruptCallback;
        format_->interrupt_callback.opaque = &shared_;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "rw_timeout", "15000000", 0);  // network reads give up after 15 s
        av_dict_set(&options, "protocol_whitelist", network ? kNetworkProtocols : kLocalProtocols, 0);
        const int opened = avformat_open_input(&format_, location.c_str(), nullptr, &options);
        av_dict_free(&options);
        if (opened < 0) {
            format_ = nullptr;  // freed by the failed open
            return "cannot open " + shared_.location;
        }
        if (avformat_find_stream_info(format_, nullptr) < 0) {
            return "not a movie: " + shared_.location;
        }
        videoIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        audioIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (videoIndex_ < 0 && audioIndex_ < 0) {
            return "no video or sound in " + shared_.location;
        }
        if (videoIndex_ >= 0) {
            const AVCodecParameters* parameters = format_->streams[videoIndex_]->codecpar;
            if (frameTooLarge(parameters->width, parameters->height)) {
                return "unplayable: the picture is too large";
            }
        }
        if (videoIndex_ >= 0 && !openDecoder(videoIndex_, &video_)) {
            return "the video cannot be decoded";
        }
        if (audioIndex_ >= 0 && !openDecoder(audioIndex_, &audio_)) {
            audioIndex_ = -1;  // a movie whose sound cannot be decoded still shows its picture
        }
        packet_ = av_packet_alloc();
        scratch_ = av_frame_alloc();
        if (!packet_ || !scratch_) {
            return "out of memory";
        }
        if (videoIndex_ >= 0) {
            rotation_ = streamRotation(format_->streams[videoIndex_]);
        }
        return {};
    }

    double duration() const
    {
        if (format_->duration > 0) {
            return double(format_->duration) / AV_TIME_BASE;
        }
        double longest = 0;
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            const AVStream* stream = format_->streams[i];
            if (stream->duration > 0) {
                longest = std::max(longest, double(stream->duration) * av_q2d(stream->time_base));
            }
        }
        return longest;
    }

    CGSize size() const
    {
        if (videoIndex_ < 0) {
            return {0, 0};
        }
        const AVCodecParameters* parameters = format_->streams[videoIndex_]->codecpar;
        if (rotation_ == 90 || rotation_ == 270) {
            return {CGFloat(parameters->height), CGFloat(parameters->width)};
        }
        return {CGFloat(parameters->width), CGFloat(parameters->height)};
    }

    bool hasSound() const { return audioIndex_ >= 0; }
    bool soundEnded() const { return audioIndex_ < 0 || readEnded_; }
    size_t heldVideoPackets() const { return videoPackets_.size(); }
    // Decoded sound goes here: samples in the output's format and the movie time of the first one.
    void setSoundOut(std::function<void(std::vector<float>, double)> out) { soundOut_ = std::move(out); }

    // Reads one packet ahead: sound is decoded and sent out, a video packet is kept for the picture.
    // False at the end of the file.
    bool readAhead()
    {
        if (readEnded_) {
            return false;
        }
        if (av_read_frame(format_, packet_) < 0) {
            readEnded_ = true;
            return false;
        }
        if (packet_->stream_index == videoIndex_) {
            videoPackets_.push_back(av_packet_clone(packet_));
        } else if (packet_->stream_index == audioIndex_) {
            decodeSound(packet_);
        }
        av_packet_unref(packet_);
        return true;
    }

    // The next video frame into `frame` with its time in seconds from the movie's start; false at the
    // end. Sound packets met on the way are decoded and sent out.
    bool nextVideoFrame(AVFrame* frame, double& time)
    {
        if (videoIndex_ < 0) {
            return false;
        }
        for (;;) {
            const int received = avcodec_receive_frame(video_, frame);
            if (received >= 0) {
                time = frameTime(frame);
                return true;
            }
            if (received == AVERROR_EOF) {
                return false;
            }
            if (draining_) {
                return false;
            }
            if (!videoPackets_.empty()) {
                AVPacket* held = videoPackets_.front();
                videoPackets_.pop_front();
                avcodec_send_packet(video_, held);
                av_packet_free(&held);
                continue;
            }
            if (readEnded_ || av_read_frame(format_, packet_) < 0) {
                readEnded_ = true;
                draining_ = true;
                avcodec_send_packet(video_, nullptr);
                continue;
            }
            if (packet_->stream_index == videoIndex_) {
                avcodec_send_packet(video_, packet_);
            } else if (packet_->stream_index == audioIndex_) {
                decodeSound(packet_);
            }
            av_packet_unref(packet_);
        }
    }

    // Moves to `seconds`: the next frames are the ones from the key frame at or before it.
    void seek(double seconds)
    {
        const int64_t start = format_->start_time != AV_NOPTS_VALUE ? format_->start_time : 0;
        const int64_t target = start + int64_t(std::llround(seconds * AV_TIME_BASE));
        if (av_seek_frame(format_, -1, target, AVSEEK_FLAG_BACKWARD) < 0) {
            av_seek_frame(format_, -1, start, AVSEEK_FLAG_BACKWARD);
        }
        if (video_) {
            avcodec_flush_buffers(video_);
        }
        if (audio_) {
            avcodec_flush_buffers(audio_);
        }
        for (AVPacket* held : videoPackets_) {
            av_packet_free(&held);
        }
        videoPackets_.clear();
        swr_free(&resampler_);
        draining_ = false;
        readEnded_ = false;
        soundFrom_ = seconds;
    }

    // The frame as an image, turned as the movie asks to be shown.
    CGImageRef image(const AVFrame* frame)
    {
        const int width = frame->width;
        const int height = frame->height;
        if (width <= 0 || height <= 0 || frameTooLarge(width, height)) {
            return nullptr;
        }
        scaler_ = sws_getCachedContext(scaler_, width, height, AVPixelFormat(frame->format), width, height,
                                       AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scaler_) {
            return nullptr;
        }
        // Premultiplied ARGB words, little-endian B, G, R, A (video is opaque).
        std::vector<uint32_t> pixels(size_t(width) * size_t(height));
        uint8_t* destination[4] = {reinterpret_cast<uint8_t*>(pixels.data()), nullptr, nullptr, nullptr};
        int stride[4] = {width * 4, 0, 0, 0};
        sws_scale(scaler_, frame->data, frame->linesize, 0, height, destination, stride);
        size_t w = size_t(width);
        size_t h = size_t(height);
        if (rotation_ != 0) {
            std::vector<uint32_t> turned(pixels.size());
            for (size_t y = 0; y < h; ++y) {
                for (size_t x = 0; x < w; ++x) {
                    const uint32_t p = pixels[y * w + x];
                    if (rotation_ == 90) {
                        turned[x * h + (h - 1 - y)] = p;
                    } else if (rotation_ == 180) {
                        turned[(h - 1 - y) * w + (w - 1 - x)] = p;
                    } else {
                        turned[(w - 1 - x) * h + y] = p;
                    }
                }
            }
            pixels = std::move(turned);
            if (rotation_ != 180) {
                std::swap(w, h);
            }
        }
        return CGImage::create(w, h, std::move(pixels));
    }

private:
    bool openDecoder(int index, AVCodecContext** context)
    {
        const AVStream* stream = format_->streams[index];
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec) {
            return false;
        }
        *context = avcodec_alloc_context3(codec);
        if (*context) {
            (*context)->max_pixels = kMaxFramePixels;  // a stream that grows mid-way is refused too
        }
        return *context && avcodec_parameters_to_context(*context, stream->codecpar) >= 0 &&
               avcodec_open2(*context, codec, nullptr) >= 0;
    }

    double frameTime(const AVFrame* frame) const
    {
        const AVStream* stream = format_->streams[videoIndex_];
        int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
        if (pts == AV_NOPTS_VALUE) {
            pts = 0;
        }
        const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        return std::max(0.0, double(pts - start) * av_q2d(stream->time_base));
    }

    // Decodes a sound packet and sends its samples out in the output's format, from the time sound was
    // asked from on (after a seek, what lies before the target is cut).
    void decodeSound(const AVPacket* packet)
    {
        if (!audio_ || avcodec_send_packet(audio_, packet) < 0) {
            return;
        }
        const AVStream* stream = format_->streams[audioIndex_];
        const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        while (avcodec_receive_frame(audio_, scratch_) >= 0) {
            if (soundOut_ && scratch_->nb_samples > 0 && scratch_->sample_rate > 0 && ensureResampler(scratch_)) {
                const int room = swr_get_out_samples(resampler_, scratch_->nb_samples);
                std::vector<float> samples(size_t(std::max(0, room)) * AudioOutput::kChannels);
                uint8_t* to = reinterpret_cast<uint8_t*>(samples.data());
                const int got = swr_convert(resampler_, &to, room,
                                            const_cast<const uint8_t**>(scratch_->extended_data), scratch_->nb_samples);
                samples.resize(size_t(std::max(0, got)) * AudioOutput::kChannels);
                int64_t pts = scratch_->best_effort_timestamp != AV_NOPTS_VALUE ? scratch_->best_effort_timestamp
                                                                                  : scratch_->pts;
                double time = pts != AV_NOPTS_VALUE ? double(pts - start) * av_q2d(stream->time_base) : soundNext_;
                // The resampler's delay: what comes out now began a little earlier.
                time -= double(swr_get_delay(resampler_, AudioOutput::kSampleRate)) / AudioOutput::kSampleRate;
                if (time < soundFrom_) {
                    const auto cut = size_t(std::lround((soundFrom_ - time) * AudioOutput::kSampleRate));
                    const size_t frames = samples.size() / AudioOutput::kChannels;
                    samples.erase(samples.begin(), samples.begin() + long(std::min(cut, frames) * AudioOutput::kChannels));
                    time = soundFrom_;
                }
                soundNext_ = time + double(samples.size() / AudioOutput::kChannels) / AudioOutput::kSampleRate;
                if (!samples.empty()) {
                    soundOut_(std::move(samples), time);
                }
            }
            av_frame_unref(scratch_);
        }
    }

    bool ensureResampler(const AVFrame* frame)
    {
        if (resampler_) {
            return true;
        }
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        AVChannelLayout in;
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0) {
            av_channel_layout_default(&in, std::max(1, frame->ch_layout.nb_channels));
        } else {
            av_channel_layout_copy(&in, &frame->ch_layout);
        }
        const int made = swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_FLT, AudioOutput::kSampleRate, &in,
                                             AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (made < 0 || swr_init(resampler_) < 0) {
            swr_free(&resampler_);
            return false;
        }
        return true;
    }

    MoviePlayback::Shared& shared_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* scratch_ = nullptr;
    SwsContext* scaler_ = nullptr;
    SwrContext* resampler_ = nullptr;
    std::deque<AVPacket*> videoPackets_;  // read ahead for the sound, not decoded yet
    std::function<void(std::vector<float>, double)> soundOut_;
    double soundFrom_ = 0;  // sound before this time is not sent out
    double soundNext_ = 0;
    bool readEnded_ = false;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    int rotation_ = 0;
    bool draining_ = false;
};

// The playback thread: opens, then shows each frame when the timeline reaches it, answering the main
// thread's requests (play, pause, seek, stop) between frames.
void run(const std::shared_ptr<MoviePlayback::Shared>& shared)
{
    const std::weak_ptr<MoviePlayback::Shared> weak = shared;
    auto loop = NSRunLoop::currentRunLoop();
    loop->setAlwaysHasSources(true);
    {
        std::lock_guard lock(shared->mutex);
        if (shared->stopping) {
            return;
        }
        shared->loop = loop;
    }
    // Waits until the clock reaches `due` or the main thread asks for something.
    auto waitUntil = [&](double due) { loop->runMode(kCFRunLoopDefaultMode, due); };

    Decoder decoder(*shared);
    const std::string failure = decoder.open();
    if (!failure.empty()) {
        std::uint64_t generation;
        {
            std::lock_guard lock(shared->mutex);
            generation = shared->generation;
        }
        deliver(weak, generation, [failure](MoviePlayback::Shared& s) {
            if (s.listener.failed) {
                s.listener.failed(failure);
            }
        });
        std::unique_lock lock(shared->mutex);
        while (!shared->stopping) {
            lock.unlock();
            waitUntil(kNever);
            lock.lock();
        }
        return;
    }

    AVFrame* frame = av_frame_alloc();
    bool pending = false;      // `frame` holds a decoded frame not shown yet
    double pendingTime = 0;
    bool endOfMovie = false;
    bool showAtOnce = true;    // the next frame is shown whatever the timeline says (opening, seeking)
    bool announced = false;    // ready was sent
    double skipBefore = -1;    // after a seek, frames before the target are decoded and not shown
    const double duration = decoder.duration();
    const CGSize size = decoder.size();
    const bool hasSound = decoder.hasSound();
    {
        std::lock_guard lock(shared->mutex);
        shared->duration = duration;
        shared->size = size;
    }
    if (hasSound) {
        auto track = AudioTrack::create();
        std::lock_guard lock(shared->mutex);
        track->setPaused(!shared->playing);
        shared->track = std::move(track);
        // Under a manual clock the picture keeps to the clock: a test steps it frame by frame.
        shared->audioClock = !Clock::isManual();
        shared->audioBase = 0;
        shared->playedAtBase = 0;
        decoder.setSoundOut([&shared](std::vector<float> samples, double time) {
            std::lock_guard lock(shared->mutex);
            if (!shared->track || shared->stopping) {
                return;
            }
            if (shared->track->queuedFrames() == 0 && shared->track->playedFrames() == shared->playedAtBase) {
                shared->audioBase = time;  // the first sound since the start or a seek sets the timeline
            }
            shared->track->append(std::move(samples));
        });
    }
    // How far the sound is decoded ahead of what plays, and how many video packets may wait meanwhile.
    constexpr double kSoundAhead = 0.3;
    constexpr size_t kMostHeldPackets = 512;
    // How often the timeline is read while it follows the sound.
    constexpr double kSoundPoll = 0.005;

    auto announce = [&](std::uint64_t generation) {
        if (announced) {
            return;
        }
        announced = true;
        {
            std::lock_guard lock(shared->mutex);
            shared->ready = true;
            // A play asked for while the movie was opening starts from here.
            shared->anchorClock = Clock::now();
        }
        deliver(weak, generation, [duration, size](MoviePlayback::Shared& s) {
            if (s.listener.ready) {
                s.listener.ready(duration, size);
            }
        });
    };

    for (;;) {
        std::optional<double> seekTo;
        std::uint64_t generation;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->stopping) {
                break;
            }
            seekTo = shared->seekTo;
            shared->seekTo.reset();
            generation = shared->generation;
        }
        if (seekTo) {
            decoder.seek(*seekTo);
            av_frame_unref(frame);
            pending = false;
            endOfMovie = false;
            showAtOnce = true;
            skipBefore = *seekTo;
            if (hasSound) {
                // What was decoded before the seek is dropped; the sound starts again from the target.
                std::lock_guard lock(shared->mutex);
                shared->silenceLocked(*seekTo);
                shared->track->setPaused(!shared->playing);
                shared->audioClock = !Clock::isManual();
            }
            continue;
        }
        if (hasSound) {
            bool wantSound = false;
            {
                std::lock_guard lock(shared->mutex);
                if (shared->audioClock && shared->playing && decoder.soundEnded() &&
                    shared->track->queuedFrames() == 0) {
                    // The sound has played out: the picture carries on by the clock from here.
                    shared->anchorPosition = shared->positionLocked();
                    shared->anchorClock = Clock::now();
                    shared->audioClock = false;
                }
                wantSound = !decoder.soundEnded() &&
                            shared->track->queuedFrames() < uint64_t(kSoundAhead * AudioOutput::kSampleRate);
            }
            if (wantSound && decoder.heldVideoPackets() < kMostHeldPackets && decoder.readAhead()) {
                continue;
            }
        }
        if (!pending && !endOfMovie) {
            if (decoder.nextVideoFrame(frame, pendingTime)) {
                pending = true;
                // Frames before a seek's target only feed the decoder; half a frame of slack keeps the
                // frame the target falls in.
                if (skipBefore >= 0 && pendingTime < skipBefore - 0.02) {
                    av_frame_unref(frame);
                    pending = false;
                    continue;
                }
            } else {
                endOfMovie = true;
                announce(generation);  // a movie without a picture is ready once read through
            }
            continue;
        }
        if (pending) {
            double due;
            {
                std::lock_guard lock(shared->mutex);
                if (showAtOnce) {
                    due = Clock::now();
                } else if (shared->playing && shared->audioClock) {
                    const double ahead = pendingTime - shared->positionLocked();
                    due = ahead <= 0 ? Clock::now() : Clock::now() + std::min(ahead, kSoundPoll);
                } else if (shared->playing) {
                    due = shared->anchorClock + (pendingTime - shared->anchorPosition);
                } else {
                    due = kNever;
                }
            }
            if (Clock::now() < due) {
                waitUntil(due);
                continue;
            }
            CGImageRef image = decoder.image(frame);
            const double time = pendingTime;
            av_frame_unref(frame);
            pending = false;
            showAtOnce = false;
            skipBefore = -1;
            if (image) {
                const std::uint64_t mixed = AudioOutput::framesMixed();
                deliver(weak, generation, [image, time, mixed](MoviePlayback::Shared& s) {
                    s.frameHandedAtMixed = mixed;
                    if (s.listener.frame) {
                        s.listener.frame(image, time);
                    }
                });
            }
            announce(generation);
            continue;
        }
        // Everything was shown: the end comes when the timeline reaches the movie's length.
        double due = kNever;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->playing && !shared->ended && shared->audioClock) {
                const double ahead = duration - shared->positionLocked();
                due = ahead <= 0 ? Clock::now() : Clock::now() + std::min(ahead, kSoundPoll);
            } else if (shared->playing && !shared->ended) {
                due = shared->anchorClock + (duration - shared->anchorPosition);
            }
        }
        if (due == kNever || Clock::now() < due) {
            waitUntil(due);
            continue;
        }
        {
            std::lock_guard lock(shared->mutex);
            shared->ended = true;
            shared->playing = false;
            shared->anchorPosition = duration;
            if (shared->track) {
                shared->track->setPaused(true);
            }
        }
        deliver(weak, generation, [](MoviePlayback::Shared& s) {
            if (s.listener.ended) {
                s.listener.ended();
            }
        });
    }
    av_frame_free(&frame);
    std::unique_ptr<AudioTrack> track;
    {
        std::lock_guard lock(shared->mutex);
        track = std::move(shared->track);
    }
}

}  // namespace MoviePlayback_cpp
}  // namespace

MoviePlayback::MoviePlayback() : shared_(std::make_shared<Shared>()) {}

std::shared_ptr<MoviePlayback> MoviePlayback::open(const std::string& location, MoviePlaybackListener listener)
{
    auto playback = std::make_shared<MoviePlayback>();
    playback->shared_->location = location;
    playback->shared_->listener = std::move(listener);
    auto shared = playback->shared_;
    playback->thread_ = std::thread([shared] {
        MoviePlayback_cpp::run(shared);
        std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->finishedChanged.notify_all();
    });
    return playback;
}

MoviePlayback::~MoviePlayback() { close(); }

void MoviePlayback::play()
{
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->playing || shared_->ended) {
            return;
        }
        shared_->playing = true;
        shared_->anchorClock = Clock::now();
        if (shared_->track) {
            shared_->track->setPaused(false);
        }
    }
    shared_->wake();
}

void MoviePlayback::pause()
{
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->playing) {
            return;
        }
        shared_->anchorPosition = shared_->positionLocked();
        shared_->playing = false;
        if (shared_->track) {
            shared_->track->setPaused(true);  // silent from the output's next block
        }
    }
    shared_->wake();
}

void MoviePlayback::seek(double seconds)
{
    {
        std::lock_guard lock(shared_->mutex);
        if (!std::isfinite(seconds) || seconds < 0) {
            seconds = 0;
        }
        if (shared_->duration > 0) {
            seconds = std::min(seconds, shared_->duration);
        }
        shared_->anchorPosition = seconds;
        shared_->anchorClock = Clock::now();
        shared_->silenceLocked(seconds);
        shared_->seekTo = seconds;
        shared_->ended = false;
        ++shared_->generation;
    }
    shared_->wake();
}

void MoviePlayback::close()
{
    if (shared_->closed) {
        return;
    }
    shared_->closed = true;
    shared_->listener = {};
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->playing = false;
        shared_->silenceLocked(0);
    }
    shared_->interrupt = true;
    shared_->wake();
    if (!thread_.joinable()) {
        return;
    }
    // The thread normally ends within a packet read. One stuck in a read that does not heed the
    // interrupt must not freeze the interface: it is left to end by itself, holding its own state.
    bool finished;
    {
        std::unique_lock lock(shared_->mutex);
        finished = shared_->finishedChanged.wait_for(lock, std::chrono::milliseconds(250),
                                                      [&] { return shared_->finished; });
    }
    if (finished) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

bool MoviePlayback::isPlaying() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->playing;
}

bool MoviePlayback::isReady() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->ready;
}

bool MoviePlayback::hasEnded() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->ended;
}

double MoviePlayback::currentTime() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->positionLocked();
}

double MoviePlayback::duration() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->duration;
}

std::uint64_t MoviePlayback::outputFramesWhenFrameWasHanded() const { return shared_->frameHandedAtMixed; }

CGSize MoviePlayback::naturalSize() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->size;
}
