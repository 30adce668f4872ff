// How a request's messages reach the main thread: only what some receiver or block can take is sent,
// a request's messages arrive in order whichever receivers are present, messages gathered while the
// main thread was busy arrive in one delivery, and a message runs only after the network step that
// produced it is over.
#include <algorithm>
#include <string>
#include <vector>

#include "HTTPTestSupport.h"

namespace {
namespace MessageDeliveryTests_cpp {

// Keeps the indicator's own messages out of the main loop for one test.
struct IndicatorOff {
    IndicatorOff() { HTTPRequest::setShouldUpdateNetworkActivityIndicator(false); }
    ~IndicatorOff() { HTTPRequest::setShouldUpdateNetworkActivityIndicator(true); }
};

// One log for every kind of receiver, so their relative order shows.
struct Log {
    std::vector<std::string> entries;
};

class LoggingDelegate : public HTTPRequestDelegate {
public:
    explicit LoggingDelegate(Log& log) : log_(log) {}
    void requestStarted(const Ref<HTTPRequest>&) override { log_.entries.push_back("started"); }
    void request_didReceiveResponseHeaders(const Ref<HTTPRequest>&, const HTTPHeaderFields&) override
    {
        log_.entries.push_back("headers");
    }
    void requestFinished(const Ref<HTTPRequest>& request) override
    {
        // Everything the finishing step did is visible to the receiver.
        log_.entries.push_back(request->isFinished() ? "finished" : "finished early");
    }
    void requestFailed(const Ref<HTTPRequest>&) override { log_.entries.push_back("failed"); }

private:
    Log& log_;
};

class LoggingDisplay : public HTTPProgressDelegate {
public:
    explicit LoggingDisplay(Log& log) : log_(log) {}
    void setProgress(float progress) override { log_.entries.push_back("progress " + std::to_string(int(progress))); }
    void request_didReceiveBytes(const Ref<HTTPRequest>&, long long bytes) override
    {
        log_.entries.push_back("bytes " + std::to_string(bytes));
    }
    void request_incrementDownloadSizeBy(const Ref<HTTPRequest>&, long long length) override
    {
        log_.entries.push_back("size " + std::to_string(length));
    }

private:
    Log& log_;
};

TEST_F(HTTPRequestTest, MessagesArriveInOrderWhicheverReceiversListen)
{
    struct Case {
        const char* name;
        bool delegate;
        bool display;
        bool blocks;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"delegate only", true, false, false, {"started", "headers", "finished"}},
        {"blocks only", false, false, true, {"block started", "block headers", "block finished"}},
        {"display only", false, true, false, {"progress 0", "size 2", "bytes 2", "progress 1"}},
        {"delegate and display",
         true,
         true,
         false,
         {"started", "progress 0", "size 2", "headers", "bytes 2", "progress 1", "finished"}},
        {"everything",
         true,
         true,
         true,
         {"started", "block started", "progress 0", "size 2", "headers", "block headers", "bytes 2", "progress 1",
          "finished", "block finished"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        auto delegate = std::make_shared<LoggingDelegate>(log);
        auto display = std::make_shared<LoggingDisplay>(log);
        auto ok = request("/");
        if (c.delegate) {
            ok->setDelegate(delegate);
        }
        if (c.display) {
            ok->setDownloadProgressDelegate(display);
        }
        if (c.blocks) {
            ok->setStartedBlock([&log] { log.entries.push_back("block started"); });
            ok->setHeadersReceivedBlock([&log](const HTTPHeaderFields&) { log.entries.push_back("block headers"); });
            ok->setCompletionBlock([&log] { log.entries.push_back("block finished"); });
        }
        ok->startAsynchronous();
        ASSERT_TRUE(waitFor([&] { return log.entries.size() >= c.expected.size() && ok->isFinished(); }));
        ASSERT_TRUE(deliverPending());
        EXPECT_EQ(log.entries, c.expected);
    }
}

TEST_F(HTTPRequestTest, NothingIsPostedWhenNobodyListensAndGatheredMessagesArriveInOneDelivery)
{
    IndicatorOff indicatorOff;
    auto loop = NSRunLoop::mainRunLoop();
    ASSERT_TRUE(deliverPending());

    // The main thread is kept from delivering while the request runs, so its messages gather.
    Log log;
    auto delegate = std::make_shared<LoggingDelegate>(log);
    auto heard = request("/");
    heard->setDelegate(delegate);
    heard->startAsynchronous();
    ASSERT_TRUE(waitWithoutDelivering([&] { return heard->isFinished(); }));

    // No receiver, no block: this exchange sends nothing to the main thread. It runs on the network
    // thread after the first request's last step, so by its end that step's messages are published.
    auto unheard = request("/");
    unheard->startAsynchronous();
    ASSERT_TRUE(waitWithoutDelivering([&] { return unheard->isFinished(); }));

    EXPECT_EQ(loop->drain(kCFRunLoopDefaultMode), 1);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"started", "headers", "finished"}));
}

TEST_F(HTTPRequestTest, AMessageRunsOnlyOnceItsNetworkStepIsOver)
{
    // Repeated, as the window between marking a request finished and publishing its messages is short.
    for (int i = 0; i < 20; ++i) {
        Log log;
        auto delegate = std::make_shared<LoggingDelegate>(log);
        auto ok = request("/");
        ok->setDelegate(delegate);
        bool finishedWhenCompleted = false;
        ok->setCompletionBlock([&] { finishedWhenCompleted = ok->isFinished() && !ok->inProgress(); });
        ok->startAsynchronous();
        ASSERT_TRUE(waitFor([&] { return log.entries.size() == 3; }));
        ASSERT_TRUE(deliverPending());
        EXPECT_EQ(log.entries.back(), "finished");
        EXPECT_TRUE(finishedWhenCompleted);
    }
}

// Many requests held by the server and let go together finish on the network thread one step after
// another, their messages gathered into few wake-ups of the main thread: every request still gets all
// of its messages, once, in its own order, each after the step that sent it.
TEST_F(HTTPRequestTest, ManyRequestsFinishingAtOnceEachGetAllTheirMessagesInOrder)
{
    constexpr int kRequests = 32;
    server.setHandler([&](const TestServers::RecordedRequest&) {
        gate.wait();
        return TestServers::Reply::ok("ok");
    });
    auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(kRequests);
    std::vector<Log> logs(kRequests);
    std::vector<Ref<LoggingDelegate>> delegates;
    std::vector<Ref<HTTPRequest>> requests;
    for (int i = 0; i < kRequests; ++i) {
        delegates.push_back(std::make_shared<LoggingDelegate>(logs[i]));
        requests.push_back(request("/held" + std::to_string(i)));
        requests.back()->setDelegate(delegates.back());
        queue->addOperation(requests.back());
    }
    ASSERT_TRUE(server.waitForRequests(kRequests, 30));
    gate.open();
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(logs.begin(), logs.end(), [](const Log& log) { return log.entries.size() >= 3; });
    }));
    ASSERT_TRUE(deliverPending());
    for (int i = 0; i < kRequests; ++i) {
        EXPECT_EQ(logs[i].entries, (std::vector<std::string>{"started", "headers", "finished"})) << i;
        EXPECT_EQ(requests[i]->responseString(), "ok") << i;
    }
}

}  // namespace MessageDeliveryTests_cpp
}  // namespace
