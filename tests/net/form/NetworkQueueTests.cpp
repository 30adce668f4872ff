// The network queue: counting the group, the queue-finished call, cancelling the group on a failure,
// refusing what is not a request, and configuration that a copy and a reset keep or drop.
#include <gtest/gtest.h>

#include "fixtures/RefusingPort.h"
#include "http/HTTPTestSupport.h"
#include "net/http/HTTPNetworkQueue.h"
#include "net/http/HTTPRequestErrors.h"
#include "platform/foundation/NSException.h"

using TestServers::RecordedRequest;
using TestServers::Reply;

namespace {

// Takes the queue's own selectors and records them in order.
class GroupDelegate : public HTTPNetworkQueueDelegate {
public:
    std::vector<std::string> calls;
    std::vector<std::string> methods;  // the method of the request of each request call
    int queueFinished = 0;
    int countWhenQueueFinished = -1;

    bool respondsToSelector(std::string_view selector) const override
    {
        return selector == "oneFinished:" || selector == "oneFailed:" || selector == "oneStarted:" ||
               HTTPRequestDelegate::respondsToSelector(selector);
    }
    void performRequestSelector(std::string_view selector, const Ref<HTTPRequest>& request,
                                const HTTPRequestSelectorArgument& argument) override
    {
        calls.push_back(std::string(selector) + request->url()->path());
        methods.push_back(request->requestMethod());
    }
    void performQueueSelector(std::string_view selector, const Ref<HTTPNetworkQueue>& queue) override
    {
        ++queueFinished;
        countWhenQueueFinished = queue->requestsCount();
        calls.push_back(std::string(selector));
    }
};

class NetworkQueueTest : public HTTPRequestTest {
protected:
    Ref<HTTPNetworkQueue> makeQueue()
    {
        Ref<HTTPNetworkQueue> queue = HTTPNetworkQueue::queue();
        queue->setDelegate(delegate);
        queue->setRequestDidFinishSelector("oneFinished:");
        queue->setRequestDidFailSelector("oneFailed:");
        queue->setQueueDidFinishSelector("groupDone:");
        return queue;
    }
    std::shared_ptr<GroupDelegate> delegate = std::make_shared<GroupDelegate>();
};

}  // namespace

TEST_F(NetworkQueueTest, TheGroupFinishesOnceAfterItsLastRequestWhetherItFinishedOrFailed)
{
    server.setHandler([](const RecordedRequest& r) {
        Reply reply = Reply::ok("fine");
        if (r.target == "/bad") {
            reply.action = Reply::Action::CloseWithoutAnswer;
        }
        return reply;
    });
    for (bool lastFails : {false, true}) {
        delegate->calls.clear();
        delegate->queueFinished = 0;
        Ref<HTTPNetworkQueue> queue = makeQueue();
        queue->setShouldCancelAllRequestsOnFailure(false);
        queue->setMaxConcurrentOperationCount(1);  // one after the other, so the order is known
        queue->addOperation(request("/first"));
        queue->addOperation(request(lastFails ? "/bad" : "/second"));
        EXPECT_EQ(queue->requestsCount(), 2);
        EXPECT_EQ(queue->totalBytesToDownload(), 2u) << "one unit per request without accurate progress";
        EXPECT_TRUE(queue->isSuspended());
        ASSERT_TRUE(deliverPending());
        EXPECT_TRUE(delegate->calls.empty()) << "nothing starts before go";
        queue->go();
        ASSERT_TRUE(waitFor([&] { return delegate->queueFinished == 1; }));
        ASSERT_TRUE(deliverPending());
        EXPECT_EQ(delegate->queueFinished, 1);
        EXPECT_EQ(delegate->countWhenQueueFinished, 0);
        const std::vector<std::string> expected = {"oneFinished:/first",
                                                   lastFails ? "oneFailed:/bad" : "oneFinished:/second",
                                                   "groupDone:"};
        EXPECT_EQ(delegate->calls, expected);
    }
}

