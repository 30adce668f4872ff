#include "shell/RootViewController.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "capture/PPlayer.h"
#include "platform/uikit/UIColor.h"
#include "shell/FeedVC.h"
#include "shell/MenuVC.h"
#include "social/FriendVC.h"
#include "social/Login.h"
#include "social/MessageBoxVC.h"
#include "social/SettingVC.h"
#include "social/SquareVC.h"
#include "social/TopicFollowedVC.h"

Ref<RootViewController> g_root;

namespace {
namespace RootViewController_cpp {

constexpr CGRect kPanelFrame{{0, 0}, {320, 460}};

// Feed kinds of the three feeds the menu opens.
constexpr int kHomeFeed = 0;
constexpr int kNewestFeed = 2;
constexpr int kOwnFeed = 4;

}  // namespace RootViewController_cpp
}  // namespace

void RootViewController::viewDidLoad()
{
    using namespace RootViewController_cpp;
    SliderController::viewDidLoad();
    if (!menu_) {
        menu_ = MenuVC::myinit(self<RootViewController>());
    }
    addChildViewController(menu_);
    menu_->view()->setFrame(kPanelFrame);
    view()->addSubview(menu_->view());
    if (!friendList_) {
        friendList_ = FriendVC::create();
    }
    addChildViewController(friendList_);
    friendList_->view()->setFrame(kPanelFrame);
    view()->addSubview(friendList_->view());
    displayMainWindowBy(isLogin() ? MenuRowHome : MenuRowSquare);
}

bool RootViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

Ref<UINavigationController> RootViewController::stackFor(const Ref<UIViewController>& root)
{
    auto navigation = CustomImage::MyNaviWithRoot(root);
    // The top view is a whole screen: nothing of the panels shows through it.
    navigation->view()->setBackgroundColor(UIColor::whiteColor());
    addChildViewController(navigation);
    return navigation;
}

void RootViewController::setFriendInfo(const Value& suid, const Ref<UINavigationController>& navigation)
{
    if (friendList_) {
        friendList_->setCurrentSuid_andNavigationController(suid, navigation);
    }
}

Ref<UINavigationController> RootViewController::getDisplayTopView(int row)
{
    using namespace RootViewController_cpp;
    Ref<UINavigationController> shown;
    bool friendsAllowed = false;
    switch (row) {
    case MenuRowHome:
        if (!myFeed_) {
            myFeed_ = FeedVC::myinitWithType_andSuid_isRoot(kHomeFeed, getSelfSuid(), true);
            feedNavi_ = stackFor(myFeed_);
        }
        shown = feedNavi_;
        friendsAllowed = true;
        setFriendInfo(getSelfSuid(), feedNavi_);
        myFeed_->refreshFeed();
        break;
    case MenuRowSquare:
        if (!square_) {
            square_ = SquareVC::create();
            square_->setIsRoot(true);
            squareNavi_ = stackFor(square_);
        } else {
            square_->getData();
        }
        shown = squareNavi_;
        break;
    case MenuRowNewest:
        if (!newest_) {
            newest_ = FeedVC::myinitWithType_andSuid_isRoot(kNewestFeed, getSelfSuid(), true);
            newestNavi_ = stackFor(newest_);
        }
        shown = newestNavi_;
        break;
    case MenuRowTopics:
        if (!topicFollowed_) {
            topicFollowed_ = TopicFollowedVC::myinit(0);
            topicFollowed_->setIsRoot(true);
            nearByNavi_ = stackFor(topicFollowed_);
        }
        shown = nearByNavi_;
        break;
    case MenuRowMine:
        if (!mylib_) {
            mylib_ = FeedVC::myinitWithType_andSuid_isRoot(kOwnFeed, getSelfSuid(), true);
            mylibNavi_ = stackFor(mylib_);
        } else {
            mylib_->forceGetContentFromWeb();
        }
        shown = mylibNavi_;
        friendsAllowed = true;
        setFriendInfo(getSelfSuid(), mylibNavi_);
        break;
    case MenuRowMessages:
        if (!msgbox_) {
            msgbox_ = MessageBoxVC::create();
            msgboxNavi_ = stackFor(msgbox_);
        } else {
            msgbox_->autoReload();
        }
        shown = msgboxNavi_;
        break;
    case MenuRowSettings:
        if (!setting_) {
            setting_ = SettingVC::create();
            settingNavi_ = stackFor(setting_);
        }
        shown = settingNavi_;
        break;
    case MenuRowLogInOut:
        if (isLogin()) {
            Logout();
        }
        Login::presentLoginUI(self<RootViewController>());
        break;
    default:
        break;
    }
    if (shown) {
        lastDisplayedNavi_ = shown;
        setLeftEnable(true);
        setRightEnable(friendsAllowed);
    }
    PPlayer::stop();
    return lastDisplayedNavi_;
}

