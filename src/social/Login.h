#pragma once
// Login: the screen through which a person enters the service, presented modally inside its own
// navigation controller. The partner edition ("lumo") offers one large button that logs in through the
// partner's microblog, and "跳过"; every other edition offers the own-account form (name, password,
// login, forgotten password, registration) and both microblog logins, and "跳过".
//
// Every way in ends by storing the session (storeUserInfo) and closing the login flow; the own-account
// login then shows the home feed, "跳过" the square (through the application delegate's services).
#include <string>

#include "api/PZViewController.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITextField.h"
#include "widgets/ProgressHUD.h"

class Login : public PZViewController,
              public UITableViewDataSource,
              public UITableViewDelegate,
              public UITextFieldDelegate,
              public ProgressHUDDelegate,
              public UIGestureRecognizerDelegate,
              public UIAlertViewDelegate {
public:
    // The screen from its interface file "Login".
    static Ref<Login> create();
    // Wraps a new login screen in the custom navigation controller and presents it, cross-dissolving,
    // over the controller.
    static void presentLoginUI(const Ref<UIViewController>& presenter);

    // Outlets and state.
    Ref<UIImageView> logo() const { return logo_; }
    void setLogo(const Ref<UIImageView>& logo) { logo_ = logo; }
    Ref<UIView> loginbkg() const { return loginbkg_; }
    void setLoginbkg(const Ref<UIView>& view) { loginbkg_ = view; }
    Ref<UITableView> table() const { return table_; }
    Ref<UITextField> acountPhontNumber() const { return acountPhontNumber_; }
    Ref<UITextField> password() const { return password_; }
    Ref<UITextField> myTextField() const { return myTextField_; }
    // The decoded reply of the last own-account login (nil when none could be read).
    Value result() const { return result_; }
    void setResult(const Value& result) { result_ = result; }
    // The partner edition's login button, the form's buttons (nil in the other branch).
    Ref<UIButton> partnerButton() const { return partnerButton_; }
    Ref<UIButton> forgotButton() const { return forgotButton_; }
    Ref<UIButton> loginButton() const { return loginButton_; }
    Ref<UIButton> registerButton() const { return registerButton_; }
    Ref<UITapGestureRecognizer> tapRecognizer() const { return tap_; }
    Ref<UISwipeGestureRecognizer> swipeRecognizer() const { return swipe_; }

    void skip();
    void login();
    // The login request, on the progress box's worker thread.
    void sendRequest();
    void forgot();
    void createAcount();
    void logByLumoWeibo(const Ref<NSObject>& sender);
    void logByQQ(const Ref<NSObject>& sender);
    void lumo_oem_login();
    void hideKeybord(const Ref<UIGestureRecognizer>& sender);

    void hudWasHidden(const Ref<ProgressHUD>& hud) override;
    void alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) override;
    bool gestureRecognizer_shouldReceiveTouch(const Ref<UIGestureRecognizer>& recognizer,
                                              const Ref<UITouch>& touch) override;
    bool textFieldShouldReturn(const Ref<UITextField>& textField) override;

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override { return 2; }
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override
    {
        return 2;
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    CGFloat tableView_heightForFooterInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UIView> tableView_viewForFooterInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) override;

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

private:
    void makeFields();
    Ref<UIView> inputRow(const std::string& title, const Ref<UITextField>& field);

    Ref<UIImageView> logo_;
    Ref<UIView> loginbkg_;
    Ref<UITableView> table_;
    Ref<UITextField> acountPhontNumber_;
    Ref<UITextField> password_;
    Ref<UITextField> myTextField_;
    Weak<UIAlertView> forgotAlert_;
    Ref<UIButton> partnerButton_;
    Ref<UIButton> forgotButton_;
    Ref<UIButton> loginButton_;
    Ref<UIButton> registerButton_;
    Ref<UITapGestureRecognizer> tap_;
    Ref<UISwipeGestureRecognizer> swipe_;
    // What the worker sends, taken from the fields on the main thread before it starts.
    std::string sentAcount_;
    std::string sentPassword_;
    // Written by the worker, read on the main thread once the box has hidden.
    Value result_;
};
