#include "social/AccountInterfaceFiles.h"

#include <mutex>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "social/Login.h"
#include "social/ProfileTopView.h"
#include "social/Registration.h"
#include "social/WelcomeViewController.h"

namespace {
namespace AccountInterfaceFiles_cpp {

constexpr CGRect kScreenArea{{0, 0}, {320, 416}};

std::vector<Ref<NSObject>> loginFile(UINibBuilder& nib)
{
    auto root = nib.view<UIView>(kScreenArea);
    auto background = nib.view<UIView>(CGRectMake(0, 376, 320, 40));
    background->setBackgroundColor(UIColor::clearColor());
    background->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleWidth);
    root->addSubview(background);
    auto logo = nib.view<UIImageView>(CGRectMake(145, 381, 30, 30));
    logo->setImage(UIImage::imageNamed("lumo"));
    logo->setHidden(true);
    root->addSubview(logo);
    if (auto owner = nib.owner<Login>()) {
        owner->setView(root);
        owner->setLogo(logo);
        owner->setLoginbkg(background);
    }
    return {root};
}

Ref<NSObject> partnerLoginView(UINibBuilder& nib)
{
    auto view = nib.view<UIView>(CGRectMake(0, 0, 280, 90));
    view->setBackgroundColor(UIColor::clearColor());
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    nib.add(button);
    button->setFrame(CGRectMake(0, 0, 280, 50));
    button->setTag(kPartnerLoginButtonTag);
    button->setTitle_forState("Lumo微博账号登录", UIControlStateNormal);
    button->setTitleColor_forState(UIColor::colorWithRed_green_blue_alpha(0.85, 0.45, 0.05, 1), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(18));
    view->addSubview(button);
    auto note = nib.view<UILabel>(CGRectMake(0, 58, 280, 24));
    note->setBackgroundColor(UIColor::clearColor());
    note->setTextColor(UIColor::darkGrayColor());
    note->setFont(UIFont::systemFontOfSize(14));
    note->setTextAlignment(UITextAlignmentCenter);
    note->setText("无需注册，授权后即可使用");
    view->addSubview(note);
    return view;
}

std::vector<Ref<NSObject>> regSettingFile(UINibBuilder& nib)
{
    auto root = nib.view<UIView>(kScreenArea);
    auto top = nib.add(ProfileTopView::create());
    root->addSubview(top);
    if (auto owner = nib.owner<RegSettingUserInfo>()) {
        owner->setView(root);
        owner->setTopView(top);
    }
    return {root};
}

std::vector<Ref<NSObject>> welcomeFile(UINibBuilder& nib)
{
    auto root = nib.view<UIView>(kScreenArea);
    root->setBackgroundColor(UIColor::whiteColor());
    auto top = nib.view<UIView>(CGRectMake(0, 0, 320, 200));
    root->addSubview(top);
    auto greeting = nib.view<UILabel>(CGRectMake(20, 230, 280, 60));
    greeting->setText("欢迎来到Ombri，用视频记录身边的精彩");
    greeting->setNumberOfLines(2);
    greeting->setTextAlignment(UITextAlignmentCenter);
    greeting->setFont(UIFont::systemFontOfSize(17));
    root->addSubview(greeting);
    if (auto owner = nib.owner<WelcomeViewController>()) {
        owner->setView(root);
        owner->setTopView(top);
    }
    return {root};
}

}  // namespace AccountInterfaceFiles_cpp
}  // namespace

void registerAccountInterfaceFiles()
{
    using namespace AccountInterfaceFiles_cpp;
    static std::once_flag once;
    std::call_once(once, [] {
        UINibRegistry::registerNib("Login", loginFile);
        UINibRegistry::registerObject(kCommonViewsNib, kPartnerLoginObject, partnerLoginView);
        UINibRegistry::registerNib("RegSettingUserInfo", regSettingFile);
        UINibRegistry::registerNib("WelcomeViewController", welcomeFile);
    });
}
