#pragma once
// Search display controllers: a search bar over a screen and a table of results. The search begins
// when the bar begins editing (willBegin / didBegin; the bar shows its cancel button) and ends with
// the cancel button (willEnd, the text cleared and editing ended, didEnd). While it is active, each
// change of the text asks the delegate whether to reload the results
// (searchDisplayController:shouldReloadTableForSearchString:) and reloads them; the results table
// shows over the screen's view while there is text.
#include <string>

#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UITableView.h"

class UIViewController;
class UISearchDisplayController;

class UISearchDisplayDelegate {
public:
    virtual ~UISearchDisplayDelegate() = default;
    virtual void searchDisplayControllerWillBeginSearch(const Ref<UISearchDisplayController>& controller) {}
    virtual void searchDisplayControllerDidBeginSearch(const Ref<UISearchDisplayController>& controller) {}
    virtual void searchDisplayControllerWillEndSearch(const Ref<UISearchDisplayController>& controller) {}
    virtual void searchDisplayControllerDidEndSearch(const Ref<UISearchDisplayController>& controller) {}
    virtual void searchDisplayController_didLoadSearchResultsTableView(
        const Ref<UISearchDisplayController>& controller, const Ref<UITableView>& tableView)
    {
    }
    virtual bool searchDisplayController_shouldReloadTableForSearchString(
        const Ref<UISearchDisplayController>& controller, const std::string& searchString)
    {
        return true;
    }
    virtual bool searchDisplayController_shouldReloadTableForSearchScope(
        const Ref<UISearchDisplayController>& controller, NSInteger searchOption)
    {
        return true;
    }
};

class UISearchDisplayController : public NSObject {
public:
    static Ref<UISearchDisplayController> initWithSearchBar_contentsController(const Ref<UISearchBar>& searchBar,
                                                                              const Ref<UIViewController>& controller);

    Ref<UISearchBar> searchBar() const { return searchBar_; }
    Ref<UIViewController> searchContentsController() const { return contents_.lock(); }
    Ref<UISearchDisplayDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UISearchDisplayDelegate>& delegate) { delegate_ = delegate; }
    Ref<UITableViewDataSource> searchResultsDataSource() const { return dataSource_.lock(); }
    void setSearchResultsDataSource(const Ref<UITableViewDataSource>& dataSource);
    Ref<UITableViewDelegate> searchResultsDelegate() const { return resultsDelegate_.lock(); }
    void setSearchResultsDelegate(const Ref<UITableViewDelegate>& delegate);
    // Made on first use (a plain table over the contents controller's view).
    Ref<UITableView> searchResultsTableView();
    bool isResultsTableShown() const;

    bool isActive() const { return active_; }
    bool active() const { return active_; }
    void setActive(bool active) { setActive_animated(active, false); }
    void setActive_animated(bool active, bool animated);

    // --- From the bar ---
    void searchBarDidBeginEditing();
    void searchTextDidChange();
    void searchScopeDidChange();
    void searchBarCancelled();

    UISearchDisplayController() = default;

private:
    void reloadIfAllowed(bool byScope);
    void updateResultsTable();

    Ref<UISearchBar> searchBar_;
    Weak<UIViewController> contents_;
    Weak<UISearchDisplayDelegate> delegate_;
    Weak<UITableViewDataSource> dataSource_;
    Weak<UITableViewDelegate> resultsDelegate_;
    Ref<UITableView> resultsTable_;
    bool active_ = false;
};
