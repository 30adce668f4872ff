// The job thread: every queued operation runs in order on the one job thread and ends with (7, code);
// the orientation input and the last live status.
#include "engine/crtfun.h"
#include "engine/jobthread.h"
#include "jobs_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

using enginetest::Recorder;
using enginetest::StatusEvent;
using jobstest::waitFor;

namespace {

std::vector<int> finishedOperations()
{
    std::vector<int> codes;
    for (const StatusEvent& e : Recorder::shared().events()) {
        if (e.act == 7) {
            codes.push_back(e.status);
        }
    }
    return codes;
}


}  // namespace

TEST(JobThread, OperationsRunInTheOrderQueuedEachEndingWithItsEvent)
{
    jobstest::installCallbacks();
    global_startasynthread();
    const char* guid = "0123456789abcdef0123456789abcdef";
    // Two operations for one guid first, then every kind of code: upload operations, codes that do
    // nothing, and the live recording codes (queued, each with its event).
    UtilityAdapter_JobOperation(guid, 6, "first title");
    UtilityAdapter_JobOperation(guid, 9, "second title");
    const std::vector<int> more = {1, 2, 3, 4, 5, 7, 10, 11, 12, 13, 0, 40, 37, 38, 39, 32, 34, 36};
    for (int code : more) {
        UtilityAdapter_JobOperation(guid, code, "x");
    }
    UtilityAdapter_EffectStart("/movie.mov", "job", 33);
    UtilityAdapter_EffectStop();

    std::vector<int> expected = {6, 9};
    expected.insert(expected.end(), more.begin(), more.end());
    expected.push_back(33);
    expected.push_back(35);
    ASSERT_TRUE(waitFor([&] { return finishedOperations().size() >= expected.size(); }));
    EXPECT_EQ(finishedOperations(), expected);
    for (const StatusEvent& e : Recorder::shared().events()) {
        if (e.act == 7) {
            EXPECT_EQ(e.msg, "");
            EXPECT_EQ(e.msg2, "");
        }
    }
    EXPECT_TRUE(Recorder::shared().logged("JobOperation:oper:6,guid:" + std::string(guid) + ",extdata:first title"));
}

TEST(JobThread, ReadingOneColumnIsAnsweredAtOnceAndNeverQueued)
{
    jobstest::installCallbacks();
    global_startasynthread();
    char* answer = UtilityAdapter_JobOperation("guid", 8, "title");
    UtilityAdapter_FreeString(answer);
    UtilityAdapter_JobOperation("guid", 6, "after");
    ASSERT_TRUE(waitFor([] { return Recorder::shared().count(7, 6) == 1; }));
    EXPECT_EQ(finishedOperations(), std::vector<int>{6});
}

namespace {

// The threads that reported finished operations.
std::mutex& g_threadsmtx = *new std::mutex;
std::set<std::thread::id>& g_reporters = *new std::set<std::thread::id>;
std::atomic<int> g_finished{0};

void recordReporter(unsigned int act, int, const char*, const char*)
{
    if (act == 7) {
        std::lock_guard<std::mutex> hold(g_threadsmtx);
        g_reporters.insert(std::this_thread::get_id());
        ++g_finished;
    }
}

}  // namespace

TEST(JobThread, StartsOncePerProcess)
{
    UtilityAdapter_Callbacks callbacks{};
    callbacks.status = &recordReporter;
    UtilityAdapter_SetupCallbacks(&callbacks);
    UtilityAdapter_Init(480, 360, 10, 600000, 0);
    UtilityAdapter_Init(480, 360, 10, 600000, 0);
    global_startasynthread();

    // With a second job thread the operations would be shared between the two.
    constexpr int kOperations = 200;
    for (int i = 0; i < kOperations; ++i) {
        global_addasynjob(100 + i, "g", nullptr, i, -i);
    }
    ASSERT_TRUE(waitFor([] { return g_finished.load() >= kOperations; }));
    std::lock_guard<std::mutex> hold(g_threadsmtx);
    EXPECT_EQ(g_reporters.size(), 1u);
    EXPECT_EQ(g_reporters.count(std::this_thread::get_id()), 0u);
}

