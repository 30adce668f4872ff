#include "social/FriendVC.h"

#include <algorithm>
#include <mutex>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "api/Tool.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINib.h"
#include "shell/FeedVC.h"
#include "shell/RootViewController.h"
#include "shell/SliderController.h"
#include "social/FindFriendVC.h"

namespace {
namespace FriendVC_cpp {

constexpr char kCommonViews[] = "CommonViews";
constexpr char kFriendCellIdentifier[] = "FriendListCell";
constexpr char kFindFriendIdentifier[] = "FindFriendRow";
constexpr CGFloat kPersonRowHeight = 50;
constexpr CGFloat kHeaderHeight = 31;
// The panel shows beside the main view, which stays on the screen's left part while the panel is
// open: rows keep their contents right of it.
constexpr CGFloat kShownLeft = SliderController::kRightPanelCenterX + 160;

Ref<NSObject> makeFriendListCell(UINibBuilder& nib)
{
    auto cell = nib.add(UITableViewCell::makeWithStyle<FriendListCell>(UITableViewCellStyleDefault, kFriendCellIdentifier));
    cell->setFrame(CGRectMake(0, 0, 320, kPersonRowHeight));
    return cell;
}

// The find-friends row: a magnifier and the screen's name on the panel's dark rows.
Ref<NSObject> makeFindFriendRow(UINibBuilder& nib)
{
    auto cell = nib.add(UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, kFindFriendIdentifier));
    cell->setFrame(CGRectMake(0, 0, 320, 44));
    auto label = nib.view<UILabel>(CGRectMake(kShownLeft + 50, 12, 100, 20));
    label->setText("找朋友");
    label->setFont(UIFont::boldSystemFontOfSize(16));
    label->setTextColor(UIColor::whiteColor());
    label->setBackgroundColor(UIColor::clearColor());
    cell->contentView()->addSubview(label);
    auto hint = nib.view<UILabel>(CGRectMake(kShownLeft + 130, 14, 300 - kShownLeft - 130, 16));
    hint->setText("通讯录、微博好友");
    hint->setFont(UIFont::systemFontOfSize(12));
    hint->setTextColor(UIColor::lightGrayColor());
    hint->setTextAlignment(UITextAlignmentRight);
    hint->setBackgroundColor(UIColor::clearColor());
    cell->contentView()->addSubview(hint);
    auto plus = nib.view<UILabel>(CGRectMake(kShownLeft + 10, 7, 30, 30));
    plus->setText("+");
    plus->setFont(UIFont::boldSystemFontOfSize(24));
    plus->setTextAlignment(UITextAlignmentCenter);
    plus->setTextColor(UIColor::whiteColor());
    plus->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0, 0.455, 0.886, 1));
    plus->layer()->setCornerRadius(5);
    plus->layer()->setMasksToBounds(true);
    cell->contentView()->addSubview(plus);
    return cell;
}

void registerRows()
{
    static std::once_flag once;
    std::call_once(once, [] {
        UINibRegistry::registerObject(kCommonViews, kFriendListCellObject, makeFriendListCell);
        UINibRegistry::registerObject(kCommonViews, kFindFriendRowObject, makeFindFriendRow);
    });
}

template <class T>
Ref<T> loadObject(std::size_t index)
{
    registerRows();
    const std::vector<Ref<NSObject>> objects = UINibRegistry::instantiate(kCommonViews, nullptr);
    return index < objects.size() ? std::dynamic_pointer_cast<T>(objects[index]) : nullptr;
}

// The panel's row backgrounds, at rest and selected, fitted to the cell.
void setRowBackgrounds(const Ref<UITableViewCell>& cell)
{
    // A damaged install may lack the picture: the row is then drawn without it.
    const Ref<UIImage> plain = UIImage::imageNamed("menu_cell_bkg");
    auto normal = UIImageView::initWithImage(plain ? plain->stretchableImageWithLeftCapWidth_topCapHeight(0, 2) : nullptr);
    normal->setFrame(cell->bounds());
    cell->setBackgroundView(normal);
    auto selected = UIImageView::initWithImage(UIImage::imageNamed("menu_cell_bkg_down"));
    selected->setFrame(cell->bounds());
    cell->setSelectedBackgroundView(selected);
}

Ref<UIButton> headerButton(const std::string& title, CGRect frame)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(frame);
    button->setTitle_forState(title, UIControlStateNormal);
    button->setTitleColor_forState(UIColor::lightGrayColor(), UIControlStateNormal);
    button->setTitleColor_forState(UIColor::colorWithRed_green_blue_alpha(0, 0.455, 0.886, 1), UIControlStateSelected);
    button->setTitleColor_forState(UIColor::blueColor(), UIControlStateHighlighted);
    button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(15));
    return button;
}

}  // namespace FriendVC_cpp
}  // namespace

