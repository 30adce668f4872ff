#include "platform/media/AudioQueue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/NSRunLoop.h"
#include "platform/media/AudioOutput.h"

namespace {

enum class BufferState { Free, Queued };

struct BufferRecord {
    BufferRecord(uint32_t capacity, uint32_t index)
        : storage(capacity, 0), buffer{capacity, storage.data(), 0, nullptr}, index(index)
    {
    }
    std::vector<unsigned char> storage;
    AudioQueueBuffer buffer;
    const uint32_t index;
    BufferState state = BufferState::Free;
    uint64_t epoch = 0;  // the queue's epoch when it was enqueued
};

// A played buffer's report names the buffer and the epoch it was enqueued in.
uint64_t tagOf(uint64_t epoch, uint32_t index) { return (epoch << 24) | (uint64_t(index) + 1); }
uint64_t epochOf(uint64_t tag) { return tag >> 24; }
uint32_t indexOf(uint64_t tag) { return uint32_t(tag & 0xFFFFFF) - 1; }

// One sample of the client's linear PCM as a float in [-1, 1].
float sampleAt(const unsigned char* p, const AudioStreamBasicDescription& f)
{
    const uint32_t bytes = f.mBitsPerChannel / 8;
    const bool bigEndian = (f.mFormatFlags & kLinearPCMFormatFlagIsBigEndian) != 0;
    uint64_t raw = 0;
    for (uint32_t i = 0; i < bytes; ++i) {
        const uint32_t shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
        raw |= uint64_t(p[i]) << shift;
    }
    if ((f.mFormatFlags & kLinearPCMFormatFlagIsFloat) != 0) {
        if (bytes == 4) {
            float value;
            const auto word = uint32_t(raw);
            std::memcpy(&value, &word, 4);
            return std::isfinite(value) ? value : 0.0f;
        }
        double value;
        std::memcpy(&value, &raw, 8);
        return std::isfinite(value) ? float(value) : 0.0f;
    }
    const uint32_t bits = bytes * 8;
    if ((f.mFormatFlags & kLinearPCMFormatFlagIsSignedInteger) == 0) {
        // Unsigned samples (8-bit sound) sit around the middle of their range.
        return float((double(raw) - double(uint64_t(1) << (bits - 1))) / double(uint64_t(1) << (bits - 1)));
    }
    int64_t value = int64_t(raw << (64 - bits)) >> (64 - bits);  // sign-extended
    return float(double(value) / double(uint64_t(1) << (bits - 1)));
}

}  // namespace

struct OpaqueAudioQueue : std::enable_shared_from_this<OpaqueAudioQueue> {
    AudioStreamBasicDescription format;
    AudioQueueOutputCallback callback = nullptr;
    void* userData = nullptr;
    CFRunLoopRef loop;
    std::string mode;

    std::mutex mutex;  // guards everything below but the callback lock
    std::condition_variable changed;
    std::vector<std::unique_ptr<BufferRecord>> buffers;
    bool running = false;
    bool stopping = false;  // stopped without immediate: plays what is queued, then stops
    bool disposed = false;
    bool quit = false;
    uint64_t epoch = 1;  // changes on every immediate stop and on disposal: older hand-backs are dropped
    float volume = 1.0f;
    uint64_t played = 0;
    uint64_t playedFramesAtStart = 0;  // the output's frames of this queue when it last started from stop
    std::deque<BufferRecord*> handBacks;  // played buffers for the queue's own thread (no run loop)
    std::thread thread;

    // The queue's voice on the output (made on first use), converting from the queue's rate and
    // channels to the output's.
    std::unique_ptr<AudioTrack> track;
    bool converting = false;

    // Held while the client's callback runs, so that disposing waits for a callback in progress on
    // another thread; recursive, so that the callback itself may stop or dispose the queue.
    std::recursive_mutex callbackLock;

    BufferRecord* recordOf(AudioQueueBufferRef buffer)
    {
        for (const auto& record : buffers) {
            if (&record->buffer == buffer) {
                return record.get();
            }
        }
        return nullptr;
    }

    bool anyQueued() const
    {
        return std::any_of(buffers.begin(), buffers.end(),
                           [](const auto& record) { return record->state == BufferState::Queued; });
    }

