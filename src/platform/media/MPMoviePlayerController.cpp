#include "platform/media/MPMoviePlayerController.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/MoviePlayback.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"

namespace {
namespace MPMoviePlayerController_cpp {

std::string gravityFor(MPMovieScalingMode mode)
{
    switch (mode) {
    case MPMovieScalingModeAspectFill:
        return kCAGravityResizeAspectFill;
    case MPMovieScalingModeFill:
        return kCAGravityResize;
    case MPMovieScalingModeNone:
        return kCAGravityCenter;
    default:
        return kCAGravityResizeAspect;
    }
}

}  // namespace MPMoviePlayerController_cpp
}  // namespace

Ref<MPMoviePlayerController> MPMoviePlayerController::initWithContentURL(const Ref<NSURL>& url)
{
    auto player = std::make_shared<MPMoviePlayerController>();
    player->contentURL_ = url;
    player->view_ = UIView::initWithFrame(CGRectMake(0, 0, 320, 240));
    player->view_->setBackgroundColor(UIColor::blackColor());
    player->view_->layer()->setContentsGravity(MPMoviePlayerController_cpp::gravityFor(player->scalingMode_));
    return player;
}

MPMoviePlayerController::~MPMoviePlayerController()
{
    if (playback_) {
        playback_->close();
    }
}

Ref<UIView> MPMoviePlayerController::view() const { return view_; }

void MPMoviePlayerController::setScalingMode(MPMovieScalingMode mode)
{
    scalingMode_ = mode;
    view_->layer()->setContentsGravity(MPMoviePlayerController_cpp::gravityFor(mode));
}

void MPMoviePlayerController::setContentURL(const Ref<NSURL>& url)
{
    stop();
    contentURL_ = url;
}

void MPMoviePlayerController::load()
{
    if (playback_ || !contentURL_) {
        return;
    }
    failed_ = false;
    finishOwed_ = true;
    Weak<MPMoviePlayerController> weak = self<MPMoviePlayerController>();
    MoviePlaybackListener listener;
    listener.frame = [weak](const CGImageRef& image, double) {
        if (auto player = weak.lock()) {
            player->view_->layer()->setContents(image);
        }
    };
    listener.ready = [weak](double duration, CGSize size) {
        if (auto player = weak.lock()) {
            player->duration_ = duration;
            player->naturalSize_ = size;
            NSNotificationCenter::defaultCenter()->postNotificationName_object(MPMovieDurationAvailableNotification,
                                                                               Value(Ref<NSObject>(player)));
            player->setLoadState(MPMovieLoadStatePlayable | MPMovieLoadStatePlaythroughOK);
        }
    };
    listener.failed = [weak](const std::string& reason) {
        if (auto player = weak.lock()) {
            player->failed_ = true;
            player->setLoadState(MPMovieLoadStateUnknown);
            player->setPlaybackState(MPMoviePlaybackStateStopped);
            player->postFinish(MPMovieFinishReasonPlaybackError, reason);
        }
    };
    listener.ended = [weak]() {
        if (auto player = weak.lock()) {
            player->setPlaybackState(MPMoviePlaybackStateStopped);
            player->postFinish(MPMovieFinishReasonPlaybackEnded);
        }
    };
    const std::string location = contentURL_->isFileURL() ? contentURL_->path() : contentURL_->absoluteString();
    playback_ = MoviePlayback::open(location, std::move(listener));
}

void MPMoviePlayerController::unload()
{
    if (!playback_) {
        return;
    }
    auto playback = std::move(playback_);
    playback->close();
    view_->layer()->setContents(nullptr);
    duration_ = 0;
    naturalSize_ = {0, 0};
    loadState_ = MPMovieLoadStateUnknown;
}

void MPMoviePlayerController::prepareToPlay() { load(); }

void MPMoviePlayerController::play()
{
    if (!contentURL_) {
        return;
    }
    if (playback_ && failed_) {
        unload();
    }
    load();
    if (playback_->hasEnded()) {
        finishOwed_ = true;
        playback_->seek(0);
    }
    playback_->play();
    setPlaybackState(MPMoviePlaybackStatePlaying);
}

void MPMoviePlayerController::pause()
{
    if (!playback_ || playbackState_ != MPMoviePlaybackStatePlaying) {
        return;
    }
    playback_->pause();
    setPlaybackState(MPMoviePlaybackStatePaused);
}

void MPMoviePlayerController::stop()
{
    if (!playback_) {
        return;
    }
    const bool owed = finishOwed_;
    unload();
    // The finish is posted here, before stop returns, so that whoever starts the next movie at once
    // cannot be taken for the owner of the one that was stopped.
    if (owed) {
        postFinish(MPMovieFinishReasonUserExited);
    }
    setPlaybackState(MPMoviePlaybackStateStopped);
}

double MPMoviePlayerController::currentPlaybackTime() const { return playback_ ? playback_->currentTime() : 0; }

void MPMoviePlayerController::setCurrentPlaybackTime(double seconds)
{
    load();
    if (playback_) {
        playback_->seek(seconds);
    }
}

void MPMoviePlayerController::setPlaybackState(MPMoviePlaybackState state)
{
    if (state == playbackState_) {
        return;
    }
    playbackState_ = state;
    NSNotificationCenter::defaultCenter()->postNotificationName_object(MPMoviePlayerPlaybackStateDidChangeNotification,
                                                                       Value(Ref<NSObject>(self())));
}

void MPMoviePlayerController::setLoadState(MPMovieLoadState state)
{
    if (state == loadState_) {
        return;
    }
    loadState_ = state;
    NSNotificationCenter::defaultCenter()->postNotificationName_object(MPMoviePlayerLoadStateDidChangeNotification,
                                                                       Value(Ref<NSObject>(self())));
}

void MPMoviePlayerController::postFinish(MPMovieFinishReason reason, const std::string& error)
{
    finishOwed_ = false;
    Value info = Value::dictionary({{MPMoviePlayerPlaybackDidFinishReasonUserInfoKey, Value(int(reason))}});
    if (!error.empty()) {
        info.setObject_forKey(Value(error), "error");
    }
    NSNotificationCenter::defaultCenter()->postNotificationName_object_userInfo(
        MPMoviePlayerPlaybackDidFinishNotification, Value(Ref<NSObject>(self())), info);
}
