#include "shell/HeaderView.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/RecordAccessors.h"
#include "api/ServiceReply.h"
#include "api/Tool.h"
#include "net/http/HTTPFormDataRequest.h"
#include "net/json/JsonParser.h"
#include "net/webimage/UIImageViewWebCache.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "shell/FeedCellRoutes.h"
#include "shell/FeedViews.h"

namespace {
namespace HeaderView_cpp {

Ref<NSURL> urlOf(const Value& text)
{
    return text.stringValue().empty() ? nullptr : NSURL::URLWithString(text.stringValue());
}

void shadowUnder(const Ref<UILabel>& label)
{
    label->setShadowColor(UIColor::colorWithWhite_alpha(0, 0.5));
    label->setShadowOffset(CGSizeMake(0, 1));
}

}  // namespace HeaderView_cpp
}  // namespace

HeaderView::~HeaderView() = default;

void HeaderView::awakeFromNib()
{
    UIView::awakeFromNib();
    bkgimgv->setContentMode(UIViewContentModeScaleAspectFill);
    bkgimgv->setClipsToBounds(true);
    SetImageView::setToRound(head);
    signButtons = {sign1, sign2, sign3, sign4};
    videoSign->addGestureRecognizer(UILongPressGestureRecognizer::initWithTarget_action(
        self<HeaderView>(), UISelector::make("enterEditMode", &HeaderView::enterEditMode)));
    deleteButtons = {delete1, delete2, delete3, delete4};
    isMyFeed_ = false;
}

void HeaderView::fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(const Value& userInfo,
                                                                          const Ref<UINavigationController>& navigation,
                                                                          bool haveHead, int relation,
                                                                          const Ref<UIImageView>& desktop)
{
    using namespace HeaderView_cpp;
    exitEditMode();
    navigationController_ = navigation;
    userInfo_ = userInfo;
    signInfos_ = userInfo["sign"]["result"].isArray() ? userInfo["sign"]["result"].mutableCopy() : Value::array();
    if (isMyFeed_) {
        head->addTarget_action_forControlEvents(self<HeaderView>(),
                                                UIControlAction::make("viewProfile", &HeaderView::viewProfile),
                                                UIControlEventTouchUpInside);
    }
    WebCache::setImageWithURL_placeholderImage(desktop ? desktop : bkgimgv, urlOf(User_getCover(userInfo)),
                                               UIImage::imageNamed("default_cover"));
    internFullfill();

    if (desktop) {
        timeLine->setFrame(CGRectMake(68, 132, 10, 28));
        headRing->setFrame(CGRectMake(50, 70, 47, 47));
        head->setFrame(CGRectMake(50, 70, 47, 47));
        refresh->setFrame(CGRectMake(20, 115, 30, 30));
        fansRemindView->setFrame(CGRectMake(100, 57, 220, 46));
        top_side_line->setHidden(true);
    }
    if (haveHead) {
        username->setHidden(true);
        otherInfo->setHidden(true);
        followOrUnfollow->setHidden(true);
        return;
    }
    username->setHidden(false);
    otherInfo->setHidden(false);
    followOrUnfollow->setHidden(false);
    headRing->setCenter(CGPointMake(33, 253));
    head->setCenter(CGPointMake(33, 253));
    timeLine->setFrame(CGRectMake(28, 292, 10, 28));
    refresh->setHidden(true);
    username->setText(User_getNick(userInfo).stringValue());
    shadowUnder(username);
    shadowUnder(otherInfo);
    const Value counts = userInfo["eventCnt"];
    otherInfo->setText(stringWithFormat("关注:%d  粉丝:%d  分享:%d", counts["follow"].intValue(),
                                                  counts["fans"].intValue(), counts["event"].intValue()));
    Tool::setButtonStatus_withRelation(followOrUnfollow, relation);
}