    // SDL converts 1, 2, 4, 6 and 8 channels; other layouts keep their first two.
    int convertedChannels() const
    {
        const uint32_t channels = format.mChannelsPerFrame;
        return (channels == 3 || channels == 5 || channels == 7) ? 2 : int(channels);
    }

    // Under mutex: the voice, made on first use, paused until the queue runs.
    void ensureTrack()
    {
        if (track) {
            return;
        }
        track = AudioTrack::createConverting(convertedChannels(), format.mSampleRate);
        converting = track != nullptr;
        if (!converting) {
            track = AudioTrack::create();  // played as silence of the right length
        }
        track->setPaused(!running);
        track->setVolume(volume);
        std::weak_ptr<OpaqueAudioQueue> self = weak_from_this();
        track->setOnPlayed([self](uint64_t tag) {
            if (auto queue = self.lock()) {
                queue->bufferPlayed(tag);
            }
        });
    }

    // Under mutex: the buffer's samples to the voice, reported by the tag once played.
    void play(const AudioQueueBuffer& buffer, uint64_t tag)
    {
        const int channels = convertedChannels();
        const uint32_t frames = buffer.mAudioDataByteSize / format.mBytesPerFrame;
        if (!converting) {
            const auto length = uint64_t(double(frames) * AudioOutput::kSampleRate / format.mSampleRate);
            track->append(std::vector<float>(size_t(length) * AudioOutput::kChannels, 0.0f), tag);
            return;
        }
        const uint32_t sampleBytes = format.mBitsPerChannel / 8;
        std::vector<float> samples(size_t(frames) * size_t(channels));
        const auto* bytes = static_cast<const unsigned char*>(buffer.mAudioData);
        for (uint32_t frame = 0; frame < frames; ++frame) {
            const unsigned char* at = bytes + size_t(frame) * format.mBytesPerFrame;
            for (int channel = 0; channel < channels; ++channel) {
                samples[size_t(frame) * channels + channel] = sampleAt(at + size_t(channel) * sampleBytes, format);
            }
        }
        track->appendSource(samples.data(), frames, tag);
    }

    // On the output's thread: a buffer's last sample was mixed.
    void bufferPlayed(uint64_t tag)
    {
        BufferRecord* record = nullptr;
        uint64_t playedEpoch = epochOf(tag);
        {
            std::lock_guard hold(mutex);
            const uint32_t index = indexOf(tag);
            if (disposed || playedEpoch != epoch || index >= buffers.size()) {
                return;
            }
            record = buffers[index].get();
            if (record->state != BufferState::Queued || record->epoch != playedEpoch) {
                return;
            }
            record->state = BufferState::Free;
            ++played;
            if (stopping && !anyQueued()) {
                running = false;
                stopping = false;
                track->setPaused(true);
            }
            if (!loop) {
                handBacks.push_back(record);
                changed.notify_all();
                return;
            }
        }
        std::weak_ptr<OpaqueAudioQueue> self = weak_from_this();
        loop->performBlock(
            [self, record, playedEpoch] {
                if (auto queue = self.lock()) {
                    queue->handBack(record, playedEpoch);
                }
            },
            {mode.empty() ? std::string(kCFRunLoopCommonModes) : mode});
    }

    // Calls the client unless the hand-back is stale.
    void handBack(BufferRecord* record, uint64_t fromEpoch)
    {
        std::lock_guard callbackHold(callbackLock);
        {
            std::lock_guard hold(mutex);
            if (disposed || epoch != fromEpoch) {
                return;
            }
        }
        callback(userData, this, &record->buffer);
    }

    // The queue's own thread, when no run loop was given: hands played buffers back in order.
    void run()
    {
        std::unique_lock hold(mutex);
        for (;;) {
            changed.wait(hold, [this] { return quit || !handBacks.empty(); });
            if (quit) {
                return;
            }
            BufferRecord* record = handBacks.front();
            handBacks.pop_front();
            const uint64_t fromEpoch = epoch;
            hold.unlock();
            handBack(record, fromEpoch);
            hold.lock();
        }
    }
};

