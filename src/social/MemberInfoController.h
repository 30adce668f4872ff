#pragma once
// MemberInfoController (stand-in until the profile screen lands): the logged-in user's own profile.
#include "api/PZViewController.h"

class MemberInfoController : public PZViewController {
public:
    static Ref<MemberInfoController> create()
    {
        auto profile = make<MemberInfoController>();
        profile->setTitle("个人资料");
        return profile;
    }

    MemberInfoController() = default;
};
