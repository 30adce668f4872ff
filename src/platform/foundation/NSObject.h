#pragma once
// Base of every object with identity. Objects live in Ref<T>; delegates and targets are Weak<T>.
#include <memory>

template <class T>
using Ref = std::shared_ptr<T>;
template <class T>
using Weak = std::weak_ptr<T>;

class NSObject : public std::enable_shared_from_this<NSObject> {
public:
    virtual ~NSObject() = default;

protected:
    NSObject() = default;
};
