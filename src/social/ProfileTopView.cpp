#include "social/ProfileTopView.h"

#include <algorithm>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "net/webimage/UIImageViewWebCache.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UITouch.h"

namespace {
namespace ProfileTopView_cpp {

constexpr char kNickRule[] = "昵称为4-16个字符之间的大小写英文、数字、符号、中文组合";

Ref<UIButton> blackButton(CGRect frame, const std::string& title)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(frame);
    button->setTitle_forState(title, UIControlStateNormal);
    button->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(14));
    return button;
}

// The text without its last character (a whole code point, never half of a surrogate pair).
std::string withoutLastCharacter(const std::string& text)
{
    std::u32string characters = NSString::toUTF32(text);
    if (!characters.empty()) {
        characters.pop_back();
    }
    return NSString::fromUTF32(characters);
}

void showAlert(const std::string& title, const std::string& message)
{
    UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(title, message, nullptr, "确定")
        ->show();
}

Ref<NSURL> urlOf(const Value& text) { return text.isNil() ? nullptr : NSURL::URLWithString(text.stringValue()); }

}  // namespace ProfileTopView_cpp
}  // namespace

// ---- The view ------------------------------------------------------------------------------------

Ref<ProfileTopView> ProfileTopView::create() { return makeWithFrame<ProfileTopView>(CGRectMake(0, 0, 320, kHeight)); }

void ProfileTopView::initWithFrameBody(CGRect frame)
{
    using namespace ProfileTopView_cpp;
    UIView::initWithFrameBody(frame);
    coverView_ = UIImageView::initWithFrame(CGRectMake(0, 0, 320, 155));
    coverView_->setContentMode(UIViewContentModeScaleAspectFill);
    coverView_->setClipsToBounds(true);
    addSubview(coverView_);

    avatarButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    avatarButton_->setFrame(CGRectMake(130, 25, 60, 60));
    addSubview(avatarButton_);

    nickField_ = UITextField::initWithFrame(CGRectMake(85, 100, 150, 30));
    nickField_->setFont(UIFont::boldSystemFontOfSize(16));
    nickField_->setTextColor(UIColor::whiteColor());
    nickField_->setContentVerticalAlignment(UIControlContentVerticalAlignmentCenter);
    nickField_->setReturnKeyType(UIReturnKeyDone);
    addSubview(nickField_);

    changeAvatarButton_ = blackButton(CGRectMake(10, 163, 145, 30), "更换头像");
    addSubview(changeAvatarButton_);
    reloadButton_ = blackButton(CGRectMake(165, 163, 145, 30), "换个封面");
    addSubview(reloadButton_);
}

// ---- The screens that show it --------------------------------------------------------------------

ProfileTopController::~ProfileTopController()
{
    for (const Ref<HTTPRequest>& request : running_) {
        request->clearDelegatesAndCancel();
    }
}

