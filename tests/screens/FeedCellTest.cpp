// The feed cell: its frames and heights by kind of item, reuse, the advertisement, a local entry's
// upload control, and the avatar button it is built from.
#include <cmath>

#include "FeedCellTestSupport.h"
#include "api/RecordAccessors.h"
#include "api/Tool.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIProgressView.h"
#include "shell/FeedCellFull.h"
#include "shell/UploadControl.h"
#include "social/UIUserButton.h"

namespace {
namespace FeedCellTest_cpp {

using namespace feedcelltest;

bool sameRect(CGRect a, CGRect b)
{
    return std::fabs(a.origin.x - b.origin.x) < 0.01 && std::fabs(a.origin.y - b.origin.y) < 0.01 &&
           std::fabs(a.size.width - b.size.width) < 0.01 && std::fabs(a.size.height - b.size.height) < 0.01;
}
std::string text(CGRect r)
{
    return "(" + std::to_string(r.origin.x) + ", " + std::to_string(r.origin.y) + ", " + std::to_string(r.size.width) +
           ", " + std::to_string(r.size.height) + ")";
}
#define EXPECT_RECT(actual, expected) EXPECT_TRUE(sameRect((actual), (expected))) << text(actual) << " != " << text(expected)

// The rows under a video (tag above 9999) in the order they were added.
std::vector<Ref<UIView>> rowsOf(const Ref<FeedCellFull>& cell)
{
    std::vector<Ref<UIView>> rows;
    for (const Ref<UIView>& view : cell->contentView()->subviews()) {
        if (view->tag() > 9999) {
            rows.push_back(view);
        }
    }
    return rows;
}

class FeedCellTest : public FeedCellFixture {
protected:
    Ref<FeedCellFull> makeCell(const char* identifier = kFeedCellReuseIdentifier)
    {
        return FeedCellFull::myinit_andReuse(navigation, identifier);
    }
    // The cell at the height the feed gives the item, as the table shows it.
    Ref<FeedCellFull> show(const Value& item, bool haveHead)
    {
        const Ref<FeedCellFull> cell = makeCell();
        cell->setFrame(CGRectMake(0, 0, 320, FeedCellFull::getHeight_haveHead(item, haveHead)));
        cell->fullFillWithInfo_withHead_andNavigationController(item, haveHead, navigation);
        cell->layoutIfNeeded();
        return cell;
    }
};

TEST_F(FeedCellTest, RowHeightsByKind)
{
    const std::string longComment(120, 'x');
    struct Case {
        const char* name;
        Value item;
        bool haveHead;
        CGFloat height;
    };
    const std::vector<Case> cases = {
        {"short comment", commentItem("好看"), true, 55},
        {"short comment without head", commentItem("好看"), false, 55},
        {"follow", followItem(), true, 55},
        {"advertisement", adItem(), true, 128},
        {"unknown type", Value::dictionary({{"type", "system"}}), true, 70},
        {"no type", Value::dictionary(), false, 70},
        {"local entry", localEntry("g1", 1, 0), false, 228},
        // 10 + photo frame 260 x 3/4 + the rows' strip 13 + 10
        {"empty video with head", videoItem({.title = false}), true, 10 + 195 + 13 + 10},
        {"empty video without head", videoItem({.title = false}), false, 10 + 225 + 13 + 10},
        // A record without a usable size is shown 4:3 instead of dividing by zero.
        {"video without width", videoItem({.width = Value(), .title = false}), true, 10 + 195 + 13 + 10},
        {"video of width 0", videoItem({.width = Value(0), .title = false}), true, 10 + 195 + 13 + 10},
        {"video of height 0", videoItem({.height = Value(0), .title = false}), false, 10 + 225 + 13 + 10},
        {"video of negative width", videoItem({.width = Value(-640), .title = false}), false, 10 + 225 + 13 + 10},
        {"portrait video", videoItem({.width = Value(480), .height = Value(640), .title = false}), true, 10 + 346 + 13 + 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FeedCellFull::getHeight_haveHead(c.item, c.haveHead), c.height) << c.name;
    }
    // A long comment sentence grows with its measured height, a whole number of points.
    const Value longItem = commentItem(longComment.c_str());
    const CGFloat measured = FeedCellFull::heightForText_width_font(
        Value(Comment_getStringDisplayedInFeed(longItem["comment"])), 200, CommentFont());
    EXPECT_GT(measured, 35);
    EXPECT_EQ(FeedCellFull::getHeight_haveHead(longItem, true), std::floor(10 + measured + 10));
    EXPECT_EQ(FeedCellFull::heightForText_width_font(Value(), 200, CommentFont()), 0);
}

TEST_F(FeedCellTest, VideoWithHeadFramesAndRows)
{
    // Three marks, a caption, three comments: marks, caption, "all comments" and the first two comments.
    const Value item = videoItem({.marks = 3, .place = true, .comments = 3});
    const Ref<FeedCellFull> cell = show(item, true);

    EXPECT_FALSE(cell->head()->isHidden());
    EXPECT_RECT(cell->head()->frame(), FromUserFrame());
    EXPECT_EQ(cell->head()->userInfo()["suid"].stringValue(), "1001");
    EXPECT_RECT(cell->playerBkg()->frame(), CGRectMake(50, 10, 260, 195));
    EXPECT_FALSE(cell->playerBkg()->isHidden());
    ASSERT_TRUE(cell->playerViewAsView());
    EXPECT_RECT(cell->playerViewAsView()->frame(), CGRectMake(56, 15, 248, 182));
    EXPECT_FALSE(cell->playerViewAsView()->isHidden());
    EXPECT_RECT(cell->vLine()->frame(), CGRectMake(72, 0, 3, cell->contentView()->frame().size.height));
    for (const Ref<UIView>& hidden : std::vector<Ref<UIView>>{cell->adMain(), cell->shareContent(), cell->toUserBtn(),
                                                             cell->forwardFlag(), cell->localUploadControl(),
                                                             cell->localMediaUploadingCover()}) {
        EXPECT_TRUE(hidden->isHidden());
    }

    const std::vector<Ref<UIView>> rows = rowsOf(cell);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0]->tag(), kFeedRowHeaderTag);
    EXPECT_RECT(rows[0]->frame(), CGRectMake(90, 205, 220, 13));
    EXPECT_FALSE(rows[0]->isUserInteractionEnabled());
    CGFloat y = 218;
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]->tag(), kFeedRowTagBase + NSInteger(i - 1));
        EXPECT_EQ(rows[i]->frame().origin.x, 90);
        EXPECT_EQ(rows[i]->frame().size.width, 220);
        EXPECT_EQ(rows[i]->frame().origin.y, y) << "row " << i;
        y += rows[i]->frame().size.height;
    }
    // The marks row: three avatars 33 apart, each with its emotion badge beside it.
    EXPECT_EQ(rows[1]->frame().size.height, 33);
    std::vector<Ref<UIUserButton>> markAvatars;
    for (const Ref<UIView>& view : rows[1]->subviews()) {
        if (auto avatar = std::dynamic_pointer_cast<UIUserButton>(view)) {
            markAvatars.push_back(avatar);
        }
    }
    ASSERT_EQ(markAvatars.size(), 3u);
    EXPECT_RECT(markAvatars[2]->frame(), CGRectMake(74, 0, 25, 25));
    EXPECT_EQ(markAvatars[1]->userInfo()["nick"].stringValue(), "阿刚");
    // The read-more row names the total and is 30 high; only two comments follow.
    const auto readMore = std::dynamic_pointer_cast<UIButton>(rows[3]);
    ASSERT_TRUE(readMore);
    EXPECT_EQ(readMore->titleForState(UIControlStateNormal), "查看全部3条评论...");
    EXPECT_EQ(readMore->frame().size.height, 30);
    // A comment row: avatar, text, time; 8 + max(25, text + line) + 8.
    std::vector<std::string> labels;
    for (const Ref<UIView>& view : rows[4]->subviews()) {
        const auto label = std::dynamic_pointer_cast<UILabel>(view);
        if (label && label != std::dynamic_pointer_cast<UIButton>(rows[4])->titleLabel()) {
            labels.push_back(label->text());
        }
    }
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0], "小红:拍得真好！");
    EXPECT_EQ(rows[4]->frame().size.height, 8 + std::floor(std::max<CGFloat>(25, FeedCellFull::heightForText_width_font(
                                                                                   Value(labels[0]), 170, SubCommentFont()) +
                                                                               SubCommentFont()->lineHeight())) +
                                                8);
    // The row height the feed asks for ends 10 below the last row, counting the marks row as 41.
    EXPECT_EQ(FeedCellFull::getHeight_haveHead(item, true), y + 10 + (41 - 33));
}

