#pragma once
// Responders: objects that take touches and may become the first responder. A touch a responder does
// not handle goes to its next responder (a view's is its view controller or superview, a window's is
// the application), as on the phone.
#include <cstddef>
#include <vector>

#include "platform/foundation/NSObject.h"

class UITouch;
class UIEvent;

// The touches of one delivery (the platform's NSSet of UITouch), in the order they were made.
struct UITouchSet {
    std::vector<Ref<UITouch>> touches;

    Ref<UITouch> anyObject() const { return touches.empty() ? nullptr : touches.front(); }
    size_t count() const { return touches.size(); }
    bool containsObject(const Ref<UITouch>& touch) const;
    auto begin() const { return touches.begin(); }
    auto end() const { return touches.end(); }
};

class UIResponder : public NSObject {
public:
    virtual Ref<UIResponder> nextResponder() const { return nullptr; }

    // The first responder (one per process; the interface runs on the main thread). Becoming it asks
    // the current one to resign first; either may refuse.
    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool becomeFirstResponder();
    virtual bool canResignFirstResponder() const { return true; }
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;
    static Ref<UIResponder> currentFirstResponder();

    // Touch handling: by default each passes the touches on to the next responder.
    virtual void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event);
    virtual void touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event);
    virtual void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event);
    virtual void touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event);

    // Interface files call it on every object they made, once all of them are connected.
    virtual void awakeFromNib() {}

protected:
    UIResponder() = default;
};
