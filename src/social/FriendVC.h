#pragma once
// FriendVC: the right-hand panel of the root controller. For one user it lists either the people that
// user follows (list 11, "关注") or the user's fans (list 12, "粉丝"), fifty a page, each row with the
// logged-in account's follow button. On the account's own panel a find-friends row comes first. A tap
// on a person opens that person's feed. The root controller makes one panel for the life of the
// process and drives it: whose lists (setCurrentSuid_andNavigationController), a fresh first page each
// time the panel has appeared (getDataFromWeb), and the fans list when it opens the panel on it.
//
// FriendListCell is a person row of the shared interface file "CommonViews" (object 1); object 2 is
// the find-friends row.
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UIViewController.h"

class HTTPRequest;
class UIEvent;

inline constexpr std::size_t kFriendListCellObject = 1;
inline constexpr std::size_t kFindFriendRowObject = 2;

class FriendListCell : public UITableViewCell {
public:
    // A new row loaded from "CommonViews".
    static Ref<FriendListCell> load();

    // Shows the person: avatar, nick and the follow button for the item's "type".
    void fullfillWithInfo(const Value& item);

    Ref<UIButton> head() const { return head_; }
    Ref<UILabel> name() const { return name_; }
    const Value& infomation() const { return infomation_; }
    Ref<UIButton> addOrRemove() const { return addOrRemove_.lock(); }

    void initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier) override;

    FriendListCell() = default;

private:
    Ref<UIButton> head_;
    Ref<UILabel> name_;
    Value infomation_;
    Weak<UIButton> addOrRemove_;
};

class FriendVC : public UIViewController,
                 public UITableViewDataSource,
                 public UITableViewDelegate,
                 public HTTPRequestDelegate {
public:
    static constexpr int kFollowList = 11;
    static constexpr int kFansList = 12;
    static constexpr int kPerPage = 50;
    static constexpr int kPagingUnit = 20;
    static constexpr int kFollowTagBase = 10000;
    static constexpr int kFansTagBase = 20000;

    static Ref<FriendVC> create() { return make<FriendVC>(); }
    ~FriendVC() override;

    // Whose lists to show and onto which stack the find-friends row pushes: both lists are emptied, so
    // the next request loads afresh.
    void setCurrentSuid_andNavigationController(const Value& suid, const Ref<UINavigationController>& navigation);
    // The first page of the list on show.
    void getDataFromWeb();
    // Shows a list: the one held, or the first page of it when it is not loaded.
    void switchTo(int listType);
    void switchToFollowPage();
    void switchToFansPage();
    // The next page of a list.
    void getMoreByType(int listType);
    const Value& getCurrentSelectedArray() const;
    void allReload();
    // Marks the button of the list on show.
    void setButtonStatus();
    // A row's follow button: follows the person or stops following.
    void followUnfollow_Event(const Ref<UIButton>& sender, const Ref<UIEvent>& event);

    const Value& suid() const { return suid_; }
    Ref<UINavigationController> navigation() const { return navigation_.lock(); }
    int currentSelect() const { return currentSelect_; }
    bool isSelf() const { return isSelf_; }
    bool isLoadingMore() const { return isLoadingMore_; }
    int followcurrentPage() const { return followcurrentPage_; }
    int fanscurrentPage() const { return fanscurrentPage_; }
    int followTotal() const { return followTotal_; }
    int fansTotal() const { return fansTotal_; }
    const Value& followings() const { return followings_; }
    const Value& fans() const { return fans_; }
    Ref<UITableView> table() const { return table_; }
    Ref<UIButton> followBtn() const { return followBtn_; }
    Ref<UIButton> fansBtn() const { return fansBtn_; }
    Ref<HTTPRequest> getListRequest() const { return getListRequest_; }
    Ref<HTTPRequest> getMoreRequest() const { return getMoreRequest_; }
    // Follow requests whose reply has not come yet.
    size_t runningFollows() const { return followRequests_.size(); }
    // The list's section: 1 on the own panel (after the find-friends row), else 0.
    NSInteger listSection() const { return isSelf_ ? 1 : 0; }

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override;
    CGFloat tableView_heightForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UIView> tableView_viewForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    FriendVC() = default;

private:
    Ref<HTTPRequest> listRequest(int listType, int page) const;
    Value& listOf(int listType) { return listType == kFollowList ? followings_ : fans_; }

    Ref<UITableView> table_;
    Ref<UIButton> followBtn_;
    Ref<UIButton> fansBtn_;
    Ref<HTTPRequest> getListRequest_;
    Ref<HTTPRequest> getMoreRequest_;
    // Follow requests still running (each is cancelled when the panel goes).
    std::vector<Ref<HTTPRequest>> followRequests_;
    int currentSelect_ = kFollowList;
    Weak<UINavigationController> navigation_;
    bool isLoadingMore_ = false;
    int followcurrentPage_ = 1;
    int fanscurrentPage_ = 1;
    bool isSelf_ = false;
    int followTotal_ = 0;
    int fansTotal_ = 0;
    Value followings_;
    Value fans_;
    Value suid_;
};
