#pragma once
// NSNotificationCenter: observers by name (and, optionally, by sending object), delivered synchronously
// on the posting thread in registration order.
//
// Delivery takes a snapshot of the matching registrations and releases the centre's lock before
// calling any observer, so observers may post, add and remove observers while being delivered to.
// A registration removed during a delivery is not called afterwards, even within that delivery; one
// added during a delivery is called from the next post on.
//
// Observers are held weakly: a registration whose observer has gone is never called again and is
// dropped. A destructor may still call removeObserver(this) as the original's dealloc does. The centre
// keeps each handler until its registration ends, so a handler must not capture its observer strongly.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSNotification : public NSObject {
public:
    static Ref<NSNotification> notificationWithName_object_userInfo(std::string name, Value object = Value(),
                                                                    Value userInfo = Value());
    const std::string& name() const { return name_; }
    // The sending object (any Value; usually an object or nil).
    const Value& object() const { return object_; }
    const Value& userInfo() const { return userInfo_; }

private:
    std::string name_;
    Value object_;
    Value userInfo_;
};

using NSNotificationHandler = std::function<void(const Ref<NSNotification>&)>;

class NSNotificationCenter : public NSObject {
public:
    // The process's centre (created once, never destroyed).
    static Ref<NSNotificationCenter> defaultCenter();
    static Ref<NSNotificationCenter> create();

    // -addObserver:selector:name:object: with the selector given as a member function of the observer,
    // taking the notification or nothing. An empty name matches every name; a nil object every sender.
    template <class T>
    void addObserver_selector_name_object(const Ref<T>& observer, void (T::*selector)(const Ref<NSNotification>&),
                                          std::string name, Value object = Value())
    {
        Weak<T> weak = observer;
        add(observer, std::move(name), std::move(object), [weak, selector](const Ref<NSNotification>& note) {
            if (auto strong = weak.lock()) {
                ((*strong).*selector)(note);
            }
        });
    }
    template <class T>
    void addObserver_selector_name_object(const Ref<T>& observer, void (T::*selector)(), std::string name,
                                          Value object = Value())
    {
        Weak<T> weak = observer;
        add(observer, std::move(name), std::move(object), [weak, selector](const Ref<NSNotification>&) {
            if (auto strong = weak.lock()) {
                ((*strong).*selector)();
            }
        });
    }
    // The same with any callable; it is called only while the observer lives.
    void addObserver(const Ref<NSObject>& observer, std::string name, Value object, NSNotificationHandler handler)
    {
        add(observer, std::move(name), std::move(object), std::move(handler));
    }
    // -addObserverForName:object:queue:usingBlock: (delivered on the posting thread): the returned
    // token is the observer; pass it to removeObserver to end the registration. The centre keeps the
    // registration until then.
    Ref<NSObject> addObserverForName_object_usingBlock(std::string name, Value object, NSNotificationHandler block);

    // Removes every registration of the observer (callable from its destructor), or those matching a
    // name (empty: any) and object (nil: any).
    void removeObserver(const NSObject* observer);
    void removeObserver(const Ref<NSObject>& observer) { removeObserver(observer.get()); }
    void removeObserver_name_object(const NSObject* observer, std::string_view name, const Value& object = Value());

    void postNotification(const Ref<NSNotification>& notification);
    void postNotificationName_object(std::string name, Value object = Value());
    void postNotificationName_object_userInfo(std::string name, Value object, Value userInfo);

    // Live registrations (for tests and diagnostics).
    size_t observerCount() const;

private:
    struct Registration;
    void add(const Ref<NSObject>& observer, std::string name, Value object, NSNotificationHandler handler,
             bool strong = false);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
};
