#include "shell/VideoMainPage.h"

#include <algorithm>
#include <cmath>

#include "api/Categories.h"
#include "api/PZRequest.h"
#include "api/RecordAccessors.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "capture/PPlayer.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScrollView.h"
#include "shell/CommentCell.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedCellRoutes.h"
#include "shell/VideoPageViews.h"
#include "social/TagEmotion.h"
#include "widgets/StatusBarOverlay.h"

namespace {
namespace VideoMainPage_cpp {

constexpr char kReplyFormat[] = "回复@%@:";
constexpr char kFailureText[] = "评论获取失败";
// The header's video height is bounded both ways: a record claiming an extreme shape still leaves a
// frame the player's inset fits in, and never a height beyond what a layout can hold.
constexpr CGFloat kLowestVideoHeight = 40;
constexpr CGFloat kHighestVideoHeight = 100000;

bool hasText(const Value& text) { return text.isString() && !text.string().empty(); }

}  // namespace VideoMainPage_cpp
}  // namespace

Ref<VideoMainPage> VideoMainPage::myinitWithType_data(int type, const Value& data)
{
    registerVideoPageViews();
    const Ref<VideoMainPage> page = makeWithNibName<VideoMainPage>("VideoMainPage");
    page->initType_ = type;
    page->idUsedToGetVideoDetail_ = data;
    return page;
}

VideoMainPage::~VideoMainPage()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    dropRequest(getVideoFullInfo_);
    dropRequest(getMoreCommentRequest_);
    dropRequest(sendCommentRequest_);
}

// ---- Requests -------------------------------------------------------------------------------------------

void VideoMainPage::dropRequest(Ref<HTTPRequest>& slot)
{
    if (slot) {
        slot->clearDelegatesAndCancel();
        slot = nullptr;
    }
}

void VideoMainPage::startRequest(Ref<HTTPRequest>& slot, Ref<HTTPRequest> request)
{
    dropRequest(slot);
    slot = std::move(request);
    if (slot) {
        slot->setDelegate(weakSelf<VideoMainPage>());
        slot->startAsynchronous();
    }
}

// ---- View life ----------------------------------------------------------------------------------------

void VideoMainPage::viewDidLoad()
{
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(CustomImage::yellowBkg());
    currentPage_ = 1;
    inputBkg->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("comment_bkg.png")));
    if (const Ref<UIImage> field = UIImage::imageNamed("comment_input_bkg.png")) {
        inputTextField_bkg->setImage(field->stretchableImageWithLeftCapWidth_topCapHeight(18, 0));
    }
    setTitle("详情");
    if (!table_) {
        table_ = UITableView::initWithFrame_style(CGRectMake(0, 44, 320, 372), UITableViewStylePlain);
        table_->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin);
        view()->insertSubview_atIndex(table_, 0);
    }
    table_->setDelegate(self<VideoMainPage>());
    table_->setDataSource(self<VideoMainPage>());

    startRequest(getVideoFullInfo_, PZRequest::getVideoInfo_withType_isCmtID(idUsedToGetVideoDetail_, kVideoPageFillType,
                                                                            initType_ != VideoPageTypeVideo));

    send->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("sendComment", &VideoMainPage::sendComment),
                                            UIControlEventTouchUpInside);
    input->setDelegate(self<VideoMainPage>());

    const Ref<VideoMainPage> me = self<VideoMainPage>();
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver_selector_name_object(me, &VideoMainPage::keyboardDidShown, UIKeyboardWillShowNotification, Value());
    center->addObserver_selector_name_object(me, &VideoMainPage::keyboardWillHidden, UIKeyboardWillHideNotification,
                                             Value());
}

void VideoMainPage::viewDidDisappear(bool animated)
{
    UIViewController::viewDidDisappear(animated);
    // The header's video never plays on once the page is gone, nor does its keyboard stay up.
    PPlayer::stop();
    input->resignFirstResponder();
}

bool VideoMainPage::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

// ---- The record ---------------------------------------------------------------------------------------

