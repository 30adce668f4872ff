#include "social/Login.h"

#include "api/Categories.h"
#include "platform/uikit/UINavigationController.h"

void Login::presentLoginUI(const Ref<UIViewController>& presenter)
{
    if (!presenter) {
        return;
    }
    auto login = create();
    login->setTitle("登录");
    auto navigation = CustomImage::MyNaviWithRoot(login);
    navigation->setModalTransitionStyle(UIModalTransitionStyleCrossDissolve);
    presenter->presentModalViewController_animated(navigation, true);
}
