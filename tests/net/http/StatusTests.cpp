// The status timer: time-outs on the manual clock, the upload buffer rule, retries after a time-out,
// progress reports, and the process-wide bandwidth meter and throttle.
#include <cmath>
#include <string>
#include <vector>

#include "HTTPTestSupport.h"
#include "net/http/HTTPNetworkQueue.h"
#include "net/http/HTTPRequest.h"
#include "platform/foundation/Clock.h"
#include "platform/sysconfig/SCNetworkReachabilityBackend.h"

using TestServers::RecordedRequest;
using TestServers::Reply;

namespace {

// A request whose attempts run on the test's own thread: its streams and its status timer live on the
// main loop, so every step of the manual clock fires the timer there, in order.
class LocalRequest : public HTTPRequest {
public:
    static Ref<LocalRequest> withURL(const std::string& url)
    {
        auto request = std::make_shared<LocalRequest>();
        request->initWithURLBody(NSURL::URLWithString(url));
        return request;
    }
    void startHere()
    {
        {
            std::lock_guard lock(*cancelledLock_);
            inProgress_ = true;
            setExecuting(true);
            requestRunLoop_ = NSRunLoop::currentRunLoop();
        }
        main();
    }
    using HTTPRequest::countDownloadSize;
    using HTTPRequest::readLengthForBuffer;
};

class ProgressRecorder : public HTTPProgressDelegate {
public:
    std::vector<float> progress;
    long long bytes = 0;  // the sum of the steps
    long long size = 0;   // the sum of the size increments

    void setProgress(float newProgress) override { progress.push_back(newProgress); }
    void request_didReceiveBytes(const Ref<HTTPRequest>&, long long step) override { bytes += step; }
    void request_didSendBytes(const Ref<HTTPRequest>&, long long step) override { bytes += step; }
    void request_incrementDownloadSizeBy(const Ref<HTTPRequest>&, long long amount) override { size += amount; }
    void request_incrementUploadSizeBy(const Ref<HTTPRequest>&, long long amount) override { size += amount; }
};

class StatusTest : public HTTPRequestTest {
protected:
    StatusTest()
    {
        HTTPRequest::resetBandwidthThrottling();
        HTTPRequest::setDefaultTimeOutSeconds(10.0);  // the time-out every request starts with
    }
    ~StatusTest() override { HTTPRequest::resetBandwidthThrottling(); }

    // A server that reads each request and answers nothing while the test runs.
    void silentServer()
    {
        server.setHandler([this](const RecordedRequest&) {
            gate.wait();
            return Reply::ok();
        });
    }
    Ref<LocalRequest> start(const std::string& path, const std::function<void(LocalRequest&)>& configure = {})
    {
        auto request = LocalRequest::withURL(server.url(path));
        request->setDelegate(delegate);
        if (configure) {
            configure(*request);
        }
        request->startHere();
        return request;
    }
    // A time read from the meter; NaN when it is not set.
    static double at(std::optional<double> time) { return time.value_or(std::nan("")); }
    static int errorCode(const Ref<HTTPRequest>& request)
    {
        return request->error() ? static_cast<int>(request->error()->code()) : 0;
    }

    ScopedManualClock clock;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(StatusTest, SilentGETTimesOutAtTheFirstTickAfterTheLimit)
{
    silentServer();
    auto request = start("/silent");
    ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1; }));

    clock.advance(10.0);  // exactly 10 s without activity is not yet too long
    EXPECT_FALSE(request->complete());
    EXPECT_EQ(delegate->count("failed"), 0u);

    clock.advance(0.25);
    EXPECT_TRUE(request->complete());
    EXPECT_EQ(errorCode(request), HTTPErrorTimedOut);
    EXPECT_EQ(request->error()->localizedDescription(), "The request timed out");
    EXPECT_EQ(delegate->names(), (std::vector<std::string>{"started", "failed"}));
    EXPECT_FALSE(request->inProgress());
}

