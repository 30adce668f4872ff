#pragma once
// FindFriendResult: the people list "查找结果" of one kind: the account's friends on the QQ microblog
// ("qq"), on the Lumo microblog ("lumo"), or the people a search finds (any other text, the search
// text itself). Each row has a follow button; a microblog friend without an account on the service
// has an invitation button instead, which posts an invitation to that microblog. The friend lists
// ask a further page whenever the bottom is reached; a search shows its one page. An empty first
// page says "结果为空" and goes back.
#include <string>

#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UITableViewController.h"

class HTTPRequest;
class UIEvent;

class FindFriendResult : public UITableViewController, public HTTPRequestDelegate, public UIAlertViewDelegate {
public:
    static Ref<FindFriendResult> myinit(const std::string& kind);
    ~FindFriendResult() override;

    // "qq", "lumo" or the search text.
    const std::string& type() const { return type_; }
    void setType(const std::string& type) { type_ = type; }
    const std::string& kind() const { return type_; }
    bool isFriendList() const { return type_ == "qq" || type_ == "lumo"; }

    // Asks the page after currentPage of the same kind.
    void getMore();
    // Follows, stops following or invites the person of the row under the touch.
    void followUnfollow_Event(const Ref<UIButton>& sender, const Ref<UIEvent>& event);
    void back();

    const Value& userResult() const { return userResult_; }
    int currentPage() const { return currentPage_; }
    bool isLoadingMore() const { return isLoadingMore_; }

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    void alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) override;

    FindFriendResult() = default;

private:
    Ref<HTTPRequest> pageRequest(int page) const;

    std::string type_;
    Ref<HTTPRequest> getNew_;
    Ref<HTTPRequest> getMore_;
    Ref<HTTPRequest> inviteAtRequest_;
    Ref<UIAlertView> emptyAlert_;
    int currentPage_ = 1;
    bool isLoadingMore_ = false;
    Value userResult_ = Value::array();
};