// ---- The person row ------------------------------------------------------------------------------

Ref<FriendListCell> FriendListCell::load() { return FriendVC_cpp::loadObject<FriendListCell>(kFriendListCellObject); }

void FriendListCell::initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier)
{
    UITableViewCell::initWithStyle_reuseIdentifierBody(style, reuseIdentifier);
    head_ = UIButton::buttonWithType(UIButtonTypeCustom);
    head_->setFrame(CGRectMake(FriendVC_cpp::kShownLeft + 8, 5, 40, 40));
    head_->setTag(1001);
    // Rounded once: the rounding lays a frame picture over the avatar, which refills would stack.
    SetImageView::setRoundRect(head_);
    contentView()->addSubview(head_);
    name_ = UILabel::initWithFrame(CGRectMake(FriendVC_cpp::kShownLeft + 58, 15, 244 - FriendVC_cpp::kShownLeft - 58, 20));
    name_->setFont(UIFont::boldSystemFontOfSize(15));
    name_->setTextColor(UIColor::whiteColor());
    name_->setBackgroundColor(UIColor::clearColor());
    contentView()->addSubview(name_);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(250, 11, 60, 28));
    contentView()->addSubview(button);
    addOrRemove_ = button;
}

void FriendListCell::fullfillWithInfo(const Value& item)
{
    infomation_ = item;
    SetImageView::setImageWithUrl(head_, item["icon"]);
    name_->setText(item["nick"].stringValue());
    head_->setUserInteractionEnabled(false);
    Tool::setButtonStatus_withRelation(addOrRemove(), item["type"].intValue());
}

// ---- The panel -----------------------------------------------------------------------------------

FriendVC::~FriendVC()
{
    for (const Ref<HTTPRequest>& request : {getListRequest_, getMoreRequest_}) {
        if (request) {
            request->clearDelegatesAndCancel();
        }
    }
    for (const Ref<HTTPRequest>& request : followRequests_) {
        request->clearDelegatesAndCancel();
    }
}

void FriendVC::viewDidLoad()
{
    UIViewController::viewDidLoad();
    currentSelect_ = kFollowList;
    followcurrentPage_ = 1;
    fanscurrentPage_ = 1;
    view()->setBackgroundColor(CustomImage::bkg());
    if (!table_) {
        table_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 460), UITableViewStylePlain);
        table_->setDelegate(self<FriendVC>());
        table_->setDataSource(self<FriendVC>());
        table_->setSeparatorColor(UIColor::darkGrayColor());
        auto footer = UIView::initWithFrame(CGRectMake(0, 0, 320, 0));
        footer->setBackgroundColor(UIColor::clearColor());
        table_->setTableFooterView(footer);
        table_->setBackgroundColor(UIColor::clearColor());
    }
    view()->addSubview(table_);
}

bool FriendVC::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void FriendVC::setCurrentSuid_andNavigationController(const Value& suid, const Ref<UINavigationController>& navigation)
{
    followings_ = Value();
    fans_ = Value();
    navigation_ = navigation;
    suid_ = suid;
    isSelf_ = acountIsSelf(suid);
    followcurrentPage_ = 1;
    fanscurrentPage_ = 1;
    // Pages still coming belong to the previous user's lists, and so do their totals.
    for (Ref<HTTPRequest>* request : {&getListRequest_, &getMoreRequest_}) {
        if (*request) {
            (*request)->clearDelegatesAndCancel();
            *request = nullptr;
        }
    }
    isLoadingMore_ = false;
    followTotal_ = 0;
    fansTotal_ = 0;
    allReload();
}

Ref<HTTPRequest> FriendVC::listRequest(int listType, int page) const
{
    return listType == kFollowList ? PZRequest::getFollow_atPage(suid_, page) : PZRequest::getFans_atPage(suid_, page);
}

void FriendVC::getDataFromWeb()
{
    setButtonStatus();
    Ref<HTTPRequest> request = listRequest(currentSelect_, 1);
    if (!request) {
        return;
    }
    // Only the newest first page is heard: an older one may be of the other list.
    if (getListRequest_) {
        getListRequest_->clearDelegatesAndCancel();
    }
    request->setTag(currentSelect_);
    request->setDelegate(weakSelf<FriendVC>());
    getListRequest_ = request;
    request->startAsynchronous();
}

void FriendVC::switchTo(int listType)
{
    currentSelect_ = listType == kFollowList ? kFollowList : kFansList;
    if (!listOf(currentSelect_).isNil()) {
        allReload();
    } else {
        getDataFromWeb();
    }
    setButtonStatus();
}

void FriendVC::switchToFollowPage() { switchTo(kFollowList); }

void FriendVC::switchToFansPage() { switchTo(kFansList); }

