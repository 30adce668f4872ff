#pragma once
// Registration of an own account, in two steps pushed on the login screen's navigation stack:
// Reg1_InputPhoneNumber takes an account name and a password, registers them with the service and
// logs the new user in; RegSettingUserInfo then lets the new user set an avatar, get a cover and choose
// a nick, and "完成" closes the login flow. Reg is an older five-row form that no screen opens.
//
// The registration is a form POST of "user" and "pwd" (the password as typed) to "/m/reg.json" on the
// service's API host; a successful reply is the new account's login reply.
#include <mutex>
#include <string>

#include "api/PZViewController.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UITableViewController.h"
#include "platform/uikit/UITextField.h"
#include "social/ProfileTopView.h"
#include "widgets/ProgressHUD.h"

class Reg1_InputPhoneNumber : public UITableViewController, public ProgressHUDDelegate, public UITextFieldDelegate {
public:
    static Ref<Reg1_InputPhoneNumber> initWithStyle(UITableViewStyle style)
    {
        return makeWithStyle<Reg1_InputPhoneNumber>(style);
    }

    Ref<UITextField> acount() const { return acount_; }
    Ref<UITextField> pwd() const { return pwd_; }
    // The outcome of the last attempt: its "status" (0 when none was read) and "msg" (nil when none).
    int status() const { return status_; }
    Value msg() const { return msg_; }

    void done();
    void reg();
    // The registration request, on the progress box's worker thread.
    void sendReg();
    void back();

    void hudWasHidden(const Ref<ProgressHUD>& hud) override;
    bool textFieldShouldReturn(const Ref<UITextField>& textField) override;

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override { return 1; }
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override
    {
        return 2;
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    CGFloat tableView_heightForFooterInSection(const Ref<UITableView>& tableView, NSInteger section) override;

private:
    Ref<UITextField> acount_;
    Ref<UITextField> pwd_;
    // What the worker sends, taken from the fields on the main thread before it starts.
    std::string sentAcount_;
    std::string sentPassword_;
    // Written by the worker, read on the main thread once the box has hidden.
    int status_ = 0;
    Value msg_;
    Value reply_;
};

class RegSettingUserInfo : public ProfileTopController {
public:
    // Loads the interface file of its own name.
    static Ref<RegSettingUserInfo> create();

    // "完成": closes the whole login flow (the user is logged in already).
    void strip(const Ref<NSObject>& sender);

    void viewDidLoad() override;

protected:
    // Avatars from this step go as PNG.
    Value avatarData(const Ref<UIImage>& image) override;
};

class Reg : public UITableViewController {
public:
    static Ref<Reg> initWithStyle(UITableViewStyle style) { return makeWithStyle<Reg>(style); }

    void back();
    // The "完成" button: nothing happens.
    void done();

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override
    {
        return 5;
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
};
