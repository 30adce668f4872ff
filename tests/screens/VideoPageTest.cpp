// The video page as a person uses it against the stand-in service: opened by a video or a comment,
// its rows and heights, the comment pages, replying to a comment, sending a comment, the keyboard, the
// header's player, and the replies that are refused, broken or odd.
#include <cmath>

#include "FeedTestSupport.h"
#include "HugeTotals.h"
#include "platform/cfnetwork/CFHTTPReadStream.h"
#include "capture/PPlayer.h"
#include "platform/foundation/Clock.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"
#include "service/Fault.h"
#include "service/VideoPageRoutes.h"
#include "shell/CommentCell.h"
#include "shell/VideoMainPage.h"
#include "social/TagEmotion.h"
#include "widgets/StatusBarOverlay.h"

namespace {
namespace VideoPageTest_cpp {

using namespace feedtest;

class VideoPageTest : public FeedTest {
protected:
    void SetUp() override
    {
        FeedTest::SetUp();
        StatusBarOverlay::sharedOverlay()->resetForTesting();  // whatever an earlier test of the process left
        UIKeyboard::reset();
        logIn();
        root = UIViewController::create();
        navigation = show(root);
    }
    void TearDown() override
    {
        page = nullptr;
        navigation = nullptr;
        UIKeyboard::reset();
        // The status-bar overlay is the process's, and between tests the main loop loses the steps its
        // cycle had pending: a message this test left (a reply that came late) would stay active for
        // good. The next test finds it idle.
        const Ref<StatusBarOverlay> overlay = StatusBarOverlay::sharedOverlay();
        overlay->resetForTesting();
        EXPECT_TRUE(overlay->messageQueue().empty() && !overlay->isActive() && overlay->isReallyHidden());
        // Kept-alive connections to this test's service would meet a later service on the same port.
        CFHTTPReadStream::closeIdleConnections();
        FeedTest::TearDown();
    }

    // Pushes the page of the type for the id and waits until its record request was answered.
    Ref<VideoMainPage> open(int type, const std::string& id)
    {
        page = VideoMainPage::myinitWithType_data(type, Value(id));
        navigation->pushViewController_animated(page, false);
        page->view();
        EXPECT_TRUE(waitFor([&] { return !page->getVideoFullInfo(); }));
        page->view()->layoutIfNeeded();
        page->table()->layoutIfNeeded();
        return page;
    }
    NSInteger rows() const { return page->table()->numberOfRowsInSection(0); }
    Ref<CommentCell> cell(NSInteger row) const
    {
        return std::dynamic_pointer_cast<CommentCell>(page->tableView_cellForRowAtIndexPath(page->table(), feedtestRow(row)));
    }
    static Ref<NSIndexPath> feedtestRow(NSInteger row) { return NSIndexPath::indexPathForRow_inSection(row, 0); }
    // Drags the list so that its end is `fromEnd` points below the visible part.
    void dragToEnd(CGFloat fromEnd = 0)
    {
        const Ref<UITableView> table = page->table();
        const CGFloat y = std::max<CGFloat>(0, table->contentSize().height - table->bounds().size.height - fromEnd);
        table->simulateDrag(CGPointMake(0, y), false);
    }
    std::string newestOverlayMessage(int* kind = nullptr) const
    {
        const auto queue = StatusBarOverlay::sharedOverlay()->messageQueue();
        if (queue.empty()) {
            return "";
        }
        if (kind != nullptr) {
            *kind = queue.front()[kStatusBarOverlayMessageTypeKey].intValue();
        }
        return queue.front()[kStatusBarOverlayMessageKey].stringValue();
    }

