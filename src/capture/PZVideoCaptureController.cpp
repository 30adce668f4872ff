#include "capture/PZVideoCaptureController.h"

#include <algorithm>
#include <cstdlib>

#include "api/Edition.h"
#include "bridge/PZFFmpeg.h"
#include "capture/PZVideoCaptureEditController.h"
#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUMovieWriter.h"
#include "capture/gpu/GPURotationFilter.h"
#include "capture/gpu/GPUSobelEdgeDetectionFilter.h"
#include "capture/gpu/GPUVideoCamera.h"
#include "capture/gpu/GPUView.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/media/AVCaptureSession.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITouch.h"

namespace {
namespace PZVideoCaptureController_cpp {

// The record clock: one count for the process, as the screen is one at a time.
int g_recordSeconds = 0;

std::function<void(int)>& exitHook()
{
    static std::function<void(int)>& hook = *new std::function<void(int)>([](int status) { std::exit(status); });
    return hook;
}

std::string& editionOverride()
{
    static std::string& word = *new std::string;
    return word;
}

std::string editionWord()
{
    return editionOverride().empty() ? std::string(kEditionWord) : editionOverride();
}

bool isOwnEdition(const std::string& word)
{
    return word.empty() || word == "ombri";
}

std::string clockText(int seconds)
{
    return stringWithFormat("%02d:%02d:%02d", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

void setImages(const Ref<UIButton>& button, const std::string& normal, const std::string& highlighted)
{
    button->setImage_forState(UIImage::imageNamed(normal), UIControlStateNormal);
    button->setImage_forState(UIImage::imageNamed(highlighted), UIControlStateHighlighted);
}

// A focus point of the device's space lies within 0 to 1 on both axes; a tap below the picture's
// 460 points would ask for more.
CGFloat unitClamp(CGFloat value)
{
    return std::clamp<CGFloat>(value, 0, 1);
}

}  // namespace PZVideoCaptureController_cpp
}  // namespace

Ref<PZVideoCaptureController> PZVideoCaptureController::create()
{
    return make<PZVideoCaptureController>();
}

Ref<PZVideoCaptureController> PZVideoCaptureController::initWithScreen(const Ref<UIScreen>&)
{
    return create();
}

PZVideoCaptureController::~PZVideoCaptureController()
{
    if (auto timer = timer_.lock()) {
        timer->invalidate();
    }
}

int PZVideoCaptureController::recordSeconds()
{
    return PZVideoCaptureController_cpp::g_recordSeconds;
}

void PZVideoCaptureController::setExitHook(std::function<void(int)> hook)
{
    PZVideoCaptureController_cpp::exitHook() = hook ? std::move(hook) : [](int status) { std::exit(status); };
}

void PZVideoCaptureController::setEditionWordForTesting(const std::string& word)
{
    PZVideoCaptureController_cpp::editionOverride() = word;
}

bool PZVideoCaptureController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

bool PZVideoCaptureController::isRecording() const
{
    return captureButton_ && captureButton_->isSelected();
}

Ref<GPUView> PZVideoCaptureController::previewView()
{
    return std::dynamic_pointer_cast<GPUView>(view());
}

// ---- Layout -------------------------------------------------------------------------------------------

void PZVideoCaptureController::loadView()
{
    using namespace PZVideoCaptureController_cpp;
    auto root = GPUView::initWithFrame(CGRectMake(0, 0, 320, 480));
    root->setBackgroundColor(UIColor::blackColor());
    setView(root);

    cameraButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    setImages(cameraButton_, "capture-flip", "capture-flip-passed");
    cameraButton_->setFrame(CGRectMake(240, 10, 70, 30));
    cameraButton_->addTarget_action_forControlEvents(
        self<PZVideoCaptureController>(), UIControlAction::make("toggleCamera:", &PZVideoCaptureController::toggleCamera),
        UIControlEventTouchUpInside);
    root->addSubview(cameraButton_);

    torchButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    setImages(torchButton_, "capture-flash-off", "capture-flash-off-passed");
    torchButton_->setFrame(CGRectMake(15, 10, 39, 32));
    torchButton_->addTarget_action_forControlEvents(
        self<PZVideoCaptureController>(), UIControlAction::make("toggleTorch:", &PZVideoCaptureController::toggleTorch),
        UIControlEventTouchUpInside);
    root->addSubview(torchButton_);

    if (isOwnEdition(editionWord())) {
        filterIcon_ = {"filter-original", "filter-blakWhite", "filter-oldFilm", "filter-antiColor",
                       "filter-radial",   "filter-pro",       "filter-edge",    "filter-sketch",
                       "filter-toon",     "filter-sobeledge", "filter-8bit"};
    } else {
        filterIcon_ = {"filter-original", "filter-blakWhite", "filter-oldFilm", "filter-antiColor", "filter-radial",
                       "filter-pro",      "filter-edge",      "filter-sketch",  "filter-toon",      "filter-more"};
    }

    filterView_ = UIView::initWithFrame(CGRectMake(0, 365, 320, 130));
    filterView_->setExclusiveTouch(true);
    root->addSubview(filterView_);

    filterButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    filterButton_->setBackgroundImage_forState(UIImage::imageNamed("capture-lens"), UIControlStateNormal);
    filterButton_->setTitleColor_forState(UIColor::blackColor(), UIControlStateNormal);
    filterButton_->titleLabel()->setFont(UIFont::systemFontOfSize(12));
    filterButton_->setFrame(CGRectMake(240, 0, 75, 32));
    filterButton_->addTarget_action_forControlEvents(
        self<PZVideoCaptureController>(),
        UIControlAction::make("toggleFilterView:", &PZVideoCaptureController::toggleFilterView),
        UIControlEventTouchUpInside);
    filterView_->addSubview(filterButton_);

    filterScrollView_ = UIScrollView::initWithFrame(CGRectMake(0, 45, 320, 68));
    filterScrollView_->setContentSize(CGSizeMake(CGFloat(filterIcon_.size()) * 64, 68));
    filterScrollView_->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.5));
    filterScrollView_->setShowsHorizontalScrollIndicator(false);
    filterScrollView_->setShowsVerticalScrollIndicator(false);
    filterScrollView_->setUserInteractionEnabled(false);
    filterView_->addSubview(filterScrollView_);

