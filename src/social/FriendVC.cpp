#include "social/FriendVC.h"

#include "api/Categories.h"
#include "api/PZRequest.h"
#include "platform/uikit/UIView.h"

void FriendVC::setCurrentSuid_andNavigationController(const Value& suid, const Ref<UINavigationController>& navigation)
{
    suid_ = suid;
    navigation_ = navigation;
}

void FriendVC::getDataFromWeb()
{
    Ref<HTTPRequest> request =
        currentSelect_ == 11 ? PZRequest::getFollow_atPage(suid_, 1) : PZRequest::getFans_atPage(suid_, 1);
    if (request) {
        request->startAsynchronous();
    }
}

void FriendVC::switchToFansPage()
{
    currentSelect_ = 12;
    getDataFromWeb();
}

void FriendVC::viewDidLoad()
{
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(CustomImage::yellowBkg());
}
