#include "social/SettingVC.h"

#include "api/Categories.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UISwitch.h"
#include "platform/uikit/UITableViewCell.h"
#include "shell/RootViewController.h"
#include "social/BindAccountController.h"
#include "social/MemberInfoController.h"
#include "social/ScreenEdition.h"

SettingVC::~SettingVC()
{
    if (getUserSettingRequest_) {
        getUserSettingRequest_->clearDelegatesAndCancel();
    }
    for (const Ref<HTTPRequest>& request : writes_) {
        request->clearDelegatesAndCancel();
    }
}

void SettingVC::viewDidLoad()
{
    PZViewController::viewDidLoad();
    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("menu_icon"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("showMenu", &SettingVC::showMenu)));
    setTitle("个人设置");
    sectionData_ = {"账号", "上传", "消息提醒"};
    std::vector<std::string> account = {"个人资料"};
    if (!ScreenEdition::isLumo()) {
        account.push_back("账号绑定");
    }
    rowData_ = {account,
                {"非wifi自动上传"},
                {"用户访问通知", "新评论通知", "新分享通知", "新转发通知", "新标记通知"}};
    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 414), UITableViewStyleGrouped);
    tableView_->setBackgroundView(nullptr);
    tableView_->setBackgroundColor(CustomImage::yellowBkg());
    tableView_->setDelegate(self<SettingVC>());
    tableView_->setDataSource(self<SettingVC>());
    view()->addSubview(tableView_);
    defaults_ = NSUserDefaults::standardUserDefaults();
}

void SettingVC::viewDidUnload()
{
    PZViewController::viewDidUnload();
    userSetting_.clear();
}

void SettingVC::viewWillAppear(bool animated)
{
    PZViewController::viewWillAppear(animated);
    SliderSetMenuEnable(true);
    if (getUserSettingRequest_) {
        // A read still on its way is superseded by this one.
        getUserSettingRequest_->clearDelegatesAndCancel();
    }
    getUserSettingRequest_ = PZRequest::getUserSetting();
    getUserSettingRequest_->setDelegate(weakSelf<SettingVC>());
    getUserSettingRequest_->startAsynchronous();
}

void SettingVC::viewWillDisappear(bool animated)
{
    PZViewController::viewWillDisappear(animated);
    SliderSetMenuEnable(false);
}

void SettingVC::showMenu()
{
    if (g_root) {
        g_root->showMenu();
    }
}

NSInteger SettingVC::numberOfSectionsInTableView(const Ref<UITableView>&) { return NSInteger(sectionData_.size()); }

NSInteger SettingVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger section)
{
    return section >= 0 && size_t(section) < rowData_.size() ? NSInteger(rowData_[size_t(section)].size()) : 0;
}

std::string SettingVC::tableView_titleForHeaderInSection(const Ref<UITableView>&, NSInteger section)
{
    return section >= 0 && size_t(section) < sectionData_.size() ? sectionData_[size_t(section)] : "";
}

Ref<UITableViewCell> SettingVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                               const Ref<NSIndexPath>& indexPath)
{
    auto cell = tableView->dequeueReusableCellWithIdentifier("setting");
    if (!cell) {
        cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "setting");
    }
    const NSInteger section = indexPath->section();
    const NSInteger row = indexPath->row();
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    if (section < 0 || size_t(section) >= rowData_.size() || row < 0 || size_t(row) >= rowData_[size_t(section)].size()) {
        return cell;
    }
    cell->textLabel()->setText(rowData_[size_t(section)][size_t(row)]);
    if (section == 0) {
        cell->setAccessoryView(nullptr);
        cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        return cell;
    }
    cell->setAccessoryType(UITableViewCellAccessoryNone);
    auto toggle = UISwitch::initWithFrame(CGRectMake(0, 0, 79, 27));
    toggle->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("toggleSwitch:", &SettingVC::toggleSwitch),
                                              UIControlEventValueChanged);
    const NSInteger tag = NSInteger(std::stol(stringWithFormat("%d%d", int(section), int(row))));
    toggle->setTag(tag);
    if (tag == kUploadTag) {
        toggle->setOn(defaults_ && defaults_->boolForKey(kUploadSettingKey));
    } else {
        const size_t index = size_t(tag - kFirstNoticeTag);
        toggle->setOn(userSetting_.size() > index ? Value(userSetting_[index]).boolValue() : true);
    }
    cell->setAccessoryView(toggle);
    return cell;
}

void SettingVC::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    if (indexPath->section() != 0) {
        return;
    }
    auto navigation = navigationController();
    if (!navigation) {
        return;
    }
    if (indexPath->row() == 0) {
        navigation->pushViewController_animated(MemberInfoController::create(), true);
    } else if (indexPath->row() == 1 && tableView_numberOfRowsInSection(tableView_, 0) > 1) {
        navigation->pushViewController_animated(BindAccountController::create(), true);
    }
}

void SettingVC::toggleSwitch(const Ref<UIControl>& sender)
{
    auto toggle = std::dynamic_pointer_cast<UISwitch>(sender);
    if (!toggle) {
        return;
    }
    if (toggle->tag() == kUploadTag) {
        defaults_ = defaults_ ? defaults_ : NSUserDefaults::standardUserDefaults();
        defaults_->setBool_forKey(toggle->isOn(), kUploadSettingKey);
        return;
    }
    int states[kNoticeCount] = {};
    for (int i = 0; i < kNoticeCount; ++i) {
        // A row scrolled out of sight has no switch in the view: it keeps the state it showed, not off.
        auto found = std::dynamic_pointer_cast<UISwitch>(view()->viewWithTag(kFirstNoticeTag + i));
        if (found) {
            states[i] = found->isOn() ? 1 : 0;
        } else {
            states[i] = userSetting_.size() > size_t(i) ? (Value(userSetting_[size_t(i)]).boolValue() ? 1 : 0) : 1;
        }
    }
    const std::string value =
        stringWithFormat("%d,%d,%d,%d,%d", states[0], states[1], states[2], states[3], states[4]);
    // What was sent is what the screen now shows, so a reload before the reply keeps the person's choice.
    userSetting_ = NSString::componentsSeparatedByString(value, ",");
    auto request = PZRequest::userSetting_withValue(Value(stringWithFormat("%d", 1)), Value(value));
    writes_.push_back(request);
    request->setDelegate(weakSelf<SettingVC>());
    request->startAsynchronous();
}

void SettingVC::forget(const Ref<HTTPRequest>& request)
{
    if (request == getUserSettingRequest_) {
        getUserSettingRequest_ = nullptr;
    }
    std::erase(writes_, request);
}

void SettingVC::requestFinished(const Ref<HTTPRequest>& request)
{
    Ref<SettingVC> keep = self<SettingVC>();
    forget(request);
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() == 200) {
        // A reply that does not carry the settings (the write's plain acknowledgement) leaves the
        // switches as they are: taking it as "nothing set" would show every notice on and send ones for
        // notices the person had turned off at the next change.
        const Value setting = reply["result"]["data"]["1"];
        if (setting.isString()) {
            userSetting_ = NSString::componentsSeparatedByString(setting.stringValue(), ",");
            if (tableView_) {
                tableView_->reloadData();
            }
        }
    }
    NSLog("%@", reply.description());
}

void SettingVC::requestFailed(const Ref<HTTPRequest>& request)
{
    forget(request);
    NSLog("setting failed %@", request->responseString());
}
