#include "platform/uikit/UISearchDisplayController.h"

#include <algorithm>

#include "platform/uikit/UIViewController.h"

Ref<UISearchDisplayController> UISearchDisplayController::initWithSearchBar_contentsController(
    const Ref<UISearchBar>& searchBar, const Ref<UIViewController>& controller)
{
    auto display = std::make_shared<UISearchDisplayController>();
    display->searchBar_ = searchBar;
    display->contents_ = controller;
    if (searchBar) {
        searchBar->setDisplayController(display);
    }
    return display;
}

void UISearchDisplayController::setSearchResultsDataSource(const Ref<UITableViewDataSource>& dataSource)
{
    dataSource_ = dataSource;
    if (resultsTable_) {
        resultsTable_->setDataSource(dataSource);
    }
}

void UISearchDisplayController::setSearchResultsDelegate(const Ref<UITableViewDelegate>& delegate)
{
    resultsDelegate_ = delegate;
    if (resultsTable_) {
        resultsTable_->setDelegate(delegate);
    }
}

Ref<UITableView> UISearchDisplayController::searchResultsTableView()
{
    if (!resultsTable_) {
        Ref<UIViewController> contents = contents_.lock();
        const CGRect frame = contents ? contents->view()->bounds() : CGRectMake(0, 0, 320, 416);
        resultsTable_ = UITableView::initWithFrame_style(frame, UITableViewStylePlain);
        resultsTable_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        resultsTable_->setDataSource(dataSource_.lock());
        resultsTable_->setDelegate(resultsDelegate_.lock());
        if (auto d = delegate_.lock()) {
            d->searchDisplayController_didLoadSearchResultsTableView(self<UISearchDisplayController>(), resultsTable_);
        }
    }
    return resultsTable_;
}

bool UISearchDisplayController::isResultsTableShown() const { return resultsTable_ && resultsTable_->superview(); }

void UISearchDisplayController::setActive_animated(bool active, bool animated)
{
    if (active == active_) {
        return;
    }
    Ref<UISearchDisplayController> me = self<UISearchDisplayController>();
    auto d = delegate_.lock();
    if (active) {
        if (d) d->searchDisplayControllerWillBeginSearch(me);
        active_ = true;
        if (searchBar_) searchBar_->setShowsCancelButton_animated(true, animated);
        updateResultsTable();
        if (d) d->searchDisplayControllerDidBeginSearch(me);
    } else {
        if (d) d->searchDisplayControllerWillEndSearch(me);
        active_ = false;
        if (searchBar_) {
            searchBar_->setText(std::string());
            searchBar_->resignFirstResponder();
            searchBar_->setShowsCancelButton_animated(false, animated);
        }
        updateResultsTable();
        if (d) d->searchDisplayControllerDidEndSearch(me);
    }
}

void UISearchDisplayController::searchBarDidBeginEditing() { setActive_animated(true, true); }

void UISearchDisplayController::reloadIfAllowed(bool byScope)
{
    Ref<UISearchDisplayController> me = self<UISearchDisplayController>();
    bool reload = true;
    if (auto d = delegate_.lock()) {
        reload = byScope ? d->searchDisplayController_shouldReloadTableForSearchScope(
                               me, searchBar_ ? searchBar_->selectedScopeButtonIndex() : 0)
                         : d->searchDisplayController_shouldReloadTableForSearchString(
                               me, searchBar_ ? searchBar_->text() : std::string());
    }
    if (reload) {
        searchResultsTableView()->reloadData();
    }
}

void UISearchDisplayController::searchTextDidChange()
{
    if (!active_) {
        return;
    }
    reloadIfAllowed(false);
    updateResultsTable();
}

void UISearchDisplayController::searchScopeDidChange()
{
    if (active_) {
        reloadIfAllowed(true);
    }
}

void UISearchDisplayController::searchBarCancelled() { setActive_animated(false, true); }

void UISearchDisplayController::updateResultsTable()
{
    const bool show = active_ && searchBar_ && !searchBar_->text().empty();
    Ref<UIViewController> contents = contents_.lock();
    if (show && contents) {
        Ref<UITableView> table = searchResultsTableView();
        if (table->superview() != contents->view()) {
            // The results sit under the search bar, which stays visible to type into and cancel.
            CGRect frame = contents->view()->bounds();
            if (searchBar_->superview()) {
                const CGRect bar = searchBar_->convertRect_toView(searchBar_->bounds(), contents->view());
                const CGFloat top = std::clamp(CGRectGetMaxY(bar), frame.origin.y, CGRectGetMaxY(frame));
                frame.size.height = CGRectGetMaxY(frame) - top;
                frame.origin.y = top;
            }
            table->setFrame(frame);
            contents->view()->addSubview(table);
        }
    } else if (resultsTable_ && resultsTable_->superview()) {
        resultsTable_->removeFromSuperview();
    }
}
