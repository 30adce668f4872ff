#pragma once
// The login state: the one piece of session state the client keeps, the service's login reply stored
// whole in the user defaults under "AcountInfo" (with "username" and "pwd" added by the login screens).
// Logged in means its "status" is 200.
//
// Nothing is cached: every function reads the user defaults again, so a change is seen by the next
// call on any thread. Storing a login posts "login_success", removing it posts "logout_done" (default
// centre, no object); both are passed on to the engine bridge (SessionHooks.h). storeUserInfo runs on
// the main thread (its observers update the interface).
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

inline constexpr char kAcountInfoKey[] = "AcountInfo";
inline constexpr char kLoginSuccessNotification[] = "login_success";
inline constexpr char kLogoutDoneNotification[] = "logout_done";
inline constexpr char kFirstLogTipKey[] = "kFirstLogTipKey";
inline constexpr char kFirstLogTipValue[] = "kFirstLogTipValue";

// YES when the stored account's "status" is 200.
bool isLogin();
// Replaces the whole account by the reply (nothing of the old one survives), posts "login_success",
// hands the engine the new token and asks the application delegate for the reminders.
void storeUserInfo(const Value& dictionary);
// Sets one key of the account, or removes it when the value is nil (or null). With no account the
// result holds that key alone (still logged out). Posts nothing.
void appendUserInfo(const Value& value, std::string_view key);
// Removes the account, posts "logout_done" and clears the engine's token. The service is not told.
void Logout();

// The account's "token", "suid", "nick" and "username" (nil when absent).
Value getSelfToken();
Value getSelfSuid();
Value getSelfNick();
Value getUserName();
// "otherLoginMode": 0 own account, 2 QQ microblog, other values the Lumo microblog; 0 when absent.
int getLoginType();
// YES when the user id is the account's own "suid" (NO for nil).
bool acountIsSelf(const Value& suid);
// YES until TipsShowed has marked the first-login tip as shown.
bool isFirstLogin();
void TipsShowed();

// The user's media folder: the Documents folder + "/" + the account's user name, created (without
// intermediate folders) when missing; logs "----%@" with the path. A user name that would leave the
// Documents folder (".", "..", or one holding "/") names a folder inside it with '%', '/' and '.'
// escaped as %XX (names holding '%' are escaped too, so that no two users share a folder), and no
// folder is created while there is no user name (the path then ends in "(null)").
std::string getUserMediaFolder();
