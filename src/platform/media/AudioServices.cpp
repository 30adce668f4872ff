#include "platform/media/AudioServices.h"

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/foundation/NSURL.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/LocalMediaFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

struct Sound {
    std::string path;
    AudioTrack::Samples samples;  // decoded once, in the output's format
};

struct SoundRegistry {
    std::mutex lock;
    SystemSoundID nextID = 4096;  // low ids belong to the system's own sounds
    std::map<SystemSoundID, Sound> sounds;
    std::map<SystemSoundID, uint64_t> plays;
    AudioServicesPlayHook hook;
    // Plays under way, each a voice of its own so that sounds mix; a voice goes when it has played.
    std::map<uint64_t, std::unique_ptr<AudioTrack>> voices;
    uint64_t nextVoice = 1;
};

// Lives for the whole process: sounds may be played from detached threads up to exit.
SoundRegistry& soundRegistry()
{
    static SoundRegistry* instance = new SoundRegistry;
    return *instance;
}

uint32_t readLE32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t readLE16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

// A WAV file this system can play: RIFF/WAVE with a well-formed "fmt " chunk (PCM or IEEE float, 1 or 2
// channels, a sample rate and sample size that make sense) and a "data" chunk that fits in the file.
OSStatus checkWaveFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return kAudioServicesSystemSoundUnspecifiedError;
    in.seekg(0, std::ios::end);
    const std::streamoff fileSize = in.tellg();
    in.seekg(0);
    if (fileSize < 12)
        return kAudioServicesUnsupportedPropertyError;
    unsigned char header[12];
    if (!in.read(reinterpret_cast<char*>(header), 12))
        return kAudioServicesSystemSoundUnspecifiedError;
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return kAudioServicesUnsupportedPropertyError;

    bool haveFormat = false;
    bool haveData = false;
    std::streamoff offset = 12;
    while (offset + 8 <= fileSize && !(haveFormat && haveData)) {
        unsigned char chunk[8];
        in.seekg(offset);
        if (!in.read(reinterpret_cast<char*>(chunk), 8))
            return kAudioServicesSystemSoundUnspecifiedError;
        const uint32_t size = readLE32(chunk + 4);
        const std::streamoff body = offset + 8;
        if (body + std::streamoff(size) > fileSize)
            return kAudioServicesUnsupportedPropertyError;  // a chunk running past the end
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16)
                return kAudioServicesUnsupportedPropertyError;
            unsigned char fmt[16];
            if (!in.read(reinterpret_cast<char*>(fmt), 16))
                return kAudioServicesSystemSoundUnspecifiedError;
            const uint16_t formatTag = readLE16(fmt);
            const uint16_t channels = readLE16(fmt + 2);
            const uint32_t sampleRate = readLE32(fmt + 4);
            const uint16_t blockAlign = readLE16(fmt + 12);
            const uint16_t bitsPerSample = readLE16(fmt + 14);
            const bool pcm = formatTag == 1 && (bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 ||
                                                bitsPerSample == 32);
            const bool floating = formatTag == 3 && (bitsPerSample == 32 || bitsPerSample == 64);
            const bool extensible = formatTag == 0xFFFE && bitsPerSample % 8 == 0 && bitsPerSample > 0;
            if (!(pcm || floating || extensible) || channels < 1 || channels > 8 || sampleRate < 1000 ||
                sampleRate > 384000 || blockAlign != channels * (bitsPerSample / 8))
                return kAudioServicesUnsupportedPropertyError;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return kAudioServicesUnsupportedPropertyError;  // samples before their format
            haveData = true;
        }
        offset = body + std::streamoff(size) + (size & 1);
    }
    return haveFormat && haveData ? kAudioServicesNoError : kAudioServicesUnsupportedPropertyError;
}

// A system sound is short; a long file is cut rather than held whole in memory.
constexpr double kMaxSoundSeconds = 30;

