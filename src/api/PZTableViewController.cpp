#include "api/PZTableViewController.h"

#include "api/PZViewController.h"

void PZTableViewController::viewDidLoad()
{
    UITableViewController::viewDidLoad();
    setControllerConfig(loadConfig());
}

Value PZTableViewController::loadConfig()
{
    return EditionConfig::entryForClass(className());
}

bool PZTableViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

NSInteger PZTableViewController::numberOfSectionsInTableView(const Ref<UITableView>&)
{
    return 0;
}

NSInteger PZTableViewController::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return 0;
}

Ref<UITableViewCell> PZTableViewController::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                            const Ref<NSIndexPath>&)
{
    static const std::string identifier = "Cell";
    Ref<UITableViewCell> cell = tableView ? tableView->dequeueReusableCellWithIdentifier(identifier) : nullptr;
    if (!cell) {
        cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, identifier);
    }
    return cell;
}