namespace {

struct Registry {
    std::mutex mutex;
    std::map<AudioQueueRef, std::shared_ptr<OpaqueAudioQueue>> queues;
};

Registry& queueRegistry()
{
    static auto* instance = new Registry;  // queue threads may outlive static destruction
    return *instance;
}

std::shared_ptr<OpaqueAudioQueue> find(AudioQueueRef queue)
{
    Registry& r = queueRegistry();
    std::lock_guard hold(r.mutex);
    auto found = r.queues.find(queue);
    return found != r.queues.end() ? found->second : nullptr;
}

bool supported(const AudioStreamBasicDescription& f)
{
    if (f.mFormatID != kAudioFormatLinearPCM || !(f.mSampleRate >= 1000 && f.mSampleRate <= 384000) ||
        f.mChannelsPerFrame < 1 || f.mChannelsPerFrame > 8 || f.mFramesPerPacket != 1 || f.mBytesPerFrame < 1 ||
        f.mBytesPerFrame > 64 || f.mBytesPerPacket != f.mBytesPerFrame || f.mBitsPerChannel < 8 ||
        f.mBitsPerChannel % 8 != 0 || f.mBitsPerChannel > 64) {
        return false;
    }
    const bool isFloat = (f.mFormatFlags & kLinearPCMFormatFlagIsFloat) != 0;
    if (isFloat && f.mBitsPerChannel != 32 && f.mBitsPerChannel != 64) {
        return false;
    }
    // Every channel's sample lies inside the frame; packed: the frame holds exactly the channels' samples.
    if (f.mChannelsPerFrame * (f.mBitsPerChannel / 8) > f.mBytesPerFrame) {
        return false;
    }
    return (f.mFormatFlags & kLinearPCMFormatFlagIsPacked) == 0 ||
           f.mBytesPerFrame * 8 == f.mChannelsPerFrame * f.mBitsPerChannel;
}

}  // namespace

OSStatus AudioQueueNewOutput(const AudioStreamBasicDescription* format, AudioQueueOutputCallback callback,
                             void* userData, const CFRunLoopRef& callbackRunLoop, const std::string& callbackRunLoopMode,
                             uint32_t, AudioQueueRef* outQueue)
{
    if (outQueue == nullptr || format == nullptr || callback == nullptr) {
        return kAudioQueueErr_InvalidParameter;
    }
    *outQueue = nullptr;
    if (!supported(*format)) {
        return kAudioFormatUnsupportedDataFormatError;
    }
    auto queue = std::make_shared<OpaqueAudioQueue>();
    queue->format = *format;
    queue->callback = callback;
    queue->userData = userData;
    queue->loop = callbackRunLoop;
    queue->mode = callbackRunLoopMode;
    Registry& r = queueRegistry();
    std::lock_guard hold(r.mutex);
    r.queues.emplace(queue.get(), queue);
    *outQueue = queue.get();
    return kAudioQueueNoError;
}

OSStatus AudioQueueAllocateBuffer(AudioQueueRef ref, uint32_t byteCapacity, AudioQueueBufferRef* outBuffer)
{
    auto queue = find(ref);
    if (!queue || outBuffer == nullptr) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    queue->buffers.push_back(std::make_unique<BufferRecord>(byteCapacity, uint32_t(queue->buffers.size())));
    *outBuffer = &queue->buffers.back()->buffer;
    return kAudioQueueNoError;
}

OSStatus AudioQueueEnqueueBuffer(AudioQueueRef ref, AudioQueueBufferRef buffer, uint32_t, const void*)
{
    auto queue = find(ref);
    if (!queue) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    BufferRecord* record = queue->recordOf(buffer);
    if (record == nullptr || buffer->mAudioDataByteSize > buffer->mAudioDataBytesCapacity) {
        return kAudioQueueErr_InvalidBuffer;
    }
    if (record->state != BufferState::Free) {
        return kAudioQueueErr_BufferEnqueuedTwice;
    }
    record->state = BufferState::Queued;
    record->epoch = queue->epoch;
    queue->ensureTrack();
    queue->play(record->buffer, tagOf(queue->epoch, record->index));
    return kAudioQueueNoError;
}

