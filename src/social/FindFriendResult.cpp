#include "social/FindFriendResult.h"

#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "api/Tool.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UINavigationController.h"
#include "shell/FeedVC.h"
#include "social/FriendViews.h"
#include "social/PossibleKnownCell.h"

namespace {
namespace FindFriendResult_cpp {

constexpr int kFollowTagBase = 10000;

}  // namespace FindFriendResult_cpp
}  // namespace

Ref<FindFriendResult> FindFriendResult::myinit(const std::string& kind)
{
    auto result = makeWithStyle<FindFriendResult>(UITableViewStylePlain);
    result->type_ = kind;
    return result;
}

FindFriendResult::~FindFriendResult()
{
    for (const Ref<HTTPRequest>& request : {getNew_, getMore_, inviteAtRequest_}) {
        if (request) {
            request->clearDelegatesAndCancel();
        }
    }
}

Ref<HTTPRequest> FindFriendResult::pageRequest(int page) const
{
    if (type_ == "qq") {
        return PZRequest::getQQFriendAtPage(page);
    }
    if (type_ == "lumo") {
        return PZRequest::getLumoFriendAt(page);
    }
    return PZRequest::searchByUserName(type_);
}

void FindFriendResult::viewDidLoad()
{
    UITableViewController::viewDidLoad();
    registerFriendViews();
    currentPage_ = 1;
    isLoadingMore_ = false;
    getNew_ = pageRequest(1);
    getNew_->setDelegate(weakSelf<FindFriendResult>());
    getNew_->startAsynchronous();
    setTitle("查找结果");
}

bool FindFriendResult::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void FindFriendResult::getMore()
{
    if (getMore_) {
        getMore_->clearDelegatesAndCancel();
    }
    getMore_ = pageRequest(currentPage_ + 1);
    getMore_->setDelegate(weakSelf<FindFriendResult>());
    getMore_->startAsynchronous();
}

void FindFriendResult::back()
{
    if (navigationController()) {
        navigationController()->popViewControllerAnimated(true);
    }
}

void FindFriendResult::followUnfollow_Event(const Ref<UIButton>&, const Ref<UIEvent>& event)
{
    using namespace FindFriendResult_cpp;
    const Ref<NSIndexPath> indexPath = Tool::getIndexPathWithTableView_andEvent(tableView(), event);
    if (!indexPath || indexPath->row() < 0 || size_t(indexPath->row()) >= userResult_.count()) {
        return;
    }
    const Value item = userResult_[size_t(indexPath->row())];
    const int relation = item["relation"].intValue();
    if (relation == -1) {
        // Only a microblog friend can be invited, through the microblog the list came from.
        if (!isFriendList()) {
            return;
        }
        const std::string message = stringWithFormat("@%@ hi，我是%@，我在#%@#玩的很开心，邀请你也和我一起玩吧",
                                                     item["weibo"]["name"], getSelfNick(), applicationDisplayName());
        if (inviteAtRequest_) {
            inviteAtRequest_->clearDelegatesAndCancel();
        }
        if (type_ == "lumo") {
            inviteAtRequest_ = PZRequest::shareWeibo_withMessage_otherType(Value(), message, "1");
        } else {
            inviteAtRequest_ = PZRequest::shareQQWeiboWithScid_withMsg(Value(), message);
        }
        inviteAtRequest_->setDelegate(weakSelf<FindFriendResult>());
        inviteAtRequest_->startAsynchronous();
        return;
    }
    const Value suid = item["user"]["suid"];
    Ref<HTTPRequest> request = relation % 2 != 0 ? Ref<HTTPRequest>(PZRequest::unfollowHe(suid))
                                                  : Ref<HTTPRequest>(PZRequest::followHe(suid));
    request->setTag(int(indexPath->row()) + kFollowTagBase);
    request->setDelegate(weakSelf<FindFriendResult>());
    request->startAsynchronous();
}

// ---- Table ------------------------------------------------------------------------------------------

