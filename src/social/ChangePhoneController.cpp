#include "social/ChangePhoneController.h"

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
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/AccountHints.h"

namespace {
namespace ChangePhoneController_cpp {

Ref<UILabel> blueLabel(const std::string& text)
{
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 320, 80));
    label->setTextAlignment(UITextAlignmentCenter);
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextColor(UIColor::colorWithRed_green_blue_alpha(0, 0.49, 0.85, 1));
    label->setText(text);
    return label;
}

}  // namespace ChangePhoneController_cpp
}  // namespace

ChangePhoneController::~ChangePhoneController() { dropRequest(); }

void ChangePhoneController::dropRequest()
{
    if (changePhoneRequest_) {
        changePhoneRequest_->clearDelegatesAndCancel();
        changePhoneRequest_ = nullptr;
    }
}

void ChangePhoneController::viewDidLoad()
{
    using namespace ChangePhoneController_cpp;
    PZViewController::viewDidLoad();
    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 414), UITableViewStyleGrouped);
    tableView_->setBackgroundView(nullptr);
    tableView_->setBackgroundColor(CustomImage::yellowBkg());
    tableView_->setTableHeaderView(blueLabel("手机号码"));
    tableView_->setTableFooterView(blueLabel("手机号码,通过手机号码查找好友.."));

    textField_ = UITextField::initWithFrame(CGRectMake(100, 10, 200, 30));
    textField_->setFont(UIFont::systemFontOfSize(17));
    textField_->setContentVerticalAlignment(UIControlContentVerticalAlignmentCenter);
    textField_->setKeyboardType(UIKeyboardTypePhonePad);
    textField_->setPlaceholder("填写手机号码");
    textField_->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
    const Value account = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    NSLog("%@", account);
    textField_->setText(account["phone"].stringValue());

    tableView_->setDelegate(self<ChangePhoneController>());
    tableView_->setDataSource(self<ChangePhoneController>());
    tableView_->setScrollEnabled(false);
    tableView_->addGestureRecognizer(UITapGestureRecognizer::initWithTarget_action(
        self<NSObject>(), UISelector::make("hideKeyborder:", &ChangePhoneController::hideKeyborder)));
    view()->addSubview(tableView_);

    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "保存", UIBarButtonItemStyleDone, self<NSObject>(),
        UISelector::make("changePhone", &ChangePhoneController::changePhone)));
    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("back-arrow"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("back", &ChangePhoneController::back)));
}

void ChangePhoneController::viewDidUnload()
{
    PZViewController::viewDidUnload();
    tableView_ = nullptr;
    textField_ = nullptr;
}

Ref<UITableViewCell> ChangePhoneController::tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                                           const Ref<NSIndexPath>&)
{
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "");
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    cell->textLabel()->setText("手机号码:");
    cell->contentView()->addSubview(textField_);
    return cell;
}

void ChangePhoneController::back()
{
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

void ChangePhoneController::hideKeyborder(const Ref<UIGestureRecognizer>&)
{
    if (textField_ && textField_->isFirstResponder()) {
        textField_->resignFirstResponder();
    }
}

void ChangePhoneController::changePhone()
{
    const std::string phone = textField_ ? textField_->text() : "";
    if (phone.empty()) {
        showPromptAlert("手机号码");
        return;
    }
    if (!PhoneNumberTest::isPhoneNumber(phone)) {
        showPromptAlert("请输入正确的手机号");
        return;
    }
    textField_->resignFirstResponder();
    // A second save while one runs replaces it: only the newest answer is heard.
    dropRequest();
    changePhoneRequest_ = PZRequest::editUserPhone(Value(phone));
    changePhoneRequest_->setDelegate(weakSelf<ChangePhoneController>());
    changePhoneRequest_->startAsynchronous();
}

void ChangePhoneController::requestFinished(const Ref<HTTPRequest>& request)
{
    Ref<ChangePhoneController> keep = self<ChangePhoneController>();
    if (request == changePhoneRequest_) {
        changePhoneRequest_ = nullptr;
    }
    NSLog("data %@", request->responseString());
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() == 200) {
        // The number the service keeps; an answer without one leaves the account without a number.
        appendUserInfo(reply["phone"], "phone");
        back();
        return;
    }
    showPromptAlert(reply["msg"].stringValue());
}

void ChangePhoneController::requestFailed(const Ref<HTTPRequest>& request)
{
    if (request == changePhoneRequest_) {
        changePhoneRequest_ = nullptr;
    }
    NSLog("%@", request->error());
}
