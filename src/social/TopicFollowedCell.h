#pragma once
// TopicFollowedCell: one topic row, its name in myTitleLabel. The topics list puts a "new" badge
// (tag 888) in the content view for topics with news.
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableViewCell.h"

class TopicFollowedCell : public UITableViewCell {
public:
    static Ref<TopicFollowedCell> create(const std::string& reuseIdentifier);

    Ref<UILabel> myTitleLabel() const { return myTitleLabel_.lock(); }

    void initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier) override;

    TopicFollowedCell() = default;

private:
    Weak<UILabel> myTitleLabel_;
};