    Ref<UIViewController> root;
    Ref<UINavigationController> navigation;
    Ref<VideoMainPage> page;
};

TEST_F(VideoPageTest, AsksForTheRecordByVideoOrByComment)
{
    struct Case {
        int type;
        const char* id;
        const char* scid;    // the query's "scid"
        const char* scmtid;  // the query's "scmtid"
        const char* title;
    };
    const Case cases[] = {
        {0, "c3002-4", "", "c3002-4", "钱塘江边的夜景"},
        {1, "c3019-2", "", "c3019-2", "第一次做红烧肉"},
        {2, "sc3001", "sc3001", "", "西湖边的傍晚"},
        {3, "c3001-2", "", "c3001-2", "西湖边的傍晚"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        open(c.type, c.id);
        const auto asked = requests("/m/v2_channel.json");
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back().param("scid").value_or("?"), c.scid);
        EXPECT_EQ(asked.back().param("scmtid").value_or("?"), c.scmtid);
        EXPECT_EQ(asked.back().param("fillType").value_or(""), "255");
        EXPECT_EQ(asked.back().param("token").value_or(""), standin::kApiAccountToken);
        EXPECT_EQ(page->title(), c.title);
        EXPECT_EQ(page->initType(), c.type);
        navigation->popToRootViewControllerAnimated(false);
    }
}

TEST_F(VideoPageTest, CaptionRowThenTheCommentsWithTheirHeights)
{
    open(VideoPageTypeVideo, "sc3001");
    // The caption and the three comments of the first page.
    ASSERT_EQ(rows(), 4);
    const Ref<CommentCell> caption = cell(0);
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->content->text(), "小明:西湖边的傍晚 - 在杭州西湖，提到了 老周");
    EXPECT_EQ(caption->commentInfo()["fromUser"]["suid"].stringValue(), "1001");
    const Ref<CommentCell> first = cell(1);
    EXPECT_EQ(first->content->text(), "阿芳:拍得真好，西湖的晚霞！");
    EXPECT_FALSE(first->time->text().empty());
    for (NSInteger row = 0; row < rows(); ++row) {
        const Ref<CommentCell> shown = cell(row);
        // The time starts right under the text, and the row fits both.
        EXPECT_EQ(shown->time->frame().origin.y, CGRectGetMaxY(shown->content->frame())) << row;
        const CGFloat height = page->tableView_heightForRowAtIndexPath(page->table(), feedtestRow(row));
        EXPECT_GE(height, 55) << row;
        EXPECT_LE(CGRectGetMaxY(shown->time->frame()), height) << row;
    }
    // A one-line comment takes the lowest row.
    EXPECT_EQ(page->tableView_heightForRowAtIndexPath(page->table(), feedtestRow(2)), 55);
    // The header: owner, framed player of the video's shape, viewers strip under it.
    EXPECT_EQ(page->playerBkg()->frame().size.height, 191);  // 255 x 480 / 640, 4:3
    EXPECT_EQ(page->scrollSubView->subviews().size(), 5u * 2);  // five avatars, each with its mark
    EXPECT_EQ(page->scrollSubView->contentSize().width, 28 * 5 + 3);
    EXPECT_EQ(page->whoSeedView->superview(), page->headerView());
    EXPECT_EQ(page->table()->tableHeaderView(), page->headerView());
}

TEST_F(VideoPageTest, NextCommentPageFollowsThePageNumbers)
{
    struct Case {
        const char* scid;
        size_t firstPage;
        size_t pageRequests;  // how many times a next page is asked for, however often the list is dragged
        size_t rowsAfter;
    };
    // 19 comments: (19 + 20) / 20 = 1, never a second page; 20 comments: page 2 once, though it is empty.
    const Case cases[] = {{"sc3019", 19, 0, 20}, {"sc3002", 20, 1, 21}, {"sc3040", 0, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scid);
        const size_t before = requests("/m/v2_comment.json").size();
        open(VideoPageTypeVideo, c.scid);
        EXPECT_EQ(page->comments().count(), c.firstPage);
        for (int drag = 0; drag < 3; ++drag) {
            dragToEnd();
            ASSERT_TRUE(waitFor([&] { return !page->getMoreCommentRequest(); }));
        }
        const auto asked = requests("/m/v2_comment.json");
        ASSERT_EQ(asked.size() - before, c.pageRequests);
        if (c.pageRequests > 0) {
            EXPECT_EQ(asked.back().param("page").value_or(""), "2");
            EXPECT_EQ(asked.back().param("per").value_or(""), "20");
            EXPECT_EQ(asked.back().param("scid").value_or(""), c.scid);
            EXPECT_EQ(page->currentPage(), 2);
            EXPECT_FALSE(page->isLoadingMore());
        }
        EXPECT_EQ(rows(), NSInteger(c.rowsAfter));
        navigation->popToRootViewControllerAnimated(false);
    }
}

TEST_F(VideoPageTest, AHugeCommentTotalAsksTheNextPageWithoutOverflow)
{
    // The fixture video with a full first page of 20 comments, claiming a huge total.
    const std::string full = standin::videoRecordJson(service.hostPort(), "sc3002");
    const std::string given = R"("total":20)";
    const size_t at = full.find(given, full.find(R"("pagedcmt")"));
    ASSERT_NE(at, std::string::npos);
    for (const char* total : hugetotals::kHugeTotals) {
        SCOPED_TRACE(total);
        const std::string record = std::string(full).replace(at, given.size(), std::string(R"("total":)") + total);
        service.server().route("/m/v2_channel.json", [record](const standin::Request&) {
            return jsonReply(R"({"status":200,"result":)" + record + "}");
        });
        const size_t before = requests("/m/v2_comment.json").size();
        open(VideoPageTypeVideo, "sc3002");
        ASSERT_EQ(page->comments().count(), 20u);
        dragToEnd();
        ASSERT_TRUE(waitFor([&] { return requests("/m/v2_comment.json").size() == before + 1 && !page->getMoreCommentRequest(); }));
        EXPECT_EQ(requests("/m/v2_comment.json").back().param("page").value_or(""), "2");
        navigation->popToRootViewControllerAnimated(false);
    }
}

TEST_F(VideoPageTest, AFailedCommentPageStopsFurtherPages)
{
    // Persistent: the client tries a closed keep-alive connection once more.
    service.server().addFault("/m/v2_comment.json", standin::Fault::closeWithoutAnswer().persistent());
    open(VideoPageTypeVideo, "sc3002");
    dragToEnd();
    ASSERT_TRUE(waitFor([&] { return !netError().empty(); }));
    EXPECT_EQ(netError(true), "评论获取失败");
    EXPECT_TRUE(page->isLoadingMore());
    const size_t asked = requests("/m/v2_comment.json").size();
    dragToEnd();
    drainMain();
    EXPECT_EQ(requests("/m/v2_comment.json").size(), asked);
}

TEST_F(VideoPageTest, TappingACommentRepliesToItsAuthorAndScrollingPutsTheKeyboardAway)
{
    open(VideoPageTypeVideo, "sc3001");
    ASSERT_TRUE(page->table()->simulateTapOnRowAtIndexPath(feedtestRow(0)));
    EXPECT_EQ(page->input->text(), "");
    EXPECT_FALSE(UIKeyboard::isVisible());

    ASSERT_TRUE(page->table()->simulateTapOnRowAtIndexPath(feedtestRow(2)));
    EXPECT_EQ(page->input->text(), "回复@老周:");
    EXPECT_TRUE(UIKeyboard::isVisible());
    // The bar stands on the keyboard and the list ends above it.
    EXPECT_EQ(page->inputBkg->frame().origin.y, kVideoPageBarTop - UIKeyboard::kDefaultHeight);
    EXPECT_EQ(page->table()->frame().size.height, kVideoPageBarTop - UIKeyboard::kDefaultHeight);

    page->table()->simulateDrag(CGPointMake(0, 10), false);
    EXPECT_FALSE(UIKeyboard::isVisible());
    EXPECT_EQ(page->inputBkg->frame().origin.y, kVideoPageBarTop);
    EXPECT_EQ(page->table()->frame().size.height, kVideoPageBarTop);
}

TEST_F(VideoPageTest, ATouchOnThePagesBackgroundPutsTheKeyboardAway)
{
    open(VideoPageTypeVideo, "sc3001");
    const Ref<UITableView> table = page->table();
    const NSInteger last = rows() - 1;
    ASSERT_TRUE(table->simulateTapOnRowAtIndexPath(feedtestRow(last)));
    ASSERT_TRUE(UIKeyboard::isVisible());
    // A touch on a row is no background: it answers that comment and the keyboard stays.
    const CGRect lastRow = table->rectForRowAtIndexPath(feedtestRow(last));
    table->scrollRectToVisible_animated(lastRow, false);
    window->simulateTap(table->convertPoint_toView(CGPointMake(160, CGRectGetMidY(lastRow)), nullptr));
    EXPECT_TRUE(UIKeyboard::isVisible());

    // The bar's margin left of the field, where the bar now stands on the keyboard.
    window->simulateTap(page->inputBkg->convertPoint_toView(CGPointMake(3, 3), nullptr));
    EXPECT_FALSE(page->input->isFirstResponder());
    EXPECT_FALSE(UIKeyboard::isVisible());
    // Putting the keyboard away is all: the reply text stays for later.
    EXPECT_FALSE(page->input->text().empty());
    EXPECT_EQ(page->inputBkg->frame().origin.y, kVideoPageBarTop);
}

TEST_F(VideoPageTest, AReplyPageOpensTheFieldForTheCommentsAuthor)
{
    struct Case {
        const char* name;
        bool dropCmt;
        const char* field;
    };
    const Case cases[] = {{"with the comment", false, "回复@老周:"}, {"without it", true, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.dropCmt) {
            const std::string host = service.hostPort();
            service.server().route("/m/v2_channel.json", [host](const standin::Request&) {
                return jsonReply(R"({"status":200,"msg":"","result":)" + standin::videoRecordJson(host, "sc3001") + "}");
            });
        }
        open(VideoPageTypeReply, "c3001-2");
        EXPECT_EQ(page->input->text(), c.field);
        EXPECT_TRUE(UIKeyboard::isVisible());
        EXPECT_TRUE(page->input->isFirstResponder());
        page->input->resignFirstResponder();
        navigation->popToRootViewControllerAnimated(false);
    }
}

TEST_F(VideoPageTest, SendingACommentAddsItAtTheEnd)
{
    open(VideoPageTypeVideo, "sc3001");
    // An empty field is refused on the spot.
    page->send->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_TRUE(UIAlertView::currentAlert());
    EXPECT_EQ(UIAlertView::currentAlert()->title(), "提示");
    EXPECT_EQ(UIAlertView::currentAlert()->message(), "评论内容不可为空");
    UIAlertView::currentAlert()->simulateClickButtonAtIndex(0);

    ASSERT_TRUE(page->input->becomeFirstResponder());
    ASSERT_TRUE(UIKeyboard::pasteText("明天还去吗？"));
    ASSERT_TRUE(UIKeyboard::pressReturn());
    EXPECT_EQ(page->input->text(), "");
    EXPECT_FALSE(UIKeyboard::isVisible());
    ASSERT_TRUE(waitFor([&] { return !page->sendCommentRequest(); }));

    const auto posted = requests("/m/comment.json");
    ASSERT_EQ(posted.size(), 1u);
    const standin::Params form = posted[0].formParams();
    EXPECT_EQ(standin::findParam(form, "scid").value_or(""), "sc3001");
    EXPECT_EQ(standin::findParam(form, "content").value_or(""), "明天还去吗？");
    EXPECT_EQ(standin::findParam(form, "token").value_or(""), standin::kApiAccountToken);
    ASSERT_EQ(page->comments().count(), 4u);
    EXPECT_EQ(page->comments()[3]["content"].stringValue(), "明天还去吗？");
    EXPECT_EQ(rows(), 5);
    EXPECT_EQ(cell(4)->content->text(), "小明:明天还去吗？");
    int kind = -1;
    EXPECT_EQ(newestOverlayMessage(&kind), "评论发表成功！");
    EXPECT_EQ(kind, StatusMessageKindFinish);
    // The service's count is what the page pages by; a posted comment does not change it.
    EXPECT_EQ(page->totalComentCount(), 3);
}

TEST_F(VideoPageTest, CommentRepliesThatAreRefusedOrOdd)
{
    struct Case {
        const char* reply;
        const char* message;
        int kind;
        size_t comments;
    };
    const Case cases[] = {
        {R"({"status":400,"msg":"评论太频繁了"})", "评论太频繁了", StatusMessageKindError, 3},
        // Accepted, but without the new comment: nothing is added, nothing breaks.
        {R"({"status":200,"result":[]})", "评论发表成功！", StatusMessageKindFinish, 3},
        {R"({"status":200})", "评论发表成功！", StatusMessageKindFinish, 3},
        {R"({"status":200,"result":["c1"]})", "评论发表成功！", StatusMessageKindFinish, 3},
    };
    open(VideoPageTypeVideo, "sc3001");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        const std::string body = c.reply;
        service.server().route("/m/comment.json", [body](const standin::Request&) { return jsonReply(body); });
        page->input->setText("好看");
        page->sendComment();
        ASSERT_TRUE(waitFor([&] { return !page->sendCommentRequest(); }));
        int kind = -1;
        EXPECT_EQ(newestOverlayMessage(&kind), c.message);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(page->comments().count(), c.comments);
    }
}

