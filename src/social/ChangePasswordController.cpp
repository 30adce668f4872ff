#include "social/ChangePasswordController.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/AccountHints.h"

namespace {
namespace ChangePasswordController_cpp {

Ref<UITextField> secureField(const std::string& placeholder, UIReturnKeyType returnKey)
{
    auto field = UITextField::initWithFrame(CGRectMake(70, 10, 200, 30));
    field->setSecureTextEntry(true);
    field->setPlaceholder(placeholder);
    field->setReturnKeyType(returnKey);
    return field;
}

}  // namespace ChangePasswordController_cpp
}  // namespace

ChangePasswordController::~ChangePasswordController() { dropRequest(); }

void ChangePasswordController::dropRequest()
{
    if (passwordRequest_) {
        passwordRequest_->clearDelegatesAndCancel();
        passwordRequest_ = nullptr;
    }
}

void ChangePasswordController::viewDidLoad()
{
    using namespace ChangePasswordController_cpp;
    PZViewController::viewDidLoad();
    menuList_ = {"旧密码", "新密码", "重复密码"};
    setTitle("修改密码");

    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 414), UITableViewStyleGrouped);
    tableView_->setBackgroundView(nullptr);
    tableView_->setBackgroundColor(CustomImage::yellowBkg());
    tableView_->setDelegate(self<ChangePasswordController>());
    tableView_->setDataSource(self<ChangePasswordController>());
    tableView_->setScrollEnabled(false);
    view()->addSubview(tableView_);

    oldPasswordField_ = secureField("请输入旧密码", UIReturnKeyNext);
    passwordField_ = secureField("6-16位大小写英文、数字、符号", UIReturnKeyNext);
    confirmPasswordField_ = secureField("重复密码", UIReturnKeyDone);
    for (const Ref<UITextField>& field : {oldPasswordField_, passwordField_, confirmPasswordField_}) {
        field->setDelegate(self<ChangePasswordController>());
    }

    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "保存", UIBarButtonItemStyleDone, self<NSObject>(),
        UISelector::make("changePassword", &ChangePasswordController::changePassword)));
    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("back-arrow"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("back", &ChangePasswordController::back)));
}

void ChangePasswordController::viewDidUnload()
{
    PZViewController::viewDidUnload();
    tableView_ = nullptr;
    oldPasswordField_ = nullptr;
    passwordField_ = nullptr;
    confirmPasswordField_ = nullptr;
}

NSInteger ChangePasswordController::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return NSInteger(menuList_.size());
}

Ref<UITableViewCell> ChangePasswordController::tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                                              const Ref<NSIndexPath>& indexPath)
{
    const NSInteger row = indexPath->row();
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "");
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    if (row >= 0 && size_t(row) < menuList_.size()) {
        cell->textLabel()->setText(menuList_[size_t(row)]);
    }
    const Ref<UITextField> fields[] = {oldPasswordField_, passwordField_, confirmPasswordField_};
    if (row >= 0 && row < 3) {
        cell->setAccessoryView(fields[row]);
    }
    return cell;
}

bool ChangePasswordController::textField_shouldChangeCharactersInRange_replacementString(const Ref<UITextField>&,
                                                                                        NSRange,
                                                                                        const std::string& string)
{
    // Passwords hold no spaces: a typed space is simply not taken.
    return string != " ";
}

bool ChangePasswordController::textFieldShouldReturn(const Ref<UITextField>& textField)
{
    if (textField == oldPasswordField_) {
        if (passwordField_->canBecomeFirstResponder()) {
            passwordField_->becomeFirstResponder();
        }
    } else if (textField == passwordField_) {
        if (confirmPasswordField_->canBecomeFirstResponder()) {
            confirmPasswordField_->becomeFirstResponder();
        }
    } else if (textField == confirmPasswordField_) {
        changePassword();
    }
    return true;
}

void ChangePasswordController::back()
{
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

void ChangePasswordController::changePassword()
{
    if (!oldPasswordField_) {
        return;
    }
    const std::string oldPassword = oldPasswordField_->text();
    const std::string password = passwordField_->text();
    const char* refusal = nullptr;
    if (oldPassword.empty()) {
        refusal = "请输入原始密码!";
    } else if (password.empty()) {
        refusal = "请输入新密码!";
    } else if (!PhoneNumberTest::isPassword(oldPassword)) {
        refusal = "旧密码格式不正确!";
    } else if (!PhoneNumberTest::isPassword(password)) {
        refusal = "新密码格式不正确!";
    } else if (confirmPasswordField_->text() != password) {
        refusal = "确认密码不正确!";
    }
    if (refusal) {
        showPromptAlert(refusal);
        return;
    }
    // A second save while one runs replaces it: only the newest answer is heard.
    dropRequest();
    passwordRequest_ = PZRequest::editUserPassword_widthOldPassword(Value(password), Value(oldPassword));
    passwordRequest_->setDelegate(weakSelf<ChangePasswordController>());
    passwordRequest_->startAsynchronous();
}

void ChangePasswordController::requestFinished(const Ref<HTTPRequest>& request)
{
    Ref<ChangePasswordController> keep = self<ChangePasswordController>();
    if (request == passwordRequest_) {
        passwordRequest_ = nullptr;
    }
    const Value reply = ServiceReply::of(request);
    NSLog("data %@", reply);
    if (reply["status"].intValue() != 200) {
        showPromptAlert(reply["msg"].stringValue());
        return;
    }
    const Value newToken = reply["newToken"];
    if (newToken.isNilOrNull()) {
        return;
    }
    // The old token is void from now on: the engine's uploads and commit calls take the new one at
    // once instead of failing until the next launch or login.
    appendUserInfo(newToken, "token");
    if (auto engine = SessionHooks::engineSession()) {
        engine->setToken();
    }
    back();
}

void ChangePasswordController::requestFailed(const Ref<HTTPRequest>& request)
{
    if (request == passwordRequest_) {
        passwordRequest_ = nullptr;
    }
    NSLog("%@", request->error());
}