void ProfileTopController::setUpTopArea(CGFloat frameY, const Ref<UIView>& tapView)
{
    using namespace ProfileTopView_cpp;
    account_ = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    if (!topView_) {
        return;
    }
    WebCache::setImageWithURL_placeholderImage(coverView(), urlOf(account_["cover"]),
                                               UIImage::imageNamed("default_cover.png"));

    auto avatar = avatarButton();
    avatar->layer()->setCornerRadius(30);
    avatar->layer()->setMasksToBounds(true);
    SetImageView::setImageWithUrl(avatar, account_["icon"]);
    avatar->addTarget_action_forControlEvents(
        self<NSObject>(), UIControlAction::make("changeAvatar:", &ProfileTopController::changeAvatar),
        UIControlEventTouchUpInside);

    avatarFrame_ = UIImageView::initWithImage(UIImage::imageNamed("feed-cover-large-user-icon-frame"));
    avatarFrame_->setFrame(CGRectMake(127.8, frameY, 64, 64));
    view()->addSubview(avatarFrame_);

    auto nick = nickField();
    nick->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.4));
    if (UIDevice::currentDevice()->systemVersion() < std::string("5.0")) {
        nick->setTextColor(UIColor::blackColor());
    }
    nick->layer()->setBorderColor(UIColor::blackColor()->CGColor());
    nick->layer()->setBorderWidth(2);
    nick->layer()->setCornerRadius(5);
    nick->layer()->setMasksToBounds(true);
    nick->setTextAlignment(UITextAlignmentCenter);
    nick->setDelegate(self<ProfileTopController>());
    nick->setText(account_["nick"].stringValue());

    const Ref<UIImage> black = UIImage::imageNamed("black-button-bg");  // missing in a damaged install
    auto buttonBackground = black ? black->stretchableImageWithLeftCapWidth_topCapHeight(20, 0) : nullptr;
    changeAvatarButton()->setBackgroundImage_forState(buttonBackground, UIControlStateNormal);
    changeAvatarButton()->addTarget_action_forControlEvents(
        self<NSObject>(), UIControlAction::make("changeAvatar:", &ProfileTopController::changeAvatar),
        UIControlEventTouchUpInside);
    reloadButton()->setBackgroundImage_forState(buttonBackground, UIControlStateNormal);
    reloadButton()->addTarget_action_forControlEvents(
        self<NSObject>(), UIControlAction::make("flushCover:", &ProfileTopController::flushCover),
        UIControlEventTouchUpInside);

    // One tap anywhere on the area ends the nick editing; the tap itself has no action.
    nickTap_ = UITapGestureRecognizer::initWithTarget_action(nullptr, UISelector());
    nickTap_->setNumberOfTapsRequired(1);
    nickTap_->setDelegate(self<ProfileTopController>());
    tapView->addGestureRecognizer(nickTap_);
}

void ProfileTopController::showActionSheet(bool withRefresh)
{
    std::vector<std::string> titles{"拍照", "相册"};
    if (withRefresh) {
        titles.push_back("刷新");
    }
    auto sheet = UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        "", self<ProfileTopController>(), "取消", "", titles);
    auto navigation = navigationController();
    sheet->showInView(navigation ? navigation->view() : view());
}

void ProfileTopController::changeAvatar(const Ref<UIButton>&) { showActionSheet(false); }

void ProfileTopController::changeCover(const Ref<UIButton>&) { showActionSheet(true); }

void ProfileTopController::flushCover(const Ref<UIButton>&) { startRequest(PZRequest::editUserCover(Value())); }

void ProfileTopController::actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>&, NSInteger buttonIndex)
{
    using namespace ProfileTopView_cpp;
    if (buttonIndex == 0) {
        const bool front = UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront);
        const bool rear = UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear);
        if (!front && !rear) {
            showAlert("没找到摄像头", "必须需要摄像头");
            return;
        }
        auto picker = UIImagePickerController::create();
        picker->setDelegate(self<ProfileTopController>());
        picker->setAllowsEditing(true);
        picker->setSourceType(UIImagePickerControllerSourceTypeCamera);
        // The front camera for a self-portrait; a device with only the rear one uses that.
        picker->setCameraDevice(front ? UIImagePickerControllerCameraDeviceFront : UIImagePickerControllerCameraDeviceRear);
        presentModalViewController_animated(picker, true);
    } else if (buttonIndex == 1) {
        auto picker = UIImagePickerController::create();
        picker->setDelegate(self<ProfileTopController>());
        picker->setAllowsEditing(true);
        picker->setSourceType(UIImagePickerControllerSourceTypeSavedPhotosAlbum);
        presentModalViewController_animated(picker, true);
    }
}

void ProfileTopController::imagePickerController_didFinishPickingMediaWithInfo(
    const Ref<UIImagePickerController>& picker, const Value& info)
{
    Value picked = info[UIImagePickerControllerEditedImage];
    if (picked.isNil()) {
        picked = info[UIImagePickerControllerOriginalImage];
    }
    if (auto image = picked.object<UIImage>()) {
        const Value data = avatarData(image);
        if (!data.isNil()) {
            startRequest(PZRequest::editUserAvatar(data));
        }
    }
    picker->dismissModalViewControllerAnimated(true);
}

