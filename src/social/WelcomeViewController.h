#pragma once
// The welcome page: a cloud-patterned top area from its own interface file; nothing in the application
// opens it.
#include "api/PZViewController.h"
#include "platform/uikit/UIView.h"

class WelcomeViewController : public PZViewController {
public:
    // Loads the interface file of its own name.
    static Ref<WelcomeViewController> create();

    Ref<UIView> topView() const { return topView_; }
    void setTopView(const Ref<UIView>& view) { topView_ = view; }

    void viewDidLoad() override;

private:
    Ref<UIView> topView_;
};
