#include "platform/media/AudioOutput.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

struct AudioTrack::State : std::enable_shared_from_this<AudioTrack::State> {
    struct Piece {
        Samples samples;
        size_t position;  // next frame to mix
        size_t end;
        uint64_t tag;
    };
    // Guarded by the output's mix lock.
    std::deque<Piece> pieces;
    bool paused = false;
    float volume = 1.0f;
    uint64_t played = 0;
    uint64_t queued = 0;
    bool detached = false;
    std::function<void(uint64_t)> onPlayed;

    // Converting tracks only.
    SDL_AudioStream* converter = nullptr;
    int sourceChannels = 0;
    double sourceRate = 0;
    uint64_t sourceFrames = 0;     // appended since the last clear
    uint64_t convertedFrames = 0;  // mixed since the last clear
    bool flushed = false;
    std::deque<std::pair<uint64_t, uint64_t>> marks;  // (output frame where a piece ends, its tag)

    ~State()
    {
        if (converter != nullptr) {
            SDL_FreeAudioStream(converter);
        }
    }

    uint64_t outputFramesFor(uint64_t frames) const
    {
        return uint64_t(double(frames) * AudioOutput::kSampleRate / sourceRate);
    }
};

namespace {
namespace AudioOutput_cpp {

// The ALSA library, which SDL loads when it looks for a device, prints its own complaints to standard
// error ("Unknown PCM default" on a machine without sound). Having no device is a normal state here
// (headless runs, CI), so they are not shown: the library is loaded first and given a handler that
// drops them; SDL's own load then finds it with the handler in place. A machine without the library
// loses nothing.
void dropLibraryMessage(const char*, int, const char*, int, const char*, ...) {}

void quietSoundLibrary()
{
    static const bool done = [] {
        void* library = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            return false;
        }
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        using SetHandler = int (*)(Handler);
        auto set = reinterpret_cast<SetHandler>(::dlsym(library, "snd_lib_error_set_handler"));
        if (set) {
            set(dropLibraryMessage);
        }
        return true;  // never closed: the handler lives in the library for the process's life
    }();
    (void)done;
}

using State = AudioTrack::State;

class Output {
public:
    static Output& shared()
    {
        static auto* instance = new Output;  // the output thread runs until the process ends
        return *instance;
    }

    std::mutex mix;  // the tracks and their pieces
    std::vector<std::shared_ptr<State>> tracks;
    // Held while reports are made, so that a track leaving waits for a report in progress.
    std::recursive_mutex reporting;

    bool open()
    {
        bool result = false;
        onServiceThread([&] { result = openHere(); }, true);
        return result;
    }

    // Opens the output without waiting for it (a track plays once the output runs).
    // Takes no lock of the output's: callers may hold locks that the output's reports take.
    void openSoon()
    {
        if (openedFast_.load()) {
            return;
        }
        onServiceThread([this] { openHere(); }, false);
    }

    void close()
    {
        onServiceThread([&] { closeHere(); }, true);
    }

    bool openHere()
    {
        std::lock_guard hold(openLock_);
        if (opened_) {
            return device_ != 0;
        }
        opened_ = true;
        openedFast_ = true;
        mixed_ = 0;
        quietSoundLibrary();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            SDL_AudioSpec want{};
            want.freq = AudioOutput::kSampleRate;
            want.format = AUDIO_F32SYS;
            want.channels = AudioOutput::kChannels;
            want.samples = AudioOutput::kBlockFrames;
            want.callback = [](void*, Uint8* stream, int bytes) {
                Output::shared().mixInto(reinterpret_cast<float*>(stream),
                                         bytes / int(sizeof(float) * AudioOutput::kChannels));
            };
            SDL_AudioSpec have{};
            // No changes allowed: SDL converts to whatever the device wants behind the callback.
            device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
            if (device_ != 0) {
                const char* name = SDL_GetCurrentAudioDriver();
                driver_ = name ? name : "";
                SDL_PauseAudioDevice(device_, 0);
                return true;
            }
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
        // No device: the same mixing on a clock of our own, into nothing.
        quit_ = false;
        pacer_ = std::thread([this] { pace(); });
        return false;
    }

