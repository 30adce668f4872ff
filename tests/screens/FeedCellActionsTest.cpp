// What the feed cell does on its own: people, rows and the caption's sheet, the forward flag, and a
// local entry's pause, resume, delete and upload progress through the engine bridge.
#include <atomic>
#include <mutex>
#include <thread>

#include "FeedCellTestSupport.h"
#include "bridge/PZFFmpeg.h"
#include "engine/UtilityAdapter.h"
#include "engine/printlog.h"
#include "platform/foundation/Clock.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIProgressView.h"
#include "shell/FeedCellFull.h"
#include "shell/UploadControl.h"
#include "shell/VideoMainPage.h"
#include "social/MapVC.h"
#include "social/Share.h"
#include "social/UIUserButton.h"

namespace {
namespace FeedCellActionsTest_cpp {

using namespace feedcelltest;

// The engine's job operations as it logs them when they are queued ("JobOperation:oper:2,guid:g1,...").
std::mutex g_engineLogMutex;
std::vector<std::string> g_engineLog;
void recordEngineLine(const char*, const char* message)
{
    std::lock_guard hold(g_engineLogMutex);
    g_engineLog.emplace_back(message != nullptr ? message : "");
}
std::vector<std::string> jobOperations()
{
    std::lock_guard hold(g_engineLogMutex);
    std::vector<std::string> operations;
    for (const std::string& line : g_engineLog) {
        if (line.starts_with("JobOperation:")) {
            operations.push_back(line);
        }
    }
    return operations;
}

class FeedCellActionsTest : public FeedCellFixture {
protected:
    void SetUp() override
    {
        FeedCellFixture::SetUp();
        // The bridge's shared instance with its local list, and the engine's log on, so the test sees
        // which job operations the cell queued. Nothing runs the queued jobs.
        UtilityAdapter_Callbacks callbacks{};
        callbacks.status = &PZStatusChange;
        callbacks.printlog = &recordEngineLine;
        UtilityAdapter_SetupCallbacks(&callbacks);
        setlogfile("");
        enableprintlog(true);
        {
            std::lock_guard hold(g_engineLogMutex);
            g_engineLog.clear();
        }
        g_ffmpeg.set(PZFFmpeg::create());
        UIAlertView::resetRecords();
        UIActionSheet::resetRecords();
    }
    void TearDown() override
    {
        enableprintlog(false);
        UtilityAdapter_SetupCallbacks(nullptr);
        g_ffmpeg.set(nullptr);
        FeedCellFixture::TearDown();
    }
    Ref<FeedCellFull> showItem(const Value& item, bool haveHead = true)
    {
        const Ref<FeedCellFull> cell = FeedCellFull::myinit_andReuse(navigation, kFeedCellReuseIdentifier);
        cell->setFrame(CGRectMake(0, 0, 320, FeedCellFull::getHeight_haveHead(item, haveHead)));
        cell->fullFillWithInfo_withHead_andNavigationController(item, haveHead, navigation);
        return cell;
    }
    Ref<FeedCellFull> showLocal(const Value& entry)
    {
        const Ref<FeedCellFull> cell = FeedCellFull::myinit_andReuse(navigation, kLocalFeedCellReuseIdentifier);
        cell->setFrame(CGRectMake(0, 0, 320, 228));
        cell->fullFillWithLocalInfo_andParentController(entry, nullptr);
        return cell;
    }
    static Ref<UIButton> row(const Ref<FeedCellFull>& cell, NSInteger index)
    {
        return std::dynamic_pointer_cast<UIButton>(cell->contentView()->viewWithTag(kFeedRowTagBase + index));
    }
    static void tap(const Ref<UIControl>& control) { control->sendActionsForControlEvents(UIControlEventTouchUpInside); }
    Ref<UIViewController> pushed() const { return navigation->topViewController(); }
    // Lets a push or presentation finish on the process clock.
    void settle(ScopedManualClock& clock) { clock.advance(1); }
    Value listEntry(const std::string& guid) const
    {
        const Value videos = g_ffmpeg->localVideos();
        for (size_t i = 0; i < videos.count(); ++i) {
            if (videos[i]["guid"].stringValue() == guid) {
                return videos[i];
            }
        }
        return Value();
    }
};

TEST_F(FeedCellActionsTest, RowsAndAvatarsAskForALoginFirst)
{
    const Ref<FeedCellFull> cell = showItem(videoItem({.marks = 1, .comments = 1}));
    const Ref<UIViewController> root = pushed();
    tap(cell->head());
    tap(row(cell, 0));
    tap(row(cell, 2));
    EXPECT_EQ(prompts->loginPrompts, 3);
    EXPECT_EQ(pushed(), root);
    EXPECT_FALSE(UIActionSheet::currentSheet());
}

TEST_F(FeedCellActionsTest, RowsOpenTheVideoPage)
{
    logIn();
    ScopedManualClock clock;
    // Marks, caption without place or people, "all comments", a comment: each opens the video page.
    const Ref<FeedCellFull> cell = showItem(videoItem({.marks = 2, .comments = 3}));
    for (NSInteger index : {0, 1, 2, 3}) {
        SCOPED_TRACE(index);
        tap(row(cell, index));
        settle(clock);
        const auto page = std::dynamic_pointer_cast<VideoMainPage>(pushed());
        ASSERT_TRUE(page);
        EXPECT_EQ(page->type(), 2);
        EXPECT_EQ(page->data().stringValue(), "sc3001");
        EXPECT_FALSE(UIActionSheet::currentSheet());
        navigation->popViewControllerAnimated(false);
    }
}

TEST_F(FeedCellActionsTest, CaptionWithPlaceAndPeopleOffersASheet)
{
    logIn();
    ScopedManualClock clock;
    const Ref<FeedCellFull> cell = showItem(videoItem({.place = true, .people = 2}));
    struct Case {
        NSInteger index;
        std::string opens;  // "map", "user 1002", "user 1003", "video", "nothing"
    };
    const Ref<UIViewController> root = pushed();
    for (const Case& c : std::vector<Case>{{0, "map"}, {3, "video"}, {4, "nothing"}}) {
        SCOPED_TRACE(c.opens);
        tap(row(cell, 0));
        const Ref<UIActionSheet> sheet = UIActionSheet::currentSheet();
        ASSERT_TRUE(sheet);
        ASSERT_EQ(sheet->numberOfButtons(), 5);
        EXPECT_EQ(sheet->buttonTitleAtIndex(0), "杭州西湖");
        EXPECT_EQ(sheet->buttonTitleAtIndex(1), "小红");
        EXPECT_EQ(sheet->buttonTitleAtIndex(2), "阿刚");
        EXPECT_EQ(sheet->buttonTitleAtIndex(3), "评论");
        EXPECT_EQ(sheet->buttonTitleAtIndex(4), "取消");
        EXPECT_EQ(sheet->cancelButtonIndex(), -1);
        sheet->simulateClickButtonAtIndex(c.index);
        settle(clock);
        if (c.opens == "map") {
            const auto map = std::dynamic_pointer_cast<MapVC>(pushed());
            ASSERT_TRUE(map);
            EXPECT_EQ(map->channel()["scid"].stringValue(), "sc3001");
        } else if (c.opens == "video") {
            const auto page = std::dynamic_pointer_cast<VideoMainPage>(pushed());
            ASSERT_TRUE(page);
            EXPECT_EQ(page->data().stringValue(), "sc3001");
        } else if (c.opens == "nothing") {
            EXPECT_EQ(pushed(), root);
        } else {
            EXPECT_NE(pushed(), root);
            EXPECT_EQ(pushed()->className(), "FeedVC");
        }
        navigation->popToRootViewControllerAnimated(false);
    }
}

TEST_F(FeedCellActionsTest, ForwardFlagPresentsTheShareDialogWithoutLogin)
{
    ScopedManualClock clock;
    const Ref<FeedCellFull> cell = showItem(forwardItem({}));
    // Filled twice: the flag still sends once.
    cell->fullFillWithInfo_withHead_andNavigationController(forwardItem({}), true, navigation);
    tap(cell->forwardFlag());
    settle(clock);
    const auto presented = std::dynamic_pointer_cast<UINavigationController>(navigation->modalViewController());
    ASSERT_TRUE(presented);
    ASSERT_EQ(presented->viewControllers().size(), 1u);
    const auto share = std::dynamic_pointer_cast<Share>(presented->viewControllers()[0]);
    ASSERT_TRUE(share);
    EXPECT_EQ(share->channel()["scid"].stringValue(), "sc3001");
    EXPECT_EQ(prompts->loginPrompts, 0);
}

TEST_F(FeedCellActionsTest, PauseAndResumeQueueTheEngineOperations)
{
    g_ffmpeg->setLocalVideos(Value::array({localEntry("g1", 1, 30), localEntry("g2", 0, 0)}));
    const Ref<FeedCellFull> cell = showLocal(g_ffmpeg->localVideos()[0]);
    const Ref<UIButton> pause = cell->localUploadControl()->upload_pause();
    tap(pause);
    EXPECT_EQ(pause->titleForState(UIControlStateNormal), "继续");
    EXPECT_EQ(listEntry("g1")["status"].intValue(), 4);
    tap(pause);
    EXPECT_EQ(pause->titleForState(UIControlStateNormal), "暂停");
    EXPECT_EQ(listEntry("g1")["status"].intValue(), 2);
    EXPECT_EQ(jobOperations(), (std::vector<std::string>{"JobOperation:oper:2,guid:g1,extdata:",
                                                         "JobOperation:oper:1,guid:g1,extdata:"}));

    // An entry in another status ignores the button.
    const Ref<FeedCellFull> other = showLocal(g_ffmpeg->localVideos()[1]);
    tap(other->localUploadControl()->upload_pause());
    EXPECT_EQ(other->localUploadControl()->upload_pause()->titleForState(UIControlStateNormal), "*");
    EXPECT_EQ(jobOperations().size(), 2u);
}

TEST_F(FeedCellActionsTest, DeleteAsksAndRemovesTheEntry)
{
    ScopedManualClock clock;
    g_ffmpeg->setLocalVideos(Value::array({localEntry("g1", 2, 10), localEntry("g2", 1, 50)}));
    const Ref<FeedCellFull> cell = showLocal(g_ffmpeg->localVideos()[0]);

    tap(cell->localUploadControl()->upload_delete());
    Ref<UIAlertView> alert = UIAlertView::currentAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "提示");
    EXPECT_EQ(alert->message(), "确认删除？");
    ASSERT_EQ(alert->numberOfButtons(), 2);
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "取消");
    EXPECT_EQ(alert->buttonTitleAtIndex(1), "确定");
    alert->simulateClickButtonAtIndex(0);
    EXPECT_EQ(g_ffmpeg->localVideos().count(), 2u);
    EXPECT_TRUE(jobOperations().empty());

