#pragma once
// A plain recording screen without filters: the camera picture is drawn into the view's layer frame
// by frame and, while recording, the camera's and the microphone's samples go into
// Documents/Movie.mp4 under the home folder (one file, replaced by every recording). The start/stop
// button reads "开始" / "停止".
#include <mutex>

#include "capture/recorders/RecorderSupport.h"
#include "platform/media/AVCaptureSession.h"
#include "platform/uikit/UIViewController.h"

class UIButton;

class CaptureVideoController : public UIViewController, public AVCaptureSampleBufferDelegate {
public:
    static Ref<CaptureVideoController> create() { return make<CaptureVideoController>(); }
    ~CaptureVideoController() override;

    void loadView() override;
    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override
    {
        return orientation == UIInterfaceOrientationPortrait;
    }

    void setupCaptureSession();
    // Makes the writer of a new recording; false (nothing is recorded) when it cannot be made.
    bool setupAssetWriter();
    // The start/stop button's action.
    void switchCapture(const Ref<UIButton>& sender);
    Ref<UIImage> imageFromSampleBuffer(const CMSampleBufferRef& sampleBuffer);

    void captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& output,
                                                           const CMSampleBufferRef& sampleBuffer,
                                                           const Ref<AVCaptureConnection>& connection) override;

    bool isCapture() const;
    const Ref<UIButton>& captureButton() const { return captureButton_; }
    const Ref<AVCaptureSession>& captureSession() const { return session_; }
    const Ref<AVCaptureVideoDataOutput>& videoOutput() const { return videoOutput_; }
    const Ref<AVCaptureAudioDataOutput>& audioOutput() const { return audioOutput_; }
    // The file every recording goes to.
    static std::string moviePath();

private:
    Ref<AVCaptureSession> session_;
    Ref<AVCaptureVideoDataOutput> videoOutput_;
    Ref<AVCaptureAudioDataOutput> audioOutput_;
    Ref<UIButton> captureButton_;
    mutable std::mutex writingMutex_;
    RecorderWriting writing_;  // set while recording
    // Made by setupAssetWriter, taken into writing_ when recording starts.
    RecorderWriting prepared_;
};
