#include "capture/TopicViewController.h"

#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableViewCell.h"

namespace {
namespace TopicViewController_cpp {

constexpr int kTopicsPerPage = 20;

// A reply record as the user defaults can keep it: JSON nulls are not property-list values, so they are
// left out (of nested dictionaries and arrays too); the topic's text is what is read back.
Value withoutNulls(const Value& value)
{
    if (value.isDictionary()) {
        Value kept = Value::dictionary();
        for (const std::string& key : value.allKeys()) {
            const Value item = value[key];
            if (!item.isNilOrNull()) {
                kept.setObject_forKey(withoutNulls(item), key);
            }
        }
        return kept;
    }
    if (value.isArray()) {
        Value kept = Value::array();
        for (const Value& item : value.arrayItems()) {
            if (!item.isNilOrNull()) {
                kept.addObject(withoutNulls(item));
            }
        }
        return kept;
    }
    return value;
}

}  // namespace TopicViewController_cpp
}  // namespace

TopicViewController::~TopicViewController()
{
    if (topicRequest_) {
        topicRequest_->clearDelegatesAndCancel();
    }
}

void TopicViewController::viewDidLoad()
{
    PZViewController::viewDidLoad();
    setTitle("话题");
    const auto self = std::static_pointer_cast<TopicViewController>(shared_from_this());

    searchBar_ = UISearchBar::initWithFrame(CGRectMake(0, 0, 320, 44));
    searchBar_->setShowsCancelButton(false);
    // An empty field says what it searches.
    searchBar_->setPlaceholder("搜索话题");
    searchBar_->setAutocorrectionType(UITextAutocorrectionTypeNo);
    searchBar_->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
    searchBar_->setDelegate(self);
    view()->addSubview(searchBar_);

    searchDisplayController_ = UISearchDisplayController::initWithSearchBar_contentsController(searchBar_, self);
    searchDisplayController_->setDelegate(self);
    searchDisplayController_->setSearchResultsDataSource(self);
    searchDisplayController_->setSearchResultsDelegate(self);

    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, 44, 320, 372), UITableViewStylePlain);
    tableView_->setDelegate(self);
    tableView_->setDataSource(self);
    view()->addSubview(tableView_);

    startPage(1);
}

void TopicViewController::viewWillAppear(bool animated)
{
    PZViewController::viewWillAppear(animated);
    lastSelectedTopic_ = NSUserDefaults::standardUserDefaults()->objectForKey(kLastSelectedTopicKey);
    NSLog("lastSelectedTopic %@", lastSelectedTopic_);
}

void TopicViewController::startPage(int page)
{
    if (topicRequest_) {
        topicRequest_->clearDelegatesAndCancel();
    }
    topicRequest_ = PZRequest::getTopic_withPer(page, TopicViewController_cpp::kTopicsPerPage);
    topicRequest_->setTag(page);
    topicRequest_->setDelegate(std::static_pointer_cast<TopicViewController>(shared_from_this()));
    topicRequest_->startAsynchronous();
}

void TopicViewController::rebuildSections()
{
    topics_ = Value::array();
    if (lastSelectedTopic_.isDictionary()) {
        topics_.addObject(Value::array({lastSelectedTopic_}));
    }
    topics_.addObject(allTopics_);
}

void TopicViewController::requestFinished(const Ref<HTTPRequest>& request)
{
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() != 200) {
        return;
    }
    const Value result = reply["result"];
    if (result.isArray()) {
        for (const Value& record : result.arrayItems()) {
            // Only records can be shown and picked.
            if (record.isDictionary()) {
                allTopics_.addObject(record);
            }
        }
    }
    rebuildSections();
    complete_ = result.isArray() && result.count() == TopicViewController_cpp::kTopicsPerPage;
    tableView_->reloadData();
}

void TopicViewController::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    // The list's own scrolling pages; the search results do not.
    if (scrollView != tableView_ || !topicRequest_) {
        return;
    }
    const CGFloat left = scrollView->contentSize().height - scrollView->bounds().size.height -
                         scrollView->contentOffset().y;
    if (left < 50 && complete_) {
        complete_ = false;
        startPage(topicRequest_->tag() + 1);
        NSLog("%d", topicRequest_->tag());
    }
}

NSInteger TopicViewController::numberOfSectionsInTableView(const Ref<UITableView>& tableView)
{
    return tableView == tableView_ ? NSInteger(topics_.count()) : 1;
}

NSInteger TopicViewController::tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section)
{
    return tableView == tableView_ ? NSInteger(topics_[section].count()) : NSInteger(searchTopics_.count());
}

Value TopicViewController::recordAt(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) const
{
    return tableView == tableView_ ? topics_[indexPath->section()][indexPath->row()] : searchTopics_[indexPath->row()];
}

Ref<UITableViewCell> TopicViewController::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                          const Ref<NSIndexPath>& indexPath)
{
    static const std::string identifier = "TopicCell";
    Ref<UITableViewCell> cell = tableView->dequeueReusableCellWithIdentifier(identifier);
    if (!cell) {
        cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, identifier);
    }
    cell->textLabel()->setText(recordAt(tableView, indexPath)["topic"].stringValue());
    return cell;
}

std::string TopicViewController::tableView_titleForHeaderInSection(const Ref<UITableView>& tableView,
                                                                   NSInteger section)
{
    if (tableView != tableView_) {
        return {};
    }
    return section == 0 && topics_.count() == 2 ? "最近使用" : "全部话题";
}

void TopicViewController::tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                                            const Ref<NSIndexPath>& indexPath)
{
    const Value record = recordAt(tableView, indexPath);
    if (auto delegate = std::dynamic_pointer_cast<TopicViewControllerDelegate>(delegate_.lock())) {
        delegate->setSelectedTopic(record["topic"].stringValue());
        NSUserDefaults::standardUserDefaults()->setObject_forKey(TopicViewController_cpp::withoutNulls(record),
                                                                 kLastSelectedTopicKey);
    }
    if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

bool TopicViewController::searchDisplayController_shouldReloadTableForSearchString(
    const Ref<UISearchDisplayController>& controller, const std::string& searchString)
{
    NSLog("%@", searchString);
    const std::string typed = stringWithFormat("#%@#", searchString);
    Value found = Value::array({Value::dictionary({{"topic", Value(typed)}})});
    for (const Value& record : allTopics_.arrayItems()) {
        const std::string topic = record["topic"].stringValue();
        if (topic.find(searchString) != std::string::npos && topic != typed) {
            found.addObject(record);
        }
    }
    searchTopics_ = found;
    controller->searchResultsTableView()->reloadData();
    return true;
}

bool TopicViewController::searchDisplayController_shouldReloadTableForSearchScope(
    const Ref<UISearchDisplayController>& controller, NSInteger searchOption)
{
    NSLog("%d", int(searchOption));
    controller->searchResultsTableView()->reloadData();
    return true;
}

void TopicViewController::searchDisplayControllerWillEndSearch(const Ref<UISearchDisplayController>& controller)
{
    NSLog("%@", controller->searchBar()->text());
}
