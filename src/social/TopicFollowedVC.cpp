#include "social/TopicFollowedVC.h"

#include <algorithm>

#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/Dispatch.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "shell/FeedVC.h"
#include "shell/RootViewController.h"
#include "social/TopicFollowedCell.h"
#include "widgets/CountBadge.h"

namespace {
namespace TopicFollowedVC_cpp {

constexpr char kCellIdentifier[] = "TopicFollowedCell";
constexpr int kPerPage = 20;
constexpr NSInteger kNewBadgeTag = 888;

}  // namespace TopicFollowedVC_cpp
}  // namespace

Ref<TopicFollowedVC> TopicFollowedVC::myinit(int type)
{
    auto topics = makeWithStyle<TopicFollowedVC>(UITableViewStylePlain);
    topics->type_ = type;
    return topics;
}

TopicFollowedVC::~TopicFollowedVC()
{
    for (const Ref<HTTPRequest>& request : {getNewRequest_, getMoreRequest_}) {
        if (request) {
            request->clearDelegatesAndCancel();
        }
    }
    // An unfollow already sent is left to finish on the service; it just no longer reports here.
    for (const Ref<HTTPRequest>& request : unfollowRequests_) {
        request->setDelegate(Weak<HTTPRequestDelegate>());
    }
}

void TopicFollowedVC::viewDidLoad()
{
    PZTableViewController::viewDidLoad();
    setTitle(type_ == 1 ? "所有话题" : "关注的话题");
    if (type_ == 0) {
        editItem_ = UIBarButtonItem::initWithTitle_style_target_action(
            "编辑", UIBarButtonItemStylePlain, self<NSObject>(), UISelector::make("edit", &TopicFollowedVC::edit));
        navigationItem()->setRightBarButtonItem(editItem_);
    }
    if (isRoot_) {
        navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
            UIImage::imageNamed("menu_icon"), UIBarButtonItemStylePlain, self<NSObject>(),
            UISelector::make("showMenu", &TopicFollowedVC::showMenu)));
    }
}

void TopicFollowedVC::viewWillAppear(bool animated)
{
    PZTableViewController::viewWillAppear(animated);
    SliderSetMenuEnable(true);
    currentPage_ = 1;
    getTopicsAt(1);
}

void TopicFollowedVC::viewWillDisappear(bool animated)
{
    PZTableViewController::viewWillDisappear(animated);
    SliderSetMenuEnable(false);
}

void TopicFollowedVC::getTopicsAt(int page)
{
    Ref<HTTPRequest> request;
    if (type_ == 1) {
        request = PZRequest::getAllTopic(page);
    } else if (type_ == 0) {
        request = PZRequest::getTopicFollowedAt(page);
    } else {
        return;
    }
    Ref<HTTPRequest>& slot = page == 1 ? getNewRequest_ : getMoreRequest_;
    if (slot) {
        slot->clearDelegatesAndCancel();
    }
    slot = request;
    request->setDelegate(weakSelf<TopicFollowedVC>());
    request->startAsynchronous();
}

void TopicFollowedVC::reloadData()
{
    tableView()->reloadData();
    // The header is decided on a later turn, after the reply's whole update (the new total included).
    Weak<TopicFollowedVC> weak = weakSelf<TopicFollowedVC>();
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (auto self = weak.lock()) {
            self->putEmptyHeader();
        }
    });
}

void TopicFollowedVC::putEmptyHeader()
{
    if (total_ != 0) {
        tableView()->setTableHeaderView(nullptr);
        return;
    }
    auto header = UIView::initWithFrame(CGRectMake(0, 0, 320, 10));
    auto label = UILabel::initWithFrame(CGRectMake(0, 10, 320, 20));
    label->setTextAlignment(UITextAlignmentCenter);
    label->setBackgroundColor(UIColor::clearColor());
    label->setText("暂时没有关注任何话题");
    header->addSubview(label);
    tableView()->setTableHeaderView(header);
}

void TopicFollowedVC::edit()
{
    if (tableView()->isEditing()) {
        tableView()->setEditing_animated(false, true);
        editItem_->setTitle("编辑");
    } else {
        editItem_->setTitle("完成");
        tableView()->setEditing_animated(true, true);
    }
}

void TopicFollowedVC::showMenu()
{
    if (g_root) {
        g_root->showMenu();
    }
}

NSInteger TopicFollowedVC::numberOfSectionsInTableView(const Ref<UITableView>&) { return 1; }

NSInteger TopicFollowedVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return NSInteger(topicResult_.count());
}