    for (size_t i = 0; i < filterIcon_.size(); ++i) {
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setImage_forState(UIImage::imageNamed(filterIcon_[i]), UIControlStateNormal);
        button->setBackgroundImage_forState(UIImage::imageNamed("filter-bg"), UIControlStateSelected);
        button->setFrame(CGRectMake(CGFloat(i) * 64, 3, 62, 62));
        button->setTag(NSInteger(1000 + i));
        button->addTarget_action_forControlEvents(
            self<PZVideoCaptureController>(),
            UIControlAction::make("selectFilter:", &PZVideoCaptureController::selectFilter), UIControlEventTouchUpInside);
        filterScrollView_->addSubview(button);
    }

    // Added after the filter bar, so it covers the bar's lower part.
    auto bottomBar = UIImageView::initWithImage(UIImage::imageNamed("capture-bar-bg"));
    bottomBar->setFrame(CGRectMake(0, 407, 320, 53));
    root->addSubview(bottomBar);

    captureButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    captureButton_->setImage_forState(UIImage::imageNamed("capture-button"), UIControlStateNormal);
    captureButton_->setImage_forState(UIImage::imageNamed("capture-button-passed"), UIControlStateSelected);
    captureButton_->setFrame(CGRectMake(112, 411, 96, 44));
    captureButton_->addTarget_action_forControlEvents(
        self<PZVideoCaptureController>(), UIControlAction::make("start:", &PZVideoCaptureController::start),
        UIControlEventTouchUpInside);
    auto videoMark = UIImageView::initWithImage(UIImage::imageNamed("capture-button-video"));
    videoMark->setFrame(CGRectMake(30.4, 4.5, 35, 35));
    videoMark->setTag(1000);
    captureButton_->addSubview(videoMark);
    root->addSubview(captureButton_);

