#include "capture/PPlayer.h"

#include "api/LoginState.h"
#include "api/RecordAccessors.h"
#include "api/SessionHooks.h"
#include "capture/FeedbackPopup.h"
#include "net/webimage/UIImageViewWebCache.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/StatusBarOverlay.h"

namespace {
namespace PPlayer_cpp {

constexpr UIViewAutoresizing kFlexibleMargins = UIViewAutoresizingFlexibleLeftMargin |
                                                UIViewAutoresizingFlexibleRightMargin |
                                                UIViewAutoresizingFlexibleTopMargin |
                                                UIViewAutoresizingFlexibleBottomMargin;
constexpr UIViewAutoresizing kFlexibleSize = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;

// The live status of a record: such a video shows "直播" instead of its length.
constexpr int kLiveStatus = 10;

}  // namespace PPlayer_cpp
}  // namespace

Ref<PPlayer> PPlayer::initWithFrame_andType(CGRect frame, int type)
{
    auto player = std::make_shared<PPlayer>();
    player->initWithFrame_andTypeBody(frame, type);
    return player;
}

void PPlayer::initWithFrame_andTypeBody(CGRect frame, int type)
{
    using namespace PPlayer_cpp;
    UIView::initWithFrameBody(frame);
    usage_ = type;
    const CGFloat w = frame.size.width;
    const CGFloat h = frame.size.height;

    coverImgv_ = UIImageView::initWithFrame(bounds());
    coverImgv_->setAutoresizingMask(kFlexibleSize);
    addSubview(coverImgv_);

    auto whole = UIButton::buttonWithType(UIButtonTypeCustom);
    whole->setFrame(bounds());
    whole->setAutoresizingMask(kFlexibleSize);
    whole->addTarget_action_forControlEvents(self(), UIControlAction::make("resize", &PPlayer::resize),
                                             UIControlEventTouchUpInside);
    addSubview(whole);

    playBtn_ = UIButton::buttonWithType(UIButtonTypeCustom);
    playBtn_->setBackgroundImage_forState(UIImage::imageNamed("video-thumbnail-overaly"), UIControlStateNormal);
    playBtn_->setBounds(CGRectMake(0, 0, 50, 50));
    playBtn_->setCenter(CGPointMake(w / 2, h / 2));
    playBtn_->addTarget_action_forControlEvents(self(), UIControlAction::make("play", &PPlayer::play),
                                                UIControlEventTouchUpInside);
    playBtn_->setAutoresizingMask(kFlexibleMargins);
    addSubview(playBtn_);

    auto center = NSNotificationCenter::defaultCenter();
    const Ref<PPlayer> me = self<PPlayer>();
    center->addObserver_selector_name_object(me, &PPlayer::playbackDidFinish,
                                             MPMoviePlayerPlaybackDidFinishNotification, Value());
    center->addObserver_selector_name_object(me, &PPlayer::loadStateChanged,
                                             MPMoviePlayerLoadStateDidChangeNotification, Value());
    center->addObserver_selector_name_object(me, &PPlayer::playbackStatusChanged,
                                             MPMoviePlayerPlaybackStateDidChangeNotification, Value());

    juhua_ = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhite);
    juhua_->setHidden(true);
    juhua_->setCenter(CGPointMake(w / 2, h / 2));
    juhua_->setAutoresizingMask(kFlexibleMargins);
    addSubview(juhua_);

    setBackgroundColor(UIColor::whiteColor());
    setClipsToBounds(true);

    showFeedbackButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    showFeedbackButton_->setBackgroundImage_forState(UIImage::imageNamed("tag-emotion.png"), UIControlStateNormal);
    showFeedbackButton_->setFrame(CGRectMake(w - 44, h - 27, 44, 27));
    showFeedbackButton_->setAutoresizingMask(UIViewAutoresizingFlexibleRightMargin);
    showFeedbackButton_->addTarget_action_forControlEvents(
        self(), UIControlAction::make("showFeedback", &PPlayer::showFeedback), UIControlEventTouchUpInside);
    myEmotion_ = UIImageView::initWithImage(UIImage::imageNamed("emotion0.png"));
    myEmotion_->setFrame(CGRectMake(6, 5, 18, 18));
    showFeedbackButton_->addSubview(myEmotion_);
    hotCountLable_ = UILabel::initWithFrame(CGRectMake(21, 0, 20, 27));
    hotCountLable_->setTextAlignment(UITextAlignmentCenter);
    hotCountLable_->setTextColor(UIColor::whiteColor());
    hotCountLable_->setFont(UIFont::boldSystemFontOfSize(10));
    hotCountLable_->setBackgroundColor(UIColor::clearColor());
    showFeedbackButton_->addSubview(hotCountLable_);
    addSubview(showFeedbackButton_);

    videoLastTime_ = UILabel::initWithFrame(CGRectMake(0, 0, 40, 18));
    videoLastTime_->setFont(UIFont::boldSystemFontOfSize(12));
    videoLastTime_->setClipsToBounds(true);
    videoLastTime_->layer()->setCornerRadius(5);
    videoLastTime_->setTextAlignment(UITextAlignmentCenter);
    videoLastTime_->setTextColor(UIColor::whiteColor());
    videoLastTime_->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0, 0, 0, 0.3));
    addSubview(videoLastTime_);

    deletedCover_ = UIView::initWithFrame(bounds());
    deletedCover_->setBackgroundColor(UIColor::lightGrayColor());
    deletedCover_->setHidden(true);
    deletedCover_->setAutoresizingMask(kFlexibleSize);
    deletedCoverImage_ = UIImageView::initWithImage(UIImage::imageNamed("video_deleted.png"));
    deletedCoverImage_->setCenter(CGPointMake(w / 2, h / 2));
    deletedCoverImage_->setAutoresizingMask(kFlexibleMargins);
    deletedCover_->addSubview(deletedCoverImage_);
    addSubview(deletedCover_);

    isPlayer_ = false;
    full_ = false;
}