TEST_F(FeedCellTest, VideoWithoutRowsHasNoStripYetCountsIt)
{
    const Value item = videoItem({.title = false});
    const Ref<FeedCellFull> cell = show(item, false);
    EXPECT_TRUE(rowsOf(cell).empty());
    EXPECT_TRUE(cell->head()->isHidden());
    EXPECT_RECT(cell->playerBkg()->frame(), CGRectMake(10, 10, 300, 225));
    EXPECT_RECT(cell->vLine()->frame(), CGRectMake(32, 0, 3, cell->contentView()->frame().size.height));
    EXPECT_EQ(FeedCellFull::getCommentTableHeight_haveHead(item["channel"], false), 13);
}

TEST_F(FeedCellTest, SentencesOfCommentFollowAndForward)
{
    struct Case {
        const char* name;
        Value item;
        bool haveHead;
        std::string sentence;
        CGRect sentenceFrame;
        CGRect secondFrame;  // the second avatar or the forward flag
        bool forward;
    };
    const std::vector<Case> cases = {
        {"comment with head", commentItem("好看"), true, "评论了小红的分享：“好看”", CGRectMake(100, 10, 200, 35),
         ToUserFrame(), false},
        {"comment without head", commentItem("好看"), false, "评论了小红的分享：“好看”", CGRectMake(50, 10, 250, 35),
         CGRectMake(21, 15, 24, 24), false},
        {"follow with head", followItem(), true, "关注了小红", CGRectMake(100, 10, 200, 35), ToUserFrame(), false},
        {"forward without head", forwardItem({}), false, "转发 推荐大家看看", CGRectMake(50, 10, 250, 35),
         CGRectMake(21, 15, 24, 24), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ref<FeedCellFull> cell = show(c.item, c.haveHead);
        EXPECT_FALSE(cell->shareContent()->isHidden());
        EXPECT_EQ(cell->shareContent()->text(), c.sentence);
        EXPECT_RECT(cell->shareContent()->frame(), c.sentenceFrame);
        EXPECT_EQ(cell->head()->isHidden(), !c.haveHead);
        EXPECT_FALSE(cell->toUserBkg()->isHidden());
        const Ref<UIView> second = c.forward ? Ref<UIView>(cell->forwardFlag()) : Ref<UIView>(cell->toUserBtn());
        EXPECT_FALSE(second->isHidden());
        EXPECT_RECT(second->frame(), c.secondFrame);
        EXPECT_EQ(cell->toUserBkg()->frame().origin.x, c.haveHead ? 58 : 18);
        if (c.forward) {
            // The photo frame starts 10 below the sentence.
            EXPECT_RECT(cell->playerBkg()->frame(), CGRectMake(10, 55, 300, 225));
            EXPECT_TRUE(cell->toUserBtn()->isHidden());
        } else {
            EXPECT_EQ(cell->toUserBtn()->userInfo()["nick"].stringValue(), "小红");
            EXPECT_TRUE(cell->playerBkg()->isHidden());
        }
    }
}

TEST_F(FeedCellTest, ReusedCellKeepsNothingOfTheEarlierItem)
{
    const Ref<FeedCellFull> cell = show(videoItem({.marks = 2, .comments = 1}), true);
    ASSERT_FALSE(rowsOf(cell).empty());
    cell->fullFillWithInfo_withHead_andNavigationController(followItem(), false, navigation);
    EXPECT_TRUE(rowsOf(cell).empty());
    EXPECT_TRUE(cell->playerBkg()->isHidden());
    EXPECT_TRUE(cell->playerViewAsView()->isHidden());
    EXPECT_TRUE(cell->head()->isHidden());
    EXPECT_EQ(cell->shareContent()->text(), "关注了小红");
    cell->fullFillWithInfo_withHead_andNavigationController(adItem(), true, navigation);
    EXPECT_TRUE(cell->shareContent()->isHidden());
    EXPECT_TRUE(cell->toUserBtn()->isHidden());
    EXPECT_FALSE(cell->adMain()->isHidden());
    // Every fill replaces the avatar's action, so a reused cell acts once per tap.
    EXPECT_EQ(cell->head()->actionsForTarget_forControlEvent(cell, UIControlEventTouchUpInside),
              std::vector<std::string>{"fromUserSelected:"});
}

TEST_F(FeedCellTest, AdvertisementFramesAndClose)
{
    const Ref<FeedCellFull> cell = show(adItem(), true);
    EXPECT_RECT(cell->adMain()->frame(), CGRectMake(5, 5, 310, 115));
    EXPECT_RECT(cell->adBkg()->frame(), CGRectMake(0, 0, 310, 115));
    EXPECT_RECT(cell->adBody()->frame(), CGRectMake(5, 5, 300, 105));
    EXPECT_RECT(cell->adClose()->frame(), CGRectMake(285, 10, 14, 14));
    // The picture arrives from the service.
    EXPECT_TRUE(pumpMainUntil([&] { return cell->adBody()->backgroundImageForState(UIControlStateNormal) != nullptr; }));
    EXPECT_EQ(cell->adBody()->backgroundImageForState(UIControlStateNormal)->size().width, 600);

    int posted = 0;
    const Ref<NSObject> observer = NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
        kAdCloseClickedNotification, Value(), [&](const Ref<NSNotification>&) { ++posted; });
    EXPECT_FALSE(isAdClosed());
    // Filled twice (reuse): still one action, one notification.
    cell->fullFillWithInfo_withHead_andNavigationController(adItem(), true, navigation);
    cell->adClose()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(posted, 1);
    EXPECT_TRUE(isAdClosed());
    NSNotificationCenter::defaultCenter()->removeObserver(observer);
}

