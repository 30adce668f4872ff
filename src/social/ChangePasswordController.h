#pragma once
// ChangePasswordController: changes the own account's password. Three secure fields (old, new,
// repeated), checked in a fixed order before anything is sent; the service answers a new session
// token, which replaces the stored one and is handed to the engine at once, so uploads already under
// way go on with a token the service still accepts.
#include <vector>

#include "api/PZViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITextField.h"

class HTTPRequest;

class ChangePasswordController : public PZViewController,
                                 public UITableViewDataSource,
                                 public UITableViewDelegate,
                                 public UITextFieldDelegate,
                                 public HTTPRequestDelegate {
public:
    static Ref<ChangePasswordController> create() { return make<ChangePasswordController>(); }
    ~ChangePasswordController() override;

    Ref<UITableView> tableView() const { return tableView_; }
    Ref<UITextField> oldPasswordField() const { return oldPasswordField_; }
    Ref<UITextField> passwordField() const { return passwordField_; }
    Ref<UITextField> confirmPasswordField() const { return confirmPasswordField_; }
    const std::vector<std::string>& menuList() const { return menuList_; }
    Ref<HTTPRequest> passwordRequest() const { return passwordRequest_; }

    // "保存" and the return key of the last field.
    void changePassword();
    void back();

    bool textField_shouldChangeCharactersInRange_replacementString(const Ref<UITextField>& textField, NSRange range,
                                                                   const std::string& string) override;
    bool textFieldShouldReturn(const Ref<UITextField>& textField) override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    void viewDidLoad() override;
    void viewDidUnload() override;

    ChangePasswordController() = default;

private:
    void dropRequest();

    Ref<UITableView> tableView_;
    Ref<UITextField> oldPasswordField_;
    Ref<UITextField> passwordField_;
    Ref<UITextField> confirmPasswordField_;
    std::vector<std::string> menuList_;
    Ref<HTTPRequest> passwordRequest_;
};
