#pragma once
// CommentCell: one comment on the video page: the author's rounded avatar (a tap opens the author's
// page), "nick:text" wrapped to as many lines as it needs, and the relative time right under the text.
// The page's caption row is shown by the same cell, handed over in the shape of a comment
// ("content", "fromUser", "createTime").
//
// The cell is object 3 of the shared interface file "CommonViews" (registerVideoPageViews), reused
// under "Cell". Its row height (getHeightByInfo) measures the text at a fixed 250 points, the width
// of the text label, so the height and the drawing agree. Main thread only.
#include <string>

#include "platform/foundation/Value.h"
#include "platform/uikit/UITableViewCell.h"

class UIButton;
class UIFont;
class UILabel;
class UINavigationController;

// The comment text: bold system 13. The time: system 12.
Ref<UIFont> CommentStrFont();
Ref<UIFont> CommentTimeStrFont();

inline constexpr char kCommentCellReuseIdentifier[] = "Cell";
inline constexpr size_t kCommentCellNibIndex = 3;

class CommentCell : public UITableViewCell {
public:
    // A cell of the interface file (what the page does when no cell is free for reuse).
    static Ref<CommentCell> fromNib();

    // Shows the record; the navigation controller (not retained) is where the avatar pushes.
    void fullfillWithInfo_andNavigationController(const Value& info,
                                                  const Ref<UINavigationController>& navigationController);
    // The row height of a record: the text at 250 points plus a time line, at least 55.
    static CGFloat getHeightByInfo(const Value& info);
    // "nick:text" of a record; the nick alone when the record has no text.
    static std::string descriptionOf(const Value& info);

    // The avatar's action: the author's page (feed kind 10), pushed.
    void viewProfile();

    const Value& commentInfo() const { return commentInfo_; }
    void setCommentInfo(const Value& info) { commentInfo_ = info; }
    Ref<UINavigationController> navigationController() const { return navigationController_.lock(); }

    // Outlets.
    Ref<UIButton> head;
    Ref<UILabel> content;
    Ref<UILabel> time;

    void setSelected_animated(bool selected, bool animated) override { UITableViewCell::setSelected_animated(selected, animated); }

    CommentCell() = default;

private:
    Weak<UINavigationController> navigationController_;
    Value commentInfo_;
};