TEST_F(FeedCellTest, LocalEntryShowsItsUploadControl)
{
    struct Case {
        int status;
        int progress;
        const char* title;
    };
    for (const Case& c : std::vector<Case>{{1, 45, "暂停"}, {2, 0, "暂停"}, {4, 100, "继续"}, {0, 10, "*"}, {3, 99, "*"}}) {
        SCOPED_TRACE(c.status);
        const Ref<FeedCellFull> cell = makeCell(kLocalFeedCellReuseIdentifier);
        cell->setFrame(CGRectMake(0, 0, 320, 228));
        cell->fullFillWithLocalInfo_andParentController(localEntry("g1", c.status, c.progress), nullptr);
        const Ref<UploadControl> control = cell->localUploadControl();
        ASSERT_TRUE(control);
        EXPECT_FALSE(control->isHidden());
        EXPECT_FALSE(cell->localMediaUploadingCover()->isHidden());
        EXPECT_TRUE(cell->isLocalMedia());
        EXPECT_EQ(control->upload_pause()->titleForState(UIControlStateNormal), c.title);
        EXPECT_FLOAT_EQ(control->progress()->progress(), c.progress / 100.0f);
        EXPECT_RECT(control->frame(), CGRectMake(16, 210 - UploadControl::kHeight, 288, UploadControl::kHeight));
        EXPECT_RECT(cell->playerBkg()->frame(), ChannelPlayerFrameNoHead());
        EXPECT_RECT(cell->playerViewAsView()->frame(), CGRectMake(16, 15, 288, 195));
        EXPECT_RECT(cell->localMediaUploadingCover()->frame(), cell->contentView()->frame());
    }
}