PPlayer::~PPlayer()
{
    // Releasing any player stops whatever the shared player plays.
    NSNotificationCenter::defaultCenter()->removeObserver(static_cast<const NSObject*>(this));
    PPlayer::stop();
    url_.clear();
    channel_ = Value();
}

void PPlayer::setFrame(CGRect frame)
{
    UIView::setFrame(frame);
    if (showFeedbackButton_) {
        showFeedbackButton_->setFrame(CGRectMake(frame.size.width - 44, 0, 44, 27));
    }
}

void PPlayer::setChannel(const Value& channel)
{
    channel_ = channel;
    fullFill();
}

void PPlayer::fullFill()
{
    const int hot = Channel_getHotCount(channel_);
    hotCountLable_->setText(hot < 100 ? stringWithFormat("%d", hot) : std::string("99+"));
    WebCache::setImageWithURL(coverImgv_, NSURL::URLWithString(Channel_getCover(channel_)));
    const int status = Channel_getStatus(channel_);
    if (status == PPlayer_cpp::kLiveStatus) {
        videoLastTime_->setText("直播");
    } else {
        videoLastTime_->setText(Channel_getVideoTime(channel_).stringValue());
    }
    videoLastTime_->setHidden(false);
    if (usage_ == TypePage) {
        showFeedbackButton_->setHidden(true);
    }
    deletedCover_->setHidden(!(status < 0));
}

void PPlayer::setUrl(const std::string& path)
{
    url_ = path;
    showFeedbackButton_->setHidden(true);
    videoLastTime_->setHidden(true);
}

void PPlayer::setCover(const std::string& path)
{
    cover_ = path;
    // A local clip's cover is its first picture, of the clip's own shape, which the frame it is shown
    // in need not have (a portrait recording in a landscape feed cell): shown whole on black, as the
    // movie itself is fitted when it plays, never stretched.
    coverImgv_->setContentMode(UIViewContentModeScaleAspectFit);
    coverImgv_->setBackgroundColor(UIColor::blackColor());
    coverImgv_->setImage(UIImage::imageWithContentsOfFile(path));
}

void PPlayer::setSelfmark(int mark)
{
    selfmark_ = mark;
    myEmotion_->setImage(UIImage::imageNamed(stringWithFormat("emotion%d.png", mark)));
}

void PPlayer::play()
{
    auto movie = sharedMoviePlayer();
    // A player that was playing hears its finish inside this stop and goes back to its cover.
    movie->stop();

    playBtn_->setHidden(true);
    videoLastTime_->setHidden(true);
    juhua_->setHidden(false);
    juhua_->startAnimating();

    auto view = movie->view();
    view->setFrame(bounds());
    insertSubview_atIndex(view, 0);
    movie->setControlStyle(MPMovieControlStyleNone);
    view->setAutoresizingMask(PPlayer_cpp::kFlexibleSize);

    if (channel_.isNil()) {
        movie->setContentURL(NSURL::fileURLWithPath(url_));
    } else {
        movie->setContentURL(NSURL::URLWithString(Channel_getVideoUrl(channel_)));
    }
    movie->play();
    isPlayer_ = true;
    loaded_ = false;
    failed_ = false;
}

