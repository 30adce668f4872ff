#include "shell/FeedVC.h"

#include "api/ServiceReply.h"
#include "shell/ombriAppDelegate.h"

#include <algorithm>
#include <cmath>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/SessionHooks.h"
#include "api/Tool.h"
#include "bridge/PZFFmpeg.h"
#include "capture/PPlayer.h"
#if __has_include("platform/media/MPMoviePlayerController.h")
#include "platform/media/MPMoviePlayerController.h"
#endif
#include "net/json/JsonParser.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UISelector.h"
#include "shell/FeedBars.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedViews.h"
#include "shell/HeaderView.h"
#include "shell/RootViewController.h"
#include "shell/VideoMainPage.h"
#include "social/MessageBoxVC.h"
#include "social/SquareVC.h"
#include "widgets/WebViewController.h"

namespace {
namespace FeedVC_cpp {

// The refresh button's spin: two turns in two seconds.
constexpr double kRevItUpTurns = 12.566371;
constexpr double kRevItUpDuration = 2.0;
constexpr char kRevItUpKey[] = "revItUpAnimation";
// The next page is asked for when less than this remains below the visible band.
constexpr int kLoadMoreDistance = 50;
// The browser offers every action (Safari, mail, copy).
constexpr unsigned kAllBrowserActions = 7;

void alert(const std::string& title, const std::string& message)
{
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(title, message, nullptr, "确定")
        ->show();
}

// The view of the shared movie player (the player itself while it is a plain view).
inline Ref<UIView> playerViewOf(const Ref<UIView>& player)
{
    return player;
}
template <class Player>
    requires requires(Player& player) { player.view(); }
Ref<UIView> playerViewOf(const Ref<Player>& player)
{
    return player->view();
}

Value payload(const Value& item)
{
    return item[item["type"].stringValue()];
}

}  // namespace FeedVC_cpp
}  // namespace

// ---- Creation ---------------------------------------------------------------------------------------

Ref<FeedVC> FeedVC::myinitWithType_andSuid(int type, const Value& suid)
{
    auto controller = std::make_shared<FeedVC>();
    controller->myinitWithType_andSuidBody(type, suid);
    return controller;
}

Ref<FeedVC> FeedVC::myinitWithType_andSuid_isRoot(int type, const Value& suid, bool isRoot)
{
    auto controller = std::make_shared<FeedVC>();
    controller->isRoot_ = isRoot;
    controller->myinitWithType_andSuidBody(type, suid);
    return controller;
}