TEST_F(FeedCellTest, AvatarButtonKeepsItsRecordAndLoadsTheIcon)
{
    const Ref<UIUserButton> button = UIUserButton::initWithFrame(CGRectZero);
    const Value record = friendRed();
    button->setUserInfo(record);
    button->setUserInfo(button->userInfo());  // the same record again
    EXPECT_TRUE(button->userInfo().isEqual(record));
    ASSERT_TRUE(pumpMainUntil([&] { return button->backgroundImageForState(UIControlStateNormal) != nullptr; }));
    EXPECT_EQ(button->backgroundImageForState(UIControlStateNormal)->size().width, 120);
    EXPECT_GE(service.server().requests("/img/avatar-1002.png").size(), 1u);

    // Without an icon an avatar button shows the missing-avatar placeholder and loads nothing.
    const Ref<UIUserButton> empty = UIUserButton::initWithFrame(CGRectMake(0, 0, 25, 25));
    empty->setTag(kAvatarButtonTag);
    empty->setUserInfo(Value::dictionary({{"suid", "1009"}, {"nick", "无名"}}));
    EXPECT_EQ(empty->backgroundImageForState(UIControlStateNormal), UIImage::imageNamed("missing-avatar.png"));
    EXPECT_EQ(empty->userInfo()["nick"].stringValue(), "无名");
}

}  // namespace FeedCellTest_cpp
}  // namespace
