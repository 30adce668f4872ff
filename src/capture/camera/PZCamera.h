#pragma once
// A capture session on the back camera and the microphone that hands every video frame to its
// delegate on the main thread (the capture queue waits) and every sound sample on the sound queue,
// with torch, camera switching and focus at a point.
#include <mutex>

#include "platform/graphics/CGGeometry.h"
#include "platform/media/AVCaptureSession.h"
#include "platform/media/AVCaptureVideoPreviewLayer.h"

// Both operations are optional: the empty ones receive nothing.
class PZCameraDelegate {
public:
    virtual ~PZCameraDelegate() = default;
    virtual void processNewCameraFrame(const CMSampleBufferRef& sampleBuffer) {}
    virtual void processAudioFrame(const CMSampleBufferRef& sampleBuffer) {}
};

class PZCamera : public NSObject, public AVCaptureSampleBufferDelegate {
public:
    static Ref<PZCamera> create();
    ~PZCamera() override;

    void toggleFlash();
    void toggleCamera();
    // A point of interest in the camera's 0 to 1 space.
    void resetFocus(CGPoint point);
    // The live preview of the session's frames (made once, on first request): upright, filling its
    // bounds with the camera's picture.
    const Ref<AVCaptureVideoPreviewLayer>& videoPreviewLayer();

    void captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& output,
                                                           const CMSampleBufferRef& sampleBuffer,
                                                           const Ref<AVCaptureConnection>& connection) override;

    const Ref<AVCaptureSession>& captureSession() const { return captureSession_; }
    const Ref<AVCaptureDeviceInput>& videoDeviceInput() const { return videoDeviceInput_; }
    const Ref<AVCaptureDeviceInput>& audioDeviceInput() const { return audioDeviceInput_; }
    const Ref<AVCaptureVideoDataOutput>& videoOutput() const { return videoOutput_; }
    // The delegate is read on the sound queue while the main thread may change it.
    Weak<PZCameraDelegate> delegate() const
    {
        std::lock_guard hold(delegateLock_);
        return delegate_;
    }
    void setDelegate(Weak<PZCameraDelegate> delegate)
    {
        std::lock_guard hold(delegateLock_);
        delegate_ = std::move(delegate);
    }

    PZCamera() = default;

private:
    void initCameraBody();

    Ref<AVCaptureDevice> backFacingCamera_;
    Ref<AVCaptureSession> captureSession_;
    Ref<AVCaptureDeviceInput> videoDeviceInput_;
    Ref<AVCaptureDeviceInput> audioDeviceInput_;
    Ref<AVCaptureVideoDataOutput> videoOutput_;
    Ref<AVCaptureAudioDataOutput> audioOutput_;
    Ref<AVCaptureVideoPreviewLayer> videoPreviewLayer_;
    mutable std::mutex delegateLock_;
    Weak<PZCameraDelegate> delegate_;
};
