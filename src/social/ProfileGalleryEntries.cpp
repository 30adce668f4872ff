#include "social/ProfileGalleryEntries.h"
#include "platform/foundation/Configuration.h"

#include <cstdlib>
#include <memory>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "social/ChangePasswordController.h"
#include "social/ChangePhoneController.h"
#include "social/FriendVC.h"
#include "social/MemberInfoController.h"

namespace {
namespace ProfileGalleryEntries_cpp {

constexpr CGSize kScreen{320, 480};

std::string imageUrl(const std::string& name)
{
    return "http://" + Configuration::serviceHost() + "/img/" + name + ".png";
}

// The entry's login, taken back when the gallery lets the entry's objects go.
struct LoggedIn {
    LoggedIn()
    {
        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                         {"msg", Value("登录成功")},
                                         {"token", Value("tk-gallery")},
                                         {"suid", Value("1001")},
                                         {"nick", Value("西湖边的小明")},
                                         {"loginName", Value("xiaoming")},
                                         {"username", Value("xiaoming")},
                                         {"icon", Value(imageUrl("avatar-1001"))},
                                         {"cover", Value(imageUrl("cover-1001"))},
                                         {"phone", Value("13800138000")},
                                         {"unbindLumoWeibo", Value(true)},
                                         {"unbindQWeibo", Value(true)}}));
    }
    ~LoggedIn()
    {
        if (isLogin()) {
            Logout();
        }
    }
};

// The screen on a stack whose root is a plain screen, as when it is pushed, so its back button shows.
template <class T>
Ref<T> pushedOnStack(const Ref<UIWindow>& window, const Ref<T>& screen)
{
    auto navigation = CustomImage::MyNaviWithRoot(UIViewController::create());
    navigation->pushViewController_animated(screen, false);
    window->setRootViewController(navigation);
    screen->view()->layoutIfNeeded();
    UIGallery::keep(navigation);
    return screen;
}

bool loadedPicture(const Ref<UIImage>& image, const Ref<UIImage>& placeholder)
{
    return image && image != placeholder && image->size().width >= 100;
}

// The panel on its own in the window, showing a user's followed people.
void addPanel(const char* name, const char* suid)
{
    auto shown = std::make_shared<Weak<FriendVC>>();
    UIGallery::add({name, kScreen,
                    [shown, suid](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        auto panel = FriendVC::create();
                        auto navigation = UINavigationController::initWithRootViewController(UIViewController::create());
                        UIGallery::keep(navigation);
                        window->setRootViewController(panel);
                        panel->setCurrentSuid_andNavigationController(Value(suid), navigation);
                        panel->getDataFromWeb();
                        *shown = panel;
                    },
                    [shown] {
                        auto panel = shown->lock();
                        if (!panel) {
                            return true;
                        }
                        if (panel->getCurrentSelectedArray().count() == 0) {
                            return false;
                        }
                        auto table = panel->table();
                        table->layoutIfNeeded();
                        const auto placeholder = UIImage::imageNamed("missing-avatar.png");
                        for (const Ref<UITableViewCell>& cell : table->visibleCells()) {
                            if (auto row = std::dynamic_pointer_cast<FriendListCell>(cell)) {
                                auto avatar = row->head()->backgroundImageForState(UIControlStateNormal);
                                if (!avatar || avatar == placeholder) {
                                    return false;
                                }
                            }
                        }
                        return true;
                    }});
}

}  // namespace ProfileGalleryEntries_cpp
}  // namespace

void registerProfileGalleryEntries()
{
    using namespace ProfileGalleryEntries_cpp;
    auto profile = std::make_shared<Weak<MemberInfoController>>();
    UIGallery::add({"profile", kScreen,
                    [profile](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        *profile = pushedOnStack(window, MemberInfoController::create());
                    },
                    [profile] {
                        auto shown = profile->lock();
                        if (!shown || shown->userInfoRequest()) {
                            return !shown;
                        }
                        return loadedPicture(shown->coverView()->image(), UIImage::imageNamed("default_cover.png")) &&
                               loadedPicture(shown->avatarButton()->backgroundImageForState(UIControlStateNormal),
                                             UIImage::imageNamed("missing-avatar.png"));
                    }});
    UIGallery::add({"password-change", kScreen, [](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        auto form = pushedOnStack(window, ChangePasswordController::create());
                        form->tableView()->layoutIfNeeded();
                        form->oldPasswordField()->setText("secret12");
                    }});
    UIGallery::add({"phone-change", kScreen, [](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        pushedOnStack(window, ChangePhoneController::create());
                    }});
    addPanel("friend-panel-own", "1001");
    addPanel("friend-panel-other", "2001");
}
