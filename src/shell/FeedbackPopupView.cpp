#include "shell/FeedbackPopupView.h"

#include <algorithm>
#include <cmath>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/RecordAccessors.h"
#include "api/ServiceReply.h"
#include "capture/FeedbackPopup.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIPageControl.h"
#include "platform/uikit/UIWindow.h"
#include "shell/FeedCellRoutes.h"
#include "shell/PopupPlacement.h"
#include "shell/VideoPageViews.h"
#include "shell/ombriAppDelegate.h"

namespace {
namespace FeedbackPopupView_cpp {

// The application delegate takes the replies of the mark and the deletion; without one they go
// unanswered.
Weak<HTTPRequestDelegate> applicationDelegate()
{
    return std::dynamic_pointer_cast<HTTPRequestDelegate>(UIApplication::sharedApplication()->delegate());
}

}  // namespace FeedbackPopupView_cpp
}  // namespace

void installFeedbackPanel()
{
    FeedbackPopup::setPresenter([](CGPoint point, const Value& channel, const Ref<UINavigationController>& navigation) {
        FeedbackPopupView::showAtPostion_withChannel_andNavi(point, channel, navigation);
    });
}

Ref<FeedbackPopupView> FeedbackPopupView::showAtPostion_withChannel_andNavi(CGPoint point, const Value& channel,
                                                                              const Ref<UINavigationController>& navigation)
{
    const Ref<UIApplicationDelegate> application = UIApplication::sharedApplication()->delegate();
    const Ref<UIWindow> window = application ? application->window() : nullptr;
    if (!window) {
        return nullptr;
    }
    registerVideoPageViews();
    const auto objects = UINibRegistry::instantiate("CommonViews", nullptr);
    const Ref<FeedbackPopupView> panel =
        objects.size() > kFeedbackPanelNibIndex ? std::dynamic_pointer_cast<FeedbackPopupView>(objects[kFeedbackPanelNibIndex])
                                                : nullptr;
    if (!panel) {
        return nullptr;
    }
    panel->channel_ = channel.isDictionary() ? channel.mutableCopy() : Value::dictionary();
    panel->position_ = point;
    panel->setFrame(window->bounds());
    window->addSubview(panel);

    // The point is in the navigation controller's view; the bubble is placed in the window's
    // coordinates, so that it stands next to the button whatever lies above the navigation view.
    CGPoint at = point;
    if (navigation && navigation->isViewLoaded() && navigation->view()->window() == window) {
        at = navigation->view()->convertPoint_toView(point, window);
    }
    // Under the button when there is room, above it when the button is low on the screen.
    const CGSize size = panel->popView->frame().size;
    panel->popView->setFrame(PopupFrameNearPoint(at, CGRectMake(at.x - size.width + 15, at.y + 5, size.width, size.height),
                                                 5, PopupArea(window)));
    panel->navigationController_ = navigation;

    const bool own = !getSelfSuid().isNilOrNull() &&
                     User_getSuid(Channel_getOwner(panel->channel_)).stringValue() == getSelfSuid().stringValue();
    panel->deleteButton->setHidden(!own);
    panel->askForVisited();
    return panel;
}

FeedbackPopupView::~FeedbackPopupView() { dropVisitedRequest(); }

void FeedbackPopupView::askForVisited()
{
    dropVisitedRequest();
    visitedRequest_ = PZRequest::getVideoInfo_withType_isCmtID(channel_["scid"], kVisitedFillType, false);
    visitedRequest_->setTag(kVisitedRequestTag);
    visitedRequest_->setDelegate(weakSelf<FeedbackPopupView>());
    visitedRequest_->startAsynchronous();
}

void FeedbackPopupView::dropVisitedRequest()
{
    if (visitedRequest_) {
        visitedRequest_->clearDelegatesAndCancel();
        visitedRequest_ = nullptr;
    }
}

void FeedbackPopupView::close()
{
    // A reply that comes after this would lay out a panel nobody sees, or one already gone.
    dropVisitedRequest();
    removeFromSuperview();
}

// ---- The viewers --------------------------------------------------------------------------------------

void FeedbackPopupView::requestFinished(const Ref<HTTPRequest>& request)
{
    if (!request || request != visitedRequest_ || request->tag() != kVisitedRequestTag) {
        return;
    }
    visitedRequest_ = nullptr;
    const Value reply = ServiceReply::of(request);
    const Value visited = Channel_getVisited(reply["result"]);
    const Weak<FeedbackPopupView> weak = weakSelf<FeedbackPopupView>();
    dispatch_async(dispatch_get_main_queue(), [weak, visited] {
        if (const Ref<FeedbackPopupView> panel = weak.lock()) {
            panel->layoutVisited(visited);
        }
    });
}

void FeedbackPopupView::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request || request != visitedRequest_ || request->tag() != kVisitedRequestTag) {
        return;
    }
    visitedRequest_ = nullptr;
    const Value reply = ServiceReply::of(request);
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("获取观看的人失败",
                                                                                    reply["msg"].stringValue(), nullptr, "确定")
        ->show();
}

