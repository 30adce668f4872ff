#pragma once
// FindFriendVC (stand-in until the screen lands): an empty page.
#include <string>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIViewController.h"

class FindFriendVC : public UIViewController {
public:
    static Ref<FindFriendVC> create() { return make<FindFriendVC>(); }

    FindFriendVC() = default;
};