TEST_F(VideoPageTest, ARefusedRecordLeavesThePageThroughItsAlert)
{
    service.server().route("/m/v2_channel.json",
                           [](const standin::Request&) { return jsonReply(R"({"status":404,"msg":"频道不存在"})"); });
    open(VideoPageTypeVideo, "sc9999");
    const Ref<UIAlertView> alert = UIAlertView::currentAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "获取失败");
    EXPECT_EQ(alert->message(), "频道不存在");
    EXPECT_EQ(rows(), 1);
    alert->simulateClickButtonAtIndex(0);
    EXPECT_TRUE(waitFor([&] { return navigation->topViewController() == root; }));
}

TEST_F(VideoPageTest, ARecordThatNeverCameShowsTheNetworkError)
{
    service.server().addFault("/m/v2_channel.json", standin::Fault::closeWithoutAnswer().persistent());
    open(VideoPageTypeComment, "c3001-1");
    ASSERT_TRUE(waitFor([&] { return !netError().empty(); }));
    EXPECT_EQ(netError(true), "评论获取失败");
    EXPECT_EQ(rows(), 1);
    EXPECT_FALSE(page->headerView());
}

TEST_F(VideoPageTest, RecordsWithoutAUsableSizeOrCaption)
{
    struct Case {
        const char* ext;  // "ext" members besides the owner
        CGFloat height;   // the framed video's height
        const char* caption;
    };
    const Case cases[] = {
        {R"("t":"无尺寸")", 191, "小明:无尺寸"},                            // no width or height: 4:3
        {R"("t":"零宽","w":0,"h":360)", 191, "小明:零宽"},                 // a width of 0
        {R"("t":"负数","w":-640,"h":480)", 191, "小明:负数"},
        {R"("t":"很高","w":1,"h":2000000000)", 100000, "小明:很高"},       // bounded
        {R"("w":"abc","h":"")", 191, "小明:"},                               // no caption at all
    };
    const std::string host = service.hostPort();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ext);
        const std::string record = std::string(R"({"scid":"sc5001","ext":{)") + c.ext +
                                   R"(,"owner":{"suid":"1001","nick":"小明"}},"pagedcmt":{"result":[],"total":0}})";
        service.server().route("/m/v2_channel.json", [record](const standin::Request&) {
            return jsonReply(R"({"status":200,"result":)" + record + "}");
        });
        open(VideoPageTypeVideo, "sc5001");
        ASSERT_TRUE(page->headerView());
        EXPECT_EQ(page->playerBkg()->frame().size.height, c.height);
        EXPECT_TRUE(std::isfinite(page->headerView()->frame().size.height));
        EXPECT_EQ(cell(0)->content->text(), c.caption);
        EXPECT_EQ(page->tableView_heightForRowAtIndexPath(page->table(), feedtestRow(0)), 55);
        navigation->popToRootViewControllerAnimated(false);
    }
}

