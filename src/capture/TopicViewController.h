#pragma once
// The topic picker: the service's topics page by page under "全部话题", the topic picked last time
// above them under "最近使用", a search over the loaded topics that always offers the typed word as a
// new topic ("#word#") first, and the chosen topic's text handed to the delegate (the publish screen),
// which appends it to the title. The chosen record is kept in the user defaults for the next time.
#include "api/PZViewController.h"
#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UISearchDisplayController.h"
#include "platform/uikit/UITableView.h"

// User default: the topic record picked last.
inline constexpr char kLastSelectedTopicKey[] = "lastSelectedTopic";

class TopicViewControllerDelegate {
public:
    virtual ~TopicViewControllerDelegate() = default;
    virtual void setSelectedTopic(const std::string& topic) = 0;
};

class TopicViewController : public PZViewController,
                            public UITableViewDataSource,
                            public UITableViewDelegate,
                            public UISearchBarDelegate,
                            public UISearchDisplayDelegate,
                            public HTTPRequestDelegate {
public:
    static Ref<TopicViewController> create() { return make<TopicViewController>(); }
    ~TopicViewController() override;

    // Whoever should hear of the choice; it is told only when it is a TopicViewControllerDelegate.
    Ref<NSObject> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<NSObject>& delegate) { delegate_ = delegate; }

    Ref<UITableView> tableView() const { return tableView_; }
    Ref<UISearchDisplayController> searchDisplayController() const { return searchDisplayController_; }
    // One section (all topics) or two (the last picked topic, then all topics).
    const Value& topics() const { return topics_; }
    const Value& searchTopics() const { return searchTopics_; }
    Ref<HTTPRequest> topicRequest() const { return topicRequest_; }
    // A full page arrived, so scrolling near the end asks for the next one.
    bool complete() const { return complete_; }
    const Value& lastSelectedTopic() const { return lastSelectedTopic_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override;
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    std::string tableView_titleForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) override;

    bool searchDisplayController_shouldReloadTableForSearchString(const Ref<UISearchDisplayController>& controller,
                                                                  const std::string& searchString) override;
    bool searchDisplayController_shouldReloadTableForSearchScope(const Ref<UISearchDisplayController>& controller,
                                                                 NSInteger searchOption) override;
    void searchDisplayControllerWillEndSearch(const Ref<UISearchDisplayController>& controller) override;

    TopicViewController() = default;

private:
    void startPage(int page);
    // The record a row of either table stands for.
    Value recordAt(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) const;
    void rebuildSections();

    Weak<NSObject> delegate_;
    Ref<UITableView> tableView_;
    Ref<UISearchBar> searchBar_;
    Ref<UISearchDisplayController> searchDisplayController_;
    Value topics_ = Value::array();
    Value allTopics_ = Value::array();
    Value searchTopics_ = Value::array();
    Ref<HTTPRequest> topicRequest_;
    bool complete_ = false;
    Value lastSelectedTopic_;
};
