#include "shell/FeedCellFull.h"
#include "shell/HeaderView.h"

// The inline player of the cell. Until the player view is available the cell keeps an empty place for
// it: the photo frame, rows and heights do not depend on it.

void FeedCellFull::makePlayer() {}

Ref<UIView> FeedCellFull::playerViewAsView() const { return nullptr; }

void FeedCellFull::fillPlayerWithChannel(CGRect, const Value&, int) {}

void FeedCellFull::fillPlayerWithLocalMovie(CGRect, const std::string&, const std::string&) {}

Ref<UIView> HeaderView::makeSignPlayer(CGRect, const Value&) { return nullptr; }