TEST_F(NetworkQueueTest, AFailureCancelsTheRestOfTheGroup)
{
    server.setHandler([this](const RecordedRequest&) {
        gate.wait(10);
        return Reply::ok("late");
    });
    Ref<HTTPNetworkQueue> queue = makeQueue();
    // A port that refuses connections.
    const std::string closedURL = "http://" + RefusingPort::shared().hostPort() + "/refused";
    queue->addOperation(request("/slow1"));
    queue->addOperation(request("/slow2"));
    queue->go();
    ASSERT_TRUE(server.waitForRequests(2));
    queue->addOperation(HTTPRequest::requestWithURL(NSURL::URLWithString(closedURL)));
    // The refused request may already have failed and left: at most the three requests, never a fourth
    // HEAD request for the one added while running.
    EXPECT_LE(queue->operationCount(), 3u) << "a request added while running gets no HEAD request";
    ASSERT_TRUE(waitFor([&] { return delegate->queueFinished == 1; }));
    gate.open();
    ASSERT_TRUE(deliverPending());
    ASSERT_EQ(delegate->calls.size(), 4u);
    EXPECT_EQ(delegate->calls[0], "oneFailed:/refused");
    EXPECT_EQ(delegate->calls[3], "groupDone:");
    EXPECT_EQ(std::count(delegate->calls.begin(), delegate->calls.end(), "oneFailed:/slow1"), 1);
    EXPECT_EQ(std::count(delegate->calls.begin(), delegate->calls.end(), "oneFailed:/slow2"), 1);
    EXPECT_EQ(queue->requestsCount(), 0);
}

TEST_F(NetworkQueueTest, OnlyRequestsMayBeAdded)
{
    Ref<HTTPNetworkQueue> queue = makeQueue();
    try {
        queue->addOperation(NSBlockOperation::blockOperationWithBlock([] {}));
        FAIL() << "no exception";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), "AttemptToAddInvalidRequest");
        EXPECT_EQ(e.reason(), "Attempted to add an object that was not an HTTPRequest to an HTTPNetworkQueue");
    }
    EXPECT_EQ(queue->requestsCount(), 0);
    EXPECT_EQ(queue->operationCount(), 0u);
    queue->addHEADOperation(NSBlockOperation::blockOperationWithBlock([] {}));
    EXPECT_EQ(queue->operationCount(), 0u) << "addHEADOperation ignores what is not a request";
}

TEST_F(NetworkQueueTest, AccurateProgressPutsAHEADRequestFirstWhileSuspended)
{
    Ref<HTTPNetworkQueue> queue = makeQueue();
    queue->setShowAccurateProgress(true);
    auto get = request("/movie");
    queue->addOperation(get);
    ASSERT_EQ(queue->operationCount(), 2u);
    auto head = std::dynamic_pointer_cast<HTTPRequest>(queue->operations()[0]);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->requestMethod(), "HEAD");
    EXPECT_EQ(head->queuePriority(), 10);
    EXPECT_EQ(get->dependencies().size(), 1u);
    EXPECT_EQ(queue->requestsCount(), 1) << "the HEAD request is not counted";
    queue->cancelAllOperations();
    queue->go();  // cancelled operations leave the queue once it runs
    ASSERT_TRUE(waitFor([&] { return delegate->queueFinished == 1 && queue->operationCount() == 0; }));
}

namespace {
namespace NetworkQueueTests_cpp {

// Records what a progress display is told.
class SizeDisplay : public HTTPProgressDelegate {
public:
    std::vector<float> progress;
    void setProgress(float newProgress) override { progress.push_back(newProgress); }
};

}  // namespace NetworkQueueTests_cpp
}  // namespace

