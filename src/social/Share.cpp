#include "social/Share.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/QQWeiboClient.h"
#include "api/ServiceReply.h"
#include "net/http/HTTPFormDataRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/Perform.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UINib.h"
#include "social/AccountHints.h"

namespace {
namespace Share_cpp {

constexpr char kNib[] = "Share";
constexpr char kChannelGone[] = "频道不存在";

// One target: a white row with its switch (off and on pictures), the target's mark and its name.
Ref<UIButton> targetRow(UINibBuilder& nib, CGFloat y, const std::string& title, const char* mark)
{
    auto button = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    button->setFrame(CGRectMake(10, y, 300, 40));
    button->setBackgroundColor(UIColor::colorWithWhite_alpha(1, 0.9));
    button->layer()->setCornerRadius(6);
    button->setImage_forState(UIImage::imageNamed("share-toggle-off"), UIControlStateNormal);
    button->setImage_forState(UIImage::imageNamed("share-toggle-on"), UIControlStateSelected);
    button->setTitle_forState(title, UIControlStateNormal);
    button->setTitleColor_forState(UIColor::colorWithWhite_alpha(0.15, 1), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(15));
    button->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentLeft);
    // The switch at the row's left edge, the mark beside it, and the name after the mark.
    button->setImageEdgeInsets(UIEdgeInsetsMake(0, 8, 0, -8));
    button->setTitleEdgeInsets(UIEdgeInsetsMake(0, 52, 0, -52));
    button->setAdjustsImageWhenHighlighted(false);
    auto markView = nib.view<UIImageView>(CGRectMake(42, 6, 28, 28));
    markView->setImage(UIImage::imageNamed(mark));
    markView->setUserInteractionEnabled(false);
    button->addSubview(markView);
    return button;
}

std::vector<Ref<NSObject>> shareFile(UINibBuilder& nib)
{
    auto root = nib.view<UIView>(CGRectMake(0, 0, 320, 416));

    auto paper = nib.view<UIView>(CGRectMake(10, 10, 300, 110));
    paper->setBackgroundColor(UIColor::whiteColor());
    paper->layer()->setCornerRadius(6);
    root->addSubview(paper);
    auto input = nib.view<UITextView>(CGRectMake(14, 12, 292, 84));
    input->setFont(UIFont::systemFontOfSize(15));
    input->setBackgroundColor(UIColor::clearColor());
    root->addSubview(input);
    auto wordLeft = nib.view<UILabel>(CGRectMake(230, 102, 74, 16));
    wordLeft->setBackgroundColor(UIColor::clearColor());
    wordLeft->setFont(UIFont::systemFontOfSize(13));
    wordLeft->setTextAlignment(UITextAlignmentRight);
    root->addSubview(wordLeft);

    auto repost = targetRow(nib, 130, "转发到我的Ombri主页", "share-target-repost");
    auto lumo = targetRow(nib, 174, "Lumo微博", "share-target-lumo");
    auto qq = targetRow(nib, 218, "腾讯微博", "share-target-qq");
    auto mail = targetRow(nib, 262, "发送邮件", "share-target-mail");
    auto sms = targetRow(nib, 306, "发送短信", "share-target-sms");
    for (const auto& row : {repost, lumo, qq, mail, sms}) {
        root->addSubview(row);
    }

    auto shareBtn = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    shareBtn->setFrame(CGRectMake(10, 358, 300, 44));
    if (auto plate = UIImage::imageNamed("done-button-bg")) {
        shareBtn->setBackgroundImage_forState(plate->stretchableImageWithLeftCapWidth_topCapHeight(8, 15),
                                              UIControlStateNormal);
    }
    shareBtn->setTitle_forState("分享", UIControlStateNormal);
    shareBtn->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
    shareBtn->setTitleColor_forState(UIColor::colorWithWhite_alpha(1, 0.45), UIControlStateDisabled);
    shareBtn->titleLabel()->setFont(UIFont::boldSystemFontOfSize(17));
    root->addSubview(shareBtn);

    if (auto owner = nib.owner<Share>()) {
        owner->setView(root);
        owner->wordLeft = wordLeft;
        owner->input = input;
        owner->repostBtn = repost;
        owner->postToLumoBtn = lumo;
        owner->postQQBtn = qq;
        owner->postByEmailBtn = mail;
        owner->postBySmsBtn = sms;
        owner->shareBtn = shareBtn;
        const auto touchUp = UIControlEventTouchUpInside;
        repost->addTarget_action_forControlEvents(owner, UIControlAction::make("repost", &Share::repost), touchUp);
        lumo->addTarget_action_forControlEvents(owner, UIControlAction::make("postToLumo", &Share::postToLumo), touchUp);
        qq->addTarget_action_forControlEvents(owner, UIControlAction::make("postToQQ", &Share::postToQQ), touchUp);
        mail->addTarget_action_forControlEvents(owner, UIControlAction::make("postByEmail", &Share::postByEmail),
                                                touchUp);
        sms->addTarget_action_forControlEvents(owner, UIControlAction::make("postBySms", &Share::postBySms), touchUp);
        shareBtn->addTarget_action_forControlEvents(owner, UIControlAction::make("done", &Share::done), touchUp);
    }
    return {root};
}

void registerNib()
{
    static const bool registered = [] {
        UINibRegistry::registerNib(kNib, shareFile);
        return true;
    }();
    (void)registered;
}

// An alert with the service's message, on the main thread.
void alertOnMain(const Value& message)
{
    const std::string text = message.isNilOrNull() ? std::string(kNoNetworkMessage) : message.stringValue();
    dispatch_async(dispatch_get_main_queue(), [text] {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", text, nullptr, "确定")
            ->show();
    });
}

// Runs a post and answers its reply (nil when there was none).
Value post(const Ref<HTTPFormDataRequest>& request)
{
    request->startSynchronous();
    return ServiceReply::of(request);
}

bool selected(const Ref<UIButton>& button) { return button && button->isSelected(); }

}  // namespace Share_cpp
}  // namespace

