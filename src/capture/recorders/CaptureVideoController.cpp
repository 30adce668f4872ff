#include "capture/recorders/CaptureVideoController.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIView.h"

namespace {
namespace CaptureVideoController_cpp {

// The time of the last sample that arrived, for every recorder of this kind.
SharedSampleTime g_now;

}  // namespace CaptureVideoController_cpp
}  // namespace

CaptureVideoController::~CaptureVideoController()
{
    if (session_) {
        session_->stopRunning();
    }
}

std::string CaptureVideoController::moviePath()
{
    return NSHomeDirectory() + "/Documents/Movie.mp4";
}

void CaptureVideoController::loadView()
{
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 320, 480));
    setView(root);
    captureButton_ = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    captureButton_->setFrame(CGRectMake(110, 420, 100, 40));
    captureButton_->setTitle_forState("开始", UIControlStateNormal);
    captureButton_->addTarget_action_forControlEvents(
        self<CaptureVideoController>(), UIControlAction::make("switchCapture:", &CaptureVideoController::switchCapture),
        UIControlEventTouchUpInside);
    root->addSubview(captureButton_);
}

void CaptureVideoController::viewDidLoad()
{
    UIViewController::viewDidLoad();
    setupCaptureSession();
}

void CaptureVideoController::setupCaptureSession()
{
    session_ = AVCaptureSession::create();
    session_->setSessionPreset(AVCaptureSessionPresetMedium);
    Ref<NSError> error;
    if (auto camera = AVCaptureDeviceInput::deviceInputWithDevice_error(
            AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo), &error)) {
        session_->addInput(camera);
    }
    const std::vector<Ref<AVCaptureDevice>> microphones = AVCaptureDevice::devicesWithMediaType(AVMediaTypeAudio);
    if (!microphones.empty()) {
        auto microphone = AVCaptureDeviceInput::deviceInputWithDevice_error(microphones.front(), &error);
        if (microphone && session_->canAddInput(microphone)) {
            session_->addInput(microphone);
        }
    }
    const Weak<AVCaptureSampleBufferDelegate> delegate = self<CaptureVideoController>();
    videoOutput_ = AVCaptureVideoDataOutput::create();
    videoOutput_->setVideoSettings(Value::dictionary(
        {{kCVPixelBufferPixelFormatTypeKey, Value(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA))}}));
    videoOutput_->setMinFrameDuration(CMTimeMake(1, 30));
    videoOutput_->setSampleBufferDelegate_queue(delegate, dispatch_queue_create("myQueue", DISPATCH_QUEUE_SERIAL));
    session_->addOutput(videoOutput_);
    audioOutput_ = AVCaptureAudioDataOutput::create();
    if (session_->canAddOutput(audioOutput_)) {
        session_->addOutput(audioOutput_);
        audioOutput_->setSampleBufferDelegate_queue(delegate, dispatch_queue_create("MyAudioQueue", DISPATCH_QUEUE_SERIAL));
    }
    session_->startRunning();
}

bool CaptureVideoController::setupAssetWriter()
{
    const std::string path = moviePath();
    NSLog("%@", path);
    // Every recording goes to the same file, and a writer will not replace a file: the last
    // recording's is removed first.
    Ref<NSFileManager> files = NSFileManager::defaultManager();
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!files->fileExistsAtPath(folder)) {
        files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(folder, true, Value(), nullptr);
    }
    if (files->fileExistsAtPath(path)) {
        files->removeItemAtPath_error(path);
    }
    Ref<NSError> error;
    Ref<AVAssetWriter> writer =
        AVAssetWriter::assetWriterWithURL_fileType_error(NSURL::fileURLWithPath(path), AVFileTypeMPEG4, &error);
    if (!writer) {
        NSLog("%@", error ? error->localizedDescription() : std::string("(null)"));
        return false;
    }
    Ref<AVAssetWriterInput> videoInput = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(
        AVMediaTypeVideo, RecorderVideoSettings(640, 480, 5000000, 4));
    videoInput->setExpectsMediaDataInRealTime(true);
    Ref<AVAssetWriterInput> audioInput =
        AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(AVMediaTypeAudio, RecorderAudioSettings());
    audioInput->setExpectsMediaDataInRealTime(true);
    // The recording needs both inputs: without one of them it does not start.
    if (!writer->canAddInput(videoInput)) {
        NSLog("Cannot write to this type of video input");
        return false;
    }
    writer->addInput(videoInput);
    if (!writer->canAddInput(audioInput)) {
        NSLog("Cannot write to this type of audio input");
        return false;
    }
    writer->addInput(audioInput);
    if (!writer->startWriting()) {
        return false;
    }
    prepared_ = RecorderWriting{writer, videoInput, audioInput, false};
    return true;
}

bool CaptureVideoController::isCapture() const
{
    std::lock_guard lock(writingMutex_);
    return writing_.writer != nullptr;
}

void CaptureVideoController::switchCapture(const Ref<UIButton>& sender)
{
    if (isCapture()) {
        RecorderWriting finishing;
        {
            std::lock_guard lock(writingMutex_);
            finishing = std::move(writing_);
            writing_ = RecorderWriting{};
        }
        finishing.videoInput->markAsFinished();
        finishing.audioInput->markAsFinished();
        finishing.writer->finishWriting();
        if (sender) {
            sender->setTitle_forState("开始", UIControlStateNormal);
        }
        NSLog("%@", std::string("开始"));
        return;
    }
    if (!setupAssetWriter()) {
        return;
    }
    {
        std::lock_guard lock(writingMutex_);
        writing_ = std::move(prepared_);
        prepared_ = RecorderWriting{};
        const CMTime now = CaptureVideoController_cpp::g_now.get();
        // Before any sample has arrived there is no time to start at: the first frame gives it.
        if (CMTIME_IS_VALID(now)) {
            writing_.writer->startSessionAtSourceTime(now);
        } else {
            writing_.sessionPending = true;
        }
    }
    if (sender) {
        sender->setTitle_forState("停止", UIControlStateNormal);
    }
    NSLog("%@", std::string("停止"));
}

Ref<UIImage> CaptureVideoController::imageFromSampleBuffer(const CMSampleBufferRef& sampleBuffer)
{
    return RecorderImageFromSampleBuffer(sampleBuffer);
}

void CaptureVideoController::captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& output,
                                                                               const CMSampleBufferRef& sampleBuffer,
                                                                               const Ref<AVCaptureConnection>& connection)
{
    if (!CMSampleBufferDataIsReady(sampleBuffer)) {
        NSLog("sample buffer is not ready. Skipping sample");
        return;
    }
    CaptureVideoController_cpp::g_now.set(CMSampleBufferGetPresentationTimeStamp(sampleBuffer));
    bool recording = false;
    if (output == audioOutput_) {
        if (!RecorderAppend(writingMutex_, writing_, false, sampleBuffer, &recording) && recording) {
            NSLog("音频丢帧了...");
        }
    } else if (output == videoOutput_) {
        Ref<UIImage> image = imageFromSampleBuffer(sampleBuffer);
        Weak<CaptureVideoController> weakSelf = self<CaptureVideoController>();
        dispatch_async(dispatch_get_main_queue(), [weakSelf, image] {
            if (auto me = weakSelf.lock(); me && image) {
                me->view()->layer()->setContents(image->CGImage());
            }
        });
        if (!RecorderAppend(writingMutex_, writing_, true, sampleBuffer, &recording) && recording) {
            NSLog("视频丢帧了...");
        }
    } else {
        NSLog("%@ 这是个啥那", output ? std::string("AVCaptureOutput") : std::string("(null)"));
    }
}
