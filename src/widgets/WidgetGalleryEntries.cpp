#include "widgets/WidgetGalleryEntries.h"

#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/HUDAndBadgeGalleryEntries.h"
#include "widgets/RadialMenu.h"
#include "widgets/StatusBarOverlay.h"
#include "widgets/TextGalleryEntries.h"

namespace {
namespace WidgetGalleryEntries_cpp {

// The status-bar overlay showing one message of a type (0 activity, 1 finish, 2 error) for good.
UIGalleryEntry overlayEntry(const std::string& name, const std::string& message, int type)
{
    auto overlay = std::make_shared<Ref<StatusBarOverlay>>();
    return {name, CGSizeMake(320, 20),
            [overlay, message, type](const Ref<UIWindow>&) {
                *overlay = StatusBarOverlay::create();
                (*overlay)->postImmediateMessage_type_duration_animated(message, type, 0, false);
                UIGallery::keep(*overlay);
            },
            [overlay, message] {
                auto label = *overlay ? (*overlay)->visibleStatusLabel() : nullptr;
                return label && label->text() == message;
            }};
}

// The record menu where the feed puts it, folded or fanned out (the entry is ready once the fold ends).
UIGalleryEntry radialMenuEntry(const std::string& name, bool expanded)
{
    auto menu = std::make_shared<Ref<RadialMenu>>();
    return {name, CGSizeMake(320, 480),
            [menu, expanded](const Ref<UIWindow>& window) {
                std::vector<Ref<RadialMenuItem>> items;
                for (const char* image : {"menu_item_record", "menu_item_living", "menu_item_import"}) {
                    items.push_back(RadialMenuItem::initWithImage_highlightedImage_ContentImage_highlightedContentImage(
                        UIImage::imageNamed(image), UIImage::imageNamed(std::string(image) + "_down"), nullptr, nullptr));
                }
                *menu = RadialMenu::initWithFrame_menus(CGRectMake(10, -60, 200, 200), items);
                window->addSubview(*menu);
                if (expanded) {
                    (*menu)->setExpanding(true);
                }
            },
            [menu] { return *menu && !(*menu)->isFolding(); }};
}

}  // namespace WidgetGalleryEntries_cpp
}  // namespace

void registerWidgetGalleryEntries()
{
    using WidgetGalleryEntries_cpp::overlayEntry;
    using WidgetGalleryEntries_cpp::radialMenuEntry;
    UIGallery::add(overlayEntry("status-bar-overlay-activity", "视频即将上传", 0));
    UIGallery::add(overlayEntry("status-bar-overlay-finish", "视频上传成功！", 1));
    UIGallery::add(overlayEntry("status-bar-overlay-error", "网络连接有问题", 2));
    UIGallery::add(radialMenuEntry("radial-menu-folded", false));
    UIGallery::add(radialMenuEntry("radial-menu-expanded", true));
    registerTextGalleryEntries();
    registerHUDAndBadgeGalleryEntries();
}