Ref<Share> Share::myinit(const Value& channel)
{
    Share_cpp::registerNib();
    auto controller = makeWithNibName<Share>(Share_cpp::kNib);
    controller->videoInfo_ = channel;
    return controller;
}

Share::~Share()
{
    if (auto hud = progress_.lock()) {
        hud->setDelegate(nullptr);
    }
}

void Share::viewDidLoad()
{
    PZViewController::viewDidLoad();
    view()->setBackgroundColor(CustomImage::bkg());
    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("return_back.png"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("back", &Share::back)));
    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "分享", UIBarButtonItemStylePlain, self<NSObject>(), UISelector::make("done", &Share::done)));
    setTitle("分享");

    if (input) {
        input->setDelegate(self<Share>());
    }
    if (wordLeft) {
        wordLeft->setText(stringWithFormat("%d", kMaxLength - static_cast<int>(NSString::length(input ? input->text() : ""))));
    }
    // The repost starts chosen.
    repost();
    applyConfig();
}

void Share::applyConfig()
{
    const Value& config = controllerConfig();
    if (postToLumoBtn) {
        if (LumoWeiboClient::isBind()) {
            postToLumoBtn->setSelected(true);
        }
        postToLumoBtn->setHidden(config["postToLumoBtn"]["hidden"].boolValue());
    }
    if (postQQBtn) {
        const Value qq = config["postQQBtn"];
        if (!qq["used"].boolValue()) {
            postQQBtn->setHidden(true);
        } else {
            if (QQWeiboClient::isBind()) {
                postQQBtn->setSelected(true);
            }
            postQQBtn->setHidden(qq["hidden"].boolValue());
        }
    }
    updateShareBtn();
}

void Share::viewWillAppear(bool animated)
{
    PZViewController::viewWillAppear(animated);
    // Every time the dialog shows, the bound microblogs are chosen: on first show, on the way back
    // from binding an account, and on the way back from a composer alike.
    if (postToLumoBtn && LumoWeiboClient::isBind()) {
        postToLumoBtn->setSelected(true);
    }
    if (postQQBtn && QQWeiboClient::isBind()) {
        postQQBtn->setSelected(true);
    }
    updateShareBtn();
    if (input) {
        input->becomeFirstResponder();
    }
}