    captureCancel_ = UIButton::buttonWithType(UIButtonTypeCustom);
    captureCancel_->setShowsTouchWhenHighlighted(true);
    const Ref<UIImage> reject = UIImage::imageNamed("capture-review-reject");
    captureCancel_->setImage_forState(reject, UIControlStateNormal);
    captureCancel_->setImage_forState(reject, UIControlStateSelected);
    captureCancel_->setImage_forState(reject, UIControlStateHighlighted);
    captureCancel_->setFrame(CGRectMake(0, 407, 38.5, 53));
    captureCancel_->addTarget_action_forControlEvents(
        self<PZVideoCaptureController>(),
        UIControlAction::make("cancelCapture:", &PZVideoCaptureController::cancelCapture), UIControlEventTouchUpInside);
    root->addSubview(captureCancel_);

    if (live_) {
        auto liveMark = UIImageView::initWithImage(UIImage::imageNamed("Live"));
        liveMark->setFrame(CGRectMake(270, 15, 34, 15));
        bottomBar->addSubview(liveMark);
    }

    countLable_ = UILabel::initWithFrame(CGRectMake(230, 10, 80, 30));
    countLable_->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.2));
    countLable_->layer()->setCornerRadius(5);
    countLable_->layer()->setBorderColor(UIColor::colorWithWhite_alpha(1, 0.4)->CGColor());
    countLable_->layer()->setBorderWidth(1);
    countLable_->setTextAlignment(UITextAlignmentCenter);
    countLable_->setTextColor(UIColor::whiteColor());
    countLable_->setText(clockText(0));
    countLable_->setHidden(true);
    root->addSubview(countLable_);

    smallFocusView_ = UIImageView::initWithImage(UIImage::imageNamed("focussquare-small"));
    smallFocusView_->setFrame(CGRectZero);
    smallFocusView_->setAlpha(0);
    root->addSubview(smallFocusView_);
}

void PZVideoCaptureController::viewDidLoad()
{
    UIViewController::viewDidLoad();
    captureButton_->setEnabled(false);
}

// ---- Appearance ---------------------------------------------------------------------------------------

void PZVideoCaptureController::viewWillAppear(bool animated)
{
    UIViewController::viewWillAppear(animated);
    // Each appearance starts again with the first look; the button picked last time lets go of its
    // selection, so only one button shows as chosen.
    if (auto previous = std::dynamic_pointer_cast<UIControl>(view()->viewWithTag(currentFilter_))) {
        previous->setSelected(false);
    }
    currentFilter_ = 1000;
    if (auto first = std::dynamic_pointer_cast<UIControl>(view()->viewWithTag(1000))) {
        first->setSelected(true);
    }
    UIApplication::sharedApplication()->setIdleTimerDisabled(true);
    setMovieFilePath();
    if (auto navigation = navigationController()) {
        navigation->setNavigationBarHidden(true);
    }
    startCamera();
}

void PZVideoCaptureController::viewWillDisappear(bool animated)
{
    UIViewController::viewWillDisappear(animated);
    // A recording still running is finished before the chain goes: a movie without its index could
    // not be played, and the clock would tick on.
    if (isRecording()) {
        stopRecording(true);
    }
    UIApplication::sharedApplication()->setIdleTimerDisabled(false);
    if (auto navigation = navigationController()) {
        navigation->setNavigationBarHidden(false);
    }
    if (videoCamera_) {
        videoCamera_->stopCameraCapture();
        videoCamera_->removeAllTargets();
    }
    if (filter_) {
        filter_->removeAllTargets();
    }
    videoCamera_ = nullptr;
    filter_ = nullptr;
    movieWriter_ = nullptr;
    PZVideoCaptureController_cpp::g_recordSeconds = 0;
}