Ref<UITableViewCell> TopicFollowedVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                      const Ref<NSIndexPath>& indexPath)
{
    using namespace TopicFollowedVC_cpp;
    auto cell = std::dynamic_pointer_cast<TopicFollowedCell>(tableView->dequeueReusableCellWithIdentifier(kCellIdentifier));
    if (!cell) {
        cell = TopicFollowedCell::create(kCellIdentifier);
    }
    const Value item = topicResult_[size_t(indexPath->row())];
    cell->myTitleLabel()->setText(item["topic"].stringValue());
    // A reused cell may carry the badge of the topic it showed before.
    while (Ref<UIView> old = cell->contentView()->viewWithTag(kNewBadgeTag)) {
        old->removeFromSuperview();
    }
    if (item["isnew"].boolValue()) {
        auto badge = CountBadge::countBadgeWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
            "new", UIColor::whiteColor(), UIColor::redColor(), true, UIColor::whiteColor(), 1.0, true);
        badge->setTag(kNewBadgeTag);
        const CGRect content = cell->contentView()->bounds();
        CGRect frame = badge->frame();
        frame.origin = CGPointMake(230, (content.size.height - frame.size.height) / 2);
        badge->setFrame(frame);
        cell->contentView()->addSubview(badge);
    }
    return cell;
}

void TopicFollowedVC::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    const size_t row = size_t(indexPath->row());
    if (row >= topicResult_.count() || !navigationController()) {
        return;
    }
    const Value item = topicResult_[row];
    auto feed = FeedVC::myinitWithType_andSuid(13, item["stpid"]);
    navigationController()->pushViewController_animated(feed, true);
    feed->setTitle(item["topic"].stringValue());
}

void TopicFollowedVC::tableView_commitEditingStyle_forRowAtIndexPath(const Ref<UITableView>&,
                                                                     UITableViewCellEditingStyle editingStyle,
                                                                     const Ref<NSIndexPath>& indexPath)
{
    const size_t row = size_t(indexPath->row());
    if (editingStyle != UITableViewCellEditingStyleDelete || row >= topicResult_.count()) {
        return;
    }
    const Value stpid = topicResult_[row]["stpid"];
    Ref<HTTPRequest> request = PZRequest::followTopic_action(stpid, false);
    request->setTag(int(row));
    request->setUserInfo(Value::dictionary({{"stpid", stpid}}));
    request->setDelegate(weakSelf<TopicFollowedVC>());
    unfollowRequests_.push_back(request);
    request->startAsynchronous();
}

void TopicFollowedVC::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    const CGFloat distance =
        scrollView->contentSize().height - scrollView->contentOffset().y - view()->frame().size.height;
    using namespace TopicFollowedVC_cpp;
    const long long pages = ServiceReply::pageLimit(total_, kPerPage);
    if (distance < 50 && !isLoadingMore_ && currentPage_ < pages) {
        getTopicsAt(currentPage_ + 1);
        isLoadingMore_ = true;
    }
}

void TopicFollowedVC::requestFinished(const Ref<HTTPRequest>& request)
{
    using namespace TopicFollowedVC_cpp;
    if (!request) {
        return;
    }
    if (request == getNewRequest_) {
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() == 200) {
            topicResult_ = reply["result"].isArray() ? reply["result"].mutableCopy() : Value::array();
            reloadData();
            total_ = reply["total"].intValue();
        }
        getNewRequest_ = nullptr;
        return;
    }
    if (request == getMoreRequest_) {
        const Value reply = ServiceReply::of(request);
        if (reply["status"].intValue() == 200) {
            if (reply["result"].isArray()) {
                topicResult_.addObjectsFromArray(reply["result"]);
            }
            reloadData();
            ++currentPage_;
        }
        isLoadingMore_ = false;
        getMoreRequest_ = nullptr;
        return;
    }
    const auto unfollow = std::find(unfollowRequests_.begin(), unfollowRequests_.end(), request);
    if (unfollow == unfollowRequests_.end()) {
        return;
    }
    unfollowRequests_.erase(unfollow);
    if (ServiceReply::of(request)["status"].intValue() != 200) {
        return;
    }
    // The list may have been reloaded or extended since the row was deleted, so the topic is found
    // again by its id; a topic no longer listed leaves the list as it is.
    const Value stpid = request->userInfo()["stpid"];
    for (size_t index = 0; index < topicResult_.count(); ++index) {
        if (topicResult_[index]["stpid"].isEqual(stpid)) {
            topicResult_.removeObjectAtIndex(index);
            reloadData();
            break;
        }
    }
}

void TopicFollowedVC::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    if (request == getNewRequest_) {
        getNewRequest_ = nullptr;
    } else if (request == getMoreRequest_) {
        getMoreRequest_ = nullptr;
        isLoadingMore_ = false;
    } else {
        const auto unfollow = std::find(unfollowRequests_.begin(), unfollowRequests_.end(), request);
        if (unfollow == unfollowRequests_.end()) {
            return;
        }
        unfollowRequests_.erase(unfollow);
    }
    ShowNetError();
}