void Share::updateShareBtn()
{
    using Share_cpp::selected;
    if (shareBtn) {
        shareBtn->setEnabled(selected(repostBtn) || selected(postToLumoBtn) || selected(postQQBtn));
    }
}

void Share::textViewDidChange(const Ref<UITextView>& textView)
{
    if (!wordLeft || !textView) {
        return;
    }
    const int length = static_cast<int>(NSString::length(textView->text()));
    wordLeft->setText(stringWithFormat("%d", kMaxLength - length));
    wordLeft->setTextColor(length < kMaxLength + 1 ? UIColor::blackColor() : UIColor::redColor());
}

void Share::repost()
{
    if (repostBtn) {
        repostBtn->setSelected(!repostBtn->isSelected());
    }
    updateShareBtn();
}

void Share::postToLumo()
{
    if (!postToLumoBtn) {
        return;
    }
    if (postToLumoBtn->isSelected()) {
        postToLumoBtn->setSelected(false);
    } else if (!LumoWeiboClient::isBind()) {
        // Binding an account first; the way back chooses it once bound.
        if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(LumoWeiboClient::create(), true);
        }
    } else {
        postToLumoBtn->setSelected(true);
    }
    updateShareBtn();
}

void Share::postToQQ()
{
    if (!postQQBtn) {
        return;
    }
    if (postQQBtn->isSelected()) {
        postQQBtn->setSelected(false);
    } else if (!QQWeiboClient::isBind()) {
        if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(QQWeiboClient::create(), true);
        }
    } else {
        postQQBtn->setSelected(true);
    }
    updateShareBtn();
}

std::string Share::getVideoURL() const
{
    if (!videoInfo_["fn"].isNil()) {
        return PZRequest::apiBaseURL() + stringWithFormat("show/%@.htm", videoInfo_["scid"]);
    }
    return videoInfo_["url"].stringValue();
}

void Share::postByEmail()
{
    if (!MFMailComposeViewController::canSendMail()) {
        return;
    }
    auto composer = MFMailComposeViewController::create();
    composer->setMailComposeDelegate(self<Share>());
    composer->setSubject(stringWithFormat("来自您的朋友%@在Ombri的视频", getSelfNick()));
    const std::string link = getVideoURL();
    composer->setMessageBody_isHTML(
        stringWithFormat("我在Ombri手机视频分享软件的视频，点击看Ombri吧^_^<a href='%@'>%@</a>", link, videoInfo_["t"]),
        true);
    if (auto navigation = navigationController()) {
        navigation->presentModalViewController_animated(composer, true);
    } else {
        presentModalViewController_animated(composer, true);
    }
}

void Share::postBySms()
{
    if (!MFMessageComposeViewController::canSendText()) {
        return;
    }
    auto composer = MFMessageComposeViewController::create();
    composer->setMessageComposeDelegate(self<Share>());
    composer->setBody(stringWithFormat("来看我在Ombri手机视频分享软件的视频，%@：%@", videoInfo_["t"], getVideoURL()));
    if (auto navigation = navigationController()) {
        navigation->presentModalViewController_animated(composer, true);
    } else {
        presentModalViewController_animated(composer, true);
    }
}

void Share::mailComposeController_didFinishWithResult_error(const Ref<MFMailComposeViewController>& controller,
                                                            MFMailComposeResult result, const Ref<NSError>&)
{
    if (result == MFMailComposeResultSent && postByEmailBtn) {
        postByEmailBtn->setSelected(true);
    }
    if (controller) {
        controller->dismissModalViewControllerAnimated(true);
    }
}

void Share::messageComposeViewController_didFinishWithResult(const Ref<MFMessageComposeViewController>& controller,
                                                             MessageComposeResult result)
{
    if (result == MessageComposeResultSent && postBySmsBtn) {
        postBySmsBtn->setSelected(true);
    }
    if (controller) {
        controller->dismissModalViewControllerAnimated(false);
    }
}

