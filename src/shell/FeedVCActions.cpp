// The feed's actions beside reading: the record menu, posting to a topic, importing a movie, following
// the header's person or the topic, the home feed's two reminders and the first-login tip.
#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/SessionHooks.h"
#include "api/Tool.h"
#include "bridge/PZFFmpeg.h"
#include "capture/PZVideoCaptureController.h"
#include "capture/VideoShareController.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"
#include "shell/FeedBars.h"
#include "shell/FeedVC.h"
#include "shell/ombriAppDelegate.h"
#include "shell/HeaderView.h"
#include "shell/RootViewController.h"
#include "shell/VideoMainPage.h"
#include "social/FindFriendResult.h"
#include "social/FindFriendVC.h"
#include "social/MessageBoxVC.h"
#include "widgets/WebViewController.h"

namespace {
namespace FeedVCActions_cpp {

enum RecordMenuIndex : int { kRecordItem = 0, kLiveOrFriendsItem = 1, kImportItem = 2 };

void alert(const std::string& message)
{
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", message, nullptr, "确定")
        ->show();
}

// Whether the stored account may record live.
bool canLive()
{
    return NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey)["canlive"].boolValue();
}

Ref<RadialMenuItem> menuItem(const std::string& name)
{
    return RadialMenuItem::initWithImage_highlightedImage_ContentImage_highlightedContentImage(
        UIImage::imageNamed(name), UIImage::imageNamed(name + "_down"), nullptr, nullptr);
}

std::string liveOrFriendsImage()
{
    return canLive() ? "menu_item_living" : "menu_item_friend";
}

Value remind()
{
    auto ffmpeg = g_ffmpeg.get();
    return ffmpeg ? ffmpeg->remind() : Value();
}

}  // namespace FeedVCActions_cpp
}  // namespace

// ---- Record menu ----------------------------------------------------------------------------------------

void FeedVC::buildRecordMenu()
{
    using namespace FeedVCActions_cpp;
    if (coolMenu_) {
        return;
    }
    coolMenu_ = RadialMenu::initWithFrame_menus(
        CGRectMake(10, -60, 200, 200),
        {menuItem("menu_item_record"), menuItem(liveOrFriendsImage()), menuItem("menu_item_import")});
    coolMenu_->setDelegate(self<FeedVC>());
    view()->addSubview(coolMenu_);
}

void FeedVC::refreshRecordMenuItem()
{
    if (!coolMenu_ || coolMenu_->menusArray().size() <= FeedVCActions_cpp::kLiveOrFriendsItem) {
        return;
    }
    const std::string name = FeedVCActions_cpp::liveOrFriendsImage();
    const Ref<RadialMenuItem>& item = coolMenu_->menusArray()[FeedVCActions_cpp::kLiveOrFriendsItem];
    item->setImage(UIImage::imageNamed(name));
    item->setHighlightedImage(UIImage::imageNamed(name + "_down"));
}

bool FeedVC::cameraAvailable()
{
    return UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear);
}

void FeedVC::radialMenu_didSelectIndex(const Ref<RadialMenu>&, int index)
{
    using namespace FeedVCActions_cpp;
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    switch (index) {
    case kRecordItem: {
        if (!cameraAvailable()) {
            alert("无摄像头");
            return;
        }
        auto capture = PZVideoCaptureController::initWithScreen(UIScreen::mainScreen());
        auto navigation = CustomImage::MyNaviWithRoot(capture);
        navigation->setNavigationBarHidden(true);
        presentModalViewController_animated(navigation, true);
        break;
    }
    case kLiveOrFriendsItem:
        if (canLive()) {
            if (!cameraAvailable()) {
                alert("无摄像头");
                return;
            }
            auto capture = PZVideoCaptureController::initWithScreen(UIScreen::mainScreen());
            capture->setLive(true);
            presentModalViewController_animated(capture, true);
        } else if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(FindFriendVC::create(), true);
        }
        break;
    case kImportItem: presentMoviePicker(); break;
    default: break;
    }
}

// ---- Posting to a topic and importing -------------------------------------------------------------------

