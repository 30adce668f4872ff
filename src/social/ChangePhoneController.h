#pragma once
// ChangePhoneController: sets the phone number by which friends find the user. The number is checked
// before it is sent; the number the service answers becomes the account's (none when it answers none).
#include "api/PZViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITextField.h"

class HTTPRequest;

class ChangePhoneController : public PZViewController,
                              public UITableViewDataSource,
                              public UITableViewDelegate,
                              public HTTPRequestDelegate {
public:
    static Ref<ChangePhoneController> create() { return make<ChangePhoneController>(); }
    ~ChangePhoneController() override;

    Ref<UITableView> tableView() const { return tableView_; }
    Ref<UITextField> textField() const { return textField_; }
    Ref<HTTPRequest> changePhoneRequest() const { return changePhoneRequest_; }

    // "保存".
    void changePhone();
    void back();
    // A tap on the table ends the typing.
    void hideKeyborder(const Ref<UIGestureRecognizer>& sender);

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override
    {
        return 1;
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    void viewDidLoad() override;
    void viewDidUnload() override;

    ChangePhoneController() = default;

private:
    void dropRequest();

    Ref<UITableView> tableView_;
    Ref<UITextField> textField_;
    Ref<HTTPRequest> changePhoneRequest_;
};
