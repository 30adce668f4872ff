#include "social/AccountGalleryEntries.h"
#include "platform/foundation/Configuration.h"

#include <cstdlib>

#include "api/Categories.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "net/json/JsonParser.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIWindow.h"
#include "social/AboutViewController.h"
#include "social/BindAccountController.h"
#include "social/CheckEmailController.h"
#include "social/Login.h"
#include "social/Registration.h"
#include "social/ScreenEdition.h"

namespace {
namespace AccountGalleryEntries_cpp {

constexpr CGSize kScreen{320, 480};

std::string host()
{
    return Configuration::serviceHost();
}

std::string imageUrl(const std::string& name) { return "http://" + host() + "/img/" + name + ".png"; }

// A logged-in account as the service's login reply has it, with pictures on the stand-in service.
void storeAccount(bool bound)
{
    Value account = Value::dictionary({{"status", Value(200)},
                                       {"msg", Value("登录成功")},
                                       {"token", Value("tk-gallery")},
                                       {"suid", Value("1001")},
                                       {"nick", Value("西湖边的小明")},
                                       {"loginName", Value("xiaoming")},
                                       {"username", Value("xiaoming")},
                                       {"icon", Value(imageUrl("avatar-1001"))},
                                       {"cover", Value(imageUrl("cover-1001"))},
                                       {"email", Value("xiaoming@example.com")},
                                       {"emailv", Value(true)},
                                       {"unbindLumoWeibo", Value(true)},
                                       {"unbindQWeibo", Value(true)}});
    if (bound) {
        account.setObject_forKey(Value(1), "bindLumoWeibo");
        account.setObject_forKey(Value::dictionary({{"weiboNick", Value("西湖边的小明")}}), "lumoWeibo");
    }
    storeUserInfo(account);
}

// The screen on its own navigation stack as the window's root, its view loaded and laid out.
void showOnStack(const Ref<UIWindow>& window, const Ref<UIViewController>& screen)
{
    auto navigation = CustomImage::MyNaviWithRoot(screen);
    window->setRootViewController(navigation);
    screen->view()->layoutIfNeeded();
    UIGallery::keep(navigation);
}

UIGalleryEntry loginEntry(const std::string& name, const std::string& edition, bool filled)
{
    return {name, kScreen, [edition, filled](const Ref<UIWindow>& window) {
                Logout();
                ScreenEdition::setWordForTesting(edition);
                auto login = Login::create();
                showOnStack(window, login);
                ScreenEdition::setWordForTesting("");
                if (filled && login->acountPhontNumber()) {
                    login->table()->layoutIfNeeded();
                    login->acountPhontNumber()->setText("xiaoming");
                    login->password()->setText("secret12");
                }
            }};
}

Weak<ProfileTopController> g_profileStep;
Weak<AboutViewController> g_aboutPage;

bool picturesArrived()
{
    auto step = g_profileStep.lock();
    if (!step || !step->coverView()) {
        return true;
    }
    auto cover = step->coverView()->image();
    auto avatar = step->avatarButton()->backgroundImageForState(UIControlStateNormal);
    return cover && cover->size().height != 160 && avatar && avatar->size().width >= 100;
}

}  // namespace AccountGalleryEntries_cpp
}  // namespace

void registerAccountGalleryEntries()
{
    using namespace AccountGalleryEntries_cpp;
    UIGallery::add(loginEntry("login-lumo", "lumo", false));
    UIGallery::add(loginEntry("login-form", "ombri", true));
    UIGallery::add({"registration-step-1", kScreen, [](const Ref<UIWindow>& window) {
                        Logout();
                        auto step = Reg1_InputPhoneNumber::initWithStyle(UITableViewStyleGrouped);
                        showOnStack(window, step);
                        step->tableView()->layoutIfNeeded();
                        if (step->acount()) {
                            step->acount()->setText("west_lake");
                            step->pwd()->setText("secret12");
                            step->acount()->resignFirstResponder();
                            UIKeyboard::reset();
                        }
                    }});
    UIGallery::add({"registration-step-2", kScreen,
                    [](const Ref<UIWindow>& window) {
                        storeAccount(false);
                        auto step = RegSettingUserInfo::create();
                        showOnStack(window, step);
                        g_profileStep = step;
                    },
                    picturesArrived});
    UIGallery::add({"email-check", kScreen, [](const Ref<UIWindow>& window) {
                        storeAccount(false);
                        showOnStack(window, CheckEmailController::create());
                    }});
    UIGallery::add({"about-page", kScreen,
                    [](const Ref<UIWindow>& window) {
                        auto about = AboutViewController::create();
                        about->setUrl(NSURL::URLWithString(AboutViewController::editionPageAddress()));
                        showOnStack(window, about);
                        g_aboutPage = about;
                    },
                    [] {
                        auto about = g_aboutPage.lock();
                        auto web = about ? about->webView() : nullptr;
                        return !web || (!web->isLoading() && web->request());
                    }});
    UIGallery::add({"bind-accounts", kScreen, [](const Ref<UIWindow>& window) {
                        storeAccount(true);
                        showOnStack(window, BindAccountController::create());
                    }});
}
