#include "social/MemberInfoController.h"

#include <mutex>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UINib.h"
#include "social/AccountHints.h"
#include "social/ChangePasswordController.h"
#include "social/ChangePhoneController.h"
#include "social/CheckEmailController.h"

namespace {
namespace MemberInfoController_cpp {

// The top area as the profile lays it out: the avatar sits lower than at registration, under the frame
// laid over it at y 32.8, and the nick below it.
std::vector<Ref<NSObject>> memberInfoFile(UINibBuilder& nib)
{
    auto root = nib.view<UIView>(CGRectMake(0, 0, 320, 416));
    auto top = nib.add(ProfileTopView::create());
    top->avatarButton()->setFrame(CGRectMake(130, 35, 60, 60));
    top->nickField()->setFrame(CGRectMake(85, 108, 150, 30));
    root->addSubview(top);
    if (auto owner = nib.owner<MemberInfoController>()) {
        owner->setView(root);
        owner->setTopView(top);
    }
    return {root};
}

}  // namespace MemberInfoController_cpp
}  // namespace

Ref<MemberInfoController> MemberInfoController::create()
{
    static std::once_flag once;
    std::call_once(once, [] { UINibRegistry::registerNib("MemberInfoController", MemberInfoController_cpp::memberInfoFile); });
    return makeWithNibName<MemberInfoController>("MemberInfoController");
}

void MemberInfoController::viewDidLoad()
{
    ProfileTopController::viewDidLoad();
    setTitle("个人资料");
    setAccount(NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey));
    menuList_ = {"账号", "修改密码", "手机号填写", "邮箱验证"};

    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 414), UITableViewStyleGrouped);
    tableView_->setDelegate(self<MemberInfoController>());
    tableView_->setDataSource(self<MemberInfoController>());
    auto top = topView();
    if (top) {
        top->removeFromSuperview();
        top->setBackgroundColor(CustomImage::yellowBkg());
        tableView_->setTableHeaderView(top);
    }
    tableView_->setBackgroundView(nullptr);
    tableView_->setBackgroundColor(CustomImage::yellowBkg());
    setView(tableView_);
    // The avatar frame goes on the table (the screen's view), so it scrolls with the area.
    setUpTopArea(32.8, top ? Ref<UIView>(top) : Ref<UIView>(tableView_));
}

void MemberInfoController::viewWillAppear(bool animated)
{
    ProfileTopController::viewWillAppear(animated);
    startProfileRead(PZRequest::getUserInfo(Value("")));
}

void MemberInfoController::viewDidUnload()
{
    ProfileTopController::viewDidUnload();
    setTopView(nullptr);
    tableView_ = nullptr;
}

NSInteger MemberInfoController::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return NSInteger(menuList_.size());
}

Ref<UITableViewCell> MemberInfoController::tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                                          const Ref<NSIndexPath>& indexPath)
{
    const size_t row = size_t(indexPath->row());
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleValue1, "");
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    if (row < menuList_.size()) {
        cell->textLabel()->setText(menuList_[row]);
    }
    if (row == 0) {
        cell->setAccessoryType(UITableViewCellAccessoryNone);
        cell->detailTextLabel()->setText(userInfo()["loginName"].stringValue());
        cell->detailTextLabel()->setTextColor(UIColor::grayColor());
    } else {
        cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    }
    return cell;
}

void MemberInfoController::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    auto navigation = navigationController();
    if (!navigation) {
        return;
    }
    switch (indexPath->row()) {
    case 1: {
        // Accounts that came in through a microblog service have no password of their own here.
        const Value account = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
        if (account["unbindQWeibo"].boolValue() && account["unbindLumoWeibo"].boolValue()) {
            navigation->pushViewController_animated(ChangePasswordController::create(), true);
        } else {
            showPromptAlert("第三方登陆账号无法修改密码");
        }
        break;
    }
    case 2: navigation->pushViewController_animated(ChangePhoneController::create(), true); break;
    case 3: navigation->pushViewController_animated(CheckEmailController::create(), true); break;
    default: break;
    }
}

Value MemberInfoController::avatarData(const Ref<UIImage>& image)
{
    auto jpeg = UIImageJPEGRepresentation(image, 0.7);
    return jpeg ? Value(*jpeg) : Value();
}

void MemberInfoController::profileReplyFinished(const Ref<HTTPRequest>&, const Value& reply)
{
    for (const std::string& key : reply.allKeys()) {
        if (key != "status" && key != "msg") {
            appendUserInfo(reply[key], key);
        }
    }
}

void MemberInfoController::changeAccepted()
{
    setAccount(NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey));
    if (tableView_) {
        tableView_->reloadData();
    }
}