TEST_F(VideoPageTest, AvatarsOpenPeoplesPages)
{
    open(VideoPageTypeVideo, "sc3001");
    struct Case {
        std::function<void()> tap;
        const char* suid;
    };
    const Case cases[] = {
        {[&] { page->ownerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside); }, "1001"},
        {[&] { cell(0)->head->sendActionsForControlEvents(UIControlEventTouchUpInside); }, "1001"},
        {[&] { cell(1)->head->sendActionsForControlEvents(UIControlEventTouchUpInside); }, "1002"},
        {[&] {
             auto avatar = std::dynamic_pointer_cast<UIButton>(page->scrollSubView->subviews()[2]);
             ASSERT_TRUE(avatar);
             avatar->sendActionsForControlEvents(UIControlEventTouchUpInside);
         },
         "1002"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suid);
        c.tap();
        ASSERT_TRUE(waitFor([&] { return navigation->topViewController() != page; }));
        const auto feed = std::dynamic_pointer_cast<FeedVC>(navigation->topViewController());
        ASSERT_TRUE(feed);
        EXPECT_EQ(feed->type(), FeedTypeUser);
        EXPECT_EQ(feed->suid().stringValue(), c.suid);
        navigation->popViewControllerAnimated(false);
        ASSERT_EQ(navigation->topViewController(), page);
    }
}

