#pragma once
// Capture sessions of the synthetic phone. A session joins device inputs to data outputs; while it runs,
// the camera makes frames and the microphone sound, each delivered to its output's delegate on the
// output's dispatch queue:
//   - video: the camera test picture (SyntheticMedia.h, CameraTestPicture) of the preset's size
//     (640 x 480 for AVCaptureSessionPreset640x480), 32-bit BGRA, turned by the connection's video
//     orientation (landscape right is the sensor's own; portrait turns it upright, 480 x 640). Frame k
//     (k = 1, 2, ...) is stamped start + k x frame duration on the process clock (Clock::now()) and
//     made when the clock gets there; the frame duration is the output's minFrameDuration, or 1/30 s.
//     An output that always discards late frames drops a frame while the delegate still holds the
//     previous one (counted in framesDropped).
//   - audio: a 440 Hz tone, 16-bit mono linear PCM at 44100 Hz, in buffers of 1024 frames, each made
//     when the clock passes its last sample and stamped with its first.
// With a manual clock, advancing it by one frame duration delivers one frame, so tests need no real
// time. Samples are made on the session's own serial queue; a sample posted before stopRunning (or
// before its output left the session) is not delivered.
//
// Configuration calls may come from any thread; the session guards its state with a lock of its own.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSObject.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/media/CMSampleBuffer.h"

class NSError;
class AVCaptureOutput;
class AVCaptureSession;

inline constexpr char AVCaptureSessionPresetPhoto[] = "AVCaptureSessionPresetPhoto";
inline constexpr char AVCaptureSessionPresetHigh[] = "AVCaptureSessionPresetHigh";
inline constexpr char AVCaptureSessionPresetMedium[] = "AVCaptureSessionPresetMedium";
inline constexpr char AVCaptureSessionPresetLow[] = "AVCaptureSessionPresetLow";
inline constexpr char AVCaptureSessionPreset352x288[] = "AVCaptureSessionPreset352x288";
inline constexpr char AVCaptureSessionPreset640x480[] = "AVCaptureSessionPreset640x480";
inline constexpr char AVCaptureSessionPreset1280x720[] = "AVCaptureSessionPreset1280x720";

enum AVCaptureVideoOrientation {
    AVCaptureVideoOrientationPortrait = 1,
    AVCaptureVideoOrientationPortraitUpsideDown = 2,
    AVCaptureVideoOrientationLandscapeRight = 3,
    AVCaptureVideoOrientationLandscapeLeft = 4,
};

class AVCaptureInput : public NSObject {
public:
    virtual std::string mediaType() const = 0;
};

class AVCaptureDeviceInput : public AVCaptureInput {
public:
    // Null with an error when there is no device.
    static Ref<AVCaptureDeviceInput> deviceInputWithDevice_error(const Ref<AVCaptureDevice>& device, Ref<NSError>* error);
    static Ref<AVCaptureDeviceInput> initWithDevice_error(const Ref<AVCaptureDevice>& device, Ref<NSError>* error)
    {
        return deviceInputWithDevice_error(device, error);
    }
    const Ref<AVCaptureDevice>& device() const { return device_; }
    std::string mediaType() const override { return device_->mediaType(); }

    AVCaptureDeviceInput() = default;

private:
    Ref<AVCaptureDevice> device_;
};

// The link of an output to the session's input of its media type.
class AVCaptureConnection : public NSObject {
public:
    const std::string& mediaType() const { return mediaType_; }
    bool isEnabled() const { return enabled_.load(); }
    void setEnabled(bool enabled) { enabled_.store(enabled); }
    bool isVideoOrientationSupported() const { return mediaType_ == AVMediaTypeVideo; }
    AVCaptureVideoOrientation videoOrientation() const { return orientation_.load(); }
    void setVideoOrientation(AVCaptureVideoOrientation orientation) { orientation_.store(orientation); }

    explicit AVCaptureConnection(std::string mediaType) : mediaType_(std::move(mediaType)) {}

private:
    std::string mediaType_;
    std::atomic<bool> enabled_{true};
    std::atomic<AVCaptureVideoOrientation> orientation_{AVCaptureVideoOrientationLandscapeRight};
};

// The sample-buffer delegate of both data outputs (the video and the audio protocol are one here).
class AVCaptureSampleBufferDelegate {
public:
    virtual ~AVCaptureSampleBufferDelegate() = default;
    virtual void captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& output,
                                                                   const CMSampleBufferRef& sampleBuffer,
                                                                   const Ref<AVCaptureConnection>& connection) = 0;
};
using AVCaptureVideoDataOutputSampleBufferDelegate = AVCaptureSampleBufferDelegate;
using AVCaptureAudioDataOutputSampleBufferDelegate = AVCaptureSampleBufferDelegate;