NSInteger FindFriendResult::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return NSInteger(userResult_.count());
}

CGFloat FindFriendResult::tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>&)
{
    return 54;
}

Ref<UITableViewCell> FindFriendResult::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                       const Ref<NSIndexPath>& indexPath)
{
    auto cell = std::dynamic_pointer_cast<PossibleKnownCell>(
        tableView->dequeueReusableCellWithIdentifier(kPossibleKnownCellIdentifier));
    if (!cell) {
        cell = loadPossibleKnownCell();
    }
    const Value item = userResult_[size_t(indexPath->row())];
    if (isFriendList()) {
        cell->fullfillWithInfoOutside(item);
    } else {
        cell->fullfillWithInfo(item);
    }
    cell->add()->addTarget_action_forControlEvents(
        self<NSObject>(), UIControlAction::make("followUnfollow:Event:", &FindFriendResult::followUnfollow_Event),
        UIControlEventTouchUpInside);
    return cell;
}

void FindFriendResult::tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath)
{
    const Value item = userResult_[size_t(indexPath->row())];
    if (item.isNil() || item["relation"].intValue() == -1) {
        tableView->deselectRowAtIndexPath_animated(indexPath, true);
        return;
    }
    if (navigationController()) {
        navigationController()->pushViewController_animated(FeedVC::myinitWithType_andSuid(10, item["user"]["suid"]),
                                                            true);
    }
}

void FindFriendResult::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    // A search shows its one page; the friend lists have no end and ask again at every bottom.
    if (!isFriendList() || !scrollView) {
        return;
    }
    const CGFloat distance =
        scrollView->contentSize().height - scrollView->contentOffset().y - view()->frame().size.height;
    if (distance < 50 && !isLoadingMore_) {
        getMore();
        isLoadingMore_ = true;
    }
}

// ---- Replies ----------------------------------------------------------------------------------------

void FindFriendResult::requestFinished(const Ref<HTTPRequest>& request)
{
    using namespace FindFriendResult_cpp;
    if (!request) {
        return;
    }
    if (request == getNew_) {
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() == 200) {
            if (reply["result"].count() > 0) {
                userResult_ = ServiceReply::mutableItems(reply["result"]);
                tableView()->reloadData();
            } else {
                emptyAlert_ = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
                    "结果为空", "", self<FindFriendResult>(), "确定");
                emptyAlert_->show();
            }
        }
        getNew_ = nullptr;
        return;
    }
    if (request == inviteAtRequest_) {
        if (ServiceReply::of(request)["status"].intValue() == 200) {
            UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("已成功分享到微博", "",
                                                                                           nullptr, "确定")
                ->show();
        } else {
            AlertResponse(request);
        }
        inviteAtRequest_ = nullptr;
        return;
    }
    if (request->tag() < kFollowTagBase) {
        if (request == getMore_) {
            ++currentPage_;
            userResult_.addObjectsFromArray(ServiceReply::mutableItems(ServiceReply::of(request)["result"]));
            tableView()->reloadData();
            isLoadingMore_ = false;
            getMore_ = nullptr;
        }
        return;
    }
    const size_t row = size_t(request->tag() - kFollowTagBase);
    if (row >= userResult_.count()) {
        return;
    }
    userResult_[row].setObject_forKey(Value(ServiceReply::of(request)["relation"].intValue()), "relation");
    tableView()->reloadData();
}

void FindFriendResult::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    // A page that never came keeps the loading mark: no further page is asked while the screen lives.
    if (request == getNew_) {
        getNew_ = nullptr;
    } else if (request == getMore_) {
        getMore_ = nullptr;
    } else if (request == inviteAtRequest_) {
        inviteAtRequest_ = nullptr;
    }
    ShowNetError();
}

void FindFriendResult::alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger)
{
    if (alertView && alertView == emptyAlert_) {
        emptyAlert_ = nullptr;
        back();
    }
}
