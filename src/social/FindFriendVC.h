#pragma once
// FindFriendVC: the screen "找朋友". A search bar for people by nick or user name, a row per microblog
// whose friends can be listed (the edition's "weiboList"), and the people the account may know, asked
// 50 a page until the list holds the reply's total, each with a follow button. An edition may add an
// advertisement strip at the foot ("ad").
#include "api/PZViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UITableView.h"

class HTTPRequest;
class UIEvent;

class FindFriendVC : public PZViewController,
                     public UITableViewDataSource,
                     public UITableViewDelegate,
                     public UISearchBarDelegate,
                     public HTTPRequestDelegate {
public:
    static Ref<FindFriendVC> create() { return make<FindFriendVC>(); }
    ~FindFriendVC() override;

    // Asks page currentPage (1 at load) of the people the account may know.
    void getPossibleKnown();
    // Asks the page after currentPage.
    void getMore();
    // Follows or stops following the person of the row under the touch.
    void followUnfollow_Event(const Ref<UIButton>& sender, const Ref<UIEvent>& event);
    void cancelSearch();
    void closeAd();
    void adClicked();

    Ref<UITableView> table() const { return table_; }
    Ref<UISearchBar> search() const { return search_; }
    Ref<UIView> adView() const { return adView_; }
    const Value& possibleKnownPeoples() const { return possibleKnownPeoples_; }
    int total() const { return total_; }
    int currentPage() const { return currentPage_; }
    bool isLoadingMore() const { return isLoadingMore_; }

    void viewDidLoad() override;

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    std::string tableView_titleForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;

    void searchBarTextDidBeginEditing(const Ref<UISearchBar>& searchBar) override;
    void searchBarSearchButtonClicked(const Ref<UISearchBar>& searchBar) override;
    void searchBarCancelButtonClicked(const Ref<UISearchBar>& searchBar) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    FindFriendVC() = default;

private:
    Ref<UISearchBar> search_;
    Ref<HTTPRequest> getNewPossibleKnown_;
    Ref<HTTPRequest> getMore_;
    int currentPage_ = 1;
    bool isLoadingMore_ = false;
    Ref<UITableView> table_;
    Ref<UIView> adView_;
    int total_ = 0;
    Value possibleKnownPeoples_ = Value::array();
};

// The address of the application's own page in the application store, which the advertisement opens.
inline constexpr char kFindFriendStorePage[] = "itms-apps://itunes.apple.com/app/ombri";