TEST_F(VideoPageTest, TheEmotionButtonOpensTheMarkPopupForTheVideo)
{
    open(VideoPageTypeVideo, "sc3002");
    page->emotionButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    Ref<TagEmotion> popup;
    for (const Ref<UIView>& view : window->subviews()) {
        popup = popup ? popup : std::dynamic_pointer_cast<TagEmotion>(view);
    }
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->channel()["scid"].stringValue(), "sc3002");
    ASSERT_GE(popup->emotionButtons().size(), 4u);
    popup->emotionButtons()[3]->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_TRUE(service.server().waitForRequests("/m/mark.json", 1, std::chrono::seconds(5)));
    const standin::Params form = requests("/m/mark.json")[0].formParams();
    EXPECT_EQ(standin::findParam(form, "scid").value_or(""), "sc3002");
    EXPECT_EQ(standin::findParam(form, "icon").value_or(""), "4");
}

TEST_F(VideoPageTest, LeavingThePageStopsItsVideo)
{
    open(VideoPageTypeVideo, "sc3001");
    const Ref<PPlayer> player = page->player();
    ASSERT_TRUE(player);
    player->playBtn()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    const Ref<MPMoviePlayerController> shared = PPlayer::sharedMoviePlayer();
    ASSERT_TRUE(waitFor([&] { return shared->playbackState() == MPMoviePlaybackStatePlaying; }));
    ASSERT_TRUE(shared->contentURL());
    EXPECT_NE(shared->contentURL()->absoluteString().find("/stream/sc3001.mp4"), std::string::npos);
    navigation->popViewControllerAnimated(false);
    ASSERT_TRUE(waitFor([&] { return shared->playbackState() == MPMoviePlaybackStateStopped; }));
    EXPECT_FALSE(player->isPlayer());
}

}  // namespace VideoPageTest_cpp
}  // namespace
