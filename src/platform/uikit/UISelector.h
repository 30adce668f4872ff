#pragma once
// Target-action for objects that are not controls: bar button items and gesture recognisers send a
// selector to a weak target with themselves as the sender, as the platform does.
//
//   item = UIBarButtonItem::initWithTitle_style_target_action("Done", UIBarButtonItemStyleDone, screen,
//                                                             UISelector::make("done:", &Screen::done));
//
// A selector is its name as the platform writes it ("done:"), kept for inspection, and the member
// function it calls, taking nothing or the sender (as a Ref of any class: a sender of another class
// arrives as null). Targets are held weakly by whoever keeps the pair; an action whose target has
// gone is skipped.
#include <functional>
#include <string>
#include <type_traits>

#include "platform/foundation/NSObject.h"

class UISelector {
public:
    // Calls the action on the target; false when the target is not of the action's class.
    using Invoke = std::function<bool(NSObject* target, const Ref<NSObject>& sender)>;

    UISelector() = default;
    UISelector(std::string name, Invoke invoke) : name_(std::move(name)), invoke_(std::move(invoke)) {}

    template <class T>
    static UISelector make(std::string name, void (T::*fn)())
    {
        return UISelector(std::move(name), [fn](NSObject* target, const Ref<NSObject>&) {
            T* object = dynamic_cast<T*>(target);
            if (object == nullptr) {
                return false;
            }
            (object->*fn)();
            return true;
        });
    }
    template <class T, class P>
    static UISelector make(std::string name, void (T::*fn)(P))
    {
        using S = typename RefTarget<std::remove_cvref_t<P>>::type;
        return UISelector(std::move(name), [fn](NSObject* target, const Ref<NSObject>& sender) {
            T* object = dynamic_cast<T*>(target);
            if (object == nullptr) {
                return false;
            }
            (object->*fn)(std::dynamic_pointer_cast<S>(sender));
            return true;
        });
    }
    // A closure: the target given with it only decides whether it is still sent.
    static UISelector block(std::string name, std::function<void(const Ref<NSObject>& sender)> fn)
    {
        UISelector selector(std::move(name), [fn = std::move(fn)](NSObject*, const Ref<NSObject>& sender) {
            fn(sender);
            return true;
        });
        selector.isBlock_ = true;
        return selector;
    }

    const std::string& name() const { return name_; }
    bool invoke(NSObject* target, const Ref<NSObject>& sender) const { return invoke_ && invoke_(target, sender); }
    explicit operator bool() const { return static_cast<bool>(invoke_); }
    bool isBlock() const { return isBlock_; }

private:
    template <class R>
    struct RefTarget;
    template <class S>
    struct RefTarget<std::shared_ptr<S>> {
        using type = S;
    };

    std::string name_;
    Invoke invoke_;
    bool isBlock_ = false;
};

// One target and action, the target held weakly.
struct UITargetAction {
    Weak<NSObject> target;
    const NSObject* identity = nullptr;  // the target's address (null: no target)
    UISelector action;

    UITargetAction() = default;
    UITargetAction(const Ref<NSObject>& t, UISelector a) : target(t), identity(t.get()), action(std::move(a)) {}

    bool hasTarget() const { return identity != nullptr; }
    // Sends the action when the target is alive; a pair made without a target sends a closure action
    // as it is, or sends the action up the responder chain from the first responder.
    void send(const Ref<NSObject>& sender) const;
};
