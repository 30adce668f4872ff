#pragma once
// SettingVC (stand-in until the settings screen lands).
#include "api/PZViewController.h"

class SettingVC : public PZViewController {
public:
    static Ref<SettingVC> create()
    {
        auto settings = make<SettingVC>();
        settings->setTitle("设置");
        return settings;
    }

    SettingVC() = default;
};
