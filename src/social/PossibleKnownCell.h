#pragma once
// PossibleKnownCell: the shared people row, 54 points high: the avatar on the left, the name and a
// detail line beside it and the follow button on the right. It is object 7 of the shared interface
// file "CommonViews" (registerFriendViews, FriendViews.h) and has three fills:
// - a person the account may know or found by a search ("user", "relation", "msg");
// - a friend on a microblog ("weibo", "relation" and, for people on the service, "user");
// - a visitor of a place ("user", "count"), whose avatar opens the person's feed.
#include "platform/foundation/Value.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/UIUserButton.h"

class PossibleKnownCell : public UITableViewCell {
public:
    static Ref<PossibleKnownCell> create(const std::string& reuseIdentifier);

    // Title the person's nick; detail the item's "msg", or "%@个粉丝" with the person's fans when the
    // message is empty; the avatar from the person's "icon", not touchable; the follow button by
    // "relation".
    void fullfillWithInfo(const Value& info);
    // Title and avatar from the microblog record; the follow button by "relation"; detail: the
    // invitation line for someone not on the service (-1), else the nick of the person on the
    // service, or "已经在使用%@" when the item has none.
    void fullfillWithInfoOutside(const Value& info);
    // A visit entry: "user" (the person) and "count" (the visits). The follow button is not shown.
    void fullfillWithVisitInfo_andNavi(const Value& info, const Ref<UINavigationController>& navigation);
    void viewProfile(const Ref<UIUserButton>& sender);

    Ref<UIUserButton> head() const { return head_; }
    Ref<UIButton> add() const { return add_; }
    Ref<UILabel> title() const { return title_; }
    Ref<UILabel> detail() const { return detail_; }

    void initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier) override;

    PossibleKnownCell() = default;

private:
    Ref<UIUserButton> head_;
    Ref<UIButton> add_;
    Ref<UILabel> title_;
    Ref<UILabel> detail_;
    Weak<UINavigationController> navigationController_;
};

// The application's display name ("CFBundleDisplayName" of the main bundle), as the rows name it.
std::string applicationDisplayName();