void PZVideoCaptureController::setMovieFilePath()
{
    const std::string folder = NSHomeDirectory() + "/Documents/media/";
    const Ref<NSFileManager> files = NSFileManager::defaultManager();
    if (!files->fileExistsAtPath(folder)) {
        if (!files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(folder, true, Value(), nullptr)) {
            NSLog("Error: Create folder failed %@", folder);
        }
    }
    auto formatter = NSDateFormatter::create();
    formatter->setDateFormat("yyyy'-'MM'-'dd'-'HH'-'mm'-'ss");
    const std::string stamp = formatter->stringFromDate(NSDate::date());
    // Names go by the second: a name already taken gets a counter rather than a second writer on a
    // file that may already be a job's clip.
    std::string path = folder + stringWithFormat("%@.MOV", stamp);
    for (int counter = 1; files->fileExistsAtPath(path); ++counter) {
        path = folder + stringWithFormat("%@-%d.MOV", stamp, counter);
    }
    movileFilePath_ = path;
}

// ---- The chain ----------------------------------------------------------------------------------------

void PZVideoCaptureController::connectChain()
{
    auto rotation = GPURotationFilter::initWithRotation(1);
    videoCamera_->addTarget(rotation);
    rotation->addTarget(filter_);
    filter_->addTarget(previewView());
    if (movieWriter_) {
        filter_->addTarget(movieWriter_);
    }
}

void PZVideoCaptureController::startCamera()
{
    // The filter first: its shaders come from the install, and a damaged one does not compile. The
    // camera is not started then, and the person is told that recording cannot be done.
    Ref<GPUFilter> first;
    try {
        first = GPUFilter::initWithFragmentShaderFromFile("originality");
    } catch (const NSException& exception) {
        NSLog("Recording unavailable: %@", exception.reason());
        captureButton_->setEnabled(false);
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
            kCaptureUnavailableTitle, kCaptureUnavailableMessage, nullptr, "确定")
            ->show();
        return;
    }
    videoCamera_ = GPUVideoCamera::initWithSessionPreset_cameraPosition(AVCaptureSessionPreset640x480,
                                                                      AVCaptureDevicePositionBack);
    filter_ = first;
    movieWriter_ = nullptr;
    connectChain();
    videoCamera_->startCameraCapture();

    const Ref<AVCaptureDeviceInput>& input = videoCamera_->videoInput();
    torchButton_->setHidden(!input || !input->device()->hasTorch());
    bool hasFront = false;
    for (const auto& device : AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo)) {
        hasFront = hasFront || device->position() == AVCaptureDevicePositionFront;
    }
    cameraButton_->setHidden(!hasFront);

    movieWriter_ = GPUMovieWriter::initWithMovieURL_size(NSURL::fileURLWithPath(movileFilePath_), CGSizeMake(480, 640));
    videoCamera_->setMovieWriter(movieWriter_);
    filter_->addTarget(movieWriter_);
    captureButton_->setEnabled(true);
}

// ---- Actions ------------------------------------------------------------------------------------------

void PZVideoCaptureController::selectFilter(const Ref<UIButton>& sender)
{
    using namespace PZVideoCaptureController_cpp;
    if (!sender) {
        return;
    }
    if (auto previous = std::dynamic_pointer_cast<UIControl>(view()->viewWithTag(currentFilter_))) {
        previous->setSelected(false);
    }
    Weak<UIButton> pressed = sender;
    UIView::animateWithDuration_animations_completion(
        0.3, [sender] { sender->setAlpha(0.1); },
        [pressed](bool) {
            UIView::animateWithDuration_animations(0.3, [pressed] {
                if (auto button = pressed.lock()) {
                    button->setAlpha(1);
                }
            });
        });
    sender->setSelected(true);

    const int tag = int(sender->tag());
    if (videoCamera_) {
        videoCamera_->removeAllTargets();
    }
    NSLog("%d", tag);

    const bool own = isOwnEdition(editionWord());
    Ref<GPUFilter> chosen;
    try {
        switch (tag - 1000) {
        case 0: chosen = GPUFilter::initWithFragmentShaderFromFile("originality"); break;
        case 1: chosen = GPUFilter::initWithFragmentShaderFromFile("blackWhite"); break;
        case 2: chosen = GPUFilter::initWithFragmentShaderFromFile("oldFilm"); break;
        case 3: chosen = GPUFilter::initWithFragmentShaderFromFile("antiColor"); break;
        case 4: chosen = GPUFilter::initWithFragmentShaderFromFile("radial"); break;
        case 5: chosen = GPUFilter::initWithFragmentShaderFromFile("pro"); break;
        case 6: chosen = GPUFilter::initWithFragmentShaderFromFile("edge"); break;
        case 7: chosen = GPUSketchFilter::create(); break;
        case 8: chosen = GPUToonFilter::create(); break;
        case 9:
            if (own) {
                chosen = GPUSobelEdgeDetectionFilter::create();
            } else {
                UIApplication::sharedApplication()->openURL(NSURL::URLWithString(kOmbriStoreURL));
                exitHook()(0);
            }
            break;
        case 10:
            if (own) {
                chosen = GPUFilter::initWithFragmentShaderFromFile("earlyBird");
            }
            break;
        default: break;
        }
    } catch (const NSException& exception) {
        // A damaged filter shader: the chain keeps the filter it has and the person hears why.
        NSLog("Filter unavailable: %@", exception.reason());
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
            kCaptureUnavailableTitle, kCaptureFilterUnavailableMessage, nullptr, "确定")
            ->show();
        chosen = nullptr;
    }
    if (chosen) {
        if (filter_) {
            filter_->removeAllTargets();
        }
        filter_ = chosen;
    } else if (videoCamera_ && filter_) {
        filter_->removeAllTargets();  // the filter kept is connected again below, once
    }
    if (videoCamera_ && filter_) {
        connectChain();
    }
    currentFilter_ = tag;
}

