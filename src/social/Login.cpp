#include "social/Login.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/LumoWeiboClient.h"
#include "api/PZRequest.h"
#include "api/QQWeiboClient.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITouch.h"
#include "social/AccountHints.h"
#include "social/AccountInterfaceFiles.h"
#include "social/Registration.h"
#include "social/ScreenEdition.h"

namespace {
namespace Login_cpp {

void showMainScreen(int index)
{
    if (auto services = SessionHooks::applicationServices()) {
        services->displayMainWindowBy(index);
    }
}

// The registration buttons' background; nil when a damaged install lacks the picture.
Ref<UIImage> registerButtonBackground()
{
    const Ref<UIImage> image = UIImage::imageNamed("fast-reg-button");
    return image ? image->stretchableImageWithLeftCapWidth_topCapHeight(13, 0) : nullptr;
}

}  // namespace Login_cpp
}  // namespace

Ref<Login> Login::create()
{
    registerAccountInterfaceFiles();
    return makeWithNibName<Login>("Login");
}

void Login::presentLoginUI(const Ref<UIViewController>& presenter)
{
    auto navigation = CustomImage::MyNaviWithRoot(create());
    navigation->setModalTransitionStyle(UIModalTransitionStyleCrossDissolve);
    presenter->presentModalViewController_animated(navigation, true);
}

void Login::viewDidLoad()
{
    PZViewController::viewDidLoad();
    setTitle("登录");
    view()->setBackgroundColor(CustomImage::yellowBkg());
    if (ScreenEdition::isLumo()) {
        auto objects = UINibRegistry::instantiate(kCommonViewsNib, self<NSObject>());
        Ref<UIView> partner =
            objects.size() > kPartnerLoginObject ? std::dynamic_pointer_cast<UIView>(objects[kPartnerLoginObject]) : nullptr;
        if (partner) {
            partnerButton_ = std::dynamic_pointer_cast<UIButton>(partner->viewWithTag(kPartnerLoginButtonTag));
            if (partnerButton_) {
                partnerButton_->setBackgroundImage_forState(Login_cpp::registerButtonBackground(), UIControlStateNormal);
                partnerButton_->addTarget_action_forControlEvents(
                    self<NSObject>(), UIControlAction::make("lumo_oem_login", &Login::lumo_oem_login),
                    UIControlEventTouchUpInside);
            }
            partner->setCenter(CGPointMake(160, 150));
            view()->addSubview(partner);
        }
    } else {
        makeFields();
        table_ = UITableView::initWithFrame_style(CGRectMake(0, 10, 320, 420), UITableViewStyleGrouped);
        table_->setBackgroundColor(UIColor::clearColor());
        table_->setBackgroundView(nullptr);
        table_->setScrollEnabled(false);
        table_->setDelegate(self<Login>());
        table_->setDataSource(self<Login>());
        view()->addSubview(table_);
    }
    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "跳过", UIBarButtonItemStylePlain, self<NSObject>(), UISelector::make("skip", &Login::skip)));

    tap_ = UITapGestureRecognizer::initWithTarget_action(self<NSObject>(),
                                                        UISelector::make("hideKeybord:", &Login::hideKeybord));
    tap_->setDelegate(self<Login>());
    view()->addGestureRecognizer(tap_);
    swipe_ = UISwipeGestureRecognizer::initWithTarget_action(self<NSObject>(),
                                                            UISelector::make("hideKeybord:", &Login::hideKeybord));
    swipe_->setDirection(15);
    if (table_) {
        table_->addGestureRecognizer(swipe_);
    }
}

void Login::viewDidAppear(bool animated)
{
    PZViewController::viewDidAppear(animated);
    if (logo_) {
        logo_->setHidden(false);
    }
}

void Login::viewWillDisappear(bool animated)
{
    PZViewController::viewWillDisappear(animated);
    if (logo_) {
        logo_->setHidden(true);
    }
}

void Login::makeFields()
{
    acountPhontNumber_ = UITextField::initWithFrame(CGRectMake(80, 5, 200, 30));
    acountPhontNumber_->setPlaceholder("请输入账号");
    acountPhontNumber_->setReturnKeyType(UIReturnKeyNext);
    acountPhontNumber_->setKeyboardType(UIKeyboardTypeASCIICapable);
    acountPhontNumber_->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
    acountPhontNumber_->setClearButtonMode(UITextFieldViewModeWhileEditing);
    acountPhontNumber_->setDelegate(self<Login>());

    password_ = UITextField::initWithFrame(CGRectMake(80, 5, 200, 30));
    password_->setPlaceholder("请输入密码");
    password_->setSecureTextEntry(true);
    password_->setReturnKeyType(UIReturnKeyDone);
    password_->setClearButtonMode(UITextFieldViewModeWhileEditing);
    password_->setDelegate(self<Login>());
}

