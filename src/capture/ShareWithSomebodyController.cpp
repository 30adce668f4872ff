#include "capture/ShareWithSomebodyController.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "capture/VideoShareController.h"
#include "net/json/JsonParser.h"
#include "net/webimage/UIImageViewWebCache.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {
namespace ShareWithSomebodyController_cpp {

constexpr char kFriendCellIdentifier[] = "FriendCell";
// How many people one video may show.
constexpr NSUInteger kMostFriends = 4;

}  // namespace ShareWithSomebodyController_cpp
}  // namespace

void FriendCell::registerNib()
{
    if (UINibRegistry::hasNib("FriendCell")) {
        return;
    }
    UINibRegistry::registerNib("FriendCell", [](UINibBuilder& nib) {
        auto cell = nib.add(UITableViewCell::makeWithStyle<FriendCell>(
            UITableViewCellStyleDefault, ShareWithSomebodyController_cpp::kFriendCellIdentifier));
        cell->setFrame(CGRectMake(0, 0, 320, 54));
        cell->avatarImageView = nib.view<UIImageView>(CGRectMake(10, 7, 40, 40));
        cell->nameLable = nib.view<UILabel>(CGRectMake(62, 0, 200, 54));
        cell->nameLable->setFont(UIFont::systemFontOfSize(16));
        cell->nameLable->setBackgroundColor(UIColor::clearColor());
        cell->contentView()->addSubview(cell->avatarImageView);
        cell->contentView()->addSubview(cell->nameLable);
        return std::vector<Ref<NSObject>>{cell};
    });
}

ShareWithSomebodyController::~ShareWithSomebodyController()
{
    if (getFollowRequest_) {
        getFollowRequest_->clearDelegatesAndCancel();
    }
}

void ShareWithSomebodyController::viewDidLoad()
{
    PZViewController::viewDidLoad();
    const auto self = std::static_pointer_cast<ShareWithSomebodyController>(shared_from_this());
    complete_ = false;
    // The chip strip and the gap the list leaves when the strip grows show the list's paper, not a
    // bare band: before anyone is chosen the strip is empty.
    view()->setBackgroundColor(CustomImage::yellowBkg());
    scrollView_ = UIScrollView::initWithFrame(CGRectMake(0, 0, 320, 40));
    view()->addSubview(scrollView_);
    withList_ = Value::array();

    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, 40, 320, 375), UITableViewStylePlain);
    tableView_->setBackgroundColor(CustomImage::yellowBkg());
    tableView_->setDelegate(self);
    tableView_->setDataSource(self);
    view()->addSubview(tableView_);

    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "完成", UIBarButtonItemStyleDone, self,
        UISelector::make("acceptWithSomebody:", &ShareWithSomebodyController::acceptWithSomebody)));
    if (maxWithSomebodyNumber_ == 0) {
        maxWithSomebodyNumber_ = ShareWithSomebodyController_cpp::kMostFriends;
    }
}

void ShareWithSomebodyController::viewWillAppear(bool animated)
{
    PZViewController::viewWillAppear(animated);
    // A fresh first page: what an earlier appearance loaded is replaced, not doubled.
    friendsList_ = Value::array();
    complete_ = false;
    startPage(1);
}

void ShareWithSomebodyController::startPage(int page)
{
    if (getFollowRequest_) {
        getFollowRequest_->clearDelegatesAndCancel();
    }
    getFollowRequest_ = PZRequest::getFollow_atPage(getSelfSuid(), page);
    getFollowRequest_->setTag(page);
    getFollowRequest_->setDelegate(std::static_pointer_cast<ShareWithSomebodyController>(shared_from_this()));
    getFollowRequest_->startAsynchronous();
}

void ShareWithSomebodyController::requestFinished(const Ref<HTTPRequest>& request)
{
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() == 200 && reply["result"].isArray()) {
        for (const Value& person : reply["result"].arrayItems()) {
            if (person.isDictionary()) {
                friendsList_.addObject(person);
            }
        }
    }
    if (NSInteger(friendsList_.count()) != reply["total"].integerValue()) {
        complete_ = true;
    }
    NSLog("%d", int(friendsList_.count()));
    tableView_->reloadData();
}

void ShareWithSomebodyController::requestFailed(const Ref<HTTPRequest>& request)
{
    ShowNetError(Value("分享失败"));
}

void ShareWithSomebodyController::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    if (scrollView != tableView_ || !getFollowRequest_) {
        return;
    }
    const CGFloat left = scrollView->contentSize().height - scrollView->bounds().size.height -
                         scrollView->contentOffset().y;
    if (left < 50 && complete_) {
        complete_ = false;
        startPage(getFollowRequest_->tag() + 1);
    }
}

NSInteger ShareWithSomebodyController::tableView_numberOfRowsInSection(const Ref<UITableView>& tableView,
                                                                       NSInteger section)
{
    return NSInteger(friendsList_.count());
}

