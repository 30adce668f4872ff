#pragma once
// BindAccountController: the two microblog services with the nick of the account bound to each. A row
// binds an account through that service's client, or (after a confirmation) unbinds the bound one
// through the service; an account that logged in through a service cannot unbind it.
#include <vector>

#include "api/PZViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UITableView.h"

class HTTPRequest;

class BindAccountController : public PZViewController,
                              public UITableViewDataSource,
                              public UITableViewDelegate,
                              public UIAlertViewDelegate,
                              public HTTPRequestDelegate {
public:
    static Ref<BindAccountController> create() { return make<BindAccountController>(); }
    ~BindAccountController() override;

    // The confirmation alert of row r carries the tag kUnbindAlertTag + r; the service code sent is
    // the tag less 99 (1 the Lumo microblog, 2 the QQ microblog).
    static constexpr NSInteger kUnbindAlertTag = 100;

    const std::vector<std::string>& menuList() const { return menuList_; }
    const Value& userInfo() const { return userInfo_; }
    Ref<UITableView> tableView() const { return tableView_; }
    void setTableView(const Ref<UITableView>& table) { tableView_ = table; }

    void back();

    void alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) override;
    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override
    {
        return 2;
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) override;

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

private:
    void readAccount();
    void forget(const Ref<HTTPRequest>& request);

    std::vector<std::string> menuList_;
    Value userInfo_;
    Ref<UITableView> tableView_;
    std::vector<Ref<HTTPRequest>> running_;
};
