#include "shell/CommentCell.h"

#include <algorithm>
#include <cmath>

#include "api/Categories.h"
#include "api/RecordAccessors.h"
#include "api/Tool.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "shell/FeedCellRoutes.h"
#include "shell/VideoPageViews.h"

namespace {
namespace CommentCell_cpp {

// The text is measured at this width whatever the label's: the row heights assume it.
constexpr CGFloat kTextWidth = 250;
constexpr CGFloat kLowestContent = 35;

}  // namespace CommentCell_cpp
}  // namespace

Ref<UIFont> CommentStrFont() { return UIFont::boldSystemFontOfSize(13); }

Ref<UIFont> CommentTimeStrFont() { return UIFont::systemFontOfSize(12); }

Ref<CommentCell> CommentCell::fromNib()
{
    registerVideoPageViews();
    const auto objects = UINibRegistry::instantiate("CommonViews", nullptr);
    if (objects.size() > kCommentCellNibIndex) {
        return std::dynamic_pointer_cast<CommentCell>(objects[kCommentCellNibIndex]);
    }
    return nullptr;
}

std::string CommentCell::descriptionOf(const Value& info)
{
    // A record without text (a caption row of a video with neither title, place nor people, or an odd
    // reply) keeps the "nick:" shape of every row rather than showing a placeholder word after it.
    const Value text = Comment_getContent(info);
    if (text.isNilOrNull()) {
        return stringWithFormat("%@:", User_getNick(Comment_getUser(info)));
    }
    return Comment_getDescription(info);
}

void CommentCell::fullfillWithInfo_andNavigationController(const Value& info,
                                                           const Ref<UINavigationController>& navigationController)
{
    navigationController_ = navigationController;
    commentInfo_ = info;
    setSelectionStyle(UITableViewCellSelectionStyleNone);

    const std::string text = descriptionOf(info);
    content->setText(text);
    content->setFont(CommentStrFont());
    CGRect frame = content->frame();
    frame.size.height = Tool::heightForText_width_font(Value(text), frame.size.width, CommentStrFont());
    content->setFrame(frame);

    time->setTextColor(UIColor::grayColor());
    time->setFont(CommentTimeStrFont());
    time->setText(Comment_getCreateTime(info));
    CGRect timeFrame = time->frame();
    timeFrame.origin.y = CGRectGetMaxY(frame);
    time->setFrame(timeFrame);

    SetImageView::setImageWithUrl(head, User_geticon(Comment_getUser(info)));
    SetImageView::setRoundRect(head);
    Control_removeAllTarget(head, "viewProfile");
    head->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("viewProfile", &CommentCell::viewProfile),
                                            UIControlEventTouchUpInside);
}

CGFloat CommentCell::getHeightByInfo(const Value& info)
{
    using namespace CommentCell_cpp;
    const CGFloat text = Tool::heightForText_width_font(Value(descriptionOf(info)), kTextWidth, CommentStrFont()) +
                         CommentTimeStrFont()->lineHeight();
    const CGFloat content = std::max(text, kLowestContent);
    return std::floor(content + 10) + 10;
}

void CommentCell::viewProfile()
{
    FeedCellRoutes::openUserPage(navigationController_.lock(), User_getSuid(Comment_getUser(commentInfo_)));
}
