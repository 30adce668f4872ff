#pragma once
// Audio output queues and the audio session.
//
// An output queue owns its buffers. The client fills a buffer and enqueues it; once the queue has been
// started, its buffers are played in order on the process's sound output (AudioOutput.h: a device when
// there is one, else an output that keeps a device's pace and sounds nothing), converted from the
// queue's linear PCM to the output's rate and channels by SDL's converter, at the queue's volume. A
// buffer is handed back through the output callback once its last sample has been played, not before;
// there the client fills and enqueues it again. The callback runs on the run loop given at creation
// (posted in the given mode, the common modes by default), or on the queue's own thread when no run
// loop was given. The queue's current time is the samples the output has played of it since it was
// started after a stop.
//
// Stopping and disposing are final for what was in flight: once AudioQueueStop or AudioQueueDispose
// has returned, no buffer is handed back from before the call (a hand-back already posted to a run loop
// is dropped), nothing more of it sounds after the output's next block, and after AudioQueueDispose
// the callback is never called again. A queue may be stopped or disposed from inside its own callback.
// Pausing silences the queue at the next block and keeps what is queued for the next start.
//
// The audio session is one process-wide record: whether it was initialised (with its interruption
// listener), its category and whether it is active. Tests start and end interruptions with
// AudioSessionSimulateInterruption, which calls the listener on the calling thread.
#include <cstdint>
#include <string>

#include "platform/foundation/CFRunLoop.h"
#include "platform/foundation/CFRunLoopMode.h"

using OSStatus = int32_t;
using AudioFormatID = uint32_t;
using AudioFormatFlags = uint32_t;
using AudioQueueParameterID = uint32_t;
using AudioQueueParameterValue = float;
using AudioSessionPropertyID = uint32_t;

inline constexpr OSStatus kAudioQueueNoError = 0;
inline constexpr OSStatus kAudioQueueErr_InvalidBuffer = -66687;
inline constexpr OSStatus kAudioQueueErr_InvalidQueueType = -66682;
inline constexpr OSStatus kAudioQueueErr_InvalidParameter = -66684;
inline constexpr OSStatus kAudioQueueErr_BufferEnqueuedTwice = -66666;
inline constexpr OSStatus kAudioFormatUnsupportedDataFormatError = 0x666d743f;  // 'fmt?'
inline constexpr OSStatus kAudioSessionNotInitialized = 0x21696e69;             // '!ini'
inline constexpr OSStatus kAudioSessionAlreadyInitialized = 0x696e6974;         // 'init'
inline constexpr OSStatus kAudioSessionBadPropertySizeError = 0x2173697a;       // '!siz'
inline constexpr OSStatus kAudioSessionUnsupportedPropertyError = 0x70747921;   // 'pty!'

inline constexpr AudioFormatID kAudioFormatLinearPCM = 0x6c70636d;  // 'lpcm'
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsFloat = 1u << 0;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsBigEndian = 1u << 1;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsSignedInteger = 1u << 2;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsPacked = 1u << 3;
inline constexpr AudioFormatFlags kAudioFormatFlagsNativeEndian = 0;  // little-endian host

inline constexpr AudioQueueParameterID kAudioQueueParam_Volume = 1;

struct AudioStreamBasicDescription {
    double mSampleRate = 0;
    AudioFormatID mFormatID = 0;
    AudioFormatFlags mFormatFlags = 0;
    uint32_t mBytesPerPacket = 0;
    uint32_t mFramesPerPacket = 0;
    uint32_t mBytesPerFrame = 0;
    uint32_t mChannelsPerFrame = 0;
    uint32_t mBitsPerChannel = 0;
    uint32_t mReserved = 0;
};

inline constexpr uint32_t kAudioTimeStampSampleTimeValid = 1u << 0;

struct AudioTimeStamp {
    double mSampleTime = 0;  // in the queue's sample frames
    uint64_t mHostTime = 0;
    double mRateScalar = 0;
    uint64_t mWordClockTime = 0;
    uint32_t mFlags = 0;
    uint32_t mReserved = 0;
};

struct AudioQueueBuffer {
    const uint32_t mAudioDataBytesCapacity;
    void* const mAudioData;
    uint32_t mAudioDataByteSize;  // the bytes the client filled
    void* mUserData;
};
using AudioQueueBufferRef = AudioQueueBuffer*;

struct OpaqueAudioQueue;
using AudioQueueRef = OpaqueAudioQueue*;

// Called when the queue hands a played buffer back (see above for the thread).
using AudioQueueOutputCallback = void (*)(void* userData, AudioQueueRef queue, AudioQueueBufferRef buffer);

