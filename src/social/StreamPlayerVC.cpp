#include "social/StreamPlayerVC.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"

namespace {
namespace StreamPlayerVC_cpp {

constexpr CGFloat kBarHeight = 44;

}  // namespace StreamPlayerVC_cpp
}  // namespace

Ref<StreamPlayerVC> StreamPlayerVC::initWithContentURL(const std::string& url)
{
    auto player = make<StreamPlayerVC>();
    player->url_ = url;
    return player;
}

StreamPlayerVC::~StreamPlayerVC()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (moviePlayer_) {
        moviePlayer_->stop();
    }
}

void StreamPlayerVC::loadView()
{
    setView(UIView::initWithFrame(CGRectMake(0, 0, 320, 480)));
}

void StreamPlayerVC::viewDidLoad()
{
    using namespace StreamPlayerVC_cpp;
    UIViewController::viewDidLoad();
    const Ref<UIView> root = view();
    const CGRect bounds = root->bounds();
    root->setBackgroundColor(UIColor::blackColor());

    moviePlayer_ = MPMoviePlayerController::initWithContentURL(NSURL::URLWithString(url_));
    moviePlayer_->setControlStyle(MPMovieControlStyleFullscreen);
    moviePlayer_->setScalingMode(MPMovieScalingModeAspectFit);
    const Ref<UIView> movie = moviePlayer_->view();
    movie->setFrame(bounds);
    movie->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    root->addSubview(movie);

    spinner_ = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhiteLarge);
    spinner_->setCenter(CGPointMake(bounds.size.width / 2, bounds.size.height / 2));
    spinner_->setHidesWhenStopped(true);
    spinner_->startAnimating();
    root->addSubview(spinner_);

    failureLabel_ = UILabel::initWithFrame(CGRectMake(20, bounds.size.height / 2 - 15, bounds.size.width - 40, 30));
    failureLabel_->setText("视频无法播放");
    failureLabel_->setTextAlignment(UITextAlignmentCenter);
    failureLabel_->setTextColor(UIColor::whiteColor());
    failureLabel_->setFont(UIFont::boldSystemFontOfSize(16));
    failureLabel_->setBackgroundColor(UIColor::clearColor());
    failureLabel_->setHidden(true);
    root->addSubview(failureLabel_);

    topBar_ = UIView::initWithFrame(CGRectMake(0, 0, bounds.size.width, kBarHeight));
    topBar_->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.6));
    topBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    root->addSubview(topBar_);

    doneButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    doneButton_->setBackgroundImage_forState(UIImage::imageNamed("player-done-button"), UIControlStateNormal);
    doneButton_->setTitle_forState("完成", UIControlStateNormal);
    doneButton_->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
    doneButton_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(14));
    doneButton_->setFrame(CGRectMake(10, 7, 50, 30));
    doneButton_->addTarget_action_forControlEvents(self<StreamPlayerVC>(), UIControlAction::make("done", &StreamPlayerVC::done),
                                                   UIControlEventTouchUpInside);
    topBar_->addSubview(doneButton_);

    auto center = NSNotificationCenter::defaultCenter();
    const Ref<StreamPlayerVC> me = self<StreamPlayerVC>();
    center->addObserver_selector_name_object(me, &StreamPlayerVC::loadStateDidChange,
                                             MPMoviePlayerLoadStateDidChangeNotification, Value(moviePlayer_));
    center->addObserver_selector_name_object(me, &StreamPlayerVC::playbackDidFinish,
                                             MPMoviePlayerPlaybackDidFinishNotification, Value(moviePlayer_));
}

void StreamPlayerVC::viewWillAppear(bool animated)
{
    UIViewController::viewWillAppear(animated);
    // The picture takes the whole screen.
    statusBarWasHidden_ = UIApplication::sharedApplication()->isStatusBarHidden();
    UIApplication::sharedApplication()->setStatusBarHidden(true);
}

void StreamPlayerVC::viewDidAppear(bool animated)
{
    UIViewController::viewDidAppear(animated);
    moviePlayer_->play();
}

void StreamPlayerVC::viewWillDisappear(bool animated)
{
    UIViewController::viewWillDisappear(animated);
    moviePlayer_->stop();
    UIApplication::sharedApplication()->setStatusBarHidden(statusBarWasHidden_);
}

bool StreamPlayerVC::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void StreamPlayerVC::done()
{
    moviePlayer_->stop();
    dismissModalViewControllerAnimated(true);
}

void StreamPlayerVC::loadStateDidChange()
{
    if (moviePlayer_->loadState() & MPMovieLoadStatePlayable) {
        spinner_->stopAnimating();
    }
}

void StreamPlayerVC::playbackDidFinish(const Ref<NSNotification>& notification)
{
    switch (notification->userInfo()[MPMoviePlayerPlaybackDidFinishReasonUserInfoKey].intValue()) {
    case MPMovieFinishReasonPlaybackEnded:
        dismissModalViewControllerAnimated(true);
        break;
    case MPMovieFinishReasonPlaybackError:
        spinner_->stopAnimating();
        failureLabel_->setHidden(false);
        break;
    default:
        // The person left (done, or the screen went away): nothing more to show.
        break;
    }
}
