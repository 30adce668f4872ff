#include "platform/uikit/UIBarButtonItem.h"

#include <cmath>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {

constexpr CGFloat kButtonHeight = 30;
constexpr CGFloat kButtonPadding = 20;
constexpr CGFloat kIconWidth = 40;

// The application speaks Chinese, so the system's own items do too, as the phone's do in its language.
std::string systemTitle(NSInteger item)
{
    switch (item) {
    case UIBarButtonSystemItemDone:
        return "完成";
    case UIBarButtonSystemItemCancel:
        return "取消";
    case UIBarButtonSystemItemEdit:
        return "编辑";
    case UIBarButtonSystemItemSave:
        return "保存";
    default:
        return {};
    }
}

}  // namespace

Ref<UIBarButtonItem> UIBarButtonItem::create() { return std::make_shared<UIBarButtonItem>(); }

Ref<UIBarButtonItem> UIBarButtonItem::initWithImage_style_target_action(const Ref<UIImage>& image,
                                                                         UIBarButtonItemStyle style,
                                                                         const Ref<NSObject>& target, UISelector action)
{
    auto item = create();
    item->UIBarItem::setImage(image);
    item->style_ = style;
    item->targetAction_ = UITargetAction(target, std::move(action));
    return item;
}

Ref<UIBarButtonItem> UIBarButtonItem::initWithTitle_style_target_action(const std::string& title,
                                                                         UIBarButtonItemStyle style,
                                                                         const Ref<NSObject>& target, UISelector action)
{
    auto item = create();
    item->UIBarItem::setTitle(title);
    item->style_ = style;
    item->targetAction_ = UITargetAction(target, std::move(action));
    return item;
}

Ref<UIBarButtonItem> UIBarButtonItem::initWithBarButtonSystemItem_target_action(UIBarButtonSystemItem systemItem,
                                                                                 const Ref<NSObject>& target,
                                                                                 UISelector action)
{
    auto item = create();
    item->systemItem_ = systemItem;
    item->UIBarItem::setTitle(systemTitle(systemItem));
    item->style_ = systemItem == UIBarButtonSystemItemDone ? UIBarButtonItemStyleDone : UIBarButtonItemStyleBordered;
    item->targetAction_ = UITargetAction(target, std::move(action));
    return item;
}

Ref<UIBarButtonItem> UIBarButtonItem::initWithCustomView(const Ref<UIView>& view)
{
    auto item = create();
    item->customView_ = view;
    return item;
}

void UIBarButtonItem::setEnabled(bool enabled)
{
    UIBarItem::setEnabled(enabled);
    updateButton();
}

void UIBarButtonItem::setTitle(const std::string& title)
{
    UIBarItem::setTitle(title);
    updateButton();
}

void UIBarButtonItem::setImage(const Ref<UIImage>& image)
{
    UIBarItem::setImage(image);
    updateButton();
}

CGFloat UIBarButtonItem::barWidth()
{
    if (customView_) {
        return customView_->frame().size.width;
    }
    if (width_ > 0) {
        return width_;
    }
    if (systemItem_ == UIBarButtonSystemItemFixedSpace || systemItem_ == UIBarButtonSystemItemFlexibleSpace) {
        return 0;
    }
    if (image()) {
        return image()->size().width + kButtonPadding;
    }
    if (!title().empty()) {
        return std::ceil(UIStringDrawing::sizeWithFont(title(), UIFont::boldSystemFontOfSize(12)).width) +
               kButtonPadding;
    }
    return kIconWidth;
}

void UIBarButtonItem::updateButton()
{
    if (!button_) {
        return;
    }
    button_->setEnabled(isEnabled());
    button_->setTitle_forState(title(), UIControlStateNormal);
    button_->setImage_forState(image(), UIControlStateNormal);
    button_->setFrame(CGRectMake(button_->frame().origin.x, button_->frame().origin.y, barWidth(), kButtonHeight));
}

Ref<UIView> UIBarButtonItem::barView()
{
    if (customView_) {
        return customView_;
    }
    if (isSpace()) {
        return nullptr;
    }
    if (!button_) {
        button_ = UIButton::buttonWithType(UIButtonTypeCustom);
        button_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(12));
        Weak<UIBarButtonItem> weak = self<UIBarButtonItem>();
        button_->addTarget_action_forControlEvents(
            self<UIBarButtonItem>(),
            UIControlAction::block("_sendAction:",
                                   [weak](const Ref<UIControl>&, const Ref<UIEvent>&) {
                                       if (auto item = weak.lock()) item->simulateTap();
                                   }),
            UIControlEventTouchUpInside);
        updateButton();
    }
    return button_;
}

bool UIBarButtonItem::simulateTap()
{
    if (!isEnabled() || !targetAction_.action) {
        return false;
    }
    Ref<UIBarButtonItem> me = self<UIBarButtonItem>();
    if (targetAction_.hasTarget() && targetAction_.target.expired()) {
        return false;
    }
    targetAction_.send(me);
    return true;
}