    void closeHere()
    {
        std::lock_guard hold(openLock_);
        if (!opened_) {
            return;
        }
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            device_ = 0;
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        } else {
            quit_ = true;
            pacer_.join();
        }
        driver_.clear();
        opened_ = false;
        openedFast_ = false;
    }

    uint64_t framesMixed() const { return mixed_.load(); }
    const char* driverName()
    {
        std::lock_guard hold(openLock_);
        return driver_.c_str();
    }

    void mixInto(float* out, int frames)
    {
        std::fill(out, out + size_t(frames) * AudioOutput::kChannels, 0.0f);
        std::vector<std::pair<std::shared_ptr<State>, uint64_t>> reports;
        {
            std::lock_guard hold(mix);
            for (const auto& track : tracks) {
                if (track->paused) {
                    continue;
                }
                if (track->converter != nullptr) {
                    mixConverted(*track, out, size_t(frames), reports);
                    continue;
                }
                size_t at = 0;
                const size_t wanted = size_t(frames);
                while (!track->pieces.empty()) {
                    State::Piece& piece = track->pieces.front();
                    const size_t n = std::min(wanted - at, piece.end - piece.position);
                    const float* from = piece.samples->data() + piece.position * AudioOutput::kChannels;
                    float* to = out + at * AudioOutput::kChannels;
                    for (size_t i = 0; i < n * AudioOutput::kChannels; ++i) {
                        to[i] += from[i] * track->volume;
                    }
                    piece.position += n;
                    at += n;
                    track->played += n;
                    track->queued -= n;
                    if (piece.position < piece.end) {
                        break;  // the block is full
                    }
                    if (piece.tag != 0) {
                        reports.emplace_back(track, piece.tag);
                    }
                    track->pieces.pop_front();
                    if (at == wanted) {
                        // Empty pieces right behind are reported with this block too.
                        while (!track->pieces.empty() &&
                               track->pieces.front().position == track->pieces.front().end) {
                            if (track->pieces.front().tag != 0) {
                                reports.emplace_back(track, track->pieces.front().tag);
                            }
                            track->pieces.pop_front();
                        }
                        break;
                    }
                }
            }
            mixed_ += uint64_t(frames);
        }
        for (size_t i = 0; i < size_t(frames) * AudioOutput::kChannels; ++i) {
            out[i] = std::clamp(out[i], -1.0f, 1.0f);
        }
        if (reports.empty()) {
            return;
        }
        std::lock_guard hold(reporting);
        for (const auto& [track, tag] : reports) {
            std::function<void(uint64_t)> onPlayed;
            {
                std::lock_guard mixHold(mix);
                if (track->detached) {
                    continue;
                }
                onPlayed = track->onPlayed;
            }
            if (onPlayed) {
                onPlayed(tag);
            }
        }
    }

private:
    // SDL keeps per-thread records (its error text) that a thread of ours leaves behind when it ends:
    // the device is opened and closed on one thread that lasts as long as the process. With `wait`
    // the call returns once fn has run there; without, at once.
    void onServiceThread(std::function<void()> fn, bool wait)
    {
        std::unique_lock hold(serviceLock_);
        if (!service_.joinable()) {
            service_ = std::thread([this] {
                std::unique_lock lock(serviceLock_);
                for (;;) {
                    serviceChanged_.wait(lock, [this] { return !serviceTasks_.empty(); });
                    std::function<void()> task = std::move(serviceTasks_.front());
                    serviceTasks_.pop_front();
                    lock.unlock();
                    task();
                    lock.lock();
                    ++serviceDone_;
                    serviceChanged_.notify_all();
                }
            });
        }
        serviceTasks_.push_back(std::move(fn));
        const uint64_t ticket = serviceDone_ + serviceTasks_.size();
        serviceChanged_.notify_all();
        if (wait) {
            serviceChanged_.wait(hold, [this, ticket] { return serviceDone_ >= ticket; });
        }
    }