Ref<UIView> Login::inputRow(const std::string& title, const Ref<UITextField>& field)
{
    auto container = UIView::initWithFrame(CGRectMake(10, 5, 280, 30));
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 65, 30));
    label->setText(title);
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextColor(UIColor::blackColor());
    label->setFont(UIFont::boldSystemFontOfSize(17));
    container->addSubview(label);
    container->addSubview(field);
    return container;
}

Ref<UITableViewCell> Login::tableView_cellForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "");
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    const NSInteger section = indexPath->section();
    const NSInteger row = indexPath->row();
    if (section == 0) {
        cell->contentView()->addSubview(row == 0 ? inputRow("账号", acountPhontNumber_) : inputRow("密码", password_));
    } else {
        cell->imageView()->setImage(UIImage::imageNamed(row == 0 ? "ButtonLumo" : "ButtonQQ"));
        cell->textLabel()->setText(row == 0 ? "用Lumo微博登录" : "用腾讯微博登录");
        cell->textLabel()->setTextColor(UIColor::grayColor());
    }
    return cell;
}

CGFloat Login::tableView_heightForFooterInSection(const Ref<UITableView>&, NSInteger section)
{
    return section == 0 ? 60 : 90;
}

Ref<UIView> Login::tableView_viewForFooterInSection(const Ref<UITableView>&, NSInteger section)
{
    auto footer = UIView::initWithFrame(CGRectMake(0, 0, 320, 80));
    if (section == 0) {
        forgotButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
        forgotButton_->setFrame(CGRectMake(10, 5, 90, 30));
        forgotButton_->setTitle_forState("忘记密码?", UIControlStateNormal);
        forgotButton_->setTitleColor_forState(UIColor::blueColor(), UIControlStateNormal);
        forgotButton_->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("forgot", &Login::forgot),
                                                         UIControlEventTouchUpInside);
        footer->addSubview(forgotButton_);

        loginButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
        loginButton_->setFrame(CGRectMake(204, 5, 96.5, 28));
        loginButton_->setBackgroundImage_forState(UIImage::imageNamed("login-button"), UIControlStateNormal);
        loginButton_->setTitle_forState("登录", UIControlStateNormal);
        loginButton_->setExclusiveTouch(true);
        loginButton_->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("login", &Login::login),
                                                        UIControlEventTouchUpInside);
        footer->addSubview(loginButton_);
    } else {
        auto label = UILabel::initWithFrame(CGRectMake(10, 35, 180, 30));
        label->setBackgroundColor(UIColor::clearColor());
        label->setTextColor(UIColor::grayColor());
        label->setText("注册Ombri账号");
        footer->addSubview(label);

        registerButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
        registerButton_->setFrame(CGRectMake(10, 65, 300, 45));
        registerButton_->setBackgroundImage_forState(Login_cpp::registerButtonBackground(), UIControlStateNormal);
        registerButton_->setTitle_forState("注册", UIControlStateNormal);
        registerButton_->setTitleColor_forState(UIColor::grayColor(), UIControlStateNormal);
        registerButton_->setTitleColor_forState(UIColor::blackColor(), UIControlStateHighlighted);
        registerButton_->addTarget_action_forControlEvents(
            self<NSObject>(), UIControlAction::make("createAcount", &Login::createAcount), UIControlEventTouchUpInside);
        footer->addSubview(registerButton_);
    }
    return footer;
}

void Login::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    if (indexPath->section() != 1) {
        return;
    }
    if (indexPath->row() == 0) {
        logByLumoWeibo(nullptr);
    } else if (indexPath->row() == 1) {
        logByQQ(nullptr);
    }
}

bool Login::textFieldShouldReturn(const Ref<UITextField>& textField)
{
    if (textField == acountPhontNumber_) {
        password_->becomeFirstResponder();
    } else if (textField == password_) {
        password_->resignFirstResponder();
    }
    return false;
}

bool Login::gestureRecognizer_shouldReceiveTouch(const Ref<UIGestureRecognizer>&, const Ref<UITouch>& touch)
{
    // Taps on the form's buttons and rows go to them, not to the keyboard dismissal.
    auto touched = touch ? touch->view() : nullptr;
    if (std::dynamic_pointer_cast<UIButton>(touched)) {
        return false;
    }
    if (touched && touched->className() == "UITableViewCellContentView") {
        return false;
    }
    return true;
}

