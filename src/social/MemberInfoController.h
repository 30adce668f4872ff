#pragma once
// MemberInfoController: the logged-in user's own profile. The top area (cover, avatar, nick) edits
// what it shows, and the rows below lead to the account's other settings: the account name, the
// password change, the phone number and the e-mail check. Each accepted change is written into the
// stored account at once; the whole profile is read from the service each time the screen appears
// and merged into the stored account.
#include <string>
#include <vector>

#include "platform/uikit/UITableView.h"
#include "social/ProfileTopView.h"

class MemberInfoController : public ProfileTopController, public UITableViewDataSource, public UITableViewDelegate {
public:
    // Loads the interface file of its own name (the top area).
    static Ref<MemberInfoController> create();

    // The stored account as last read (again after every accepted change).
    const Value& userInfo() const { return account(); }
    const std::vector<std::string>& menuList() const { return menuList_; }
    void setMenuList(std::vector<std::string> list) { menuList_ = std::move(list); }
    Ref<UITableView> tableView() const { return tableView_; }
    void setTableView(const Ref<UITableView>& table) { tableView_ = table; }
    // The running profile read.
    Ref<HTTPRequest> userInfoRequest() const { return profileReadRequest(); }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidUnload() override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;

    MemberInfoController() = default;

protected:
    // Avatars from this screen go as JPEG of quality 0.7.
    Value avatarData(const Ref<UIImage>& image) override;
    // Every key of the profile but "status" and "msg" goes into the stored account.
    void profileReplyFinished(const Ref<HTTPRequest>& request, const Value& reply) override;
    void changeAccepted() override;

private:
    std::vector<std::string> menuList_;
    Ref<UITableView> tableView_;
};
