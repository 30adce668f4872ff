#include "social/FindFriendVC.h"

#include "api/Categories.h"
#include "api/LumoWeiboClient.h"
#include "api/PZRequest.h"
#include "api/QQWeiboClient.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "api/Tool.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "shell/FeedVC.h"
#include "social/FindFriendResult.h"
#include "social/FriendViews.h"
#include "social/PossibleKnownCell.h"

namespace {
namespace FindFriendVC_cpp {

constexpr int kFollowTagBase = 10000;

}  // namespace FindFriendVC_cpp
}  // namespace

FindFriendVC::~FindFriendVC()
{
    for (const Ref<HTTPRequest>& request : {getNewPossibleKnown_, getMore_}) {
        if (request) {
            request->clearDelegatesAndCancel();
        }
    }
}

void FindFriendVC::viewDidLoad()
{
    PZViewController::viewDidLoad();
    registerFriendViews();
    table_ = UITableView::initWithFrame(CGRectMake(0, 0, 320, 416));
    table_->setDelegate(self<FindFriendVC>());
    table_->setDataSource(self<FindFriendVC>());
    view()->addSubview(table_);
    currentPage_ = 1;

    search_ = UISearchBar::initWithFrame(CGRectMake(0, 0, 320, 44));
    search_->setDelegate(self<FindFriendVC>());
    search_->setPlaceholder("输入昵称或用户名");
    table_->setTableHeaderView(search_);
    setTitle("找朋友");

    getPossibleKnown();

    if (controllerConfig()["ad"].boolValue()) {
        adView_ = UIView::initWithFrame(CGRectMake(0, 366, 320, 50));
        auto banner = UIButton::buttonWithType(UIButtonTypeCustom);
        banner->setFrame(adView_->bounds());
        banner->setBackgroundImage_forState(UIImage::imageNamed("ad.png"), UIControlStateNormal);
        banner->addTarget_action_forControlEvents(self<NSObject>(),
                                                  UIControlAction::make("adClicked", &FindFriendVC::adClicked),
                                                  UIControlEventTouchUpInside);
        adView_->addSubview(banner);
        auto close = UIButton::buttonWithType(UIButtonTypeCustom);
        close->setFrame(CGRectMake(adView_->frame().size.width - 22, 5, 18, 18));
        close->setImage_forState(UIImage::imageNamed("delete_white.png"), UIControlStateNormal);
        close->addTarget_action_forControlEvents(self<NSObject>(),
                                                 UIControlAction::make("closeAd", &FindFriendVC::closeAd),
                                                 UIControlEventTouchUpInside);
        adView_->addSubview(close);
        view()->addSubview(adView_);
    }
}

void FindFriendVC::getPossibleKnown()
{
    if (getNewPossibleKnown_) {
        getNewPossibleKnown_->clearDelegatesAndCancel();
    }
    getNewPossibleKnown_ = PZRequest::getPossibleKnownAtPage(currentPage_);
    getNewPossibleKnown_->setDelegate(weakSelf<FindFriendVC>());
    getNewPossibleKnown_->startAsynchronous();
}

void FindFriendVC::getMore()
{
    if (getMore_) {
        getMore_->clearDelegatesAndCancel();
    }
    getMore_ = PZRequest::getPossibleKnownAtPage(currentPage_ + 1);
    getMore_->setDelegate(weakSelf<FindFriendVC>());
    getMore_->startAsynchronous();
}

void FindFriendVC::followUnfollow_Event(const Ref<UIButton>&, const Ref<UIEvent>& event)
{
    using namespace FindFriendVC_cpp;
    const Ref<NSIndexPath> indexPath = Tool::getIndexPathWithTableView_andEvent(table_, event);
    if (!indexPath || indexPath->section() != 1 || indexPath->row() < 0 ||
        size_t(indexPath->row()) >= possibleKnownPeoples_.count()) {
        return;
    }
    const Value item = possibleKnownPeoples_[size_t(indexPath->row())];
    const int relation = item["relation"].intValue();
    // An invitation (-1) has no request of its own here: like any odd relation it stops following,
    // and the reply's relation redraws the button.
    const Value suid = item["user"]["suid"];
    Ref<HTTPRequest> request = relation % 2 != 0 ? Ref<HTTPRequest>(PZRequest::unfollowHe(suid))
                                                  : Ref<HTTPRequest>(PZRequest::followHe(suid));
    request->setTag(int(indexPath->row()) + kFollowTagBase);
    request->setDelegate(weakSelf<FindFriendVC>());
    request->startAsynchronous();
}

void FindFriendVC::cancelSearch()
{
    search_->setShowsCancelButton_animated(false, true);
    search_->resignFirstResponder();
}

void FindFriendVC::closeAd()
{
    if (adView_) {
        adView_->removeFromSuperview();
        adView_ = nullptr;
    }
}

void FindFriendVC::adClicked()
{
    UIApplication::sharedApplication()->openURL(NSURL::URLWithString(kFindFriendStorePage));
}

// ---- Table ------------------------------------------------------------------------------------------

NSInteger FindFriendVC::numberOfSectionsInTableView(const Ref<UITableView>&) { return 2; }

NSInteger FindFriendVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger section)
{
    if (section == 0) {
        return NSInteger(controllerConfig()["weiboList"].count());
    }
    return NSInteger(possibleKnownPeoples_.count());
}

