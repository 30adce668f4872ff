#pragma once
// What the session layer asks of modules above it, which fill these in when they start.
//
// - EngineSession: the engine bridge. A stored login hands the engine the new token and folders
//   (setToken); a logout clears the engine's user token (logOut). Installed once at start-up with
//   SessionHooks::setEngineSession; nothing is called while none is installed.
// - ApplicationServices: what the application delegate offers every screen. It is found through the
//   shared application's delegate (the delegate class derives from it), as the screens reach the
//   delegate on the phone, so it needs no registration. Without such a delegate the calls do nothing.
//
// PresentLogin and ShowNetError are the shell's shared alert helpers; modules below the shell call them
// here and the application delegate does the work.
#include <memory>
#include <string>

#include "platform/foundation/Value.h"

class EngineSession {
public:
    virtual ~EngineSession() = default;
    // Hands the engine the session token and the user's media folders (nothing while logged out).
    virtual void setToken() = 0;
    // Clears the engine's user token.
    virtual void logOut() = 0;
};

class ApplicationServices {
public:
    virtual ~ApplicationServices() = default;
    // Asks the service for the reminders at once (nothing while logged out).
    virtual void getRemind() {}
    // The alert "登录继续此操作" whose "确定" opens the login screen.
    virtual void presentLogin() {}
    // A two-second error box on the window with the text, or "网络连接有问题" for nil.
    virtual void showNetError(const Value& text) {}
    // Shows one of the root controller's main screens (0 the home feed, 1 the square) under whatever
    // is presented; the account screens call it when they close the login flow.
    virtual void displayMainWindowBy(int index) {}
};

namespace SessionHooks {

// Installs the engine bridge's side (nullptr: none). Thread-safe; the engine bridge reads it from any
// thread.
void setEngineSession(std::shared_ptr<EngineSession> session);
std::shared_ptr<EngineSession> engineSession();

// The shared application's delegate as ApplicationServices, or null when it is not one.
std::shared_ptr<ApplicationServices> applicationServices();

}  // namespace SessionHooks

// The shell's alert helpers, reached through the application delegate (main thread only).
void PresentLogin();
// nil text: "网络连接有问题".
void ShowNetError(const Value& text = Value());
