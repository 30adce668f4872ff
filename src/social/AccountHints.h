#pragma once
// The rules of an own account's name and password, shared by the login form and the registration:
// the texts that describe them (as placeholders) or refuse a form (as alert messages).
#include <optional>
#include <string>

inline constexpr int kAcountMinLength = 4;
inline constexpr int kAcountMaxLength = 16;
inline constexpr int kPasswordMinLength = 6;
inline constexpr int kPasswordMaxLength = 16;

// YES: the error form ("用户名错误：4-16位英文、数字和下划线"); NO: the hint ("4-16位英文、数字和下划线").
std::string OmbriAcountHint(bool error);
// YES: "密码错误：6-16位大小写英文、数字和符号"; NO: "6-16位大小写英文、数字和符号".
std::string OmbriPasswordHint(bool error);

// The message that refuses the form (the account is checked first), or nothing when both texts are
// within their bounds. Lengths are counted in characters.
std::optional<std::string> accountFormError(const std::string& account, const std::string& password);

// The alert of a refused form or a failed reply: "提示" with the message and "确定".
void showPromptAlert(const std::string& message);

// Shown when a login or registration got no readable reply.
inline constexpr char kNoNetworkMessage[] = "当前无可用网络，请检查网络";
