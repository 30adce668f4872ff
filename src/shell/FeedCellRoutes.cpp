#include "shell/FeedCellRoutes.h"

#include "api/Categories.h"
#include "platform/uikit/UINavigationController.h"
#include "shell/FeedVC.h"
#include "shell/VideoMainPage.h"
#include "social/MapVC.h"
#include "social/Share.h"
#include "capture/PZVideoCaptureController.h"
#include "platform/uikit/UIScreen.h"

namespace FeedCellRoutes {

void openUserPage(const Ref<UINavigationController>& navigation, const Value& suid)
{
    if (navigation) {
        navigation->pushViewController_animated(FeedVC::myinitWithType_andSuid(10, suid), true);
    }
}

void openVideoPage(const Ref<UINavigationController>& navigation, const Value& scid)
{
    if (navigation) {
        navigation->pushViewController_animated(VideoMainPage::myinitWithType_data(2, scid), true);
    }
}

void openPlaceMap(const Ref<UINavigationController>& navigation, const Value& channel)
{
    if (navigation) {
        navigation->pushViewController_animated(MapVC::myinitWithChannel(channel), true);
    }
}

void openShareDialog(const Ref<UINavigationController>& navigation, const Value& channel)
{
    if (navigation) {
        navigation->presentModalViewController_animated(CustomImage::MyNaviWithRoot(Share::myinit(channel)), true);
    }
}

void openWebAction(const Value& action, const Ref<UINavigationController>& navigation)
{
    FeedVC::actionControledFromWeb_byNavigationController(action, navigation);
}

void refreshLocalMedias(const Ref<FeedVC>& page)
{
    if (page) {
        page->refreshLocalMedias(true);
    }
}

}  // namespace FeedCellRoutes

void FeedCellRoutes::presentSignRecorder(const Ref<UINavigationController>& navigation)
{
    const Ref<PZVideoCaptureController> recorder = PZVideoCaptureController::initWithScreen(UIScreen::mainScreen());
    const Ref<UINavigationController> wrapped = CustomImage::MyNaviWithRoot(recorder);
    recorder->setVideoSign(true);
    if (navigation) {
        navigation->presentModalViewController_animated(wrapped, true);
    }
}
