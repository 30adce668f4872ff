#include "widgets/HUDAndBadgeGalleryEntries.h"

#include <string>
#include <vector>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/BadgedCell.h"
#include "widgets/CountBadge.h"
#include "widgets/ProgressHUD.h"
#include "widgets/RefreshTableHeaderView.h"

namespace {
namespace HUDAndBadgeGalleryEntries_cpp {

// A screen's worth of lines behind the box, so that its translucency shows.
void addBackdrop(const Ref<UIWindow>& window)
{
    window->setBackgroundColor(UIColor::whiteColor());
    const char* lines[] = {"今天拍了一段很有意思的短视频", "快来看看吧！分享给你的朋友们", "一起点赞评论",
                           "最新上传 · 3分钟前", "热门话题 #周末去哪儿#"};
    CGFloat y = 12;
    for (const char* line : lines) {
        auto label = UILabel::initWithFrame(CGRectMake(14, y, 292, 30));
        label->setText(line);
        label->setFont(UIFont::systemFontOfSize(17));
        label->setTextColor(UIColor::colorWithRed_green_blue_alpha(0.2, 0.3, 0.5, 1));
        label->setBackgroundColor(UIColor::clearColor());
        window->addSubview(label);
        y += 44;
    }
}

UIGalleryEntry hudEntry(const std::string& name, int mode, bool dim)
{
    return {name, CGSizeMake(320, 240), [mode, dim](const Ref<UIWindow>& window) {
                addBackdrop(window);
                auto screen = UIView::initWithFrame(window->bounds());
                screen->setBackgroundColor(UIColor::clearColor());
                window->addSubview(screen);
                auto hud = ProgressHUD::initWithView(screen);
                screen->addSubview(hud);
                switch (mode) {
                case ProgressHUDModeRoundProgress:
                    hud->setMode(ProgressHUDModeRoundProgress);
                    hud->setProgress(0.4f);
                    hud->setLabelText("上传中");
                    hud->setDetailsLabelText("已完成 40%");
                    break;
                case ProgressHUDModeCustom:
                    hud->setCustomView(UIImageView::initWithImage(UIImage::imageNamed("alert_error_icon.png")));
                    hud->setMode(ProgressHUDModeCustom);
                    hud->setLabelText("网络连接有问题");
                    break;
                default:
                    hud->setLabelText("提交中");
                    hud->setDetailsLabelText("请稍候");
                    break;
                }
                hud->setDimBackground(dim);
                hud->show(false);
            }};
}

// Rows under the header, as a feed's list would have them.
class FeedRows : public UITableViewDataSource {
public:
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override { return 4; }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                         const Ref<NSIndexPath>& indexPath) override
    {
        static const char* const titles[] = {"小明 上传了新视频", "周末的海边", "一起来跳舞吧", "城市夜景"};
        auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleSubtitle, "FeedRow");
        cell->textLabel()->setText(titles[indexPath->row() % 4]);
        cell->detailTextLabel()->setText("3分钟前");
        return cell;
    }
};

// The owner of the header: loading in the loading state, last updated at a fixed time.
class HeaderOwner : public NSObject, public RefreshTableHeaderDelegate {
public:
    explicit HeaderOwner(bool loading) : loading_(loading) {}
    void refreshTableHeaderDidTriggerRefresh(const Ref<RefreshTableHeaderView>&) override {}
    bool refreshTableHeaderDataSourceIsLoading(const Ref<RefreshTableHeaderView>&) override { return loading_; }
    std::optional<NSDate> refreshTableHeaderDataSourceLastUpdated(const Ref<RefreshTableHeaderView>&) override
    {
        return NSDate::dateWithTimeIntervalSince1970(1367409600);  // 2013-05-01 20:00 in Beijing
    }

private:
    bool loading_;
};

// A table pulled down so that the header's lower part shows, the header in the state.
UIGalleryEntry headerEntry(const std::string& name, RefreshState state)
{
    return {name, CGSizeMake(320, 200), [state](const Ref<UIWindow>& window) {
                auto rows = std::make_shared<FeedRows>();
                auto owner = std::make_shared<HeaderOwner>(state == RefreshLoading);
                auto table = UITableView::initWithFrame_style(window->bounds(), UITableViewStylePlain);
                table->setDataSource(rows);
                window->addSubview(table);
                const CGFloat h = table->bounds().size.height;
                // The date shows as it would in Beijing, whatever the machine's zone.
                const Ref<NSTimeZone> zone = NSTimeZone::defaultTimeZone();
                NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneForSecondsFromGMT(8 * 3600));
                auto header = RefreshTableHeaderView::initWithFrame(CGRectMake(0, -h, 320, h));
                header->setDelegate(owner);
                header->refreshLastUpdatedDate();
                table->addSubview(header);
                table->reloadData();
                header->setState(state);
                NSTimeZone::setDefaultTimeZone(zone);
                // Pulled as far as the state allows: up to the threshold, past it, or held open.
                if (state == RefreshLoading) {
                    table->setContentInset(UIEdgeInsetsMake(kRefreshTriggerOffset, 0, 0, 0));
                }
                table->setContentOffset(CGPointMake(0, state == RefreshPulling ? -68 : -kRefreshTriggerOffset));
                UIGallery::keep(rows);
                UIGallery::keep(owner);
            }};
}

