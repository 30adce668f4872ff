#include "social/SettingsGalleryEntries.h"

#include <memory>

#include "api/LoginState.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "social/SettingVC.h"

namespace {
namespace SettingsGalleryEntries_cpp {

// The entry's login is taken back when the gallery lets its objects go, so later entries start
// logged out.
struct LoginKept {
    ~LoginKept()
    {
        if (isLogin()) {
            Logout();
        }
    }
};

}  // namespace SettingsGalleryEntries_cpp
}  // namespace

void registerSettingsGalleryEntries()
{
    using namespace SettingsGalleryEntries_cpp;
    auto screen = std::make_shared<Weak<SettingVC>>();
    UIGallery::add({"settings-notices-read", CGSizeMake(320, 480),
                    [screen](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoginKept>());
                        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                                         {"token", Value("gallery")},
                                                         {"suid", Value("1001")},
                                                         {"nick", Value("小明的日常")},
                                                         {"username", Value("xiaoming")}}));
                        auto settings = SettingVC::create();
                        *screen = settings;
                        window->setRootViewController(UINavigationController::initWithRootViewController(settings));
                    },
                    [screen] {
                        auto settings = screen->lock();
                        return settings && settings->userSetting().size() == SettingVC::kNoticeCount;
                    }});
}
