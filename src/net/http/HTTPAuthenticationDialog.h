#pragma once
// The credentials sheet the HTTP client shows by itself when a server (401) or a proxy (407) challenges
// a request that may ask the user (shouldPresentAuthenticationDialog, shouldPresentProxyAuthenticationDialog).
//
// One dialog is on screen at a time (sharedDialog()); requests challenged meanwhile wait in a list and
// get a dialog of their own in turn, after the one on screen has disappeared, unless the credentials
// typed into it serve them too: same kind of challenge, same host, port and scheme of the URL, same
// realm. "Login" hands the typed user name and password (and the domain, for NTLM) to every request
// served and tells it to retry; "Cancel" tells each to give up (code 3).
//
// The sheet: a navigation bar (title: the proxy's host or the URL's host; "Cancel" on the left, "Login"
// on the right; a prompt while the device is upright) over a grouped table with the fields "User",
// "Password" and, for NTLM only, a second section with "Domain". It is presented modally, animated, by
// an invisible controller whose view sits in the application's first window.
//
// Main thread only: the request core asks for it there, and the buttons, the keyboard and the rotation
// notifications arrive there.
#include <string>
#include <vector>

#include "net/http/HTTPRequest.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"

class NSNotification;
class UINavigationBar;
class UITextField;

// A plain controller that turns to every orientation.
class HTTPAutorotatingViewController : public UIViewController {
public:
    static Ref<HTTPAutorotatingViewController> create() { return make<HTTPAutorotatingViewController>(); }
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
};

class HTTPAuthenticationDialog : public HTTPAutorotatingViewController,
                                 public UITableViewDataSource,
                                 public UITableViewDelegate {
public:
    // Shows a dialog for the request, or puts it on the waiting list while one is on screen.
    static void presentAuthenticationDialogForRequest(const Ref<HTTPRequest>& theRequest);
    // The dialog on screen (nil when none) and the requests waiting for one.
    static Ref<HTTPAuthenticationDialog> sharedDialog();
    static std::vector<Ref<HTTPRequest>> requestsNeedingAuthentication();
    // Dismisses the dialog on screen (the class's dismiss).
    static void dismissSharedDialog();
    // When requests wait, the first one gets a dialog.
    static void presentNextDialog();

    // Builds the sheet and presents it.
    void show();
    // Dismisses this dialog.
    void dismiss();
    // The buttons.
    void loginWithCredentialsFromDialog(const Ref<NSObject>& sender);
    void cancelAuthenticationFromDialog(const Ref<NSObject>& sender);
    // The waiting requests that these credentials serve, then the dialog's own request.
    std::vector<Ref<HTTPRequest>> requestsRequiringTheseCredentials();

    Ref<HTTPRequest> request() const { return request_; }
    // 0 server credentials, 1 proxy credentials.
    int type() const { return type_; }
    Ref<UITableView> tableView() const { return tableView_; }
    Ref<UINavigationBar> navigationBar() const { return navigationBar_; }
    // The invisible controller that presents the dialog (made on first use).
    Ref<UIViewController> presentingController();
    bool didEnableRotationNotifications() const { return didEnableRotationNotifications_; }

    // The text field of a row (the first subview of the cell's content view); nil when the row has no
    // cell on screen.
    Ref<UITextField> textFieldInRow_section(NSInteger row, NSInteger section);
    Ref<UITextField> usernameField() { return textFieldInRow_section(0, 0); }
    Ref<UITextField> passwordField() { return textFieldInRow_section(1, 0); }
    Ref<UITextField> domainField() { return textFieldInRow_section(0, 1); }

    // The table.
    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    std::string tableView_titleForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    CGFloat tableView_heightForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    std::string tableView_titleForFooterInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    CGFloat tableView_heightForFooterInSection(const Ref<UITableView>& tableView, NSInteger section) override;

    void viewDidDisappear(bool animated) override;
    void keyboardWillShow(const Ref<NSNotification>& notification);
    void orientationChanged(const Ref<NSNotification>& notification);

    void initBody() override;
    HTTPAuthenticationDialog() = default;  // use presentAuthenticationDialogForRequest
    ~HTTPAuthenticationDialog() override;

private:
    // The scheme of the challenge this dialog answers (the proxy's for type 1).
    std::string scheme() const;
    bool needsDomain() const;
    void setupTitle();
    // The dialog has gone (or will never show): the next waiting request gets its turn.
    void didGoAway();

    Ref<HTTPRequest> request_;
    int type_ = 0;
    Ref<UITableView> tableView_;
    Ref<UINavigationBar> navigationBar_;
    Ref<UIViewController> presentingController_;
    bool didEnableRotationNotifications_ = false;
};
