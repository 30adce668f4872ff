#include "shell/MenuVC.h"

#include "api/Categories.h"
#include "api/Edition.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/SessionHooks.h"
#include "bridge/PZFFmpeg.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableViewCell.h"
#include "shell/RootViewController.h"
#include "social/AboutViewController.h"
#include "widgets/CountBadge.h"

namespace {
namespace MenuVC_cpp {

constexpr NSInteger kRowCount = 9;
constexpr const char* kTitles[kRowCount] = {"首页", "广场", "最新", "关注的话题", "我的", "消息", "设置", "关于", "退出"};

// The unread system messages of the stored reminder reply (0 without one).
int unreadSystemMessages()
{
    auto ffmpeg = g_ffmpeg.get();
    if (!ffmpeg) {
        return 0;
    }
    const Value remind = ffmpeg->remind();
    if (remind.isNilOrNull()) {
        return 0;
    }
    return remind["sys"]["cnt"].intValue();
}

}  // namespace MenuVC_cpp
}  // namespace

Ref<MenuVC> MenuVC::myinit(const Ref<RootViewController>& root)
{
    auto menu = make<MenuVC>();
    menu->root_ = root;
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver_selector_name_object(menu, &MenuVC::loginSuccess, kLoginSuccessNotification, Value());
    center->addObserver_selector_name_object(menu, &MenuVC::logout_done, kLogoutDoneNotification, Value());
    center->addObserver_selector_name_object(menu, &MenuVC::systemRemindReceived, "system_remind", Value());
    center->addObserver_selector_name_object(menu, &MenuVC::systemRemindDismiss, "system_dismiss", Value());
    return menu;
}

MenuVC::~MenuVC()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
}

std::string MenuVC::titleForRow(NSInteger row)
{
    if (row < 0 || row >= MenuVC_cpp::kRowCount) {
        return {};
    }
    if (row == MenuRowLogInOut && !isLogin()) {
        return "登录";
    }
    return MenuVC_cpp::kTitles[row];
}

bool MenuVC::rowAllowedLoggedOut(NSInteger row)
{
    return row == MenuRowSquare || row == MenuRowNewest || row == MenuRowAbout || row == MenuRowLogInOut;
}

bool MenuVC::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void MenuVC::loadView()
{
    setView(UIView::initWithFrame(CGRectMake(0, 0, 320, 460)));
}

void MenuVC::viewDidLoad()
{
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(CustomImage::bkg());
    table_ = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 460), UITableViewStylePlain);
    table_->setBackgroundColor(UIColor::clearColor());
    table_->setSeparatorColor(UIColor::darkGrayColor());
    auto footer = UIView::initWithFrame(CGRectMake(0, 0, 320, 0));
    footer->setBackgroundColor(UIColor::clearColor());
    table_->setTableFooterView(footer);
    table_->setDelegate(self<MenuVC>());
    table_->setDataSource(self<MenuVC>());
    view()->addSubview(table_);
}

void MenuVC::refreshMenu()
{
    if (auto services = SessionHooks::applicationServices()) {
        services->getRemind();
    }
}

void MenuVC::loginSuccess()
{
    if (table_) {
        table_->reloadData();
    }
}

void MenuVC::logout_done()
{
    if (table_) {
        table_->reloadData();
    }
}

void MenuVC::systemRemindReceived()
{
    if (table_) {
        table_->reloadData();
    }
}

void MenuVC::systemRemindDismiss()
{
    if (auto ffmpeg = g_ffmpeg.get()) {
        ffmpeg->setRemind(Value());
    }
    if (table_) {
        table_->reloadData();
    }
}

NSInteger MenuVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return MenuVC_cpp::kRowCount;
}

CGFloat MenuVC::tableView_heightForHeaderInSection(const Ref<UITableView>&, NSInteger)
{
    return 30;
}