TEST_F(StatusTest, ZeroTimeOutNeverTimesOut)
{
    silentServer();
    auto request = start("/silent", [](LocalRequest& r) { r.setTimeOutSeconds(0); });
    ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1; }));

    clock.advance(300.0);
    EXPECT_FALSE(request->complete());
    EXPECT_EQ(delegate->count("failed"), 0u);

    request->cancel();
    ASSERT_TRUE(waitFor([&] { return delegate->count("failed") == 1; }));
    EXPECT_EQ(errorCode(request), HTTPErrorCancelled);
}

// The whole body fits the connection's buffer at once, so its progress cannot be seen: the request
// waits one and a half times the limit after the last sign of life (the status tick that saw the body
// taken).
TEST_F(StatusTest, BufferedUploadGetsHalfAsMuchAgainBeforeItTimesOut)
{
    silentServer();
    auto request = start("/upload", [](LocalRequest& r) { r.appendPostData(NSData::dataWithString(std::string(1000, 'x'))); });
    ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1; }));
    EXPECT_EQ(server.requests()[0].body.size(), 1000u);

    clock.advance(12.0);
    EXPECT_FALSE(request->complete());
    EXPECT_EQ(request->totalBytesSent(), 1000u);
    EXPECT_EQ(request->uploadBufferSize(), 0u);  // the whole body went at once: no buffer fill was seen

    clock.advance(3.25);  // 15 s after the tick that saw the body leave
    EXPECT_FALSE(request->complete());

    clock.advance(0.25);
    EXPECT_EQ(errorCode(request), HTTPErrorTimedOut);
    EXPECT_EQ(delegate->count("failed"), 1u);
}

TEST_F(StatusTest, OneRetryRestartsSilentlyOnANewConnectionThenFails)
{
    silentServer();
    auto request = start("/silent", [](LocalRequest& r) { r.setNumberOfTimesToRetryOnTimeout(1); });
    ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1; }));

    clock.advance(10.25);
    EXPECT_FALSE(request->error());
    EXPECT_EQ(request->retryCount(), 1);
    ASSERT_TRUE(waitFor([&] { return server.requestCount() == 2; }));
    const auto requests = server.requests();
    EXPECT_NE(requests[0].connection, requests[1].connection);
    EXPECT_EQ(delegate->count("failed"), 0u);

    clock.advance(10.25);
    EXPECT_EQ(errorCode(request), HTTPErrorTimedOut);
    EXPECT_EQ(delegate->names(), (std::vector<std::string>{"started", "started", "failed"}));
    EXPECT_EQ(server.connectionCount(), 2u);
}

// Upload and download progress: the steps add up to the sizes counted, the blocks see the same steps,
// and each display ends at 1.
TEST_F(StatusTest, ProgressStepsAddUpToTheBodies)
{
    const std::string upload(100000, 'u');
    server.enqueue(Reply::ok(std::string(50000, 'd')));
    auto uploads = std::make_shared<ProgressRecorder>();
    auto downloads = std::make_shared<ProgressRecorder>();
    long long blockSent = 0;
    unsigned long long blockTotal = 0;
    auto request = start("/progress", [&](LocalRequest& r) {
        r.appendPostData(NSData::dataWithString(upload));
        r.setUploadProgressDelegate(uploads);
        r.setDownloadProgressDelegate(downloads);
        r.setBytesSentBlock([&](long long step, unsigned long long total) {
            blockSent += step;
            blockTotal = total;
        });
    });
    ASSERT_TRUE(waitFor([&] { return delegate->count("finished") == 1; }));
    ASSERT_TRUE(deliverPending());

    EXPECT_EQ(uploads->size, 100000);
    EXPECT_EQ(uploads->bytes, 100000);
    EXPECT_EQ(blockSent, 100000);
    EXPECT_EQ(blockTotal, 100000u);
    ASSERT_FALSE(uploads->progress.empty());
    EXPECT_EQ(uploads->progress.front(), 0.0f);  // reset when the attempt started
    EXPECT_EQ(uploads->progress.back(), 1.0f);

    EXPECT_EQ(downloads->bytes, 50000);
    ASSERT_FALSE(downloads->progress.empty());
    EXPECT_EQ(downloads->progress.back(), 1.0f);
    for (const auto* recorder : {uploads.get(), downloads.get()}) {
        for (float value : recorder->progress) {
            EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << value;
        }
    }
}

