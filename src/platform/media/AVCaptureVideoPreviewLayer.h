#pragma once
// A layer showing what a capture session's camera films, drawn like any layer: it sees the frames the
// session gives its video output (a preview of the session) and shows each as its contents on the main
// thread, placed by its video gravity. Its orientation is kept (the frames come as the output's are).
#include <string>

#include "platform/media/AVCaptureSession.h"
#include "platform/media/AVPlayer.h"
#include "platform/uikit/CALayer.h"

class AVCaptureVideoPreviewLayer : public CALayer {
public:
    static Ref<AVCaptureVideoPreviewLayer> layerWithSession(const Ref<AVCaptureSession>& session);
    ~AVCaptureVideoPreviewLayer() override;

    Ref<AVCaptureSession> session() const { return session_; }
    const std::string& videoGravity() const { return videoGravity_; }
    void setVideoGravity(const std::string& gravity);
    bool isOrientationSupported() const { return true; }
    AVCaptureVideoOrientation orientation() const { return orientation_; }
    void setOrientation(AVCaptureVideoOrientation orientation) { orientation_ = orientation; }
    // The frames shown so far.
    int64_t framesShown() const { return framesShown_; }

    AVCaptureVideoPreviewLayer() = default;

private:
    void show(const CGImageRef& image);

    Ref<AVCaptureSession> session_;
    std::string videoGravity_ = AVLayerVideoGravityResizeAspect;
    AVCaptureVideoOrientation orientation_ = AVCaptureVideoOrientationPortrait;
    int64_t framesShown_ = 0;
};