void RootViewController::displayMainWindowBy(int row)
{
    auto navigation = getDisplayTopView(row);
    if (!navigation) {
        return;
    }
    setTopView(navigation->view());
    if (topView()->frame().origin.x != 0) {
        topView()->setCenter(CGPointMake(kRestCenterX, topView()->center().y));
    }
}

void RootViewController::displayMainWindowOff(int row)
{
    auto navigation = getDisplayTopView(row);
    if (!navigation) {
        return;
    }
    setTopViewOffScreen(navigation->view());
}

void RootViewController::showMenu()
{
    leftWillShow();
    slideToX(SlideToLeftPanel);
}

void RootViewController::showFirend()
{
    rightWillShow();
    slideToX(SlideToRightPanel);
}

void RootViewController::showMenuIntern()
{
    if (friendList_) {
        friendList_->view()->setHidden(true);
    }
    if (menu_) {
        menu_->view()->setHidden(false);
    }
}

void RootViewController::showFriendIntern()
{
    if (menu_) {
        menu_->view()->setHidden(true);
    }
    if (friendList_) {
        friendList_->view()->setHidden(false);
    }
}

void RootViewController::leftWillShow()
{
    showMenuIntern();
}

void RootViewController::leftDidShow()
{
    if (menu_) {
        menu_->refreshMenu();
    }
}

void RootViewController::rightWillShow()
{
    showFriendIntern();
}

void RootViewController::rightDidShow()
{
    if (friendList_) {
        friendList_->getDataFromWeb();
    }
}

Ref<UIViewController> RootViewController::childOwningView(const Ref<UIView>& view) const
{
    if (!view) {
        return nullptr;
    }
    for (const Ref<UIViewController>& child : childViewControllers()) {
        if (child->isViewLoaded() && child->view() == view) {
            return child;
        }
    }
    return nullptr;
}

void RootViewController::topViewWillChange(const Ref<UIView>& from, const Ref<UIView>& to)
{
    if (from == to || !isVisible()) {
        return;
    }
    if (auto leaving = childOwningView(from)) {
        leaving->beginAppearanceTransition(false, false);
    }
    if (auto coming = childOwningView(to)) {
        coming->beginAppearanceTransition(true, false);
    }
}

void RootViewController::topViewDidChange(const Ref<UIView>& from, const Ref<UIView>& to)
{
    if (from == to || !isVisible()) {
        return;
    }
    if (auto leaving = childOwningView(from)) {
        leaving->endAppearanceTransition();
    }
    if (auto coming = childOwningView(to)) {
        coming->endAppearanceTransition();
    }
}

void SliderSetMenuEnable(bool enable)
{
    if (g_root) {
        g_root->setLeftEnable(enable);
    }
}

void SliderSetFriendEnable(bool enable)
{
    if (g_root) {
        g_root->setRightEnable(enable);
    }
}

void SliderToRight()
{
    if (g_root) {
        g_root->showFirend();
    }
}

void SliderToRightShowFans()
{
    if (g_root) {
        if (auto friends = g_root->friendList()) {
            friends->switchToFansPage();
        }
        g_root->showFirend();
    }
}

void SliderResetTopViewNoAnimate()
{
    if (g_root) {
        g_root->resetTopViewNoAnimate();
    }
}

void SliderSetFriendInfo(const Value& suid, const Ref<UINavigationController>& navigation)
{
    if (g_root) {
        if (auto friends = g_root->friendList()) {
            friends->setCurrentSuid_andNavigationController(suid, navigation);
        }
    }
}
