#pragma once
// A controller whose view is a table, of which it is the data source and the delegate. The first
// time it appears it loads the table's data; later appearances clear the selection unless
// clearsSelectionOnViewWillAppear is off. Subclasses that override viewWillAppear call this one's,
// as on the phone.
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"

class UITableViewController : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    static Ref<UITableViewController> initWithStyle(UITableViewStyle style)
    {
        return makeWithStyle<UITableViewController>(style);
    }
    static Ref<UITableViewController> create() { return make<UITableViewController>(); }
    template <class T>
    static Ref<T> makeWithStyle(UITableViewStyle style)
    {
        auto controller = std::make_shared<T>();
        controller->initWithStyleBody(style);
        return controller;
    }

    // The view, as a table.
    Ref<UITableView> tableView();
    void setTableView(const Ref<UITableView>& table);
    bool clearsSelectionOnViewWillAppear() const { return clearsSelection_; }
    void setClearsSelectionOnViewWillAppear(bool clears) { clearsSelection_ = clears; }
    UITableViewStyle tableStyle() const { return style_; }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void setEditing_animated(bool editing, bool animated) override;

    void initWithNibName_bundleBody(const std::string& nibName, const Ref<NSBundle>& bundle) override;
    virtual void initWithStyleBody(UITableViewStyle style);

private:
    UITableViewStyle style_ = UITableViewStylePlain;
    bool clearsSelection_ = true;
};
