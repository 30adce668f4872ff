// Gallery entries of the inline player, the full-screen movie player and the review screen after a
// recording, each showing a decoded frame of a short movie recorded from the synthetic camera once for
// the run (the camera's colour bars with its frame counter).
#include <memory>
#include <string>

#include "capture/PPlayer.h"
#include "capture/PZMoviePlayer/PZMoviePlayerController.h"
#include "capture/PZVideoCaptureEditController.h"
#include "fixtures/GrowingMovie.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVPlayer.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace gallery {

namespace {
namespace PlayerEntries_cpp {

// The movie, written on first use; "" when it could not be written. Kept for the whole run.
const std::string& clip()
{
    static const std::string path = [] {
        static auto* folder = new TemporaryFolder("ombri-gallery-player");
        const std::string file = *folder / "clip.mov";
        GrowingMovieOptions options;
        options.seconds = 2;
        options.frameRate = 10;
        GrowingMovie movie(file, options);
        return movie.start() && movie.writeFrames(movie.totalFrames()) && movie.finish() ? file : std::string();
    }();
    return path;
}

}  // namespace PlayerEntries_cpp
}  // namespace

void registerPlayerEntries()
{
    using PlayerEntries_cpp::clip;
    // A feed item's player playing the clip in place.
    auto inline_ = std::make_shared<Weak<PPlayer>>();
    UIGallery::add({"inline-player-playing", CGSizeMake(320, 240),
                    [inline_](const Ref<UIWindow>& window) {
                        auto player = PPlayer::initWithFrame_andType(CGRectMake(0, 0, 320, 240), PPlayer::TypeFeed);
                        window->addSubview(player);
                        player->setUrl(clip());
                        player->play();
                        *inline_ = player;
                    },
                    [inline_] {
                        const auto player = inline_->lock();
                        const auto movie = PPlayer::sharedMoviePlayer();
                        return player && player->juhua()->isHidden() && movie->view()->superview() == player &&
                               movie->view()->layer()->contents() != nullptr;
                    }});
    // The review screen after a recording: the clip the recording screen left, played by a tap on the
    // player's play button as a person starts it.
    struct Review {
        Weak<PZVideoCaptureEditController> screen;
        bool tapped = false;
    };
    auto review_ = std::make_shared<Review>();
    UIGallery::add({"review-screen", CGSizeMake(320, 480),
                    [review_](const Ref<UIWindow>& window) {
                        auto review = PZVideoCaptureEditController::create();
                        review->setMovileFilePath(Value(clip()));
                        window->setRootViewController(UINavigationController::initWithRootViewController(review));
                        *review_ = Review{review, false};
                    },
                    [review_] {
                        const auto review = review_->screen.lock();
                        const Ref<PPlayer> player = review ? review->player() : nullptr;
                        if (!player || !player->window()) {
                            return false;
                        }
                        if (!review_->tapped) {
                            const Ref<UIButton> play = player->playBtn();
                            const CGRect frame = play->convertRect_toView(play->bounds(), nullptr);
                            player->window()->simulateTap(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
                            review_->tapped = true;
                            return false;
                        }
                        const auto movie = PPlayer::sharedMoviePlayer();
                        return player->juhua()->isHidden() && movie->view()->superview() == player &&
                               movie->view()->layer()->contents() != nullptr;
                    }});
    // The full-screen player on the phone turned sideways, paused on the first frame with its controls.
    auto screen_ = std::make_shared<Weak<PZMoviePlayerController>>();
    UIGallery::add({"full-screen-player", CGSizeMake(480, 320),
                    [screen_](const Ref<UIWindow>& window) {
                        auto root = UIViewController::create();
                        window->setRootViewController(root);
                        auto screen = PZMoviePlayerController::initwithFile(NSURL::fileURLWithPath(clip())->absoluteString());
                        root->presentModalViewController_animated(screen, false);
                        *screen_ = screen;
                    },
                    [screen_] {
                        const auto screen = screen_->lock();
                        return screen && screen->player()->currentItem() &&
                               screen->player()->currentItem()->status() == AVPlayerItemStatusReadyToPlay &&
                               screen->playerLayer()->contents() != nullptr;
                    }});
}

}  // namespace gallery