void FeedVC::presentMoviePicker()
{
    auto picker = UIImagePickerController::create();
    picker->setSourceType(UIImagePickerControllerSourceTypeSavedPhotosAlbum);
    picker->setMediaTypes({"public.movie"});
    picker->setAllowsEditing(true);
    picker->setDelegate(self<FeedVC>());
    presentModalViewController_animated(picker, true);
}

void FeedVC::iWillShare()
{
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        "选择操作", self<FeedVC>(), "取消", "", {"拍摄", "导入"})
        ->showInView(view());
}

void FeedVC::actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>&, NSInteger buttonIndex)
{
    if (buttonIndex == 0) {
        auto capture = PZVideoCaptureController::create();
        auto navigation = CustomImage::MyNaviWithRoot(capture);
        if (auto own = navigationController()) {
            own->presentModalViewController_animated(navigation, true);
        } else {
            presentModalViewController_animated(navigation, true);
        }
        capture->setTopic(allInfo_["topic"]);
    } else if (buttonIndex == 1) {
        presentMoviePicker();
    }
}

void FeedVC::imagePickerController_didFinishPickingMediaWithInfo(const Ref<UIImagePickerController>& picker,
                                                                 const Value& info)
{
    const Value media = info[UIImagePickerControllerMediaURL];
    if (!media.isNilOrNull()) {
        auto share = VideoShareController::create();
        if (type_ == FeedTypeTopic) {
            share->setTopic(allInfo_["topic"]);
        }
        std::string path;
        if (auto url = media.object<NSURL>()) {
            path = url->path();
        } else {
            path = media.stringValue();
        }
        if (!VideoShareController::isImportableMovie(path)) {
            FeedVCActions_cpp::alert(kImportFailedMessage);
            picker->dismissModalViewControllerAnimated(true);
            return;
        }
        share->setGuid(PZFFmpeg::getMovieGuid(path));
        if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(share, true);
        }
    } else {
        FeedVCActions_cpp::alert("导入取消");
    }
    picker->dismissModalViewControllerAnimated(true);
}

void FeedVC::imagePickerControllerDidCancel(const Ref<UIImagePickerController>& picker)
{
    picker->dismissModalViewControllerAnimated(true);
}

void FeedVC::imagePickerController_didFinishPickingImage_editingInfo(const Ref<UIImagePickerController>& picker,
                                                                     const Ref<NSObject>&, const Value&)
{
    picker->dismissModalViewControllerAnimated(true);
}

// ---- Following ----------------------------------------------------------------------------------------

void FeedVC::followOrUnfollow()
{
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    const Value suid = userInfo_["suid"];
    Ref<HTTPRequest> request;
    if (relation_ % 2 != 0) {
        request = PZRequest::unfollowHe(suid);
    } else {
        request = PZRequest::followHe(suid);
    }
    startRequest(followUnfollowRequest_, request);
}

void FeedVC::followThisTopic()
{
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    startRequest(followTopicRequest_, PZRequest::followTopic_action(suid_, true));
}

void FeedVC::actionReplyArrived(const Ref<HTTPRequest>& request, const Value& reply)
{
    if (request == followUnfollowRequest_) {
        followUnfollowRequest_ = nullptr;
        relation_ = reply["type"].intValue();
        const Weak<FeedVC> weak = weakSelf<FeedVC>();
        dispatch_async(dispatch_get_main_queue(), [weak] {
            auto feed = weak.lock();
            if (feed && feed->headerView_) {
                Tool::setButtonStatus_withRelation(feed->headerView_->followOrUnfollow, feed->relation_);
            }
        });
    } else if (request == followTopicRequest_) {
        followTopicRequest_ = nullptr;
        if (reply["status"].intValue() == 200 && topicAction_) {
            topicAction_->followTopic()->setTitle_forState("已关注", UIControlStateNormal);
            topicAction_->followTopic()->setEnabled(false);
        }
    } else if (request == tagMsgboxToReaded_) {
        tagMsgboxToReaded_ = nullptr;
        if (reply["status"].intValue() == 200) {
            NSNotificationCenter::defaultCenter()->postNotificationName_object(kSystemDismissNotification, Value());
        }
    }
}

// ---- Reminders ----------------------------------------------------------------------------------------