void FeedbackPopupView::layoutVisited(const Value& visited)
{
    visited_ = visited.isArray() ? visited : Value::array();
    for (const Ref<UIView>& old : visitedScrollView->subviews()) {
        old->removeFromSuperview();
    }
    const size_t count = visited_.count();
    for (size_t index = 0; index < count; ++index) {
        const Value visit = visited_[index];
        const int i = int(index);
        const Ref<UIButton> avatar = UIButton::buttonWithType(UIButtonTypeCustom);
        avatar->setFrame(CGRectMake(kVisitedPageWidth * CGFloat(i / kVisitedPerPage) + 30 * CGFloat(i % 6),
                                    (i / 6) % 2 == 1 ? 30 : 0, 25, 25));
        visitedScrollView->addSubview(avatar);
        SetImageView::setImageWithUrl(avatar, visit["user"]["icon"]);
        SetImageView::setRoundRect(avatar);
        SetImageView::setEmotion(avatar, visit["mark"].intValue());
        avatar->setTag(NSInteger(index));
        avatar->addTarget_action_forControlEvents(
            self<NSObject>(), UIControlAction::make("viewRecentProfile:", &FeedbackPopupView::viewRecentProfile),
            UIControlEventTouchUpInside);
    }
    const int pages = std::min(int((count + kVisitedPerPage - 1) / kVisitedPerPage), kVisitedMaxPages);
    visitedScrollView->setContentSize(CGSizeMake(kVisitedPageWidth * pages, visitedScrollView->frame().size.height));

    pageCtrl->setNumberOfPages(pages);
    pageCtrl->setHidden(pages <= 1);
    pageCtrl->setUserInteractionEnabled(false);

    visitedScrollView->setDelegate(self<FeedbackPopupView>());
    visitedScrollView->setScrollEnabled(pages > 1);
    visitedScrollView->setCanCancelContentTouches(false);
    visitedScrollView->setPagingEnabled(true);
    visitedScrollView->setShowsHorizontalScrollIndicator(false);
    visitedScrollView->setShowsVerticalScrollIndicator(false);
    visitedScrollView->setDirectionalLockEnabled(true);
    visitedScrollView->setAlwaysBounceVertical(false);

    numberOfSeeThisVideo->setText(stringWithFormat("已有%d个人观看", int(count)));
}

void FeedbackPopupView::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    if (pageControlIsChangingPage_ || !scrollView) {
        return;
    }
    const CGFloat width = scrollView->frame().size.width;
    if (!(width > 0)) {
        return;
    }
    const CGFloat page = std::floor((scrollView->contentOffset().x - width / 2) / width) + 1;
    pageCtrl->setCurrentPage(NSInteger(std::clamp<CGFloat>(page, 0, kVisitedMaxPages)));
}

void FeedbackPopupView::scrollViewDidEndDecelerating(const Ref<UIScrollView>&) { pageControlIsChangingPage_ = false; }

void FeedbackPopupView::changePage(const Ref<UIPageControl>&)
{
    const CGSize size = visitedScrollView->frame().size;
    visitedScrollView->scrollRectToVisible_animated(
        CGRectMake(CGFloat(pageCtrl->currentPage()) * kVisitedPageWidth, 0, size.width, size.height), true);
    pageControlIsChangingPage_ = true;
}

// ---- Actions ------------------------------------------------------------------------------------------

void FeedbackPopupView::tagEmotion(const Ref<UIButton>& sender)
{
    if (sender) {
        const Ref<HTTPRequest> request = PZRequest::tagVideo_withEmotion(channel_["scid"], int(sender->tag()));
        request->setTag(TagEmotionRequestTag);
        request->setDelegate(FeedbackPopupView_cpp::applicationDelegate());
        request->startAsynchronous();
    }
    close();
}

void FeedbackPopupView::share(const Ref<UIButton>&)
{
    FeedCellRoutes::openShareDialog(navigationController(), channel_);
    close();
}

void FeedbackPopupView::addComment(const Ref<UIButton>&)
{
    FeedCellRoutes::openVideoPage(navigationController(), channel_["scid"]);
    close();
}

void FeedbackPopupView::viewRecentProfile(const Ref<UIButton>& sender)
{
    if (sender && sender->tag() >= 0 && size_t(sender->tag()) < visited_.count()) {
        FeedCellRoutes::openUserPage(navigationController(), visited_[size_t(sender->tag())]["user"]["suid"]);
    }
    close();
}

void FeedbackPopupView::deleteIt(const Ref<UIButton>&)
{
    UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        "是否删除", self<FeedbackPopupView>(), "取消", "确定删除")
        ->showInView(self<UIView>());
}

void FeedbackPopupView::actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>&, NSInteger buttonIndex)
{
    if (buttonIndex == 0) {
        const Ref<HTTPRequest> request = PZRequest::deleteMedia(channel_["scid"]);
        request->setDelegate(FeedbackPopupView_cpp::applicationDelegate());
        request->startAsynchronous();
    }
    close();
}

void FeedbackPopupView::dismissSelf(const Ref<UIControl>&) { close(); }