// A new stopped queue for linear PCM (8- to 64-bit integers, signed or unsigned, either byte order, or
// 32- and 64-bit floats; 1 to 8 channels; 1000 to 384000 Hz; frames of at most 64 bytes);
// kAudioFormatUnsupportedDataFormatError for any other format. A null run loop makes the
// callback run on the queue's thread; an empty mode means the common modes. Flags are not read.
OSStatus AudioQueueNewOutput(const AudioStreamBasicDescription* format, AudioQueueOutputCallback callback,
                             void* userData, const CFRunLoopRef& callbackRunLoop, const std::string& callbackRunLoopMode,
                             uint32_t flags, AudioQueueRef* outQueue);
// A buffer of the capacity (zeroed), owned by the queue until it is disposed.
OSStatus AudioQueueAllocateBuffer(AudioQueueRef queue, uint32_t byteCapacity, AudioQueueBufferRef* outBuffer);
// Queues a filled buffer of this queue for playing. Packet descriptions are not read.
OSStatus AudioQueueEnqueueBuffer(AudioQueueRef queue, AudioQueueBufferRef buffer, uint32_t numPacketDescs,
                                 const void* packetDescs);
// Starts playing what is queued now and what is queued later. The start time is not read.
OSStatus AudioQueueStart(AudioQueueRef queue, const void* startTime);
// Stops playing at once and keeps what is queued; AudioQueueStart plays on from there.
OSStatus AudioQueuePause(AudioQueueRef queue);
// Stops playing. With immediate, queued buffers are dropped at once; without it, what is queued is
// still played (and handed back) before the queue stops - the call returns at once either way.
OSStatus AudioQueueStop(AudioQueueRef queue, bool immediate);
// Stops the queue and frees it with its buffers. The queue must not be used afterwards.
OSStatus AudioQueueDispose(AudioQueueRef queue, bool immediate);
OSStatus AudioQueueSetParameter(AudioQueueRef queue, AudioQueueParameterID parameter, AudioQueueParameterValue value);
OSStatus AudioQueueGetParameter(AudioQueueRef queue, AudioQueueParameterID parameter, AudioQueueParameterValue* value);
// The samples played since the queue was started after being made or stopped (mSampleTime, in the
// queue's rate). The timeline is not read.
OSStatus AudioQueueGetCurrentTime(AudioQueueRef queue, void* timeline, AudioTimeStamp* outTimeStamp,
                                  bool* outDiscontinuity);

// --- For tests ---
// Whether the queue has been started and not stopped since.
bool AudioQueueIsRunning(AudioQueueRef queue);
// How many buffers the queue has played since it was made.
uint64_t AudioQueuePlayedBufferCount(AudioQueueRef queue);
// How many queues exist now (made and not yet disposed).
int AudioQueueLiveCount();

// ---- Audio session ----------------------------------------------------------------------------------

inline constexpr uint32_t kAudioSessionBeginInterruption = 1;
inline constexpr uint32_t kAudioSessionEndInterruption = 0;

inline constexpr AudioSessionPropertyID kAudioSessionProperty_AudioCategory = 0x61636174;  // 'acat'
inline constexpr uint32_t kAudioSessionCategory_AmbientSound = 0x616d6269;               // 'ambi'
inline constexpr uint32_t kAudioSessionCategory_SoloAmbientSound = 0x736f6c6f;           // 'solo'
inline constexpr uint32_t kAudioSessionCategory_MediaPlayback = 0x6d656461;              // 'meda'
inline constexpr uint32_t kAudioSessionCategory_RecordAudio = 0x72656361;                // 'reca'
inline constexpr uint32_t kAudioSessionCategory_PlayAndRecord = 0x706c6172;              // 'plar'

using AudioSessionInterruptionListener = void (*)(void* userData, uint32_t interruptionState);

// Initialises the session once per process; kAudioSessionAlreadyInitialized afterwards (the first
// listener stays). The run loop and mode are not read: the listener runs where the interruption is
// reported.
OSStatus AudioSessionInitialize(const CFRunLoopRef& runLoop, const std::string& runLoopMode,
                                AudioSessionInterruptionListener listener, void* userData);
// Only the category (a uint32_t) is a known property.
OSStatus AudioSessionSetProperty(AudioSessionPropertyID property, uint32_t dataSize, const void* data);
OSStatus AudioSessionGetProperty(AudioSessionPropertyID property, uint32_t* ioDataSize, void* outData);
OSStatus AudioSessionSetActive(bool active);

// --- For tests ---
bool AudioSessionIsInitialized();
bool AudioSessionIsActive();
uint32_t AudioSessionCategory();
// Calls the interruption listener with the state, on the calling thread (nothing before initialising).
void AudioSessionSimulateInterruption(uint32_t interruptionState);
// Forgets the session (listener, category, active), as a fresh process would have it.
void AudioSessionResetForTesting();
