#pragma once
// AudioBufferPlayer: plays linear PCM that its delegate supplies buffer by buffer, through an output
// audio queue with three buffers (platform/media/AudioQueue.h).
//
// The queue hands its played buffers back on the run loop of the thread that set the audio up (common
// modes); each comes to the delegate to be filled again while the player is playing. start() fills the
// three buffers at once (three calls of the delegate on the calling thread) before starting the queue;
// stop() stops the queue at once, so no buffer is filled after it returns. An interruption of the audio
// session tears the audio of every player down, and its end sets it up again and starts playing.
//
// Use a player from one thread: the one that made it, whose run loop serves its buffers.
#include <atomic>
#include <cstdint>

#include "platform/foundation/NSObject.h"
#include "platform/media/AudioQueue.h"

class AudioBufferPlayer;

class AudioBufferPlayerDelegate {
public:
    virtual ~AudioBufferPlayerDelegate() = default;
    // Fill up to the buffer's capacity and set its mAudioDataByteSize to the bytes filled.
    virtual void audioBufferPlayer_fillBuffer_format(AudioBufferPlayer* audioBufferPlayer, AudioQueueBufferRef buffer,
                                                     const AudioStreamBasicDescription& audioFormat) = 0;
};

class AudioBufferPlayer : public NSObject {
public:
    static constexpr int kNumberOfBuffers = 3;

    static Ref<AudioBufferPlayer> initWithSampleRate_channels_bitsPerChannel_packetsPerBuffer(double sampleRate,
                                                                                             int channels,
                                                                                             int bitsPerChannel,
                                                                                             int packetsPerBuffer);
    // seconds * sample rate packets per buffer.
    static Ref<AudioBufferPlayer> initWithSampleRate_channels_bitsPerChannel_secondsPerBuffer(double sampleRate,
                                                                                             int channels,
                                                                                             int bitsPerChannel,
                                                                                             double secondsPerBuffer);
    ~AudioBufferPlayer() override;

    void start();
    void stop();

    bool playing() const { return playing_.load(); }
    bool isPlaying() const { return playing(); }
    float gain() const { return gain_; }
    // Also the queue's volume.
    void setGain(float gain);
    Ref<AudioBufferPlayerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<AudioBufferPlayerDelegate>& delegate) { delegate_ = delegate; }
    const AudioStreamBasicDescription& audioFormat() const { return audioFormat_; }
    uint32_t packetsPerBuffer() const { return packetsPerBuffer_; }
    uint32_t bytesPerBuffer() const { return bytesPerBuffer_; }
    // The queue while the audio is set up (null otherwise).
    AudioQueueRef playQueue() const { return playQueue_; }

    void setUpAudio();
    void tearDownAudio();
    void setUpAudioSession();
    void tearDownAudioSession();
    void setUpPlayQueue();
    void setUpPlayQueueBuffers();
    void primePlayQueueBuffers();
    void tearDownPlayQueue();

    AudioBufferPlayer() = default;

protected:
    void initWithSampleRate_channels_bitsPerChannel_packetsPerBufferBody(double sampleRate, int channels,
                                                                         int bitsPerChannel, int packetsPerBuffer);

private:
    static void playCallback(void* userData, AudioQueueRef queue, AudioQueueBufferRef buffer);
    static void interruptionListener(void* userData, uint32_t interruptionState);
    void fill(AudioQueueBufferRef buffer);

    std::atomic<bool> playing_{false};
    Weak<AudioBufferPlayerDelegate> delegate_;
    AudioQueueRef playQueue_ = nullptr;
    AudioQueueBufferRef playQueueBuffers_[kNumberOfBuffers] = {};
    float gain_ = 1.0f;
    AudioStreamBasicDescription audioFormat_;
    uint32_t packetsPerBuffer_ = 0;
    uint32_t bytesPerBuffer_ = 0;
};