void VideoMainPage::recordArrived(const Value& reply)
{
    NSLog("finished %@", reply);
    const Value record = reply["result"];
    if (reply["status"].intValue() != 200 || !record.isDictionary()) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
            "获取失败", reply["msg"].stringValue(), self<VideoMainPage>(), "确定")
            ->show();
        return;
    }
    recentVisited_ = Channel_getVisited(record);
    videoInfo_ = record;
    scid_ = Channel_getScid(record);
    const Value firstPage = Channel_getFullComment(record);
    comments_ = firstPage.isArray() ? firstPage.mutableCopy() : Value::array();
    totalComentCount_ = Channel_getFullCommentTotalCount(record);

    fullfillRecent();
    if (!headerView_) {
        addHeaderView(record);
    }
    table_->reloadData();
    const Value title = Channel_getTitle(record);
    if (VideoMainPage_cpp::hasText(title)) {
        setTitle(title.string());
    }
    if (initType_ == VideoPageTypeReply) {
        replyTo(reply["cmt"]["fromUser"]["nick"]);
    }
}

void VideoMainPage::replyTo(const Value& nick)
{
    // A page no longer on screen (its record came after the person left) raises no keyboard.
    if (!input->window()) {
        return;
    }
    input->becomeFirstResponder();
    // A reply needs someone to address: without a nick (a comment the reply did not carry) the field
    // opens empty rather than addressing "(null)".
    if (VideoMainPage_cpp::hasText(nick)) {
        input->setText(stringWithFormat(VideoMainPage_cpp::kReplyFormat, nick));
    }
}

void VideoMainPage::fullfillRecent()
{
    // A later reply refills the strip: what an earlier one laid out goes first.
    for (const Ref<UIView>& old : scrollSubView->subviews()) {
        old->removeFromSuperview();
    }
    const size_t count = recentVisited_.count();
    for (size_t index = 0; index < count; ++index) {
        const Value visit = recentVisited_[index];
        const Ref<UIButton> avatar = UIButton::buttonWithType(UIButtonTypeCustom);
        avatar->setFrame(CGRectMake(28 * CGFloat(index) + 6, 4, 25, 25));
        scrollSubView->addSubview(avatar);
        SetImageView::setImageWithUrl(avatar, visit["user"]["icon"]);
        SetImageView::setRoundRect(avatar);
        SetImageView::setEmotion(avatar, visit["mark"].intValue());
        avatar->setTag(NSInteger(index));
        avatar->addTarget_action_forControlEvents(
            self<NSObject>(), UIControlAction::make("viewRecentProfile:", &VideoMainPage::viewRecentProfile),
            UIControlEventTouchUpInside);
    }
    scrollSubView->setContentSize(CGSizeMake(28 * CGFloat(count) + 3, scrollSubView->frame().size.height));
    scrollSubView->setCanCancelContentTouches(false);
    scrollSubView->setShowsHorizontalScrollIndicator(false);
    scrollSubView->setShowsVerticalScrollIndicator(false);
    scrollSubView->setDirectionalLockEnabled(true);
    scrollSubView->setAlwaysBounceVertical(false);
    if (headerView_) {
        headerView_->setNeedsDisplay();
    }
}

CGFloat VideoMainPage::videoHeightOf(const Value& channel)
{
    using namespace VideoMainPage_cpp;
    // A record without a usable size (no width, a width of 0) is shown 4:3 rather than divided by.
    const CGSize size = FeedCellFull::getVideoSize_withFixedWidth(Channel_getSize(channel), kVideoPagePlayerWidth);
    if (!std::isfinite(size.height)) {
        return CGFloat(kVideoPagePlayerWidth) * 3 / 4;
    }
    return std::floor(std::clamp(size.height, kLowestVideoHeight, kHighestVideoHeight));
}

