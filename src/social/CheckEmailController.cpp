#include "social/CheckEmailController.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/AccountHints.h"

namespace {
namespace CheckEmailController_cpp {

Ref<UILabel> blueLabel(const std::string& text)
{
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 320, 80));
    label->setTextAlignment(UITextAlignmentCenter);
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextColor(UIColor::colorWithRed_green_blue_alpha(0, 0.49, 0.85, 1));
    label->setText(text);
    return label;
}

}  // namespace CheckEmailController_cpp
}  // namespace

CheckEmailController::~CheckEmailController() { dropRequest(); }

void CheckEmailController::dropRequest()
{
    if (changeEmailRequest_) {
        changeEmailRequest_->clearDelegatesAndCancel();
        changeEmailRequest_ = nullptr;
    }
}

void CheckEmailController::viewDidLoad()
{
    using namespace CheckEmailController_cpp;
    PZViewController::viewDidLoad();
    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 414), UITableViewStyleGrouped);
    tableView_->setBackgroundView(nullptr);
    tableView_->setBackgroundColor(CustomImage::yellowBkg());

    const Value account = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    const bool verified = account["emailv"].boolValue();
    stateLabel_ = blueLabel(verified ? "已验证邮箱地址" : "未验证邮箱地址");
    tableView_->setTableHeaderView(stateLabel_);
    tableView_->setTableFooterView(blueLabel("用于找回密码，请填写正确的邮箱地址"));

    textField_ = UITextField::initWithFrame(CGRectMake(70, 10, 200, 30));
    textField_->setPlaceholder("请填写常用邮箱");
    textField_->setKeyboardType(UIKeyboardTypeEmailAddress);
    textField_->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
    textField_->setText(verified ? account["email"].stringValue() : "");

    tableView_->setDelegate(self<CheckEmailController>());
    tableView_->setDataSource(self<CheckEmailController>());
    tableView_->setScrollEnabled(false);
    tableView_->addGestureRecognizer(UITapGestureRecognizer::initWithTarget_action(
        self<NSObject>(), UISelector::make("hideKeyborder:", &CheckEmailController::hideKeyborder)));
    view()->addSubview(tableView_);

    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("back-arrow"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("back", &CheckEmailController::back)));
    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "保存", UIBarButtonItemStyleDone, self<NSObject>(), UISelector::make("changeEmail", &CheckEmailController::changeEmail)));
    setTitle("邮箱验证");
}

void CheckEmailController::viewDidUnload()
{
    PZViewController::viewDidUnload();
    tableView_ = nullptr;
    textField_ = nullptr;
    stateLabel_ = nullptr;
}

Ref<UITableViewCell> CheckEmailController::tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                                          const Ref<NSIndexPath>&)
{
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "");
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    cell->textLabel()->setText("邮箱:");
    cell->contentView()->addSubview(textField_);
    return cell;
}

void CheckEmailController::back()
{
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

void CheckEmailController::hideKeyborder(const Ref<UIGestureRecognizer>&)
{
    if (textField_ && textField_->isFirstResponder()) {
        textField_->resignFirstResponder();
    }
}

void CheckEmailController::changeEmail()
{
    const std::string address = textField_ ? textField_->text() : "";
    if (address.empty()) {
        showPromptAlert("请填写邮箱");
        return;
    }
    if (!PhoneNumberTest::isEmail(address)) {
        showPromptAlert("请检查邮箱格式");
        return;
    }
    // A second save while one runs replaces it: only the newest answer is heard.
    dropRequest();
    changeEmailRequest_ = PZRequest::editUserEmail(Value(address));
    changeEmailRequest_->setDelegate(weakSelf<CheckEmailController>());
    changeEmailRequest_->startAsynchronous();
}

void CheckEmailController::requestFinished(const Ref<HTTPRequest>& request)
{
    Ref<CheckEmailController> keep = self<CheckEmailController>();
    if (request == changeEmailRequest_) {
        changeEmailRequest_ = nullptr;
    }
    const Value reply = ServiceReply::of(request);
    NSLog("data %@", reply);
    if (reply["status"].intValue() == 200) {
        if (reply["email"].stringValue() == "need verify") {
            showPromptAlert("激活邮件已发送至你的邮箱");
        }
        back();
        return;
    }
    showPromptAlert(reply["msg"].stringValue());
}

void CheckEmailController::requestFailed(const Ref<HTTPRequest>& request)
{
    if (request == changeEmailRequest_) {
        changeEmailRequest_ = nullptr;
    }
    NSLog("%@", request->error());
}