void FeedVC::myinitWithType_andSuidBody(int type, const Value& suid)
{
    initBody();
    registerFeedViews();
    registerFeedInterfaceObjects();
    auto center = NSNotificationCenter::defaultCenter();
    const Ref<FeedVC> me = self<FeedVC>();
    center->addObserver_selector_name_object(me, &FeedVC::loginSuccess, kLoginSuccessNotification, Value());
    // The engine posts this one from its own threads: the work goes to the main queue.
    const Weak<FeedVC> weak = me;
    center->addObserver(me, kDeleteMediaNotification, Value(), [weak](const Ref<NSNotification>&) {
        if (NSThread::isMainThread()) {
            if (auto feed = weak.lock()) {
                feed->deleteMedia();
            }
            return;
        }
        dispatch_async(dispatch_get_main_queue(), [weak] {
            if (auto feed = weak.lock()) {
                feed->deleteMedia();
            }
        });
    });
    type_ = type;
    suid_ = suid;
    if (type_ == FeedTypeNearby) {
        locationMgr_ = CLLocationManager::create();
        locationMgr_->setDelegate(me);
        locationMgr_->setDesiredAccuracy(kCLLocationAccuracyBest);
    }
    currentPage_ = 1;
    if (type_ == FeedTypeNearby) {
        locationBottom_ = std::dynamic_pointer_cast<LocationBottomBar>(commonViewAtIndex(kLocationBarNibIndex));
        if (locationBottom_) {
            locationBottom_->setHidden(true);
        }
    } else if (type_ == FeedTypeTopic) {
        topicAction_ = std::dynamic_pointer_cast<TopicActionView>(commonViewAtIndex(kTopicBarNibIndex));
        if (topicAction_) {
            topicAction_->setFrame(CGRectMake(0, 372, 320, 44));
            topicAction_->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("comment_bkg.png")));
            topicAction_->followTopic()->addTarget_action_forControlEvents(
                me, UIControlAction::make("followThisTopic", &FeedVC::followThisTopic), UIControlEventTouchUpInside);
            topicAction_->iWillShare()->addTarget_action_forControlEvents(
                me, UIControlAction::make("iWillShare", &FeedVC::iWillShare), UIControlEventTouchUpInside);
        }
    } else if (type_ == FeedTypeHome) {
        systemMsgBottom_ = std::dynamic_pointer_cast<SystemMsgBottomBar>(commonViewAtIndex(kSystemMsgBarNibIndex));
        if (systemMsgBottom_) {
            SetImageView::setRoundRect(systemMsgBottom_->head());
            systemMsgBottom_->actionResponse()->addTarget_action_forControlEvents(
                me, UIControlAction::make("systemRemindClicked", &FeedVC::systemRemindClicked),
                UIControlEventTouchUpInside);
            systemMsgBottom_->setHidden(true);
        }
        center->addObserver_selector_name_object(me, &FeedVC::adCloseClicked, kAdCloseClickedNotification, Value());
    }
}

FeedVC::~FeedVC()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    for (Ref<HTTPRequest>* slot :
         {&getNewRequest_, &getMoreRequest_, &tagMsgboxToReaded_, &followUnfollowRequest_, &followTopicRequest_}) {
        dropRequest(*slot);
    }
    if (locationMgr_) {
        locationMgr_->stopUpdatingLocation();
        locationMgr_->setDelegate(nullptr);
    }
    if (coolMenu_) {
        coolMenu_->setDelegate(nullptr);
    }
}

// ---- View life ----------------------------------------------------------------------------------------

std::string FeedVC::menuTitle() const
{
    switch (type_) {
    case FeedTypeHome: return "首页";
    case FeedTypeNewest: return "最新";
    case FeedTypeMine: return "我的";
    default: return "";
    }
}

bool FeedVC::haveHead() const
{
    return type_ != FeedTypeMine && type_ != FeedTypeUser;
}