bool ProfileTopController::textField_shouldChangeCharactersInRange_replacementString(
    const Ref<UITextField>& textField, NSRange range, const std::string& string)
{
    using namespace ProfileTopView_cpp;
    if (string == "\n") {
        return true;
    }
    if (textField != nickField()) {
        return true;
    }
    const std::string changed = NSString::stringByReplacingCharactersInRange_withString(textField->text(), range, string);
    if (NSString::gb18030Length(changed) <= kNickMaxBytes) {
        return true;
    }
    textField->setText(withoutLastCharacter(changed));
    return false;
}

bool ProfileTopController::gestureRecognizer_shouldReceiveTouch(const Ref<UIGestureRecognizer>&, const Ref<UITouch>&)
{
    using namespace ProfileTopView_cpp;
    auto nick = nickField();
    if (!nick || !nick->isFirstResponder()) {
        return false;
    }
    nick->resignFirstResponder();
    const NSUInteger bytes = NSString::gb18030Length(nick->text());
    if (bytes >= kNickMinBytes && bytes <= kNickMaxBytes) {
        nickRequest_ = PZRequest::editUserNick(Value(nick->text()));
        startRequest(nickRequest_);
    } else {
        showAlert("提示", kNickRule);
    }
    return true;
}

void ProfileTopController::startRequest(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    running_.push_back(request);
    request->setDelegate(weakSelf<ProfileTopController>());
    request->startAsynchronous();
}

void ProfileTopController::startProfileRead(const Ref<HTTPRequest>& request)
{
    if (!request) {
        return;
    }
    // An older read still running would answer as a change (its reply carries "nick").
    if (profileReadRequest_) {
        profileReadRequest_->clearDelegatesAndCancel();
        forgetRequest(profileReadRequest_);
    }
    profileReadRequest_ = request;
    startRequest(request);
}

void ProfileTopController::forgetRequest(const Ref<HTTPRequest>& request)
{
    std::erase(running_, request);
    if (request == nickRequest_) {
        nickRequest_ = nullptr;
    }
    if (request == profileReadRequest_) {
        profileReadRequest_ = nullptr;
    }
}

void ProfileTopController::requestFinished(const Ref<HTTPRequest>& request)
{
    using namespace ProfileTopView_cpp;
    Ref<ProfileTopController> keep = self<ProfileTopController>();
    const bool profileRead = request == profileReadRequest_;
    forgetRequest(request);
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() != 200) {
        showFailure(reply["msg"]);
        return;
    }
    if (profileRead) {
        profileReplyFinished(request, reply);
    } else if (!reply["newCover"].isNil()) {
        appendUserInfo(reply["newCover"], "cover");
        WebCache::setImageWithURL_placeholderImage(coverView(), urlOf(reply["newCover"]),
                                                   UIImage::imageNamed("default_cover.png"));
    } else if (!reply["newIcon"].isNil()) {
        SetImageView::setImageWithUrl(avatarButton(), reply["newIcon"]);
        appendUserInfo(reply["newIcon"], "icon");
    } else if (!reply["nick"].isNil()) {
        nickField()->setText(reply["nick"].stringValue());
        appendUserInfo(reply["nick"], "nick");
    }
    changeAccepted();
}

void ProfileTopController::requestFailed(const Ref<HTTPRequest>& request)
{
    forgetRequest(request);
    NSLog("%@", request->error());
}

void ProfileTopController::showFailure(const Value& message)
{
    auto hud = ProgressHUD::initWithView(view());
    view()->addSubview(hud);
    auto font = UIFont::systemFontOfSize(14);
    const std::string text = message.stringValue();
    const CGSize size = UIStringDrawing::sizeWithFont_constrainedToSize(text, font, CGSizeMake(320, 20));
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, size.width, size.height));
    label->setFont(font);
    label->setTextColor(UIColor::whiteColor());
    label->setBackgroundColor(UIColor::clearColor());
    label->setText(text);
    hud->setCustomView(label);
    hud->setMode(ProgressHUDModeCustom);
    hud->setRemoveFromSuperViewOnHide(true);
    hud->showWhileExecuting_onTarget_withObject_animated(
        UISelector::make("hideMbp:", &ProfileTopController::hideMbp), self<NSObject>(), nullptr, true);
}

void ProfileTopController::hideMbp(const Ref<NSObject>&) { NSThread::sleepForTimeInterval(2); }