void VideoMainPage::addHeaderView(const Value& channel)
{
    const CGFloat height = videoHeightOf(channel);
    const CGFloat seen = whoSeedView->frame().size.height;
    headerView_ = UIView::initWithFrame(CGRectMake(0, 0, 320, height + 10 + seen));
    headerView_->setBackgroundColor(CustomImage::yellowBkg());

    ownerButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    ownerButton_->setFrame(CGRectMake(10, 10, 35, 35));
    ownerButton_->setTag(1001);
    SetImageView::setImageWithUrl(ownerButton_, User_geticon(Channel_getOwner(channel)));
    SetImageView::setRoundRect(ownerButton_);
    ownerButton_->addTarget_action_forControlEvents(self<NSObject>(),
                                                    UIControlAction::make("viewProfile", &VideoMainPage::viewProfile),
                                                    UIControlEventTouchUpInside);
    headerView_->addSubview(ownerButton_);

    playerBkg_ = UIImageView::initWithFrame(CGRectMake(50, 10, kVideoPagePlayerWidth, height));
    if (const Ref<UIImage> frame = UIImage::imageNamed("activity-photo-frame.png")) {
        playerBkg_->setImage(frame->stretchableImageWithLeftCapWidth_topCapHeight(5, 6));
    }
    headerView_->addSubview(playerBkg_);

    const CGRect around = playerBkg_->frame();
    player_ = PPlayer::initWithFrame_andType(
        CGRectMake(around.origin.x + 6, around.origin.y + 5, around.size.width - 12, around.size.height - 13),
        PPlayer::TypePage);
    player_->setNavigationController(navigationController());
    player_->setChannel(channel);
    headerView_->addSubview(player_);

    whoSeedView->removeFromSuperview();
    CGRect seenFrame = whoSeedView->frame();
    seenFrame.origin = CGPointMake(0, CGRectGetMaxY(player_->frame()) + 8);
    whoSeedView->setFrame(seenFrame);
    whoSeedView->setBackgroundColor(UIColor::clearColor());
    headerView_->addSubview(whoSeedView);

    table_->setTableHeaderView(headerView_);
}

Value VideoMainPage::captionRow(const Value& channel)
{
    // Only what the record has goes in: a video without caption gets an empty text, so the row shows
    // its owner and time.
    Value row = Value::dictionary();
    const Value caption = Channel_getTitle_with_location_noUser(channel);
    row.setObject_forKey(caption.isNilOrNull() ? Value("") : caption, "content");
    const Value finished = Channel_getFinishTimeNoNice(channel);
    if (!finished.isNilOrNull()) {
        row.setObject_forKey(finished, "createTime");
    }
    const Value owner = Channel_getOwner(channel);
    if (!owner.isNilOrNull()) {
        row.setObject_forKey(owner, "fromUser");
    }
    return row;
}

Value VideoMainPage::rowInfo(NSInteger row) const
{
    if (row == 0) {
        return captionRow(videoInfo_);
    }
    return comments_[size_t(row - 1)];
}

// ---- The list -----------------------------------------------------------------------------------------

NSInteger VideoMainPage::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return 1 + NSInteger(comments_.count());
}

Ref<UITableViewCell> VideoMainPage::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                    const Ref<NSIndexPath>& indexPath)
{
    Ref<CommentCell> cell =
        std::dynamic_pointer_cast<CommentCell>(tableView->dequeueReusableCellWithIdentifier(kCommentCellReuseIdentifier));
    if (!cell) {
        cell = CommentCell::fromNib();
    }
    if (!videoInfo_.isNil()) {
        cell->fullfillWithInfo_andNavigationController(rowInfo(indexPath->row()), navigationController());
    }
    return cell;
}

CGFloat VideoMainPage::tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    return CommentCell::getHeightByInfo(rowInfo(indexPath->row()));
}

void VideoMainPage::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    const NSInteger row = indexPath->row();
    if (row < 1 || size_t(row) > comments_.count()) {
        return;
    }
    replyTo(comments_[size_t(row - 1)]["fromUser"]["nick"]);
}

void VideoMainPage::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    if (!scrollView || scrollView != table_) {
        return;
    }
    const CGFloat left = scrollView->contentSize().height - scrollView->contentOffset().y - scrollView->bounds().size.height;
    const int distance = std::isfinite(left) ? int(std::clamp<CGFloat>(left, -1e9, 1e9)) : 0;
    if (distance < 50 && !isLoadingMore_ && currentPage_ < ServiceReply::pageLimit(totalComentCount_, kVideoPageCommentsPerPage)) {
        loadMore();
        isLoadingMore_ = true;
    }
    input->resignFirstResponder();
    showKeyboard(0);
}

void VideoMainPage::loadMore()
{
    startRequest(getMoreCommentRequest_, PZRequest::getV2Comment_atPage(scid_, currentPage_ + 1));
}

// ---- The bar ------------------------------------------------------------------------------------------

void VideoMainPage::showKeyboard(CGFloat height)
{
    const CGFloat top = height > 0 ? kVideoPageBarTop - height : kVideoPageBarTop;
    inputBkg->setFrame(CGRectMake(0, top, 320, kVideoPageBarHeight));
    table_->setFrame(CGRectMake(0, 0, 320, top));
}