// A network queue hears every request's steps: its sums reach the group's totals.
TEST_F(StatusTest, NetworkQueueSumsTheGroupsProgress)
{
    server.enqueue(Reply::ok(std::string(3000, 'd')));
    server.enqueue(Reply::ok(std::string(5000, 'd')));
    auto queue = HTTPNetworkQueue::queue();
    queue->setShowAccurateProgress(true);
    auto display = std::make_shared<ProgressRecorder>();
    queue->setUploadProgressDelegate(display);
    for (size_t size : {1000, 2000}) {
        auto member = request("/group");
        member->appendPostData(NSData::dataWithString(std::string(size, 'u')));
        member->setDelegate(delegate);
        queue->addOperation(member);
    }
    queue->go();
    ASSERT_TRUE(waitFor([&] { return delegate->count("finished") == 2; }));
    ASSERT_TRUE(deliverPending());
    EXPECT_EQ(queue->totalBytesToUpload(), 3000u);
    EXPECT_EQ(queue->bytesUploadedSoFar(), 3000u);
    EXPECT_EQ(queue->bytesDownloadedSoFar(), 8000u);
    ASSERT_FALSE(display->progress.empty());
    EXPECT_EQ(display->progress.back(), 1.0f);
}

// The announced length is counted into the download size; without one, progress counts one unit.
TEST_F(StatusTest, AnnouncedLengthIsCountedIntoTheDownloadSize)
{
    struct Case {
        const char* name;
        bool accurate;
        bool reset;
        std::optional<unsigned long long> announced;
        long long counted;
        bool accurateAfter;
    };
    const std::vector<Case> cases = {
        {"length", true, true, 1000, 1000, true},
        {"no length", true, true, std::nullopt, 1, false},
        {"not reset", true, false, 1000, 0, true},
        {"inaccurate", false, true, 1000, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto downloads = std::make_shared<ProgressRecorder>();
        long long blockCounted = 0;
        auto r = LocalRequest::withURL(server.url("/"));
        r->setDownloadProgressDelegate(downloads);
        r->setDownloadSizeIncrementedBlock([&](long long amount) { blockCounted += amount; });
        r->setShowAccurateProgress(c.accurate);
        r->setShouldResetDownloadProgress(c.reset);
        r->countDownloadSize(c.announced);
        ASSERT_TRUE(deliverPending());
        EXPECT_EQ(downloads->size, c.counted);
        EXPECT_EQ(blockCounted, c.counted);
        EXPECT_EQ(r->showAccurateProgress(), c.accurateAfter);
    }
}

// A download whose length was never announced is whole once it has ended, even when it was empty:
// its display ends at 1, never at 0 / 0.
TEST_F(StatusTest, DownloadOfUnknownLengthEndsAtOne)
{
    struct Case {
        const char* name;
        Reply reply;
    };
    Reply closeDelimited = Reply::ok("hello");
    closeDelimited.closeDelimited = true;
    closeDelimited.keepAlive = false;
    Reply chunked = Reply::ok("");
    chunked.chunks = {"he", "llo"};
    Reply empty = Reply::ok("");
    empty.closeDelimited = true;
    empty.keepAlive = false;
    const std::vector<Case> cases = {{"close-delimited", closeDelimited}, {"chunked", chunked}, {"empty", empty}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.reply);
        auto downloads = std::make_shared<ProgressRecorder>();
        delegate = std::make_shared<RecordingDelegate>();
        auto request = start("/unknown", [&](LocalRequest& r) { r.setDownloadProgressDelegate(downloads); });
        ASSERT_TRUE(waitFor([&] { return delegate->count("finished") == 1; }));
        ASSERT_TRUE(deliverPending());
        ASSERT_FALSE(downloads->progress.empty());
        for (float value : downloads->progress) {
            EXPECT_FALSE(std::isnan(value));
        }
        EXPECT_EQ(downloads->progress.back(), 1.0f);
    }
}

