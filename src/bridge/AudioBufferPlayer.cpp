#include "bridge/AudioBufferPlayer.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/foundation/CFRunLoop.h"
#include "platform/foundation/NSLog.h"

namespace {

// The session's interruption listener reaches every live player. The session is initialised once per
// process and keeps its first listener, so the listener cannot carry a pointer to one player: that
// player may be gone by the time an interruption comes.
struct Players {
    std::mutex mutex;
    std::vector<Weak<AudioBufferPlayer>> live;
};

Players& players()
{
    static auto* instance = new Players;
    return *instance;
}

std::vector<Ref<AudioBufferPlayer>> livePlayers()
{
    Players& p = players();
    std::lock_guard hold(p.mutex);
    std::erase_if(p.live, [](const Weak<AudioBufferPlayer>& player) { return player.expired(); });
    std::vector<Ref<AudioBufferPlayer>> out;
    for (const Weak<AudioBufferPlayer>& weak : p.live) {
        if (auto player = weak.lock()) {
            out.push_back(std::move(player));
        }
    }
    return out;
}

}  // namespace

Ref<AudioBufferPlayer> AudioBufferPlayer::initWithSampleRate_channels_bitsPerChannel_packetsPerBuffer(
    double sampleRate, int channels, int bitsPerChannel, int packetsPerBuffer)
{
    auto player = std::make_shared<AudioBufferPlayer>();
    player->initWithSampleRate_channels_bitsPerChannel_packetsPerBufferBody(sampleRate, channels, bitsPerChannel,
                                                                          packetsPerBuffer);
    return player;
}

Ref<AudioBufferPlayer> AudioBufferPlayer::initWithSampleRate_channels_bitsPerChannel_secondsPerBuffer(
    double sampleRate, int channels, int bitsPerChannel, double secondsPerBuffer)
{
    return initWithSampleRate_channels_bitsPerChannel_packetsPerBuffer(
        sampleRate, channels, bitsPerChannel, static_cast<int>(secondsPerBuffer * sampleRate));
}

void AudioBufferPlayer::initWithSampleRate_channels_bitsPerChannel_packetsPerBufferBody(double sampleRate,
                                                                                        int channels,
                                                                                        int bitsPerChannel,
                                                                                        int packetsPerBuffer)
{
    audioFormat_.mFormatID = kAudioFormatLinearPCM;
    audioFormat_.mSampleRate = sampleRate;
    audioFormat_.mChannelsPerFrame = static_cast<uint32_t>(std::max(channels, 0));
    audioFormat_.mBitsPerChannel = static_cast<uint32_t>(std::max(bitsPerChannel, 0));
    audioFormat_.mFramesPerPacket = 1;
    audioFormat_.mBytesPerFrame = audioFormat_.mChannelsPerFrame * audioFormat_.mBitsPerChannel / 8;
    audioFormat_.mBytesPerPacket = audioFormat_.mBytesPerFrame;
    audioFormat_.mFormatFlags =
        kLinearPCMFormatFlagIsSignedInteger | kLinearPCMFormatFlagIsPacked | kAudioFormatFlagsNativeEndian;
    packetsPerBuffer_ = static_cast<uint32_t>(std::max(packetsPerBuffer, 0));
    bytesPerBuffer_ = packetsPerBuffer_ * audioFormat_.mBytesPerPacket;
    {
        Players& p = players();
        std::lock_guard hold(p.mutex);
        p.live.push_back(weakSelf<AudioBufferPlayer>());
    }
    setUpAudio();
}

AudioBufferPlayer::~AudioBufferPlayer()
{
    tearDownAudio();
}

void AudioBufferPlayer::start()
{
    if (playing_.load() || playQueue_ == nullptr) {
        return;
    }
    playing_.store(true);
    primePlayQueueBuffers();
    AudioQueueStart(playQueue_, nullptr);
}

void AudioBufferPlayer::stop()
{
    if (!playing_.load()) {
        return;
    }
    if (playQueue_ != nullptr) {
        AudioQueueStop(playQueue_, true);
    }
    playing_.store(false);
}

