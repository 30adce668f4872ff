#pragma once
// MessageBoxVC (stand-in until the message box lands): autoReload asks the service for page 1.
#include "api/PZViewController.h"

class MessageBoxVC : public PZViewController {
public:
    static Ref<MessageBoxVC> create();
    void autoReload();

    MessageBoxVC() = default;
};