Ref<UITableViewCell> ShareWithSomebodyController::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                                  const Ref<NSIndexPath>& indexPath)
{
    auto cell = std::dynamic_pointer_cast<FriendCell>(
        tableView->dequeueReusableCellWithIdentifier(ShareWithSomebodyController_cpp::kFriendCellIdentifier));
    if (!cell) {
        FriendCell::registerNib();
        cell = std::dynamic_pointer_cast<FriendCell>(
            UINibRegistry::instantiate("FriendCell", shared_from_this()).at(0));
    }
    const Value person = friendsList_[indexPath->row()];
    cell->nameLable->setText(person["nick"].stringValue());
    WebCache::setImageWithURL_placeholderImage(cell->avatarImageView,
                                               NSURL::URLWithString(person["icon"].stringValue()),
                                               UIImage::imageNamed("missing-avatar.png"));
    cell->avatarImageView->layer()->setMasksToBounds(true);
    cell->avatarImageView->layer()->setCornerRadius(5);
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    cell->setAccessoryType(withList_.containsObject(person) ? UITableViewCellAccessoryCheckmark
                                                            : UITableViewCellAccessoryNone);
    return cell;
}

Ref<UIView> ShareWithSomebodyController::tableView_viewForHeaderInSection(const Ref<UITableView>& tableView,
                                                                          NSInteger section)
{
    if (section != 0) {
        return nullptr;
    }
    auto header = UIImageView::initWithImage(UIImage::imageNamed("menu_section_header"));
    header->setFrame(CGRectMake(0, 0, 320, 31));
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 320, 31));
    label->setText("   朋友");
    label->setTextColor(UIColor::whiteColor());
    label->setBackgroundColor(UIColor::clearColor());
    header->addSubview(label);
    return header;
}

void ShareWithSomebodyController::tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                    const Ref<NSIndexPath>& indexPath)
{
    const Value person = friendsList_[indexPath->row()];
    const Ref<UITableViewCell> cell = tableView->cellForRowAtIndexPath(indexPath);
    if (withList_.containsObject(person)) {
        withList_.removeObject(person);
        if (cell) {
            cell->setAccessoryType(UITableViewCellAccessoryNone);
        }
    } else if (withList_.count() >= ShareWithSomebodyController_cpp::kMostFriends) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "一次最多只能包含4个好友",
                                                                                        nullptr, "确定")
            ->show();
    } else {
        withList_.addObject(person);
        if (cell) {
            cell->setAccessoryType(UITableViewCellAccessoryCheckmark);
        }
    }
    reloadScrollView();
}

void ShareWithSomebodyController::reloadScrollView()
{
    for (const Ref<UIView>& chip : std::vector<Ref<UIView>>(scrollView_->subviews())) {
        chip->removeFromSuperview();
    }
    const auto font = UIFont::boldSystemFontOfSize(12);
    const Ref<UIImage> background =
        UIImage::imageNamed("friends-selected-button") ? UIImage::imageNamed("friends-selected-button")
                                                             ->stretchableImageWithLeftCapWidth_topCapHeight(20, 0)
                                                       : nullptr;
    CGFloat x = 5, y = 5;
    for (const Value& person : withList_.arrayItems()) {
        const std::string nick = person["nick"].stringValue();
        auto chip = UIButton::buttonWithType(UIButtonTypeCustom);
        chip->setBackgroundImage_forState(background, UIControlStateNormal);
        chip->setTitle_forState(nick, UIControlStateNormal);
        chip->titleLabel()->setFont(font);
        const CGFloat w = UIStringDrawing::sizeWithFont_constrainedToSize_lineBreakMode(nick, font, CGSizeMake(320, 25),
                                                                                       UILineBreakModeCharacterWrap)
                              .width;
        if (x + w + 30 > 320) {
            y += 30;
            x = 5;
        }
        chip->setFrame(CGRectMake(x, y, w + 20, 25));
        x += w + 30;
        scrollView_->addSubview(chip);
    }
    if (y >= 35) {
        scrollView_->setContentSize(CGSizeMake(320, y + 30));
        if (scrollView_->frame().size.height < 65) {
            scrollView_->setFrame(CGRectMake(0, 0, 320, 65));
            CGRect table = tableView_->frame();
            table.origin.y += 30;
            table.size.height -= 30;
            tableView_->setFrame(table);
        }
        scrollView_->scrollRectToVisible_animated(CGRectMake(0, 0, 320, y + 30), true);
    } else if (scrollView_->frame().size.height >= 65) {
        scrollView_->setContentSize(CGSizeMake(320, 40));
        scrollView_->setFrame(CGRectMake(0, 0, 320, 40));
        tableView_->setFrame(CGRectMake(0, 40, 320, 375));
    }
}

void ShareWithSomebodyController::acceptWithSomebody()
{
    const Ref<UINavigationController> navigation = navigationController();
    if (!navigation) {
        return;
    }
    const auto& stack = navigation->viewControllers();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (auto share = std::dynamic_pointer_cast<VideoShareController>(*it)) {
            share->withSomebody(withList_.copy());
            break;
        }
    }
    navigation->popViewControllerAnimated(true);
}

void ShareWithSomebodyController::toggleScrollView()
{
    if (scrollView_->frame().size.height < 60) {
        scrollView_->setFrame(CGRectMake(0, 0, 320, 60));
        CGRect table = tableView_->frame();
        table.origin.y += 30;
        tableView_->setFrame(table);
    } else {
        scrollView_->setContentSize(CGSizeMake(320, 60));
        scrollView_->setFrame(CGRectMake(0, 0, 320, 40));
        tableView_->setFrame(CGRectMake(0, 40, 320, 375));
    }
}
