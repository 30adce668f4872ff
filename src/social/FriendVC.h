#pragma once
// FriendVC (stand-in until the follow-and-fans panel lands): remembers whose lists it shows and asks
// the service for the shown list's first page.
#include "platform/foundation/Value.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIViewController.h"

class FriendVC : public UIViewController {
public:
    static Ref<FriendVC> create() { return make<FriendVC>(); }

    void setCurrentSuid_andNavigationController(const Value& suid, const Ref<UINavigationController>& navigation);
    const Value& suid() const { return suid_; }
    Ref<UINavigationController> navigation() const { return navigation_.lock(); }
    void getDataFromWeb();
    void switchToFansPage();
    // 11 the followed people, 12 the fans.
    int currentSelect() const { return currentSelect_; }
    void viewDidLoad() override;

    FriendVC() = default;

private:
    Value suid_;
    Weak<UINavigationController> navigation_;
    int currentSelect_ = 11;
};
