#include "capture/recorders/UICaptureVideoController.h"

#include "bridge/PZFFmpeg.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIView.h"

namespace {
namespace UICaptureVideoController_cpp {

// The time of the last sample that arrived, for every recorder of this kind.
SharedSampleTime g_endTime;

Ref<UIButton> makeButton(const char* title, CGRect frame)
{
    Ref<UIButton> button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(frame);
    button->setTitle_forState(title, UIControlStateNormal);
    return button;
}

}  // namespace UICaptureVideoController_cpp
}  // namespace

UICaptureVideoController::~UICaptureVideoController()
{
    if (session_) {
        session_->stopRunning();
    }
}

void UICaptureVideoController::loadView()
{
    using namespace UICaptureVideoController_cpp;
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 320, 480));
    setView(root);
    const Ref<UICaptureVideoController> me = self<UICaptureVideoController>();
    startButton_ = makeButton("开始", CGRectMake(10, 420, 90, 40));
    startButton_->addTarget_action_forControlEvents(
        me, UIControlAction::make("startVideo:", &UICaptureVideoController::startVideo), UIControlEventTouchUpInside);
    stopButton_ = makeButton("停止", CGRectMake(115, 420, 90, 40));
    stopButton_->addTarget_action_forControlEvents(
        me, UIControlAction::make("stopVideo:", &UICaptureVideoController::stopVideo), UIControlEventTouchUpInside);
    bitrateButton_ = makeButton("500k", CGRectMake(220, 420, 90, 40));
    bitrateButton_->addTarget_action_forControlEvents(
        me, UIControlAction::make("chargeBitrate:", &UICaptureVideoController::chargeBitrate), UIControlEventTouchUpInside);
    root->addSubview(startButton_);
    root->addSubview(stopButton_);
    root->addSubview(bitrateButton_);
}

void UICaptureVideoController::viewDidLoad()
{
    UIViewController::viewDidLoad();
    setSession();
}

bool UICaptureVideoController::setSession()
{
    session_ = AVCaptureSession::create();
    session_->setSessionPreset(AVCaptureSessionPresetMedium);
    Ref<NSError> error;
    videoDeviceInput_ =
        AVCaptureDeviceInput::deviceInputWithDevice_error(AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo), &error);
    audioDeviceInput_ =
        AVCaptureDeviceInput::deviceInputWithDevice_error(AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeAudio), &error);
    if (videoDeviceInput_) {
        session_->addInput(videoDeviceInput_);
    }
    if (audioDeviceInput_) {
        session_->addInput(audioDeviceInput_);
    }
    const Weak<AVCaptureSampleBufferDelegate> delegate = self<UICaptureVideoController>();
    videoOutput_ = AVCaptureVideoDataOutput::create();
    videoOutput_->setVideoSettings(Value::dictionary(
        {{kCVPixelBufferPixelFormatTypeKey, Value(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA))}}));
    videoOutput_->setAlwaysDiscardsLateVideoFrames(true);
    videoOutput_->setMinFrameDuration(CMTimeMake(1, 30));
    session_->addOutput(videoOutput_);
    videoOutput_->setSampleBufferDelegate_queue(delegate, dispatch_queue_create("VideoQueue", DISPATCH_QUEUE_SERIAL));
    audioOutput_ = AVCaptureAudioDataOutput::create();
    if (session_->canAddOutput(audioOutput_)) {
        session_->addOutput(audioOutput_);
    }
    audioOutput_->setSampleBufferDelegate_queue(delegate, dispatch_queue_create("AudioQueue", DISPATCH_QUEUE_SERIAL));
    session_->startRunning();
    return true;
}

void UICaptureVideoController::setVideoConnect()
{
    Ref<AVCaptureConnection> connection = videoOutput_ ? videoOutput_->connectionWithMediaType(AVMediaTypeVideo) : nullptr;
    if (connection && connection->isVideoOrientationSupported()) {
        connection->setVideoOrientation(
            static_cast<AVCaptureVideoOrientation>(UIDevice::currentDevice()->orientation()));
    }
}

void UICaptureVideoController::setMovieFilePath()
{
    const std::string folder = NSHomeDirectory() + "/Documents/media/";
    NSLog("%@", folder);
    auto formatter = NSDateFormatter::create();
    formatter->setDateFormat("yyyy'-'MM'-'dd'-'HH'-'mm'-'ss");
    const std::string stamp = formatter->stringFromDate(NSDate::date());
    Ref<NSFileManager> files = NSFileManager::defaultManager();
    if (!files->fileExistsAtPath(folder)) {
        if (!files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(folder, true, Value(), nullptr)) {
            NSLog("Error: Create folder failed %@", folder);
        }
    }
    // Names go by the second: a second start within it gets a counter rather than a writer refused
    // on the first recording's file.
    std::string path = folder + stringWithFormat("%@.MOV", stamp);
    for (int counter = 1; files->fileExistsAtPath(path); ++counter) {
        path = folder + stringWithFormat("%@-%d.MOV", stamp, counter);
    }
    movileFilePath_ = path;
}

