#pragma once
// The table screen's counterpart of PZViewController: controllerConfig holds its class's entry of the
// edition configuration list once the view has loaded, and keeps it when the view is unloaded. Its
// table is an empty template (no sections; cells of identifier "Cell").
#include "platform/foundation/Value.h"
#include "platform/uikit/UITableViewController.h"

class PZTableViewController : public UITableViewController {
public:
    static Ref<PZTableViewController> initWithStyle(UITableViewStyle style)
    {
        return makeWithStyle<PZTableViewController>(style);
    }
    static Ref<PZTableViewController> create() { return make<PZTableViewController>(); }

    const Value& controllerConfig() const { return controllerConfig_; }
    void setControllerConfig(const Value& config) { controllerConfig_ = config; }

    void viewDidLoad() override;
    virtual Value loadConfig();
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    // The table template.
    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;

    PZTableViewController() = default;

private:
    Value controllerConfig_;
};
