#include "social/MessageBoxVC.h"

#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "shell/FeedVC.h"
#include "shell/RootViewController.h"
#include "shell/VideoMainPage.h"
#include "social/MessageCell.h"
#include "widgets/WebViewController.h"

namespace {
namespace MessageBoxVC_cpp {

constexpr char kCellIdentifier[] = "Cell";
constexpr char kSystemDismiss[] = "system_dismiss";
// How close to the bottom (points) the list must come before the next page is asked for.
constexpr int kLoadMoreDistance = 50;
// The video page's kinds this screen opens.
constexpr int kVideoPageTypeVideo = 2;
constexpr int kVideoPageTypeReply = 3;

void postSystemDismiss()
{
    NSNotificationCenter::defaultCenter()->postNotificationName_object(kSystemDismiss, Value());
}

void forget(Ref<HTTPRequest>& request)
{
    if (request) {
        request->clearDelegatesAndCancel();
        request = nullptr;
    }
}

}  // namespace MessageBoxVC_cpp
}  // namespace

Ref<MessageBoxVC> MessageBoxVC::create()
{
    return initWithStyle(UITableViewStylePlain);
}

Ref<MessageBoxVC> MessageBoxVC::initWithStyle(UITableViewStyle style)
{
    return makeWithStyle<MessageBoxVC>(style);
}

MessageBoxVC::~MessageBoxVC()
{
    MessageBoxVC_cpp::forget(getNewRequest_);
    MessageBoxVC_cpp::forget(getMoreRequest_);
}

// ---- The screen ---------------------------------------------------------------------------------------

void MessageBoxVC::viewDidLoad()
{
    UITableViewController::viewDidLoad();
    const Ref<MessageBoxVC> me = self<MessageBoxVC>();
    const Ref<UINavigationController> navigation = navigationController();
    if (navigation && !navigation->viewControllers().empty() && navigation->viewControllers().front() == me) {
        navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
            UIImage::imageNamed("menu_icon"), UIBarButtonItemStylePlain, me,
            UISelector::make("showMenu", &MessageBoxVC::showMenu)));
    }
    const Ref<UITableView> table = tableView();
    const CGFloat height = table->bounds().size.height;
    refreshHeaderView_ = RefreshTableHeaderView::initWithFrame(CGRectMake(0, -height, table->frame().size.width, height));
    refreshHeaderView_->setDelegate(me);
    table->addSubview(refreshHeaderView_);
    setTitle("消息");
    autoReload();
}

bool MessageBoxVC::hasMenuButton()
{
    const Ref<UIBarButtonItem> left = navigationItem()->leftBarButtonItem();
    return left && left->action().name() == "showMenu";
}

void MessageBoxVC::viewWillAppear(bool animated)
{
    UITableViewController::viewWillAppear(animated);
    if (hasMenuButton()) {
        SliderSetMenuEnable(true);
    }
}

void MessageBoxVC::viewWillDisappear(bool animated)
{
    UITableViewController::viewWillDisappear(animated);
    SliderSetMenuEnable(false);
}

bool MessageBoxVC::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void MessageBoxVC::showMenu()
{
    if (g_root) {
        g_root->showMenu();
    }
}

// ---- Loading ------------------------------------------------------------------------------------------

void MessageBoxVC::autoReload()
{
    // The end of this scroll's animation reaches the header as the end of a pull past its threshold.
    tableView()->setContentOffset_animated(CGPointMake(0, -kAutoReloadOffset), true);
}

void MessageBoxVC::getNewMessage()
{
    MessageBoxVC_cpp::forget(getNewRequest_);
    getNewRequest_ = PZRequest::getMessageAtPage(1);
    getNewRequest_->setDelegate(weakSelf<MessageBoxVC>());
    getNewRequest_->startAsynchronous();
}

void MessageBoxVC::loadMore()
{
    MessageBoxVC_cpp::forget(getMoreRequest_);
    getMoreRequest_ = PZRequest::getMessageAtPage(currentPage_ + 1);
    if (!getMoreRequest_) {
        return;
    }
    getMoreRequest_->setDelegate(weakSelf<MessageBoxVC>());
    getMoreRequest_->startAsynchronous();
}

void MessageBoxVC::allReload()
{
    tableView()->reloadData();
}

void MessageBoxVC::reloadTableViewDataSource()
{
    if (reloading_) {
        return;
    }
    reloading_ = true;
    getNewMessage();
}

void MessageBoxVC::doneLoadingTableViewData()
{
    reloading_ = false;
    const Ref<UITableView> table = tableView();
    if (refreshHeaderView_) {
        refreshHeaderView_->refreshScrollViewDataSourceDidFinishedLoading(table);
    }
    // Nothing scrolls back by itself once the header has gone: a list left above its top (by
    // autoReload or a pull) returns to its first row.
    if (table->contentOffset().y < 0 && !table->isDragging()) {
        table->setContentOffset_animated(CGPointZero, true);
    }
}

// ---- Table --------------------------------------------------------------------------------------------

NSInteger MessageBoxVC::numberOfSectionsInTableView(const Ref<UITableView>&)
{
    return 1;
}

NSInteger MessageBoxVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return NSInteger(messages_.count());
}

CGFloat MessageBoxVC::tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    return MessageCell::getHeight(messages_[size_t(indexPath->row())]);
}