void FriendVC::getMoreByType(int listType)
{
    const int held = listType == kFollowList ? followcurrentPage_ : fanscurrentPage_;
    Ref<HTTPRequest> request = listRequest(listType, held + 1);
    if (!request) {
        return;
    }
    request->setTag(listType);
    request->setDelegate(weakSelf<FriendVC>());
    getMoreRequest_ = request;
    request->startAsynchronous();
}

const Value& FriendVC::getCurrentSelectedArray() const { return currentSelect_ == kFollowList ? followings_ : fans_; }

void FriendVC::allReload()
{
    if (table_) {
        table_->reloadData();
    }
}

void FriendVC::setButtonStatus()
{
    if (!followBtn_ || !fansBtn_) {
        return;
    }
    if (currentSelect_ == kFollowList) {
        followBtn_->setSelected(true);
        fansBtn_->setSelected(false);
    } else if (currentSelect_ == kFansList) {
        followBtn_->setSelected(false);
        fansBtn_->setSelected(true);
    }
}

NSInteger FriendVC::numberOfSectionsInTableView(const Ref<UITableView>&) { return isSelf_ ? 2 : 1; }

NSInteger FriendVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger section)
{
    if (section != listSection()) {
        return 1;
    }
    return NSInteger(getCurrentSelectedArray().count());
}

Ref<UITableViewCell> FriendVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                              const Ref<NSIndexPath>& indexPath)
{
    using namespace FriendVC_cpp;
    if (indexPath->section() != listSection()) {
        Ref<UITableViewCell> row = tableView->dequeueReusableCellWithIdentifier(kFindFriendIdentifier);
        if (!row) {
            row = loadObject<UITableViewCell>(kFindFriendRowObject);
            setRowBackgrounds(row);
        }
        return row;
    }
    auto cell = std::dynamic_pointer_cast<FriendListCell>(tableView->dequeueReusableCellWithIdentifier(kFriendCellIdentifier));
    if (!cell) {
        cell = FriendListCell::load();
        setRowBackgrounds(cell);
        if (auto button = cell->addOrRemove()) {
            button->addTarget_action_forControlEvents(
                self<NSObject>(), UIControlAction::make("followUnfollow:Event:", &FriendVC::followUnfollow_Event),
                UIControlEventTouchUpInside);
        }
    }
    cell->textLabel()->setText("");
    const Value& list = getCurrentSelectedArray();
    const size_t row = size_t(indexPath->row());
    if (row < list.count()) {
        cell->fullfillWithInfo(list[row]);
    }
    return cell;
}

CGFloat FriendVC::tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    return indexPath->section() == listSection() ? FriendVC_cpp::kPersonRowHeight : 44;
}

CGFloat FriendVC::tableView_heightForHeaderInSection(const Ref<UITableView>&, NSInteger section)
{
    return section == listSection() ? FriendVC_cpp::kHeaderHeight : 0;
}

Ref<UIView> FriendVC::tableView_viewForHeaderInSection(const Ref<UITableView>&, NSInteger section)
{
    using namespace FriendVC_cpp;
    if (section != listSection()) {
        return nullptr;
    }
    auto header = UIView::initWithFrame(CGRectMake(0, 0, 320, kHeaderHeight));
    auto background = UIImageView::initWithImage(UIImage::imageNamed("menu_section_header"));
    background->setFrame(header->bounds());
    header->addSubview(background);
    followBtn_ = headerButton("关注", CGRectMake(75, 0, 100, kHeaderHeight));
    followBtn_->addTarget_action_forControlEvents(
        self<NSObject>(), UIControlAction::make("switchToFollowPage", &FriendVC::switchToFollowPage),
        UIControlEventTouchUpInside);
    header->addSubview(followBtn_);
    fansBtn_ = headerButton("粉丝", CGRectMake(180, 0, 100, kHeaderHeight));
    fansBtn_->addTarget_action_forControlEvents(
        self<NSObject>(), UIControlAction::make("switchToFansPage", &FriendVC::switchToFansPage),
        UIControlEventTouchUpInside);
    header->addSubview(fansBtn_);
    setButtonStatus();
    return header;
}

void FriendVC::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    if (indexPath->section() != listSection()) {
        auto finder = FindFriendVC::create();
        SliderResetTopViewNoAnimate();
        if (auto navigation = navigation_.lock()) {
            navigation->pushViewController_animated(finder, true);
        }
        return;
    }
    const Value& list = getCurrentSelectedArray();
    const size_t row = size_t(indexPath->row());
    if (row >= list.count()) {
        return;
    }
    auto feed = FeedVC::myinitWithType_andSuid(10, list[row]["suid"]);
    SliderResetTopViewNoAnimate();
    if (g_root) {
        if (auto navigation = g_root->lastDisplayedNavi()) {
            navigation->pushViewController_animated(feed, true);
        }
    }
}

