#include "platform/uikit/UIResponder.h"

#include <algorithm>

namespace {
Weak<UIResponder>& firstResponder()
{
    static auto* responder = new Weak<UIResponder>();
    return *responder;
}
}  // namespace

bool UITouchSet::containsObject(const Ref<UITouch>& touch) const
{
    return std::find(touches.begin(), touches.end(), touch) != touches.end();
}

bool UIResponder::becomeFirstResponder()
{
    Ref<UIResponder> current = firstResponder().lock();
    if (current.get() == this) {
        return true;
    }
    if (!canBecomeFirstResponder()) {
        return false;
    }
    if (current && !current->resignFirstResponder()) {
        return false;
    }
    firstResponder() = weakSelf<UIResponder>();
    return true;
}

bool UIResponder::resignFirstResponder()
{
    if (!canResignFirstResponder()) {
        return false;
    }
    if (firstResponder().lock().get() == this) {
        firstResponder().reset();
    }
    return true;
}

bool UIResponder::isFirstResponder() const { return firstResponder().lock().get() == this; }

Ref<UIResponder> UIResponder::currentFirstResponder() { return firstResponder().lock(); }

void UIResponder::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    if (auto next = nextResponder()) next->touchesBegan_withEvent(touches, event);
}

void UIResponder::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    if (auto next = nextResponder()) next->touchesMoved_withEvent(touches, event);
}

void UIResponder::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    if (auto next = nextResponder()) next->touchesEnded_withEvent(touches, event);
}

void UIResponder::touchesCancelled_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    if (auto next = nextResponder()) next->touchesCancelled_withEvent(touches, event);
}
