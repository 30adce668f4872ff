#include "platform/uikit/UISelector.h"

#include "platform/uikit/UIApplication.h"

void UITargetAction::send(const Ref<NSObject>& sender) const
{
    if (!action) {
        return;
    }
    if (hasTarget()) {
        if (Ref<NSObject> strong = target.lock()) {
            action.invoke(strong.get(), sender);
        }
        return;
    }
    if (action.isBlock()) {
        action.invoke(nullptr, sender);
        return;
    }
    const UISelector& selector = action;
    UIApplication::sharedApplication()->sendAction_to_from_forEvent(
        [&](NSObject* t) { return selector.invoke(t, sender); }, nullptr, sender, nullptr);
}
