#pragma once
// A live-recording screen without filters: the camera picture is drawn into the view's layer frame by
// frame; startVideo writes the camera's and the microphone's samples into a new movie in
// Documents/media/ under the home folder, named by the time of the start, and hands that growing file
// to the engine as a live job; stopVideo finishes the file and then ends the live job, so the engine's
// remux has every sample. The video goes at 200000 bit/s, or 500000 once chargeBitrate has been
// pressed (from the next start on).
#include <mutex>
#include <string>

#include "capture/recorders/RecorderSupport.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/media/AVCaptureSession.h"
#include "platform/uikit/UIViewController.h"

class UIButton;

class UICaptureVideoController : public UIViewController, public AVCaptureSampleBufferDelegate {
public:
    static Ref<UICaptureVideoController> create() { return make<UICaptureVideoController>(); }
    ~UICaptureVideoController() override;

    void loadView() override;
    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override { return true; }

    bool setSession();
    void setVideoConnect();
    bool setAVasset();
    void setMovieFilePath();
    void setvideoSettings();
    void setAudiosettings();
    // Button actions.
    void chargeBitrate(const Ref<UIButton>& sender);
    void startVideo(const Ref<UIButton>& sender);
    void stopVideo(const Ref<UIButton>& sender);
    Ref<UIImage> imageFromSampleBuffer(const CMSampleBufferRef& sampleBuffer);

    void captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& output,
                                                           const CMSampleBufferRef& sampleBuffer,
                                                           const Ref<AVCaptureConnection>& connection) override;

    CGSize videoSize() const { return videoSize_; }
    void setVideoSize(CGSize size) { videoSize_ = size; }
    const std::string& movileFilePath() const { return movileFilePath_; }
    const Value& videoOutputSettings() const { return videoOutputSettings_; }
    const Value& audioOutputSettings() const { return audioOutputSettings_; }
    const Ref<AVCaptureSession>& session() const { return session_; }
    const Ref<AVCaptureVideoDataOutput>& videoOutput() const { return videoOutput_; }
    const Ref<UIButton>& startButton() const { return startButton_; }
    const Ref<UIButton>& stopButton() const { return stopButton_; }
    const Ref<UIButton>& bitrateButton() const { return bitrateButton_; }
    bool isRecording() const;

private:
    Ref<AVCaptureSession> session_;
    Ref<AVCaptureDeviceInput> videoDeviceInput_;
    Ref<AVCaptureDeviceInput> audioDeviceInput_;
    Ref<AVCaptureVideoDataOutput> videoOutput_;
    Ref<AVCaptureAudioDataOutput> audioOutput_;
    Ref<UIButton> startButton_;
    Ref<UIButton> stopButton_;
    Ref<UIButton> bitrateButton_;
    std::string movileFilePath_;
    Value videoOutputSettings_;
    Value audioOutputSettings_;
    int videoBitRate_ = 200000;
    CGSize videoSize_{0, 0};
    mutable std::mutex writingMutex_;
    RecorderWriting writing_;   // what the capture queues append to, while recording
    RecorderWriting prepared_;  // made by setAVasset
};