Ref<UITableViewCell> MessageBoxVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                   const Ref<NSIndexPath>& indexPath)
{
    using namespace MessageBoxVC_cpp;
    auto cell = std::dynamic_pointer_cast<MessageCell>(tableView->dequeueReusableCellWithIdentifier(kCellIdentifier));
    if (!cell) {
        cell = MessageCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, kCellIdentifier);
    }
    cell->fullfillWithInfo_andNavi(messages_[size_t(indexPath->row())], navigationController());
    cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    return cell;
}

void MessageBoxVC::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    using namespace MessageBoxVC_cpp;
    const size_t row = size_t(indexPath->row());
    if (row >= messages_.count()) {
        return;
    }
    const Value message = messages_[row];
    const std::string action = message["action"].stringValue();
    const Value data = message["data"];
    const Ref<UINavigationController> navigation = navigationController();
    if (action == "url") {
        // A text that is no address opens nothing, and leaves the unread count as it is.
        const Ref<NSURL> url = NSURL::URLWithString(data.stringValue());
        if (!url || url->scheme().empty()) {
            return;
        }
        auto browser = ModalWebViewController::initWithURL(url);
        browser->setModalPresentationStyle(UIModalPresentationPageSheet);
        browser->setAvailableActions(7);
        presentModalViewController_animated(browser, true);
        postSystemDismiss();
        return;
    }
    Ref<UIViewController> next;
    if (action == "chan") {
        next = VideoMainPage::myinitWithType_data(kVideoPageTypeVideo, data);
    } else if (action == "cmt") {
        next = VideoMainPage::myinitWithType_data(kVideoPageTypeReply, data);
    } else if (action == "user") {
        next = FeedVC::myinitWithType_andSuid(FeedTypeUser, data);
    }
    if (next && navigation) {
        navigation->pushViewController_animated(next, true);
    }
}

// ---- Scrolling and the pull ---------------------------------------------------------------------------

void MessageBoxVC::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    if (refreshHeaderView_) {
        refreshHeaderView_->refreshScrollViewDidScroll(scrollView);
    }
    const int distance =
        int(scrollView->contentSize().height - scrollView->contentOffset().y - scrollView->bounds().size.height);
    if (distance < MessageBoxVC_cpp::kLoadMoreDistance && !moreIsLoading_ && !isEndPage_ && !messages_.isNil()) {
        loadMore();
        moreIsLoading_ = getMoreRequest_ != nullptr;
    }
}

void MessageBoxVC::scrollViewDidEndDragging_willDecelerate(const Ref<UIScrollView>& scrollView, bool)
{
    if (refreshHeaderView_) {
        refreshHeaderView_->refreshScrollViewDidEndDragging(scrollView);
    }
}

void MessageBoxVC::scrollViewDidEndScrollingAnimation(const Ref<UIScrollView>& scrollView)
{
    if (refreshHeaderView_) {
        refreshHeaderView_->refreshScrollViewDidEndDragging(scrollView);
    }
}

void MessageBoxVC::refreshTableHeaderDidTriggerRefresh(const Ref<RefreshTableHeaderView>&)
{
    reloadTableViewDataSource();
}

bool MessageBoxVC::refreshTableHeaderDataSourceIsLoading(const Ref<RefreshTableHeaderView>&)
{
    return reloading_;
}

std::optional<NSDate> MessageBoxVC::refreshTableHeaderDataSourceLastUpdated(const Ref<RefreshTableHeaderView>&)
{
    return NSDate::date();
}

// ---- Replies ------------------------------------------------------------------------------------------

void MessageBoxVC::requestFinished(const Ref<HTTPRequest>& request)
{
    using namespace MessageBoxVC_cpp;
    if (!request) {
        return;
    }
    if (request == getNewRequest_) {
        getNewRequest_ = nullptr;
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() == 200) {
            messages_ = reply["result"].isArray() ? reply["result"].mutableCopy() : Value::array();
            currentPage_ = 1;
            // A fresh first page starts the paging over, so a list that had reached its end grows again
            // when newer messages have pushed older ones onto later pages.
            isEndPage_ = false;
            // The rows first: ending the refresh scrolls the list, and the paging check that follows
            // reads the new content's size.
            allReload();
            doneLoadingTableViewData();
        } else {
            doneLoadingTableViewData();
        }
        // Asking for page 1 marks the messages read, whatever the reply says.
        postSystemDismiss();
        return;
    }
    if (request == getMoreRequest_) {
        getMoreRequest_ = nullptr;
        moreIsLoading_ = false;
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() != 200) {
            return;
        }
        const Value result = reply["result"];
        if (!messages_.isArray()) {
            messages_ = Value::array();
        }
        if (result.isArray()) {
            messages_.addObjectsFromArray(result);
        }
        ++currentPage_;
        isEndPage_ = result.count() < size_t(kPerPage);
        allReload();
    }
}

void MessageBoxVC::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    if (request == getNewRequest_) {
        getNewRequest_ = nullptr;
        doneLoadingTableViewData();
    } else if (request == getMoreRequest_) {
        getMoreRequest_ = nullptr;
        moreIsLoading_ = false;
    } else {
        return;
    }
    ShowNetError(Value("消息获取失败"));
}
