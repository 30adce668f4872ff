#include "social/TopicFollowedCell.h"

#include "platform/uikit/UIFont.h"

Ref<TopicFollowedCell> TopicFollowedCell::create(const std::string& reuseIdentifier)
{
    return makeWithStyle<TopicFollowedCell>(UITableViewCellStyleDefault, reuseIdentifier);
}

void TopicFollowedCell::initWithStyle_reuseIdentifierBody(UITableViewCellStyle style,
                                                          const std::string& reuseIdentifier)
{
    UITableViewCell::initWithStyle_reuseIdentifierBody(style, reuseIdentifier);
    // The name fills the row up to where the "new" badge sits (x 230).
    auto label = UILabel::initWithFrame(CGRectMake(15, 0, 210, 44));
    label->setFont(UIFont::boldSystemFontOfSize(17));
    label->setBackgroundColor(nullptr);
    contentView()->addSubview(label);
    myTitleLabel_ = label;
}
