#pragma once
// The source of the recording chain: one capture session with the camera's video and the microphone's
// sound. Each video frame (BGRA, delivered on the main queue, at most 15 a second, late ones dropped by
// the output) becomes a GL texture handed to every target; each sound buffer (delivered on the serial
// queue "AudioQueue") goes straight to the movie writer and nowhere else. The writer also learns every
// frame's time (setCurrentTime) before the frame is drawn.
//
// Two upload paths: with the platform's texture cache (supportsFastTextureUpload) each frame becomes a
// texture of its own, released right after the frame has been drawn; without it the frame's bytes are
// uploaded into the output texture.
//
// The camera also switches the torch and between the back and front cameras, and sets the focus point.
// Everything but the sound runs on the main thread.
#include <mutex>
#include <string>

#include "capture/gpu/GPUOutput.h"
#include "platform/media/AVCaptureSession.h"
#include "platform/media/CVOpenGLESTextureCache.h"

class GPUMovieWriter;

class GPUVideoCamera : public GPUOutput, public AVCaptureSampleBufferDelegate {
public:
    // AVCaptureSessionPreset640x480 and the back camera.
    static Ref<GPUVideoCamera> create();
    static Ref<GPUVideoCamera> initWithSessionPreset_cameraPosition(const std::string& sessionPreset,
                                                                    AVCaptureDevicePosition cameraPosition);
    static bool supportsFastTextureUpload();

    void startCameraCapture();
    void stopCameraCapture();
    void toggleFlash();
    void toggleCamera();
    // A point of interest in the device's space (0 to 1 on both axes).
    void resetFocus(CGPoint point);
    // Milliseconds a frame took on average while runBenchmark was set; logs the frame count.
    float averageFrameDurationDuringCapture();

    const Ref<AVCaptureSession>& captureSession() const { return captureSession_; }
    const Ref<AVCaptureDeviceInput>& videoInput() const { return videoInput_; }
    const Ref<AVCaptureVideoDataOutput>& videoOutput() const { return videoOutput_; }
    const Ref<AVCaptureAudioDataOutput>& audioOutput() const { return audioOutput_; }
    // Not retained: the writer belongs to whoever made it. Set on the main thread while the sound's
    // capture queue reads it, so both go through a lock.
    Ref<GPUMovieWriter> movieWriter() const;
    void setMovieWriter(const Ref<GPUMovieWriter>& writer);
    bool runBenchmark() const { return runBenchmark_; }
    void setRunBenchmark(bool value) { runBenchmark_ = value; }
    unsigned numberOfFramesCaptured() const { return numberOfFramesCaptured_; }

    // --- sample buffers (video on main, sound on "AudioQueue") ---
    void captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& captureOutput,
                                                           const CMSampleBufferRef& sampleBuffer,
                                                           const Ref<AVCaptureConnection>& connection) override;

    GPUVideoCamera();
    ~GPUVideoCamera() override;

protected:
    void initWithSessionPreset_cameraPositionBody(const std::string& sessionPreset, AVCaptureDevicePosition cameraPosition);

private:
    void processVideoFrame(const CMSampleBufferRef& sampleBuffer);

    Ref<AVCaptureSession> captureSession_;
    CVOpenGLESTextureCacheRef coreVideoTextureCache_;
    unsigned numberOfFramesCaptured_ = 0;
    float totalFrameTimeDuringCapture_ = 0;
    bool runBenchmark_ = false;
    Ref<AVCaptureDeviceInput> audioInput_;
    Ref<AVCaptureVideoDataOutput> videoOutput_;
    Ref<AVCaptureAudioDataOutput> audioOutput_;
    mutable std::mutex movieWriterMutex_;
    Weak<GPUMovieWriter> movieWriter_;
    Ref<AVCaptureDeviceInput> videoInput_;
};
