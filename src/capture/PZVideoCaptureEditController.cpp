#include "capture/PZVideoCaptureEditController.h"

#include "bridge/PZFFmpeg.h"
#include "capture/PPlayer.h"
#include "capture/VideoShareController.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAsset.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"

void PZVideoCaptureEditController::loadView()
{
    // The screen's own layout: the clip over the whole screen, the bottom bar with reject on the left
    // and accept in the middle, where the recording screen had its cancel and record buttons.
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 320, 460));
    root->setBackgroundColor(UIColor::blackColor());
    setView(root);

    auto bar = UIImageView::initWithImage(UIImage::imageNamed("capture-bar-bg"));
    bar->setFrame(CGRectMake(0, 407, 320, 53));
    root->addSubview(bar);

    captureRejectButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    captureRejectButton_->setShowsTouchWhenHighlighted(true);
    captureRejectButton_->setImage_forState(UIImage::imageNamed("capture-review-reject"), UIControlStateNormal);
    captureRejectButton_->setFrame(CGRectMake(0, 407, 38.5, 53));
    captureRejectButton_->addTarget_action_forControlEvents(
        self<PZVideoCaptureEditController>(),
        UIControlAction::make("captureReject:", &PZVideoCaptureEditController::captureReject),
        UIControlEventTouchUpInside);
    root->addSubview(captureRejectButton_);

    captureAcceptButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    captureAcceptButton_->setImage_forState(UIImage::imageNamed("capture-review-accept"), UIControlStateNormal);
    captureAcceptButton_->setImage_forState(UIImage::imageNamed("capture-review-accept-passed"),
                                            UIControlStateHighlighted);
    captureAcceptButton_->setFrame(CGRectMake(112, 411, 96, 44));
    captureAcceptButton_->addTarget_action_forControlEvents(
        self<PZVideoCaptureEditController>(),
        UIControlAction::make("captureAccept:", &PZVideoCaptureEditController::captureAccept),
        UIControlEventTouchUpInside);
    root->addSubview(captureAcceptButton_);
}

void PZVideoCaptureEditController::viewDidLoad()
{
    PZViewController::viewDidLoad();
    if (movileFilePath_.isNil()) {
        return;
    }
    const std::string path = movileFilePath_.stringValue();
    // The engine names a job after any path it is given, so a recording that left no movie (its folder
    // could not be made, the writer failed) is not entered at all: it stays without a guid.
    if (AVURLAsset::URLAssetWithURL_options(NSURL::fileURLWithPath(path))->isReadable()) {
        guid_ = PZFFmpeg::getMovieGuid(path);
    } else {
        NSLog("no movie to import at %@", path);
    }
    const Value cover = guid_.isNil() ? Value() : PZFFmpeg::fetchMovieInfo_WithField(guid_.stringValue(), "localimg");
    player_ = PPlayer::initWithFrame_andType(CGRectMake(0, 0, 320, 407), 1);
    player_->setUrl(path);
    player_->setCover(cover.stringValue());
    NSLog("url %@, thumb %@", path, cover);
    view()->insertSubview_atIndex(player_, 0);
}

void PZVideoCaptureEditController::viewWillAppear(bool animated)
{
    PZViewController::viewWillAppear(animated);
    if (auto navigation = navigationController()) {
        navigation->setNavigationBarHidden(true);
    }
}

void PZVideoCaptureEditController::viewDidDisappear(bool animated)
{
    PZViewController::viewDidDisappear(animated);
    PPlayer::stop();
}

void PZVideoCaptureEditController::viewDidUnload()
{
    PZViewController::viewDidUnload();
    captureAcceptButton_ = nullptr;
    captureRejectButton_ = nullptr;
    movileFilePath_ = Value();
    guid_ = Value();
}

void PZVideoCaptureEditController::captureReject(const Ref<UIButton>&)
{
    // The imported job stays in the local media list.
    dismissModalViewControllerAnimated(true);
}

void PZVideoCaptureEditController::captureAccept(const Ref<UIButton>&)
{
    // Without an imported clip there is nothing to publish: the engine would be handed operations for
    // no job and the person would believe the video was sent.
    if (guid_.isNil() || guid_.stringValue().empty()) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
            kCaptureNoVideoTitle, kCaptureNoVideoMessage, nullptr, "确定")
            ->show();
        return;
    }
    const std::string guid = guid_.stringValue();
    if (videoSign_) {
        PZFFmpeg::modify_withTitleOnline(guid, "ombrivideosign");
        PZFFmpeg::startUpload_withLimits(guid, "off");
        PZFFmpeg::videoSign(guid);
        dismissModalViewControllerAnimated(true);
        return;
    }
    auto share = VideoShareController::create();
    share->setGuid(guid_);
    share->setTopic(topic_);
    if (auto navigation = navigationController()) {
        navigation->pushViewController_animated(share, true);
    }
}
