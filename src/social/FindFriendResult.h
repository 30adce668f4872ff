#pragma once
// FindFriendResult (stand-in until the screen lands): an empty page for a list kind ("qq", "lumo").
#include <string>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIViewController.h"

class FindFriendResult : public UIViewController {
public:
    static Ref<FindFriendResult> create() { return make<FindFriendResult>(); }
    static Ref<FindFriendResult> myinit(const std::string& kind)
    {
        auto controller = make<FindFriendResult>();
        controller->kind_ = kind;
        return controller;
    }
    const std::string& kind() const { return kind_; }

private:
    std::string kind_;

public:
    FindFriendResult() = default;
};