TEST_F(NetworkQueueTest, TheHEADRequestLearnsTheSizeForItsGETAndReportsNothingItself)
{
    const std::string movie(5000, 'm');
    server.setHandler([&](const RecordedRequest&) { return Reply::ok(movie); });
    Ref<HTTPNetworkQueue> queue = makeQueue();
    queue->setRequestDidStartSelector("oneStarted:");
    queue->setShowAccurateProgress(true);
    auto display = std::make_shared<NetworkQueueTests_cpp::SizeDisplay>();
    queue->setDownloadProgressDelegate(display);
    auto get = request("/movie");
    get->addRequestHeader_value("X-Asked-By", "feed");
    queue->addOperation(get);
    queue->go();
    ASSERT_TRUE(waitFor([&] { return delegate->queueFinished == 1; }));
    ASSERT_TRUE(deliverPending());

    const std::vector<RecordedRequest> sent = server.requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].method, "HEAD");
    EXPECT_EQ(sent[0].header("X-Asked-By"), "feed") << "the HEAD request carries its main request's headers";
    EXPECT_EQ(sent[1].method, "GET");
    // The queue's delegate hears of the group's one request, never of its HEAD request.
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"oneStarted:/movie", "oneFinished:/movie", "groupDone:"}));
    EXPECT_EQ(delegate->methods, (std::vector<std::string>{"GET", "GET"}));
    // The size was learned once, from the HEAD request, and the download filled it.
    EXPECT_EQ(queue->totalBytesToDownload(), movie.size());
    EXPECT_EQ(queue->bytesDownloadedSoFar(), movie.size());
    ASSERT_FALSE(display->progress.empty());
    EXPECT_EQ(display->progress.back(), 1.0f);
    EXPECT_EQ(get->contentLength(), movie.size());
}

TEST_F(NetworkQueueTest, AFailedHEADRequestFailsItsMainRequest)
{
    server.setHandler([](const RecordedRequest& r) {
        Reply reply = Reply::ok("never");
        if (r.method == "HEAD") {
            reply.action = Reply::Action::CloseWithoutAnswer;
        }
        return reply;
    });
    Ref<HTTPNetworkQueue> queue = makeQueue();
    queue->setRequestDidStartSelector("oneStarted:");
    queue->setShowAccurateProgress(true);
    auto get = request("/movie");
    queue->addOperation(get);
    queue->go();
    ASSERT_TRUE(waitFor([&] { return delegate->queueFinished == 1 && get->isFinished(); }));
    ASSERT_TRUE(deliverPending());
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"oneFailed:/movie", "groupDone:"}));
    EXPECT_EQ(delegate->methods, (std::vector<std::string>{"GET"}));
    ASSERT_TRUE(get->error());
    EXPECT_EQ(get->error()->code(), HTTPErrorConnectionFailure);
    EXPECT_EQ(queue->requestsCount(), 0);
    for (const RecordedRequest& r : server.requests()) {
        EXPECT_EQ(r.method, "HEAD") << "the main request never goes out";
    }
}

TEST_F(NetworkQueueTest, CopyKeepsConfigurationAndResetDropsIt)
{
    Ref<HTTPNetworkQueue> queue = makeQueue();
    queue->setRequestWillRedirectSelector("moved:");
    queue->setShowAccurateProgress(true);
    queue->setShouldCancelAllRequestsOnFailure(false);
    queue->setUserInfo(Value::dictionary({{"k", Value("v")}}));
    queue->addOperation(request("/x"));

    Ref<HTTPNetworkQueue> copy = queue->copyWithZone();
    EXPECT_EQ(copy->delegate(), delegate);
    EXPECT_EQ(copy->requestDidFinishSelector(), "oneFinished:");
    EXPECT_EQ(copy->queueDidFinishSelector(), "groupDone:");
    EXPECT_EQ(copy->requestWillRedirectSelector(), "moved:");
    EXPECT_TRUE(copy->showAccurateProgress());
    EXPECT_FALSE(copy->shouldCancelAllRequestsOnFailure());
    EXPECT_EQ(copy->userInfo()["k"].stringValue(), "v");
    EXPECT_EQ(copy->requestsCount(), 0);
    EXPECT_EQ(copy->operationCount(), 0u);

    queue->reset();
    EXPECT_FALSE(queue->delegate());
    EXPECT_EQ(queue->requestDidFinishSelector(), "");
    EXPECT_EQ(queue->queueDidFinishSelector(), "");
    EXPECT_EQ(queue->requestWillRedirectSelector(), "moved:");
    EXPECT_TRUE(queue->isSuspended());
    EXPECT_EQ(queue->totalBytesToUpload(), 0u);
    queue->go();
    ASSERT_TRUE(waitFor([&] { return queue->operationCount() == 0; }));
}