void FeedVC::viewDidLoad()
{
    UIViewController::viewDidLoad();
    const Ref<FeedVC> me = self<FeedVC>();
    const Ref<UIView> root = view();
    if (type_ == FeedTypeHome || type_ == FeedTypeNewest || type_ == FeedTypeMine) {
        setTitle(menuTitle());
    }
    const bool plain = type_ == FeedTypeNewest || type_ == FeedTypePlaza || type_ == FeedTypeNearby ||
                       type_ == FeedTypeTopic;
    root->setBackgroundColor(plain ? UIColor::whiteColor() : CustomImage::bkg());

    if (!table_) {
        table_ = UITableView::initWithFrame_style(
            CGRectMake(0, 0, 320, type_ == FeedTypeTopic ? 372 : kFeedVisibleHeight), UITableViewStylePlain);
        table_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
        table_->setBackgroundColor(UIColor::clearColor());
        table_->setDelegate(me);
        table_->setDataSource(me);
        root->addSubview(table_);
    }

    if (plain) {
        const CGFloat height = table_->bounds().size.height;
        refreshHeaderView_ = RefreshTableHeaderView::initWithFrame(CGRectMake(0, -height, 320, height));
        refreshHeaderView_->setDelegate(me);
        table_->addSubview(refreshHeaderView_);
        refreshHeaderView_->refreshLastUpdatedDate();
    } else if (type_ == FeedTypeHome || type_ == FeedTypeMine || type_ == FeedTypeUser) {
        headerView_ = std::dynamic_pointer_cast<HeaderView>(Tool::getHeaderViewFromNib(0));
        if (headerView_) {
            headerView_->setFrame(CGRectMake(0, 0, 320, type_ == FeedTypeHome ? 160 : 320));
            if (headerView_->videoSign) {
                headerView_->videoSign->setHidden(true);
            }
            headerView_->refresh->addTarget_action_forControlEvents(
                me, UIControlAction::make("refreshFeed", &FeedVC::refreshFeed), UIControlEventTouchUpInside);
            headerView_->fansRemind->addTarget_action_forControlEvents(
                me, UIControlAction::make("fansRemindClicked", &FeedVC::fansRemindClicked),
                UIControlEventTouchUpInside);
            table_->setTableHeaderView(headerView_);
        }
        NSNotificationCenter::defaultCenter()->addObserver_selector_name_object(
            me, &FeedVC::fansRemindReceived, kFansRemindNotification, Value());
        if (type_ == FeedTypeHome) {
            feedDesktop_ = UIScrollView::initWithFrame(CGRectMake(0, -80, 320, 560));
            feedDesktop_->setContentSize(CGSizeMake(320, 640));
            desktopView_ = UIImageView::initWithFrame(CGRectMake(0, 0, 320, 320));
            desktopView_->setContentMode(UIViewContentModeScaleAspectFit);
            feedDesktop_->addSubview(desktopView_);
            root->insertSubview_atIndex(feedDesktop_, 0);
        }
        const Value account = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
        if (account.isDictionary() && (type_ == FeedTypeHome || type_ == FeedTypeMine)) {
            Value info = account.mutableCopy();
            Value ext = Value::dictionary();
            if (!account["cover"].isNilOrNull()) {
                ext.setObject_forKey(account["cover"], "cover");
            }
            info.setObject_forKey(ext, "ext");
            userInfo_ = info;
            relation_ = 4;
            if (headerView_) {
                if (type_ == FeedTypeHome) {
                    headerView_->setIsMyFeed(true);
                }
                headerView_->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(
                    info, navigationController(), type_ == FeedTypeHome, relation_,
                    type_ == FeedTypeHome ? desktopView_ : nullptr);
            }
        }
    }

    reloadData();

    if (type_ == FeedTypeHome || type_ == FeedTypeNewest || type_ == FeedTypeMine || type_ == FeedTypePlaza ||
        type_ == FeedTypeNearby) {
        buildRecordMenu();
    }
    if (type_ == FeedTypeHome) {
        auto center = NSNotificationCenter::defaultCenter();
        center->addObserver_selector_name_object(me, &FeedVC::systemRemindReceived, kSystemRemindNotification,
                                                 Value());
        center->addObserver_selector_name_object(me, &FeedVC::systemRemindDismiss, kSystemDismissNotification,
                                                 Value());
    }
    getContentFromWeb();
    if (type_ == FeedTypeHome) {
        buildFirstTip();
    }

    // The bars lie over the list at the foot of the screen, under the record menu's button, which
    // stays within reach.
    auto addBar = [&](const Ref<UIView>& bar) {
        if (coolMenu_) {
            root->insertSubview_belowSubview(bar, coolMenu_);
        } else {
            root->addSubview(bar);
        }
    };
    if (locationBottom_) {
        addBar(locationBottom_);
    }
    if (topicAction_) {
        addBar(topicAction_);
    }
    if (systemMsgBottom_) {
        const CGRect bar = systemMsgBottom_->frame();
        systemMsgBottom_->setFrame(
            CGRectMake(0, root->bounds().size.height - bar.size.height - 44, bar.size.width, bar.size.height));
        systemMsgBottom_->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin);
        addBar(systemMsgBottom_);
    }
}