void HeaderView::internFullfill()
{
    SetImageView::setImageWithUrl(head, userInfo_["icon"]);
    for (const Weak<UIView>& player : signPlayers_) {
        if (const Ref<UIView> view = player.lock()) {
            view->removeFromSuperview();
        }
    }
    signPlayers_.clear();
    const bool mine = !userInfo_["suid"].isNilOrNull() && userInfo_["suid"].isEqual(getSelfSuid());
    for (size_t index = 0; index < signButtons.size(); ++index) {
        const Ref<UIButton>& button = signButtons[index];
        if (index < signInfos_.count()) {
            if (const Ref<UIView> player = makeSignPlayer(button->bounds(), signInfos_[index])) {
                button->addSubview(player);
                signPlayers_.push_back(player);
            }
            button->removeTarget_action_forControlEvents(self<HeaderView>(), "add_video_sign",
                                                         UIControlEventTouchUpInside);
            deleteButtons[index]->addTarget_action_forControlEvents(
                self<HeaderView>(), UIControlAction::make("delete_video_sign:", &HeaderView::delete_video_sign),
                UIControlEventTouchUpInside);
        } else if (mine) {
            button->setImage_forState(UIImage::imageNamed(kAddNewSignImage), UIControlStateNormal);
            if (button->actionsForTarget_forControlEvent(self<HeaderView>(), UIControlEventTouchUpInside).empty()) {
                button->addTarget_action_forControlEvents(
                    self<HeaderView>(), UIControlAction::make("add_video_sign", &HeaderView::add_video_sign),
                    UIControlEventTouchUpInside);
            }
        }
    }
}

void HeaderView::enterEditMode()
{
    for (size_t index = 0; index < deleteButtons.size(); ++index) {
        deleteButtons[index]->setHidden(index >= signInfos_.count());
    }
}

void HeaderView::exitEditMode()
{
    for (const Ref<UIButton>& button : deleteButtons) {
        button->setHidden(true);
    }
}

void HeaderView::add_video_sign()
{
    FeedCellRoutes::presentSignRecorder(navigationController());
}

void HeaderView::delete_video_sign(const Ref<UIButton>& sender)
{
    const NSInteger tag = sender ? sender->tag() : -1;
    if (tag < 0 || size_t(tag) >= signInfos_.count()) {
        return;
    }
    const Value scid = Channel_getScid(signInfos_[size_t(tag)]);
    const Ref<HTTPFormDataRequest> request = PZRequest::deleteSign(scid);
    deleteSignRequest_ = request;
    deletingScid_ = scid;
    request->setDelegate(weakSelf<HeaderView>());
    request->startAsynchronous();
    request->setTag(int(tag));
}

void HeaderView::requestFinished(const Ref<HTTPRequest>& request)
{
    if (!request || request != deleteSignRequest_.lock()) {
        return;
    }
    deleteSignRequest_.reset();
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() != 200) {
        return;
    }
    // A refill may have happened since the request left (another person, a reload), so the sign is
    // found again by its scid rather than by the button's index.
    for (size_t index = 0; index < signInfos_.count(); ++index) {
        if (Channel_getScid(signInfos_[index]).isEqual(deletingScid_)) {
            signInfos_.removeObjectAtIndex(index);
            break;
        }
    }
    internFullfill();
}

void HeaderView::requestFailed(const Ref<HTTPRequest>& request)
{
    if (request && request == deleteSignRequest_.lock()) {
        deleteSignRequest_.reset();
    }
}

void HeaderView::viewProfile()
{
    FeedCellRoutes::openUserPage(navigationController(), userInfo_["suid"]);
}

void HeaderView::fullFillFansRemindWith(const Value& fans)
{
    using namespace HeaderView_cpp;
    if (fans.isNilOrNull()) {
        fansRemindView->setHidden(true);
        return;
    }
    fansRemindView->setHidden(false);
    WebCache::setImageWithURL(headerMsg_userHead, urlOf(User_geticon(fans["fan"])));
    headerMsg_title->setText(fans["text"].stringValue());
}
