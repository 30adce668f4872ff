#include "capture/PPlayer.h"
#include "shell/FeedCellFull.h"
#include "shell/HeaderView.h"

// The inline players of the cell and of the header's signs: the record, the viewer's own mark and the
// navigation controller the feedback popup opens over go to the player; a local entry gives its clip
// and cover instead.

void FeedCellFull::makePlayer()
{
    playerView_ = PPlayer::initWithFrame_andType(CGRectZero, 0);
    playerView_->setHidden(true);
    contentView()->addSubview(playerView_);
}

Ref<UIView> FeedCellFull::playerViewAsView() const { return playerView_; }

void FeedCellFull::fillPlayerWithChannel(CGRect frame, const Value& channel, int selfmark)
{
    playerView_->setHidden(false);
    playerView_->setFrame(frame);
    playerView_->setNavigationController(navigationController());
    playerView_->setSelfmark(selfmark);
    playerView_->setChannel(channel);
}

void FeedCellFull::fillPlayerWithLocalMovie(CGRect frame, const std::string& moviePath, const std::string& coverPath)
{
    playerView_->setHidden(false);
    playerView_->setFrame(frame);
    playerView_->setUrl(moviePath);
    playerView_->setCover(coverPath);
}

Ref<UIView> HeaderView::makeSignPlayer(CGRect bounds, const Value& channel)
{
    auto player = PPlayer::initWithFrame_andType(bounds, 2);
    player->setChannel(channel);
    return player;
}
