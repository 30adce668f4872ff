#include "widgets/WidgetGalleryEntries.h"

#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIWindow.h"
#include "widgets/StatusBarOverlay.h"

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

}  // namespace WidgetGalleryEntries_cpp
}  // namespace

void registerWidgetGalleryEntries()
{
    using WidgetGalleryEntries_cpp::overlayEntry;
    UIGallery::add(overlayEntry("status-bar-overlay-activity", "视频即将上传", 0));
    UIGallery::add(overlayEntry("status-bar-overlay-finish", "视频上传成功！", 1));
    UIGallery::add(overlayEntry("status-bar-overlay-error", "网络连接有问题", 2));
}
