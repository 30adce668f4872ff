#include "api/SessionHooks.h"

#include <mutex>

#include "platform/uikit/UIApplication.h"

namespace {

std::mutex& hooksMutex()
{
    static auto* mutex = new std::mutex;  // lives for the process: engine threads may read at exit
    return *mutex;
}

std::shared_ptr<EngineSession>& engineSlot()
{
    static auto* slot = new std::shared_ptr<EngineSession>;
    return *slot;
}

}  // namespace

namespace SessionHooks {

void setEngineSession(std::shared_ptr<EngineSession> session)
{
    std::shared_ptr<EngineSession> previous;  // released outside the lock
    {
        std::lock_guard lock(hooksMutex());
        previous = std::exchange(engineSlot(), std::move(session));
    }
}

std::shared_ptr<EngineSession> engineSession()
{
    std::lock_guard lock(hooksMutex());
    return engineSlot();
}

std::shared_ptr<ApplicationServices> applicationServices()
{
    return std::dynamic_pointer_cast<ApplicationServices>(UIApplication::sharedApplication()->delegate());
}

}  // namespace SessionHooks

void PresentLogin()
{
    if (auto services = SessionHooks::applicationServices()) {
        services->presentLogin();
    }
}

void ShowNetError(const Value& text)
{
    if (auto services = SessionHooks::applicationServices()) {
        services->showNetError(text);
    }
}
