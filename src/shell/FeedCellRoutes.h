#pragma once
// Where the feed cell's actions lead: the screens it pushes or presents on the feed's navigation
// controller, and the own page it refreshes after a local video was deleted.
#include "platform/foundation/Value.h"

class FeedVC;
class UINavigationController;

namespace FeedCellRoutes {
// A person's page (feed kind 10), pushed.
void openUserPage(const Ref<UINavigationController>& navigation, const Value& suid);
// The video page of a scid (page type 2), pushed.
void openVideoPage(const Ref<UINavigationController>& navigation, const Value& scid);
// The place map of a video, pushed.
void openPlaceMap(const Ref<UINavigationController>& navigation, const Value& channel);
// The share dialog of a video in its own navigation controller, presented.
void openShareDialog(const Ref<UINavigationController>& navigation, const Value& channel);
// The screen a server-sent action names ("action", "data").
void openWebAction(const Value& action, const Ref<UINavigationController>& navigation);
// The own page rebuilds its local entries and reloads (nothing when the page is gone).
void refreshLocalMedias(const Ref<FeedVC>& page);
}  // namespace FeedCellRoutes

namespace FeedCellRoutes {
// The recording screen for a new video sign, presented in its own navigation controller.
void presentSignRecorder(const Ref<UINavigationController>& navigation);
}  // namespace FeedCellRoutes
