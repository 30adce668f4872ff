#include "platform/media/AudioQueue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/NSRunLoop.h"

namespace {

enum class BufferState { Free, Queued, Playing };

struct BufferRecord {
    explicit BufferRecord(uint32_t capacity)
        : storage(capacity, 0), buffer{capacity, storage.data(), 0, nullptr}
    {
    }
    std::vector<unsigned char> storage;
    AudioQueueBuffer buffer;
    BufferState state = BufferState::Free;
};

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
    std::deque<BufferRecord*> queued;
    bool running = false;
    bool stopping = false;  // stopped without immediate: plays what is queued, then stops
    bool disposed = false;
    bool quit = false;
    uint64_t epoch = 0;  // changes on every immediate stop and on disposal: older hand-backs are dropped
    float volume = 1.0f;
    uint64_t played = 0;
    std::thread thread;

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

    void run()
    {
        std::unique_lock hold(mutex);
        for (;;) {
            changed.wait(hold, [this] { return quit || (running && !queued.empty()); });
            if (quit) {
                return;
            }
            BufferRecord* record = queued.front();
            queued.pop_front();
            record->state = BufferState::Playing;
            const uint64_t playingEpoch = epoch;
            // Held for as long as the bytes would sound.
            const double bytesPerSecond = format.mSampleRate * format.mBytesPerFrame;
            const auto lasts = std::chrono::duration<double>(record->buffer.mAudioDataByteSize / bytesPerSecond);
            const auto until = std::chrono::steady_clock::now() +
                               std::max(std::chrono::duration_cast<std::chrono::steady_clock::duration>(lasts),
                                        std::chrono::steady_clock::duration(std::chrono::milliseconds(1)));
            changed.wait_until(hold, until, [&] { return quit || epoch != playingEpoch; });
            record->state = BufferState::Free;
            if (quit || epoch != playingEpoch) {
                continue;
            }
            ++played;
            if (stopping && queued.empty()) {
                running = false;
                stopping = false;
            }
            if (loop) {
                std::weak_ptr<OpaqueAudioQueue> self = weak_from_this();
                loop->performBlock(
                    [self, record, playingEpoch] {
                        if (auto queue = self.lock()) {
                            queue->handBack(record, playingEpoch);
                        }
                    },
                    {mode.empty() ? std::string(kCFRunLoopCommonModes) : mode});
            } else {
                hold.unlock();
                handBack(record, playingEpoch);
                hold.lock();
            }
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
    if (f.mFormatID != kAudioFormatLinearPCM || !(f.mSampleRate > 0) || f.mChannelsPerFrame < 1 ||
        f.mChannelsPerFrame > 8 || f.mFramesPerPacket != 1 || f.mBytesPerFrame < 1 || f.mBytesPerFrame > 64 ||
        f.mBytesPerPacket != f.mBytesPerFrame || f.mBitsPerChannel < 8) {
        return false;
    }
    const bool isFloat = (f.mFormatFlags & kLinearPCMFormatFlagIsFloat) != 0;
    if (isFloat && f.mBitsPerChannel != 32 && f.mBitsPerChannel != 64) {
        return false;
    }
    // Packed: the frame holds exactly the channels' samples.
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
    queue->buffers.push_back(std::make_unique<BufferRecord>(byteCapacity));
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
    queue->queued.push_back(record);
    queue->changed.notify_all();
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
    if (!queue->thread.joinable()) {
        queue->thread = std::thread([queue] { queue->run(); });
    }
    queue->changed.notify_all();
    return kAudioQueueNoError;
}

OSStatus AudioQueueStop(AudioQueueRef ref, bool immediate)
{
    auto queue = find(ref);
    if (!queue) {
        return kAudioQueueErr_InvalidParameter;
    }
    std::lock_guard hold(queue->mutex);
    if (!immediate && queue->running && !queue->queued.empty()) {
        queue->stopping = true;
        return kAudioQueueNoError;
    }
    queue->running = false;
    queue->stopping = false;
    ++queue->epoch;
    for (BufferRecord* record : queue->queued) {
        record->state = BufferState::Free;
    }
    queue->queued.clear();
    queue->changed.notify_all();
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
    {
        std::lock_guard hold(queue->mutex);
        queue->disposed = true;
        queue->quit = true;
        queue->running = false;
        ++queue->epoch;
        queue->queued.clear();
        queue->changed.notify_all();
    }
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
    queue->volume = std::clamp(value, 0.0f, 1.0f);
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
