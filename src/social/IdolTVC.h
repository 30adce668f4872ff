#pragma once
// IdolTVC (stand-in until the recommended-people list lands): titled "推荐人物".
#include "api/PZViewController.h"

class IdolTVC : public PZViewController {
public:
    static Ref<IdolTVC> create()
    {
        auto idols = make<IdolTVC>();
        idols->setTitle("推荐人物");
        return idols;
    }
};