void UICaptureVideoController::setvideoSettings()
{
    videoOutputSettings_ = RecorderVideoSettings(static_cast<int>(videoSize_.width), static_cast<int>(videoSize_.height),
                                                 videoBitRate_, 120);
}

void UICaptureVideoController::chargeBitrate(const Ref<UIButton>& sender)
{
    videoBitRate_ = 500000;
    setvideoSettings();
}

void UICaptureVideoController::setAudiosettings()
{
    audioOutputSettings_ = RecorderAudioSettings();
}

bool UICaptureVideoController::setAVasset()
{
    videoSize_ = CGSizeMake(480, 320);
    setMovieFilePath();
    setvideoSettings();
    setAudiosettings();
    Ref<NSError> error;
    Ref<AVAssetWriter> writer = AVAssetWriter::assetWriterWithURL_fileType_error(NSURL::fileURLWithPath(movileFilePath_),
                                                                                 AVFileTypeMPEG4, &error);
    if (!writer) {
        return false;
    }
    Ref<AVAssetWriterInput> videoInput =
        AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(AVMediaTypeVideo, videoOutputSettings_);
    videoInput->setExpectsMediaDataInRealTime(true);
    Ref<AVAssetWriterInput> audioInput =
        AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(AVMediaTypeAudio, audioOutputSettings_);
    audioInput->setExpectsMediaDataInRealTime(true);
    writer->addInput(videoInput);
    writer->addInput(audioInput);
    prepared_ = RecorderWriting{writer, videoInput, audioInput, false};
    return true;
}

bool UICaptureVideoController::isRecording() const
{
    std::lock_guard lock(writingMutex_);
    return writing_.writer != nullptr;
}

void UICaptureVideoController::startVideo(const Ref<UIButton>& sender)
{
    if (isRecording() || !setAVasset() || !prepared_.writer->startWriting()) {
        return;
    }
    {
        std::lock_guard lock(writingMutex_);
        writing_ = std::move(prepared_);
        prepared_ = RecorderWriting{};
        const CMTime endTime = UICaptureVideoController_cpp::g_endTime.get();
        if (CMTIME_IS_VALID(endTime)) {
            writing_.writer->startSessionAtSourceTime(endTime);
        } else {
            writing_.sessionPending = true;  // no sample yet: the first frame starts the movie
        }
    }
    NSLog("%@", movileFilePath_);
    PZFFmpeg::startLiveWithFileName_realName(movileFilePath_, std::string());
}

void UICaptureVideoController::stopVideo(const Ref<UIButton>& sender)
{
    NSLog("%f", CMTimeGetSeconds(UICaptureVideoController_cpp::g_endTime.get()));
    RecorderWriting finishing;
    {
        std::lock_guard lock(writingMutex_);
        finishing = std::move(writing_);
        writing_ = RecorderWriting{};
    }
    if (finishing.writer) {
        finishing.audioInput->markAsFinished();
        finishing.videoInput->markAsFinished();
        finishing.writer->finishWriting();
    }
    // Only now that the file holds every sample does the engine's live job end: its remux reads the
    // file to the end before it stops.
    PZFFmpeg::stopLive();
    NSLog("%@", movileFilePath_);
}

Ref<UIImage> UICaptureVideoController::imageFromSampleBuffer(const CMSampleBufferRef& sampleBuffer)
{
    return RecorderImageFromSampleBuffer(sampleBuffer);
}

void UICaptureVideoController::captureOutput_didOutputSampleBuffer_fromConnection(const Ref<AVCaptureOutput>& output,
                                                                                 const CMSampleBufferRef& sampleBuffer,
                                                                                 const Ref<AVCaptureConnection>& connection)
{
    UICaptureVideoController_cpp::g_endTime.set(CMSampleBufferGetPresentationTimeStamp(sampleBuffer));
    bool recording = false;
    if (output == videoOutput_) {
        Ref<UIImage> image = imageFromSampleBuffer(sampleBuffer);
        Weak<UICaptureVideoController> weakSelf = self<UICaptureVideoController>();
        dispatch_sync(dispatch_get_main_queue(), [&] {
            if (auto me = weakSelf.lock(); me && image) {
                me->view()->layer()->setContents(image->CGImage());
            }
        });
        RecorderAppend(writingMutex_, writing_, true, sampleBuffer, &recording);
    } else if (output == audioOutput_) {
        RecorderAppend(writingMutex_, writing_, false, sampleBuffer, &recording);
    }
}