    tap(cell->localUploadControl()->upload_delete());
    alert = UIAlertView::currentAlert();
    ASSERT_TRUE(alert);
    alert->simulateClickButtonAtIndex(1);
    EXPECT_EQ(jobOperations(), std::vector<std::string>{"JobOperation:oper:4,guid:g1,extdata:"});
    ASSERT_EQ(g_ffmpeg->localVideos().count(), 1u);
    EXPECT_EQ(g_ffmpeg->localVideos()[0]["guid"].stringValue(), "g2");
    // Half a second later the (here absent) own page would be refreshed; nothing breaks without it.
    clock.advance(0.5);
}

TEST_F(FeedCellActionsTest, ProgressFromTheEngineMovesOnlyItsOwnBar)
{
    g_ffmpeg->setLocalVideos(Value::array({localEntry("g1", 1, 0), localEntry("g2", 1, 0)}));
    const Ref<FeedCellFull> first = showLocal(g_ffmpeg->localVideos()[0]);
    const Ref<FeedCellFull> second = showLocal(g_ffmpeg->localVideos()[1]);
    const Ref<FeedCellFull> video = showItem(videoItem({}));
    // The engine reports progress on its own thread, through the bridge's status callback.
    std::thread engine([] { PZStatusChange(5, 1, "g1", "45"); });
    engine.join();
    ASSERT_TRUE(pumpMainUntil([&] { return first->localUploadControl()->progress()->progress() > 0.4f; }));
    drainMain();
    EXPECT_FLOAT_EQ(first->localUploadControl()->progress()->progress(), 0.45f);
    EXPECT_FLOAT_EQ(second->localUploadControl()->progress()->progress(), 0.0f);
    EXPECT_FALSE(video->isLocalMedia());

    // A report for an entry that was deleted meanwhile changes nothing.
    g_ffmpeg->removeLocalVideo("g2");
    std::thread late([] { PZStatusChange(5, 1, "g2", "80"); });
    late.join();
    drainMain();
    EXPECT_FLOAT_EQ(second->localUploadControl()->progress()->progress(), 0.0f);
}