// Badged rows: counts in the default blue grey, a highlighted row, own colours, a word and no badge.
class BadgedRows : public UITableViewDataSource {
public:
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override
    {
        return NSInteger(rows_.size());
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                         const Ref<NSIndexPath>& indexPath) override
    {
        const Row& row = rows_[size_t(indexPath->row())];
        auto cell = BadgedCell::initWithStyle_reuseIdentifier(row.style, "BadgedRow");
        cell->textLabel()->setText(row.text);
        if (!row.detail.empty()) {
            cell->detailTextLabel()->setText(row.detail);
        }
        cell->setBadgeString(row.badge);
        if (row.red) {
            cell->setBadgeColor(UIColor::colorWithRed_green_blue_alpha(0.85, 0.15, 0.15, 1));
        }
        cell->setShowShadow(row.highlighted);
        if (row.highlighted) {
            cell->setHighlighted(true);
        }
        return cell;
    }

private:
    struct Row {
        UITableViewCellStyle style;
        std::string text, detail, badge;
        bool highlighted = false;
        bool red = false;
    };
    std::vector<Row> rows_{
        {UITableViewCellStyleDefault, "系统消息", "", "3"},
        {UITableViewCellStyleSubtitle, "新的粉丝", "小明、小红关注了你", "12", true},
        {UITableViewCellStyleDefault, "评论", "", "128", false, true},
        {UITableViewCellStyleSubtitle, "好友动态", "刚刚", "new"},
        {UITableViewCellStyleDefault, "已读消息", "", ""},
    };
};

void buildBadgedCells(const Ref<UIWindow>& window)
{
    auto rows = std::make_shared<BadgedRows>();
    auto table = UITableView::initWithFrame_style(window->bounds(), UITableViewStylePlain);
    table->setDataSource(rows);
    window->addSubview(table);
    table->reloadData();
    UIGallery::keep(rows);
}

// Count badges as the menu and the topics list show them, and in other sizes and colours.
void buildCountBadges(const Ref<UIWindow>& window)
{
    window->setBackgroundColor(UIColor::colorWithWhite_alpha(0.93, 1));
    struct Placed {
        Ref<CountBadge> badge;
        CGPoint at;
    };
    const Placed badges[] = {
        {CountBadge::countBadgeWithString("8"), {10, 10}},
        {CountBadge::countBadgeWithString("12"), {45, 10}},
        {CountBadge::countBadgeWithString("new"), {100, 10}},
        {CountBadge::initWithString_withScale_withShining("99", 1.5, false), {170, 6}},
        {CountBadge::countBadgeWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
             "3", UIColor::whiteColor(), UIColor::colorWithRed_green_blue_alpha(0.2, 0.5, 0.9, 1), false, nullptr,
             2.0, true),
         {240, 2}},
    };
    for (const Placed& p : badges) {
        CGRect frame = p.badge->frame();
        frame.origin = p.at;
        p.badge->setFrame(frame);
        window->addSubview(p.badge);
    }
}

}  // namespace HUDAndBadgeGalleryEntries_cpp
}  // namespace

void registerHUDAndBadgeGalleryEntries()
{
    using namespace HUDAndBadgeGalleryEntries_cpp;
    UIGallery::add(hudEntry("progress-hud-spinner", ProgressHUDModeSpinner, false));
    UIGallery::add(hudEntry("progress-hud-round-progress", ProgressHUDModeRoundProgress, false));
    UIGallery::add(hudEntry("progress-hud-custom", ProgressHUDModeCustom, false));
    UIGallery::add(hudEntry("progress-hud-dimmed", ProgressHUDModeSpinner, true));
    UIGallery::add(headerEntry("refresh-header-normal", RefreshNormal));
    UIGallery::add(headerEntry("refresh-header-pulling", RefreshPulling));
    UIGallery::add(headerEntry("refresh-header-loading", RefreshLoading));
    UIGallery::add({"badged-cells", CGSizeMake(320, 220), buildBadgedCells});
    UIGallery::add({"count-badges", CGSizeMake(320, 60), buildCountBadges});
}
