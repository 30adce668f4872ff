#pragma once
// The friend picker: the people the logged-in user follows, page by page, with a check mark on the
// chosen ones (at most four, in the order chosen), the chosen ones as name chips in a strip above the
// list that grows to a second row when the names do not fit one, and "完成" handing the choice to the
// publish screen that pushed it.
#include "api/PZViewController.h"
#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"

// A row of the picker, from the interface file "FriendCell": an avatar and a name.
class FriendCell : public UITableViewCell {
public:
    Ref<UIImageView> avatarImageView;
    Ref<UILabel> nameLable;

    // Registers the interface file "FriendCell" unless it is registered already.
    static void registerNib();
};

class ShareWithSomebodyController : public PZViewController,
                                    public UITableViewDataSource,
                                    public UITableViewDelegate,
                                    public HTTPRequestDelegate {
public:
    static Ref<ShareWithSomebodyController> create() { return make<ShareWithSomebodyController>(); }
    ~ShareWithSomebodyController() override;

    Ref<UITableView> tableView() const { return tableView_; }
    Ref<UIScrollView> scrollView() const { return scrollView_; }
    // Everyone loaded so far, pages in order.
    const Value& friendsList() const { return friendsList_; }
    // The chosen people, in the order chosen.
    const Value& withList() const { return withList_; }
    NSInteger maxWithSomebodyNumber() const { return maxWithSomebodyNumber_; }
    void setMaxWithSomebodyNumber(NSInteger number) { maxWithSomebodyNumber_ = number; }
    Ref<HTTPRequest> getFollowRequest() const { return getFollowRequest_; }
    // More people may exist: scrolling near the end asks for the next page.
    bool complete() const { return complete_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    bool tableView_canEditRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) override
    {
        return true;
    }
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override
    {
        return 54;
    }
    CGFloat tableView_heightForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override
    {
        return 31;
    }
    Ref<UIView> tableView_viewForHeaderInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) override;

    // Lays the chips out again from withList.
    void reloadScrollView();
    // "完成": hands withList to the nearest publish screen below and leaves.
    void acceptWithSomebody();
    // Grows the strip to a second row's height or shrinks it back (nothing sends it).
    void toggleScrollView();

    ShareWithSomebodyController() = default;

private:
    void startPage(int page);

    Ref<UITableView> tableView_;
    Ref<UIScrollView> scrollView_;
    Value friendsList_ = Value::array();
    Value withList_ = Value::array();
    NSInteger maxWithSomebodyNumber_ = 0;
    Ref<HTTPRequest> getFollowRequest_;
    // Per picker, so that a flag left by an earlier picker never asks for a second page while the
    // first is still on its way.
    bool complete_ = false;
};
