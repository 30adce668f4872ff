#include "platform/foundation/NSLock.h"

std::string NSLock::name() const
{
    std::lock_guard lock(nameMutex_);
    return name_;
}

void NSLock::setName(std::string name)
{
    std::lock_guard lock(nameMutex_);
    name_ = std::move(name);
}

std::string NSRecursiveLock::name() const
{
    std::lock_guard lock(nameMutex_);
    return name_;
}

void NSRecursiveLock::setName(std::string name)
{
    std::lock_guard lock(nameMutex_);
    name_ = std::move(name);
}