void VideoMainPage::keyboardDidShown(const Ref<NSNotification>& notification)
{
    CGFloat height = 0;
    if (notification) {
        if (auto frame = notification->userInfo()[UIKeyboardFrameEndUserInfoKey].object<UIGeometryValue>()) {
            height = frame->CGRectValue().size.height;
        }
    }
    showKeyboard(height);
}

void VideoMainPage::keyboardWillHidden(const Ref<NSNotification>&) { showKeyboard(0); }

void VideoMainPage::hideKeyboard() { showKeyboard(0); }

void VideoMainPage::backgroundTouched(const Ref<NSObject>&) { input->resignFirstResponder(); }

bool VideoMainPage::textFieldShouldReturn(const Ref<UITextField>&)
{
    sendComment();
    return true;
}

void VideoMainPage::sendComment()
{
    const std::string text = input->text();
    if (text.empty()) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "评论内容不可为空", nullptr,
                                                                                        "确定")
            ->show();
        return;
    }
    // Before the record has arrived there is no video to comment on; the text stays in the field.
    if (scid_.isNilOrNull()) {
        return;
    }
    startRequest(sendCommentRequest_, PZRequest::addComment_withContent(scid_, Value(text)));
    input->setText("");
    input->resignFirstResponder();
    showKeyboard(0);
}

// ---- Replies ------------------------------------------------------------------------------------------

void VideoMainPage::requestFinished(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    const Value reply = ServiceReply::of(request);
    if (request == getVideoFullInfo_) {
        getVideoFullInfo_ = nullptr;
        recordArrived(reply);
    } else if (request == getMoreCommentRequest_) {
        getMoreCommentRequest_ = nullptr;
        if (reply["status"].intValue() != 200) {
            return;
        }
        const Value page = reply["result"];
        if (page.isArray()) {
            comments_.addObjectsFromArray(page);
        }
        table_->reloadData();
        currentPage_ += 1;
        isLoadingMore_ = false;
    } else if (request == sendCommentRequest_) {
        sendCommentRequest_ = nullptr;
        auto overlay = StatusBarOverlay::sharedOverlay();
        if (reply["status"].intValue() != 200) {
            overlay->postErrorMessage_duration_animated(reply["msg"].stringValue(), 2.0, true);
            return;
        }
        // The new comment is the reply's first element; a reply without one adds nothing to the list.
        const Value made = reply["result"].isArray() ? reply["result"][0] : Value();
        if (made.isDictionary()) {
            comments_.addObject(made);
            table_->reloadData();
        }
        overlay->postImmediateFinishMessage_duration_animated("评论发表成功！", 2.0, true);
    }
}

void VideoMainPage::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    if (request == getVideoFullInfo_) {
        getVideoFullInfo_ = nullptr;
    } else if (request == getMoreCommentRequest_) {
        // isLoadingMore stays on: no further page is asked for while the page is open.
        getMoreCommentRequest_ = nullptr;
    } else if (request == sendCommentRequest_) {
        sendCommentRequest_ = nullptr;
    } else {
        return;
    }
    ShowNetError(Value(VideoMainPage_cpp::kFailureText));
}

void VideoMainPage::alertView_clickedButtonAtIndex(const Ref<UIAlertView>&, NSInteger buttonIndex)
{
    if (buttonIndex == 0) {
        if (auto navigation = navigationController()) {
            navigation->popViewControllerAnimated(true);
        }
    }
}

// ---- Actions ------------------------------------------------------------------------------------------

void VideoMainPage::viewProfile()
{
    FeedCellRoutes::openUserPage(navigationController(), User_getSuid(Channel_getOwner(videoInfo_)));
}

void VideoMainPage::viewRecentProfile(const Ref<UIButton>& sender)
{
    if (!sender || sender->tag() < 0 || size_t(sender->tag()) >= recentVisited_.count()) {
        return;
    }
    FeedCellRoutes::openUserPage(navigationController(), recentVisited_[size_t(sender->tag())]["user"]["suid"]);
}

void VideoMainPage::tagVideoWithEmotion(const Ref<UIButton>& sender)
{
    const Ref<UINavigationController> navigation = navigationController();
    if (!sender || !navigation || videoInfo_.isNil()) {
        return;
    }
    const CGPoint point = whoSeedView->convertPoint_toView(sender->frame().origin, navigation->view());
    NSLog("show super super frame %f %f", point.x, point.y);
    TagEmotion::showAtPostion_withChannel(point, videoInfo_);
}
