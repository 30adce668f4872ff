#pragma once
// RootViewController: the one root of the interface. A SliderController whose left panel is the main
// menu, whose right panel is the follow-and-fans panel, and whose top view is the navigation stack of
// the chosen menu row. Each row's screen and stack are built on first use and kept for the life of the
// process, so coming back to a row finds it as it was left. Rows:
//   0 home feed, 1 square, 2 newest, 3 followed topics, 4 own page, 5 messages, 6 settings,
//   7 about (opened by the menu itself), 8 log out / log in (never becomes the top view).
//
// The stacks are child controllers of the root: the stack that becomes the top view appears and the one
// it replaces disappears (while the root itself is on show). Any screen reaches the root through
// g_root and the Slider... functions below. Main thread only.
#include "platform/foundation/Value.h"
#include "platform/uikit/UINavigationController.h"
#include "shell/SliderController.h"

class FeedVC;
class FriendVC;
class MenuVC;
class MessageBoxVC;
class SettingVC;
class SquareVC;
class TopicFollowedVC;

enum MenuRow : int {
    MenuRowHome = 0,
    MenuRowSquare = 1,
    MenuRowNewest = 2,
    MenuRowTopics = 3,
    MenuRowMine = 4,
    MenuRowMessages = 5,
    MenuRowSettings = 6,
    MenuRowAbout = 7,
    MenuRowLogInOut = 8,
};

class RootViewController : public SliderController {
public:
    static Ref<RootViewController> create() { return make<RootViewController>(); }

    // The row's navigation stack, built on first use (see the row table in the .cpp); rows 0 to 6 make
    // it lastDisplayedNavi and enable the menu, the right panel only for rows 0 and 4. Row 8 logs out
    // (when logged in) and presents the login screen. Every row stops the shared movie player. Answers
    // lastDisplayedNavi.
    Ref<UINavigationController> getDisplayTopView(int row);
    // The row's stack becomes the top view at once, at rest.
    void displayMainWindowBy(int row);
    // The row's stack slides in from the right after the current one has slid out.
    void displayMainWindowOff(int row);
    void showMenu();
    void showFirend();
    void showMenuIntern();
    void showFriendIntern();

    void leftWillShow() override;
    void leftDidShow() override;
    void rightWillShow() override;
    void rightDidShow() override;

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    Ref<MenuVC> menu() const { return menu_; }
    Ref<FriendVC> friendList() const { return friendList_; }
    Ref<FeedVC> myFeed() const { return myFeed_; }
    Ref<UINavigationController> feedNavi() const { return feedNavi_; }
    Ref<SquareVC> square() const { return square_; }
    Ref<UINavigationController> squareNavi() const { return squareNavi_; }
    Ref<FeedVC> newest() const { return newest_; }
    Ref<UINavigationController> newestNavi() const { return newestNavi_; }
    Ref<TopicFollowedVC> topicFollowed() const { return topicFollowed_; }
    Ref<UINavigationController> nearByNavi() const { return nearByNavi_; }
    Ref<FeedVC> mylib() const { return mylib_; }
    Ref<UINavigationController> mylibNavi() const { return mylibNavi_; }
    Ref<MessageBoxVC> msgbox() const { return msgbox_; }
    Ref<UINavigationController> msgboxNavi() const { return msgboxNavi_; }
    Ref<SettingVC> setting() const { return setting_; }
    Ref<UINavigationController> settingNavi() const { return settingNavi_; }
    Ref<UINavigationController> lastDisplayedNavi() const { return lastDisplayedNavi_; }

    RootViewController() = default;

protected:
    // Moves the appearance of the stacks along with the views.
    void topViewWillChange(const Ref<UIView>& from, const Ref<UIView>& to) override;
    void topViewDidChange(const Ref<UIView>& from, const Ref<UIView>& to) override;

private:
    Ref<UINavigationController> stackFor(const Ref<UIViewController>& root);
    Ref<UIViewController> childOwningView(const Ref<UIView>& view) const;
    void setFriendInfo(const Value& suid, const Ref<UINavigationController>& navigation);

    Ref<MenuVC> menu_;
    Ref<FriendVC> friendList_;
    Ref<FeedVC> myFeed_;
    Ref<UINavigationController> feedNavi_;
    Ref<SquareVC> square_;
    Ref<UINavigationController> squareNavi_;
    Ref<FeedVC> newest_;
    Ref<UINavigationController> newestNavi_;
    Ref<TopicFollowedVC> topicFollowed_;
    Ref<UINavigationController> nearByNavi_;
    Ref<FeedVC> mylib_;
    Ref<UINavigationController> mylibNavi_;
    Ref<MessageBoxVC> msgbox_;
    Ref<UINavigationController> msgboxNavi_;
    Ref<SettingVC> setting_;
    Ref<UINavigationController> settingNavi_;
    Ref<UINavigationController> lastDisplayedNavi_;
};

// The one root controller, set by the application delegate at start-up.
extern Ref<RootViewController> g_root;

// Drive g_root from any screen (nothing happens while there is none).
void SliderSetMenuEnable(bool enable);
void SliderSetFriendEnable(bool enable);
// Opens the right panel.
void SliderToRight();
// Opens the right panel on the fans list.
void SliderToRightShowFans();
void SliderResetTopViewNoAnimate();
// Whose lists the right panel shows and onto which stack its rows push.
void SliderSetFriendInfo(const Value& suid, const Ref<UINavigationController>& navigation);