    // Under the mix lock: a converting track's share of the block.
    static void mixConverted(State& track, float* out, size_t wanted,
                             std::vector<std::pair<std::shared_ptr<State>, uint64_t>>& reports)
    {
        thread_local std::vector<float> scratch;
        scratch.resize(wanted * AudioOutput::kChannels);
        size_t at = 0;
        while (at < wanted) {
            const int bytes = SDL_AudioStreamGet(track.converter, scratch.data() + at * AudioOutput::kChannels,
                                                 int((wanted - at) * AudioOutput::kChannels * sizeof(float)));
            const size_t got = bytes > 0 ? size_t(bytes) / (AudioOutput::kChannels * sizeof(float)) : 0;
            if (got == 0) {
                if (!track.flushed && track.sourceFrames > 0) {
                    // Dry: what the converter held back for its look-ahead comes out now.
                    SDL_AudioStreamFlush(track.converter);
                    track.flushed = true;
                    continue;
                }
                break;
            }
            at += got;
        }
        const uint64_t expected = track.outputFramesFor(track.sourceFrames);
        if (at < wanted && track.flushed && track.convertedFrames + at < expected) {
            // The converter gave less than the source lasts: the rest plays as silence, so that every
            // piece takes its whole time.
            const size_t pad = std::min(wanted - at, size_t(expected - (track.convertedFrames + at)));
            std::fill(scratch.begin() + long(at * AudioOutput::kChannels),
                      scratch.begin() + long((at + pad) * AudioOutput::kChannels), 0.0f);
            at += pad;
        }
        for (size_t i = 0; i < at * AudioOutput::kChannels; ++i) {
            out[i] += scratch[i] * track.volume;
        }
        track.played += at;
        track.convertedFrames += at;
        track.queued = track.queued > at ? track.queued - at : 0;
        const bool drained = track.flushed && SDL_AudioStreamAvailable(track.converter) == 0 &&
                             track.convertedFrames >= expected;
        while (!track.marks.empty() && (drained || track.marks.front().first <= track.convertedFrames)) {
            reports.emplace_back(track.shared_from_this(), track.marks.front().second);
            track.marks.pop_front();
        }
    }

    void pace()
    {
        using clock = std::chrono::steady_clock;
        const auto block = std::chrono::duration_cast<clock::duration>(
            std::chrono::duration<double>(double(AudioOutput::kBlockFrames) / AudioOutput::kSampleRate));
        std::vector<float> scratch(size_t(AudioOutput::kBlockFrames) * AudioOutput::kChannels);
        auto next = clock::now();
        while (!quit_.load()) {
            mixInto(scratch.data(), AudioOutput::kBlockFrames);
            next += block;
            const auto now = clock::now();
            if (now - next > 10 * block) {
                next = now;  // after a long stall, carry on at pace rather than catch up in a burst
            }
            std::this_thread::sleep_until(next);
        }
    }

    std::mutex serviceLock_;
    std::condition_variable serviceChanged_;
    std::deque<std::function<void()>> serviceTasks_;
    uint64_t serviceDone_ = 0;
    std::thread service_;
    std::mutex openLock_;
    bool opened_ = false;
    std::atomic<bool> openedFast_{false};  // opened_, read without the lock
    SDL_AudioDeviceID device_ = 0;
    std::string driver_;
    std::thread pacer_;
    std::atomic<bool> quit_{false};
    std::atomic<uint64_t> mixed_{0};
};

}  // namespace AudioOutput_cpp
}  // namespace

using AudioOutput_cpp::Output;

bool AudioOutput::open() { return Output::shared().open(); }

uint64_t AudioOutput::framesMixed() { return Output::shared().framesMixed(); }

const char* AudioOutput::driverName() { return Output::shared().driverName(); }

void AudioOutput::closeForTesting() { Output::shared().close(); }