void AudioBufferPlayer::setGain(float gain)
{
    gain_ = gain;
    if (playQueue_ != nullptr) {
        AudioQueueSetParameter(playQueue_, kAudioQueueParam_Volume, gain_);
    }
}

void AudioBufferPlayer::setUpAudio()
{
    if (playQueue_ != nullptr) {
        return;
    }
    setUpAudioSession();
    setUpPlayQueue();
    setUpPlayQueueBuffers();
}

void AudioBufferPlayer::tearDownAudio()
{
    if (playQueue_ == nullptr) {
        return;
    }
    stop();
    tearDownPlayQueue();
    tearDownAudioSession();
}

void AudioBufferPlayer::setUpAudioSession()
{
    // Initialised once per process; later calls only set the category and activate it.
    AudioSessionInitialize(nullptr, "", &AudioBufferPlayer::interruptionListener, nullptr);
    const uint32_t category = kAudioSessionCategory_MediaPlayback;
    AudioSessionSetProperty(kAudioSessionProperty_AudioCategory, sizeof(category), &category);
    AudioSessionSetActive(true);
}

void AudioBufferPlayer::tearDownAudioSession()
{
    AudioSessionSetActive(false);
}

void AudioBufferPlayer::setUpPlayQueue()
{
    const OSStatus status = AudioQueueNewOutput(&audioFormat_, &AudioBufferPlayer::playCallback, this,
                                                CFRunLoopGetCurrent(), kCFRunLoopCommonModes, 0, &playQueue_);
    if (status != kAudioQueueNoError) {
        NSLog("AudioQueueNewOutput failed: %d", status);
        playQueue_ = nullptr;
        return;
    }
    setGain(1.0f);
}

void AudioBufferPlayer::setUpPlayQueueBuffers()
{
    if (playQueue_ == nullptr) {
        return;
    }
    for (AudioQueueBufferRef& buffer : playQueueBuffers_) {
        AudioQueueAllocateBuffer(playQueue_, bytesPerBuffer_, &buffer);
    }
}

void AudioBufferPlayer::primePlayQueueBuffers()
{
    for (AudioQueueBufferRef buffer : playQueueBuffers_) {
        if (buffer != nullptr) {
            playCallback(this, playQueue_, buffer);
        }
    }
}

void AudioBufferPlayer::tearDownPlayQueue()
{
    if (playQueue_ == nullptr) {
        return;
    }
    AudioQueueDispose(playQueue_, true);  // frees the buffers; no callback comes afterwards
    playQueue_ = nullptr;
    for (AudioQueueBufferRef& buffer : playQueueBuffers_) {
        buffer = nullptr;
    }
}

void AudioBufferPlayer::fill(AudioQueueBufferRef buffer)
{
    if (auto listener = delegate()) {
        listener->audioBufferPlayer_fillBuffer_format(this, buffer, audioFormat_);
        buffer->mAudioDataByteSize = std::min(buffer->mAudioDataByteSize, buffer->mAudioDataBytesCapacity);
    } else {
        // Nobody supplies sound: play silence rather than stale bytes.
        std::memset(buffer->mAudioData, 0, buffer->mAudioDataBytesCapacity);
        buffer->mAudioDataByteSize = buffer->mAudioDataBytesCapacity;
    }
}

void AudioBufferPlayer::playCallback(void* userData, AudioQueueRef queue, AudioQueueBufferRef buffer)
{
    auto* player = static_cast<AudioBufferPlayer*>(userData);
    if (!player->playing_.load()) {
        return;
    }
    player->fill(buffer);
    AudioQueueEnqueueBuffer(queue, buffer, 0, nullptr);
}

void AudioBufferPlayer::interruptionListener(void*, uint32_t interruptionState)
{
    for (const Ref<AudioBufferPlayer>& player : livePlayers()) {
        if (interruptionState == kAudioSessionBeginInterruption) {
            player->tearDownAudio();
        } else if (interruptionState == kAudioSessionEndInterruption) {
            player->setUpAudio();
            player->start();
        }
    }
}
