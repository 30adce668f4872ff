#pragma once
// The process's sound output: one device for everything that sounds (audio queues, system sounds, the
// movie players' sound tracks), opened on first use and mixing every track that plays.
//
// The device is SDL's audio output (SDL_AUDIODRIVER picks the driver: "dummy" plays nothing at the
// pace of a device, "disk" writes the samples to SDL_DISKAUDIOFILE). Where no device can be opened -
// no sound server, no card - the output runs on a clock of its own at a device's pace and the mix goes
// nowhere, so everything that waits on sound being played times exactly as with a device. A device
// that goes away while playing leaves SDL calling for samples at the same pace: nothing stops.
//
// Samples reach the output already in its format: 32-bit floats, two channels interleaved, at
// kSampleRate. Each track converts what it plays (the audio queue with SDL's converter, decoded sound
// with the resampler it was decoded with).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace AudioOutput {

inline constexpr int kSampleRate = 48000;
inline constexpr int kChannels = 2;
// Frames mixed at a time: the most a change (pause, stop, a cleared track) waits to be heard.
inline constexpr int kBlockFrames = 1024;

// Opens the output unless it is open. True when a device of SDL's is playing the mix.
bool open();
// Frames mixed since the output was opened (0 while it is closed). With the disk driver the file holds
// exactly these after the frames SDL wrote before the first mix.
uint64_t framesMixed();
// The opened driver's name ("disk", "dummy", "pulseaudio", ...), empty without a device.
const char* driverName();

// --- For tests ---
// Closes the output; SDL finishes writing what it has mixed. The next use opens it again under the
// environment of then (another driver, another file). Tracks stay and play on the next output.
void closeForTesting();

}  // namespace AudioOutput

// One voice of the output: pieces of samples played in order, each reported when its last frame has
// been mixed. Any thread may use a track. A track plays from when it is made until it is destroyed.
class AudioTrack {
public:
    using Samples = std::shared_ptr<const std::vector<float>>;

    // A playing (not paused) track of the output; the output is asked to open (not waited for).
    static std::unique_ptr<AudioTrack> create();
    // A track that converts what it plays with SDL's converter: samples are appended as floats of
    // `channels` (1, 2, 4, 6 or 8) interleaved at `rate` (appendSource). Null when SDL cannot convert.
    // The converter looks ahead a little: it is flushed when the track runs dry, so the end of the
    // last piece plays too, and a piece is reported once the output has played as far as its end.
    static std::unique_ptr<AudioTrack> createConverting(int channels, double rate);
    // Leaves the output: silent from the next block; no report is made once this has returned.
    ~AudioTrack();
    AudioTrack(const AudioTrack&) = delete;
    AudioTrack& operator=(const AudioTrack&) = delete;

    // Appends samples[begin, end) (frames, in the output's format); `tag` is reported when they were
    // mixed (0: no report). An empty piece is reported as soon as the pieces before it are.
    void append(Samples samples, size_t beginFrame, size_t endFrame, uint64_t tag = 0);
    void append(std::vector<float> samples, uint64_t tag = 0);
    // Converting tracks: `frames` frames of the source format.
    void appendSource(const float* samples, size_t frames, uint64_t tag = 0);
    // Drops every piece not mixed yet (without reports).
    void clear();
    void setPaused(bool paused);
    bool paused() const;
    // 0 to 1.
    void setVolume(float volume);

    // Frames of this track mixed since it was made.
    uint64_t playedFrames() const;
    // Frames appended and not mixed yet.
    uint64_t queuedFrames() const;

    // Called on the output's thread with the tag of each piece mixed through, outside the output's
    // locks. Set it before appending.
    void setOnPlayed(std::function<void(uint64_t tag)> onPlayed);

    struct State;

private:
    AudioTrack() = default;
    std::shared_ptr<State> state_;
};
