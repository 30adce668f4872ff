#include "social/ProfileGalleryEntries.h"

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
#include "social/MemberInfoController.h"

namespace {
namespace ProfileGalleryEntries_cpp {

constexpr CGSize kScreen{320, 480};

std::string imageUrl(const std::string& name)
{
    const char* host = std::getenv("OMBRI_SERVICE_HOST");
    return "http://" + std::string(host ? host : "127.0.0.1:8080") + "/img/" + name + ".png";
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
}
