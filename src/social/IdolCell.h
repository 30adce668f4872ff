#pragma once
// IdolCell: one 80-point row of the recommended people, four avatar slots left to right, each on a
// frame picture. Object 12 of the shared interface file "CommonViews" (FriendViews.h); the slot and
// frame lists are built when the row is loaded from the file.
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/UIUserButton.h"

class IdolCell : public UITableViewCell {
public:
    // Fills the row's four slots with people row * 4 onwards of the whole list; a slot whose person
    // is past the list or past the total is hidden with its frame.
    void fullfillWithInfo_atRow_andTotal_andNavi(const Value& list, NSInteger row, int total,
                                                 const Ref<UINavigationController>& navigation);
    // Opens the slot's person's feed on the kept navigation controller.
    void gotoMainPage(const Ref<UIUserButton>& slot);

    Ref<UIUserButton> user1, user2, user3, user4;
    Ref<UIImageView> bkg1, bkg2, bkg3, bkg4;
    // The name under each avatar.
    Ref<UILabel> name1, name2, name3, name4;
    const std::vector<Ref<UIUserButton>>& btnArray() const { return btnArray_; }
    const std::vector<Ref<UIImageView>>& bkgArray() const { return bkgArray_; }
    const std::vector<Ref<UILabel>>& nameArray() const { return nameArray_; }

    void awakeFromNib() override;

    IdolCell() = default;

private:
    std::vector<Ref<UIUserButton>> btnArray_;
    std::vector<Ref<UIImageView>> bkgArray_;
    std::vector<Ref<UILabel>> nameArray_;
    Weak<UINavigationController> navigationController_;
};
