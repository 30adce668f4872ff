#include "capture/PPlayer.h"
#include "shell/FeedCellFull.h"
#include "shell/HeaderView.h"

// The inline players of the cell and of the header's signs. The record, the viewer's own mark and the
// navigation controller go to the player once the player takes them; until then it shows the place,
// the local clip and its cover.

void FeedCellFull::makePlayer()
{
    playerView_ = PPlayer::initWithFrame_andType(CGRectZero, 0);
    playerView_->setHidden(true);
    contentView()->addSubview(playerView_);
}

Ref<UIView> FeedCellFull::playerViewAsView() const { return playerView_; }

void FeedCellFull::fillPlayerWithChannel(CGRect frame, const Value&, int)
{
    playerView_->setHidden(false);
    playerView_->setFrame(frame);
}

void FeedCellFull::fillPlayerWithLocalMovie(CGRect frame, const std::string& moviePath, const std::string& coverPath)
{
    playerView_->setHidden(false);
    playerView_->setFrame(frame);
    playerView_->setUrl(moviePath);
    playerView_->setCover(coverPath);
}

Ref<UIView> HeaderView::makeSignPlayer(CGRect bounds, const Value&)
{
    return PPlayer::initWithFrame_andType(bounds, 2);
}