void FeedVC::viewWillAppear(bool animated)
{
    UIViewController::viewWillAppear(animated);
    const Ref<FeedVC> me = self<FeedVC>();
    refreshRecordMenuItem();
    const bool personal = type_ == FeedTypeHome || type_ == FeedTypeMine || type_ == FeedTypeUser;
    if (personal) {
        navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
            UIImage::imageNamed("friend_icon.png"), UIBarButtonItemStylePlain, me,
            UISelector::make("showFriend", &FeedVC::showFriend)));
    }
    if (personal && isLogin()) {
        SliderSetFriendEnable(true);
        SliderSetFriendInfo(suid_, navigationController());
    } else {
        SliderSetFriendEnable(false);
    }
    const Ref<UINavigationController> navigation = navigationController();
    if (navigation && !navigation->viewControllers().empty() && navigation->viewControllers().front() == me) {
        navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
            UIImage::imageNamed("menu_icon.png"), UIBarButtonItemStylePlain, me,
            UISelector::make("showMenu", &FeedVC::showMenu)));
        SliderSetMenuEnable(true);
    } else {
        SliderSetMenuEnable(false);
    }
    if (type_ == FeedTypeHome) {
        refreshFeed();
    }
}

void FeedVC::viewWillDisappear(bool animated)
{
    UIViewController::viewWillDisappear(animated);
    SliderSetMenuEnable(false);
    PPlayer::stop();
}

bool FeedVC::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void FeedVC::showMenu()
{
    if (g_root) {
        g_root->showMenu();
    }
}

void FeedVC::showFriend()
{
    if (isLogin()) {
        SliderToRight();
    } else {
        PresentLogin();
    }
}

// ---- Requests -----------------------------------------------------------------------------------------

void FeedVC::dropRequest(Ref<HTTPRequest>& slot)
{
    if (slot) {
        slot->clearDelegatesAndCancel();
        slot = nullptr;
    }
}

void FeedVC::startRequest(Ref<HTTPRequest>& slot, Ref<HTTPRequest> request)
{
    dropRequest(slot);
    slot = std::move(request);
    if (slot) {
        slot->setDelegate(weakSelf<FeedVC>());
        slot->startAsynchronous();
    }
}

Ref<HTTPRequest> FeedVC::getRequestAtPage(int page)
{
    switch (type_) {
    case FeedTypeHome: return PZRequest::getV2FeedAtPage(page);
    case FeedTypeNewest: return PZRequest::getV2RecentAtPage(page);
    case FeedTypeMine: return PZRequest::getV2User_atPage(getSelfSuid(), page);
    case FeedTypeUser: return PZRequest::getV2User_atPage(suid_, page);
    case FeedTypePlaza: return PZRequest::getV2plazaAtPage(page);
    case FeedTypeNearby: return PZRequest::getNearbyVideos_atPage(currentLocation_, page);
    case FeedTypeTopic: return PZRequest::getTopicAtPage_topicID(page, suid_);
    default: return nullptr;
    }
}

void FeedVC::refreshFeed()
{
    if (headerView_ && headerView_->refresh) {
        auto spin = CABasicAnimation::animationWithKeyPath("transform.rotation.z");
        spin->setToValue(CAValue(FeedVC_cpp::kRevItUpTurns));
        spin->setDuration(FeedVC_cpp::kRevItUpDuration);
        spin->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
        headerView_->refresh->layer()->addAnimation_forKey(spin, FeedVC_cpp::kRevItUpKey);
    }
    forceGetContentFromWeb();
}

void FeedVC::forceGetContentFromWeb()
{
    if (type_ == FeedTypeNearby) {
        // Page 1 of the nearby feed waits for a fix. Without location services no fix will come, so a
        // pull that asked for one ends here instead of spinning for ever.
        if (locationMgr_ && CLLocationManager::locationServicesEnabled()) {
            awaitingFix_ = true;
            locationMgr_->startUpdatingLocation();
        } else {
            endPullSoon();
        }
        return;
    }
    startRequest(getNewRequest_, getRequestAtPage(1));
    if (!getNewRequest_) {
        endPullSoon();
    }
}

