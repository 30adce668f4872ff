#pragma once
// TopicFollowedVC: a list of topics, either the ones the account follows (kind 0, "关注的话题") or all
// topics (kind 1, "所有话题"), asked 20 a page and extended near the bottom. A tap opens the topic's
// feed. In the followed list the user can delete rows while editing, which unfollows the topic; the
// row goes when the service has agreed.
#include <vector>

#include "api/PZTableViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIBarButtonItem.h"

class HTTPRequest;

class TopicFollowedVC : public PZTableViewController, public HTTPRequestDelegate {
public:
    static Ref<TopicFollowedVC> myinit(int type);
    ~TopicFollowedVC() override;

    int type() const { return type_; }
    bool isRoot() const { return isRoot_; }
    void setIsRoot(bool isRoot) { isRoot_ = isRoot; }
    const Value& topicResult() const { return topicResult_; }
    int total() const { return total_; }
    int currentPage() const { return currentPage_; }
    bool isLoadingMore() const { return isLoadingMore_; }
    Ref<UIBarButtonItem> editItem() const { return editItem_; }
    // An unfollow has been sent and its reply has not come yet.
    bool isUnfollowing() const { return !unfollowRequests_.empty(); }

    void getTopicsAt(int page);
    void reloadData();
    void edit();
    void showMenu();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;
    void tableView_commitEditingStyle_forRowAtIndexPath(const Ref<UITableView>& tableView,
                                                        UITableViewCellEditingStyle editingStyle,
                                                        const Ref<NSIndexPath>& indexPath) override;
    bool respondsToCommitEditingStyle() const override { return true; }
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    TopicFollowedVC() = default;

private:
    void putEmptyHeader();

    int type_ = 0;
    bool isRoot_ = false;
    Ref<HTTPRequest> getNewRequest_;
    Ref<HTTPRequest> getMoreRequest_;
    // Every unfollow still running; each carries the id of its topic in its userInfo, so the reply
    // removes that topic wherever it is in the list by then.
    std::vector<Ref<HTTPRequest>> unfollowRequests_;
    int currentPage_ = 1;
    int total_ = 0;
    bool isLoadingMore_ = false;
    Ref<UIBarButtonItem> editItem_;
    Value topicResult_ = Value::array();
};