void PZVideoCaptureController::toggleFilterView(const Ref<UIButton>&)
{
    UIView::animateWithDuration_animations(0.35, [this] {
        if (filterView_->frame().origin.y != 296) {
            filterView_->setFrame(CGRectMake(0, 296, 320, 114));
            filterScrollView_->setUserInteractionEnabled(true);
        } else {
            filterView_->setFrame(CGRectMake(0, 365, 320, 114));
            filterScrollView_->setUserInteractionEnabled(false);
        }
    });
}

void PZVideoCaptureController::toggleTorch(const Ref<UIButton>&)
{
    using namespace PZVideoCaptureController_cpp;
    if (!videoCamera_) {
        return;
    }
    videoCamera_->toggleFlash();
    const Ref<AVCaptureDeviceInput>& input = videoCamera_->videoInput();
    if (input && input->device()->torchMode() == AVCaptureTorchModeOn) {
        setImages(torchButton_, "capture-flash-on", "capture-flash-on-passed");
    } else {
        setImages(torchButton_, "capture-flash-off", "capture-flash-off-passed");
    }
}

void PZVideoCaptureController::toggleCamera(const Ref<UIButton>&)
{
    using namespace PZVideoCaptureController_cpp;
    if (!videoCamera_) {
        return;
    }
    videoCamera_->toggleCamera();
    const Ref<AVCaptureDeviceInput>& input = videoCamera_->videoInput();
    if (input && input->device()->hasTorch()) {
        torchButton_->setHidden(false);
    } else {
        torchButton_->setHidden(true);
        setImages(torchButton_, "capture-flash-off", "capture-flash-off-passed");
    }
}

void PZVideoCaptureController::start(const Ref<UIButton>& sender)
{
    auto button = sender ? sender : captureButton_;
    auto imageView = std::dynamic_pointer_cast<UIImageView>(button->viewWithTag(1000));
    NSLog("imageView's class is : %@", imageView ? imageView->className() : std::string("(null)"));
    if (button->isSelected()) {
        stopRecording(false);
        return;
    }
    filterView_->setFrame(CGRectMake(0, 365, 320, 114));
    filterScrollView_->setUserInteractionEnabled(false);
    filterButton_->setHidden(true);
    if (imageView) {
        imageView->setAnimationImages(
            {UIImage::imageNamed("capture-button-video-record"), UIImage::imageNamed("capture-button-video-gray")});
        imageView->setAnimationDuration(1.0);
        imageView->startAnimating();
    }
    Weak<PZVideoCaptureController> weak = weakSelf<PZVideoCaptureController>();
    timer_ = NSTimer::scheduledTimerWithTimeInterval(1.0, true, [weak] {
        if (auto screen = weak.lock()) {
            screen->countCaptureTime();
        }
    });
    countLable_->setHidden(false);
    cameraButton_->setHidden(true);
    captureCancel_->setHidden(true);
    if (movieWriter_) {
        movieWriter_->startRecording();
    }
    // The engine's live job opens the movie once, on its own thread, as soon as it runs: the writer
    // has made the file by now, so the job never finds it missing and gives up on the live upload.
    if (live_) {
        PZFFmpeg::startLiveWithFileName_realName(movileFilePath_, "");
    }
    button->setSelected(true);
}

