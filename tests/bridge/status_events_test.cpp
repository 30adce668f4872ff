// What the bridge makes of the engine's status events, delivered as an engine thread delivers them.
#include "bridge_support.h"

#include "platform/uikit/UIApplication.h"
#include "widgets/StatusBarOverlay.h"

#include <thread>

namespace {

using namespace std::chrono_literals;
using bridgetest::BridgeTest;

using bridgetest::ShownMessages;

class StatusEvents : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        g_ffmpeg.set(PZFFmpeg::create());
        g_ffmpeg->setLocalVideos(Value::array({
            Value::dictionary({{"guid", Value("g1")}, {"upprocess", Value(0)}, {"status", Value(2)}}),
            Value::dictionary({{"guid", Value("g2")}, {"upprocess", Value(10)}, {"status", Value(4)}}),
        }));
    }
    void TearDown() override { g_ffmpeg.set(nullptr); }

    // Delivers the event from another thread, as the engine does, and waits for it.
    static void deliver(unsigned int act, int status, const char* msg, const char* msg2)
    {
        std::thread([=] { PZStatusChange(act, status, msg, msg2); }).join();
    }
};

TEST_F(StatusEvents, RemovingAnEntryByGuidLeavesTheOthersAndRacesNoUpdate)
{
    struct Case {
        const char* guid;
        bool removed;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"g9", false, {"g1", "g2"}},  // not listed
        {"g1", true, {"g2"}},
        {"g1", false, {"g2"}},  // already gone
        {"g2", true, {}},
    };
    const Value held = g_ffmpeg->localVideos();  // a copy a screen took earlier
    for (const Case& c : cases) {
        SCOPED_TRACE(c.guid);
        EXPECT_EQ(g_ffmpeg->removeLocalVideo(c.guid), c.removed);
        std::vector<std::string> left;
        const Value list = g_ffmpeg->localVideos();
        for (const Value& entry : list.arrayItems()) {
            left.push_back(entry["guid"].stringValue());
        }
        EXPECT_EQ(left, c.left);
    }
    EXPECT_EQ(held.count(), 2u);  // copies handed out are not touched

    // Progress of engine threads and removals from the main thread, at once: the list stays whole.
    g_ffmpeg->setLocalVideos(Value::array({
        Value::dictionary({{"guid", Value("a")}, {"upprocess", Value(0)}}),
        Value::dictionary({{"guid", Value("b")}, {"upprocess", Value(0)}}),
    }));
    std::thread progress([] {
        for (int i = 0; i < 2000; ++i) {
            g_ffmpeg->setLocalVideoValue(i % 2 ? "a" : "b", Value(i % 100), "upprocess");
        }
    });
    EXPECT_TRUE(g_ffmpeg->removeLocalVideo("a"));
    progress.join();
    ASSERT_EQ(g_ffmpeg->localVideos().count(), 1u);
    EXPECT_EQ(g_ffmpeg->localVideos()[0]["guid"].stringValue(), "b");
}

TEST_F(StatusEvents, ProgressUpdatesOnlyTheMatchingEntryAndAlwaysPostsUpdateUI)
{
    bridgetest::NotificationLog notifications({kUpdateUINotification});
    const Value before = g_ffmpeg->localVideos();

    deliver(5, 1, "g9", "50");  // a job the list does not show
    EXPECT_TRUE(g_ffmpeg->localVideos().isEqual(before));
    EXPECT_EQ(notifications.posted().size(), 1u);

    deliver(5, 1, "g2", "42");
    const Value after = g_ffmpeg->localVideos();
    EXPECT_EQ(after[1]["upprocess"].intValue(), 42);
    EXPECT_EQ(after[0]["upprocess"].intValue(), 0);
    EXPECT_EQ(notifications.posted().size(), 2u);

    // The screen stays on while uploading: set on the main thread.
    ASSERT_TRUE(pumpMainUntil([] { return UIApplication::sharedApplication()->isIdleTimerDisabled(); }, 5s));
}

TEST_F(StatusEvents, EventsTheInterfaceDoesNotShowChangeNothing)
{
    bridgetest::NotificationLog notifications({kUpdateUINotification, kDeleteMediaNotification});
    const Value before = g_ffmpeg->localVideos();
    struct Event {
        unsigned int act;
        int status;
        const char* msg;
        const char* msg2;
    };
    const Event events[] = {
        {3, 0, "数据库错误", ""}, {4, 1, "提示", ""},    {1, 4, "", ""},   {7, 1, "", ""},
        {5, 0, "g1", "上传中"},   {5, 3, "g1", "title"}, {5, 5, "g1", "all"}, {5, 2, "g1", "2"},
    };
    for (const Event& e : events) {
        deliver(e.act, e.status, e.msg, e.msg2);
    }
    EXPECT_TRUE(g_ffmpeg->localVideos().isEqual(before));
    EXPECT_TRUE(notifications.posted().empty());
    EXPECT_EQ(drainMain(), 0);  // nothing handed to the main thread
}

TEST_F(StatusEvents, JobFactsReachTheSharedInstanceAndTheStatusBar)
{
    auto messages = std::make_shared<ShownMessages>();
    StatusBarOverlay::sharedOverlay()->setDelegate(messages);

    deliver(2, 5, "sc9", "");
    EXPECT_EQ(g_ffmpeg->livingScid().stringValue(), "sc9");
    deliver(5, 4, "g1", "12");
    EXPECT_TRUE(g_ffmpeg->importEnd());
    g_ffmpeg->startImport();
    EXPECT_FALSE(g_ffmpeg->importEnd());

    deliver(5, 6, "g1", "sc9");
    EXPECT_EQ(g_ffmpeg->localVideos()[0]["scid"].stringValue(), "sc9");
    deliver(5, 2, "g1", "4");
    ASSERT_TRUE(pumpMainUntil([&] { return messages->shown.size() >= 2; }, 10s));
    EXPECT_EQ(messages->shown, (std::vector<std::string>{"视频即将上传", "视频已暂停"}));

    PZFFmpeg::stopLive();
    EXPECT_TRUE(g_ffmpeg->livingScid().isNil());
    StatusBarOverlay::sharedOverlay()->setDelegate(nullptr);
}

TEST_F(StatusEvents, EntriesAreChangedUnderTheGuardWhileTheMainThreadReadsThem)
{
    std::atomic<bool> done{false};
    std::thread engine([&] {
        for (int i = 0; i < 300; ++i) {
            PZStatusChange(5, 1, "g1", std::to_string(i % 101).c_str());
            PZStatusChange(5, 6, "g2", ("sc" + std::to_string(i)).c_str());
        }
        done = true;
    });
    int reads = 0;
    do {
        const Value list = g_ffmpeg->localVideos();
        ASSERT_EQ(list.count(), 2u);
        EXPECT_LE(list[0]["upprocess"].intValue(), 100);
        ++reads;
    } while (!done);
    engine.join();
    EXPECT_EQ(g_ffmpeg->localVideos()[1]["scid"].stringValue(), "sc299");
    EXPECT_GT(reads, 0);
}

}  // namespace
