#pragma once
// CheckEmailController: sets the own account's e-mail address (used for password reminders) and shows
// whether the stored one is verified. When the service answers that the new address needs
// verification, it has sent an activation mail, and the screen says so before it closes.
#include "api/PZViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITextField.h"

class HTTPRequest;

class CheckEmailController : public PZViewController,
                             public UITableViewDataSource,
                             public UITableViewDelegate,
                             public HTTPRequestDelegate {
public:
    static Ref<CheckEmailController> create() { return make<CheckEmailController>(); }
    ~CheckEmailController() override;

    Ref<UITableView> tableView() const { return tableView_; }
    void setTableView(const Ref<UITableView>& table) { tableView_ = table; }
    Ref<UITextField> textField() const { return textField_; }
    void setTextField(const Ref<UITextField>& field) { textField_ = field; }
    Ref<HTTPRequest> changeEmailRequest() const { return changeEmailRequest_; }
    // The label above the row: whether the stored address is verified.
    Ref<UILabel> stateLabel() const { return stateLabel_; }

    void changeEmail();
    void back();
    void hideKeyborder(const Ref<UIGestureRecognizer>& sender);

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override
    {
        return 1;
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;

    void viewDidLoad() override;
    void viewDidUnload() override;

private:
    void dropRequest();

    Ref<UITableView> tableView_;
    Ref<UITextField> textField_;
    Ref<UILabel> stateLabel_;
    Ref<HTTPRequest> changeEmailRequest_;
};
