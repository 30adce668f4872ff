// Gallery entries of the platform's standard views: a table of cells, the navigation bar, an alert,
// an action sheet and the controls in their states.
#include <string>
#include <vector>

#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIPageControl.h"
#include "platform/uikit/UIProgressView.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UISlider.h"
#include "platform/uikit/UISwitch.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIWindow.h"

namespace gallery {

namespace {
namespace PlatformEntries_cpp {

// Six rows of the kinds the screens use: plain text, detail text, images and accessories.
class SampleRows : public UITableViewDataSource {
public:
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override
    {
        return NSInteger(rows_.size());
    }

    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                         const Ref<NSIndexPath>& indexPath) override
    {
        const Row& row = rows_[size_t(indexPath->row())];
        auto cell = UITableViewCell::initWithStyle_reuseIdentifier(row.style, "GalleryCell");
        cell->textLabel()->setText(row.text);
        if (!row.detail.empty()) {
            cell->detailTextLabel()->setText(row.detail);
        }
        if (!row.image.empty()) {
            cell->imageView()->setImage(UIImage::imageNamed(row.image));
        }
        cell->setAccessoryType(row.accessory);
        if (indexPath->row() == 2) {
            cell->setSelected(true);
        }
        return cell;
    }

private:
    struct Row {
        UITableViewCellStyle style;
        std::string text, detail, image;
        UITableViewCellAccessoryType accessory;
    };
    std::vector<Row> rows_{
        {UITableViewCellStyleDefault, "首页", "", "", UITableViewCellAccessoryDisclosureIndicator},
        {UITableViewCellStyleSubtitle, "小明", "关注了你 · 3分钟前", "missing-avatar.png", UITableViewCellAccessoryNone},
        {UITableViewCellStyleDefault, "Selected row", "", "", UITableViewCellAccessoryNone},
        {UITableViewCellStyleValue1, "上传设置", "仅Wi-Fi", "", UITableViewCellAccessoryDisclosureIndicator},
        {UITableViewCellStyleDefault, "Checked", "", "", UITableViewCellAccessoryCheckmark},
        {UITableViewCellStyleSubtitle, "A longer title that does not fit on one line of the cell", "detail", "",
         UITableViewCellAccessoryNone},
    };
};

void buildTable(const Ref<UIWindow>& window)
{
    auto rows = std::make_shared<SampleRows>();
    auto table = UITableView::initWithFrame_style(window->bounds(), UITableViewStylePlain);
    table->setDataSource(rows);
    window->addSubview(table);
    table->reloadData();
    UIGallery::keep(rows);
}

void buildNavigationBar(const Ref<UIWindow>& window)
{
    auto bar = UINavigationBar::initWithFrame(CGRectMake(0, 0, window->bounds().size.width, 44));
    auto back = UINavigationItem::initWithTitle("返回");
    auto item = UINavigationItem::initWithTitle("个人资料");
    item->setRightBarButtonItem(
        UIBarButtonItem::initWithTitle_style_target_action("保存", UIBarButtonItemStyleDone, nullptr, {}));
    bar->pushNavigationItem_animated(back, false);
    bar->pushNavigationItem_animated(item, false);
    window->addSubview(bar);
}

void buildAlert(const Ref<UIWindow>&)
{
    auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        "提示", "网络连接有问题，请稍后再试。", nullptr, "取消", {"确定"});
    alert->show();
    UIGallery::keep(alert);
}

void buildSheet(const Ref<UIWindow>&)
{
    auto sheet = UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        "是否删除", nullptr, "取消", "确定删除", {});
    sheet->showInView(nullptr);
    UIGallery::keep(sheet);
}

void buildControls(const Ref<UIWindow>& window)
{
    window->setBackgroundColor(UIColor::colorWithWhite_alpha(0.93, 1));
    CGFloat y = 12;
    auto place = [&](const Ref<UIView>& view, CGFloat height) {
        const CGRect f = view->frame();
        view->setFrame(CGRectMake(f.size.width > 0 ? f.origin.x : 20, y, f.size.width > 0 ? f.size.width : 280,
                                  height));
        window->addSubview(view);
        y += height + 12;
    };
    auto label = UILabel::initWithFrame(CGRectZero);
    label->setText("Label 标签 — plain text");
    label->setBackgroundColor(UIColor::clearColor());
    place(label, 21);
    for (bool on : {true, false}) {
        auto toggle = UISwitch::initWithFrame(CGRectMake(on ? 20 : 120, 0, 79, 27));
        toggle->setOn(on);
        window->addSubview(toggle);
        toggle->setFrame(CGRectMake(on ? 20 : 120, y, 79, 27));
    }
    y += 27 + 12;
    auto slider = UISlider::initWithFrame(CGRectZero);
    slider->setValue(0.3f);
    place(slider, 23);
    auto progress = UIProgressView::initWithFrame(CGRectZero);
    progress->setProgress(0.6f);
    place(progress, 9);
    auto segments = UISegmentedControl::initWithItems({"关注", "粉丝", "好友"});
    segments->setSelectedSegmentIndex(1);
    place(segments, 30);
    auto field = UITextField::initWithFrame(CGRectZero);
    field->setBorderStyle(UITextBorderStyleRoundedRect);
    field->setPlaceholder("输入昵称或用户名");
    place(field, 31);
    auto filled = UITextField::initWithFrame(CGRectZero);
    filled->setBorderStyle(UITextBorderStyleRoundedRect);
    filled->setText("lumo@example.com");
    place(filled, 31);
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setTitle_forState("登录", UIControlStateNormal);
    place(button, 37);
    auto spinner = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleGray);
    spinner->startAnimating();
    spinner->setFrame(CGRectMake(20, y, 20, 20));
    window->addSubview(spinner);
    auto dots = UIPageControl::initWithFrame(CGRectMake(60, y, 240, 20));
    dots->setNumberOfPages(6);
    dots->setCurrentPage(2);
    dots->setBackgroundColor(UIColor::grayColor());
    window->addSubview(dots);
}

}  // namespace PlatformEntries_cpp
}  // namespace

void registerPlatformEntries()
{
    using namespace PlatformEntries_cpp;
    UIGallery::add({"platform-table-cells", CGSizeMake(320, 280), buildTable, {}});
    UIGallery::add({"platform-navigation-bar", CGSizeMake(320, 44), buildNavigationBar, {}});
    UIGallery::add({"platform-alert", CGSizeMake(320, 240), buildAlert, {}});
    UIGallery::add({"platform-action-sheet", CGSizeMake(320, 240), buildSheet, {}});
    UIGallery::add({"platform-controls", CGSizeMake(320, 380), buildControls, {}});
}

}  // namespace gallery
