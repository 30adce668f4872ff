#include "social/PageingViewController.h"

#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"

PageingViewController::~PageingViewController()
{
    for (const Ref<HTTPRequest>& request : {getNewRequest, getMoreRequest}) {
        if (request) {
            request->clearDelegatesAndCancel();
        }
    }
}

void PageingViewController::getDataAt(int) {}

void PageingViewController::viewDidLoad()
{
    UIViewController::viewDidLoad();
    table_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 416), UITableViewStylePlain);
    table_->setDelegate(self<PageingViewController>());
    table_->setDataSource(self<PageingViewController>());
    table_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    view()->addSubview(table_);
    currentPage_ = 1;
    getDataAt(1);
}

bool PageingViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

NSInteger PageingViewController::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) { return 0; }

Ref<UITableViewCell> PageingViewController::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                            const Ref<NSIndexPath>&)
{
    auto cell = tableView->dequeueReusableCellWithIdentifier("Cell");
    return cell ? cell : UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "Cell");
}

void PageingViewController::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    // The number of pages divides by the page size: nothing beyond page 1 until a subclass set one.
    if (countPerPage_ <= 0 || !scrollView) {
        return;
    }
    const CGFloat distance =
        scrollView->contentSize().height - scrollView->contentOffset().y - view()->frame().size.height;
    const long long pages = ServiceReply::pageLimit(total_, countPerPage_);
    if (distance < 50 && !isLoadingMore_ && currentPage_ < pages) {
        // Marked first: a page asked synchronously is merged (and the mark cleared) before the call returns.
        isLoadingMore_ = true;
        getDataAt(currentPage_ + 1);
    }
}

void PageingViewController::requestFinished(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    if (request == getNewRequest) {
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() == 200) {
            total_ = reply["total"].intValue();
            result_ = reply["result"].isArray() ? reply["result"].mutableCopy() : Value::array();
            table_->reloadData();
        }
        getNewRequest = nullptr;
    } else if (request == getMoreRequest) {
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() == 200) {
            result_.addObjectsFromArray(reply["result"]);
            table_->reloadData();
            ++currentPage_;
        }
        getMoreRequest = nullptr;
        isLoadingMore_ = false;
    }
}

void PageingViewController::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    // A page that never came keeps the loading mark: no further page is asked while the screen lives.
    if (request == getNewRequest) {
        getNewRequest = nullptr;
    } else if (request == getMoreRequest) {
        getMoreRequest = nullptr;
    } else {
        return;
    }
    ShowNetError();
}
