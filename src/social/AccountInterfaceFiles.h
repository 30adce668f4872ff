#pragma once
// The interface files of the account screens: "Login" (the login screen's view, logo and background),
// "RegSettingUserInfo" (the registration's profile step around the shared top area),
// "WelcomeViewController", and the partner-login button view, object 14 of the shared "CommonViews".
// Registered once; the screens' factories call it, so the files exist whenever a screen is made.
#include <cstddef>

inline constexpr char kCommonViewsNib[] = "CommonViews";
inline constexpr std::size_t kPartnerLoginObject = 14;
// The tag of the button inside the partner-login view.
inline constexpr int kPartnerLoginButtonTag = 8;

void registerAccountInterfaceFiles();
