#include "capture/PZMoviePlayer/PZMoviePlayerController.h"

#include <cmath>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAsset.h"
#include "platform/media/AVPlayer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIPhotoAlbum.h"
#include "platform/uikit/UISlider.h"

namespace {
namespace PZMoviePlayerController_cpp {

// A movie time as the platform describes one in its logs.
std::string describe(CMTime time)
{
    if (CMTIME_IS_INVALID(time)) {
        return "{INVALID}";
    }
    return stringWithFormat("{%lld/%d = %.3f}", static_cast<long long>(time.value), int(time.timescale),
                            CMTimeGetSeconds(time));
}

// The controls' layer over the video: its buttons take touches, the space between them lets a tap
// through to the video, which shows and hides the controls.
class ControlsOverlay : public UIView {
public:
    Ref<UIView> hitTest_withEvent(CGPoint point, const Ref<UIEvent>& event) override
    {
        Ref<UIView> hit = UIView::hitTest_withEvent(point, event);
        return hit.get() == this ? nullptr : hit;
    }
};

}  // namespace PZMoviePlayerController_cpp
}  // namespace

Ref<PZMoviePlayerController> PZMoviePlayerController::initwithFile(const std::string& file)
{
    auto controller = make<PZMoviePlayerController>();
    controller->movieFile_ = file;
    return controller;
}

PZMoviePlayerController::~PZMoviePlayerController()
{
    if (player_ && timeObserver_) {
        player_->removeTimeObserver(timeObserver_);
    }
}

std::string PZMoviePlayerController::timeText(double seconds)
{
    const long whole = std::isfinite(seconds) && seconds > 0 ? long(seconds) : 0;
    return stringWithFormat("%.2f", double(whole / 60) + double(whole % 60) / 100.0);
}

void PZMoviePlayerController::loadView()
{
    // A landscape screen.
    setView(UIView::initWithFrame(CGRectMake(0, 0, 480, 320)));
}

void PZMoviePlayerController::viewDidLoad()
{
    auto root = view();
    const CGRect bounds = root->bounds();
    root->setBackgroundColor(UIColor::blackColor());

    auto tapArea = UIView::initWithFrame(bounds);
    tapArea->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    tapArea->addGestureRecognizer(UITapGestureRecognizer::initWithTarget_action(
        self(), UISelector::make("tipView:", &PZMoviePlayerController::tipView)));
    root->addSubview(tapArea);

    player_ = AVPlayer::playerWithURL(NSURL::URLWithString(movieFile_));
    Weak<PZMoviePlayerController> weak = self<PZMoviePlayerController>();
    timeObserver_ = player_->addPeriodicTimeObserverForInterval_queue_usingBlock(
        CMTimeMake(25, 25), dispatch_get_main_queue(), [weak](CMTime time) {
            auto me = weak.lock();
            if (!me) {
                return;
            }
            const double seconds = CMTimeGetSeconds(time);
            me->videoCurrentTimeLable_->setText(timeText(seconds));
            me->progressSlider_->setValue(float(std::floor(std::max(0.0, seconds))));
        });

    playerLayer_ = AVPlayerLayer::playerLayerWithPlayer(player_);
    playerLayer_->setFrame(bounds);
    playerLayer_->setVideoGravity(AVLayerVideoGravityResizeAspect);
    // The video is shown by the tap area's layer, behind every control.
    tapArea->layer()->addSublayer(playerLayer_);

    playerControlsView_ = UIView::makeWithFrame<PZMoviePlayerController_cpp::ControlsOverlay>(bounds);
    playerControlsView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    root->addSubview(playerControlsView_);

    sizeButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    sizeButton_->setImage_forState(UIImage::imageNamed("player-view-button"), UIControlStateNormal);
    sizeButton_->setFrame(CGRectMake(10, 10, 30, 30));
    sizeButton_->addTarget_action_forControlEvents(
        self(), UIControlAction::make("fullscreenSwitch:", &PZMoviePlayerController::fullscreenSwitch),
        UIControlEventTouchUpInside);
    playerControlsView_->addSubview(sizeButton_);

    snapButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    snapButton_->setImage_forState(UIImage::imageNamed("snap-icon"), UIControlStateNormal);
    snapButton_->setBackgroundImage_forState(UIImage::imageNamed("player-done-button"), UIControlStateNormal);
    snapButton_->setFrame(CGRectMake(bounds.size.width - 120, 10, 50, 30));
    snapButton_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    snapButton_->addTarget_action_forControlEvents(
        self(), UIControlAction::make("cropThumb:", &PZMoviePlayerController::cropThumb), UIControlEventTouchUpInside);
    playerControlsView_->addSubview(snapButton_);

    doneButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    doneButton_->setBackgroundImage_forState(UIImage::imageNamed("player-done-button"), UIControlStateNormal);
    doneButton_->setTitle_forState("完成", UIControlStateNormal);
    doneButton_->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
    doneButton_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(14));
    doneButton_->setFrame(CGRectMake(bounds.size.width - 60, 10, 50, 30));
    doneButton_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    doneButton_->addTarget_action_forControlEvents(
        self(), UIControlAction::make("donePlay:", &PZMoviePlayerController::donePlay), UIControlEventTouchUpInside);
    playerControlsView_->addSubview(doneButton_);

    contolsLayer_ = UIView::initWithFrame(CGRectMake(20, bounds.size.height - 40, bounds.size.width - 40, 40));
    contolsLayer_->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("player-scrubber-bg")));
    contolsLayer_->layer()->setCornerRadius(10);
    contolsLayer_->layer()->setBorderColor(UIColor::whiteColor()->CGColor());
    contolsLayer_->layer()->setBorderWidth(2);
    contolsLayer_->setClipsToBounds(true);
    playerControlsView_->addSubview(contolsLayer_);

    const CGFloat barWidth = contolsLayer_->bounds().size.width;
    playButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    playButton_->setImage_forState(UIImage::imageNamed("icon-play"), UIControlStateNormal);
    playButton_->setFrame(CGRectMake(8, 5, 30, 30));
    playButton_->addTarget_action_forControlEvents(
        self(), UIControlAction::make("playVideo:", &PZMoviePlayerController::playVideo), UIControlEventTouchUpInside);
    contolsLayer_->addSubview(playButton_);

    progressSlider_ = UISlider::initWithFrame(CGRectMake(46, 10, barWidth - 46 - 64, 20));
    progressSlider_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    progressSlider_->setMinimumValue(0);
    progressSlider_->setMaximumValue(100);
    progressSlider_->setValue(0);
    progressSlider_->addTarget_action_forControlEvents(
        self(), UIControlAction::make("videoSeekToTime:", &PZMoviePlayerController::videoSeekToTime),
        UIControlEventValueChanged);
    contolsLayer_->addSubview(progressSlider_);

    videoCurrentTimeLable_ = UILabel::initWithFrame(CGRectMake(barWidth - 56, 10, 48, 20));
    videoCurrentTimeLable_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    videoCurrentTimeLable_->setText("0");
    videoCurrentTimeLable_->setTextColor(UIColor::whiteColor());
    videoCurrentTimeLable_->setFont(UIFont::systemFontOfSize(13));
    videoCurrentTimeLable_->setBackgroundColor(UIColor::clearColor());
    contolsLayer_->addSubview(videoCurrentTimeLable_);

    UIApplication::sharedApplication()->setStatusBarHidden(true);
}