OSStatus AudioQueueStart(AudioQueueRef ref, const void*)
{
    auto queue = find(ref);
    if (!queue) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    queue->running = true;
    queue->stopping = false;
    queue->ensureTrack();
    queue->track->setPaused(false);
    if (!queue->loop && !queue->thread.joinable()) {
        queue->thread = std::thread([queue] { queue->run(); });
    }
    return kAudioQueueNoError;
}

OSStatus AudioQueuePause(AudioQueueRef ref)
{
    auto queue = find(ref);
    if (!queue) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    queue->running = false;
    queue->stopping = false;
    if (queue->track) {
        queue->track->setPaused(true);  // what is queued stays, and plays on from here at the next start
    }
    return kAudioQueueNoError;
}

OSStatus AudioQueueStop(AudioQueueRef ref, bool immediate)
{
    auto queue = find(ref);
    if (!queue) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    if (!immediate && queue->running && queue->anyQueued()) {
        queue->stopping = true;
        return kAudioQueueNoError;
    }
    queue->running = false;
    queue->stopping = false;
    ++queue->epoch;
    for (auto& record : queue->buffers) {
        record->state = BufferState::Free;
    }
    queue->handBacks.clear();
    if (queue->track) {
        queue->track->setPaused(true);
        queue->track->clear();
        queue->playedFramesAtStart = queue->track->playedFrames();
    }
    return kAudioQueueNoError;
}

OSStatus AudioQueueDispose(AudioQueueRef ref, bool)
{
    std::shared_ptr<OpaqueAudioQueue> queue;
    {
        Registry& r = queueRegistry();
        std::lock_guard hold(r.mutex);
        auto found = r.queues.find(ref);
        if (found == r.queues.end()) {
            return kAudioQueueErr_InvalidParameter;
        }
        queue = found->second;
        r.queues.erase(found);
    }
    std::unique_ptr<AudioTrack> track;
    {
        std::lock_guard hold(queue->mutex);
        queue->disposed = true;
        queue->quit = true;
        queue->running = false;
        ++queue->epoch;
        queue->handBacks.clear();
        track = std::move(queue->track);
        queue->changed.notify_all();
    }
    // Silent at once; a report of the output under way ends first (outside the queue's lock, which
    // the report takes).
    track.reset();
    // A callback running on another thread finishes first; after this none starts.
    { std::lock_guard callbackHold(queue->callbackLock); }
    if (queue->thread.joinable()) {
        if (queue->thread.get_id() == std::this_thread::get_id()) {
            queue->thread.detach();  // disposed from its own callback: the thread holds the queue and ends
        } else {
            queue->thread.join();
        }
    }
    return kAudioQueueNoError;
}

OSStatus AudioQueueSetParameter(AudioQueueRef ref, AudioQueueParameterID parameter, AudioQueueParameterValue value)
{
    auto queue = find(ref);
    if (!queue || parameter != kAudioQueueParam_Volume) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    queue->volume = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    if (queue->track) {
        queue->track->setVolume(queue->volume);
    }
    return kAudioQueueNoError;
}

OSStatus AudioQueueGetParameter(AudioQueueRef ref, AudioQueueParameterID parameter, AudioQueueParameterValue* value)
{
    auto queue = find(ref);
    if (!queue || parameter != kAudioQueueParam_Volume || value == nullptr) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    *value = queue->volume;
    return kAudioQueueNoError;
}

OSStatus AudioQueueGetCurrentTime(AudioQueueRef ref, void*, AudioTimeStamp* outTimeStamp, bool* outDiscontinuity)
{
    auto queue = find(ref);
    if (!queue || outTimeStamp == nullptr) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    const uint64_t frames = queue->track ? queue->track->playedFrames() - queue->playedFramesAtStart : 0;
    *outTimeStamp = AudioTimeStamp{};
    // The output's frames back in the queue's own rate.
    outTimeStamp->mSampleTime = double(frames) * queue->format.mSampleRate / AudioOutput::kSampleRate;
    outTimeStamp->mFlags = kAudioTimeStampSampleTimeValid;
    if (outDiscontinuity != nullptr) {
        *outDiscontinuity = false;
    }
    return kAudioQueueNoError;
}

