#include "platform/uikit/UINavigationItem.h"

#include "platform/uikit/UINavigationBar.h"

Ref<UINavigationItem> UINavigationItem::initWithTitle(const std::string& title)
{
    auto item = std::make_shared<UINavigationItem>();
    item->title_ = title;
    return item;
}

void UINavigationItem::changed()
{
    if (Ref<UINavigationBar> bar = bar_.lock()) {
        bar->itemDidChange(this);
    }
}

void UINavigationItem::setTitle(const std::string& title)
{
    title_ = title;
    changed();
}

void UINavigationItem::setTitleView(const Ref<UIView>& view)
{
    titleView_ = view;
    changed();
}

void UINavigationItem::setPrompt(const std::string& prompt)
{
    prompt_ = prompt;
    changed();
}

void UINavigationItem::setLeftBarButtonItem_animated(const Ref<UIBarButtonItem>& item, bool animated)
{
    left_ = item;
    changed();
}

void UINavigationItem::setRightBarButtonItem_animated(const Ref<UIBarButtonItem>& item, bool animated)
{
    right_ = item;
    changed();
}

void UINavigationItem::setBackBarButtonItem(const Ref<UIBarButtonItem>& item)
{
    back_ = item;
    changed();
}

void UINavigationItem::setHidesBackButton_animated(bool hides, bool animated)
{
    hidesBackButton_ = hides;
    changed();
}

void UINavigationItem::setLeftItemsSupplementBackButton(bool supplement)
{
    supplementBack_ = supplement;
    changed();
}
