#pragma once
// MessageBoxVC: the list of the user's system messages ("消息"), 20 a page. Pulling the list down asks
// for page 1 again; scrolling near the bottom asks for the next page until a page comes back short.
// Loading page 1 counts as reading the messages: the screen then posts "system_dismiss", on which the
// menu drops its unread count. A tap on a row opens what the message points to (a video, a reply to a
// comment, a person's page or a web page).
//
// The menu's copy is made once and reused: choosing its row again calls autoReload, which scrolls the
// list down past the pull threshold so the header reloads it as if pulled.
#include <optional>

#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UITableViewController.h"
#include "widgets/RefreshTableHeaderView.h"

class HTTPRequest;

class MessageBoxVC : public UITableViewController, public HTTPRequestDelegate, public RefreshTableHeaderDelegate {
public:
    static Ref<MessageBoxVC> create();
    static Ref<MessageBoxVC> initWithStyle(UITableViewStyle style);
    ~MessageBoxVC() override;

    // Messages a page; a shorter further page is the last.
    static constexpr int kPerPage = 20;
    // How far above the top autoReload scrolls the list: past the header's pull threshold.
    static constexpr CGFloat kAutoReloadOffset = 65;

    void autoReload();
    void showMenu();
    void getNewMessage();
    void loadMore();
    void allReload();
    void reloadTableViewDataSource();
    void doneLoadingTableViewData();

    Ref<HTTPRequest> getNewRequest() const { return getNewRequest_; }
    Ref<HTTPRequest> getMoreRequest() const { return getMoreRequest_; }
    int currentPage() const { return currentPage_; }
    bool isReloading() const { return reloading_; }
    bool moreIsLoading() const { return moreIsLoading_; }
    bool isEndPage() const { return isEndPage_; }
    // Nil until the first page has arrived.
    const Value& messages() const { return messages_; }
    void setMessages(const Value& messages) { messages_ = messages; }
    Ref<RefreshTableHeaderView> refreshHeaderView() const { return refreshHeaderView_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;

    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;
    void scrollViewDidEndDragging_willDecelerate(const Ref<UIScrollView>& scrollView, bool decelerate) override;
    void scrollViewDidEndScrollingAnimation(const Ref<UIScrollView>& scrollView) override;

    void refreshTableHeaderDidTriggerRefresh(const Ref<RefreshTableHeaderView>& view) override;
    bool refreshTableHeaderDataSourceIsLoading(const Ref<RefreshTableHeaderView>& view) override;
    std::optional<NSDate> refreshTableHeaderDataSourceLastUpdated(const Ref<RefreshTableHeaderView>& view) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    MessageBoxVC() = default;

private:
    bool hasMenuButton();

    Ref<HTTPRequest> getNewRequest_;
    Ref<HTTPRequest> getMoreRequest_;
    int currentPage_ = 1;
    Ref<RefreshTableHeaderView> refreshHeaderView_;
    bool reloading_ = false;
    bool moreIsLoading_ = false;
    bool isEndPage_ = false;
    Value messages_;
};
