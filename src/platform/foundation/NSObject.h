#pragma once
// Base of every object with identity (controllers, views, requests, queues).
//
// Ownership: objects live in Ref<T> (std::shared_ptr). Retaining is holding a Ref; releasing is dropping
// it. Delegates and targets are Weak<T> and are locked when a message is delivered.
//
// Initialisers. A platform initialiser `initWithX:y:` becomes a static factory `T::initWithX_y(...)`
// returning Ref<T>; plain `init`/`new` is `T::create()`. Because shared_from_this() does not work inside
// a constructor, the factory constructs the object first and then runs its *init body*, a protected
// member named after the initialiser with the suffix "Body" (`initWithX_yBody(...)`, `initBody()` for
// plain init). A subclass's init body first calls its superclass's init body, as the original calls
// [super init...]:
//
//     class Request : public NSObject {
//     public:
//         static Ref<Request> initWithURL(const std::string& url)
//         {
//             auto self = std::make_shared<Request>();
//             self->initWithURLBody(url);
//             return self;
//         }
//     protected:
//         void initWithURLBody(const std::string& url) { initBody(); url_ = url; }
//     };
//     class FormRequest : public Request {
//     public:
//         static Ref<FormRequest> initWithURL(const std::string& url)   // hides Request's factory
//         {
//             auto self = std::make_shared<FormRequest>();
//             self->initWithURLBody(url);
//             return self;
//         }
//     protected:
//         void initWithURLBody(const std::string& url) { Request::initWithURLBody(url); ... }
//     };
//
// Constructors only give members their defaults; everything the original initialiser does (including
// anything that needs self(), such as registering as an observer) goes into the init body.
//
// Associated objects: a category that needs state, or that must act as a delegate for its object,
// attaches a helper to the instance with setAssociatedObject(key, helper) (the key is the address of a
// static variable of the category). The instance holds the helper strongly; a helper that needs its
// owner must hold it weakly.
#include <cassert>
#include <map>
#include <memory>
#include <mutex>
#include <string>

template <class T>
using Ref = std::shared_ptr<T>;
template <class T>
using Weak = std::weak_ptr<T>;

class NSObject : public std::enable_shared_from_this<NSObject> {
public:
    virtual ~NSObject();

    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

    // A plain object (useful as a token, a lock object or an opaque sender).
    static Ref<NSObject> create();

    // A strong reference to this object as T (which must be its type or a base of it). Only valid once
    // the object is owned by a Ref, i.e. from the init body on, never in a constructor.
    template <class T = NSObject>
    Ref<T> self()
    {
        assert(dynamic_cast<T*>(this) != nullptr);
        return std::static_pointer_cast<T>(shared_from_this());
    }
    template <class T = NSObject>
    Ref<const T> self() const
    {
        assert(dynamic_cast<const T*>(this) != nullptr);
        return std::static_pointer_cast<const T>(shared_from_this());
    }
    // A weak reference to this object as T, for delegates, targets and blocks that must not retain it.
    template <class T = NSObject>
    Weak<T> weakSelf()
    {
        return self<T>();
    }

    // The class name, as the platform's NSStringFromClass gives it ("PZRequest").
    std::string className() const;
    // Text for "%@" and logs. Default: "<ClassName: 0x...>".
    virtual std::string description() const;
    // Equality used by Value::isEqual and array searches. Default: identity.
    virtual bool isEqual(const NSObject* other) const { return other == this; }

    // Associated-object store. Setting nullptr removes the entry. Thread-safe.
    void setAssociatedObject(const void* key, std::shared_ptr<void> value);
    std::shared_ptr<void> associatedObject(const void* key) const;
    template <class T>
    std::shared_ptr<T> associatedObject(const void* key) const
    {
        return std::static_pointer_cast<T>(associatedObject(key));
    }
    // Removes every associated object (the platform's objc_removeAssociatedObjects).
    void removeAssociatedObjects();

protected:
    NSObject();
    // The init body of plain `init`. Subclass init bodies call their superclass's body first.
    void initBody() {}

private:
    mutable std::mutex associatedMutex_;
    std::map<const void*, std::shared_ptr<void>> associated_;
};

// Identity of a possibly-null object, the way a pointer comparison of two ids reads.
inline bool NSObjectIdentical(const NSObject* a, const NSObject* b) { return a == b; }