void Login::hideKeybord(const Ref<UIGestureRecognizer>&)
{
    if (acountPhontNumber_ && acountPhontNumber_->isFirstResponder()) {
        acountPhontNumber_->resignFirstResponder();
    }
    if (password_ && password_->isFirstResponder()) {
        password_->resignFirstResponder();
    }
}

void Login::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    hideKeybord(nullptr);
    PZViewController::touchesEnded_withEvent(touches, event);
}

void Login::skip()
{
    using namespace Login_cpp;
    showMainScreen(1);
    if (auto navigation = navigationController()) {
        navigation->dismissModalViewControllerAnimated(true);
    } else {
        dismissModalViewControllerAnimated(true);
    }
}

void Login::login()
{
    const std::string account = acountPhontNumber_ ? acountPhontNumber_->text() : "";
    const std::string password = password_ ? password_->text() : "";
    if (auto error = accountFormError(account, password)) {
        showPromptAlert(*error);
        return;
    }
    acountPhontNumber_->resignFirstResponder();
    password_->resignFirstResponder();
    sentAcount_ = account;
    sentPassword_ = password;
    auto navigation = navigationController();
    auto host = navigation ? navigation->view() : view();
    auto hud = ProgressHUD::initWithView(host);
    host->addSubview(hud);
    hud->setDelegate(self<Login>());
    hud->showWhileExecuting_onTarget_withObject_animated(UISelector::make("sendRequest", &Login::sendRequest),
                                                         self<NSObject>(), nullptr, true);
}

void Login::sendRequest()
{
    auto request = PZRequest::loginWithAcount_andPassword(Value(sentAcount_), Value(sentPassword_));
    request->startSynchronous();
    const Value reply = ServiceReply::of(request);
    result_ = reply.isDictionary() ? reply : Value();
}

void Login::hudWasHidden(const Ref<ProgressHUD>&)
{
    using namespace Login_cpp;
    if (result_["status"].intValue() == 200) {
        auto navigation = navigationController();
        if (navigation) {
            navigation->setModalTransitionStyle(UIModalTransitionStyleCoverVertical);
        }
        Value account = result_.mutableCopy();
        account.setObject_forKey(Value(sentAcount_), "username");
        account.setObject_forKey(Value(sentPassword_), "pwd");
        storeUserInfo(account);
        dismissModalViewControllerAnimated(true);
        showMainScreen(0);
        return;
    }
    showPromptAlert(result_.isNil() ? std::string(kNoNetworkMessage) : result_["msg"].stringValue());
}

void Login::forgot()
{
    auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        "请输入Email", "this gets covered", self<Login>(), "取消", {"确定"});
    myTextField_ = UITextField::initWithFrame(CGRectMake(12, 45, 260, 25));
    myTextField_->setBackgroundColor(UIColor::whiteColor());
    myTextField_->setKeyboardType(UIKeyboardTypeEmailAddress);
    myTextField_->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
    alert->addSubview(myTextField_);
    myTextField_->becomeFirstResponder();
    forgotAlert_ = alert;
    alert->show();
}

void Login::alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex)
{
    if (alertView != forgotAlert_.lock() || buttonIndex != 1) {
        return;
    }
    const std::string address = myTextField_ ? myTextField_->text() : "";
    if (!PhoneNumberTest::isEmail(address)) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("错误", "邮箱格式有错！", nullptr,
                                                                                        "确定")
            ->show();
        return;
    }
    // The screen waits for the service's answer.
    auto request = PZRequest::forget(Value(address));
    request->startSynchronous();
    const std::string text = request->responseString();
    NSLog("%@", text);
    const Value reply = NSString_JsonParsing::JSONValue(text);
    if (reply["stauts"].intValue() == 200) {
        showPromptAlert("请到邮箱查收");
    } else {
        showPromptAlert(reply["msg"].stringValue());
    }
}

void Login::createAcount()
{
    if (auto navigation = navigationController()) {
        navigation->pushViewController_animated(Reg1_InputPhoneNumber::initWithStyle(UITableViewStyleGrouped), true);
    }
}

void Login::logByLumoWeibo(const Ref<NSObject>&)
{
    auto client = LumoWeiboClient::create();
    client->setIsLogin(true);
    if (auto navigation = navigationController()) {
        navigation->pushViewController_animated(client, true);
    }
}

void Login::logByQQ(const Ref<NSObject>&)
{
    auto client = QQWeiboClient::create();
    client->setIsLogin(true);
    if (auto navigation = navigationController()) {
        navigation->pushViewController_animated(client, true);
    }
}

void Login::lumo_oem_login() { logByLumoWeibo(nullptr); }