std::string FindFriendVC::tableView_titleForHeaderInSection(const Ref<UITableView>&, NSInteger section)
{
    return section == 0 ? "查找好友" : "可能认识";
}

CGFloat FindFriendVC::tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>&)
{
    return 54;
}

Ref<UITableViewCell> FindFriendVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                   const Ref<NSIndexPath>& indexPath)
{
    auto cell = std::dynamic_pointer_cast<PossibleKnownCell>(
        tableView->dequeueReusableCellWithIdentifier(kPossibleKnownCellIdentifier));
    if (!cell) {
        cell = loadPossibleKnownCell();
    }
    if (indexPath->section() == 0) {
        const bool lumo = indexPath->row() == 0;
        // A reused person row may still be waiting for an avatar; the microblog's picture stays.
        SetImageView::setImageWithUrl(cell->head(), Value());
        cell->head()->setBackgroundImage_forState(UIImage::imageNamed(lumo ? "lumo" : "qq"), UIControlStateNormal);
        cell->head()->setUserInteractionEnabled(false);
        cell->title()->setText(lumo ? "Lumo微博" : "腾讯微博");
        cell->add()->setHidden(true);
        cell->detail()->setText("");
        cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        return cell;
    }
    cell->setAccessoryType(UITableViewCellAccessoryNone);
    cell->fullfillWithInfo(possibleKnownPeoples_[size_t(indexPath->row())]);
    cell->add()->addTarget_action_forControlEvents(
        self<NSObject>(), UIControlAction::make("followUnfollow:Event:", &FindFriendVC::followUnfollow_Event),
        UIControlEventTouchUpInside);
    return cell;
}

void FindFriendVC::tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                                     const Ref<NSIndexPath>& indexPath)
{
    auto navigation = navigationController();
    if (indexPath->section() == 1) {
        const Value item = possibleKnownPeoples_[size_t(indexPath->row())];
        if (item.isNil() || item["relation"].intValue() == -1) {
            tableView->deselectRowAtIndexPath_animated(indexPath, true);
            return;
        }
        if (navigation) {
            navigation->pushViewController_animated(FeedVC::myinitWithType_andSuid(10, item["user"]["suid"]), true);
        }
        return;
    }
    if (!navigation || indexPath->row() > 1) {
        return;
    }
    if (indexPath->row() == 0) {
        if (!LumoWeiboClient::isBind()) {
            navigation->pushViewController_animated(LumoWeiboClient::create(), true);
        } else {
            navigation->pushViewController_animated(FindFriendResult::myinit("lumo"), true);
        }
    } else {
        if (!QQWeiboClient::isBind()) {
            navigation->pushViewController_animated(QQWeiboClient::create(), true);
        } else {
            navigation->pushViewController_animated(FindFriendResult::myinit("qq"), true);
        }
    }
}

void FindFriendVC::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    if (!scrollView) {
        return;
    }
    const CGFloat distance =
        scrollView->contentSize().height - scrollView->contentOffset().y - view()->frame().size.height;
    if (distance < 50 && !isLoadingMore_ && int(possibleKnownPeoples_.count()) < total_) {
        getMore();
        isLoadingMore_ = true;
    }
}

// ---- Search -----------------------------------------------------------------------------------------

void FindFriendVC::searchBarTextDidBeginEditing(const Ref<UISearchBar>& searchBar)
{
    searchBar->setShowsCancelButton_animated(true, true);
}

void FindFriendVC::searchBarSearchButtonClicked(const Ref<UISearchBar>& searchBar)
{
    const std::string text = searchBar->text();
    if (!text.empty() && navigationController()) {
        navigationController()->pushViewController_animated(FindFriendResult::myinit(text), true);
    }
    cancelSearch();
}

void FindFriendVC::searchBarCancelButtonClicked(const Ref<UISearchBar>&) { cancelSearch(); }

// ---- Replies ----------------------------------------------------------------------------------------

void FindFriendVC::requestFinished(const Ref<HTTPRequest>& request)
{
    using namespace FindFriendVC_cpp;
    if (!request) {
        return;
    }
    if (request == getNewPossibleKnown_) {
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() == 200) {
            total_ = reply["total"].intValue();
            currentPage_ = 1;
            possibleKnownPeoples_ = ServiceReply::mutableItems(reply["result"]);
            table_->reloadData();
        }
        getNewPossibleKnown_ = nullptr;
        return;
    }
    if (request->tag() < kFollowTagBase) {
        if (request == getMore_) {
            ++currentPage_;
            const Value items = ServiceReply::mutableItems(ServiceReply::of(request)["result"]);
            possibleKnownPeoples_.addObjectsFromArray(items);
            table_->reloadData();
            isLoadingMore_ = false;
            getMore_ = nullptr;
        }
        return;
    }
    const size_t row = size_t(request->tag() - kFollowTagBase);
    request->setTag(0);
    if (row >= possibleKnownPeoples_.count()) {
        return;
    }
    const Value relation = Value(ServiceReply::of(request)["relation"].intValue());
    possibleKnownPeoples_[row].setObject_forKey(relation, "relation");
    table_->reloadData();
}

void FindFriendVC::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    // A page that never came keeps the loading mark: no further page is asked while the screen lives.
    if (request == getNewPossibleKnown_) {
        getNewPossibleKnown_ = nullptr;
    } else if (request == getMore_) {
        getMore_ = nullptr;
    }
    ShowNetError();
}