void PPlayer::loadStateChanged()
{
    if (!isPlayer_) {
        return;
    }
    NSLog("load state changed %d", int(sharedMoviePlayer()->loadState()));
    if (sharedMoviePlayer()->loadState() & MPMovieLoadStatePlayable) {
        loaded_ = true;
    }
    juhua_->stopAnimating();
    juhua_->setHidden(true);
    // The cover goes behind the movie so that the video shows.
    insertSubview_atIndex(coverImgv_, 0);
}

void PPlayer::playbackDidFinish(const Ref<NSNotification>& notification)
{
    const Value reason = notification ? notification->userInfo()[MPMoviePlayerPlaybackDidFinishReasonUserInfoKey] : Value();
    if (isPlayer_ && reason.intValue() == MPMovieFinishReasonPlaybackError) {
        NSLog("play failed: %@", notification->userInfo()["error"]);
        failed_ = true;
        StatusBarOverlay::sharedOverlay()->postErrorMessage_duration_animated(kLoadFailedMessage, 2.0, true);
    }
    finished();
}

void PPlayer::finished()
{
    if (!isPlayer_) {
        return;
    }
    NSLog("play finished");
    juhua_->setHidden(true);
    sharedMoviePlayer()->view()->removeFromSuperview();
    playBtn_->setHidden(false);
    videoLastTime_->setHidden(false);
    isPlayer_ = false;
}

void PPlayer::resize()
{
    if (usage_ == TypeReview) {
        return;
    }
    // A movie that failed to load, or is still loading, has nothing to show full screen.
    if (!full_ && (failed_ || (isPlayer_ && !loaded_))) {
        return;
    }
    UIView::beginAnimations_context("", nullptr);
    auto application = UIApplication::sharedApplication();
    if (!full_) {
        showFeedbackButton_->setHidden(true);
        lastSuperView_ = superview();
        lastFrame_ = frame();
        NSLog("lastFrame %f %f %f %f", lastFrame_.origin.x, lastFrame_.origin.y, lastFrame_.size.width,
              lastFrame_.size.height);
        if (frame().size.width > frame().size.height) {
            setTransform(CGAffineTransformMakeRotation(1.5707963));
            landscape_ = true;
        }
        setFrame(CGRectMake(0, 0, 320, 480));
        application->setStatusBarHidden_withAnimation(true, UIStatusBarAnimationFade);
        auto delegate = application->delegate();
        if (auto window = delegate ? delegate->window() : nullptr) {
            window->addSubview(self<UIView>());
        }
        if (sharedMoviePlayer()->view()->superview().get() != this) {
            sharedMoviePlayer()->stop();
        }
    } else {
        if (usage_ == TypeFeed) {
            showFeedbackButton_->setHidden(false);
        }
        if (landscape_) {
            setTransform(CGAffineTransformIdentity);
            landscape_ = false;
        }
        setFrame(frame());
        application->setStatusBarHidden_withAnimation(false, UIStatusBarAnimationFade);
        if (auto back = lastSuperView_.lock()) {
            back->addSubview(self<UIView>());
        }
        setFrame(lastFrame_);
    }
    full_ = !full_;
    UIView::commitAnimations();
}

void PPlayer::showFeedback()
{
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    auto super = superview();
    NSLog("%@", super ? super->className() : std::string("(null)"));
    auto navigation = navigationController();
    const CGPoint origin = showFeedbackButton_->frame().origin;
    const CGPoint point = convertPoint_toView(origin, navigation ? navigation->view() : nullptr);
    NSLog("show super super frame %f %f", point.x, point.y);
    FeedbackPopup::showAtPostion_withChannel_andNavi(point, channel_, navigation);
}

Ref<MPMoviePlayerController> PPlayer::sharedMoviePlayer()
{
    // Kept for the life of the process: its view moves between the players.
    static Ref<MPMoviePlayerController>* shared =
        new Ref<MPMoviePlayerController>(MPMoviePlayerController::initWithContentURL(nullptr));
    return *shared;
}

void PPlayer::stop() { sharedMoviePlayer()->stop(); }