void FeedVC::fansRemindReceived()
{
    if (type_ == FeedTypeHome && headerView_) {
        headerView_->fullFillFansRemindWith(FeedVCActions_cpp::remind()["fans"]);
    }
}

void FeedVC::fansRemindClicked()
{
    const Value fans = FeedVCActions_cpp::remind()["fans"];
    const int count = fans["cnt"].intValue();
    if (count > 1) {
        showFriendFans();
    } else if (count == 1) {
        if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(
                FeedVC::myinitWithType_andSuid(FeedTypeUser, fans["fan"]["suid"]), true);
        }
    }
    if (headerView_ && headerView_->fansRemindView) {
        headerView_->fansRemindView->setHidden(true);
    }
}

void FeedVC::showFriendFans()
{
    SliderToRightShowFans();
}

void FeedVC::systemRemindReceived()
{
    if (systemMsgBottom_) {
        systemMsgBottom_->fullFillWithInfo(FeedVCActions_cpp::remind()["sys"]);
    }
}

void FeedVC::systemRemindDismiss()
{
    if (systemMsgBottom_) {
        systemMsgBottom_->setHidden(true);
    }
}

void FeedVC::systemRemindClicked()
{
    startRequest(tagMsgboxToReaded_, PZRequest::getMessageAtPage(0));
    const Value sys = FeedVCActions_cpp::remind()["sys"];
    const std::string action = sys["action"].stringValue();
    const Value data = sys["data"];
    const Ref<UINavigationController> navigation = navigationController();
    Ref<UIViewController> next;
    if (action == "sys") {
        next = MessageBoxVC::create();
    } else if (action == "chan") {
        next = VideoMainPage::myinitWithType_data(2, data);
    } else if (action == "cmt") {
        next = VideoMainPage::myinitWithType_data(3, data);
    } else if (action == "url" && NSURL::URLWithString(data.stringValue())) {
        auto browser = ModalWebViewController::initWithAddress(data.stringValue());
        browser->setModalPresentationStyle(UIModalPresentationPageSheet);
        browser->setAvailableActions(7);
        presentModalViewController_animated(browser, true);
    } else if (action == "user") {
        next = FeedVC::myinitWithType_andSuid(FeedTypeUser, data);
    }
    if (next && navigation) {
        navigation->pushViewController_animated(next, true);
    }
    if (systemMsgBottom_) {
        systemMsgBottom_->setHidden(true);
    }
}

// ---- First-login tip ------------------------------------------------------------------------------------

void FeedVC::buildFirstTip()
{
    if (!isFirstLogin() || firstTipView_) {
        return;
    }
    firstTipView_ = commonViewAtIndex(kFirstTipNibIndex);
    if (!firstTipView_) {
        return;
    }
    view()->addSubview(firstTipView_);
    const Ref<FeedVC> me = self<FeedVC>();
    for (NSInteger tag : {kFirstTipCloseTag, kFirstTipCloseOtherTag}) {
        if (auto control = std::dynamic_pointer_cast<UIControl>(firstTipView_->viewWithTag(tag))) {
            control->addTarget_action_forControlEvents(me, UIControlAction::make("tipCanceled", &FeedVC::tipCanceled),
                                                       UIControlEventTouchUpInside);
        }
    }
    if (auto control = std::dynamic_pointer_cast<UIControl>(firstTipView_->viewWithTag(kFirstTipActionTag))) {
        control->addTarget_action_forControlEvents(me, UIControlAction::make("firstTipAction", &FeedVC::firstTipAction),
                                                   UIControlEventTouchUpInside);
    }
}

void FeedVC::firstTipAction()
{
    if (auto navigation = navigationController()) {
        const int loginType = getLoginType();
        if (loginType == 0) {
            navigation->pushViewController_animated(FindFriendVC::create(), true);
        } else {
            navigation->pushViewController_animated(FindFriendResult::myinit(loginType == 2 ? "qq" : "lumo"), true);
        }
    }
    tipCanceled();
}

void FeedVC::tipCanceled()
{
    if (firstTipView_) {
        firstTipView_->removeFromSuperview();
        firstTipView_ = nullptr;
    }
    TipsShowed();
}