TEST(JobThread, OperationsQueuedBeforeTheThreadStartsWait)
{
    jobstest::installCallbacks();
    global_addasynjob(5, "g", "post://host/m/video-sign.json?token=t", 0, 0);
    global_addasynjob(2, "g", nullptr, 0, 0);
    EXPECT_TRUE(finishedOperations().empty());
    global_startasynthread();
    ASSERT_TRUE(waitFor([] { return finishedOperations().size() >= 2; }));
    EXPECT_EQ(finishedOperations(), (std::vector<int>{5, 2}));
}

TEST(Orientation, AnglesGiveTheOrientationAndAChangeFlag)
{
    jobstest::installCallbacks();
    struct Case {
        int x;
        int y;
        int result;
    };
    const Case cases[] = {
        {-90, 0, 0},      // 0 at start: no change
        {0, 90, 3 | 4},   {0, 90, 3},  {90, 0, 2 | 4}, {-90, 0, 0 | 4}, {0, -90, 1 | 4},
        {-135, 0, 0 | 4}, {-45, 50, 0}, {-44, 50, 3 | 4}, {45, 0, 2 | 4}, {135, -90, 2},
        {136, -45, 1 | 4}, {136, -44, 3 | 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(global_orientation_sensor(nullptr, c.x, c.y), c.result) << c.x << "," << c.y;
    }
    EXPECT_EQ(global_getorientation(), 3);
    EXPECT_TRUE(Recorder::shared().logged("setup accelero 2"));
}

TEST(Orientation, HoldingStillIsReportedOncePerInterval)
{
    // The engine's clock runs 1000 times faster: its seconds pass in milliseconds.
    ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
    ASSERT_EQ(crtfun::time_scale(), 1000);
    // Feeds the same angles until the steady flag comes or `engineMs` pass; the ticks just before and
    // just after the call that reported it (0, 0 when none did).
    auto steadyWithin = [](int x, int y, uint64_t engineMs) {
        const uint64_t until = crtfun::get_ms_tick() + engineMs;
        std::pair<uint64_t, uint64_t> reported{0, 0};
        waitFor([&] {
            const uint64_t before = crtfun::get_ms_tick();
            if (global_orientation_sensor(nullptr, x, y) & 8) {
                reported = {before, crtfun::get_ms_tick()};
                return true;
            }
            return crtfun::get_ms_tick() > until;
        });
        return reported;
    };

    const uint64_t moved = crtfun::get_ms_tick();
    EXPECT_EQ(global_orientation_sensor(nullptr, 0, 90) & 8, 0);
    const auto first = steadyWithin(1, 91, 60000);  // small moves still count as holding still
    ASSERT_NE(first.second, 0u);
    EXPECT_GT(first.second - moved, 1000u);
    // Steady already: no second report while it stays so.
    EXPECT_EQ(steadyWithin(5, 95, 2000).second, 0u);
    // A real move ends it; the next report waits for the interval since the last one.
    EXPECT_EQ(global_orientation_sensor(nullptr, 30, 90) & 8, 0);
    const auto second = steadyWithin(30, 90, 60000);
    ASSERT_NE(second.second, 0u);
    EXPECT_GT(second.second - first.first, 5000u);
}

TEST(LastLiveStatus, IsStoredAndCleared)
{
    global_setlastlivestatus("重试中", 42);
    std::string text;
    int value = 0;
    global_getlastlivestatus(text, value);
    EXPECT_EQ(text, "重试中");
    EXPECT_EQ(value, 42);
    global_setlastlivestatus(nullptr, 0);
    global_getlastlivestatus(text, value);
    EXPECT_EQ(text, "");
    EXPECT_EQ(value, 0);
}
