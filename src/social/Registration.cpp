#include "social/Registration.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/Tool.h"
#include "net/http/HTTPFormDataRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/AccountHints.h"
#include "social/AccountInterfaceFiles.h"

// ---- Step 1: name and password -------------------------------------------------------------------

void Reg1_InputPhoneNumber::viewDidLoad()
{
    UITableViewController::viewDidLoad();
    view()->setBackgroundColor(CustomImage::yellowBkg());
    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "下一步", UIBarButtonItemStyleDone, self<NSObject>(), UISelector::make("done", &Reg1_InputPhoneNumber::done)));
    setTitle("注册");
}

bool Reg1_InputPhoneNumber::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

Ref<UITableViewCell> Reg1_InputPhoneNumber::tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                                           const Ref<NSIndexPath>& indexPath)
{
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "");
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    auto label = SetImageView::customInputLable();
    cell->contentView()->addSubview(label);
    if (indexPath->row() == 0) {
        label->setText("账户");
        if (!acount_) {
            acount_ = SetImageView::customInputField();
            acount_->setPlaceholder(OmbriAcountHint(false));
            acount_->setKeyboardType(UIKeyboardTypeASCIICapable);
            acount_->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
            acount_->setReturnKeyType(UIReturnKeyNext);
            acount_->setDelegate(self<Reg1_InputPhoneNumber>());
        }
        cell->contentView()->addSubview(acount_);
        acount_->becomeFirstResponder();
    } else {
        label->setText("密码");
        if (!pwd_) {
            pwd_ = SetImageView::customInputField();
            pwd_->setPlaceholder(OmbriPasswordHint(false));
            pwd_->setSecureTextEntry(true);
            pwd_->setReturnKeyType(UIReturnKeyDone);
            pwd_->setDelegate(self<Reg1_InputPhoneNumber>());
        }
        cell->contentView()->addSubview(pwd_);
    }
    return cell;
}

CGFloat Reg1_InputPhoneNumber::tableView_heightForFooterInSection(const Ref<UITableView>&, NSInteger section)
{
    return section == 0 ? 40 : UITableViewDefaultHeight;
}

bool Reg1_InputPhoneNumber::textFieldShouldReturn(const Ref<UITextField>& textField)
{
    if (textField == acount_) {
        if (pwd_) {
            pwd_->becomeFirstResponder();
        }
    } else if (textField == pwd_) {
        done();
    }
    return false;
}

void Reg1_InputPhoneNumber::done() { reg(); }

void Reg1_InputPhoneNumber::back()
{
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

void Reg1_InputPhoneNumber::reg()
{
    const std::string account = acount_ ? acount_->text() : "";
    const std::string password = pwd_ ? pwd_->text() : "";
    if (auto error = accountFormError(account, password)) {
        showPromptAlert(*error);
        return;
    }
    sentAcount_ = account;
    sentPassword_ = password;
    auto navigation = navigationController();
    auto host = navigation ? navigation->view() : view();
    auto hud = ProgressHUD::initWithView(host);
    host->addSubview(hud);
    hud->setDelegate(self<Reg1_InputPhoneNumber>());
    hud->showWhileExecuting_onTarget_withObject_animated(UISelector::make("sendReg", &Reg1_InputPhoneNumber::sendReg),
                                                         self<NSObject>(), nullptr, true);
    if (acount_) {
        acount_->resignFirstResponder();
    }
}

void Reg1_InputPhoneNumber::sendReg()
{
    auto request = HTTPFormDataRequest::requestWithURL(NSURL::URLWithString(PZRequest::apiBaseURL() + "m/reg.json"));
    request->setPostValue_forKey(Value(sentAcount_), "user");
    request->setPostValue_forKey(Value(sentPassword_), "pwd");
    request->startSynchronous();
    const Value reply = JsonParser::create()->objectWithString(request->responseString());
    status_ = reply["status"].intValue();
    msg_ = reply["msg"];
    reply_ = status_ == 200 ? reply.mutableCopy() : Value();
}

void Reg1_InputPhoneNumber::hudWasHidden(const Ref<ProgressHUD>& hud)
{
    if (status_ == 200) {
        // The new user is logged in here, on the main thread, because the observers of the login
        // update the interface; it has happened before the next step shows.
        Value account = reply_;
        account.setObject_forKey(Value(sentAcount_), "username");
        account.setObject_forKey(Value(sentPassword_), "pwd");
        storeUserInfo(account);
        if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(RegSettingUserInfo::create(), true);
        }
    } else {
        if (msg_.isNil()) {
            msg_ = Value(kNoNetworkMessage);
        }
        showPromptAlert(msg_.stringValue());
    }
    if (hud) {
        hud->removeFromSuperview();
    }
}

// ---- Step 2: avatar, cover and nick --------------------------------------------------------------

Ref<RegSettingUserInfo> RegSettingUserInfo::create()
{
    registerAccountInterfaceFiles();
    return makeWithNibName<RegSettingUserInfo>("RegSettingUserInfo");
}

void RegSettingUserInfo::viewDidLoad()
{
    ProfileTopController::viewDidLoad();
    navigationItem()->setHidesBackButton(true);
    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "完成", UIBarButtonItemStyleDone, self<NSObject>(), UISelector::make("strip:", &RegSettingUserInfo::strip)));
    view()->setBackgroundColor(CustomImage::yellowBkg());
    setUpTopArea(22.8, view());
}

void RegSettingUserInfo::strip(const Ref<NSObject>&) { dismissModalViewControllerAnimated(true); }

Value RegSettingUserInfo::avatarData(const Ref<UIImage>& image)
{
    auto png = UIImagePNGRepresentation(image);
    return png ? Value(*png) : Value();
}

// ---- The five-row form ---------------------------------------------------------------------------

void Reg::viewDidLoad()
{
    UITableViewController::viewDidLoad();
    view()->setBackgroundColor(CustomImage::bkg());
    auto backButton = Tool::backButton();
    backButton->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("back", &Reg::back),
                                                  UIControlEventTouchUpInside);
    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithCustomView(backButton));
    auto sendButton = Tool::sendButton("完成");
    sendButton->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("done", &Reg::done),
                                                  UIControlEventTouchUpInside);
    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithCustomView(sendButton));
    navigationItem()->setTitleView(Tool::titleLableWithTitle("注册"));
}

bool Reg::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void Reg::back()
{
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

void Reg::done() {}

Ref<UITableViewCell> Reg::tableView_cellForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    static const char* const kLabels[] = {"用户名", "密码", "昵称", "邮箱", "头像"};
    static const char* const kPlaceholders[] = {"必填", "必填", "可选", "可选"};
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "");
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    const NSInteger row = indexPath->row();
    auto label = SetImageView::customInputLable();
    label->setText(row >= 0 && row < 5 ? kLabels[row] : "");
    cell->contentView()->addSubview(label);
    if (row >= 0 && row < 4) {
        auto field = SetImageView::customInputField();
        field->setPlaceholder(kPlaceholders[row]);
        cell->contentView()->addSubview(field);
    }
    return cell;
}