// The meter on the manual clock: the allowance of one read, the wake-up time an overdraft orders, the
// tracker of the last seconds and its average.
TEST_F(StatusTest, BandwidthAccountingFollowsTheClock)
{
    EXPECT_FALSE(HTTPRequest::isBandwidthThrottled());
    EXPECT_EQ(LocalRequest::readLengthForBuffer(16384), 16384u);

    HTTPRequest::setMaxBandwidthPerSecond(1000);
    EXPECT_TRUE(HTTPRequest::isBandwidthThrottled());
    const double t0 = clock.now();
    HTTPRequest::measureBandwidthUsage();  // opens the first measurement second
    EXPECT_DOUBLE_EQ(at(HTTPRequest::bandwidthMeasurementDate()), t0 + 1);

    struct Step {
        unsigned long used;         // bytes counted so far in this second
        unsigned long uploadRead;   // maxUploadReadLength
        size_t responseRead;        // readLengthForBuffer(16384)
    };
    const std::vector<Step> steps = {
        {0, 250, 250},    // a quarter of the maximum
        {900, 100, 25},   // what is left of the second; a response read takes a quarter of it
        {998, 2, 1},      // never below one byte
        {1000, 0, 1},     // nothing left
        {1200, 0, 1},     // overdrawn
    };
    unsigned long counted = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.used);
        HTTPRequest::incrementBandwidthUsedInLastSecond(step.used - counted);
        counted = step.used;
        EXPECT_EQ(HTTPRequest::bandwidthUsedInLastSecond(), step.used);
        EXPECT_EQ(LocalRequest::readLengthForBuffer(16384), step.responseRead);
        EXPECT_EQ(HTTPRequest::maxUploadReadLength(), step.uploadRead);
    }
    // Nothing left to read: reading waits for the next second.
    EXPECT_DOUBLE_EQ(at(HTTPRequest::throttleWakeUpTime()), t0 + 1);
    // 200 bytes over a limit of 1000: a fifth of a second more.
    HTTPRequest::measureBandwidthUsage();
    EXPECT_NEAR(at(HTTPRequest::throttleWakeUpTime()), t0 + 1.2, 1e-9);

    // The second ends: its count joins the tracker and the next second begins.
    clock.advance(1.0);
    HTTPRequest::measureBandwidthUsage();
    EXPECT_EQ(HTTPRequest::bandwidthUsageTracker(), (std::vector<unsigned long>{0, 1200}));
    EXPECT_EQ(HTTPRequest::averageBandwidthUsedPerSecond(), 600u);
    EXPECT_EQ(HTTPRequest::bandwidthUsedInLastSecond(), 0u);
    EXPECT_DOUBLE_EQ(at(HTTPRequest::bandwidthMeasurementDate()), t0 + 2);

    // At most the last 6 seconds are kept.
    for (int second = 0; second < 8; ++second) {
        HTTPRequest::incrementBandwidthUsedInLastSecond(600);
        clock.advance(1.0);
        HTTPRequest::measureBandwidthUsage();
    }
    EXPECT_EQ(HTTPRequest::bandwidthUsageTracker(), std::vector<unsigned long>(6, 600));
    EXPECT_EQ(HTTPRequest::averageBandwidthUsedPerSecond(), 600u);

    // Seconds nobody measured were idle: one old entry goes per second of lateness.
    HTTPRequest::incrementBandwidthUsedInLastSecond(300);
    clock.advance(3.0);  // measured 2 s late
    HTTPRequest::measureBandwidthUsage();
    EXPECT_EQ(HTTPRequest::bandwidthUsageTracker(), (std::vector<unsigned long>{600, 600, 600, 600, 300}));
    EXPECT_EQ(HTTPRequest::averageBandwidthUsedPerSecond(), 540u);

    // A second without traffic forgets the past.
    clock.advance(1.0);
    HTTPRequest::measureBandwidthUsage();
    EXPECT_EQ(HTTPRequest::bandwidthUsageTracker(), std::vector<unsigned long>{0});
    EXPECT_EQ(HTTPRequest::averageBandwidthUsedPerSecond(), 0u);
}