void Share::done()
{
    const std::string comment = input ? input->text() : "";
    if (static_cast<int>(NSString::length(comment)) >= kMaxLength + 1) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
            "提示", "您输入的内容过长，请重新编辑！", nullptr, "确定")
            ->show();
        return;
    }
    sentComment_ = comment;
    sendRepost_ = Share_cpp::selected(repostBtn);
    sendLumo_ = Share_cpp::selected(postToLumoBtn);
    sendQQ_ = Share_cpp::selected(postQQBtn);

    auto navigation = navigationController();
    const Ref<UIView> host = navigation ? navigation->view() : view();
    auto hud = ProgressHUD::initWithView(host);
    hud->setLabelText("正在发送请求...");
    host->addSubview(hud);
    progress_ = hud;
    hud->showWhileExecuting_onTarget_withObject_animated(UISelector::make("sendRequest", &Share::sendRequest),
                                                         self<NSObject>(), nullptr, true);
    hud->setDelegate(self<Share>());
    if (input) {
        input->resignFirstResponder();
    }
}

void Share::sendRequest()
{
    const Value scid = videoInfo_["scid"];
    const Value comment(sentComment_);
    if (sendRepost_) {
        const Value reply = Share_cpp::post(PZRequest::shareMedia_content(scid, comment));
        sharedTopz_ = reply["status"].intValue() == 200;
        if (!sharedTopz_) {
            Share_cpp::alertOnMain(reply["msg"]);
        }
        videoNotExist_ = reply["msg"].stringValue() == Share_cpp::kChannelGone;
    }
    if (sendLumo_ && !videoNotExist_) {
        const auto request = PZRequest::shareWeibo_withMessage_otherType(scid, comment, Value(stringWithFormat("%d", 1)));
        const Value reply = Share_cpp::post(request);
        NSLog("weibo %@", request->responseString());
        sharedToLumo_ = reply["status"].intValue() == 200;
        if (!sharedToLumo_) {
            Share_cpp::alertOnMain(reply["msg"]);
        }
    }
    if (sendQQ_ && !videoNotExist_) {
        const auto request = PZRequest::shareQQWeiboWithScid_withMsg(scid, comment);
        const Value reply = Share_cpp::post(request);
        NSLog("weibo %@", request->responseString());
        sharedToQQ_ = reply["status"].intValue() == 200;
        if (!sharedToQQ_) {
            Share_cpp::alertOnMain(reply["msg"]);
        }
    }
}

void Share::hudWasHidden()
{
    // Keeps the dialog alive while it leaves.
    const Ref<Share> keep = self<Share>();
    back();
    // Only a share that reached somewhere is announced; each failure has had its own alert.
    const bool anySucceeded = (sendRepost_ && sharedTopz_) || (sendLumo_ && sharedToLumo_) || (sendQQ_ && sharedToQQ_);
    if (!videoNotExist_ && anySucceeded) {
        const std::string message = stringWithFormat(
            "已成功分享到%@%@%@", std::string(sendLumo_ && sharedToLumo_ ? "Lumo微博  " : ""),
            std::string(sendQQ_ && sharedToQQ_ ? "腾讯微博  " : ""),
            sendRepost_ && sharedTopz_ ? controllerConfig()["oemString"].stringValue() : std::string());
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("分享成功！", message, nullptr,
                                                                                        "确定")
            ->show();
    }
    if (auto hud = progress_.lock()) {
        hud->removeFromSuperview();
    }
    progress_.reset();
}

void Share::LumoWeiboClient_didPostStatus(const Ref<LumoWeiboClient>&, const std::string&)
{
    const Weak<Share> weak = weakSelf<Share>();
    performSelectorAfterDelay({this, "hideProgress", nullptr}, [weak] {
        if (auto share = weak.lock()) {
            share->hideProgress();
        }
    }, 0.5);
}

void Share::hideProgress()
{
    const Ref<Share> keep = self<Share>();
    back();
    if (auto hud = progress_.lock()) {
        hud->removeFromSuperview();
    }
}

void Share::back() { dismissModalViewControllerAnimated(true); }