void FeedVC::endPullSoon()
{
    // The header takes its loading state after asking us to reload, so the end follows on the next
    // turn of the main queue.
    const Weak<FeedVC> weak = weakSelf<FeedVC>();
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (auto feed = weak.lock()) {
            feed->doneLoadingTableViewData();
        }
    });
}

void FeedVC::getContentFromWeb()
{
    if (channels_.isNil()) {
        forceGetContentFromWeb();
    }
}

void FeedVC::loadMore()
{
    if (getMoreRequest_ || currentPage_ >= total_) {
        return;
    }
    startRequest(getMoreRequest_, getRequestAtPage(currentPage_ + 1));
}

void FeedVC::requestFinished(const Ref<HTTPRequest>& request)
{
    const Value reply = ServiceReply::of(request);
    if (request == getNewRequest_) {
        getNewRequest_ = nullptr;
        firstPageArrived(reply);
    } else if (request == getMoreRequest_) {
        getMoreRequest_ = nullptr;
        nextPageArrived(reply);
        isLoadingMore_ = false;
    } else if (request == tagMsgboxToReaded_ || request == followUnfollowRequest_ || request == followTopicRequest_) {
        actionReplyArrived(request, reply);
    }
}

void FeedVC::requestFailed(const Ref<HTTPRequest>& request)
{
    if (request == getNewRequest_) {
        getNewRequest_ = nullptr;
    } else if (request == getMoreRequest_) {
        getMoreRequest_ = nullptr;
        isLoadingMore_ = false;
    } else {
        // The actions' requests fail silently: the buttons stay as they were.
        for (Ref<HTTPRequest>* slot : {&tagMsgboxToReaded_, &followUnfollowRequest_, &followTopicRequest_}) {
            if (request == *slot) {
                *slot = nullptr;
            }
        }
        return;
    }
    doneLoadingTableViewData();
    ShowNetError();
}

void FeedVC::firstPageArrived(const Value& reply)
{
    if (reply["status"].intValue() != 200) {
        FeedVC_cpp::alert("提示", reply["msg"].stringValue());
        // A refused page ends the pull as well, or the header would keep loading.
        doneLoadingTableViewData();
        return;
    }
    allInfo_ = reply;
    relation_ = reply["relation"].intValue();
    userInfo_ = reply["header"];
    if (!userInfo_.isNilOrNull()) {
        suid_ = userInfo_["suid"];
        SliderSetFriendInfo(suid_, navigationController());
    }
    channels_ = reply["result"].isArray() ? reply["result"].mutableCopy() : Value::array();
    currentPage_ = 1;
    total_ = reply["total"].intValue();
    refreshLocalMedias(false);
    if (type_ == FeedTypeHome && !isAdClosed() && !reply["pos"].isNilOrNull()) {
        Value ad = Value::dictionary();
        ad.setObject_forKey("ad", "type");
        ad.setObject_forKey(reply["pos"], "pos");
        channels_.insertObject_atIndex(ad, 0);
    }
    reloadData();
    if (type_ == FeedTypeNearby && locationBottom_) {
        const Ref<UIView> root = view();
        const CGRect bar = locationBottom_->frame();
        locationBottom_->setFrame(
            CGRectMake(0, root->bounds().size.height - bar.size.height, bar.size.width, bar.size.height));
        locationBottom_->title()->setText(reply["locationText"].stringValue());
        locationBottom_->setHidden(false);
    }
    doneLoadingTableViewData();
}

