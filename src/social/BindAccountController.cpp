#include "social/BindAccountController.h"

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/LumoWeiboClient.h"
#include "api/PZRequest.h"
#include "api/QQWeiboClient.h"
#include "api/ServiceReply.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"

namespace {
namespace BindAccountController_cpp {

// What each row reads: row 0 the Lumo microblog, row 1 the QQ microblog.
struct Service {
    const char* image;
    const char* unbindKey;
    const char* accountKey;
    const char* refusal;
    const char* confirmation;
};

constexpr Service kServices[] = {
    {"ButtonLumo", "unbindLumoWeibo", "lumoWeibo", "Lumo微博登陆的用户无法解除绑定", "是否解除Lumo微博绑定"},
    {"ButtonQQ", "unbindQWeibo", "qWeibo", "腾讯微博登陆的用户无法解除绑定", "是否解除腾讯微博绑定"},
};

}  // namespace BindAccountController_cpp
}  // namespace

BindAccountController::~BindAccountController()
{
    for (const Ref<HTTPRequest>& request : running_) {
        request->clearDelegatesAndCancel();
    }
}

void BindAccountController::viewDidLoad()
{
    PZViewController::viewDidLoad();
    menuList_ = {"绑定Lumo微博", "绑定腾讯微博"};
    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 414), UITableViewStyleGrouped);
    tableView_->setBackgroundView(nullptr);
    tableView_->setBackgroundColor(CustomImage::yellowBkg());
    tableView_->setDelegate(self<BindAccountController>());
    tableView_->setDataSource(self<BindAccountController>());
    tableView_->setScrollEnabled(false);
    view()->addSubview(tableView_);
    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("back-arrow"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("back", &BindAccountController::back)));
    setTitle("绑定微博账号");
    readAccount();
}

void BindAccountController::viewWillAppear(bool animated)
{
    PZViewController::viewWillAppear(animated);
    readAccount();
}

void BindAccountController::readAccount()
{
    userInfo_ = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    if (tableView_) {
        tableView_->reloadData();
    }
}

void BindAccountController::back()
{
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

Ref<UITableViewCell> BindAccountController::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                           const Ref<NSIndexPath>& indexPath)
{
    using namespace BindAccountController_cpp;
    auto cell = tableView->dequeueReusableCellWithIdentifier("bind");
    if (!cell) {
        cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleValue1, "bind");
    }
    const NSInteger row = indexPath->row();
    if (row < 0 || row > 1) {
        return cell;
    }
    const Service& service = kServices[row];
    cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    cell->imageView()->setImage(UIImage::imageNamed(service.image));
    cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(15));
    cell->textLabel()->setText(menuList_.size() > size_t(row) ? menuList_[size_t(row)] : "");
    cell->detailTextLabel()->setText(userInfo_[service.accountKey]["weiboNick"].stringValue());
    return cell;
}

void BindAccountController::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    using namespace BindAccountController_cpp;
    const NSInteger row = indexPath->row();
    if (row < 0 || row > 1) {
        return;
    }
    const Service& service = kServices[row];
    if (!userInfo_[service.unbindKey].boolValue()) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", service.refusal, nullptr,
                                                                                        "确定")
            ->show();
        return;
    }
    const bool bound = row == 0 ? LumoWeiboClient::isBind() : QQWeiboClient::isBind();
    if (!bound) {
        Ref<UIViewController> client;
        if (row == 0) {
            client = LumoWeiboClient::create();
        } else {
            client = QQWeiboClient::create();
        }
        if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(client, true);
        }
        return;
    }
    auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        "提示", service.confirmation, self<BindAccountController>(), "是", {"否"});
    alert->setTag(kUnbindAlertTag + row);
    alert->show();
}

void BindAccountController::alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex)
{
    NSLog("%d", int(buttonIndex));
    if (buttonIndex != 0) {
        return;
    }
    auto request = PZRequest::unbindUserWeibo(Value(stringWithFormat("%d", int(alertView->tag() - 99))));
    running_.push_back(request);
    request->setDelegate(weakSelf<BindAccountController>());
    request->startAsynchronous();
}

void BindAccountController::forget(const Ref<HTTPRequest>& request) { std::erase(running_, request); }

void BindAccountController::requestFinished(const Ref<HTTPRequest>& request)
{
    Ref<BindAccountController> keep = self<BindAccountController>();
    forget(request);
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() != 200) {
        return;
    }
    const int otherType = reply["othertype"].intValue();
    if (otherType == 1) {
        appendUserInfo(Value(0), "bindLumoWeibo");
        appendUserInfo(Value(), "lumoWeibo");
    } else if (otherType == 2) {
        appendUserInfo(Value(0), "bindQWeibo");
        appendUserInfo(Value(), "qWeibo");
    }
    readAccount();
}

void BindAccountController::requestFailed(const Ref<HTTPRequest>& request) { forget(request); }