bool AudioQueueIsRunning(AudioQueueRef ref)
{
    auto queue = find(ref);
    if (!queue) {
        return false;
    }
    std::lock_guard hold(queue->mutex);
    return queue->running;
}

uint64_t AudioQueuePlayedBufferCount(AudioQueueRef ref)
{
    auto queue = find(ref);
    if (!queue) {
        return 0;
    }
    std::lock_guard hold(queue->mutex);
    return queue->played;
}

int AudioQueueLiveCount()
{
    Registry& r = queueRegistry();
    std::lock_guard hold(r.mutex);
    return static_cast<int>(r.queues.size());
}

// ---- Audio session ----------------------------------------------------------------------------------

namespace {

struct Session {
    std::mutex mutex;
    bool initialized = false;
    bool active = false;
    uint32_t category = kAudioSessionCategory_SoloAmbientSound;
    AudioSessionInterruptionListener listener = nullptr;
    void* userData = nullptr;
};

Session& session()
{
    static auto* instance = new Session;
    return *instance;
}

}  // namespace

OSStatus AudioSessionInitialize(const CFRunLoopRef&, const std::string&, AudioSessionInterruptionListener listener,
                                void* userData)
{
    Session& s = session();
    std::lock_guard hold(s.mutex);
    if (s.initialized) {
        return kAudioSessionAlreadyInitialized;
    }
    s.initialized = true;
    s.listener = listener;
    s.userData = userData;
    return 0;
}

OSStatus AudioSessionSetProperty(AudioSessionPropertyID property, uint32_t dataSize, const void* data)
{
    Session& s = session();
    std::lock_guard hold(s.mutex);
    if (!s.initialized) {
        return kAudioSessionNotInitialized;
    }
    if (property != kAudioSessionProperty_AudioCategory) {
        return kAudioSessionUnsupportedPropertyError;
    }
    if (dataSize != sizeof(uint32_t) || data == nullptr) {
        return kAudioSessionBadPropertySizeError;
    }
    s.category = *static_cast<const uint32_t*>(data);
    return 0;
}

OSStatus AudioSessionGetProperty(AudioSessionPropertyID property, uint32_t* ioDataSize, void* outData)
{
    Session& s = session();
    std::lock_guard hold(s.mutex);
    if (!s.initialized) {
        return kAudioSessionNotInitialized;
    }
    if (property != kAudioSessionProperty_AudioCategory) {
        return kAudioSessionUnsupportedPropertyError;
    }
    if (ioDataSize == nullptr || *ioDataSize < sizeof(uint32_t) || outData == nullptr) {
        return kAudioSessionBadPropertySizeError;
    }
    *static_cast<uint32_t*>(outData) = s.category;
    *ioDataSize = sizeof(uint32_t);
    return 0;
}

OSStatus AudioSessionSetActive(bool active)
{
    Session& s = session();
    std::lock_guard hold(s.mutex);
    if (!s.initialized) {
        return kAudioSessionNotInitialized;
    }
    s.active = active;
    return 0;
}

bool AudioSessionIsInitialized()
{
    Session& s = session();
    std::lock_guard hold(s.mutex);
    return s.initialized;
}

bool AudioSessionIsActive()
{
    Session& s = session();
    std::lock_guard hold(s.mutex);
    return s.active;
}

uint32_t AudioSessionCategory()
{
    Session& s = session();
    std::lock_guard hold(s.mutex);
    return s.category;
}

void AudioSessionSimulateInterruption(uint32_t interruptionState)
{
    AudioSessionInterruptionListener listener = nullptr;
    void* userData = nullptr;
    {
        Session& s = session();
        std::lock_guard hold(s.mutex);
        if (!s.initialized) {
            return;
        }
        if (interruptionState == kAudioSessionBeginInterruption) {
            s.active = false;  // the system takes the session away
        }
        listener = s.listener;
        userData = s.userData;
    }
    if (listener != nullptr) {
        listener(userData, interruptionState);
    }
}

void AudioSessionResetForTesting()
{
    Session& s = session();
    std::lock_guard hold(s.mutex);
    s.initialized = false;
    s.active = false;
    s.category = kAudioSessionCategory_SoloAmbientSound;
    s.listener = nullptr;
    s.userData = nullptr;
}