void FeedVC::nextPageArrived(const Value& reply)
{
    if (reply["status"].intValue() != 200) {
        FeedVC_cpp::alert("提示", reply["msg"].stringValue());
        return;
    }
    const Value result = reply["result"];
    if (result.isArray() && result.count() > 0) {
        if (!channels_.isArray()) {
            channels_ = Value::array();
        }
        channels_.addObjectsFromArray(result);
        currentPage_ += 1;
        if (table_) {
            table_->reloadData();
        }
    }
}

void FeedVC::doneLoadingTableViewData()
{
    if (!reloading_) {
        return;
    }
    reloading_ = false;
    if (refreshHeaderView_) {
        refreshHeaderView_->refreshScrollViewDataSourceDidFinishedLoading(table_);
    }
}

// ---- The list -----------------------------------------------------------------------------------------

bool FeedVC::isMyLib()
{
    return acountIsSelf(userInfo_["suid"]);
}

void FeedVC::refreshLocalMedias(bool reload)
{
    if (isMyLib()) {
        PZFFmpeg::findAllFlvs();
        Value local = Value::array();
        if (auto ffmpeg = g_ffmpeg.get()) {
            const Value videos = ffmpeg->localVideos();
            for (const Value& entry : videos.arrayItems()) {
                const int status = entry["status"].intValue();
                if (status == 2 || status == 1 || status == 4) {
                    local.addObject(entry);
                }
            }
        }
        localChannels_ = local;
    }
    if (reload) {
        reloadData();
    }
}

void FeedVC::reloadData()
{
    if (table_) {
        table_->reloadData();
    }
    if (headerView_) {
        if (type_ == FeedTypeHome) {
            headerView_->setIsMyFeed(true);
        }
        headerView_->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(
            userInfo_, navigationController(), haveHead(), relation_,
            type_ == FeedTypeHome ? desktopView_ : nullptr);
        if (headerView_->followOrUnfollow) {
            headerView_->followOrUnfollow->addTarget_action_forControlEvents(
                self<FeedVC>(), UIControlAction::make("followOrUnfollow", &FeedVC::followOrUnfollow),
                UIControlEventTouchUpInside);
        }
    }
    if (type_ == FeedTypeTopic) {
        setTitle(allInfo_["topic"].stringValue());
        if (topicAction_ && !allInfo_.isNil()) {
            const bool followed = allInfo_["isfollow"].boolValue();
            topicAction_->followTopic()->setEnabled(!followed);
            topicAction_->followTopic()->setTitle_forState(followed ? "已关注" : "关注话题", UIControlStateNormal);
        }
    } else if (type_ == FeedTypePlaza) {
        setTitle("推荐");
    } else if (type_ == FeedTypeNearby) {
        setTitle("附近");
    } else if (title().empty()) {
        setTitle(userInfo_["nick"].stringValue());
    }
    if (!table_) {
        return;
    }
    if (localChannels_.count() == 0 && channels_.count() == 0) {
        auto footer = UIView::initWithFrame(CGRectMake(0, 0, 320, 500));
        footer->setBackgroundColor(CustomImage::yellowBkg());
        auto label = UILabel::initWithFrame(CGRectMake(0, 20, 320, 20));
        label->setFont(UIFont::boldSystemFontOfSize(17));
        label->setTextColor(UIColor::colorWithWhite_alpha(0.4, 1));
        label->setBackgroundColor(UIColor::clearColor());
        label->setTextAlignment(UITextAlignmentCenter);
        footer->addSubview(label);
        table_->setTableFooterView(footer);
    } else {
        table_->setTableFooterView(nullptr);
    }
}

Value FeedVC::itemAtRow(NSInteger row, bool* local) const
{
    const NSInteger locals = type_ == FeedTypeMine ? NSInteger(localChannels_.count()) : 0;
    *local = row < locals;
    if (*local) {
        return localChannels_.objectAtIndex(NSUInteger(row));
    }
    const NSUInteger index = NSUInteger(row - locals);
    return index < channels_.count() ? channels_.objectAtIndex(index) : Value();
}

