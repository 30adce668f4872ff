#include "platform/foundation/NSObject.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <typeinfo>

NSObject::NSObject() = default;

NSObject::~NSObject() = default;

Ref<NSObject> NSObject::create()
{
    Ref<NSObject> object(new NSObject());
    object->initBody();
    return object;
}

std::string NSObject::className() const
{
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = (status == 0 && demangled != nullptr) ? demangled : mangled;
    std::free(demangled);
    // Classes in namespaces keep only their own name, as the platform has no namespaces.
    const auto colon = name.rfind("::");
    if (colon != std::string::npos && name.find('<') == std::string::npos) {
        name = name.substr(colon + 2);
    }
    return name;
}

std::string NSObject::description() const
{
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + className() + ": " + address + ">";
}

void NSObject::setAssociatedObject(const void* key, std::shared_ptr<void> value)
{
    std::shared_ptr<void> previous;  // released outside the lock: its destructor may touch this object
    {
        std::lock_guard lock(associatedMutex_);
        if (value) {
            auto& slot = associated_[key];
            previous = std::move(slot);
            slot = std::move(value);
        } else {
            auto it = associated_.find(key);
            if (it != associated_.end()) {
                previous = std::move(it->second);
                associated_.erase(it);
            }
        }
    }
}

std::shared_ptr<void> NSObject::associatedObject(const void* key) const
{
    std::lock_guard lock(associatedMutex_);
    auto it = associated_.find(key);
    return it == associated_.end() ? nullptr : it->second;
}

void NSObject::removeAssociatedObjects()
{
    std::map<const void*, std::shared_ptr<void>> previous;
    {
        std::lock_guard lock(associatedMutex_);
        previous.swap(associated_);
    }
}