// Engine threads report progress while the main thread deletes entries, rebuilds the list and refills
// and releases cells; run under the thread sanitiser too.
TEST_F(FeedCellActionsTest, ProgressWhileTheListChanges)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> engines;
    for (int t = 0; t < 2; ++t) {
        engines.emplace_back([&stop, t] {
            int step = 0;
            while (!stop.load()) {
                const std::string guid = "g" + std::to_string(step % 4);
                PZStatusChange(5, 1, guid.c_str(), std::to_string((step * 7 + t) % 101).c_str());
                ++step;
            }
        });
    }
    for (int round = 0; round < 60; ++round) {
        Value list = Value::array();
        for (int i = 0; i < 4; ++i) {
            list.addObject(localEntry(("g" + std::to_string(i)).c_str(), 1, 0));
        }
        g_ffmpeg->setLocalVideos(list);
        std::vector<Ref<FeedCellFull>> cells;
        for (int i = 0; i < 4; ++i) {
            cells.push_back(showLocal(g_ffmpeg->localVideos()[size_t(i)]));
        }
        g_ffmpeg->removeLocalVideo("g" + std::to_string(round % 4));
        cells[size_t(round % 4)]->fullFillWithInfo_withHead_andNavigationController(followItem(), false, navigation);
        drainMain();
        cells.clear();
        drainMain();
    }
    stop = true;
    for (std::thread& engine : engines) {
        engine.join();
    }
    drainMain();
    SUCCEED();
}

}  // namespace FeedCellActionsTest_cpp
}  // namespace
