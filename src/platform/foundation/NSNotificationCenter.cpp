#include "platform/foundation/NSNotificationCenter.h"

#include <algorithm>
#include <atomic>

struct NSNotificationCenter::Registration {
    const NSObject* observerAddress = nullptr;
    Weak<NSObject> observer;
    Ref<NSObject> keepAlive;  // block registrations own their token
    std::string name;
    Value object;
    NSNotificationHandler handler;
    std::atomic<bool> removed{false};

    bool matches(const std::string& postedName, const Value& postedObject) const
    {
        return (name.empty() || name == postedName) && (object.isNil() || object.isIdenticalTo(postedObject));
    }
};

Ref<NSNotification> NSNotification::notificationWithName_object_userInfo(std::string name, Value object, Value userInfo)
{
    auto note = std::make_shared<NSNotification>();
    note->initBody();
    note->name_ = std::move(name);
    note->object_ = std::move(object);
    note->userInfo_ = std::move(userInfo);
    return note;
}

Ref<NSNotificationCenter> NSNotificationCenter::defaultCenter()
{
    static Ref<NSNotificationCenter>* center = new Ref<NSNotificationCenter>(create());
    return *center;
}

Ref<NSNotificationCenter> NSNotificationCenter::create()
{
    auto center = std::make_shared<NSNotificationCenter>();
    center->initBody();
    return center;
}

void NSNotificationCenter::add(const Ref<NSObject>& observer, std::string name, Value object,
                               NSNotificationHandler handler, bool strong)
{
    if (!observer || !handler) {
        return;
    }
    auto registration = std::make_shared<Registration>();
    registration->observerAddress = observer.get();
    registration->observer = observer;
    if (strong) {
        registration->keepAlive = observer;
    }
    registration->name = std::move(name);
    registration->object = std::move(object);
    registration->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    // Drop registrations of observers that are gone while we are here.
    std::erase_if(registrations_, [](const auto& r) { return r->removed || r->observer.expired(); });
    registrations_.push_back(std::move(registration));
}

Ref<NSObject> NSNotificationCenter::addObserverForName_object_usingBlock(std::string name, Value object,
                                                                         NSNotificationHandler block)
{
    Ref<NSObject> token = NSObject::create();
    add(token, std::move(name), std::move(object), std::move(block), true);
    return token;
}

void NSNotificationCenter::removeObserver(const NSObject* observer)
{
    removeObserver_name_object(observer, {}, Value());
}

void NSNotificationCenter::removeObserver_name_object(const NSObject* observer, std::string_view name, const Value& object)
{
    if (observer == nullptr) {
        return;
    }
    std::vector<std::shared_ptr<Registration>> removed;  // handlers released outside the lock
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& r) {
        const bool match = r->observerAddress == observer && (name.empty() || r->name == name) &&
                           (object.isNil() || r->object.isIdenticalTo(object));
        if (match) {
            r->removed = true;
            removed.push_back(r);
        }
        return match;
    });
}

void NSNotificationCenter::postNotification(const Ref<NSNotification>& notification)
{
    if (!notification) {
        return;
    }
    std::vector<std::shared_ptr<Registration>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_) {
            if (!r->removed && r->matches(notification->name(), notification->object())) {
                targets.push_back(r);
            }
        }
    }
    for (const auto& r : targets) {
        if (r->removed) {
            continue;  // removed by an earlier observer of this very post
        }
        Ref<NSObject> observer = r->observer.lock();
        if (!observer) {
            r->removed = true;
            continue;
        }
        r->handler(notification);
    }
}

void NSNotificationCenter::postNotificationName_object(std::string name, Value object)
{
    postNotification(NSNotification::notificationWithName_object_userInfo(std::move(name), std::move(object)));
}

void NSNotificationCenter::postNotificationName_object_userInfo(std::string name, Value object, Value userInfo)
{
    postNotification(
        NSNotification::notificationWithName_object_userInfo(std::move(name), std::move(object), std::move(userInfo)));
}

size_t NSNotificationCenter::observerCount() const
{
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count_if(registrations_.begin(), registrations_.end(),
                                             [](const auto& r) { return !r->removed && !r->observer.expired(); }));
}
