#pragma once
// UIUserButton: a button that carries the record of the person it shows and displays that person's
// avatar, so that a tap on it can tell which person was meant (feed cells, people lists).
#include "platform/foundation/Value.h"
#include "platform/uikit/UIButton.h"

class UIUserButton : public UIButton {
public:
    // Plain initialisation; callers often pass an empty frame and place the button later.
    static Ref<UIUserButton> initWithFrame(CGRect frame) { return makeWithFrame<UIUserButton>(frame); }
    static Ref<UIUserButton> create() { return makeWithFrame<UIUserButton>(CGRectZero); }

    // The person's record ("suid", "nick", "icon" ...).
    const Value& userInfo() const { return userInfo_; }
    // Keeps the record and loads its "icon" as the button's background through the shared image
    // manager; a record without an icon leaves the button with the missing-URL placeholder behaviour.
    void setUserInfo(const Value& userInfo);

private:
    Value userInfo_;
};