NSInteger FeedVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return NSInteger(channels_.count()) + (type_ == FeedTypeMine ? NSInteger(localChannels_.count()) : 0);
}

Ref<UITableViewCell> FeedVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                             const Ref<NSIndexPath>& indexPath)
{
    bool local = false;
    const Value item = itemAtRow(indexPath->row(), &local);
    const std::string reuse = local ? kLocalFeedCellReuseIdentifier : kFeedCellReuseIdentifier;
    auto cell = std::dynamic_pointer_cast<FeedCellFull>(tableView->dequeueReusableCellWithIdentifier(reuse));
    if (!cell) {
        cell = FeedCellFull::myinit_andReuse(navigationController(), reuse);
    }
    if (local) {
        cell->fullFillWithLocalInfo_andParentController(item, self<FeedVC>());
    } else {
        cell->fullFillWithInfo_withHead_andNavigationController(item, haveHead(), navigationController());
    }
    return cell;
}

CGFloat FeedVC::tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    bool local = false;
    return FeedCellFull::getHeight_haveHead(itemAtRow(indexPath->row(), &local), haveHead());
}

void FeedVC::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    bool local = false;
    const Value item = itemAtRow(indexPath->row(), &local);
    const Ref<UINavigationController> navigation = navigationController();
    if (local || !navigation) {
        return;
    }
    const std::string kind = item["type"].stringValue();
    if (kind == "comment") {
        navigation->pushViewController_animated(
            VideoMainPage::myinitWithType_data(0, FeedVC_cpp::payload(item)["scmtid"]), true);
    } else if (kind == "follow") {
        navigation->pushViewController_animated(
            FeedVC::myinitWithType_andSuid(FeedTypeUser, FeedVC_cpp::payload(item)["toUser"]["suid"]), true);
    }
}

void FeedVC::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    const CGPoint offset = scrollView->contentOffset();
    const int distance =
        int(scrollView->contentSize().height - offset.y - scrollView->bounds().size.height);
    if (distance < FeedVC_cpp::kLoadMoreDistance && !isLoadingMore_ &&
        currentPage_ < ServiceReply::pageLimit(total_, kFeedPageSize)) {
        loadMore();
        isLoadingMore_ = true;
    }

    if (const auto player = PPlayer::sharedMoviePlayer()) {
        const Ref<UIView> playerView = FeedVC_cpp::playerViewOf(player);
        if (playerView && playerView->superview()) {
            const CGRect rect = view()->convertRect_fromView(playerView->bounds(), playerView->superview());
            if (rect.origin.y + rect.size.height < 0 || rect.origin.y > kFeedVisibleHeight) {
                PPlayer::stop();
            }
        }
    }

    if (refreshHeaderView_) {
        refreshHeaderView_->refreshScrollViewDidScroll(scrollView);
    }

    if (scrollView == table_ && feedDesktop_) {
        const CGFloat o = offset.y;
        CGRect frame = feedDesktop_->frame();
        if (o >= 0) {
            frame.origin.y = -80 - o;
        } else {
            frame.origin.y = std::max(CGFloat(int(-o / 2 - 80)), -160 - o);
        }
        feedDesktop_->setFrame(frame);
    }
}

void FeedVC::scrollViewDidEndDragging_willDecelerate(const Ref<UIScrollView>& scrollView, bool)
{
    if (refreshHeaderView_) {
        refreshHeaderView_->refreshScrollViewDidEndDragging(scrollView);
    }
}

void FeedVC::scrollViewDidEndScrollingAnimation(const Ref<UIScrollView>& scrollView)
{
    if (refreshHeaderView_) {
        refreshHeaderView_->refreshScrollViewDidEndDragging(scrollView);
    }
}

// ---- Pull to refresh and location ---------------------------------------------------------------------

void FeedVC::refreshTableHeaderDidTriggerRefresh(const Ref<RefreshTableHeaderView>&)
{
    reloading_ = true;
    forceGetContentFromWeb();
}

