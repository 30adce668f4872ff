#pragma once
// MenuVC: the main menu, the left panel under the sliding top view. A header with the user's nick and
// nine rows that switch the top view between the main screens (through the root controller), open the
// about page, or log out and in. While nobody is logged in the rows that need an account are grey and
// do nothing. The messages row carries the count of unread system messages of the last reminder reply
// as a badge; the menu asks for fresh reminders each time it has slid open (refreshMenu).
//
// Observes "login_success", "logout_done" and "system_remind" (redraws the rows) and "system_dismiss"
// (forgets the stored reminder reply, so the badge goes). Main thread only.
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"

class RootViewController;

// The tag of the messages row's badge in its cell's content view.
inline constexpr NSInteger kMenuBadgeTag = 888;

class MenuVC : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    static Ref<MenuVC> myinit(const Ref<RootViewController>& root);
    ~MenuVC() override;

    Ref<RootViewController> root() const { return root_.lock(); }
    Ref<UITableView> table() const { return table_; }
    void setTable(const Ref<UITableView>& table) { table_ = table; }

    // The title of a row as it reads now ("退出" or "登录" for the last one).
    static std::string titleForRow(NSInteger row);
    // YES for the rows that can be chosen while nobody is logged in.
    static bool rowAllowedLoggedOut(NSInteger row);

    void refreshMenu();
    void loginSuccess();
    void logout_done();
    void systemRemindReceived();
    void systemRemindDismiss();

    void loadView() override;
    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    CGFloat tableView_heightForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UIView> tableView_viewForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;

    MenuVC() = default;

private:
    Weak<RootViewController> root_;
    Ref<UITableView> table_;
};