class AVCaptureOutput : public NSObject {
public:
    virtual std::string mediaType() const = 0;
    std::vector<Ref<AVCaptureConnection>> connections() const;
    Ref<AVCaptureConnection> connectionWithMediaType(const std::string& mediaType) const;

    // The delegate is held weakly, read when a sample is delivered.
    void setSampleBufferDelegate_queue(const Weak<AVCaptureSampleBufferDelegate>& delegate, const dispatch_queue_t& queue);
    Ref<AVCaptureSampleBufferDelegate> sampleBufferDelegate() const;
    dispatch_queue_t sampleBufferCallbackQueue() const;

    // Samples handed to the delegate's queue, and samples dropped because the delegate was late.
    int64_t samplesDelivered() const { return delivered_.load(); }
    int64_t framesDropped() const { return dropped_.load(); }

protected:
    friend class AVCaptureSession;
    mutable std::mutex mutex_;
    Weak<AVCaptureSampleBufferDelegate> delegate_;
    dispatch_queue_t queue_;
    Ref<AVCaptureConnection> connection_;  // while in a session
    Weak<AVCaptureSession> session_;
    std::atomic<int64_t> delivered_{0};
    std::atomic<int64_t> dropped_{0};
    std::atomic<int> inFlight_{0};
    std::atomic<uint64_t> generation_{0};  // changes when the output leaves a session
};

class AVCaptureVideoDataOutput : public AVCaptureOutput {
public:
    static Ref<AVCaptureVideoDataOutput> create() { return std::make_shared<AVCaptureVideoDataOutput>(); }
    std::string mediaType() const override { return AVMediaTypeVideo; }

    bool alwaysDiscardsLateVideoFrames() const { return discardsLate_.load(); }
    void setAlwaysDiscardsLateVideoFrames(bool value) { discardsLate_.store(value); }
    CMTime minFrameDuration() const;
    void setMinFrameDuration(CMTime duration);
    // Only kCVPixelBufferPixelFormatTypeKey = kCVPixelFormatType_32BGRA is offered (or nil, the same).
    Value videoSettings() const;
    void setVideoSettings(const Value& settings);

private:
    std::atomic<bool> discardsLate_{true};
    CMTime minFrameDuration_ = kCMTimeInvalid;
    Value videoSettings_;
};

class AVCaptureAudioDataOutput : public AVCaptureOutput {
public:
    static Ref<AVCaptureAudioDataOutput> create() { return std::make_shared<AVCaptureAudioDataOutput>(); }
    std::string mediaType() const override { return AVMediaTypeAudio; }
};

class AVCaptureSession : public NSObject {
public:
    static Ref<AVCaptureSession> create();
    ~AVCaptureSession() override;

    std::string sessionPreset() const;
    bool canSetSessionPreset(const std::string& preset) const;
    // An unknown preset raises NSInvalidArgumentException.
    void setSessionPreset(const std::string& preset);

    // One input per media type; an input is in at most one session.
    bool canAddInput(const Ref<AVCaptureInput>& input) const;
    void addInput(const Ref<AVCaptureInput>& input);
    void removeInput(const Ref<AVCaptureInput>& input);
    std::vector<Ref<AVCaptureInput>> inputs() const;

    // One output of each kind.
    bool canAddOutput(const Ref<AVCaptureOutput>& output) const;
    void addOutput(const Ref<AVCaptureOutput>& output);
    void removeOutput(const Ref<AVCaptureOutput>& output);
    std::vector<Ref<AVCaptureOutput>> outputs() const;

    // Previews (a preview layer) see every frame the video output is given, on the capture thread, the
    // pixels valid only during the call; an owner is removed with all its sinks.
    using PreviewSink = std::function<void(const CVPixelBufferRef&)>;
    void addPreview(const void* owner, PreviewSink sink);
    void removePreview(const void* owner);

    void beginConfiguration();
    void commitConfiguration();

    void startRunning();
    void stopRunning();
    bool isRunning() const;

    // The size of the frames of a preset (0 x 0 for an unknown one).
    static void sizeOfPreset(const std::string& preset, int* width, int* height);

    AVCaptureSession();

private:
    struct Engine;
    std::shared_ptr<Engine> engine_;
};
