#pragma once
// What the sample-buffer recorders share: the time of the last sample that arrived (written on the
// capture queues, read on the main thread), a camera frame as a picture, and the writer and its two
// inputs kept together so that they are swapped as one under a lock and held while appended to.
#include <mutex>
#include <string>

#include "platform/media/AVAssetWriter.h"
#include "platform/media/CMSampleBuffer.h"
#include "platform/media/CMTime.h"

class UIImage;

// A media time several threads share.
class SharedSampleTime {
public:
    CMTime get() const
    {
        std::lock_guard lock(mutex_);
        return time_;
    }
    void set(CMTime time)
    {
        std::lock_guard lock(mutex_);
        time_ = time;
    }

private:
    mutable std::mutex mutex_;
    CMTime time_ = kCMTimeInvalid;
};

// The writer with its inputs, as the capture queues see them.
struct RecorderWriting {
    Ref<AVAssetWriter> writer;
    Ref<AVAssetWriterInput> videoInput;
    Ref<AVAssetWriterInput> audioInput;
    // Writing started but no session yet: it starts at the first video frame that arrives.
    bool sessionPending = false;
};

// The frame's BGRA bytes as an opaque picture; nil without a frame.
Ref<UIImage> RecorderImageFromSampleBuffer(const CMSampleBufferRef& sampleBuffer);

// H.264 settings of a recorder: size, average bit rate, key-frame interval, clean aperture of the size
// with offsets 10 and 10, square pixels, Main 3.1.
Value RecorderVideoSettings(int width, int height, int averageBitRate, int maxKeyFrameInterval);
// AAC, one channel, 44100 Hz, 64000 bit/s, mono layout.
Value RecorderAudioSettings();

// Appends a sample to the input of its kind when recording and the input is ready: the references are
// taken under `mutex` and held while appending, so a writer swapped or finished meanwhile is never
// used half-gone (its own lock refuses appends after the finish). Answers whether it was appended.
bool RecorderAppend(std::mutex& mutex, RecorderWriting& writing, bool video, const CMSampleBufferRef& sampleBuffer,
                    bool* recording);