void PZVideoCaptureController::stopRecording(bool leaving)
{
    filterScrollView_->setUserInteractionEnabled(true);
    filterButton_->setHidden(false);
    if (auto imageView = std::dynamic_pointer_cast<UIImageView>(captureButton_->viewWithTag(1000))) {
        imageView->stopAnimating();
    }
    if (auto timer = timer_.lock()) {
        timer->invalidate();
    }
    timer_.reset();
    if (movieWriter_) {
        if (filter_) {
            filter_->removeTarget(movieWriter_);
        }
        movieWriter_->finishRecording();
    }
    captureButton_->setSelected(false);
    countLable_->setHidden(true);
    cameraButton_->setHidden(false);
    captureCancel_->setHidden(false);

    if (live_) {
        // The file is complete before the engine's live job hears of the end, so the remux reads it
        // to its last sample.
        PZFFmpeg::stopLive();
        if (!leaving) {
            dismissModalViewControllerAnimated(true);
        }
    } else if (!leaving) {
        auto review = PZVideoCaptureEditController::create();
        review->setMovileFilePath(Value(movileFilePath_));
        review->setVideoSign(videoSign_);
        review->setTopic(topic_);
        if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(review, true);
        }
    }
}

void PZVideoCaptureController::cancelCapture(const Ref<UIButton>&)
{
    dismissModalViewControllerAnimated(true);
}

void PZVideoCaptureController::countCaptureTime()
{
    using namespace PZVideoCaptureController_cpp;
    ++g_recordSeconds;
    countLable_->setText(clockText(g_recordSeconds));
}

// ---- Focus --------------------------------------------------------------------------------------------

void PZVideoCaptureController::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    using namespace PZVideoCaptureController_cpp;
    for (const Ref<UITouch>& touch : touches) {
        const CGPoint point = touch->locationInView(view());
        if (videoCamera_) {
            videoCamera_->resetFocus(CGPointMake(unitClamp(point.x / 320), unitClamp(point.y / 460)));
        }
        smallFocusView_->setFrame(CGRectMake(0, 0, 100, 100));
        smallFocusView_->setCenter(point);
        const Ref<UIImageView> square = smallFocusView_;
        Weak<PZVideoCaptureController> weak = weakSelf<PZVideoCaptureController>();
        UIView::animateWithDuration_animations_completion(
            0.3,
            [square] {
                square->setAlpha(1);
                const CGRect frame = square->frame();
                square->setFrame(CGRectMake(frame.origin.x, frame.origin.y, 70, 70));
            },
            [weak](bool) {
                if (auto screen = weak.lock()) {
                    screen->blinkFocus(0);
                }
            });
    }
}

void PZVideoCaptureController::blinkFocus(int step)
{
    // Four 0.1 s steps: 0.5, 1, 0.5, 1; the second starts whatever became of the first, each later one
    // only after a step that finished; then the square goes.
    static constexpr CGFloat kAlphas[] = {0.5, 1, 0.5, 1};
    const Ref<UIImageView> square = smallFocusView_;
    Weak<PZVideoCaptureController> weak = weakSelf<PZVideoCaptureController>();
    UIView::animateWithDuration_animations_completion(0.1, [square, step] { square->setAlpha(kAlphas[step]); },
                                                      [weak, step](bool finished) {
                                                          auto screen = weak.lock();
                                                          if (!screen || (!finished && step > 0)) {
                                                              return;
                                                          }
                                                          if (step == 3) {
                                                              screen->smallFocusView_->setAlpha(0);
                                                          } else {
                                                              screen->blinkFocus(step + 1);
                                                          }
                                                      });
}