bool FeedVC::refreshTableHeaderDataSourceIsLoading(const Ref<RefreshTableHeaderView>&)
{
    return reloading_;
}

std::optional<NSDate> FeedVC::refreshTableHeaderDataSourceLastUpdated(const Ref<RefreshTableHeaderView>&)
{
    return NSDate::date();
}

void FeedVC::locationManager_didUpdateToLocation_fromLocation(const Ref<CLLocationManager>& manager,
                                                              const Ref<CLLocation>& newLocation,
                                                              const Ref<CLLocation>&)
{
    manager->stopUpdatingLocation();
    if (!newLocation || !awaitingFix_) {
        return;
    }
    awaitingFix_ = false;
    const CLLocationCoordinate2D coordinate = newLocation->coordinate();
    currentLocation_ = CGPointMake(CGFloat(float(coordinate.latitude)), CGFloat(float(coordinate.longitude)));
    startRequest(getNewRequest_, PZRequest::getNearbyVideos_atPage(currentLocation_, 1));
}

void FeedVC::locationManager_didFailWithError(const Ref<CLLocationManager>& manager, const Ref<NSError>& error)
{
    manager->stopUpdatingLocation();
    awaitingFix_ = false;
    doneLoadingTableViewData();
    if (error && error->code() == kCLErrorDenied) {
        const std::string name = NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleDisplayName").stringValue();
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
            "定位服务不可用", stringWithFormat("请在“设置 - 定位服务 - %@”开启定位服务", name), nullptr, "确定")
            ->show();
    }
}

// ---- Notifications ------------------------------------------------------------------------------------

void FeedVC::loginSuccess()
{
    if (type_ == FeedTypeHome || type_ == FeedTypeMine) {
        refreshFeed();
    }
    if (type_ == FeedTypeHome) {
        if (headerView_ && headerView_->fansRemindView) {
            headerView_->fansRemindView->setHidden(true);
        }
        if (systemMsgBottom_) {
            systemMsgBottom_->setHidden(true);
        }
    }
}

void FeedVC::deleteMedia()
{
    if (isMyLib()) {
        refreshFeed();
    }
}

void FeedVC::adCloseClicked()
{
    if (channels_.count() > 0 && channels_.objectAtIndex(0)["type"].stringValue() == "ad") {
        channels_.removeObjectAtIndex(0);
        if (table_) {
            table_->reloadData();
        }
    }
}

// ---- Web actions --------------------------------------------------------------------------------------

void FeedVC::actionControledFromWeb_byNavigationController(const Value& action,
                                                           const Ref<UINavigationController>& navigationController)
{
    if (!navigationController) {
        return;
    }
    const std::string name = action["action"].stringValue();
    const Value data = action["data"];
    Ref<UIViewController> next;
    if (name == "sys") {
        next = MessageBoxVC::create();
    } else if (name == "chan") {
        next = VideoMainPage::myinitWithType_data(2, data);
    } else if (name == "cmt") {
        next = VideoMainPage::myinitWithType_data(1, data);
    } else if (name == "url") {
        // The address comes from the service: one that is no URL opens nothing.
        if (!NSURL::URLWithString(data.stringValue())) {
            return;
        }
        auto browser = ModalWebViewController::initWithAddress(data.stringValue());
        browser->setModalPresentationStyle(UIModalPresentationPageSheet);
        browser->setAvailableActions(FeedVC_cpp::kAllBrowserActions);
        navigationController->presentModalViewController_animated(browser, true);
        return;
    } else if (name == "user") {
        next = FeedVC::myinitWithType_andSuid(FeedTypeUser, data);
    } else if (name == "news") {
        next = SquareVC::create();
    } else if (name == "topic") {
        next = FeedVC::myinitWithType_andSuid(FeedTypeTopic, data);
    }
    if (next) {
        navigationController->pushViewController_animated(next, true);
    }
}