// The file's first sound track decoded into the output's format; null when the file holds no sound
// that decodes to at least one sample.
AudioTrack::Samples decodeSound(const std::string& path)
{
    AVFormatContext* format = nullptr;
    if (openLocalMediaFile(&format, path) < 0) {
        return nullptr;
    }
    std::vector<float> out;
    AVCodecContext* decoder = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool ok = false;
    uint64_t decodedFrames = 0;
    int decodedRate = 1;
    const size_t most = size_t(kMaxSoundSeconds * AudioOutput::kSampleRate) * AudioOutput::kChannels;

    // Converts and appends what the decoder has; false on a conversion error.
    auto drain = [&]() {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            decodedFrames += uint64_t(std::max(0, frame->nb_samples));
            decodedRate = std::max(1, frame->sample_rate);
            if (!resampler) {
                AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
                AVChannelLayout in;
                if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0) {
                    av_channel_layout_default(&in, std::max(1, frame->ch_layout.nb_channels));
                } else {
                    av_channel_layout_copy(&in, &frame->ch_layout);
                }
                const int made = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLT, AudioOutput::kSampleRate,
                                                     &in, AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
                av_channel_layout_uninit(&in);
                if (made < 0 || swr_init(resampler) < 0) {
                    return false;
                }
            }
            const int room = swr_get_out_samples(resampler, frame->nb_samples);
            if (room > 0) {
                const size_t at = out.size();
                out.resize(at + size_t(room) * AudioOutput::kChannels);
                uint8_t* to = reinterpret_cast<uint8_t*>(out.data() + at);
                const int got = swr_convert(resampler, &to, room, const_cast<const uint8_t**>(frame->extended_data),
                                            frame->nb_samples);
                out.resize(at + size_t(std::max(0, got)) * AudioOutput::kChannels);
            }
            av_frame_unref(frame);
            if (out.size() >= most) {
                break;
            }
        }
        return true;
    };

    if (packet && frame && avformat_find_stream_info(format, nullptr) >= 0) {
        const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        const AVCodec* codec = index >= 0 ? avcodec_find_decoder(format->streams[index]->codecpar->codec_id) : nullptr;
        if (codec && (decoder = avcodec_alloc_context3(codec)) &&
            avcodec_parameters_to_context(decoder, format->streams[index]->codecpar) >= 0 &&
            avcodec_open2(decoder, codec, nullptr) >= 0) {
            ok = true;
            while (ok && out.size() < most && av_read_frame(format, packet) >= 0) {
                if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) {
                    ok = drain();
                }
                av_packet_unref(packet);
            }
            if (ok && out.size() < most && avcodec_send_packet(decoder, nullptr) >= 0) {
                ok = drain();
            }
            // What the resampler still holds: a very short sound may be nothing but that.
            for (int got = 1; ok && resampler && got > 0 && out.size() < most;) {
                constexpr int kRoom = 4096;
                const size_t at = out.size();
                out.resize(at + size_t(kRoom) * AudioOutput::kChannels);
                uint8_t* to = reinterpret_cast<uint8_t*>(out.data() + at);
                got = swr_convert(resampler, &to, kRoom, nullptr, 0);
                out.resize(at + size_t(std::max(0, got)) * AudioOutput::kChannels);
            }
        }
    }
    swr_free(&resampler);
    avcodec_free_context(&decoder);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    out.resize(std::min(out.size(), most));
    if (ok && out.empty() && decodedFrames > 0) {
        // Fewer samples than the resampler's filter spans come out as nothing: a sound that short is
        // below hearing anyway, and plays as its length of silence.
        out.assign(size_t(double(decodedFrames) * AudioOutput::kSampleRate / decodedRate + 1) * AudioOutput::kChannels,
                   0.0f);
    }
    if (!ok || out.empty()) {
        return nullptr;
    }
    return std::make_shared<const std::vector<float>>(std::move(out));
}

bool looksLikeRiff(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    return in.read(head, 4) && std::memcmp(head, "RIFF", 4) == 0;
}

}  // namespace

OSStatus AudioServicesCreateSystemSoundID(const Ref<NSURL>& fileURL, SystemSoundID* outSystemSoundID)
{
    if (!fileURL || !fileURL->isFileURL() || !outSystemSoundID)
        return kAudioServicesSystemSoundUnspecifiedError;
    const std::string path = fileURL->path();
    {
        std::ifstream exists(path, std::ios::binary);
        if (!exists)
            return kAudioServicesSystemSoundUnspecifiedError;
    }
    // A WAV file is held to its layout (the decoder would forgive a damaged one); any sound file is
    // then decoded once, here, so that playing costs nothing.
    if (looksLikeRiff(path)) {
        const OSStatus status = checkWaveFile(path);
        if (status != kAudioServicesNoError)
            return status;
    }
    AudioTrack::Samples samples = decodeSound(path);
    if (!samples)
        return kAudioServicesUnsupportedPropertyError;
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    const SystemSoundID id = r.nextID++;
    r.sounds[id] = Sound{path, std::move(samples)};
    r.plays[id] = 0;
    *outSystemSoundID = id;
    return kAudioServicesNoError;
}

void AudioServicesPlaySystemSound(SystemSoundID soundID)
{
    auto& r = soundRegistry();
    AudioServicesPlayHook hook;
    std::string path;
    AudioTrack::Samples samples;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        auto found = r.sounds.find(soundID);
        if (found == r.sounds.end())
            return;
        path = found->second.path;
        samples = found->second.samples;
        ++r.plays[soundID];
        hook = r.hook;
    }
    // A voice of its own, mixed with whatever else plays; it goes once its last sample has played.
    auto voice = AudioTrack::create();
    AudioTrack* playing = voice.get();
    uint64_t key;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        key = r.nextVoice++;
        r.voices[key] = std::move(voice);
    }
    playing->setOnPlayed([key](uint64_t) {
        std::unique_ptr<AudioTrack> done;
        auto& registry = soundRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        auto found = registry.voices.find(key);
        if (found != registry.voices.end()) {
            done = std::move(found->second);
            registry.voices.erase(found);
        }
        // `done` leaves the output here, on the output's own thread, once the lock is given back.
    });
    const size_t frames = samples->size() / AudioOutput::kChannels;
    playing->append(std::move(samples), 0, frames, 1);
    if (hook)
        hook(soundID, path);
}

OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID soundID)
{
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.sounds.erase(soundID) ? kAudioServicesNoError : kAudioServicesBadSpecifierSizeError;
}

uint64_t AudioServicesPlayCount(SystemSoundID soundID)
{
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = r.plays.find(soundID);
    return found == r.plays.end() ? 0 : found->second;
}

bool AudioServicesIsRegistered(SystemSoundID soundID)
{
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.sounds.count(soundID) != 0;
}

void AudioServicesSetPlayHook(AudioServicesPlayHook hook)
{
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.hook = std::move(hook);
}
