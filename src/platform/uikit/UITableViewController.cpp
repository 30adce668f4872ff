#include "platform/uikit/UITableViewController.h"

#include "platform/uikit/UIScreen.h"

void UITableViewController::initWithNibName_bundleBody(const std::string& nibName, const Ref<NSBundle>& bundle)
{
    UIViewController::initWithNibName_bundleBody(nibName, bundle);
}

void UITableViewController::initWithStyleBody(UITableViewStyle style)
{
    initWithNibName_bundleBody(std::string(), nullptr);
    style_ = style;
}

void UITableViewController::loadView()
{
    if (!nibName().empty()) {
        UIViewController::loadView();
        return;
    }
    auto table = UITableView::initWithFrame_style(UIScreen::mainScreen()->applicationFrame(), style_);
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setTableView(table);
}

Ref<UITableView> UITableViewController::tableView() { return std::dynamic_pointer_cast<UITableView>(view()); }

void UITableViewController::setTableView(const Ref<UITableView>& table)
{
    if (table) {
        Ref<UITableViewController> me = self<UITableViewController>();
        table->setDataSource(std::static_pointer_cast<UITableViewDataSource>(me));
        table->setDelegate(std::static_pointer_cast<UITableViewDelegate>(me));
    }
    setView(table);
}

void UITableViewController::viewWillAppear(bool animated)
{
    UIViewController::viewWillAppear(animated);
    Ref<UITableView> table = tableView();
    if (!table) {
        return;
    }
    if (!table->hasLoadedData()) {
        table->reloadData();
    } else if (clearsSelection_) {
        if (Ref<NSIndexPath> selected = table->indexPathForSelectedRow()) {
            table->deselectRowAtIndexPath_animated(selected, animated);
        }
    }
}

void UITableViewController::setEditing_animated(bool editing, bool animated)
{
    UIViewController::setEditing_animated(editing, animated);
    if (Ref<UITableView> table = std::dynamic_pointer_cast<UITableView>(isViewLoaded() ? view() : nullptr)) {
        table->setEditing_animated(editing, animated);
    }
}