Ref<UIView> MenuVC::tableView_viewForHeaderInSection(const Ref<UITableView>&, NSInteger)
{
    auto header = UIView::initWithFrame(CGRectMake(0, 0, 320, 31));
    header->setBackgroundColor(UIColor::colorWithWhite_alpha(0.6, 0.5));
    auto picture = UIImageView::initWithImage(UIImage::imageNamed("menu_section_header"));
    picture->setFrame(header->bounds());
    header->addSubview(picture);
    auto label = UILabel::initWithFrame(CGRectMake(10, 0, 310, 31));
    label->setBackgroundColor(UIColor::clearColor());
    label->setFont(UIFont::boldSystemFontOfSize(14));
    label->setTextColor(UIColor::colorWithRed_green_blue_alpha(0, 0.353, 0.663, 1));
    const Value nick = getSelfNick();
    label->setText(isLogin() && !nick.isNilOrNull() ? nick.stringValue() : "未登录用户");
    header->addSubview(label);
    return header;
}

Ref<UITableViewCell> MenuVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                             const Ref<NSIndexPath>& indexPath)
{
    const NSInteger row = indexPath->row();
    Ref<UITableViewCell> cell = tableView->dequeueReusableCellWithIdentifier("Cell");
    if (!cell) {
        cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "Cell");
        Ref<UIImage> plain = UIImage::imageNamed("menu_cell_bkg");
        auto background =
            UIImageView::initWithImage(plain ? plain->stretchableImageWithLeftCapWidth_topCapHeight(0, 2) : nullptr);
        background->setFrame(cell->bounds());
        cell->setBackgroundView(background);
        auto selected = UIImageView::initWithImage(UIImage::imageNamed("menu_cell_bkg_down"));
        selected->setFrame(cell->bounds());
        cell->setSelectedBackgroundView(selected);
    }
    const bool loggedIn = isLogin();
    const bool inert = !loggedIn && !rowAllowedLoggedOut(row);
    cell->textLabel()->setText(titleForRow(row));
    cell->textLabel()->setTextColor(inert ? UIColor::grayColor() : UIColor::whiteColor());
    cell->textLabel()->setBackgroundColor(UIColor::clearColor());
    cell->setSelectionStyle(inert ? UITableViewCellSelectionStyleNone : UITableViewCellSelectionStyleBlue);

    // Only the messages row carries the badge, and only with unread messages: a reused cell loses any
    // badge it carried for that row.
    const int unread = MenuVC_cpp::unreadSystemMessages();
    Ref<UIView> content = cell->contentView();
    auto badge = std::dynamic_pointer_cast<CountBadge>(content->viewWithTag(kMenuBadgeTag));
    if (loggedIn && row == MenuRowMessages && unread != 0) {
        if (!badge) {
            badge = CountBadge::countBadgeWithString("2");
            badge->setTag(kMenuBadgeTag);
            content->addSubview(badge);
        }
        badge->autoBadgeSizeWithString(stringWithFormat("%d", unread));
        CGRect frame = badge->frame();
        frame.origin.x = 50;
        frame.origin.y = (content->bounds().size.height - frame.size.height) / 2;
        badge->setFrame(frame);
    } else if (badge) {
        badge->removeFromSuperview();
    }
    return cell;
}

void MenuVC::tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath)
{
    const NSInteger row = indexPath->row();
    Ref<RootViewController> root = g_root ? g_root : root_.lock();
    if (!root) {
        return;
    }
    if (row == MenuRowAbout) {
        auto about = AboutViewController::create();
        about->setUrl(NSURL::URLWithString(
            stringWithFormat("%@oem.html?vend=%@", PZRequest::apiBaseURL(), std::string(kEditionWord))));
        root->presentModalViewController_animated(CustomImage::MyNaviWithRoot(about), true);
        return;
    }
    if (!isLogin() && !rowAllowedLoggedOut(row)) {
        return;
    }
    root->displayMainWindowOff(static_cast<int>(row));
}