// An overdrawn second takes a running request's stream off its loop until the wake-up time; while it is
// off, the request cannot time out.
TEST_F(StatusTest, ThrottledStreamPausesUntilTheWakeUpTime)
{
    silentServer();
    auto request = start("/throttled");
    ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1; }));
    ASSERT_TRUE(request->readStreamIsScheduled());
    const double t0 = clock.now();

    HTTPRequest::setMaxBandwidthPerSecond(1000);
    HTTPRequest::recordBandwidthUsage();                  // the second ends at t0 + 1
    HTTPRequest::incrementBandwidthUsedInLastSecond(20000);  // 19 seconds' worth too much
    clock.advance(0.25);
    EXPECT_DOUBLE_EQ(at(HTTPRequest::throttleWakeUpTime()), t0 + 20);
    EXPECT_FALSE(request->readStreamIsScheduled());
    EXPECT_FALSE(HTTPRequest::isNetworkInUse());
    auto second = start("/second");  // started during the pause: it waits off the loop as well
    EXPECT_FALSE(second->readStreamIsScheduled());

    clock.advance(19.5);  // far beyond the time-out, but paused
    EXPECT_FALSE(request->complete());
    EXPECT_FALSE(request->readStreamIsScheduled());

    clock.advance(0.25);  // the wake-up time: back on the loop, and the time-out counts afresh
    EXPECT_TRUE(request->readStreamIsScheduled());
    EXPECT_TRUE(second->readStreamIsScheduled());
    EXPECT_DOUBLE_EQ(at(request->lastActivityTime()), t0 + 20);
    clock.advance(10.0);
    EXPECT_FALSE(request->complete());
    clock.advance(0.25);
    EXPECT_EQ(errorCode(request), HTTPErrorTimedOut);
}

// The cellular-only limit follows the link of the Internet connection.
TEST_F(StatusTest, CellularLimitFollowsTheLink)
{
    auto fake = FakeReachabilityBackend::create();
    SCNetworkReachabilityBackendScope scope(fake);
    fake->setFlags("0.0.0.0", kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN);

    HTTPRequest::setShouldThrottleBandwidthForWWAN(true);
    EXPECT_EQ(HTTPRequest::maxBandwidthPerSecond(), 14800u);
    EXPECT_TRUE(HTTPRequest::isNetworkReachableViaWWAN());
    EXPECT_TRUE(HTTPRequest::isBandwidthThrottled());

    fake->change("0.0.0.0", kSCNetworkReachabilityFlagsReachable);  // onto Wi-Fi
    ASSERT_TRUE(waitFor([] { return !HTTPRequest::isBandwidthThrottled(); }));
    EXPECT_EQ(HTTPRequest::maxBandwidthPerSecond(), 14800u);  // kept for when the link changes back

    fake->change("0.0.0.0", kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN);
    ASSERT_TRUE(waitFor([] { return HTTPRequest::isBandwidthThrottled(); }));

    HTTPRequest::setShouldThrottleBandwidthForWWAN(false);
    EXPECT_FALSE(HTTPRequest::isBandwidthThrottled());
    EXPECT_EQ(HTTPRequest::maxBandwidthPerSecond(), 0u);
    EXPECT_EQ(fake->watchCount("0.0.0.0"), 0u);
}

}  // namespace
