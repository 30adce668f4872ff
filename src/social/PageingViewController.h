#pragma once
// PageingViewController: a screen whose table is filled one page of a service list at a time. It
// asks page 1 when its view loads and the next page when the user scrolls near the bottom, while
// pages remain ((total + per page) / per page of them), and merges the replies: the first page
// replaces the list, later ones are appended. A subclass builds the request of a page in getDataAt,
// keeps it in getNewRequest (page 1) or getMoreRequest (later pages), makes the screen its delegate
// and starts it (a request run synchronously on the main thread has its reply merged before
// getDataAt returns), sets its page size and supplies the rows.
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"

class HTTPRequest;

class PageingViewController : public UIViewController,
                              public UITableViewDataSource,
                              public UITableViewDelegate,
                              public HTTPRequestDelegate {
public:
    static Ref<PageingViewController> create() { return make<PageingViewController>(); }
    ~PageingViewController() override;

    // Builds and starts the request of a page (from 1); nothing in the base.
    virtual void getDataAt(int page);

    Ref<UITableView> table() const { return table_; }
    int total() const { return total_; }
    void setTotal(int total) { total_ = total; }
    int countPerPage() const { return countPerPage_; }
    void setCountPerPage(int count) { countPerPage_ = count; }
    int currentPage() const { return currentPage_; }
    bool isLoadingMore() const { return isLoadingMore_; }
    const Value& result() const { return result_; }
    void setResult(const Value& result) { result_ = result; }

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    PageingViewController() = default;

protected:
    Ref<HTTPRequest> getNewRequest;
    Ref<HTTPRequest> getMoreRequest;

private:
    Ref<UITableView> table_;
    int total_ = 0;
    int countPerPage_ = 0;
    int currentPage_ = 1;
    bool isLoadingMore_ = false;
    Value result_ = Value::array();
};
