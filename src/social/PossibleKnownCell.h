#pragma once
// PossibleKnownCell: a person row, the avatar on the left (a tap opens the person's feed), the name
// and a detail line beside it. The place map fills it with a visitor of the place.
#include "platform/foundation/Value.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/UIUserButton.h"

class PossibleKnownCell : public UITableViewCell {
public:
    static Ref<PossibleKnownCell> create(const std::string& reuseIdentifier);

    // A visit entry: "user" (the person) and "count" (the visits).
    void fullfillWithVisitInfo_andNavi(const Value& info, const Ref<UINavigationController>& navigation);
    void viewProfile(const Ref<UIUserButton>& sender);

    Ref<UIUserButton> head() const { return head_; }
    Ref<UILabel> title() const { return title_; }
    Ref<UILabel> detail() const { return detail_; }

    void initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier) override;

    PossibleKnownCell() = default;

private:
    Ref<UIUserButton> head_;
    Ref<UILabel> title_;
    Ref<UILabel> detail_;
    Weak<UINavigationController> navigationController_;
};
