// Requests with a download cache, against a loopback server: a fresh copy answers without the network,
// a stale one is revalidated with its validators and a 304 answers from the cache, a failure falls back
// to the stored copy when the policy says so, and what each policy reads and writes.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "http/HTTPTestSupport.h"
#include "net/http/HTTPDownloadCache.h"
#include "net/http/HTTPRequestErrors.h"
#include "platform/foundation/NSDate.h"

using TestServers::RecordedRequest;
using TestServers::Reply;

namespace {
namespace CachedRequestTests_cpp {

constexpr double kNow = 1700000000.0;

class CachedRequestTest : public HTTPRequestTest {
protected:
    CachedRequestTest()
    {
        previousNow_ = NSDate::setNowFunction([this] { return now.load(); });
        cache->setStoragePath(home / "cache");
        // The document: "v1" with a validator and a minute of freshness; a request that names the
        // validator is told it still holds; "/gone" closes without an answer.
        server.setHandler([this](const RecordedRequest& r) {
            if (r.target == "/gone" || (failing && r.target == "/doc")) {
                Reply closed;
                closed.action = Reply::Action::CloseWithoutAnswer;
                return closed;
            }
            if (r.header("If-None-Match") == "\"v1\"") {
                Reply same = Reply::withStatus(304, "Not Modified");
                same.headerLines = {"ETag: \"v1\"", "Cache-Control: max-age=60"};
                return same;
            }
            Reply reply = Reply::ok("文档 v1");
            reply.headerLines = {"ETag: \"v1\"", "Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT",
                                 "Cache-Control: max-age=60", "Content-Type: text/plain; charset=utf-8"};
            return reply;
        });
    }
    ~CachedRequestTest() override { NSDate::setNowFunction(previousNow_); }

    // Runs a request for the path with the policy (0: the cache's default) and answers it.
    Ref<HTTPRequest> fetch(const std::string& path, int policy = 0)
    {
        auto r = HTTPRequest::requestWithURL_usingCache_andCachePolicy(NSURL::URLWithString(server.url(path)), cache,
                                                                       policy);
        last = std::make_shared<RecordingDelegate>();
        r->setDelegate(last);
        r->startSynchronous();
        return r;
    }

    std::atomic<double> now{kNow};
    std::atomic<bool> failing{false};
    Ref<HTTPDownloadCache> cache = HTTPDownloadCache::create();
    std::shared_ptr<RecordingDelegate> last;

private:
    std::function<double()> previousNow_;
};

}  // namespace CachedRequestTests_cpp
}  // namespace

using CachedRequestTests_cpp::CachedRequestTest;

TEST_F(CachedRequestTest, FreshCopyAnswersAloneAndAStaleOneIsRevalidated)
{
    // From the network, and kept.
    auto first = fetch("/doc");
    EXPECT_EQ(first->cachePolicy(), CachePolicyRevalidateWhenStale) << "the cache's default policy is adopted";
    EXPECT_EQ(first->responseString(), "文档 v1");
    EXPECT_FALSE(first->didUseCachedResponse());
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_FALSE(server.requests()[0].hasHeader("If-None-Match"));

    // Fresh: answered from the cache without a request.
    auto second = fetch("/doc");
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_TRUE(second->didUseCachedResponse());
    EXPECT_EQ(second->responseStatusCode(), 200);
    EXPECT_EQ(second->responseString(), "文档 v1");
    EXPECT_EQ(second->responseHeaders().valueForKey("ETag"), "\"v1\"");
    EXPECT_EQ(last->names(), std::vector<std::string>{"finished"});

    // Stale: the server is asked with the stored validators, answers 304, and the stored copy is the
    // answer; its expiry is refreshed, so the next request stays off the network again.
    now = CachedRequestTests_cpp::kNow + 120;
    auto third = fetch("/doc");
    ASSERT_EQ(server.requestCount(), 2u);
    const RecordedRequest revalidation = server.requests()[1];
    EXPECT_EQ(revalidation.header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(revalidation.header("If-Modified-Since"), "Tue, 14 Nov 2023 22:13:20 GMT");
    EXPECT_TRUE(third->didUseCachedResponse());
    EXPECT_EQ(third->responseStatusCode(), 200);
    EXPECT_EQ(third->responseString(), "文档 v1");
    EXPECT_FALSE(third->error());
    EXPECT_EQ(last->names(), (std::vector<std::string>{"started", "finished"}));
    now = CachedRequestTests_cpp::kNow + 150;
    auto fourth = fetch("/doc");
    EXPECT_EQ(server.requestCount(), 2u);
    EXPECT_TRUE(fourth->didUseCachedResponse());
}

TEST_F(CachedRequestTest, APolicyDecidesWhatIsReadWrittenAndFallenBackTo)
{
    fetch("/doc");  // stored
    ASSERT_EQ(server.requestCount(), 1u);
    now = CachedRequestTests_cpp::kNow + 120;  // stale from here on
    failing = true;    // and the server stops answering
    struct Case {
        const char* name;
        int policy;
        bool asksServer;
        bool fromCache;
        int errorCode;
    };
    const Case cases[] = {
        {"revalidate: the failure is reported", CachePolicyRevalidateWhenStale, true, false, HTTPErrorConnectionFailure},
        {"fall back: the stored copy answers the failure", CachePolicyRevalidateWhenStale | CachePolicyFallbackToCache,
         true, true, 0},
        {"prefer the cache: stale is good enough", CachePolicyPreferCache, false, true, 0},
        {"cache only", CachePolicyCacheOnly, false, true, 0},
        {"never read", CachePolicyNoRead, true, false, HTTPErrorConnectionFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = server.requestCount();
        auto r = fetch("/doc", c.policy);
        EXPECT_EQ(server.requestCount() > before, c.asksServer);
        EXPECT_EQ(r->didUseCachedResponse(), c.fromCache);
        EXPECT_EQ(r->error() ? static_cast<int>(r->error()->code()) : 0, c.errorCode);
        EXPECT_EQ(r->responseString(), c.fromCache ? "文档 v1" : "");
        EXPECT_EQ(last->count(c.fromCache ? "finished" : "failed"), 1u);
    }

    // Never written: a response under NoWrite leaves no copy behind.
    failing = false;
    fetch("/other", CachePolicyNoWrite | CachePolicyNoRead);
    EXPECT_TRUE(cache->pathToCachedResponseDataForURL(NSURL::URLWithString(server.url("/other"))).empty());
    fetch("/other");
    EXPECT_FALSE(cache->pathToCachedResponseDataForURL(NSURL::URLWithString(server.url("/other"))).empty());
}