void FriendVC::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    const CGFloat distance =
        scrollView->contentSize().height - scrollView->contentOffset().y - view()->frame().size.height;
    const int total = currentSelect_ == kFollowList ? followTotal_ : fansTotal_;
    const int held = currentSelect_ == kFollowList ? followcurrentPage_ : fanscurrentPage_;
    // The list is counted in twenties although a page holds fifty people: the pages past the real
    // end come back empty, which costs a request each but loses nobody.
    const int pages = total / kPagingUnit + 1;
    if (distance < 50 && !isLoadingMore_ && held < pages && !getCurrentSelectedArray().isNil()) {
        getMoreByType(currentSelect_);
        isLoadingMore_ = getMoreRequest_ != nullptr;
    }
}

void FriendVC::followUnfollow_Event(const Ref<UIButton>&, const Ref<UIEvent>& event)
{
    Ref<NSIndexPath> indexPath = Tool::getIndexPathWithTableView_andEvent(table_, event);
    if (!indexPath || indexPath->section() != listSection()) {
        return;
    }
    const Value& list = getCurrentSelectedArray();
    const size_t row = size_t(indexPath->row());
    if (row >= list.count()) {
        return;
    }
    const Value item = list[row];
    Ref<HTTPRequest> request =
        item["type"].intValue() % 2 != 0 ? PZRequest::unfollowHe(item["suid"]) : PZRequest::followHe(item["suid"]);
    if (!request) {
        return;
    }
    request->setTag(int(row) + (currentSelect_ == kFollowList ? kFollowTagBase : kFansTagBase));
    // Whom the request is about, so the reply finds that person even in a list replaced meanwhile.
    request->setUserInfo(Value::dictionary({{"suid", item["suid"]}}));
    request->setDelegate(weakSelf<FriendVC>());
    followRequests_.push_back(request);
    request->startAsynchronous();
}

void FriendVC::requestFinished(const Ref<HTTPRequest>& request)
{
    using namespace FriendVC_cpp;
    if (!request) {
        return;
    }
    Ref<FriendVC> keep = self<FriendVC>();
    const Value reply = ServiceReply::of(request);
    if (request == getListRequest_) {
        const int listType = request->tag() == kFollowList ? kFollowList : kFansList;
        listOf(listType) = ServiceReply::mutableItems(reply["result"]);
        (listType == kFollowList ? followcurrentPage_ : fanscurrentPage_) = 1;
        (listType == kFollowList ? followTotal_ : fansTotal_) = reply["total"].intValue();
        allReload();
        getListRequest_ = nullptr;
        return;
    }
    if (request->tag() < kFollowTagBase) {
        if (request != getMoreRequest_) {
            return;
        }
        if (reply["status"].intValue() == 200) {
            const int listType = request->tag() == kFollowList ? kFollowList : kFansList;
            Value& list = listOf(listType);
            if (list.isNil()) {
                list = Value::array();
            }
            list.addObjectsFromArray(ServiceReply::mutableItems(reply["result"]));
            ++(listType == kFollowList ? followcurrentPage_ : fanscurrentPage_);
            allReload();
        }
        isLoadingMore_ = false;
        getMoreRequest_ = nullptr;
        return;
    }
    const auto found = std::find(followRequests_.begin(), followRequests_.end(), request);
    if (found == followRequests_.end()) {
        return;
    }
    followRequests_.erase(found);
    // The new relation, whatever the status: a reply without one reads as not following.
    const int relation = reply["type"].intValue();
    const int tag = request->tag();
    Value& list = tag < kFansTagBase ? followings_ : fans_;
    const size_t row = size_t(tag < kFansTagBase ? tag - kFollowTagBase : tag - kFansTagBase);
    request->setTag(0);
    const Value suid = request->userInfo()["suid"];
    // The row the button was on, while it still shows the same person; otherwise that person wherever
    // the list holds them now; a person no longer listed drops the reply.
    size_t index = list.count();
    if (row < list.count() && list[row]["suid"].isEqual(suid)) {
        index = row;
    } else {
        for (size_t i = 0; i < list.count(); ++i) {
            if (list[i]["suid"].isEqual(suid)) {
                index = i;
                break;
            }
        }
    }
    if (index >= list.count()) {
        return;
    }
    list[index].setObject_forKey(Value(relation), "type");
    allReload();
}

void FriendVC::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    if (request == getListRequest_) {
        getListRequest_ = nullptr;
    } else if (request == getMoreRequest_) {
        // The page may be asked again by scrolling.
        getMoreRequest_ = nullptr;
        isLoadingMore_ = false;
    } else {
        std::erase(followRequests_, request);
    }
    ShowNetError();
}