std::unique_ptr<AudioTrack> AudioTrack::create()
{
    Output& output = Output::shared();
    output.openSoon();  // the first sound does not wait for the device
    std::unique_ptr<AudioTrack> track(new AudioTrack);
    track->state_ = std::make_shared<State>();
    std::lock_guard hold(output.mix);
    output.tracks.push_back(track->state_);
    return track;
}

std::unique_ptr<AudioTrack> AudioTrack::createConverting(int channels, double rate)
{
    SDL_AudioStream* converter = SDL_NewAudioStream(AUDIO_F32SYS, Uint8(channels), int(std::lround(rate)), AUDIO_F32SYS,
                                                    AudioOutput::kChannels, AudioOutput::kSampleRate);
    if (converter == nullptr) {
        return nullptr;
    }
    auto track = create();
    std::lock_guard hold(Output::shared().mix);
    track->state_->converter = converter;
    track->state_->sourceChannels = channels;
    track->state_->sourceRate = rate;
    return track;
}

void AudioTrack::appendSource(const float* samples, size_t frames, uint64_t tag)
{
    std::lock_guard hold(Output::shared().mix);
    State& s = *state_;
    if (s.converter == nullptr) {
        return;
    }
    if (frames > 0) {
        SDL_AudioStreamPut(s.converter, samples, int(frames * size_t(s.sourceChannels) * sizeof(float)));
        s.flushed = false;
    }
    s.sourceFrames += frames;
    s.queued += s.outputFramesFor(frames);
    if (tag != 0) {
        s.marks.emplace_back(s.outputFramesFor(s.sourceFrames), tag);
    }
}

AudioTrack::~AudioTrack()
{
    Output& output = Output::shared();
    {
        std::lock_guard hold(output.mix);
        state_->detached = true;
        state_->pieces.clear();
        output.tracks.erase(std::remove(output.tracks.begin(), output.tracks.end(), state_), output.tracks.end());
    }
    // A report already under way ends first (unless it is the one destroying the track).
    std::lock_guard wait(output.reporting);
}

void AudioTrack::append(Samples samples, size_t beginFrame, size_t endFrame, uint64_t tag)
{
    if (!samples) {
        samples = std::make_shared<const std::vector<float>>();
    }
    const size_t frames = samples->size() / AudioOutput::kChannels;
    endFrame = std::min(endFrame, frames);
    beginFrame = std::min(beginFrame, endFrame);
    std::lock_guard hold(Output::shared().mix);
    state_->pieces.push_back({std::move(samples), beginFrame, endFrame, tag});
    state_->queued += endFrame - beginFrame;
}

void AudioTrack::append(std::vector<float> samples, uint64_t tag)
{
    const size_t frames = samples.size() / AudioOutput::kChannels;
    append(std::make_shared<const std::vector<float>>(std::move(samples)), 0, frames, tag);
}

void AudioTrack::clear()
{
    std::lock_guard hold(Output::shared().mix);
    state_->pieces.clear();
    state_->queued = 0;
    if (state_->converter != nullptr) {
        SDL_AudioStreamClear(state_->converter);
        state_->marks.clear();
        state_->sourceFrames = 0;
        state_->convertedFrames = 0;
        state_->flushed = false;
    }
}

void AudioTrack::setPaused(bool paused)
{
    std::lock_guard hold(Output::shared().mix);
    state_->paused = paused;
}

bool AudioTrack::paused() const
{
    std::lock_guard hold(Output::shared().mix);
    return state_->paused;
}

void AudioTrack::setVolume(float volume)
{
    std::lock_guard hold(Output::shared().mix);
    state_->volume = std::clamp(volume, 0.0f, 1.0f);
}

uint64_t AudioTrack::playedFrames() const
{
    std::lock_guard hold(Output::shared().mix);
    return state_->played;
}

uint64_t AudioTrack::queuedFrames() const
{
    std::lock_guard hold(Output::shared().mix);
    return state_->queued;
}

void AudioTrack::setOnPlayed(std::function<void(uint64_t tag)> onPlayed)
{
    std::lock_guard hold(Output::shared().mix);
    state_->onPlayed = std::move(onPlayed);
}