void PZMoviePlayerController::layoutPlayer()
{
    auto root = view();
    root->layoutIfNeeded();
    const CGRect bounds = root->bounds();
    playerLayer_->setFrame(bounds);
    contolsLayer_->setFrame(CGRectMake(20, bounds.size.height - 40, bounds.size.width - 40, 40));
}

void PZMoviePlayerController::viewWillAppear(bool animated)
{
    UIViewController::viewWillAppear(animated);
    layoutPlayer();
}

void PZMoviePlayerController::viewDidAppear(bool animated)
{
    UIViewController::viewDidAppear(animated);
    // Only landscape is allowed: a screen put up upright is turned as the phone turns it.
    auto root = view();
    if (root->frame().size.width < root->frame().size.height) {
        root->setFrame(CGRectMake(0, 0, 480, 320));
        layoutPlayer();
    }
}

void PZMoviePlayerController::viewWillDisappear(bool animated)
{
    UIViewController::viewWillDisappear(animated);
    player_->pause();
}

bool PZMoviePlayerController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationLandscapeLeft;
}

void PZMoviePlayerController::playVideo(const Ref<NSObject>&)
{
    if (isPlayer_) {
        player_->pause();
        playButton_->setImage_forState(UIImage::imageNamed("icon-play"), UIControlStateNormal);
        isPlayer_ = false;
    } else {
        progressSlider_->setMaximumValue(float(CMTimeGetSeconds(player_->currentItem()->duration())));
        player_->play();
        playButton_->setImage_forState(UIImage::imageNamed("icon-pause"), UIControlStateNormal);
        isPlayer_ = true;
    }
}

void PZMoviePlayerController::videoSeekToTime(const Ref<NSObject>&)
{
    player_->seekToTime(CMTimeMake(int64_t(progressSlider_->value()), 1));
}

void PZMoviePlayerController::fullscreenSwitch(const Ref<NSObject>&)
{
    auto root = view();
    UIView::animateWithDuration_animations(0.3, [&] {
        if (root->frame().size.width == 480) {
            root->setFrame(CGRectMake(150, 0, 330, 275));
        } else {
            root->setFrame(CGRectMake(0, 0, 480, 320));
        }
        layoutPlayer();
    });
}

void PZMoviePlayerController::cropThumb(const Ref<NSObject>&)
{
    auto item = player_->currentItem();
    if (!item) {
        return;
    }
    auto generator = AVAssetImageGenerator::assetImageGeneratorWithAsset(item->asset());
    generator->setAppliesPreferredTrackTransform(true);
    const CMTime asked = player_->currentTime();
    CMTime actual = kCMTimeInvalid;
    CGImageRef image = generator->copyCGImageAtTime_actualTime_error(asked, &actual, nullptr);
    if (!image) {
        return;
    }
    NSLog("got halfWayImage: Asked for %@, got %@", PZMoviePlayerController_cpp::describe(asked),
          PZMoviePlayerController_cpp::describe(actual));
    UIImageWriteToSavedPhotosAlbum(UIImage::imageWithCGImage(image));
}

void PZMoviePlayerController::donePlay(const Ref<NSObject>&) { dismissModalViewControllerAnimated(true); }

void PZMoviePlayerController::tipView(const Ref<UIGestureRecognizer>&)
{
    playerControlsView_->setHidden(!playerControlsView_->isHidden());
}
