// The request's life: the shared queue and its four slots, synchronous runs on the main thread and on
// another thread, where and when the messages arrive, cancelling, clearing the delegates, persistent
// connections and their expiry, blocks and selectors, copies.
#include <atomic>
#include <thread>

#include "HTTPTestSupport.h"
#include "platform/cfnetwork/CFHTTPReadStream.h"
#include "platform/uikit/UIApplication.h"

using TestServers::RecordedRequest;
using TestServers::Reply;

namespace {

TEST_F(HTTPRequestTest, FiveAsynchronousRequestsTheFifthWaitsForASlot)
{
    server.setHandler([&](const RecordedRequest&) {
        gate.wait();
        return Reply::ok("done");
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    std::vector<Ref<HTTPRequest>> requests;
    for (int i = 0; i < 5; ++i) {
        requests.push_back(request("/slot" + std::to_string(i)));
        requests.back()->setDelegate(delegate);
        requests.back()->startAsynchronous();
    }
    ASSERT_TRUE(server.waitForRequests(4));
    // Four hold the queue's slots; the fifth has not been started.
    ASSERT_TRUE(waitFor([&] {
        int running = 0;
        for (int i = 0; i < 4; ++i) {
            running += requests[i]->inProgress();
        }
        return running == 4;
    }));
    EXPECT_FALSE(requests[4]->inProgress());
    EXPECT_EQ(server.requestCount(), 4u);
    EXPECT_EQ(HTTPRequest::sharedQueue()->operationCount(), 5u);

    gate.open();
    ASSERT_TRUE(waitFor([&] { return delegate->count("finished") == 5; }));
    EXPECT_EQ(server.requestCount(), 5u);
    for (const auto& request : requests) {
        EXPECT_TRUE(request->isFinished());
        EXPECT_EQ(request->responseString(), "done");
    }
    for (const auto& event : delegate->events) {
        EXPECT_TRUE(event.onMainThread);
    }
    EXPECT_TRUE(waitFor([] { return HTTPRequest::sharedQueue()->operationCount() == 0; }));
}

TEST_F(HTTPRequestTest, SynchronousRunOnTheMainThreadGetsItsMessagesInlineWhileOthersWait)
{
    auto asyncDelegate = std::make_shared<RecordingDelegate>();
    auto asynchronous = request("/async");
    asynchronous->setDelegate(asyncDelegate);
    asynchronous->startAsynchronous();
    // The asynchronous request ends on the network thread; its messages wait for the main thread.
    ASSERT_TRUE(waitWithoutDelivering([&] { return asynchronous->isFinished(); }));

    bool returned = false;
    std::vector<bool> returnedWhenTold;
    auto syncDelegate = std::make_shared<RecordingDelegate>();
    syncDelegate->onEvent = [&](const RecordingDelegate::Event&) { returnedWhenTold.push_back(returned); };
    auto synchronous = request("/sync");
    synchronous->setDelegate(syncDelegate);
    synchronous->startSynchronous();
    returned = true;

    EXPECT_EQ(synchronous->responseStatusCode(), 200);
    EXPECT_EQ(syncDelegate->names(), (std::vector<std::string>{"started", "headers", "finished"}));
    EXPECT_EQ(returnedWhenTold, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(asyncDelegate->events.empty());

    ASSERT_TRUE(waitFor([&] { return asyncDelegate->count("finished") == 1; }));
    EXPECT_EQ(asyncDelegate->names(), (std::vector<std::string>{"started", "headers", "finished"}));
    EXPECT_EQ(syncDelegate->events.size(), 3u);
}

TEST_F(HTTPRequestTest, SynchronousRunOnAnotherThreadGetsItsMessagesAfterItReturns)
{
    auto delegate = std::make_shared<RecordingDelegate>();
    auto synchronous = request("/worker");
    synchronous->setDelegate(delegate);
    std::atomic<bool> returned{false};
    std::atomic<int> status{0};
    std::thread worker([&] {
        synchronous->startSynchronous();
        status = synchronous->responseStatusCode();
        returned = true;
    });
    ASSERT_TRUE(waitWithoutDelivering([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(status.load(), 200);
    EXPECT_EQ(synchronous->responseString(), "ok");
    EXPECT_TRUE(delegate->events.empty());  // posted to the main thread, not yet delivered
    ASSERT_TRUE(waitFor([&] { return delegate->count("finished") == 1; }));
    EXPECT_EQ(delegate->names(), (std::vector<std::string>{"started", "headers", "finished"}));
    EXPECT_TRUE(delegate->events.back().onMainThread);
}

TEST_F(HTTPRequestTest, CancelFailsARunningRequestWithCode4Once)
{
    server.setHandler([&](const RecordedRequest&) {
        gate.wait();
        return Reply::ok();
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    auto running = request("/held");
    running->setDelegate(delegate);
    running->startAsynchronous();
    ASSERT_TRUE(server.waitForRequests(1));
    running->cancel();
    running->cancel();
    ASSERT_TRUE(waitFor([&] { return running->isFinished(); }));
    ASSERT_TRUE(deliverPending());
    gate.open();
    EXPECT_EQ(delegate->count("failed"), 1u);
    EXPECT_EQ(delegate->count("finished"), 0u);
    ASSERT_TRUE(running->error());
    EXPECT_EQ(running->error()->code(), HTTPErrorCancelled);
    EXPECT_EQ(running->error()->localizedDescription(), "The request was cancelled");
    EXPECT_EQ(delegate->events.back().errorCode, HTTPErrorCancelled);
    EXPECT_TRUE(running->isCancelled());
    EXPECT_TRUE(running->complete());
}

TEST_F(HTTPRequestTest, CancelFromAnotherThreadEndsASynchronousRunOnItsOwnThread)
{
    server.setHandler([&](const RecordedRequest&) {
        gate.wait();
        return Reply::ok();
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    auto synchronous = request("/held");
    synchronous->setDelegate(delegate);
    std::thread canceller([&] {
        if (server.waitForRequests(1)) {
            synchronous->cancel();
        }
    });
    synchronous->startSynchronous();  // returns once the cancel, run on this thread, has ended it
    canceller.join();
    gate.open();
    ASSERT_TRUE(synchronous->error());
    EXPECT_EQ(synchronous->error()->code(), HTTPErrorCancelled);
    EXPECT_TRUE(synchronous->isFinished());
    EXPECT_EQ(delegate->count("failed"), 1u);  // delivered inline: this is the main thread
}

TEST_F(HTTPRequestTest, CancelAfterCompletionDoesNothing)
{
    auto delegate = std::make_shared<RecordingDelegate>();
    auto done = request("/");
    done->setDelegate(delegate);
    done->startSynchronous();
    done->cancel();
    ASSERT_TRUE(deliverPending());
    ASSERT_TRUE(deliverPending());  // a cancel would have gone through the network thread and back
    EXPECT_FALSE(done->error());
    EXPECT_FALSE(done->isCancelled());
    EXPECT_EQ(delegate->names(), (std::vector<std::string>{"started", "headers", "finished"}));
}

TEST_F(HTTPRequestTest, ClearDelegatesAndCancelSilencesEvenAQueuedFinish)
{
    auto delegate = std::make_shared<RecordingDelegate>();
    bool blockCalled = false;
    auto finished = request("/");
    finished->setDelegate(delegate);
    finished->setCompletionBlock([&] { blockCalled = true; });
    finished->startAsynchronous();
    ASSERT_TRUE(waitWithoutDelivering([&] { return finished->isFinished(); }));
    finished->clearDelegatesAndCancel();
    ASSERT_TRUE(deliverPending());
    EXPECT_TRUE(delegate->events.empty());
    EXPECT_FALSE(blockCalled);
    EXPECT_FALSE(finished->error());  // it had completed: the cancel did nothing
    EXPECT_EQ(finished->responseString(), "ok");
}

TEST_F(HTTPRequestTest, ClearDelegatesAndCancelOfARunningRequestFailsItSilently)
{
    server.setHandler([&](const RecordedRequest&) {
        gate.wait();
        return Reply::ok();
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    auto running = request("/held");
    running->setDelegate(delegate);
    running->startAsynchronous();
    ASSERT_TRUE(server.waitForRequests(1));
    running->clearDelegatesAndCancel();
    ASSERT_TRUE(waitFor([&] { return running->isFinished(); }));
    ASSERT_TRUE(deliverPending());
    gate.open();
    ASSERT_TRUE(running->error());
    EXPECT_EQ(running->error()->code(), HTTPErrorCancelled);
    // Only "started" can have been delivered before the delegate was cleared.
    EXPECT_EQ(delegate->count("failed"), 0u);
    EXPECT_EQ(delegate->count("finished"), 0u);
}

TEST_F(HTTPRequestTest, StartSynchronousOnAnEndedRequestReturnsAtOnce)
{
    auto cancelled = request("/never");
    auto delegate = std::make_shared<RecordingDelegate>();
    cancelled->setDelegate(delegate);
    cancelled->cancel();
    ASSERT_TRUE(waitFor([&] { return cancelled->isCancelled(); }));
    cancelled->startSynchronous();
    EXPECT_EQ(cancelled->error()->code(), HTTPErrorCancelled);
    // A request that fails before it was started reports it, but is not marked finished.
    ASSERT_TRUE(waitFor([&] { return delegate->count("failed") == 1; }));
    EXPECT_FALSE(cancelled->isFinished());

    auto completed = request("/once");
    completed->startSynchronous();
    ASSERT_EQ(completed->responseStatusCode(), 200);
    completed->startSynchronous();
    EXPECT_EQ(server.requestCount(), 1u);  // neither run sent anything more
}

TEST_F(HTTPRequestTest, ARequestCancelledWhileQueuedLeavesTheQueue)
{
    server.setHandler([&](const RecordedRequest&) {
        gate.wait();
        return Reply::ok();
    });
    std::vector<Ref<HTTPRequest>> holders;
    for (int i = 0; i < 4; ++i) {
        holders.push_back(request("/hold"));
        holders.back()->startAsynchronous();
    }
    auto queued = request("/queued");
    queued->startAsynchronous();
    ASSERT_TRUE(server.waitForRequests(4));
    queued->cancel();
    ASSERT_TRUE(waitFor([&] { return queued->isCancelled(); }));
    EXPECT_EQ(queued->error()->code(), HTTPErrorCancelled);
    EXPECT_FALSE(queued->isFinished());  // failed, but not started: it still waits for a slot
    gate.open();
    // Started when a slot frees, it leaves at once.
    ASSERT_TRUE(waitFor([] { return HTTPRequest::sharedQueue()->operationCount() == 0; }));
    EXPECT_TRUE(queued->isFinished());
    EXPECT_EQ(server.requestCount(), 4u);  // the cancelled one never went out
}

TEST_F(HTTPRequestTest, KeepAliveGETsShareAConnectionAndRequestsWithABodyDoNot)
{
    auto first = request("/a");
    first->startSynchronous();
    auto second = request("/b");
    second->startSynchronous();
    ASSERT_EQ(second->responseStatusCode(), 200);
    EXPECT_NE(first->connectionID(), 0);
    EXPECT_EQ(first->connectionID(), second->connectionID());
    EXPECT_EQ(second->requestID(), first->requestID() + 1);

    auto post = request("/post");
    post->setRequestMethod("POST");
    post->appendPostData(NSData::dataWithString("x=1"));
    post->startSynchronous();
    auto getWithBody = request("/get-with-body");
    getWithBody->appendPostData(NSData::dataWithString("y=2"));
    getWithBody->startSynchronous();
    EXPECT_EQ(getWithBody->requestMethod(), "POST");
    EXPECT_EQ(post->connectionID(), 0);
    EXPECT_EQ(getWithBody->connectionID(), 0);

    auto third = request("/c");
    third->startSynchronous();
    EXPECT_EQ(third->connectionID(), first->connectionID());

    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 5u);
    EXPECT_EQ(recorded[1].connection, recorded[0].connection);
    EXPECT_NE(recorded[2].connection, recorded[0].connection);
    EXPECT_NE(recorded[3].connection, recorded[0].connection);
    EXPECT_NE(recorded[3].connection, recorded[2].connection);
    EXPECT_EQ(recorded[4].connection, recorded[0].connection);
}

TEST_F(HTTPRequestTest, AsynchronousGETsReuseConnectionsToo)
{
    auto delegate = std::make_shared<RecordingDelegate>();
    auto first = request("/a");
    first->setDelegate(delegate);
    first->startAsynchronous();
    ASSERT_TRUE(waitFor([&] { return delegate->count("finished") == 1; }));
    auto second = request("/b");
    second->setDelegate(delegate);
    second->startAsynchronous();
    ASSERT_TRUE(waitFor([&] { return delegate->count("finished") == 2; }));
    EXPECT_EQ(first->connectionID(), second->connectionID());
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[1].connection, recorded[0].connection);
}

TEST_F(HTTPRequestTest, AnExpiredConnectionIsNeitherReusedNorKeptOpen)
{
    Reply expiresAtOnce = Reply::ok();
    expiresAtOnce.headerLines = {"Keep-Alive: timeout=0, max=100"};
    server.enqueue(expiresAtOnce);
    const size_t idleBefore = CFHTTPReadStream::idleConnectionCount();
    auto first = request("/a");
    first->startSynchronous();
    ASSERT_EQ(first->responseStatusCode(), 200);
    EXPECT_TRUE(first->connectionCanBeReused());
    EXPECT_EQ(first->persistentConnectionTimeoutSeconds(), 0.0);
    EXPECT_EQ(CFHTTPReadStream::idleConnectionCount(), idleBefore + 1);

    auto second = request("/b");
    second->startSynchronous();
    ASSERT_EQ(second->responseStatusCode(), 200);
    EXPECT_NE(second->connectionID(), first->connectionID());
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_NE(recorded[1].connection, recorded[0].connection);
    // The first connection was closed when the second request started: only the second one idles.
    EXPECT_EQ(CFHTTPReadStream::idleConnectionCount(), idleBefore + 1);
}

TEST_F(HTTPRequestTest, BlocksFollowTheirDelegateMessagesOnTheMainThread)
{
    std::vector<std::string> order;
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->onEvent = [&](const RecordingDelegate::Event& e) { order.push_back("delegate " + e.what); };
    auto ok = request("/");
    ok->setDelegate(delegate);
    ok->setStartedBlock([&] { order.push_back("block started"); });
    ok->setHeadersReceivedBlock([&](const HTTPHeaderFields& headers) {
        order.push_back("block headers " + headers.valueForKey("content-length"));
    });
    ok->setCompletionBlock([&] { order.push_back(NSThread::isMainThread() ? "block finished" : "off main"); });
    ok->startAsynchronous();
    ASSERT_TRUE(waitFor([&] { return order.size() == 6; }));
    EXPECT_EQ(order, (std::vector<std::string>{"delegate started", "block started", "delegate headers",
                                               "block headers 2", "delegate finished", "block finished"}));

    std::vector<std::string> failures;
    auto refused = HTTPRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:1/"));
    refused->setFailedBlock([&] { failures.push_back("block failed"); });
    refused->startAsynchronous();
    ASSERT_TRUE(waitFor([&] { return !failures.empty(); }));
    EXPECT_EQ(refused->error()->code(), HTTPErrorConnectionFailure);
    EXPECT_EQ(refused->error()->localizedDescription(), "A connection failure occurred");
}

// A delegate that names its own finish message.
class UploadScreen : public HTTPRequestDelegate {
public:
    std::vector<std::string> calls;
    bool respondsToSelector(std::string_view selector) const override
    {
        return selector == "uploadDone:" || HTTPRequestDelegate::respondsToSelector(selector);
    }
    void performRequestSelector(std::string_view selector, const Ref<HTTPRequest>& request,
                                const HTTPRequestSelectorArgument& argument) override
    {
        if (selector == "uploadDone:") {
            calls.push_back("uploadDone: " + request->responseString());
            return;
        }
        HTTPRequestDelegate::performRequestSelector(selector, request, argument);
    }
    void requestFinished(const Ref<HTTPRequest>&) override { calls.push_back("requestFinished:"); }
};

TEST_F(HTTPRequestTest, ADelegateMayNameItsOwnSelectors)
{
    auto screen = std::make_shared<UploadScreen>();
    auto upload = request("/");
    upload->setDelegate(screen);
    upload->setDidFinishSelector("uploadDone:");
    upload->startSynchronous();
    EXPECT_EQ(screen->calls, (std::vector<std::string>{"uploadDone: ok"}));
}

TEST_F(HTTPRequestTest, ADelegateThatIsGoneIsNotMessaged)
{
    auto delegate = std::make_shared<RecordingDelegate>();
    auto orphan = request("/");
    orphan->setDelegate(delegate);
    orphan->startAsynchronous();
    ASSERT_TRUE(waitWithoutDelivering([&] { return orphan->isFinished(); }));
    Weak<RecordingDelegate> weak = delegate;
    delegate.reset();
    EXPECT_TRUE(weak.expired());  // the request does not keep its delegate
    ASSERT_TRUE(deliverPending());
}

TEST_F(HTTPRequestTest, ARunningRequestOutlivesItsOwner)
{
    server.setHandler([&](const RecordedRequest&) {
        gate.wait();
        return Reply::ok("late");
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    Weak<HTTPRequest> weak;
    {
        auto dropped = request("/held");
        dropped->setDelegate(delegate);
        dropped->startAsynchronous();
        weak = dropped;
    }
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_FALSE(weak.expired());
    gate.open();
    ASSERT_TRUE(waitFor([&] { return delegate->count("finished") == 1; }));
    EXPECT_EQ(delegate->events.back().request->responseString(), "late");
    delegate->events.clear();
    ASSERT_TRUE(waitFor([&] { return weak.expired(); }));  // released once its work is done
}

TEST_F(HTTPRequestTest, TheNetworkActivityIndicatorFollowsRunningRequests)
{
    auto shown = request("/");
    shown->startSynchronous();
    ASSERT_TRUE(deliverPending());
    EXPECT_FALSE(HTTPRequest::isNetworkInUse());
    // Shown while the request ran, hidden half a second after the last one ended.
    ASSERT_TRUE(waitFor([] { return !UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible(); }));

    HTTPRequest::setShouldUpdateNetworkActivityIndicator(false);
    UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(false);
    auto unmanaged = request("/");
    unmanaged->startSynchronous();
    ASSERT_TRUE(deliverPending());
    EXPECT_FALSE(UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible());
}

TEST_F(HTTPRequestTest, ACopyStartsFromScratchWithTheSameRequest)
{
    auto original = request("/copy");
    original->setRequestMethod("PUT");
    original->addRequestHeader_value("X-Trace", "7");
    original->appendPostData(NSData::dataWithString("payload"));
    original->setTag(42);
    original->setUserInfo(Value::dictionary({{"k", Value("v")}}));
    original->setTimeOutSeconds(3);
    original->startSynchronous();
    ASSERT_EQ(original->responseStatusCode(), 200);

    Ref<HTTPRequest> copy = original->copyWithZone();
    EXPECT_TRUE(copy->url()->isEqual(original->url()));
    EXPECT_EQ(copy->requestMethod(), "PUT");
    EXPECT_EQ(copy->tag(), 42);
    EXPECT_EQ(copy->userInfo()["k"].stringValue(), "v");
    EXPECT_EQ(copy->timeOutSeconds(), 3);
    EXPECT_FALSE(copy->complete());
    EXPECT_FALSE(copy->error());
    EXPECT_EQ(copy->responseStatusCode(), 0);
    EXPECT_TRUE(copy->rawResponseData().empty());
    copy->startSynchronous();
    ASSERT_EQ(copy->responseStatusCode(), 200);
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[1].method, "PUT");
    EXPECT_EQ(recorded[1].body, "payload");
    EXPECT_EQ(recorded[1].header("X-Trace"), "7");
    EXPECT_EQ(recorded[1].header("Content-Length"), "7");
}

TEST_F(HTTPRequestTest, ACopyKeepsABodyFileThatTheOriginalDeletes)
{
    auto original = request("/upload");
    original->setShouldStreamPostDataFromDisk(true);
    original->appendPostData(NSData::dataWithString("first part, "));
    original->appendPostData(NSData::dataWithString("second part"));
    const std::string originalFile = original->postBodyFilePath();
    ASSERT_TRUE(original->didCreateTemporaryPostDataFile());
    Ref<HTTPRequest> copy = original->copyWithZone();
    EXPECT_NE(copy->postBodyFilePath(), originalFile);

    original->startSynchronous();
    ASSERT_EQ(original->responseStatusCode(), 200);
    EXPECT_FALSE(std::filesystem::exists(originalFile));  // the original's own file is gone
    copy->startSynchronous();
    ASSERT_EQ(copy->responseStatusCode(), 200);
    EXPECT_TRUE(copy->postBodyFilePath().empty());  // the copy's own file is deleted in its turn
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].body, "first part, second part");
    EXPECT_EQ(recorded[1].body, "first part, second part");
    EXPECT_EQ(recorded[1].method, "POST");
    EXPECT_EQ(recorded[1].header("Content-Length"), "23");
}

TEST_F(HTTPRequestTest, ABackgroundTaskIsHeldWhileTheRequestRunsAndItsExpiryCancelsIt)
{
    Ref<UIApplication> application = UIApplication::sharedApplication();
    server.setHandler([&](const RecordedRequest& r) {
        if (r.target == "/moved") {
            Reply moved = Reply::withStatus(302, "Found");
            moved.headerLines = {"Location: /done"};
            return moved;
        }
        if (r.target == "/held") {
            gate.wait();
        }
        return Reply::ok();
    });
    struct Case {
        const char* name;
        bool continues;
        const char* path;
        bool expires;
        size_t tasks;      // begun for the request
        int errorCode;
    };
    const Case cases[] = {
        {"off by default", false, "/done", false, 0, 0},
        {"one task, ended when finished", true, "/done", false, 1, 0},
        {"one task for a redirected request too", true, "/moved", false, 1, 0},
        {"the time runs out", true, "/held", true, 1, HTTPErrorCancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t begun = application->backgroundTasksBegun();
        const size_t ended = application->backgroundTasksEnded();
        const size_t served = server.requestCount();
        auto delegate = std::make_shared<RecordingDelegate>();
        auto r = request(c.path);
        r->setDelegate(delegate);
        r->setShouldContinueWhenAppEntersBackground(c.continues);
        r->startAsynchronous();
        if (c.expires) {
            ASSERT_TRUE(waitFor([&] { return server.requestCount() > served && r->backgroundTask() != 0; }));
            EXPECT_EQ(application->runningBackgroundTasks(), std::vector<UIBackgroundTaskIdentifier>{r->backgroundTask()});
            application->simulateBackgroundTimeExpired();
        }
        ASSERT_TRUE(waitFor([&] { return r->isFinished() && application->backgroundTasksEnded() == ended + c.tasks; }));
        ASSERT_TRUE(deliverPending());
        EXPECT_EQ(application->backgroundTasksBegun(), begun + c.tasks);
        EXPECT_TRUE(application->runningBackgroundTasks().empty());
        EXPECT_EQ(r->backgroundTask(), 0u);
        EXPECT_EQ(delegate->count(c.errorCode == 0 ? "finished" : "failed"), 1u);
        EXPECT_EQ(r->error() ? static_cast<int>(r->error()->code()) : 0, c.errorCode);
    }
    gate.open();
}

}  // namespace
