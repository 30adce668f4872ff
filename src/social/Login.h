#pragma once
// Login (stand-in until the login screen lands): presentLoginUI presents an empty login page in the
// custom navigation controller, animated, over the given controller.
#include "api/PZViewController.h"

class Login : public PZViewController {
public:
    static Ref<Login> create() { return make<Login>(); }
    static void presentLoginUI(const Ref<UIViewController>& presenter);

    Login() = default;
};
